#include "agenda/pilenotifications.h"

#include <algorithm>

namespace vd::agenda {

PileNotifications::PileNotifications(platform::Horloge* horloge, QObject* parent)
    : QObject(parent), horloge_(horloge ? horloge : &platform::Horloge::instance())
{
    minuteur_ = horloge_->creerMinuterie(this);
    connect(minuteur_, &platform::Minuterie::expire, this, &PileNotifications::tic);
}

PileNotifications::Entree PileNotifications::entree(const CarteNotification& c) const
{
    Entree e;
    e.carte = c;
    e.arrivee = horloge_->maintenant();
    // Meeting cards follow their meeting; forgotten-call cards wait for the user.
    if (!c.estRendezVous() && c.type != TypeNotification::appelOublie) {
        e.echeance = e.arrivee.addMSecs(qint64(dureeS * 1000));
        e.restant = dureeS;
    }
    return e;
}

void PileNotifications::ajouter(const CarteNotification& carte)
{
    for (Entree& e : entrees_)
        if (e.carte.id == carte.id) {
            if (e.carte != carte) {
                e.carte = carte;
                Q_EMIT change();
            }
            return;
        }
    for (CarteNotification& c : enAttente_)
        if (c.id == carte.id) {
            c = carte;
            return;
        }
    if (entrees_.size() < maxVisibles)
        entrees_.append(entree(carte));
    else
        enAttente_.append(carte);
    if (!minuteur_->actif())
        minuteur_->demarrer(ticMs);
    Q_EMIT change();
}

void PileNotifications::retirer(const QString& id)
{
    const auto n = entrees_.size() + enAttente_.size();
    entrees_.removeIf([&id](const Entree& e) { return e.carte.id == id; });
    enAttente_.removeIf([&id](const CarteNotification& c) { return c.id == id; });
    if (entrees_.size() + enAttente_.size() == n)
        return;
    completer();
    Q_EMIT change();
}

bool PileNotifications::contient(const QString& id) const
{
    return std::any_of(entrees_.cbegin(), entrees_.cend(), [&id](const Entree& e) { return e.carte.id == id; })
           || std::any_of(enAttente_.cbegin(), enAttente_.cend(), [&id](const CarteNotification& c) { return c.id == id; });
}

void PileNotifications::executer(const CarteNotification& carte)
{
    if (executerAction)
        executerAction(carte);
    // A meeting card lives for its meeting's window: its owner takes it away.
    if (!carte.estRendezVous())
        retirer(carte.id);
}

void PileNotifications::setSurvolee(bool survolee)
{
    if (survolee == survolee_)
        return;
    survolee_ = survolee;
    if (!survolee_)
        for (Entree& e : entrees_)
            if (e.echeance)
                e.restant = std::max(e.restant, resteApresSurvolS);
    Q_EMIT change();
}

void PileNotifications::completer()
{
    while (entrees_.size() < maxVisibles && !enAttente_.isEmpty())
        entrees_.append(entree(enAttente_.takeFirst()));
    if (entrees_.isEmpty() && enAttente_.isEmpty())
        minuteur_->arreter();
}

void PileNotifications::tic()
{
    if (survolee_)
        return;
    bool retire = false;
    for (Entree& e : entrees_) {
        if (!e.echeance)
            continue;
        e.restant -= ticMs / 1000.0;
        if (e.restant <= 1e-9)
            retire = true;
    }
    if (!retire)
        return;
    entrees_.removeIf([](const Entree& e) { return e.echeance && e.restant <= 1e-9; });
    completer();
    Q_EMIT change();
}

} // namespace vd::agenda
