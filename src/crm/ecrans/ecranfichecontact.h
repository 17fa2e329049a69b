#pragma once
// A contact's sheet: the record, its history, the last call, the objections
// met before, its customer profile, the qualification heard and the
// follow-up sequence.
#include "ui/ecrans/ecranbase.h"

namespace vd::crm {

class EcranFicheContact : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranFicheContact(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override;
    std::optional<Action> actionPrincipale() const override;
    void afficher(const ui::Ecran& e) override;
    const QString& contactId() const { return id_; }

private:
    void remplir();
    QString id_;
    QVBoxLayout* corps_ = nullptr;
};

} // namespace vd::crm
