#pragma once
// Library records edited in the settings: company, customer profiles,
// objection answers, favourite questions, personal objectives.
#include "json.h"

namespace vd::model {

struct Offre {
    QString nom, description, prix, cycleVente;
    bool operator==(const Offre&) const = default;
    static std::optional<Offre> depuisJson(const VueJson& v);
    static std::optional<Offre> depuisJson(const QJsonValue& v) { return depuisQt<Offre>(v); }
};

struct Entreprise {
    QString nom, site, secteur, description;
    Offre offre;
    QStringList benefices;
    QString differenciant;
    QStringList preuves, concurrents;
    std::optional<JSONValeur> relances;   // ReglagesRelances, kept whole for now
    bool operator==(const Entreprise&) const = default;
    static std::optional<Entreprise> depuisJson(const VueJson& v);
    static std::optional<Entreprise> depuisJson(const QJsonValue& v) { return depuisQt<Entreprise>(v); }
};

struct ProfilClient {
    QString id, nom, typeVente, role, secteur, taille, maturite;
    QStringList douleurs, objectifs, declencheurs, criteres;
    QString creeLe, majLe;
    bool operator==(const ProfilClient&) const = default;
    static std::optional<ProfilClient> depuisJson(const VueJson& v);
    static std::optional<ProfilClient> depuisJson(const QJsonValue& v) { return depuisQt<ProfilClient>(v); }
};

struct ObjectionLib {
    QString id, categorie, libelle, reponse, creeLe, majLe;
    bool operator==(const ObjectionLib&) const = default;
    static std::optional<ObjectionLib> depuisJson(const VueJson& v);
    static std::optional<ObjectionLib> depuisJson(const QJsonValue& v) { return depuisQt<ObjectionLib>(v); }
};

struct QuestionFavorite {
    QString id, texte;
    std::optional<QString> categorie;
    QString creeLe, majLe;
    bool operator==(const QuestionFavorite&) const = default;
    static std::optional<QuestionFavorite> depuisJson(const VueJson& v);
    static std::optional<QuestionFavorite> depuisJson(const QJsonValue& v) { return depuisQt<QuestionFavorite>(v); }
};

struct ObjectifLocal {
    QString id, type;
    double cible = 0;
    std::optional<QString> competence;
    bool actif = false;
    QString creeLe, majLe;
    bool operator==(const ObjectifLocal&) const = default;
    static std::optional<ObjectifLocal> depuisJson(const VueJson& v);
    static std::optional<ObjectifLocal> depuisJson(const QJsonValue& v) { return depuisQt<ObjectifLocal>(v); }
};

void ecrire(EcrivainJson& e, const Offre& r);
void ecrire(EcrivainJson& e, const Entreprise& r);
void ecrire(EcrivainJson& e, const ProfilClient& r);
void ecrire(EcrivainJson& e, const ObjectionLib& r);
void ecrire(EcrivainJson& e, const QuestionFavorite& r);
void ecrire(EcrivainJson& e, const ObjectifLocal& r);

} // namespace vd::model
