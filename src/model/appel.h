#pragma once
// A call and the records it carries.
#include "analyse.h"
#include "json.h"

#include <QList>
#include <QString>
#include <optional>

namespace vd::model {

struct Segment {
    QString id;
    QString locuteur = QStringLiteral("prospect");
    QString texte;
    qint64 debutMs = 0;
    qint64 finMs = 0;
    std::optional<qint64> interlocuteur;
    bool operator==(const Segment&) const = default;
    static std::optional<Segment> depuisJson(const VueJson& v);
    static std::optional<Segment> depuisJson(const QJsonValue& v) { return depuisQt<Segment>(v); }
    // "s_" + debutMs + "_" + FNV-1a(texte UTF-8) % 100000: stable across runs.
    static QString idPour(qint64 debutMs, const QString& texte);
};

struct Aide {
    QString id;
    QString tache;
    qint64 tMs = 0;
    QString demande;
    JSONValeur resultat;
    std::optional<bool> utile;
    std::optional<QString> modele;
    bool operator==(const Aide&) const = default;
    static std::optional<Aide> depuisJson(const VueJson& v);
    static std::optional<Aide> depuisJson(const QJsonValue& v) { return depuisQt<Aide>(v); }
};

struct Detection {
    qint64 tMs = 0;
    QString categorie = QStringLiteral("autre");
    QString extrait;
    bool operator==(const Detection&) const = default;
    static std::optional<Detection> depuisJson(const VueJson& v);
    static std::optional<Detection> depuisJson(const QJsonValue& v) { return depuisQt<Detection>(v); }
};

struct Metriques {
    double dureeSec = 0;
    qint64 partVous = 0;
    qint64 partProspect = 0;
    qint64 questionsVous = 0;
    qint64 plusLongMonologueSec = 0;
    qint64 motsParMinute = 0;
    qint64 interruptions = 0;
    qint64 nbEchanges = 0;
    bool operator==(const Metriques&) const = default;
    static std::optional<Metriques> depuisJson(const VueJson& v);
    static std::optional<Metriques> depuisJson(const QJsonValue& v) { return depuisQt<Metriques>(v); }
};

struct MomentMarque {
    QString id;
    qint64 tMs = 0;
    std::optional<QString> note;
    bool operator==(const MomentMarque&) const = default;
    static std::optional<MomentMarque> depuisJson(const VueJson& v);
    static std::optional<MomentMarque> depuisJson(const QJsonValue& v) { return depuisQt<MomentMarque>(v); }
};

struct NoteAppel {
    QString id;
    qint64 tMs = 0;
    QString texte;
    bool operator==(const NoteAppel&) const = default;
    static std::optional<NoteAppel> depuisJson(const VueJson& v);
    static std::optional<NoteAppel> depuisJson(const QJsonValue& v) { return depuisQt<NoteAppel>(v); }
};

struct PhaseAppel {
    QString phase;
    qint64 tMs = 0;
    bool operator==(const PhaseAppel&) const = default;
    static std::optional<PhaseAppel> depuisJson(const VueJson& v);
    static std::optional<PhaseAppel> depuisJson(const QJsonValue& v) { return depuisQt<PhaseAppel>(v); }
};

struct ProchaineAction {
    QString texte;
    QString echeance;   // "yyyy-MM-dd" or empty
    bool operator==(const ProchaineAction&) const = default;
    static std::optional<ProchaineAction> depuisJson(const VueJson& v);
    static std::optional<ProchaineAction> depuisJson(const QJsonValue& v) { return depuisQt<ProchaineAction>(v); }
};

struct PonctualiteAppel {
    std::optional<QString> rdvDebut;
    std::optional<qint64> retardCommercialSec;
    std::optional<qint64> premiereParoleProspectMs;
    bool prospectAbsent = false;
    std::optional<bool> prospectInconnu;
    bool operator==(const PonctualiteAppel&) const = default;
    static std::optional<PonctualiteAppel> depuisJson(const VueJson& v);
    static std::optional<PonctualiteAppel> depuisJson(const QJsonValue& v) { return depuisQt<PonctualiteAppel>(v); }
};

struct EnregistrementAppel {
    QString fichier;
    double dureeSec = 0;
    qint64 taille = 0;
    bool video = true;
    bool operator==(const EnregistrementAppel&) const = default;
    static std::optional<EnregistrementAppel> depuisJson(const VueJson& v);   // none when fichier is empty
    static std::optional<EnregistrementAppel> depuisJson(const QJsonValue& v) { return depuisQt<EnregistrementAppel>(v); }
};

struct ObjectionProbable {
    QString objection, parade;
    bool operator==(const ObjectionProbable&) const = default;
    static std::optional<ObjectionProbable> depuisJson(const VueJson& v);
    static std::optional<ObjectionProbable> depuisJson(const QJsonValue& v) { return depuisQt<ObjectionProbable>(v); }
};

struct BriefEtape {
    QString etapeId, objectif;
    QStringList questions;
    QString transition;
    bool operator==(const BriefEtape&) const = default;
    static std::optional<BriefEtape> depuisJson(const VueJson& v);
    static std::optional<BriefEtape> depuisJson(const QJsonValue& v) { return depuisQt<BriefEtape>(v); }
};

struct BriefQualification {
    QString itemId, nom, connu, manque, question;
    bool operator==(const BriefQualification&) const = default;
    static std::optional<BriefQualification> depuisJson(const VueJson& v);
    static std::optional<BriefQualification> depuisJson(const QJsonValue& v) { return depuisQt<BriefQualification>(v); }
};

struct Brief {
    QStringList pointsCles;
    QList<ObjectionProbable> objectionsProbables;
    QStringList questions;
    QString objectifMesurable;
    QString ouverture;
    QList<BriefEtape> briefEtapes;
    QList<BriefQualification> qualification;
    bool operator==(const Brief&) const = default;
    static std::optional<Brief> depuisJson(const VueJson& v);
    static std::optional<Brief> depuisJson(const QJsonValue& v) { return depuisQt<Brief>(v); }
};

struct Appel {
    QString id;
    std::optional<QString> contactId;
    QString type = QStringLiteral("decouverte");
    QString objectif;
    QString methode = QStringLiteral("aucune");
    QString langue = QStringLiteral("fr");
    QString source = QStringLiteral("demo");
    QString debut;
    double duree = 0;
    QString statut = QStringLiteral("en_cours");   // a new call runs; the decoder defaults to "analyse"
    QList<Segment> transcript;
    QList<Aide> aides;
    QList<Detection> detections;
    std::optional<Metriques> metriques;
    std::optional<Brief> brief;
    std::optional<Analyse> analyse;
    std::optional<QString> erreur;
    QString creeLe, majLe;
    QList<MomentMarque> momentsMarques;
    QList<NoteAppel> notes;
    std::optional<QStringList> questionsCochees;
    std::optional<ProchaineAction> prochaineEtape;
    std::optional<QStringList> etapesCochees, criteresCoches, questionsEtapeCochees;
    std::optional<QList<PhaseAppel>> phases;
    std::optional<QString> compteId;
    std::optional<EnregistrementAppel> enregistrement;
    std::optional<QString> moteurTranscription;
    std::optional<QString> modeleAnalyse;
    std::optional<qint64> echosRetires;
    std::optional<QList<JSONValeur>> qualification;   // QualificationAppel, kept whole for now
    std::optional<PonctualiteAppel> ponctualite;
    bool operator==(const Appel&) const = default;
    static std::optional<Appel> depuisJson(const VueJson& v);
    static std::optional<Appel> depuisJson(const QJsonValue& v) { return depuisQt<Appel>(v); }
};

void ecrire(EcrivainJson& e, const Segment& r);
void ecrire(EcrivainJson& e, const Aide& r);
void ecrire(EcrivainJson& e, const Detection& r);
void ecrire(EcrivainJson& e, const Metriques& r);
void ecrire(EcrivainJson& e, const MomentMarque& r);
void ecrire(EcrivainJson& e, const NoteAppel& r);
void ecrire(EcrivainJson& e, const PhaseAppel& r);
void ecrire(EcrivainJson& e, const ProchaineAction& r);
void ecrire(EcrivainJson& e, const PonctualiteAppel& r);
void ecrire(EcrivainJson& e, const EnregistrementAppel& r);
void ecrire(EcrivainJson& e, const ObjectionProbable& r);
void ecrire(EcrivainJson& e, const BriefEtape& r);
void ecrire(EcrivainJson& e, const BriefQualification& r);
void ecrire(EcrivainJson& e, const Brief& r);
void ecrire(EcrivainJson& e, const Appel& r);

// Suggested call type for a contact's pipeline stage.
QString typeAppelPourEtape(const QString& etape);

} // namespace vd::model
