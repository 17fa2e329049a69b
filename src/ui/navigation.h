#pragma once
// The screen shown in the main window and the way back.
#include <QList>
#include <QStringList>
#include <QObject>
#include <QString>
#include <optional>

namespace vd::ui {

struct Ecran {
    enum class Genre {
        tableau, appels, crm, enAppel, reglages, quillo, classement, agenda, progresser, framework, relances, admin,
        ficheAppel, ficheContact, nouvelAppel, analyse, profils, equipe, exemplaire, compte, aide
    };
    Genre genre = Genre::tableau;
    // Call id, contact id, tab…; for nouvelAppel the optional contact id.
    std::optional<QString> charge;
    bool operator==(const Ecran&) const = default;

    static Ecran de(Genre g) { return {g, std::nullopt}; }
    static Ecran ficheAppel(const QString& id) { return {Genre::ficheAppel, id}; }
    // The call sheet opened at a moment of the call ("ID@83000", milliseconds).
    static Ecran ficheAppel(const QString& id, qint64 tMs) { return {Genre::ficheAppel, id + QLatin1Char('@') + QString::number(tMs)}; }
    static Ecran ficheContact(const QString& id) { return {Genre::ficheContact, id}; }
    static Ecran nouvelAppel(std::optional<QString> contactId = std::nullopt) { return {Genre::nouvelAppel, std::move(contactId)}; }
    static Ecran analyse(const QString& id) { return {Genre::analyse, id}; }
    static Ecran profils(const QString& onglet) { return {Genre::profils, onglet}; }
    static Ecran equipe(const QString& onglet) { return {Genre::equipe, onglet}; }
    static Ecran exemplaire(const QString& id) { return {Genre::exemplaire, id}; }
    // The help panel on its tab ("aide" or "demandes").
    static Ecran aide(const QString& onglet = QStringLiteral("aide")) { return {Genre::aide, onglet}; }

    // Screens by the names of "vendalo --ecran NOM[:ID]" ("tableau", "crm", "fiche"…).
    static std::optional<Ecran> depuisNom(const QString& nom, std::optional<QString> charge = std::nullopt);
    static QStringList noms();
    // Whether the screen shows one record and so needs an id ("fiche", "contact"…).
    static bool montreUnEnregistrement(Genre g);
};

class Navigation : public QObject {
    Q_OBJECT
public:
    static constexpr int historiqueMax = 50;
    using QObject::QObject;

    const Ecran& ecran() const { return ecran_; }
    const QList<Ecran>& historique() const { return historique_; }
    bool peutRevenir() const { return !historique_.isEmpty(); }

    // No-op on the current screen; else remembers it (last 50) and switches.
    void aller(const Ecran& e);
    // "Retour": the last remembered screen, removed from the history.
    void retour();

Q_SIGNALS:
    void ecranChange();

private:
    Ecran ecran_;
    QList<Ecran> historique_;
};

} // namespace vd::ui
