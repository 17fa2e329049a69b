#include "reglesarriereplan.h"

#include <QFile>
#include <QLocale>

namespace vd::app::ReglesArrierePlan {

QList<EntreeMenu> entreesMenu(const std::optional<QString>& libelleRendezVous)
{
    using G = EntreeMenu::Genre;
    QList<EntreeMenu> e;
    if (libelleRendezVous) {
        e.append({G::rendezVous, *libelleRendezVous, QStringLiteral("rendez-vous"), {}, QStringLiteral("calendrier")});
        e.append({G::separateur, {}, {}, {}, {}});
    }
    e.append({G::ouvrir, QStringLiteral("Ouvrir Vendalo"), QStringLiteral("ouvrir"), {}, {}});
    e.append({G::nouvelAppel, QStringLiteral("Nouvel appel"), QStringLiteral("nouvel-appel"), {}, QStringLiteral("telephone")});
    e.append({G::reglages, QStringLiteral("Réglages…"), QStringLiteral("reglages"), QStringLiteral(","), {}});
    e.append({G::separateur, {}, {}, {}, {}});
    e.append({G::quitter, QStringLiteral("Quitter Vendalo"), QStringLiteral("quitter"), QStringLiteral("q"), {}});
    return e;
}

QString libelleProchain(const QString& titreBrut, const QDateTime& debut, const QDateTime& maintenant)
{
    QString titre = titreBrut.trimmed();
    if (titre.isEmpty())
        titre = QStringLiteral("Rendez-vous");
    const QDateTime local = debut.toLocalTime();
    const QDate jour = local.date();
    const QDate aujourdhui = maintenant.toLocalTime().date();
    const QString heure = local.toString(QStringLiteral("HH:mm"));
    if (jour == aujourdhui)
        return QStringLiteral("Prochain : ") + titre + QStringLiteral(" à ") + heure;
    if (jour == aujourdhui.addDays(1))
        return QStringLiteral("Prochain : demain à ") + heure + QStringLiteral(", ") + titre;
    const QString jourTexte = QLocale(QLocale::French, QLocale::France).toString(jour, QStringLiteral("dddd d MMMM"));
    return QStringLiteral("Prochain : ") + jourTexte + QStringLiteral(" à ") + heure + QStringLiteral(", ") + titre;
}

const QStringList& variablesTest()
{
    static const QStringList v = {QStringLiteral("VD_TEST_MOTEUR"), QStringLiteral("VD_TEST_SESSION"), QStringLiteral("VD_CAPTURES"),
                                  QStringLiteral("VD_TEST_CLOUD"),  QStringLiteral("VD_TEST_PANNEAU"), QStringLiteral("VD_TEST_SPARKLE")};
    return v;
}

bool lancementDiscret(const ContexteLancement& c, platform::Preferences& prefs)
{
    for (const QString& v : variablesTest())
        if (c.environnement.contains(v))
            return false;
    const QString cle = QStringLiteral("vd.demarrage.relanceDiscrete");
    const bool relance = prefs.valeur(cle, false).toBool();
    if (relance)
        prefs.supprimer(cle);   // serves once, even when no tray lets us honour it
    if (!c.zoneNotificationDisponible)
        return false;
    return relance || c.lanceAuLogin || (c.inscritAuLogin && c.systemeDemarreDepuisSec < 120);
}

double dureeDepuisDemarrageSysteme()
{
    QFile f(QStringLiteral("/proc/uptime"));
    if (!f.open(QIODevice::ReadOnly))
        return 1e9;
    bool ok = false;
    const double s = QString::fromLatin1(f.readLine()).section(QLatin1Char(' '), 0, 0).toDouble(&ok);
    return ok ? s : 1e9;
}

} // namespace vd::app::ReglesArrierePlan
