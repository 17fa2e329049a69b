#pragma once
// Files read whole, with a size cap checked first: a regular file by its size before any byte is
// read, a character device, pipe, FIFO or standard input in chunks up to the cap. A text file
// (JSON, keys) never holds a NUL byte, so the first one ends the read at once (/dev/zero).
#include "resultat.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace vd::platform {

constexpr qint64 limiteSauvegarde = qint64(1) << 30;   // 1 Go: years of heavy use fit well under it
constexpr qint64 limiteTexteCourt = qint64(1) << 20;   // keys, settings files

struct ErreurLecture {
    enum class Genre { ouverture, tropGros, binaire, lecture };
    Genre genre = Genre::lecture;
    qint64 taille = -1;   // the size found, when known (tropGros)
    QString message;      // ready to show
};

// chemin "-" reads standard input.
Resultat<QByteArray, ErreurLecture> lireBorne(const QString& chemin, qint64 limite, bool texte);
Resultat<QByteArray, ErreurLecture> lireBorne(QIODevice& d, const QString& nom, qint64 limite, bool texte);

// "512 octets", "12,5 Ko", "3,2 Mo", "1,5 Go" (French decimal comma).
QString tailleLisible(qint64 octets);

} // namespace vd::platform
