#include "flux.h"

#include "platform/horloge.h"

#include <QLoggingCategory>
#include <QWebSocket>
#include <cmath>

Q_LOGGING_CATEGORY(lcFlux, "vd.call.transcription")

namespace vd::call {

using platform::Horloge;

namespace {
constexpr int delaiOuvertureMs = 10000;
constexpr int delaiConfirmationMs = 800;
constexpr int limiteFinMs = 2000;
constexpr int essaisMax = 3;
constexpr int pasReconnexionMs = 600;
} // namespace

FluxTranscription::FluxTranscription(QObject* parent) : QObject(parent) {}

FluxTranscription::~FluxTranscription() { lacher(); }

void FluxTranscription::preparer()
{
    if (keepAlive_)
        return;
    Horloge& h = Horloge::instance();
    keepAlive_ = h.creerMinuterie(this);
    minuteurOuverture_ = h.creerMinuterie(this);
    minuteurOuverture_->setUnique(true);
    confirmation_ = h.creerMinuterie(this);
    confirmation_->setUnique(true);
    delaiReconnexion_ = h.creerMinuterie(this);
    delaiReconnexion_->setUnique(true);
    limiteFin_ = h.creerMinuterie(this);
    limiteFin_->setUnique(true);

    connect(keepAlive_, &platform::Minuterie::expire, this, [this] {
        if (!ouverte_ || !tache_)
            return;
        const qint64 maintenant = Horloge::instance().monotoneMs();
        if (maintenant - dernierEnvoi_ < silenceAvantKeepAlive())
            return;
        envoyerTexte(trameKeepAlive());
    });
    connect(minuteurOuverture_, &platform::Minuterie::expire, this, [this] { delaiDepasse(); });
    connect(confirmation_, &platform::Minuterie::expire, this, [this] { confirmer(); });
    connect(delaiReconnexion_, &platform::Minuterie::expire, this, [this] {
        if (ferme_)
            return;
        // The time-out also covers a credential request that never answers.
        minuteurOuverture_->demarrer(delaiOuvertureMs);
        demanderAcces();   // a temporary key that expired is replaced
    });
    connect(limiteFin_, &platform::Minuterie::expire, this, [this] {
        if (tache_)
            finSocket(tache_, QAbstractSocket::UnknownSocketError, 0);
        else
            libererAttentes();
    });
}

void FluxTranscription::ouvrir()
{
    preparer();
    ouvertureInitiale_ = true;
    tentative_ = true;
    demanderAcces();
}

void FluxTranscription::demanderAcces() { Q_EMIT besoinAcces(++demande_); }

void FluxTranscription::recevoirAcces(int numero, const AccesTranscription& acces)
{
    preparer();
    if (ferme_ || numero != demande_)
        return;
    acces_ = acces;
    connecter();
}

void FluxTranscription::refuserAcces(int numero, const QString& message)
{
    preparer();
    if (numero != demande_)
        return;
    ++demande_;
    if (ouvertureInitiale_)
        echouerOuverture(message);
    else if (!ferme_ && !tache_)
        reconnecter();   // a failed credential request counts as a failed attempt
}

void FluxTranscription::connecter()
{
    lacher();
    tache_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    QWebSocket* s = tache_;
    connect(s, &QWebSocket::connected, this, [this, s] { surConnexion(s); });
    connect(s, &QWebSocket::textMessageReceived, this, [this, s](const QString& t) { surMessage(s, t); });
    connect(s, &QWebSocket::disconnected, this, [this, s] { finSocket(s, QAbstractSocket::UnknownSocketError, 0); });
    connect(s, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            [this, s](QAbstractSocket::SocketError e) { finSocket(s, e, statutHttpPoignee(s->errorString())); });
    ouverte_ = false;
    tentative_ = true;
    derniereErreur_.reset();
    minuteurOuverture_->demarrer(delaiOuvertureMs);
    s->open(requete(acces_));
}

void FluxTranscription::surConnexion(QWebSocket* s)
{
    if (s != tache_)
        return;
    decalageMs_ = decalageDepuisOctets(octetsLivres_);
    dernierEnvoi_ = Horloge::instance().monotoneMs();
    apresOuverture();
    ouverte_ = true;
    while (!attente_.empty()) {
        QByteArray bloc = std::move(attente_.front());
        attente_.pop_front();
        envoyerAudio(bloc);
    }
    octetsEnAttente_ = 0;
    keepAlive_->demarrer(intervalleKeepAlive());
    if (confirmationDifferee())
        confirmation_->demarrer(delaiConfirmationMs);
    else
        confirmer();
}

void FluxTranscription::confirmer()
{
    if (!tache_ || !ouverte_ || !tentative_)
        return;
    tentative_ = false;
    minuteurOuverture_->arreter();
    Q_EMIT etat(QStringLiteral("ouvert"));
    if (ouvertureInitiale_) {
        ouvertureInitiale_ = false;
        Q_EMIT ouvertureFinie(true, QString());
    }
}

void FluxTranscription::surMessage(QWebSocket* s, const QString& texte)
{
    if (s != tache_)
        return;
    Lecture l = lire(texte.toUtf8());
    if (l.erreur) {
        derniereErreur_ = l.erreur;
        qCDebug(lcFlux) << "erreur du service" << l.erreur->code << l.erreur->type;
        if (ouvertureInitiale_) {
            echouerOuverture(messageErreurService(*l.erreur));
            return;
        }
        // The service closes after an error; do not wait for it.
        finSocket(s, QAbstractSocket::UnknownSocketError, 0);
        return;
    }
    if (l.bon)
        essais_ = 0;
    livrer(l.segments);
    if (l.fini && tache_ == s)
        finSocket(s, QAbstractSocket::UnknownSocketError, 0, true);
}

void FluxTranscription::lacher(bool proprement)
{
    if (!tache_)
        return;
    QWebSocket* s = std::exchange(tache_, nullptr);
    s->disconnect(this);
    if (proprement && s->state() == QAbstractSocket::ConnectedState) {
        connect(s, &QWebSocket::disconnected, s, &QObject::deleteLater);
        s->close(QWebSocketProtocol::CloseCodeNormal);
        return;
    }
    s->abort();
    s->deleteLater();
}

void FluxTranscription::finSocket(QWebSocket* s, QAbstractSocket::SocketError e, int statutHttp, bool proprement)
{
    if (s != tache_)
        return;
    lacher(proprement);
    const bool etaitOuverte = ouverte_;
    ouverte_ = false;
    keepAlive_->arreter();
    confirmation_->arreter();
    livrer(viderEnAttente());
    minuteurOuverture_->arreter();
    if (ouvertureInitiale_) {
        echouerOuverture(derniereErreur_ ? messageErreurService(*derniereErreur_) : messageEchec(e, statutHttp));
        return;
    }
    if (ferme_) {
        libererAttentes();
        Q_EMIT etat(QStringLiteral("ferme"));
        return;
    }
    if (derniereErreur_ && erreurDefinitive(*derniereErreur_)) {
        abandonner();
        return;
    }
    if (etaitOuverte || tentative_)
        reconnecter();
}

void FluxTranscription::delaiDepasse()
{
    if (ouvertureInitiale_) {
        echouerOuverture(messages::delaiOuverture);
        return;
    }
    if (!tentative_ || ferme_)
        return;
    // A reconnection that stalls counts as one failed attempt.
    ++demande_;
    lacher();
    ouverte_ = false;
    keepAlive_->arreter();
    confirmation_->arreter();
    reconnecter();
}

void FluxTranscription::reconnecter()
{
    if (ferme_)
        return;
    if (essais_ >= essaisMax) {
        abandonner();
        return;
    }
    ++essais_;
    tentative_ = true;
    Q_EMIT etat(QStringLiteral("reconnexion"));
    delaiReconnexion_->demarrer(essais_ * pasReconnexionMs);
}

void FluxTranscription::echouerOuverture(const QString& message)
{
    ouvertureInitiale_ = false;
    tentative_ = false;
    ferme_ = true;
    attente_.clear();
    octetsEnAttente_ = 0;
    minuteurOuverture_->arreter();
    confirmation_->arreter();
    keepAlive_->arreter();
    lacher();
    ouverte_ = false;
    Q_EMIT ouvertureFinie(false, message);
}

void FluxTranscription::abandonner()
{
    ferme_ = true;
    tentative_ = false;
    attente_.clear();
    octetsEnAttente_ = 0;
    delaiReconnexion_->arreter();
    minuteurOuverture_->arreter();
    libererAttentes();
    Q_EMIT etat(QStringLiteral("coupee"));
}

void FluxTranscription::libererAttentes()
{
    if (!enFin_)
        return;
    enFin_ = false;
    limiteFin_->arreter();
    Q_EMIT fini();
}

void FluxTranscription::terminer()
{
    preparer();
    keepAlive_->arreter();
    delaiReconnexion_->arreter();
    attente_.clear();
    octetsEnAttente_ = 0;
    ferme_ = true;
    enFin_ = true;
    if (ouvertureInitiale_) {
        ouvertureInitiale_ = false;
        Q_EMIT ouvertureFinie(false, QString());
    }
    if (ouverte_ && tache_) {
        envoyerTexte(trameFin());
        limiteFin_->demarrer(limiteFinMs);
        return;
    }
    lacher();
    minuteurOuverture_->arreter();
    libererAttentes();
    Q_EMIT etat(QStringLiteral("ferme"));
}

void FluxTranscription::couper()
{
    preparer();
    ferme_ = true;
    ouvertureInitiale_ = false;
    tentative_ = false;
    attente_.clear();
    octetsEnAttente_ = 0;
    for (auto* m : {keepAlive_, minuteurOuverture_, confirmation_, delaiReconnexion_})
        m->arreter();
    lacher();
    ouverte_ = false;
    libererAttentes();
}

void FluxTranscription::envoyer(const QByteArray& audio)
{
    if (audio.isEmpty() || ferme_)
        return;
    if (ouverte_ && tache_) {
        envoyerAudio(audio);
        return;
    }
    attente_.push_back(audio);
    octetsEnAttente_ += audio.size();
    // Held audio is capped; what is dropped still counts as delivered so
    // that later token times stay on the call's clock.
    while (octetsEnAttente_ > plafondAttente() && !attente_.empty()) {
        const qint64 n = attente_.front().size();
        attente_.pop_front();
        octetsEnAttente_ -= n;
        octetsLivres_ += n;
    }
}

void FluxTranscription::envoyerAudio(const QByteArray& audio)
{
    tache_->sendBinaryMessage(audio);
    octetsLivres_ += audio.size();
    dernierEnvoi_ = Horloge::instance().monotoneMs();
    if (compteur_)
        compteur_->ajouter(audio.size());
}

void FluxTranscription::envoyerTexte(const QString& t)
{
    if (!tache_)
        return;
    tache_->sendTextMessage(t);
    dernierEnvoi_ = Horloge::instance().monotoneMs();
}

void FluxTranscription::livrer(const QList<SegmentLive>& segments)
{
    for (const SegmentLive& s : segments)
        Q_EMIT segment(s);
}

// Soniox ---------------------------------------------------------------

FluxSoniox::FluxSoniox(RoleFluxSoniox role, QString langue, QObject* parent)
    : FluxTranscription(parent), langue_(std::move(langue))
{
    analyseur_.role = role;
}

QNetworkRequest FluxSoniox::requete(const AccesTranscription& acces) const { return QNetworkRequest(acces.url); }

void FluxSoniox::apresOuverture()
{
    const bool diariser = diarisation() && acces().diarisation.value_or(true);
    envoyerTexte(QString::fromUtf8(trameConfigurationSoniox(acces().cle, langue_, diariser)));
}

qint64 FluxSoniox::decalageDepuisOctets(qint64 octets) const { return std::llround(double(octets) * 0.03125); }

FluxTranscription::Lecture FluxSoniox::lire(const QByteArray& message)
{
    AnalyseurSoniox::Resultat r = analyseur_.analyser(message, decalageMs());
    Lecture l;
    l.erreur = r.erreur;
    l.bon = r.estResultat && !r.erreur;
    l.fini = r.fini;
    l.segments = std::move(r.segments);
    return l;
}

QList<SegmentLive> FluxSoniox::viderEnAttente() { return analyseur_.vider(decalageMs()); }

QString FluxSoniox::messageEchec(QAbstractSocket::SocketError e, int) const { return messageEchecOuvertureSoniox(e); }

QString FluxSoniox::messageErreurService(const AnalyseurSoniox::Erreur& e) const { return messageErreurSoniox(e.code, acces().mode); }

bool FluxSoniox::erreurDefinitive(const AnalyseurSoniox::Erreur& e) const { return erreurSonioxDefinitive(e.code, e.type); }

// Deepgram -------------------------------------------------------------

FluxDeepgram::FluxDeepgram(int canaux, QObject* parent) : FluxTranscription(parent), canaux_(std::max(1, canaux)) {}

QNetworkRequest FluxDeepgram::requete(const AccesTranscription& acces) const
{
    QNetworkRequest r(acces.url);
    r.setRawHeader("Authorization", acces.cle.toUtf8());
    return r;
}

qint64 FluxDeepgram::decalageDepuisOctets(qint64 octets) const
{
    return std::llround(double(octets) / double(canaux_ * octetsParMsMono));
}

FluxTranscription::Lecture FluxDeepgram::lire(const QByteArray& message)
{
    Lecture l;
    if (auto s = analyserDeepgram(message, decalageMs(), voix_)) {
        l.bon = true;
        l.segments.append(*s);
    }
    return l;
}

QString FluxDeepgram::messageEchec(QAbstractSocket::SocketError e, int statutHttp) const
{
    return messageEchecOuvertureDeepgram(e, statutHttp, acces().mode);
}

} // namespace vd::call
