#pragma once
// The backend calls of the agenda: status, meetings, connection and
// disconnection of a provider. ClientAgendaCloud goes through the backend
// client; tests and the demonstration give their own.
#include "agenda/typesagenda.h"
#include "cloud/clientsupabase.h"

#include <QPointer>
#include <QUrl>
#include <qcoro/qcorotask.h>

namespace vd::agenda {

using cloud::ErreurCloud;
using cloud::ResultatCloud;
using cloud::ResultatCloudVide;

class ClientAgenda {
public:
    virtual ~ClientAgenda() = default;
    virtual QCoro::Task<ResultatCloud<EtatServeurAgenda>> etat() = 0;
    virtual QCoro::Task<ResultatCloud<ReponseEvenementsAgenda>> evenements(int heures) = 0;
    // Opens the provider's consent page and gives the "vendalo2://agenda" link that ends it.
    virtual QCoro::Task<ResultatCloud<QUrl>> connecter(FournisseurAgenda f) = 0;
    virtual void annulerConnexion() = 0;
    // Hands over the callback link the single instance received.
    virtual void recevoirRetour(const QUrl& lien) = 0;
    virtual QCoro::Task<ResultatCloudVide> deconnecter(FournisseurAgenda f) = 0;
};

class ClientAgendaCloud final : public ClientAgenda {
public:
    static constexpr int delaiMs = 30'000;
    explicit ClientAgendaCloud(cloud::ClientSupabase* client) : client_(client) {}
    QCoro::Task<ResultatCloud<EtatServeurAgenda>> etat() override;
    QCoro::Task<ResultatCloud<ReponseEvenementsAgenda>> evenements(int heures) override;
    QCoro::Task<ResultatCloud<QUrl>> connecter(FournisseurAgenda f) override;
    void annulerConnexion() override;
    void recevoirRetour(const QUrl& lien) override;
    QCoro::Task<ResultatCloudVide> deconnecter(FournisseurAgenda f) override;

private:
    QPointer<cloud::ClientSupabase> client_;
};

} // namespace vd::agenda
