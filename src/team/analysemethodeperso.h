#pragma once
// A first framework built from the user's own description of the method: the
// engine turns the pasted text into the task input, the language model proposes
// steps and advice, the user reviews and edits the draft, then saves it.
// Each request takes a new counter (jeton); an answer carrying an older one is dropped.
#include "ai/clientia.h"
#include "ai/moteur.h"
#include "team/framework.h"

#include <QObject>
#include <QPointer>

namespace vd::model {
class Store;
}

namespace vd::team {

class AnalyseMethodePerso : public QObject {
    Q_OBJECT
public:
    enum class Etat { saisie, analyse, resultat, enregistre };

    AnalyseMethodePerso(model::Store& store, ai::Moteur& moteur, ai::ClientIABase& client, QObject* parent = nullptr);
    ~AnalyseMethodePerso() override;

    const QString& texte() const { return texte_; }
    void setTexte(const QString& t);
    Etat etat() const { return etat_; }
    // The framework as proposed, and the draft the user edits from it.
    const std::optional<FrameworkVente>& apercu() const { return apercu_; }
    const FrameworkVente& brouillon() const { return brouillon_; }
    void setBrouillon(const FrameworkVente& f);
    const QStringList& conseils() const { return conseils_; }
    const std::optional<QString>& erreur() const { return erreur_; }
    const std::optional<FrameworkVente>& enregistre() const { return enregistre_; }
    quint64 jeton() const { return jeton_; }

    // Sends the text to analysis; false when refused at once (too short: nothing is sent).
    bool analyser();
    // Saves the draft (validation first); false with erreur() set when refused.
    bool enregistrer(std::optional<QString> compteId = std::nullopt);
    // Back to the text: a running analysis is dropped.
    void recommencer();

    // Reads a model answer against the task input: the proposed framework and the advice.
    static std::optional<std::pair<FrameworkVente, QStringList>> lireReponse(ai::Moteur& moteur, const QString& texte,
                                                                             const QJsonValue& payload);

Q_SIGNALS:
    void change();

private:
    void echouer(const QString& message);

    model::Store& store_;
    ai::Moteur& moteur_;
    ai::ClientIABase& client_;
    QString texte_;
    Etat etat_ = Etat::saisie;
    std::optional<FrameworkVente> apercu_;
    FrameworkVente brouillon_;
    QStringList conseils_;
    std::optional<QString> erreur_;
    std::optional<FrameworkVente> enregistre_;
    quint64 jeton_ = 0;
    QPointer<ai::DemandeIA> tache_;
};

} // namespace vd::team
