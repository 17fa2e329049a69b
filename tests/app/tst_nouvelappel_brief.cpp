// The new-call screen with its brief, offscreen: generating shows the brief in
// a card and "Passer à l'appel" carries it; a failure shows its message; a
// brief made for another contact or call type is dropped.
#include "environnementvendalo.h"
#include "ai/demonstration.h"
#include "ai/erreursclaude.h"
#include "ai/generateurbrief.h"
#include "ai/moteur.h"
#include "app/ecrans/ecrannouvelappel.h"
#include "app/ecrans/fenetreprincipale.h"
#include "fakes/clientiascripte.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace vd;
using namespace vd::app;

namespace {

// Apostrophes in raw strings are written \u0027: the moc of Qt 6.4 misreads a raw string holding one.
const char* reponse = R"({"pointsCles":["Claire a repris le projet en mars."],
  "objectionsProbables":[{"objection":"C\u0027est trop cher.","parade":"Par rapport à quoi ?"}],
  "questions":["Qui signe ?","Pour quand ?"],"objectifMesurable":"Obtenir une démo datée.",
  "ouverture":"Bonjour Claire, on reprend où on en était ?","briefEtapes":[],"qualification":[]})";

model::Etat etat()
{
    model::Etat e;
    e.contacts = {claireMartin(), {.id = "c2", .prenom = "Marc", .nom = "Martin", .societe = "Brevia", .etape = "proposition"}};
    return e;
}

struct Banc {
    platform::HorlogeFactice horloge;
    ai::Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
    model::Store store{QString(), horloge};
    fakes::ClientIAScripte client;
    ai::GenerateurBrief generateur{store, moteur, client};
    Contexte ctx;
    QList<call::ConfigAppel> ouverts;
    std::unique_ptr<EcranNouvelAppel> ecran;

    explicit Banc(bool avecBriefs = true)
    {
        store.remplacerEtat(etat());
        ctx.store = &store;
        ctx.horloge = &horloge;
        ctx.briefs = avecBriefs ? &generateur : nullptr;
        ctx.ouvrirPreVol = [this](const call::ConfigAppel& c) { ouverts << c; };
        ecran = std::make_unique<EcranNouvelAppel>(ctx);
        ecran->resize(900, 1400);
        ecran->afficher(Ecran::nouvelAppel(QStringLiteral("c1")));
    }
    QPushButton* bouton(const char* nom) const { return ecran->findChild<QPushButton*>(QString::fromLatin1(nom)); }
    QComboBox* liste(const char* nom) const { return ecran->findChild<QComboBox*>(QString::fromLatin1(nom)); }
    bool visible(QWidget* w) const { return w && w->isVisibleTo(ecran.get()); }
    QWidget* carte() const { return ecran->findChild<QWidget*>(QStringLiteral("carteBrief")); }
    QStringList texteCarte() const
    {
        QStringList t;
        for (QLabel* l : carte()->findChildren<QLabel*>())
            t << l->text();
        return t;
    }
    void choisir(const char* liste_, const QString& valeur) { liste(liste_)->setCurrentIndex(liste(liste_)->findData(valeur)); }
    // Clicks "Générer le brief" and answers the request with the given text.
    void genererAvec(const QString& texte)
    {
        QTest::mouseClick(bouton("genererBrief"), Qt::LeftButton);
        QVERIFY(client.derniere());
        client.derniere()->terminer(texte);
    }
};

} // namespace

class TestNouvelAppelBrief : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { preparerEcrans(); }

    void briefGenereAfficheEtTransmis()
    {
        Banc b;
        // Before the brief: generate it, or go without.
        QVERIFY(b.visible(b.bouton("genererBrief")));
        QCOMPARE(b.bouton("genererBrief")->text(), QStringLiteral("Générer le brief"));
        QCOMPARE(b.bouton("genererBrief")->property("role").toString(), QStringLiteral("primaire"));
        QVERIFY(b.visible(b.bouton("passerSansBrief")));
        QVERIFY(!b.visible(b.bouton("passerAlAppel")));
        QVERIFY(!b.visible(b.carte()));

        QTest::mouseClick(b.bouton("genererBrief"), Qt::LeftButton);
        QCOMPARE(b.client.requetes.size(), 1);
        QCOMPARE(b.client.requetes.first().tache, QStringLiteral("brief"));
        QCOMPARE(b.client.requetes.first().payload.toObject().value(QStringLiteral("type")).toString(), QStringLiteral("demo"));
        // Busy: the button waits and the screen says so.
        QVERIFY(!b.bouton("genererBrief")->isEnabled());
        QVERIFY(b.visible(b.ecran->findChild<QLabel*>(QStringLiteral("briefEnCours"))));
        QTest::mouseClick(b.bouton("genererBrief"), Qt::LeftButton);
        QCOMPARE(b.client.requetes.size(), 1);

        b.client.derniere()->terminer(QString::fromUtf8(reponse));
        QVERIFY(b.bouton("genererBrief")->isEnabled());
        QVERIFY(!b.visible(b.ecran->findChild<QLabel*>(QStringLiteral("briefEnCours"))));
        QVERIFY(b.visible(b.carte()));
        const QStringList t = b.texteCarte();
        for (const QString& attendu : {QStringLiteral("Obtenir une démo datée."), QStringLiteral("« Bonjour Claire, on reprend où on en était ? »"),
                                       QStringLiteral("• Claire a repris le projet en mars."), QStringLiteral("• C'est trop cher.\n   → Par rapport à quoi ?"),
                                       QStringLiteral("• Qui signe ?\n• Pour quand ?")})
            QVERIFY2(t.contains(attendu), qPrintable(t.join(QStringLiteral(" | "))));
        QVERIFY(b.visible(b.bouton("passerAlAppel")));
        QCOMPARE(b.bouton("passerAlAppel")->property("role").toString(), QStringLiteral("primaire"));
        QCOMPARE(b.bouton("genererBrief")->property("role").toString(), QString());
        QCOMPARE(b.bouton("genererBrief")->text(), QStringLiteral("Refaire le brief"));

        QTest::mouseClick(b.bouton("passerAlAppel"), Qt::LeftButton);
        QCOMPARE(b.ouverts.size(), 1);
        QCOMPARE(b.ouverts.first().contactId.value_or(QString()), QStringLiteral("c1"));
        QCOMPARE(b.ouverts.first().type, QStringLiteral("demo"));
        QVERIFY(b.ouverts.first().brief);
        QCOMPARE(b.ouverts.first().brief->objectifMesurable, QStringLiteral("Obtenir une démo datée."));
        QCOMPARE(b.ouverts.first().brief, b.ecran->brief());

        QTest::mouseClick(b.bouton("passerSansBrief"), Qt::LeftButton);
        QCOMPARE(b.ouverts.size(), 2);
        QVERIFY(!b.ouverts.last().brief);
    }

    void echecAfficheLeMessage()
    {
        Banc b;
        QTest::mouseClick(b.bouton("genererBrief"), Qt::LeftButton);
        b.client.derniere()->echouer(ai::messages::reseau);
        QCOMPARE(b.ecran->erreurAffichee(), QStringLiteral("Le brief n'a pas pu être généré. Vérifiez votre connexion et réessayez."));
        QVERIFY(!b.visible(b.carte()));
        QVERIFY(!b.ecran->brief());
        QVERIFY(b.bouton("genererBrief")->isEnabled());
        QVERIFY(!b.visible(b.bouton("passerAlAppel")));
        QVERIFY(b.ouverts.isEmpty());

        // A brief already shown stays when a new attempt fails.
        b.genererAvec(QString::fromUtf8(reponse));
        QVERIFY(b.ecran->erreurAffichee().isEmpty());
        QTest::mouseClick(b.bouton("genererBrief"), Qt::LeftButton);
        b.client.derniere()->terminer(QStringLiteral("Je ne peux pas."));
        QCOMPARE(b.ecran->erreurAffichee(), QStringLiteral("Le brief reçu est illisible. Réessayez dans un instant."));
        QVERIFY(b.ecran->brief());
        QVERIFY(b.visible(b.carte()));
    }

    void changerDeContactOuDeTypeEfface_data()
    {
        QTest::addColumn<QString>("liste");
        QTest::addColumn<QString>("valeur");
        QTest::addColumn<bool>("garde");
        QTest::newRow("autre contact") << "contact" << "c2" << false;
        QTest::newRow("autre type") << "typeAppel" << "closing" << false;
        QTest::newRow("autre langue") << "langue" << "en" << false;
        QTest::newRow("même type") << "typeAppel" << "demo" << true;
    }
    void changerDeContactOuDeTypeEfface()
    {
        QFETCH(QString, liste);
        QFETCH(QString, valeur);
        QFETCH(bool, garde);
        Banc b;
        b.genererAvec(QString::fromUtf8(reponse));
        QVERIFY(b.ecran->brief());
        b.choisir(liste.toLatin1().constData(), valeur);
        QCOMPARE(b.ecran->brief().has_value(), garde);
        QCOMPARE(b.visible(b.carte()), garde);
        QCOMPARE(b.visible(b.bouton("passerAlAppel")), garde);
        QTest::mouseClick(b.bouton("passerSansBrief"), Qt::LeftButton);
        QVERIFY(!b.ouverts.last().brief);
    }

    void objectifModifieGardeLeBrief()
    {
        Banc b;
        b.genererAvec(QString::fromUtf8(reponse));
        b.ecran->findChild<QLineEdit*>(QStringLiteral("objectif"))->setText(QStringLiteral("Caler la démo jeudi"));
        QTest::mouseClick(b.bouton("passerAlAppel"), Qt::LeftButton);
        QCOMPARE(b.ouverts.last().objectif, QStringLiteral("Caler la démo jeudi"));
        QVERIFY(b.ouverts.last().brief);
    }

    void changerDeContactPendantLaGeneration()
    {
        Banc b;
        QTest::mouseClick(b.bouton("genererBrief"), Qt::LeftButton);
        QPointer<fakes::DemandeScriptee> d = b.client.derniere();
        b.choisir("contact", QStringLiteral("c2"));
        QVERIFY(d && d->annulee);
        QVERIFY(!b.generateur.enCours());
        QVERIFY(b.bouton("genererBrief")->isEnabled());
        QVERIFY(!b.visible(b.ecran->findChild<QLabel*>(QStringLiteral("briefEnCours"))));
        QVERIFY(!b.ecran->brief());
        QVERIFY(b.ecran->erreurAffichee().isEmpty());
    }

    void nouveauContactGardeLeTypeChoisi()
    {
        Banc b;
        b.choisir("contact", QString());   // "Nouveau contact…"
        QCOMPARE(b.liste("typeAppel")->currentData().toString(), QStringLiteral("prospection"));
        b.choisir("typeAppel", QStringLiteral("decouverte"));
        // The brief needs someone to call.
        QTest::mouseClick(b.bouton("genererBrief"), Qt::LeftButton);
        QCOMPARE(b.ecran->erreurAffichee(), QStringLiteral("Indiquez au moins un nom ou une société."));
        QVERIFY(b.client.requetes.isEmpty());

        b.ecran->findChild<QLineEdit*>(QStringLiteral("societe"))->setText(QStringLiteral("Acme"));
        b.genererAvec(QString::fromUtf8(reponse));
        QCOMPARE(b.store.etat().contacts.size(), 3);
        const model::Contact& cree = b.store.etat().contacts.last();
        QCOMPARE(cree.societe, QStringLiteral("Acme"));
        QCOMPARE(b.liste("contact")->currentData().toString(), cree.id);
        // The type the user chose survives the creation of the contact.
        QCOMPARE(b.liste("typeAppel")->currentData().toString(), QStringLiteral("decouverte"));
        QCOMPARE(b.client.requetes.first().payload.toObject().value(QStringLiteral("contact")).toObject().value(QStringLiteral("societe")).toString(),
                 QStringLiteral("Acme"));
        QVERIFY(b.ecran->brief());
        QTest::mouseClick(b.bouton("passerAlAppel"), Qt::LeftButton);
        QCOMPARE(b.ouverts.last().contactId.value_or(QString()), cree.id);
        QCOMPARE(b.ouverts.last().type, QStringLiteral("decouverte"));
        QVERIFY(b.ouverts.last().brief);
        QCOMPARE(b.store.etat().contacts.size(), 3);
    }

    void routeDeDemonstrationDansLApplication()
    {
        // The whole program, no key and no account: a contact of the demonstration data gets the canned brief.
        std::optional<model::Etat> demo = ai::etatDemonstration(ai::Moteur::instance());
        QVERIFY(demo);
        BancApplication b({.etat = demo, .depart = QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC), .demarrer = false});
        Application& app = *b.app;
        QVERIFY(app.contexte().briefs);
        app.navigation().aller(Ecran::nouvelAppel(QStringLiteral("c_garnier")));
        auto* page = qobject_cast<EcranNouvelAppel*>(app.fenetre()->pageCourante());
        QVERIFY(page);
        page->genererBrief();
        QVERIFY(app.contexte().briefs->enCours());
        // The imitated streaming of the canned route runs on the fake clock (beside the app's other timers).
        QVERIFY(b.tourner([&] { return page->brief().has_value(); }, 50, 200, 2));
        QVERIFY2(page->erreurAffichee().isEmpty(), qPrintable(page->erreurAffichee()));
        QVERIFY(page->brief()->ouverture.startsWith(QStringLiteral("Bonjour Sophie Garnier")));
        QCOMPARE(page->brief()->qualification.size(), 4);
    }

    void sansGenerateur()
    {
        Banc b(false);
        QVERIFY(!b.visible(b.bouton("genererBrief")));
        QVERIFY(b.visible(b.bouton("passerAlAppel")));
        QTest::mouseClick(b.bouton("passerAlAppel"), Qt::LeftButton);
        QCOMPARE(b.ouverts.size(), 1);
        QVERIFY(!b.ouverts.first().brief);
    }
};

QTEST_MAIN(TestNouvelAppelBrief)
#include "tst_nouvelappel_brief.moc"
