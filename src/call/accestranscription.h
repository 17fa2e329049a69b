#pragma once
// Where each transcription socket gets its credential: the user's own key,
// the backend's temporary token, or the older relay server (Deepgram only).
// Providers live on the main thread and answer there.
#include "platform/resultat.h"
#include "transcription.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace vd::cloud {
class ClientSupabase;
}

namespace vd::call {

class FournisseurAcces {
public:
    using Rappel = std::function<void(const Resultat<AccesTranscription, QString>&)>;
    virtual ~FournisseurAcces() = default;
    // The answer is dropped when contexte is gone.
    virtual void obtenir(QObject* contexte, Rappel rappel) = 0;
};

// A credential given as is (tests, support tools).
class AccesFixe final : public FournisseurAcces {
public:
    explicit AccesFixe(AccesTranscription a) : acces_(std::move(a)) {}
    void obtenir(QObject* contexte, Rappel rappel) override;

private:
    AccesTranscription acces_;
};

// The user's own key from the credential store ("soniox" or "deepgram").
class AccesCle final : public FournisseurAcces {
public:
    AccesCle(IdMoteur moteur, bool sonioxEurope, QString langue, int canaux);
    void obtenir(QObject* contexte, Rappel rappel) override;

private:
    IdMoteur moteur_;
    bool europe_;
    QString langue_;
    int canaux_;
};

// The relay's api/deepgram/token, 10 s, no cache.
class AccesRelais final : public FournisseurAcces {
public:
    AccesRelais(QUrl relais, QString langue, int canaux);
    ~AccesRelais() override;
    void obtenir(QObject* contexte, Rappel rappel) override;

private:
    QUrl relais_;
    QString langue_;
    int canaux_;
    std::unique_ptr<QNetworkAccessManager> reseau_;
};
// Relay setting → base address (scheme added, trailing "/" and "/api" removed); empty when unusable.
QUrl adresseRelais(const QString& reglage);

// A backend function call, as the backend client offers it.
struct ErreurFonction {
    enum class Genre { reseau, session, autre };
    Genre genre = Genre::autre;
    int statut = 0;
    QString code;
    QString message;
};
using RappelFonction = std::function<void(const Resultat<QJsonObject, ErreurFonction>&)>;
using AppelFonction = std::function<void(const QString& nom, const QJsonObject& corps, int delaiMs, QObject* contexte, RappelFonction rappel)>;
// The backend client's function call; a signed-out client fails at once with a session error.
AppelFonction appelFonctionCloud(cloud::ClientSupabase* client);

struct JetonCloud {
    QString jeton;
    QString urlWebsocket;
    QString moteur;
    bool diarisation = false;
};

// The backend token session of one call. Requests started less than 20 s
// ago are shared (the two streams of a call ask together); a failed request
// is not kept, so the next attempt asks again.
class TranscriptionCloud final : public QObject {
    Q_OBJECT
public:
    using RappelJeton = std::function<void(const Resultat<JetonCloud, QString>&)>;
    TranscriptionCloud(AppelFonction appeler, QString appelId, int canaux, QString langue, IdMoteur moteur,
                       bool diarisation, QObject* parent = nullptr);
    void jeton(QObject* contexte, RappelJeton rappel);

    int numeroCle() const { return numeroCle_; }
    std::optional<QString> sessionId() const { return sessionId_; }

private:
    struct Requete {
        int numero = 0;
        qint64 quand = 0;
        bool enCours = true;
        std::optional<JetonCloud> resultat;
        QList<std::pair<QPointer<QObject>, RappelJeton>> attentes;
    };
    void lancer(bool ancienne);
    void conclure(int numero, const Resultat<JetonCloud, QString>& r);
    QString messagePour(const ErreurFonction& e) const;

    AppelFonction appeler_;
    QString appelId_;
    int canaux_;
    QString langue_;
    IdMoteur moteur_;
    bool diarisation_;
    std::optional<QString> sessionId_;
    std::optional<Requete> cleCloud_;
    int numeroCle_ = 0;
};

class AccesCloud final : public FournisseurAcces {
public:
    AccesCloud(std::shared_ptr<TranscriptionCloud> cloud, IdMoteur moteur, bool sonioxEurope, QString langue, int canaux);
    void obtenir(QObject* contexte, Rappel rappel) override;

private:
    std::shared_ptr<TranscriptionCloud> cloud_;
    IdMoteur moteur_;
    bool europe_;
    QString langue_;
    int canaux_;
};

} // namespace vd::call
