#include "zonetoasts.h"

#include "app/ui.h"
#include "ui/ecrans/style.h"
#include "platform/horloge.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>

namespace vd::app {

ZoneToasts::ZoneToasts(Toasts& toasts, platform::Horloge& horloge, QWidget* parent) : QWidget(parent), toasts_(toasts), horloge_(horloge)
{
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    liste_ = new QVBoxLayout(this);
    liste_->setContentsMargins(0, 0, 0, 0);
    liste_->setSpacing(8);
    connect(&toasts_, &Toasts::change, this, &ZoneToasts::reconstruire);
    reconstruire();
}

void ZoneToasts::placer()
{
    if (!parentWidget())
        return;
    adjustSize();
    const QSize s = sizeHint();
    move(parentWidget()->width() - s.width() - 24, parentWidget()->height() - s.height() - 24);
    raise();
}

void ZoneToasts::reconstruire()
{
    style::vider(liste_);
    for (const Toasts::Toast& t : toasts_.toasts()) {
        auto* cadre = style::carte(QStringLiteral("toast"), this);
        auto* l = new QHBoxLayout(cadre);
        l->setContentsMargins(14, 10, 10, 10);
        l->setSpacing(10);
        const QString nomIcone = t.genre == Toasts::Toast::Genre::erreur ? QStringLiteral("alerte") : QStringLiteral("info");
        const QColor c = t.genre == Toasts::Toast::Genre::erreur ? QColor(0xFF, 0x9A, 0x9A)
                         : t.genre == Toasts::Toast::Genre::ok  ? QColor(0x7F, 0xE0, 0xB8)
                                                                 : QColor(0xC8, 0xD6, 0xFF);
        auto* ic = new QLabel(cadre);
        ic->setPixmap(style::icone(nomIcone, c, 16).pixmap(16, 16));
        l->addWidget(ic);
        auto* texte = style::etiquette(t.message, QStringLiteral("toastTexte"), cadre);
        texte->setWordWrap(true);
        texte->setMaximumWidth(360);
        l->addWidget(texte, 1);
        const int id = t.id;
        if (t.libelleAction) {
            auto* b = style::bouton(*t.libelleAction, QStringLiteral("toastAction"), cadre);
            connect(b, &QPushButton::clicked, this, [this, id] { toasts_.agir(id); });
            l->addWidget(b);
        }
        auto* fermer = style::bouton(QStringLiteral("✕"), QStringLiteral("toastAction"), cadre);
        fermer->setToolTip(QStringLiteral("Fermer"));
        connect(fermer, &QPushButton::clicked, this, [this, id] { toasts_.retirer(id); });
        l->addWidget(fermer);
        liste_->addWidget(cadre);
        if (!programmes_.contains(id)) {
            programmes_.insert(id);
            horloge_.apres(6000, this, [this, id] { toasts_.retirer(id); });
        }
    }
    setVisible(!toasts_.toasts().isEmpty());
    placer();
}

} // namespace vd::app
