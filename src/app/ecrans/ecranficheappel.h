#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

#include <QHash>

class QVBoxLayout;

namespace vd::app {

// One call: the score big with its verdict, dimension bars, talk share,
// objections, coaching, questions, next steps, follow-up e-mail, CRM
// update, notes, marked moments and the transcript.
class EcranFicheAppel : public EcranBase {
    Q_OBJECT
public:
    explicit EcranFicheAppel(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return titre_; }
    std::optional<Action> actionPrincipale() const override;
    void afficher(const Ecran& e) override;
    QString appelId() const { return appelId_; }

    static QString avertissementCourt()
    {
        return QStringLiteral("Cet appel est très court (moins de 4 échanges). Le score peut être peu fiable : appel test ou conversation trop brève.");
    }

private:
    void reconstruire();
    QWidget* enTete(const class QJsonObject& analyse);
    void montrerMoment(const QHash<qint64, QWidget*>& moments, qint64 tMs);
    QVBoxLayout* corps_;
    QString appelId_;
    bool lireCoaching_ = true;   // the team block asks the server when the sheet is opened, not on each rebuild
    std::optional<qint64> momentDemande_;   // scroll there after the next build
    int rendu_ = 0;
    QString titre_ = QStringLiteral("Appel");
};

// Two-colour bar of the talk share.
class BarrePartage : public QWidget {
    Q_OBJECT
public:
    BarrePartage(double vous, double prospect, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {240, 10}; }

protected:
    void paintEvent(class QPaintEvent*) override;

private:
    double vous_, prospect_;
};

} // namespace vd::app
