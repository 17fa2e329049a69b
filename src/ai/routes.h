#pragma once
// Which route a language-model or transcription request takes: the signed-in
// account, the user's own key, the user's relay server, or the demonstration.
#include "clientia.h"
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace vd::model {
class Store;
}

namespace vd::ai {

// Keychain item names of the vendors' credentials.
inline const QString cleAnthropic = QStringLiteral("anthropic");
inline const QString cleWorkspace = QStringLiteral("anthropic-workspace");
inline const QString cleSoniox = QStringLiteral("soniox");
inline const QString cleDeepgram = QStringLiteral("deepgram");

QString nomSource(SourceIA s);

// The relay address as typed in the settings, made usable: trimmed, "https://"
// added when no scheme is given, trailing "/" and a final "/api" removed; none
// when empty or without a host.
std::optional<QUrl> normaliserRelais(const QString& saisie);
// relay + path ("api/etat", "api/v1/messages").
QUrl urlRelais(const QUrl& relais, const QString& chemin);

struct EtatRelais {
    bool claude = false;
    bool deepgram = false;
    bool operator==(const EtatRelais&) const = default;
};

// GET relay + "api/etat" (3 s); any failure reads as nothing available. The
// answer is kept 30 s per address and concurrent checks share one request.
class VerificateurRelais : public QObject {
    Q_OBJECT
public:
    static constexpr int delaiMs = 3000;
    static constexpr int cacheMs = 30000;
    using Rappel = std::function<void(EtatRelais)>;

    VerificateurRelais(QNetworkAccessManager* reseau, platform::Horloge& horloge, QObject* parent = nullptr);
    // The process-wide checker (its own network access, system clock).
    static VerificateurRelais& instance();

    // rappel runs on this object's thread, unless contexte is gone by then.
    void verifier(const QUrl& relais, QObject* contexte, Rappel rappel);
    void oublier();   // drops the cache (tests, settings change)
    int requetesEnvoyees() const { return envoyees_; }

private:
    struct Attente {
        QPointer<QObject> contexte;
        Rappel rappel;
    };
    struct EnCours {
        QPointer<QNetworkReply> reponse;
        QList<Attente> attentes;
    };
    void conclure(const QString& cle, EtatRelais etat);

    QNetworkAccessManager* reseau_;
    platform::Horloge& horloge_;
    QHash<QString, std::pair<EtatRelais, qint64>> cache_;
    QHash<QString, EnCours> enCours_;
    int envoyees_ = 0;
};

// Whether the backend account is signed in, and the relay address of the settings.
struct ContexteRoutes {
    std::function<bool()> connecte;
    std::function<QString()> relais;
    platform::Coffre* coffre = nullptr;
    VerificateurRelais* verificateur = nullptr;
};

// Routes of the running program: the relay address read from the store's
// settings at each choice, the system keychain and the shared relay checker.
// The store must outlive what uses the result.
ContexteRoutes routesDuStore(const model::Store& store, std::function<bool()> connecte = {});

enum class MoteurTranscription { soniox, deepgram };

// cloud > own key "anthropic" > relay whose state says claude > demo.
void choisirSourceIA(const ContexteRoutes& c, QObject* contexte, std::function<void(SourceIA)> rappel);
// cloud > own key ("soniox" / "deepgram") > relay with deepgram (Deepgram only) > demo.
void choisirSourceTranscription(const ContexteRoutes& c, MoteurTranscription moteur, QObject* contexte,
                                std::function<void(SourceIA)> rappel);

// A keychain item that holds something other than white space.
std::optional<QString> lireCle(platform::Coffre& coffre, const QString& nom);

} // namespace vd::ai
