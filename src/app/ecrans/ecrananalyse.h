#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;

namespace vd::app {

// A call's analysis in progress: the quick end summary while the analysis
// runs, its steps, then the way to the call sheet (or the failure and a retry).
class EcranAnalyse : public EcranBase {
    Q_OBJECT
public:
    explicit EcranAnalyse(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Analyse de l'appel"); }
    void afficher(const Ecran& e) override;
    QString appelId() const { return appelId_; }

private:
    void rafraichir();
    QString appelId_;
    QLabel *contact_, *etat_, *erreur_;
    QVBoxLayout *etapes_, *recap_;
    QPushButton *voir_, *reessayer_;
    QTimer* sondage_;
    QString signature_;
};

} // namespace vd::app
