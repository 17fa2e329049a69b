#pragma once
// The team's part of a call sheet: the exemplary-call banner (with the pin
// actions for managers) and the comments card with its composer.
#include <qcoro/qcorotask.h>
#include "team/typescoaching.h"
#include "ui/contexte.h"

#include <QDialog>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace vd::team {

class CoachingEquipe;

// Text box with a character counter (" / 2 000") that stops at its limit.
class ZoneTexteLimitee : public QWidget {
    Q_OBJECT
public:
    ZoneTexteLimitee(int limite, const QString& suffixeCompteur, const QString& placeholder, QWidget* parent = nullptr);
    QString texte() const;
    void setTexte(const QString& t);
    QPlainTextEdit* editeur() const { return edit_; }
    QLabel* compteur() const { return compteur_; }
Q_SIGNALS:
    void change();

private:
    void limiter();
    QPlainTextEdit* edit_;
    QLabel* compteur_;
    int limite_;
    QString suffixe_;
};

// The pin's note: counter, placeholder and what pinning does.
class FeuilleNote : public QDialog {
    Q_OBJECT
public:
    FeuilleNote(const QString& note, bool dejaEpingle, QWidget* parent = nullptr);
    QString note() const { return zone_->texte(); }

private:
    ZoneTexteLimitee* zone_;
};

class BlocCoaching : public QWidget {
    Q_OBJECT
public:
    // None when the call has no team around it (local mode, no team account).
    // lire: asks the server (the sheet was opened); else the cached comments are shown (the sheet was rebuilt).
    static BlocCoaching* pourAppel(ui::Contexte& ctx, const QString& appelId, QWidget* parent = nullptr, bool lire = true);
    BlocCoaching(ui::Contexte& ctx, CoachingEquipe* coaching, const QString& appelId, bool gestionnaire, QWidget* parent = nullptr,
                 bool lire = true);
    // The draft survives the sheet being rebuilt (a synchronisation while typing).
    ~BlocCoaching() override;

    // Managers comment and pin; everybody reads.
    bool peutCommenter() const { return gestionnaire_; }
    // Opens the composer on a moment of the transcript.
    void commenterMoment(qint64 tMs, const QString& segmentId = {});
    // The sheet scrolls its transcript to that moment.
    std::function<void(qint64 tMs)> voirMoment;

private:
    QCoro::Task<void> charger();
    QCoro::Task<void> publier();
    QCoro::Task<void> supprimer(CommentaireAppel c);
    QCoro::Task<void> basculerEpingle();
    void actualiser();
    void remplirBandeau();
    void remplirCommentaires();
    QWidget* ligneCommentaire(const CommentaireAppel& c);
    void annulerComposeur();
    void majComposeur();
    void montrerErreur(const QString& message);
    void toast(const QString& message, bool erreur = false);

    ui::Contexte& ctx_;
    CoachingEquipe* coaching_;
    QString appelId_;
    bool gestionnaire_;
    bool occupe_ = false;
    // Composer state.
    std::optional<qint64> tMs_;
    QString segmentId_;
    std::optional<CommentaireAppel> edition_;

    QWidget* bandeau_;
    QVBoxLayout* bandeauLayout_;
    QVBoxLayout* liste_;
    QLabel* erreur_;
    QWidget* composeur_ = nullptr;
    QLabel* cibleComposeur_ = nullptr;
    ZoneTexteLimitee* zone_ = nullptr;
    QPushButton* publier_ = nullptr;
    QPushButton* annuler_ = nullptr;
};

} // namespace vd::team
