#pragma once
// The one error every backend call reports, with its ready French message,
// and the tables that turn the backend's answers into it.
#include "model/json.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <optional>

namespace vd::cloud {

struct ErreurCloud {
    enum class Genre { reseau, session, auth, base, fonction, annule, illisible };
    Genre genre = Genre::reseau;
    int statut = 0;        // HTTP status, 0 when none
    QString code;          // machine code ("invalid_credentials", "42501", "url_3"…)
    QString message;       // shown to the user as is; empty for annule
    std::optional<model::JSONValeur> details;
    // Seconds the server asks to wait before trying again ("retry_after"), when given.
    std::optional<double> reessayerApres;
    // The database's hint (a snake_case business code such as "commentaire_introuvable"), when given.
    QString indice;

    bool operator==(const ErreurCloud&) const = default;
};

QString texteGenre(ErreurCloud::Genre g);

namespace messages {
inline const QString generique = QStringLiteral("Une erreur est survenue. Réessayez dans un instant.");
inline const QString sessionAbsente = QStringLiteral("Connectez-vous pour continuer.");
inline const QString sessionExpiree = QStringLiteral("Votre session a expiré. Reconnectez-vous.");
inline const QString lienInvalide = QStringLiteral("Ce lien n'est pas valable. Demandez-en un nouveau.");
inline const QString googleNonOuvert = QStringLiteral("La connexion avec Google n'a pas pu s'ouvrir.");
inline const QString googleSansReponse = QStringLiteral("La connexion avec Google n'a pas abouti. Réessayez.");
inline const QString delaiDepasse = QStringLiteral("Le serveur met trop de temps à répondre. Réessayez dans un instant.");
inline const QString pasDeConnexion = QStringLiteral("Pas de connexion. Vérifiez votre accès à internet.");
} // namespace messages

// Authentication service: code ("error_code", else a text "code"), else the
// classified description; "erreurLien" is the "error" item of a callback link.
QString classerErreurAuth(const QString& code, const QString& texte, const QString& erreurLien = {});
QString messageAuth(const QString& code, int statut);
ErreurCloud erreurAuth(int statut, const QByteArray& corps);
ErreurCloud erreurAuthLien(const QString& erreur, const QString& code, const QString& description);
ErreurCloud erreurAuthCode(const QString& code, int statut);   // a code decided locally

// Database (REST and procedures).
ErreurCloud erreurBase(int statut, const QByteArray& corps);
// Edge functions.
QString messageFonction(const QString& code, int statut, const QString& messageServeur);
ErreurCloud erreurFonction(int statut, const QByteArray& corps);

// Transport failures: platform error number, and whether a time limit ran out.
ErreurCloud erreurReseau(int numero, bool delai);
ErreurCloud erreurIllisible(int statut = 0);
ErreurCloud erreurSession(const QString& code);   // "session_absente" or "session_expiree"
ErreurCloud erreurAnnule();

} // namespace vd::cloud

Q_DECLARE_METATYPE(vd::cloud::ErreurCloud)
