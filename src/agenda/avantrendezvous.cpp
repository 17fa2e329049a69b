#include "agenda/avantrendezvous.h"

#include <QJsonDocument>
#include <QPointer>
#include <QUrl>
#include <algorithm>
#include <QJsonObject>
#include <memory>

namespace vd::agenda {

AvantRendezVous::AvantRendezVous(Collaborateurs c, QObject* parent) : QObject(parent), c_(std::move(c))
{
    if (!c_.horloge)
        c_.horloge = &platform::Horloge::instance();
    if (!c_.preferences)
        c_.preferences = &platform::Preferences::instance();
    minuteur_ = c_.horloge->creerMinuterie(this);
    connect(minuteur_, &platform::Minuterie::expire, this, &AvantRendezVous::evaluer);
    if (c_.agenda)
        connect(c_.agenda, &Agenda::change, this, &AvantRendezVous::evaluer);
    if (actif())
        minuteur_->demarrer(evaluationMs);
}

AvantRendezVous::Offre AvantRendezVous::offre(qint64 dtS, bool briefPret)
{
    if (!dansFenetre(dtS))
        return Offre::aucune;
    if (dtS <= rejoindreS)
        return Offre::rejoindre;
    return briefPret ? Offre::aucune : Offre::preparer;
}

bool AvantRendezVous::actif() const
{
    return c_.preferences->valeur(clePreference, true).toBool();
}

void AvantRendezVous::setActif(bool actif)
{
    c_.preferences->definir(clePreference, actif);
    if (actif)
        minuteur_->demarrer(evaluationMs);
    else
        minuteur_->arreter();
    evaluer();
}

QHash<QString, QString> AvantRendezVous::lireCarte(const QString& cle) const
{
    QHash<QString, QString> h;
    const QJsonObject o = QJsonDocument::fromJson(c_.preferences->valeur(cle).toString().toUtf8()).object();
    for (auto it = o.begin(); it != o.end(); ++it)
        h.insert(it.key(), it.value().toString());
    return h;
}

void AvantRendezVous::ecrireCarte(const QString& cle, const QHash<QString, QString>& h)
{
    QJsonObject o;
    for (auto it = h.begin(); it != h.end(); ++it)
        o.insert(it.key(), it.value());
    c_.preferences->definir(cle, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

CarteNotification AvantRendezVous::carte(const EvenementAgenda& e) const
{
    CarteNotification c;
    c.id = QStringLiteral("rdv:") + e.id;
    c.type = TypeNotification::brief;
    const QString nom = e.contactId && c_.nomContact ? c_.nomContact(*e.contactId) : QString();
    const QString titre = e.titre.simplified().isEmpty() ? QStringLiteral("Rendez-vous") : e.titre.simplified();
    c.titre = nom.isEmpty() ? titre : nom;
    const qint64 dt = maintenant().secsTo(e.debut);
    const QString heure = e.debut.toLocalTime().toString(QStringLiteral("HH:mm"));
    if (dt > 60)
        c.corps = QStringLiteral("Dans %1 min · %2 · %3").arg((dt + 59) / 60).arg(heure, titre);
    else if (dt >= 0)
        c.corps = QStringLiteral("Maintenant · %1 · %2").arg(heure, titre);
    else
        c.corps = QStringLiteral("Commencé à %1 · %2").arg(heure, titre);
    const bool pret = c_.briefPret && c_.briefPret(e).has_value();
    switch (offre(dt, pret)) {
    case Offre::preparer: c.action = actionPreparer; break;
    case Offre::rejoindre: c.action = actionRejoindre; break;
    case Offre::aucune: break;
    }
    if (pret)
        c.infos.insert(QStringLiteral("brief"), QStringLiteral("Brief prêt"));
    if (const auto s = suivis_.constFind(e.id); s != suivis_.constEnd())
        c.infos.insert(QStringLiteral("suivi"), s->texte);
    c.cible = QStringLiteral("agenda");
    c.objet = e.id;
    return c;
}

void AvantRendezVous::evaluer()
{
    const QDateTime t = maintenant();
    QList<EvenementAgenda> cartes;
    if (actif() && c_.agenda) {
        const auto ignores = lireCarte(cleIgnores);
        const auto series = lireCarte(cleSeries);
        for (const EvenementAgenda& e : c_.agenda->evenements()) {
            if (e.journeeEntiere || e.annule || (!e.contactId && e.invitesExterieurs.isEmpty()))
                continue;
            if (ignores.contains(e.id) || (e.serie && series.contains(*e.serie)) || rejoints_.contains(e.id))
                continue;
            if (dansFenetre(t.secsTo(e.debut)))
                cartes.append(e);
        }
    }
    // Cards whose window ended (or whose meeting went) leave; the others are
    // refreshed in place, so a card never blinks out between two evaluations.
    if (c_.pile) {
        for (const EvenementAgenda& e : std::as_const(cartes_))
            if (!std::any_of(cartes.cbegin(), cartes.cend(), [&e](const EvenementAgenda& n) { return n.id == e.id; }))
                c_.pile->retirer(QStringLiteral("rdv:") + e.id);
        for (const EvenementAgenda& e : std::as_const(cartes))
            c_.pile->ajouter(carte(e));
    }
    const bool different = cartes != cartes_;
    cartes_ = cartes;
    if (different)
        Q_EMIT change();
}

void AvantRendezVous::suivre(const QString& id, Suivi s)
{
    suivis_.insert(id, std::move(s));
    evaluer();
    Q_EMIT change();
}

void AvantRendezVous::executer(const CarteNotification& carte)
{
    if (!carte.estRendezVous() || !carte.action)
        return;
    const QString id = carte.id.mid(4);
    if (*carte.action == actionPreparer)
        preparer(id);
    else if (*carte.action == actionRejoindre)
        rejoindre(id);
}

void AvantRendezVous::preparer(const QString& evenementId)
{
    const EvenementAgenda* e = c_.agenda ? c_.agenda->evenement(evenementId) : nullptr;
    if (!e || enCours_.contains(evenementId) || !c_.genererBrief)
        return;
    const EvenementAgenda ev = *e;
    enCours_.insert(evenementId);
    auto prep = lireCarte(clePreparations);
    prep.insert(evenementId, maintenant().toUTC().toString(Qt::ISODate));
    ecrireCarte(clePreparations, prep);
    suivre(evenementId, Suivi{textePreparation, true, false});
    QPointer<AvantRendezVous> moi(this);
    c_.genererBrief(ev, [moi, evenementId](std::optional<BriefAgenda> b) {
        if (!moi)
            return;
        moi->enCours_.remove(evenementId);
        if (b)
            moi->suivre(evenementId, Suivi{QStringLiteral("Brief prêt."), false, false});
        else
            moi->suivre(evenementId, Suivi{echecPreparation, false, true});
    });
}

void AvantRendezVous::rejoindre(const QString& evenementId)
{
    const EvenementAgenda* e = c_.agenda ? c_.agenda->evenement(evenementId) : nullptr;
    if (!e || enCours_.contains(evenementId))
        return;
    const EvenementAgenda ev = *e;
    if (!ev.contactId || ev.invitesExterieurs.isEmpty()) {
        suivre(evenementId, Suivi{sansInvite, false, true});
        return;
    }
    enCours_.insert(evenementId);
    // Only web links leave the program; anything else in an invitation stays closed.
    if (ev.lienVisio && lienVisioOuvrable(*ev.lienVisio) && c_.ouvrirLien)
        c_.ouvrirLien(QUrl(ev.lienVisio->trimmed()));
    if (auto pret = c_.briefPret ? c_.briefPret(ev) : std::nullopt) {
        lancerAppel(ev, pret);
        return;
    }
    if (!c_.genererBrief) {
        suivre(evenementId, Suivi{sansBrief, true, false});
        lancerAppel(ev, std::nullopt);
        return;
    }
    suivre(evenementId, Suivi{QStringLiteral("Préparation du brief…"), true, false});
    // The generation races the time limit: whichever ends first decides.
    auto fini = std::make_shared<bool>(false);
    QPointer<AvantRendezVous> moi(this);
    c_.horloge->apres(delaiBriefMs, this, [moi, fini, ev] {
        if (!moi || *fini)
            return;
        *fini = true;
        moi->suivre(ev.id, Suivi{sansBrief, true, false});
        moi->lancerAppel(ev, std::nullopt);
    });
    c_.genererBrief(ev, [moi, fini, ev](std::optional<BriefAgenda> b) {
        if (!moi || *fini)
            return;
        *fini = true;
        if (!b)
            moi->suivre(ev.id, Suivi{sansBrief, true, false});
        moi->lancerAppel(ev, b);
    });
}

void AvantRendezVous::lancerAppel(const EvenementAgenda& e, const std::optional<BriefAgenda>& brief)
{
    const std::optional<QString> refus = c_.demarrerAppel ? c_.demarrerAppel(e, brief) : std::optional(echecDemarrage);
    enCours_.remove(e.id);
    if (refus) {
        suivre(e.id, Suivi{echecDemarrage, false, true});
        return;
    }
    suivis_.insert(e.id, Suivi{demarrage, false, false});
    rejoints_.insert(e.id);
    evaluer();
    Q_EMIT change();
}

void AvantRendezVous::ignorer(const QString& evenementId, bool serie)
{
    const EvenementAgenda* e = c_.agenda ? c_.agenda->evenement(evenementId) : nullptr;
    const QString instant = maintenant().toUTC().toString(Qt::ISODate);
    if (serie && e && e->serie) {
        auto s = lireCarte(cleSeries);
        s.insert(*e->serie, instant);
        ecrireCarte(cleSeries, s);
    } else {
        auto i = lireCarte(cleIgnores);
        i.insert(evenementId, instant);
        ecrireCarte(cleIgnores, i);
    }
    evaluer();
}

} // namespace vd::agenda
