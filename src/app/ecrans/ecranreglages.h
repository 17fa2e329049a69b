#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QFormLayout;
class QVBoxLayout;

namespace vd::app {

// Settings: identity, language and method, models, keys and transcription,
// relay, prompter, retention, backup, demonstration, erase all, open at
// login, updates. Every change goes through the store at once.
class EcranReglages : public EcranBase {
    Q_OBJECT
public:
    explicit EcranReglages(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Réglages"); }
    void afficher(const Ecran&) override;

    // Used by the buttons (after the file dialogs) and by tests.
    void exporter(const QString& chemin);
    void importer(const QString& chemin);
    QString messageSauvegarde() const;
    QString messageDemarrage() const;

private:
    QFormLayout* section(QVBoxLayout* page, const QString& titre, const QString& sousTitre = {});
    void relire();
    void majCles();
    void majMisesAJour();
    void enregistrerCle(const QString& compte, QLineEdit* champ, QLabel* etat);

    QLineEdit *prenom_, *nom_, *role_, *email_, *relais_;
    QComboBox *langue_, *methode_, *modeleLive_, *modeleAnalyse_, *moteur_, *taille_, *theme_, *detection_, *conservation_;
    QCheckBox *europe_, *uneLigne_, *masquerPartage_, *login_;
    QComboBox* opacite_;
    QLineEdit *cleAnthropic_, *cleSoniox_, *cleDeepgram_;
    QLabel *etatAnthropic_, *etatSoniox_, *etatDeepgram_, *secours_;
    QLabel *messageSauvegarde_, *erreurLogin_, *version_, *etatMaj_;
    QPushButton *redemarrer_, *plusTard_;
    bool chargement_ = false;
};

} // namespace vd::app
