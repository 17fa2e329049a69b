#pragma once
// Keeps the local store and the account on the backend in step: pushes what
// changed since last acknowledged, pulls what changed on the server, and
// remembers both in "cloud/synchro.json". One run at a time; retries and
// periodic runs on the injectable clock.
#include "cloud/echangesynchro.h"
#include "cloud/etatdisque.h"
#include "model/journalcloud.h"
#include "platform/horloge.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <qcoro/qcorotask.h>

namespace vd::model {
class Store;
}

namespace vd::cloud {

class ClientSupabase;
struct ErreurCloud;

class Synchro : public QObject {
    Q_OBJECT
public:
    enum class Phase { inactive, attenteDecision, premierChargement, enCours, aJour, horsLigne, erreur };
    Q_ENUM(Phase)
    // What happens to data already on this computer at the first connection.
    enum class Choix { envoyer, remplacer };
    struct Refus {
        QString collection, id, raison;
        bool operator==(const Refus&) const = default;
    };

    static constexpr int delaiChangementMs = 3000;
    static constexpr int delaiFinAppelMs = 500;
    static constexpr int delaiConnexionMs = 1000;
    static constexpr int periodeMs = 60'000;
    static constexpr int delaiErreurMs = 60'000;
    static constexpr int delaiRequeteMs = 45'000;
    // Wait before the next try after n consecutive network failures (n ≥ 1).
    static int delaiReseauMs(int n);

    // client may be null (cloud off); dossierCloud holds "synchro.json".
    Synchro(ClientSupabase* client, model::Store& store, const QString& dossierCloud,
            platform::Horloge& horloge = platform::Horloge::instance(), QObject* parent = nullptr);
    ~Synchro() override;

    void demarrer();
    void arreter();
    void programmer(bool forcer, int delaiMs);
    void synchroniser(bool forcer);
    // The user's answer in attenteDecision (or given in advance by the command line).
    void decider(Choix choix);
    void setChoixPrealable(std::optional<Choix> c) { choixPrealable_ = c; }
    // The team the account belongs to, from the account summary.
    void definirEquipe(const std::optional<QString>& organisationId, const std::optional<QString>& roleOrg);
    void setAppelEnDirect(const QString& id, bool enDirect);
    void finAppel(const QString& id);

    Phase phase() const { return phase_; }
    QString message() const { return message_; }   // the error of erreur/horsLigne
    QString progression() const { return progression_; }
    int objetsRecus() const { return objetsRecus_; }
    int objetsEnvoyes() const { return objetsEnvoyes_; }
    int lots() const { return lots_; }
    QDateTime derniereSynchro() const { return derniereSynchro_; }
    int enAttente() const { return enAttente_; }
    std::optional<synchro::ResumeLocal> donneesLocales() const { return donneesLocales_; }
    const QList<Refus>& refus() const { return refus_; }
    const EtatDisque& disque() const { return disque_; }
    bool actif() const { return actif_; }
    int essaisReseau() const { return essaisReseau_; }
    int limiteObjets() const { return limiteObjets_; }
    int limiteAppels() const { return limiteAppels_; }
    bool programme() const;
    QString cheminDisque() const { return fichier_.chemin; }

    static QString nomPhase(Phase p);
    // The sidebar line.
    QString texteEtat() const;
    static QString texteRaison(const QString& raison);

Q_SIGNALS:
    void change();
    // End of a run (success or failure), for the command line and tests.
    void termine(bool reussi);

private:
    QCoro::Task<void> executer(bool forcer);
    // One run; true on success.
    QCoro::Task<bool> uneRun(bool forcer, quint64 generation);
    bool preparer(const QString& compteId);
    void consommerJournal();
    bool ecrireDisque();
    void accuser(const synchro::Lot& lot, const QJsonArray& refuses, QSet<QString>& exclus);
    void echec(const ErreurCloud& e);
    void mettrePhase(Phase p, QString message = {});
    QString maintenant() const;

    QPointer<ClientSupabase> client_;
    model::Store& store_;
    platform::Horloge& horloge_;
    FichierDisque fichier_;
    model::JournalCloud journal_;
    EtatDisque disque_;
    bool disqueCharge_ = false;
    bool curseurNonEcrit_ = false;

    Phase phase_ = Phase::inactive;
    QString message_, progression_;
    int objetsRecus_ = 0, objetsEnvoyes_ = 0, lots_ = 0;
    QDateTime derniereSynchro_;
    int enAttente_ = 0;
    std::optional<synchro::ResumeLocal> donneesLocales_;
    std::optional<Choix> choixPrealable_;
    QList<Refus> refus_;

    bool demarre_ = false;
    bool actif_ = false;
    bool aRefaire_ = false, forcer_ = false;
    bool differeForce_ = false;
    bool appliquant_ = false;
    quint64 generation_ = 0;
    int essaisReseau_ = 0;
    int essaisCurseur_ = 0;
    int limiteObjets_ = 1000;
    int limiteAppels_ = 50;
    QSet<QString> appelsEnDirect_;
    QSet<QString> frameworksAReprendre_;
    platform::Minuterie* differe_ = nullptr;
    platform::Minuterie* minuteur_ = nullptr;
    QList<QMetaObject::Connection> abonnements_;
};

} // namespace vd::cloud
