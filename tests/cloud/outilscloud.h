#pragma once
// Shared set-up of the backend client tests: fake clock, emulator, in-memory
// credential store, and a browser opener that only records addresses; for the
// tests on the private PostgreSQL database, computers of their own, teams, and
// vendalo processes signed in to the emulator.
#include "../app/environnementvendalo.h"
#include "cloud/clientsupabase.h"
#include "cloud/ouvreururl.h"
#include "fakes/fauxsupabase.h"
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QEventLoop>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vd::tests {

// Runs the event loop until the task is done and gives its result.
template<typename T>
T attendre(QCoro::Task<T>& tache)
{
    std::optional<T> r;
    QEventLoop boucle;
    auto suite = tache.then([&r, &boucle](T v) {
        r.emplace(std::move(v));
        boucle.quit();
    });
    if (!r)
        boucle.exec();
    return std::move(*r);
}
template<typename T>
T attendre(QCoro::Task<T>&& tache)
{
    return attendre(tache);
}
inline void attendre(QCoro::Task<void>&& tache)
{
    QCoro::waitFor(std::move(tache));
}

class OuvreurFactice final : public cloud::OuvreurUrl {
public:
    bool ouvrir(const QUrl& url) override
    {
        ouvertes.append(url);
        return reussit;
    }
    QList<QUrl> ouvertes;
    bool reussit = true;
};

struct BancCloud {
    platform::HorlogeFactice horloge;
    fakes::FauxSupabase serveur{&horloge};
    platform::CoffreMemoire coffre;
    cloud::StockageSession stockage{coffre};
    OuvreurFactice ouvreur;
    std::unique_ptr<cloud::ClientSupabase> client;

    bool demarrer()
    {
        if (!serveur.demarrer())
            return false;
        nouveauClient();
        return true;
    }
    // A client as a new run of the program would build it (reads the stored session).
    void nouveauClient()
    {
        client = std::make_unique<cloud::ClientSupabase>(serveur.config(), &stockage, &horloge, &ouvreur);
    }
    // Signs in "lea@exemple.fr" through the password grant.
    bool connecter(const QString& email = QStringLiteral("lea@exemple.fr"))
    {
        if (!serveur.existe(email))
            serveur.ajouterUtilisateur(email, QStringLiteral("motdepasse1"));
        auto r = attendre(client->connecter(email, QStringLiteral("motdepasse1")));
        return r.ok();
    }
};

// One computer of a test with several accounts: its own credential store and client.
struct Poste {
    platform::CoffreMemoire coffre;
    cloud::StockageSession stockage{coffre};
    std::unique_ptr<cloud::ClientSupabase> client;

    bool connecter(const fakes::FauxSupabase& serveur, const QString& email)
    {
        client = std::make_unique<cloud::ClientSupabase>(serveur.config(), &stockage);
        return attendre(client->connecter(email, QStringLiteral("motdepasse1"))).ok();
    }
};

// A team and its members in the private database; the team's id, empty on failure.
inline QString creerEquipe(fakes::BasePostgres& base, const QString& nom, const QString& proprietaire, int sieges,
                           const QList<std::pair<QString, QString>>& membres)
{
    const QString org = base.executer(QStringLiteral("insert into public.organisations (nom, sieges, proprietaire_id) "
                                                     "values (?, ?::int, ?::uuid) returning id::text"), {nom, sieges, proprietaire})
                            .value(0).toString();
    for (const auto& [compte, role] : membres)
        base.executer(QStringLiteral("insert into public.membres values (?::uuid, ?::uuid, ?, now())"), {org, compte, role});
    return org;
}

// A vendalo process of its own home, without a session bus, on the emulator.
inline QProcessEnvironment environnementCloud(const QTemporaryDir& dossier, const fakes::FauxSupabase& serveur)
{
    QProcessEnvironment env = environnementVendalo(dossier);
    env.insert(QStringLiteral("HOME"), dossier.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dossier.path() + QStringLiteral("/pas-de-bus"));
    env.insert(QStringLiteral("VD_URL_SUPABASE"), serveur.url().toString());
    env.insert(QStringLiteral("VD_CLE_PUBLIQUE_SUPABASE"), serveur.cleAnon());
    return env;
}

} // namespace vd::tests
