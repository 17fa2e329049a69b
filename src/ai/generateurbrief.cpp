#include "generateurbrief.h"

#include "ai/analyses.h"
#include "ai/erreursclaude.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcBrief, "vd.ai.brief")

namespace vd::ai {

namespace {

const QString tacheBrief = QStringLiteral("brief");
const QString modeleParDefaut = QStringLiteral("claude-sonnet-5-5");

// A list the model gave as one text becomes a list of one.
void enListe(QJsonObject& o, const QString& cle)
{
    const QJsonValue v = o.value(cle);
    if (v.isString())
        o.insert(cle, QJsonArray{v});
}

QStringList nettoyer(const QStringList& l)
{
    QStringList r;
    for (const QString& t : l) {
        const QString n = model::neutraliser(t.trimmed());
        if (!n.isEmpty())
            r << n;
    }
    return r;
}

QString propre(const QString& t) { return model::neutraliser(t.trimmed()); }

template<typename T>
std::optional<QList<T>> normalise(Moteur& moteur, const QString& fonction, const QJsonObject& reponse, const QJsonValue& payload)
{
    auto r = moteur.appelerJSON(fonction, {reponse, payload});
    if (!r || !r.valeur().isArray()) {
        qCWarning(lcBrief) << fonction << "indisponible :" << (r ? QStringLiteral("pas une liste") : r.erreur().description());
        return std::nullopt;
    }
    QList<T> l;
    for (const QJsonValue& v : r.valeur().toArray())
        if (auto x = T::depuisJson(v))
            l << *x;
    return l;
}

} // namespace

QJsonObject ParametresBrief::versJson() const
{
    return {{QStringLiteral("contactId"), contactId}, {QStringLiteral("type"), type}, {QStringLiteral("objectif"), objectif},
            {QStringLiteral("methode"), methode}, {QStringLiteral("langue"), langue}};
}

GenerateurBrief::GenerateurBrief(model::Store& store, Moteur& moteur, ClientIABase& client, QObject* parent)
    : QObject(parent), store_(store), moteur_(moteur), client_(client)
{
    qRegisterMetaType<vd::ai::ParametresBrief>();
}

GenerateurBrief::~GenerateurBrief()
{
    if (demande_)
        demande_->annuler();
}

QString GenerateurBrief::modele() const
{
    const QString m = moteur_.donnee(QStringLiteral("MODELES_DEFAUT")).toObject().value(tacheBrief).toString().trimmed();
    if (!m.isEmpty())
        return m;
    const QString analyse = store_.etat().reglages.modeles.analyse.trimmed();
    return analyse.isEmpty() ? modeleParDefaut : analyse;
}

bool GenerateurBrief::demandeDemo(const ParametresBrief& parametres) const
{
    const model::Contact* c = store_.etat().contact(parametres.contactId);
    return c && c->test.value_or(false);
}

ResultatVide<QString> GenerateurBrief::generer(const ParametresBrief& parametres)
{
    if (courante_)
        return vd::echec(messageDejaEnCours());
    if (parametres.contactId.trimmed().isEmpty())
        return vd::echec(messageSansContact());

    std::optional<QString> erreur;
    QJsonValue payload;
    const QJsonObject etat = model::versObjetJson(store_.etat());
    moteur_.enSequence([&](Moteur& m) {
        if (auto r = m.appeler(QStringLiteral("chargerEtat"), {etat}); !r) {
            erreur = r.erreur().description();
            return;
        }
        auto r = m.appelerJSON(QStringLiteral("payloadBrief"), {parametres.versJson()});
        if (!r) {
            erreur = r.erreur().description();
            return;
        }
        payload = r.valeur();
    });
    if (erreur)
        return vd::echec(*erreur);
    if (!payload.isObject())
        return vd::echec(ErreurMoteur::decodage(QStringLiteral("Moteur.payloadBrief n'a pas rendu d'objet.")).description());

    RequeteIA requete;
    requete.tache = tacheBrief;
    requete.payload = payload;
    requete.modele = modele();
    requete.demo = demandeDemo(parametres);
    requete.formatStructure = true;
    DemandeIA* d = client_.envoyer(requete);
    if (!d)
        return vd::echec(messageEchec());
    d->setParent(this);
    demande_ = d;
    courante_ = parametres;
    const quint64 generation = ++generation_;
    connect(d, &DemandeIA::fini, this, [this, d, generation, parametres, payload](const QString& texte, const InfosGeneration&) {
        d->deleteLater();
        if (generation != generation_ || !courante_)
            return;
        const std::optional<model::Brief> brief = lireReponse(moteur_, texte, payload);
        terminer();
        if (brief)
            Q_EMIT pret(parametres, *brief);
        else
            Q_EMIT echec(parametres, messageIllisible());
    });
    connect(d, &DemandeIA::echec, this, [this, d, generation, parametres](const QString& message, const QString&, int) {
        d->deleteLater();
        if (generation != generation_ || !courante_)
            return;
        qCInfo(lcBrief) << "brief en échec pour la tâche" << tacheBrief;
        terminer();
        // No route at all is a setting to fix, not a connection to check: its own message says so.
        Q_EMIT echec(parametres, message == messages::aucuneRoute ? message : messageEchec());
    });
    Q_EMIT enCoursChange(true);
    return Rien{};
}

void GenerateurBrief::annuler()
{
    if (!courante_)
        return;
    ++generation_;
    if (demande_) {
        demande_->annuler();
        demande_->deleteLater();
    }
    terminer();
}

void GenerateurBrief::terminer()
{
    demande_.clear();
    courante_.reset();
    Q_EMIT enCoursChange(false);
}

std::optional<model::Brief> GenerateurBrief::lireReponse(Moteur& moteur, const QString& texte, const QJsonValue& payload)
{
    std::optional<QJsonObject> reponse = lireObjetReponse(texte);
    if (!reponse)
        return std::nullopt;
    // Some answers wrap the brief in one more object.
    if (reponse->size() == 1 && reponse->value(QLatin1String("brief")).isObject())
        reponse = reponse->value(QLatin1String("brief")).toObject();
    enListe(*reponse, QStringLiteral("pointsCles"));
    enListe(*reponse, QStringLiteral("questions"));
    std::optional<model::Brief> lu = model::Brief::depuisJson(QJsonValue(*reponse));
    if (!lu)
        return std::nullopt;

    model::Brief b;
    b.pointsCles = nettoyer(lu->pointsCles);
    b.questions = nettoyer(lu->questions);
    b.objectifMesurable = propre(lu->objectifMesurable);
    b.ouverture = propre(lu->ouverture);
    for (const model::ObjectionProbable& o : lu->objectionsProbables) {
        model::ObjectionProbable x{propre(o.objection), propre(o.parade)};
        if (!x.objection.isEmpty())
            b.objectionsProbables << x;
    }
    const auto etapes = normalise<model::BriefEtape>(moteur, QStringLiteral("normaliserBriefEtapes"), *reponse, payload);
    for (const model::BriefEtape& e : etapes.value_or(lu->briefEtapes)) {
        model::BriefEtape x{e.etapeId.trimmed(), propre(e.objectif), nettoyer(e.questions), propre(e.transition)};
        if (!x.etapeId.isEmpty())
            b.briefEtapes << x;
    }
    const auto qualif = normalise<model::BriefQualification>(moteur, QStringLiteral("normaliserBriefQualification"), *reponse, payload);
    for (const model::BriefQualification& q : qualif.value_or(lu->qualification)) {
        model::BriefQualification x{q.itemId.trimmed(), propre(q.nom), propre(q.connu), propre(q.manque), propre(q.question)};
        if (!x.itemId.isEmpty())
            b.qualification << x;
    }
    const bool utilisable = !b.pointsCles.isEmpty() || !b.questions.isEmpty() || !b.objectionsProbables.isEmpty()
                            || !b.objectifMesurable.isEmpty() || !b.ouverture.isEmpty();
    if (!utilisable)
        return std::nullopt;
    return b;
}

} // namespace vd::ai
