// Any bytes as an import file: text (every encoding, separator and quoting)
// or a workbook (ZIP container, relationships, strings, styles, sheets).
// The readers must never crash, hang or grow without bound, and a failure
// always carries a message. The engine script is never started.
#include "crm/importcrm.h"
#include "crm/tableur.h"
#include "crm/zip.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the extension; content still decides over it.
    const QString ext = data[0] % 2 ? QStringLiteral("xlsx") : QStringLiteral("csv");
    const QByteArray octets(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    if (auto z = vd::crm::ArchiveZip::ouvrir(octets)) {
        for (const vd::crm::EntreeZip& e : z.valeur().entrees()) {
            auto x = z.valeur().extraire(e.nom, 1 << 20);
            if (!x && x.erreur().message.isEmpty())
                std::abort();
        }
    } else if (z.erreur().message.isEmpty())
        std::abort();

    auto c = vd::crm::lireDonnees(octets, ext);
    if (!c) {
        if (c.erreur().message.isEmpty())
            std::abort();
        return 0;
    }
    for (int i = 0; i < std::min<qsizetype>(3, c.valeur().feuilles.size()); ++i) {
        auto f = vd::crm::lireFeuille(c.valeur(), i);
        if (!f) {
            if (f.erreur().message.isEmpty())
                std::abort();
            continue;
        }
        auto t = vd::crm::construireTableau(f.valeur());
        if (!t)
            continue;
        const QList<vd::crm::ItemQualification> grille = vd::crm::grilleDe({});
        vd::crm::RegleLecture r;
        r.correspondances = vd::crm::proposerColonnes(t.valeur(), grille);
        if (r.correspondances.size() != t.valeur().entetes.size())
            std::abort();
        vd::crm::ContexteImport ctx;
        ctx.etapes = {{QStringLiteral("nouveau"), QStringLiteral("Nouveau")}, {QStringLiteral("gagne"), QStringLiteral("Gagné")}};
        ctx.grille = grille;
        r.etapesChoisies = vd::crm::proposerEtapes(t.valeur(), r.correspondances, ctx.etapes);
        const auto plan = vd::crm::calculerPlan(t.valeur(), r, vd::crm::ModeDoublons::completer, ctx);
        if (!plan || plan->nouveaux.size() + plan->erreurs.size() + plan->ignores.size() != t.valeur().lignes.size())
            std::abort();
    }
    return 0;
}
