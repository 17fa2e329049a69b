#include "configcloud.h"

#include "configcloud_build.h"

namespace vd::cloud {

QString nettoyerCle(const QString& brut)
{
    const QString v = brut.trimmed();
    return v.startsWith(QLatin1String("$(")) ? QString() : v;
}

std::optional<QUrl> nettoyerUrlSupabase(const QString& brut)
{
    QString v = nettoyerCle(brut);
    while (v.endsWith(QLatin1Char('/')))
        v.chop(1);
    if (v.isEmpty())
        return std::nullopt;
    const QUrl url(v, QUrl::StrictMode);
    const QString schema = url.scheme().toLower();
    if (!url.isValid() || (schema != QLatin1String("http") && schema != QLatin1String("https")) || url.host().isEmpty())
        return std::nullopt;
    return url;
}

ConfigCloud ConfigCloud::depuis(const QString& url, const QString& cle)
{
    return {nettoyerUrlSupabase(url), nettoyerCle(cle)};
}

ConfigCloud ConfigCloud::duProgramme()
{
    QString url = QString::fromUtf8(VD_SUPABASE_URL);
    QString cle = QString::fromUtf8(VD_SUPABASE_CLE);
    const QString urlEnv = qEnvironmentVariable("VD_URL_SUPABASE").trimmed();
    const QString cleEnv = qEnvironmentVariable("VD_CLE_PUBLIQUE_SUPABASE").trimmed();
    if (!urlEnv.isEmpty())
        url = urlEnv;
    if (!cleEnv.isEmpty())
        cle = cleEnv;
    return depuis(url, cle);
}

} // namespace vd::cloud
