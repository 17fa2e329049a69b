// Any bytes as a stored state: the decoder must never crash, hang or blow up,
// and what it decodes must encode and decode again to the same record.
#include "model/etat.h"
#include "model/lectureetat.h"

#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray octets(reinterpret_cast<const char*>(data), qsizetype(size));
    const QJsonDocument doc = QJsonDocument::fromJson(octets);
    // The store's own reader and Qt's agree on what an object decodes to, except for
    // escaped surrogates: Qt keeps a lone one as is, the store's reader makes it U+FFFD.
    const bool substituts = octets.contains("\\uD") || octets.contains("\\ud");
    const auto vue = vd::model::DocJson::analyser(octets);
    // The load's deferred read accepts exactly the same texts and decodes the same state.
    const auto differe = vd::model::DocJson::analyser(octets, vd::model::optionsLectureEtat());
    if (bool(differe) != bool(vue))
        std::abort();
    if (vue && vue->racine().isObject()) {
        auto a = vd::model::Etat::depuisJson(vue->racine());
        auto b = vd::model::Etat::depuisJson(differe->racine());
        if (bool(a) != bool(b) || (a && vd::model::versTexteJson(*a) != vd::model::versTexteJson(*b)))
            std::abort();
        auto q = vd::model::Etat::depuisJson(doc.object());
        if (!substituts && doc.isObject() && (!a || !q || vd::model::versTexteJson(*a) != vd::model::versTexteJson(*q)))
            std::abort();
    }
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
