#pragma once
// What the language-model client needs from the signed-in backend account:
// whether someone is signed in, the streamed call of a backend function, and
// the error journal. The account layer provides it over the backend client;
// tests provide a local one.
#include "fluxreponse.h"

#include <QJsonObject>

namespace vd::ai {

class AccesCloudIA {
public:
    virtual ~AccesCloudIA() = default;
    virtual bool connecte() const = 0;
    // POST "functions/v1/" + nom with the JSON body, signed for the account,
    // its answer read as a stream (delaiMs without a byte times it out). The
    // caller owns the stream; a call that cannot start reports it through
    // the stream's echec() (genre session, with its message).
    virtual FluxReponse* ouvrirFlux(const QString& nom, const QJsonObject& corps, int delaiMs) = 0;
    // One row of the backend's error journal "erreurs_service".
    virtual void journaliser(const QJsonObject& ligne) = 0;
};

} // namespace vd::ai
