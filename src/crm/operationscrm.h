#pragma once
// Every change the CRM makes goes through the store here: majLe stamped on
// each changed record, deletions reported, and the consequences of a stage
// change (outcome, sleep, follow-up stop rules).
#include "saisiecontact.h"
#include "model/store.h"
#include "platform/resultat.h"

namespace vd::crm {

// A stage change on the record itself: the outcome fields for won and lost,
// the sleep fields, and the follow-up sequence's stop rules (a lost deal ends
// it; a won deal ends it unless the sequence was made for the won deal).
void appliquerEtape(model::Contact& c, const QString& etape, const QString& maintenant);
// Stops the contact's running or proposed sequence with that reason.
void arreterSequence(model::Contact& c, const QString& raison, const QString& maintenant);
// Contacts stay on this computer but calls reach the team: the state of the
// contact's sequence (status, each step's date and sending, the answer) is
// copied onto its originating call's analysis as "suiviRelance", so a manager
// can count sent, late and answered follow-ups. Only a call of the sequence's
// owner is written, and only when the copy changes.
void refleterRelance(model::Etat& e, const QString& contactId, const QString& maintenant);

// Creates (empty id) or updates a contact from the form. The stored contact,
// or the form's message.
Resultat<model::Contact, QString> enregistrerContact(model::Store& store, const QString& id, const SaisieContact& s);
// Drag, card menu, command line. The probability follows the new stage's default.
Resultat<model::Contact, QString> changerEtape(model::Store& store, const QString& id, const QString& etape);
// Removes the contact and its history; its calls stay, without the link.
ResultatVide<QString> supprimerContact(model::Store& store, const QString& id);

QString messageContactInconnu(const QString& id);
QString messageEtapeInconnue(const QString& etape);
QString nouvelIdentifiant(const QString& prefixe);

} // namespace vd::crm
