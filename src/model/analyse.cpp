#include "analyse.h"

#include <algorithm>
#include <initializer_list>

namespace vd::model {

namespace {

inline QJsonValue val(const QJsonObject& o, const char* k) { return o.value(QLatin1StringView(k)); }
inline QString txt(const QJsonObject& o, const char* k) { return lire::texte(val(o, k), QString()); }

// Keys of o outside the known ones, kept so a newer writer's data survives a rewrite.
QJsonObject autresQue(const QJsonObject& o, std::initializer_list<const char*> connues)
{
    QJsonObject r;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString& k = it.key();
        const bool connue = std::any_of(connues.begin(), connues.end(),
                                        [&](const char* c) { return k == QLatin1StringView(c); });
        if (!connue)
            r.insert(k, it.value());
    }
    return r;
}

void ecrireAutres(EcrivainJson& e, const QJsonObject& autres)
{
    for (auto it = autres.begin(); it != autres.end(); ++it) {
        const QByteArray k = it.key().toUtf8();
        e.cle(std::string_view(k.constData(), size_t(k.size())));
        e.valeur(it.value());
    }
}

// A list, or a single element standing for a list of one (models do that).
template<typename T, typename F>
QList<T> listeSouple(const QJsonValue& v, F decoder)
{
    if (v.isArray())
        return lire::liste<T>(v, decoder);
    QList<T> r;
    if (!v.isNull() && !v.isUndefined()) {
        if (auto x = decoder(v))
            r.append(std::move(*x));
    }
    return r;
}
template<typename T, typename F>
std::optional<QList<T>> listeSoupleOpt(const QJsonValue& v, F decoder)
{
    if (v.isNull() || v.isUndefined())
        return std::nullopt;
    return listeSouple<T>(v, decoder);
}

QStringList textesSouples(const QJsonValue& v)
{
    if (v.isArray())
        return lire::textes(v);
    if (auto t = lire::texteOpt(v); t && !v.isBool())
        return {*t};
    return {};
}

std::optional<qint64> lireScore(const QJsonValue& v)
{
    auto s = lire::entier(v);
    if (!s)
        return std::nullopt;
    return std::clamp<qint64>(*s, 0, 100);
}

std::optional<qint64> offset(const QJsonValue& v)
{
    auto t = lire::entier(v);
    if (!t)
        return std::nullopt;
    return std::max<qint64>(0, *t);
}

template<typename T>
T ou(std::optional<T> v)
{
    return v ? std::move(*v) : T{};
}

} // namespace

std::optional<ScoreDimension> ScoreDimension::depuisJson(const QJsonValue& v)
{
    ScoreDimension d;
    if (v.isDouble() || v.isString()) {
        auto s = lireScore(v);
        if (!s)
            return std::nullopt;
        d.score = *s;
        return d;
    }
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    d.score = lireScore(val(o, "score")).value_or(0);
    d.commentaire = txt(o, "commentaire");
    d.preuve = txt(o, "preuve");
    d.autres = autresQue(o, {"score", "commentaire", "preuve"});
    return d;
}

void ecrire(EcrivainJson& e, const ScoreDimension& r)
{
    e.debutObjet();
    e.champ("score", r.score);
    e.champ("commentaire", r.commentaire);
    e.champ("preuve", r.preuve);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<CritereEtape> CritereEtape::depuisJson(const QJsonValue& v)
{
    if (v.isString())
        return CritereEtape{v.toString(), false, {}};
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return CritereEtape{txt(o, "texte"), lire::booleen(val(o, "rempli"), false), autresQue(o, {"texte", "rempli"})};
}

void ecrire(EcrivainJson& e, const CritereEtape& r)
{
    e.debutObjet();
    e.champ("texte", r.texte);
    e.champ("rempli", r.rempli);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<QuestionEtapeAnalyse> QuestionEtapeAnalyse::depuisJson(const QJsonValue& v)
{
    if (v.isString())
        return QuestionEtapeAnalyse{v.toString(), false, {}};
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return QuestionEtapeAnalyse{txt(o, "texte"), lire::booleen(val(o, "posee"), false),
                                autresQue(o, {"texte", "posee"})};
}

void ecrire(EcrivainJson& e, const QuestionEtapeAnalyse& r)
{
    e.debutObjet();
    e.champ("texte", r.texte);
    e.champ("posee", r.posee);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<EtapeMethode> EtapeMethode::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    EtapeMethode r;
    r.id = txt(o, "id");
    r.nom = txt(o, "nom");
    r.statut = txt(o, "statut");
    r.score = lireScore(val(o, "score"));
    r.commentaire = txt(o, "commentaire");
    r.poids = lire::nombre(val(o, "poids"));
    r.couverte = lire::booleen(val(o, "couverte"));
    r.preuve = txt(o, "preuve");
    r.criteres = listeSouple<CritereEtape>(val(o, "criteres"), &CritereEtape::depuisJson);
    r.corrigee = lire::booleen(val(o, "corrigee"));
    r.questions = listeSouple<QuestionEtapeAnalyse>(val(o, "questions"), &QuestionEtapeAnalyse::depuisJson);
    r.autres = autresQue(o, {"id", "nom", "statut", "score", "commentaire", "poids", "couverte", "preuve", "criteres",
                             "corrigee", "questions"});
    return r;
}

void ecrire(EcrivainJson& e, const EtapeMethode& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("nom", r.nom);
    e.champ("statut", r.statut);
    e.champ("score", r.score);
    e.champ("commentaire", r.commentaire);
    e.champ("poids", r.poids);
    e.champ("couverte", r.couverte);
    e.champ("preuve", r.preuve);
    e.champ("criteres", r.criteres);
    e.champ("corrigee", r.corrigee);
    e.champ("questions", r.questions);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<MethodeAnalyse> MethodeAnalyse::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    MethodeAnalyse r;
    r.nom = txt(o, "nom");
    r.score = lireScore(val(o, "score"));
    r.frameworkId = lire::texteOpt(val(o, "frameworkId"));
    r.etapes = listeSouple<EtapeMethode>(val(o, "etapes"), &EtapeMethode::depuisJson);
    r.autres = autresQue(o, {"nom", "score", "frameworkId", "etapes"});
    return r;
}

void ecrire(EcrivainJson& e, const MethodeAnalyse& r)
{
    e.debutObjet();
    e.champ("nom", r.nom);
    e.champ("score", r.score);
    e.champ("frameworkId", r.frameworkId);
    e.champ("etapes", r.etapes);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<ObjectionAnalyse> ObjectionAnalyse::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ObjectionAnalyse r;
    r.libelle = txt(o, "libelle");
    r.categorie = txt(o, "categorie");
    r.tMs = offset(val(o, "tMs"));
    r.traitement = txt(o, "traitement");
    r.reponseDonnee = txt(o, "reponseDonnee");
    r.meilleureReponse = txt(o, "meilleureReponse");
    r.etapeId = lire::texteOpt(val(o, "etapeId"));
    r.autres = autresQue(o, {"libelle", "categorie", "tMs", "traitement", "reponseDonnee", "meilleureReponse", "etapeId"});
    return r;
}

void ecrire(EcrivainJson& e, const ObjectionAnalyse& r)
{
    e.debutObjet();
    e.champ("libelle", r.libelle);
    e.champ("categorie", r.categorie);
    e.champ("tMs", r.tMs);
    e.champ("traitement", r.traitement);
    e.champ("reponseDonnee", r.reponseDonnee);
    e.champ("meilleureReponse", r.meilleureReponse);
    e.champ("etapeId", r.etapeId);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<Moment> Moment::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return Moment{offset(val(o, "tMs")).value_or(0), txt(o, "type"), txt(o, "texte"),
                  autresQue(o, {"tMs", "type", "texte"})};
}

void ecrire(EcrivainJson& e, const Moment& r)
{
    e.debutObjet();
    e.champ("tMs", r.tMs);
    e.champ("type", r.type);
    e.champ("texte", r.texte);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<QuestionQuiMarche> QuestionQuiMarche::depuisJson(const QJsonValue& v)
{
    if (v.isString()) {
        QuestionQuiMarche q;
        q.question = v.toString();
        return q;
    }
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return QuestionQuiMarche{txt(o, "question"), txt(o, "etapeId"), txt(o, "categorie"), txt(o, "info"),
                             offset(val(o, "tMs")),
                             autresQue(o, {"question", "etapeId", "categorie", "info", "tMs"})};
}

void ecrire(EcrivainJson& e, const QuestionQuiMarche& r)
{
    e.debutObjet();
    e.champ("question", r.question);
    e.champ("etapeId", r.etapeId);
    e.champ("categorie", r.categorie);
    e.champ("info", r.info);
    e.champ("tMs", r.tMs);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<ItemEntendu> ItemEntendu::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return ItemEntendu{txt(o, "item"), txt(o, "nom"), txt(o, "valeur"), txt(o, "preuve"),
                       autresQue(o, {"item", "nom", "valeur", "preuve"})};
}

void ecrire(EcrivainJson& e, const ItemEntendu& r)
{
    e.debutObjet();
    e.champ("item", r.item);
    e.champ("nom", r.nom);
    e.champ("valeur", r.valeur);
    e.champ("preuve", r.preuve);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<ProchaineEtape> ProchaineEtape::depuisJson(const QJsonValue& v)
{
    if (v.isString())
        return ProchaineEtape{v.toString(), {}, {}, {}};
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return ProchaineEtape{txt(o, "action"), txt(o, "responsable"), txt(o, "echeance"),
                          autresQue(o, {"action", "responsable", "echeance"})};
}

void ecrire(EcrivainJson& e, const ProchaineEtape& r)
{
    e.debutObjet();
    e.champ("action", r.action);
    e.champ("responsable", r.responsable);
    e.champ("echeance", r.echeance);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<EmailSuivi> EmailSuivi::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return EmailSuivi{txt(o, "objet"), txt(o, "corps"), autresQue(o, {"objet", "corps"})};
}

void ecrire(EcrivainJson& e, const EmailSuivi& r)
{
    e.debutObjet();
    e.champ("objet", r.objet);
    e.champ("corps", r.corps);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<Coaching> Coaching::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return Coaching{txt(o, "pointFort"), txt(o, "aTravailler"), txt(o, "conseil"),
                    autresQue(o, {"pointFort", "aTravailler", "conseil"})};
}

void ecrire(EcrivainJson& e, const Coaching& r)
{
    e.debutObjet();
    e.champ("pointFort", r.pointFort);
    e.champ("aTravailler", r.aTravailler);
    e.champ("conseil", r.conseil);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<CRMAnalyse> CRMAnalyse::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    CRMAnalyse r;
    r.etapeSuggeree = txt(o, "etapeSuggeree");
    r.probabilite = lire::nombre(val(o, "probabilite"), 0.0);
    r.resumeInteraction = txt(o, "resumeInteraction");
    r.prochaineAction = txt(o, "prochaineAction");
    r.champs = ou(ChampsContact::depuisJson(val(o, "champs")));
    r.etapeAppliquee = lire::booleen(val(o, "etapeAppliquee"));
    r.autres = autresQue(o, {"etapeSuggeree", "probabilite", "resumeInteraction", "prochaineAction", "champs",
                             "etapeAppliquee"});
    return r;
}

void ecrire(EcrivainJson& e, const CRMAnalyse& r)
{
    e.debutObjet();
    e.champ("etapeSuggeree", r.etapeSuggeree);
    e.champ("probabilite", r.probabilite);
    e.champ("resumeInteraction", r.resumeInteraction);
    e.champ("prochaineAction", r.prochaineAction);
    e.champ("champs", r.champs);
    e.champ("etapeAppliquee", r.etapeAppliquee);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<IssueAnalyse> IssueAnalyse::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return IssueAnalyse{txt(o, "proposee"), txt(o, "raison"), txt(o, "preuve"),
                        autresQue(o, {"proposee", "raison", "preuve"})};
}

void ecrire(EcrivainJson& e, const IssueAnalyse& r)
{
    e.debutObjet();
    e.champ("proposee", r.proposee);
    e.champ("raison", r.raison);
    e.champ("preuve", r.preuve);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<Plafond> Plafond::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return Plafond{txt(o, "dimension"), lireScore(val(o, "max")).value_or(0), txt(o, "raison"),
                   autresQue(o, {"dimension", "max", "raison"})};
}

void ecrire(EcrivainJson& e, const Plafond& r)
{
    e.debutObjet();
    e.champ("dimension", r.dimension);
    e.champ("max", r.max);
    e.champ("raison", r.raison);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

std::optional<Analyse> Analyse::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    Analyse a;
    a.score = lireScore(val(o, "score")).value_or(0);
    a.verdict = txt(o, "verdict");
    a.sentiment = lire::nombre(val(o, "sentiment"), 0.0);
    a.resume = txt(o, "resume");
    const QJsonValue dims = val(o, "dimensions");
    if (dims.isObject()) {
        const QJsonObject d = dims.toObject();
        for (auto it = d.begin(); it != d.end(); ++it) {
            if (auto s = ScoreDimension::depuisJson(it.value()))
                a.dimensions.insert(it.key(), std::move(*s));
        }
    }
    a.methode = ou(MethodeAnalyse::depuisJson(val(o, "methode")));
    a.objections = listeSouple<ObjectionAnalyse>(val(o, "objections"), &ObjectionAnalyse::depuisJson);
    a.moments = listeSouple<Moment>(val(o, "moments"), &Moment::depuisJson);
    a.questionsOubliees = textesSouples(val(o, "questionsOubliees"));
    a.questionsQuiMarchent = listeSouple<QuestionQuiMarche>(val(o, "questionsQuiMarchent"), &QuestionQuiMarche::depuisJson);
    a.qualification = listeSoupleOpt<ItemEntendu>(val(o, "qualification"), &ItemEntendu::depuisJson);
    a.prochainesEtapes = listeSouple<ProchaineEtape>(val(o, "prochainesEtapes"), &ProchaineEtape::depuisJson);
    a.email = ou(EmailSuivi::depuisJson(val(o, "email")));
    a.coaching = ou(Coaching::depuisJson(val(o, "coaching")));
    a.crm = ou(CRMAnalyse::depuisJson(val(o, "crm")));
    a.plafonds = listeSoupleOpt<Plafond>(val(o, "plafonds"), &Plafond::depuisJson);
    a.issue = IssueAnalyse::depuisJson(val(o, "issue"));
    const QJsonValue rel = val(o, "relances");
    if (rel.isObject() || rel.isArray())
        a.relances = JSONValeur(rel);
    const QJsonValue meta = val(o, "meta");
    if (!meta.isNull() && !meta.isUndefined())
        a.meta = JSONValeur(meta);
    a.autres = autresQue(o, {"score", "verdict", "sentiment", "resume", "dimensions", "methode", "objections", "moments",
                             "questionsOubliees", "questionsQuiMarchent", "qualification", "prochainesEtapes", "email",
                             "coaching", "crm", "plafonds", "issue", "relances", "meta"});
    return a;
}

void ecrire(EcrivainJson& e, const Analyse& r)
{
    e.debutObjet();
    e.champ("score", r.score);
    e.champ("verdict", r.verdict);
    e.champ("sentiment", r.sentiment);
    e.champ("resume", r.resume);
    e.cle("dimensions");
    e.debutObjet();
    for (auto it = r.dimensions.begin(); it != r.dimensions.end(); ++it) {
        const QByteArray k = it.key().toUtf8();
        e.cle(std::string_view(k.constData(), size_t(k.size())));
        ecrire(e, it.value());
    }
    e.finObjet();
    e.champ("methode", r.methode);
    e.champ("objections", r.objections);
    e.champ("moments", r.moments);
    e.champ("questionsOubliees", r.questionsOubliees);
    e.champ("questionsQuiMarchent", r.questionsQuiMarchent);
    e.champ("qualification", r.qualification);
    e.champ("prochainesEtapes", r.prochainesEtapes);
    e.champ("email", r.email);
    e.champ("coaching", r.coaching);
    e.champ("crm", r.crm);
    e.champ("plafonds", r.plafonds);
    e.champ("issue", r.issue);
    e.champ("relances", r.relances);
    e.champ("meta", r.meta);
    ecrireAutres(e, r.autres);
    e.finObjet();
}

QString avisAppelCourt(qint64 nbEchanges)
{
    if (nbEchanges >= 4)
        return {};
    return QStringLiteral("Cet appel est très court (moins de 4 échanges). Le score peut être peu fiable : "
                          "appel test ou conversation trop brève.");
}

} // namespace vd::model
