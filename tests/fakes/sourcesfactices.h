#pragma once
// Scripted sound sources for the capture's tests: the test delivers frames,
// makes an opening fail or a source end, on its own thread.
#include "platform/sourcesaudio.h"

#include <QMutex>
#include <array>
#include <optional>
#include <vector>

namespace vd::fakes {

class SourcesFactices final : public platform::SourcesAudio {
public:
    ResultatVide<platform::EchecSource> ouvrir(platform::GenreSource genre, Donnees donnees, Fin fin) override;
    void fermer(platform::GenreSource genre) override;
    QString peripherique(platform::GenreSource genre) const override;

    // The next opening of that source fails with e.
    void echouer(platform::GenreSource genre, platform::EchecSource e);
    bool ouverte(platform::GenreSource genre) const;
    int ouvertures(platform::GenreSource genre) const;
    // Delivers interleaved frames as the source's audio thread would; ignored when closed.
    void livrer(platform::GenreSource genre, const std::vector<float>& trames, int frequence = 16000, int canaux = 1);
    // The source is lost for good.
    void perdre(platform::GenreSource genre);

private:
    struct Source {
        bool ouverte = false;
        int ouvertures = 0;
        std::optional<platform::EchecSource> echec;
        Donnees donnees;
        Fin fin;
    };
    Source& de(platform::GenreSource g) { return sources_[g == platform::GenreSource::micro ? 0 : 1]; }
    const Source& de(platform::GenreSource g) const { return sources_[g == platform::GenreSource::micro ? 0 : 1]; }
    mutable QMutex verrou_;
    std::array<Source, 2> sources_;
};

} // namespace vd::fakes
