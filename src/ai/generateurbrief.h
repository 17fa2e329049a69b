#pragma once
// The pre-call brief: the engine builds the task input for a contact and the
// call's settings, the language model writes the brief, and the answer is read
// leniently into a Brief. One generation at a time; cancellation is silent.
#include "ai/clientia.h"
#include "ai/moteur.h"
#include "model/appel.h"
#include "model/store.h"
#include "platform/resultat.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <optional>

namespace vd::ai {

// What a brief is about: the settings of the call it prepares.
struct ParametresBrief {
    QString contactId, type, objectif, methode, langue;
    bool operator==(const ParametresBrief&) const = default;
    QJsonObject versJson() const;
};

class GenerateurBrief : public QObject {
    Q_OBJECT
public:
    GenerateurBrief(model::Store& store, Moteur& moteur, ClientIABase& client, QObject* parent = nullptr);
    ~GenerateurBrief() override;

    // Starts a generation and returns at once; the answer comes through pret() or
    // echec(). Refused (nothing starts) while another one runs, or when the
    // engine cannot build the task input (the message says why).
    ResultatVide<QString> generer(const ParametresBrief& parametres);
    // Stops the running generation: no signal but enCoursChange(false).
    void annuler();
    bool enCours() const { return courante_.has_value(); }
    std::optional<ParametresBrief> parametresEnCours() const { return courante_; }

    // The model of the brief task: the engine's default for briefs, else the analysis model.
    QString modele() const;
    // Canned answers only for the demonstration data: a contact marked as such.
    bool demandeDemo(const ParametresBrief& parametres) const;

    // Reads a model answer into a brief (steps and qualification through the
    // engine's normalisers against the task input); none when nothing usable.
    static std::optional<model::Brief> lireReponse(Moteur& moteur, const QString& texte, const QJsonValue& payload);

    static QString messageEchec() { return QStringLiteral("Le brief n'a pas pu être généré. Vérifiez votre connexion et réessayez."); }
    static QString messageIllisible() { return QStringLiteral("Le brief reçu est illisible. Réessayez dans un instant."); }
    static QString messageDejaEnCours() { return QStringLiteral("Un brief est déjà en préparation."); }
    static QString messageSansContact() { return QStringLiteral("Choisissez d'abord la personne que vous appelez."); }

Q_SIGNALS:
    void enCoursChange(bool enCours);
    void pret(const vd::ai::ParametresBrief& parametres, const vd::model::Brief& brief);
    void echec(const vd::ai::ParametresBrief& parametres, const QString& message);

private:
    void terminer();
    model::Store& store_;
    Moteur& moteur_;
    ClientIABase& client_;
    std::optional<ParametresBrief> courante_;
    QPointer<DemandeIA> demande_;
    quint64 generation_ = 0;
};

} // namespace vd::ai

Q_DECLARE_METATYPE(vd::ai::ParametresBrief)
