#include "preferences.h"

#include <QStandardPaths>

namespace vd::platform {

namespace {
Preferences* g_prefs = nullptr;
}

Preferences& Preferences::instance()
{
    static PreferencesQSettings systeme;
    return g_prefs ? *g_prefs : systeme;
}

void Preferences::installer(Preferences* p) { g_prefs = p; }

PreferencesQSettings::PreferencesQSettings()
{
    const QString dossier = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    s_ = std::make_unique<QSettings>(dossier + QStringLiteral("/Vendalo/preferences.ini"), QSettings::IniFormat);
}

QVariant PreferencesQSettings::valeur(const QString& cle, const QVariant& defaut) const { return s_->value(cle, defaut); }

void PreferencesQSettings::definir(const QString& cle, const QVariant& valeur)
{
    s_->setValue(cle, valeur);
    s_->sync();
}

void PreferencesQSettings::supprimer(const QString& cle)
{
    s_->remove(cle);
    s_->sync();
}

bool PreferencesQSettings::contient(const QString& cle) const { return s_->contains(cle); }

} // namespace vd::platform
