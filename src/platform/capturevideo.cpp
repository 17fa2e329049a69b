#include "platform/capturevideo.h"
#include "platform/fenetres.h"

#include <QLoggingCategory>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

Q_LOGGING_CATEGORY(lcCaptureVideo, "vd.platform.video")

namespace vd::platform {
namespace {

constexpr int imagesParSeconde = 15;

const QString raisonAucunEcran =
    QStringLiteral("Aucun écran n'est disponible pour filmer la réunion : seul le son est enregistré.");

class CaptureX11 final : public CaptureVideo {
public:
    // fenetre 0: the whole screen; else that window, followed through its
    // changes of size, and raisonPerte reported when it closes.
    CaptureX11(QByteArray affichage, quint32 fenetre = 0, QString raisonPerte = {})
        : affichage_(std::move(affichage)), fenetre_(fenetre), raisonPerte_(std::move(raisonPerte))
    {
    }
    ~CaptureX11() override { arreter(); }

    std::optional<QString> demarrer(SurImage surImage, SurFin surFin) override
    {
        if (!ouvrir())
            return fenetre_ ? raisonPerte_ : raisonAucunEcran;
        continuer_ = true;
        fil_ = std::thread([this, surImage = std::move(surImage), surFin = std::move(surFin)] {
            boucle(surImage, surFin);
        });
        return std::nullopt;
    }

    void arreter() override
    {
        continuer_ = false;
        if (fil_.joinable())
            fil_.join();
        fermer();
        sws_freeContext(sws_);
        sws_ = nullptr;
    }

private:
    bool ouvrir()
    {
        avdevice_register_all();
        const AVInputFormat* x11 = av_find_input_format("x11grab");
        if (!x11)
            return false;
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "framerate", QByteArray::number(imagesParSeconde).constData(), 0);
        av_dict_set(&opts, "draw_mouse", "1", 0);
        if (fenetre_)
            av_dict_set(&opts, "window_id", QByteArray::number(fenetre_).constData(), 0);
        const int r = avformat_open_input(&entree_, affichage_.constData(), x11, &opts);
        av_dict_free(&opts);
        if (r < 0 || avformat_find_stream_info(entree_, nullptr) < 0 || entree_->nb_streams < 1) {
            qCWarning(lcCaptureVideo) << "x11grab indisponible sur" << affichage_ << "fenêtre" << fenetre_;
            fermer();
            return false;
        }
        const AVCodecParameters* p = entree_->streams[0]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(p->codec_id);
        decodeur_ = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!decodeur_ || avcodec_parameters_to_context(decodeur_, p) < 0 || avcodec_open2(decodeur_, codec, nullptr) < 0) {
            fermer();
            return false;
        }
        return true;
    }

    void fermer()
    {
        avcodec_free_context(&decodeur_);
        if (entree_)
            avformat_close_input(&entree_);
    }

private:
    void boucle(const SurImage& surImage, const SurFin& surFin)
    {
        AVPacket* pkt = av_packet_alloc();
        AVFrame* trame = av_frame_alloc();
        QString raison;
        int lus = 0;
        while (continuer_) {
            // A window is checked once a second: closed, it ends the picture; at a new
            // size, it is grabbed again whole (a grab keeps the size it started with).
            bool reprendre = false;
            if (fenetre_ && entree_ && ++lus % imagesParSeconde == 0) {
                const auto t = tailleFenetre(fenetre_);
                if (!t) {
                    raison = raisonPerte_;
                    break;
                }
                reprendre = decodeur_ && *t != QSize(decodeur_->width, decodeur_->height);
            }
            if (reprendre || !entree_ || av_read_frame(entree_, pkt) < 0) {
                if (!continuer_)
                    break;   // stopping: not a loss
                if (!fenetre_) {
                    raison = QStringLiteral("La réunion n'a pas pu être filmée : seul le son est enregistré.");
                    break;
                }
                if (!tailleFenetre(fenetre_)) {
                    raison = raisonPerte_;
                    break;
                }
                // Still there: resized, or hidden for a moment (minimised). Taken again when it can be.
                fermer();
                if (!ouvrir() || !reprendre)
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            if (avcodec_send_packet(decodeur_, pkt) >= 0) {
                while (avcodec_receive_frame(decodeur_, trame) >= 0) {
                    // Screen pixels as a QImage in memory order B, G, R, X.
                    QImage image(trame->width, trame->height, QImage::Format_RGB32);
                    sws_ = sws_getCachedContext(sws_, trame->width, trame->height, AVPixelFormat(trame->format),
                                                trame->width, trame->height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr,
                                                nullptr, nullptr);
                    uint8_t* plans[1] = {image.bits()};
                    const int pas[1] = {int(image.bytesPerLine())};
                    if (sws_)
                        sws_scale(sws_, trame->data, trame->linesize, 0, trame->height, plans, pas);
                    surImage(image);
                    av_frame_unref(trame);
                }
            }
            av_packet_unref(pkt);
        }
        av_frame_free(&trame);
        av_packet_free(&pkt);
        if (!raison.isEmpty() && surFin)
            surFin(raison);
    }

    QByteArray affichage_;
    quint32 fenetre_ = 0;
    QString raisonPerte_;
    AVFormatContext* entree_ = nullptr;
    AVCodecContext* decodeur_ = nullptr;
    SwsContext* sws_ = nullptr;
    std::atomic<bool> continuer_{false};
    std::thread fil_;
};

} // namespace

CaptureOuRaison creerCaptureEcran()
{
    return creerCaptureFenetre(0, {});
}

CaptureOuRaison creerCaptureFenetre(quint32 numero, const QString& raisonPerte)
{
    const QByteArray affichage = qgetenv("DISPLAY");
    // Wayland: windows have no number here; the desktop asks which one.
    if (choixParLeBureau())
        return creerCaptureBureau(numero != 0);
    if (affichage.isEmpty())
        return {nullptr, raisonAucunEcran};
    return {std::make_unique<CaptureX11>(affichage, numero, raisonPerte), {}};
}

} // namespace vd::platform
