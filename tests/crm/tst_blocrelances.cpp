// The follow-up block of a call sheet, clicked as a user would: each step's
// writing state and error, "L'écrire moi-même", edit, remove, the channel of
// every step to come, the long tail, and a lost deal stopping the sequence.
#include "ai/moteur.h"
#include "crm/ecrans/blocrelances.h"
#include "crm/ecrans/dialogueetape.h"
#include "crm/ecriturerelances.h"
#include "crm/operationscrm.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"
#include "ui/toasts.h"
#include "commun_crm.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace vd;
using namespace vd::crm;

using tests::etapeRelance;

class TstBlocRelances : public QObject {
    Q_OBJECT

    platform::HorlogeFactice horloge{QDateTime(QDate(2026, 12, 4), QTime(7, 0), Qt::UTC)};
    std::unique_ptr<model::Store> store;
    std::unique_ptr<fakes::ClientIAScripte> client;
    std::unique_ptr<EcritureRelances> ecriture;
    std::unique_ptr<ui::Toasts> toasts;
    ui::Contexte ctx;
    std::unique_ptr<QWidget> fenetre;
    BlocRelances* bloc = nullptr;

    QList<QPushButton*> boutons(const QString& texte) const
    {
        QList<QPushButton*> l;
        for (QPushButton* b : bloc->findChildren<QPushButton*>())
            if (b->text() == texte)
                l << b;
        return l;
    }
    QStringList textes() const
    {
        QStringList t;
        for (QLabel* l : bloc->findChildren<QLabel*>())
            t << l->text();
        return t;
    }
    QJsonArray etapes() const { return store->etat().contact(QStringLiteral("c1"))->relance->qt()["etapes"].toArray(); }
    QString dernierToast() const { return toasts->toasts().isEmpty() ? QString() : toasts->toasts().last().message; }
    // The sheet rebuilds on every store change: so does the block here.
    void reconstruire()
    {
        delete bloc;
        bloc = new BlocRelances(ctx, QStringLiteral("a1"), fenetre.get());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(!ai::Moteur::instance().charger()); }

    void init()
    {
        store = std::make_unique<model::Store>(QString(), horloge);
        model::Etat e;
        e.contacts = {{.id = "c1", .prenom = "Léa", .email = "lea@acme.fr", .etape = "proposition",
                       .relance = model::JSONValeur(QJsonObject{
                           {"statut", "active"}, {"appelId", "a1"}, {"dateAppel", "2026-12-03"}, {"puisTousLes", 3},
                           {"etapes", QJsonArray{etapeRelance("e1", "2026-12-04", 1, "Bonjour Léa"), etapeRelance("e2", "2026-12-07", 4),
                                                 etapeRelance("e3", "2026-12-21", 18)}}})}};
        const QString h = QStringLiteral("2026-12-03T10:00:00.000Z");
        e.appels = {{.id = "a1", .contactId = "c1", .debut = h, .creeLe = h, .majLe = h}};
        store->remplacerEtat(e);
        client = std::make_unique<fakes::ClientIAScripte>();
        ecriture = std::make_unique<EcritureRelances>(*store, ai::Moteur::instance(), *client, horloge);
        toasts = std::make_unique<ui::Toasts>();
        ctx = {};
        ctx.store = store.get();
        ctx.toasts = toasts.get();
        ctx.ecritureRelances = ecriture.get();
        fenetre = std::make_unique<QWidget>();
        bloc = nullptr;
        reconstruire();
        QObject::connect(store.get(), &model::Store::etatChange, fenetre.get(), [this] { QTimer::singleShot(0, fenetre.get(), [this] { reconstruire(); }); });
    }
    void cleanup()
    {
        fenetre.reset();
        ecriture.reset();
    }

    void etapesEtLongueTraine()
    {
        // "L'écrire moi-même" on the unwritten ones only.
        QCOMPARE(QList<qsizetype>({boutons("Modifier").size(), boutons("Retirer").size(), boutons("L'écrire moi-même").size()}), QList<qsizetype>({3, 3, 2}));
        QCOMPARE(boutons("Modifier").first()->toolTip() + '|' + boutons("Retirer").first()->toolTip(),
                 QStringLiteral("Modifier le message, la date ou le canal|Retirer cette relance"));
        QVERIFY(textes().contains(QStringLiteral("Changer le canal de toutes les relances à venir")));
        // After the last step, one every 3 months on working days: 21 March is a Sunday, so the 22nd.
        const QStringList suite = textes().filter(QStringLiteral("Ensuite, une relance tous les 3 mois jusqu'à sa réponse : "));
        QCOMPARE(suite.size(), 1);
        QVERIFY2(suite.first().contains(QStringLiteral("22 mars")) && suite.first().contains(QStringLiteral("21 juin"))
                     && suite.first().contains(QStringLiteral("21 sept.")), qPrintable(suite.first()));
    }

    void enCoursPuisErreur()
    {
        QVERIFY(ecriture->ecrire(QStringLiteral("c1"), QStringLiteral("e2")));
        QTRY_VERIFY(textes().contains(BlocRelances::texteEnCours()));
        QCOMPARE(boutons("L'écrire moi-même").size(), 1);
        client->derniere()->echouer(QStringLiteral("Délai dépassé."));
        QTRY_VERIFY(textes().contains(QStringLiteral("Le message n'a pas pu être préparé : Délai dépassé.")));
        QVERIFY(!textes().contains(BlocRelances::texteEnCours()));
        QCOMPARE(boutons("Réessayer").size(), 1);
        boutons("Réessayer").first()->click();
        QCOMPARE(client->requetes.size(), 2);
        QTRY_VERIFY(textes().contains(BlocRelances::texteEnCours()));
    }

    void ecrireMoiMeme_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("toast");
        QTest::addColumn<QString>("message");
        QTest::newRow("écrit") << "  Bonjour Léa, un point lundi ?  " << BlocRelances::messageEnregistre() << "Bonjour Léa, un point lundi ?";
        QTest::newRow("vide") << "   " << BlocRelances::messageVide() << "";
    }
    void ecrireMoiMeme()
    {
        QFETCH(QString, texte);
        QFETCH(QString, toast);
        QFETCH(QString, message);
        boutons("L'écrire moi-même").first()->click();
        auto* d = fenetre->findChild<DialogueEtape*>();
        QVERIFY(d);
        QVERIFY(!d->date()->isVisibleTo(d));   // only the text
        d->message()->setPlainText(texte);
        d->accept();
        QTRY_COMPARE(dernierToast(), toast);
        QCOMPARE(etapes().at(1).toObject().value("message").toString(), message);
    }

    void modifierRetirerEtCanal()
    {
        // A later date re-sorts the steps.
        boutons("Modifier").at(1)->click();
        auto* d = fenetre->findChild<DialogueEtape*>();
        QVERIFY(d);
        d->date()->setText(QStringLiteral("2026-12-22"));
        d->accept();
        QTRY_COMPARE(dernierToast(), BlocRelances::messageEnregistre());
        QCOMPARE(tests::champs(etapes().at(2).toObject(), {"id", "jour"}), QStringLiteral("e2|19"));
        // A date that cannot be read is refused, nothing changes.
        QTRY_COMPARE(boutons("Modifier").size(), 3);
        boutons("Modifier").at(0)->click();
        d = fenetre->findChild<DialogueEtape*>();
        d->date()->setText(QStringLiteral("22/12"));
        d->accept();
        QTRY_COMPARE(dernierToast(), QStringLiteral("Date illisible : écrivez-la sous la forme AAAA-MM-JJ."));
        QCOMPARE(etapes().at(0).toObject().value("date").toString(), QStringLiteral("2026-12-04"));

        QTRY_COMPARE(boutons("Retirer").size(), 3);
        boutons("Retirer").last()->click();
        QTRY_COMPARE(dernierToast(), BlocRelances::messageRetire());
        QCOMPARE(etapes().size(), 2);

        QTRY_COMPARE(boutons("Changer le canal").size(), 1);
        auto* canal = bloc->findChild<QComboBox*>(QStringLiteral("canalRelances"));
        canal->setCurrentIndex(canal->findData(QStringLiteral("whatsapp")));
        boutons("Changer le canal").first()->click();
        QTRY_COMPARE(dernierToast(), BlocRelances::messageCanal());
        for (const QJsonValue& v : etapes())
            QCOMPARE(v.toObject().value("canal").toString(), QStringLiteral("whatsapp"));
    }

    // Moved to lost on the board: the sequence stops with its reason, and the block says so.
    void affairePerdue()
    {
        QVERIFY(changerEtape(*store, QStringLiteral("c1"), QStringLiteral("perdu")));
        QCOMPARE(tests::champs(store->etat().contact(QStringLiteral("c1"))->relance->qt().toObject(), {"statut", "raisonArret"}),
                 QStringLiteral("arretee|perdu"));
        QTRY_VERIFY(textes().contains(QStringLiteral("Relance arrêtée · Affaire perdue")));
        QVERIFY(boutons("Retirer").isEmpty());
        QCOMPARE(boutons("Activer à nouveau").size(), 1);
    }
};

QTEST_MAIN(TstBlocRelances)
#include "tst_blocrelances.moc"
