#include "call/enregistreurappel.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStorageInfo>

Q_DECLARE_LOGGING_CATEGORY(lcEnregistrement)

namespace vd::call {

EnregistreurAppel::SondeVolume EnregistreurAppel::sondeSysteme()
{
    return [](const QString& dossier) -> std::optional<qint64> {
        QDir().mkpath(dossier);
        QStorageInfo info(dossier);
        if (!info.isValid() || !info.isReady())
            return std::nullopt;
        return info.bytesAvailable();
    };
}

int EnregistreurAppel::nettoyerPartiels(const QString& dossier)
{
    int n = 0;
    const QDir d(dossier);
    for (const QString& nom : d.entryList({QStringLiteral("*.partiel")}, QDir::Files))
        if (QFile::remove(d.filePath(nom)))
            ++n;
    if (n > 0)
        qCInfo(lcEnregistrement) << n << "enregistrement(s) interrompu(s) retiré(s)";
    return n;
}

EnregistreurAppel::EnregistreurAppel(const QString& appelId, Options options)
{
    const SondeVolume sonde = options.sonde ? options.sonde : sondeSysteme();
    if (!QDir().mkpath(options.dossier)) {
        avertissement_ = ErreurEnregistrement{ErreurEnregistrement::Genre::ecriture, {}}.description();
        return;
    }
    // Only one call runs at a time: any ".partiel" here is a crash's leftover.
    nettoyerPartiels(options.dossier);
    const std::optional<qint64> libre = sonde(options.dossier);
    if (libre && *libre < espaceMinimal) {
        avertissement_ = ErreurEnregistrement{ErreurEnregistrement::Genre::espaceDisque, {}}.description();
        return;
    }

    bool video = options.video;
    if (video) {
        platform::CaptureOuRaison c = options.fabriqueVideo ? options.fabriqueVideo() : platform::creerCaptureEcran();
        if (!c.capture) {
            video = false;
            avertissement_ = c.raison.isEmpty()
                                 ? ErreurEnregistrement{ErreurEnregistrement::Genre::videoIndisponible, {}}.description()
                                 : c.raison;
        } else {
            video_ = std::move(c.capture);
        }
    }

    EcrivainEnregistrement::Options o = options.ecrivain;
    o.video = video;
    const QString nom = appelId.isEmpty() ? QStringLiteral("appel") : appelId;
    auto w = EcrivainEnregistrement::ouvrir(QDir(options.dossier).filePath(nom + QStringLiteral(".mp4")), o);
    if (!w) {
        video_.reset();
        avertissement_ = w.erreur().description();
        return;
    }
    ecrivain_ = std::move(w.valeur());
    if (ecrivain_->avertissement() && !avertissement_)
        avertissement_ = ecrivain_->avertissement()->description();

    if (video_ && ecrivain_->avecVideo()) {
        EcrivainEnregistrement* e = ecrivain_.get();
        const auto refus = video_->demarrer([e](const QImage& image) { e->ajouterImage(image); },
                                            [](const QString& raison) {
                                                // The last picture is repeated to the end.
                                                qCWarning(lcEnregistrement) << "fin de la vidéo :" << raison;
                                            });
        if (refus) {
            // Sound only: the file is opened again without its picture track.
            video_.reset();
            ecrivain_.reset();
            o.video = false;
            auto seul = EcrivainEnregistrement::ouvrir(QDir(options.dossier).filePath(nom + QStringLiteral(".mp4")), o);
            if (!seul) {
                avertissement_ = seul.erreur().description();
                return;
            }
            ecrivain_ = std::move(seul.valeur());
            if (!avertissement_)
                avertissement_ = *refus;
        }
    } else {
        video_.reset();
    }
}

EnregistreurAppel::~EnregistreurAppel()
{
    if (video_)
        video_->arreter();
}

void EnregistreurAppel::recevoirSon(const float* mono, qsizetype n)
{
    std::lock_guard l(verrou_);
    if (ecrivain_)
        ecrivain_->ajouterSon(mono, n);
}

void EnregistreurAppel::pause()
{
    if (ecrivain_)
        ecrivain_->mettreEnPause();
}

void EnregistreurAppel::reprendre()
{
    if (ecrivain_)
        ecrivain_->reprendre();
}

Resultat<model::EnregistrementAppel, ErreurEnregistrement> EnregistreurAppel::arreter()
{
    if (video_) {
        video_->arreter();
        video_.reset();
    }
    std::unique_ptr<EcrivainEnregistrement> w;
    {
        std::lock_guard l(verrou_);
        w = std::move(ecrivain_);
    }
    if (!w)
        return echec(ErreurEnregistrement{ErreurEnregistrement::Genre::ecriture, {}});
    return w->terminer();
}

} // namespace vd::call
