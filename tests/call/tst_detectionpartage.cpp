// Screen-share detection: the matching table, the polling driver on a fake
// window list, and the X11 reader on a real display; the windows offered as
// recording targets.
// vd-test: x11
#include "call/detectionpartage.h"
#include "call/fenetresproposees.h"
#include "platform/horloge.h"

#include <QSignalSpy>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

using namespace vd;
using call::DetectionPartage;
using platform::FenetreEcran;

Q_DECLARE_METATYPE(FenetreEcran)

namespace {

class LecteurFactice final : public platform::LecteurFenetres {
public:
    std::optional<QList<FenetreEcran>> fenetres = QList<FenetreEcran>{};
    int lectures = 0;
    std::optional<QList<FenetreEcran>> lire() override
    {
        ++lectures;
        return fenetres;
    }
};

FenetreEcran fenetre(const QString& app, const QString& titre, qint64 pid = 4242) { return {app, titre, 0, pid}; }

// A window offered as a recording target.
FenetreEcran cible(quint32 n, const QString& classe, const QString& titre, qint64 pid = 100, int l = 1200, int h = 800)
{
    return FenetreEcran{classe + QStringLiteral(" ") + classe.toLower(), titre, 0, pid, n, classe, l, h};
}

} // namespace

class TstDetectionPartage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void detection_data()
    {
        QTest::addColumn<QList<FenetreEcran>>("fenetres");
        QTest::addColumn<QString>("source");   // empty: no share
        QTest::newRow("Meet dans Chrome") << QList{fenetre("google-chrome chrome", "meet.google.com is sharing your screen.")} << "Meet";
        QTest::newRow("Meet en français dans Firefox")
            << QList{fenetre("firefox", "meet.google.com partage une fenêtre")} << "Meet";
        QTest::newRow("Zoom: seulement le nom de la réunion") << QList{fenetre("zoom", "Point hebdo commercial")} << "";
        QTest::newRow("Zoom: majuscules et accents") << QList{fenetre("Zoom", "PARTAGE D’ÉCRAN   EN COURS")} << "Zoom";
        QTest::newRow("Teams") << QList{fenetre("Microsoft Teams teams", "Sharing control bar | Microsoft Teams")} << "Teams";
        QTest::newRow("titre de partage dans une autre application") << QList{fenetre("gedit", "vous partagez.txt")} << "";
        QTest::newRow("nos propres fenêtres ignorées")
            << QList{fenetre("vendalo", "Zoom share — partage", QCoreApplication::applicationPid())} << "";
        QTest::newRow("sans propriétaire ou sans titre") << QList{fenetre("", "Zoom share"), fenetre("zoom", "")} << "";
        QTest::newRow("la première fenêtre reconnue l'emporte")
            << QList{fenetre("zoom", "Réunion"), fenetre("teams", "Vous partagez"), fenetre("zoom", "Zoom share toolbar")} << "Teams";
        QTest::newRow("ordre du tableau à fenêtre égale") << QList{fenetre("zoom teams", "vous partagez")} << "Zoom";
    }
    void detection()
    {
        QFETCH(QList<FenetreEcran>, fenetres);
        QFETCH(QString, source);
        QCOMPARE(DetectionPartage::detecter(fenetres).value_or(QString()), source);
    }

    void pilote()
    {
        platform::HorlogeFactice h;
        LecteurFactice lecteur;
        bool actif = true;
        DetectionPartage d(lecteur, h, [&actif] { return actif; });
        QSignalSpy changes(&d, &DetectionPartage::change);
        d.demarrer();
        QCOMPARE(lecteur.lectures, 1);
        QVERIFY(!d.partageEnCours());
        QCOMPARE(changes.size(), 0);

        lecteur.fenetres = QList{fenetre("zoom", "Zoom share statusbar")};
        h.avancer(2000);
        QCOMPARE(d.source(), std::optional<QString>(QStringLiteral("Zoom")));
        h.avancer(2000);   // unchanged: published once
        QCOMPARE(changes.size(), 1);

        actif = false;   // the setting turned off: the share is forgotten, the list not read
        const int lectures = lecteur.lectures;
        h.avancer(2000);
        QVERIFY(!d.partageEnCours());
        QCOMPARE(lecteur.lectures, lectures);
        QCOMPARE(changes.size(), 2);

        actif = true;
        h.avancer(2000);
        QVERIFY(d.partageEnCours());
        d.arreter();
        QVERIFY(!d.partageEnCours());
        h.avancer(10000);
        QCOMPARE(lecteur.lectures, lectures + 1);

        // A list that cannot be read: unavailable, and no longer polled.
        lecteur.fenetres.reset();
        d.demarrer();
        QVERIFY(!d.disponible());
        h.avancer(10000);
        QCOMPARE(lecteur.lectures, lectures + 2);
    }

    // The windows offered as recording targets: meeting tools first, share bars
    // and our own windows left out, and the saved target found again.
    void ciblesProposees()
    {
        const QList<FenetreEcran> bureau{
            cible(1, QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Documents")),
            cible(2, QStringLiteral("firefox"), QStringLiteral("Meet - abc-defg-hij — Mozilla Firefox")),
            cible(3, QStringLiteral("Vendalo"), QStringLiteral("Vendalo"), 55),                          // ourselves
            cible(4, QStringLiteral("zoom"), QStringLiteral("Zoom Meeting")),
            cible(5, QStringLiteral("zoom"), QStringLiteral("zoom share toolbar")),                       // share bar
            cible(6, QStringLiteral("firefox"), QStringLiteral("Recettes — Mozilla Firefox")),
            cible(7, QStringLiteral("teams-for-linux"), QStringLiteral("Point client | Microsoft Teams")),
            cible(8, QStringLiteral("Xfce4-panel"), QStringLiteral("Panneau"), 100, 1920, 30),           // too small
            cible(9, QStringLiteral("gedit"), QString()),                                                 // no title
        };
        QStringList ordre;   // numbers, * for a meeting
        for (const call::FenetreProposee& f : call::proposerFenetres(bureau, 55))
            ordre << QString::number(f.numero) + (f.reunion ? "*" : "");
        QCOMPARE(ordre.join(' '), QStringLiteral("2* 4* 7* 1 6"));
    }

    void cibleRetrouvee_data()
    {
        QTest::addColumn<QString>("bundleId");
        QTest::addColumn<QString>("titre");
        QTest::addColumn<int>("attendu");   // 0: none
        QTest::newRow("même titre") << QStringLiteral("firefox") << QStringLiteral("Recettes — Mozilla Firefox") << 6;
        QTest::newRow("titre changé : première fenêtre de l'application") << QStringLiteral("firefox") << QStringLiteral("Ancien onglet") << 2;
        QTest::newRow("casse de l'identifiant") << QStringLiteral("Zoom") << QStringLiteral("Réunion d'hier") << 4;
        QTest::newRow("application fermée") << QStringLiteral("slack") << QStringLiteral("Général") << 0;
    }
    void cibleRetrouvee()
    {
        QFETCH(QString, bundleId);
        QFETCH(QString, titre);
        QFETCH(int, attendu);
        const QList<call::FenetreProposee> liste = call::proposerFenetres(
            {cible(2, QStringLiteral("firefox"), QStringLiteral("Meet - abc — Mozilla Firefox")), cible(4, QStringLiteral("zoom"), QStringLiteral("Zoom Meeting")),
             cible(6, QStringLiteral("firefox"), QStringLiteral("Recettes — Mozilla Firefox"))},
            0);
        const auto f = call::retrouverFenetre(liste, {QStringLiteral("fenetre"), bundleId, bundleId, titre});
        QCOMPARE(f ? int(f->numero) : 0, attendu);
    }

    // The window manager's client list as the reader sees it on a real display.
    void lecteurX11()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("pas d'affichage X11");
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(c));
        const xcb_screen_t* ecran = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        auto atome = [c](const char* nom) {
            auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(nom)), nom), nullptr);
            const xcb_atom_t a = r->atom;
            free(r);
            return a;
        };
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, ecran->root, 0, 0, 100, 40, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          ecran->root_visual, 0, nullptr);
        const QByteArray titre = QStringLiteral("Zoom — Partage d'écran en cours").toUtf8();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atome("_NET_WM_NAME"), atome("UTF8_STRING"), 8, uint32_t(titre.size()),
                            titre.constData());
        const char classe[] = "zoom\0zoom";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof(classe), classe);
        const uint32_t pid = 1;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atome("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, ecran->root, atome("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, 1, &w);
        // A round trip, so the server has applied the changes before the reader asks.
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

        qunsetenv("WAYLAND_DISPLAY");
        const auto lecteur = platform::creerLecteurFenetres();
        const auto fenetres = lecteur->lire();
        QVERIFY(fenetres);
        QCOMPARE(fenetres->size(), 1);
        QCOMPARE(fenetres->first().titre, QStringLiteral("Zoom — Partage d'écran en cours"));
        QVERIFY(fenetres->first().proprietaire.startsWith(QStringLiteral("zoom zoom")));
        QCOMPARE(DetectionPartage::detecter(*fenetres), std::optional<QString>(QStringLiteral("Zoom")));

        // Without the window manager's list, the reader says it cannot see.
        xcb_delete_property(c, ecran->root, atome("_NET_CLIENT_LIST"));
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        QVERIFY(!lecteur->lire());
        xcb_disconnect(c);

        qputenv("WAYLAND_DISPLAY", "wayland-0");
        QVERIFY(!platform::creerLecteurFenetres()->lire());
        QVERIFY(platform::raisonFenetresInvisibles().startsWith(QStringLiteral("Sous Wayland")));
    }
};

QTEST_GUILESS_MAIN(TstDetectionPartage)
#include "tst_detectionpartage.moc"
