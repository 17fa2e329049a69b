#pragma once
// Test bench of the language-model client: a fake Messages server (which also
// plays the relay and the backend function), an in-memory keychain, the fake
// clock and the shipped engine script.
#include "ai/clientclaude.h"
#include "ai/moteur.h"
#include "fakes/fauxcloudia.h"
#include "fakes/fauxmessages.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QTest>
#include <memory>

namespace vd::tests {

inline QString scriptMoteurClient() { return QStringLiteral(VD_RESOURCES_DIR "/moteur.js"); }

struct Issue {
    std::optional<QString> texte;
    ai::InfosGeneration infos;
    std::optional<QString> message;
    QString type;
    int statut = -1;
    QList<QJsonValue> partiels;
    int signauxFin = 0;
    bool termine() const { return signauxFin > 0; }
};

struct BancClient {
    Issue issue;   // of the one request most tests send; declared first, it outlives the requests
    platform::HorlogeFactice horloge;
    platform::CoffreMemoire coffre;
    fakes::FauxMessages serveur;
    QNetworkAccessManager reseau;
    ai::Moteur moteur{scriptMoteurClient()};
    ai::VerificateurRelais verificateur{&reseau, horloge};
    std::unique_ptr<fakes::FauxCloudIA> cloud;
    QString relais;
    std::unique_ptr<ai::ClientIA> client;

    BancClient() { QVERIFY(serveur.demarrer()); }

    ai::ClientIA& creer()
    {
        ai::ConfigClientIA c;
        c.routes.relais = [this] { return relais; };
        c.routes.coffre = &coffre;
        c.routes.verificateur = &verificateur;
        c.cloud = cloud.get();
        c.moteur = &moteur;
        c.horloge = &horloge;
        c.reseau = &reseau;
        c.urlAnthropic = serveur.url();
        client = std::make_unique<ai::ClientIA>(c);
        return *client;
    }
    void avecCle(const QString& cle = QStringLiteral("sk-test-123")) { coffre.ecrire(ai::cleAnthropic, cle); }
    void avecCloud() { cloud = std::make_unique<fakes::FauxCloudIA>(serveur.url(), horloge); }

    ai::DemandeClaude* envoyer(const ai::RequeteIA& r, Issue& suivi)
    {
        if (!client)
            creer();
        auto* d = qobject_cast<ai::DemandeClaude*>(client->envoyer(r));
        d->setParent(&serveur);
        QObject::connect(d, &ai::DemandeIA::partiel, d, [&suivi](const QJsonValue& v) { suivi.partiels << v; });
        QObject::connect(d, &ai::DemandeIA::fini, d, [&suivi](const QString& t, const ai::InfosGeneration& i) {
            suivi.texte = t;
            suivi.infos = i;
            ++suivi.signauxFin;
        });
        QObject::connect(d, &ai::DemandeIA::echec, d, [&suivi](const QString& m, const QString& type, int statut) {
            suivi.message = m;
            suivi.type = type;
            suivi.statut = statut;
            ++suivi.signauxFin;
        });
        return d;
    }
    ai::DemandeClaude* envoyer(const ai::RequeteIA& r) { return envoyer(r, issue); }
    // Sends and waits for the end (the answer or the failure).
    bool finir(const ai::RequeteIA& r)
    {
        envoyer(r);
        return QTest::qWaitFor([this] { return issue.termine(); });
    }
};

inline ai::RequeteIA requete(const QString& tache, const QString& modele = QStringLiteral("claude-haiku-4-5"))
{
    ai::RequeteIA r;
    r.tache = tache;
    r.modele = modele;
    r.payload = QJsonObject{{"demande", "Le prix est trop élevé"}, {"transcript", QJsonArray{"prospect: trop cher"}}};
    return r;
}

} // namespace vd::tests
