// Any prefix of a streamed answer: completion must terminate and never crash.
#include "model/texte.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray octets(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)vd::model::completerJsonPartiel(octets);
    (void)vd::model::dateDansTexte(QString::fromUtf8(octets));
    (void)vd::model::neutraliser(QString::fromUtf8(octets));
    return 0;
}
