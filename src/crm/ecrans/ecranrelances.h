#pragma once
// The follow-ups page: today's list "Relances du jour" (late ones first), each
// message sent in one click, and the settings page (charge "reglages").
#include "ui/ecrans/ecranbase.h"

#include <memory>

namespace vd::cloud { class OuvreurUrl; }

namespace vd::crm {

class Relances;

class EcranRelances : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranRelances(ui::Contexte& ctx, QWidget* parent = nullptr);
    ~EcranRelances() override;
    QString titre() const override;
    std::optional<Action> actionPrincipale() const override;
    void afficher(const ui::Ecran& e) override;

private:
    void remplir();
    void remplirListe();
    void remplirReglages();
    void envoyer(const QString& contactId, const QString& etapeId, const QString& par);
    void montrer(const QString& message, bool ok);
    bool reglages_ = false;
    bool enAttente_ = false;
    QVBoxLayout* corps_ = nullptr;
    std::unique_ptr<cloud::OuvreurUrl> ouvreur_;
    std::unique_ptr<Relances> relances_;
};

} // namespace vd::crm
