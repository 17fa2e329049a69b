#include "erreurcloud.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace vd::cloud {

namespace {

QJsonObject objetJson(const QByteArray& corps)
{
    QJsonParseError e;
    const QJsonDocument d = QJsonDocument::fromJson(corps, &e);
    return d.isObject() ? d.object() : QJsonObject();
}

// A text field; numbers count as their text (PostgREST codes may be numbers).
QString champTexte(const QJsonObject& o, const char* cle, bool nombres)
{
    const QJsonValue v = o.value(QLatin1String(cle));
    if (v.isString())
        return v.toString().trimmed();
    if (nombres && v.isDouble())
        return model::lire::texteDuNombre(v.toDouble());
    return {};
}

bool parmi(const QString& code, std::initializer_list<const char*> codes)
{
    for (const char* c : codes)
        if (code == QLatin1String(c))
            return true;
    return false;
}

std::optional<double> retry(const QJsonObject& o)
{
    const auto r = model::lire::nombre(o.value(QStringLiteral("retry_after")));
    if (r && *r >= 0)
        return r;
    return std::nullopt;
}

} // namespace

QString texteGenre(ErreurCloud::Genre g)
{
    switch (g) {
    case ErreurCloud::Genre::reseau: return QStringLiteral("reseau");
    case ErreurCloud::Genre::session: return QStringLiteral("session");
    case ErreurCloud::Genre::auth: return QStringLiteral("auth");
    case ErreurCloud::Genre::base: return QStringLiteral("base");
    case ErreurCloud::Genre::fonction: return QStringLiteral("fonction");
    case ErreurCloud::Genre::annule: return QStringLiteral("annule");
    case ErreurCloud::Genre::illisible: return QStringLiteral("illisible");
    }
    return {};
}

QString classerErreurAuth(const QString& code, const QString& texte, const QString& erreurLien)
{
    if (!code.isEmpty())
        return code;
    const QString t = texte.toLower();
    if (t.contains(QLatin1String("invalid login credentials")))
        return QStringLiteral("invalid_credentials");
    if (t.contains(QLatin1String("email not confirmed")))
        return QStringLiteral("email_not_confirmed");
    if (t.contains(QLatin1String("already registered")))
        return QStringLiteral("user_already_exists");
    if (t.contains(QLatin1String("refresh token")) && t.contains(QLatin1String("not found")))
        return QStringLiteral("refresh_token_not_found");
    if (t.contains(QLatin1String("password")) && t.contains(QLatin1String("weak")))
        return QStringLiteral("weak_password");
    if (t.contains(QLatin1String("rate limit")))
        return QStringLiteral("over_email_send_rate_limit");
    if (t.contains(QLatin1String("signups not allowed")))
        return QStringLiteral("signup_disabled");
    if (t.contains(QLatin1String("expired")) || t.contains(QLatin1String("invalid")))
        return erreurLien == QLatin1String("access_denied") ? QStringLiteral("otp_expired") : QStringLiteral("erreur_auth");
    return QStringLiteral("erreur_auth");
}

QString messageAuth(const QString& code, int statut)
{
    if (parmi(code, {"invalid_credentials", "invalid_grant"}))
        return QStringLiteral("Email ou mot de passe incorrect.");
    if (code == QLatin1String("email_not_confirmed"))
        return QStringLiteral("Confirmez d'abord votre email : ouvrez le lien reçu.");
    if (parmi(code, {"user_already_exists", "email_exists"}))
        return QStringLiteral("Un compte existe déjà avec cet email. Connectez-vous.");
    if (code == QLatin1String("weak_password"))
        return QStringLiteral("Mot de passe trop faible : 8 caractères au moins.");
    if (parmi(code, {"email_address_invalid", "validation_failed", "email_address_not_authorized"}))
        return QStringLiteral("Adresse email invalide.");
    if (parmi(code, {"over_email_send_rate_limit", "over_request_rate_limit"}))
        return QStringLiteral("Trop d'emails envoyés. Réessayez dans quelques minutes.");
    if (code == QLatin1String("signup_disabled"))
        return QStringLiteral("Les inscriptions sont fermées pour le moment.");
    if (parmi(code, {"refresh_token_not_found", "session_not_found", "refresh_token_already_used", "bad_jwt"}))
        return messages::sessionExpiree;
    if (parmi(code, {"otp_expired", "flow_state_expired", "flow_state_not_found"}))
        return QStringLiteral("Ce lien a expiré ou a déjà servi. Demandez-en un nouveau.");
    if (parmi(code, {"bad_code_verifier", "pkce_absent"}))
        return QStringLiteral("Email confirmé. Connectez-vous.");
    if (code == QLatin1String("same_password"))
        return QStringLiteral("Choisissez un mot de passe différent de l'ancien.");
    if (code == QLatin1String("user_not_found"))
        return QStringLiteral("Aucun compte avec cet email.");
    if (statut == 0 || statut >= 500)
        return messages::generique;
    return QStringLiteral("La connexion a échoué. Réessayez dans un instant.");
}

ErreurCloud erreurAuthCode(const QString& code, int statut)
{
    return {ErreurCloud::Genre::auth, statut, code, messageAuth(code, statut), std::nullopt, std::nullopt};
}

ErreurCloud erreurAuth(int statut, const QByteArray& corps)
{
    const QJsonObject o = objetJson(corps);
    QString code = champTexte(o, "error_code", false);
    if (code.isEmpty())
        code = champTexte(o, "code", false);
    QString texte = champTexte(o, "error_description", false);
    if (texte.isEmpty())
        texte = champTexte(o, "msg", false);
    if (texte.isEmpty())
        texte = champTexte(o, "message", false);
    const QString erreur = champTexte(o, "error", false);
    ErreurCloud e = erreurAuthCode(classerErreurAuth(code, texte, erreur), statut);
    e.reessayerApres = retry(o);
    return e;
}

ErreurCloud erreurAuthLien(const QString& erreur, const QString& code, const QString& description)
{
    return erreurAuthCode(classerErreurAuth(code.trimmed(), description.trimmed(), erreur.trimmed()), 0);
}

ErreurCloud erreurBase(int statut, const QByteArray& corps)
{
    const QJsonObject o = objetJson(corps);
    const QString code = champTexte(o, "code", true);
    const QString message = champTexte(o, "message", false);
    ErreurCloud e{ErreurCloud::Genre::base, statut, code, messages::generique, std::nullopt, retry(o)};
    e.indice = champTexte(o, "hint", false);
    if (o.contains(QStringLiteral("details")) && !o.value(QStringLiteral("details")).isNull())
        e.details = model::JSONValeur(o.value(QStringLiteral("details")));
    e.indice = champTexte(o, "hint", false);
    if (code.isEmpty()) {
        e.code = QStringLiteral("http_") + QString::number(statut);
    } else if (parmi(code, {"42501", "P0001", "22023"})) {
        if (!message.isEmpty())
            e.message = message;
    } else if (code == QLatin1String("57014")) {
        e.message = QStringLiteral("Le serveur a mis trop de temps à répondre. Nouvel essai en cours.");
    } else if (code == QLatin1String("P0002")) {
        e.message = message.isEmpty() ? QStringLiteral("Compte introuvable. Contactez Vendalo.") : message;
    }
    return e;
}

QString messageFonction(const QString& code, int statut, const QString& messageServeur)
{
    if (code == QLatin1String("non_connecte"))
        return messages::sessionExpiree;
    if (code == QLatin1String("sans_organisation"))
        return QStringLiteral("Votre compte n'est rattaché à aucune équipe. Demandez une invitation à votre responsable.");
    if (code == QLatin1String("compte_introuvable"))
        return QStringLiteral("Compte introuvable. Contactez Vendalo.");
    if (code == QLatin1String("requete_invalide"))
        return messageServeur.isEmpty() ? QStringLiteral("La demande a été refusée. Réessayez.") : messageServeur;
    if (code == QLatin1String("requete_trop_longue"))
        return QStringLiteral("Cette demande est trop longue. Raccourcissez le texte ou l'extrait de l'appel.");
    if (code == QLatin1String("cle_serveur_refusee"))
        return QStringLiteral("Quillo est indisponible pour le moment. Nous sommes prévenus.");
    if (code == QLatin1String("modele_indisponible"))
        return QStringLiteral("Ce modèle n'est pas disponible pour le moment. Réessayez dans un instant.");
    if (parmi(code, {"api_indisponible", "api_error"}))
        return QStringLiteral("Quillo ne répond pas. Réessayez dans un instant.");
    if (parmi(code, {"erreur_interne", "erreur_base", "erreur_debit", "configuration", "methode_interdite"}))
        return messages::generique;
    if (code == QLatin1String("invalid_request_error"))
        return QStringLiteral("La demande a été refusée. Réessayez, et prévenez Vendalo si cela continue.");
    if (code == QLatin1String("trop_de_sessions"))
        return QStringLiteral("Trop de transcriptions en même temps. Terminez un appel avant d'en lancer un autre.");
    if (code == QLatin1String("session_introuvable"))
        return QStringLiteral("La session de transcription est introuvable.");
    // Relay codes whose wording is ours to choose.
    if (code == QLatin1String("cle_serveur_absente"))
        return QStringLiteral("Quillo n'est pas encore disponible. Réessayez plus tard.");
    if (code == QLatin1String("modele_sans_tarif"))
        return QStringLiteral("Ce modèle n'est pas disponible. Prévenez Vendalo.");
    if (parmi(code, {"rate_limit_error", "overloaded_error"}))
        return QStringLiteral("Quillo est très demandé. Nouvel essai dans quelques secondes.");
    if (parmi(code, {"deepgram_indisponible", "soniox_indisponible", "moteur_invalide"}))
        return QStringLiteral("Ce moteur de transcription n'est pas disponible. Réessayez dans un instant.");
    if (statut == 0 || statut >= 500)
        return messages::generique;
    return QStringLiteral("La demande a été refusée. Réessayez.");
}

ErreurCloud erreurFonction(int statut, const QByteArray& corps)
{
    const QJsonObject o = objetJson(corps);
    QString code = champTexte(o, "error", false);
    if (code.isEmpty())
        code = champTexte(o, "code", true);
    const QString message = champTexte(o, "message", false);
    ErreurCloud e{ErreurCloud::Genre::fonction, statut, code, messageFonction(code, statut, message), std::nullopt, retry(o)};
    if (code.isEmpty())
        e.code = QStringLiteral("http_") + QString::number(statut);
    if (o.contains(QStringLiteral("details")) && !o.value(QStringLiteral("details")).isNull())
        e.details = model::JSONValeur(o.value(QStringLiteral("details")));
    return e;
}

ErreurCloud erreurReseau(int numero, bool delai)
{
    return {ErreurCloud::Genre::reseau, 0, QStringLiteral("url_") + QString::number(numero),
            delai ? messages::delaiDepasse : messages::pasDeConnexion, std::nullopt, std::nullopt};
}

ErreurCloud erreurIllisible(int statut)
{
    return {ErreurCloud::Genre::illisible, statut, QStringLiteral("reponse_illisible"), messages::generique,
            std::nullopt, std::nullopt};
}

ErreurCloud erreurSession(const QString& code)
{
    const QString m = code == QLatin1String("session_absente") ? messages::sessionAbsente : messages::sessionExpiree;
    return {ErreurCloud::Genre::session, 0, code, m, std::nullopt, std::nullopt};
}

ErreurCloud erreurAnnule()
{
    return {ErreurCloud::Genre::annule, 0, QStringLiteral("annule"), QString(), std::nullopt, std::nullopt};
}

} // namespace vd::cloud
