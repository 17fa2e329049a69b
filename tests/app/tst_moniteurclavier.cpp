#include "app/ecrans/moniteurclavier.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace vd::app;

class TestMoniteurClavier : public QObject {
    Q_OBJECT
private:
    QMainWindow* fenetre_ = nullptr;
    QLineEdit* note_ = nullptr;
    QPushButton* bouton_ = nullptr;
    QAction* menuAppels_ = nullptr;
    bool appel_ = true;
    std::unique_ptr<MoniteurClavierAppel> m_;
    std::unique_ptr<QSignalSpy> spy_;

private slots:
    void initTestCase()
    {
        fenetre_ = new QMainWindow;
        auto* centre = new QWidget(fenetre_);
        auto* l = new QVBoxLayout(centre);
        note_ = new QLineEdit(centre);
        bouton_ = new QPushButton(QStringLiteral("Marquer"), centre);
        l->addWidget(note_);
        l->addWidget(bouton_);
        fenetre_->setCentralWidget(centre);
        menuAppels_ = new QAction(QStringLiteral("Appels"), fenetre_);
        menuAppels_->setShortcut(QKeySequence(QStringLiteral("Ctrl+2")));
        fenetre_->addAction(menuAppels_);
        fenetre_->show();
        fenetre_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fenetre_));
    }
    void cleanupTestCase() { delete fenetre_; }
    // Each test: a monitor installed on the window, its requests counted.
    void init()
    {
        appel_ = true;
        m_ = std::make_unique<MoniteurClavierAppel>(fenetre_, [this] { return appel_; });
        m_->installer();
        spy_ = std::make_unique<QSignalSpy>(m_.get(), &MoniteurClavierAppel::demande);
    }

    void chiffresHorsChampTexte_data()
    {
        QTest::addColumn<int>("touche");
        QTest::addColumn<int>("modificateurs");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("1") << int(Qt::Key_1) << int(Qt::NoModifier) << "objection";
        QTest::newRow("2") << int(Qt::Key_2) << int(Qt::NoModifier) << "questions";
        QTest::newRow("3") << int(Qt::Key_3) << int(Qt::NoModifier) << "recap";
        QTest::newRow("pavé 2") << int(Qt::Key_2) << int(Qt::KeypadModifier) << "questions";
        QTest::newRow("Ctrl+Entrée") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "objection";
        QTest::newRow("Ctrl+Entrée du pavé") << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier) << "objection";
        QTest::newRow("Entrée seule") << int(Qt::Key_Return) << int(Qt::NoModifier) << "";
        QTest::newRow("4") << int(Qt::Key_4) << int(Qt::NoModifier) << "";
        QTest::newRow("Alt+2") << int(Qt::Key_2) << int(Qt::AltModifier) << "";
        QTest::newRow("Ctrl+Alt+2") << int(Qt::Key_2) << int(Qt::ControlModifier | Qt::AltModifier) << "";
    }
    void chiffresHorsChampTexte()
    {
        QFETCH(int, touche);
        QFETCH(int, modificateurs);
        QFETCH(QString, attendu);
        bouton_->setFocus();
        QTest::keyClick(bouton_, Qt::Key(touche), Qt::KeyboardModifiers(modificateurs));
        if (attendu.isEmpty()) {
            QCOMPARE(spy_->count(), 0);
        } else {
            QCOMPARE(spy_->count(), 1);
            QCOMPARE(spy_->at(0).at(0).toString(), attendu);
        }
    }

    void deuxDansUneNoteNeFaitRien()
    {
        note_->clear();
        note_->setFocus();
        QTest::keyClicks(note_, QStringLiteral("2"));
        QCOMPARE(spy_->count(), 0);
        QCOMPARE(note_->text(), QStringLiteral("2"));
    }

    void ctrlDeuxDansUneNoteDemandeDesQuestionsEtGagneSurLeMenu()
    {
        QSignalSpy menu(menuAppels_, &QAction::triggered);
        note_->clear();
        note_->setFocus();
        QTest::keyClick(note_, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(spy_->count(), 1);
        QCOMPARE(spy_->at(0).at(0).toString(), QStringLiteral("questions"));
        QCOMPARE(menu.count(), 0);
        QCOMPARE(note_->text(), QString());
    }

    void horsAppelLeMenuReprendLaMain()
    {
        appel_ = false;
        QSignalSpy menu(menuAppels_, &QAction::triggered);
        bouton_->setFocus();
        QTest::keyClick(bouton_, Qt::Key_2, Qt::ControlModifier);
        QTest::keyClick(bouton_, Qt::Key_1);
        QCOMPARE(spy_->count(), 0);
        QCOMPARE(menu.count(), 1);
    }

    void repetitionsIgnorees()
    {
        bouton_->setFocus();
        QTest::keyPress(bouton_, Qt::Key_1);
        QKeyEvent repete(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"), true);
        QApplication::sendEvent(bouton_, &repete);
        QApplication::sendEvent(bouton_, &repete);
        QTest::keyRelease(bouton_, Qt::Key_1);
        QCOMPARE(spy_->count(), 1);
    }

    void autreFenetreActiveNeComptePas()
    {
        QWidget panneau;   // the floating prompter
        auto* champ = new QPushButton(QStringLiteral("ok"), &panneau);
        panneau.show();
        panneau.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panneau));
        QTest::keyClick(champ, Qt::Key_1);
        QCOMPARE(spy_->count(), 0);
        fenetre_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fenetre_));
    }

    void retireApresLAppel()
    {
        m_->retirer();
        QVERIFY(!m_->installe());
        bouton_->setFocus();
        QTest::keyClick(bouton_, Qt::Key_1);
        QCOMPARE(spy_->count(), 0);
    }
};

QTEST_MAIN(TestMoniteurClavier)
#include "tst_moniteurclavier.moc"
