#include "deleguecarte.h"

#include "ui/ecrans/style.h"

#include <QPainter>
#include <QPainterPath>

namespace vd::crm {

namespace {
QFont police(const QFont& base, int taille, bool gras)
{
    QFont f = base;
    f.setPixelSize(taille);
    f.setWeight(gras ? QFont::DemiBold : QFont::Normal);
    return f;
}
} // namespace

QSize DelegueCarte::sizeHint(const QStyleOptionViewItem& o, const QModelIndex&) const
{
    return {o.rect.width() > 0 ? o.rect.width() : 212, 124};
}

void DelegueCarte::paint(QPainter* p, const QStyleOptionViewItem& o, const QModelIndex& i) const
{
    namespace c = ui::style::couleur;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QRectF carte = QRectF(o.rect).adjusted(1.5, 1.5, -1.5, -1.5);
    const bool choisie = o.state & QStyle::State_Selected;
    const bool survol = o.state & QStyle::State_MouseOver;
    p->setPen(QPen(choisie ? c::accent : (survol ? QColor(0xCF, 0xCF, 0xC8) : c::filet), 1));
    p->setBrush(c::fond);
    p->drawRoundedRect(carte, 8, 8);

    const QRect r = o.rect.adjusted(12, 10, -12, -10);
    const QString valeur = i.data(roleCarteValeur).toString();
    QFont titre = police(o.font, 13, true);
    p->setFont(titre);
    const QFontMetrics mt(titre);
    int largeurValeur = 0;
    if (!valeur.isEmpty()) {
        QFont fv = police(o.font, 12, true);
        largeurValeur = QFontMetrics(fv).horizontalAdvance(valeur) + 8;
        p->setFont(fv);
        p->setPen(c::texte);
        p->drawText(QRect(r.left(), r.top(), r.width(), mt.height()), Qt::AlignRight | Qt::AlignVCenter, valeur);
        p->setFont(titre);
    }
    p->setPen(c::texte);
    p->drawText(QRect(r.left(), r.top(), r.width() - largeurValeur, mt.height()), Qt::AlignLeft | Qt::AlignVCenter,
                mt.elidedText(i.data(Qt::DisplayRole).toString(), Qt::ElideRight, r.width() - largeurValeur));
    int y = r.top() + mt.height() + 1;
    const QFont petite = police(o.font, 12, false);
    const QFontMetrics mp(petite);
    p->setFont(petite);
    p->setPen(c::texteSecondaire);
    p->drawText(QRect(r.left(), y, r.width(), mp.height()), Qt::AlignLeft, mp.elidedText(i.data(roleCarteSociete).toString(), Qt::ElideRight, r.width()));
    y += mp.height() + 8;
    auto ligne = [&](const QString& etiquette, const QString& texte) {
        const QFont fe = police(o.font, 11, true);
        p->setFont(fe);
        p->setPen(c::texteSecondaire);
        p->drawText(QRect(r.left(), y, r.width(), mp.height()), Qt::AlignLeft, etiquette);
        y += QFontMetrics(fe).height();
        p->setFont(petite);
        p->setPen(c::texte);
        p->drawText(QRect(r.left(), y, r.width(), mp.height()), Qt::AlignLeft, mp.elidedText(texte, Qt::ElideRight, r.width()));
        y += mp.height() + 2;
    };
    ligne(QStringLiteral("Dernier échange"), i.data(roleCarteEchange).toString());
    ligne(QStringLiteral("Prochaine action"), i.data(roleCarteAction).toString());
    p->restore();
}

} // namespace vd::crm
