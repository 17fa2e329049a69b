#include "platform/fluxpipewire.h"

#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

Q_LOGGING_CATEGORY(lcPipeWire, "vd.platform.pipewire")

namespace vd::platform {

QString FluxPipeWire::injoignable()
{
    return QStringLiteral("Le flux vidéo du bureau (PipeWire) n'a pas pu être ouvert : seul le son est enregistré.");
}

QString FluxPipeWire::formatInconnu()
{
    return QStringLiteral("Le bureau envoie la vidéo dans un format que Vendalo ne sait pas lire : seul le son est enregistré.");
}

struct FluxPipeWire::Etat {
    SurImage surImage;
    SurFin surFin;
    pw_thread_loop* boucle = nullptr;
    pw_context* contexte = nullptr;
    pw_core* coeur = nullptr;
    pw_stream* flux = nullptr;
    spa_hook ecouteCoeur{};
    spa_hook ecouteFlux{};
    bool ecouteCoeurPosee = false, ecouteFluxPosee = false;
    spa_video_info_raw format{};
    bool formatConnu = false;
    bool diffuse = false;   // pictures have flowed
    std::atomic<bool> fini{false};
    std::chrono::steady_clock::time_point derniere{};

    void finir(const QString& raison)
    {
        if (fini.exchange(true))
            return;
        qCInfo(lcPipeWire) << "fin du flux :" << raison;
        if (surFin)
            surFin(raison);
    }

    static void erreurCoeur(void* d, uint32_t id, int, int res, const char* message)
    {
        auto* e = static_cast<Etat*>(d);
        qCWarning(lcPipeWire) << "erreur PipeWire" << id << res << message;
        if (id == PW_ID_CORE)
            e->finir(e->diffuse ? QString() : injoignable());
    }

    static void etatChange(void* d, pw_stream_state, pw_stream_state etat, const char* erreur)
    {
        auto* e = static_cast<Etat*>(d);
        if (etat == PW_STREAM_STATE_STREAMING)
            e->diffuse = true;
        if (etat == PW_STREAM_STATE_ERROR) {
            qCWarning(lcPipeWire) << "flux en erreur :" << erreur;
            e->finir(e->diffuse ? QString() : injoignable());
        } else if (etat == PW_STREAM_STATE_UNCONNECTED && e->diffuse) {
            e->finir({});
        }
    }

    static void parametreChange(void* d, uint32_t id, const spa_pod* param)
    {
        auto* e = static_cast<Etat*>(d);
        if (!param || id != SPA_PARAM_Format)
            return;
        uint32_t type = 0, sousType = 0;
        if (spa_format_parse(param, &type, &sousType) < 0 || type != SPA_MEDIA_TYPE_video
            || sousType != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &e->format) < 0) {
            e->finir(formatInconnu());
            return;
        }
        e->formatConnu = true;
        // Plain memory or shared memory that the stream maps for us.
        uint8_t tampon[256];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(tampon, sizeof(tampon));
        const spa_pod* params[1];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
        pw_stream_update_params(e->flux, params, 1);
    }

    static void traiter(void* d)
    {
        auto* e = static_cast<Etat*>(d);
        // Only the newest buffer matters: older ones go back at once.
        pw_buffer* dernier = nullptr;
        while (pw_buffer* b = pw_stream_dequeue_buffer(e->flux)) {
            if (dernier)
                pw_stream_queue_buffer(e->flux, dernier);
            dernier = b;
        }
        if (!dernier)
            return;
        const auto maintenant = std::chrono::steady_clock::now();
        // A little slack, so a source at exactly 15 images/s loses none.
        constexpr auto intervalle = std::chrono::milliseconds(1000 / imagesParSeconde - 5);
        if (e->formatConnu && !e->fini && maintenant - e->derniere >= intervalle) {
            const QImage image = e->convertir(*dernier->buffer);
            if (!image.isNull()) {
                e->derniere = maintenant;
                e->surImage(image);
            }
        }
        pw_stream_queue_buffer(e->flux, dernier);
    }

    QImage convertir(const spa_buffer& b) const
    {
        if (b.n_datas < 1 || !b.datas[0].data || !b.datas[0].chunk)
            return {};
        const spa_data& d = b.datas[0];
        if (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED || d.chunk->size == 0)
            return {};
        const int l = int(format.size.width), h = int(format.size.height);
        const qsizetype pas = d.chunk->stride > 0 ? d.chunk->stride : qsizetype(l) * 4;
        const qsizetype debut = d.chunk->offset % std::max<uint32_t>(d.maxsize, 1);
        if (l <= 0 || h <= 0 || pas < qsizetype(l) * 4 || debut + pas * (h - 1) + qsizetype(l) * 4 > qsizetype(d.maxsize))
            return {};
        const auto* octets = static_cast<const uchar*>(d.data) + debut;
        switch (format.format) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA:
            // Memory order B, G, R, X: Qt's RGB32 on this byte order; the alpha is ignored.
            return QImage(octets, l, h, pas, QImage::Format_RGB32).copy();
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA:
            return QImage(octets, l, h, pas, QImage::Format_RGBX8888).convertToFormat(QImage::Format_RGB32);
        default:
            return {};
        }
    }
};

namespace {

const pw_core_events evenementsCoeur = [] {
    pw_core_events ev{};
    ev.version = PW_VERSION_CORE_EVENTS;
    ev.error = &FluxPipeWire::Etat::erreurCoeur;
    return ev;
}();

const pw_stream_events evenementsFlux = [] {
    pw_stream_events ev{};
    ev.version = PW_VERSION_STREAM_EVENTS;
    ev.state_changed = &FluxPipeWire::Etat::etatChange;
    ev.param_changed = &FluxPipeWire::Etat::parametreChange;
    ev.process = &FluxPipeWire::Etat::traiter;
    return ev;
}();

} // namespace

FluxPipeWire::FluxPipeWire() : e_(std::make_unique<Etat>()) {}

std::unique_ptr<FluxPipeWire> FluxPipeWire::ouvrir(int fd, quint32 noeud, SurImage surImage, SurFin surFin, QString* raison)
{
    static std::once_flag init;
    std::call_once(init, [] { pw_init(nullptr, nullptr); });
    std::unique_ptr<FluxPipeWire> f(new FluxPipeWire);
    Etat& e = *f->e_;
    e.surImage = std::move(surImage);
    e.surFin = std::move(surFin);
    auto rater = [&](const char* pourquoi) -> std::unique_ptr<FluxPipeWire> {
        qCWarning(lcPipeWire) << pourquoi;
        if (raison)
            *raison = injoignable();
        return nullptr;
    };
    const int copie = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copie < 0)
        return rater("descripteur PipeWire invalide");
    e.boucle = pw_thread_loop_new("vd-pipewire", nullptr);
    if (!e.boucle) {
        close(copie);
        return rater("boucle PipeWire impossible");
    }
    e.contexte = pw_context_new(pw_thread_loop_get_loop(e.boucle), nullptr, 0);
    if (!e.contexte || pw_thread_loop_start(e.boucle) < 0) {
        close(copie);
        return rater("contexte PipeWire impossible");
    }
    pw_thread_loop_lock(e.boucle);
    e.coeur = pw_context_connect_fd(e.contexte, copie, nullptr, 0);   // takes the descriptor
    if (!e.coeur) {
        pw_thread_loop_unlock(e.boucle);
        return rater("connexion PipeWire impossible");
    }
    pw_core_add_listener(e.coeur, &e.ecouteCoeur, &evenementsCoeur, &e);
    e.ecouteCoeurPosee = true;
    e.flux = pw_stream_new(e.coeur, "Vendalo",
                           pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!e.flux) {
        pw_thread_loop_unlock(e.boucle);
        return rater("flux PipeWire impossible");
    }
    pw_stream_add_listener(e.flux, &e.ecouteFlux, &evenementsFlux, &e);
    e.ecouteFluxPosee = true;

    uint8_t tampon[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(tampon, sizeof(tampon));
    const spa_rectangle tailleDefaut = SPA_RECTANGLE(1280, 720), tailleMin = SPA_RECTANGLE(1, 1),
                        tailleMax = SPA_RECTANGLE(8192, 8192);
    const spa_fraction cadenceDefaut = SPA_FRACTION(imagesParSeconde, 1), cadenceMin = SPA_FRACTION(0, 1),
                       cadenceMax = SPA_FRACTION(360, 1);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&tailleDefaut, &tailleMin, &tailleMax),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&cadenceDefaut, &cadenceMin, &cadenceMax)));
    const int r = pw_stream_connect(e.flux, PW_DIRECTION_INPUT, noeud,
                                    pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    pw_thread_loop_unlock(e.boucle);
    if (r < 0)
        return rater("nœud PipeWire injoignable");
    return f;
}

FluxPipeWire::~FluxPipeWire()
{
    Etat& e = *e_;
    if (!e.boucle)
        return;
    pw_thread_loop_lock(e.boucle);
    if (e.ecouteFluxPosee)
        spa_hook_remove(&e.ecouteFlux);
    if (e.ecouteCoeurPosee)
        spa_hook_remove(&e.ecouteCoeur);
    if (e.flux)
        pw_stream_destroy(e.flux);
    if (e.coeur)
        pw_core_disconnect(e.coeur);
    pw_thread_loop_unlock(e.boucle);
    pw_thread_loop_stop(e.boucle);
    if (e.contexte)
        pw_context_destroy(e.contexte);
    pw_thread_loop_destroy(e.boucle);
}

} // namespace vd::platform
