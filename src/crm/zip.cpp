#include "zip.h"

#include <zlib.h>

namespace vd::crm {

namespace {

quint16 u16(const QByteArray& d, qint64 p)
{
    return quint16(quint8(d[p])) | quint16(quint8(d[p + 1])) << 8;
}

quint32 u32(const QByteArray& d, qint64 p)
{
    return quint32(u16(d, p)) | quint32(u16(d, p + 2)) << 16;
}

void e16(QByteArray& o, quint32 v)
{
    o.append(char(v & 0xFF));
    o.append(char((v >> 8) & 0xFF));
}

void e32(QByteArray& o, quint32 v)
{
    e16(o, v & 0xFFFF);
    e16(o, v >> 16);
}

ErreurZip abime(const QString& detail)
{
    return ErreurZip::illisible(QStringLiteral("Ce fichier Excel est abîmé (%1).").arg(detail));
}

} // namespace

Resultat<ArchiveZip, ErreurZip> ArchiveZip::ouvrir(const QByteArray& d)
{
    const qint64 n = d.size();
    if (n < 22)
        return echec(ErreurZip::illisible(QStringLiteral("Ce fichier est vide ou abîmé.")));
    qint64 fin = -1;
    const qint64 limite = std::max<qint64>(0, n - 65557);
    for (qint64 p = n - 22; p >= limite; --p)
        if (d[p] == 'P' && d[p + 1] == 'K' && d[p + 2] == 5 && d[p + 3] == 6) {
            fin = p;
            break;
        }
    if (fin < 0)
        return echec(abime(QStringLiteral("archive incomplète")));
    const qint64 nombre = u16(d, fin + 10);
    const qint64 tailleRep = u32(d, fin + 12);
    const qint64 debutRep = u32(d, fin + 16);
    if (debutRep + tailleRep > n)
        return echec(abime(QStringLiteral("répertoire illisible")));

    ArchiveZip a;
    a.donnees_ = d;
    qint64 p = debutRep;
    for (qint64 i = 0; i < nombre; ++i) {
        if (p + 46 > n || u32(d, p) != 0x02014B50)
            return echec(abime(QStringLiteral("entrée illisible")));
        if (u16(d, p + 8) & 1)
            return echec(ErreurZip::illisible(
                QStringLiteral("Ce fichier est protégé par un mot de passe. Enregistrez-le sans mot de passe, puis réessayez.")));
        EntreeZip e;
        e.methode = u16(d, p + 10);
        e.crc = u32(d, p + 16);
        e.tailleCompressee = u32(d, p + 20);
        e.taille = u32(d, p + 24);
        const qint64 lnom = u16(d, p + 28), lextra = u16(d, p + 30), lcomm = u16(d, p + 32);
        e.decalageLocal = u32(d, p + 42);
        if (p + 46 + lnom > n)
            return echec(abime(QStringLiteral("nom illisible")));
        e.nom = QString::fromUtf8(d.constData() + p + 46, lnom);
        a.index_.insert(e.nom, a.entrees_.size());
        a.entrees_.append(e);
        p += 46 + lnom + lextra + lcomm;
    }
    return a;
}

const EntreeZip* ArchiveZip::entree(const QString& nom) const
{
    const auto it = index_.constFind(nom);
    return it == index_.constEnd() ? nullptr : &entrees_[*it];
}

Resultat<QByteArray, ErreurZip> ArchiveZip::extraire(const QString& nom, qint64 maxTaille) const
{
    const EntreeZip* e = entree(nom);
    if (!e)
        return echec(abime(nom + QStringLiteral(" introuvable")));
    const QByteArray& d = donnees_;
    const qint64 n = d.size();
    const qint64 p = e->decalageLocal;
    if (p + 30 > n || u32(d, p) != 0x04034B50)
        return echec(abime(QStringLiteral("entrée illisible")));
    const qint64 debut = p + 30 + u16(d, p + 26) + u16(d, p + 28);
    const qint64 fin = debut + e->tailleCompressee;
    if (fin > n)
        return echec(abime(nom + QStringLiteral(" tronqué")));
    // Beyond the ratio deflate can reach on real parts, the sizes are a lure.
    const bool rapportSuspect = e->taille > (qint64(1) << 20) && e->taille / std::max<qint64>(1, e->tailleCompressee) > rapportMax;
    if (e->taille > std::min(maxTaille, tailleMaxEntree) || rapportSuspect)
        return echec(ErreurZip::illisible(QStringLiteral("Ce fichier Excel est trop gros une fois décompressé.")));
    if (e->methode == 0) {
        if (e->tailleCompressee != e->taille)
            return echec(abime(nom + QStringLiteral(" ne se décompresse pas")));
        return d.mid(debut, e->tailleCompressee);
    }
    if (e->methode != 8)
        return echec(ErreurZip::illisible(
            QStringLiteral("Ce fichier Excel utilise une compression inconnue. Enregistrez-le à nouveau depuis Excel.")));
    if (e->taille == 0)
        return QByteArray();
    QByteArray sortie(e->taille, Qt::Uninitialized);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return echec(abime(nom + QStringLiteral(" ne se décompresse pas")));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(d.constData() + debut));
    z.avail_in = uInt(e->tailleCompressee);
    z.next_out = reinterpret_cast<Bytef*>(sortie.data());
    z.avail_out = uInt(sortie.size());
    const int r = inflate(&z, Z_FINISH);
    const qint64 produit = qint64(z.total_out);
    inflateEnd(&z);
    // Exactly the announced size: a longer stream stops with Z_BUF_ERROR / Z_OK.
    if (r != Z_STREAM_END || produit != e->taille)
        return echec(abime(nom + QStringLiteral(" ne se décompresse pas")));
    return sortie;
}

void EcrivainZip::ajouter(const QString& nom, const QByteArray& contenu)
{
    EntreeZip e;
    e.nom = nom;
    e.methode = 8;
    e.crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(contenu.constData()), uInt(contenu.size())));
    e.taille = contenu.size();
    e.decalageLocal = sortie_.size();

    QByteArray comprime(qsizetype(compressBound(uLong(contenu.size())) + 64), Qt::Uninitialized);
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(contenu.constData()));
    z.avail_in = uInt(contenu.size());
    z.next_out = reinterpret_cast<Bytef*>(comprime.data());
    z.avail_out = uInt(comprime.size());
    deflate(&z, Z_FINISH);
    comprime.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    e.tailleCompressee = comprime.size();

    const QByteArray n = nom.toUtf8();
    e32(sortie_, 0x04034B50);
    e16(sortie_, 20);
    e16(sortie_, 0x0800);   // names in UTF-8
    e16(sortie_, 8);
    e16(sortie_, 0);
    e16(sortie_, 0x21);   // 1980-01-01
    e32(sortie_, e.crc);
    e32(sortie_, quint32(e.tailleCompressee));
    e32(sortie_, quint32(e.taille));
    e16(sortie_, quint32(n.size()));
    e16(sortie_, 0);
    sortie_.append(n);
    sortie_.append(comprime);
    entrees_.append(e);
}

QByteArray EcrivainZip::terminer()
{
    const qint64 debutRep = sortie_.size();
    for (const EntreeZip& e : entrees_) {
        const QByteArray n = e.nom.toUtf8();
        e32(sortie_, 0x02014B50);
        e16(sortie_, 20);
        e16(sortie_, 20);
        e16(sortie_, 0x0800);
        e16(sortie_, e.methode);
        e16(sortie_, 0);
        e16(sortie_, 0x21);
        e32(sortie_, e.crc);
        e32(sortie_, quint32(e.tailleCompressee));
        e32(sortie_, quint32(e.taille));
        e16(sortie_, quint32(n.size()));
        e16(sortie_, 0);
        e16(sortie_, 0);
        e16(sortie_, 0);
        e16(sortie_, 0);
        e32(sortie_, 0);
        e32(sortie_, quint32(e.decalageLocal));
        sortie_.append(n);
    }
    const qint64 tailleRep = sortie_.size() - debutRep;
    e32(sortie_, 0x06054B50);
    e16(sortie_, 0);
    e16(sortie_, 0);
    e16(sortie_, quint32(entrees_.size()));
    e16(sortie_, quint32(entrees_.size()));
    e32(sortie_, quint32(tailleRep));
    e32(sortie_, quint32(debutRep));
    e16(sortie_, 0);
    QByteArray r = std::move(sortie_);
    sortie_.clear();
    entrees_.clear();
    return r;
}

} // namespace vd::crm
