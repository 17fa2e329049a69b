// "vendalo agenda [--demo]": the meetings of the next seven days with the
// contact each one was matched to and how, as JSON. With --demo, the
// demonstration's calendar on the demonstration contacts.
#include "agenda/agenda.h"
#include "agenda/clientagendademo.h"
#include "agenda/ecrans/ecranagenda.h"
#include "app/demo.h"
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/configcloud.h"
#include "contextecommande.h"
#include "platform/coffre.h"
#include "platform/preferences.h"

#include <QEventLoop>
#include <QJsonArray>

namespace vd::app {

namespace {

const QString usageAgenda = QStringLiteral("Usage : vendalo agenda [--demo]");

QJsonObject lireAgenda(agenda::ClientAgenda& client, const QList<model::Contact>& contacts, const std::optional<QString>& emailCompte)
{
    agenda::Agenda::Collaborateurs c;
    c.client = &client;
    c.lireContexte = [emailCompte] { return agenda::ContexteAgenda{true, true, emailCompte}; };
    c.lireContacts = [&contacts] { return contacts; };
    platform::PreferencesMemoire prefs;
    c.preferences = &prefs;
    agenda::Agenda a(std::move(c));
    QEventLoop boucle;
    QObject::connect(&a, &agenda::Agenda::change, &boucle, [&] {
        if (a.derniereLecture() && !a.lectureEnCours())
            boucle.quit();
    });
    a.actualiser(true);
    if (!a.derniereLecture() || a.lectureEnCours())
        boucle.exec();

    QHash<QString, QString> noms;
    for (const model::Contact& k : contacts)
        noms.insert(k.id, k.nomComplet());
    QJsonArray evenements;
    for (const agenda::EvenementAgenda& e : a.evenements()) {
        QJsonObject o = e.versJson();
        const QString nom = e.contactId ? noms.value(*e.contactId) : QString();
        o.insert(QStringLiteral("contact"), e.contactId ? QJsonValue(nom) : QJsonValue());
        o.insert(QStringLiteral("reconnaissance"), e.contactId ? (e.parDomaine ? QStringLiteral("domaine") : QStringLiteral("adresse")) : QString());
        o.insert(QStringLiteral("texte"), agenda::EcranAgenda::texteReconnaissance(e, nom));
        evenements.append(o);
    }
    QJsonArray connexions;
    for (const agenda::ConnexionAgenda& k : a.connexions())
        connexions.append(QJsonObject{{QStringLiteral("fournisseur"), agenda::valeur(k.fournisseur)},
                                      {QStringLiteral("email"), k.email ? QJsonValue(*k.email) : QJsonValue()}});
    QJsonObject sortie{{QStringLiteral("connexions"), connexions}, {QStringLiteral("evenements"), evenements}};
    QJsonArray revoques;
    for (agenda::FournisseurAgenda f : a.revoques())
        revoques.append(agenda::valeur(f));
    sortie.insert(QStringLiteral("revoques"), revoques);
    if (const auto m = a.message())
        sortie.insert(QStringLiteral("message"), m->texte);
    return sortie;
}

} // namespace

int commandeAgenda(const QStringList& args)
{
    if (args == QStringList{QStringLiteral("--demo")}) {
        auto demo = etatDemonstration();
        if (!demo)
            return erreur(demo.erreur(), 1);
        const QList<model::Contact> contacts = demo.valeur().contacts;
        agenda::ClientAgendaDemo client(platform::Horloge::instance(), [&contacts] { return contacts; });
        sortieJson(lireAgenda(client, contacts, agenda::ClientAgendaDemo::emailDemo));
        return 0;
    }
    if (!args.isEmpty())
        return erreur(usageAgenda, 2);
    const cloud::ConfigCloud config = cloud::ConfigCloud::duProgramme();
    cloud::StockageSession stockage(platform::Coffre::instance());
    cloud::ClientSupabase client(config, &stockage);
    if (!config.active() || !client.connecte())
        return erreur(QStringLiteral("Connectez-vous pour continuer."), 1);
    agenda::ClientAgendaCloud agendaCloud(&client);
    const std::optional<QString> email = client.session()->utilisateur.email.isEmpty() ? std::nullopt : std::optional(client.session()->utilisateur.email);
    return executerEnLecture([&](model::Store& store) {
        const QJsonObject o = lireAgenda(agendaCloud, store.etat().contacts, email);
        sortieJson(o);
        return o.contains(QStringLiteral("message")) && o.value(QStringLiteral("evenements")).toArray().isEmpty() ? 1 : 0;
    });
}

} // namespace vd::app
