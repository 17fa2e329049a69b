// Any bytes as a stored state: the decoder must never crash, hang or blow up,
// and what it decodes must encode and decode again to the same record.
#include "model/etat.h"

#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray octets(reinterpret_cast<const char*>(data), qsizetype(size));
    const QJsonDocument doc = QJsonDocument::fromJson(octets);
    auto etat = vd::model::Etat::depuisJson(doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array()));
    if (!etat)
        return 0;
    const QByteArray encode = vd::model::versTexteJson(*etat);
    const QJsonDocument relu = QJsonDocument::fromJson(encode);
    if (!relu.isObject())
        std::abort();   // our own output must always be valid JSON
    auto encore = vd::model::Etat::depuisJson(relu.object());
    if (!encore || vd::model::versTexteJson(*encore) != encode)
        std::abort();   // decoding is stable after one round
    return 0;
}
