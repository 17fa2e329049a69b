#pragma once
// Turning the services' messages into transcript segments. Pure values: one
// analyser per stream, fed each message in order on the stream's thread.
#include "interfaces.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace vd::call {

enum class RoleFluxSoniox { vous, prospect, mixte };

// Prospect voices told apart by the service, numbered 1, 2, … in order of
// first registration; one per prospect stream for the whole call.
struct VoixProspect {
    QMap<qint64, qint64> numeros;
    std::optional<qint64> numero(std::optional<qint64> locuteur) const;
    qint64 enregistrer(qint64 locuteur);
    qint64 prochain() const { return numeros.size() + 1; }
};

// One run of tokens or words with the same service speaker.
struct Tour {
    std::optional<qint64> locuteur;
    int taille = 0;
};
// Voice numbers of consecutive runs: a known speaker keeps its number; a new
// one needs at least 3 tokens; otherwise the run takes the number of the run
// before it (for the first run: of the first known speaker of the batch, or 1).
QList<qint64> numeroterTours(const QList<Tour>& tours, VoixProspect& voix);

struct AnalyseurSoniox {
    struct Jeton {
        QString texte;
        qint64 debutMs = 0;
        qint64 finMs = 0;
        std::optional<qint64> locuteur;
        bool operator==(const Jeton&) const = default;
    };
    struct Erreur {
        int code = 0;
        QString type;
        QString message;
        bool operator==(const Erreur&) const = default;
    };
    struct Resultat {
        bool estResultat = false;
        QList<SegmentLive> segments;
        std::optional<Erreur> erreur;
        bool fini = false;
    };

    RoleFluxSoniox role = RoleFluxSoniox::mixte;
    VoixProspect voix;
    QList<Jeton> enAttente;
    std::optional<qint64> locuteurVous;

    Resultat analyser(const QByteArray& message, qint64 decalageMs);
    // Final segments of the pending tokens (emptied).
    QList<SegmentLive> vider(qint64 decalageMs);

private:
    QString locuteurMixte(std::optional<qint64> locuteur) const;
    std::optional<SegmentLive> partiel(const QList<Jeton>& nonFinaux, qint64 decalageMs) const;
};

// One "Results" message of the Deepgram service; none for other messages.
// Final results register new prospect voices in `voix`.
std::optional<SegmentLive> analyserDeepgram(const QByteArray& message, qint64 decalageMs, VoixProspect& voix);

} // namespace vd::call
