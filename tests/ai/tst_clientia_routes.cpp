// Route choice of the language model and of transcription, the relay address
// and the relay state check (local relay, fake clock).
#include "ai/routes.h"
#include "fakes/fauxmessages.h"

#include <QNetworkAccessManager>
#include <QTest>

using namespace vd;
using namespace vd::ai;

Q_DECLARE_METATYPE(vd::ai::SourceIA)

class TestClientIARoutes : public QObject {
    Q_OBJECT
    struct Banc {
        platform::HorlogeFactice horloge;
        platform::CoffreMemoire coffre;
        fakes::FauxMessages relais;
        QNetworkAccessManager reseau;
        VerificateurRelais verificateur{&reseau, horloge};
        bool connecte = false;
        QString adresse;
        ContexteRoutes routes()
        {
            return {[this] { return connecte; }, [this] { return adresse; }, &coffre, &verificateur};
        }
    };

    static SourceIA attendre(const std::function<void(QObject*, std::function<void(SourceIA)>)>& choisir)
    {
        QObject contexte;
        std::optional<SourceIA> s;
        choisir(&contexte, [&](SourceIA r) { s = r; });
        [&] { QTRY_VERIFY(s.has_value()); }();
        return s.value_or(SourceIA::demo);
    }

private Q_SLOTS:
    void adresseDuRelais_data()
    {
        QTest::addColumn<QString>("saisie");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("sans schema, /api/") << "  relais.exemple.fr/api/ " << "https://relais.exemple.fr";
        QTest::newRow("http garde") << "http://10.0.0.2:8080/" << "http://10.0.0.2:8080";
        QTest::newRow("HTTPS majuscules") << "HTTPS://Relais.Exemple.fr//" << "HTTPS://Relais.Exemple.fr";
        QTest::newRow("sous-chemin") << "https://h.fr/equipe/api" << "https://h.fr/equipe";
        QTest::newRow("api au milieu garde") << "https://h.fr/api/v2" << "https://h.fr/api/v2";
        QTest::newRow("vide") << "   " << "";
        QTest::newRow("sans hote") << "https:///api" << "";
    }
    void adresseDuRelais()
    {
        QFETCH(QString, saisie);
        QFETCH(QString, attendu);
        const std::optional<QUrl> u = normaliserRelais(saisie);
        if (attendu.isEmpty()) {
            QVERIFY(!u);
            return;
        }
        QVERIFY(u);
        QCOMPARE(u->toString(), QUrl(attendu).toString());
        QCOMPARE(urlRelais(*u, QStringLiteral("api/etat")).toString(), QUrl(attendu).toString() + "/api/etat");
    }

    void etatDuRelaisEnCacheEtPartage()
    {
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.relais.etatRelais = {{"claude", true}, {"deepgram", true}};
        const QUrl u = b.relais.url();
        QObject ctx;
        QList<EtatRelais> recus;
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        QTRY_COMPARE(recus.size(), 2);
        QCOMPARE(b.verificateur.requetesEnvoyees(), 1);   // one request for both
        QCOMPARE(b.relais.nombre("/api/etat"), 1);
        QCOMPARE(recus[0], (EtatRelais{true, true}));
        b.relais.etatRelais = {{"claude", false}};
        b.horloge.avancer(29999);
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        QTRY_COMPARE(recus.size(), 3);
        QCOMPARE(recus[2], (EtatRelais{true, true}));     // still cached
        QCOMPARE(b.verificateur.requetesEnvoyees(), 1);
        b.horloge.avancer(1);
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        QTRY_COMPARE(recus.size(), 4);
        QCOMPARE(b.verificateur.requetesEnvoyees(), 2);
        QCOMPARE(recus[3], (EtatRelais{false, false}));   // missing means false
    }

    void etatDuRelaisEnEchec_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QByteArray>("corps");
        QTest::newRow("500") << 500 << QByteArray("{\"claude\":true}");
        QTest::newRow("pas un objet") << 200 << QByteArray("[true]");
        QTest::newRow("illisible") << 200 << QByteArray("<html>");
        QTest::newRow("pas un booleen") << 200 << QByteArray("{\"claude\":\"oui\"}");
    }
    void etatDuRelaisEnEchec()
    {
        QFETCH(int, statut);
        QFETCH(QByteArray, corps);
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.relais.statutEtat = statut;
        b.relais.corpsEtatBrut = corps;
        QObject ctx;
        std::optional<EtatRelais> e;
        b.verificateur.verifier(b.relais.url(), &ctx, [&](EtatRelais r) { e = r; });
        QTRY_VERIFY(e);
        QCOMPARE(*e, (EtatRelais{false, false}));
    }

    void etatDuRelaisMuetApresTroisSecondes()
    {
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.relais.etatMuet = true;
        QObject ctx;
        std::optional<EtatRelais> e;
        b.verificateur.verifier(b.relais.url(), &ctx, [&](EtatRelais r) { e = r; });
        QTRY_COMPARE(b.relais.nombre("/api/etat"), 1);
        b.horloge.avancer(2999);
        QVERIFY(!e);
        b.horloge.avancer(1);
        QTRY_VERIFY(e);
        QCOMPARE(*e, (EtatRelais{false, false}));
    }

    void sourceDuModele_data()
    {
        QTest::addColumn<bool>("connecte");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<bool>("relais");
        QTest::addColumn<bool>("claudeSurRelais");
        QTest::addColumn<SourceIA>("attendu");
        QTest::newRow("compte d'abord") << true << "sk-1" << true << true << SourceIA::cloud;
        QTest::newRow("cle ensuite") << false << "sk-1" << true << true << SourceIA::cle;
        QTest::newRow("cle blanche ignoree") << false << "  " << true << true << SourceIA::relais;
        QTest::newRow("relais sans claude") << false << "" << true << false << SourceIA::demo;
        QTest::newRow("rien") << false << "" << false << false << SourceIA::demo;
    }
    void sourceDuModele()
    {
        QFETCH(bool, connecte);
        QFETCH(QString, cle);
        QFETCH(bool, relais);
        QFETCH(bool, claudeSurRelais);
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.connecte = connecte;
        if (!cle.isEmpty())
            QVERIFY(b.coffre.ecrire(cleAnthropic, cle).isEmpty());
        b.adresse = relais ? b.relais.url().toString() + "/api/" : QString();
        b.relais.etatRelais = {{"claude", claudeSurRelais}, {"deepgram", true}};
        const ContexteRoutes r = b.routes();
        QTEST(attendre([&](QObject* c, auto f) { choisirSourceIA(r, c, f); }), "attendu");
    }

    void sourceDeTranscription_data()
    {
        QTest::addColumn<bool>("connecte");
        QTest::addColumn<QString>("moteur");
        QTest::addColumn<QString>("cle");       // name of the key stored, if any
        QTest::addColumn<bool>("deepgramSurRelais");
        QTest::addColumn<SourceIA>("attendu");
        QTest::newRow("compte") << true << "soniox" << "" << true << SourceIA::cloud;
        QTest::newRow("soniox cle") << false << "soniox" << "soniox" << false << SourceIA::cle;
        QTest::newRow("soniox pas de relais") << false << "soniox" << "deepgram" << true << SourceIA::demo;
        QTest::newRow("deepgram cle") << false << "deepgram" << "deepgram" << false << SourceIA::cle;
        QTest::newRow("deepgram relais") << false << "deepgram" << "soniox" << true << SourceIA::relais;
        QTest::newRow("deepgram rien") << false << "deepgram" << "" << false << SourceIA::demo;
    }
    void sourceDeTranscription()
    {
        QFETCH(bool, connecte);
        QFETCH(QString, moteur);
        QFETCH(QString, cle);
        QFETCH(bool, deepgramSurRelais);
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.connecte = connecte;
        if (!cle.isEmpty())
            QVERIFY(b.coffre.ecrire(cle, QStringLiteral("k")).isEmpty());
        b.adresse = b.relais.url().toString();
        b.relais.etatRelais = {{"claude", true}, {"deepgram", deepgramSurRelais}};
        const ContexteRoutes r = b.routes();
        const MoteurTranscription m =
            moteur == QLatin1String("soniox") ? MoteurTranscription::soniox : MoteurTranscription::deepgram;
        QTEST(attendre([&](QObject* c, auto f) { choisirSourceTranscription(r, m, c, f); }), "attendu");
    }
};

QTEST_GUILESS_MAIN(TestClientIARoutes)
#include "tst_clientia_routes.moc"
