// The pipeline board as the user drives it: a card dropped on another column
// or moved with its menu changes the contact's stage, and the change is on
// disk after the debounced save, so it survives a restart.
#include "crm/ecrans/ecrancrm.h"
#include "crm/ecrans/tableaupipeline.h"
#include "crm/etapes.h"
#include "model/store.h"
#include "ui/contexte.h"
#include "commun_crm.h"

#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace vd;

class TstTableauPipeline : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;
    std::unique_ptr<model::Store> store;
    ui::Contexte ctx;
    std::unique_ptr<crm::EcranCRM> ecran;

    QString chemin() const { return dossier.filePath(QStringLiteral("etat.json")); }
    QString etapeSurDisque(const QString& id) const
    {
        model::Store relu(chemin());
        const model::Contact* c = relu.etat().contact(id);
        return c ? c->etape : QString();
    }
    // Drags the contact's card from the column it sits in onto the column of that stage.
    bool glisser(const QString& id, const QString& vers)
    {
        crm::TableauPipeline* t = ecran->tableau();
        const model::Contact* c = store->etat().contact(id);
        crm::ModeleColonne* source = t->colonne(c->etape);
        for (int ligne = 0; ligne < source->rowCount(); ++ligne) {
            if (source->idLigne(ligne) != id)
                continue;
            std::unique_ptr<QMimeData> m(source->mimeData({source->index(ligne)}));
            t->colonne(vers)->dropMimeData(m.get(), Qt::MoveAction, -1, -1, {});
            return true;
        }
        return false;
    }

private Q_SLOTS:
    void init()
    {
        store = std::make_unique<model::Store>(chemin());
        model::Etat e;
        for (const char* id : {"c1", "c2", "c3"})
            e.contacts.append({.id = id, .nom = QStringLiteral("Durand ") + id, .etape = "decouverte", .probabilite = 25,
                               .creeLe = "2026-11-02T09:00:00.000Z", .majLe = "2026-11-02T09:00:00.000Z"});
        store->remplacerEtat(e);
        store->sauvegarder(true);
        ctx.store = store.get();
        ecran = std::make_unique<crm::EcranCRM>(ctx);
        ecran->setVue(crm::EcranCRM::Vue::pipeline);
        ecran->rafraichir();
    }
    void cleanup()
    {
        ecran.reset();
        store.reset();
    }

    void deposerSurUneAutreColonne()
    {
        QCOMPARE(ecran->tableau()->colonne(QStringLiteral("decouverte"))->rowCount(), 3);
        QVERIFY(glisser(QStringLiteral("c2"), QStringLiteral("proposition")));
        const model::Contact* c = store->etat().contact(QStringLiteral("c2"));
        QCOMPARE(c->etape, QStringLiteral("proposition"));
        QCOMPARE(c->probabilite, crm::probabiliteParDefaut(QStringLiteral("proposition")));
        QVERIFY(c->majLe > QStringLiteral("2026-11-02T09:00:00.000Z"));
        // The board redraws from the store: the card moved, the others stayed.
        QCOMPARE(ecran->tableau()->colonne(QStringLiteral("decouverte"))->rowCount(), 2);
        QCOMPARE(ecran->tableau()->colonne(QStringLiteral("proposition"))->rowCount(), 1);
        QCOMPARE(store->etat().contact(QStringLiteral("c1"))->etape, QStringLiteral("decouverte"));

        QTRY_VERIFY_WITH_TIMEOUT(!store->sauvegardeEnAttente(), 5000);
        QCOMPARE(etapeSurDisque(QStringLiteral("c2")), QStringLiteral("proposition"));
    }

    void deposerSurSaColonneOuUnInconnuNeChangeRien()
    {
        QVERIFY(glisser(QStringLiteral("c1"), QStringLiteral("decouverte")));
        QMimeData etranger;
        etranger.setData(crm::typeMimeContact(), "c_absent");
        ecran->tableau()->colonne(QStringLiteral("gagne"))->dropMimeData(&etranger, Qt::MoveAction, -1, -1, {});
        QVERIFY(!store->modifie());
        QCOMPARE(store->etat().contact(QStringLiteral("c1"))->majLe, QStringLiteral("2026-11-02T09:00:00.000Z"));
    }

    void menuDeLaCarte()
    {
        std::unique_ptr<QMenu> m(ecran->tableau()->menuCarte(QStringLiteral("c3"), nullptr));
        auto* etapes = m->findChild<QMenu*>(QStringLiteral("changerEtape"));
        QVERIFY(etapes);
        QCOMPARE(etapes->title(), QStringLiteral("Changer l'étape de Durand c3"));
        QAction* gagne = nullptr;
        for (QAction* a : etapes->actions()) {
            if (a->data().toString() == QLatin1String("decouverte"))
                QVERIFY(!a->isEnabled());   // its own stage
            if (a->data().toString() == QLatin1String("gagne"))
                gagne = a;
        }
        QVERIFY(gagne);
        gagne->trigger();
        QCOMPARE(store->etat().contact(QStringLiteral("c3"))->etape, QStringLiteral("gagne"));
        QCOMPARE(ecran->tableau()->colonne(QStringLiteral("gagne"))->rowCount(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!store->sauvegardeEnAttente(), 5000);
        QCOMPARE(etapeSurDisque(QStringLiteral("c3")), QStringLiteral("gagne"));
    }
};

QTEST_MAIN(TstTableauPipeline)
#include "tst_tableaupipeline.moc"
