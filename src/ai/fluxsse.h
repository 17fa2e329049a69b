#pragma once
// Reading a server-sent event stream of the Messages API as it arrives:
// bytes are cut into lines (a line may span several reads, a character may be
// split between two reads), each complete line updates a FluxSSE.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace vd::ai {

struct ErreurFluxSSE {
    QString type;
    QString message;
    bool operator==(const ErreurFluxSSE&) const = default;
};

struct FluxSSE {
    QString texte;                          // concatenated text deltas
    std::optional<QString> stopReason;
    std::optional<ErreurFluxSSE> erreur;
    bool termine = false;                   // "message_stop" seen
    int evenements = 0;                     // data lines parsed
    QString evenement;                      // name from the last "event:" line
    std::optional<QString> modele;          // model named by "message_start"

    // Handles one line (without its "\n"); returns the text it appended.
    QString ligne(QByteArrayView ligne);
};

// Status an in-stream error type stands for ("overloaded_error" → 529, …; unknown → 400).
int statutPourErreurFlux(const QString& type);

// Cuts bytes into lines; keeps the unfinished tail for the next read.
class DecoupeurLignes {
public:
    template<typename F>
    void ajouter(QByteArrayView octets, F&& surLigne)
    {
        qsizetype debut = 0;
        for (;;) {
            const qsizetype fin = octets.indexOf('\n', debut);
            if (fin < 0)
                break;
            if (reste_.isEmpty()) {
                surLigne(octets.sliced(debut, fin - debut));
            } else {
                reste_.append(octets.sliced(debut, fin - debut));
                const QByteArray complete = std::move(reste_);
                reste_ = QByteArray();
                surLigne(QByteArrayView(complete));
            }
            debut = fin + 1;
        }
        if (debut < octets.size())
            reste_.append(octets.sliced(debut));
    }
    // Bytes of an unfinished line (dropped at the end of the stream).
    qsizetype enAttente() const { return reste_.size(); }
    void vider() { reste_.clear(); }

private:
    QByteArray reste_;
};

} // namespace vd::ai
