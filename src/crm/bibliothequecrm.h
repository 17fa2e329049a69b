#pragma once
// Customer profiles and the objection library: checks and store changes.
#include "model/store.h"
#include "platform/resultat.h"

namespace vd::crm {

// "Indiquez un nom pour ce profil.", "Un profil porte déjà ce nom."
std::optional<QString> verifierProfil(const model::ProfilClient& p, const QList<model::ProfilClient>& existants);
// "Indiquez l'objection.", "Indiquez la réponse préparée.", "Cette objection est déjà dans la bibliothèque."
std::optional<QString> verifierObjection(const model::ObjectionLib& o, const QList<model::ObjectionLib>& existantes);

// Creates (empty id) or updates; the stored record or the message.
Resultat<model::ProfilClient, QString> enregistrerProfil(model::Store& store, model::ProfilClient p);
Resultat<model::ObjectionLib, QString> enregistrerObjection(model::Store& store, model::ObjectionLib o);
// Contacts of a removed profile keep everything but the link.
ResultatVide<QString> supprimerProfil(model::Store& store, const QString& id);
ResultatVide<QString> supprimerObjection(model::Store& store, const QString& id);

// One entry a line, blank lines dropped.
QStringList lignes(const QString& texte);

} // namespace vd::crm
