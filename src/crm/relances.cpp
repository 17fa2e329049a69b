#include "relances.h"

#include "etapes.h"
#include "operationscrm.h"
#include "ai/moteur.h"
#include "cloud/ouvreururl.h"
#include "model/texte.h"

#include <QHash>
#include <QUrl>

namespace vd::crm {

namespace {

const QString kStatut = QStringLiteral("statut");
const QString kEtapes = QStringLiteral("etapes");

QString statutDe(const QJsonObject& s) { return s.value(kStatut).toString(); }
bool enMarche(const QJsonObject& s)
{
    const QString st = statutDe(s);
    return st == QLatin1String("active") || st == QLatin1String("sommeil");
}

QJsonObject etapeDe(const QJsonObject& s, const QString& id)
{
    for (const QJsonValue& e : s.value(kEtapes).toArray())
        if (e.toObject().value(QLatin1String("id")).toString() == id)
            return e.toObject();
    return {};
}

QString jourAppel(const model::Appel& a)
{
    if (auto t = model::lireHorodatage(a.debut))
        return model::jourCalendaire(*t);
    return a.debut.left(10);
}

bool adresseWeb(const QString& lien)
{
    const QUrl u(lien.trimmed(), QUrl::StrictMode);
    return u.isValid() && (u.scheme() == QLatin1String("https") || u.scheme() == QLatin1String("http"))
           && u.host().contains(QLatin1Char('.'));
}

QString dateFrancaise(const QString& jour)
{
    const QDate d = QDate::fromString(jour, Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd/MM/yyyy")) : jour;
}

} // namespace

Relances::Relances(model::Store& store, ai::Moteur& moteur, cloud::OuvreurUrl* ouvreur,
                   std::function<void(const QString&)> copier)
    : store_(store), moteur_(moteur), ouvreur_(ouvreur), copier_(std::move(copier))
{
}

QString Relances::aujourdhui() const { return model::jourCalendaire(store_.horloge().maintenant()); }

QString Relances::confirmationArret(const QString& nom)
{
    return QStringLiteral("Plus aucun message ne sera proposé pour ") + nom;
}

QString Relances::messageDejaEnCours(const QString& nom) { return QStringLiteral("Une relance est déjà en cours pour ") + nom; }

QString Relances::messageAdresseWeb()
{
    return QStringLiteral("Écrivez une adresse web, par exemple https://rdv.exemple.fr/votre-nom");
}

QJsonObject Relances::reglages() const
{
    const auto& r = store_.etat().entreprise.relances;
    auto n = moteur_.appelerJSON(QStringLiteral("normaliserReglagesRelances"), {r ? r->qt() : QJsonValue(QJsonObject())});
    return n ? n.valeur().toObject() : QJsonObject();
}

void Relances::ecrireReglages(const QJsonObject& r)
{
    store_.modifier([&](model::Etat& e) { e.entreprise.relances = model::JSONValeur(r); });
}

ResultatVide<QString> Relances::preparer(const QString& appelId)
{
    const model::Appel* a = store_.etat().appel(appelId);
    if (!a || !a->analyse)
        return echec(QStringLiteral("Analysez l'appel avant de préparer une relance."));
    QJsonObject entree{{QStringLiteral("dateAppel"), jourAppel(*a)},
                       {QStringLiteral("type"), a->type},
                       {QStringLiteral("reglages"), reglages()},
                       {QStringLiteral("appelId"), a->id},
                       {QStringLiteral("preparee"), store_.horodatageMaintenant()},
                       {QStringLiteral("entreprise"), model::versObjetJson(store_.etat().entreprise)}};
    if (a->contactId)
        if (const model::Contact* c = store_.etat().contact(*a->contactId))
            entree.insert(QStringLiteral("contact"), model::versObjetJson(*c));
    if (a->analyse->issue && !a->analyse->issue->proposee.isEmpty())
        entree.insert(QStringLiteral("issue"), a->analyse->issue->proposee);
    auto r = moteur_.appelerJSON(QStringLiteral("planRelances"), {entree});
    if (!r)
        return echec(r.erreur().genre == ai::ErreurMoteur::Genre::decodage
                         ? QStringLiteral("Les relances reçues sont illisibles. Réessayez.")
                         : QStringLiteral("La préparation a échoué. Réessayez."));
    if (!r.valeur().isObject())
        return echec(QStringLiteral("Les relances reçues sont illisibles. Réessayez."));
    const QJsonObject s = r.valeur().toObject();
    const QString maintenant = store_.horodatageMaintenant();
    store_.modifier([&](model::Etat& e) {
        if (model::Appel* x = e.appel(appelId); x && x->analyse) {
            x->analyse->relances = model::JSONValeur(s);
            x->majLe = maintenant;
        }
    });
    return Rien{};
}

Resultat<QString, QString> Relances::activer(const QString& appelId, const std::optional<QString>& compteConnecte)
{
    const model::Appel* a = store_.etat().appel(appelId);
    if (!a || !a->analyse || !a->analyse->relances || !a->analyse->relances->qt().isObject())
        return echec(QStringLiteral("Préparez d'abord la relance."));
    QJsonObject proposition = a->analyse->relances->qt().toObject();
    if (proposition.value(kEtapes).toArray().isEmpty())
        return echec(QStringLiteral("Aucune relance à activer."));
    const model::Contact* c = a->contactId ? store_.etat().contact(*a->contactId) : nullptr;
    if (!c)
        return echec(QStringLiteral("Associez cet appel à un contact du CRM pour activer la relance."));
    if (a->compteId && compteConnecte && !a->compteId->isEmpty() && *a->compteId != *compteConnecte)
        return echec(QStringLiteral("Cet appel est celui d'un autre membre de l'équipe."));
    if (!proposition.contains(QLatin1String("appelId")))
        proposition.insert(QStringLiteral("appelId"), a->id);
    if (!proposition.contains(QLatin1String("dateAppel")))
        proposition.insert(QStringLiteral("dateAppel"), jourAppel(*a));
    QJsonObject options{{QStringLiteral("aujourdhui"), aujourdhui()}};
    if (compteConnecte)
        options.insert(QStringLiteral("compteId"), *compteConnecte);
    auto r = moteur_.appelerJSON(QStringLiteral("activerRelance"), {proposition, options});
    if (!r || !r.valeur().isObject())
        return echec(QStringLiteral("Impossible d'activer la relance."));
    const QJsonObject s = r.valeur().toObject();
    const QString contactId = c->id, nom = c->nomComplet();
    const QString maintenant = store_.horodatageMaintenant();
    store_.modifier([&](model::Etat& e) {
        if (model::Contact* x = e.contact(contactId)) {
            x->relance = model::JSONValeur(s);
            x->majLe = maintenant;
        }
        refleterRelance(e, contactId, maintenant);
    });
    const int n = int(s.value(kEtapes).toArray().size());
    const QString premiere = s.value(kEtapes).toArray().first().toObject().value(QLatin1String("date")).toString();
    return QStringLiteral("Relance activée : %1 pour %2, la première le %3")
        .arg(n == 1 ? QStringLiteral("1 message") : QStringLiteral("%1 messages").arg(n), nom, dateFrancaise(premiere));
}

ResultatVide<QString> Relances::arreter(const QString& contactId)
{
    const model::Contact* c = store_.etat().contact(contactId);
    if (!c)
        return echec(QStringLiteral("Ce contact est introuvable."));
    if (!c->relance || !c->relance->qt().isObject())
        return echec(QStringLiteral("Cette relance n'existe plus."));
    QJsonObject s = c->relance->qt().toObject();
    if (!enMarche(s) && statutDe(s) != QLatin1String("proposee"))
        return echec(QStringLiteral("Cette relance n'est plus active."));
    const QString maintenant = store_.horodatageMaintenant();
    s.insert(kStatut, QStringLiteral("arretee"));
    s.insert(QStringLiteral("arreteeLe"), maintenant);
    s.insert(QStringLiteral("raisonArret"), QJsonValue::Null);
    store_.modifier([&](model::Etat& e) {
        if (model::Contact* x = e.contact(contactId)) {
            x->relance = model::JSONValeur(s);
            x->majLe = maintenant;
        }
        refleterRelance(e, contactId, maintenant);
    });
    return Rien{};
}

Resultat<QJsonObject, QString> Relances::sequenceDe(const CibleRelance& cible, bool pourEnvoi) const
{
    if (!cible.appelId.isEmpty()) {
        const model::Appel* a = store_.etat().appel(cible.appelId);
        if (!a || !a->analyse || !a->analyse->relances || !a->analyse->relances->qt().isObject())
            return echec(QStringLiteral("Cette proposition n'existe plus."));
        return a->analyse->relances->qt().toObject();
    }
    const model::Contact* c = store_.etat().contact(cible.contactId);
    if (!c || !c->relance || !c->relance->qt().isObject())
        return echec(QStringLiteral("Cette relance n'existe plus."));
    const QJsonObject s = c->relance->qt().toObject();
    const bool ouverte = enMarche(s) || (!pourEnvoi && statutDe(s) == QLatin1String("terminee"));
    if (!ouverte)
        return echec(QStringLiteral("Cette relance n'est plus active."));
    return s;
}

void Relances::ecrireSequence(const CibleRelance& cible, const QJsonObject& s)
{
    const QString maintenant = store_.horodatageMaintenant();
    store_.modifier([&](model::Etat& e) {
        if (!cible.appelId.isEmpty()) {
            if (model::Appel* a = e.appel(cible.appelId); a && a->analyse) {
                a->analyse->relances = model::JSONValeur(s);
                a->majLe = maintenant;
            }
        } else if (model::Contact* c = e.contact(cible.contactId)) {
            c->relance = model::JSONValeur(s);
            c->majLe = maintenant;
            refleterRelance(e, cible.contactId, maintenant);
        }
    });
}

ResultatVide<QString> Relances::modifierEtape(const CibleRelance& cible, const QString& etapeId, const QJsonObject& champs)
{
    auto s = sequenceDe(cible, false);
    if (!s)
        return echec(s.erreur());
    if (etapeDe(s.valeur(), etapeId).isEmpty())
        return echec(QStringLiteral("Cette relance n'existe plus."));
    if (champs.contains(QLatin1String("date"))
        && !QDate::fromString(champs.value(QLatin1String("date")).toString(), Qt::ISODate).isValid())
        return echec(QStringLiteral("Date illisible : écrivez-la sous la forme AAAA-MM-JJ."));
    QJsonObject ch = champs;
    ch.insert(QStringLiteral("aujourdhui"), aujourdhui());
    auto r = moteur_.appelerJSON(QStringLiteral("modifierEtapeRelance"), {s.valeur(), etapeId, ch});
    if (!r || !r.valeur().isObject())
        return echec(QStringLiteral("Impossible d'enregistrer la relance."));
    ecrireSequence(cible, r.valeur().toObject());
    return Rien{};
}

ResultatVide<QString> Relances::retirerEtape(const CibleRelance& cible, const QString& etapeId)
{
    auto s = sequenceDe(cible, false);
    if (!s)
        return echec(s.erreur());
    if (etapeDe(s.valeur(), etapeId).isEmpty())
        return echec(QStringLiteral("Cette relance n'existe plus."));
    auto r = moteur_.appelerJSON(QStringLiteral("supprimerEtapeRelance"), {s.valeur(), etapeId, store_.horodatageMaintenant()});
    if (!r || !r.valeur().isObject())
        return echec(QStringLiteral("Impossible de retirer cette relance."));
    ecrireSequence(cible, r.valeur().toObject());
    return Rien{};
}

ResultatVide<QString> Relances::changerCanal(const CibleRelance& cible, const QString& canal)
{
    if (canal != QLatin1String("email") && canal != QLatin1String("whatsapp") && canal != QLatin1String("autre"))
        return echec(QStringLiteral("Canal inconnu : « %1 ». Canaux : email, whatsapp, autre.").arg(canal));
    auto s = sequenceDe(cible, false);
    if (!s)
        return echec(s.erreur());
    auto r = moteur_.appelerJSON(QStringLiteral("changerCanalRelance"), {s.valeur(), canal});
    if (!r || !r.valeur().isObject())
        return echec(QStringLiteral("Impossible de changer le canal."));
    ecrireSequence(cible, r.valeur().toObject());
    return Rien{};
}

Resultat<QString, QString> Relances::envoyer(const QString& contactId, const QString& etapeId, const QString& par)
{
    const CibleRelance cible{contactId, {}};
    auto s = sequenceDe(cible, true);
    if (!s)
        return echec(s.erreur());
    const QJsonObject etape = etapeDe(s.valeur(), etapeId);
    if (etape.isEmpty())
        return echec(QStringLiteral("Cette relance n'existe plus."));
    if (etape.value(kStatut).toString() == QLatin1String("envoyee"))
        return echec(QStringLiteral("Cette relance est déjà envoyée."));
    const model::Contact c = *store_.etat().contact(contactId);
    const QString objet = etape.value(QLatin1String("objet")).toString();
    const QString message = etape.value(QLatin1String("message")).toString();

    // The link is built and opened first: a step is only marked sent once its link really opened.
    auto ouvrir = [&](const QString& fonction, const QJsonObject& arguments, const QString& schema, const QString& manque,
                      const QString& rate) -> std::optional<QString> {
        // The engine returns the link as a plain string, or null for an address it refuses.
        auto lien = moteur_.appeler(fonction, {arguments});
        const QString texteLien = lien && lien.valeur().type == ai::ValeurJS::Type::texte ? lien.valeur().texte : QString();
        if (texteLien.isEmpty())
            return manque;
        const QUrl url(texteLien, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != schema || !ouvreur_ || !ouvreur_->ouvrir(url))
            return rate;
        return std::nullopt;
    };
    QString confirmation = QStringLiteral("Relance envoyée");
    if (par == QLatin1String("email")) {
        const QString manque = QStringLiteral("Ajoutez son email dans sa fiche pour lui écrire par email.");
        if (c.email.trimmed().isEmpty())
            return echec(manque);
        if (auto e = ouvrir(QStringLiteral("lienEmail"),
                            {{QStringLiteral("email"), c.email}, {QStringLiteral("objet"), objet}, {QStringLiteral("message"), message}},
                            QStringLiteral("mailto"), manque, QStringLiteral("Votre messagerie ne s'est pas ouverte.")))
            return echec(*e);
    } else if (par == QLatin1String("whatsapp")) {
        const QString manque = QStringLiteral("Ajoutez son numéro de mobile dans sa fiche pour lui écrire sur WhatsApp.");
        if (c.tel.trimmed().isEmpty())
            return echec(manque);
        if (auto e = ouvrir(QStringLiteral("lienWhatsApp"), {{QStringLiteral("telephone"), c.tel}, {QStringLiteral("message"), message}},
                            QStringLiteral("https"), manque, QStringLiteral("WhatsApp ne s'est pas ouvert.")))
            return echec(*e);
    } else if (par == QLatin1String("copier")) {
        if (!copier_)
            return echec(QStringLiteral("Le presse-papiers n'est pas disponible."));
        copier_(objet.isEmpty() ? message : objet + QStringLiteral("\n\n") + message);
        confirmation = QStringLiteral("Message copié");
    } else if (par == QLatin1String("note")) {
        confirmation = QStringLiteral("Relance marquée envoyée");
    } else {
        return echec(QStringLiteral("Envoi inconnu : « %1 ». Choix : email, whatsapp, copier, note.").arg(par));
    }

    const QString maintenant = store_.horodatageMaintenant();
    model::Interaction i;
    i.id = nouvelIdentifiant(QStringLiteral("i_"));
    i.contactId = contactId;
    i.type = QStringLiteral("relance");
    i.date = aujourdhui();
    i.titre = QStringLiteral("Relance J+%1").arg(etape.value(QLatin1String("jour")).toInt())
              + (objet.isEmpty() ? QString() : QStringLiteral(" : ") + objet);
    i.resume = message;
    i.creeLe = i.majLe = maintenant;
    auto r = moteur_.appelerJSON(QStringLiteral("envoyerEtapeRelance"),
                                 {s.valeur(), etapeId,
                                  QJsonObject{{QStringLiteral("canal"), par}, {QStringLiteral("le"), maintenant},
                                              {QStringLiteral("interactionId"), i.id}}});
    if (!r || !r.valeur().isObject())
        return echec(QStringLiteral("Impossible de noter l'envoi."));
    const QJsonObject apres = r.valeur().toObject();
    store_.modifier([&](model::Etat& e) {
        if (model::Contact* x = e.contact(contactId)) {
            x->relance = model::JSONValeur(apres);
            x->majLe = maintenant;
            e.interactions.prepend(i);
        }
        refleterRelance(e, contactId, maintenant);
    });
    return confirmation;
}

ResultatVide<QString> Relances::annulerEnvoi(const QString& contactId, const QString& etapeId)
{
    auto s = sequenceDe({contactId, {}}, false);
    if (!s)
        return echec(s.erreur());
    const QJsonObject etape = etapeDe(s.valeur(), etapeId);
    if (etape.isEmpty())
        return echec(QStringLiteral("Cette relance n'existe plus."));
    if (etape.value(kStatut).toString() != QLatin1String("envoyee"))
        return echec(QStringLiteral("Cette relance n'est pas envoyée."));
    const QString interactionId = etape.value(QLatin1String("interactionId")).toString();
    auto r = moteur_.appelerJSON(QStringLiteral("annulerEnvoiRelance"), {s.valeur(), etapeId, aujourdhui()});
    if (!r || !r.valeur().isObject())
        return echec(QStringLiteral("Impossible d'annuler l'envoi."));
    const QJsonObject apres = r.valeur().toObject();
    const QString maintenant = store_.horodatageMaintenant();
    QList<model::Store::Suppression> suppressions;
    if (!interactionId.isEmpty())
        suppressions.append({QStringLiteral("interactions"), interactionId});
    store_.modifier(
        [&](model::Etat& e) {
            if (model::Contact* x = e.contact(contactId)) {
                x->relance = model::JSONValeur(apres);
                x->majLe = maintenant;
            }
            refleterRelance(e, contactId, maintenant);
            if (!interactionId.isEmpty())
                e.interactions.removeIf([&](const model::Interaction& i) { return i.id == interactionId; });
        },
        suppressions);
    return Rien{};
}

Resultat<QString, QString> Relances::repondre(const QString& contactId, const QString& type, const QString& reprise,
                                              const QString& raison)
{
    const model::Contact* existant = store_.etat().contact(contactId);
    if (!existant)
        return echec(QStringLiteral("Ce contact est introuvable."));
    QJsonObject reponse{{QStringLiteral("type"), type}};
    QString lienRdv;
    if (type == QLatin1String("pas_maintenant")) {
        if (!QDate::fromString(reprise.trimmed(), Qt::ISODate).isValid())
            return echec(QStringLiteral("Choisissez une date."));
        reponse.insert(QStringLiteral("reprise"), reprise.trimmed());
    } else if (type == QLatin1String("pas_interesse")) {
        if (raison.trimmed().isEmpty())
            return echec(QStringLiteral("Donnez sa raison, en quelques mots."));
        reponse.insert(QStringLiteral("raison"), raison.trimmed());
    } else if (type == QLatin1String("interesse")) {
        const QString compte = existant->relance ? existant->relance->qt().toObject().value(QLatin1String("compteId")).toString()
                                                 : QString();
        const QJsonObject commerciaux = reglages().value(QLatin1String("commerciaux")).toObject();
        lienRdv = commerciaux.value(compte.isEmpty() ? QStringLiteral("local") : compte).toObject().value(QLatin1String("lienRdv")).toString();
        auto m = moteur_.appelerJSON(QStringLiteral("messageRendezVous"),
                                     {QJsonObject{{QStringLiteral("contact"), model::versObjetJson(*existant)},
                                                  {QStringLiteral("lienRdv"), lienRdv}}});
        if (!m || m.valeur().toObject().value(QLatin1String("message")).toString().trimmed().isEmpty())
            return echec(QStringLiteral("Le message reçu est vide. Réessayez."));
        reponse.insert(QStringLiteral("objet"), m.valeur().toObject().value(QLatin1String("objet")));
        reponse.insert(QStringLiteral("message"), m.valeur().toObject().value(QLatin1String("message")));
    } else {
        return echec(QStringLiteral("Réponse impossible à enregistrer."));
    }
    const QString maintenant = store_.horodatageMaintenant();
    auto r = moteur_.appelerJSON(QStringLiteral("contactApresReponse"),
                                 {model::versObjetJson(*existant), reponse,
                                  QJsonObject{{QStringLiteral("maintenant"), maintenant}, {QStringLiteral("aujourdhui"), aujourdhui()}}});
    std::optional<model::Contact> c = r ? model::Contact::depuisJson(r.valeur()) : std::nullopt;
    if (!c || c->id != contactId)
        return echec(QStringLiteral("Réponse impossible à enregistrer."));
    QString confirmation;
    if (type == QLatin1String("pas_interesse")) {
        appliquerEtape(*c, QStringLiteral("perdu"), maintenant);
        c->raisonPerte = raison.trimmed();
        confirmation = QStringLiteral("%1 passe en Perdu : %2").arg(c->nomComplet(), raison.trimmed());
    } else if (type == QLatin1String("pas_maintenant")) {
        const QString jour = c->relance ? c->relance->qt().toObject().value(QLatin1String("reponse")).toObject()
                                              .value(QLatin1String("reprise")).toString()
                                        : reprise;
        confirmation = QStringLiteral("Relances reprises le ") + dateFrancaise(jour);
    } else {
        confirmation = lienRdv.isEmpty()
                           ? QStringLiteral("Ajoutez votre lien de prise de rendez-vous dans la page Relances : Quillo l'ajoutera la prochaine fois.")
                           : QStringLiteral("Message pour caler le rendez-vous prêt, avec votre lien");
    }
    c->majLe = maintenant;
    store_.modifier([&](model::Etat& e) {
        if (model::Contact* x = e.contact(contactId))
            *x = *c;
        refleterRelance(e, contactId, maintenant);
    });
    return confirmation;
}

std::optional<QString> Relances::apresAnalyse(const QString& appelId, const std::optional<QString>& compteConnecte)
{
    const model::Appel* a = store_.etat().appel(appelId);
    if (!a || !a->analyse || !a->contactId)
        return std::nullopt;
    const model::Contact* c = store_.etat().contact(*a->contactId);
    if (!c)
        return std::nullopt;
    const QString contactId = c->id;
    model::Contact apres = *c;
    const QString maintenant = store_.horodatageMaintenant();
    bool change = false;
    if (apres.relance && apres.relance->qt().isObject()) {
        auto ev = moteur_.appelerJSON(QStringLiteral("relanceEvenement"),
                                      {QJsonObject{{QStringLiteral("sequence"), apres.relance->qt()},
                                                   {QStringLiteral("evenement"), QStringLiteral("nouvel_appel")},
                                                   {QStringLiteral("appelId"), a->id},
                                                   {QStringLiteral("dateAppel"), jourAppel(*a)}}});
        if (ev && ev.valeur().toObject().value(QLatin1String("arreter")).toBool()) {
            arreterSequence(apres, QStringLiteral("nouvel_appel"), maintenant);
            change = true;
        }
    }
    // A sleeping contact called again returns to the stage it had.
    if (apres.etape == etapeSommeil()) {
        auto r = moteur_.appelerJSON(QStringLiteral("reveilApresAppel"), {model::versObjetJson(apres)});
        if (auto x = r ? model::Contact::depuisJson(r.valeur()) : std::nullopt; x && x->id == contactId && x->etape != apres.etape) {
            apres = *x;
            change = true;
        }
    }
    if (change) {
        apres.majLe = maintenant;
        store_.modifier([&](model::Etat& e) {
            if (model::Contact* x = e.contact(contactId))
                *x = apres;
            refleterRelance(e, contactId, maintenant);
        });
    }
    if (!a->analyse->relances && !preparer(appelId).ok())
        return std::nullopt;
    const QString compte = compteConnecte.value_or(QStringLiteral("local"));
    const bool auto_ = reglages().value(QLatin1String("commerciaux")).toObject().value(compte).toObject()
                           .value(QLatin1String("activationAuto")).toBool();
    if (!auto_)
        return std::nullopt;
    if (!activer(appelId, compteConnecte).ok())
        return std::nullopt;
    return QStringLiteral("Relances activées pour ") + apres.nomComplet();
}

QList<Relances::Entree> Relances::entrees() const
{
    const model::Etat& etat = store_.etat();
    // Latest analysed call with a proposal, per contact, in one pass over the calls.
    QHash<QString, const model::Appel*> derniers;
    for (const model::Appel& a : etat.appels) {
        if (!a.contactId || !a.analyse || !a.analyse->relances || !a.analyse->relances->qt().isObject())
            continue;
        const model::Appel*& d = derniers[*a.contactId];
        if (!d || a.debut > d->debut)
            d = &a;
    }
    QList<Entree> r;
    for (const model::Contact& c : etat.contacts) {
        if (c.relance && c.relance->qt().isObject()) {
            const QJsonObject s = c.relance->qt().toObject();
            r.append({c.id, s.value(QLatin1String("appelId")).toString(), s});
        } else if (const model::Appel* a = derniers.value(c.id)) {
            QJsonObject s = a->analyse->relances->qt().toObject();
            if (!s.contains(kStatut))
                s.insert(kStatut, QStringLiteral("proposee"));
            r.append({c.id, a->id, s});
        }
    }
    return r;
}

QJsonArray Relances::duJour(const QString& jour) const
{
    QJsonArray contacts;
    for (const model::Contact& c : store_.etat().contacts) {
        if (!c.relance || !enMarche(c.relance->qt().toObject()))
            continue;
        contacts.append(QJsonObject{{QStringLiteral("id"), c.id},
                                    {QStringLiteral("prenom"), c.prenom},
                                    {QStringLiteral("nom"), c.nom},
                                    {QStringLiteral("societe"), c.societe},
                                    {QStringLiteral("relance"), c.relance->qt()}});
    }
    if (contacts.isEmpty())
        return {};
    auto r = moteur_.appelerJSON(QStringLiteral("relancesDuJour"),
                                 {QJsonObject{{QStringLiteral("contacts"), contacts}, {QStringLiteral("aujourdhui"), jour}}});
    return r ? r.valeur().toArray() : QJsonArray();
}

Resultat<QString, QString> Relances::enregistrerRythme(const QString& texte, const QString& type)
{
    auto r = moteur_.appelerJSON(QStringLiteral("lireRythme"), {texte});
    if (!r || !r.valeur().isArray())
        return echec(QStringLiteral("Rythme illisible."));
    QJsonObject rg = reglages();
    if (type.isEmpty()) {
        rg.insert(QStringLiteral("rythme"), r.valeur());
    } else {
        QJsonObject pt = rg.value(QLatin1String("parType")).toObject();
        pt.insert(type, r.valeur());
        rg.insert(QStringLiteral("parType"), pt);
    }
    ecrireReglages(rg);
    return QStringLiteral("Rythme enregistré");
}

Resultat<QString, QString> Relances::retablirRythme(const QString& type)
{
    QJsonObject rg = reglages();
    if (type.isEmpty()) {
        auto r = moteur_.appelerJSON(QStringLiteral("rythmeConseille"), {false});
        if (!r)
            return echec(QStringLiteral("Rythme illisible."));
        rg.insert(QStringLiteral("rythme"), r.valeur());
    } else {
        // Back to the default rhythm for that call type.
        QJsonObject pt = rg.value(QLatin1String("parType")).toObject();
        pt.remove(type);
        rg.insert(QStringLiteral("parType"), pt);
    }
    ecrireReglages(rg);
    return QStringLiteral("Rythme conseillé rétabli");
}

// One salesperson's own follow-up setting, beside the team's.
void Relances::reglerCommercial(const QString& compteId, const QString& cle, const QJsonValue& valeur)
{
    QJsonObject rg = reglages();
    QJsonObject com = rg.value(QLatin1String("commerciaux")).toObject();
    QJsonObject moi = com.value(compteId).toObject();
    moi.insert(cle, valeur);
    com.insert(compteId, moi);
    rg.insert(QStringLiteral("commerciaux"), com);
    ecrireReglages(rg);
}

Resultat<QString, QString> Relances::enregistrerLienRdv(const QString& compteId, const QString& lien)
{
    const QString l = lien.trimmed();
    if (!l.isEmpty() && !adresseWeb(l))
        return echec(messageAdresseWeb());
    reglerCommercial(compteId, QStringLiteral("lienRdv"), l);
    return l.isEmpty() ? QStringLiteral("Lien de rendez-vous retiré") : QStringLiteral("Lien de rendez-vous enregistré");
}

Resultat<QString, QString> Relances::activationAuto(const QString& compteId, bool oui)
{
    reglerCommercial(compteId, QStringLiteral("activationAuto"), oui);
    return oui ? QStringLiteral("Activer automatiquement après chaque analyse")
               : QStringLiteral("Sinon, vous activez les relances d'un clic sur la fiche de l'appel. Les messages ne partent jamais seuls.");
}

Resultat<QString, QString> Relances::ajouterNouveaute(const QString& texte)
{
    if (texte.trimmed().isEmpty())
        return echec(QStringLiteral("Écrivez la nouveauté en quelques mots."));
    QJsonObject rg = reglages();
    QJsonArray n = rg.value(QLatin1String("nouveautes")).toArray();
    n.prepend(QJsonObject{{QStringLiteral("id"), nouvelIdentifiant(QStringLiteral("n_"))},
                          {QStringLiteral("date"), aujourdhui()},
                          {QStringLiteral("texte"), texte.trimmed()}});
    rg.insert(QStringLiteral("nouveautes"), n);
    ecrireReglages(rg);
    return QStringLiteral("Nouveauté ajoutée");
}

Resultat<QString, QString> Relances::retirerNouveaute(const QString& id)
{
    QJsonObject rg = reglages();
    QJsonArray n = rg.value(QLatin1String("nouveautes")).toArray();
    for (qsizetype i = 0; i < n.size(); ++i)
        if (n.at(i).toObject().value(QLatin1String("id")).toString() == id) {
            n.removeAt(i);
            rg.insert(QStringLiteral("nouveautes"), n);
            ecrireReglages(rg);
            return QStringLiteral("Nouveauté retirée");
        }
    return echec(QStringLiteral("Cette nouveauté n'existe plus."));
}

Resultat<QString, QString> Relances::ajouterRessource(const QString& titre, const QString& lien, const QString& quand)
{
    const QString l = lien.trimmed();
    if (!adresseWeb(l))
        return echec(messageAdresseWeb());
    QJsonObject rg = reglages();
    QJsonArray rs = rg.value(QLatin1String("ressources")).toArray();
    for (const QJsonValue& v : rs)
        if (QUrl(v.toObject().value(QLatin1String("lien")).toString().trimmed()).matches(QUrl(l), QUrl::StripTrailingSlash))
            return echec(QStringLiteral("Ce lien est déjà dans la bibliothèque."));
    rs.append(QJsonObject{{QStringLiteral("id"), nouvelIdentifiant(QStringLiteral("r_"))},
                          {QStringLiteral("titre"), titre.trimmed().isEmpty() ? l : titre.trimmed()},
                          {QStringLiteral("lien"), l},
                          {QStringLiteral("quand"), quand.trimmed()}});
    rg.insert(QStringLiteral("ressources"), rs);
    ecrireReglages(rg);
    return QStringLiteral("Ressource ajoutée");
}

} // namespace vd::crm
