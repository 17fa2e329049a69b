#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"
#include "ai/generateurbrief.h"
#include "call/typessession.h"
#include "platform/resultat.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vd::app {

// Three steps before a call: the prospect (picked from the CRM or created),
// the call type (suggested from the stage), objective, method and language;
// then a brief ("Générer le brief") or none ("Passer sans brief"), and
// "Passer à l'appel" opens the pre-flight sheet with the brief.
class EcranNouvelAppel : public EcranBase {
    Q_OBJECT
public:
    explicit EcranNouvelAppel(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Nouvel appel"); }
    void afficher(const Ecran& e) override;

    // The configuration for the current entries, or the message that stops it.
    Resultat<call::ConfigAppel, QString> preparer();
    // Opens the pre-flight sheet, with the brief shown when there is one.
    void passerAlAppel();
    void passerSansBrief();
    // Asks for the brief of the current entries (a new contact is created first).
    void genererBrief();
    QString erreurAffichee() const;
    // The brief shown, made for the current contact and call settings.
    const std::optional<model::Brief>& brief() const { return brief_; }

private:
    void remplirContacts(const std::optional<QString>& choisi);
    void contactChoisi();
    void ouvrirPreVol(bool avecBrief);
    void montrerErreur(const QString& message);
    // Contact, type, method and language the brief depends on (the objective is free text).
    ai::ParametresBrief parametresCourants() const;
    static bool memeAppel(const ai::ParametresBrief& a, const ai::ParametresBrief& b);
    // Drops a brief, or stops a generation, made for other settings than the current ones.
    void verifierBrief();
    void surBriefPret(const ai::ParametresBrief& p, const model::Brief& b);
    void surBriefEchec(const ai::ParametresBrief& p, const QString& message);
    void majBrief();
    void majBoutons();

    QComboBox *contact_, *type_, *methode_, *langue_;
    QLineEdit *prenom_, *nom_, *societe_, *objectif_;
    QWidget* nouveau_;
    QLabel* erreur_;
    QLabel* attente_;
    QFrame* carteBrief_;
    QVBoxLayout* corpsBrief_;
    QPushButton *generer_, *sans_, *go_;
    std::optional<model::Brief> brief_;
    std::optional<ai::ParametresBrief> pourBrief_;
    bool creationEnCours_ = false;
};

} // namespace vd::app
