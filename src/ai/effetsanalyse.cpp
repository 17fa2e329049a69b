#include "effetsanalyse.h"

#include <QJsonArray>

namespace vd::ai {

namespace {

QJsonObject effetsDepuisCrm(const model::Analyse& a)
{
    QJsonObject contact;
    if (!a.crm.etapeSuggeree.trimmed().isEmpty())
        contact.insert(QStringLiteral("etape"), a.crm.etapeSuggeree.trimmed());
    if (a.crm.probabilite > 0)
        contact.insert(QStringLiteral("probabilite"), a.crm.probabilite);
    contact.insert(QStringLiteral("champs"), model::versObjetJson(a.crm.champs));
    QJsonObject r{{QStringLiteral("contact"), contact}};
    if (!a.crm.prochaineAction.trimmed().isEmpty())
        r.insert(QStringLiteral("prochaineAction"),
                 QJsonObject{{QStringLiteral("texte"), a.crm.prochaineAction.trimmed()}, {QStringLiteral("echeance"), QString()}});
    if (!a.crm.resumeInteraction.trimmed().isEmpty())
        r.insert(QStringLiteral("interactions"),
                 QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("appel")},
                                        {QStringLiteral("resume"), a.crm.resumeInteraction.trimmed()}}});
    return r;
}

} // namespace

void appliquerEffetsAnalyse(model::Etat& etat, const model::Appel& appel, model::Analyse& analyse,
                            const QJsonObject& effetsMoteur, const QString& maintenant)
{
    if (!appel.contactId)
        return;
    model::Contact* contact = etat.contact(*appel.contactId);
    if (!contact)
        return;
    const QJsonObject effets = effetsMoteur.isEmpty() ? effetsDepuisCrm(analyse) : effetsMoteur;

    QJsonObject c = model::versObjetJson(*contact);
    const QJsonObject changes = effets.value(QLatin1String("contact")).toObject();
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.key() == QLatin1String("id"))
            continue;
        if (it.key() == QLatin1String("champs") && it.value().isObject()) {
            // Learnt fields fill in; an empty value never erases what is known.
            QJsonObject champs = c.value(QLatin1String("champs")).toObject();
            const QJsonObject nouveaux = it.value().toObject();
            for (auto ch = nouveaux.begin(); ch != nouveaux.end(); ++ch) {
                if (!ch.value().toString().trimmed().isEmpty())
                    champs.insert(ch.key(), ch.value().toString().trimmed());
            }
            c.insert(QStringLiteral("champs"), champs);
            continue;
        }
        c.insert(it.key(), it.value());
    }
    if (effets.value(QLatin1String("prochaineAction")).isObject())
        c.insert(QStringLiteral("prochaineAction"), effets.value(QLatin1String("prochaineAction")));
    const QString etapeAvant = contact->etape;
    auto decode = model::Contact::depuisJson(c);
    if (decode) {
        decode->id = contact->id;
        *contact = std::move(*decode);
    }
    const model::ProchaineAction* notee = appel.prochaineEtape && !appel.prochaineEtape->texte.trimmed().isEmpty()
                                              ? &*appel.prochaineEtape
                                              : nullptr;
    if (notee)
        contact->prochaineAction = *notee;
    contact->majLe = maintenant;
    const QString suggeree = analyse.crm.etapeSuggeree.trimmed();
    if (effets.value(QLatin1String("etapeAppliquee")).isBool())
        analyse.crm.etapeAppliquee = effets.value(QLatin1String("etapeAppliquee")).toBool();
    else if (!suggeree.isEmpty())
        analyse.crm.etapeAppliquee = contact->etape == suggeree && etapeAvant != suggeree;

    // One interaction per analysed call: replace, never add a second.
    etat.interactions.removeIf([&](const model::Interaction& i) { return i.appelId == appel.id; });
    QJsonArray liste;
    const QJsonValue brut = effets.value(QLatin1String("interactions"));
    if (brut.isArray())
        liste = brut.toArray();
    else if (brut.isObject())
        liste.append(brut);
    int n = 0;
    for (const QJsonValue& v : std::as_const(liste)) {
        auto i = model::Interaction::depuisJson(v);
        if (!i || (i->resume.trimmed().isEmpty() && i->titre.trimmed().isEmpty()))
            continue;
        if (i->id.isEmpty())
            i->id = n == 0 ? QStringLiteral("int_") + appel.id : QStringLiteral("int_%1_%2").arg(appel.id).arg(n);
        ++n;
        i->contactId = contact->id;
        i->appelId = appel.id;
        if (i->date.isEmpty())
            i->date = appel.debut.isEmpty() ? maintenant : appel.debut;
        if (i->titre.isEmpty())
            i->titre = QStringLiteral("Appel analysé");
        i->creeLe = maintenant;
        i->majLe = maintenant;
        etat.interactions.append(std::move(*i));
    }
}

} // namespace vd::ai
