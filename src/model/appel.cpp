#include "appel.h"

namespace vd::model {

namespace {

inline VueJson val(const VueJson& o, const char* k) { return o.champ(k); }

quint32 fnv1a(const QByteArray& b)
{
    quint32 h = 2166136261u;
    for (char c : b) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

} // namespace

QString Segment::idPour(qint64 debutMs, const QString& texte)
{
    return QStringLiteral("s_%1_%2").arg(debutMs).arg(fnv1a(texte.toUtf8()) % 100000u);
}

std::optional<Segment> Segment::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Segment s;
    s.locuteur = lire::texte(val(o, "locuteur"), QStringLiteral("prospect"));
    if (s.locuteur != QLatin1String("vous"))
        s.locuteur = QStringLiteral("prospect");
    s.texte = lire::texte(val(o, "texte"), QString());
    s.debutMs = lire::entier(val(o, "debutMs"), 0);
    s.finMs = lire::entier(val(o, "finMs"), 0);
    if (s.locuteur == QLatin1String("prospect")) {
        auto i = lire::entier(val(o, "interlocuteur"));
        if (i && *i >= 1)
            s.interlocuteur = i;
    }
    s.id = lire::texte(val(o, "id"), QString());
    if (s.id.isEmpty())
        s.id = idPour(s.debutMs, s.texte);
    return s;
}

void ecrire(EcrivainJson& e, const Segment& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("locuteur", r.locuteur);
    e.champ("texte", r.texte);
    e.champ("debutMs", r.debutMs);
    e.champ("finMs", r.finMs);
    e.champ("interlocuteur", r.interlocuteur);
    e.finObjet();
}

std::optional<Aide> Aide::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Aide a;
    a.id = lire::texte(val(o, "id"), QString());
    a.tache = lire::texte(val(o, "tache"), QString());
    a.tMs = lire::entier(val(o, "tMs"), 0);
    a.demande = lire::texte(val(o, "demande"), QString());
    a.resultat = JSONValeur(val(o, "resultat").versQt());
    a.utile = lire::booleen(val(o, "utile"));
    a.modele = lire::texteOpt(val(o, "modele"));
    return a;
}

void ecrire(EcrivainJson& e, const Aide& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("tache", r.tache);
    e.champ("tMs", r.tMs);
    e.champ("demande", r.demande);
    e.champ("resultat", r.resultat);
    e.champ("utile", r.utile);
    e.champ("modele", r.modele);
    e.finObjet();
}

std::optional<Detection> Detection::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Detection d;
    d.tMs = lire::entier(val(o, "tMs"), 0);
    d.categorie = lire::texte(val(o, "categorie"), QStringLiteral("autre"));
    d.extrait = lire::texte(val(o, "extrait"), QString());
    return d;
}

void ecrire(EcrivainJson& e, const Detection& r)
{
    e.debutObjet();
    e.champ("tMs", r.tMs);
    e.champ("categorie", r.categorie);
    e.champ("extrait", r.extrait);
    e.finObjet();
}

std::optional<Metriques> Metriques::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Metriques m;
    m.dureeSec = lire::nombre(val(o, "dureeSec"), 0.0);
    m.partVous = lire::entier(val(o, "partVous"), 0);
    m.partProspect = lire::entier(val(o, "partProspect"), 0);
    m.questionsVous = lire::entier(val(o, "questionsVous"), 0);
    m.plusLongMonologueSec = lire::entier(val(o, "plusLongMonologueSec"), 0);
    m.motsParMinute = lire::entier(val(o, "motsParMinute"), 0);
    m.interruptions = lire::entier(val(o, "interruptions"), 0);
    m.nbEchanges = lire::entier(val(o, "nbEchanges"), 0);
    return m;
}

void ecrire(EcrivainJson& e, const Metriques& r)
{
    e.debutObjet();
    e.champ("dureeSec", r.dureeSec);
    e.champ("partVous", r.partVous);
    e.champ("partProspect", r.partProspect);
    e.champ("questionsVous", r.questionsVous);
    e.champ("plusLongMonologueSec", r.plusLongMonologueSec);
    e.champ("motsParMinute", r.motsParMinute);
    e.champ("interruptions", r.interruptions);
    e.champ("nbEchanges", r.nbEchanges);
    e.finObjet();
}

std::optional<MomentMarque> MomentMarque::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    MomentMarque m;
    m.tMs = std::max<qint64>(0, lire::entier(val(o, "tMs"), 0));
    m.id = lire::texte(val(o, "id"), QString());
    if (m.id.isEmpty())
        m.id = QStringLiteral("mm_%1").arg(m.tMs);
    m.note = lire::texteOpt(val(o, "note"));
    return m;
}

void ecrire(EcrivainJson& e, const MomentMarque& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("tMs", r.tMs);
    e.champ("note", r.note);
    e.finObjet();
}

std::optional<NoteAppel> NoteAppel::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    NoteAppel n;
    n.texte = lire::texte(val(o, "texte"), QString());
    if (n.texte.trimmed().isEmpty())
        return std::nullopt;
    n.tMs = std::max<qint64>(0, lire::entier(val(o, "tMs"), 0));
    n.id = lire::texte(val(o, "id"), QString());
    if (n.id.isEmpty())
        n.id = QStringLiteral("na_%1").arg(n.tMs);
    return n;
}

void ecrire(EcrivainJson& e, const NoteAppel& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("tMs", r.tMs);
    e.champ("texte", r.texte);
    e.finObjet();
}

std::optional<PhaseAppel> PhaseAppel::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    PhaseAppel p;
    p.phase = lire::texte(val(o, "phase"), QString());
    p.tMs = std::max<qint64>(0, lire::entier(val(o, "tMs"), 0));
    return p;
}

void ecrire(EcrivainJson& e, const PhaseAppel& r)
{
    e.debutObjet();
    e.champ("phase", r.phase);
    e.champ("tMs", r.tMs);
    e.finObjet();
}

std::optional<ProchaineAction> ProchaineAction::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ProchaineAction p;
    p.texte = lire::texte(val(o, "texte"), QString());
    p.echeance = lire::texte(val(o, "echeance"), QString());
    return p;
}

void ecrire(EcrivainJson& e, const ProchaineAction& r)
{
    e.debutObjet();
    e.champ("texte", r.texte);
    e.champ("echeance", r.echeance);
    e.finObjet();
}

std::optional<PonctualiteAppel> PonctualiteAppel::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    PonctualiteAppel p;
    p.rdvDebut = lire::texteOpt(val(o, "rdvDebut"));
    p.retardCommercialSec = lire::entier(val(o, "retardCommercialSec"));
    p.premiereParoleProspectMs = lire::entier(val(o, "premiereParoleProspectMs"));
    p.prospectAbsent = lire::booleen(val(o, "prospectAbsent"), false);
    p.prospectInconnu = lire::booleen(val(o, "prospectInconnu"));
    return p;
}

void ecrire(EcrivainJson& e, const PonctualiteAppel& r)
{
    e.debutObjet();
    e.champ("rdvDebut", r.rdvDebut);
    e.champ("retardCommercialSec", r.retardCommercialSec);
    e.champ("premiereParoleProspectMs", r.premiereParoleProspectMs);
    e.champ("prospectAbsent", r.prospectAbsent);
    e.champ("prospectInconnu", r.prospectInconnu);
    e.finObjet();
}

std::optional<EnregistrementAppel> EnregistrementAppel::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    EnregistrementAppel r;
    r.fichier = lire::texte(val(o, "fichier"), QString());
    if (r.fichier.isEmpty())
        return std::nullopt;
    r.dureeSec = std::max(0.0, lire::nombre(val(o, "dureeSec"), 0.0));
    r.taille = std::max<qint64>(0, lire::entier(val(o, "taille"), 0));
    r.video = lire::booleen(val(o, "video"), true);
    return r;
}

void ecrire(EcrivainJson& e, const EnregistrementAppel& r)
{
    e.debutObjet();
    e.champ("fichier", r.fichier);
    e.champ("dureeSec", r.dureeSec);
    e.champ("taille", r.taille);
    e.champ("video", r.video);
    e.finObjet();
}

std::optional<ObjectionProbable> ObjectionProbable::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    return ObjectionProbable{lire::texte(val(o, "objection"), QString()), lire::texte(val(o, "parade"), QString())};
}

void ecrire(EcrivainJson& e, const ObjectionProbable& r)
{
    e.debutObjet();
    e.champ("objection", r.objection);
    e.champ("parade", r.parade);
    e.finObjet();
}

std::optional<BriefEtape> BriefEtape::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    BriefEtape b;
    b.etapeId = lire::texte(val(o, "etapeId"), QString());
    b.objectif = lire::texte(val(o, "objectif"), QString());
    b.questions = lire::textes(val(o, "questions"));
    b.transition = lire::texte(val(o, "transition"), QString());
    return b;
}

void ecrire(EcrivainJson& e, const BriefEtape& r)
{
    e.debutObjet();
    e.champ("etapeId", r.etapeId);
    e.champ("objectif", r.objectif);
    e.champ("questions", r.questions);
    e.champ("transition", r.transition);
    e.finObjet();
}

std::optional<BriefQualification> BriefQualification::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    BriefQualification b;
    b.itemId = lire::texte(val(o, "itemId"), QString());
    b.nom = lire::texte(val(o, "nom"), QString());
    b.connu = lire::texte(val(o, "connu"), QString());
    b.manque = lire::texte(val(o, "manque"), QString());
    b.question = lire::texte(val(o, "question"), QString());
    return b;
}

void ecrire(EcrivainJson& e, const BriefQualification& r)
{
    e.debutObjet();
    e.champ("itemId", r.itemId);
    e.champ("nom", r.nom);
    e.champ("connu", r.connu);
    e.champ("manque", r.manque);
    e.champ("question", r.question);
    e.finObjet();
}

std::optional<Brief> Brief::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Brief b;
    b.pointsCles = lire::textes(val(o, "pointsCles"));
    b.objectionsProbables = lire::liste<ObjectionProbable>(val(o, "objectionsProbables"));
    b.questions = lire::textes(val(o, "questions"));
    b.objectifMesurable = lire::texte(val(o, "objectifMesurable"), QString());
    b.ouverture = lire::texte(val(o, "ouverture"), QString());
    b.briefEtapes = lire::liste<BriefEtape>(val(o, "briefEtapes"));
    b.qualification = lire::liste<BriefQualification>(val(o, "qualification"));
    return b;
}

void ecrire(EcrivainJson& e, const Brief& r)
{
    e.debutObjet();
    e.champ("pointsCles", r.pointsCles);
    e.champ("objectionsProbables", r.objectionsProbables);
    e.champ("questions", r.questions);
    e.champ("objectifMesurable", r.objectifMesurable);
    e.champ("ouverture", r.ouverture);
    e.champ("briefEtapes", r.briefEtapes);
    e.champ("qualification", r.qualification);
    e.finObjet();
}

std::optional<Appel> Appel::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Appel a;
    a.id = lire::texte(val(o, "id"), QString());
    a.contactId = lire::texteOpt(val(o, "contactId"));
    a.type = lire::texte(val(o, "type"), QStringLiteral("decouverte"));
    a.objectif = lire::texte(val(o, "objectif"), QString());
    a.methode = lire::texte(val(o, "methode"), QStringLiteral("aucune"));
    a.langue = lire::texte(val(o, "langue"), QStringLiteral("fr"));
    a.source = lire::texte(val(o, "source"), QStringLiteral("demo"));
    a.debut = lire::texte(val(o, "debut"), QString());
    a.duree = lire::nombre(val(o, "duree"), 0.0);
    a.statut = lire::texte(val(o, "statut"), QStringLiteral("analyse"));
    a.transcript = lire::liste<Segment>(val(o, "transcript"));
    a.aides = lire::liste<Aide>(val(o, "aides"));
    a.detections = lire::liste<Detection>(val(o, "detections"));
    a.metriques = Metriques::depuisJson(val(o, "metriques"));
    a.brief = Brief::depuisJson(val(o, "brief"));
    // Analyses are read once per call, through the Qt form their lenient reader works on.
    if (const VueJson analyse = val(o, "analyse"); analyse.isObject())
        a.analyse = Analyse::depuisJson(analyse.versQt());
    a.erreur = lire::texteOpt(val(o, "erreur"));
    a.creeLe = lire::texte(val(o, "creeLe"), QString());
    a.majLe = lire::texte(val(o, "majLe"), QString());
    a.momentsMarques = lire::liste<MomentMarque>(val(o, "momentsMarques"));
    a.notes = lire::liste<NoteAppel>(val(o, "notes"));
    a.questionsCochees = lire::textesOpt(val(o, "questionsCochees"));
    a.prochaineEtape = ProchaineAction::depuisJson(val(o, "prochaineEtape"));
    a.etapesCochees = lire::textesOpt(val(o, "etapesCochees"));
    a.criteresCoches = lire::textesOpt(val(o, "criteresCoches"));
    a.questionsEtapeCochees = lire::textesOpt(val(o, "questionsEtapeCochees"));
    a.phases = lire::listeOpt<PhaseAppel>(val(o, "phases"));
    a.compteId = lire::texteOpt(val(o, "compteId"));
    a.enregistrement = EnregistrementAppel::depuisJson(val(o, "enregistrement"));
    a.moteurTranscription = lire::texteOpt(val(o, "moteurTranscription"));
    a.modeleAnalyse = lire::texteOpt(val(o, "modeleAnalyse"));
    a.echosRetires = lire::entier(val(o, "echosRetires"));
    const VueJson q = val(o, "qualification");
    if (q.isArray())
        a.qualification = lire::objetsBruts(q);
    a.ponctualite = PonctualiteAppel::depuisJson(val(o, "ponctualite"));
    return a;
}

void ecrire(EcrivainJson& e, const Appel& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("contactId", r.contactId);
    e.champ("type", r.type);
    e.champ("objectif", r.objectif);
    e.champ("methode", r.methode);
    e.champ("langue", r.langue);
    e.champ("source", r.source);
    e.champ("debut", r.debut);
    e.champ("duree", r.duree);
    e.champ("statut", r.statut);
    e.champ("transcript", r.transcript);
    e.champ("aides", r.aides);
    e.champ("detections", r.detections);
    e.champ("metriques", r.metriques);
    e.champ("brief", r.brief);
    e.champ("analyse", r.analyse);
    e.champ("erreur", r.erreur);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.champ("momentsMarques", r.momentsMarques);
    e.champ("notes", r.notes);
    e.champ("questionsCochees", r.questionsCochees);
    e.champ("prochaineEtape", r.prochaineEtape);
    e.champ("etapesCochees", r.etapesCochees);
    e.champ("criteresCoches", r.criteresCoches);
    e.champ("questionsEtapeCochees", r.questionsEtapeCochees);
    e.champ("phases", r.phases);
    e.champ("compteId", r.compteId);
    e.champ("enregistrement", r.enregistrement);
    e.champ("moteurTranscription", r.moteurTranscription);
    e.champ("modeleAnalyse", r.modeleAnalyse);
    e.champ("echosRetires", r.echosRetires);
    e.champ("qualification", r.qualification);
    e.champ("ponctualite", r.ponctualite);
    e.finObjet();
}

QString typeAppelPourEtape(const QString& etape)
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("nouveau"), QStringLiteral("prospection")},
        {QStringLiteral("contacte"), QStringLiteral("decouverte")},
        {QStringLiteral("decouverte"), QStringLiteral("demo")},
        {QStringLiteral("demo"), QStringLiteral("suivi")},
        {QStringLiteral("proposition"), QStringLiteral("closing")},
        {QStringLiteral("negociation"), QStringLiteral("negociation")},
        {QStringLiteral("gagne"), QStringLiteral("upsell")},
        {QStringLiteral("perdu"), QStringLiteral("suivi")},
    };
    return table.value(etape, QStringLiteral("decouverte"));
}

} // namespace vd::model
