// Any byte stream from the Messages API, cut anywhere: the line splitter and the event reader
// must terminate and never crash, whatever the lines, JSON and UTF-8 hold.
#include "ai/fluxsse.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView octets(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first byte picks where reads are cut, as a network would.
    const qsizetype pas = size ? 1 + data[0] % 61 : 1;
    vd::ai::DecoupeurLignes decoupeur;
    vd::ai::FluxSSE flux;
    for (qsizetype i = 0; i < octets.size(); i += pas)
        decoupeur.ajouter(octets.sliced(i, std::min(pas, octets.size() - i)), [&](QByteArrayView l) { (void)flux.ligne(l); });
    (void)vd::ai::statutPourErreurFlux(flux.erreur ? flux.erreur->type : QString());
    return 0;
}
