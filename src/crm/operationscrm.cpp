#include "operationscrm.h"

#include "etapes.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>

namespace vd::crm {

QString nouvelIdentifiant(const QString& prefixe)
{
    return prefixe + QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 36);
}

QString messageContactInconnu(const QString& id) { return QStringLiteral("Aucun contact « %1 ».").arg(id); }

QString messageEtapeInconnue(const QString& etape)
{
    QStringList ids;
    for (const EtapePipeline& e : etapesPipeline())
        ids << e.id;
    return QStringLiteral("Étape inconnue : « %1 ». Étapes : %2.").arg(etape, ids.join(QStringLiteral(", ")));
}

void arreterSequence(model::Contact& c, const QString& raison, const QString& maintenant)
{
    if (!c.relance || !c.relance->qt().isObject())
        return;
    QJsonObject s = c.relance->qt().toObject();
    const QString statut = s.value(QLatin1String("statut")).toString();
    if (statut == QLatin1String("arretee") || statut == QLatin1String("terminee"))
        return;
    s.insert(QStringLiteral("statut"), QStringLiteral("arretee"));
    s.insert(QStringLiteral("arreteeLe"), maintenant);
    s.insert(QStringLiteral("raisonArret"), raison);
    c.relance = model::JSONValeur(s);
}

void refleterRelance(model::Etat& e, const QString& contactId, const QString& maintenant)
{
    const model::Contact* c = e.contact(contactId);
    if (!c || !c->relance || !c->relance->qt().isObject())
        return;
    const QJsonObject s = c->relance->qt().toObject();
    model::Appel* a = e.appel(s.value(QLatin1String("appelId")).toString());
    if (!a || !a->analyse)
        return;
    const QString proprietaire = s.value(QLatin1String("compteId")).toString();
    if (a->compteId && !a->compteId->isEmpty() && !proprietaire.isEmpty() && *a->compteId != proprietaire)
        return;
    QJsonArray etapes;
    for (const QJsonValue& v : s.value(QLatin1String("etapes")).toArray()) {
        const QJsonObject x = v.toObject();
        QJsonObject etape{{QStringLiteral("date"), x.value(QLatin1String("date")).toString()},
                          {QStringLiteral("statut"), x.value(QLatin1String("statut")).toString()}};
        if (const QString le = x.value(QLatin1String("envoyeeLe")).toString(); !le.isEmpty())
            etape.insert(QStringLiteral("envoyeeLe"), le);
        etapes.append(etape);
    }
    QJsonObject suivi{{QStringLiteral("statut"), s.value(QLatin1String("statut")).toString()}, {QStringLiteral("etapes"), etapes}};
    for (const char* cle : {"activeLe", "arreteeLe", "raisonArret"})
        if (const QString t = s.value(QLatin1String(cle)).toString(); !t.isEmpty())
            suivi.insert(QLatin1String(cle), t);
    const QJsonObject reponse = s.value(QLatin1String("reponse")).toObject();
    if (const QString type = reponse.value(QLatin1String("type")).toString(); !type.isEmpty())
        suivi.insert(QStringLiteral("reponse"), QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("le"), reponse.value(QLatin1String("le"))}});
    const QString cle = QStringLiteral("suiviRelance");
    if (a->analyse->autres.value(cle) == suivi)
        return;
    a->analyse->autres.insert(cle, suivi);
    a->majLe = maintenant;
}

void appliquerEtape(model::Contact& c, const QString& etape, const QString& maintenant)
{
    const QString avant = c.etape;
    if (etape == avant)
        return;
    if (estIssue(etape)) {
        if (!estIssue(avant))
            c.etapeAvantIssue = avant == etapeSommeil() ? c.etapeAvantSommeil.value_or(QStringLiteral("contacte")) : avant;
        c.issueLe = maintenant;
        c.issueVue = maintenant;   // the user made the move, so has seen it
        if (etape == QLatin1String("gagne"))
            c.raisonPerte.reset();
    } else if (estIssue(avant)) {
        c.issueLe.reset();
        c.issueVue.reset();
        c.etapeAvantIssue.reset();
        c.raisonPerte.reset();
    }
    if (etape == etapeSommeil()) {
        c.etapeAvantSommeil = estIssue(avant) ? c.etapeAvantIssue.value_or(QStringLiteral("contacte")) : avant;
        c.sommeilLe = maintenant;
    } else if (avant == etapeSommeil()) {
        c.etapeAvantSommeil.reset();
        c.sommeilLe.reset();
    }
    if (etape == QLatin1String("perdu")) {
        arreterSequence(c, QStringLiteral("perdu"), maintenant);
    } else if (etape == QLatin1String("gagne")) {
        const bool pourAffaireGagnee = c.relance && c.relance->qt().toObject().value(QLatin1String("issue")).toString() == QLatin1String("gagne");
        if (!pourAffaireGagnee)
            arreterSequence(c, QStringLiteral("gagne"), maintenant);
    }
    c.etape = etape;
}

Resultat<model::Contact, QString> enregistrerContact(model::Store& store, const QString& id, const SaisieContact& s)
{
    if (auto m = verifierContact(s))
        return echec(*m);
    if (!s.etape.trimmed().isEmpty() && !etapePipeline(s.etape.trimmed()))
        return echec(messageEtapeInconnue(s.etape.trimmed()));
    const QString maintenant = store.horodatageMaintenant();
    model::Contact base;
    if (!id.isEmpty()) {
        const model::Contact* existant = store.etat().contact(id);
        if (!existant)
            return echec(messageContactInconnu(id));
        base = *existant;
    } else {
        base.id = nouvelIdentifiant(QStringLiteral("c_"));
        base.creeLe = maintenant;
    }
    model::Contact c = appliquerSaisie(base, s);
    const QString etape = c.etape;
    c.etape = base.etape;
    appliquerEtape(c, etape, maintenant);
    c.majLe = maintenant;
    store.modifier([&](model::Etat& e) {
        if (model::Contact* x = e.contact(c.id))
            *x = c;
        else
            e.contacts.prepend(c);
        refleterRelance(e, c.id, maintenant);
    });
    return c;
}

Resultat<model::Contact, QString> changerEtape(model::Store& store, const QString& id, const QString& etape)
{
    const model::Contact* existant = store.etat().contact(id);
    if (!existant)
        return echec(messageContactInconnu(id));
    if (!etapePipeline(etape))
        return echec(messageEtapeInconnue(etape));
    if (existant->etape == etape)
        return *existant;
    model::Contact c = *existant;
    const QString maintenant = store.horodatageMaintenant();
    appliquerEtape(c, etape, maintenant);
    c.probabilite = probabiliteParDefaut(etape);
    c.majLe = maintenant;
    store.modifier([&](model::Etat& e) {
        if (model::Contact* x = e.contact(id))
            *x = c;
        refleterRelance(e, id, maintenant);
    });
    return c;
}

ResultatVide<QString> supprimerContact(model::Store& store, const QString& id)
{
    if (!store.etat().contact(id))
        return echec(messageContactInconnu(id));
    QList<model::Store::Suppression> suppressions{{QStringLiteral("contacts"), id}};
    for (const model::Interaction& i : store.etat().interactions)
        if (i.contactId == id)
            suppressions.append({QStringLiteral("interactions"), i.id});
    const QString maintenant = store.horodatageMaintenant();
    store.modifier(
        [&](model::Etat& e) {
            e.contacts.removeIf([&](const model::Contact& c) { return c.id == id; });
            e.interactions.removeIf([&](const model::Interaction& i) { return i.contactId == id; });
            // Calls keep their transcript and analysis; only the link goes.
            for (qsizetype k = 0; k < e.appels.size(); ++k)
                if (e.appels.at(k).contactId == id) {
                    model::Appel& a = e.appels[k];
                    a.contactId.reset();
                    a.majLe = maintenant;
                }
        },
        suppressions);
    return Rien{};
}

} // namespace vd::crm
