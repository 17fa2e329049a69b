#pragma once
// The emulator's PostgreSQL mode: "rest/v1/rpc/NAME" runs the real procedure of
// the migrations on a real database, as PostgREST would. One transaction per
// request with the role and claims of the caller ("authenticated" with the
// user's id, or "anon"), the JSON body's members as named arguments cast to the
// parameters' types, and SQLSTATE codes turned into PostgREST's statuses and
// {code, message, details, hint} bodies. Users and the edge functions' writes go
// into the same database (the service's own rights).
//
//   BasePostgres base;
//   base.ouvrir(BasePostgres::connexionEnvironnement());   // VD_POSTGRES from scripts/avec-postgres.sh
//   base.vider();
//   base.creerUtilisateur(id, "lea@exemple.fr", {});
//   ReponseHttpFactice r = base.appeler("mon_compte", QJsonObject{}, id, "lea@exemple.fr");
#include "fakes/serveurhttp.h"

#include <QJsonObject>
#include <QString>
#include <QVariantList>

namespace vd::fakes {

class BasePostgres {
public:
    BasePostgres();
    ~BasePostgres();
    BasePostgres(const BasePostgres&) = delete;
    BasePostgres& operator=(const BasePostgres&) = delete;

    // The libpq connection string the test runner exported, empty outside it.
    static QString connexionEnvironnement();
    // "host=… port=… user=… dbname=…" (libpq keywords); false with erreur() set.
    bool ouvrir(const QString& connexion);
    bool ouverte() const;
    QString erreur() const { return erreur_; }

    // Removes every user (and so every account's data) and every team.
    bool vider();
    bool creerUtilisateur(const QString& id, const QString& email, const QJsonObject& metadonnees);

    // A procedure call as PostgREST makes it. An empty id means the anonymous role.
    ReponseHttpFactice appeler(const QString& nom, const QJsonValue& corps, const QString& idUtilisateur,
                               const QString& email);

    // With the service's rights, for the emulated edge functions and the tests'
    // set-up: runs one statement with positional parameters (?), gives the first
    // column of every row.
    QVariantList executer(const QString& sql, const QVariantList& parametres = {});

    // An edge function's procedure (schema prive, service role only) called as
    // the function does once it has checked the caller's token:
    // prive.NOM(account id, body). Refusals (P0001 whose hint is the function's
    // error code) become {"error": code, "message"}; anything else "erreur_base".
    ReponseHttpFactice appelerFonctionService(const QString& procedure, const QString& idUtilisateur, const QJsonObject& corps);

    // PostgREST's HTTP status for a SQLSTATE code.
    static int statutPour(const QString& sqlstate, bool anonyme);

private:
    struct Parametre {
        QString nom, type;
        bool parDefaut = false;
    };
    struct Signature {
        QList<Parametre> parametres;
        bool vide = false;   // returns void
        bool trouvee = false;
    };
    Signature signature(const QString& nom);

    QString nomConnexion_;
    QString erreur_;
};

} // namespace vd::fakes
