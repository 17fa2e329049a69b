#pragma once
// The store's writer, on its own thread: each save appends the records that
// changed to "etat.journal" (fsync'd); a whole write ("etat.json" streamed to a
// temporary file, fsync'd, renamed) replaces the state after an import or
// when the journal has grown past max(4 MB, a quarter of the file), then on a
// compaction thread so saves go on meanwhile.
#include "journal.h"

#include <QObject>
#include <QString>
#include <mutex>
#include <thread>

namespace vd::model {

class EcrivainStore : public QObject {
public:
    EcrivainStore(QString fichier, Etat ecrit, IdentiteFichier base, qint64 tailleJournal, qsizetype entrees);
    ~EcrivainStore() override;

    // One save: the changes since the last one (complet: the whole state). Error text or empty.
    QString enregistrer(const Etat& instantane, bool complet);
    // At start (a leftover journal) and at quit: the journal folded into the file.
    void compacterEnFond();
    QString compacterMaintenant();
    // Bytes written by this writer since it started (journal and whole writes).
    qint64 octetsEcrits() const;
    static constexpr qint64 seuilMinimal = 4 * 1024 * 1024;

private:
    QString ecrireEntier(const Etat& etat, qsizetype inclus);
    void attendreCompaction();
    qint64 seuil() const;

    const QString fichier_, journal_;
    Etat ecrit_;   // what the file and the journal hold together
    mutable std::mutex m_;
    IdentiteFichier base_;
    qint64 tailleJournal_ = -1;   // -1: no journal file
    qsizetype entrees_ = 0;       // entries in the journal
    bool compaction_ = false;
    QList<QByteArray> depuisInstantane_;   // entries written during a compaction
    qint64 prochainEssai_ = 0;
    bool complet_ = false;                 // a failed append: the next save writes whole
    qint64 octets_ = 0;
    std::thread compacteur_;
};

} // namespace vd::model
