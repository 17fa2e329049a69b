#include "agenda/briefagenda.h"

#include "ai/generateurbrief.h"
#include "model/json.h"
#include "model/store.h"
#include "model/texte.h"

#include <QJsonArray>

namespace vd::agenda {

RefRendezVous RefRendezVous::de(const EvenementAgenda& e)
{
    RefRendezVous r{e.fournisseur, e.id, e.debut, e.titre, {}};
    for (const InviteAgenda& i : e.invitesExterieurs)
        r.invites.append(i.nom.value_or(i.email.value_or(QString())));
    return r;
}

QJsonObject BriefAgenda::versJson() const
{
    QJsonArray inv;
    for (const QString& i : invites)
        inv.append(i);
    QByteArray texteBrief;
    model::EcrivainJson e(texteBrief);
    model::ecrire(e, brief);
    const QJsonValue jsonBrief = model::JSONValeur::depuisTexte(texteBrief).value_or(model::JSONValeur(QJsonObject())).qt();
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("fournisseur"), valeur(fournisseur)},
                       {QStringLiteral("evenementId"), evenementId},
                       {QStringLiteral("debut"), debut},
                       {QStringLiteral("contactId"), contactId},
                       {QStringLiteral("titre"), titre},
                       {QStringLiteral("invites"), inv},
                       {QStringLiteral("type"), type},
                       {QStringLiteral("objectif"), objectif},
                       {QStringLiteral("methode"), methode},
                       {QStringLiteral("langue"), langue},
                       {QStringLiteral("brief"), jsonBrief},
                       {QStringLiteral("creeLe"), creeLe}};
}

std::optional<BriefAgenda> BriefAgenda::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    using model::lire::texte;
    BriefAgenda b;
    b.id = texte(o.value(QStringLiteral("id")), QString());
    b.evenementId = texte(o.value(QStringLiteral("evenementId")), QString());
    if (b.evenementId.isEmpty())
        return std::nullopt;
    b.fournisseur = fournisseurDepuis(texte(o.value(QStringLiteral("fournisseur")), QString())).value_or(FournisseurAgenda::google);
    b.debut = texte(o.value(QStringLiteral("debut")), QString());
    b.contactId = texte(o.value(QStringLiteral("contactId")), QString());
    b.titre = texte(o.value(QStringLiteral("titre")), QString());
    for (const QJsonValue& i : o.value(QStringLiteral("invites")).toArray())
        if (auto t = model::lire::texte(i))
            b.invites.append(*t);
    b.type = texte(o.value(QStringLiteral("type")), QStringLiteral("decouverte"));
    b.objectif = texte(o.value(QStringLiteral("objectif")), QString());
    b.methode = texte(o.value(QStringLiteral("methode")), QStringLiteral("aucune"));
    b.langue = texte(o.value(QStringLiteral("langue")), QStringLiteral("fr"));
    b.brief = model::Brief::depuisJson(o.value(QStringLiteral("brief"))).value_or(model::Brief{});
    b.creeLe = texte(o.value(QStringLiteral("creeLe")), QString());
    return b;
}

namespace briefs {

namespace {
bool memeRendezVous(const QJsonValue& v, FournisseurAgenda f, const QString& id)
{
    const QJsonObject o = v.toObject();
    return o.value(QStringLiteral("evenementId")).toString() == id
           && fournisseurDepuis(o.value(QStringLiteral("fournisseur")).toString()).value_or(FournisseurAgenda::google) == f;
}
} // namespace

std::optional<BriefAgenda> trouver(const model::Etat& etat, FournisseurAgenda f, const QString& evenementId)
{
    for (const model::JSONValeur& v : etat.briefsAgenda)
        if (memeRendezVous(v.qt(), f, evenementId))
            return BriefAgenda::depuisJson(v.qt());
    return std::nullopt;
}

void enregistrer(model::Etat& etat, const BriefAgenda& b)
{
    const model::JSONValeur nouveau(b.versJson());
    for (model::JSONValeur& v : etat.briefsAgenda)
        if (memeRendezVous(v.qt(), b.fournisseur, b.evenementId)) {
            v = nouveau;
            return;
        }
    etat.briefsAgenda.append(nouveau);
}

std::optional<QDateTime> lireDebut(const QString& debut)
{
    if (debut.size() == 10) {
        const QDate d = QDate::fromString(debut, QStringLiteral("yyyy-MM-dd"));
        return d.isValid() ? std::optional(QDateTime(d, QTime(0, 0))) : std::nullopt;
    }
    QDateTime t = QDateTime::fromString(debut, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(debut, Qt::ISODate);
    return t.isValid() ? std::optional(t) : std::nullopt;
}

int nettoyer(model::Etat& etat, const QDateTime& maintenant)
{
    const auto avant = etat.briefsAgenda.size();
    etat.briefsAgenda.removeIf([&maintenant](const model::JSONValeur& v) {
        const auto d = lireDebut(v.qt().toObject().value(QStringLiteral("debut")).toString());
        // An unreadable start is kept: nothing is lost on a doubtful record.
        return d && d->secsTo(maintenant) > conservationS;
    });
    return int(avant - etat.briefsAgenda.size());
}

ai::ParametresBrief parametres(const EvenementAgenda& e)
{
    ai::ParametresBrief p;
    p.contactId = e.contactId.value_or(QString());
    p.type = QStringLiteral("decouverte");
    p.objectif = e.titre.simplified();
    p.methode = QStringLiteral("aucune");
    p.langue = QStringLiteral("fr");
    return p;
}

BriefAgenda pour(const EvenementAgenda& e, const ai::ParametresBrief& p, const model::Brief& brief, const QDateTime& maintenant)
{
    BriefAgenda b;
    b.id = QStringLiteral("brief-") + valeur(e.fournisseur) + QLatin1Char('-') + e.id;
    b.fournisseur = e.fournisseur;
    b.evenementId = e.id;
    b.debut = e.journeeEntiere ? e.debut.date().toString(Qt::ISODate) : model::horodatage(e.debut);
    b.contactId = p.contactId;
    b.titre = e.titre;
    b.invites = RefRendezVous::de(e).invites;
    b.type = p.type;
    b.objectif = p.objectif;
    b.methode = p.methode;
    b.langue = p.langue;
    b.brief = brief;
    b.creeLe = model::horodatage(maintenant);
    return b;
}

void preparer(ai::GenerateurBrief& generateur, model::Store& store, const EvenementAgenda& e, const QDateTime& maintenant, FinBrief fini)
{
    if (!e.contactId) {
        fini(std::nullopt, sansContact);
        return;
    }
    const ai::ParametresBrief p = parametres(e);
    // The guard ties both answers to this request: whichever comes first ends it.
    auto* garde = new QObject(&generateur);
    auto fin = [garde, fini](std::optional<BriefAgenda> b, const QString& erreur) {
        QObject::disconnect(garde->parent(), nullptr, garde, nullptr);
        garde->deleteLater();
        fini(std::move(b), erreur);
    };
    QObject::connect(&generateur, &ai::GenerateurBrief::pret, garde,
                     [&store, e, p, maintenant, fin](const ai::ParametresBrief& q, const model::Brief& brief) {
                         if (!(q == p))
                             return;
                         const BriefAgenda b = pour(e, p, brief, maintenant);
                         store.modifier([&](model::Etat& etat) {
                             nettoyer(etat, maintenant);
                             enregistrer(etat, b);
                         });
                         fin(b, {});
                     });
    QObject::connect(&generateur, &ai::GenerateurBrief::echec, garde, [p, fin](const ai::ParametresBrief& q, const QString& message) {
        if (q == p)
            fin(std::nullopt, message);
    });
    if (auto r = generateur.generer(p); !r)
        fin(std::nullopt, r.erreur());
}

} // namespace briefs

} // namespace vd::agenda
