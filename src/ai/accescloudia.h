#pragma once
// What the language-model client needs from the signed-in backend account:
// whether someone is signed in, the streamed call of a backend function, and
// the error journal. The account layer provides it (an adapter over the
// backend client); tests provide a local one.
#include "erreursclaude.h"

#include <QJsonObject>
#include <QObject>
#include <functional>
#include <optional>

class QNetworkReply;

namespace vd::ai {

class AccesCloudIA {
public:
    virtual ~AccesCloudIA() = default;
    virtual bool connecte() const = 0;
    // POST "functions/v1/" + nom with the JSON body, signed for the account,
    // its answer read as a stream. suite receives the running reply (owned by
    // the caller) or, when the call could not start (no session, token
    // refresh failed), the error. suite is dropped when contexte dies first.
    using SuiteFlux = std::function<void(QNetworkReply* reponse, std::optional<ErreurSouffleur> erreur)>;
    virtual void ouvrirFlux(const QString& nom, const QJsonObject& corps, int delaiMs, QObject* contexte,
                            SuiteFlux suite) = 0;
    // One row of the backend's error journal "erreurs_service".
    virtual void journaliser(const QJsonObject& ligne) = 0;
};

} // namespace vd::ai
