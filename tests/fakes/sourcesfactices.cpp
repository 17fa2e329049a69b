#include "sourcesfactices.h"

namespace vd::fakes {

using platform::EchecSource;
using platform::GenreSource;

ResultatVide<EchecSource> SourcesFactices::ouvrir(GenreSource genre, Donnees donnees, Fin fin)
{
    QMutexLocker l(&verrou_);
    Source& s = de(genre);
    ++s.ouvertures;
    if (auto e = std::exchange(s.echec, std::nullopt)) {
        s.ouverte = false;
        return echec(*e);
    }
    s.ouverte = true;
    s.donnees = std::move(donnees);
    s.fin = std::move(fin);
    return Rien{};
}

void SourcesFactices::fermer(GenreSource genre)
{
    QMutexLocker l(&verrou_);
    Source& s = de(genre);
    s.ouverte = false;
    s.donnees = nullptr;
    s.fin = nullptr;
}

QString SourcesFactices::peripherique(GenreSource genre) const
{
    QMutexLocker l(&verrou_);
    if (!de(genre).ouverte)
        return {};
    return genre == GenreSource::micro ? QStringLiteral("micro.factice") : QStringLiteral("hautparleurs.factice.monitor");
}

void SourcesFactices::echouer(GenreSource genre, EchecSource e)
{
    QMutexLocker l(&verrou_);
    de(genre).echec = e;
}

bool SourcesFactices::ouverte(GenreSource genre) const
{
    QMutexLocker l(&verrou_);
    return de(genre).ouverte;
}

int SourcesFactices::ouvertures(GenreSource genre) const
{
    QMutexLocker l(&verrou_);
    return de(genre).ouvertures;
}

void SourcesFactices::livrer(GenreSource genre, const std::vector<float>& trames, int frequence, int canaux)
{
    QMutexLocker l(&verrou_);
    const Source& s = de(genre);
    if (s.ouverte && s.donnees)
        s.donnees(trames.data(), qsizetype(trames.size()) / canaux, frequence, canaux);
}

void SourcesFactices::perdre(GenreSource genre)
{
    Fin fin;
    {
        QMutexLocker l(&verrou_);
        Source& s = de(genre);
        if (!s.ouverte)
            return;
        s.ouverte = false;
        fin = std::move(s.fin);
        s.donnees = nullptr;
    }
    if (fin)
        fin();
}

} // namespace vd::fakes
