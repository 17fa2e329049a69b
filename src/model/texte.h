#pragma once
// Reading model output leniently, and the text helpers every rule over free text uses.
#include "json.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace vd::model {

// A value decoded without ever failing: valeur is none when T cannot be read.
template<typename T>
struct Souple {
    std::optional<T> valeur;
    bool operator==(const Souple&) const = default;
};

// Text from a text or a number; none for anything else.
struct TexteSouple {
    std::optional<QString> valeur;
    static TexteSouple depuisJson(const QJsonValue& v);
    bool operator==(const TexteSouple&) const = default;
};

// Vendor and model names replaced ("Quillo", "transcription").
QString neutraliser(const QString& texte);
// True when a text names a vendor or a model family.
bool nommeUnFournisseur(const QString& texte);
// "Analyse avancée" / "Analyse rapide" / "Analyse".
QString libelleModele(const QString& modele);
// Completes a partially streamed JSON text (closes the open string and
// containers, drops a trailing separator or unfinished literal); none when
// even the completed text does not parse.
std::optional<QJsonValue> completerJsonPartiel(const QString& texte);
std::optional<QJsonValue> completerJsonPartiel(const QByteArray& utf8);
// True when a free text names a moment (a day, a month, a relative day, a digit).
bool dateDansTexte(const QString& texte);

// Folding used by every comparison of free text: French case and diacritics
// folded, lower case, typographic apostrophes as "'", white space collapsed
// and trimmed. "Élan  d’été" → "elan d'ete".
QString plier(const QString& texte);

// Shared time stamps: ISO 8601 with milliseconds and "Z" for writing; both
// forms (with or without fractional seconds, any offset) for reading.
QString horodatage(const QDateTime& t);
std::optional<QDateTime> lireHorodatage(const QString& texte);
// Calendar day "yyyy-MM-dd" in the local time zone.
QString jourCalendaire(const QDateTime& t);

} // namespace vd::model
