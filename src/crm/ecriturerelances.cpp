#include "ecriturerelances.h"

#include "operationscrm.h"
#include "relances.h"
#include "ai/analyses.h"
#include "ai/clientia.h"
#include "ai/moteur.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vd::crm {

namespace {

QString cle(const QString& contactId, const QString& etapeId) { return EcritureRelances::cleEtape(contactId, etapeId); }

bool ouvre(const QDate& d) { return d.dayOfWeek() <= 5; }

} // namespace

EcritureRelances::EcritureRelances(model::Store& store, ai::Moteur& moteur, ai::ClientIABase& client,
                                   platform::Horloge& horloge, QObject* parent)
    : QObject(parent), store_(store), moteur_(moteur), client_(client), horloge_(horloge)
{
}

EcritureRelances::~EcritureRelances()
{
    if (demande_)
        demande_->annuler();
}

QDateTime EcritureRelances::prochainNeufHeures(const QDateTime& maintenant)
{
    const QDateTime local = maintenant.toLocalTime();
    QDate d = local.date();
    if (!ouvre(d) || local.time() >= QTime(9, 0))
        do
            d = d.addDays(1);
        while (!ouvre(d));
    return QDateTime(d, QTime(9, 0), Qt::LocalTime).toUTC();
}

QString EcritureRelances::jourOuvreSuivant(const QString& jour)
{
    QDate d = QDate::fromString(jour, Qt::ISODate);
    do
        d = d.addDays(1);
    while (!ouvre(d));
    return d.toString(Qt::ISODate);
}

void EcritureRelances::demarrer()
{
    if (demarre_)
        return;
    demarre_ = true;
    minuteur_ = horloge_.creerMinuterie(this);
    minuteur_->setUnique(true);
    connect(minuteur_, &platform::Minuterie::expire, this, [this] {
        passe();
        armer();
    });
    passe();
    armer();
}

void EcritureRelances::armer()
{
    const QDateTime maintenant = horloge_.maintenant();
    prochain_ = prochainNeufHeures(maintenant);
    minuteur_->demarrer(int(qMax<qint64>(1, maintenant.msecsTo(prochain_))));
}

void EcritureRelances::passe()
{
    // Late steps and those due today are caught up; "la veille" reaches the next working day.
    const QString aujourdhui = model::jourCalendaire(horloge_.maintenant());
    const QString jusquAu = jourOuvreSuivant(aujourdhui);
    QList<model::Contact> endormis;
    // Sequences given their next long-tail step: contact id → sequence.
    QHash<QString, QJsonValue> prolongees;
    for (const model::Contact& c : store_.etat().contacts) {
        if (!c.relance || !c.relance->qt().isObject())
            continue;
        const QString statut = c.relance->qt().toObject().value(QLatin1String("statut")).toString();
        if (statut != QLatin1String("active") && statut != QLatin1String("sommeil"))
            continue;
        QJsonValue sequence = c.relance->qt();
        // Its last step is due: the next one comes puisTousLes months later.
        if (auto p = moteur_.appelerJSON(QStringLiteral("prolongerRelance"), {sequence, aujourdhui}); p && p.valeur().isObject()
            && p.valeur().toObject().value(QLatin1String("etapes")).toArray().size()
                   > sequence.toObject().value(QLatin1String("etapes")).toArray().size()) {
            sequence = p.valeur();
            prolongees.insert(c.id, sequence);
        }
        // No answer three days after the last short step: the contact sleeps, its long steps go on.
        if (auto dort = moteur_.appelerBooleen(QStringLiteral("doitPasserEnSommeil"), {model::versObjetJson(c), aujourdhui});
            dort && dort.valeur()) {
            auto r = moteur_.appelerJSON(QStringLiteral("passerEnSommeil"), {model::versObjetJson(c), store_.horodatageMaintenant()});
            if (auto x = r ? model::Contact::depuisJson(r.valeur()) : std::nullopt; x && x->id == c.id)
                endormis.append(*x);
        }
        auto r = moteur_.appelerJSON(QStringLiteral("etapesAEcrire"), {sequence, jusquAu});
        if (!r)
            continue;
        for (const QJsonValue& e : r.valeur().toArray()) {
            const QString id = e.toObject().value(QLatin1String("id")).toString();
            if (enCours_.contains(cle(c.id, id)))
                continue;
            enCours_.insert(cle(c.id, id));
            file_.append({c.id, id});
        }
    }
    if (!endormis.isEmpty() || !prolongees.isEmpty()) {
        const QString maintenant = store_.horodatageMaintenant();
        store_.modifier([&](model::Etat& e) {
            for (model::Contact& x : endormis)
                if (model::Contact* c = e.contact(x.id)) {
                    x.majLe = maintenant;
                    *c = x;
                    refleterRelance(e, x.id, maintenant);
                }
            for (auto it = prolongees.cbegin(); it != prolongees.cend(); ++it)
                if (model::Contact* c = e.contact(it.key())) {
                    c->relance = model::JSONValeur(it.value());
                    c->majLe = maintenant;
                    refleterRelance(e, it.key(), maintenant);
                }
        });
    }
    Q_EMIT change();
    suivante();
}

bool EcritureRelances::ecrire(const QString& contactId, const QString& etapeId)
{
    if (enCours_.contains(cle(contactId, etapeId)))
        return false;
    enCours_.insert(cle(contactId, etapeId));
    file_.append({contactId, etapeId});
    Q_EMIT change();
    suivante();
    return true;
}

void EcritureRelances::suivante()
{
    if (demande_ || file_.isEmpty())
        return;
    const Tache t = file_.takeFirst();
    const model::Contact* c = store_.etat().contact(t.contactId);
    if (!c || !c->relance) {
        enCours_.remove(cle(t.contactId, t.etapeId));
        Q_EMIT change();
        suivante();
        return;
    }
    Relances relances(store_, moteur_);
    auto p = moteur_.appelerJSON(QStringLiteral("payloadRedaction"),
                                 {QJsonObject{{QStringLiteral("sequence"), c->relance->qt()},
                                              {QStringLiteral("etapeId"), t.etapeId},
                                              {QStringLiteral("contact"), model::versObjetJson(*c)},
                                              {QStringLiteral("reglages"), relances.reglages()},
                                              {QStringLiteral("entreprise"), model::versObjetJson(store_.etat().entreprise)}}});
    if (!p || !p.valeur().isObject()) {
        echouer(t, p ? QString() : p.erreur().description());
        return;
    }
    ai::RequeteIA requete;
    requete.tache = QStringLiteral("relance");
    requete.payload = p.valeur();
    requete.modele = store_.etat().reglages.modeles.analyse;
    if (requete.modele.trimmed().isEmpty())
        requete.modele = model::ChoixModeles{}.analyse;
    requete.demo = c->test.value_or(false);
    ai::DemandeIA* d = client_.envoyer(requete);
    if (!d) {
        echouer(t, {});
        return;
    }
    d->setParent(this);
    demande_ = d;
    connect(d, &ai::DemandeIA::fini, this, [this, t, d](const QString& texte, const ai::InfosGeneration&) {
        d->deleteLater();
        terminer(t, texte);
    });
    connect(d, &ai::DemandeIA::echec, this, [this, t, d](const QString& message, const QString&, int) {
        d->deleteLater();
        echouer(t, message);
    });
}

void EcritureRelances::terminer(const Tache& t, const QString& texte)
{
    demande_.clear();
    const std::optional<QJsonObject> reponse = ai::lireObjetReponse(texte);
    const model::Contact* c = store_.etat().contact(t.contactId);
    if (!reponse || reponse->value(QLatin1String("message")).toString().trimmed().isEmpty()) {
        echouer(t, {});
        return;
    }
    // The user wrote it meanwhile ("L'écrire moi-même"): their text stays.
    const bool ecriteParLUtilisateur = c && c->relance && [&] {
        for (const QJsonValue& v : c->relance->qt().toObject().value(QLatin1String("etapes")).toArray())
            if (v.toObject().value(QLatin1String("id")).toString() == t.etapeId)
                return !v.toObject().value(QLatin1String("message")).toString().trimmed().isEmpty();
        return false;
    }();
    if (c && c->relance && !ecriteParLUtilisateur) {
        QJsonObject r = *reponse;
        r.insert(QStringLiteral("le"), store_.horodatageMaintenant());
        // Applied on the sequence as it is now: the user may have edited it meanwhile.
        auto s = moteur_.appelerJSON(QStringLiteral("appliquerRedaction"), {c->relance->qt(), t.etapeId, r});
        if (!s || !s.valeur().isObject()) {
            echouer(t, {});
            return;
        }
        const QJsonObject apres = s.valeur().toObject();
        const QString maintenant = store_.horodatageMaintenant();
        store_.modifier([&](model::Etat& e) {
            if (model::Contact* x = e.contact(t.contactId)) {
                x->relance = model::JSONValeur(apres);
                x->majLe = maintenant;
            }
        });
    }
    enCours_.remove(cle(t.contactId, t.etapeId));
    erreurs_.remove(cle(t.contactId, t.etapeId));
    Q_EMIT change();
    suivante();
}

void EcritureRelances::echouer(const Tache& t, const QString& detail)
{
    demande_.clear();
    enCours_.remove(cle(t.contactId, t.etapeId));
    erreurs_.insert(cle(t.contactId, t.etapeId), detail.trimmed().isEmpty()
                                                     ? QStringLiteral("Le message n'a pas pu être préparé.")
                                                     : QStringLiteral("Le message n'a pas pu être préparé : ") + detail.trimmed());
    Q_EMIT change();
    suivante();
}

} // namespace vd::crm
