#pragma once
// Follow-up sequences: the proposal kept on the call, the sequence kept on the
// contact, and every user operation on them, with its checks and messages. The
// calendar and state rules are the engine's; this side reads the store, calls
// the rule by name and writes back what it returns through the store.
#include "model/store.h"
#include "platform/resultat.h"

#include <QJsonArray>
#include <QJsonObject>
#include <functional>

namespace vd::ai { class Moteur; }
namespace vd::cloud { class OuvreurUrl; }

namespace vd::crm {

struct ErreurRelance {
    QString message;
    QString description() const { return message; }
};

// Where a step lives: the contact's sequence, or the proposal of a call.
struct CibleRelance {
    QString contactId;
    QString appelId;   // set: the call's proposal
};

class Relances {
public:
    // copier puts a text on the clipboard; ouvreur opens mailto and https links.
    Relances(model::Store& store, ai::Moteur& moteur, cloud::OuvreurUrl* ouvreur = nullptr,
             std::function<void(const QString&)> copier = {});

    // The user's settings normalised by the engine.
    QJsonObject reglages() const;

    // Proposal and activation. Activation returns the confirmation shown.
    ResultatVide<QString> preparer(const QString& appelId);
    Resultat<QString, QString> activer(const QString& appelId, const std::optional<QString>& compteConnecte = {});
    ResultatVide<QString> arreter(const QString& contactId);
    static QString confirmationArret(const QString& nom);
    static QString messageArrete() { return QStringLiteral("Relance arrêtée."); }
    static QString messageDejaEnCours(const QString& nom);

    // Steps. champs: message, objet, date, canal.
    ResultatVide<QString> modifierEtape(const CibleRelance& cible, const QString& etapeId, const QJsonObject& champs);
    ResultatVide<QString> retirerEtape(const CibleRelance& cible, const QString& etapeId);
    ResultatVide<QString> changerCanal(const CibleRelance& cible, const QString& canal);

    // Sending: par is "email", "whatsapp", "copier" or "note". The confirmation shown.
    Resultat<QString, QString> envoyer(const QString& contactId, const QString& etapeId, const QString& par);
    ResultatVide<QString> annulerEnvoi(const QString& contactId, const QString& etapeId);

    // Replies: type "interesse", "pas_maintenant" (reprise "yyyy-MM-dd"), "pas_interesse" (raison).
    Resultat<QString, QString> repondre(const QString& contactId, const QString& type, const QString& reprise = {},
                                        const QString& raison = {});

    // After an analysed call: a newer call stops the contact's running
    // sequence and wakes a sleeping contact; with automatic activation on, the
    // call's proposal is activated. The confirmation, if it was activated.
    std::optional<QString> apresAnalyse(const QString& appelId, const std::optional<QString>& compteConnecte = {});

    // The contact's sequence, or the proposal of its latest analysed call.
    struct Entree {
        QString contactId, appelId;
        QJsonObject sequence;
    };
    QList<Entree> entrees() const;
    // Steps due on jour or late, late first (engine's relancesDuJour rows).
    QJsonArray duJour(const QString& jour) const;

    // Settings page.
    // Each returns the confirmation shown.
    Resultat<QString, QString> enregistrerRythme(const QString& texte, const QString& type = {});
    Resultat<QString, QString> retablirRythme(const QString& type = {});
    Resultat<QString, QString> enregistrerLienRdv(const QString& compteId, const QString& lien);
    Resultat<QString, QString> activationAuto(const QString& compteId, bool oui);
    Resultat<QString, QString> ajouterNouveaute(const QString& texte);
    Resultat<QString, QString> retirerNouveaute(const QString& id);
    Resultat<QString, QString> ajouterRessource(const QString& titre, const QString& lien, const QString& quand);
    static QString messageAdresseWeb();

    QString aujourdhui() const;

private:
    model::Store& store_;
    ai::Moteur& moteur_;
    cloud::OuvreurUrl* ouvreur_;
    std::function<void(const QString&)> copier_;

    Resultat<QJsonObject, QString> sequenceDe(const CibleRelance& cible, bool pourEnvoi) const;
    void ecrireSequence(const CibleRelance& cible, const QJsonObject& s);
    void ecrireReglages(const QJsonObject& r);
    void reglerCommercial(const QString& compteId, const QString& cle, const QJsonValue& valeur);
};

} // namespace vd::crm
