#pragma once
// One process per data folder: a lock file taken before the store exists,
// and a local socket through which a second launch hands its deep link to
// the running instance, then exits.
#include <QLockFile>
#include <QObject>
#include <QUrl>
#include <memory>

class QLocalServer;

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

    // True: this process is the one (the lock is held and the server listens).
    // False: another runs; message (a URL, or empty to just show it) was handed over.
    bool acquerir(const QString& message);
    QString nomServeur() const { return nom_; }

Q_SIGNALS:
    // A later launch asked for this (empty: show the main window).
    void messageRecu(const QString& message);

private:
    bool envoyer(const QString& message);
    QString nom_;
    std::unique_ptr<QLockFile> verrou_;
    QLocalServer* serveur_ = nullptr;
};

// Where an incoming URL goes.
enum class DestinationLien { ignore, agenda, compte };
// Scheme "vendalo2" only (case-insensitive); host "agenda" reloads the
// calendars, any other host goes to the account.
DestinationLien routerLien(const QUrl& url);

} // namespace vd::app
