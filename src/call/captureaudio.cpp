#include "captureaudio.h"

#include "call/blocaudio.h"
#include "call/convertisseuraudio.h"
#include "platform/horloge.h"
#include "platform/sourcespulse.h"

#include <QLoggingCategory>
#include <QThread>
#include <algorithm>

Q_LOGGING_CATEGORY(lcCapture, "vd.call.capture")

namespace vd::call {

namespace {

using platform::EchecSource;
using platform::GenreSource;

ErreurCaptureAudio erreurMicro(EchecSource e)
{
    switch (e) {
    case EchecSource::serveurAbsent: return {ErreurCaptureAudio::Genre::indisponible};
    case EchecSource::aucunePeripherique: return {ErreurCaptureAudio::Genre::aucunMicro};
    case EchecSource::ouvertureImpossible: return {ErreurCaptureAudio::Genre::microIndisponible};
    }
    return {ErreurCaptureAudio::Genre::indisponible};
}

ErreurCaptureAudio erreurSonSysteme(EchecSource e)
{
    if (e == EchecSource::serveurAbsent)
        return {ErreurCaptureAudio::Genre::indisponible};
    return {ErreurCaptureAudio::Genre::sonMacIndisponible};
}

} // namespace

CaptureAudio::CaptureAudio(std::unique_ptr<platform::SourcesAudio> sources, platform::Horloge* horloge, Fil fil)
    : sources_(sources ? std::move(sources) : std::make_unique<platform::SourcesPulse>()),
      horloge_(horloge ? horloge : &platform::Horloge::instance()), fil_(fil)
{
    contexte_ = new QObject;
    if (fil_ == Fil::dedie) {
        thread_ = new QThread;
        thread_->setObjectName(QStringLiteral("io.vendalo.capture"));
        contexte_->moveToThread(thread_);
        thread_->start();
    }
    surFil([this] {
        minuterie_ = horloge_->creerMinuterie(contexte_);
        QObject::connect(minuterie_, &platform::Minuterie::expire, contexte_, [this] { tic(); });
    });
}

CaptureAudio::~CaptureAudio()
{
    arreter();
    surFil([this] {
        delete minuterie_;
        minuterie_ = nullptr;
    });
    if (thread_) {
        thread_->quit();
        thread_->wait();
        delete thread_;
    }
    delete contexte_;
}

void CaptureAudio::surFil(const std::function<void()>& f)
{
    if (!thread_ || QThread::currentThread() == thread_)
        f();
    else
        QMetaObject::invokeMethod(contexte_, f, Qt::BlockingQueuedConnection);
}

ResultatVide<ErreurCaptureAudio> CaptureAudio::demarrer(int canaux)
{
    if (actif_)
        arreter();
    const int n = canaux >= 2 ? 2 : 1;
    canaux_ = n;
    for (auto& c : convertisseurs_)
        c.reset();

    auto micro = sources_->ouvrir(
        GenreSource::micro,
        [this](const float* t, qsizetype nb, int f, int c) { recevoir(0, t, nb, f, c); },
        [this] { finSource(QStringLiteral("micro")); });
    if (!micro) {
        qCWarning(lcCapture) << "micro indisponible" << int(micro.erreur());
        return echec(erreurMicro(micro.erreur()));
    }
    if (n == 2) {
        auto mac = sources_->ouvrir(
            GenreSource::sonSysteme,
            [this](const float* t, qsizetype nb, int f, int c) { recevoir(1, t, nb, f, c); },
            [this] { finSource(QStringLiteral("mac")); });
        if (!mac) {
            qCWarning(lcCapture) << "son du système indisponible" << int(mac.erreur());
            sources_->fermer(GenreSource::micro);
            return echec(erreurSonSysteme(mac.erreur()));
        }
    }

    debut_ = horloge_->monotoneMs();
    emis_ = 0;
    tamponVous_.vider();
    tamponProspect_.vider();
    {
        QMutexLocker l(&verrou_);
        niveaux_ = {};
        statistiques_ = {};
    }
    actif_ = true;
    surFil([this] { minuterie_->demarrer(kPeriodeTicMs); });
    return Rien{};
}

void CaptureAudio::arreter()
{
    actif_ = false;
    // Sources first: once closed, no audio thread touches the converters.
    sources_->fermer(GenreSource::micro);
    sources_->fermer(GenreSource::sonSysteme);
    surFil([this] {
        if (minuterie_)
            minuterie_->arreter();
    });
    {
        QMutexLocker l(&verrouRappels_);
        rappel_ = nullptr;
        mixage_ = nullptr;
    }
    for (auto& c : convertisseurs_)
        c.reset();
}

void CaptureAudio::setRappel(Rappel r)
{
    QMutexLocker l(&verrouRappels_);
    rappel_ = std::move(r);
}

void CaptureAudio::setMixage(Mixage m)
{
    QMutexLocker l(&verrouRappels_);
    mixage_ = std::move(m);
}

void CaptureAudio::setSurFin(SurFin f)
{
    QMutexLocker l(&verrou_);
    surFin_ = std::move(f);
}

std::pair<float, float> CaptureAudio::niveaux() const
{
    QMutexLocker l(&verrou_);
    return {niveaux_[0], niveaux_[1]};
}

int CaptureAudio::canaux() const { return canaux_; }

std::pair<QString, QString> CaptureAudio::peripheriques() const
{
    return {sources_->peripherique(GenreSource::micro), sources_->peripherique(GenreSource::sonSysteme)};
}

CaptureAudio::Statistiques CaptureAudio::statistiques() const
{
    QMutexLocker l(&verrou_);
    return statistiques_;
}

void CaptureAudio::recevoir(int canal, const float* trames, qsizetype n, int frequence, int canaux)
{
    auto& conv = convertisseurs_[size_t(canal)];
    if (!conv || !conv->pour(frequence, canaux)) {
        conv = std::make_unique<ConvertisseurAudio>(frequence, canaux);
        if (!conv->valide())
            qCWarning(lcCapture) << "format de source inutilisable" << frequence << "Hz" << canaux << "canaux";
    }
    auto& sortie = converti_[size_t(canal)];
    conv->convertir(trames, n, sortie);
    (canal == 0 ? tamponVous_ : tamponProspect_).ajouter(sortie.data(), qsizetype(sortie.size()));
}

void CaptureAudio::finSource(const QString& source)
{
    if (!actif_)
        return;
    qCWarning(lcCapture) << "fin de la source" << source;
    SurFin f;
    {
        QMutexLocker l(&verrou_);
        f = surFin_;
    }
    if (f)
        f(source);
}

void CaptureAudio::tic()
{
    if (!actif_)
        return;
    QMutexLocker rappels(&verrouRappels_);
    if (!rappel_)
        return;
    const qint64 n = echantillonsDus(horloge_->monotoneMs() - debut_, emis_);
    if (n == 0)
        return;
    emis_ += n;
    const bool deux = canaux_ >= 2;
    blocVous_.resize(size_t(n));
    const qsizetype zerosVous = tamponVous_.prendre(blocVous_.data(), n);
    qsizetype zerosProspect = 0;
    if (deux) {
        blocProspect_.resize(size_t(n));
        zerosProspect = tamponProspect_.prendre(blocProspect_.data(), n);
    }
    const float* prospect = deux ? blocProspect_.data() : nullptr;

    const float nv = niveauBloc(blocVous_.data(), n);
    const float np = deux ? niveauBloc(prospect, n) : 0.0f;
    {
        QMutexLocker l(&verrou_);
        niveaux_[0] = lisserNiveau(niveaux_[0], nv);
        niveaux_[1] = deux ? lisserNiveau(niveaux_[1], np) : 0.0f;
        auto& s = statistiques_;
        ++s.blocs;
        s.echantillons += n;
        s.completes[0] += zerosVous;
        s.completes[1] += zerosProspect;
        for (size_t c = 0; c < 2; ++c) {
            s.crete[c] = std::max(s.crete[c], niveaux_[c]);
            s.somme[c] += double(niveaux_[c]);
        }
    }

    rappel_(encoderBloc(blocVous_.data(), prospect, n));
    if (mixage_) {
        mix_.resize(size_t(n));
        mixer(blocVous_.data(), prospect, n, mix_.data());
        mixage_(mix_.data(), n);
    }
}

} // namespace vd::call
