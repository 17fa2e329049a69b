// "vendalo cloud …": the backend client from the command line, for checking
// a self-hosted or local backend (VD_URL_SUPABASE, VD_CLE_PUBLIQUE_SUPABASE).
#include "cliasync.h"
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/clientprogramme.h"
#include "cloud/fluxfonction.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <cstdio>

namespace vd::app {

namespace {

std::optional<QJsonValue> argumentJson(const QStringList& args, int i)
{
    if (args.size() <= i)
        return QJsonValue(QJsonObject());
    auto v = model::JSONValeur::depuisTexte(args[i].toUtf8());
    if (!v)
        return std::nullopt;
    return v->qt();
}

int etat(const cloud::ClientSupabase& client)
{
    QJsonObject o{{QStringLiteral("actif"), true},
                  {QStringLiteral("adresse"), client.base().toString()},
                  {QStringLiteral("connecte"), client.connecte()}};
    if (const auto& s = client.session()) {
        o.insert(QStringLiteral("email"), s->utilisateur.email);
        o.insert(QStringLiteral("expireLe"), s->expireLe.toString(Qt::ISODateWithMs));
    }
    sortieJson(o);
    return 0;
}

} // namespace

int commandeCloud(const QStringList& args)
{
    const QString action = args.value(0);
    const cloud::ClientProgramme acces;
    if (!acces.client()) {
        if (action == QLatin1String("etat")) {
            sortieJson(QJsonObject{{QStringLiteral("actif"), false}});
            return 0;
        }
        return erreur(QStringLiteral("Le compte en ligne n'est pas configuré (VD_URL_SUPABASE)."));
    }
    cloud::ClientSupabase& client = *acces.client();

    if (action == QLatin1String("etat"))
        return etat(client);
    if (action == QLatin1String("connecter") && args.size() == 2) {
        // The password comes on the first line of standard input, never on the command line.
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return erreur(QStringLiteral("Impossible de lire l'entrée standard."));
        QByteArray ligne = in.readLine();
        while (ligne.endsWith('\n') || ligne.endsWith('\r'))
            ligne.chop(1);
        const QString motDePasse = QString::fromUtf8(ligne);
        auto r = attendre(client.connecter(args[1], motDePasse));
        if (!r)
            return erreur(r.erreur().message);
        return etat(client);
    }
    if (action == QLatin1String("deconnecter")) {
        QCoro::waitFor(client.deconnecter());
        return etat(client);
    }
    if (action == QLatin1String("lien") && args.size() == 2) {
        auto r = attendre(client.traiterLien(QUrl(args[1])));
        if (!r)
            return erreur(r.erreur().message.isEmpty() ? QStringLiteral("Annulé.") : r.erreur().message);
        sortieJson(QJsonObject{{QStringLiteral("type"), r.valeur()}, {QStringLiteral("connecte"), client.connecte()}});
        return 0;
    }
    if ((action == QLatin1String("procedure") || action == QLatin1String("fonction")) && args.size() >= 2) {
        const auto corps = argumentJson(args, 2);
        if (!corps)
            return erreur(QStringLiteral("Paramètres illisibles : donnez un objet JSON."));
        auto r = action == QLatin1String("procedure")
                     ? attendre(client.appelerProcedure(args[1], corps->toObject(), 45'000))
                     : attendre(client.appelerFonction(args[1], *corps, 60'000));
        if (!r)
            return erreur(r.erreur().message);
        sortieJson(r.valeur().qt());
        return 0;
    }
    if (action == QLatin1String("flux") && args.size() >= 2) {
        const auto corps = argumentJson(args, 2);
        if (!corps)
            return erreur(QStringLiteral("Paramètres illisibles : donnez un objet JSON."));
        std::unique_ptr<cloud::FluxFonction> f(client.appelerFonctionFlux(args[1], *corps));
        QEventLoop boucle;
        int code = 0;
        QObject::connect(f.get(), &cloud::FluxFonction::ligne, f.get(), [](const QByteArray& l) {
            std::fwrite(l.constData(), 1, size_t(l.size()), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        });
        QObject::connect(f.get(), &cloud::FluxFonction::fini, &boucle, &QEventLoop::quit);
        QObject::connect(f.get(), &cloud::FluxFonction::echec, &boucle, [&](const cloud::ErreurCloud& e) {
            code = erreur(e.message);
            boucle.quit();
        });
        boucle.exec();
        return code;
    }
    return erreur(QStringLiteral("Usage : vendalo cloud etat | connecter EMAIL | deconnecter | lien URL | procedure NOM [JSON] | "
                                 "fonction NOM [JSON] | flux NOM [JSON]"),
                  2);
}

} // namespace vd::app
