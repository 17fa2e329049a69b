#include "agenda/rapprochement.h"
#include "../crm/commun_crm.h"

#include <QtTest>

using namespace vd::agenda;

namespace {
vd::model::Contact contact(const QString& id, const QString& email, const QString& majLe = {})
{
    return {.id = id, .email = email, .majLe = majLe};
}
InviteAgenda invite(const QString& email, const QString& reponse = QStringLiteral("accepte"))
{
    InviteAgenda i;
    i.email = email;
    i.reponse = reponse;
    return i;
}
} // namespace

class TstRapprochement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reconnaissance_data()
    {
        QTest::addColumn<QString>("adresse");
        QTest::addColumn<QString>("attendu");
        QTest::addColumn<bool>("parDomaine");
        QTest::newRow("casse et espace") << "  Paul.Martin@Acme.FR " << "c1" << false;
        QTest::newRow("domaine d'entreprise") << "direction@acme.fr" << "c1" << true;
        QTest::newRow("domaine grand public") << "inconnu@gmail.com" << "" << false;
        QTest::newRow("propre domaine") << "collegue@vendeur.fr" << "" << false;
        QTest::newRow("egalite: plus recent") << "x@duo.fr" << "c4" << true;
    }
    void reconnaissance()
    {
        QFETCH(QString, adresse);
        QFETCH(QString, attendu);
        QFETCH(bool, parDomaine);
        const IndexContacts index({contact("c1", "paul.martin@acme.fr"), contact("c2", "ami@gmail.com"),
                                   contact("c3", "moi2@vendeur.fr"), contact("c5", "a@duo.fr", "2026-01-01T00:00:00Z"),
                                   contact("c4", "b@duo.fr", "2026-02-01T00:00:00Z")});
        const Identite moi = Identite::depuis(QStringLiteral("moi@vendeur.fr"), {});
        RendezVousAgenda r;
        r.id = "e1";
        r.invites = {invite(adresse)};
        const EvenementAgenda e = RapprochementAgenda::deriver(r, index, moi);
        QCOMPARE(e.contactId.value_or(QString()), attendu);
        QCOMPARE(e.parDomaine, parDomaine);
    }
    void tousRefusentSansInvite()
    {
        RendezVousAgenda r;
        r.id = "e1";
        r.invites = {invite("a@acme.fr", "refuse"), invite("moi@vendeur.fr")};
        const EvenementAgenda e = RapprochementAgenda::deriver(r, IndexContacts{}, Identite::depuis(QStringLiteral("moi@vendeur.fr"), {}));
        QVERIFY(e.sansInvite);
        QVERIFY(!e.interne);
    }
};

QTEST_GUILESS_MAIN(TstRapprochement)
#include "tst_rapprochement.moc"
