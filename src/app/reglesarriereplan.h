#pragma once
// Rules of the status item and of the discreet launch: pure functions, so
// they are tested without a tray or a session manager.
#include "platform/preferences.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace vd::app::ReglesArrierePlan {

struct EntreeMenu {
    enum class Genre { rendezVous, ouvrir, nouvelAppel, reglages, quitter, separateur };
    Genre genre = Genre::separateur;
    QString libelle;
    QString action;      // "rendez-vous", "ouvrir", "nouvel-appel", "reglages", "quitter"
    QString raccourci;   // "," or "q"
    QString icone;       // icon resource name
    bool operator==(const EntreeMenu&) const = default;
};

// The status menu, rebuilt each time it opens.
QList<EntreeMenu> entreesMenu(const std::optional<QString>& libelleRendezVous);

// "Prochain : …" for a meeting starting at debut, seen at maintenant (local time zone).
QString libelleProchain(const QString& titre, const QDateTime& debut, const QDateTime& maintenant);

// Variables that mark an instrumented run: such runs are never discreet.
const QStringList& variablesTest();

struct ContexteLancement {
    QHash<QString, QString> environnement;   // only the variables that are set
    bool lanceAuLogin = false;               // the session manager started us (autostart)
    bool inscritAuLogin = false;             // registered to open at login
    double systemeDemarreDepuisSec = 1e9;    // system uptime
    bool zoneNotificationDisponible = true;  // a system tray exists
};

// Whether the main window stays hidden at start. Consumes
// "vd.demarrage.relanceDiscrete" when it is what made the launch discreet.
// Never discreet without a system tray: the app would be unreachable.
bool lancementDiscret(const ContexteLancement& c, platform::Preferences& prefs);

// Seconds since boot (/proc/uptime), or a large value when unknown.
double dureeDepuisDemarrageSysteme();

} // namespace vd::app::ReglesArrierePlan
