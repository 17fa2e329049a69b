// The team section of the Équipe page on a scripted backend: what a manager and
// a salesperson see (seats, members, invitations, forms), an invitation sent
// then refused with the server's French message, and the page without account.
#include "cloud/compte.h"
#include "cloud/ecrans/sectionequipe.h"
#include "outilscloud.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace vd;
using cloud::Compte;
using cloud::SectionEquipe;
using fakes::ReponseHttpFactice;

namespace {

QJsonObject equipe(const QString& role, bool gestionnaire)
{
    return QJsonDocument::fromJson(QStringLiteral(R"({
        "organisation": {"id": "o1", "nom": "Ventes Nord"}, "sieges": 10, "placesLibres": 3,
        "roleOrg": "%1", "gestionnaire": %2,
        "membres": [{"id": "m1", "email": "paule@exemple.fr", "nom": "Paule", "roleOrg": "proprietaire",
                     "derniereActivite": "2026-03-05T13:20:00.000Z", "appels30j": 12},
                    {"id": "m2", "email": "kim@exemple.fr", "roleOrg": "commercial", "appels30j": 1}],
        "invitations": [{"id": "i1", "email": "lea@exemple.fr", "roleOrg": "manager", "emailStatut": "envoye",
                         "emailLe": "2026-03-04T09:00:00.000Z", "creeLe": "2026-03-04T09:00:00.000Z"}]})")
        .arg(role, gestionnaire ? QStringLiteral("true") : QStringLiteral("false")).toUtf8()).object();
}

} // namespace

class TestSectionEquipe : public QObject {
    Q_OBJECT

    std::unique_ptr<tests::BancCloud> b;
    QTemporaryDir dossier;
    platform::ReseauFactice reseau;
    std::unique_ptr<Compte> compte;
    QJsonObject vue;
    QList<QJsonObject> actions;
    ReponseHttpFactice reponseAction = ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("id"), QStringLiteral("i2")}});

    bool connecterAvec(const QJsonObject& equipeVue)
    {
        vue = equipeVue;
        compte->demarrer();
        QSignalSpy rafraichi(compte.get(), &Compte::rafraichi);
        return b->connecter() && (rafraichi.count() > 0 || rafraichi.wait(10'000));
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<tests::BancCloud>();
        QVERIFY(b->demarrer());
        b->serveur.surProcedure(QStringLiteral("mon_compte"), [](const fakes::RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("compte"), QJsonObject{{QStringLiteral("email"), QStringLiteral("lea@exemple.fr")}}}});
        });
        b->serveur.surProcedure(QStringLiteral("mon_equipe"), [this](const fakes::RequeteHttp&) { return ReponseHttpFactice::json(200, vue); });
        b->serveur.surFonction(QStringLiteral("equipe"), [this](const fakes::RequeteHttp& r) {
            actions.append(r.json().toObject());
            return reponseAction;
        });
        compte = std::make_unique<Compte>(b->client.get(), dossier.path(), reseau, b->horloge);
        actions.clear();
    }
    void cleanup()
    {
        compte.reset();
        b.reset();
    }

    void textes()
    {
        QStringList t;
        for (int n : {3, 1, 0})
            t << SectionEquipe::textePlaces(n, 10) + QStringLiteral(" · ") + SectionEquipe::texteAppels(n);
        QCOMPARE(t, (QStringList{QStringLiteral("3 places libres sur 10 · 3 appels sur 30 jours"),
                                 QStringLiteral("1 place libre sur 10 · 1 appel sur 30 jours"),
                                 QStringLiteral("Aucune place libre sur 10 · Aucun appel sur 30 jours")}));
    }

    // A manager manages (forms, role choices, invitations); a salesperson only sees the members.
    void vueSelonLeRole_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<bool>("gestionnaire");
        QTest::addColumn<int>("choixDeRole");
        QTest::addColumn<int>("invitations");
        QTest::newRow("manager") << "manager" << true << 1 << 1;      // not the owner's role
        QTest::newRow("propriétaire") << "proprietaire" << true << 2 << 1;
        QTest::newRow("commercial") << "commercial" << false << 0 << 0;
    }
    void vueSelonLeRole()
    {
        QFETCH(QString, role);
        QFETCH(bool, gestionnaire);
        QFETCH(int, choixDeRole);
        QFETCH(int, invitations);
        QJsonObject v = equipe(role, gestionnaire);
        if (!gestionnaire)
            v.insert(QStringLiteral("invitations"), QJsonArray());
        QVERIFY(connecterAvec(v));
        SectionEquipe s(compte.get());
        s.resize(900, 700);
        s.show();
        QCOMPARE(s.findChild<QLabel*>(QStringLiteral("places"))->text(), QStringLiteral("3 places libres sur 10"));
        QCOMPARE(s.findChildren<QWidget*>(QStringLiteral("membre")).size(), 2);
        QStringList textes;
        for (QLabel* l : s.findChildren<QLabel*>())
            textes << l->text();
        QVERIFY(textes.contains(QStringLiteral("Paule")));
        QVERIFY(textes.contains(QStringLiteral("paule@exemple.fr · Dernière activité le 5 mars · 12 appels sur 30 jours")));
        QCOMPARE(s.findChildren<QComboBox*>(QStringLiteral("roleMembre")).size(), choixDeRole);
        QCOMPARE(s.findChild<QPushButton*>(QStringLiteral("inviter"))->isVisible(), gestionnaire);
        int visibles = 0;
        for (QWidget* w : s.findChildren<QWidget*>(QStringLiteral("invitation")))
            visibles += w->isVisible();
        QCOMPARE(visibles, invitations);
        if (invitations)
            QVERIFY(textes.contains(QStringLiteral("Manager · e-mail envoyé le 4 mars")));
    }

    // The invitation goes with the form's fields; a refusal shows the server's message.
    void invitationPuisRefus()
    {
        QVERIFY(connecterAvec(equipe(QStringLiteral("manager"), true)));
        SectionEquipe s(compte.get());
        s.findChild<QLineEdit*>(QStringLiteral("emailInvitation"))->setText(QStringLiteral(" marc@exemple.fr "));
        QSignalSpy fini(&s, &SectionEquipe::actionTerminee);
        s.findChild<QPushButton*>(QStringLiteral("inviter"))->click();
        QVERIFY(fini.wait(10'000));
        QCOMPARE(actions.value(0), (QJsonObject{{QStringLiteral("action"), QStringLiteral("inviter")},
                                                {QStringLiteral("email"), QStringLiteral("marc@exemple.fr")},
                                                {QStringLiteral("role_org"), QStringLiteral("commercial")},
                                                {QStringLiteral("envoyer_email"), true}}));
        QCOMPARE(s.message(), QStringLiteral("Invitation envoyée à marc@exemple.fr."));
        QVERIFY(s.findChild<QLineEdit*>(QStringLiteral("emailInvitation"))->text().isEmpty());
        QTRY_COMPARE(b->serveur.nombre("POST", QStringLiteral("/rest/v1/rpc/mon_equipe")), 2);

        reponseAction = fakes::FauxSupabase::erreurFonction(400, QStringLiteral("requete_invalide"),
                                                            QStringLiteral("Une invitation est déjà en attente pour cette adresse."));
        s.findChild<QLineEdit*>(QStringLiteral("emailInvitation"))->setText(QStringLiteral("marc@exemple.fr"));
        s.findChild<QPushButton*>(QStringLiteral("inviter"))->click();
        QVERIFY(fini.wait(10'000));
        QCOMPARE(fini.last().at(0).toBool(), false);
        QCOMPARE(s.message(), QStringLiteral("Une invitation est déjà en attente pour cette adresse."));
        QCOMPARE(s.findChild<QLineEdit*>(QStringLiteral("emailInvitation"))->text(), QStringLiteral("marc@exemple.fr"));
    }

    // A refused role change shows the message and puts the member's role back.
    void changementDeRoleRefuse()
    {
        QVERIFY(connecterAvec(equipe(QStringLiteral("manager"), true)));
        SectionEquipe s(compte.get());
        reponseAction = fakes::FauxSupabase::erreurFonction(400, QStringLiteral("requete_invalide"),
                                                            QStringLiteral("Ce membre ne fait plus partie de l'équipe."));
        QSignalSpy fini(&s, &SectionEquipe::actionTerminee);
        auto* choix = s.findChild<QComboBox*>(QStringLiteral("roleMembre"));
        choix->setCurrentIndex(1);
        Q_EMIT choix->activated(1);
        QVERIFY(fini.wait(10'000));
        QCOMPARE(actions.value(0).value(QStringLiteral("role_org")).toString(), QStringLiteral("manager"));
        QCOMPARE(s.message(), QStringLiteral("Ce membre ne fait plus partie de l'équipe."));
        QTRY_COMPARE(s.findChildren<QComboBox*>(QStringLiteral("roleMembre")).size(), 1);   // the old one deleted
        QCOMPARE(s.findChild<QComboBox*>(QStringLiteral("roleMembre"))->currentData().toString(), QStringLiteral("commercial"));
    }

    // Removing asks first; cancelled, nothing is sent.
    void retraitConfirme()
    {
        QVERIFY(connecterAvec(equipe(QStringLiteral("proprietaire"), true)));
        SectionEquipe s(compte.get());
        QStringList questions;
        bool accepte = false;
        s.confirmer = [&](const QString& q) {
            questions << q;
            return accepte;
        };
        QList<QPushButton*> retirer = s.findChildren<QPushButton*>(QStringLiteral("retirerMembre"));
        QCOMPARE(retirer.size(), 2);
        retirer.last()->click();
        QCOMPARE(questions.value(0), QStringLiteral("Retirer kim@exemple.fr de l'équipe ? Son compte et ses données restent ; "
                                                    "seul son accès à l'équipe prend fin."));
        QVERIFY(actions.isEmpty());
        accepte = true;
        QSignalSpy fini(&s, &SectionEquipe::actionTerminee);
        retirer.last()->click();
        QVERIFY(fini.wait(10'000));
        QCOMPARE(actions.value(0), (QJsonObject{{QStringLiteral("action"), QStringLiteral("retirer")}, {QStringLiteral("membre"), QStringLiteral("m2")}}));
    }

    // Without a backend (demonstration) the page explains and offers the account screen.
    void sansCompte()
    {
        SectionEquipe s(nullptr);
        int ouvert = 0;
        s.ouvrirCompte = [&] { ++ouvert; };
        s.show();
        QVERIFY(!s.findChild<QLabel*>(QStringLiteral("places"))->isVisible());
        s.findChild<QPushButton*>(QStringLiteral("ouvrirCompte"))->click();
        QCOMPARE(ouvert, 1);
    }
};

QTEST_MAIN(TestSectionEquipe)
#include "tst_sectionequipe.moc"
