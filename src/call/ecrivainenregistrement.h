#pragma once
// Writes one call recording with the FFmpeg libraries: the mono mix as AAC
// (16 kHz, 32 kbit/s, 24 kbit/s when the encoder refuses it) and, when asked,
// the pictures as H.264 1280×720 at 15 images/s. While it runs the file is a
// fragmented MP4 named "….mp4.partiel", readable even when a crash cuts it;
// terminer() remuxes it with the index first and renames it.
//
// The sound is the clock: it carries its own time stamps (samples written over
// 16000), and picture n goes out once the sound reaches n/15 s, showing the
// last picture received; so a pause (nothing written) leaves no hole and the
// last picture lasts to the end of the sound. Encoding runs on a thread of its
// own behind a queue: pictures beyond its bound are dropped and counted, sound
// never is, and no caller ever waits for the encoder.
#include "model/appel.h"
#include "platform/resultat.h"

#include <QImage>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace vd::call {

struct ErreurEnregistrement {
    enum class Genre {
        ecranRefuse, listeIndisponible, aucunEcran, videoIndisponible, ecriture, fichierAbsent, extrait,
        ecranNonAutoriseEnAppel, espaceDisque, fenetreIntrouvable
    };
    Genre genre = Genre::ecriture;
    QString fenetre;   // fenetreIntrouvable: the window's name
    QString texteMac() const;
    QString description() const;   // in the running system's words
};

class EcrivainEnregistrement {
public:
    static constexpr int largeur = 1280;
    static constexpr int hauteur = 720;
    static constexpr int imagesParSeconde = 15;
    static constexpr int frequence = 16000;

    struct Options {
        bool video = true;
        // Video encoder by name; empty: libx264, else the best H.264 encoder available.
        QString encodeurVideo;
        int capaciteImages = 8;   // pictures waiting for the encoder before new ones are dropped
        // Tests: a failure while finishing the file.
        bool echecFinal = false;
    };

    // Opens cheminFinal + ".partiel". When the picture cannot be encoded the
    // writer records sound only and avertissement() says so.
    static Resultat<std::unique_ptr<EcrivainEnregistrement>, ErreurEnregistrement> ouvrir(const QString& cheminFinal,
                                                                                            const Options& options);
    ~EcrivainEnregistrement();   // unfinished: cancelled, the partial file removed

    QString urlPartielle() const;
    QString cheminFinal() const;
    bool avecVideo() const;
    QString encodeurVideo() const;
    int debitAudio() const;
    const std::optional<ErreurEnregistrement>& avertissement() const;

    // Any thread. Samples -1…1 at 16 kHz; ignored while paused or once finished.
    void ajouterSon(const float* mono, qsizetype n);
    // Any thread. Any size: scaled to fit 1280×720, aspect ratio kept.
    void ajouterImage(const QImage& image);
    void mettreEnPause();
    void reprendre();
    bool enPause() const;

    qint64 echantillons() const;     // received for writing
    qint64 images() const;           // encoded, repeats included
    qint64 imagesPerdues() const;    // dropped at the full queue

    // Writes what is queued, the last picture to the end of the sound, the
    // index, and renames the file. On failure nothing is left on disk.
    Resultat<model::EnregistrementAppel, ErreurEnregistrement> terminer();

    struct Etat;

private:
    EcrivainEnregistrement();
    std::unique_ptr<Etat> e_;
};

// Copies a recording to a new MP4 with its index first. With a range, only
// debutSec…finSec is kept, without re-encoding: the clip starts at the key
// frame at or before debutSec. The source's format is named, so any suffix
// works. Empty on success, else the reason (for the log).
QString remuxerMp4(const QString& source, const QString& destination, std::optional<double> debutSec = std::nullopt,
                   std::optional<double> finSec = std::nullopt);

// A clip debut…fin (seconds) of a recording, written atomically to vers.
ResultatVide<ErreurEnregistrement> exporterExtrait(const QString& source, double debut, double fin, const QString& vers);

// Duration in seconds of an MP4 file, none when it cannot be read.
std::optional<double> dureeMp4(const QString& chemin);

// The picture fitted into 1280×720 on a plain background, aspect ratio kept.
QImage cadrerImage(const QImage& image);

} // namespace vd::call
