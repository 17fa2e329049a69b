// The call session on a fake clock, capture and transcription: start and its
// failures, the clock with pauses, saves, cut and restart, end of a source,
// the stop sequence.
#include "platform/formulation.h"
#include "fauxappel.h"

#include <QtTest>

using namespace vd;
using call::EtatSession;
using test::BancSession;

class TstSessionAppel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void demarrageCreeLAppelEtOuvre()
    {
        BancSession b;
        QSignalSpy etats(b.session.get(), &call::SessionAppel::etatChange);
        QVERIFY(!b.session->demarrer(BancSession::config()));
        QCOMPARE(b.session->etat(), EtatSession::connexion);
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Connexion à la transcription…"));
        const model::Appel* a = b.appel();
        QVERIFY(a);
        QCOMPARE((QStringList{a->statut, a->contactId.value_or("-"), a->type, a->objectif, a->source, a->moteurTranscription.value_or("-"), a->debut}),
                 (QStringList{"en_cours", "c1", "demo", "Montrer le produit", "micro+mac", "soniox", "2026-03-02T09:00:00.000Z"}));
        QCOMPARE(b.capture->canauxDemandes, 2);
        QCOMPARE(b.transcription().parametres.canaux, 2);
        QCOMPARE(b.transcription().parametres.generation, b.session->generation());
        QCOMPARE(b.transcription().parametres.appelId, a->id);   // sent with backend token requests

        // Audio reaches the transcription only once it is open.
        b.capture->rappel(QByteArray(6400, 0));
        QCOMPARE(b.transcription().blocs.load(), 0);
        b.transcription().ouvrir();
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Transcription en direct"));
        b.capture->rappel(QByteArray(6400, 0));
        QCOMPARE(b.transcription().blocs.load(), 1);
        QCOMPARE(etats.count(), 2);

        QCOMPARE(b.session->demarrer(BancSession::config()),
                 std::optional<QString>(QStringLiteral("Un appel est déjà en cours. Terminez-le avant d'en lancer un autre.")));
    }

    void demarrageEchoue_data()
    {
        QTest::addColumn<bool>("parCapture");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("micro refusé") << true << ""
                                      << "L'accès au micro est refusé. Autorisez Vendalo dans Réglages Système, Confidentialité et "
                                         "sécurité, Micro, puis relancez l'appel.";
        QTest::newRow("transcription avec message") << false << "La transcription ne répond pas. Vérifiez votre connexion internet."
                                                    << "La transcription ne répond pas. Vérifiez votre connexion internet.";
        QTest::newRow("transcription sans message") << false << "  " << "L'appel n'a pas pu démarrer. Réessayez.";
    }
    void demarrageEchoue()
    {
        QFETCH(bool, parCapture);
        QFETCH(QString, message);
        QFETCH(QString, attendu);
        BancSession b;
        b.store.modifier([](model::Etat& e) {
            model::Appel autre;
            autre.id = QStringLiteral("ancien");
            e.appels.append(autre);
        });
        if (parCapture)
            b.capture->echec = call::ErreurCaptureAudio{call::ErreurCaptureAudio::Genre::microRefuse};
        QVERIFY(!b.session->demarrer(BancSession::config()));
        if (!parCapture) {
            QCOMPARE(b.store.etat().appels.size(), 2);
            b.transcription().echouer(message);
            QCOMPARE(b.transcription().coupures, 1);
        }
        QCOMPARE(b.session->etat(), EtatSession::inactif);
        QCOMPARE(b.session->erreurTexte(), vd::platform::formuler(attendu));
        QVERIFY(!b.session->appelId());
        // No empty call is left "en_cours" behind; other calls are untouched.
        QCOMPARE(b.store.etat().appels.size(), 1);
        QCOMPARE(b.store.etat().appels[0].id, QStringLiteral("ancien"));
        QCOMPARE(b.capture->arrets, parCapture ? 1 : 1);
        QCOMPARE(b.horloge.minuteriesActives(), 0);
        // And a new start is possible.
        b.capture->echec.reset();
        QVERIFY(!b.session->demarrer(BancSession::config()));
        QCOMPARE(b.session->etat(), EtatSession::connexion);
    }

    void pauseNAvancePasLHorloge()
    {
        BancSession b;
        b.demarrerOuvert();
        b.horloge.avancer(10000);
        QCOMPARE(b.session->offsetMs(), 10000);
        b.session->pause();
        QCOMPARE(b.session->etat(), EtatSession::pause);
        b.capture->rappel(QByteArray(3200, 0));
        QCOMPARE(b.transcription().blocs.load(), 0);   // nothing sent while paused
        QCOMPARE(b.appel()->duree, 10.0);              // the pause saved the call
        QCOMPARE(b.transcription().coupures + b.transcription().terminaisons, 0);   // the streams stay open
        b.horloge.avancer(30000);
        QCOMPARE(b.session->offsetMs(), 10000);
        b.session->pause();   // already paused: nothing
        b.session->reprendre();
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        b.capture->rappel(QByteArray(3200, 0));
        QCOMPARE(b.transcription().blocs.load(), 1);
        b.horloge.avancer(5000);
        QCOMPARE(b.session->offsetMs(), 15000);
        b.session->marquerMoment(QStringLiteral("  prix  "));
        QCOMPARE(b.session->momentsMarques().size(), 1);
        const auto& m = b.session->momentsMarques()[0];
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(m.id).arg(m.tMs).arg(m.note.value_or("-")), QStringLiteral("mm_15000 15000 prix"));
        b.session->reprendre();   // not paused: nothing
        QCOMPARE(b.session->offsetMs(), 15000);
    }

    void segmentsEtFiltreEcho()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça"), 1000, 1900, false);
        QCOMPARE(b.session->interims().value(QStringLiteral("prospect")).texte, QStringLiteral("On verra ça"));
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000, false);
        QVERIFY(!b.session->interims().contains(QStringLiteral("vous")));   // an echo partial is not shown
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça."), 1000, 1900);
        QVERIFY(b.session->interims().isEmpty());
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000);
        QCOMPARE(b.session->finals().size(), 1);
        QCOMPARE(b.session->finals()[0].id, QStringLiteral("sg1"));
        QCOMPARE(b.session->finals()[0].locuteur, QStringLiteral("prospect"));
        QCOMPARE(b.session->echosRetires(), 1);
        t.dire(QStringLiteral("vous"), QStringLiteral("Et pour le budget, vous avez prévu combien ?"), 4000, 6500);
        QCOMPARE(b.session->finals().size(), 2);
        QCOMPARE(b.session->finals()[1].id, QStringLiteral("sg2"));
        // Old generations are ignored.
        emit t.segment(call::SegmentLive{QStringLiteral("prospect"), QStringLiteral("tard"), true, 7000, 7500, std::nullopt},
                       b.session->generation() - 1);
        QCOMPARE(b.session->finals().size(), 2);
        b.horloge.avancer(2000);
        QCOMPARE(b.appel()->echosRetires, std::optional<qint64>(1));
        QCOMPARE(b.appel()->transcript.size(), 2);
    }

    void reexamenCompteParTexte()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        // The salesperson's copy arrives before the prospect's original.
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000);
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 5100, 6000, false);
        QCOMPARE(b.session->finals().size(), 1);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça."), 1000, 1900);
        QCOMPARE(b.session->finals().size(), 1);
        QCOMPARE(b.session->finals()[0].locuteur, QStringLiteral("prospect"));
        QCOMPARE(b.session->echosRetires(), 1);
        // The same words dropped again later count once.
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 8100, 9000);
        QCOMPARE(b.session->finals().size(), 2);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça"), 8000, 8900);
        QCOMPARE(b.session->finals().size(), 2);
        QCOMPARE(b.session->finals()[1].locuteur, QStringLiteral("prospect"));
        QCOMPARE(b.session->echosRetires(), 1);
        QCOMPARE(b.session->finals()[1].id, QStringLiteral("sg4"));
    }

    void sauvegardes()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        t.dire(QStringLiteral("prospect"), QStringLiteral("Bonjour, je vous écoute."), 0, 1500);
        b.horloge.avancer(1500);
        t.dire(QStringLiteral("vous"), QStringLiteral("Merci de prendre le temps."), 1600, 3000);
        b.horloge.avancer(1999);   // the second change pushed the save back
        QCOMPARE(b.appel()->transcript.size(), 0);
        b.horloge.avancer(1);
        QCOMPARE(b.appel()->transcript.size(), 2);
        QCOMPARE(b.appel()->duree, 3.5);
        // Every 20 s the call is saved even without a change.
        b.horloge.avancer(20000 - 3500);
        QCOMPARE(b.appel()->duree, 20.0);
        b.session->ajouterNote(QStringLiteral("  Rappeler jeudi  "));
        b.session->ajouterNote(QStringLiteral("   "));
        b.horloge.avancer(2000);
        QCOMPARE(b.appel()->notes.size(), 1);
        QCOMPARE(b.appel()->notes[0].texte, QStringLiteral("Rappeler jeudi"));
        QCOMPARE(b.appel()->notes[0].tMs, 20000);
    }

    void sauvegardeRemetLAppel()
    {
        BancSession b;
        b.demarrerOuvert();
        const QString id = *b.session->appelId();
        b.transcription().dire(QStringLiteral("prospect"), QStringLiteral("Nous avons trois commerciaux."), 0, 2000);
        // An import replaces the whole state during the call.
        model::Etat autre;
        model::Contact c;
        c.id = QStringLiteral("importe");
        autre.contacts.append(c);
        b.store.remplacerEtat(autre);
        QVERIFY(!b.store.etat().appel(id));
        b.horloge.avancer(2000);
        const model::Appel* a = b.store.etat().appel(id);
        QVERIFY(a);
        QCOMPARE(a->statut, QStringLiteral("en_cours"));
        QCOMPARE(a->contactId, std::optional<QString>(QStringLiteral("c1")));
        QCOMPARE(a->transcript.size(), 1);
        QCOMPARE(b.store.etat().contacts.size(), 1);
    }

    void coupureDeLaTranscription()
    {
        BancSession b;
        b.demarrerOuvert();
        b.horloge.avancer(5000);
        auto& t = b.transcription();
        t.statut(QStringLiteral("reconnexion"));
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Reconnexion de la transcription…"));
        t.statut(QStringLiteral("n'importe quoi"));
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("reconnexion"));
        t.statut(QStringLiteral("ouvert"));
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        t.nom = QStringLiteral("Deepgram");
        QSignalSpy coupures(b.session.get(), &call::SessionAppel::coupureChange);
        t.statut(QStringLiteral("coupee"));
        QCOMPARE(t.coupures, 1);
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("coupee"));
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Transcription coupée"));
        QCOMPARE(b.session->erreurTexte(),
                 QStringLiteral("La transcription est coupée. L'appel continue : vérifiez votre connexion, puis relancez la transcription."));
        QCOMPARE(b.journal.size(), size_t(1));
        QCOMPARE(b.journal[0].nom, QStringLiteral("transcription_coupee"));
        QCOMPARE(b.journal[0].message, QStringLiteral("WebSocket Deepgram fermé après 3 essais"));
        QCOMPARE(b.journal[0].proprietes, (QJsonObject{{"appel_id", *b.session->appelId()}, {"canaux", 2}, {"moteur", "soniox"}}));
        QCOMPARE(coupures.count(), 1);
        QCOMPARE(b.session->coupure()->type, QStringLiteral("transcription"));
        // The call goes on: clock, notes.
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        b.horloge.avancer(1000);
        QCOMPARE(b.session->offsetMs(), 6000);
    }

    void relanceContinueSurLHorlogeDeLAppel()
    {
        BancSession b;
        b.demarrerOuvert();
        b.horloge.avancer(60000);
        b.transcription().statut(QStringLiteral("coupee"));
        b.session->relancerTranscription();
        QCOMPARE(b.transcriptions.size(), size_t(2));
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("connexion"));
        QVERIFY(!b.session->erreur());
        auto& t = b.transcription();
        b.horloge.avancer(800);   // opening takes time; no audio reaches the client meanwhile
        t.ouvrir();
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        b.capture->rappel(QByteArray(3200, 0));
        QCOMPARE(t.blocs.load(), 1);
        // Its times count from the first block it got, at 60.8 s.
        t.dire(QStringLiteral("prospect"), QStringLiteral("Vous m'entendez ?"), 500, 1500);
        QCOMPARE(b.session->finals().last().debutMs, 61300);
        QCOMPARE(b.session->finals().last().finMs, 62300);
    }

    void relanceEchouee()
    {
        BancSession b;
        b.demarrerOuvert();
        b.transcription().statut(QStringLiteral("coupee"));
        b.session->relancerTranscription();
        b.transcription().echouer(QStringLiteral("Connexion impossible. Vérifiez votre accès à internet."));
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("coupee"));
        QCOMPARE(b.session->erreurTexte(), QStringLiteral("La transcription n'a pas pu redémarrer."));
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        b.capture->rappel(QByteArray(3200, 0));
        QCOMPARE(b.transcription().blocs.load(), 0);
    }

    void finDUneSource_data()
    {
        QTest::addColumn<int>("canaux");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("son du Mac") << 2 << "mac"
                                    << "Le son du Mac n'est plus capté : la voix du prospect manque. Terminez l'appel ou relancez-le.";
        QTest::newRow("micro") << 2 << "micro" << "Le micro est coupé : votre voix n'est plus captée. Vérifiez votre micro.";
        QTest::newRow("son du Mac sans canal prospect") << 1 << "mac" << "";
        QTest::newRow("micro en un canal") << 1 << "micro"
                                           << "Le micro est coupé : votre voix n'est plus captée. Vérifiez votre micro.";
    }
    void finDUneSource()
    {
        QFETCH(int, canaux);
        QFETCH(QString, source);
        QFETCH(QString, attendu);
        BancSession b;
        b.capture->canauxDonnes = canaux;
        b.demarrerOuvert();
        QCOMPARE(b.session->canaux(), canaux);
        b.capture->surFin(source);   // from the capture thread: queued to the main thread
        QVERIFY(!b.session->erreur());
        QCoreApplication::processEvents();
        QCOMPARE(b.session->erreurTexte(), vd::platform::formuler(attendu));
        QCOMPARE(b.session->etat(), EtatSession::enCours);
    }

    void finDeSourceDUnAncienAppel()
    {
        BancSession b;
        b.demarrerOuvert();
        const auto ancienne = b.capture->surFin;
        b.session->arreter();
        b.transcription().finir();
        QVERIFY(!b.session->demarrer(BancSession::config()));
        ancienne(QStringLiteral("micro"));
        QCoreApplication::processEvents();
        QVERIFY(!b.session->erreur());
    }

    void sequenceDArret()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        b.horloge.avancer(8000);
        t.dire(QStringLiteral("prospect"), QStringLiteral("Je dois en parler à mon associé"), 6000, 7900, false);
        t.dire(QStringLiteral("vous"), QStringLiteral("Très bien, quand pouvez-vous"), 7000, 8000, false);
        int coupuresAvant = -1;
        t.surTerminer = [&](test::FausseTranscription& f) {
            coupuresAvant = f.coupures;
            f.dire(QStringLiteral("prospect"), QStringLiteral("Je dois en parler à mon associé avant."), 6000, 8200);
            f.statut(QStringLiteral("coupee"));   // status during the stop: ignored
            f.finir();
        };
        b.session->pause();
        b.horloge.avancer(3000);
        QSignalSpy synthese(b.session.get(), &call::SessionAppel::syntheseFinChange);
        b.session->arreter();
        QCOMPARE(t.terminaisons, 1);
        QCOMPARE(coupuresAvant, 0);   // asked to finish before being closed
        QCOMPARE(t.coupures, 1);
        QCOMPARE(b.capture->arrets, 1);
        QCOMPARE(b.session->etat(), EtatSession::termine);
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        QVERIFY(!b.session->erreur());
        QCOMPARE(b.session->offsetMs(), 8000);
        QCOMPARE(b.horloge.minuteriesActives(), 0);
        // The service's last words, then the remaining partial as a final.
        QCOMPARE(b.session->finals().size(), 2);
        QCOMPARE(b.session->finals()[0].texte, QStringLiteral("Je dois en parler à mon associé avant."));
        QCOMPARE(b.session->finals()[1].texte, QStringLiteral("Très bien, quand pouvez-vous"));
        QVERIFY(b.session->interims().isEmpty());
        const model::Appel* a = b.appel();
        QCOMPARE(a->statut, QStringLiteral("analyse"));
        QCOMPARE(a->duree, 8.0);
        QCOMPARE(a->transcript.size(), 2);
        QCOMPARE(b.analyses, QStringList{*b.session->appelId()});
        // Without a recap route a live call says so; the analysis still comes.
        QVERIFY(b.session->syntheseFin());
        QCOMPARE(b.session->syntheseFin()->appelId, *b.session->appelId());
        QVERIFY(!b.session->syntheseFin()->enCours);
        QCOMPARE(b.session->syntheseFin()->erreur,
                 std::optional<QString>(QStringLiteral("Le récap n'a pas pu être préparé. L'analyse complète arrive.")));
        QCOMPARE(synthese.count(), 2);
        // After the end, nothing moves.
        b.horloge.avancer(60000);
        QCOMPARE(b.session->offsetMs(), 8000);
        b.session->arreter();
        QCOMPARE(b.analyses.size(), 1);
    }

    void arretSansReponseDuServiceEnDeuxSecondes()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        b.horloge.avancer(4000);
        b.session->arreter();
        QCOMPARE(t.terminaisons, 1);
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        t.statut(QStringLiteral("coupee"));
        QVERIFY(!b.session->erreur());
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        t.dire(QStringLiteral("vous"), QStringLiteral("Dernier mot."), 3000, 3900);
        b.horloge.avancer(1999);
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        b.horloge.avancer(1);
        QCOMPARE(b.session->etat(), EtatSession::termine);
        QCOMPARE(b.appel()->transcript.size(), 1);
        QCOMPARE(b.appel()->duree, 4.0);
    }

    void partielEchoALArret()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        // The salesperson's partial comes first; the prospect's words are still partial at the stop.
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000, false);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça."), 1000, 1900, false);
        QCOMPARE(b.session->interims().size(), 2);
        t.surTerminer = [](test::FausseTranscription& f) { f.finir(); };
        b.session->arreter();
        QCOMPARE(b.session->finals().size(), 1);
        QCOMPARE(b.session->finals()[0].locuteur, QStringLiteral("prospect"));
        QCOMPARE(b.appel()->echosRetires, std::optional<qint64>(1));
    }

    void recapFourni()
    {
        BancSession b;
        std::function<void(std::optional<call::ResultatRecap>)> reponse;
        QString vu;
        b.session->setFournisseurRecap([&](const model::Appel& a, auto r) {
            vu = a.id;
            reponse = r;
        });
        b.demarrerOuvert();
        b.transcription().surTerminer = [](test::FausseTranscription& f) { f.finir(); };
        b.session->arreter();
        QCOMPARE(vu, *b.session->appelId());
        QVERIFY(b.session->syntheseFin()->enCours);
        call::ResultatRecap r;
        r.points = QStringList{QStringLiteral("Budget validé")};
        reponse(r);
        QVERIFY(!b.session->syntheseFin()->enCours);
        QCOMPARE(b.session->syntheseFin()->recap, std::optional<call::ResultatRecap>(r));
        QVERIFY(!b.session->syntheseFin()->erreur);
    }

    void arretPendantLaConnexion()
    {
        BancSession b;
        QVERIFY(!b.session->demarrer(BancSession::config()));
        auto& t = b.transcription();
        b.session->arreter();   // never opened: no finishing to wait for
        QCOMPARE(t.terminaisons, 0);
        QCOMPARE(b.session->etat(), EtatSession::termine);
        QCOMPARE(b.appel()->duree, 0.0);
    }

    void coaching()
    {
        BancSession b;
        b.demarrerOuvert();
        auto& t = b.transcription();
        for (qint64 d = 0; d < 90000; d += 10000) {
            b.horloge.avancer(10000);
            t.dire(QStringLiteral("vous"), QStringLiteral("je vous présente notre offre en détail"), d, d + 10000);
        }
        b.horloge.avancer(1000);
        QCOMPARE(b.session->coaching().size(), 1);
        QCOMPARE(b.session->coaching()[0].texte, QStringLiteral("Vous parlez depuis 1 min 30"));
        // No tick while paused.
        b.session->pause();
        b.horloge.avancer(10000);
        QCOMPARE(b.session->coaching().size(), 1);
        b.session->reprendre();
        b.horloge.avancer(2000);
        QCOMPARE(b.session->coaching().size(), 1);   // the pause did not count as silence
        b.horloge.avancer(1000);
        QVERIFY(b.session->coaching().isEmpty());   // silent for more than 3 s
    }

    void derniereQuestion()
    {
        BancSession b;
        QVERIFY(b.scriptLivre());
        b.demarrerOuvert();
        auto& t = b.transcription();
        t.dire(QStringLiteral("vous"), QStringLiteral("Et aujourd'hui, vous gérez ça comment"), 5000, 7000);
        QCOMPARE(b.session->derniereQuestionMs(), 5000);
        t.dire(QStringLiteral("vous"), QStringLiteral("Très bien, je note."), 9000, 10000);
        QCOMPARE(b.session->derniereQuestionMs(), 5000);
        // A question heard only as the prospect's echo is not the salesperson's.
        t.dire(QStringLiteral("vous"), QStringLiteral("Vous avez combien d'agences ?"), 20000, 22000);
        QCOMPARE(b.session->derniereQuestionMs(), 20000);
        t.dire(QStringLiteral("prospect"), QStringLiteral("Vous avez combien d'agences ?"), 19900, 21900);
        QCOMPARE(b.session->derniereQuestionMs(), 5000);
        // Three minutes later, the coaching says so.
        b.horloge.avancer(185000);
        QCOMPARE(b.session->coaching().last(),
                 (call::CoachingAlerte{call::CoachingAlerte::Genre::sansQuestion, QStringLiteral("Aucune question depuis 3 min"), 5000}));
    }

    void niveaux()
    {
        BancSession b;
        b.capture->canauxDonnes = 1;
        b.demarrerOuvert();
        b.capture->niveaux = {0.4567f, 0.9f};
        b.horloge.avancer(100);
        // One channel: the prospect's level follows the transcript, not the capture.
        QCOMPARE(b.session->niveaux().first, 0.457f);
        QCOMPARE(b.session->niveaux().second, 0.f);
        b.transcription().dire(QStringLiteral("prospect"), QStringLiteral("Bonjour"), 0, 500, false);
        b.horloge.avancer(100);
        QCOMPARE(b.session->niveaux().second, 0.55f);
        b.capture->niveaux = {0.f, 0.f};
        b.horloge.avancer(10000);
        QCOMPARE(b.session->secondesSansVoix(), 10.0);
    }
};

QTEST_GUILESS_MAIN(TstSessionAppel)
#include "tst_sessionappel.moc"
