#pragma once
// The language-model client's door to the signed-in account, over the
// backend client: the streamed function and the error journal.
#include "accescloudia.h"

#include <QPointer>

namespace vd::cloud {
class ClientSupabase;
class FluxFonction;
struct ErreurCloud;
} // namespace vd::cloud

namespace vd::ai {

// The backend's failure of a streamed function, as the client reads it.
EchecFlux echecDepuisCloud(const cloud::ErreurCloud& e);

class AccesCloudSupabase final : public AccesCloudIA {
public:
    explicit AccesCloudSupabase(cloud::ClientSupabase& client) : client_(&client) {}
    bool connecte() const override;
    FluxReponse* ouvrirFlux(const QString& nom, const QJsonObject& corps, int delaiMs) override;
    // Fire and forget: a journal row that cannot be written is only logged.
    void journaliser(const QJsonObject& ligne) override;

private:
    QPointer<cloud::ClientSupabase> client_;
};

} // namespace vd::ai
