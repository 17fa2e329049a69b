#pragma once
// CRM records: contacts and the history of their interactions.
#include "appel.h"
#include "champscontact.h"
#include "json.h"

namespace vd::model {

struct RegistreContact {
    std::optional<QString> valeur;
    std::optional<double> confiance;
    std::optional<QString> le, appelId, force;
    bool operator==(const RegistreContact&) const = default;
    static std::optional<RegistreContact> depuisJson(const VueJson& v);
    static std::optional<RegistreContact> depuisJson(const QJsonValue& v) { return depuisQt<RegistreContact>(v); }
};

struct Contact {
    QString id;
    QString prenom, nom, poste, societe, email, tel, linkedin;
    QString profilClientId;
    QString etape = QStringLiteral("nouveau");
    double valeur = 0;
    double probabilite = 0;
    QString source;
    QStringList tags;
    QString notes;
    std::optional<ProchaineAction> prochaineAction;
    ChampsContact champs;
    QString creeLe, majLe;
    std::optional<bool> test;
    std::optional<QList<JSONValeur>> qualification;   // QualificationContact, kept whole for now
    std::optional<QString> raisonPerte, issueLe, issueVue, etapeAvantIssue;
    std::optional<JSONValeur> relance;   // SequenceRelance, kept whole for now
    std::optional<RegistreContact> registre;
    std::optional<QString> etapeAvantSommeil, sommeilLe;
    bool operator==(const Contact&) const = default;
    static std::optional<Contact> depuisJson(const VueJson& v);
    static std::optional<Contact> depuisJson(const QJsonValue& v) { return depuisQt<Contact>(v); }
    QString nomComplet() const;
};

struct Interaction {
    QString id, contactId;
    QString type = QStringLiteral("note");
    QString date, titre, resume;
    std::optional<QString> appelId;
    QString creeLe, majLe;
    bool operator==(const Interaction&) const = default;
    static std::optional<Interaction> depuisJson(const VueJson& v);
    static std::optional<Interaction> depuisJson(const QJsonValue& v) { return depuisQt<Interaction>(v); }
};

void ecrire(EcrivainJson& e, const RegistreContact& r);
void ecrire(EcrivainJson& e, const Contact& r);
void ecrire(EcrivainJson& e, const Interaction& r);

} // namespace vd::model
