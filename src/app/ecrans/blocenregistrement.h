#pragma once
// The recording block of the call sheet: what was recorded, playing it with
// the desktop's player, and exporting a clip between two moments to a file
// the user picks. When the call was not recorded because of a problem, the
// warning says why.
#include "model/appel.h"

#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vd::app {

class BlocEnregistrement : public QWidget {
    Q_OBJECT
public:
    // dossier: the recordings folder; avertissement: the call's recording warning, when known.
    BlocEnregistrement(const model::Appel& appel, const QString& dossier, const std::optional<QString>& avertissement,
                       QWidget* parent = nullptr);

    // Whether there is anything to show (a recording or a warning).
    bool utile() const { return utile_; }
    QString fichier() const { return fichier_; }

    // Injectable for tests: the save dialog (returns the path, empty when cancelled) and the opener.
    std::function<QString(const QString& proposition)> demanderFichier;
    std::function<bool(const QUrl&)> ouvrirFichier;

    void lire();
    // The button's action: checks the moments typed, asks for the file, writes the clip.
    void exporterDemande();
    QString message() const;   // the last result shown
    QLineEdit* champDebut() const { return debut_; }
    QLineEdit* champFin() const { return fin_; }

    // "2:30", "1:02:03", "90" or "90,5" as seconds; none when unreadable.
    static std::optional<double> lireMoment(const QString& texte);
    static QString ecrireMoment(double secondes);

private:
    void montrer(const QString& texte, bool erreur);

    QString fichier_;
    double duree_ = 0;
    bool utile_ = false;
    QLineEdit* debut_ = nullptr;
    QLineEdit* fin_ = nullptr;
    QLabel* message_ = nullptr;
};

} // namespace vd::app
