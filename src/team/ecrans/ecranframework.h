#pragma once
// The sales framework screen: the stored frameworks (default, active,
// duplicate, delete), the four templates to start from, a framework from the
// user's own method text, the questions that work or were forgotten across
// recent calls, the team's proposals for a manager, and the editor.
// Payload: none (the list), a framework id (its editor; "ID:ETAPE" on a step),
// "methode" (the method card, with the demonstration's sample under --demo),
// "questions" (the questions of recent calls) or "propositions" (the team's proposals).
#include "team/framework.h"
#include "ui/ecrans/ecranbase.h"

#include <QPointer>

class QStackedWidget;

namespace vd::ai {
class ClientIABase;
class Moteur;
} // namespace vd::ai
namespace vd::platform {
class Minuterie;
}

namespace vd::team {

class BlocMethodePerso;
class BlocPropositions;
class BlocQuestions;
class EditeurFramework;

class EcranFramework : public ui::EcranBase {
    Q_OBJECT
public:
    // demo: the language model is out of reach; canned answers reply.
    EcranFramework(ui::Contexte& ctx, ai::Moteur& moteur, ai::ClientIABase& client, bool demo, QWidget* parent = nullptr);
    QString titre() const override;
    std::optional<Action> actionPrincipale() const override;
    void afficher(const ui::Ecran& e) override;

    EditeurFramework* editeur() const { return editeur_; }
    BlocMethodePerso* methode() const { return methode_; }
    // Opens the editor on a framework not stored yet, built from a template.
    void partirDuModele(const QString& modeleId);
    void modifier(const QString& id, const std::optional<QString>& etapeId = std::nullopt);

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ouvrirEditeur(const FrameworkVente& f, const std::optional<QString>& etapeId = std::nullopt);
    void revenirALaListe();
    void remplirListe();
    void dupliquer(const FrameworkVente& f);
    void supprimer(const FrameworkVente& f);
    QWidget* construireModeles(QWidget* parent);
    QList<GrilleQualification> grilles();
    void defiler();

    ai::Moteur& moteur_;
    bool demo_;
    QStackedWidget* pages_;
    QVBoxLayout* liste_;
    EditeurFramework* editeur_;
    BlocMethodePerso* methode_;
    BlocQuestions* questions_;
    BlocPropositions* propositions_;
    QWidget* titreQuestions_;
    QPointer<QWidget> defilerVers_;
    platform::Minuterie* relire_ = nullptr;
    bool listePerimee_ = true;
    std::optional<QList<GrilleQualification>> grilles_;
};

} // namespace vd::team
