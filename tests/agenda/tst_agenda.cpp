// Agenda reading over the backend client and the emulator's calendar file:
// read cadence on the fake clock, revoked and failed reads, connection through
// the browser and the callback link, disconnection, grouping by day.
#include "../cloud/outilscloud.h"
#include "agenda/agenda.h"
#include "../crm/commun_crm.h"
#include "agenda/ecrans/ecranagenda.h"
#include "ui/contexte.h"
#include "fakes/fauxagenda.h"
#include "platform/preferences.h"

#include <QJsonArray>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vd;
using namespace vd::agenda;

namespace {
QJsonObject rdv(const QString& id, const QDateTime& debut, const QString& email, bool journee = false)
{
    return QJsonObject{{"id", id},
                       {"titre", "Point " + id},
                       {"debut", journee ? debut.date().toString(Qt::ISODate) : debut.toUTC().toString(Qt::ISODate)},
                       {"journeeEntiere", journee},
                       {"fournisseur", "google"},
                       {"invites", QJsonArray{QJsonObject{{"email", email}, {"reponse", "accepte"}},
                                              QJsonObject{{"email", "lea@vendeur.fr"}, {"moi", true}}}}};
}
const QJsonArray connexionGoogle{QJsonObject{{"fournisseur", "google"}, {"email", "lea@vendeur.fr"}}};

EvenementAgenda evenement(const QDateTime& debut, bool apparie, bool journee = false)
{
    return {.id = "e", .debut = debut, .contactId = apparie ? std::optional<QString>("c1") : std::nullopt, .journeeEntiere = journee};
}
} // namespace

class TstAgenda : public QObject {
    Q_OBJECT

    std::unique_ptr<tests::BancCloud> banc_;
    std::unique_ptr<fakes::FauxAgenda> faux_;
    std::unique_ptr<ClientAgendaCloud> client_;
    std::unique_ptr<Agenda> agenda_;
    platform::PreferencesMemoire prefs_;
    QTemporaryDir dossier_;
    QStringList annonces_;

    QDateTime maintenant() const { return banc_->horloge.maintenant(); }
    void attendreLectures(int n) { QTRY_COMPARE(faux_->lectures, n); QTRY_VERIFY(!agenda_->lectureEnCours()); }

private Q_SLOTS:
    void init()
    {
        banc_ = std::make_unique<tests::BancCloud>();
        QVERIFY(banc_->demarrer());
        QVERIFY(banc_->connecter());
        faux_ = std::make_unique<fakes::FauxAgenda>(banc_->serveur, dossier_.filePath("calendrier.json"));
        faux_->ecrire(QJsonObject{{"connexions", connexionGoogle},
                                  {"evenements", QJsonArray{rdv("e1", maintenant().addSecs(7200), "paul@acme.fr")}}});
        client_ = std::make_unique<ClientAgendaCloud>(banc_->client.get());
        annonces_.clear();
        Agenda::Collaborateurs c;
        c.client = client_.get();
        c.lireContexte = [] { return ContexteAgenda{true, true, QStringLiteral("lea@vendeur.fr")}; };
        c.lireContacts = [] { return QList<model::Contact>{{.id = "c1", .prenom = "Paul", .email = "paul@acme.fr"}}; };
        c.horloge = &banc_->horloge;
        c.preferences = &prefs_;
        c.annoncer = [this](const QString& t, bool) { annonces_.append(t); };
        agenda_ = std::make_unique<Agenda>(std::move(c));
    }
    void cleanup()
    {
        agenda_.reset();
        client_.reset();
        faux_.reset();
        banc_.reset();
    }

    void intervalle()
    {
        // A matched meeting within 30 minutes is read every 5 minutes; otherwise every 15 (no contact, all day, started).
        const struct {
            int dansS;
            bool apparie, journee;
            int attendu;
        } cas[] = {{1200, true, false, 300}, {1800, true, false, 300}, {1860, true, false, 900},
                   {1200, false, false, 900}, {1200, true, true, 900},  {-60, true, false, 900}};
        const QDateTime t = maintenant();
        for (const auto& c : cas)
            QVERIFY2(Agenda::intervalleS({evenement(t.addSecs(c.dansS), c.apparie, c.journee)}, t) == c.attendu,
                     qPrintable(QStringLiteral("%1 s, %2 %3").arg(c.dansS).arg(c.apparie).arg(c.journee)));
    }

    void lecturesAuRythmeDeLIntervalle()
    {
        agenda_->demarrer();
        QCOMPARE(faux_->lectures, 0);
        banc_->horloge.avancer(5'000);
        attendreLectures(1);
        QCOMPARE(agenda_->evenements().size(), 1);
        QCOMPARE(agenda_->evenements()[0].contactId, std::optional<QString>("c1"));
        // Meeting in two hours: due once the last read (at 0:05) is 15 minutes old, on the loop's next turn.
        banc_->horloge.avancer(15 * 60'000);
        QTest::qWait(50);
        QCOMPARE(faux_->lectures, 1);
        banc_->horloge.avancer(60'000);
        attendreLectures(2);
        // A matched meeting 25 minutes away: every 5 minutes.
        faux_->ecrire(QJsonObject{{"connexions", connexionGoogle},
                                  {"evenements", QJsonArray{rdv("e2", maintenant().addSecs(1500), "paul@acme.fr")}}});
        agenda_->actualiser(true);
        attendreLectures(3);
        banc_->horloge.avancer(5 * 60'000);
        QTest::qWait(50);
        QCOMPARE(faux_->lectures, 3);
        banc_->horloge.avancer(60'000);
        attendreLectures(4);
        banc_->horloge.avancer(5 * 60'000);
        attendreLectures(5);
        // Asked again within 30 s of a read: skipped unless forced.
        agenda_->actualiser(false);
        QTest::qWait(50);
        QCOMPARE(faux_->lectures, 5);
        agenda_->actualiser(true);
        attendreLectures(6);
    }

    void revocationUneFoisEtRendezVousRetires()
    {
        agenda_->actualiser(true);
        attendreLectures(1);
        QCOMPARE(agenda_->evenements().size(), 1);
        faux_->ecrire(QJsonObject{{"revoques", QJsonArray{"google"}}});
        agenda_->actualiser(true);
        attendreLectures(2);
        QVERIFY(agenda_->evenements().isEmpty() && agenda_->aReconnecter());
        QCOMPARE(agenda_->message()->texte, QStringLiteral("Votre Google Agenda a été déconnecté. Reconnectez-le dans les Réglages."));
        agenda_->actualiser(true);
        attendreLectures(3);
        QCOMPARE(annonces_.count(messageRevoque(FournisseurAgenda::google)), 1);
    }

    void lectureEchoueeGardeLesRendezVous()
    {
        agenda_->actualiser(true);
        attendreLectures(1);
        banc_->serveur.injecter("/functions/v1/agenda/evenements", fakes::FauxSupabase::erreurFonction(500, "erreur_interne"));
        agenda_->actualiser(true);
        QTRY_VERIFY(agenda_->message().has_value());
        QTRY_VERIFY(!agenda_->lectureEnCours());
        QVERIFY(agenda_->message()->erreur);
        QCOMPARE(agenda_->evenements().size(), 1);
        QVERIFY(!agenda_->fonctionAbsente());
    }

    void nonConnecteVideLesRendezVous()
    {
        agenda_->actualiser(true);
        attendreLectures(1);
        faux_->ecrire(QJsonObject{});
        agenda_->actualiser(true);
        attendreLectures(2);
        QVERIFY(agenda_->evenements().isEmpty() && agenda_->connexions().isEmpty());
    }

    void retourDeConnexion_data()
    {
        QTest::addColumn<QString>("lien");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("relu");
        QTest::newRow("succes") << "vendalo2://agenda?statut=ok" << "Google Agenda est connecté. Vos rendez-vous arrivent." << true;
        QTest::newRow("page fermee") << "vendalo2://agenda?erreur=refuse" << "" << false;
        QTest::newRow("portee manquante") << "vendalo2://agenda?erreur=scope_manquant"
                                          << "Cochez l'accès à votre agenda sur l'écran de Google pour que Vendalo voie vos rendez-vous." << false;
        QTest::newRow("lien deja servi") << "vendalo2://agenda?erreur=etat_invalide" << "Ce lien de connexion a déjà servi. Réessayez." << false;
        QTest::newRow("code inconnu") << "vendalo2://agenda?erreur=zzz" << "La connexion à Google Agenda n'a pas abouti. Réessayez." << false;
        QTest::newRow("statut sans code") << "vendalo2://agenda?statut=echec" << "La connexion à Google Agenda n'a pas abouti. Réessayez." << false;
    }
    void retourDeConnexion()
    {
        QFETCH(QString, lien);
        QFETCH(QString, message);
        QFETCH(bool, relu);
        agenda_->connecter(FournisseurAgenda::google);
        QTRY_COMPARE(banc_->ouvreur.ouvertes.size(), 1);
        QCOMPARE(banc_->ouvreur.ouvertes[0], QUrl(faux_->pageConsentement));
        QCOMPARE(faux_->corpsConnexion[0].value("retour").toString(), QStringLiteral("vendalo2://agenda"));
        QCOMPARE(agenda_->connexionEnCours(), std::optional(FournisseurAgenda::google));
        // A second page is not opened while one is pending.
        agenda_->connecter(FournisseurAgenda::microsoft);
        QTest::qWait(20);
        QCOMPARE(faux_->connexionsDemandees, QStringList{"google"});
        agenda_->recevoirRetour(QUrl(lien));
        QTRY_VERIFY(!agenda_->connexionEnCours());
        QCOMPARE(agenda_->message() ? agenda_->message()->texte : QString(), message);
        if (relu)
            attendreLectures(1);
        QTest::qWait(20);
        QCOMPARE(faux_->lectures, relu ? 1 : 0);
    }

    // The screen's buttons: each click changes the agenda, the page follows once the click has returned.
    void connecterEtAnnulerDepuisLEcran()
    {
        agenda_->demarrer();
        ui::Contexte ctx;
        EcranAgenda page(ctx, agenda_.get());
        auto bouton = [&page](const QString& texte) -> QPushButton* {
            for (QPushButton* b : page.findChildren<QPushButton*>())
                if (b->text() == texte)
                    return b;
            return nullptr;
        };
        faux_->ecrire(QJsonObject{});
        agenda_->actualiser(true);
        QTRY_VERIFY(bouton("Connecter Google Agenda"));
        bouton("Connecter Google Agenda")->click();
        QCOMPARE(agenda_->connexionEnCours(), std::optional(FournisseurAgenda::google));
        QTRY_COMPARE(banc_->ouvreur.ouvertes.size(), 1);
        QTRY_VERIFY(bouton("Annuler"));
        bouton("Annuler")->click();
        QTRY_VERIFY(!agenda_->connexionEnCours());
        QTRY_VERIFY(bouton("Connecter Google Agenda"));
        QVERIFY(!bouton("Annuler"));
    }

    void consentementSansHttpsRefuse()
    {
        faux_->pageConsentement = "http://consentement.exemple.test/autoriser";
        agenda_->connecter(FournisseurAgenda::google);
        QTRY_VERIFY(!agenda_->connexionEnCours());
        QVERIFY(banc_->ouvreur.ouvertes.isEmpty());
        QVERIFY(agenda_->message() && agenda_->message()->erreur);
    }

    void annulerEtDelaiDeConnexion()
    {
        agenda_->connecter(FournisseurAgenda::google);
        QTRY_COMPARE(banc_->ouvreur.ouvertes.size(), 1);
        agenda_->annulerConnexion();
        QTRY_VERIFY(!agenda_->connexionEnCours());
        QVERIFY(!agenda_->message());

        agenda_->connecter(FournisseurAgenda::google);
        QTRY_COMPARE(banc_->ouvreur.ouvertes.size(), 2);
        banc_->horloge.avancer(Agenda::delaiConnexionMs);
        QTRY_VERIFY(!agenda_->connexionEnCours());
        QCOMPARE(agenda_->message()->texte, QStringLiteral("La connexion a pris plus de 10 minutes. Réessayez."));
    }

    void deconnexion()
    {
        agenda_->actualiser(true);
        attendreLectures(1);
        banc_->serveur.injecter("/functions/v1/agenda/deconnecter", fakes::FauxSupabase::erreurFonction(500, "erreur_interne"));
        agenda_->deconnecter(FournisseurAgenda::google);
        QTRY_VERIFY(agenda_->message().has_value());
        QVERIFY(agenda_->message()->erreur && agenda_->connexions().contains(FournisseurAgenda::google));
        QCOMPARE(agenda_->evenements().size(), 1);

        agenda_->deconnecter(FournisseurAgenda::google);
        QTRY_VERIFY(!agenda_->message()->erreur);
        QCOMPARE(agenda_->message()->texte, QStringLiteral("Agendas déconnectés. Plus aucun rappel avant vos rendez-vous."));
        QVERIFY(agenda_->connexions().isEmpty() && agenda_->evenements().isEmpty());
        QCOMPARE(faux_->deconnexionsDemandees, QStringList{"google"});
    }

    void sansCloudAucunAppel()
    {
        Agenda::Collaborateurs c;
        c.client = client_.get();
        c.lireContexte = [] { return ContexteAgenda{}; };
        c.horloge = &banc_->horloge;
        c.preferences = &prefs_;
        Agenda a(std::move(c));
        a.demarrer();
        banc_->horloge.avancer(3'600'000);
        QTest::qWait(50);
        QCOMPARE(faux_->lectures, 0);
        QVERIFY(!a.serveurPret());
    }

    void jours()
    {
        // 2 March 2026, 10:00 in Paris.
        const QDateTime t = maintenant();
        const auto j = Agenda::grouperParJour({evenement(t.addDays(2), true), evenement(t.addSecs(3600), true),
                                               evenement(t.addDays(1), false), evenement(t.addSecs(600), false)},
                                              t);
        QCOMPARE(j.size(), 3);
        QCOMPARE(j[0].libelle + '|' + j[1].libelle + '|' + j[2].libelle, QStringLiteral("Aujourd'hui|Demain|mercredi 4 mars"));
        QCOMPARE(j[0].evenements.size(), 2);
        QVERIFY(j[0].evenements[0].debut < j[0].evenements[1].debut);
    }

    void libelleProchain()
    {
        // Now: Monday 2 March 2026, 10:00 in Paris. Title blanks folded; no title: "Rendez-vous".
        const QDate j(2026, 3, 2);
        const std::tuple<QDateTime, const char*, const char*> cas[] = {
            {QDateTime(j, QTime(14, 30)), " Point\nAcme ", "Prochain : Point Acme à 14:30"},
            {QDateTime(j.addDays(1), QTime(9, 5)), "  ", "Prochain : demain à 09:05, Rendez-vous"},
            {QDateTime(j.addDays(3), QTime(16, 0)), "Démo", "Prochain : jeudi 5 mars à 16:00, Démo"}};
        for (const auto& [debut, titre, attendu] : cas) {
            EvenementAgenda e = evenement(debut, true);
            e.titre = QString::fromUtf8(titre);
            QCOMPARE(Agenda::libelleProchain(e, maintenant()), QString::fromUtf8(attendu));
        }
    }

    void invitationMasquee()
    {
        agenda_->masquerInvitation(3);
        QVERIFY(agenda_->invitationMasquee());
        banc_->horloge.avancer(3 * 86'400'000LL - 1000);
        QVERIFY(agenda_->invitationMasquee());
        banc_->horloge.avancer(2000);
        QVERIFY(!agenda_->invitationMasquee());
    }
};

QTEST_MAIN(TstAgenda)
#include "tst_agenda.moc"
