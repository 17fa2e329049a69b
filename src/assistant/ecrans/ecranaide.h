#pragma once
// The help panel: "Aide" (the chat with the help assistant, with its
// screenshots and its ticket proposal) and "Demandes" (the tickets, a
// ticket's thread with its files and the reply box, the new-ticket form).
#include "assistant/aideapp.h"
#include "ui/ecrans/ecranbase.h"

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace vd::assistant {

class EcranAide : public ui::EcranBase {
    Q_OBJECT
public:
    EcranAide(ui::Contexte& ctx, QWidget* parent = nullptr);
    ~EcranAide() override;
    QString titre() const override { return QStringLiteral("Aide"); }
    void afficher(const ui::Ecran& e) override;
    AideApp& app() { return *app_; }

private:
    QWidget* construireAide();
    QWidget* construireDemandes();
    QWidget* construireFormulaire();
    QWidget* construireFil();
    void maj();
    void majChat();
    void majListe();
    void majFil();
    void majFormulaire();
    // The chips of a target's files: name, state, retry and remove.
    void remplirPieces(QVBoxLayout* l, const AideApp::Cible& c);
    QWidget* barrePieces(const AideApp::Cible& c, bool imagesSeulement);
    void ouvrirPieceServeur(const QString& id);

    std::unique_ptr<AideApp> propre_;   // when the application gives none
    AideApp* app_ = nullptr;
    QPushButton* ongletAide_ = nullptr;
    QPushButton* ongletDemandes_ = nullptr;
    QStackedWidget* pile_ = nullptr;
    // Aide
    QLabel* bandeau_ = nullptr;
    QVBoxLayout* fil_ = nullptr;
    QVBoxLayout* capturesChat_ = nullptr;
    QPlainTextEdit* question_ = nullptr;
    QPushButton* poser_ = nullptr;
    QLabel* restants_ = nullptr;
    QLabel* erreurChat_ = nullptr;
    // Demandes
    QVBoxLayout* liste_ = nullptr;
    QLabel* etatListe_ = nullptr;
    QLabel* confirmation_ = nullptr;
    QStackedWidget* droite_ = nullptr;
    QLineEdit* sujet_ = nullptr;
    QPlainTextEdit* message_ = nullptr;
    QCheckBox* avecConversation_ = nullptr;
    QVBoxLayout* piecesFormulaire_ = nullptr;
    QLabel* erreurFormulaire_ = nullptr;
    QPushButton* envoyer_ = nullptr;
    QLabel* sujetFil_ = nullptr;
    QVBoxLayout* messagesFil_ = nullptr;
    QVBoxLayout* piecesReponse_ = nullptr;
    QPlainTextEdit* reponse_ = nullptr;
    QLabel* erreurReponse_ = nullptr;
    QPushButton* repondre_ = nullptr;
    QString filAffiche_;
};

} // namespace vd::assistant
