#pragma once
// Texts are written once, in the Mac's words ("⌥⌘M", "Son du Mac", "Réglages Système"); this
// renders them for the running system: on Linux and Windows "Ctrl+Alt+M", "Son de l'ordinateur",
// "les paramètres du système". macOS keeps them as they stand. Stored keys never go through it.
#include <QString>

namespace vd::platform {

// "linux" and "unix" are compiler macros on Linux, hence gnuLinux.
enum class Systeme { macos, gnuLinux, windows };

constexpr Systeme systemeCourant()
{
#if defined(Q_OS_MACOS) || defined(__APPLE__)
    return Systeme::macos;
#elif defined(_WIN32)
    return Systeme::windows;
#else
    return Systeme::gnuLinux;
#endif
}

// One shortcut: "⌥⌘M" → "Ctrl+Alt+M", "⌘⏎" → "Ctrl+Entrée".
QString raccourci(const QString& mac, Systeme s = systemeCourant());
// A whole text: its shortcuts and its Mac-only phrases.
QString formuler(const QString& texteMac, Systeme s = systemeCourant());

} // namespace vd::platform
