#include "agenda/rapprochement.h"
#include "../crm/commun_crm.h"

#include <QtTest>

using namespace vd::agenda;

class TstRapprochement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reconnaissance()
    {
        const IndexContacts index({{.id = "c1", .email = "paul.martin@acme.fr"}, {.id = "c2", .email = "ami@gmail.com"},
                                   {.id = "c3", .email = "moi2@vendeur.fr"}, {.id = "c5", .email = "a@duo.fr", .majLe = "2026-01-01T00:00:00Z"},
                                   {.id = "c4", .email = "b@duo.fr", .majLe = "2026-02-01T00:00:00Z"}});
        const Identite moi = Identite::depuis(QStringLiteral("moi@vendeur.fr"), {});
        // The guest's address, the contact found ("-": none) and whether by the company domain. Case and blanks are
        // ignored; a public mail domain or our own never matches; between two contacts of a domain, the latest edited.
        const char* const cas[][3] = {{"  Paul.Martin@Acme.FR ", "c1", ""},  {"direction@acme.fr", "c1", "domaine"},
                                      {"inconnu@gmail.com", "-", ""},       {"collegue@vendeur.fr", "-", ""},
                                      {"x@duo.fr", "c4", "domaine"}};
        for (const auto& [adresse, contact, domaine] : cas) {
            RendezVousAgenda r{.id = "e1", .invites = {{.email = adresse, .reponse = "accepte"}}};
            const EvenementAgenda e = RapprochementAgenda::deriver(r, index, moi);
            QCOMPARE(e.contactId.value_or("-") + (e.parDomaine ? " domaine" : ""), QString::fromLatin1(contact) + (*domaine ? " domaine" : ""));
        }
    }
    void tousRefusentSansInvite()
    {
        RendezVousAgenda r{.id = "e1", .invites = {{.email = "a@acme.fr", .reponse = "refuse"}, {.email = "moi@vendeur.fr", .reponse = "accepte"}}};
        const EvenementAgenda e = RapprochementAgenda::deriver(r, IndexContacts{}, Identite::depuis(QStringLiteral("moi@vendeur.fr"), {}));
        QVERIFY(e.sansInvite && !e.interne);
    }
};

QTEST_GUILESS_MAIN(TstRapprochement)
#include "tst_rapprochement.moc"
