// Texts written in the Mac's words, rendered for Linux (and Windows); macOS keeps them.
#include "platform/formulation.h"

#include <QTest>

using namespace vd::platform;

class TstFormulation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textes_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("linux");
        QTest::newRow("raccourci seul") << "⌘1" << "Ctrl+1";
        QTest::newRow("deux modificateurs, ordre Ctrl puis Alt") << "⌥⌘M" << "Ctrl+Alt+M";
        QTest::newRow("majuscule et entrée") << "⇧⌘⏎" << "Ctrl+Maj+Entrée";
        QTest::newRow("dans une phrase") << "Assistance (⌘1, ⌘⏎ ou touche 1)" << "Assistance (Ctrl+1, Ctrl+Entrée ou touche 1)";
        QTest::newRow("bouton") << "Assistance  ⌘1" << "Assistance  Ctrl+1";
        QTest::newRow("quitter") << "Quittez Vendalo (⌘Q) puis rouvrez-le." << "Quittez Vendalo (Ctrl+Q) puis rouvrez-le.";
        QTest::newRow("son du Mac") << "Ouverture du micro et du son du Mac…" << "Ouverture du micro et du son de l'ordinateur…";
        QTest::newRow("Son du Mac en tête") << "Son du Mac autorisé" << "Son de l'ordinateur autorisé";
        QTest::newRow("sur ce Mac") << "Coaching en direct, calculé sur ce Mac, sans IA." << "Coaching en direct, calculé sur cet ordinateur, sans IA.";
        QTest::newRow("bouton réglages") << "Ouvrir Réglages Système" << "Ouvrir les paramètres du système";
        QTest::newRow("dans les réglages") << "Autorisez Vendalo dans Réglages Système, Confidentialité et sécurité, Micro."
                                           << "Autorisez Vendalo dans les paramètres du système, Confidentialité et sécurité, Micro.";
        QTest::newRow("macOS en tête de phrase") << "macOS n'a pas pu ajouter Vendalo. Puis macOS le prend." << "Le système n'a pas pu ajouter Vendalo. Puis le système le prend.";
        QTest::newRow("après un point") << "Accès accordé. macOS le prendra." << "Accès accordé. Le système le prendra.";
        QTest::newRow("rien à changer") << "Appel enregistré." << "Appel enregistré.";
        QTest::newRow("Macintosh n'est pas le Mac") << "Macron, macramé" << "Macron, macramé";
    }
    void textes()
    {
        QFETCH(QString, mac);
        QFETCH(QString, linux);
        QCOMPARE(formuler(mac, Systeme::gnuLinux), linux);
        QCOMPARE(formuler(mac, Systeme::windows), linux);
        QCOMPARE(formuler(mac, Systeme::macos), mac);
    }
    void systemeDeCetteMachine() { QCOMPARE(formuler(QStringLiteral("⌘1")), QStringLiteral("Ctrl+1")); }
};

QTEST_GUILESS_MAIN(TstFormulation)
#include "tst_formulation.moc"
