#pragma once
// The team's coaching data on the main thread: comments on calls, exemplary
// calls, the unread comments of the user's calls, the weekly objectives, the
// ranking and the Monday reports. Everything is read and written through the
// backend's procedures; the caches belong to the signed-in account and are
// dropped when it changes (answers still in flight for the previous account
// are ignored).
#include "cloud/clientsupabase.h"
#include "team/typescoaching.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>

namespace vd::platform {
class Preferences;
}

namespace vd::team {

class EquipeDemo;

// Value or the French message to show. An empty message is a silent failure:
// nothing to tell the user (the item was already gone and was dropped, or the
// answer came for an account that is no longer signed in).
template<typename T>
using ResultatCoaching = Resultat<T, QString>;
using ResultatCoachingVide = ResultatVide<QString>;

namespace textes {
inline const QString generique = QStringLiteral("Une erreur est survenue. Réessayez dans un instant.");
inline const QString carteCommentaires = QStringLiteral("De votre équipe, sur cet appel.");
inline const QString aideManager = QStringLiteral("Commentez un moment précis depuis le transcript, ou l'appel entier.");
inline const QString commenterMoment = QStringLiteral("Commenter ce moment : le commercial verra votre commentaire à cet endroit");
inline const QString commenterMomentCourt = QStringLiteral("Commenter ce moment…");
inline const QString placeholderCommentaire = QStringLiteral("Ce qui a bien marché, ce qu'il faudrait dire à la place…");
inline const QString compteurCommentaire = QStringLiteral(" / 2 000");
inline const QString publie = QStringLiteral("Commentaire publié. Le commercial le verra sur son appel.");
inline const QString modifie = QStringLiteral("Commentaire modifié.");
inline const QString confirmerSuppression = QStringLiteral("Supprimer ce commentaire ?");
inline const QString supprime = QStringLiteral("Le commercial ne le verra plus sur son appel.");
inline const QString surAppelEntier = QStringLiteral("Sur l'appel entier");
inline const QString voirMoment = QStringLiteral("Voir ce moment dans le transcript");
inline const QString visibleCommercial = QStringLiteral("Visible par le commercial");
inline const QString commentaireVide = QStringLiteral("Écrivez votre commentaire avant de le publier.");
inline const QString commentaireTropLong = QStringLiteral("Un commentaire tient en 2 000 caractères au plus.");
inline const QString epingler = QStringLiteral("Épingler comme exemple");
inline const QString desepingler = QStringLiteral("Retirer l'épingle");
inline const QString placeholderNote = QStringLiteral("Ex. : à écouter pour la gestion de l'objection prix, à 12:40.");
inline const QString compteurNote = QStringLiteral(" / 1 000");
inline const QString explicationEpingle = QStringLiteral(
    "L'appel apparaît dans « Appels exemplaires » pour toute l'équipe, avec votre note. Les commerciaux lisent son analyse et son transcript.");
inline const QString noteEnregistree = QStringLiteral("Note enregistrée.");
inline const QString noteTropLongue = QStringLiteral("Une note tient en 1 000 caractères au plus.");
inline const QString epingleRetiree = QStringLiteral("Épingle retirée.");
inline const QString appelExemplaire = QStringLiteral("Appel exemplaire");
inline const QString aEcouter = QStringLiteral("À écouter par toute l'équipe.");
inline const QString epinglePar = QStringLiteral(", épinglé par ");
inline const QString objectifModifie = QStringLiteral("Objectif modifié.");
inline const QString objectifSupprime = QStringLiteral("Objectif supprimé.");
inline const QString confirmerSuppressionObjectif = QStringLiteral("Supprimer cet objectif ?");
inline const QString aucunObjectif = QStringLiteral("Aucun objectif cette semaine");
inline const QString aideObjectifsManager = QStringLiteral(
    "Fixez un objectif à toute l'équipe ou à un commercial : « Poser 5 questions par appel », « Parler au plus 45 % du temps », « 5 appels dans la semaine »…");
inline const QString aideObjectifsMembre = QStringLiteral("Votre manager n'a pas encore fixé d'objectif cette semaine.");
inline const QString rienAReprendre = QStringLiteral("Rien à reprendre : la semaine passée n'avait pas d'autre objectif actif.");
inline const QString regleObjectifs = QStringLiteral("Chaque objectif est mesuré tout seul sur les appels synchronisés de la semaine, du lundi au dimanche.");
inline const QString pasEncoreDAppel = QStringLiteral("Pas encore d'appel");
inline const QString classement = QStringLiteral("Classement d'équipe");
inline const QString chargementClassement = QStringLiteral("Chargement du classement…");
inline const QString pasDeClassement = QStringLiteral("Pas encore de classement");
inline const QString aideClassementVide = QStringLiteral("Le classement se remplit avec les appels analysés et synchronisés de l'équipe.");
inline QString objectifFixe(const QString& libelle) { return QStringLiteral("Objectif fixé : « %1 »").arg(libelle); }
inline QString objectifsRepris(int n)
{
    return n == 1 ? QStringLiteral("1 objectif repris") : QStringLiteral("%1 objectifs repris").arg(n);
}
} // namespace textes

class CoachingEquipe : public QObject {
    Q_OBJECT
public:
    static constexpr int maxCommentaire = 2000;
    static constexpr int maxNote = 1000;
    static constexpr int limiteRecents = 100;
    // Pages of recent comments read in one refresh; the next refresh goes on from the mark.
    static constexpr int maxPagesRecents = 20;
    static constexpr int limiteRapports = 12;
    static constexpr int delaiMs = 30'000;

    // client null: no backend (every operation answers the generic failure).
    CoachingEquipe(cloud::ClientSupabase* client, platform::Preferences& preferences, QObject* parent = nullptr);
    // The demonstration team (--demo): every procedure is answered in memory, as its manager.
    CoachingEquipe(EquipeDemo* demo, platform::Preferences& preferences, QObject* parent = nullptr);
    bool demonstration() const { return demo_ != nullptr; }

    // The signed-in account's id, "-" when nobody is.
    QString compteId() const { return compteId_; }
    static QString cleNonLus(const QString& compteId) { return QStringLiteral("coaching.commentaires.nonlus.") + compteId; }
    static QString cleDepuis(const QString& compteId) { return QStringLiteral("coaching.commentaires.depuis.") + compteId; }

    const std::optional<ObjectifsSemaine>& objectifs() const { return objectifs_; }
    const QMap<int, ClassementEquipe>& classements() const { return classements_; }
    const QList<AppelExemplaire>& exemplaires() const { return exemplaires_; }
    bool exemplairesCharges() const { return exemplairesCharges_; }
    const QHash<QString, QList<CommentaireAppel>>& commentaires() const { return commentaires_; }
    QList<CommentaireAppel> commentairesDe(const QString& appelId) const { return commentaires_.value(appelId); }
    const QList<RapportEquipe>& rapports() const { return rapports_; }
    bool rapportsCharges() const { return rapportsCharges_; }
    const QSet<QString>& commentairesNonLus() const { return nonLus_; }
    // The pin of one call as last read (lireExemplaire, epingler): none when not pinned.
    std::optional<AppelExemplaire> epingle(const QString& appelId) const { return epingles_.value(appelId); }
    bool epingleConnue(const QString& appelId) const { return epingles_.contains(appelId); }
    // The unread mark of the signed-in account (server time), none before the first refresh.
    std::optional<QString> marque() const;

    // Comments.
    QCoro::Task<ResultatCoachingVide> chargerCommentaires(QString appelId);
    QCoro::Task<ResultatCoaching<CommentaireAppel>> commenter(QString appelId, QString texte, std::optional<qint64> tMs);
    QCoro::Task<ResultatCoaching<CommentaireAppel>> modifierCommentaire(QString appelId, QString id, QString texte,
                                                                       std::optional<qint64> tMs);
    QCoro::Task<ResultatCoachingVide> supprimerCommentaire(QString appelId, QString id);
    // None when the text may be published, else why not.
    static std::optional<QString> verifierCommentaire(const QString& texte);
    static qsizetype longueur(const QString& texte) { return texte.toUcs4().size(); }
    // Where a comment is listed: at its moment ("1:23"), else "Sur l'appel entier".
    static QString groupe(const CommentaireAppel& c) { return c.tMs ? texteMoment(*c.tMs) : textes::surAppelEntier; }

    // Exemplary calls.
    QCoro::Task<ResultatCoachingVide> chargerExemplaires();
    QCoro::Task<ResultatCoachingVide> lireExemplaire(QString appelId);
    QCoro::Task<ResultatCoaching<AppelExemplaire>> epingler(QString appelId, QString note);
    QCoro::Task<ResultatCoachingVide> desepingler(QString appelId);

    // Unread comments on the user's calls (at start, on account change, when the team screens appear).
    QCoro::Task<ResultatCoachingVide> rafraichirNonLus();
    // The user read the call's comments.
    void marquerLu(const QString& appelId);

    // Objectives of the week of "semaine" (any day, "yyyy-MM-dd"; none: the current week).
    QCoro::Task<ResultatCoachingVide> chargerObjectifs(std::optional<QString> semaine = std::nullopt);
    QCoro::Task<ResultatCoaching<ObjectifEquipe>> fixerObjectif(ObjectifSaisi saisi);
    QCoro::Task<ResultatCoachingVide> supprimerObjectif(QString id);
    // Carries last week's active objectives over to the loaded week; gives how many.
    QCoro::Task<ResultatCoaching<int>> reprendreObjectifs();

    // Ranking over the last "jours" days, cached by that length.
    QCoro::Task<ResultatCoachingVide> chargerClassement(int jours);
    // Monday reports, newest first.
    QCoro::Task<ResultatCoachingVide> chargerRapports();

    // The message for a failed backend call.
    static QString message(const cloud::ErreurCloud& e);

Q_SIGNALS:
    void change();
    // The signed-in account changed: the caches were dropped.
    void compteChange();

private:
    struct Appel {
        bool perime = false;
        cloud::ResultatCloud<model::JSONValeur> r;
    };
    QCoro::Task<Appel> appeler(QString nom, QJsonObject parametres);
    void suivreSession();
    void reinitialiser();
    void enregistrerNonLus();
    void fixerMarque(const QString& m);
    void retirerCommentaire(const QString& appelId, const QString& id);

    QPointer<cloud::ClientSupabase> client_;
    EquipeDemo* demo_ = nullptr;
    platform::Preferences& preferences_;
    QString compteId_ = QStringLiteral("-");
    quint64 generation_ = 0;

    std::optional<ObjectifsSemaine> objectifs_;
    QMap<int, ClassementEquipe> classements_;
    QList<AppelExemplaire> exemplaires_;
    bool exemplairesCharges_ = false;
    QHash<QString, QList<CommentaireAppel>> commentaires_;
    QHash<QString, std::optional<AppelExemplaire>> epingles_;
    QList<RapportEquipe> rapports_;
    bool rapportsCharges_ = false;
    QSet<QString> nonLus_;
    std::optional<QString> depuisMemoire_;
};

} // namespace vd::team
