#include "souffleur.h"

#include "etatmoteur.h"
#include "model/texte.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <cmath>
#include <memory>

Q_LOGGING_CATEGORY(lcSouffleur, "vd.ai.souffleur")

namespace vd::ai {

namespace {

constexpr qint64 ecartJointureMs = 1999;

QString cleVoix(const model::Segment& s)
{
    if (s.locuteur == QLatin1String("vous"))
        return QStringLiteral("vous");
    return QStringLiteral("prospect:%1").arg(s.interlocuteur.value_or(1));
}

QJsonObject tour(const QString& locuteur, const QString& texte, qint64 debutMs, qint64 finMs)
{
    return QJsonObject{{QStringLiteral("locuteur"), locuteur},
                       {QStringLiteral("texte"), texte},
                       {QStringLiteral("debutMs"), double(debutMs)},
                       {QStringLiteral("finMs"), double(finMs)}};
}

// A list of hits whether the engine answers a list, an object holding one, or a single hit.
QJsonArray resultats(const QJsonValue& v, const char* cle)
{
    if (v.isArray())
        return v.toArray();
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        const QJsonValue l = o.value(QLatin1String(cle));
        if (l.isArray())
            return l.toArray();
        if (l.isObject())
            return QJsonArray{l};
        if (!o.isEmpty() && !o.contains(QLatin1String(cle)))
            return QJsonArray{o};
    }
    return {};
}

QString texteDe(const QJsonObject& o, std::initializer_list<const char*> cles)
{
    for (const char* c : cles) {
        if (auto t = model::lire::texteOpt(o.value(QLatin1String(c))))
            return *t;
    }
    return {};
}

} // namespace

model::Aide AideLive::versAide() const
{
    model::Aide a;
    a.id = id;
    a.tache = tache;
    a.tMs = tMs;
    a.demande = demande;
    a.resultat = model::JSONValeur(resultat.value_or(QJsonValue()));
    a.utile = utile;
    a.modele = modele;
    return a;
}

QJsonValue lireReponseAide(const QString& texte)
{
    const QString t = texte.trimmed();
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(t.toUtf8(), &err);
    if (err.error == QJsonParseError::NoError) {
        if (doc.isObject())
            return doc.object();
        if (doc.isArray())
            return doc.array();
    }
    if (t.startsWith(QLatin1Char('{')) || t.startsWith(QLatin1Char('['))) {
        if (auto v = model::completerJsonPartiel(t))
            return *v;
    }
    return t;
}

Souffleur::Souffleur(Moteur& moteur, ClientIABase& client, QObject* parent)
    : QObject(parent), moteur_(moteur), client_(client)
{
    fil_.setMaxThreadCount(1);
    fil_.setObjectName(QStringLiteral("io.vendalo.souffleur.contexte"));
}

Souffleur::~Souffleur()
{
    fil_.clear();
    fil_.waitForDone();
    for (auto& d : demandes_) {
        if (d)
            d->annuler();
    }
}

void Souffleur::setReglages(const model::Reglages& r)
{
    modeleLive_ = r.modeles.live.trimmed().isEmpty() ? model::ChoixModeles{}.live : r.modeles.live;
    fenetreSec_ = int(std::max<qint64>(30, r.souffleur.fenetreContexteSec));
    detection_ = r.souffleur.detection != QLatin1String("off");
}

void Souffleur::reinitialiser()
{
    ++generation_;
    for (auto& d : demandes_) {
        if (d)
            d->annuler();
    }
    demandes_.clear();
    enVol_.clear();
    aides_.clear();
    contexte_.reset();
    appelContexte_.clear();
    detections_.clear();
    derniereDetection_.reset();
    categoriesParSegment_.clear();
    derniers_.clear();
    propositions_.clear();
    entendus_.clear();
    posees_.clear();
    registre_ = QJsonValue();
    compteur_ = 0;
    publierErreur(std::nullopt);
    Q_EMIT aidesChangees();
    Q_EMIT detectionChangee();
    Q_EMIT qualificationChangee();
    Q_EMIT questionsEtapeChangees();
    Q_EMIT registreChange();
}

const AideLive* Souffleur::aide(const QString& id) const
{
    for (const AideLive& a : aides_) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

AideLive* Souffleur::aideMutable(const QString& id)
{
    for (AideLive& a : aides_) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

QList<model::Aide> Souffleur::aidesFinies() const
{
    QList<model::Aide> r;
    for (const AideLive& a : aides_) {
        if (a.statut == AideLive::Statut::ok)
            r.append(a.versAide());
    }
    return r;
}

QStringList Souffleur::historique() const
{
    QStringList r;
    for (const AideLive& a : aides_) {
        if (a.statut == AideLive::Statut::ok)
            r << a.id;
    }
    return r;
}

void Souffleur::noter(const QString& aideId, bool utile)
{
    AideLive* a = aideMutable(aideId);
    if (!a || a->utile == utile)
        return;
    a->utile = utile;
    Q_EMIT aideChangee(aideId);
}

void Souffleur::publierErreur(std::optional<QString> e)
{
    if (erreur_ == e)
        return;
    erreur_ = std::move(e);
    Q_EMIT erreurChangee();
}

bool Souffleur::demandeRecap(const QString& texte)
{
    static const QRegularExpression ponctuation(QStringLiteral("[^a-z ]"));
    QString p = model::plier(texte);
    p.replace(ponctuation, QStringLiteral(" "));
    p = p.simplified();
    return p == QLatin1String("recap") || p == QLatin1String("mini recap") || p == QLatin1String("un recap") ||
           p == QLatin1String("un mini recap") || p == QLatin1String("le recap");
}

Resultat<QString, QString> Souffleur::question(const QString& texte)
{
    const QString t = texte.trimmed();
    if (demandeRecap(t))
        return demander(QStringLiteral("recap"), t);
    return demander(QStringLiteral("libre"), t);
}

QJsonArray Souffleur::fenetre(qint64 fenetreMs) const
{
    const QList<model::Segment>& f = appel_->finals();
    const qint64 depuis = appel_->offsetMs() - fenetreMs;
    qsizetype i = f.size();
    while (i > 0 && f[i - 1].finMs >= depuis)
        --i;
    QJsonArray r;
    for (; i < f.size(); ++i) {
        QJsonObject t = tour(f[i].locuteur, f[i].texte, f[i].debutMs, f[i].finMs);
        if (f[i].interlocuteur)
            t.insert(QStringLiteral("interlocuteur"), double(*f[i].interlocuteur));
        r.append(t);
    }
    return r;
}

Resultat<QJsonValue, ErreurMoteur> Souffleur::calculerContexte(Moteur& moteur, const model::Etat& etat,
                                                               const QJsonObject& config, const QString& appelId)
{
    std::optional<QString> contactId;
    if (const QString c = config.value(QLatin1String("contactId")).toString(); !c.isEmpty())
        contactId = c;
    const QJsonObject donnees = etatMoteurPourContact(etat, contactId);
    return moteur.enSequence([&](Moteur& m) -> Resultat<QJsonValue, ErreurMoteur> {
        if (auto r = m.appeler(QStringLiteral("chargerEtat"), {donnees}); !r.ok())
            return echec(r.erreur());
        return m.appelerJSON(QStringLiteral("contexteAppel"), {config, appelId});
    });
}

void Souffleur::retenirVu(const model::Etat& etat, const std::optional<QString>& contactId)
{
    vuContactId_ = contactId;
    vuContacts_ = etat.contacts;
    vuObjections_ = etat.objections;
    vuFrameworks_ = etat.frameworks;
    vuContact_.reset();
    if (contactId)
        if (const model::Contact* c = etat.contact(*contactId))
            vuContact_ = *c;
}

void Souffleur::preparerContexte()
{
    if (!appel_ || !sourceEtat_)
        return;
    const QString id = appel_->appelId();
    if (id.isEmpty())
        return;
    const QJsonObject config = appel_->configAppel();
    model::Etat etat = sourceEtat_();
    std::optional<QString> contactId;
    if (const QString c = config.value(QLatin1String("contactId")).toString(); !c.isEmpty())
        contactId = c;
    retenirVu(etat, contactId);
    const quint64 generation = ++generationContexte_;
    const quint64 appelGeneration = generation_;
    QPointer<Souffleur> moi(this);
    Moteur* moteur = &moteur_;
    fil_.start([moi, moteur, etat = std::move(etat), config, id, generation, appelGeneration] {
        auto r = calculerContexte(*moteur, etat, config, id);
        QMetaObject::invokeMethod(
            qApp, [moi, r = std::move(r), id, generation, appelGeneration] {
                // A newer preparation, or another call, wins over this one.
                if (!moi || moi->generationContexte_ != generation || moi->generation_ != appelGeneration)
                    return;
                if (!r.ok()) {
                    qCWarning(lcSouffleur) << "contexte d'appel indisponible:" << r.erreur().description();
                    return;
                }
                moi->contexte_ = r.valeur();
                moi->appelContexte_ = id;
                Q_EMIT moi->contexteChange();
            },
            Qt::QueuedConnection);
    });
}

void Souffleur::etatModifie(const model::Etat& etat)
{
    if (!appel_ || !appel_->enCours() || !sourceEtat_ || generationContexte_ == 0)
        return;
    std::optional<QString> contactId;
    if (const QString c = appel_->configAppel().value(QLatin1String("contactId")).toString(); !c.isEmpty())
        contactId = c;
    // Unchanged lists are still shared with the snapshot: nothing is compared for them.
    bool change = contactId != vuContactId_;
    if (!change && !etat.objections.isSharedWith(vuObjections_))
        change = etat.objections != vuObjections_;
    if (!change && !etat.frameworks.isSharedWith(vuFrameworks_))
        change = etat.frameworks != vuFrameworks_;
    if (!change && !etat.contacts.isSharedWith(vuContacts_)) {
        std::optional<model::Contact> c;
        if (contactId)
            if (const model::Contact* x = etat.contact(*contactId))
                c = *x;
        change = c != vuContact_;
        vuContacts_ = etat.contacts;
    }
    if (change)
        preparerContexte();
}

std::optional<QJsonValue> Souffleur::obtenirContexte()
{
    const QString id = appel_->appelId();
    if (contexte_ && appelContexte_ == id)
        return contexte_;
    // Not ready yet (a request right at the start of the call): built here, the same way.
    auto r = sourceEtat_ ? calculerContexte(moteur_, sourceEtat_(), appel_->configAppel(), id)
                         : moteur_.appelerJSON(QStringLiteral("contexteAppel"), {appel_->configAppel(), id});
    if (!r.ok()) {
        qCWarning(lcSouffleur) << "contexte d'appel indisponible:" << r.erreur().description();
        return std::nullopt;
    }
    contexte_ = r.valeur();
    appelContexte_ = id;
    return contexte_;
}

Resultat<QString, QString> Souffleur::demander(const QString& tache, const QString& demande, std::optional<int> fenetreSec)
{
    if (!appel_ || !appel_->enCours())
        return echec(messagePasDAppel());
    const bool libre = tache == QLatin1String("libre");
    if (libre && demande.trimmed().isEmpty())
        return echec(QStringLiteral("Écrivez votre question pour Quillo."));
    // Two different typed questions are two requests; the same one twice is one.
    const QString cle = libre ? tache + QLatin1Char('|') + model::plier(demande) : tache;
    if (auto it = enVol_.constFind(cle); it != enVol_.constEnd())
        return *it;

    const std::optional<QJsonValue> contexte = obtenirContexte();
    if (!contexte)
        return echec(messageEchecAide());
    const int sec = fenetreSec ? std::max(30, *fenetreSec) : fenetreSec_;
    const QJsonArray transcript = fenetre(qint64(sec) * 1000);
    QJsonArray precedentes;
    for (const AideLive& a : aides_) {
        if (a.statut == AideLive::Statut::ok)
            precedentes.append(QJsonObject{{QStringLiteral("tache"), a.tache},
                                           {QStringLiteral("demande"), a.demande},
                                           {QStringLiteral("resultat"), a.resultat.value_or(QJsonValue())}});
    }
    QString derniere;
    if (auto r = moteur_.appelerTexte(QStringLiteral("derniereProspect"), {transcript}); r.ok())
        derniere = r.valeur();
    QJsonValue detection;
    if (derniereDetection_)
        detection = model::versObjetJson(*derniereDetection_);
    const QJsonObject entree{{QStringLiteral("tache"), tache},
                             {QStringLiteral("contexte"), *contexte},
                             {QStringLiteral("transcript"), transcript},
                             {QStringLiteral("aides"), precedentes},
                             {QStringLiteral("detection"), detection},
                             {QStringLiteral("demande"), demande},
                             {QStringLiteral("fenetreSec"), sec},
                             {QStringLiteral("derniereProspect"), derniere}};
    auto payload = moteur_.appelerJSON(QStringLiteral("payloadLive"), {entree});
    if (!payload.ok()) {
        publierErreur(payload.erreur().description());
        return echec(payload.erreur().description());
    }

    AideLive a;
    a.id = QStringLiteral("al%1").arg(++compteur_);
    a.tache = tache;
    a.tMs = appel_->offsetMs();
    a.demande = tache == QLatin1String("objection") && demande.isEmpty() ? derniere : demande;
    aides_.append(a);
    enVol_.insert(cle, a.id);

    RequeteIA requete;
    requete.tache = tache;
    requete.payload = payload.valeur();
    requete.modele = modeleLive_;
    requete.appelId = appel_->appelId();
    requete.demo = appel_->demo();
    requete.formatStructure = true;
    DemandeIA* d = client_.envoyer(requete);
    const QString id = a.id;
    const quint64 generation = generation_;
    Q_EMIT aidesChangees();
    if (!d) {
        terminer(cle, id, generation);
        if (AideLive* x = aideMutable(id)) {
            x->statut = AideLive::Statut::erreur;
            x->erreur = messageEchecAide();
        }
        publierErreur(messageEchecAide());
        Q_EMIT aideChangee(id);
        return id;
    }
    d->setParent(this);
    demandes_.insert(id, d);
    connect(d, &DemandeIA::partiel, this, [this, id, generation](const QJsonValue& v) {
        if (generation != generation_)
            return;
        if (AideLive* x = aideMutable(id); x && x->statut == AideLive::Statut::enCours) {
            x->partiel = v;
            Q_EMIT aideChangee(id);
        }
    });
    connect(d, &DemandeIA::fini, this, [this, id, cle, generation, d](const QString& texte, const InfosGeneration& infos) {
        d->deleteLater();
        if (generation != generation_)
            return;
        terminer(cle, id, generation);
        AideLive* x = aideMutable(id);
        if (!x)
            return;
        x->statut = AideLive::Statut::ok;
        x->resultat = lireReponseAide(texte);
        x->partiel.reset();
        x->modele = infos.modele;
        x->latenceMs = infos.latenceMs;
        publierErreur(std::nullopt);
        Q_EMIT aideChangee(id);
        Q_EMIT aidesChangees();
    });
    connect(d, &DemandeIA::echec, this, [this, id, cle, generation, d](const QString& message, const QString&, int) {
        d->deleteLater();
        if (generation != generation_)
            return;
        terminer(cle, id, generation);
        AideLive* x = aideMutable(id);
        if (!x)
            return;
        x->statut = AideLive::Statut::erreur;
        x->erreur = message.isEmpty() ? messageEchecAide() : message;
        publierErreur(messageEchecAide());
        Q_EMIT aideChangee(id);
        Q_EMIT aidesChangees();
    });
    return id;
}

void Souffleur::preparerRecap(const model::Appel& appel, std::function<void(std::optional<QJsonValue>)> reponse)
{
    QJsonObject config{{QStringLiteral("type"), appel.type},       {QStringLiteral("objectif"), appel.objectif},
                       {QStringLiteral("methode"), appel.methode}, {QStringLiteral("langue"), appel.langue}};
    if (appel.contactId)
        config.insert(QStringLiteral("contactId"), *appel.contactId);
    if (appel.brief)
        config.insert(QStringLiteral("brief"), model::versObjetJson(*appel.brief));
    QJsonValue contexte;
    if (contexte_ && appelContexte_ == appel.id) {
        contexte = *contexte_;
    } else if (auto c = sourceEtat_ ? calculerContexte(moteur_, sourceEtat_(), config, appel.id)
                                    : moteur_.appelerJSON(QStringLiteral("contexteAppel"), {config, appel.id});
               c.ok()) {
        contexte = c.valeur();
    }
    QJsonArray transcript;
    for (const model::Segment& s : appel.transcript)
        transcript.append(tour(s.locuteur, s.texte, s.debutMs, s.finMs));
    QString derniere;
    if (auto r = moteur_.appelerTexte(QStringLiteral("derniereProspect"), {transcript}); r.ok())
        derniere = r.valeur();
    const QJsonObject entree{{QStringLiteral("tache"), QStringLiteral("recap")},
                             {QStringLiteral("contexte"), contexte},
                             {QStringLiteral("transcript"), transcript},
                             {QStringLiteral("aides"), QJsonArray()},
                             {QStringLiteral("detection"), QJsonValue()},
                             {QStringLiteral("demande"), QString()},
                             {QStringLiteral("fenetreSec"), std::max(30.0, std::ceil(appel.duree))},
                             {QStringLiteral("derniereProspect"), derniere}};
    auto payload = moteur_.appelerJSON(QStringLiteral("payloadLive"), {entree});
    if (!payload.ok()) {
        reponse(std::nullopt);
        return;
    }
    RequeteIA requete;
    requete.tache = QStringLiteral("recap");
    requete.payload = payload.valeur();
    requete.modele = modeleLive_;
    requete.appelId = appel.id;
    requete.demo = appel.source == QLatin1String("demo");
    DemandeIA* d = client_.envoyer(requete);
    if (!d) {
        reponse(std::nullopt);
        return;
    }
    d->setParent(this);
    auto rappel = std::make_shared<std::function<void(std::optional<QJsonValue>)>>(std::move(reponse));
    connect(d, &DemandeIA::fini, this, [rappel, d](const QString& texte, const InfosGeneration&) {
        d->deleteLater();
        (*rappel)(lireReponseAide(texte));
    });
    connect(d, &DemandeIA::echec, this, [rappel, d](const QString&, const QString&, int) {
        d->deleteLater();
        (*rappel)(std::nullopt);
    });
}

void Souffleur::terminer(const QString& cle, const QString& id, quint64 generation)
{
    if (generation != generation_)
        return;
    enVol_.remove(cle);
    demandes_.remove(id);
}

void Souffleur::segmentFinal(const model::Segment& s)
{
    if (s.texte.trimmed().isEmpty())
        return;
    // A sentence cut in two by the transcription is examined whole.
    const QString voix = cleVoix(s);
    QString texte = s.texte;
    qint64 debut = s.debutMs;
    QString premier;
    if (auto it = derniers_.constFind(voix); it != derniers_.constEnd() && s.debutMs - it->finMs <= ecartJointureMs) {
        texte = it->texte + QLatin1Char(' ') + s.texte;
        debut = it->debutMs;
        premier = it->id;
    }
    derniers_.insert(voix, Final{s.id, s.texte, s.debutMs, s.finMs});

    if (s.locuteur == QLatin1String("prospect") && detection_)
        detecterObjection(s, texte, debut, premier);
    detecterQualification(s, texte);
    detecterRegistre(s, texte);
    if (s.locuteur == QLatin1String("vous"))
        reperer(texte);
}

QJsonArray Souffleur::etapes() const
{
    return contexte_ ? contexte_->toObject().value(QLatin1String("etapes")).toArray() : QJsonArray();
}

void Souffleur::reperer(const QString& texte)
{
    const QJsonArray e = etapes();
    if (e.isEmpty())
        return;
    auto r = moteur_.appelerJSON(QStringLiteral("questionsEtapePosees"),
                                 {QJsonObject{{QStringLiteral("etapes"), e},
                                              {QStringLiteral("texte"), texte},
                                              {QStringLiteral("dejaPosees"), QJsonArray::fromStringList(posees_)}}});
    if (!r.ok())
        return;
    bool change = false;
    for (const QJsonValue& v : r.valeur().toArray()) {
        const QString cle = v.toObject().value(QLatin1String("cle")).toString();
        if (!cle.isEmpty() && !posees_.contains(cle)) {
            posees_.append(cle);
            change = true;
        }
    }
    if (change)
        Q_EMIT questionsEtapeChangees();
}

void Souffleur::detecterObjection(const model::Segment& s, const QString& texte, qint64 debutMs, const QString& premier)
{
    auto r = moteur_.appelerJSON(QStringLiteral("detecterObjection"),
                                 {QJsonArray{tour(s.locuteur, texte, debutMs, s.finMs)}});
    if (!r.ok()) {
        qCWarning(lcSouffleur) << "détection d'objection:" << r.erreur().description();
        return;
    }
    const QJsonArray hits = resultats(r.valeur(), "objections");
    // The first half already raised an objection: the joined text adds only a different one.
    const QSet<QString> dejaVues = premier.isEmpty() ? QSet<QString>() : categoriesParSegment_.value(premier);
    std::optional<model::Detection> trouvee;
    for (const QJsonValue& v : hits) {
        if (!v.isObject())
            continue;
        const QJsonObject h = v.toObject();
        model::Detection d;
        d.categorie = texteDe(h, {"categorie", "id"});
        if (d.categorie.isEmpty())
            d.categorie = QStringLiteral("autre");
        if (dejaVues.contains(d.categorie)) {
            categoriesParSegment_[s.id].insert(d.categorie);
            continue;
        }
        d.extrait = texteDe(h, {"extrait", "texte"});
        if (d.extrait.isEmpty())
            d.extrait = texte;
        d.tMs = model::lire::entier(h.value(QLatin1String("tMs")), s.debutMs);
        trouvee = d;
        break;
    }
    if (!trouvee)
        return;
    const model::Detection& d = *trouvee;
    categoriesParSegment_[s.id].insert(d.categorie);
    detections_.append(d);
    derniereDetection_ = d;
    Q_EMIT detectionChangee();
}

void Souffleur::detecterQualification(const model::Segment& s, const QString& texte)
{
    if (!appel_)
        return;
    QJsonValue grille = appel_->configAppel().value(QLatin1String("grille"));
    // A framework without a grid of its own: the context's (the method's, else the built-in one).
    if (!grille.isObject() && !grille.isArray() && contexte_)
        grille = contexte_->toObject().value(QLatin1String("grille"));
    if (!grille.isObject() && !grille.isArray())
        return;
    auto r = moteur_.appelerJSON(QStringLiteral("detecterQualification"),
                                 {QJsonObject{{QStringLiteral("transcript"), QJsonArray{tour(s.locuteur, texte, s.debutMs, s.finMs)}},
                                              {QStringLiteral("grille"), grille},
                                              {QStringLiteral("dejaVus"), QJsonArray::fromStringList(QStringList(entendus_.begin(), entendus_.end()))}}});
    if (!r.ok())
        return;
    bool change = false;
    for (const QJsonValue& v : resultats(r.valeur(), "items")) {
        const QJsonObject o = v.toObject();
        const QString item = texteDe(o, {"item", "id"});
        if (item.isEmpty() || entendus_.contains(item))
            continue;
        entendus_.insert(item);
        PropositionQualification p;
        p.item = item;
        p.id = QStringLiteral("pq_%1_%2").arg(item).arg(s.debutMs);
        p.nomItem = texteDe(o, {"nomItem", "nom"});
        p.champ = texteDe(o, {"champ"});
        p.valeur = texteDe(o, {"valeur"});
        p.extrait = texteDe(o, {"extrait", "preuve"});
        if (p.extrait.isEmpty())
            p.extrait = texte;
        p.tMs = s.debutMs;
        propositions_.append(p);
        change = true;
    }
    if (change)
        Q_EMIT qualificationChangee();
}

void Souffleur::detecterRegistre(const model::Segment& s, const QString& texte)
{
    auto r = moteur_.appelerJSON(QStringLiteral("detecterRegistre"),
                                 {QJsonArray{tour(s.locuteur, texte, s.debutMs, s.finMs)}});
    if (!r.ok() || !r.valeur().isObject() || r.valeur().toObject().isEmpty())
        return;
    const QJsonObject options{{QStringLiteral("appelId"), appel_ ? appel_->appelId() : QString()}};
    auto f = moteur_.appelerJSON(QStringLiteral("fusionnerRegistre"), {registre_, r.valeur(), options});
    if (!f.ok() || !f.valeur().isObject() || f.valeur() == registre_)
        return;
    registre_ = f.valeur();
    Q_EMIT registreChange();
}

} // namespace vd::ai
