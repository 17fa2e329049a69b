#pragma once
// Minimal ZIP container: reading a whole archive held in memory (stored and
// deflated entries) and writing one (deflated entries, no data descriptors).
#include "platform/resultat.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace vd::crm {

struct ErreurZip {
    enum class Genre { illisible };
    Genre genre = Genre::illisible;
    QString message;
    QString description() const { return message; }
    static ErreurZip illisible(QString m) { return {Genre::illisible, std::move(m)}; }
};

struct EntreeZip {
    QString nom;
    quint16 methode = 0;
    quint32 crc = 0;
    qint64 tailleCompressee = 0;
    qint64 taille = 0;
    qint64 decalageLocal = 0;
};

class ArchiveZip {
public:
    static constexpr qint64 tailleMaxEntree = 209715200;   // 200 MiB once inflated
    static constexpr qint64 rapportMax = 1000;

    // Reads the central directory; the data stays shared with the caller's array.
    static Resultat<ArchiveZip, ErreurZip> ouvrir(const QByteArray& donnees);

    const QList<EntreeZip>& entrees() const { return entrees_; }
    const EntreeZip* entree(const QString& nom) const;
    bool contient(const QString& nom) const { return entree(nom) != nullptr; }
    // Inflated bytes of one entry. maxTaille caps its uncompressed size.
    Resultat<QByteArray, ErreurZip> extraire(const QString& nom, qint64 maxTaille = tailleMaxEntree) const;

private:
    QByteArray donnees_;
    QList<EntreeZip> entrees_;
    QHash<QString, qsizetype> index_;
};

// Writes entries one after the other, then the central directory.
class EcrivainZip {
public:
    void ajouter(const QString& nom, const QByteArray& contenu);
    QByteArray terminer();

private:
    QByteArray sortie_;
    QList<EntreeZip> entrees_;
};

} // namespace vd::crm
