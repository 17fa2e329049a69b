// The help panel's state against the backend emulator: tickets created with
// their files uploaded first (and kept in the form when one fails), the
// thread, replies, the counters on the test clock, the chat with its
// screenshots and its ticket proposal, and the hint messages.
#include "assistant/aideapp.h"
#include "cloud/outilscloud.h"
#include "fakes/fauxsupport.h"
#include "platform/captureecran.h"

#include <QBuffer>
#include <QJsonArray>
#include <QTest>

using namespace vd;
using namespace vd::assistant;
using Cible = AideApp::Cible;

namespace {

QByteArray png(int l = 32, int h = 24)
{
    QImage i(l, h, QImage::Format_RGB32);
    i.fill(Qt::darkCyan);
    QByteArray d;
    QBuffer b(&d);
    b.open(QIODevice::WriteOnly);
    i.save(&b, "PNG");
    return d;
}

// A screenshot tool that draws a small picture where it is asked to.
class CaptureFactice final : public platform::CaptureEcran {
public:
    void capturer(const QString& chemin) override
    {
        QImage i(64, 40, QImage::Format_RGB32);
        i.fill(Qt::white);
        i.save(chemin, "PNG");
        Q_EMIT terminee(true, chemin, QString());
    }
    bool disponible() const override { return true; }
};

QStringList chemins(const fakes::FauxSupabase& s)
{
    QStringList l;
    for (const fakes::RequeteHttp& r : s.journal())
        if (r.chemin.startsWith(QLatin1String("/functions/v1/support/")))
            l << r.chemin.mid(22);
    return l;
}

} // namespace

class TstAideApp : public QObject {
    Q_OBJECT
    std::unique_ptr<tests::BancCloud> banc;
    std::unique_ptr<fakes::FauxSupport> support;
    std::unique_ptr<AideApp> app;

    void ticket(const QString& sujet, const QString& message)
    {
        app->nouveauTicket();
        app->setSujet(sujet);
        app->setMessage(message);
    }

private Q_SLOTS:
    void init()
    {
        banc = std::make_unique<tests::BancCloud>();
        QVERIFY(banc->demarrer());
        QVERIFY(banc->connecter());
        support = std::make_unique<fakes::FauxSupport>(banc->serveur, &banc->horloge);
        app = std::make_unique<AideApp>(std::make_unique<TransportAideCloud>(banc->client.get()), banc->horloge);
        banc->serveur.viderJournal();
    }
    void cleanup()
    {
        app.reset();
        support.reset();
        banc.reset();
    }

    void ticketAvecSesFichiersEnvoyesDAbord()
    {
        ticket(QStringLiteral("Le micro ne s'active pas"), QStringLiteral("Depuis ce matin, aucun son."));
        CaptureFactice capture;
        app->setCapture(&capture);
        app->capturer(Cible::formulaire());
        QVERIFY(app->ajouterDonnees(Cible::formulaire(), QStringLiteral("vendalo.log"), "ligne 1\nligne 2\n"));
        QCOMPARE(app->formulaire().pieces.size(), 2);
        const QString nomCapture = QStringLiteral("Capture d'écran 2026-03-02 à 10.00.00.png");
        QCOMPARE(app->formulaire().pieces[0].nom, nomCapture);
        app->envoyerFormulaire();
        QTRY_COMPARE(app->confirmation(), std::optional<QString>(textesAide::ticketEnvoye));

        QCOMPARE(chemins(banc->serveur), (QStringList{"piece", "piece", "ticket"}));
        const auto envois = banc->serveur.requetes(QStringLiteral("/functions/v1/support/piece"));
        // No ticket yet.
        QCOMPARE((QByteArrayList{envois[0].entete("x-vd-nom"), envois[0].entete("content-type"), envois[0].entete("x-vd-ticket"), envois[1].corps}),
                 (QByteArrayList{nomCapture.toUtf8().toPercentEncoding(), "image/png", "", "ligne 1\nligne 2\n"}));
        const QJsonObject corps = banc->serveur.requetes(QStringLiteral("/functions/v1/support/ticket"))[0].json().toObject();
        QCOMPARE(corps.value("pieces").toArray(), (QJsonArray{"p1", "p2"}));
        QVERIFY(!corps.contains("conversation"));
        QVERIFY(!app->formulaireOuvert());
        QCOMPARE(app->demandes().size(), 1);
        QCOMPARE(app->demandeOuverte(), std::optional<QString>(QStringLiteral("t1")));
        QCOMPARE(app->demandes()[0].messages[0].pieces.size(), 2);
        QCOMPARE(app->demandes()[0].messages[0].pieces[0].largeur, std::optional<int>(64));
    }

    void fichierRefuseGardeLeFormulaire()
    {
        ticket(QStringLiteral("Export"), QStringLiteral("L'export échoue."));
        QVERIFY(app->ajouterDonnees(Cible::formulaire(), QStringLiteral("a.png"), png()));
        QVERIFY(app->ajouterDonnees(Cible::formulaire(), QStringLiteral("b.log"), "trace"));
        support->refuserPiece(QStringLiteral("b.log"), 413, QStringLiteral("piece_trop_lourde"));
        app->envoyerFormulaire();
        QTRY_VERIFY(!app->formulaire().envoi);
        const QString echec = QStringLiteral("« b.log » n'est pas parti. Le fichier dépasse 10 Mo.");
        QVERIFY(app->formulaireOuvert());
        QCOMPARE(app->formulaire().erreur, std::optional(echec));
        QCOMPARE((QList<PieceJointe::Etat>{app->formulaire().pieces[0].etat, app->formulaire().pieces[1].etat}),
                 (QList<PieceJointe::Etat>{PieceJointe::Etat::envoyee, PieceJointe::Etat::erreur}));
        QCOMPARE(app->formulaire().pieces[1].erreur, echec);
        QVERIFY(!app->confirmation());
        QVERIFY(support->tickets.isEmpty());   // nothing sent

        // Retry the failed file, then send: the file already up is not sent again.
        app->reessayerPiece(Cible::formulaire(), app->formulaire().pieces[1].id);
        QTRY_COMPARE(app->formulaire().pieces[1].etat, PieceJointe::Etat::envoyee);
        app->envoyerFormulaire();
        QTRY_VERIFY(app->confirmation());
        QCOMPARE(chemins(banc->serveur), (QStringList{"piece", "piece", "piece", "ticket"}));
        QCOMPARE(support->tickets.size(), 1);
    }

    void retirerLeFichierRefuse()
    {
        ticket(QStringLiteral("Export"), QStringLiteral("L'export échoue."));
        QVERIFY(app->ajouterDonnees(Cible::formulaire(), QStringLiteral("b.log"), "trace"));
        support->refuserPiece(QStringLiteral("b.log"), 415, QStringLiteral("piece_type_refuse"));
        app->envoyerFormulaire();
        QTRY_VERIFY(!app->formulaire().envoi);
        app->retirerPiece(Cible::formulaire(), app->formulaire().pieces[0].id);
        QVERIFY(app->formulaire().pieces.isEmpty());
        app->envoyerFormulaire();
        QTRY_VERIFY(app->confirmation());
        QCOMPARE(support->tickets[0].value("messages").toArray()[0].toObject().value("pieces").toArray().size(), 0);
    }

    void formulaireIncomplet_data()
    {
        QTest::addColumn<QString>("sujet");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("erreur");
        QTest::newRow("sans sujet") << "  " << "Un souci." << textesAide::sujetManquant;
        QTest::newRow("sans description") << "Souci" << "\n" << textesAide::messageManquant;
    }
    void formulaireIncomplet()
    {
        QFETCH(QString, sujet);
        QFETCH(QString, message);
        QFETCH(QString, erreur);
        ticket(sujet, message);
        app->envoyerFormulaire();
        QCOMPARE(app->formulaire().erreur, std::optional(erreur));
        QVERIFY(!app->formulaire().envoi);
        QCOMPARE(chemins(banc->serveur), QStringList());
    }

    void filLectureEtReponse()
    {
        ticket(QStringLiteral("Agenda"), QStringLiteral("Mes rendez-vous ne s'affichent pas."));
        app->envoyerFormulaire();
        QTRY_VERIFY(app->confirmation());
        support->repondreEnTantQueSupport(QStringLiteral("t1"), QStringLiteral("Reconnectez votre agenda."));
        app->ouvrir(AideApp::Onglet::demandes);   // the list loads on opening
        QTRY_COMPARE(app->nonLus(), 1);
        QTRY_VERIFY(!app->chargementDemandes());
        QVERIFY(app->demandes()[0].nonLu);
        QCOMPARE(app->demandes()[0].dernierAuteur, QStringLiteral("support"));

        app->ouvrirDemande(QStringLiteral("t1"));
        QTRY_COMPARE(app->demande(QStringLiteral("t1"))->messages.size(), 2);
        QCOMPARE(app->nonLus(), 0);
        QCOMPARE(app->demande(QStringLiteral("t1"))->messages[1].auteur, QStringLiteral("support"));

        app->repondre(QStringLiteral("t1"), QStringLiteral("  "));
        QCOMPARE(app->erreurReponse(), std::optional(textesAide::reponseVide));
        QVERIFY(app->ajouterDonnees(Cible::reponse(QStringLiteral("t1")), QStringLiteral("après.png"), png()));
        app->repondre(QStringLiteral("t1"), QStringLiteral("C'est réglé, merci."));
        QTRY_COMPARE(app->demande(QStringLiteral("t1"))->messages.size(), 3);
        QVERIFY(!app->envoiReponse());
        const auto envoi = banc->serveur.requetes(QStringLiteral("/functions/v1/support/piece")).constLast();
        QCOMPARE(envoi.entete("x-vd-ticket") + ' ' + QByteArray::fromPercentEncoding(envoi.entete("x-vd-nom")), QByteArray("t1 après.png"));
        QCOMPARE(app->demande(QStringLiteral("t1"))->messages[2].pieces.size(), 1);
        QVERIFY(app->piecesReponse(QStringLiteral("t1")).isEmpty());

        banc->serveur.injecter(QStringLiteral("/functions/v1/support/tickets"), fakes::FauxSupabase::erreurFonction(500, QStringLiteral("erreur_interne")));
        app->chargerDemandes();
        QTRY_COMPARE(app->erreurDemandes(), std::optional(textesAide::listeEchouee));
        QCOMPARE(app->demandes().size(), 1);   // the last list stays
    }

    void compteursSurLeMinuteur()
    {
        app->demarrer();
        QTRY_VERIFY(app->dernierEtat());
        QCOMPARE(app->restants(), std::optional<int>(30));
        QCOMPARE(app->nonLus(), 0);
        support->tickets.append(QJsonObject{{"id", "t9"}, {"sujet", "Ancien"}, {"non_lu", true}});
        support->messagesUtilises = 4;
        banc->horloge.avancer(AideApp::periodeMs - 1);
        QCOMPARE(chemins(banc->serveur), QStringList{"etat"});
        banc->horloge.avancer(1);
        QTRY_COMPARE(app->nonLus(), 1);
        QCOMPARE(app->restants(), std::optional<int>(26));
    }

    void chatAvecTroisCaptures()
    {
        for (int i = 1; i <= 3; ++i)
            QVERIFY(app->ajouterDonnees(Cible::chat(), QStringLiteral("c%1.png").arg(i), png(2000, 1000)));
        QVERIFY(!app->ajouterDonnees(Cible::chat(), QStringLiteral("c4.png"), png()));
        QCOMPARE(app->erreurPieces(), std::optional(PiecesJointes::textes::tropDeCaptures));
        app->retirerPiece(Cible::chat(), app->capturesChat()[2].id);
        QVERIFY(!app->ajouterDonnees(Cible::chat(), QStringLiteral("f.pdf"), "%PDF-1.4\n%%EOF\n"));
        QCOMPARE(app->erreurPieces(), std::optional(PiecesJointes::textes::imagesSeulement));
        QVERIFY(app->collerImage(Cible::chat(), QImage::fromData(png())));
        QCOMPARE(app->capturesChat()[2].nom, PiecesJointes::textes::imageCollee);

        support->reponsesChat = {QJsonObject{{"texte", "Vérifiez le micro choisi dans Réglages."}, {"propose_ticket", true}}};
        app->setEcran(QStringLiteral("reglages"));
        app->poser(QStringLiteral("Pourquoi le micro est muet ?"));
        QVERIFY(app->capturesChat().isEmpty());
        QTRY_VERIFY(!app->enCours());
        QCOMPARE(support->questions.size(), 1);
        const QJsonObject q = support->questions[0];
        QCOMPARE(q.value("ecran").toString() + ' ' + q["captures"][0]["type"].toString(), QStringLiteral("reglages image/jpeg"));
        QCOMPARE(q.value("messages").toArray(), (QJsonArray{QJsonObject{{"role", "user"}, {"content", "Pourquoi le micro est muet ?"}}}));
        const QJsonArray captures = q.value("captures").toArray();
        QCOMPARE(captures.size(), 3);
        const QImage premiere = QImage::fromData(QByteArray::fromBase64(captures[0].toObject().value("data").toString().toLatin1()), "JPEG");
        QCOMPARE(premiere.size(), QSize(1568, 784));
        const MessageAide& reponse = app->conversation().constLast();
        QCOMPARE(reponse.texte, QStringLiteral("Vérifiez le micro choisi dans Réglages."));
        QVERIFY(reponse.proposeDemande);
        QCOMPARE(app->restants(), std::optional<int>(29));

        // The proposal opens a ticket that carries the chat.
        app->nouveauTicket(true);
        QVERIFY(app->formulaire().avecConversation);
        QCOMPARE(app->formulaire().message, QStringLiteral("Pourquoi le micro est muet ?"));
        app->setSujet(QStringLiteral("Micro muet"));
        app->envoyerFormulaire();
        QTRY_VERIFY(app->confirmation());
        const QJsonArray fil = support->tickets[0].value("messages").toArray();
        QCOMPARE(fil.size(), 2);
        QVERIFY(fil[1].toObject().value("conversation_ia").toBool());
        QVERIFY(fil[1].toObject().value("texte").toString().contains(QStringLiteral("Vérifiez le micro")));
    }

    void chatEnEchec_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("limite") << 429 << "support_limite" << *messageIndice(QStringLiteral("support_limite"));
        QTest::newRow("serveur") << 502 << "api_indisponible" << textesAide::sansReponse;
        QTest::newRow("refusée") << 400 << "autre_chose" << textesAide::refusee;
    }
    void chatEnEchec()
    {
        QFETCH(int, statut);
        QFETCH(QString, code);
        QFETCH(QString, message);
        banc->serveur.injecter(QStringLiteral("/functions/v1/support/chat"), fakes::FauxSupabase::erreurFonction(statut, code));
        app->poser(QStringLiteral("Comment importer ?"));
        QTRY_VERIFY(!app->enCours());
        QCOMPARE(app->conversation().size(), 2);
        QCOMPARE(app->conversation()[0].texte, QStringLiteral("Comment importer ?"));   // the question stays
        QVERIFY(app->conversation()[1].erreur);
        QCOMPARE(app->conversation()[1].texte, message);
    }

    // The message of a failure, on a ticket or in the chat.
    void messagesDesErreurs()
    {
        auto cas = [](const char* nom, const cloud::ErreurCloud& erreur, bool chat, const QString& message) {
            QCOMPARE(nom + (": " + messageErreurAide(erreur, textesAide::ticketEchoue, chat)), nom + (": " + message));
        };
        auto fonction = [](const char* code, int statut = 400) {
            return cloud::erreurFonction(statut, QByteArray("{\"error\":\"") + code + "\"}");
        };
        cas("trop de demandes", fonction("support_trop_de_demandes", 429), false, "Trop de demandes d'un coup. Patientez une minute, puis réessayez.");
        cas("ticket introuvable", fonction("ticket_introuvable", 404), false, "Ce ticket est introuvable. Rechargez la liste de vos tickets.");
        cas("pièce vide", fonction("piece_vide"), false, "Le fichier est vide.");
        cas("pièces invalides", fonction("pieces_invalides"), false, "Une pièce jointe n'est plus disponible. Joignez-la de nouveau.");
        cas("trop de pièces", fonction("support_trop_de_pieces"), false, "5 fichiers au plus par message.");
        cas("trop longue", fonction("requete_trop_longue", 413), true, "Ce message est trop long. Raccourcissez-le, puis réessayez.");
        cas("invalide", fonction("requete_invalide"), false, "La demande a été refusée. Réessayez.");
        cas("sans réseau", cloud::erreurReseau(99, false), true, textesAide::sansConnexion);
        cas("délai du chat", cloud::erreurReseau(int(QNetworkReply::TimeoutError), true), true, textesAide::tropLongue);
        cas("non connecté", cloud::erreurSession(QStringLiteral("session_absente")), false, textesAide::nonConnecte);
        cas("inconnu", fonction("erreur_interne", 500), false, textesAide::ticketEchoue);
    }

    void sansServeur()
    {
        AideApp seule(nullptr, banc->horloge);
        seule.poser(QStringLiteral("Bonjour"));
        QTRY_VERIFY(!seule.enCours());
        QCOMPARE(seule.conversation().constLast().texte, textesAide::nonConnecte);
        seule.ouvrir(AideApp::Onglet::demandes);
        QCOMPARE(seule.erreurDemandes(), std::optional(textesAide::nonConnecte));
        seule.capturer(Cible::formulaire());   // no screenshot tool
        QCOMPARE(seule.erreurPieces(), std::optional(platform::CaptureEcran::indisponible()));
    }
};

QTEST_GUILESS_MAIN(TstAideApp)
#include "tst_aideapp.moc"
