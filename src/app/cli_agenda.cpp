// "vendalo agenda [--demo]": the meetings of the next seven days with the
// contact each one was matched to and how, as JSON. "vendalo agenda brief
// EVENEMENT_ID [--demo]" prepares that meeting's brief, keeps it with the
// meeting and prints it. With --demo, the demonstration's calendar on the
// demonstration contacts (nothing is kept). VD_MAINTENANT (an ISO 8601
// instant) sets the moment the command takes as now.
#include "agenda/agenda.h"
#include "agenda/avantrendezvous.h"
#include "agenda/briefagenda.h"
#include "ai/accescloudsupabase.h"
#include "ai/clientclaude.h"
#include "ai/generateurbrief.h"
#include "ai/moteur.h"
#include "ai/routes.h"
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
#include <QTimer>

namespace vd::app {

namespace {

const QString usageAgenda = QStringLiteral("Usage : vendalo agenda [--demo] | agenda brief EVENEMENT_ID [--demo]");

// The system clock moved by a fixed offset: the wall clock reads another
// moment, timers and the steady clock run as the system's.
class HorlogeDecalee final : public platform::Horloge {
public:
    explicit HorlogeDecalee(const QDateTime& depart) : decalageMs_(QDateTime::currentDateTimeUtc().msecsTo(depart)) {}
    QDateTime maintenant() const override { return systeme_.maintenant().addMSecs(decalageMs_); }
    qint64 monotoneMs() const override { return systeme_.monotoneMs(); }
    platform::Minuterie* creerMinuterie(QObject* parent) override { return systeme_.creerMinuterie(parent); }

private:
    mutable platform::HorlogeSysteme systeme_;
    qint64 decalageMs_ = 0;
};

// The moment taken as now, from VD_MAINTENANT, for this command's run only.
class HorlogeCommande {
public:
    // None: installed (or nothing asked); else the message of an unreadable value.
    std::optional<QString> installer()
    {
        const QString v = qEnvironmentVariable("VD_MAINTENANT").trimmed();
        // A relayed command runs inside the desktop app: its clock is not ours to move.
        if (v.isEmpty() || contexteCommande())
            return std::nullopt;
        QDateTime t = QDateTime::fromString(v, Qt::ISODateWithMs);
        if (!t.isValid())
            t = QDateTime::fromString(v, Qt::ISODate);
        if (!t.isValid() || !v.contains(QLatin1Char('T')))
            return QStringLiteral("VD_MAINTENANT illisible : « %1 ». Écrivez un instant ISO 8601, par exemple 2026-03-02T09:00:00Z.").arg(v);
        horloge_ = std::make_unique<HorlogeDecalee>(t);
        platform::Horloge::installer(horloge_.get());
        return std::nullopt;
    }
    ~HorlogeCommande()
    {
        if (horloge_)
            platform::Horloge::installer(nullptr);
    }

private:
    std::unique_ptr<HorlogeDecalee> horloge_;
};

// Reads the agenda once, then hands it to suite while it is still there.
void lire(agenda::ClientAgenda& client, const QList<model::Contact>& contacts, const std::optional<QString>& emailCompte,
          const std::function<void(agenda::Agenda&)>& suite)
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
    suite(a);
}

QJsonObject versJson(const agenda::Agenda& a, const QList<model::Contact>& contacts)
{
    QHash<QString, QString> noms;
    for (const model::Contact& k : contacts)
        noms.insert(k.id, k.nomComplet());
    // The next seven days from now: a meeting already over, or beyond them, is left out.
    const QDateTime maintenant = platform::Horloge::instance().maintenant();
    const QDateTime fin = maintenant.addSecs(qint64(agenda::Agenda::heuresLues) * 3600);
    QJsonArray evenements;
    for (const agenda::Agenda::Jour& j : a.jours())
        for (const agenda::EvenementAgenda& e : j.evenements) {
            const bool dedans = e.journeeEntiere ? j.jour >= maintenant.toLocalTime().date() && j.jour <= fin.toLocalTime().date()
                                                 : e.fin.value_or(e.debut) >= maintenant && e.debut <= fin;
            if (!dedans)
                continue;
            QJsonObject o = e.versJson();
            o.insert(QStringLiteral("jour"), j.libelle);
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
    if (const auto p = a.prochainEvenement())
        sortie.insert(QStringLiteral("prochain"), agenda::Agenda::libelleProchain(*p, maintenant));
    QJsonArray revoques;
    for (agenda::FournisseurAgenda f : a.revoques())
        revoques.append(agenda::valeur(f));
    sortie.insert(QStringLiteral("revoques"), revoques);
    if (const auto m = a.message())
        sortie.insert(QStringLiteral("message"), m->texte);
    return sortie;
}

QJsonObject lireAgenda(agenda::ClientAgenda& client, const QList<model::Contact>& contacts, const std::optional<QString>& emailCompte)
{
    QJsonObject o;
    lire(client, contacts, emailCompte, [&](agenda::Agenda& a) { o = versJson(a, contacts); });
    return o;
}

// Prepares one meeting's brief on store (kept there), within the joining time limit.
int preparerBrief(agenda::Agenda& a, model::Store& store, ai::ClientIABase& clientIA, const QString& evenementId)
{
    const agenda::EvenementAgenda* e = a.evenement(evenementId);
    if (!e) {
        if (const auto m = a.message(); m && m->erreur)
            return erreur(m->texte);
        return erreur(QStringLiteral("Ce rendez-vous n'est pas dans votre agenda des 7 prochains jours : « %1 ».").arg(evenementId));
    }
    if (!e->contactId)
        return erreur(agenda::briefs::sansContact);
    ai::GenerateurBrief generateur(store, ai::Moteur::instance(), clientIA);
    std::optional<agenda::BriefAgenda> brief;
    QString message;
    bool fini = false;
    QEventLoop boucle;
    agenda::briefs::preparer(generateur, store, *e, platform::Horloge::instance().maintenant(),
                             [&](std::optional<agenda::BriefAgenda> b, const QString& m) {
                                 brief = std::move(b);
                                 message = m;
                                 fini = true;
                                 boucle.quit();
                             });
    if (!fini) {
        QTimer limite;
        limite.setSingleShot(true);
        QObject::connect(&limite, &QTimer::timeout, &boucle, [&] {
            generateur.annuler();
            message = agenda::AvantRendezVous::echecPreparation;
            boucle.quit();
        });
        limite.start(agenda::AvantRendezVous::delaiBriefMs);
        boucle.exec();
    }
    if (!brief)
        return erreur(message.isEmpty() ? agenda::AvantRendezVous::echecPreparation : message);
    sortieJson(brief->versJson());
    return 0;
}

} // namespace

int commandeAgenda(const QStringList& args)
{
    HorlogeCommande horloge;
    if (const auto m = horloge.installer())
        return erreur(*m, 2);
    QStringList reste = args;
    const bool demo = reste.removeAll(QStringLiteral("--demo")) > 0;
    std::optional<QString> brief;
    if (reste.size() == 2 && reste[0] == QLatin1String("brief") && !reste[1].trimmed().isEmpty())
        brief = reste[1].trimmed();
    else if (!reste.isEmpty())
        return erreur(usageAgenda, 2);

    if (demo) {
        auto etat = etatDemonstration();
        if (!etat)
            return erreur(etat.erreur(), 1);
        const QList<model::Contact> contacts = etat.valeur().contacts;
        agenda::ClientAgendaDemo client(platform::Horloge::instance(), [&contacts] { return contacts; });
        if (!brief) {
            sortieJson(lireAgenda(client, contacts, agenda::ClientAgendaDemo::emailDemo));
            return 0;
        }
        // The demonstration's brief is written in memory: nothing of the user's data changes.
        model::Store store(QString(), platform::Horloge::instance());
        store.modifier([&](model::Etat& e) { e = etat.valeur(); });
        ai::ConfigClientIA config;
        config.routes = ai::routesDuStore(store);
        ai::ClientIA clientIA(config);
        int code = 1;
        lire(client, contacts, agenda::ClientAgendaDemo::emailDemo,
             [&](agenda::Agenda& a) { code = preparerBrief(a, store, clientIA, *brief); });
        return code;
    }
    const cloud::ConfigCloud config = cloud::ConfigCloud::duProgramme();
    cloud::StockageSession stockage(platform::Coffre::instance());
    cloud::ClientSupabase client(config, &stockage);
    if (!config.active() || !client.connecte())
        return erreur(QStringLiteral("Connectez-vous pour continuer."), 1);
    agenda::ClientAgendaCloud agendaCloud(&client);
    const std::optional<QString> email = client.session()->utilisateur.email.isEmpty() ? std::nullopt : std::optional(client.session()->utilisateur.email);
    if (brief) {
        return executerEnEcriture(QStringLiteral("agenda"), args, [&](model::Store& store) {
            ai::AccesCloudSupabase acces(client);
            ai::ConfigClientIA configIA;
            configIA.routes = ai::routesDuStore(store);
            configIA.cloud = &acces;
            ai::ClientIA clientIA(configIA);
            int code = 1;
            lire(agendaCloud, store.etat().contacts, email, [&](agenda::Agenda& a) { code = preparerBrief(a, store, clientIA, *brief); });
            return code;
        });
    }
    return executerEnLecture([&](model::Store& store) {
        const QJsonObject o = lireAgenda(agendaCloud, store.etat().contacts, email);
        sortieJson(o);
        return o.contains(QStringLiteral("message")) && o.value(QStringLiteral("evenements")).toArray().isEmpty() ? 1 : 0;
    });
}

} // namespace vd::app
