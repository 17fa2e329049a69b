#pragma once
// The follow-ups page: today's list "Relances du jour" (late ones first), each
// message sent in one click, and the settings page (charge "reglages").
#include "ui/ecrans/ecranbase.h"

#include <QJsonObject>
#include <memory>
class QTimer;

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
    // Changes settle this long before the page is rebuilt.
    static constexpr int delaiMs = 200;

private:
    void remplir();
    void remplirListe();
    void remplirReglages();
    void envoyer(const QString& contactId, const QString& etapeId, const QString& par);
    void montrer(const QString& message, bool ok);
    void ecrireMoiMeme(const QString& contactId, const QJsonObject& etape);
    // A cheap summary of what the page shows: unchanged, no rebuild.
    size_t empreinte() const;
    // The settings' owner: the signed-in account, else this computer's salesperson.
    QString compte() const;
    QTimer* attente_ = nullptr;
    size_t empreinte_ = 0;
    bool ecritureChangee_ = false;
    bool reglages_ = false;
    QVBoxLayout* corps_ = nullptr;
    std::unique_ptr<cloud::OuvreurUrl> ouvreur_;
    std::unique_ptr<Relances> relances_;
};

} // namespace vd::crm
