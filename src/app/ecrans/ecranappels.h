#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

class QTableWidget;
class QLineEdit;
class QStackedWidget;

namespace vd::app {

// All calls, newest first, with a filter; a double click opens the call.
class EcranAppels : public EcranBase {
    Q_OBJECT
public:
    explicit EcranAppels(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Appels"); }
    std::optional<Action> actionPrincipale() const override;
    void afficher(const Ecran&) override { remplir(); }
    QTableWidget* table() const { return table_; }

private:
    void remplir();
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
