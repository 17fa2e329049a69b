#pragma once
#include <QScrollArea>
#include <QVBoxLayout>
// A page of the main window: its title, its optional primary action, and
// what it shows for a given screen.
#include "ui/contexte.h"
#include "ui/navigation.h"

#include <QWidget>
#include <functional>
#include <optional>

namespace vd::ui {

class EcranBase : public QWidget {
    Q_OBJECT
public:
    struct Action {
        QString libelle;
        std::function<void()> faire;
    };
    EcranBase(Contexte& ctx, QWidget* parent = nullptr) : QWidget(parent), ctx_(ctx) {}
    virtual QString titre() const = 0;
    virtual std::optional<Action> actionPrincipale() const { return std::nullopt; }
    // Called each time the page is shown, with the screen's payload.
    virtual void afficher(const Ecran&) {}

Q_SIGNALS:
    // Title or primary action changed.
    void enTeteChange();

protected:
    // Makes the screen one scrolling page and returns the layout of its content.
    QVBoxLayout* pageDefilante(const QMargins& marges, int espacement)
    {
        auto* l = new QVBoxLayout(this);
        l->setContentsMargins(0, 0, 0, 0);
        auto* defil = new QScrollArea(this);
        defil->setObjectName(QStringLiteral("page"));
        defil->setWidgetResizable(true);
        auto* interieur = new QWidget(defil);
        interieur->setObjectName(QStringLiteral("pageInterieur"));
        auto* corps = new QVBoxLayout(interieur);
        corps->setContentsMargins(marges);
        corps->setSpacing(espacement);
        defil->setWidget(interieur);
        l->addWidget(defil);
        return corps;
    }

    Contexte& ctx_;
};

} // namespace vd::ui
