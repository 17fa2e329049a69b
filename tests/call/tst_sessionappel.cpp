// The call session on a fake clock, capture and transcription: start and its
// failures, the clock with pauses, saves, cut and restart, end of a source,
// the stop sequence. Then demonstration calls: a scenario played through the
// same session path without audio or network, the script lengthened for long
// calls, the prompter tied to a simulated call.
#include "ai/analyses.h"
#include "ai/panneausouffleur.h"
#include "ai/souffleur.h"
#include "call/lecteurdemo.h"
#include "call/liaisonsouffleur.h"
#include "fakes/clientiascripte.h"
#include "platform/formulation.h"
#include "fauxappel.h"
#include "team/framework.h"

#include <QJsonArray>
#include <QtTest>

using namespace vd;
using call::EtatSession;
using call::ScenarioDemo;
using test::BancSession;

namespace {
// "id speaker: words" of every final of the call, in order.
QStringList finals(const BancSession& b)
{
    QStringList l;
    for (const auto& s : b.session->finals())
        l << QStringLiteral("%1 %2: %3").arg(s.id, s.locuteur, s.texte);
    return l;
}

// "state: transcription's wording", then " / error" when there is one.
QString etat(const BancSession& b)
{
    const auto& s = *b.session;
    const QString e = call::nomEtat(s.etat()) + ": " + s.etatTranscription();
    return s.erreur() ? e + " / " + *s.erreur() : e;
}

ScenarioDemo scenario()
{
    return {.id = QStringLiteral("decouverte"), .contactId = QStringLiteral("c_demo"), .type = QStringLiteral("decouverte"),
            .objectif = QStringLiteral("Qualifier le besoin"),
            .tours = {
                {QStringLiteral("vous"), QStringLiteral("Bonjour Claire, merci de prendre ce moment avec moi."), 0, 3000, std::nullopt},
                {QStringLiteral("prospect"), QStringLiteral("Avec plaisir, nous cherchons un outil pour nos commerciaux."), 3500, 7000, 1},
                {QStringLiteral("vous"), QStringLiteral("Combien de commerciaux sont concernés aujourd'hui ?"), 7500, 10000, std::nullopt},
                {QStringLiteral("prospect"), QStringLiteral("Une douzaine, mais le budget est serré cette année."), 10500, 14000, 1},
            }};
}

// Three turns over 10 s, for the lengthened script.
ScenarioDemo scenarioCourt()
{
    return {.id = QStringLiteral("decouverte"),
            .tours = {
                {QStringLiteral("vous"), QStringLiteral("Bonjour, merci de prendre ce moment."), 1000, 4000, std::nullopt},
                {QStringLiteral("prospect"), QStringLiteral("Avec plaisir, nous avons trois agences."), 4500, 9000, 2},
                {QStringLiteral("vous"), QStringLiteral("Combien de techniciens ?"), 9300, 11000, std::nullopt},
            }};
}

// A simulated call of the shipped demonstration, with the prompter beside it.
struct AppelSimule {
    platform::HorlogeFactice horloge;
    ai::Moteur& moteur = ai::Moteur::instance();
    model::Store store{QString(), horloge};
    fakes::ClientIAScripte client;
    std::optional<call::ScenarioDemo> scenario;
    AppelSimule()
    {
        store.remplacerEtat(*model::Etat::depuisJson(moteur.appelerJSON(QStringLiteral("etatDemo")).valeur()));
        scenario = call::ScenarioDemo::depuisJson(moteur.appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")}).valeur());
    }
};
// A live call started, its transcription open.
test::FausseTranscription& ouvert(BancSession& b)
{
    b.demarrerOuvert();
    return b.transcription();
}
} // namespace

class TstSessionAppel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void demarrageCreeLAppelEtOuvre()
    {
        BancSession b;
        QSignalSpy etats(b.session.get(), &call::SessionAppel::etatChange);
        QVERIFY(!b.session->demarrer(BancSession::config()));
        QCOMPARE(etat(b), QStringLiteral("connexion: Connexion à la transcription…"));
        const model::Appel* a = b.appel();
        QVERIFY(a);
        QCOMPARE((QStringList{a->statut, a->contactId.value_or("-"), a->type, a->objectif, a->source, a->moteurTranscription.value_or("-"), a->debut}),
                 (QStringList{"en_cours", "c1", "demo", "Montrer le produit", "micro+mac", "soniox", "2026-03-02T09:00:00.000Z"}));
        const auto& p = b.transcription().parametres;   // the call's id goes with backend token requests
        QCOMPARE((QList<QVariant>{b.capture->canauxDemandes, p.canaux, p.generation, p.appelId}),
                 (QList<QVariant>{2, 2, b.session->generation(), a->id}));

        // Audio reaches the transcription only once it is open.
        b.capture->rappel(QByteArray(6400, 0));
        QCOMPARE(b.transcription().blocs.load(), 0);
        b.transcription().ouvrir();
        QCOMPARE(etat(b), QStringLiteral("enCours: Transcription en direct"));
        b.capture->rappel(QByteArray(6400, 0));
        QCOMPARE((QList<int>{b.transcription().blocs.load(), int(etats.count())}), (QList<int>{1, 2}));

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
        b.store.modifier([](model::Etat& e) { e.appels.append(model::Appel{.id = QStringLiteral("ancien")}); });
        if (parCapture)
            b.capture->echec = call::ErreurCaptureAudio{call::ErreurCaptureAudio::Genre::microRefuse};
        QVERIFY(!b.session->demarrer(BancSession::config()));
        if (!parCapture) {
            QCOMPARE(b.store.etat().appels.size(), 2);
            b.transcription().echouer(message);
            QCOMPARE(b.transcription().coupures, 1);
        }
        QCOMPARE(etat(b), "inactif:  / " + vd::platform::formuler(attendu));
        QVERIFY(!b.session->appelId());
        // No empty call is left "en_cours" behind; other calls are untouched; capture stopped, no timer left.
        QCOMPARE((QList<QVariant>{b.store.etat().appels.size(), b.store.etat().appels[0].id, b.capture->arrets, b.horloge.minuteriesActives()}),
                 (QList<QVariant>{1, "ancien", 1, 0}));
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
        b.capture->rappel(QByteArray(3200, 0));
        // Nothing sent while paused, the pause saved the call, the streams stay open.
        QCOMPARE((QList<QVariant>{nomEtat(b.session->etat()), b.transcription().blocs.load(), b.appel()->duree,
                                  b.transcription().coupures + b.transcription().terminaisons}),
                 (QList<QVariant>{"pause", 0, 10.0, 0}));
        b.horloge.avancer(30000);
        QCOMPARE(b.session->offsetMs(), 10000);
        b.session->pause();   // already paused: nothing
        b.session->reprendre();
        b.capture->rappel(QByteArray(3200, 0));
        b.horloge.avancer(5000);
        QCOMPARE((QList<QVariant>{nomEtat(b.session->etat()), b.transcription().blocs.load(), b.session->offsetMs()}),
                 (QList<QVariant>{"enCours", 1, 15000}));
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
        auto& t = ouvert(b);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça"), 1000, 1900, false);
        QCOMPARE(b.session->interims().value(QStringLiteral("prospect")).texte, QStringLiteral("On verra ça"));
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000, false);
        QVERIFY(!b.session->interims().contains(QStringLiteral("vous")));   // an echo partial is not shown
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça."), 1000, 1900);
        QVERIFY(b.session->interims().isEmpty());
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000);
        QCOMPARE(finals(b), QStringList{"sg1 prospect: On verra ça."});
        QCOMPARE(b.session->echosRetires(), 1);
        t.dire(QStringLiteral("vous"), QStringLiteral("Et pour le budget, vous avez prévu combien ?"), 4000, 6500);
        // Old generations are ignored.
        emit t.segment(call::SegmentLive{QStringLiteral("prospect"), QStringLiteral("tard"), true, 7000, 7500, std::nullopt},
                       b.session->generation() - 1);
        QCOMPARE(finals(b), (QStringList{"sg1 prospect: On verra ça.", "sg2 vous: Et pour le budget, vous avez prévu combien ?"}));
        b.horloge.avancer(2000);
        QCOMPARE((QList<QVariant>{b.appel()->echosRetires.value_or(-1), b.appel()->transcript.size()}), (QList<QVariant>{1, 2}));
    }

    void reexamenCompteParTexte()
    {
        BancSession b;
        auto& t = ouvert(b);
        // The salesperson's copy arrives before the prospect's original.
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000);
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 5100, 6000, false);
        QCOMPARE(b.session->finals().size(), 1);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça."), 1000, 1900);
        QCOMPARE(finals(b), QStringList{"sg2 prospect: On verra ça."});
        QCOMPARE(b.session->echosRetires(), 1);
        // The same words dropped again later count once.
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 8100, 9000);
        QCOMPARE(b.session->finals().size(), 2);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça"), 8000, 8900);
        QCOMPARE(finals(b), (QStringList{"sg2 prospect: On verra ça.", "sg4 prospect: On verra ça"}));
        QCOMPARE(b.session->echosRetires(), 1);
    }

    void sauvegardes()
    {
        BancSession b;
        auto& t = ouvert(b);
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
        QCOMPARE(QStringLiteral("%1 %2").arg(b.appel()->notes[0].tMs).arg(b.appel()->notes[0].texte), QStringLiteral("20000 Rappeler jeudi"));
    }

    void sauvegardeRemetLAppel()
    {
        BancSession b;
        b.demarrerOuvert();
        const QString id = *b.session->appelId();
        b.transcription().dire(QStringLiteral("prospect"), QStringLiteral("Nous avons trois commerciaux."), 0, 2000);
        // An import replaces the whole state during the call.
        model::Etat autre;
        autre.contacts.append(model::Contact{.id = QStringLiteral("importe")});
        b.store.remplacerEtat(autre);
        QVERIFY(!b.store.etat().appel(id));
        b.horloge.avancer(2000);
        const model::Appel* a = b.store.etat().appel(id);
        QVERIFY(a);
        QCOMPARE((QList<QVariant>{a->statut, a->contactId.value_or("-"), a->transcript.size(), b.store.etat().contacts.size()}),
                 (QList<QVariant>{"en_cours", "c1", 1, 1}));
    }

    void coupureDeLaTranscription()
    {
        BancSession b;
        auto& t = ouvert(b);
        b.horloge.avancer(5000);
        t.statut(QStringLiteral("reconnexion"));
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Reconnexion de la transcription…"));
        t.statut(QStringLiteral("n'importe quoi"));
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("reconnexion"));
        t.statut(QStringLiteral("ouvert"));
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        t.nom = QStringLiteral("Deepgram");
        QSignalSpy coupures(b.session.get(), &call::SessionAppel::coupureChange);
        t.statut(QStringLiteral("coupee"));
        // The call goes on.
        QCOMPARE(etat(b), QStringLiteral("enCours: Transcription coupée / La transcription est coupée. L'appel continue : vérifiez votre "
                                         "connexion, puis relancez la transcription."));
        QCOMPARE((QList<QVariant>{t.coupures, b.session->codeTranscription(), coupures.count(), b.session->coupure()->type, int(b.journal.size())}),
                 (QList<QVariant>{1, "coupee", 1, "transcription", 1}));
        QCOMPARE(b.journal[0].nom + ": " + b.journal[0].message, QStringLiteral("transcription_coupee: WebSocket Deepgram fermé après 3 essais"));
        QCOMPARE(b.journal[0].proprietes, (QJsonObject{{"appel_id", *b.session->appelId()}, {"canaux", 2}, {"moteur", "soniox"}}));
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
        QCOMPARE(etat(b), QStringLiteral("enCours: Connexion à la transcription…"));   // the error went with the cut
        auto& t = b.transcription();
        b.horloge.avancer(800);   // opening takes time; no audio reaches the client meanwhile
        t.ouvrir();
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        b.capture->rappel(QByteArray(3200, 0));
        QCOMPARE(t.blocs.load(), 1);
        // Its times count from the first block it got, at 60.8 s.
        t.dire(QStringLiteral("prospect"), QStringLiteral("Vous m'entendez ?"), 500, 1500);
        QCOMPARE(b.session->finals().last(), (model::Segment{"sg1", "prospect", "Vous m'entendez ?", 61300, 62300, std::nullopt}));
    }

    void relanceEchouee()
    {
        BancSession b;
        b.demarrerOuvert();
        b.transcription().statut(QStringLiteral("coupee"));
        b.session->relancerTranscription();
        b.transcription().echouer(QStringLiteral("Connexion impossible. Vérifiez votre accès à internet."));
        QCOMPARE(etat(b), QStringLiteral("enCours: Transcription coupée / La transcription n'a pas pu redémarrer."));
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
        QCOMPARE(etat(b), QStringLiteral("enCours: Transcription en direct") + (attendu.isEmpty() ? "" : " / " + vd::platform::formuler(attendu)));
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
        auto& t = ouvert(b);
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
        // Asked to finish before being closed.
        QCOMPARE((QList<qint64>{t.terminaisons, coupuresAvant, t.coupures, b.capture->arrets, b.session->offsetMs(), b.horloge.minuteriesActives()}),
                 (QList<qint64>{1, 0, 1, 1, 8000, 0}));
        QCOMPARE(etat(b), QStringLiteral("termine: Transcription en direct"));
        // The service's last words, then the remaining partial as a final.
        QCOMPARE(finals(b), (QStringList{"sg1 prospect: Je dois en parler à mon associé avant.", "sg2 vous: Très bien, quand pouvez-vous"}));
        QVERIFY(b.session->interims().isEmpty());
        const model::Appel* a = b.appel();
        QCOMPARE((QList<QVariant>{a->statut, a->duree, a->transcript.size()}), (QList<QVariant>{"analyse", 8.0, 2}));
        QCOMPARE(b.analyses, QStringList{*b.session->appelId()});
        // Without a recap route a live call says so; the analysis still comes.
        QVERIFY(b.session->syntheseFin());
        QCOMPARE((QStringList{b.session->syntheseFin()->appelId, b.session->syntheseFin()->enCours ? "en cours" : "fini",
                              b.session->syntheseFin()->erreur.value_or("-"), QString::number(synthese.count())}),
                 (QStringList{*b.session->appelId(), "fini", "Le récap n'a pas pu être préparé. L'analyse complète arrive.", "2"}));
        // After the end, nothing moves.
        b.horloge.avancer(60000);
        b.session->arreter();
        QCOMPARE((QList<qint64>{b.session->offsetMs(), qint64(b.analyses.size())}), (QList<qint64>{8000, 1}));
    }

    void arretSansReponseDuServiceEnDeuxSecondes()
    {
        BancSession b;
        auto& t = ouvert(b);
        b.horloge.avancer(4000);
        b.session->arreter();
        QCOMPARE(t.terminaisons, 1);
        t.statut(QStringLiteral("coupee"));   // ignored while stopping
        QCOMPARE(etat(b), QStringLiteral("enCours: Transcription en direct"));
        t.dire(QStringLiteral("vous"), QStringLiteral("Dernier mot."), 3000, 3900);
        b.horloge.avancer(1999);
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        b.horloge.avancer(1);
        QCOMPARE(b.session->etat(), EtatSession::termine);
        QCOMPARE((QList<QVariant>{b.appel()->transcript.size(), b.appel()->duree}), (QList<QVariant>{1, 4.0}));
    }

    void partielEchoALArret()
    {
        BancSession b;
        auto& t = ouvert(b);
        // The salesperson's partial comes first; the prospect's words are still partial at the stop.
        t.dire(QStringLiteral("vous"), QStringLiteral("on verra ça"), 1100, 2000, false);
        t.dire(QStringLiteral("prospect"), QStringLiteral("On verra ça."), 1000, 1900, false);
        QCOMPARE(b.session->interims().size(), 2);
        t.surTerminer = [](test::FausseTranscription& f) { f.finir(); };
        b.session->arreter();
        QCOMPARE(finals(b), QStringList{"sg1 prospect: On verra ça."});
        QCOMPARE(b.appel()->echosRetires, std::optional<qint64>(1));
    }

    void recapFourni()
    {
        BancSession b;
        std::function<void(std::optional<call::ResultatRecap>)> reponse;
        QString vu;
        b.session->setFournisseurRecap([&](const model::Appel& a, auto r) { vu = a.id, reponse = r; });
        ouvert(b).surTerminer = [](test::FausseTranscription& f) { f.finir(); };
        b.session->arreter();
        QCOMPARE(vu, *b.session->appelId());
        QVERIFY(b.session->syntheseFin()->enCours);
        const call::ResultatRecap r{.points = {QStringLiteral("Budget validé")}};
        reponse(r);
        const auto& f = *b.session->syntheseFin();
        QVERIFY(!f.enCours && !f.erreur);
        QCOMPARE(f.recap, std::optional<call::ResultatRecap>(r));
    }

    void arretPendantLaConnexion()
    {
        BancSession b;
        QVERIFY(!b.session->demarrer(BancSession::config()));
        auto& t = b.transcription();
        b.session->arreter();   // never opened: no finishing to wait for
        QCOMPARE((QList<QVariant>{t.terminaisons, nomEtat(b.session->etat()), b.appel()->duree}), (QList<QVariant>{0, "termine", 0.0}));
    }

    void coaching()
    {
        BancSession b;
        auto& t = ouvert(b);
        for (qint64 d = 0; d < 90000; d += 10000) {
            b.horloge.avancer(10000);
            t.dire(QStringLiteral("vous"), QStringLiteral("je vous présente notre offre en détail"), d, d + 10000);
        }
        b.horloge.avancer(1000);
        QCOMPARE(b.session->coaching().size(), 1);
        QCOMPARE(b.session->coaching()[0].texte, QStringLiteral("Vous parlez depuis 1 min 30"));
        // No tick while paused: the pause does not count as silence.
        b.session->pause();
        b.horloge.avancer(10000);
        QCOMPARE(b.session->coaching().size(), 1);
        b.session->reprendre();
        b.horloge.avancer(2000);
        QCOMPARE(b.session->coaching().size(), 1);
        b.horloge.avancer(1000);
        QVERIFY(b.session->coaching().isEmpty());   // silent for more than 3 s
    }

    void derniereQuestion()
    {
        BancSession b;
        QVERIFY(b.scriptLivre());
        auto& t = ouvert(b);
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
        QCOMPARE(b.session->niveaux(), std::make_pair(0.457f, 0.f));
        b.transcription().dire(QStringLiteral("prospect"), QStringLiteral("Bonjour"), 0, 500, false);
        b.horloge.avancer(100);
        QCOMPARE(b.session->niveaux().second, 0.55f);
        b.capture->niveaux = {0.f, 0.f};
        b.horloge.avancer(10000);
        QCOMPARE(b.session->secondesSansVoix(), 10.0);
    }

    // Demonstration calls.
    void lectureDuScenario_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("tours");
        QTest::addColumn<QString>("premier");   // locuteur,debut,fin of the first turn
        QTest::addColumn<QString>("second");
        QTest::newRow("temps donnés") << QByteArray(R"({"id":"x","tours":[{"locuteur":"prospect","texte":"Bonjour à vous","debutMs":100,"finMs":900,"interlocuteur":2},{"locuteur":"vous","texte":"Merci","debutMs":1000,"finMs":1400}]})")
                                      << 2 << "prospect,100,900,2" << "vous,1000,1400,0";
        QTest::newRow("temps absents: posés d'après les mots")
            << QByteArray(R"({"tours":[{"locuteur":"commercial","texte":"un deux trois"},{"locuteur":"client","texte":"quatre cinq"}]})")
            << 2 << "vous,0,1140,0" << "prospect,1840,2600,0";
        QTest::newRow("début et durée") << QByteArray(R"({"tours":[{"locuteur":"vous","texte":"Allô","tMs":"2000","dureeMs":500}]})")
                                        << 1 << "vous,2000,2500,0" << "";
        QTest::newRow("tours vides ou invalides ignorés")
            << QByteArray(R"({"tours":[3,{"locuteur":"vous","texte":"  "},{"locuteur":"vous","texte":"Oui","debutMs":50,"finMs":10}]})")
            << 1 << "vous,50,50,0" << "";
        QTest::newRow("fin avant le début") << QByteArray(R"({"tours":[{"locuteur":"vous","texte":"Oui","debutMs":-5,"finMs":-10}]})")
                                            << 1 << "vous,0,0,0" << "";
        QTest::newRow("aucun tour") << QByteArray(R"({"tours":[]})") << 0 << "" << "";
        QTest::newRow("pas un objet") << QByteArray(R"([1,2])") << 0 << "" << "";
    }
    void lectureDuScenario()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, tours);
        QFETCH(QString, premier);
        QFETCH(QString, second);
        const QJsonDocument d = QJsonDocument::fromJson(json);
        const auto s = ScenarioDemo::depuisJson(d.isObject() ? QJsonValue(d.object()) : QJsonValue(d.array()));
        if (tours == 0) {
            QVERIFY(!s);
            return;
        }
        QVERIFY(s);
        QCOMPARE(s->tours.size(), tours);
        auto decrire = [](const call::TourDemo& t) {
            return QStringLiteral("%1,%2,%3,%4").arg(t.locuteur).arg(t.debutMs).arg(t.finMs).arg(t.interlocuteur.value_or(0));
        };
        QCOMPARE(decrire(s->tours[0]), premier);
        if (tours > 1)
            QCOMPARE(decrire(s->tours[1]), second);
    }

    void evenements()
    {
        const ScenarioDemo s{.tours = {{QStringLiteral("prospect"), QStringLiteral("un deux trois quatre cinq six sept"), 0, 2800, 1}}};
        QStringList vus;   // "at: words (end, final, voice)"
        for (const auto& e : call::LecteurDemo::evenementsDe(s))
            vus << QStringLiteral("%1: %2 (%3, %4, %5)").arg(e.tMs).arg(e.segment.texte).arg(e.segment.finMs).arg(int(e.segment.final))
                       .arg(e.segment.interlocuteur.value_or(0));
        QCOMPARE(vus, (QStringList{"1200: un deux trois (1200, 0, 1)", "2400: un deux trois quatre cinq six (2400, 0, 1)",
                                   "2800: un deux trois quatre cinq six sept (2800, 1, 1)"}));
    }

    void appelSimuleComplet()
    {
        BancSession b;
        QSignalSpy fin(b.session.get(), &call::SessionAppel::guideTermine);
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 4.0}));
        QVERIFY(b.session->estGuide());
        QCOMPARE(etat(b), QStringLiteral("enCours: Appel simulé"));
        const model::Appel* a = b.appel();   // no audio, no network
        QCOMPARE((QList<QVariant>{a->source, a->contactId.value_or("-"), a->objectif, a->moteurTranscription.value_or("-"),
                                  qint64(b.capture->demarrages + b.transcriptions.size())}),
                 (QList<QVariant>{"demo", "c_demo", "Qualifier le besoin", "-", 0}));

        // 0.5 s of real time is 2 s of the script: the first turn is still partial.
        b.horloge.avancer(500);
        QCOMPARE((QList<QVariant>{b.session->offsetMs(), b.session->finals().size(), b.session->interims().keys()}),
                 (QList<QVariant>{2000, 0, QStringList{"vous"}}));
        b.horloge.avancer(500);
        QCOMPARE(finals(b), QStringList{"sg1 vous: Bonjour Claire, merci de prendre ce moment avec moi."});
        b.horloge.avancer(2000);
        QCOMPARE((QList<qint64>{b.session->finals().size(), fin.count()}), (QList<qint64>{3, 0}));
        b.horloge.avancer(1000);
        QCOMPARE((QList<qint64>{b.session->finals().size(), fin.count()}), (QList<qint64>{4, 1}));
        QCOMPARE(b.session->finals()[3], (model::Segment{"sg4", "prospect", "Une douzaine, mais le budget est serré cette année.", 10500, 14000, 1}));
        QCOMPARE(etat(b), QStringLiteral("enCours: Appel simulé terminé"));   // the user (or the caller) stops it

        b.session->arreter();
        QCOMPARE(etat(b), QStringLiteral("termine: Appel simulé terminé"));
        a = b.appel();
        QCOMPARE((QList<QVariant>{a->statut, a->transcript.size(), a->duree, b.analyses.size()}), (QList<QVariant>{"analyse", 4, 16.0, 1}));
        QVERIFY(b.session->syntheseFin() && !b.session->syntheseFin()->enCours);
    }

    void pointDAttente()
    {
        BancSession b;
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), 2, 1.0}));
        QSignalSpy guide(b.session.get(), &call::SessionAppel::guideChange);
        b.horloge.avancer(7500);
        QVERIFY(b.session->attenteGuide());
        QCOMPARE((QList<qint64>{b.session->finals().size(), guide.count()}), (QList<qint64>{2, 1}));
        b.horloge.avancer(10000);
        QVERIFY(b.session->interims().isEmpty());
        QCOMPARE((QList<qint64>{b.session->finals().size(), b.session->offsetMs()}), (QList<qint64>{2, 17500}));   // the call's clock keeps running
        b.session->continuerGuide();
        QVERIFY(!b.session->attenteGuide());
        b.horloge.avancer(6600);
        QCOMPARE(b.session->finals().size(), 4);
        // The rest of the script is shifted by the 10 s of waiting.
        QCOMPARE(QStringLiteral("%1-%2").arg(b.session->finals()[2].debutMs).arg(b.session->finals()[3].finMs), QStringLiteral("17500-24000"));
    }

    void pauseDeLaDemo()
    {
        BancSession b;
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 1.0}));
        b.horloge.avancer(3000);
        b.session->pause();
        b.horloge.avancer(60000);
        QCOMPARE((QList<qint64>{b.session->offsetMs(), b.session->finals().size()}), (QList<qint64>{3000, 1}));
        b.session->reprendre();
        b.horloge.avancer(4000);
        QCOMPARE(b.session->finals().size(), 2);
        QCOMPARE(b.session->finals()[1].finMs, 7000);
    }

    void arretAuMilieu()
    {
        BancSession b;
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 1.0}));
        b.horloge.avancer(5000);   // the prospect is mid-sentence
        QVERIFY(b.session->interims().contains(QStringLiteral("prospect")));
        b.session->arreter();
        QCOMPARE(b.session->finals().size(), 2);   // the partial became final
        b.horloge.avancer(60000);
        QCOMPARE((QList<QVariant>{b.session->finals().size(), b.appel()->duree}), (QList<QVariant>{2, 5.0}));   // playback stopped with the call
        // A new call can start at once.
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 1.0}));
        QVERIFY(b.session->finals().isEmpty());
    }

    void scenarioDuMoteurLivre()
    {
        BancSession b;
        call::ConfigAppel c;
        c.source = QStringLiteral("demo");
        c.type = QStringLiteral("decouverte");
        QVERIFY(!b.session->demarrer(c));
        QVERIFY(b.session->estGuide());
        QSignalSpy fin(b.session.get(), &call::SessionAppel::guideTermine);
        for (int i = 0; i < 3600 && fin.isEmpty(); ++i)
            b.horloge.avancer(1000);
        QCOMPARE(fin.count(), 1);
        QSet<QString> locuteurs;
        for (const auto& s : b.session->finals())
            locuteurs.insert(s.locuteur);
        QCOMPARE(locuteurs, (QSet<QString>{"vous", "prospect"}));
        b.session->arreter();
        QCOMPARE(b.appel()->statut, QStringLiteral("analyse"));
        QVERIFY(b.appel()->metriques && b.appel()->metriques->nbEchanges > 0);
    }

    // The script lengthened for long calls: the turns again, round after
    // round, on the call's clock.
    void prolonge_data()
    {
        QTest::addColumn<qint64>("dureeMs");
        QTest::addColumn<int>("tours");
        QTest::addColumn<qint64>("fin");   // end of the last turn
        // One round lasts 10 s (1 s → 11 s) and the next starts 0.7 s later: a period of 10.7 s.
        QTest::newRow("aucune durée") << qint64(0) << 3 << qint64(11000);
        QTest::newRow("déjà assez long") << qint64(11000) << 3 << qint64(11000);
        QTest::newRow("une seconde de plus") << qint64(11001) << 6 << qint64(21700);
        QTest::newRow("juste la fin du second tour") << qint64(21700) << 6 << qint64(21700);
        QTest::newRow("une minute") << qint64(60000) << 18 << qint64(64500);
        QTest::newRow("durée négative") << qint64(-5) << 3 << qint64(11000);
    }
    void prolonge()
    {
        QFETCH(qint64, dureeMs);
        QFETCH(int, tours);
        QFETCH(qint64, fin);
        const ScenarioDemo base = scenarioCourt();
        const ScenarioDemo s = base.prolonge(dureeMs);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(s.id).arg(s.tours.size()).arg(s.tours.last().finMs), QStringLiteral("%1 %2 %3").arg(base.id).arg(tours).arg(fin));
        // Each round repeats the script's turns, speakers and words, shifted by whole periods.
        for (qsizetype i = 0; i < s.tours.size(); ++i) {
            const call::TourDemo& t = s.tours[i];
            const call::TourDemo& o = base.tours[i % base.tours.size()];
            const qint64 decalage = (i / base.tours.size()) * 10700;
            QCOMPARE(t, (call::TourDemo{o.locuteur, o.texte, o.debutMs + decalage, o.finMs + decalage, o.interlocuteur}));
        }
    }

    void evenementsDansLOrdre()
    {
        // The player's events stay in time order across rounds.
        const auto e = vd::call::LecteurDemo::evenementsDe(scenarioCourt().prolonge(40000));
        QVERIFY(!e.empty());
        for (size_t i = 1; i < e.size(); ++i)
            QVERIFY(e[i - 1].tMs <= e[i].tMs);
        QCOMPARE(e.back().tMs, scenarioCourt().prolonge(40000).tours.last().finMs);
        QVERIFY(e.back().segment.final);
        QVERIFY(ScenarioDemo().prolonge(60000).tours.isEmpty());
    }

    // The prompter tied to a running simulated call: objections spotted on the
    // session's finals reach the call, help answers land in the call's help list.
    void appelSimuleAvecSouffleur()
    {
        AppelSimule a;
        auto& [horloge, moteur, store, client, scenario] = a;
        QVERIFY(scenario);
        call::SessionAppel session(store, moteur, horloge, {});
        ai::Souffleur souffleur(moteur, client);
        ai::PanneauSouffleur panneau(souffleur, horloge);
        call::LiaisonSouffleur liaison(session, souffleur, panneau, store);

        QVERIFY(!session.demarrerGuide(call::AppelGuide{*scenario, std::nullopt, 50.0}));
        for (int i = 0; i < 400 && session.detections().isEmpty(); ++i)
            horloge.avancer(250);
        QVERIFY(!session.detections().isEmpty());   // spotted by the prompter, recorded on the call

        // A help request streams into the call's help list.
        const auto id = souffleur.demander(QStringLiteral("objection"));
        QVERIFY2(id, qPrintable(id ? QString() : id.erreur()));
        QVERIFY(client.derniere());
        // A simulated call asks the demonstration route.
        QCOMPARE(client.requetes.last().tache + (client.requetes.last().demo ? " demo" : ""), QStringLiteral("objection demo"));
        client.derniere()->terminer(QStringLiteral("{\"reponse\":\"Je comprends.\"}"));
        QCOMPARE(session.aides().size(), 1);
        QCOMPARE(session.aides().first().statut, call::AideLive::Statut::ok);
        session.arreter();
    }

    // A template picked and one step edited: the next simulated call follows that
    // framework (the one saved as default), shows the step's questions in the
    // prompter and ticks them and the grid live; the analysis scores the step
    // and writes what was heard on the contact.
    void frameworkChoisiDansLAppelSimule()
    {
        AppelSimule a;
        auto& [horloge, moteur, store, client, scenario] = a;
        QVERIFY(scenario);
        const auto grilles = team::grillesDepuisMoteur(moteur.donnee(QStringLiteral("GRILLES_QUALIFICATION")).toArray());
        team::FrameworkVente f = team::frameworkDepuisModele(*team::modeleCycle(QStringLiteral("vente_courte")), QStringLiteral("fw_court"),
                                                             store.horodatageMaintenant(), grilles);
        const QString q1 = QStringLiteral("Comment se passe la planification de vos interventions aujourd'hui ?");
        f.etapes[0].questions = {q1, QStringLiteral("Qui d'autre participe à la décision de votre côté ?")};
        f.parDefaut = true;
        QVERIFY(!team::enregistrerFramework(store, f));

        call::SessionAppel session(store, moteur, horloge, {});
        ai::Souffleur souffleur(moteur, client);
        ai::PanneauSouffleur panneau(souffleur, horloge);
        ai::AnalysesEnCours analyses(store, moteur, client);
        call::LiaisonSouffleur liaison(session, souffleur, panneau, store, &analyses);
        QVERIFY(!session.demarrerGuide(call::AppelGuide{*scenario, std::nullopt, 50.0}));
        QTRY_VERIFY(panneau.etapeCourante().has_value());   // the context is built on its own thread
        QCOMPARE(panneau.titreEtape(), QStringLiteral("Étape 1 / 2 : Découverte express"));
        QCOMPARE(panneau.etapeCourante()->questions.first(), (QPair<QString, bool>{q1, false}));

        QSignalSpy fin(&session, &call::SessionAppel::guideTermine);
        for (int i = 0; i < 2000 && fin.isEmpty(); ++i)
            horloge.avancer(250);
        QCOMPARE(fin.count(), 1);
        // Both questions asked: the prompter moves on to the next step.
        QCOMPARE(panneau.etapeCourante()->id, QStringLiteral("proposition"));
        QStringList entendus;
        for (const auto& g : panneau.grilleCochee())
            if (g.entendu)
                entendus << g.id;
        QCOMPARE(entendus, (QStringList{"budget", "autorite", "besoin", "echeance"}));
        QVERIFY(session.qualificationAppel().size() >= 2);
        QCOMPARE(session.qualificationAppel().first().qt()[QLatin1String("source")].toString(), QStringLiteral("direct"));

        const QString appelId = session.appelIdTexte();
        session.arreter();
        QTRY_VERIFY(!client.requetes.isEmpty() && client.requetes.last().tache == QLatin1String("analyse"));
        auto demo = moteur.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("analyse"), client.requetes.last().payload});
        QVERIFY(demo);
        client.derniere()->terminer(demo.valeur());
        QTRY_VERIFY(store.etat().appel(appelId)->analyse.has_value());
        const model::MethodeAnalyse& m = store.etat().appel(appelId)->analyse->methode;
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(m.frameworkId.value_or("-"), m.etapes.first().id).arg(m.etapes.first().score.value_or(-1))
                     .arg(m.etapes.first().poids.value_or(-1)),
                 QStringLiteral("fw_court decouverte 100 30"));
        const model::Contact* c = store.etat().contact(scenario->contactId.value_or(QString()));
        QCOMPARE(c->champs.budget, QStringLiteral("15 000 euros"));
        QStringList items;
        for (const model::JSONValeur& q : c->qualification.value_or(QList<model::JSONValeur>()))
            items << q.qt()[QLatin1String("item")].toString();
        QVERIFY2(items.contains(QStringLiteral("autorite")), qPrintable(items.join(',')));
    }
};

QTEST_GUILESS_MAIN(TstSessionAppel)
#include "tst_sessionappel.moc"
