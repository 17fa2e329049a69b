#pragma once
// What the contact sheet shows besides the record, and the last exchange a
// card shows.
#include "model/etat.h"

#include <QHash>

namespace vd::crm {

struct ObjectionPasseeCRM {
    QString libelle, categorie, traitement, date, appelId;
    bool operator==(const ObjectionPasseeCRM&) const = default;
};

struct ContexteContactCRM {
    QList<model::Interaction> historique;   // newest first
    std::optional<model::Appel> dernierAppel;
    QList<ObjectionPasseeCRM> objectionsPassees;   // newest call first
    std::optional<model::ProfilClient> profilClient;
};

ContexteContactCRM contexteContact(const model::Etat& etat, const model::Contact& c);

// Date of each contact's last exchange (an interaction or a call), by contact
// id. Rebuilt only when the interactions or the calls change.
class DerniersEchanges {
public:
    void mettreAJour(const model::Etat& etat);
    QString de(const QString& contactId) const { return dates_.value(contactId); }

private:
    QList<model::Interaction> interactions_;
    QList<model::Appel> appels_;
    QHash<QString, QString> dates_;
    bool pret_ = false;
};

} // namespace vd::crm
