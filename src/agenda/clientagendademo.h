#pragma once
// The demonstration's calendar: a Google Agenda already connected, with
// meetings set around the current instant for the demonstration contacts
// (one within ten minutes, one matched by its company, an internal one, one
// with nobody known, a day-long one). Connection and disconnection succeed at once.
#include "agenda/clientagenda.h"
#include "model/contact.h"
#include "platform/horloge.h"

namespace vd::agenda {

class ClientAgendaDemo final : public ClientAgenda {
public:
    static inline const QString emailDemo = QStringLiteral("vous@vendeur-demo.fr");
    ClientAgendaDemo(platform::Horloge& horloge, std::function<QList<model::Contact>()> contacts);

    QCoro::Task<ResultatCloud<EtatServeurAgenda>> etat() override;
    QCoro::Task<ResultatCloud<ReponseEvenementsAgenda>> evenements(int heures) override;
    QCoro::Task<ResultatCloud<QUrl>> connecter(FournisseurAgenda f) override;
    void annulerConnexion() override {}
    void recevoirRetour(const QUrl&) override {}
    QCoro::Task<ResultatCloudVide> deconnecter(FournisseurAgenda f) override;

    // The demonstration meetings at this instant.
    QList<RendezVousAgenda> rendezVous() const;

private:
    platform::Horloge& horloge_;
    std::function<QList<model::Contact>()> contacts_;
    QSet<FournisseurAgenda> connectes_{FournisseurAgenda::google};
};

} // namespace vd::agenda
