#include "sondeaudio.h"

#include <QElapsedTimer>
#include <pulse/pulseaudio.h>
#include <string>

namespace vd::app {

namespace {

struct Sondage {
    bool pret = false, echec = false, infoRecue = false;
    std::string sourceParDefaut, sortieParDefaut;
    int enAttente = 0;
    bool micro = false, moniteur = false;
};

void surEtatContexte(pa_context* c, void* u)
{
    auto* s = static_cast<Sondage*>(u);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY: s->pret = true; break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: s->echec = true; break;
    default: break;
    }
}

void surServeur(pa_context*, const pa_server_info* i, void* u)
{
    auto* s = static_cast<Sondage*>(u);
    if (i) {
        s->sourceParDefaut = i->default_source_name ? i->default_source_name : "";
        s->sortieParDefaut = i->default_sink_name ? i->default_sink_name : "";
    }
    s->infoRecue = true;
}

void surSource(pa_context*, const pa_source_info* i, int fin, void* u)
{
    auto* s = static_cast<Sondage*>(u);
    if (fin) {
        --s->enAttente;
        return;
    }
    if (!i || !i->name)
        return;
    const std::string nom = i->name;
    if (i->monitor_of_sink == PA_INVALID_INDEX && nom == s->sourceParDefaut)
        s->micro = true;
    if (!s->sortieParDefaut.empty() && nom == s->sortieParDefaut + ".monitor")
        s->moniteur = true;
}

} // namespace

EtatAudio SondeAudioPulse::sonder()
{
    EtatAudio r;
    pa_mainloop* boucle = pa_mainloop_new();
    if (!boucle)
        return r;
    pa_context* ctx = pa_context_new(pa_mainloop_get_api(boucle), "Vendalo");
    Sondage s;
    QElapsedTimer t;
    t.start();
    if (ctx) {
        pa_context_set_state_callback(ctx, surEtatContexte, &s);
        if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            while (!s.pret && !s.echec && t.elapsed() < 1500)
                pa_mainloop_iterate(boucle, 1, nullptr);
            if (s.pret) {
                pa_operation_unref(pa_context_get_server_info(ctx, surServeur, &s));
                while (!s.infoRecue && t.elapsed() < 1500)
                    pa_mainloop_iterate(boucle, 1, nullptr);
                s.enAttente = 1;
                pa_operation_unref(pa_context_get_source_info_list(ctx, surSource, &s));
                while (s.enAttente > 0 && t.elapsed() < 1500)
                    pa_mainloop_iterate(boucle, 1, nullptr);
                r.serveurJoignable = true;
            }
            pa_context_disconnect(ctx);
        }
        pa_context_unref(ctx);
    }
    pa_mainloop_free(boucle);
    if (r.serveurJoignable) {
        r.micro = s.micro ? StatutMicro::autorise : StatutMicro::refuse;
        r.ecran = s.moniteur ? EtatEcran::autorise : EtatEcran::manquant;
    }
    return r;
}

} // namespace vd::app
