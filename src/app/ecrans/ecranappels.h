#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

class QLabel;
class QTableWidget;
class QLineEdit;
class QStackedWidget;

namespace vd::app {

// All calls, newest first, with a filter; a double click opens the call.
// Opened with "compte:<id>" (a manager's "Voir les appels de …"), it lists
// that team member's calls only, under a chip that clears the filter.
class EcranAppels : public EcranBase {
    Q_OBJECT
public:
    explicit EcranAppels(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Appels"); }
    std::optional<Action> actionPrincipale() const override;
    void afficher(const Ecran& e) override;
    QTableWidget* table() const { return table_; }
    // The member whose calls are listed, empty for all calls.
    QString compteFiltre() const { return compteFiltre_; }

private:
    void remplir();
    QString compteFiltre_;
    QWidget* puce_;
    QLabel* puceTexte_;
    QTableWidget* table_;
    QLineEdit* filtre_;
    QStackedWidget* pile_;
};

// A page this version does not fill yet: what it will hold, calmly.
class EcranVide : public EcranBase {
    Q_OBJECT
public:
    EcranVide(Contexte& ctx, QString titre, const QString& icone, const QString& texte, QWidget* parent = nullptr);
    QString titre() const override { return titre_; }

private:
    QString titre_;
};

} // namespace vd::app
