#pragma once
// The framework screen's three lower cards: a framework from the user's own
// method text, the questions that work and those forgotten across recent
// calls, and the team's question proposals a manager accepts or refuses.
#include "team/analysemethodeperso.h"
#include "team/framework.h"

#include <QFrame>
#include <QJsonArray>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace vd::ui {
struct Contexte;
}

namespace vd::team {

class PropositionsFramework;

// Texts of the pasted method, its analysis and the review of the proposal.
class BlocMethodePerso : public QFrame {
    Q_OBJECT
public:
    // demo: the demonstration's canned answers may reply (no language model there).
    BlocMethodePerso(ui::Contexte& ctx, ai::Moteur& moteur, ai::ClientIABase& client, bool demo, QWidget* parent = nullptr);
    ~BlocMethodePerso() override;
    AnalyseMethodePerso& analyse() { return *analyse_; }
    void setTexte(const QString& t);
    // A framework saved from the editor after "Ajuster": back to an empty text.
    void apresEnregistrement(const QString& id);

Q_SIGNALS:
    void ajuster(const vd::team::FrameworkVente& brouillon);
    void enregistre(const QString& id);

private:
    void remplir();

    ui::Contexte& ctx_;
    std::unique_ptr<ai::ClientIABase> clientDemo_;
    AnalyseMethodePerso* analyse_;
    QPlainTextEdit* texte_;
    QPushButton *analyser_, *arreter_;
    QLabel *etat_, *erreur_;
    QFrame* resultat_;
    QVBoxLayout* contenuResultat_;
};

// Questions that worked and questions forgotten, over the most recent analysed calls.
class BlocQuestions : public QWidget {
    Q_OBJECT
public:
    // The window of calls read: the most recent analysed ones, whatever the store holds.
    static constexpr int fenetreAppels = 300;
    static constexpr int lignesMax = 6;

    BlocQuestions(ui::Contexte& ctx, ai::Moteur& moteur, QWidget* parent = nullptr);
    // Reads the window again (on show, and once changes settle).
    void actualiser();
    // The calls the engine reads: id, start and the two question lists of the analysis.
    static QJsonArray fenetreRecente(const model::Etat& etat, int max = fenetreAppels);

private:
    void remplir(QVBoxLayout* l, const QJsonArray& lignes, bool marchent);
    void proposerAjout(QWidget* ancre, const QString& question, const QString& etapeId);

    ui::Contexte& ctx_;
    ai::Moteur& moteur_;
    QVBoxLayout *marchent_, *oubliees_;
};

// A manager's waiting proposals; with demo, two local ones from the demonstration's team.
class BlocPropositions : public QFrame {
    Q_OBJECT
public:
    BlocPropositions(ui::Contexte& ctx, bool demo, QWidget* parent = nullptr);
    void actualiser();

private:
    QCoro::Task<void> charger();
    QCoro::Task<void> decider(PropositionQuestion p, bool accepter);
    bool gestionnaire() const;
    void remplir();

    ui::Contexte& ctx_;
    bool demo_;
    PropositionsFramework* propositions_ = nullptr;
    QList<PropositionQuestion> demoEnAttente_;
    QVBoxLayout* liste_;
    QLabel* etat_;
    bool enCours_ = false;
    QString erreur_;
};

} // namespace vd::team
