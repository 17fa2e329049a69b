#pragma once
// Filtering and searching the contacts: the screen's filters, an index that
// keeps each contact's folded text so a keystroke costs one pass of
// substring tests, and the "due today or late" rule.
#include "model/contact.h"

#include <QObject>
#include <QSet>
#include <vector>

namespace vd::crm {

struct CriteresCRM {
    QString recherche;
    QString etape;    // empty: every stage
    QString profil;   // empty: every profile
    bool relances = false;
    bool actif() const { return !recherche.trimmed().isEmpty() || !etape.isEmpty() || !profil.isEmpty() || relances; }
};

// Due date of a contact's next action: the first unsent step of its running
// follow-up sequence, else its next step's day.
struct EcheanceCRM {
    QString echeance;
    bool avecHeure = false;
    bool operator==(const EcheanceCRM&) const = default;
};
std::optional<EcheanceCRM> echeanceContact(const model::Contact& c);
// Due today or late: an unsent step of a running sequence dated today or
// before, or a next step due today or before on a deal still open.
bool aRelancer(const model::Contact& c, const QString& aujourdhui);

// The text a search runs over: names, company, position, e-mail, telephone
// (also as bare digits), tags, notes and source, folded (case and accents).
QString texteRecherche(const model::Contact& c);
// Every word of the folded search text must occur.
bool correspondRecherche(const QString& texteContact, const QStringList& motsPlies);
QStringList motsRecherche(const QString& recherche);

class IndexContacts {
public:
    // Re-folds only the contacts that changed since the last call.
    void mettreAJour(const QList<model::Contact>& contacts);
    // Positions (in the list given to mettreAJour) of the contacts that pass.
    QList<int> filtrer(const CriteresCRM& c, const QString& aujourdhui) const;
    qsizetype taille() const { return qsizetype(entrees_.size()); }

private:
    struct Entree {
        QString texte;
        QString echeance;   // day of the first due thing ("yyyy-MM-dd"), or empty
        QString etape, profil;
    };
    static Entree entree(const model::Contact& c);
    QList<model::Contact> source_;
    std::vector<Entree> entrees_;
};

// The screen's filters and selection (main thread).
class FiltresCRM : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    const CriteresCRM& criteres() const { return c_; }
    QString recherche() const { return c_.recherche; }
    QString etape() const { return c_.etape; }
    QString profil() const { return c_.profil; }
    bool relances() const { return c_.relances; }
    const QSet<QString>& selection() const { return selection_; }

    void setRecherche(const QString& t);
    void setEtape(const QString& e);
    void setProfil(const QString& p);
    void setRelances(bool r);
    // "Effacer les filtres"
    void effacer();
    void basculerSelection(const QString& id, bool choisi);
    // "Désélectionner"
    void deselectionner();
    // Drops ids that no longer exist.
    void garderSelection(const QSet<QString>& existants);

Q_SIGNALS:
    void criteresChanges();
    void selectionChangee();

private:
    CriteresCRM c_;
    QSet<QString> selection_;
};

} // namespace vd::crm
