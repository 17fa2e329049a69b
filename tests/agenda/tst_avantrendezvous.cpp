// Cards before a meeting on the fake clock: the window's edges, what each
// offers, skips, preparing, joining with a brief that hangs past its limit,
// and the stack's waiting and hover pause.
#include "agenda/avantrendezvous.h"
#include "../crm/commun_crm.h"

#include <QtTest>
#include <qcoro/qcorotask.h>

using namespace vd;
using namespace vd::agenda;

namespace {

// Serves a fixed list of meetings at once.
class ClientFixe final : public ClientAgenda {
public:
    QList<RendezVousAgenda> rdv;
    QCoro::Task<ResultatCloud<EtatServeurAgenda>> etat() override { co_return EtatServeurAgenda{}; }
    QCoro::Task<ResultatCloud<ReponseEvenementsAgenda>> evenements(int) override
    {
        LectureAgenda l;
        l.connexions = {ConnexionAgenda{FournisseurAgenda::google, QStringLiteral("lea@vendeur.fr"), std::nullopt}};
        l.rendezVous = rdv;
        co_return ReponseEvenementsAgenda(l);
    }
    QCoro::Task<ResultatCloud<QUrl>> connecter(FournisseurAgenda) override { co_return QUrl(); }
    void annulerConnexion() override {}
    void recevoirRetour(const QUrl&) override {}
    QCoro::Task<ResultatCloudVide> deconnecter(FournisseurAgenda) override { co_return Rien{}; }
};

RendezVousAgenda rdv(const QString& id, const QDateTime& debut, const QString& email)
{
    return {.id = id, .titre = "Point " + id, .debut = debut, .lienVisio = "https://visio.exemple.fr/" + id, .invites = {{.email = email}}};
}

} // namespace

class TstAvantRendezVous : public QObject {
    Q_OBJECT

    std::unique_ptr<platform::HorlogeFactice> horloge_;
    std::unique_ptr<platform::PreferencesMemoire> prefs_;
    ClientFixe client_;
    std::unique_ptr<Agenda> agenda_;
    std::unique_ptr<PileNotifications> pile_;
    std::unique_ptr<AvantRendezVous> avant_;
    std::optional<BriefAgenda> pret_;
    QList<AvantRendezVous::RetourBrief> generations_;
    QList<QUrl> ouverts_;
    QList<std::pair<QString, bool>> appels_;   // meeting id, with a brief
    std::optional<QString> refus_;

    QDateTime debut() const { return QDateTime(QDate(2026, 3, 2), QTime(10, 0), Qt::UTC); }
    void lire(QList<RendezVousAgenda> l)
    {
        client_.rdv = std::move(l);
        agenda_->actualiser(true);
        QTRY_VERIFY(agenda_->derniereLecture() && !agenda_->lectureEnCours());
    }
    // Moves the clock so the meeting starts in dtS seconds, and evaluates.
    void a(qint64 dtS)
    {
        horloge_->fixer(debut().addSecs(-dtS));
        avant_->evaluer();
    }
    std::optional<CarteNotification> carte(const QString& id = "e1") const
    {
        for (const auto& e : pile_->entrees())
            if (e.carte.id == "rdv:" + id)
                return e.carte;
        return std::nullopt;
    }

private Q_SLOTS:
    void init()
    {
        horloge_ = std::make_unique<platform::HorlogeFactice>(debut().addSecs(-3600));
        prefs_ = std::make_unique<platform::PreferencesMemoire>();
        pret_.reset();
        generations_.clear();
        ouverts_.clear();
        appels_.clear();
        refus_.reset();
        Agenda::Collaborateurs ca;
        ca.client = &client_;
        ca.lireContexte = [] { return ContexteAgenda{true, true, QStringLiteral("lea@vendeur.fr")}; };
        ca.lireContacts = [] { return QList<model::Contact>{{.id = "c1", .email = "paul@acme.fr"}}; };
        ca.horloge = horloge_.get();
        ca.preferences = prefs_.get();
        agenda_ = std::make_unique<Agenda>(std::move(ca));
        pile_ = std::make_unique<PileNotifications>(horloge_.get());
        AvantRendezVous::Collaborateurs c;
        c.agenda = agenda_.get();
        c.pile = pile_.get();
        c.horloge = horloge_.get();
        c.preferences = prefs_.get();
        c.briefPret = [this](const EvenementAgenda&) { return pret_; };
        c.genererBrief = [this](const EvenementAgenda&, AvantRendezVous::RetourBrief r) { generations_.append(std::move(r)); };
        c.ouvrirLien = [this](const QUrl& u) {
            ouverts_.append(u);
            return true;
        };
        c.demarrerAppel = [this](const EvenementAgenda& e, const std::optional<BriefAgenda>& b) {
            appels_.append({e.id, b.has_value()});
            return refus_;
        };
        avant_ = std::make_unique<AvantRendezVous>(std::move(c));
        pile_->executerAction = [this](const CarteNotification& k) { avant_->executer(k); };
        lire({rdv("e1", debut(), "paul@acme.fr")});
    }
    void cleanup()
    {
        avant_.reset();
        pile_.reset();
        agenda_.reset();
        horloge_.reset();
    }

    void fenetre_data()
    {
        QTest::addColumn<qint64>("dt");
        QTest::addColumn<bool>("briefPret");
        QTest::addColumn<QString>("action");   // "-": no card; "": a card without a button
        QTest::newRow("11 min avant") << qint64(660) << false << "-";
        QTest::newRow("-601 s") << qint64(601) << false << "-";
        QTest::newRow("-600 s") << qint64(600) << false << "Préparer le brief";
        QTest::newRow("-301 s") << qint64(301) << false << "Préparer le brief";
        QTest::newRow("-301 s, brief prêt") << qint64(301) << true << "";
        QTest::newRow("-300 s") << qint64(300) << false << "Rejoindre avec Quillo";
        QTest::newRow("-300 s, brief prêt") << qint64(300) << true << "Rejoindre avec Quillo";
        QTest::newRow("+299 s") << qint64(-299) << true << "Rejoindre avec Quillo";
        QTest::newRow("+300 s") << qint64(-300) << false << "-";
    }
    void fenetre()
    {
        QFETCH(qint64, dt);
        QFETCH(bool, briefPret);
        QFETCH(QString, action);
        if (briefPret)
            pret_ = BriefAgenda{};
        a(dt);
        const auto c = carte();
        QCOMPARE(c.has_value(), action != "-");
        if (c)
            QCOMPARE(c->action.value_or(QString()), action);
    }

    void carteVitSaFenetreEtSurvitAPreparer()
    {
        a(600);
        QVERIFY(carte());
        // Past the stack's 8 s, and across evaluations, the card stays in place.
        horloge_->avancer(30'000);
        avant_->evaluer();
        QVERIFY(carte());
        pile_->executer(*carte());
        QCOMPARE(generations_.size(), 1);
        QVERIFY(carte());
        QCOMPARE(carte()->infos.value("suivi"), AvantRendezVous::textePreparation);
        // A second click while it runs starts nothing.
        pile_->executer(*carte());
        QCOMPARE(generations_.size(), 1);
        generations_[0](std::nullopt);
        QCOMPARE(carte()->infos.value("suivi"), AvantRendezVous::echecPreparation);
        a(-300);
        QVERIFY(!carte());
    }

    void ignores_data()
    {
        QTest::addColumn<QString>("cas");
        for (const char* cas : {"journee", "annule", "seul", "ignore", "serie", "inactif"})   // "seul": nobody to follow
            QTest::newRow(cas) << QString::fromLatin1(cas);
    }
    void ignores()
    {
        QFETCH(QString, cas);
        RendezVousAgenda r = rdv("e1", debut(), "paul@acme.fr");
        r.serie = "hebdo";
        if (cas == "journee")
            r.journeeEntiere = true;
        if (cas == "annule")
            r.annule = true;
        if (cas == "seul")
            r.invites.clear();
        lire({r});
        if (cas == "ignore")
            avant_->ignorer("e1", false);
        if (cas == "serie")
            avant_->ignorer("e1", true);
        if (cas == "inactif")
            avant_->setActif(false);
        a(120);
        QVERIFY(!carte());
    }

    void rejoindreAvecLeBriefPret()
    {
        pret_ = BriefAgenda{};
        a(240);
        pile_->executer(*carte());
        QCOMPARE(ouverts_, QList<QUrl>{QUrl("https://visio.exemple.fr/e1")});
        QCOMPARE(appels_, (QList<std::pair<QString, bool>>{{QStringLiteral("e1"), true}}));
        QVERIFY(generations_.isEmpty());
        // Joined: the card goes and does not come back.
        QVERIFY(!carte());
        a(200);
        QVERIFY(!carte());
    }

    void briefQuiTraineAuDelaDuDelai()
    {
        a(240);
        pile_->executer(*carte());
        QCOMPARE(generations_.size(), 1);
        QVERIFY(appels_.isEmpty());
        horloge_->avancer(AvantRendezVous::delaiBriefMs - 1);
        QVERIFY(appels_.isEmpty());
        horloge_->avancer(1);
        QCOMPARE(appels_, (QList<std::pair<QString, bool>>{{QStringLiteral("e1"), false}}));
        QCOMPARE(avant_->suivis().value("e1").texte, AvantRendezVous::demarrage);
        // The late brief changes nothing.
        generations_[0](BriefAgenda{});
        QCOMPARE(appels_.size(), 1);
    }

    // A link that is not a web address is never opened; a refused call leaves the card with its failure.
    void lienNonWebEtAppelRefuse()
    {
        RendezVousAgenda r = rdv("e1", debut(), "paul@acme.fr");
        r.lienVisio = "file:///etc/passwd";
        lire({r});
        pret_ = BriefAgenda{};
        refus_ = "Un appel est déjà en cours.";
        a(60);
        pile_->executer(*carte());
        QVERIFY(ouverts_.isEmpty());
        QCOMPARE(appels_.size(), 1);
        QVERIFY(carte());
        QCOMPARE(carte()->infos.value("suivi"), AvantRendezVous::echecDemarrage);
    }

    void pileAttenteEtSurvol()
    {
        PileNotifications pile(horloge_.get());
        for (int i = 0; i < 5; ++i)
            pile.ajouter(CarteNotification{QStringLiteral("notif:%1").arg(i)});
        QVERIFY(pile.entrees().size() == 4 && pile.enAttente().size() == 1);
        // Same id: replaced in place, nothing added.
        CarteNotification autre{QStringLiteral("notif:1")};
        autre.titre = "Nouveau titre";
        pile.ajouter(autre);
        QCOMPARE(pile.entrees()[1].carte.titre, QStringLiteral("Nouveau titre"));
        QCOMPARE(pile.entrees().size() + pile.enAttente().size(), 5);
        // Hover pauses the countdown; leaving gives at least 2 s.
        horloge_->avancer(7'000);
        pile.setSurvolee(true);
        horloge_->avancer(60'000);
        QCOMPARE(pile.entrees().size(), 4);
        pile.setSurvolee(false);
        horloge_->avancer(1'750);
        QCOMPARE(pile.entrees().size(), 4);
        horloge_->avancer(250);
        QCOMPARE(pile.entrees().size(), 1);
        QCOMPARE(pile.entrees()[0].carte.id, QStringLiteral("notif:4"));
        // A forgotten-call card stays until closed.
        CarteNotification oubli{QStringLiteral("notif:oubli")};
        oubli.type = TypeNotification::appelOublie;
        pile.ajouter(oubli);
        horloge_->avancer(600'000);
        QVERIFY(pile.contient("notif:oubli"));
        pile.retirer("notif:oubli");
        QVERIFY(!pile.contient("notif:oubli"));
    }
};

QTEST_GUILESS_MAIN(TstAvantRendezVous)
#include "tst_avantrendezvous.moc"
