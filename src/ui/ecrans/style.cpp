#include "style.h"

#include "platform/dossiers.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QLayoutItem>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

#include "model/texte.h"

namespace vd::ui::style {

void appliquer(QApplication& app)
{
    QFont police(QFontDatabase::families().contains(QStringLiteral("Inter")) ? QStringLiteral("Inter") : QStringLiteral("DejaVu Sans"));
    police.setPixelSize(13);
    app.setFont(police);
    QFile f(platform::dossierRessources() + QStringLiteral("/style/vendalo.qss"));
    if (f.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(f.readAll()).replace(QStringLiteral("@RESSOURCES@"), platform::dossierRessources()));
}

QIcon icone(const QString& nom, const QColor& c, int taille)
{
    static QHash<QString, QIcon> cache;
    const QString cle = nom + c.name() + QString::number(taille);
    if (auto it = cache.constFind(cle); it != cache.constEnd())
        return *it;
    QFile f(platform::dossierRessources() + QStringLiteral("/icones/") + nom + QStringLiteral(".svg"));
    QIcon resultat;
    if (f.open(QIODevice::ReadOnly)) {
        QByteArray svg = f.readAll();
        svg.replace("#5F6270", c.name().toLatin1());
        QSvgRenderer rendu(svg);
        QIcon ic;
        for (int echelle : {1, 2}) {
            QPixmap p(taille * echelle, taille * echelle);
            p.fill(Qt::transparent);
            QPainter peintre(&p);
            rendu.render(&peintre);
            peintre.end();
            p.setDevicePixelRatio(echelle);
            ic.addPixmap(p);
        }
        resultat = ic;
    }
    cache.insert(cle, resultat);
    return resultat;
}

QLabel* etiquette(const QString& texte, const QString& role, QWidget* parent)
{
    auto* l = new QLabel(texte, parent);
    l->setTextFormat(Qt::PlainText);
    if (!role.isEmpty())
        l->setProperty("role", role);
    return l;
}

QPushButton* bouton(const QString& texte, const QString& role, QWidget* parent)
{
    auto* b = new QPushButton(texte, parent);
    if (!role.isEmpty())
        b->setProperty("role", role);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QFrame* carte(const QString& role, QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setProperty("role", role);
    return f;
}

QFrame* filet(QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setProperty("role", QStringLiteral("filet"));
    return f;
}

namespace {
// Any nested layout (boxes, grids, forms): their widgets go with them, none left
// behind on the page at its old place.
void viderLayout(QLayout* l)
{
    while (QLayoutItem* it = l->takeAt(0)) {
        if (QWidget* w = it->widget())
            delete w;
        else if (QLayout* sous = it->layout())
            viderLayout(sous);
        delete it;
    }
}
} // namespace

void vider(QBoxLayout* l)
{
    viderLayout(l);
}

QString duree(double secondes)
{
    const qint64 s = qint64(secondes < 0 ? 0 : secondes);
    if (s < 60)
        return QString::number(s) + QStringLiteral(" s");
    const qint64 m = s / 60, r = s % 60;
    if (m >= 60)
        return QStringLiteral("%1 h %2").arg(m / 60).arg(m % 60, 2, 10, QLatin1Char('0'));
    return r ? QStringLiteral("%1 min %2").arg(m).arg(r, 2, 10, QLatin1Char('0')) : QStringLiteral("%1 min").arg(m);
}

QString dateCourte(const QString& horodatage, bool avecHeure)
{
    const auto d = model::lireHorodatage(horodatage);
    if (!d)
        return {};
    const QDateTime local = d->toLocalTime();
    const QLocale fr(QLocale::French, QLocale::France);
    QString t = fr.toString(local.date(), local.date().year() == QDate::currentDate().year() ? QStringLiteral("d MMM")
                                                                                          : QStringLiteral("d MMM yyyy"));
    if (avecHeure)
        t += QStringLiteral(", ") + local.toString(QStringLiteral("HH:mm"));
    return t;
}

} // namespace vd::ui::style

#include <QMouseEvent>
namespace vd::ui::style {
LigneCliquable::LigneCliquable(QWidget* parent) : QFrame(parent)
{
    setProperty("role", QStringLiteral("ligne"));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}
void LigneCliquable::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        Q_EMIT clique();
    QFrame::mouseReleaseEvent(e);
}
} // namespace vd::ui::style
