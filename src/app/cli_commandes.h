#pragma once
// One function per subcommand; each lives in its own cli_*.cpp.
#include <QStringList>

class QJsonArray;
namespace vd::model { class Store; }

namespace vd::app {

int commandeSauvegarde(const QStringList& args);
int commandeSimuler(const QStringList& args);
int commandeMoteur(const QStringList& args);
int commandeAutotest(const QStringList& args);
int commandeCles(const QStringList& args);
int commandeIa(const QStringList& args);
int commandeTranscrire(const QStringList& args);
int commandeCloud(const QStringList& args);
int commandeAudio(const QStringList& args);
int commandeContacts(const QStringList& args);
int commandeImporter(const QStringList& args);
int commandeExporter(const QStringList& args);
int commandeSynchroniser(const QStringList& args);
int commandeCompte(const QStringList& args);
int commandeRelances(const QStringList& args);
int commandeQuillo(const QStringList& args);
int commandeEnregistrement(const QStringList& args);
int commandeExtrait(const QStringList& args);
int commandeAgenda(const QStringList& args);
int commandeMcp(const QStringList& args);
int commandeFrameworks(const QStringList& args);
int commandeProgres(const QStringList& args);

// The follow-up steps due on jour (AAAA-MM-JJ) or late, by sequence.
QJsonArray relancesDues(model::Store& store, const QString& jour);
// "vendalo equipe alertes" (args after "alertes").
int commandeEquipeAlertes(const QStringList& args);
int commandeCommenter(const QStringList& args);
int commandeEquipe(const QStringList& args);

} // namespace vd::app
