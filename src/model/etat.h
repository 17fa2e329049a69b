#pragma once
// The store root: everything the user has, in one record.
#include "appel.h"
#include "bibliotheque.h"
#include "contact.h"
#include "reglages.h"

namespace vd::model {

struct Etat {
    qint64 version = 2;
    Reglages reglages;
    Entreprise entreprise;
    QList<ProfilClient> profilsClients;
    QList<ObjectionLib> objections;
    QList<Contact> contacts;
    QList<Interaction> interactions;
    QList<Appel> appels;
    QList<QuestionFavorite> questionsFavorites;
    QList<JSONValeur> quilloConversations;   // ConversationQuillo, kept whole for now
    QStringList quilloMemoire;
    QList<JSONValeur> frameworks;            // FrameworkVente, kept whole for now
    QList<ObjectifLocal> objectifs;
    QList<JSONValeur> briefsAgenda;          // BriefAgenda, kept whole for now
    QStringList frameworkIgnorees;
    bool operator==(const Etat&) const = default;

    // Lenient: never fails on an object; none only for a non-object.
    static std::optional<Etat> depuisJson(const VueJson& v);
    static std::optional<Etat> depuisJson(const QJsonValue& v) { return depuisQt<Etat>(v); }

    const Appel* appel(const QString& id) const;
    Appel* appel(const QString& id);
    const Contact* contact(const QString& id) const;
    Contact* contact(const QString& id);
};

void ecrire(EcrivainJson& e, const Etat& r);

} // namespace vd::model
