#pragma once
// Qualification fields of a contact, shared by the contact and the call analysis.
#include "json.h"

namespace vd::model {

struct ChampsContact {
    QString budget, decideur, echeance, douleur;
    bool operator==(const ChampsContact&) const = default;
    static std::optional<ChampsContact> depuisJson(const VueJson& v);
    static std::optional<ChampsContact> depuisJson(const QJsonValue& v) { return depuisQt<ChampsContact>(v); }
};

void ecrire(EcrivainJson& e, const ChampsContact& r);

} // namespace vd::model
