#pragma once
// Shared set-up of the backend client tests: fake clock, emulator, in-memory
// credential store, and a browser opener that only records addresses.
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

} // namespace vd::tests
