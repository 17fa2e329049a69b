#include "call/enregistreurappel.h"

#include <QCoreApplication>
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

EnregistreurAppel::ListeFenetres EnregistreurAppel::listeSysteme()
{
    return []() -> std::optional<QList<FenetreProposee>> {
        const auto lues = platform::creerLecteurFenetres()->lire();
        if (!lues)
            return std::nullopt;
        return proposerFenetres(*lues, QCoreApplication::applicationPid());
    };
}

platform::CaptureOuRaison EnregistreurAppel::ouvrirVideo(const Options& options)
{
    if (options.cible.type == QLatin1String("ecran") || options.cible.type.isEmpty())
        return options.fabriqueVideo ? options.fabriqueVideo() : platform::creerCaptureEcran();
    // A window: found again among the open ones; never the whole screen in its place,
    // which could show what the user meant to keep off the recording.
    const QString absente = ErreurEnregistrement{ErreurEnregistrement::Genre::fenetreIntrouvable, nomCible(options.cible)}.description();
    const ListeFenetres liste = options.listeFenetres ? options.listeFenetres : listeSysteme();
    const auto fenetres = liste();
    // Wayland lists no windows: the desktop's dialog picks one at the start of the call.
    if (!fenetres && platform::choixParLeBureau())
        return platform::creerCaptureBureau(true);
    const auto f = fenetres ? retrouverFenetre(*fenetres, options.cible) : std::nullopt;
    if (!f)
        return {nullptr, absente};
    const QString perdue = ErreurEnregistrement{ErreurEnregistrement::Genre::fenetreIntrouvable, f->titre}.description();
    return options.fabriqueFenetre ? options.fabriqueFenetre(f->numero, perdue) : platform::creerCaptureFenetre(f->numero, perdue);
}

std::optional<QString> EnregistreurAppel::avertissement() const
{
    std::lock_guard l(verrouAvertissement_);
    return avertissement_;
}

void EnregistreurAppel::surAvertissement(std::function<void(const QString&)> rappel)
{
    std::lock_guard l(verrouAvertissement_);
    surAvertissement_ = std::move(rappel);
}

void EnregistreurAppel::signaler(const QString& texte)
{
    std::function<void(const QString&)> rappel;
    {
        std::lock_guard l(verrouAvertissement_);
        avertissement_ = texte;
        rappel = surAvertissement_;
    }
    if (rappel)
        rappel(texte);
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
        platform::CaptureOuRaison c = ouvrirVideo(options);
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
                                            [this](const QString& raison) {
                                                // The last picture is repeated to the end.
                                                qCWarning(lcEnregistrement) << "fin de la vidéo :" << raison;
                                                signaler(raison);
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
