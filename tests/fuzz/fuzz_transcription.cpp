// Any message from the two transcription services, in any order: the analysers must never
// crash, and segments keep their offsets ordered within a segment.
#include "call/analyseurs.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Messages are separated by NUL bytes; each goes to both analysers.
    const QByteArray tout(reinterpret_cast<const char*>(data), qsizetype(size));
    vd::call::AnalyseurSoniox soniox;
    vd::call::VoixProspect voix;
    qint64 decalage = 0;
    for (const QByteArray& message : tout.split('\0')) {
        const auto r = soniox.analyser(message, decalage);
        for (const auto& s : r.segments)
            if (s.finMs < s.debutMs)
                std::abort();
        if (auto s = vd::call::analyserDeepgram(message, decalage, voix); s && s->finMs < s->debutMs)
            std::abort();
        decalage += 100;
    }
    (void)soniox.vider(decalage);
    return 0;
}
