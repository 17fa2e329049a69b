#include "connecteurmcp.h"

#include "cloud/clientsupabase.h"
#include "installationclaude.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QUrl>
#include <QUrlQuery>

namespace vd::assistant {

namespace {

const QString remplacant = QStringLiteral("COLLEZ_VOTRE_CLE_ICI");
constexpr int delaiMs = 20000;

QString ou(const QString& cle) { return cle.isEmpty() ? remplacant : cle; }

std::optional<QDateTime> instant(const QJsonValue& v)
{
    const QDateTime d = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return d.isValid() ? std::optional(d) : std::nullopt;
}

QString indente(const QJsonObject& o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed();
}

} // namespace

CleMcp CleMcp::depuisJson(const QJsonObject& o)
{
    return {o.value(QLatin1String("id")).toString(), o.value(QLatin1String("nom")).toString(),
            o.value(QLatin1String("prefixe")).toString(), instant(o.value(QLatin1String("cree_le"))),
            instant(o.value(QLatin1String("derniere_utilisation")))};
}

ClesMcp::ClesMcp(cloud::ClientSupabase* client, QObject* parent) : QObject(parent), client_(client) {}

void ClesMcp::oublierNouvelle()
{
    if (!nouvelle_)
        return;
    nouvelle_.reset();
    Q_EMIT change();
}

void ClesMcp::echec(const QString& message)
{
    erreur_ = message;
    occupe_ = false;
    Q_EMIT change();
}

QCoro::Task<bool> ClesMcp::charger()
{
    if (!client_ || !client_->connecte()) {
        echec(cloud::messages::sessionAbsente);
        co_return false;
    }
    occupe_ = true;
    Q_EMIT change();
    auto r = co_await client_->appelerProcedure(QStringLiteral("mcp_lister_jetons"), {}, delaiMs);
    if (!r.ok()) {
        echec(r.erreur().message);
        co_return false;
    }
    const QJsonObject o = r.valeur().qt().toObject();
    QList<CleMcp> cles;
    for (const QJsonValue& v : o.value(QLatin1String("cles")).toArray())
        if (const CleMcp c = CleMcp::depuisJson(v.toObject()); !c.id.isEmpty())
            cles << c;
    cles_ = cles;
    maximum_ = o.value(QLatin1String("max")).toInt(maximum_);
    parMinute_ = o.value(QLatin1String("par_minute")).toInt(parMinute_);
    parJour_ = o.value(QLatin1String("par_jour")).toInt(parJour_);
    erreur_.reset();
    occupe_ = false;
    Q_EMIT change();
    co_return true;
}

QCoro::Task<bool> ClesMcp::creer(QString nom)
{
    nom = nom.simplified();
    if (nom.isEmpty()) {
        echec(QStringLiteral("Donnez un nom à la clé."));
        co_return false;
    }
    if (!client_ || !client_->connecte()) {
        echec(cloud::messages::sessionAbsente);
        co_return false;
    }
    occupe_ = true;
    Q_EMIT change();
    QJsonObject parametres;
    parametres.insert(QStringLiteral("p_nom"), nom);
    auto r = co_await client_->appelerProcedure(QStringLiteral("mcp_creer_jeton"), parametres, delaiMs);
    if (!r.ok()) {
        echec(r.erreur().message);
        co_return false;
    }
    const QJsonObject o = r.valeur().qt().toObject();
    const QString cle = o.value(QLatin1String("cle")).toString();
    if (cle.isEmpty()) {
        echec(cloud::messages::generique);
        co_return false;
    }
    nouvelle_ = cle;
    cles_.prepend(CleMcp::depuisJson(o));
    erreur_.reset();
    occupe_ = false;
    Q_EMIT change();
    co_return true;
}

QCoro::Task<bool> ClesMcp::revoquer(QString id)
{
    if (!client_ || !client_->connecte()) {
        echec(cloud::messages::sessionAbsente);
        co_return false;
    }
    occupe_ = true;
    Q_EMIT change();
    QJsonObject parametres;
    parametres.insert(QStringLiteral("p_id"), id);
    auto r = co_await client_->appelerProcedure(QStringLiteral("mcp_revoquer_jeton"), parametres, delaiMs);
    // Already revoked elsewhere: gone all the same.
    const bool deja = !r.ok() && r.erreur().indice == QLatin1String("cle_introuvable");
    if (!r.ok() && !deja) {
        echec(r.erreur().message);
        co_return false;
    }
    cles_.removeIf([&](const CleMcp& c) { return c.id == id; });
    erreur_.reset();
    occupe_ = false;
    Q_EMIT change();
    co_return true;
}

QString ClesMcp::texteLimites() const
{
    return QStringLiteral("%1 clés au plus. %2 requêtes par minute et %3 par jour pour chaque clé.")
        .arg(maximum_)
        .arg(parMinute_)
        .arg(QLocale(QLocale::French).toString(parJour_));
}

QString ClesMcp::texteUtilisation(const CleMcp& c)
{
    if (!c.derniereUtilisation)
        return QStringLiteral("jamais utilisée");
    return QStringLiteral("utilisée le ") + QLocale(QLocale::French).toString(c.derniereUtilisation->toLocalTime(), QStringLiteral("d MMMM yyyy 'à' HH:mm"));
}

QString ClesMcp::texteRevocation(const QString& nom)
{
    return QStringLiteral("« %1 » ne pourra plus lire vos données, tout de suite. L'assistant qui l'utilise devra recevoir une nouvelle clé.").arg(nom);
}

namespace textesconnecteur {

QString adresseServeur(const QString& baseBackend)
{
    QString b = baseBackend;
    while (b.endsWith(u'/'))
        b.chop(1);
    return b + QStringLiteral("/functions/v1/mcp");
}

QString blocBureau(const QString& npx, const QString& adresse, const QString& cle)
{
    QString base = adresse;
    base.chop(QStringLiteral("/functions/v1/mcp").size());
    const QJsonObject entree = QJsonDocument::fromJson(InstallationClaudeDesktop::entree(npx, base, ou(cle))).object();
    return indente(QJsonObject{{QStringLiteral("mcpServers"), QJsonObject{{QStringLiteral("vendalo"), entree}}}});
}

QString commandeCode(const QString& adresse, const QString& cle)
{
    // The header value closes its quotes, so the pasted command runs as is.
    return QStringLiteral("claude mcp add --transport http --scope user vendalo ") + adresse + QStringLiteral(" --header \"Authorization: Bearer ")
           + ou(cle) + QStringLiteral("\"");
}

QString blocCursor(const QString& adresse, const QString& cle)
{
    const QJsonObject entree{{QStringLiteral("url"), adresse},
                             {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Authorization"), QStringLiteral("Bearer ") + ou(cle)}}}};
    return indente(QJsonObject{{QStringLiteral("mcpServers"), QJsonObject{{QStringLiteral("vendalo"), entree}}}});
}

QString adressePersonnelle(const QString& adresse, const QString& cle)
{
    QUrl u(adresse);
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("cle"), ou(cle));
    u.setQuery(q);
    return u.toString(QUrl::FullyEncoded);
}

QString blocLocal(const QString& executable)
{
    const QJsonObject entree{{QStringLiteral("command"), executable}, {QStringLiteral("args"), QJsonArray{QStringLiteral("mcp")}}};
    return indente(QJsonObject{{QStringLiteral("mcpServers"), QJsonObject{{QStringLiteral("vendalo"), entree}}}});
}

} // namespace textesconnecteur

} // namespace vd::assistant
