#include "fauxportailecran.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#ifdef VD_AVEC_PIPEWIRE
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#endif

namespace vd::test {

namespace {
constexpr int largeur = 320, hauteur = 180;

int connecterSocket(const QString& chemin)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un adresse{};
    adresse.sun_family = AF_UNIX;
    const QByteArray c = QFile::encodeName(chemin);
    if (fd < 0 || size_t(c.size()) >= sizeof(adresse.sun_path))
        return -1;
    memcpy(adresse.sun_path, c.constData(), size_t(c.size()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&adresse), sizeof(adresse)) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}
} // namespace

// --- The video source node -------------------------------------------------------------

#ifdef VD_AVEC_PIPEWIRE
struct PipeWirePrive::Source {
    pw_thread_loop* boucle = nullptr;
    pw_context* contexte = nullptr;
    pw_core* coeur = nullptr;
    pw_stream* flux = nullptr;
    spa_hook ecoute{};
    spa_source* minuterie = nullptr;
    std::atomic<uint32_t> bgrx{0xff808080};
    std::atomic<uint32_t> noeud{SPA_ID_INVALID};

    static void etat(void* d, pw_stream_state, pw_stream_state e, const char*)
    {
        auto* s = static_cast<Source*>(d);
        if (e == PW_STREAM_STATE_PAUSED || e == PW_STREAM_STATE_STREAMING)
            s->noeud = pw_stream_get_node_id(s->flux);
    }
    static void parametre(void* d, uint32_t id, const spa_pod* param)
    {
        auto* s = static_cast<Source*>(d);
        if (!param || id != SPA_PARAM_Format)
            return;
        uint8_t tampon[256];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(tampon, sizeof(tampon));
        const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 8),
            SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size, SPA_POD_Int(largeur * 4 * hauteur),
            SPA_PARAM_BUFFERS_stride, SPA_POD_Int(largeur * 4), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))))};
        pw_stream_update_params(s->flux, params, 1);
    }
    static void remplir(void* d)
    {
        auto* s = static_cast<Source*>(d);
        pw_buffer* b = pw_stream_dequeue_buffer(s->flux);
        if (!b)
            return;
        spa_data& donnees = b->buffer->datas[0];
        if (donnees.data && donnees.maxsize >= uint32_t(largeur * 4 * hauteur)) {
            auto* p = static_cast<uint32_t*>(donnees.data);
            std::fill(p, p + largeur * hauteur, s->bgrx.load());
            donnees.chunk->offset = 0;
            donnees.chunk->stride = largeur * 4;
            donnees.chunk->size = largeur * 4 * hauteur;
        }
        pw_stream_queue_buffer(s->flux, b);
    }
    static void tic(void* d, uint64_t)
    {
        auto* s = static_cast<Source*>(d);
        pw_stream_trigger_process(s->flux);
    }

    bool ouvrir(int fd)
    {
        static const pw_stream_events evenements = [] {
            pw_stream_events ev{};
            ev.version = PW_VERSION_STREAM_EVENTS;
            ev.state_changed = &Source::etat;
            ev.param_changed = &Source::parametre;
            ev.process = &Source::remplir;
            return ev;
        }();
        pw_init(nullptr, nullptr);
        boucle = pw_thread_loop_new("faux-bureau", nullptr);
        contexte = pw_context_new(pw_thread_loop_get_loop(boucle), nullptr, 0);
        pw_thread_loop_start(boucle);
        pw_thread_loop_lock(boucle);
        coeur = pw_context_connect_fd(contexte, fd, nullptr, 0);
        if (coeur) {
            // A compositor's screen: a video source that drives its own pace.
            flux = pw_stream_new(coeur, "faux-ecran",
                                 pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, "faux-ecran", nullptr));
            pw_stream_add_listener(flux, &ecoute, &evenements, this);
            uint8_t tampon[512];
            spa_pod_builder b = SPA_POD_BUILDER_INIT(tampon, sizeof(tampon));
            const spa_rectangle taille = SPA_RECTANGLE(largeur, hauteur);
            const spa_fraction cadence = SPA_FRACTION(30, 1);
            const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
                SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&taille),
                SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&cadence)))};
            pw_stream_connect(flux, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                              pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
            minuterie = pw_loop_add_timer(pw_thread_loop_get_loop(boucle), &Source::tic, this);
            timespec premier{0, 1}, intervalle{0, 33'333'333};
            pw_loop_update_timer(pw_thread_loop_get_loop(boucle), minuterie, &premier, &intervalle, false);
        }
        pw_thread_loop_unlock(boucle);
        return coeur != nullptr;
    }

    ~Source()
    {
        if (!boucle)
            return;
        pw_thread_loop_lock(boucle);
        if (minuterie)
            pw_loop_destroy_source(pw_thread_loop_get_loop(boucle), minuterie);
        if (flux)
            pw_stream_destroy(flux);
        if (coeur)
            pw_core_disconnect(coeur);
        pw_thread_loop_unlock(boucle);
        pw_thread_loop_stop(boucle);
        pw_context_destroy(contexte);
        pw_thread_loop_destroy(boucle);
    }
};
#else
struct PipeWirePrive::Source {};
#endif

PipeWirePrive::PipeWirePrive()
{
#ifndef VD_AVEC_PIPEWIRE
    raison_ = QStringLiteral("Vendalo est construit sans PipeWire");
#else
    if (QStandardPaths::findExecutable(QStringLiteral("pipewire")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("wireplumber")).isEmpty()) {
        raison_ = QStringLiteral("pipewire ou wireplumber manque");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dossier_.path());
    env.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), dossier_.path());
    env.insert(QStringLiteral("XDG_STATE_HOME"), dossier_.filePath(QStringLiteral("etat")));
    for (QProcess* p : {&demon_, &session_}) {
        p->setProcessEnvironment(env);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setStandardErrorFile(QProcess::nullDevice());
    }
    demon_.start(QStringLiteral("pipewire"), {});
    const QString socket = dossier_.filePath(QStringLiteral("pipewire-0"));
    QDeadlineTimer delai(10'000);
    while (!QFile::exists(socket) && !delai.hasExpired() && demon_.state() != QProcess::NotRunning)
        QThread::msleep(50);
    if (!QFile::exists(socket)) {
        raison_ = QStringLiteral("le démon pipewire ne démarre pas");
        return;
    }
    // The session manager links the portal's reader to the source.
    session_.start(QStringLiteral("wireplumber"), {});
    source_ = std::make_unique<Source>();
    if (!source_->ouvrir(connexion())) {
        raison_ = QStringLiteral("la source vidéo ne se connecte pas");
        return;
    }
    while (source_->noeud == SPA_ID_INVALID && !delai.hasExpired())
        QThread::msleep(20);
    if (source_->noeud == SPA_ID_INVALID)
        raison_ = QStringLiteral("le nœud vidéo n'apparaît pas");
    else
        noeud_ = source_->noeud;
#endif
}

PipeWirePrive::~PipeWirePrive()
{
    source_.reset();
    for (QProcess* p : {&session_, &demon_}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(3000))
            p->kill();
        p->waitForFinished(1000);
    }
}

bool PipeWirePrive::compile()
{
#ifdef VD_AVEC_PIPEWIRE
    return true;
#else
    return false;
#endif
}

int PipeWirePrive::connexion() const { return connecterSocket(dossier_.filePath(QStringLiteral("pipewire-0"))); }

void PipeWirePrive::couleur(const QColor& c)
{
#ifdef VD_AVEC_PIPEWIRE
    if (source_)
        source_->bgrx = 0xff000000u | (uint32_t(c.red()) << 16) | (uint32_t(c.green()) << 8) | uint32_t(c.blue());
#else
    Q_UNUSED(c);
#endif
}

// --- The portal --------------------------------------------------------------------------

FauxPortailEcran::FauxPortailEcran(PipeWirePrive* pipewire) : pipewire_(pipewire)
{
    qDBusRegisterMetaType<platform::FluxPortail>();
    qDBusRegisterMetaType<QList<platform::FluxPortail>>();
}

FauxPortailEcran::~FauxPortailEcran()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!cheminSession_.isEmpty())
        bus.unregisterObject(cheminSession_);
    bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
}

bool FauxPortailEcran::publier()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)
           && bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

QDBusObjectPath FauxPortailEcran::repondre(const QString& methode, const QVariantMap& options, QVariantMap resultats)
{
    QString expediteur = message().service().mid(1);
    expediteur.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString chemin = QStringLiteral("/org/freedesktop/portal/desktop/request/") + expediteur + QLatin1Char('/')
                           + options.value(QStringLiteral("handle_token")).toString();
    if (methode == erreurDbus) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refusé par le test"));
        return {};
    }
    const uint code = codes.value(methode, 0);
    // The answer comes later, as the Request object's signal, as the desktop's dialog would.
    QTimer::singleShot(10, this, [chemin, code, resultats] {
        QDBusMessage s = QDBusMessage::createSignal(chemin, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        s << code << (code == 0 ? resultats : QVariantMap{});
        QDBusConnection::sessionBus().send(s);
    });
    return QDBusObjectPath(chemin);
}

QDBusObjectPath FauxPortailEcran::CreateSession(const QVariantMap& options)
{
    QString expediteur = message().service().mid(1);
    expediteur.replace(QLatin1Char('.'), QLatin1Char('_'));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!cheminSession_.isEmpty())
        bus.unregisterObject(cheminSession_);
    cheminSession_ = QStringLiteral("/org/freedesktop/portal/desktop/session/") + expediteur + QLatin1Char('/')
                     + options.value(QStringLiteral("session_handle_token")).toString();
    session_ = std::make_unique<FauxSessionPortail>(this);
    bus.registerObject(cheminSession_, session_.get(), QDBusConnection::ExportAllSlots);
    return repondre(QStringLiteral("CreateSession"), options, {{QStringLiteral("session_handle"), cheminSession_}});
}

QDBusObjectPath FauxPortailEcran::SelectSources(const QDBusObjectPath&, const QVariantMap& options)
{
    selection = options;
    return repondre(QStringLiteral("SelectSources"), options, {});
}

QDBusObjectPath FauxPortailEcran::Start(const QDBusObjectPath&, const QString&, const QVariantMap& options)
{
    const bool estFenetre = selection.value(QStringLiteral("types")).toUInt() == 2;
    if (pipewire_)
        pipewire_->couleur(estFenetre ? fenetre : ecran);
    dernierJeton = QStringLiteral("jeton-%1").arg(++jetons_);
    const QList<platform::FluxPortail> flux{
        {pipewire_ ? pipewire_->noeud() : 0u, {{QStringLiteral("source_type"), estFenetre ? 2u : 1u}}}};
    return repondre(QStringLiteral("Start"), options,
                    {{QStringLiteral("streams"), QVariant::fromValue(flux)}, {QStringLiteral("restore_token"), dernierJeton}});
}

QDBusUnixFileDescriptor FauxPortailEcran::OpenPipeWireRemote(const QDBusObjectPath&, const QVariantMap&)
{
    if (erreurDbus == QLatin1String("OpenPipeWireRemote")) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refusé par le test"));
        return {};
    }
    int fd = -1;
    if (pipewireMort || !pipewire_) {
        // A connection whose other end is already gone.
        int paire[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, paire) == 0) {
            close(paire[1]);
            fd = paire[0];
        }
    } else {
        fd = pipewire_->connexion();
    }
    QDBusUnixFileDescriptor d(fd);   // duplicates it
    if (fd >= 0)
        close(fd);
    return d;
}

void FauxPortailEcran::arreterPartage()
{
    if (cheminSession_.isEmpty())
        return;
    QDBusMessage s = QDBusMessage::createSignal(cheminSession_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"));
    s << QVariantMap{};
    QDBusConnection::sessionBus().send(s);
}

void FauxSessionPortail::Close() { ++portail_->sessionsFermees; }

} // namespace vd::test
