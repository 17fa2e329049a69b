#include "sourcespulse.h"

#include <QLoggingCategory>
#include <pulse/pulseaudio.h>
#include <memory>
#include <string>
#include <vector>

Q_LOGGING_CATEGORY(lcPulse, "vd.platform.pulse")

namespace vd::platform {

namespace {

constexpr int kDelaiMs = 5000;         // longest wait for the server or a stream
constexpr pa_usec_t kFragmentUs = 50000;   // one read callback about every 50 ms

using Fini = std::function<void(ResultatVide<EchecSource>)>;

} // namespace

struct Flux {
    SourcesPulse::Interne* d = nullptr;
    GenreSource genre = GenreSource::micro;
    pa_stream* stream = nullptr;
    std::string peripherique;   // name of the source the stream reads
    int frequence = 0;
    int canaux = 0;
    SourcesAudio::Donnees donnees;
    SourcesAudio::Fin fin;
    bool ouvert = false;        // the caller wants it; cleared by fermer() and by the end
    quint64 sequence = 0;       // bumped by every opening, so stale completions are ignored
    int enCours = 0;            // resolutions in flight
    std::function<void(bool)> attenteFlux;   // completion of the stream being connected
    std::vector<float> lus;                   // frames gathered by one read callback
};

struct SourcesPulse::Interne {
    pa_threaded_mainloop* boucle = nullptr;
    pa_context* ctx = nullptr;
    Flux flux[2];

    Flux& fluxDe(GenreSource g) { return flux[g == GenreSource::micro ? 0 : 1]; }
    void signaler() { pa_threaded_mainloop_signal(boucle, 0); }
};

namespace {

using Interne = SourcesPulse::Interne;

struct Requete {
    Interne* d;
    Flux* f;
    quint64 sequence;
    bool seulementSiChange;   // keep the running stream when the device stays the same
    Fini fini;
    std::string sourceDefaut, sinkDefaut, moniteurDefaut;
    struct Source {
        std::string nom;
        pa_sample_spec format;
    };
    std::vector<Source> sources;
    bool decidee = false;
};

const char* nomGenre(GenreSource g) { return g == GenreSource::micro ? "micro" : "son du système"; }

// Closes a stream without waiting; a stream still connecting is closed as soon
// as the server answers, so it never lingers on the server.
void orphelin(pa_stream* s, void*)
{
    switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY: pa_stream_disconnect(s); break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        pa_stream_set_state_callback(s, nullptr, nullptr);
        pa_stream_unref(s);
        break;
    default: break;
    }
}

void fermerFlux(Flux& f)
{
    f.attenteFlux = nullptr;
    f.lus.clear();
    f.peripherique.clear();
    pa_stream* s = std::exchange(f.stream, nullptr);
    if (!s)
        return;
    pa_stream_set_read_callback(s, nullptr, nullptr);
    const pa_stream_state_t etat = pa_stream_get_state(s);
    if (etat == PA_STREAM_READY) {
        pa_stream_set_state_callback(s, orphelin, nullptr);
        pa_stream_disconnect(s);
    } else if (etat == PA_STREAM_CREATING) {
        pa_stream_set_state_callback(s, orphelin, nullptr);
    } else {
        pa_stream_set_state_callback(s, nullptr, nullptr);
        pa_stream_unref(s);
    }
}

void signalerFin(Flux& f)
{
    if (!f.ouvert)
        return;
    qCWarning(lcPulse) << "source perdue :" << nomGenre(f.genre);
    f.ouvert = false;
    ++f.sequence;
    fermerFlux(f);
    if (f.fin)
        f.fin();
}

void lancerOuverture(Flux& f, quint64 sequence, bool seulementSiChange, Fini fini);

void reconnecter(Flux& f)
{
    fermerFlux(f);
    const quint64 seq = ++f.sequence;
    Flux* pf = &f;
    lancerOuverture(f, seq, false, [pf, seq](ResultatVide<EchecSource> r) {
        if (seq == pf->sequence && !r)
            signalerFin(*pf);
    });
}

// Frames are handed over by at least 10 ms: a sink running at low latency
// posts chunks of a fraction of a millisecond, and each call costs a conversion.
void lire(pa_stream* s, size_t, void* u)
{
    auto* f = static_cast<Flux*>(u);
    if (f->stream != s || !f->donnees || f->canaux <= 0)
        return;
    while (pa_stream_readable_size(s) > 0) {
        const void* donnees = nullptr;
        size_t n = 0;
        if (pa_stream_peek(s, &donnees, &n) < 0 || n == 0)
            break;
        // A hole (no data) is skipped: the tick pads what is missing.
        if (donnees) {
            const auto* x = static_cast<const float*>(donnees);
            f->lus.insert(f->lus.end(), x, x + n / sizeof(float));
        }
        pa_stream_drop(s);
    }
    const auto trames = qsizetype(f->lus.size() / size_t(f->canaux));
    if (trames >= f->frequence / 100) {
        f->donnees(f->lus.data(), trames, f->frequence, f->canaux);
        f->lus.clear();
    }
}

void etatStream(pa_stream* s, void* u)
{
    auto* f = static_cast<Flux*>(u);
    if (s != f->stream)
        return;
    const pa_stream_state_t etat = pa_stream_get_state(s);
    if (etat == PA_STREAM_READY) {
        if (auto a = std::exchange(f->attenteFlux, nullptr))
            a(true);
    } else if (etat == PA_STREAM_FAILED || etat == PA_STREAM_TERMINATED) {
        qCInfo(lcPulse) << "flux interrompu :" << nomGenre(f->genre) << pa_strerror(pa_context_errno(f->d->ctx));
        auto attente = std::exchange(f->attenteFlux, nullptr);
        fermerFlux(*f);
        if (attente)
            attente(false);   // a failed reconnection ends the source there
        // A resolution in flight reopens it; otherwise try the current default once.
        if (f->ouvert && !f->stream && f->enCours == 0)
            reconnecter(*f);
    }
    f->d->signaler();
}

bool demarrerStream(Flux& f, const Requete::Source& src, quint64 seq, Fini fini)
{
    Interne* d = f.d;
    pa_sample_spec formatEchantillons;
    formatEchantillons.format = PA_SAMPLE_FLOAT32LE;
    formatEchantillons.rate = src.format.rate;
    formatEchantillons.channels = src.format.channels;
    if (!pa_sample_spec_valid(&formatEchantillons))
        return false;
    pa_stream* s = pa_stream_new(d->ctx, f.genre == GenreSource::micro ? "Micro" : "Son du système", &formatEchantillons, nullptr);
    if (!s)
        return false;
    f.stream = s;
    f.peripherique = src.nom;
    f.frequence = int(formatEchantillons.rate);
    f.canaux = int(formatEchantillons.channels);
    Flux* pf = &f;
    f.attenteFlux = [pf, seq, fini = std::move(fini)](bool ok) {
        if (seq != pf->sequence) {
            fini(echec(EchecSource::ouvertureImpossible));
            return;
        }
        if (ok)
            fini(Rien{});
        else
            fini(echec(EchecSource::ouvertureImpossible));
    };
    pa_stream_set_state_callback(s, etatStream, &f);
    pa_stream_set_read_callback(s, lire, &f);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(kFragmentUs, &formatEchantillons));
    // The source latency follows the fragment size (an idle null sink would
    // otherwise deliver in 2 s chunks).
    const auto drapeaux = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(s, src.nom.c_str(), &attr, drapeaux) < 0) {
        f.attenteFlux = nullptr;
        fermerFlux(f);
        return false;
    }
    return true;
}

void decider(Requete* r)
{
    std::unique_ptr<Requete> garde(r);
    if (r->decidee)
        return;
    r->decidee = true;
    Flux& f = *r->f;
    if (f.enCours > 0)
        --f.enCours;
    if (r->sequence != f.sequence) {
        r->fini(echec(EchecSource::ouvertureImpossible));
        return;
    }
    if (r->sources.empty()) {
        r->fini(echec(EchecSource::serveurAbsent));
        return;
    }
    std::string voulu;
    if (f.genre == GenreSource::micro) {
        // A server without microphone falls back on the speakers' monitor:
        // that is no microphone, and would send the prospect's voice twice.
        if (!r->sourceDefaut.empty() && r->sourceDefaut != r->moniteurDefaut)
            voulu = r->sourceDefaut;
    } else {
        voulu = r->moniteurDefaut;
    }
    const Requete::Source* src = nullptr;
    for (const auto& s : r->sources)
        if (s.nom == voulu)
            src = &s;
    if (voulu.empty() || !src) {
        r->fini(echec(EchecSource::aucunePeripherique));
        return;
    }
    if (r->seulementSiChange && f.stream && f.peripherique == voulu) {
        r->fini(Rien{});
        return;
    }
    if (f.stream)
        qCInfo(lcPulse) << "changement de périphérique :" << nomGenre(f.genre) << "→" << voulu.c_str();
    fermerFlux(f);
    if (!demarrerStream(f, *src, r->sequence, r->fini))
        r->fini(echec(EchecSource::ouvertureImpossible));
}

void infoSink(pa_context*, const pa_sink_info* info, int eol, void* u)
{
    auto* r = static_cast<Requete*>(u);
    if (eol == 0 && info) {
        if (info->monitor_source_name)
            r->moniteurDefaut = info->monitor_source_name;
        return;
    }
    decider(r);
}

void infoSource(pa_context* c, const pa_source_info* info, int eol, void* u)
{
    auto* r = static_cast<Requete*>(u);
    if (eol == 0 && info) {
        if (info->name)
            r->sources.push_back({info->name, info->sample_spec});
        return;
    }
    if (eol < 0 || r->sinkDefaut.empty()) {
        decider(r);
        return;
    }
    pa_operation* o = pa_context_get_sink_info_by_name(c, r->sinkDefaut.c_str(), infoSink, r);
    if (o)
        pa_operation_unref(o);
    else
        decider(r);
}

void infoServeur(pa_context* c, const pa_server_info* info, void* u)
{
    auto* r = static_cast<Requete*>(u);
    if (!info) {
        decider(r);
        return;
    }
    r->sourceDefaut = info->default_source_name ? info->default_source_name : "";
    r->sinkDefaut = info->default_sink_name ? info->default_sink_name : "";
    pa_operation* o = pa_context_get_source_info_list(c, infoSource, r);
    if (o)
        pa_operation_unref(o);
    else
        decider(r);
}

// Finds the device the source should read (asking the server), then starts
// its stream; fini runs once, on the main-loop thread.
void lancerOuverture(Flux& f, quint64 sequence, bool seulementSiChange, Fini fini)
{
    auto* r = new Requete{f.d, &f, sequence, seulementSiChange, std::move(fini), {}, {}, {}, {}, false};
    ++f.enCours;
    pa_operation* o = f.d->ctx ? pa_context_get_server_info(f.d->ctx, infoServeur, r) : nullptr;
    if (o)
        pa_operation_unref(o);
    else
        decider(r);   // sources list empty: no server
}

void evenement(pa_context*, pa_subscription_event_type_t t, uint32_t, void* u)
{
    auto* d = static_cast<Interne*>(u);
    const auto type = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (type != PA_SUBSCRIPTION_EVENT_SERVER)
        return;
    // The default source or sink may have changed: follow it.
    for (Flux& f : d->flux) {
        if (!f.ouvert)
            continue;
        Flux* pf = &f;
        const quint64 seq = ++f.sequence;
        lancerOuverture(f, seq, true, [pf, seq](ResultatVide<EchecSource> r) {
            if (seq == pf->sequence && !r)
                signalerFin(*pf);
        });
    }
}

void etatContexte(pa_context* c, void* u)
{
    auto* d = static_cast<Interne*>(u);
    const pa_context_state_t etat = pa_context_get_state(c);
    if (etat == PA_CONTEXT_FAILED || etat == PA_CONTEXT_TERMINATED) {
        if (c == d->ctx)
            for (Flux& f : d->flux)
                signalerFin(f);
    }
    d->signaler();
}

struct Attente {
    bool fait = false;
    bool expire = false;
    ResultatVide<EchecSource> resultat = echec(EchecSource::serveurAbsent);
};

// Waits (main loop locked) until `fini` or the delay runs out.
template<typename Condition>
bool attendre(Interne* d, Condition fini)
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(d->boucle);
    bool expire = false;
    struct Contexte {
        Interne* d;
        bool* expire;
    } ctx{d, &expire};
    timeval tv;
    pa_timeval_add(pa_gettimeofday(&tv), pa_usec_t(kDelaiMs) * 1000);
    pa_time_event* e = api->time_new(
        api, &tv,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* u) {
            auto* c = static_cast<Contexte*>(u);
            *c->expire = true;
            c->d->signaler();
        },
        &ctx);
    while (!fini() && !expire)
        pa_threaded_mainloop_wait(d->boucle);
    api->time_free(e);
    return fini();
}

bool connecter(Interne* d)
{
    if (d->ctx && pa_context_get_state(d->ctx) == PA_CONTEXT_READY)
        return true;
    if (d->ctx) {
        pa_context_set_state_callback(d->ctx, nullptr, nullptr);
        pa_context_disconnect(d->ctx);
        pa_context_unref(d->ctx);
        d->ctx = nullptr;
    }
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Vendalo");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "io.vendalo");
    d->ctx = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(d->boucle), "Vendalo", props);
    pa_proplist_free(props);
    if (!d->ctx)
        return false;
    pa_context_set_state_callback(d->ctx, etatContexte, d);
    if (pa_context_connect(d->ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        qCInfo(lcPulse) << "pas de serveur son :" << pa_strerror(pa_context_errno(d->ctx));
        return false;
    }
    const bool pret = attendre(d, [d] {
        const pa_context_state_t e = pa_context_get_state(d->ctx);
        return e == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(e);
    });
    if (!pret || pa_context_get_state(d->ctx) != PA_CONTEXT_READY) {
        qCInfo(lcPulse) << "pas de serveur son :" << pa_strerror(pa_context_errno(d->ctx));
        return false;
    }
    pa_context_set_subscribe_callback(d->ctx, evenement, d);
    if (pa_operation* o = pa_context_subscribe(d->ctx, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr))
        pa_operation_unref(o);
    return true;
}

class Verrou {
public:
    explicit Verrou(pa_threaded_mainloop* b) : b_(b) { pa_threaded_mainloop_lock(b_); }
    ~Verrou() { pa_threaded_mainloop_unlock(b_); }

private:
    pa_threaded_mainloop* b_;
};

} // namespace

SourcesPulse::SourcesPulse() : d_(std::make_unique<Interne>())
{
    d_->flux[0].d = d_.get();
    d_->flux[0].genre = GenreSource::micro;
    d_->flux[1].d = d_.get();
    d_->flux[1].genre = GenreSource::sonSysteme;
}

SourcesPulse::~SourcesPulse()
{
    if (!d_->boucle)
        return;
    {
        Verrou v(d_->boucle);
        for (Flux& f : d_->flux) {
            f.ouvert = false;
            ++f.sequence;
            fermerFlux(f);
            f.donnees = nullptr;
            f.fin = nullptr;
        }
        if (d_->ctx) {
            pa_context_set_state_callback(d_->ctx, nullptr, nullptr);
            pa_context_set_subscribe_callback(d_->ctx, nullptr, nullptr);
            pa_context_disconnect(d_->ctx);
        }
    }
    pa_threaded_mainloop_stop(d_->boucle);
    if (d_->ctx)
        pa_context_unref(d_->ctx);
    pa_threaded_mainloop_free(d_->boucle);
}

ResultatVide<EchecSource> SourcesPulse::ouvrir(GenreSource genre, Donnees donnees, Fin fin)
{
    if (!d_->boucle) {
        d_->boucle = pa_threaded_mainloop_new();
        if (!d_->boucle)
            return echec(EchecSource::serveurAbsent);
        pa_threaded_mainloop_set_name(d_->boucle, "vd-pulse");
        if (pa_threaded_mainloop_start(d_->boucle) < 0) {
            pa_threaded_mainloop_free(d_->boucle);
            d_->boucle = nullptr;
            return echec(EchecSource::serveurAbsent);
        }
    }
    Verrou v(d_->boucle);
    Flux& f = d_->fluxDe(genre);
    f.ouvert = false;
    fermerFlux(f);
    f.enCours = 0;   // requests of a context that died never answer
    f.donnees = std::move(donnees);
    f.fin = std::move(fin);
    const quint64 seq = ++f.sequence;
    if (!connecter(d_.get())) {
        f.donnees = nullptr;
        f.fin = nullptr;
        return echec(EchecSource::serveurAbsent);
    }
    auto attente = std::make_shared<Attente>();
    Interne* d = d_.get();
    lancerOuverture(f, seq, false, [attente, d](ResultatVide<EchecSource> r) {
        attente->resultat = std::move(r);
        attente->fait = true;
        d->signaler();
    });
    attendre(d, [&attente, d] { return attente->fait || !PA_CONTEXT_IS_GOOD(pa_context_get_state(d->ctx)); });
    if (!attente->fait || seq != f.sequence || !attente->resultat) {
        ++f.sequence;
        fermerFlux(f);
        f.donnees = nullptr;
        f.fin = nullptr;
        if (!attente->fait) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(d->ctx)))
                return echec(EchecSource::serveurAbsent);
            qCWarning(lcPulse) << "la source ne répond pas :" << nomGenre(genre);
            return echec(EchecSource::ouvertureImpossible);
        }
        return attente->resultat.ok() ? echec(EchecSource::ouvertureImpossible) : attente->resultat;
    }
    f.ouvert = true;
    qCInfo(lcPulse) << "source ouverte :" << nomGenre(genre) << f.peripherique.c_str() << f.frequence << "Hz" << f.canaux
                    << "canaux";
    return Rien{};
}

void SourcesPulse::fermer(GenreSource genre)
{
    if (!d_->boucle)
        return;
    Verrou v(d_->boucle);
    Flux& f = d_->fluxDe(genre);
    f.ouvert = false;
    ++f.sequence;
    fermerFlux(f);
    f.donnees = nullptr;
    f.fin = nullptr;
}

QString SourcesPulse::peripherique(GenreSource genre) const
{
    if (!d_->boucle)
        return {};
    Verrou v(d_->boucle);
    return QString::fromStdString(d_->fluxDe(genre).peripherique);
}

} // namespace vd::platform
