#include "agenda/ecrans/fenetrenotifications.h"

#include "agenda/pilenotifications.h"
#include "ui/ecrans/style.h"

#include <QEnterEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QScreen>
#include <QVBoxLayout>

namespace vd::agenda {

using ui::style::bouton;
using ui::style::etiquette;

FenetreNotifications::FenetreNotifications(PileNotifications& pile, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus), pile_(&pile)
{
    setWindowTitle(QStringLiteral("Notifications Vendalo"));
    setObjectName(QStringLiteral("fenetreNotifications"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    cartes_ = new QVBoxLayout(this);
    cartes_->setContentsMargins(16, 16, 16, 16);
    cartes_->setSpacing(8);
    // Rebuilt from the event loop: a card's button that changes the stack must not delete itself under the click.
    connect(&pile, &PileNotifications::change, this, [this] {
        if (planifie_)
            return;
        planifie_ = true;
        QTimer::singleShot(0, this, [this] {
            planifie_ = false;
            reconstruire();
        });
    });
    reconstruire();
}

void FenetreNotifications::reconstruire()
{
    ui::style::vider(cartes_);
    if (!pile_ || pile_->entrees().isEmpty()) {
        hide();
        return;
    }
    for (const PileNotifications::Entree& e : pile_->entrees()) {
        const CarteNotification c = e.carte;
        auto* cadre = ui::style::carte(QStringLiteral("carte"), this);
        cadre->setObjectName(c.id);
        cadre->setFixedWidth(largeur);
        auto* v = new QVBoxLayout(cadre);
        v->setContentsMargins(14, 12, 14, 12);
        v->setSpacing(4);
        auto* haut = new QHBoxLayout;
        auto* titre = etiquette(c.titre, QStringLiteral("titreCarte"), cadre);
        titre->setWordWrap(true);
        haut->addWidget(titre, 1);
        auto* fermer = bouton(QStringLiteral("×"), QStringLiteral("secondaire"), cadre);
        fermer->setObjectName(QStringLiteral("fermer"));
        fermer->setFocusPolicy(Qt::NoFocus);
        fermer->setAccessibleName(QStringLiteral("Fermer"));
        const QString id = c.id;
        connect(fermer, &QPushButton::clicked, this, [this, id] {
            if (pile_)
                pile_->retirer(id);
        });
        haut->addWidget(fermer, 0, Qt::AlignTop);
        v->addLayout(haut);
        if (!c.corps.isEmpty()) {
            auto* corps = etiquette(c.corps, QString(), cadre);
            corps->setWordWrap(true);
            v->addWidget(corps);
        }
        for (const QString& cle : {QStringLiteral("brief"), QStringLiteral("suivi")})
            if (c.infos.contains(cle)) {
                auto* l = etiquette(c.infos.value(cle), QStringLiteral("legende"), cadre);
                l->setWordWrap(true);
                v->addWidget(l);
            }
        if (c.action) {
            auto* b = bouton(*c.action, QStringLiteral("primaire"), cadre);
            b->setFocusPolicy(Qt::NoFocus);
            connect(b, &QPushButton::clicked, this, [this, c] {
                if (pile_)
                    pile_->executer(c);
            });
            v->addWidget(b);
        }
        cartes_->addWidget(cadre);
    }
    adjustSize();
    placer();
    if (!isVisible())
        show();
    // Above the other windows even where no window manager keeps it there (never activated).
    raise();
}

void FenetreNotifications::placer()
{
    QScreen* ecran = QGuiApplication::primaryScreen();
    if (!ecran)
        return;
    const QRect zone = ecran->availableGeometry();
    move(zone.right() - width() - marge + 1, zone.top() + marge);
}

void FenetreNotifications::enterEvent(QEnterEvent* e)
{
    if (pile_)
        pile_->setSurvolee(true);
    QWidget::enterEvent(e);
}

void FenetreNotifications::leaveEvent(QEvent* e)
{
    if (pile_)
        pile_->setSurvolee(false);
    QWidget::leaveEvent(e);
}

} // namespace vd::agenda
