// Deepgram engine against the fake service, on the fake clock.
#include "call/moteurtranscription.h"
#include "fakes/fauxdeepgram.h"
#include "platform/horloge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace vd::call;
using vd::ai::SourceIA;
using vd::fakes::FauxDeepgram;
using vd::platform::HorlogeFactice;

class TestDeepgram : public QObject {
    Q_OBJECT

    HorlogeFactice* horloge = nullptr;
    FauxDeepgram* serveur = nullptr;
    std::unique_ptr<Deepgram> moteur;
    QList<SegmentLive> segments;
    QStringList etats;
    QString echec;
    bool ouvert = false;
    bool termine = false;

    void creer(SourceIA mode, const QString& autorisation, int canaux = 2, const QString& langue = QStringLiteral("fr"))
    {
        ContexteTranscription c;
        c.filDedie = false;
        c.fournisseurCle = std::make_shared<AccesFixe>(AccesTranscription{autorisation, urlDeepgram(langue, canaux, serveur->url()), mode, {}});
        moteur = std::make_unique<Deepgram>(c);
        connect(moteur.get(), &MoteurTranscriptionBase::segment, this, [this](const SegmentLive& s, quint64 g) {
            QCOMPARE(g, quint64(3));
            segments.append(s);
        });
        connect(moteur.get(), &MoteurTranscriptionBase::etat, this, [this](const QString& e, quint64) { etats.append(e); });
        connect(moteur.get(), &MoteurTranscriptionBase::ouvert, this, [this](quint64) { ouvert = true; });
        connect(moteur.get(), &MoteurTranscriptionBase::echecDemarrage, this, [this](const QString& m, quint64) { echec = m; });
        connect(moteur.get(), &MoteurTranscriptionBase::termine, this, [this](quint64) { termine = true; });
        ParametresTranscription p;
        p.moteur = QStringLiteral("deepgram");
        p.canaux = canaux;
        p.langue = langue;
        p.generation = 3;
        moteur->demarrer(p);
    }

private Q_SLOTS:
    void init()
    {
        horloge = new HorlogeFactice;
        vd::platform::Horloge::installer(horloge);
        serveur = new FauxDeepgram;
        QVERIFY(serveur->demarrer());
        serveur->autorisationAttendue = QStringLiteral("Token cle-deepgram");
        segments.clear();
        etats.clear();
        echec.clear();
        ouvert = termine = false;
    }
    void cleanup()
    {
        moteur.reset();
        QVERIFY2(serveur->anomalies.isEmpty(), qPrintable(serveur->anomalies.join('\n')));
        delete serveur;
        vd::platform::Horloge::installer(nullptr);
        delete horloge;
    }

    void requeteEtOuvertureImmediate()
    {
        creer(SourceIA::cle, QStringLiteral("Token cle-deepgram"), 2, QStringLiteral("de"));
        // Open as soon as the socket is: no confirmation delay on the clock.
        QTRY_VERIFY(ouvert);
        const auto& c = serveur->connexion(0);
        QCOMPARE(c.entetes.value("authorization"), QByteArray("Token cle-deepgram"));
        QVERIFY(c.requete.contains(std::pair{QStringLiteral("language"), QStringLiteral("fr")}));   // German falls back to French
        QVERIFY(c.textes.isEmpty());   // no configuration frame
        moteur->envoyer(QByteArray(6400, '\x02'));
        QTRY_COMPARE(serveur->connexion(0).taillesAudio, QList<int>{6400});
    }

    void cleRefusee_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("clé") << int(SourceIA::cle) << "La transcription refuse votre clé. Vérifiez-la dans Réglages.";
        QTest::newRow("relais") << int(SourceIA::relais) << "La transcription ne démarre pas. Réessayez dans un instant.";
        QTest::newRow("compte") << int(SourceIA::cloud) << "La transcription ne démarre pas. Réessayez dans un instant.";
    }
    void cleRefusee()
    {
        QFETCH(int, mode);
        QFETCH(QString, message);
        creer(SourceIA(mode), QStringLiteral("Token mauvaise"));
        QTRY_COMPARE(echec, message);
        QCOMPARE(serveur->tentatives(), 1);
        QCOMPARE(serveur->nombreConnexions(), 0);
    }

    void erreurServeurALaPoignee()
    {
        serveur->refuserProchaines(1, 500);
        creer(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_COMPARE(echec, QStringLiteral("La transcription ne démarre pas. Réessayez dans un instant."));
    }

    void keepAliveToutesLesHuitSecondes()
    {
        creer(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_VERIFY(ouvert);
        horloge->avancer(7999);
        moteur->envoyer(QByteArray(640, '\x01'));
        QTRY_COMPARE(serveur->connexion(0).audio.size(), 640);
        QCOMPARE(serveur->connexion(0).keepAlives, 0);
        horloge->avancer(1);   // sent even though audio just flowed
        QTRY_COMPARE(serveur->connexion(0).keepAlives, 1);
        horloge->avancer(8000);
        QTRY_COMPARE(serveur->connexion(0).keepAlives, 2);
    }

    void terminerEnvoieCloseStream()
    {
        creer(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_VERIFY(ouvert);
        serveur->reponsesFin = {FauxDeepgram::resultat(1, "Merci au revoir", 3.0, 1.0, true, FauxDeepgram::mots("Merci au revoir", 3.0, 0))};
        moteur->terminer();
        QTRY_VERIFY(termine);
        QCOMPARE(serveur->connexion(0).textes, QStringList{"{\"type\":\"CloseStream\"}"});
        QCOMPARE(segments, (QList<SegmentLive>{{"prospect", "Merci au revoir", true, 3000, 4000, 1}}));
        QCOMPARE(etats, QStringList{"ferme"});
    }

    void reconnexionDecalageStereo()
    {
        creer(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_VERIFY(ouvert);
        moteur->envoyer(QByteArray(64000, '\x01'));   // 1 s of stereo
        QTRY_COMPARE(serveur->connexion(0).audio.size(), 64000);
        serveur->lacher(0);
        QTRY_COMPARE(etats, QStringList{"reconnexion"});
        for (int i = 0; i < 70; ++i)
            moteur->envoyer(QByteArray(6400, char(i)));   // 7 s held, 5 s kept
        QTest::qWait(20);
        horloge->avancer(600);
        QTRY_COMPARE(serveur->nombreConnexions(), 2);
        QTRY_COMPARE(serveur->connexion(1).audio.size(), 320000);
        QCOMPARE(serveur->connexion(1).audio.at(0), char(20));
        QTRY_COMPARE(etats, (QStringList{"reconnexion", "ouvert"}));
        serveur->envoyerJson(1, QJsonDocument(FauxDeepgram::resultat(0, "Reprise", 0.0, 0.5, true)).toJson());
        QTRY_COMPARE(segments.size(), 1);
        QCOMPARE(segments[0].debutMs, 3000);
    }

};

QTEST_GUILESS_MAIN(TestDeepgram)
#include "tst_transcription_deepgram.moc"
