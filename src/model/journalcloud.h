#pragma once
// What synchronisation must learn from store mutations made while it does not
// run (another subcommand, a restart): explicit deletions, appended one line
// each, and the last whole-state replacement. Both files live in "cloud" beside
// the store's file; synchronisation reads them and then erases them.
#include "etat.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace vd::model {

struct SuppressionNotee {
    QString collection;   // key of Etat ("contacts", "profilsClients"…)
    QString id;
    QString le;           // ISO 8601
    bool operator==(const SuppressionNotee&) const = default;
};

struct RemplacementNote {
    bool demonstration = false;
    QHash<QString, QStringList> ids;   // Etat key → ids of the new state (demonstration only)
};

class JournalCloud {
public:
    // dossier: the "cloud" folder; empty disables the journal.
    explicit JournalCloud(QString dossier) : dossier_(std::move(dossier)) {}
    static QString pour(const QString& fichierEtat);   // "<folder of the store>/cloud"

    bool actif() const { return !dossier_.isEmpty(); }
    QString dossier() const { return dossier_; }
    // Appends (one fsync-free line each); returns the failure, if any.
    QString noterSuppressions(const QList<SuppressionNotee>& s) const;
    QString noterRemplacement(const Etat& nouvel, bool demonstration) const;

    QList<SuppressionNotee> suppressions() const;   // unreadable lines are skipped
    std::optional<RemplacementNote> remplacement() const;
    void effacer() const;

    static QString fichierSuppressions() { return QStringLiteral("suppressions-locales.jsonl"); }
    static QString fichierRemplacement() { return QStringLiteral("remplacement.json"); }

private:
    QString dossier_;
};

} // namespace vd::model
