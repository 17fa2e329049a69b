// Follow-up operations through the store and the shipped engine: preparation
// from a Friday call, the activation checks in their order, sending through
// each channel with a fake opener and clipboard, undo, replies, stop rules
// after a newer call, settings.
#include "ai/moteur.h"
#include "cloud/ouvreururl.h"
#include "crm/relances.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "commun_crm.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using namespace vd::crm;
using vd::tests::champs;

namespace {

// Friday 4 December 2026, 16:00 in Paris.
const QDateTime t0(QDate(2026, 12, 4), QTime(15, 0), Qt::UTC);
const QString c1 = QStringLiteral("c1");

class OuvreurFactice final : public cloud::OuvreurUrl {
public:
    bool reussit = true;
    QList<QUrl> ouverts;
    bool ouvrir(const QUrl& url) override
    {
        ouverts << url;
        return reussit;
    }
};

model::Appel appelAnalyse(const QString& id, const QString& debut)
{
    return {.id = id, .contactId = "c1", .debut = debut, .statut = "analyse", .analyse = model::Analyse{}};
}

model::Etat etatDeBase()
{
    model::Etat e;
    e.contacts = {{.id = "c1", .prenom = "Léa", .nom = "Martin", .email = "lea@acme.fr", .tel = "06 12 34 56 78", .etape = "proposition"}};
    e.appels << appelAnalyse(QStringLiteral("a1"), QStringLiteral("2026-12-04T14:00:00.000Z"));
    e.entreprise.relances = model::JSONValeur(QJsonObject{{QStringLiteral("rythme"), QJsonArray{1, 3}}});
    return e;
}

QJsonObject relanceDe(const model::Store& s)
{
    const model::Contact* c = s.etat().contact(QStringLiteral("c1"));
    return c && c->relance ? c->relance->qt().toObject() : QJsonObject();
}
// The sequence's state as the call carries it to the team.
QJsonObject suiviDe(const model::Store& s)
{
    return s.etat().appel(QStringLiteral("a1"))->analyse->autres.value(QStringLiteral("suiviRelance")).toObject();
}
QJsonObject etape(const model::Store& s, int i) { return relanceDe(s).value("etapes").toArray().at(i).toObject(); }

} // namespace

class TstRelances : public QObject {
    Q_OBJECT
    ai::Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
    platform::HorlogeFactice horloge{t0};
    std::unique_ptr<model::Store> store;
    OuvreurFactice ouvreur;
    QString pressePapiers;
    std::unique_ptr<Relances> relances;

    QString rel(const QStringList& cles) const { return champs(relanceDe(*store), cles); }
    QString suivi(const QStringList& cles) const { return champs(suiviDe(*store), cles); }
    QString statutEtape(int i) const { return suiviDe(*store).value("etapes").toArray().at(i)[QStringLiteral("statut")].toString(); }

    void activerPreparee()
    {
        QVERIFY(relances->preparer(QStringLiteral("a1")));
        QVERIFY(relances->activer(QStringLiteral("a1")));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(!moteur.charger()); }
    void init()
    {
        horloge.fixer(t0);
        store = std::make_unique<model::Store>(QString(), horloge);
        store->remplacerEtat(etatDeBase());
        ouvreur = OuvreurFactice();
        pressePapiers.clear();
        relances = std::make_unique<Relances>(*store, moteur, &ouvreur, [this](const QString& t) { pressePapiers = t; });
    }

    void preparationDUnAppelDuVendredi()
    {
        QCOMPARE(relances->preparer(QStringLiteral("inconnu")).erreur(), QStringLiteral("Analysez l'appel avant de préparer une relance."));
        QVERIFY(relances->preparer(QStringLiteral("a1")));
        const QJsonObject s = store->etat().appel(QStringLiteral("a1"))->analyse->relances->qt().toObject();
        QCOMPARE(champs(s, {"statut", "dateAppel"}), QStringLiteral("proposee|2026-12-04"));
        const QJsonArray et = s.value("etapes").toArray();
        QCOMPARE(et.size(), 2);
        QCOMPARE(champs(et.at(0).toObject(), {"date"}) + ' ' + champs(et.at(1).toObject(), {"date"}), QStringLiteral("2026-12-07 2026-12-08"));
        // The proposal stays on the call: the contact has no sequence until activation.
        QVERIFY(relanceDe(*store).isEmpty());
    }

    void activationVerifieDansLOrdre_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("sans proposition") << "sans" << "Préparez d'abord la relance.";
        QTest::newRow("sans étape") << "vide" << "Aucune relance à activer.";
        QTest::newRow("sans contact, même vide") << "vide-sans-contact" << "Aucune relance à activer.";
        QTest::newRow("sans contact") << "sans-contact" << "Associez cet appel à un contact du CRM pour activer la relance.";
        QTest::newRow("contact disparu") << "contact-disparu" << "Associez cet appel à un contact du CRM pour activer la relance.";
        QTest::newRow("autre membre") << "autre" << "Cet appel est celui d'un autre membre de l'équipe.";
        QTest::newRow("activée") << "ok" << "Relance activée : 2 messages pour Léa Martin, la première le 07/12/2026";
    }
    void activationVerifieDansLOrdre()
    {
        QFETCH(QString, cas);
        QFETCH(QString, attendu);
        if (cas != QLatin1String("sans"))
            QVERIFY(relances->preparer(QStringLiteral("a1")));
        store->modifier([&](model::Etat& e) {
            model::Appel& a = *e.appel(QStringLiteral("a1"));
            if (cas.startsWith(QLatin1String("vide"))) {
                QJsonObject s = a.analyse->relances->qt().toObject();
                s.insert("etapes", QJsonArray{});
                a.analyse->relances = model::JSONValeur(s);
            }
            if (cas.endsWith(QLatin1String("sans-contact")))
                a.contactId.reset();
            if (cas == QLatin1String("contact-disparu"))
                a.contactId = QStringLiteral("c9");
            a.compteId = QStringLiteral("moi");
            if (cas == QLatin1String("autre"))
                a.compteId = QStringLiteral("collegue");
        });
        auto r = relances->activer(QStringLiteral("a1"), QStringLiteral("moi"));
        QCOMPARE(r ? r.valeur() : r.erreur(), attendu);
        QCOMPARE(r.ok(), cas == QLatin1String("ok"));
        QCOMPARE(rel({"statut", "activeLe", "compteId"}), r ? QStringLiteral("active|2026-12-04|moi") : QStringLiteral("||"));
    }

    void envoi_data()
    {
        QTest::addColumn<QString>("par");
        QTest::addColumn<bool>("ouvre");
        QTest::addColumn<QString>("adresse");   // the contact's e-mail, or its mobile for WhatsApp
        QTest::addColumn<QString>("attendu");
        QTest::addColumn<QString>("lien");   // start of the opened link; empty: nothing opened
        const QString sansEmail = QStringLiteral("Ajoutez son email dans sa fiche pour lui écrire par email.");
        QTest::newRow("email") << "email" << true << "lea@acme.fr" << "Relance envoyée" << "mailto:lea@acme.fr?subject=Un%20point%20rapide&body=Bonjour%20L%C3%A9a%2C";
        QTest::newRow("email sans adresse") << "email" << true << "" << sansEmail << "";
        QTest::newRow("email piégé refusé") << "email" << true << "lea@acme.fr?cc=x@y.fr" << sansEmail << "";
        QTest::newRow("messagerie fermée") << "email" << false << "lea@acme.fr" << "Votre messagerie ne s'est pas ouverte." << "mailto:";
        QTest::newRow("whatsapp") << "whatsapp" << true << "06 12 34 56 78" << "Relance envoyée" << "https://wa.me/33612345678?text=Bonjour%20L%C3%A9a";
        QTest::newRow("whatsapp sans mobile") << "whatsapp" << true << ""
                                              << "Ajoutez son numéro de mobile dans sa fiche pour lui écrire sur WhatsApp." << "";
        QTest::newRow("whatsapp fermé") << "whatsapp" << false << "0612345678" << "WhatsApp ne s'est pas ouvert." << "https://wa.me/";
        QTest::newRow("copier") << "copier" << true << "" << "Message copié" << "";
        QTest::newRow("noter") << "note" << true << "" << "Relance marquée envoyée" << "";
        QTest::newRow("inconnu") << "pigeon" << true << "" << "Envoi inconnu : « pigeon ». Choix : email, whatsapp, copier, note." << "";
    }
    void envoi()
    {
        QFETCH(QString, par);
        QFETCH(bool, ouvre);
        QFETCH(QString, adresse);
        QFETCH(QString, attendu);
        QFETCH(QString, lien);
        activerPreparee();
        const bool whatsapp = par == QLatin1String("whatsapp");
        store->modifier([&](model::Etat& e) { e.contacts[0].email = whatsapp ? QString() : adresse; e.contacts[0].tel = whatsapp ? adresse : QString(); });
        ouvreur.reussit = ouvre;
        const QString id = etape(*store, 0).value("id").toString();
        auto r = relances->envoyer(c1, id, par);
        QCOMPARE(r ? r.valeur() : r.erreur(), attendu);
        QCOMPARE(ouvreur.ouverts.size(), lien.isEmpty() ? 0 : 1);
        if (!lien.isEmpty())
            QVERIFY2(ouvreur.ouverts.first().toString(QUrl::FullyEncoded).startsWith(lien),
                     qPrintable(ouvreur.ouverts.first().toString(QUrl::FullyEncoded)));
        const QJsonObject e = etape(*store, 0);
        QCOMPARE(store->etat().interactions.size(), r ? 1 : 0);
        if (!r) {
            QCOMPARE(e.value("statut").toString(), QStringLiteral("a_venir"));
            return;
        }
        const model::Interaction& i = store->etat().interactions.first();
        QCOMPARE(champs(e, {"statut", "canalEnvoi", "interactionId", "message"}), QStringList({"envoyee", par, i.id, i.resume}).join('|'));
        QCOMPARE(i.type, QStringLiteral("relance"));
        if (par == QLatin1String("copier"))
            QVERIFY(pressePapiers.endsWith(e.value("message").toString()));
        QCOMPARE(relances->envoyer(c1, id, par).erreur(), QStringLiteral("Cette relance est déjà envoyée."));
    }

    void dernierEnvoiTermineEtAnnulerRouvre()
    {
        activerPreparee();
        const QString e1 = etape(*store, 0).value("id").toString(), e2 = etape(*store, 1).value("id").toString();
        QVERIFY(relances->envoyer(c1, e1, QStringLiteral("note")));
        QVERIFY(relances->envoyer(c1, e2, QStringLiteral("note")));
        QCOMPARE(rel({"statut"}) + '|' + suivi({"statut"}) + '|' + statutEtape(1), QStringLiteral("terminee|terminee|envoyee"));
        QCOMPARE(store->etat().interactions.size(), 2);
        const QString ecrite = etape(*store, 1).value("interactionId").toString();
        QSignalSpy supprime(store.get(), &model::Store::supprime);
        QVERIFY(relances->annulerEnvoi(c1, e2));
        QCOMPARE(rel({"statut"}) + '|' + champs(etape(*store, 1), {"statut", "interactionId"}) + '|' + statutEtape(1),
                 QStringLiteral("active|a_venir||a_venir"));
        // The history entry the send wrote goes with it, and synchronisation hears of it.
        QCOMPARE(store->etat().interactions.size(), 1);
        QVERIFY(store->etat().interactions.first().id != ecrite);
        QCOMPARE(supprime.size(), 1);
        QCOMPARE(supprime.first().at(1).toString(), ecrite);
        QCOMPARE(relances->annulerEnvoi(c1, e2).erreur(), QStringLiteral("Cette relance n'est pas envoyée."));
    }

    void etapesEtSequenceDisparue()
    {
        QCOMPARE(relances->modifierEtape({c1, {}}, QStringLiteral("e1"), {}).erreur(), QStringLiteral("Cette relance n'existe plus."));
        QCOMPARE(relances->modifierEtape({{}, QStringLiteral("a9")}, QStringLiteral("e1"), {}).erreur(),
                 QStringLiteral("Cette proposition n'existe plus."));
        activerPreparee();
        const QString e1 = etape(*store, 0).value("id").toString();
        // A later date re-sorts the steps.
        QVERIFY(relances->modifierEtape({c1, {}}, e1, {{"date", "2026-12-10"}, {"message", "Nouveau"}}));
        QCOMPARE(champs(etape(*store, 1), {"id", "message"}), e1 + "|Nouveau");
        QCOMPARE(relances->modifierEtape({c1, {}}, e1, {{"date", "10/12"}}).erreur(),
                 QStringLiteral("Date illisible : écrivez-la sous la forme AAAA-MM-JJ."));
        QVERIFY(relances->changerCanal({c1, {}}, QStringLiteral("whatsapp")));
        QCOMPARE(etape(*store, 0).value("canal").toString(), QStringLiteral("whatsapp"));
        QVERIFY(relances->retirerEtape({c1, {}}, e1));
        QVERIFY(relances->retirerEtape({c1, {}}, etape(*store, 0).value("id").toString()));
        // Nothing left to send: the sequence stops.
        QCOMPARE(rel({"statut"}), QStringLiteral("arretee"));
        QCOMPARE(relances->envoyer(c1, QStringLiteral("e1"), QStringLiteral("note")).erreur(), QStringLiteral("Cette relance n'est plus active."));
    }

    void arretManuel()
    {
        activerPreparee();
        QVERIFY(relances->arreter(c1));
        QCOMPARE(rel({"statut", "raisonArret"}), QStringLiteral("arretee|"));
        QCOMPARE(relances->arreter(c1).erreur(), QStringLiteral("Cette relance n'est plus active."));
        QCOMPARE(relances->arreter(QStringLiteral("c9")).erreur(), QStringLiteral("Ce contact est introuvable."));
    }

    void nouvelAppelArreteLAppelDOrigineNon()
    {
        activerPreparee();
        QVERIFY(!relances->apresAnalyse(QStringLiteral("a1")));
        QCOMPARE(rel({"statut"}), QStringLiteral("active"));
        horloge.fixer(t0.addDays(3));
        store->modifier([](model::Etat& e) {
            e.appels << appelAnalyse(QStringLiteral("a2"), QStringLiteral("2026-12-07T10:00:00.000Z"));
            std::tie(e.contacts[0].etape, e.contacts[0].etapeAvantSommeil) = std::pair(QStringLiteral("sommeil"), QStringLiteral("demo"));
        });
        QVERIFY(!relances->apresAnalyse(QStringLiteral("a2")));
        // Called again, a sleeping contact returns to its stage.
        QCOMPARE(store->etat().contact(c1)->etape, QStringLiteral("demo"));
        QCOMPARE(rel({"statut", "raisonArret"}), QStringLiteral("arretee|nouvel_appel"));
        // The new call has its own proposal, to review before activating.
        QVERIFY(store->etat().appel(QStringLiteral("a2"))->analyse->relances);
    }

    void activationAutomatique()
    {
        QCOMPARE(relances->activationAuto(QStringLiteral("local"), true).valeur(), QStringLiteral("Activer automatiquement après chaque analyse"));
        QCOMPARE(relances->apresAnalyse(QStringLiteral("a1")).value_or(QString()), QStringLiteral("Relances activées pour Léa Martin"));
        QCOMPARE(rel({"statut"}), QStringLiteral("active"));
    }

    void reponses()
    {
        activerPreparee();
        QCOMPARE(QStringList({relances->repondre(c1, QStringLiteral("pas_maintenant")).erreur(),
                              relances->repondre(QStringLiteral("c9"), QStringLiteral("interesse")).erreur(),
                              relances->repondre(c1, QStringLiteral("peut_etre")).erreur()}),
                 QStringList({"Choisissez une date.", "Ce contact est introuvable.", "Réponse impossible à enregistrer."}));
        // A Saturday resume date moves to the Monday.
        QCOMPARE(relances->repondre(c1, QStringLiteral("pas_maintenant"), QStringLiteral("2027-03-06")).valeur(),
                 QStringLiteral("Relances reprises le 08/03/2027"));
        QCOMPARE(rel({"statut"}) + '|' + champs(etape(*store, 0), {"date"}), QStringLiteral("active|2027-03-08"));
        QCOMPARE(relances->repondre(c1, QStringLiteral("pas_interesse"), {}, QStringLiteral("Pas le budget")).valeur(),
                 QStringLiteral("Léa Martin passe en Perdu : Pas le budget"));
        const model::Contact& c = *store->etat().contact(c1);
        QCOMPARE(c.etape, QStringLiteral("perdu"));
        QCOMPARE(c.raisonPerte.value_or(QString()), QStringLiteral("Pas le budget"));
        QCOMPARE(rel({"statut", "raisonArret"}) + '|' + suivi({"statut"}), QStringLiteral("arretee|reponse|arretee"));
        QCOMPARE(suiviDe(*store).value("reponse")[QStringLiteral("type")].toString(), QStringLiteral("pas_interesse"));
    }

    void interesseSansLien()
    {
        activerPreparee();
        QCOMPARE(relances->repondre(c1, QStringLiteral("interesse")).valeur(),
                 QStringLiteral("Ajoutez votre lien de prise de rendez-vous dans la page Relances : Quillo l'ajoutera la prochaine fois."));
        QCOMPARE(champs(relanceDe(*store).value("reponse").toObject(), {"objet"}) + '|' + rel({"raisonArret"}),
                 QStringLiteral("Calons un créneau|reponse"));
    }

    void listeDuJourRetardsDAbord()
    {
        activerPreparee();
        QCOMPARE(relances->duJour(QStringLiteral("2026-12-04")).size(), 0);
        QCOMPARE(relances->duJour(QStringLiteral("2026-12-07")).size(), 1);
        const QJsonArray j = relances->duJour(QStringLiteral("2026-12-08"));
        QCOMPARE(j.size(), 2);
        QCOMPARE(champs(j.at(0).toObject(), {"enRetard"}) + '|' + champs(j.at(1).toObject(), {"date"}), QStringLiteral("true|2026-12-08"));
    }

    void reglages()
    {
        QCOMPARE(relances->enregistrerRythme(QStringLiteral("1, trois")).erreur(), QStringLiteral("Rythme illisible."));
        QCOMPARE(relances->enregistrerRythme(QStringLiteral("2, 5, 10")).valeur(), QStringLiteral("Rythme enregistré"));
        QCOMPARE(relances->reglages().value("rythme").toArray(), (QJsonArray{2, 5, 10}));
        QVERIFY(relances->retablirRythme());
        QCOMPARE(relances->reglages().value("rythme").toArray(), (QJsonArray{1, 3, 7, 14, 30, 60, 90}));
        const QString local = QStringLiteral("local"), etude = QStringLiteral("https://acme.fr/etude");
        // In order: a braced list is evaluated left to right.
        QCOMPARE(QStringList({relances->enregistrerLienRdv(local, QStringLiteral("rdv chez moi")).erreur(),
                              relances->enregistrerLienRdv(local, QStringLiteral("https://rdv.exemple.fr/lea")).valeur(),
                              relances->enregistrerLienRdv(local, {}).valeur(), relances->ajouterRessource(QStringLiteral("Étude"), etude, {}).valeur(),
                              relances->ajouterRessource(QStringLiteral("Encore"), etude, {}).erreur(),
                              relances->ajouterRessource(QStringLiteral("Mauvais"), QStringLiteral("javascript:alert(1)"), {}).erreur(),
                              relances->ajouterNouveaute(QStringLiteral("Export PDF")).valeur()}),
                 QStringList({Relances::messageAdresseWeb(), "Lien de rendez-vous enregistré", "Lien de rendez-vous retiré", "Ressource ajoutée",
                              "Ce lien est déjà dans la bibliothèque.", Relances::messageAdresseWeb(), "Nouveauté ajoutée"}));
        const QString id = relances->reglages().value("nouveautes").toArray().first().toObject().value("id").toString();
        QVERIFY(relances->retirerNouveaute(id));
        QVERIFY(relances->reglages().value("nouveautes").toArray().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstRelances)
#include "tst_relances.moc"
