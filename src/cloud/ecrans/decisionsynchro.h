#pragma once
// The first connection on a computer that already holds data: what they are,
// and the two choices synchronisation offers (add them to the account, or
// replace them with the account's, a copy being kept).
#include "cloud/synchro.h"

#include <QDialog>

namespace vd::cloud {

class DialogueDonneesLocales : public QDialog {
    Q_OBJECT
public:
    DialogueDonneesLocales(Synchro& synchro, const synchro::ResumeLocal& resume, QWidget* parent = nullptr);

    // "12 contacts, 1 appel et le profil de votre entreprise"
    static QString resume(const synchro::ResumeLocal& r);
    QString texte() const { return texte_; }
    // The user's choice, as the buttons apply it.
    void choisir(Synchro::Choix choix);

private:
    Synchro& synchro_;
    QString texte_;
};

} // namespace vd::cloud
