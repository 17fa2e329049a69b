#pragma once
// The change journal beside the state file: "etat.journal" holds, after a
// header naming the exact "etat.json" it applies to (size and CRC-32), one
// entry per save with the records that changed. Each entry is framed as
// [length: 4 bytes LE][CRC-32 of the payload: 4 bytes LE][payload], written
// and fsync'd at once. A torn last entry is dropped on reading.
//
// A compaction rewrites "etat.json" whole: it first appends a marker naming the
// new file and how many entries it includes, then renames the new file into
// place, then replaces the journal by a fresh one on the new file holding the
// entries written meanwhile. A crash between any two steps leaves a pair that
// reads back to the same state.
#include "etat.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace vd::model {

struct IdentiteFichier {
    qint64 taille = -1;   // -1: no file
    quint32 crc = 0;
    bool operator==(const IdentiteFichier&) const = default;
    bool existe() const { return taille >= 0; }
};

quint32 crc32De(const QByteArray& octets, quint32 depart = 0);

struct LectureJournal {
    bool present = false;
    bool entete = false;                    // the header could be read
    IdentiteFichier base;                   // the file the journal applies to
    QList<QByteArray> entrees;              // payloads in order, markers excluded
    // Every compaction marker in order: the file written and how many entries it includes.
    // A journal can hold several when a run that started on a compacted file (the fresh
    // journal never written) compacts again before it is replaced.
    struct Compaction {
        IdentiteFichier vers;
        qsizetype apres = 0;
    };
    QList<Compaction> compactions;
    bool dechire = false;                   // a torn or corrupt tail was dropped
    qint64 tailleValide = 0;
};

namespace journal {

QByteArray cadre(const QByteArray& charge);
QByteArray entete(const IdentiteFichier& base);
QByteArray marqueur(const IdentiteFichier& vers, qsizetype apres);
LectureJournal lire(const QString& chemin);
// The entries to apply on top of a state file of identity base, or none when the
// journal belongs to another file (it must then be set aside, never applied).
std::optional<QList<QByteArray>> entreesPour(const LectureJournal& l, const IdentiteFichier& base);
// Appends framed bytes and fsyncs; an error text or empty.
QString ajouter(const QString& chemin, const QByteArray& octets);
// Replaces the journal atomically by a header on base plus the given entries.
QString recreer(const QString& chemin, const IdentiteFichier& base, const QList<QByteArray>& entrees);
QString cheminPour(const QString& fichierEtat);

// Record-level difference between two states, as one entry payload (empty when equal).
QByteArray difference(const Etat& avant, const Etat& apres);
// Applies one payload; false when it cannot be read.
bool appliquer(Etat& etat, const QByteArray& charge);

} // namespace journal

} // namespace vd::model
