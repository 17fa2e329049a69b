#pragma once
// In-process stand-in for the hosted backend on 127.0.0.1: authentication
// (sign-up, password / refresh_token / pkce grants, user, logout, recover,
// resend) with tokens that really expire on the test's clock, REST tables,
// scripted procedures and functions (plain or streamed), a request log and
// fault injection.
//
//   platform::HorlogeFactice horloge;
//   FauxSupabase serveur(&horloge);
//   serveur.demarrer();
//   serveur.ajouterUtilisateur("lea@exemple.fr", "motdepasse1");
//   serveur.surProcedure("synchroniser", [](const RequeteHttp& r) { return ReponseHttpFactice::json(200, ...); });
//   serveur.surFonction("claude", [](const RequeteHttp&) { return ReponseHttpFactice::flux({"data: …\n\n"}, 10); });
//   serveur.injecter("/functions/v1/claude", FauxSupabase::erreurFonction(429, "rate_limit_error"));
//   cloud::ClientSupabase client(serveur.config(), &stockage, &horloge, &ouvreur);
//   horloge.avancer(3600'000);   // access tokens expire on this clock
//
// With utiliserPostgres() (under scripts/avec-postgres.sh), users are written
// into the database's auth.users and "rest/v1/rpc/NAME" runs the real procedure
// (see fauxsupabase_pg.h); procedures scripted with surProcedure still win.
// The edge functions "equipe" and "compte" then run too: the token is checked
// (401 "non_connecte" without a user) and the procedures prive.fonction_equipe
// and prive.fonction_compte of the migrations get the caller's id; functions
// scripted with surFonction still win.
#include "cloud/configcloud.h"
#include "fakes/fauxsupabase_pg.h"
#include "fakes/serveurhttp.h"
#include "platform/horloge.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <memory>

namespace vd::fakes {

class FauxSupabase : public QObject {
    Q_OBJECT
public:
    explicit FauxSupabase(platform::Horloge* horloge = nullptr, QObject* parent = nullptr);

    bool demarrer();
    QUrl url() const { return serveur_.url(); }
    QString cleAnon() const { return QStringLiteral("cle-anon-test"); }
    cloud::ConfigCloud config() const { return cloud::ConfigCloud::depuis(url().toString(), cleAnon()); }
    ServeurHttpFactice& serveur() { return serveur_; }

    // Accounts.
    QString ajouterUtilisateur(const QString& email, const QString& motDePasse, bool confirme = true,
                               const QJsonObject& metadonnees = {});
    bool existe(const QString& email) const { return parEmail_.contains(email); }
    QString motDePasse(const QString& email) const;
    QJsonObject metadonnees(const QString& email) const;
    bool confirmationRequise = true;    // sign-up answers without a session
    bool inscriptionsOuvertes = true;
    int dureeJetonS = 3600;
    // The code a confirmation, recovery or Google link would carry, bound to the
    // last challenge this e-mail (or "google") sent; empty when none.
    QString codePour(const QString& emailOuGoogle);
    QString dernierDefi(const QString& emailOuGoogle) const { return defis_.value(emailOuGoogle); }
    // What the browser would end with after the Google page: the callback link
    // carrying a code for the challenge of the authorisation address.
    QUrl autoriserGoogle(const QUrl& adresseAutorisation);
    // Opens a session on the server side, as a link with tokens would carry it.
    QJsonObject ouvrirSession(const QString& email);
    bool jetonRafraichissementValide(const QString& jeton) const;
    QString utilisateurDuJeton(const QString& jetonAcces) const;   // empty when invalid or expired

    // PostgreSQL mode: empties the database's users and teams, then sends the
    // procedures there. False (with base()->erreur()) when it cannot connect.
    bool utiliserPostgres(const QString& connexion = BasePostgres::connexionEnvironnement());
    BasePostgres* base() { return base_.get(); }
    // The body of the last answer of a procedure (PostgreSQL mode).
    QByteArray derniereReponse(const QString& procedure) const { return reponses_.value(procedure); }
    // Addresses the "equipe" function sent an invitation e-mail to (PostgreSQL mode).
    QStringList emailsInvitation;

    // Data.
    QHash<QString, QJsonArray> tables;
    void surProcedure(const QString& nom, Gestionnaire g) { procedures_.insert(nom, std::move(g)); }
    void surFonction(const QString& nom, Gestionnaire g) { fonctions_.insert(nom, std::move(g)); }

    // Faults: the next `fois` requests whose path starts with prefixe get this answer.
    void injecter(const QString& prefixe, const ReponseHttpFactice& reponse, int fois = 1);
    void viderPannes() { pannes_.clear(); }
    static ReponseHttpFactice erreurAuth(int statut, const QString& code, const QString& msg);
    static ReponseHttpFactice erreurRest(int statut, const QString& code, const QString& message);
    static ReponseHttpFactice erreurFonction(int statut, const QString& code, const QString& message = {});

    // Log.
    const QList<RequeteHttp>& journal() const { return serveur_.journal(); }
    int nombre(const QByteArray& methode, const QString& chemin) const { return serveur_.nombre(methode, chemin); }
    int nombreRafraichissements() const;
    QList<RequeteHttp> requetes(const QString& chemin) const;
    void viderJournal() { serveur_.viderJournal(); }

private:
    struct Utilisateur {
        QString id, email, motDePasse;
        bool confirme = false;
        QJsonObject metadonnees;
        QString fournisseur = QStringLiteral("email");
    };
    struct Acces {
        QString utilisateur, sessionId;
        QDateTime expireA;
    };
    struct Rafraichissement {
        QString utilisateur, sessionId;
        bool utilise = false;
    };
    struct Flot {
        QString email, defi;
    };

    ReponseHttpFactice traiter(const RequeteHttp& r);
    ReponseHttpFactice auth(const RequeteHttp& r, const QString& route);
    ReponseHttpFactice rest(const RequeteHttp& r, const QString& table);
    ReponseHttpFactice fonctionEnBase(const RequeteHttp& r, const QString& nom, const QString& jeton);
    QJsonObject jsonUtilisateur(const Utilisateur& u) const;
    QJsonObject nouvelleSession(const QString& idUtilisateur, QString sessionId = {});
    QString porteur(const RequeteHttp& r) const;
    QDateTime maintenant() const { return horloge_->maintenant(); }

    platform::Horloge* horloge_;
    ServeurHttpFactice serveur_;
    QHash<QString, Utilisateur> utilisateurs_;   // by id
    QHash<QString, QString> parEmail_;
    QHash<QString, Acces> acces_;
    QHash<QString, Rafraichissement> rafraichissements_;
    QHash<QString, QString> defis_;   // e-mail or "google" → last challenge
    QHash<QString, Flot> codes_;      // auth code → flow
    QHash<QString, Gestionnaire> procedures_, fonctions_;
    struct Panne {
        QString prefixe;
        ReponseHttpFactice reponse;
        int fois;
    };
    QList<Panne> pannes_;
    int compteur_ = 0;
    std::unique_ptr<BasePostgres> base_;
    QHash<QString, QByteArray> reponses_;
};

} // namespace vd::fakes
