#pragma once
// The assistant's event stream read into blocks: text, thinking with its
// signature, tool calls whose input arrives as partial JSON, blocks of other
// kinds kept as they came. Blocks are keyed by their index, which the server
// may interleave.
#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <optional>

namespace vd::assistant {

struct FluxQuillo {
    struct Bloc {
        QString type;          // "text", "thinking", "redacted_thinking", "tool_use", or another type
        QString texte, reflexion, signature, donnees;
        QString id, nom, entreeBrute;
        std::optional<QString> autre;   // a block of another type, as raw JSON
        bool ferme = false;
    };
    struct Erreur {
        QString type, message;
    };
    struct Evenement {
        enum class Genre { texte, outil };
        Genre genre = Genre::texte;
        int index = 0;
        QString delta;         // texte
        QString id, nom;       // outil
    };

    QMap<int, Bloc> blocs;
    std::optional<QString> stopReason;
    std::optional<Erreur> erreur;
    std::optional<QString> modele;
    bool termine = false;
    QString evenement;

    // Handles one line (without its "\n"); an event worth showing at once, if any.
    std::optional<Evenement> ligne(QByteArrayView ligne);
    // The content of the assistant message, blocks in index order, thinking kept as it came.
    QJsonArray contenu() const;
    QString texteComplet() const;
};

// A finished tool call: its input parsed, or none when the partial JSON does not read.
struct BlocQuillo {
    QString type, texte, id, nom;
    std::optional<QJsonValue> entree;
    QString entreeBrute;
};
QList<BlocQuillo> appelsOutils(const FluxQuillo& f);

} // namespace vd::assistant
