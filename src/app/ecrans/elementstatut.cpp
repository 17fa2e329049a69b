#include "elementstatut.h"

#include "app/ui.h"
#include "ui/ecrans/style.h"
#include "app/reglesarriereplan.h"
#include "platform/dossiers.h"

#include <QFile>
#include <QMenu>
#include <QSvgRenderer>
#include <QPainter>
#include <QSystemTrayIcon>

namespace vd::app {

ElementStatut::ElementStatut(std::function<std::optional<QString>()> prochainRendezVous, QObject* parent)
    : QObject(parent), prochain_(std::move(prochainRendezVous)), menu_(std::make_unique<QMenu>())
{
    connect(menu_.get(), &QMenu::aboutToShow, this, &ElementStatut::reconstruire);
    reconstruire();
}

ElementStatut::~ElementStatut() = default;

bool ElementStatut::demarrer()
{
    if (demarre_)
        return true;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    demarre_ = true;
    QIcon ic;
    const QString chemin = platform::dossierRessources() + QStringLiteral("/icones/logo-mark-dark.svg");
    QSvgRenderer rendu(chemin);
    if (rendu.isValid()) {
        // 13 points high, width keeping the aspect ratio.
        const QSize d = rendu.defaultSize();
        for (int echelle : {1, 2}) {
            const int h = 13 * echelle;
            const int w = d.height() > 0 ? d.width() * h / d.height() : h;
            QPixmap p(w, h);
            p.fill(Qt::transparent);
            QPainter peintre(&p);
            rendu.render(&peintre);
            peintre.end();
            ic.addPixmap(p);
        }
    } else {
        ic = QIcon::fromTheme(QStringLiteral("audio-input-microphone"));
    }
    icone_ = new QSystemTrayIcon(ic, this);
    icone_->setToolTip(QStringLiteral("Vendalo"));
    icone_->setContextMenu(menu_.get());
    connect(icone_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
            Q_EMIT ouvrir();
    });
    icone_->show();
    return true;
}

void ElementStatut::reconstruire()
{
    menu_->clear();
    using G = ReglesArrierePlan::EntreeMenu::Genre;
    for (const auto& e : ReglesArrierePlan::entreesMenu(prochain_ ? prochain_() : std::nullopt)) {
        if (e.genre == G::separateur) {
            menu_->addSeparator();
            continue;
        }
        QAction* a = menu_->addAction(e.libelle);
        a->setData(e.action);
        if (!e.icone.isEmpty())
            a->setIcon(style::icone(e.icone, style::couleur::texte, 16));
        if (e.raccourci == QLatin1String(","))
            a->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
        else if (e.raccourci == QLatin1String("q"))
            a->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
        const QString action = e.action;
        connect(a, &QAction::triggered, this, [this, action] { agir(action); });
    }
}

void ElementStatut::agir(const QString& action)
{
    if (action == QLatin1String("ouvrir"))
        Q_EMIT ouvrir();
    else if (action == QLatin1String("nouvel-appel"))
        Q_EMIT nouvelAppel();
    else if (action == QLatin1String("reglages"))
        Q_EMIT reglages();
    else if (action == QLatin1String("rendez-vous"))
        Q_EMIT rendezVous();
    else if (action == QLatin1String("quitter"))
        Q_EMIT quitter();
}

} // namespace vd::app
