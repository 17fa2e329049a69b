#pragma once
// One WebSocket stream to a transcription service. The object lives on its
// own thread (or the caller's, in tests driven by the fake clock); every
// public function must run on that thread — the engine queues them there.
// Timers are created on that thread, on first use.
#include "analyseurs.h"
#include "transcription.h"

#include <QAbstractSocket>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <deque>
#include <memory>

class QWebSocket;

namespace vd::platform {
class Minuterie;
}

namespace vd::call {

class FluxTranscription : public QObject {
    Q_OBJECT
public:
    explicit FluxTranscription(QObject* parent = nullptr);
    ~FluxTranscription() override;

    void setCompteur(std::shared_ptr<CompteurAudio> c) { compteur_ = std::move(c); }

    // First opening: asks for a credential (besoinAcces), then connects;
    // answers with ouvertureFinie().
    void ouvrir();
    // Answers to besoinAcces(numero); an answer to an older request is ignored.
    void recevoirAcces(int numero, const AccesTranscription& acces);
    void refuserAcces(int numero, const QString& message);
    void envoyer(const QByteArray& audio);
    // Asks the service to finish; fini() follows within 2 s.
    void terminer();
    // Closes at once, without waiting for the last results.
    void couper();

    // Read only on the stream's thread; exposed for tests.
    int essais() const { return essais_; }
    qint64 octetsLivres() const { return octetsLivres_; }
    qint64 decalageMs() const { return decalageMs_; }
    qint64 octetsEnAttente() const { return octetsEnAttente_; }
    bool ouverte() const { return ouverte_; }
    bool ferme() const { return ferme_; }

Q_SIGNALS:
    void besoinAcces(int numero);
    void ouvertureFinie(bool ok, const QString& message);
    void segment(const vd::call::SegmentLive& s);
    void etat(const QString& code);
    void fini();

protected:
    // What differs between services.
    virtual QNetworkRequest requete(const AccesTranscription& acces) const = 0;
    virtual void apresOuverture() {}                      // e.g. the configuration frame
    virtual bool confirmationDifferee() const = 0;         // wait 0.8 s for a refusal
    virtual qint64 decalageDepuisOctets(qint64 octets) const = 0;
    virtual qint64 plafondAttente() const = 0;
    virtual int intervalleKeepAlive() const = 0;
    virtual int silenceAvantKeepAlive() const = 0;
    virtual QString trameKeepAlive() const = 0;
    virtual QString trameFin() const = 0;
    // One text message: segments to deliver; sets bon for a good result,
    // erreur for a service error, fini when the service ended the stream.
    struct Lecture {
        QList<SegmentLive> segments;
        bool bon = false;
        bool fini = false;
        std::optional<AnalyseurSoniox::Erreur> erreur;
    };
    virtual Lecture lire(const QByteArray& message) = 0;
    virtual QList<SegmentLive> viderEnAttente() { return {}; }
    virtual QString messageEchec(QAbstractSocket::SocketError e, int statutHttp) const = 0;
    virtual QString messageErreurService(const AnalyseurSoniox::Erreur& e) const = 0;
    virtual bool erreurDefinitive(const AnalyseurSoniox::Erreur& e) const = 0;

    void envoyerTexte(const QString& t);
    const AccesTranscription& acces() const { return acces_; }

private:
    void preparer();
    void connecter();
    void surConnexion(QWebSocket* s);
    void surMessage(QWebSocket* s, const QString& texte);
    void finSocket(QWebSocket* s, QAbstractSocket::SocketError e, int statutHttp, bool proprement = false);
    void lacher(bool proprement = false);   // forgets the current socket without handling its end
    void demanderAcces();
    void confirmer();
    void delaiDepasse();
    void reconnecter();
    void echouerOuverture(const QString& message);
    void abandonner();   // gives up: "coupee"
    void libererAttentes();
    void envoyerAudio(const QByteArray& audio);
    void livrer(const QList<SegmentLive>& segments);

    std::shared_ptr<CompteurAudio> compteur_;
    AccesTranscription acces_;
    QWebSocket* tache_ = nullptr;
    bool ouverte_ = false;
    bool ferme_ = false;
    bool ouvertureInitiale_ = false;   // demarrer() waits for this stream
    bool tentative_ = false;           // an opening (first or reconnection) not yet confirmed
    bool enFin_ = false;               // terminer() waits for the end of the stream
    int essais_ = 0;
    int demande_ = 0;
    qint64 dernierEnvoi_ = 0;
    qint64 octetsLivres_ = 0;
    qint64 decalageMs_ = 0;
    std::deque<QByteArray> attente_;
    qint64 octetsEnAttente_ = 0;
    std::optional<AnalyseurSoniox::Erreur> derniereErreur_;
    platform::Minuterie* keepAlive_ = nullptr;
    platform::Minuterie* minuteurOuverture_ = nullptr;
    platform::Minuterie* confirmation_ = nullptr;
    platform::Minuterie* delaiReconnexion_ = nullptr;
    platform::Minuterie* limiteFin_ = nullptr;
};

class FluxSoniox final : public FluxTranscription {
    Q_OBJECT
public:
    FluxSoniox(RoleFluxSoniox role, QString langue, QObject* parent = nullptr);
    RoleFluxSoniox role() const { return analyseur_.role; }
    bool diarisation() const { return analyseur_.role != RoleFluxSoniox::vous; }

protected:
    QNetworkRequest requete(const AccesTranscription& acces) const override;
    void apresOuverture() override;
    bool confirmationDifferee() const override { return true; }
    qint64 decalageDepuisOctets(qint64 octets) const override;
    qint64 plafondAttente() const override { return plafondAttenteMono; }
    int intervalleKeepAlive() const override { return 5000; }
    int silenceAvantKeepAlive() const override { return 4500; }
    QString trameKeepAlive() const override { return QStringLiteral("{\"type\":\"keepalive\"}"); }
    QString trameFin() const override { return QString(); }
    Lecture lire(const QByteArray& message) override;
    QList<SegmentLive> viderEnAttente() override;
    QString messageEchec(QAbstractSocket::SocketError e, int statutHttp) const override;
    QString messageErreurService(const AnalyseurSoniox::Erreur& e) const override;
    bool erreurDefinitive(const AnalyseurSoniox::Erreur& e) const override;

private:
    QString langue_;
    AnalyseurSoniox analyseur_;
};

class FluxDeepgram final : public FluxTranscription {
    Q_OBJECT
public:
    FluxDeepgram(int canaux, QObject* parent = nullptr);

protected:
    QNetworkRequest requete(const AccesTranscription& acces) const override;
    bool confirmationDifferee() const override { return false; }
    qint64 decalageDepuisOctets(qint64 octets) const override;
    qint64 plafondAttente() const override { return canaux_ * plafondAttenteMono; }
    int intervalleKeepAlive() const override { return 8000; }
    int silenceAvantKeepAlive() const override { return 0; }
    QString trameKeepAlive() const override { return QStringLiteral("{\"type\":\"KeepAlive\"}"); }
    QString trameFin() const override { return QStringLiteral("{\"type\":\"CloseStream\"}"); }
    Lecture lire(const QByteArray& message) override;
    QString messageEchec(QAbstractSocket::SocketError e, int statutHttp) const override;
    QString messageErreurService(const AnalyseurSoniox::Erreur&) const override { return messages::neDemarrePas; }
    bool erreurDefinitive(const AnalyseurSoniox::Erreur&) const override { return false; }

private:
    int canaux_;
    VoixProspect voix_;
};

} // namespace vd::call
