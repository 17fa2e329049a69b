#pragma once
// The post-call analysis of a call (Appel.analyse). Most fields are written by
// the language model, so every reader is lenient: a wrong type gives the
// default, a list may arrive as a single value, and keys this version does not
// know are kept in `autres` and written back unchanged.
#include "champscontact.h"
#include "json.h"

#include <QJsonObject>
#include <QMap>

namespace vd::model {

struct ScoreDimension {
    qint64 score = 0;
    QString commentaire, preuve;
    QJsonObject autres;
    bool operator==(const ScoreDimension&) const = default;
    // A bare number is read as the score.
    static std::optional<ScoreDimension> depuisJson(const QJsonValue& v);
};

struct CritereEtape {
    QString texte;
    bool rempli = false;
    QJsonObject autres;
    bool operator==(const CritereEtape&) const = default;
    static std::optional<CritereEtape> depuisJson(const QJsonValue& v);   // a bare text is an unmet criterion
};

struct QuestionEtapeAnalyse {
    QString texte;
    bool posee = false;
    QJsonObject autres;
    bool operator==(const QuestionEtapeAnalyse&) const = default;
    static std::optional<QuestionEtapeAnalyse> depuisJson(const QJsonValue& v);
};

struct EtapeMethode {
    QString id, nom, statut;
    std::optional<qint64> score;
    QString commentaire;
    std::optional<double> poids;
    std::optional<bool> couverte;
    QString preuve;
    QList<CritereEtape> criteres;
    std::optional<bool> corrigee;
    QList<QuestionEtapeAnalyse> questions;
    QJsonObject autres;
    bool operator==(const EtapeMethode&) const = default;
    static std::optional<EtapeMethode> depuisJson(const QJsonValue& v);
};

struct MethodeAnalyse {
    QString nom;
    std::optional<qint64> score;
    std::optional<QString> frameworkId;
    QList<EtapeMethode> etapes;
    QJsonObject autres;
    bool operator==(const MethodeAnalyse&) const = default;
    static std::optional<MethodeAnalyse> depuisJson(const QJsonValue& v);
};

struct ObjectionAnalyse {
    QString libelle, categorie;
    std::optional<qint64> tMs;
    QString traitement, reponseDonnee, meilleureReponse;
    std::optional<QString> etapeId;
    QJsonObject autres;
    bool operator==(const ObjectionAnalyse&) const = default;
    static std::optional<ObjectionAnalyse> depuisJson(const QJsonValue& v);
};

struct Moment {
    qint64 tMs = 0;
    QString type, texte;
    QJsonObject autres;
    bool operator==(const Moment&) const = default;
    static std::optional<Moment> depuisJson(const QJsonValue& v);
};

struct QuestionQuiMarche {
    QString question, etapeId, categorie, info;
    std::optional<qint64> tMs;
    QJsonObject autres;
    bool operator==(const QuestionQuiMarche&) const = default;
    static std::optional<QuestionQuiMarche> depuisJson(const QJsonValue& v);
};

struct ItemEntendu {
    QString item, nom, valeur, preuve;
    QJsonObject autres;
    bool operator==(const ItemEntendu&) const = default;
    static std::optional<ItemEntendu> depuisJson(const QJsonValue& v);
};

struct ProchaineEtape {
    QString action, responsable, echeance;
    QJsonObject autres;
    bool operator==(const ProchaineEtape&) const = default;
    static std::optional<ProchaineEtape> depuisJson(const QJsonValue& v);   // a bare text is the action
};

struct EmailSuivi {
    QString objet, corps;
    QJsonObject autres;
    bool operator==(const EmailSuivi&) const = default;
    static std::optional<EmailSuivi> depuisJson(const QJsonValue& v);
};

struct Coaching {
    QString pointFort, aTravailler, conseil;
    QJsonObject autres;
    bool operator==(const Coaching&) const = default;
    static std::optional<Coaching> depuisJson(const QJsonValue& v);
};

struct CRMAnalyse {
    QString etapeSuggeree;
    double probabilite = 0;
    QString resumeInteraction, prochaineAction;
    ChampsContact champs;
    std::optional<bool> etapeAppliquee;
    QJsonObject autres;
    bool operator==(const CRMAnalyse&) const = default;
    static std::optional<CRMAnalyse> depuisJson(const QJsonValue& v);
};

struct IssueAnalyse {
    QString proposee, raison, preuve;
    QJsonObject autres;
    bool operator==(const IssueAnalyse&) const = default;
    static std::optional<IssueAnalyse> depuisJson(const QJsonValue& v);
};

struct Plafond {
    QString dimension;
    qint64 max = 0;
    QString raison;
    QJsonObject autres;
    bool operator==(const Plafond&) const = default;
    static std::optional<Plafond> depuisJson(const QJsonValue& v);
};

struct Analyse {
    qint64 score = 0;   // 0–100
    QString verdict;
    double sentiment = 0;
    QString resume;
    QMap<QString, ScoreDimension> dimensions;
    MethodeAnalyse methode;
    QList<ObjectionAnalyse> objections;
    QList<Moment> moments;
    QStringList questionsOubliees;
    QList<QuestionQuiMarche> questionsQuiMarchent;
    std::optional<QList<ItemEntendu>> qualification;
    QList<ProchaineEtape> prochainesEtapes;
    EmailSuivi email;
    Coaching coaching;
    CRMAnalyse crm;
    std::optional<QList<Plafond>> plafonds;
    std::optional<IssueAnalyse> issue;
    std::optional<JSONValeur> relances;   // SequenceRelance, kept whole for the follow-up feature
    std::optional<JSONValeur> meta;       // facts about the generation: model, source
    QJsonObject autres;
    bool operator==(const Analyse&) const = default;
    // None only for a value that is not an object.
    static std::optional<Analyse> depuisJson(const QJsonValue& v);
};

void ecrire(EcrivainJson& e, const ScoreDimension& r);
void ecrire(EcrivainJson& e, const CritereEtape& r);
void ecrire(EcrivainJson& e, const QuestionEtapeAnalyse& r);
void ecrire(EcrivainJson& e, const EtapeMethode& r);
void ecrire(EcrivainJson& e, const MethodeAnalyse& r);
void ecrire(EcrivainJson& e, const ObjectionAnalyse& r);
void ecrire(EcrivainJson& e, const Moment& r);
void ecrire(EcrivainJson& e, const QuestionQuiMarche& r);
void ecrire(EcrivainJson& e, const ItemEntendu& r);
void ecrire(EcrivainJson& e, const ProchaineEtape& r);
void ecrire(EcrivainJson& e, const EmailSuivi& r);
void ecrire(EcrivainJson& e, const Coaching& r);
void ecrire(EcrivainJson& e, const CRMAnalyse& r);
void ecrire(EcrivainJson& e, const IssueAnalyse& r);
void ecrire(EcrivainJson& e, const Plafond& r);
void ecrire(EcrivainJson& e, const Analyse& r);

// "Cet appel est très court …" for a call of fewer than 4 exchanges, else empty.
QString avisAppelCourt(qint64 nbEchanges);

} // namespace vd::model
