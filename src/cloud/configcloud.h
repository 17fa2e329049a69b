#pragma once
// Where the backend lives: project address and public key, fixed at build
// time, overridable from the environment for self-hosted or local backends.
#include <QString>
#include <QUrl>
#include <optional>

namespace vd::cloud {

inline const QString lienAuthCallback = QStringLiteral("vendalo2://auth-callback");
inline const QString lienAgenda = QStringLiteral("vendalo2://agenda");
inline const QString schemaLiens = QStringLiteral("vendalo2");

struct ConfigCloud {
    std::optional<QUrl> supabaseUrl;   // none: the cloud features are off
    QString anonKey;

    bool active() const { return supabaseUrl.has_value(); }

    // Cleans raw values: trimmed, "$(" (an unexpanded build variable) counts as
    // empty, trailing "/" removed, http/https with a host only.
    static ConfigCloud depuis(const QString& url, const QString& cle);
    // The build's values, each replaced by VD_URL_SUPABASE / VD_CLE_PUBLIQUE_SUPABASE when set.
    static ConfigCloud duProgramme();
};

std::optional<QUrl> nettoyerUrlSupabase(const QString& brut);
QString nettoyerCle(const QString& brut);

} // namespace vd::cloud
