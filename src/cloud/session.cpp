#include "session.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRandomGenerator>

Q_LOGGING_CATEGORY(lcSession, "vd.cloud.session")

namespace vd::cloud {

namespace lire = model::lire;

std::optional<UtilisateurAuth> utilisateurDepuisJson(const QJsonObject& o)
{
    auto id = lire::texteOpt(o.value(QStringLiteral("id")));
    if (!id)
        return std::nullopt;
    UtilisateurAuth u;
    u.id = *id;
    u.email = lire::texte(o.value(QStringLiteral("email")), QString());
    const QJsonValue meta = o.value(QStringLiteral("user_metadata"));
    if (meta.isObject())
        u.metadonnees = model::JSONValeur(meta);
    const QJsonObject app = o.value(QStringLiteral("app_metadata")).toObject();
    u.fournisseur = lire::texteOpt(app.value(QStringLiteral("provider")));
    const QJsonValue conf = o.value(QStringLiteral("email_confirmed_at"));
    u.emailConfirme = !conf.isUndefined() && !conf.isNull();
    return u;
}

std::optional<SessionAuth> sessionDepuisReponse(const QJsonObject& o, const QDateTime& maintenant)
{
    auto acces = lire::texteOpt(o.value(QStringLiteral("access_token")));
    auto rafraichi = lire::texteOpt(o.value(QStringLiteral("refresh_token")));
    auto user = utilisateurDepuisJson(o.value(QStringLiteral("user")).toObject());
    if (!acces || !rafraichi || !user)
        return std::nullopt;
    SessionAuth s;
    s.accessToken = *acces;
    s.refreshToken = *rafraichi;
    s.utilisateur = *user;
    if (auto a = lire::entier(o.value(QStringLiteral("expires_at"))); a && *a > 0)
        s.expireLe = QDateTime::fromSecsSinceEpoch(*a, Qt::UTC);
    else if (auto d = lire::entier(o.value(QStringLiteral("expires_in"))))
        s.expireLe = maintenant.addSecs(*d).toUTC();
    else
        return std::nullopt;
    return s;
}

QByteArray versJson(const SessionAuth& s)
{
    QByteArray b;
    model::EcrivainJson e(b);
    e.debutObjet();
    e.champ("accessToken", s.accessToken);
    e.champ("refreshToken", s.refreshToken);
    e.champ("expireLe", s.expireLe.toUTC().toString(Qt::ISODateWithMs));
    e.cle("utilisateur");
    e.debutObjet();
    e.champ("id", s.utilisateur.id);
    e.champ("email", s.utilisateur.email);
    e.champ("metadonnees", s.utilisateur.metadonnees);
    e.champ("fournisseur", s.utilisateur.fournisseur);
    e.champ("emailConfirme", s.utilisateur.emailConfirme);
    e.finObjet();
    e.finObjet();
    return b;
}

std::optional<SessionAuth> sessionDepuisJson(const QByteArray& json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const QJsonObject u = o.value(QStringLiteral("utilisateur")).toObject();
    SessionAuth s;
    auto acces = lire::texteOpt(o.value(QStringLiteral("accessToken")));
    auto rafraichi = lire::texteOpt(o.value(QStringLiteral("refreshToken")));
    auto id = lire::texteOpt(u.value(QStringLiteral("id")));
    const QDateTime expire = QDateTime::fromString(lire::texte(o.value(QStringLiteral("expireLe")), QString()), Qt::ISODateWithMs);
    if (!acces || !rafraichi || !id || !expire.isValid())
        return std::nullopt;
    s.accessToken = *acces;
    s.refreshToken = *rafraichi;
    s.expireLe = expire.toUTC();
    s.utilisateur.id = *id;
    s.utilisateur.email = lire::texte(u.value(QStringLiteral("email")), QString());
    if (u.contains(QStringLiteral("metadonnees")))
        s.utilisateur.metadonnees = model::JSONValeur(u.value(QStringLiteral("metadonnees")));
    s.utilisateur.fournisseur = lire::texteOpt(u.value(QStringLiteral("fournisseur")));
    s.utilisateur.emailConfirme = lire::booleen(u.value(QStringLiteral("emailConfirme")), false);
    return s;
}

QByteArray versJson(const PKCEEnAttente& p)
{
    QByteArray b;
    model::EcrivainJson e(b);
    e.debutObjet();
    e.champ("verificateur", p.verificateur);
    e.champ("type", p.type);
    e.champ("email", p.email);
    e.finObjet();
    return b;
}

std::optional<PKCEEnAttente> pkceDepuisJson(const QByteArray& json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    auto v = lire::texteOpt(o.value(QStringLiteral("verificateur")));
    if (!v)
        return std::nullopt;
    return PKCEEnAttente{*v, lire::texte(o.value(QStringLiteral("type")), QString()),
                         lire::texte(o.value(QStringLiteral("email")), QString())};
}

QString nouveauVerificateur()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    constexpr int taille = sizeof(alphabet) - 1;   // 66
    QString v;
    v.reserve(64);
    for (int i = 0; i < 64; ++i)
        v.append(QLatin1Char(alphabet[QRandomGenerator::system()->bounded(taille)]));
    return v;
}

QString defiPkce(const QString& verificateur)
{
    const QByteArray h = QCryptographicHash::hash(verificateur.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(h.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::optional<SessionAuth> StockageSession::lireSession() const
{
    auto brut = coffre_.lire(cleSession);
    if (!brut || brut->isEmpty())
        return std::nullopt;
    auto s = sessionDepuisJson(brut->toUtf8());
    if (!s)
        qCWarning(lcSession) << "stored session unreadable, ignored";
    return s;
}

void StockageSession::ecrireSession(const std::optional<SessionAuth>& s)
{
    const QString erreur = s ? coffre_.ecrire(cleSession, QString::fromUtf8(versJson(*s))) : coffre_.effacer(cleSession);
    if (!erreur.isEmpty())
        qCWarning(lcSession) << "session not stored:" << erreur;
}

std::optional<PKCEEnAttente> StockageSession::lirePkce() const
{
    auto brut = coffre_.lire(clePkce);
    if (!brut || brut->isEmpty())
        return std::nullopt;
    return pkceDepuisJson(brut->toUtf8());
}

void StockageSession::ecrirePkce(const std::optional<PKCEEnAttente>& p)
{
    const QString erreur = p ? coffre_.ecrire(clePkce, QString::fromUtf8(versJson(*p))) : coffre_.effacer(clePkce);
    if (!erreur.isEmpty())
        qCWarning(lcSession) << "pending PKCE not stored:" << erreur;
}

} // namespace vd::cloud
