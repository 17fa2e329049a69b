// "vendalo compte": the account as the program sees it (state, account, team,
// role), refreshed from the backend when it answers, else the last copy.
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/clientprogramme.h"
#include "cloud/compte.h"
#include "platform/dossiers.h"

#include <QEventLoop>
#include <QMetaEnum>

namespace vd::app {

int commandeCompte(const QStringList& args)
{
    if (!args.isEmpty())
        return erreur(QStringLiteral("Usage : vendalo compte"), 2);
    const cloud::ClientProgramme acces;
    if (!acces.client()) {
        sortieJson(QJsonObject{{QStringLiteral("etat"), QStringLiteral("deconnecte")},
                               {QStringLiteral("code"), QStringLiteral("mode_local")},
                               {QStringLiteral("message"), cloud::Compte::erreurModeLocal().message}});
        return 0;
    }
    cloud::Compte compte(acces.client(), platform::dossierCloud(), platform::Reseau::systeme());
    QEventLoop boucle;
    QObject::connect(&compte, &cloud::Compte::rafraichi, &boucle, &QEventLoop::quit);
    compte.demarrer();
    if (compte.rafraichissementEnCours())
        boucle.exec();
    const QString etat = QString::fromLatin1(QMetaEnum::fromType<cloud::Compte::Etat>().valueToKey(int(compte.etat())));
    QJsonObject o{{QStringLiteral("etat"), etat}};
    if (const auto& i = compte.infos()) {
        o.insert(QStringLiteral("compte"), i->value(QStringLiteral("compte")));
        o.insert(QStringLiteral("organisation"), i->value(QStringLiteral("organisation")));
        o.insert(QStringLiteral("invitations"), i->value(QStringLiteral("invitations")));
    }
    if (const auto& e = compte.equipe())
        o.insert(QStringLiteral("equipe"), *e);
    const QString role = compte.roleOrg();
    o.insert(QStringLiteral("role"), role.isEmpty() ? QJsonValue() : QJsonValue(role));
    if (!role.isEmpty())
        o.insert(QStringLiteral("libelleRole"), cloud::Compte::libelleRole(role));
    if (const auto m = compte.messageSession())
        o.insert(QStringLiteral("message"), *m);
    else if (const auto m = compte.erreur())
        o.insert(QStringLiteral("message"), *m);
    sortieJson(o);
    return 0;
}

} // namespace vd::app
