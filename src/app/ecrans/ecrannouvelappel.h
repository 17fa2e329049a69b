#pragma once
#include "ecranbase.h"
#include "call/typessession.h"
#include "platform/resultat.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedWidget;

namespace vd::app {

// Three steps before a call: the prospect (picked from the CRM or created),
// the call type (suggested from the stage), objective, method and language;
// then "Passer à l'appel" opens the pre-flight sheet.
class EcranNouvelAppel : public EcranBase {
    Q_OBJECT
public:
    explicit EcranNouvelAppel(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Nouvel appel"); }
    void afficher(const Ecran& e) override;

    // The configuration for the current entries, or the message that stops it.
    Resultat<call::ConfigAppel, QString> preparer();
    void passerAlAppel();
    QString erreurAffichee() const;

private:
    void remplirContacts(const std::optional<QString>& choisi);
    void contactChoisi();
    QComboBox *contact_, *type_, *methode_, *langue_;
    QLineEdit *prenom_, *nom_, *societe_, *objectif_;
    QWidget* nouveau_;
    QLabel* erreur_;
};

} // namespace vd::app
