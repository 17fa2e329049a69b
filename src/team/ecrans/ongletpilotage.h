#pragma once
// The "Pilotage" tab of the Équipe page, for managers: the calls to look at,
// the period table per salesperson, the weekly chart, the loss reasons, the
// hot deals, and the sheet of the team's alert thresholds.
#include "team/pilotageequipe.h"
#include "ui/contexte.h"

#include <QDialog>
#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace vd::team {

class OngletPilotage : public QWidget {
    Q_OBJECT
public:
    explicit OngletPilotage(ui::Contexte& ctx, QWidget* parent = nullptr);
    // Whether the signed-in user steers a team here (the tab is shown).
    bool disponible() const;
    void rafraichir();

    static QString texteAucuneAlerte() { return QStringLiteral("Aucun pour l'instant. Les autres appels arrivent dans le résumé du jour, à 18 h."); }
    static QString texteExplication() { return QStringLiteral("Score bas, Framework peu suivi, objection sans réponse, affaire chaude, retard ou prospect absent."); }
    static QString texteSansAppel() { return QStringLiteral("Aucun appel sur la période."); }
    static QString texteColonneRelances() { return QStringLiteral("Relances envoyées, en retard aujourd'hui et taux de réponse."); }
    static QString texteSansMembre() { return QStringLiteral("Aucun membre dans l'équipe pour l'instant."); }
    static QString texteIndisponible()
    {
        return QStringLiteral("Le pilotage de l'équipe s'affiche ici pour les managers d'un compte Vendalo d'équipe : les appels à regarder, "
                              "un tableau par commercial, les raisons de perte et les affaires chaudes.");
    }
    // The members of the team (the account's team, else those whose calls are known).
    QList<MembreEquipe> membres() const;

Q_SIGNALS:
    void disponibiliteChange(bool disponible);

protected:
    void showEvent(QShowEvent* e) override;

private:
    void remplirAlertes();
    void remplirTableau();
    void ouvrirSeuils();
    QString nomMembre(const QString& compteId) const;

    ui::Contexte& ctx_;
    QLabel* indisponible_;
    QWidget* contenu_;
    QVBoxLayout* alertes_;
    QPushButton* toutVu_;
    QLabel* resumeSeuils_;
    QPushButton* seuils_;
    QComboBox* periode_;
    QTableWidget* tableau_;
    QLabel* tableauVide_;
    QWidget* graphique_;
    QVBoxLayout* graphiqueLayout_;
    QVBoxLayout* pertes_;
    QVBoxLayout* chaudes_;
    QVBoxLayout* voirAppels_;
    bool disponible_ = false;
};

// "Seuils d'alerte de l'équipe": three values, the defaults, and the save.
class FeuilleSeuils : public QDialog {
    Q_OBJECT
public:
    FeuilleSeuils(PilotageEquipe& pilotage, QWidget* parent = nullptr);
    void enregistrer();
    QString message() const;

Q_SIGNALS:
    // The save ended (true: saved).
    void termine(bool enregistre);

private:
    QCoro::Task<void> envoyer(SeuilsEquipe s);
    void majResume();
    PilotageEquipe& pilotage_;
    QDoubleSpinBox* retard_;
    QDoubleSpinBox* suivi_;
    QDoubleSpinBox* score_;
    QLabel* resume_;
    QLabel* message_;
    QPushButton* enregistrer_;
};

} // namespace vd::team
