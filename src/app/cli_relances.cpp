#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "ai/moteur.h"
#include "cloud/ouvreururl.h"
#include "crm/relances.h"
#include "model/store.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>

namespace vd::app {

namespace {

const QString usage = QStringLiteral(
    "Utilisation : vendalo relances [--jour AAAA-MM-JJ] | activer CONTACT_ID | arreter CONTACT_ID | "
    "envoyer CONTACT_ID ETAPE_ID --par email|whatsapp|copier|note");

QJsonObject versJson(const crm::Relances::Entree& e)
{
    QJsonObject o = e.sequence;
    o.insert(QStringLiteral("contactId"), e.contactId);
    o.insert(QStringLiteral("appelId"), e.appelId.isEmpty() ? QJsonValue() : QJsonValue(e.appelId));
    return o;
}

// Only the steps still to send that are due on jour or late, with their lateness.
std::optional<QJsonObject> dues(QJsonObject s, const QString& jour)
{
    const QString st = s.value(QLatin1String("statut")).toString();
    if (st != QLatin1String("active") && st != QLatin1String("sommeil"))
        return std::nullopt;
    QJsonArray gardees;
    for (const QJsonValue& v : s.value(QLatin1String("etapes")).toArray()) {
        QJsonObject e = v.toObject();
        const QString date = e.value(QLatin1String("date")).toString();
        if (e.value(QLatin1String("statut")).toString() == QLatin1String("envoyee") || date > jour)
            continue;
        e.insert(QStringLiteral("statut"), date < jour ? QStringLiteral("en_retard") : QStringLiteral("a_venir"));
        gardees.append(e);
    }
    if (gardees.isEmpty())
        return std::nullopt;
    s.insert(QStringLiteral("etapes"), gardees);
    return s;
}

int lister(model::Store& store, const QStringList& args)
{
    std::optional<QString> jour;
    if (args.size() == 2 && args[0] == QLatin1String("--jour")) {
        if (!QDate::fromString(args[1], Qt::ISODate).isValid())
            return erreur(QStringLiteral("Date illisible : « %1 ». Écrivez-la sous la forme AAAA-MM-JJ.").arg(args[1]), 2);
        jour = args[1];
    } else if (!args.isEmpty()) {
        return erreur(usage, 2);
    }
    if (jour) {
        sortieJson(relancesDues(store, *jour));
        return 0;
    }
    crm::Relances relances(store, ai::Moteur::instance());
    QJsonArray r;
    for (const crm::Relances::Entree& e : relances.entrees())
        r.append(versJson(e));
    sortieJson(r);
    return 0;
}

int sauverEtMontrer(model::Store& store, crm::Relances& relances, const QString& contactId, const QString& message,
                    const QString& copie = {})
{
    store.sauvegarder(true);
    if (auto e = store.erreurSauvegarde())
        return erreur(*e);
    QJsonObject o{{QStringLiteral("message"), message}};
    for (const crm::Relances::Entree& e : relances.entrees())
        if (e.contactId == contactId)
            o.insert(QStringLiteral("relance"), versJson(e));
    if (!copie.isEmpty())
        o.insert(QStringLiteral("texte"), copie);
    sortieJson(o);
    return 0;
}

int modifier(model::Store& store, const QStringList& args)
{
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QString()));
    cloud::OuvreurSysteme ouvreur;
    QString copie;
    crm::Relances relances(store, ai::Moteur::instance(), &ouvreur, [&](const QString& t) { copie = t; });
    const QString& verbe = args[0];
    if ((verbe == QLatin1String("activer") || verbe == QLatin1String("arreter")) && args.size() == 2) {
        const QString& contactId = args[1];
        if (!store.etat().contact(contactId))
            return erreur(QStringLiteral("Ce contact est introuvable."));
        if (verbe == QLatin1String("arreter")) {
            auto r = relances.arreter(contactId);
            if (!r)
                return erreur(r.erreur());
            return sauverEtMontrer(store, relances, contactId, crm::Relances::messageArrete());
        }
        QString appelId;
        for (const crm::Relances::Entree& e : relances.entrees())
            if (e.contactId == contactId)
                appelId = e.appelId;
        auto r = relances.activer(appelId);
        if (!r)
            return erreur(r.erreur());
        return sauverEtMontrer(store, relances, contactId, r.valeur());
    }
    if (verbe == QLatin1String("envoyer") && args.size() == 5 && args[3] == QLatin1String("--par")) {
        auto r = relances.envoyer(args[1], args[2], args[4]);
        if (!r)
            return erreur(r.erreur());
        return sauverEtMontrer(store, relances, args[1], r.valeur(), copie);
    }
    return erreur(usage, 2);
}

} // namespace

QJsonArray relancesDues(model::Store& store, const QString& jour)
{
    crm::Relances relances(store, ai::Moteur::instance());
    QJsonArray r;
    for (const crm::Relances::Entree& e : relances.entrees())
        if (auto d = dues(versJson(e), jour))
            r.append(*d);
    return r;
}

int commandeRelances(const QStringList& args)
{
    if (args.isEmpty() || args[0].startsWith(QLatin1String("--")))
        return executerEnLecture([&](model::Store& store) { return lister(store, args); });
    return executerEnEcriture(QStringLiteral("relances"), args, [&](model::Store& store) { return modifier(store, args); });
}

} // namespace vd::app
