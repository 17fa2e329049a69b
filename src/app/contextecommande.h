#pragma once
// Where a subcommand runs: alone in its own process (under the data folder's
// lock), or inside the process that holds the folder, for a request relayed
// over the local channel. The command's code is the same; only its store, its
// input and its output change.
#include "relais.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace vd::model { class Store; }
namespace vd::call { class SessionAppel; }
namespace vd::ai { class AnalysesEnCours; }
namespace vd::cloud { class Synchro; }

namespace vd::app {

struct ContexteCommande {
    model::Store* store = nullptr;
    std::optional<QByteArray> entree;   // the caller's standard input
    QString dossier;                    // the caller's working folder
    QByteArray sortie, erreurs;         // what the command printed
    // Inside the desktop app: its call session and analyses, so that a simulated
    // call plays in the open window.
    call::SessionAppel* session = nullptr;
    ai::AnalysesEnCours* analyses = nullptr;
    std::function<void()> montrerAppel;
    // Inside the desktop app: its synchronisation, the only one that may write its state.
    cloud::Synchro* synchro = nullptr;
};

// The relayed command being run by this process, or null.
ContexteCommande* contexteCommande();

class PorteeCommande {
public:
    explicit PorteeCommande(ContexteCommande& c);
    ~PorteeCommande();
    PorteeCommande(const PorteeCommande&) = delete;
    PorteeCommande& operator=(const PorteeCommande&) = delete;

private:
    ContexteCommande* precedent_;
};

// Output and input of the current command.
void ecrireSortie(const QByteArray& octets);
void ecrireErreurs(const QByteArray& octets);
// Standard input, read once. False when it cannot be read.
bool lireEntreeStandard(QByteArray& octets);
// A path given on the command line, relative to the caller's working folder.
QString cheminCommande(const QString& chemin);

// Runs a command that changes stored data on the store, under the data
// folder's lock for its whole run. When another process holds the folder and
// answers on the local channel, the request (commande and args, standard input
// when an argument is "-", the working folder) runs there and its output and
// status come back here. servir: while corps runs its event loop, requests
// relayed by other subcommands run here too (long writers such as a simulated call).
int executerEnEcriture(const QString& commande, const QStringList& args, const std::function<int(model::Store&)>& corps,
                       bool servir = false);

// Runs a command that only reads: never waits for the lock. When the lock is
// free, it is taken for a moment to close interrupted calls first.
int executerEnLecture(const std::function<int(model::Store&)>& corps);
// The recovery a reader does when the data folder is free.
void recupererSiLibre();

// Runs one relayed request on store, as the command line would, and answers.
// Only commands that change stored data are accepted.
void executerRequete(const RequeteCommande& requete, ContexteCommande base,
                     const std::function<void(const ReponseCommande&)>& repondre);

} // namespace vd::app
