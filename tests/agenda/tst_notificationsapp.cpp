// vd-test: keyring
// The notification driver on the fake clock: each key delivered once, across
// restarts; a disabled type neither shown nor recorded; the desktop copy only
// when chosen and the app is hidden, its click leading to the card's screen;
// and the desktop service spoken to over a private D-Bus session.
#include "agenda/notificationsapp.h"
#include "agenda/pilenotifications.h"
#include "platform/notificationsbureau.h"
#include "platform/preferences.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTimeZone>
#include <QtTest>

using namespace vd;
using namespace vd::agenda;

namespace {

const QTimeZone paris("Europe/Paris");

class BureauFactice final : public platform::NotificationsBureau {
public:
    bool envoyer(const QString& cle, const QString&, const QString&) override
    {
        envoyees << cle;
        return true;
    }
    bool disponible() const override { return true; }
    QStringList envoyees;
};

// Stands in for the desktop's notification service on the test's session bus.
class ServiceNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList titres;
Q_SIGNALS:
    void ActionInvoked(uint id, const QString& action);
public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& titre, const QString&, const QStringList&, const QVariantMap&, int)
    {
        titres << titre;
        return uint(titres.size());
    }
};

QStringList idsCartes(const PileNotifications& p)
{
    QStringList l;
    for (const auto& e : p.entrees())
        l << e.carte.id;
    for (const auto& c : p.enAttente())
        l << c.id;
    l.sort();
    return l;
}

} // namespace

class TstNotificationsApp : public QObject {
    Q_OBJECT

    // Monday 2 March 2026, 9:30 in Paris: the review and the day's follow-ups are due.
    std::unique_ptr<platform::HorlogeFactice> horloge;
    platform::PreferencesMemoire prefs;
    std::unique_ptr<PileNotifications> pile;
    BureauFactice bureau;
    int lecturesRelances = 0;
    bool devant = true;
    QList<std::pair<QString, std::optional<QString>>> ouvertures;

    std::unique_ptr<NotificationsApp> creer()
    {
        NotificationsApp::Collaborateurs c;
        c.horloge = horloge.get();
        c.preferences = &prefs;
        c.pile = pile.get();
        c.bureau = &bureau;
        c.fuseau = paris;
        c.relancesDuJour = [this](const QString& jour) {
            ++lecturesRelances;
            return jour == QLatin1String("2026-03-02") ? QList<contenu::RelanceDuJour>{{QStringLiteral("Claire"), true, true}}
                                                       : QList<contenu::RelanceDuJour>{};
        };
        c.appelsNotes = [this] { return QList<regles::AppelNote>{{horloge->maintenant().addDays(-1), 70}}; };
        c.invitations = [] { return QList<InvitationAnnoncee>{{QStringLiteral("inv1"), QStringLiteral("Marc"), QStringLiteral("manager")}}; };
        c.auPremierPlan = [this] { return devant; };
        c.ouvrir = [this](const QString& cible, const std::optional<QString>& objet) { ouvertures.append({cible, objet}); };
        return std::make_unique<NotificationsApp>(std::move(c));
    }

private Q_SLOTS:
    void init()
    {
        pile.reset();
        horloge = std::make_unique<platform::HorlogeFactice>(QDateTime(QDate(2026, 3, 2), QTime(9, 30), paris).toUTC());
        prefs = platform::PreferencesMemoire();
        pile = std::make_unique<PileNotifications>(horloge.get());
        bureau.envoyees.clear();
        lecturesRelances = 0;
        devant = true;
        ouvertures.clear();
    }

    void uneFoisParCleMemeApresRedemarrage()
    {
        const QStringList attendues{QStringLiteral("notif:vd.bilan.2026-W10"), QStringLiteral("notif:vd.invitation.inv1"),
                                    QStringLiteral("notif:vd.relances.2026-03-02")};
        {
            auto n = creer();
            n->demarrer();
            QVERIFY(idsCartes(*pile).isEmpty());   // the first check comes a few seconds after start
            horloge->avancer(NotificationsApp::apresEvenementMs);
            QCOMPARE(idsCartes(*pile), attendues);
            horloge->avancer(20'000);   // the cards have left
            QVERIFY(idsCartes(*pile).isEmpty());
            horloge->avancer(2 * NotificationsApp::periodeMs);
            n->programmer();
            horloge->avancer(NotificationsApp::apresEvenementMs);
            QVERIFY(idsCartes(*pile).isEmpty());
            // Once today's card is out, the follow-ups are not read again.
            QCOMPARE(lecturesRelances, 1);
            n->annoncerAnalyse(QStringLiteral("a1"), QStringLiteral("Paul"), 81);
            n->annoncerAnalyse(QStringLiteral("a1"), QStringLiteral("Paul"), 81);
            QCOMPARE(idsCartes(*pile), QStringList{QStringLiteral("notif:vd.analyse.a1")});
            QCOMPARE(pile->entrees().first().carte.corps, QStringLiteral("Appel avec Paul : 81 sur 100. Le coaching et l'email de suivi vous attendent."));
        }
        horloge->avancer(20'000);
        auto n = creer();
        n->demarrer();
        horloge->avancer(NotificationsApp::apresEvenementMs);
        n->annoncerAnalyse(QStringLiteral("a1"), {}, {});
        QVERIFY(idsCartes(*pile).isEmpty());
        // The next day brings the next day's follow-ups only (none here).
        horloge->avancer(24 * 3600 * 1000LL);
        QVERIFY(idsCartes(*pile).isEmpty());
    }

    void typeDesactiveNiMontreNiRetenu()
    {
        {
            auto n = creer();
            n->activer(TypeNotification::relances, false);
            n->activer(TypeNotification::invitation, false);
        }
        auto n = creer();
        n->demarrer();
        horloge->avancer(NotificationsApp::apresEvenementMs);
        QCOMPARE(idsCartes(*pile), QStringList{QStringLiteral("notif:vd.bilan.2026-W10")});
        QCOMPARE(lecturesRelances, 0);
        QVERIFY(!n->livraison().livree(QStringLiteral("vd.relances.2026-03-02")));
        n->activer(TypeNotification::relances, true);
        n->verifier();
        QVERIFY(idsCartes(*pile).contains(QStringLiteral("notif:vd.relances.2026-03-02")));
        QVERIFY(!NotificationsApp::typesReglables().contains(TypeNotification::appelOublie));
    }

    void copieSurLeBureau_data()
    {
        QTest::addColumn<bool>("choisi");
        QTest::addColumn<bool>("appDevant");
        QTest::addColumn<int>("envoyees");
        QTest::newRow("non choisi") << false << false << 0;
        QTest::newRow("choisi, app devant") << true << true << 0;
        QTest::newRow("choisi, app cachée") << true << false << 3;
    }
    void copieSurLeBureau()
    {
        QFETCH(bool, choisi);
        QFETCH(bool, appDevant);
        QFETCH(int, envoyees);
        auto n = creer();
        QVERIFY(!n->bureauActif());   // off until the user turns it on
        n->activerBureau(choisi);
        devant = appDevant;
        n->demarrer();
        horloge->avancer(NotificationsApp::apresEvenementMs);
        QCOMPARE(bureau.envoyees.size(), envoyees);
        QCOMPARE(idsCartes(*pile).size(), 3);   // the cards show whatever the choice
        if (envoyees) {
            Q_EMIT bureau.activee(QStringLiteral("vd.relances.2026-03-02"));
            Q_EMIT bureau.activee(QStringLiteral("vd.invitation.inv1"));
            const decltype(ouvertures) attendues{{QStringLiteral("crm-relances"), std::nullopt}, {QStringLiteral("compte"), QStringLiteral("inv1")}};
            QCOMPARE(ouvertures, attendues);
        }
    }

    void serviceDuBureauParDBus()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("Sans bus D-Bus de session");
        platform::NotificationsBureauDBus dbus;
        QVERIFY(!dbus.disponible());
        QVERIFY(!dbus.envoyer(QStringLiteral("k"), QStringLiteral("t"), QStringLiteral("c")));   // refused, not thrown

        ServiceNotifications service;
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(dbus.disponible());
        QVERIFY(dbus.envoyer(QStringLiteral("vd.relances.2026-03-02"), QStringLiteral("Relances du jour"), QStringLiteral("Claire.")));
        QCOMPARE(service.titres, QStringList{QStringLiteral("Relances du jour")});
        QSignalSpy clic(&dbus, &platform::NotificationsBureau::activee);
        Q_EMIT service.ActionInvoked(1, QStringLiteral("default"));
        QVERIFY(clic.wait(5000));
        QCOMPARE(clic.first().first().toString(), QStringLiteral("vd.relances.2026-03-02"));
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
};

QTEST_GUILESS_MAIN(TstNotificationsApp)
#include "tst_notificationsapp.moc"
