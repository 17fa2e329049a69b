#pragma once
// Words shown for the stored codes: call types, statuses, pipeline stages.
#include <QColor>
#include <QString>

class QLabel;
class QWidget;

namespace vd::model {
struct Appel;
struct Etat;
} // namespace vd::model

namespace vd::ui::libelles {

QString typeAppel(const QString& type);
QString statutAppel(const QString& statut);
// How an objection was handled: "oui", "partiel", "non"; other wording as the model wrote it.
QString traitementObjection(const QString& traitement);
QString langue(const QString& code);
QString methode(const QString& code);
// Pipeline stage: label and the engine's colours (text on background).
struct Etape {
    QString libelle;
    QColor texte, fond;
};
Etape etape(const QString& id);
QLabel* puceEtape(const QString& id, QWidget* parent);
// Name of the call's contact, or "Appel sans contact".
QString nomContact(const model::Etat& etat, const model::Appel& a);
// The analysis score (0…100) of a call, when analysed.
std::optional<int> score(const model::Appel& a);

} // namespace vd::ui::libelles
