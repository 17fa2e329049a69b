#pragma once
// What the floating prompter shows and does, without widgets: the listening
// indicator and its message, the objection banner, the answer being read with
// the history around it, ratings, the in-call tools and the end confirmation.
#include "ai/souffleur.h"
#include "platform/horloge.h"
#include "platform/formulation.h"

#include <QObject>
#include <QSet>
#include <functional>

namespace vd::ai {

enum class ModeEcoute { repos, connexion, ecoute, alerte, pause, coupee, fini };

// What the panel can ask of the running call.
struct ActionsAppel {
    std::function<void()> marquerMoment;
    std::function<void(const QString&)> ajouterNote;
    std::function<void()> pause, reprendre, terminer, relancerTranscription;
    std::function<void()> ouvrirFiche, ouvrirPageAppel;
};

namespace libelles {
inline const QString assistance = platform::formuler(QStringLiteral("Assistance : quoi répondre à la dernière phrase du prospect (⌘1, ⌘⏎ ou touche 1)"));
inline const QString questions = platform::formuler(QStringLiteral("Questions de suivi : trois questions pour creuser (⌘2, ou touche 2)"));
inline const QString recap = platform::formuler(QStringLiteral("Récap : le point de l'appel en quelques lignes (⌘3, ou touche 3)"));
inline const QString champQuestion = QStringLiteral("Demander à Quillo (Entrée). Avec « récap », un mini récap.");
inline const QString objectionReperee = platform::formuler(QStringLiteral("Objection repérée. Cliquez pour une Assistance (⌘1)."));
inline const QString ignorerObjection = QStringLiteral("Ignorer l'objection");
inline const QString itemManquant = QStringLiteral("Item de qualification encore à obtenir : ");
inline const QString precedente = QStringLiteral("Réponse précédente");
inline const QString suivante = QStringLiteral("Réponse suivante");
inline const QString utile = QStringLiteral("Vous avez trouvé cette réponse utile");
inline const QString peuUtile = QStringLiteral("Vous avez trouvé cette réponse peu utile");
inline const QString outils = QStringLiteral("Outils : prospect, objectif et brief, page de l'appel");
inline const QString fiche = QStringLiteral("La fiche du prospect");
inline const QString objectifBrief = QStringLiteral("L'objectif et le brief");
inline const QString sansObjectif = QStringLiteral("Pas d'objectif noté pour cet appel.");
inline const QString sansBrief = QStringLiteral("Pas de brief pour cet appel. Il se prépare à l'étape Nouvel appel.");
inline const QString marquer = platform::formuler(QStringLiteral("Marquer un moment (⌥⌘M)"));
inline const QString champNote = QStringLiteral("Une note, Entrée pour l'ajouter");
inline const QString noteRangee = QStringLiteral("Rangée dans les notes de l'appel, avec l'heure.");
inline const QString masquer = platform::formuler(QStringLiteral("Masquer Quillo (⌥⌘S)"));
inline const QString mettreEnPause = QStringLiteral("Mettre l'appel en pause");
inline const QString reprendre = QStringLiteral("Reprendre l'appel");
inline const QString terminer = QStringLiteral("Terminer l'appel");
inline const QString confirmerFin = QStringLiteral("Cliquez pour terminer l'appel et lancer l'analyse. Échap pour annuler.");
inline const QString relancerTranscription = QStringLiteral("Relancer la transcription");
inline const QString coachingNote = platform::formuler(QStringLiteral("Coaching en direct, calculé sur ce Mac, sans IA."));
inline const QString fermerSynthese = QStringLiteral("Fermer la synthèse. L'analyse continue dans Vendalo.");
inline const QString glisser = QStringLiteral("Glissez la pilule pour déplacer Quillo");
inline const QString pasDeReponse = QStringLiteral("Quillo n'a pas pu répondre.");
inline const QString momentMarque = QStringLiteral("Moment marqué.");
} // namespace libelles

class PanneauSouffleur : public QObject {
    Q_OBJECT
public:
    static constexpr int secondesConfirmationFin = 5;

    PanneauSouffleur(Souffleur& souffleur, platform::Horloge& horloge = platform::Horloge::instance(),
                     QObject* parent = nullptr);

    Souffleur& souffleur() { return souffleur_; }
    void setActions(ActionsAppel actions) { actions_ = std::move(actions); }
    void setReglages(const model::ReglagesSouffleur& r);
    const model::ReglagesSouffleur& reglages() const { return reglages_; }

    // The session's state ("inactif", "connexion", "enCours", "pause", "termine")
    // and transcription code ("connexion", "ouvert", "reconnexion", "coupee", …).
    void setEtatAppel(const QString& etat, const QString& codeTranscription);
    void setCoaching(const QStringList& alertes);
    void setObjectifEtBrief(const QString& objectif, bool avecBrief);
    // The qualification grid of the call: (item id, name) in order.
    void setGrille(const QList<QPair<QString, QString>>& items);
    void setPartageEcran(bool partage);

    ModeEcoute mode() const { return mode_; }
    QString messageEcoute() const;
    QStringList coaching() const { return coaching_; }
    bool enPause() const { return mode_ == ModeEcoute::pause; }

    bool visible() const { return visible_ && !masqueParPartage(); }
    bool masqueParPartage() const { return partage_ && reglages_.masquerPendantPartage; }
    void masquer() { setVisible(false); }
    void setVisible(bool v);
    bool deplie() const { return deplie_; }
    void setDeplie(bool d);

    // Objection banner: the last detection unless the user dismissed it.
    std::optional<model::Detection> objectionAffichee() const;
    void ignorerObjection();
    Resultat<QString, QString> cliquerObjection();
    QString itemAObtenir() const;   // "Item de qualification encore à obtenir : …" or empty
    // The grid with the items heard so far ticked.
    struct ItemGrille {
        QString id, nom;
        bool entendu = false;
        bool operator==(const ItemGrille&) const = default;
    };
    QList<ItemGrille> grilleCochee() const;

    // The step of the call's framework to show: the one the user chose, else the
    // first with a question still to ask, else the last; none without a framework.
    struct EtapeAffichee {
        QString id, nom, objectif, transition;
        QList<QPair<QString, bool>> questions;   // text, asked
        int rang = 0, total = 0;                 // 1-based position among the call's steps
        bool operator==(const EtapeAffichee&) const = default;
    };
    std::optional<EtapeAffichee> etapeCourante() const;
    void setEtapeChoisie(const std::optional<QString>& id);
    // "Étape 2 / 4 : Démo", empty without a step.
    QString titreEtape() const;

    // Help requests from the buttons, keys and the field.
    Resultat<QString, QString> aide(const QString& tache);
    Resultat<QString, QString> poser(const QString& question);

    // The answer being read and the history around it.
    std::optional<QString> reponseChoisie() const { return choisie_; }
    const AideLive* reponseAffichee() const;
    QString texteReponse() const;   // plain text of the answer shown (streamed or final)
    QString compteur() const;       // "2 / 3", empty when there is at most one answer
    bool peutPrecedente() const;
    bool peutSuivante() const;
    void precedente();
    void suivante();
    void noter(bool utile);

    // In-call tools.
    void marquerMoment();
    bool ajouterNote(const QString& texte);
    void basculerPause();
    void relancerTranscription();
    void demanderFin();
    void confirmerFin();
    void annulerFin();
    bool finActive() const { return finActive_; }
    int secondesFin() const { return secondesFin_; }
    QString texteObjectif() const;
    QString texteBrief() const;

    std::optional<QString> accuse() const { return accuse_; }
    std::optional<QString> messageBref() const { return messageBref_; }
    std::optional<QString> erreurLocale() const { return erreurLocale_; }
    QSet<QString> aidesVues() const { return vues_; }

    // Readable text of a help answer, whatever its shape.
    static QString texteDe(const QJsonValue& v);

Q_SIGNALS:
    void change();

private:
    void suivreNouvellesReponses();
    void montrerBref(const QString& m);
    void choisir(const QString& id);

    Souffleur& souffleur_;
    platform::Horloge& horloge_;
    ActionsAppel actions_;
    model::ReglagesSouffleur reglages_;
    ModeEcoute mode_ = ModeEcoute::repos;
    QString code_;
    QStringList coaching_;
    QString objectif_;
    bool avecBrief_ = false;
    QList<QPair<QString, QString>> grille_;
    std::optional<QString> etapeChoisie_;
    bool partage_ = false;
    bool visible_ = true;
    bool deplie_ = true;
    std::optional<QString> choisie_;
    QString enCoursSuivi_;   // the request just fired, shown while it streams
    std::optional<model::Detection> ignoree_;
    bool finActive_ = false;
    int secondesFin_ = 0;
    std::optional<QString> accuse_, messageBref_, erreurLocale_;
    QSet<QString> vues_;
    platform::Minuterie* compteARebours_ = nullptr;
    platform::Minuterie* effacement_ = nullptr;
};

} // namespace vd::ai
