#include "call/ecrivainenregistrement.h"

#include "platform/formulation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

Q_LOGGING_CATEGORY(lcEnregistrement, "vd.call.enregistrement")

namespace vd::call {

// --- Messages --------------------------------------------------------------------

QString ErreurEnregistrement::texteMac() const
{
    const QString reglages = QStringLiteral(
        "autorisez Vendalo dans Réglages Système, Confidentialité et sécurité, Enregistrement de l'écran et de "
        "l'audio du système, puis relancez l'app.");
    switch (genre) {
    case Genre::ecranRefuse: return QStringLiteral("Pour filmer la réunion, ") + reglages;
    case Genre::listeIndisponible: return QStringLiteral("La liste des fenêtres n'a pas pu être lue. Réessayez dans un instant.");
    case Genre::aucunEcran: return QStringLiteral("Aucun écran n'est disponible pour filmer la réunion : seul le son est enregistré.");
    case Genre::videoIndisponible: return QStringLiteral("La réunion n'a pas pu être filmée : seul le son est enregistré.");
    case Genre::ecriture:
        return QStringLiteral("L'enregistrement n'a pas pu être écrit sur ce Mac. Vérifiez l'espace disque, puis réessayez.");
    case Genre::fichierAbsent: return QStringLiteral("Le fichier de l'enregistrement est introuvable sur ce Mac.");
    case Genre::extrait: return QStringLiteral("Le clip n'a pas pu être créé. Réessayez.");
    case Genre::ecranNonAutoriseEnAppel:
        return QStringLiteral("Enregistrement sans image : macOS n'autorise pas encore Vendalo à filmer l'écran. L'appel "
                              "continue et le son est enregistré. Pour la vidéo, ") + reglages;
    case Genre::espaceDisque:
        return QStringLiteral("Il reste moins de 3 Go sur ce Mac : cet appel n'est pas enregistré. L'appel continue "
                              "normalement. Libérez de la place pour enregistrer les suivants.");
    case Genre::fenetreIntrouvable:
        return QStringLiteral("La fenêtre « ") + fenetre +
               QStringLiteral(" » n'est pas ouverte : seul le son est enregistré. Ouvrez la réunion avant de démarrer l'appel.");
    }
    return QStringLiteral("Une erreur est survenue. Réessayez dans un instant.");
}

QString ErreurEnregistrement::description() const
{
    QString t = platform::formuler(texteMac());
    if (platform::systemeCourant() != platform::Systeme::macos)
        t.replace(QStringLiteral("macOS n'autorise"), QStringLiteral("le système n'autorise"));
    return t;
}

namespace {

ErreurEnregistrement erreur(ErreurEnregistrement::Genre g) { return ErreurEnregistrement{g, {}}; }

QString texteAv(int code)
{
    char tampon[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, tampon, sizeof tampon);
    return QString::fromUtf8(tampon);
}

QByteArray nomFichier(const QString& chemin) { return QFile::encodeName(chemin); }

struct LibererFormat {
    void operator()(AVFormatContext* c) const
    {
        if (!c)
            return;
        if (c->oformat && !(c->oformat->flags & AVFMT_NOFILE) && c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

} // namespace

QImage cadrerImage(const QImage& image)
{
    constexpr int L = EcrivainEnregistrement::largeur, H = EcrivainEnregistrement::hauteur;
    if (image.width() == L && image.height() == H && image.format() == QImage::Format_RGB32)
        return image;
    QImage cadre(L, H, QImage::Format_RGB32);
    cadre.fill(QColor(0x15, 0x16, 0x1A));
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return cadre;
    const QSize taille = image.size().scaled(L, H, Qt::KeepAspectRatio);
    QPainter p(&cadre);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(QPoint((L - taille.width()) / 2, (H - taille.height()) / 2), taille), image);
    return cadre;
}

// --- Writer state ------------------------------------------------------------------

struct EcrivainEnregistrement::Etat {
    QString final, partiel;
    Options options;
    std::unique_ptr<AVFormatContext, LibererFormat> sortie;
    AVCodecContext* audio = nullptr;
    AVCodecContext* video = nullptr;
    AVStream* fluxAudio = nullptr;
    AVStream* fluxVideo = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* trameAudio = nullptr;
    AVFrame* imageGardee = nullptr;   // the last picture, in the encoder's format
    // Pictures from the source: a picture track of plain background alone (a desktop
    // that refused to share, after the file was opened) is no video.
    qint64 imagesFilmees = 0;
    AVPacket* paquet = nullptr;
    SwsContext* sws = nullptr;
    QString nomEncodeurVideo;
    int debitAudio = 0;
    std::optional<ErreurEnregistrement> avertissement;

    // Queue between the callers and the encoding thread.
    struct Element {
        std::vector<float> son;
        QImage image;
    };
    std::mutex verrou;
    std::condition_variable signal;
    std::deque<Element> file;
    int imagesEnFile = 0;
    bool fin = false;
    std::thread travail;

    std::atomic<bool> enPause{false};
    std::atomic<bool> fini{false};
    std::atomic<qint64> echantillonsRecus{0};
    std::atomic<qint64> images{0};
    std::atomic<qint64> imagesPerdues{0};

    // Encoding thread only.
    qint64 ptsAudio = 0;           // samples handed to the encoder
    qint64 echantillonsEcrits = 0; // samples taken from the queue
    qint64 prochaineImage = 0;
    bool enEchec = false;

    ~Etat()
    {
        avcodec_free_context(&audio);
        avcodec_free_context(&video);
        if (fifo)
            av_audio_fifo_free(fifo);
        av_frame_free(&trameAudio);
        av_frame_free(&imageGardee);
        av_packet_free(&paquet);
        sws_freeContext(sws);
    }

    bool ecrirePaquets(AVCodecContext* c, AVStream* s)
    {
        for (;;) {
            const int r = avcodec_receive_packet(c, paquet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            av_packet_rescale_ts(paquet, c->time_base, s->time_base);
            paquet->stream_index = s->index;
            if (av_interleaved_write_frame(sortie.get(), paquet) < 0)
                return false;
        }
    }

    bool encoderAudio(int n)
    {
        if (av_frame_make_writable(trameAudio) < 0)
            return false;
        trameAudio->nb_samples = n;
        if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(trameAudio->data), n) < n)
            return false;
        trameAudio->pts = ptsAudio;
        ptsAudio += n;
        return avcodec_send_frame(audio, trameAudio) >= 0 && ecrirePaquets(audio, fluxAudio);
    }

    bool encoderImage()
    {
        if (av_frame_make_writable(imageGardee) < 0)
            return false;
        imageGardee->pts = prochaineImage++;
        images.fetch_add(1);
        return avcodec_send_frame(video, imageGardee) >= 0 && ecrirePaquets(video, fluxVideo);
    }

    // Pictures until the sound reaches the next picture's time.
    bool rattraperImages(qint64 echantillonsSon)
    {
        if (!video)
            return true;
        while (prochaineImage * frequence < echantillonsSon * imagesParSeconde)
            if (!encoderImage())
                return false;
        return true;
    }

    bool garderImage(const QImage& source)
    {
        if (!video)
            return true;
        const QImage img = cadrerImage(source);
        const uint8_t* plans[1] = {img.constBits()};
        const int pas[1] = {int(img.bytesPerLine())};
        // The encoder may still hold the previous buffer: give the frame a new one.
        if (av_frame_make_writable(imageGardee) < 0)
            return false;
        sws_scale(sws, plans, pas, 0, hauteur, imageGardee->data, imageGardee->linesize);
        return true;
    }

    void traiter(Element& el)
    {
        if (enEchec)
            return;
        if (!el.image.isNull()) {
            enEchec = !garderImage(el.image);
            ++imagesFilmees;
            return;
        }
        if (el.son.empty())
            return;
        const float* donnees = el.son.data();
        void* plans[1] = {const_cast<float*>(donnees)};
        if (av_audio_fifo_write(fifo, plans, int(el.son.size())) < int(el.son.size())) {
            enEchec = true;
            return;
        }
        echantillonsEcrits += qint64(el.son.size());
        const int taille = audio->frame_size > 0 ? audio->frame_size : 1024;
        while (!enEchec && av_audio_fifo_size(fifo) >= taille)
            enEchec = !encoderAudio(taille);
        if (!enEchec)
            enEchec = !rattraperImages(echantillonsEcrits);
    }

    void boucle()
    {
        for (;;) {
            Element el;
            {
                std::unique_lock l(verrou);
                signal.wait(l, [this] { return fin || !file.empty(); });
                if (file.empty())
                    return;
                el = std::move(file.front());
                file.pop_front();
                if (!el.image.isNull())
                    --imagesEnFile;
            }
            traiter(el);
        }
    }

    void arreterTravail()
    {
        {
            std::lock_guard l(verrou);
            fin = true;
        }
        signal.notify_all();
        if (travail.joinable())
            travail.join();
    }

    // The rest of the sound (padded to a whole frame when the encoder wants
    // one), the last picture to the sound's end, the encoders' tails, the index.
    bool finir()
    {
        if (enEchec)
            return false;
        const int taille = audio->frame_size > 0 ? audio->frame_size : 1024;
        const int reste = av_audio_fifo_size(fifo);
        if (reste > 0) {
            int n = reste;
            if (!(audio->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE))) {
                std::vector<float> silence(size_t(taille - reste), 0.0f);
                void* plans[1] = {silence.data()};
                av_audio_fifo_write(fifo, plans, int(silence.size()));
                n = taille;
            }
            if (!encoderAudio(n))
                return false;
        }
        if (!rattraperImages(echantillonsEcrits))
            return false;
        if (avcodec_send_frame(audio, nullptr) < 0 || !ecrirePaquets(audio, fluxAudio))
            return false;
        if (video && (avcodec_send_frame(video, nullptr) < 0 || !ecrirePaquets(video, fluxVideo)))
            return false;
        if (av_write_trailer(sortie.get()) < 0)
            return false;
        if (avio_closep(&sortie->pb) < 0)
            return false;
        return !options.echecFinal;
    }
};

namespace {

AVCodecContext* ouvrirAudio(AVFormatContext* sortie, int debit)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        return nullptr;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = EcrivainEnregistrement::frequence;
    av_channel_layout_default(&c->ch_layout, 1);
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->bit_rate = debit;
    c->time_base = AVRational{1, EcrivainEnregistrement::frequence};
    if (sortie->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        return nullptr;
    }
    return c;
}

AVCodecContext* ouvrirVideo(AVFormatContext* sortie, const AVCodec* codec)
{
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->width = EcrivainEnregistrement::largeur;
    c->height = EcrivainEnregistrement::hauteur;
    c->time_base = AVRational{1, EcrivainEnregistrement::imagesParSeconde};
    c->framerate = AVRational{EcrivainEnregistrement::imagesParSeconde, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->bit_rate = 1200000;
    c->gop_size = 30;
    c->keyint_min = 1;
    c->max_b_frames = 0;   // no reordering: the stream stays simple to cut
    if (sortie->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* opts = nullptr;
    if (qstrcmp(codec->name, "libx264") == 0) {
        av_dict_set(&opts, "preset", "veryfast", 0);
        av_dict_set(&opts, "profile", "high", 0);
        // One thread and a short look-ahead: 720p at 15 images/s needs no more,
        // and each extra thread or look-ahead picture holds frames in memory.
        av_dict_set(&opts, "threads", "1", 0);
        // Key frames exactly every 30 pictures (2 s), not on scene changes:
        // clips start where the user expects, whatever the pictures show.
        av_dict_set(&opts, "x264-params", "scenecut=0:rc-lookahead=5", 0);
    }
    const int r = avcodec_open2(c, codec, &opts);
    av_dict_free(&opts);
    if (r < 0) {
        avcodec_free_context(&c);
        return nullptr;
    }
    return c;
}

// libx264, else any H.264 encoder that takes yuv420p frames in memory.
AVCodecContext* choisirVideo(AVFormatContext* sortie, const QString& nom, QString* choisi)
{
    std::vector<const AVCodec*> candidats;
    if (!nom.isEmpty()) {
        if (const AVCodec* c = avcodec_find_encoder_by_name(nom.toUtf8().constData()))
            candidats.push_back(c);
    } else {
        if (const AVCodec* c = avcodec_find_encoder_by_name("libx264"))
            candidats.push_back(c);
        void* it = nullptr;
        while (const AVCodec* c = av_codec_iterate(&it))
            if (av_codec_is_encoder(c) && c->id == AV_CODEC_ID_H264 && qstrcmp(c->name, "libx264") != 0)
                candidats.push_back(c);
    }
    for (const AVCodec* c : candidats) {
        if (c->id != AV_CODEC_ID_H264)
            continue;
        if (AVCodecContext* ctx = ouvrirVideo(sortie, c)) {
            *choisi = QString::fromLatin1(c->name);
            return ctx;
        }
    }
    return nullptr;
}

} // namespace

// --- Writer ----------------------------------------------------------------------------

EcrivainEnregistrement::EcrivainEnregistrement() : e_(std::make_unique<Etat>()) {}

EcrivainEnregistrement::~EcrivainEnregistrement()
{
    e_->arreterTravail();
    if (!e_->fini.load()) {
        e_->sortie.reset();
        QFile::remove(e_->partiel);
    }
}

Resultat<std::unique_ptr<EcrivainEnregistrement>, ErreurEnregistrement>
EcrivainEnregistrement::ouvrir(const QString& cheminFinal, const Options& options)
{
    static const bool discret = [] {
        av_log_set_level(AV_LOG_ERROR);   // the encoders' statistics are not for the user's log
        return true;
    }();
    Q_UNUSED(discret);
    std::unique_ptr<EcrivainEnregistrement> w(new EcrivainEnregistrement());
    Etat& e = *w->e_;
    e.final = cheminFinal;
    e.partiel = cheminFinal + QStringLiteral(".partiel");
    e.options = options;
    if (!QDir().mkpath(QFileInfo(cheminFinal).absolutePath()))
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));

    // The ".partiel" suffix defeats guessing: the format is named.
    AVFormatContext* brut = nullptr;
    if (avformat_alloc_output_context2(&brut, nullptr, "mp4", nomFichier(e.partiel).constData()) < 0 || !brut)
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));
    e.sortie.reset(brut);

    for (int debit : {32000, 24000}) {
        if ((e.audio = ouvrirAudio(brut, debit))) {
            e.debitAudio = debit;
            break;
        }
    }
    if (!e.audio)
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));

    if (options.video) {
        e.video = choisirVideo(brut, options.encodeurVideo, &e.nomEncodeurVideo);
        if (!e.video) {
            qCWarning(lcEnregistrement) << "aucun encodeur H.264 utilisable : son seul";
            e.avertissement = erreur(ErreurEnregistrement::Genre::videoIndisponible);
        }
    }

    e.fluxAudio = avformat_new_stream(brut, nullptr);
    avcodec_parameters_from_context(e.fluxAudio->codecpar, e.audio);
    e.fluxAudio->time_base = e.audio->time_base;
    if (e.video) {
        e.fluxVideo = avformat_new_stream(brut, nullptr);
        avcodec_parameters_from_context(e.fluxVideo->codecpar, e.video);
        e.fluxVideo->time_base = e.video->time_base;
        e.fluxVideo->avg_frame_rate = e.video->framerate;
        e.fluxVideo->r_frame_rate = e.video->framerate;
    }

    int r = avio_open(&brut->pb, nomFichier(e.partiel).constData(), AVIO_FLAG_WRITE);
    if (r < 0) {
        qCWarning(lcEnregistrement) << "ouverture impossible" << texteAv(r);
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));
    }
    AVDictionary* opts = nullptr;
    // Fragments at each key frame (every 2 s at most); sound alone is cut every second.
    av_dict_set(&opts, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
    if (!e.video)
        av_dict_set(&opts, "frag_duration", "1000000", 0);
    r = avformat_write_header(brut, &opts);
    av_dict_free(&opts);
    if (r < 0) {
        qCWarning(lcEnregistrement) << "en-tête impossible" << texteAv(r);
        e.sortie.reset();
        QFile::remove(e.partiel);
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));
    }

    e.fifo = av_audio_fifo_alloc(e.audio->sample_fmt, 1, frequence);
    e.trameAudio = av_frame_alloc();
    e.trameAudio->format = e.audio->sample_fmt;
    av_channel_layout_copy(&e.trameAudio->ch_layout, &e.audio->ch_layout);
    e.trameAudio->sample_rate = frequence;
    e.trameAudio->nb_samples = e.audio->frame_size > 0 ? e.audio->frame_size : 1024;
    av_frame_get_buffer(e.trameAudio, 0);
    e.paquet = av_packet_alloc();
    if (e.video) {
        e.imageGardee = av_frame_alloc();
        e.imageGardee->format = AV_PIX_FMT_YUV420P;
        e.imageGardee->width = largeur;
        e.imageGardee->height = hauteur;
        av_frame_get_buffer(e.imageGardee, 0);
        // Plain background until the first picture arrives.
        e.sws = sws_getContext(largeur, hauteur, AV_PIX_FMT_BGRA, largeur, hauteur, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                               nullptr, nullptr, nullptr);
        e.garderImage(QImage());
    }
    e.travail = std::thread([&e] { e.boucle(); });
    return w;
}

QString EcrivainEnregistrement::urlPartielle() const { return e_->partiel; }
QString EcrivainEnregistrement::cheminFinal() const { return e_->final; }
bool EcrivainEnregistrement::avecVideo() const { return e_->video != nullptr; }
QString EcrivainEnregistrement::encodeurVideo() const { return e_->nomEncodeurVideo; }
int EcrivainEnregistrement::debitAudio() const { return e_->debitAudio; }
const std::optional<ErreurEnregistrement>& EcrivainEnregistrement::avertissement() const { return e_->avertissement; }
bool EcrivainEnregistrement::enPause() const { return e_->enPause.load(); }
qint64 EcrivainEnregistrement::echantillons() const { return e_->echantillonsRecus.load(); }
qint64 EcrivainEnregistrement::images() const { return e_->images.load(); }
qint64 EcrivainEnregistrement::imagesPerdues() const { return e_->imagesPerdues.load(); }

void EcrivainEnregistrement::mettreEnPause() { e_->enPause.store(true); }
void EcrivainEnregistrement::reprendre() { e_->enPause.store(false); }

void EcrivainEnregistrement::ajouterSon(const float* mono, qsizetype n)
{
    if (n <= 0 || e_->enPause.load() || e_->fini.load())
        return;
    Etat::Element el;
    el.son.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i)
        el.son.push_back(std::clamp(mono[i], -1.0f, 1.0f));
    {
        std::lock_guard l(e_->verrou);
        if (e_->fin)
            return;
        e_->file.push_back(std::move(el));
    }
    e_->echantillonsRecus.fetch_add(n);
    e_->signal.notify_one();
}

void EcrivainEnregistrement::ajouterImage(const QImage& image)
{
    if (!e_->video || image.isNull() || e_->enPause.load() || e_->fini.load())
        return;
    // Framed to 1280×720 on the caller's (capture) thread: the queue holds
    // pictures of the output size, not full screens.
    QImage cadre = cadrerImage(image);
    {
        std::lock_guard l(e_->verrou);
        if (e_->fin)
            return;
        if (e_->imagesEnFile >= std::max(1, e_->options.capaciteImages)) {
            e_->imagesPerdues.fetch_add(1);
            return;
        }
        ++e_->imagesEnFile;
        Etat::Element el;
        el.image = std::move(cadre);
        e_->file.push_back(std::move(el));
    }
    e_->signal.notify_one();
}

Resultat<model::EnregistrementAppel, ErreurEnregistrement> EcrivainEnregistrement::terminer()
{
    Etat& e = *e_;
    if (e.fini.exchange(true))
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));
    e.arreterTravail();
    const QString remux = e.final + QStringLiteral(".remux.partiel");
    auto ratee = [&]() -> Resultat<model::EnregistrementAppel, ErreurEnregistrement> {
        e.sortie.reset();
        QFile::remove(e.partiel);
        QFile::remove(remux);
        return echec(erreur(ErreurEnregistrement::Genre::ecriture));
    };
    if (!e.finir()) {
        qCWarning(lcEnregistrement) << "écriture de l'enregistrement impossible";
        return ratee();
    }
    e.sortie.reset();
    const QString raison = remuxerMp4(e.partiel, remux);
    if (!raison.isEmpty()) {
        qCWarning(lcEnregistrement) << "remux impossible :" << raison;
        return ratee();
    }
    QFile::remove(e.final);
    if (!QFile::rename(remux, e.final))
        return ratee();
    QFile::remove(e.partiel);
    model::EnregistrementAppel r;
    r.fichier = QFileInfo(e.final).fileName();
    r.dureeSec = double(e.echantillonsEcrits) / frequence;
    r.taille = QFileInfo(e.final).size();
    r.video = e.video != nullptr && e.images.load() > 0 && e.imagesFilmees > 0;
    return r;
}

// --- Remux and clips ---------------------------------------------------------------------

QString remuxerMp4(const QString& source, const QString& destination, std::optional<double> debutSec,
                   std::optional<double> finSec)
{
    AVFormatContext* entree = nullptr;
    const AVInputFormat* format = av_find_input_format("mp4");
    int r = avformat_open_input(&entree, nomFichier(source).constData(), format, nullptr);
    if (r < 0)
        return texteAv(r);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> garde(entree, [](AVFormatContext* c) {
        avformat_close_input(&c);
    });
    if ((r = avformat_find_stream_info(entree, nullptr)) < 0)
        return texteAv(r);

    AVFormatContext* brut = nullptr;
    if (avformat_alloc_output_context2(&brut, nullptr, "mp4", nomFichier(destination).constData()) < 0 || !brut)
        return QStringLiteral("format");
    std::unique_ptr<AVFormatContext, LibererFormat> sortie(brut);
    std::vector<int> correspondance(entree->nb_streams, -1);
    int videoEntree = -1;
    for (unsigned i = 0; i < entree->nb_streams; ++i) {
        const AVCodecParameters* p = entree->streams[i]->codecpar;
        if (p->codec_type != AVMEDIA_TYPE_AUDIO && p->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        AVStream* s = avformat_new_stream(brut, nullptr);
        avcodec_parameters_copy(s->codecpar, p);
        s->codecpar->codec_tag = 0;
        s->time_base = entree->streams[i]->time_base;
        correspondance[i] = s->index;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && videoEntree < 0)
            videoEntree = int(i);
    }
    if (brut->nb_streams == 0)
        return QStringLiteral("aucun flux");
    if ((r = avio_open(&brut->pb, nomFichier(destination).constData(), AVIO_FLAG_WRITE)) < 0)
        return texteAv(r);
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "movflags", "+faststart", 0);
    r = avformat_write_header(brut, &opts);
    av_dict_free(&opts);
    if (r < 0) {
        sortie.reset();
        QFile::remove(destination);
        return texteAv(r);
    }

    if (debutSec && entree->duration != AV_NOPTS_VALUE && *debutSec * AV_TIME_BASE >= double(entree->duration)) {
        sortie.reset();
        QFile::remove(destination);
        return QStringLiteral("début après la fin");
    }
    // A clip starts at the key frame at or before its start (no re-encoding).
    // The sound's encoder delay shifts the pictures by about 64 ms, so a key
    // frame up to 0.1 s after the start counts as the start: otherwise a clip
    // from 2 s would open on the key frame of 0 s.
    std::optional<qint64> origine;   // microseconds, the first kept instant
    if (debutSec && *debutSec > 0)
        av_seek_frame(entree, -1, qint64((*debutSec + 0.1) * AV_TIME_BASE), AVSEEK_FLAG_BACKWARD);
    const qint64 finUs = finSec ? qint64(*finSec * AV_TIME_BASE) : std::numeric_limits<qint64>::max();
    AVPacket* pkt = av_packet_alloc();
    std::vector<qint64> dernierDts(brut->nb_streams, std::numeric_limits<qint64>::min());
    QString raison;
    while ((r = av_read_frame(entree, pkt)) >= 0) {
        const int idx = pkt->stream_index;
        if (idx >= int(correspondance.size()) || correspondance[idx] < 0 || pkt->pts == AV_NOPTS_VALUE) {
            av_packet_unref(pkt);
            continue;
        }
        const AVRational tb = entree->streams[idx]->time_base;
        const qint64 us = av_rescale_q(pkt->pts, tb, AV_TIME_BASE_Q);
        if (us >= finUs) {
            av_packet_unref(pkt);
            continue;
        }
        if (!origine) {
            if (!debutSec) {
                origine = 0;   // a whole copy keeps every time stamp
            } else if (videoEntree >= 0) {
                // The picture's key frame the seek landed on opens the clip.
                if (idx != videoEntree || !(pkt->flags & AV_PKT_FLAG_KEY)) {
                    av_packet_unref(pkt);
                    continue;
                }
                origine = us;
            } else {
                origine = std::max<qint64>(us, 0);
            }
        }
        if (debutSec && us < *origine) {
            av_packet_unref(pkt);
            continue;
        }
        const qint64 decalage = av_rescale_q(*origine, AV_TIME_BASE_Q, tb);
        pkt->pts -= decalage;
        if (pkt->dts != AV_NOPTS_VALUE)
            pkt->dts -= decalage;
        AVStream* s = brut->streams[correspondance[idx]];
        av_packet_rescale_ts(pkt, tb, s->time_base);
        if (pkt->dts != AV_NOPTS_VALUE) {
            if (pkt->dts <= dernierDts[s->index] ) {
                av_packet_unref(pkt);
                continue;
            }
            dernierDts[s->index] = pkt->dts;
        }
        pkt->stream_index = s->index;
        pkt->pos = -1;
        if ((r = av_interleaved_write_frame(brut, pkt)) < 0) {
            raison = texteAv(r);
            break;
        }
    }
    av_packet_free(&pkt);
    if (raison.isEmpty() && !origine)
        raison = QStringLiteral("intervalle vide");
    if (raison.isEmpty() && (r = av_write_trailer(brut)) < 0)
        raison = texteAv(r);
    if (raison.isEmpty() && (r = avio_closep(&brut->pb)) < 0)
        raison = texteAv(r);
    if (!raison.isEmpty()) {
        sortie.reset();
        QFile::remove(destination);
    }
    return raison;
}

ResultatVide<ErreurEnregistrement> exporterExtrait(const QString& source, double debut, double fin, const QString& vers)
{
    if (!QFileInfo::exists(source))
        return echec(erreur(ErreurEnregistrement::Genre::fichierAbsent));
    if (!std::isfinite(debut) || !std::isfinite(fin) || debut < 0 || fin <= debut || vers.isEmpty())
        return echec(erreur(ErreurEnregistrement::Genre::extrait));
    QDir().mkpath(QFileInfo(vers).absolutePath());
    const QString temporaire = vers + QStringLiteral(".partiel");
    const QString raison = remuxerMp4(source, temporaire, debut, fin);
    if (!raison.isEmpty()) {
        qCWarning(lcEnregistrement) << "extrait impossible :" << raison;
        QFile::remove(temporaire);
        return echec(erreur(ErreurEnregistrement::Genre::extrait));
    }
    QFile::remove(vers);
    if (!QFile::rename(temporaire, vers)) {
        QFile::remove(temporaire);
        return echec(erreur(ErreurEnregistrement::Genre::extrait));
    }
    return Rien{};
}

std::optional<double> dureeMp4(const QString& chemin)
{
    AVFormatContext* entree = nullptr;
    if (avformat_open_input(&entree, nomFichier(chemin).constData(), av_find_input_format("mp4"), nullptr) < 0)
        return std::nullopt;
    std::optional<double> d;
    if (avformat_find_stream_info(entree, nullptr) >= 0 && entree->duration != AV_NOPTS_VALUE)
        d = double(entree->duration) / AV_TIME_BASE;
    avformat_close_input(&entree);
    return d;
}

} // namespace vd::call
