#pragma once
// Edits of a JSON document made on its text: one member of one object is set
// or removed and every other byte (order of keys, spacing, numbers as written)
// stays as it was. A re-serialisation through QJsonDocument would sort the
// keys and reformat the user's file.
#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>

namespace vd::assistant::jsonordonne {

// Why a text cannot be edited: a syntax error (with its 1-based line and
// whether it is a real trailing comma) or a top level that is not an object.
struct ErreurSyntaxe {
    int ligne = 1;
    bool virguleEnTrop = false;
};
struct StructureInattendue {};
using Defaut = std::variant<ErreurSyntaxe, StructureInattendue>;

// None when the text is a JSON object whose member `objet` (when present) is an object too.
std::optional<Defaut> verifier(const QByteArray& texte, const QString& objet);
// The French detail shown after "Votre fichier de configuration de Claude est abîmé".
QString detail(const Defaut& d);

// The text with objet[cle] set to valeur (a JSON value as text, written on one
// or more lines; it is re-indented to its place). `objet` is created at the end
// of the top level when missing. The text must have passed verifier().
QByteArray avecMembre(const QByteArray& texte, const QString& objet, const QString& cle, const QByteArray& valeur);
// The text without objet[cle]; unchanged when absent.
QByteArray sansMembre(const QByteArray& texte, const QString& objet, const QString& cle);
// Whether objet[cle] is present.
bool contientMembre(const QByteArray& texte, const QString& objet, const QString& cle);

} // namespace vd::assistant::jsonordonne
