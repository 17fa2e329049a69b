#pragma once
// Contact import: the field catalogue, header normalisation and column
// proposal, stage mapping, reading rows into contacts, and the plan that
// matches them against the CRM before anything is written.
#include "model/contact.h"
#include "tableur.h"

#include <QHash>
#include <QSet>
#include <atomic>
#include <functional>

namespace vd::crm {

struct ItemQualification {
    QString id, nom, champ;
    bool operator==(const ItemQualification&) const = default;
};

struct ChampImport {
    QString id, libelle, groupe;
    bool unique = true;
};

// A pipeline stage as the import reads it (id and label).
struct EtapeImport {
    QString id, libelle;
};

struct ContexteImport {
    QList<EtapeImport> etapes;
    QHash<QString, double> probaParEtape;
    QList<ItemQualification> grille;
    QList<std::pair<QString, QString>> profils;   // id, nom
    QList<model::Contact> existants;
    QString aujourdhui;   // "yyyy-MM-dd", the date of qualification values
};

struct TableauImport {
    QStringList entetes;
    struct Ligne {
        int numero = 0;
        QStringList cellules;
    };
    QList<Ligne> lignes;
    int lignesVides = 0;
};

struct LigneLue {
    int numero = 0;
    model::Contact contact;
    QSet<QString> remplis;
    // A contact field fed by a qualification column ("champs.budget") → that column's field ("qualif:budget").
    QHash<QString, QString> lies;
    std::optional<QString> erreur;
    QStringList avertissements;
};

struct NoteLigne {
    int numero = 0;
    QString texte;
    bool operator==(const NoteLigne&) const = default;
};

enum class ModeDoublons { completer, remplacer, ignorer, creer };
QString valeurMode(ModeDoublons m);
std::optional<ModeDoublons> modeDepuis(const QString& valeur);
QString titreMode(ModeDoublons m);
QString explicationMode(ModeDoublons m);

struct MajImport {
    model::Contact avant, apres;
    QStringList champs;   // the fields the import changes
};

struct PlanImport {
    QList<model::Contact> nouveaux;
    QList<MajImport> majs;
    QList<NoteLigne> ignores, erreurs, avertissements;
    int lignesVides = 0;
    int doublonsTrouves = 0;
};

// French case and diacritics folded; letters, digits and "%" kept, other runs as one space.
QString normaliserEntete(const QString& texte);

// The fixed catalogue then one target per grid item ("qualif:<id>").
QList<ChampImport> champsImport(const QList<ItemQualification>& grille);
// The grid of the default framework, or the built-in four items.
QList<ItemQualification> grilleDe(const QList<model::JSONValeur>& frameworks);

// Titles and data rows of a sheet; the table-level refusals.
Resultat<TableauImport, ErreurTableur> construireTableau(const FeuilleTableur& feuille);

// One target id per column ("" = Ignorer).
QStringList proposerColonnes(const TableauImport& t, const QList<ItemQualification>& grille);
// File stage value → pipeline stage id, for every distinct value of the stage column.
QHash<QString, QString> proposerEtapes(const TableauImport& t, const QStringList& correspondances, const QList<EtapeImport>& etapes);
QString proposerEtape(const QString& valeur, const QList<EtapeImport>& etapes);
// Distinct non-empty values of the stage column, in file order.
QStringList valeursEtape(const TableauImport& t, const QStringList& correspondances);

struct RegleLecture {
    QStringList correspondances;
    QHash<QString, QString> etapesChoisies;
};

LigneLue lireLigne(const TableauImport::Ligne& ligne, const TableauImport& t, const RegleLecture& regle, const ContexteImport& ctx);

// Number and date readers of the import, exposed for tests.
std::optional<double> lireNombre(const QString& valeur);
std::optional<QString> lireDate(const QString& valeur);
QString nettoyerEmail(const QString& valeur, bool* plusieurs = nullptr);
bool emailValide(const QString& email);
bool ressembleTelephone(const QString& valeur);

// Field helpers shared by the plan and its writing.
bool champVide(const model::Contact& c, const QString& champ);
void copierChamp(model::Contact& cible, const model::Contact& source, const QString& champ);

QString cleDoublon(const model::Contact& c);

// Rows read, matched and sorted; none when cancelled. progression(0…1) every 500 rows.
std::optional<PlanImport> calculerPlan(const TableauImport& t, const RegleLecture& regle, ModeDoublons mode, const ContexteImport& ctx,
                                       const std::atomic<bool>* annule = nullptr,
                                       const std::function<void(double)>& progression = {});

// The summary's check: a column for the name, the company or the e-mail.
std::optional<QString> verifierCorrespondances(const QStringList& correspondances);

} // namespace vd::crm
