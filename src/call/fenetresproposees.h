#pragma once
// The windows a call recording can film, meeting tools first, and the way the
// chosen target is found again at the start of a later call.
#include "model/reglages.h"
#include "platform/fenetres.h"

#include <QList>
#include <QString>
#include <optional>

namespace vd::call {

struct FenetreProposee {
    quint32 numero = 0;
    QString bundleId, nomApp, titre;
    int largeur = 0, hauteur = 0;
    bool reunion = false;
    bool operator==(const FenetreProposee&) const = default;
    model::CibleEnregistrement cible() const;
    QString libelle() const;   // "Zoom — Réunion hebdo"
};

// The window belongs to a meeting tool (a desktop client, or a browser on a meeting page).
bool estReunion(const platform::FenetreEcran& f);

// The windows worth filming: other applications' titled windows of a useful
// size, share indicator bars left out; meeting tools first, then the
// desktop's order.
QList<FenetreProposee> proposerFenetres(const QList<platform::FenetreEcran>& fenetres, qint64 pidPropre);

// The window of cible among the proposed ones: the same application, the same
// title when it is there, else its first window (titles change with the
// meeting or the tab). None when the application has no window open.
std::optional<FenetreProposee> retrouverFenetre(const QList<FenetreProposee>& fenetres, const model::CibleEnregistrement& cible);

// The name given in messages about the target.
QString nomCible(const model::CibleEnregistrement& cible);

} // namespace vd::call
