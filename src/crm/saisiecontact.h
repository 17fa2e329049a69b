#pragma once
// The contact form's fields as typed, its checks in order, and the record
// they give.
#include "model/contact.h"

#include <QJsonObject>
#include <optional>

namespace vd::crm {

struct SaisieContact {
    QString prenom, nom, poste, societe, email, tel, linkedin;
    QString profilClientId;
    QString etape = QStringLiteral("nouveau");
    QString valeur;        // as typed: "12 000", "1 500,50"
    QString probabilite;   // as typed; empty: the stage's default
    QString source;
    QString tags;          // comma-separated
    QString notes;
    QString prochaineAction, echeance;   // next step and its day "yyyy-MM-dd"
    model::ChampsContact champs;

    static SaisieContact depuis(const model::Contact& c);
    // The fields of a contact's JSON form laid over a base (numbers may be
    // given as text, as in the form); unknown keys are ignored.
    static SaisieContact depuisJson(const QJsonObject& o, const SaisieContact& base);
};

// The form's number reading: spaces (also non-breaking) removed, a comma as
// the decimal point, the whole text a finite number.
std::optional<double> lireNombreSaisi(const QString& texte);

// The first failing check's message, none when the form can be saved.
std::optional<QString> verifierContact(const SaisieContact& s);

// The record the form gives, on top of the contact being edited (fields the
// form does not show are kept). The stage is set as given; stage-change
// consequences are applied by the store operations.
model::Contact appliquerSaisie(const model::Contact& base, const SaisieContact& s);

} // namespace vd::crm
