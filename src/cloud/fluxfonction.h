#pragma once
// A backend function answered as a stream (server-sent events). Emits
// reponse() once the 2xx headers are in, then each piece as it arrives (raw
// and split into lines), then exactly one of fini() or echec(); nothing after
// annuler(). A 401 before any byte is retried once with a fresh token.
#include "cloud/erreurcloud.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QObject>
#include <QPointer>

class QNetworkReply;

namespace vd::platform {
class Minuterie;
}

namespace vd::cloud {

class ClientSupabase;

class FluxFonction : public QObject {
    Q_OBJECT
public:
    FluxFonction(ClientSupabase* client, QString chemin, QByteArray corps, int delaiMs);
    ~FluxFonction() override;

    void annuler();
    bool termine() const { return termine_; }
    int statut() const { return statut_; }
    // A header of the answer ("x-vd-modele"…), empty when absent.
    QByteArray entete(const QByteArray& nom) const;

    static constexpr int tailleMaxErreur = 64'000;

Q_SIGNALS:
    void reponse(int statut);
    void donnees(const QByteArray& morceau);
    void ligne(const QByteArray& ligne);   // without its "\n" nor a trailing "\r"
    void fini();
    void echec(const vd::cloud::ErreurCloud& erreur);

private:
    friend class ClientSupabase;
    void demarrer();
    void lancer(const QString& jeton);
    void lire();
    void finir();
    void echouer(const ErreurCloud& e);
    void arreterMinuteries();

    QPointer<ClientSupabase> client_;
    QString chemin_;
    QByteArray corps_;
    int delaiMs_;
    QString jeton_;
    QNetworkReply* reponse_ = nullptr;
    platform::Minuterie* attente_ = nullptr;
    platform::Minuterie* total_ = nullptr;
    QList<QPair<QByteArray, QByteArray>> entetes_;
    QByteArray tampon_;       // the line being received
    QByteArray corpsErreur_;  // the body of a non-2xx answer
    int statut_ = 0;
    bool reessaye_ = false;
    bool delaiDepasse_ = false;
    bool annule_ = false;
    bool termine_ = false;
    bool annonce_ = false;
};

} // namespace vd::cloud
