#pragma once
// The pre-flight sheet: missing permissions and what to do about each, a
// few notices, the source of the call and the start button.
#include "app/ui.h"
#include "app/prevol.h"
#include "app/sondeaudio.h"
#include "call/typessession.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace vd::app {

class ChoixEnregistrement;

class FeuillePreVol : public QDialog {
    Q_OBJECT
public:
    FeuillePreVol(Contexte& ctx, call::ConfigAppel config, SondeAudio& sonde, QWidget* parent = nullptr);

    const AutorisationsPreVol& autorisations() const { return autorisations_; }
    DemarrageAppel& demarrage() { return demarrage_; }
    QString source() const;
    void choisirSource(const QString& source);
    void demarrer();
    // The configuration the start button hands to the session: the source and the recording choice.
    call::ConfigAppel configChoisie() const;
    ChoixEnregistrement* choixEnregistrement() const { return enregistrement_; }
    // Texts shown, for tests.
    QStringList textes() const;

Q_SIGNALS:
    void appelDemarre();

private:
    void sonder();
    void reconstruire();
    void agir(const AutorisationsPreVol::Action& a);
    bool cleTranscriptionDisponible() const;

    Contexte& ctx_;
    call::ConfigAppel config_;
    SondeAudio& sonde_;
    EtatAudio audio_;
    AutorisationsPreVol autorisations_;
    DemarrageAppel demarrage_;
    QRadioButton *reel_, *demo_;
    ChoixEnregistrement* enregistrement_;
    QVBoxLayout* encart_;
    QPushButton* demarrer_;
    QLabel* rappel_ = nullptr;
    bool attenteIssue_ = false;
};

} // namespace vd::app
