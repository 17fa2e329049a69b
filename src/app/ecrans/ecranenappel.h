#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

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
    void retirerBulle(qsizetype i);
    void majCoaching();
    void majNotes();
    void majHorloge();
    struct Bulle {
        QWidget* ligne = nullptr;
        QLabel* nom = nullptr;
        QLabel* texte = nullptr;
    };
    Bulle bulle(const QString& locuteur, const QString& texte, bool partiel, std::optional<qint64> interlocuteur);
    static void remplir(const Bulle& b, const QString& locuteur, const QString& texte, std::optional<qint64> interlocuteur);

    QLabel *horloge_, *etatTranscription_, *erreur_, *contact_;
    QProgressBar *niveauVous_, *niveauProspect_;
    void majSouffleur();

    QPushButton *pause_, *arreter_, *relancer_, *moment_, *souffleur_, *ancrer_;
    call::FenetreSouffleur* vueSouffleur_ = nullptr;
    QScrollArea* defil_;
    QScrollArea* defilNotes_;
    QVBoxLayout* transcript_;
    QVBoxLayout* partiels_;
    Bulle partielProspect_, partielVous_;   // reused: partials change several times a second
    QHBoxLayout* coaching_;
    QVBoxLayout* notes_;
    QLineEdit *note_, *prochaine_;
    QLabel* vide_;
    QTimer* minuterie_;
    // The finals on screen, in the order of their bubbles in transcript_.
    struct Affiche {
        QString id;
        Bulle bulle;
    };
    QList<Affiche> affiches_;
    QString appelAffiche_;
    bool reconstruire_ = true;
};

} // namespace vd::app
