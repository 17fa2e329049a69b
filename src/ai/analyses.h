#pragma once
// Post-call analysis: one background run per call, its progress published for
// the screens, the result written into the call and its effects into the contact.
#include "ai/clientia.h"
#include "ai/moteur.h"
#include "model/store.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

namespace vd::ai {

struct ErreurAnalyse {
    enum class Genre { message, introuvable, transcriptVide };
    Genre genre = Genre::message;
    QString detail;
    QString description() const;
    static ErreurAnalyse message(QString m) { return {Genre::message, std::move(m)}; }
    static ErreurAnalyse introuvable() { return {Genre::introuvable, {}}; }
    static ErreurAnalyse transcriptVide() { return {Genre::transcriptVide, {}}; }
};

class AnalysesEnCours : public QObject {
    Q_OBJECT
public:
    struct Suivi {
        int etape = 0;                      // index into etapes()
        std::optional<QJsonValue> partiel;  // the analysis as streamed so far
        bool fini = false;
        std::optional<QString> erreur;
        bool operator==(const Suivi&) const = default;
    };

    AnalysesEnCours(model::Store& store, Moteur& moteur, ClientIABase& client, QObject* parent = nullptr);
    ~AnalysesEnCours() override;

    // Starts the analysis of one call and returns at once. A second request for
    // a call already being analysed replaces the running one.
    void analyser(const QString& appelId);
    // Stops a running analysis: "Analyse annulée.", the call and contact unchanged.
    void annuler(const QString& appelId);
    bool enCours(const QString& appelId) const { return courses_.contains(appelId); }

    const QHash<QString, Suivi>& suivis() const { return suivis_; }
    std::optional<Suivi> suivi(const QString& appelId) const;
    // The progress stages (engine data ETAPES_ANALYSE) and the share done, 0…1.
    QStringList etapes() const;
    double progression(const QString& appelId) const;

    // The account belongs to a team: the task input carries equipe = true.
    void setEquipe(std::function<bool()> equipe) { equipe_ = std::move(equipe); }
    // Receives one row of the service error journal per failure.
    void setJournal(std::function<void(const QJsonObject&)> journal) { journal_ = std::move(journal); }

    // Label of the model that analysed a call ("Analyse avancée", …).
    static QString libelleAnalyse(const model::Appel& appel);
    // Notice beside the score of a very short call, or empty.
    static QString avisCourt(const model::Appel& appel);

    static QString messageAnnule() { return QStringLiteral("Analyse annulée."); }
    static QString messageEchec() { return QStringLiteral("L'analyse a échoué."); }
    static QString messagePayloadIncomplet() { return QStringLiteral("Le payload d'analyse est incomplet."); }

Q_SIGNALS:
    void suiviChange(const QString& appelId);
    void analyseTerminee(const QString& appelId, bool reussie);

private:
    struct Course {
        quint64 generation = 0;
        QPointer<DemandeIA> demande;
        QJsonValue payload;
        QString modele;
        qint64 debutMs = 0;
    };
    void demarrer(const QString& appelId, quint64 generation);
    void recevoir(const QString& appelId, quint64 generation, const QString& texte, const InfosGeneration& infos);
    void echouer(const QString& appelId, const QString& message, bool journaliser = true);
    void avancer(const QString& appelId, int etape);
    bool courante(const QString& appelId, quint64 generation) const;
    QJsonObject etatPourMoteur(const std::optional<QString>& contactId) const;

    model::Store& store_;
    Moteur& moteur_;
    ClientIABase& client_;
    QHash<QString, Suivi> suivis_;
    QHash<QString, Course> courses_;
    quint64 generation_ = 0;
    std::function<bool()> equipe_;
    std::function<void(const QJsonObject&)> journal_;
};

// Reads a model answer that should be one JSON object: plain, wrapped in a
// code fence or in prose, or cut short. None when no object can be found.
std::optional<QJsonObject> lireObjetReponse(const QString& texte);

} // namespace vd::ai
