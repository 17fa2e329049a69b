#pragma once
// The command line: French subcommands, JSON on stdout, French errors on stderr.
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace vd::app {

struct Commande {
    QString nom;
    QString usage;   // shown by --help
    QString resume;
    std::function<int(const QStringList& args)> executer;   // args after the command name
};

// Every subcommand, in the order --help lists them.
const QList<Commande>& commandes();
const Commande* trouverCommande(const QString& nom);

// Output helpers shared by the commands.
void sortieJson(const QJsonValue& v, bool indente = true);
void sortieTexte(const QString& t);
int erreur(const QString& message, int code = 1);   // prints on stderr, returns code
QString texteAide();

} // namespace vd::app
