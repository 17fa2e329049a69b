#pragma once
// Adds (or removes) the Vendalo entry of the desktop assistant's configuration
// file, leaving everything else in the file as the user wrote it: a backup
// before the first change, an unreadable file only moved aside when the user
// agrees, atomic writes that keep the file's mode (0600 for a new file, since
// it holds a key).
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vd::assistant {

struct FichierConfigClaude {
    QString dossier;
    static inline const QString nom = QStringLiteral("claude_desktop_config.json");
    QString chemin() const { return dossier + QLatin1Char('/') + nom; }
    // macOS: ~/Library/Application Support/Claude; Linux: $XDG_CONFIG_HOME/Claude; Windows: %APPDATA%/Claude.
    static QString dossierSysteme();
};

class InstallationClaudeDesktop : public QObject {
    Q_OBJECT
public:
    struct Environnement {
        QString dossier;
        std::function<bool()> claudeInstalle;
        std::function<bool()> claudeOuvert;
        // Answers the path of npx, or none (asynchronous: the shell lookup may take seconds).
        std::function<void(std::function<void(std::optional<QString>)>)> trouverNpx;
        std::function<QDateTime()> maintenant;
        // Asks the running assistant to quit; opens it.
        std::function<void()> quitterClaude;
        std::function<void()> ouvrirClaude;
        // How long the restart waits for the assistant to close.
        int attenteFermetureMs = 5000;
    };
    // The environment of this computer (processes, npx lookup, system clock).
    static Environnement environnementSysteme();

    struct Etat {
        enum class Genre { inconnu, enCours, claudeAbsent, nodeAbsent, pret, fichierInvalide, installe, retire, erreur };
        Genre genre = Genre::inconnu;
        bool installe = false;          // pret: the entry is present
        bool claudeOuvert = false;      // installe, retire
        bool ancienMisDeCote = false;   // installe
        QString texte;                  // fichierInvalide: the detail; erreur: the message
        bool operator==(const Etat&) const = default;
    };

    explicit InstallationClaudeDesktop(Environnement env, QObject* parent = nullptr);

    const Etat& etat() const { return etat_; }
    bool relanceEnCours() const { return relance_; }
    // The French sentence for the state (empty for inconnu, enCours, pret).
    QString message() const;

    void verifier();
    // Writes the entry for the server address and the key (the file must be readable).
    void installer(const QString& adresseServeur, const QString& cle);
    // For an unreadable file: renames it beside, then writes a clean file with the entry.
    void mettreDeCoteEtInstaller(const QString& adresseServeur, const QString& cle);
    void retirer();
    void relancerClaude();

    // The text of the "vendalo" entry (two-space steps).
    static QByteArray entree(const QString& npx, const QString& adresseServeur, const QString& cle);
    // The PATH given to the entry: the npx folder first, then the usual folders.
    static QString cheminsExecutables(const QString& npx);
    // Where npx is looked for under the home folder and in the system folders, in order.
    static QStringList candidatsNpx(const QString& maison);

Q_SIGNALS:
    void etatChange();

private:
    void changer(Etat e);
    void ecrireAvecNpx(const QString& adresse, const QString& cle, bool mettreDeCote);
    // A free name beside the file: base + date (+ "-2", "-3"… when taken) + ".json".
    QString nomLibre(const QString& base) const;

    Environnement env_;
    Etat etat_;
    bool relance_ = false;
};

} // namespace vd::assistant
