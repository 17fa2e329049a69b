#pragma once
// One process per data folder: a lock file taken before the store exists,
// and a local socket through which a second launch hands its deep link to
// the running instance, and a subcommand its request, to run on the app's store.
#include "relais.h"

#include <QLockFile>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace vd::app {

class InstanceUnique : public QObject {
    Q_OBJECT
public:
    // dossier: the data folder the lock protects.
    explicit InstanceUnique(const QString& dossier, QObject* parent = nullptr);
    // A forwarded link longer than this is refused whole (logged, no action), never cut: room
    // enough for a sign-in link with its tokens.
    static constexpr qint64 limiteLien = 64 * 1024;
    ~InstanceUnique() override;

    enum class Issue { proprietaire, transmis, occupe };
    // proprietaire: this process is the one (the lock is held and the server listens).
    // transmis: another instance runs; message (a URL, or empty to just show it) was handed over.
    // occupe: the folder is held by a process that does not answer (a subcommand).
    Issue acquerir(const QString& message);
    QString nomServeur() const { return nom_; }
    // For a subcommand: takes the lock if it is free, without any hand-off.
    bool prendre() { return verrou_->tryLock(0); }
    // With the lock held: listens for relayed requests.
    // Deep links are not taken: a later app launch is told the folder is busy.
    void servir()
    {
        accepteLiens_ = false;
        ecouter();
    }

    // The lock file and the socket of a data folder (the socket lives in
    // XDG_RUNTIME_DIR when there is one).
    static QString cheminVerrou(const QString& dossier);
    static QString nomServeurPour(const QString& dossier);

    // Runs a relayed subcommand; answer is called once, possibly later.
    using Executeur = std::function<void(const RequeteCommande& requete, std::function<void(const ReponseCommande&)> repondre)>;
    void setExecuteur(Executeur e) { executeur_ = std::move(e); }

Q_SIGNALS:
    // A later launch asked for this (empty: show the main window).
    void messageRecu(const QString& message);

private:
    bool envoyer(const QString& message);
    void ecouter();
    void lire(QLocalSocket* s);
    void refuser(QLocalSocket* s, const QString& message);
    void refuserLien(QLocalSocket* s);
    QString nom_;
    std::unique_ptr<QLockFile> verrou_;
    QLocalServer* serveur_ = nullptr;
    Executeur executeur_;
    bool occupe_ = false;   // a relayed command is running
    bool accepteLiens_ = true;
};

// Where an incoming URL goes.
enum class DestinationLien { ignore, agenda, compte };
// Scheme "vendalo2" only (case-insensitive); host "agenda" reloads the
// calendars, any other host goes to the account.
DestinationLien routerLien(const QUrl& url);

} // namespace vd::app
