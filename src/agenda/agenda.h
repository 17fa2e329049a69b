#pragma once
// The user's coming meetings, read from the backend and matched to contacts.
// A 60 s loop reads again when the last read is older than the interval
// (5 minutes with a known prospect's meeting within 30 minutes, else 15).
#include "agenda/clientagenda.h"
#include "agenda/rapprochement.h"
#include "platform/horloge.h"
#include "platform/preferences.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>

namespace vd::agenda {

class Agenda : public QObject {
    Q_OBJECT
public:
    static constexpr int heuresLues = 168;
    static constexpr int premiereLectureMs = 5'000;
    static constexpr int boucleMs = 60'000;
    static constexpr int intervalleProcheS = 300;
    static constexpr int intervalleNormalS = 900;
    static constexpr int fenetreProcheS = 1800;
    static constexpr int ecartMinimalS = 30;
    static constexpr int delaiConnexionMs = 10 * 60'000;
    static inline const QString cleInvitation = QStringLiteral("vd.agenda.invitationMasquee");

    struct Collaborateurs {
        ClientAgenda* client = nullptr;
        std::function<ContexteAgenda()> lireContexte;
        std::function<QList<model::Contact>()> lireContacts;
        platform::Horloge* horloge = nullptr;
        platform::Preferences* preferences = nullptr;
        // A message for the toasts (text, is-error), besides `message`.
        std::function<void(const QString&, bool)> annoncer;
    };
    struct Message {
        QString texte;
        bool erreur = false;
        bool operator==(const Message&) const = default;
    };
    struct Jour {
        QDate jour;
        QString libelle;
        QList<EvenementAgenda> evenements;
        bool operator==(const Jour&) const = default;
    };

    explicit Agenda(Collaborateurs c, QObject* parent = nullptr);
    ~Agenda() override;

    // Status read, first read 5 s later, then the 60 s loop. Nothing without cloud.
    void demarrer();
    void arreter();
    void actualiser(bool force);
    void connecter(FournisseurAgenda f);
    void annulerConnexion();
    void deconnecter(FournisseurAgenda f);
    // A "vendalo2://agenda" link handed over by the single instance.
    void recevoirRetour(const QUrl& lien);
    void masquerInvitation(int jours);
    // Matches the meetings again (after the contacts changed).
    void recalculer();

    // Interval before the next read, for these meetings at this instant.
    static int intervalleS(const QList<EvenementAgenda>& evenements, const QDateTime& maintenant);
    // Grouped by local day, in time order; labels "Aujourd'hui", "Demain", else "lundi 9 mars".
    static QList<Jour> grouperParJour(const QList<EvenementAgenda>& evenements, const QDateTime& maintenant);
    QList<Jour> jours() const;
    const EvenementAgenda* evenement(const QString& id) const;
    // The next timed meeting with a known contact, not started yet.
    std::optional<EvenementAgenda> prochain() const;
    // The next timed meeting, whoever it is with, not started yet.
    std::optional<EvenementAgenda> prochainEvenement() const;
    // "Prochain : Point à 10:30", "Prochain : demain à 09:05, Point", "Prochain : jeudi 5 mars à 14:00, Point".
    static QString libelleProchain(const EvenementAgenda& e, const QDateTime& maintenant);

    // Published state.
    std::optional<bool> serveurPret() const { return serveurPret_; }
    const QList<FournisseurAgenda>& fournisseursServeur() const { return fournisseursServeur_; }
    bool fonctionAbsente() const { return fonctionAbsente_; }
    const QHash<FournisseurAgenda, ConnexionAgenda>& connexions() const { return connexions_; }
    const QSet<FournisseurAgenda>& revoques() const { return revoques_; }
    const QHash<FournisseurAgenda, QString>& erreurs() const { return erreurs_; }
    bool aReconnecter() const { return !revoques_.isEmpty(); }
    const QHash<FournisseurAgenda, QList<RendezVousAgenda>>& rendezVousParFournisseur() const { return rendezVous_; }
    const QList<EvenementAgenda>& evenements() const { return evenements_; }
    std::optional<QDateTime> derniereLecture() const { return derniereLecture_; }
    std::optional<FournisseurAgenda> connexionEnCours() const { return connexionEnCours_; }
    std::optional<Message> message() const { return message_; }
    ContexteAgenda contexte() const { return contexte_; }
    std::optional<QDateTime> invitationMasqueeJusquA() const;
    bool invitationMasquee() const;
    bool lectureEnCours() const { return lectureEnCours_; }
    std::optional<QDateTime> derniereActualisation() const { return derniereActualisation_; }
    int nombreLectures() const { return lectures_; }

Q_SIGNALS:
    void change();

private:
    QCoro::Task<void> lireEtat();
    QCoro::Task<void> lire();
    QCoro::Task<void> executerConnexion(FournisseurAgenda f, quint64 generation);
    QCoro::Task<void> executerDeconnexion(FournisseurAgenda f);
    void tic();
    void deriver();
    void montrer(const QString& texte, bool erreur);
    void signalerRevoque(FournisseurAgenda f);
    QDateTime maintenant() const { return c_.horloge->maintenant(); }

    Collaborateurs c_;
    platform::Minuterie* boucle_ = nullptr;
    platform::Minuterie* limiteConnexion_ = nullptr;
    std::optional<bool> serveurPret_;
    QList<FournisseurAgenda> fournisseursServeur_;
    bool fonctionAbsente_ = false;
    QHash<FournisseurAgenda, ConnexionAgenda> connexions_;
    QSet<FournisseurAgenda> revoques_;
    QHash<FournisseurAgenda, QString> erreurs_;
    QHash<FournisseurAgenda, QList<RendezVousAgenda>> rendezVous_;
    QList<EvenementAgenda> evenements_;
    std::optional<QDateTime> derniereLecture_, derniereActualisation_;
    // When the last read was sent: the cadence counts from there, however long the answer took.
    std::optional<QDateTime> envoiLecture_;
    std::optional<FournisseurAgenda> connexionEnCours_;
    quint64 generationConnexion_ = 0;
    bool connexionExpiree_ = false;
    std::optional<Message> message_;
    ContexteAgenda contexte_;
    bool lectureEnCours_ = false;
    bool demarre_ = false;
    int lectures_ = 0;
};

} // namespace vd::agenda
