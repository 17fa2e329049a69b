#pragma once
// Calendar records as the backend serves them, and the meetings the program
// derives from them (with the contact each one is with).
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>
#include <variant>

namespace vd::agenda {

enum class FournisseurAgenda { google, microsoft };
QString valeur(FournisseurAgenda f);           // "google", "microsoft"
QString nomAffiche(FournisseurAgenda f);       // "Google Agenda", "Outlook"
std::optional<FournisseurAgenda> fournisseurDepuis(const QString& texte);
inline size_t qHash(FournisseurAgenda f, size_t graine = 0) { return ::qHash(int(f), graine); }

struct ConnexionAgenda {
    FournisseurAgenda fournisseur = FournisseurAgenda::google;
    std::optional<QString> email;
    std::optional<QDateTime> connecteLe;
    bool operator==(const ConnexionAgenda&) const = default;
    static std::optional<ConnexionAgenda> depuisJson(const QJsonValue& v);
};

struct InviteAgenda {
    std::optional<QString> email;
    std::optional<QString> nom;
    QString reponse = QStringLiteral("en_attente");
    bool moi = false;
    bool operator==(const InviteAgenda&) const = default;
    static std::optional<InviteAgenda> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

struct RendezVousAgenda {
    QString id, titre;
    QDateTime debut;
    std::optional<QDateTime> fin;
    bool journeeEntiere = false;
    std::optional<QString> lieu, lienVisio;
    std::optional<InviteAgenda> organisateur;
    QList<InviteAgenda> invites;
    bool annule = false;
    FournisseurAgenda fournisseur = FournisseurAgenda::google;
    // Key of the recurring series, when the provider gives one.
    std::optional<QString> serie;
    bool operator==(const RendezVousAgenda&) const = default;
    // None without an id or a readable start.
    static std::optional<RendezVousAgenda> depuisJson(const QJsonValue& v);
};

struct LectureAgenda {
    QList<ConnexionAgenda> connexions;
    QList<RendezVousAgenda> rendezVous;
    QHash<FournisseurAgenda, QString> erreurs;   // provider → error code
    QList<FournisseurAgenda> revoques;
    bool operator==(const LectureAgenda&) const = default;
    static LectureAgenda depuisJson(const QJsonObject& o);
};

// Answer of "agenda/evenements".
struct NonConnecte {
    bool operator==(const NonConnecte&) const = default;
};
struct Revoque {
    QList<FournisseurAgenda> fournisseurs;
    bool operator==(const Revoque&) const = default;
};
using ReponseEvenementsAgenda = std::variant<LectureAgenda, Revoque, NonConnecte>;
// An answer with every read provider withdrawn is a revocation; no connection
// and no meeting is "not connected".
ReponseEvenementsAgenda lireReponseEvenements(const QJsonObject& o);

// Answer of "agenda/etat".
struct EtatServeurAgenda {
    QList<ConnexionAgenda> connexions;
    QList<FournisseurAgenda> fournisseurs;
    bool operator==(const EtatServeurAgenda&) const = default;
    static EtatServeurAgenda depuisJson(const QJsonObject& o);
};

// A coming meeting as shown, with its matched contact.
struct EvenementAgenda {
    QString id, titre;
    QDateTime debut;
    std::optional<QString> contactId;
    std::optional<QDateTime> fin;
    std::optional<QString> lienVisio;
    std::optional<InviteAgenda> invite;
    bool parDomaine = false;
    bool interne = false;
    bool sansInvite = false;
    bool journeeEntiere = false;
    bool annule = false;
    FournisseurAgenda fournisseur = FournisseurAgenda::google;
    QList<InviteAgenda> invitesExterieurs;
    std::optional<QString> serie;
    bool operator==(const EvenementAgenda&) const = default;
    QJsonObject versJson() const;
};

struct ContexteAgenda {
    bool cloudActif = false;
    bool inclus = false;
    std::optional<QString> emailCompte;
    bool operator==(const ContexteAgenda&) const = default;
};

// Message of a "vendalo2://agenda" callback code; none when the user closed the page.
std::optional<QString> messageRetourConnexion(const QString& code, FournisseurAgenda f);
// Message of a withdrawn grant.
QString messageRevoque(FournisseurAgenda f);
// Words that explain a match by company domain.
QString texteParDomaine(const QString& nomContact);
// Links that may be opened from an invitation: http or https with a host.
bool lienVisioOuvrable(const QString& lien);
// A link compared loosely: lower-cased, trimmed, without scheme nor "www.",
// cut at "?" or "#", without trailing "/".
QString lienNormalise(const QString& lien);

} // namespace vd::agenda
