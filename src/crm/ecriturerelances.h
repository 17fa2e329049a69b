#pragma once
// The daily writing pass of follow-up messages: at 9:00 on working days (and
// once at start) every unwritten step of a running sequence due up to the next
// working day is written by the language model, one step at a time. Errors are
// kept per step; a step being written is never asked for twice.
#include "model/store.h"
#include "platform/horloge.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

namespace vd::ai { class Moteur; class ClientIABase; class DemandeIA; }

namespace vd::crm {

class EcritureRelances : public QObject {
    Q_OBJECT
public:
    EcritureRelances(model::Store& store, ai::Moteur& moteur, ai::ClientIABase& client, platform::Horloge& horloge,
                     QObject* parent = nullptr);
    ~EcritureRelances() override;

    // Catches up at once, then arms the daily timer. Only the first call does anything.
    void demarrer();
    bool demarre() const { return demarre_; }

    // Writes one step now ("Réessayer"); false when it is already being written.
    bool ecrire(const QString& contactId, const QString& etapeId);

    // Keyed by cleEtape(): step ids are only unique within a sequence.
    static QString cleEtape(const QString& contactId, const QString& etapeId) { return contactId + QLatin1Char('/') + etapeId; }
    const QSet<QString>& enCours() const { return enCours_; }
    const QHash<QString, QString>& erreurs() const { return erreurs_; }
    // Next firing of the daily timer, for display and tests.
    QDateTime prochainPassage() const { return prochain_; }

    // The next 9:00 (local time) on a working day strictly after maintenant.
    static QDateTime prochainNeufHeures(const QDateTime& maintenant);
    // The next working day after jour ("yyyy-MM-dd").
    static QString jourOuvreSuivant(const QString& jour);

Q_SIGNALS:
    void change();

private:
    struct Tache {
        QString contactId, etapeId;
    };
    void passe();
    void armer();
    void suivante();
    void terminer(const Tache& t, const QString& texte);
    void echouer(const Tache& t, const QString& detail);

    model::Store& store_;
    ai::Moteur& moteur_;
    ai::ClientIABase& client_;
    platform::Horloge& horloge_;
    platform::Minuterie* minuteur_ = nullptr;
    bool demarre_ = false;
    QDateTime prochain_;
    QSet<QString> enCours_;   // queued or being written
    QList<Tache> file_;
    QPointer<ai::DemandeIA> demande_;
    QHash<QString, QString> erreurs_;
};

} // namespace vd::crm
