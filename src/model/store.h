#pragma once
// The single owner of Etat: mutations, debounced and immediate saves on a
// serial writer thread, loading with quarantine, backup export and import,
// retention.
#include "etat.h"
#include "journal.h"
#include "journalcloud.h"
#include "platform/horloge.h"
#include "platform/resultat.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>

namespace vd::model {

struct ErreurStore {
    enum class Genre { illisible };
    Genre genre = Genre::illisible;
    QString message;
    QString description() const { return message; }
    static ErreurStore illisible(QString m) { return {Genre::illisible, std::move(m)}; }
};

class EcrivainStore;

class Store : public QObject {
    Q_OBJECT
public:
    // fichier empty: in-memory store that never writes.
    explicit Store(const QString& fichier = {}, platform::Horloge& horloge = platform::Horloge::instance(),
                   QObject* parent = nullptr);
    // Read-only store on fichier: loads it (an unreadable file is left in place) and never writes.
    enum class Acces { ecriture, lecture };
    Store(const QString& fichier, Acces acces, platform::Horloge& horloge = platform::Horloge::instance(),
          QObject* parent = nullptr);
    ~Store() override;

    // The process's store: in memory on the demonstration data when
    // VD_TEST_MOTEUR=1, else on "etat.json" in the data folder.
    static std::unique_ptr<Store> principal(const std::function<std::optional<Etat>()>& etatDemo);
    static QString cheminPrincipal();

    const Etat& etat() const { return etat_; }
    std::optional<QString> erreurSauvegarde() const { return erreurSauvegarde_; }
    std::optional<QString> fichier() const { return fichier_.isEmpty() ? std::nullopt : std::optional(fichier_); }
    bool modifie() const { return modifie_; }
    bool sauvegardeEnAttente() const;
    // The working file exists but could not be read: it is kept and never written over.
    bool ecritureBloquee() const { return !blocage_.isEmpty(); }
    bool lectureSeule() const { return lectureSeule_; }
    // Path of the quarantined file after a load, if any.
    QString fichierQuarantaine() const { return quarantaine_; }
    // Path a journal written on another state file was moved to at load, if any.
    QString journalEcarte() const { return journalEcarte_; }
    // Bytes this store's writer has written (journal entries and whole files).
    qint64 octetsEcrits() const;
    // Folds the journal into the state file now (waits for it); the quit does it too.
    void compacter();

    void modifier(const std::function<void(Etat&)>& changement);
    // A mutation that removes records on purpose: each (collection, id) pair is
    // reported by supprime() once the change is published, so synchronisation
    // can carry deletions without ever inferring them from a diff.
    struct Suppression {
        QString collection;   // the key of Etat: "contacts", "interactions", "profilsClients"…
        QString id;
    };
    void modifier(const std::function<void(Etat&)>& changement, const QList<Suppression>& suppressions);
    // Time stamp of the store's clock, for majLe and creeLe.
    QString horodatageMaintenant() const;
    const platform::Horloge& horloge() const { return horloge_; }
    // A whole-state replacement: never a deletion for synchronisation, which
    // pulls everything again afterwards; demonstration records are never pushed.
    void remplacerEtat(Etat etat, bool demonstration = false);
    void sauvegarder(bool immediat);

    // Before a whole-state replacement (import, demonstration, reset): what is about to be
    // replaced is written as "etat-remplace-<date>.json" beside the working file, and only the
    // last three copies are kept. The copy's path (empty for an in-memory store or an empty
    // state), or why it could not be written (then nothing should be replaced).
    Resultat<QString, QString> garderEtatRemplace();
    // Path of the copy the last replacement kept, if any.
    QString copieRemplacee() const { return copieRemplacee_; }
    // " Les données remplacées sont gardées dans « … »." (empty for no copy), after a confirmation.
    static QString phraseCopie(const QString& chemin);
    static constexpr int copiesGardees = 3;

    QByteArray exporterSauvegarde() const;
    ResultatVide<ErreurStore> importerSauvegarde(const QByteArray& donnees);
    // Export to a file; returns the status line ("Sauvegarde enregistrée." or the failure).
    ResultatVide<QString> exporterVers(const QString& chemin) const;
    static QString nomSauvegardeProposee(const QDateTime& maintenant);

    int purgerAnciensAppels(std::optional<qint64> mois, bool sansSauvegarde = false);
    static QString phraseRetention(int retires);

    // Calls left "en_cours" by a process that ended during the call become
    // "erreur" with messageAppelInterrompu(), their duration taken from their
    // last final segment (or from debut to their last save). Only the process
    // holding the data folder's lock calls this, before any call of its own
    // starts. Saves at once; returns the number of calls closed.
    int fermerAppelsInterrompus();
    static QString messageAppelInterrompu()
    {
        return QStringLiteral("Appel interrompu : l'application s'est fermée pendant l'appel.");
    }

    std::optional<QString> ajouterQuestionEtape(const QString& frameworkId, const QString& etapeId, const QString& texte);

    // Called with the ids of calls that a mutation removed (recordings are deleted).
    void setRappelAppelsRetires(std::function<void(const QStringList&)> rappel) { rappelRetires_ = std::move(rappel); }

    // Immediate saves of the app share this: "Données importées." and the like.
    static QString messageImport() { return QStringLiteral("Données importées."); }

Q_SIGNALS:
    void etatChange();
    // An explicit deletion: collection, id, and the instant (ISO 8601).
    void supprime(const QString& collection, const QString& id, const QString& le);
    void erreurSauvegardeChangee();

private:
    void charger();
    bool chargerFichier(QFile& f);
    void chargerJournal();
    void planifier();
    void publier(const QList<Appel>& avant);
    void appliquerResultat(const QString& erreur);

    Etat etat_;
    QString fichier_;
    platform::Horloge& horloge_;
    std::optional<QString> erreurSauvegarde_;
    bool modifie_ = false;
    QString blocage_;   // reason writes are refused
    bool lectureSeule_ = false;
    QString quarantaine_;
    QString journalEcarte_;
    IdentiteFichier base_;
    qint64 tailleJournal_ = -1;
    qsizetype entreesJournal_ = 0;
    bool compacterAuDepart_ = false;
    bool reecrireAuDepart_ = false;
    bool complet_ = false;   // the next save writes the whole file (after a replacement)
    QString copieRemplacee_;
    platform::Minuterie* tache_ = nullptr;
    QThread fil_;
    EcrivainStore* ecrivain_ = nullptr;
    std::function<void(const QStringList&)> rappelRetires_;
};

} // namespace vd::model
