#include "importcrm.h"

#include <QUuid>

namespace vd::crm {

std::optional<PlanImport> calculerPlan(const TableauImport& t, const RegleLecture& regle, ModeDoublons mode, const ContexteImport& ctx,
                                       const std::atomic<bool>* annule, const std::function<void(double)>& progression)
{
    PlanImport plan;
    plan.lignesVides = t.lignesVides;
    QHash<QString, qsizetype> existants;
    existants.reserve(ctx.existants.size());
    for (qsizetype i = 0; i < ctx.existants.size(); ++i) {
        const QString cle = cleDoublon(ctx.existants[i]);
        if (!cle.isEmpty() && !existants.contains(cle))
            existants.insert(cle, i);
    }
    QHash<QString, int> vues;
    const qsizetype total = t.lignes.size();
    for (qsizetype n = 0; n < total; ++n) {
        if (n % 500 == 0) {
            if (annule && annule->load())
                return std::nullopt;
            if (progression)
                progression(total ? double(n) / double(total) : 1.0);
        }
        LigneLue lue = lireLigne(t.lignes[n], t, regle, ctx);
        if (lue.erreur) {
            plan.erreurs.append({lue.numero, *lue.erreur});
            continue;
        }
        for (const QString& a : lue.avertissements)
            plan.avertissements.append({lue.numero, a});
        const QString cle = cleDoublon(lue.contact);
        if (!cle.isEmpty()) {
            if (auto it = vues.constFind(cle); it != vues.constEnd()) {
                plan.ignores.append({lue.numero, QStringLiteral("En double dans le fichier (ligne %1)").arg(*it)});
                continue;
            }
            vues.insert(cle, lue.numero);
        }
        const auto trouve = cle.isEmpty() ? existants.constEnd() : existants.constFind(cle);
        if (trouve == existants.constEnd() || mode == ModeDoublons::creer) {
            if (trouve != existants.constEnd())
                ++plan.doublonsTrouves;
            lue.contact.id = QStringLiteral("c_") + QUuid::createUuid().toString(QUuid::WithoutBraces).left(12);
            plan.nouveaux.append(std::move(lue.contact));
            continue;
        }
        ++plan.doublonsTrouves;
        const model::Contact& avant = ctx.existants[*trouve];
        if (mode == ModeDoublons::ignorer) {
            plan.ignores.append({lue.numero, QStringLiteral("Déjà dans le CRM (%1)").arg(avant.nomComplet())});
            continue;
        }
        MajImport maj{avant, avant, {}};
        QStringList champs(lue.remplis.cbegin(), lue.remplis.cend());
        champs.sort();
        for (const QString& champ : champs) {
            // A known qualification item also stands for the field it feeds.
            if (mode == ModeDoublons::completer && (!champVide(avant, champ) || (lue.lies.contains(champ) && !champVide(avant, lue.lies[champ]))))
                continue;
            const model::Contact apresChamp = [&] {
                model::Contact c = maj.apres;
                copierChamp(c, lue.contact, champ);
                return c;
            }();
            if (!(apresChamp == maj.apres)) {
                maj.apres = apresChamp;
                maj.champs.append(champ);
            }
        }
        if (maj.champs.isEmpty())
            plan.ignores.append({lue.numero, QStringLiteral("Déjà à jour (%1)").arg(avant.nomComplet())});
        else
            plan.majs.append(std::move(maj));
    }
    if (progression)
        progression(1.0);
    return plan;
}

} // namespace vd::crm
