#pragma once
#include <QString>

namespace vd::platform {

// "$XDG_DATA_HOME/Vendalo" (or ~/.local/share/Vendalo): the store, recordings, cloud state.
QString dossierDonnees();
QString dossierEnregistrements();   // dossierDonnees() + "/Enregistrements"
QString dossierCloud();             // dossierDonnees() + "/cloud"
// "$XDG_CONFIG_HOME/Vendalo": preferences and the credential fallback file.
QString dossierConfiguration();
// Folder of the shipped resources (moteur.js, style, icons): VD_RESOURCES_DIR,
// else "resources" beside the executable, else the installed share folder.
QString dossierRessources();

// Writes data to path through a temporary file renamed over it, so a crash
// leaves the old or the new file, never a torn one. Creates missing folders.
// Returns an empty string on success, else the reason (French).
QString ecrireAtomique(const QString& chemin, const QByteArray& donnees);

} // namespace vd::platform
