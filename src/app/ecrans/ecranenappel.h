#pragma once
#include "ecranbase.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QHBoxLayout;
class QTimer;

namespace vd::call {
class FenetreSouffleur;
}

namespace vd::app {

// The live call: clock and levels on top, the transcript in the centre
// (partials in a lighter tone), coaching alerts as amber chips, notes,
// marked moments and the next step on the side, pause and stop. The prompter
// can be docked at the top of the side column instead of floating.
class EcranEnAppel : public EcranBase {
    Q_OBJECT
public:
    explicit EcranEnAppel(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override;
    void afficher(const Ecran&) override { toutMettreAJour(); }
    QString horlogeAffichee() const;
    static QString formaterHorloge(double secondes);

private:
    void toutMettreAJour();
    void majEtat();
    void majTranscript();
    void majCoaching();
    void majNotes();
    void majHorloge();
    QWidget* bulle(const QString& locuteur, const QString& texte, bool partiel, std::optional<qint64> interlocuteur);

    QLabel *horloge_, *etatTranscription_, *erreur_, *contact_;
    QProgressBar *niveauVous_, *niveauProspect_;
    void majSouffleur();

    QPushButton *pause_, *arreter_, *relancer_, *moment_, *souffleur_, *ancrer_;
    call::FenetreSouffleur* vueSouffleur_ = nullptr;
    QScrollArea* defil_;
    QVBoxLayout* transcript_;
    QVBoxLayout* partiels_;
    QHBoxLayout* coaching_;
    QVBoxLayout* notes_;
    QLineEdit *note_, *prochaine_;
    QLabel* vide_;
    QTimer* minuterie_;
    int finalsAffiches_ = 0;
    QString dernierId_;
};

} // namespace vd::app
