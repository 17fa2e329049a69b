#pragma once
// The company's sales process: frameworks (ordered steps with their questions,
// criteria, typical objections and weight), qualification grids, what a call
// heard and what a contact is known for, the tone of address, the shipped
// templates and the default framework of each method, and the validators run
// before anything is saved.
//
// Records are plain values coded in JSON with their field names as keys.
// Decoding is lenient: a missing or unreadable field takes its default, list
// elements that are not objects (or texts, for lists of texts) are dropped,
// and nothing here ever fails on bad input. One exception on purpose: a step
// weight that is present but not a finite number decodes as NaN, so the
// validator refuses it instead of silently saving 0.
//
// Ids of steps and items are compared after trimming everywhere
// (memeId / etapeParId / itemParId); a saved framework stores them trimmed.
#include "model/analyse.h"
#include "model/appel.h"
#include "model/contact.h"
#include "model/etat.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vd::model {
class Store;
}

namespace vd::team {

// ---------------------------------------------------------------- records

struct ObjectionEtape {
    QString id;   // not coded: a fresh UUID on every decoding, for the editor's lists
    QString texte, reponse;
    std::optional<QString> objectionId;   // link to the objection library
    // The id is a handle, not content.
    bool operator==(const ObjectionEtape& o) const
    {
        return texte == o.texte && reponse == o.reponse && objectionId == o.objectionId;
    }
    static std::optional<ObjectionEtape> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

struct EtapeFramework {
    QString id, nom;
    QStringList criteres;
    double poids = 0;   // share of the call score, 0 to 100
    QString objectif;
    QStringList questions;
    QString transition;   // the sentence that brings the conversation to this step
    QStringList typesAppel;   // empty: every call type
    QList<ObjectionEtape> objections;
    QString phase;   // prompter mode of the step ("Mode de Quillo")
    bool operator==(const EtapeFramework&) const = default;
    static std::optional<EtapeFramework> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
    // The step applies to this call type (no type listed: every type).
    bool pourType(const QString& type) const;
};

struct ItemQualification {
    QString id, nom;
    QString sigle;   // the letter of the compact grid
    QString pourquoi;
    QStringList questions;
    QString champ;   // contact field it feeds: "budget", "decideur", "echeance", "douleur" or empty
    bool operator==(const ItemQualification&) const = default;
    static std::optional<ItemQualification> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

struct GrilleQualification {
    QString methode;   // grid id: "essentiel", "bant", "meddic", "soncas", or a user's own
    QString nom, genre;
    QList<ItemQualification> items;
    bool operator==(const GrilleQualification&) const = default;
    static std::optional<GrilleQualification> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
    const ItemQualification* itemParId(const QString& id) const;
};

struct FrameworkVente {
    QString id, nom, description;
    QString methode;   // the method it follows
    QList<EtapeFramework> etapes;
    bool actif = true;
    bool parDefaut = false;   // used when a call names no framework
    QString creeLe, majLe;
    std::optional<QString> creePar, majPar;   // account ids, for team frameworks
    std::optional<GrilleQualification> qualification;
    bool operator==(const FrameworkVente&) const = default;
    // None for a non-object; an object without id decodes with an empty id.
    static std::optional<FrameworkVente> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
    const EtapeFramework* etapeParId(const QString& id) const;
    // The framework's grid, else the built-in "essentiel" grid.
    GrilleQualification grille() const;
    // Steps that apply to a call type, in order.
    QList<EtapeFramework> etapesPourType(const QString& type) const;
};

// An item heard during a call, stored in the call.
struct QualificationAppel {
    QString item, valeur, preuve;
    QString source;   // sourceDirect, sourceAnalyse or sourceUtilisateur
    qint64 tMs = 0;
    bool operator==(const QualificationAppel&) const = default;
    static std::optional<QualificationAppel> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};
inline const QString sourceDirect = QStringLiteral("direct");
inline const QString sourceAnalyse = QStringLiteral("analyse");
inline const QString sourceUtilisateur = QStringLiteral("utilisateur");
inline const QString sourceImport = QStringLiteral("import");

using ItemEntendu = model::ItemEntendu;   // as the engine reports it: item, nom, valeur, preuve
using BriefQualification = model::BriefQualification;

// What a contact is known for, one entry per item.
struct QualificationContact {
    QString item, nom, valeur, preuve;
    QString date;
    std::optional<QString> appelId;
    QString source;   // "import" for values from a file import
    bool operator==(const QualificationContact&) const = default;
    static std::optional<QualificationContact> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

// Tone of address: what a call detects, what the contact holds, what applies now.
struct RegistreDetecte {
    QString registre;   // "tu" or "vous"
    double confiance = 0;
    QString raison;
    std::optional<qint64> depuisMs;
    std::optional<bool> sansObjet;
    bool operator==(const RegistreDetecte&) const = default;
    static std::optional<RegistreDetecte> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};
using RegistreContact = model::RegistreContact;   // force: the user's explicit choice
struct RegistreEffectif {
    std::optional<QString> valeur;
    QString source;
    double confiance = 0;
    QString libelle, detail, choix;
    bool operator==(const RegistreEffectif&) const = default;
    static std::optional<RegistreEffectif> depuisJson(const QJsonValue& v);
};

// A shipped template.
struct ModeleCycle {
    QString id, nom, description;
    QString pourQui;   // who it suits
    QString icone;     // symbol name
    QString grille;    // grid id
    QList<EtapeFramework> etapes;
    bool operator==(const ModeleCycle&) const = default;
};

// A question a team member proposes for a step of a team framework.
struct PropositionQuestion {
    QString id, frameworkId, etapeId, question;
    std::optional<QString> appelId, auteurId;
    QString auteurNom, statut, creeLe;
    bool operator==(const PropositionQuestion&) const = default;
    // Reads the backend's snake_case keys as well as the record's own.
    static std::optional<PropositionQuestion> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

// Per step, over the calls that followed the framework (from the engine).
struct StatsEtapeFramework {
    struct Critere {
        QString texte;
        int fois = 0;
        bool operator==(const Critere&) const = default;
    };
    struct Objection {
        QString cle, libelle, exemple;
        int fois = 0, bienTraitees = 0;
        bool operator==(const Objection&) const = default;
    };
    QString etapeId, nom;
    int appels = 0, couvertes = 0;
    QList<Critere> criteresManques;
    QList<Objection> objections;
    std::optional<double> scoreCouverte, scoreNonCouverte;
    bool operator==(const StatsEtapeFramework&) const = default;
    static std::optional<StatsEtapeFramework> depuisJson(const QJsonValue& v);
};

// A question that worked in calls, offered for adding to a step.
struct QuestionSuggeree {
    QString etapeId, question, cle, categorie, info, appelId;
    std::optional<QString> date;
    int fois = 0;
    bool operator==(const QuestionSuggeree&) const = default;
    static std::optional<QuestionSuggeree> depuisJson(const QJsonValue& v);
};

// ---------------------------------------------------------------- ids

// Ids compare after trimming (" demo" is "demo").
inline bool memeId(const QString& a, const QString& b) { return a.trimmed() == b.trimmed(); }
// Trims the ids of the steps and of the grid's items (what a save stores).
FrameworkVente avecIdsNets(FrameworkVente f);

// ---------------------------------------------------------------- validation

namespace limites {
constexpr int nom = 120, description = 2000, etapes = 30;
constexpr int nomEtape = 200, idEtape = 60, criteres = 30, critere = 500;
constexpr int objectif = 500, transition = 500, questions = 8, question = 500;
constexpr int typesAppel = 20, typeAppel = 40, objections = 10, objection = 500, reponse = 1000, phase = 40;
constexpr int items = 12, nomItem = 80, pourquoi = 300, questionsItem = 3;
constexpr int texteMethodeMin = 30;
} // namespace limites

// None when the framework may be saved, else the first failing rule's message.
std::optional<QString> validerFramework(const FrameworkVente& f);
// None when the grid may be saved, else the first failing rule's message.
std::optional<QString> validerGrille(const GrilleQualification& g);

// ---------------------------------------------------------------- templates and grids

// The four templates in their order (objection ids are fresh UUIDs each time).
QList<ModeleCycle> modelesCycle();
std::optional<ModeleCycle> modeleCycle(const QString& id);

// The methods a default framework can be built from, and their display names.
QStringList methodesDefaut();   // "aucune", "spin", "bant", "meddic", "soncas"
QString nomMethode(const QString& methode);   // "SPIN"…; "" for "aucune"

// The four-step default framework of a method (unknown methods read as "aucune").
// Its grid is the method's ("bant", "meddic", "soncas") taken from grilles
// (grillesDepuisMoteur), or "essentiel" (also when grilles lacks it).
// The returned framework is not saved: enregistrerFramework does that.
FrameworkVente frameworkParDefaut(const QString& methode, const QString& id, const QString& maintenant,
                                  const QList<GrilleQualification>& grilles = {});
// A new framework from a template, active, with the template's grid when known.
FrameworkVente frameworkDepuisModele(const ModeleCycle& m, const QString& id, const QString& maintenant,
                                     const QList<GrilleQualification>& grilles = {});

// The built-in grid.
GrilleQualification grilleEssentiel();
// "essentiel" then the engine's GRILLES_QUALIFICATION entries (each with id and label).
QList<GrilleQualification> grillesDepuisMoteur(const QJsonArray& grillesMoteur);
// A grid by id among those, "essentiel" when unknown.
GrilleQualification grilleParId(const QList<GrilleQualification>& grilles, const QString& id);

// ---------------------------------------------------------------- the store's frameworks

// The stored frameworks, decoded.
QList<FrameworkVente> frameworksDe(const model::Etat& etat);
std::optional<FrameworkVente> frameworkParId(const model::Etat& etat, const QString& id);
// The framework a call with this method uses: an active framework whose id is the
// method, else the active default one; none when neither exists.
std::optional<FrameworkVente> frameworkPourMethode(const model::Etat& etat, const QString& methode);

// Validates, trims ids, stamps majLe (and creeLe when new), then adds or replaces
// it by id. A framework saved as default clears the flag on the others; an
// active framework saved while no other active one is the default becomes it.
// Returns the validation message and saves nothing when refused.
std::optional<QString> enregistrerFramework(model::Store& store, FrameworkVente f, std::optional<QString> compteId = {});
// Makes this framework the active default (others lose parDefaut). False when unknown.
bool definirParDefaut(model::Store& store, const QString& id);
bool activer(model::Store& store, const QString& id, bool actif);
bool supprimerFramework(model::Store& store, const QString& id);

// ---------------------------------------------------------------- analysis texts

namespace textesFramework {
inline const QString texteTropCourt =
    QStringLiteral("Collez ou écrivez votre méthode de vente : au moins quelques phrases sur ses étapes.");
inline const QString sansEtapes =
    QStringLiteral("Quillo n'a pas trouvé d'étapes dans ce texte. Précisez-les, puis relancez l'analyse.");
inline const QString analyseEchouee = QStringLiteral("L'analyse a échoué. Réessayez.");
inline const QString baseGrillePerso =
    QStringLiteral("Vos propres items : partez de votre grille actuelle, renommez, ajoutez, retirez.");
inline const QString libelleTransition = QStringLiteral("La phrase qui amène la conversation sur cette étape");
inline const QString libellePhase = QStringLiteral("Mode de Quillo");
} // namespace textesFramework

} // namespace vd::team
