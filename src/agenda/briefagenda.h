#pragma once
// Briefs prepared for a meeting, one per meeting (provider and event id),
// kept in the store until seven days after the meeting.
#include "agenda/typesagenda.h"
#include "model/appel.h"
#include "model/etat.h"

#include <QJsonObject>
#include <functional>

namespace vd::ai { class GenerateurBrief; struct ParametresBrief; }
namespace vd::model { class Store; }

namespace vd::agenda {

struct RefRendezVous {
    FournisseurAgenda fournisseur = FournisseurAgenda::google;
    QString evenementId;
    QDateTime debut;
    QString titre;
    QStringList invites;
    bool operator==(const RefRendezVous&) const = default;
    static RefRendezVous de(const EvenementAgenda& e);
};

struct BriefAgenda {
    QString id;
    FournisseurAgenda fournisseur = FournisseurAgenda::google;
    QString evenementId;
    QString debut;   // ISO 8601 instant, or "yyyy-MM-dd" for an all-day meeting
    QString contactId, titre;
    QStringList invites;
    QString type, objectif, methode, langue;
    model::Brief brief;
    QString creeLe;
    bool operator==(const BriefAgenda&) const = default;
    QJsonObject versJson() const;
    static std::optional<BriefAgenda> depuisJson(const QJsonValue& v);
};

namespace briefs {
constexpr qint64 conservationS = 604'800;
// The stored brief of a meeting, if any.
std::optional<BriefAgenda> trouver(const model::Etat& etat, FournisseurAgenda f, const QString& evenementId);
// Replaces the meeting's brief (or adds it).
void enregistrer(model::Etat& etat, const BriefAgenda& b);
// Drops briefs whose meeting started more than seven days ago; gives how many went.
int nettoyer(model::Etat& etat, const QDateTime& maintenant);
// The start read as a day (10 characters) or an instant (with, then without, fractions).
std::optional<QDateTime> lireDebut(const QString& debut);

// What a meeting's brief is about: its matched contact and its title as the objective.
ai::ParametresBrief parametres(const EvenementAgenda& e);
// The stored record of a brief written for a meeting.
BriefAgenda pour(const EvenementAgenda& e, const ai::ParametresBrief& p, const model::Brief& brief, const QDateTime& maintenant);
// Writes the meeting's brief through the pre-call brief generator and keeps it in
// the store (older ones cleaned). fini is called once: the stored brief, or the
// French reason it could not be written.
using FinBrief = std::function<void(std::optional<BriefAgenda> brief, const QString& erreur)>;
void preparer(ai::GenerateurBrief& generateur, model::Store& store, const EvenementAgenda& e, const QDateTime& maintenant, FinBrief fini);
inline const QString sansContact = QStringLiteral("Aucun contact du CRM n'est reconnu parmi les invités : le brief porte sur un prospect connu.");
} // namespace briefs

} // namespace vd::agenda
