#pragma once
// Echo filter: without headphones the microphone picks up the prospect's
// voice from the loudspeakers, so the salesperson's transcript repeats what
// the prospect said moments earlier. FiltreEcho remembers the prospect's
// recent text with its timing and, for each piece of salesperson text,
// keeps it, drops it, or cuts the echoed words out of it.
//
// A plain value: no clock, no threads, no I/O; times are call offsets (ms).
// Words are compared on Unicode code points, never on UTF-16 units.
#include <QList>
#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace vd::call {

class FiltreEcho {
public:
    // A normalised word of a text.
    struct Mot {
        QString norme;          // normalised form
        bool plein = false;     // a content word (not a hesitation, not a very short word)
        int origine = 0;        // index of the raw (whitespace-split) token it came from
        std::u32string points;  // norme as code points, for comparisons
        bool operator==(const Mot& o) const { return norme == o.norme && plein == o.plein && origine == o.origine; }
    };

    // A prospect segment remembered by the filter (words tokenised once).
    struct Morceau {
        QString texte;
        qint64 debutMs = 0;
        qint64 finMs = 0;   // the larger of the two given times
        std::vector<Mot> mots;
    };

    struct Verdict {
        enum class Genre { inchange, retirer, rogner };
        Genre genre = Genre::inchange;
        QString texte;        // for rogner
        qint64 debutMs = 0;   // for rogner
        qint64 finMs = 0;     // for rogner
        bool operator==(const Verdict&) const = default;
        static Verdict inchange() { return {}; }
        static Verdict retirer() { return {Genre::retirer, {}, 0, 0}; }
    };

    // Records a prospect segment (partial or final).
    void ajouter(const QString& texte, qint64 debutMs, qint64 finMs, bool final);
    // The verdict for a piece of salesperson text. Does not change the filter.
    Verdict examiner(const QString& texte, qint64 debutMs, qint64 finMs) const;

    const std::vector<Morceau>& finals() const { return finals_; }
    const std::optional<Morceau>& enCours() const { return enCours_; }
    void vider();

    // Tokenising shared by both sides (exposed for tests).
    static std::vector<Mot> tokeniser(const QString& texte);
    static bool motsEgaux(const std::u32string& a, const std::u32string& b);
    static bool estAcquiescement(const QString& norme);
    static bool estHesitation(const QString& norme);

private:
    std::vector<Morceau> finals_;
    std::optional<Morceau> enCours_;
};

} // namespace vd::call
