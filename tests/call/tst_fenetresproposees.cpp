// The windows offered as recording targets: meeting tools first, share bars
// and our own windows left out, and the saved target found again.
#include "call/fenetresproposees.h"

#include <QTest>

using namespace vd;
using namespace vd::call;
using platform::FenetreEcran;

namespace {
FenetreEcran fenetre(quint32 n, const QString& classe, const QString& titre, qint64 pid = 100, int l = 1200, int h = 800)
{
    return FenetreEcran{classe + QStringLiteral(" ") + classe.toLower(), titre, 0, pid, n, classe, l, h};
}
} // namespace

class TstFenetresProposees : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ordre()
    {
        const QList<FenetreEcran> bureau{
            fenetre(1, QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Documents")),
            fenetre(2, QStringLiteral("firefox"), QStringLiteral("Meet - abc-defg-hij — Mozilla Firefox")),
            fenetre(3, QStringLiteral("Vendalo"), QStringLiteral("Vendalo"), 55),                          // ourselves
            fenetre(4, QStringLiteral("zoom"), QStringLiteral("Zoom Meeting")),
            fenetre(5, QStringLiteral("zoom"), QStringLiteral("zoom share toolbar")),                       // share bar
            fenetre(6, QStringLiteral("firefox"), QStringLiteral("Recettes — Mozilla Firefox")),
            fenetre(7, QStringLiteral("teams-for-linux"), QStringLiteral("Point client | Microsoft Teams")),
            fenetre(8, QStringLiteral("Xfce4-panel"), QStringLiteral("Panneau"), 100, 1920, 30),           // too small
            fenetre(9, QStringLiteral("gedit"), QString()),                                                 // no title
        };
        QList<quint32> ordre;
        QList<bool> reunions;
        for (const FenetreProposee& f : proposerFenetres(bureau, 55)) {
            ordre << f.numero;
            reunions << f.reunion;
        }
        QCOMPARE(ordre, (QList<quint32>{2, 4, 7, 1, 6}));
        QCOMPARE(reunions, (QList<bool>{true, true, true, false, false}));
    }

    void retrouver_data()
    {
        QTest::addColumn<QString>("bundleId");
        QTest::addColumn<QString>("titre");
        QTest::addColumn<int>("attendu");   // 0: none
        QTest::newRow("même titre") << QStringLiteral("firefox") << QStringLiteral("Recettes — Mozilla Firefox") << 6;
        QTest::newRow("titre changé : première fenêtre de l'application") << QStringLiteral("firefox") << QStringLiteral("Ancien onglet") << 2;
        QTest::newRow("casse de l'identifiant") << QStringLiteral("Zoom") << QStringLiteral("Réunion d'hier") << 4;
        QTest::newRow("application fermée") << QStringLiteral("slack") << QStringLiteral("Général") << 0;
    }
    void retrouver()
    {
        QFETCH(QString, bundleId);
        QFETCH(QString, titre);
        QFETCH(int, attendu);
        const QList<FenetreProposee> liste = proposerFenetres(
            {fenetre(2, QStringLiteral("firefox"), QStringLiteral("Meet - abc — Mozilla Firefox")), fenetre(4, QStringLiteral("zoom"), QStringLiteral("Zoom Meeting")),
             fenetre(6, QStringLiteral("firefox"), QStringLiteral("Recettes — Mozilla Firefox"))},
            0);
        const auto f = retrouverFenetre(liste, {QStringLiteral("fenetre"), bundleId, bundleId, titre});
        QCOMPARE(f ? int(f->numero) : 0, attendu);
    }
};

QTEST_GUILESS_MAIN(TstFenetresProposees)
#include "tst_fenetresproposees.moc"
