#include "liaisonsouffleur.h"

#include <QJsonArray>

namespace vd::call {

LiaisonSouffleur::LiaisonSouffleur(SessionAppel& session, ai::Souffleur& souffleur, ai::PanneauSouffleur& panneau,
                                   model::Store& store, ai::AnalysesEnCours* analyses, QObject* parent)
    : QObject(parent), session_(session), souffleur_(souffleur), panneau_(panneau), store_(store), analyses_(analyses)
{
    souffleur_.setAppel(this);
    souffleur_.setSourceEtat([this] { return store_.etat(); });
    souffleur_.setReglages(store_.etat().reglages);
    panneau_.setReglages(store_.etat().reglages.souffleur);

    connect(&session_, &SessionAppel::finalAjoute, this, [this](const model::Segment& s) { souffleur_.segmentFinal(s); });
    connect(&session_, &SessionAppel::etatChange, this, &LiaisonSouffleur::suivreEtat);
    connect(&session_, &SessionAppel::transcriptionChange, this, &LiaisonSouffleur::suivreEtat);
    connect(&session_, &SessionAppel::coachingChange, this, [this] {
        QStringList textes;
        for (const CoachingAlerte& c : session_.coaching())
            textes << c.texte;
        panneau_.setCoaching(textes);
    });
    connect(&souffleur_, &ai::Souffleur::contexteChange, this, [this] {
        if (enCours() && !souffleur_.contexte().isNull())
            session_.definirContexte(model::JSONValeur(souffleur_.contexte()));
        // A framework without a grid of its own: the panel ticks the context's.
        if (!grille_.isObject())
            panneau_.setGrille(itemsDe(souffleur_.contexte().toObject().value(QLatin1String("grille"))));
    });
    // Step questions asked are ticked in the call, so the analysis and the call page see them.
    connect(&souffleur_, &ai::Souffleur::questionsEtapeChangees, this, [this] {
        for (const QString& cle : souffleur_.questionsEtapePosees())
            session_.cocher(SessionAppel::ListeCochee::questionsEtapeAuto, cle, true);
    });
    connect(&session_, &SessionAppel::notesChange, this, [this] { panneau_.setEtapeChoisie(session_.etapeChoisie()); });
    connect(&souffleur_, &ai::Souffleur::aidesChangees, this, &LiaisonSouffleur::synchroniserAides);
    connect(&souffleur_, &ai::Souffleur::aideChangee, this, &LiaisonSouffleur::synchroniserAides);
    connect(&souffleur_, &ai::Souffleur::detectionChangee, this, &LiaisonSouffleur::synchroniserDetections);
    connect(&souffleur_, &ai::Souffleur::qualificationChangee, this, [this] {
        QList<PropositionQualification> l;
        for (const ai::PropositionQualification& p : souffleur_.propositionsQualification())
            l.append(PropositionQualification{p.id, p.champ, p.valeur, p.extrait, p.tMs, p.item, p.nomItem});
        session_.definirPropositionsQualification(l);
        // Items heard live are kept in the call with their moment and source.
        for (const ai::PropositionQualification& p : souffleur_.propositionsQualification())
            session_.accepterQualification(model::JSONValeur(QJsonObject{{QStringLiteral("item"), p.item},
                                                                          {QStringLiteral("valeur"), p.valeur},
                                                                          {QStringLiteral("preuve"), p.extrait},
                                                                          {QStringLiteral("source"), QStringLiteral("direct")},
                                                                          {QStringLiteral("tMs"), double(p.tMs)}}));
    });
    connect(&souffleur_, &ai::Souffleur::registreChange, this, [this] {
        const QString v = souffleur_.registre().toObject().value(QLatin1String("valeur")).toString();
        if (v == QLatin1String("tu"))
            session_.definirRegistreDetecte(QStringLiteral("tutoiement"));
        else if (v == QLatin1String("vous"))
            session_.definirRegistreDetecte(QStringLiteral("vouvoiement"));
    });
    connect(&store_, &model::Store::etatChange, this, [this] {
        souffleur_.setReglages(store_.etat().reglages);
        souffleur_.etatModifie(store_.etat());
        if (!(panneau_.reglages() == store_.etat().reglages.souffleur))
            panneau_.setReglages(store_.etat().reglages.souffleur);
    });

    ai::ActionsAppel actions;
    actions.marquerMoment = [this] { session_.marquerMoment(); };
    actions.ajouterNote = [this](const QString& t) { session_.ajouterNote(t); };
    actions.pause = [this] { session_.pause(); };
    actions.reprendre = [this] { session_.reprendre(); };
    actions.terminer = [this] { session_.arreter(); };
    actions.relancerTranscription = [this] { session_.relancerTranscription(); };
    panneau_.setActions(actions);

    // The quick summary comes from the recap task; the full analysis follows.
    QPointer<ai::Souffleur> souffleurP(&souffleur_);
    session_.setFournisseurRecap([souffleurP](const model::Appel& appel, std::function<void(std::optional<ResultatRecap>)> reponse) {
        if (!souffleurP) {
            reponse(std::nullopt);
            return;
        }
        souffleurP->preparerRecap(appel, [reponse](std::optional<QJsonValue> v) {
            reponse(v ? ResultatRecap::depuisJson(*v) : std::nullopt);
        });
    });
    if (analyses_) {
        QPointer<ai::AnalysesEnCours> a = analyses_;
        session_.setRappelAnalyse([a](const QString& id) {
            if (a)
                a->analyser(id);
        });
    }
    suivreEtat();
}

bool LiaisonSouffleur::enCours() const
{
    return session_.etat() == EtatSession::enCours || session_.etat() == EtatSession::pause;
}

QString LiaisonSouffleur::appelId() const { return session_.appelIdTexte(); }

QJsonValue LiaisonSouffleur::grillePour(const model::Etat& etat, const QString& methode)
{
    // The same framework as the engine picks: an active one named by the call, else the active default.
    std::optional<QJsonObject> nomme, parDefaut;
    for (const model::JSONValeur& f : etat.frameworks) {
        const QJsonObject o = f.qt().toObject();
        if (o.value(QLatin1String("actif")) == QJsonValue(false) || !o.value(QLatin1String("etapes")).isArray())
            continue;
        if (!nomme && o.value(QLatin1String("id")).toString().trimmed() == methode.trimmed())
            nomme = o;
        if (!parDefaut && o.value(QLatin1String("parDefaut")).toBool())
            parDefaut = o;
    }
    const std::optional<QJsonObject>& choisi = nomme ? nomme : parDefaut;
    if (!choisi)
        return QJsonValue();
    const QJsonValue g = choisi->value(QLatin1String("qualification"));
    return g.isObject() && !g.toObject().value(QLatin1String("items")).toArray().isEmpty() ? g : QJsonValue();
}

QList<QPair<QString, QString>> LiaisonSouffleur::itemsDe(const QJsonValue& grille)
{
    QList<QPair<QString, QString>> items;
    for (const QJsonValue& v : grille.toObject().value(QLatin1String("items")).toArray())
        items.append({v.toObject().value(QLatin1String("id")).toString().trimmed(), v.toObject().value(QLatin1String("nom")).toString()});
    return items;
}

QJsonObject LiaisonSouffleur::configAppel() const
{
    const ConfigAppel& c = session_.config();
    QJsonObject o{{QStringLiteral("type"), c.type},
                  {QStringLiteral("objectif"), c.objectif},
                  {QStringLiteral("methode"), c.methode},
                  {QStringLiteral("langue"), c.langue}};
    if (c.contactId)
        o.insert(QStringLiteral("contactId"), *c.contactId);
    if (c.brief)
        o.insert(QStringLiteral("brief"), model::versObjetJson(*c.brief));
    if (grille_.isObject())
        o.insert(QStringLiteral("grille"), grille_);
    return o;
}

const QList<model::Segment>& LiaisonSouffleur::finals() const { return session_.finals(); }
qint64 LiaisonSouffleur::offsetMs() const { return session_.offsetMs(); }
bool LiaisonSouffleur::demo() const { return session_.config().source == QLatin1String("demo"); }

void LiaisonSouffleur::suivreEtat()
{
    const QString id = session_.appelIdTexte();
    if (!id.isEmpty() && id != appelSuivi_) {
        // A new call: nothing of the previous one carries over.
        appelSuivi_ = id;
        detectionsTransmises_ = 0;
        souffleur_.reinitialiser();
        grille_ = grillePour(store_.etat(), session_.config().methode);
        panneau_.setGrille(itemsDe(grille_));
        panneau_.setEtapeChoisie(session_.etapeChoisie());
        panneau_.setObjectifEtBrief(session_.config().objectif, session_.config().brief.has_value());
        souffleur_.preparerContexte();
    }
    panneau_.setEtatAppel(session_.nomEtatCourant(), session_.codeTranscription());
}

AideLive LiaisonSouffleur::versSession(const ai::AideLive& a)
{
    AideLive r;
    r.id = a.id;
    r.tache = a.tache;
    r.tMs = a.tMs;
    r.demande = a.demande;
    r.statut = a.statut == ai::AideLive::Statut::ok       ? AideLive::Statut::ok
               : a.statut == ai::AideLive::Statut::erreur ? AideLive::Statut::erreur
                                                          : AideLive::Statut::enCours;
    if (a.resultat)
        r.resultat = model::JSONValeur(*a.resultat);
    if (a.partiel)
        r.partiel = model::JSONValeur(*a.partiel);
    r.erreur = a.erreur;
    r.modele = a.modele;
    r.latenceMs = a.latenceMs;
    r.utile = a.utile;
    return r;
}

void LiaisonSouffleur::synchroniserAides()
{
    if (!souffleur_.contexte().isNull() && !session_.contexte())
        session_.definirContexte(model::JSONValeur(souffleur_.contexte()));
    for (const ai::AideLive& a : souffleur_.aides()) {
        const AideLive s = versSession(a);
        bool connue = false;
        for (const AideLive& x : session_.aides()) {
            if (x.id == a.id) {
                connue = true;
                if (!(x == s))
                    session_.majAide(s);
                break;
            }
        }
        if (!connue)
            session_.ajouterAide(s);
    }
    if (session_.erreurTexte().isEmpty() && souffleur_.erreur())
        ;   // the panel shows the prompter's own failure; the session's message line stays for the call
}

void LiaisonSouffleur::synchroniserDetections()
{
    const QList<model::Detection>& d = souffleur_.detections();
    for (qsizetype i = detectionsTransmises_; i < d.size(); ++i)
        session_.ajouterDetection(d[i]);
    detectionsTransmises_ = d.size();
}

} // namespace vd::call
