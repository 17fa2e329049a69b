// The live call screen during a long call: partials updated where they stand,
// the latest finals kept, notes that never stretch the window.
#include "environnementvendalo.h"
#include "app/ecrans/ecranenappel.h"
#include "app/ecrans/fenetreprincipale.h"
#include "call/sessionappel.h"

#include <QPointer>

using namespace vd;
using namespace vd::app;

namespace {

struct Banc : BancApplication {
    EcranEnAppel* ecran = nullptr;

    Banc() : BancApplication({.demarrer = false})
    {
        // A scripted call whose only turn comes much later: the test brings the segments itself.
        call::ScenarioDemo s;
        s.id = QStringLiteral("essai");
        s.tours = {{QStringLiteral("vous"), QStringLiteral("Au revoir."), 3600000, 3601000, std::nullopt}};
        if (auto refus = session().demarrerGuide(call::AppelGuide{s, std::nullopt, 1.0}))
            qFatal("appel non démarré");
        app->montrerFenetre();
        app->navigation().aller(Ecran::de(Ecran::Genre::enAppel));
        ecran = app->fenetre()->findChild<EcranEnAppel*>();
    }
    call::SessionAppel& session() { return app->session(); }
    void segment(const QString& qui, const QString& texte, bool final, qint64 debutMs, qint64 finMs = -1)
    {
        session().recevoirSegment(call::SegmentLive{qui, texte, final, debutMs, finMs < 0 ? debutMs + 1500 : finMs, std::nullopt},
                                  session().generation());
        QCoreApplication::processEvents();   // new bubbles show from the event loop
    }
    // The visible labels showing texte (with debut: starting with it), top to bottom.
    QList<QLabel*> etiquettes(const QString& texte, bool debut = false) const
    {
        QList<QLabel*> r;
        for (QLabel* l : ecran->findChildren<QLabel*>())
            if (l->isVisibleTo(ecran) && (debut ? l->text().startsWith(texte) : l->text() == texte))
                r << l;
        std::sort(r.begin(), r.end(), [this](QLabel* a, QLabel* b) { return a->mapTo(ecran, QPoint()).y() < b->mapTo(ecran, QPoint()).y(); });
        return r;
    }
    QStringList enOrdre(const QString& debut) const
    {
        QStringList t;
        for (QLabel* l : etiquettes(debut, true))
            t << l->text();
        return t;
    }
};

} // namespace

class TstEcranEnAppel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { preparerEcrans(); }

    void partielsMisAJourSurPlace()
    {
        Banc b;
        QVERIFY(b.ecran && b.ecran->isVisible());
        b.segment(QStringLiteral("prospect"), QStringLiteral("Nous avons"), false, 1000);
        QCOMPARE(b.etiquettes(QStringLiteral("Nous avons")).size(), 1);
        const QPointer<QLabel> partiel = b.etiquettes(QStringLiteral("Nous avons")).first();
        b.segment(QStringLiteral("prospect"), QStringLiteral("Nous avons trois agences"), false, 1000);
        // The same bubble shows the longer partial; the shorter one is gone.
        QCOMPARE(b.etiquettes(QStringLiteral("Nous avons")).size(), 0);
        QVERIFY(partiel);
        QCOMPARE(b.etiquettes(QStringLiteral("Nous avons trois agences")).size(), 1);
        QVERIFY(b.etiquettes(QStringLiteral("Nous avons trois agences")).first() == partiel);

        // The salesperson's partial below the prospect's.
        b.segment(QStringLiteral("vous"), QStringLiteral("Combien de"), false, 2000);
        QCOMPARE(b.etiquettes(QStringLiteral("Combien de")).size(), 1);
        QCoreApplication::processEvents();
        b.ecran->adjustSize();
        QVERIFY(b.etiquettes(QStringLiteral("Combien de")).first()->mapTo(b.ecran, QPoint()).y() > partiel->mapTo(b.ecran, QPoint()).y());

        // The final replaces the partial: shown once, in the normal tone.
        b.segment(QStringLiteral("prospect"), QStringLiteral("Nous avons trois agences."), true, 1000);
        QCOMPARE(b.etiquettes(QStringLiteral("Nous avons trois agences")).size(), 0);
        QCOMPARE(b.etiquettes(QStringLiteral("Nous avons trois agences.")).size(), 1);
        QVERIFY(b.etiquettes(QStringLiteral("Nous avons trois agences.")).first() != partiel);
        QVERIFY(!partiel->isVisibleTo(b.ecran));
        QCOMPARE(b.etiquettes(QStringLiteral("Combien de")).size(), 1);

        // A new partial of the prospect comes back in the same bubble, with its name.
        const qsizetype noms = b.etiquettes(QStringLiteral("Prospect")).size();
        b.segment(QStringLiteral("prospect"), QStringLiteral("Et une quatrième"), false, 5000);
        QVERIFY(partiel);
        QCOMPARE(b.etiquettes(QStringLiteral("Et une quatrième")).size(), 1);
        QVERIFY(b.etiquettes(QStringLiteral("Et une quatrième")).first() == partiel);
        QCOMPARE(b.etiquettes(QStringLiteral("Prospect")).size(), noms + 1);
    }

    void dernierFinalsGardes()
    {
        Banc b;
        for (int i = 1; i <= 305; ++i)
            b.segment(QStringLiteral("prospect"), QStringLiteral("Phrase %1").arg(i), true, i * 2000);
        QCoreApplication::processEvents();
        const QStringList t = b.enOrdre(QStringLiteral("Phrase "));
        QCOMPARE(t.size(), 300);
        QCOMPARE(t.first(), QStringLiteral("Phrase 6"));
        QCOMPARE(t.last(), QStringLiteral("Phrase 305"));
        QCOMPARE(b.session().finals().size(), 305);   // the call keeps them all
    }

    void echosSuivisSurPlace()
    {
        Banc b;
        const QString question = QStringLiteral("Et pour le budget, vous avez prévu combien ?");
        const QString avecEcho = QStringLiteral(
            "alors je disais le budget est validé par la direction générale donc nous pourrions avancer rapidement");
        b.segment(QStringLiteral("vous"), question, true, 100, 1500);
        const QPointer<QLabel> premier = b.etiquettes(question).value(0);
        QVERIFY(premier);
        b.segment(QStringLiteral("vous"), QStringLiteral("on verra ça"), true, 5100, 6000);
        b.segment(QStringLiteral("vous"), avecEcho, true, 9075, 15075);
        QCOMPARE(b.etiquettes(QStringLiteral("on verra ça")).size(), 1);
        QCOMPARE(b.etiquettes(avecEcho).size(), 1);
        const QPointer<QLabel> rogne = b.etiquettes(avecEcho).first();

        // The prospect's own words arrive: the salesperson's copies go or lose the echoed words.
        b.segment(QStringLiteral("prospect"), QStringLiteral("On verra ça."), true, 5000, 5900);
        b.segment(QStringLiteral("prospect"), QStringLiteral("Le budget est validé par la direction générale"), true, 10000, 13000);
        QCOMPARE(b.etiquettes(QStringLiteral("on verra ça")).size(), 0);
        QCOMPARE(b.etiquettes(avecEcho).size(), 0);
        QCOMPARE(b.etiquettes(QStringLiteral("Alors je disais donc nous pourrions avancer rapidement")).size(), 1);
        // Updated where they stand: the other bubbles are the same widgets.
        QVERIFY(premier && rogne);
        QCOMPARE(b.etiquettes(question).value(0), premier.data());
        QCOMPARE(rogne->text(), QStringLiteral("Alors je disais donc nous pourrions avancer rapidement"));

        // The screen shows the call's finals, once each, in their order.
        QCoreApplication::processEvents();
        int y = -1;
        for (const model::Segment& f : b.session().finals()) {
            const QList<QLabel*> l = b.etiquettes(f.texte);
            QCOMPARE(l.size(), 1);
            const int yf = l.first()->mapTo(b.ecran, QPoint()).y();
            QVERIFY(yf > y);
            y = yf;
        }
        QCOMPARE(b.session().finals().size(), 4);
    }

    void notesSansAgrandirLaFenetre()
    {
        Banc b;
        QCoreApplication::processEvents();
        const int hauteur = b.app->fenetre()->minimumSizeHint().height();
        for (int i = 1; i <= 40; ++i)
            b.session().ajouterNote(QStringLiteral("Note %1 : rappeler la directrice générale avant jeudi midi").arg(i));
        QCoreApplication::processEvents();
        QCOMPARE(b.app->fenetre()->minimumSizeHint().height(), hauteur);
        // All there, in the order they were written (the same second for all).
        QStringList attendu;
        for (int i = 1; i <= 40; ++i)
            attendu << QStringLiteral("00:00 · Note %1 : rappeler la directrice générale avant jeudi midi").arg(i);
        QCOMPARE(b.enOrdre(QStringLiteral("00:00 · Note ")), attendu);
    }
};

QTEST_MAIN(TstEcranEnAppel)
#include "tst_ecranenappel.moc"
