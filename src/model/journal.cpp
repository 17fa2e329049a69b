#include "journal.h"
#include "platform/dossiers.h"

#include "vuejson.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <unistd.h>
#include <zlib.h>

namespace vd::model {

quint32 crc32De(const QByteArray& octets, quint32 depart)
{
    uLong c = depart;
    const char* p = octets.constData();
    qsizetype reste = octets.size();
    while (reste > 0) {
        const uInt n = uInt(std::min<qsizetype>(reste, 1 << 30));
        c = ::crc32(c, reinterpret_cast<const Bytef*>(p), n);
        p += n;
        reste -= n;
    }
    return quint32(c);
}

namespace journal {

namespace {

constexpr qint64 chargeMax = qint64(1) << 30;

QByteArray identite(const char* cle, const IdentiteFichier& id)
{
    return QByteArray("\"") + cle + "\":{\"taille\":" + QByteArray::number(id.taille) + ",\"crc\":" + QByteArray::number(id.crc) + "}";
}

std::optional<IdentiteFichier> lireIdentite(const VueJson& v)
{
    if (!v.isObject() || !v.champ("taille").isDouble() || !v.champ("crc").isDouble())
        return std::nullopt;
    return IdentiteFichier{qint64(v.champ("taille").toDouble()), quint32(v.champ("crc").toDouble())};
}

} // namespace

QString cheminPour(const QString& fichierEtat)
{
    QString c = fichierEtat;
    if (c.endsWith(QLatin1String(".json")))
        c.chop(5);
    return c + QStringLiteral(".journal");
}

QByteArray cadre(const QByteArray& charge)
{
    QByteArray r(8, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(charge.size()), r.data());
    qToLittleEndian<quint32>(crc32De(charge), r.data() + 4);
    r += charge;
    return r;
}

QByteArray entete(const IdentiteFichier& base) { return cadre("{\"journal\":1," + identite("base", base) + "}"); }

QByteArray marqueur(const IdentiteFichier& vers, qsizetype apres)
{
    return cadre("{" + identite("compacte", vers) + ",\"entrees\":" + QByteArray::number(apres) + "}");
}

LectureJournal lire(const QString& chemin)
{
    LectureJournal l;
    QFile f(chemin);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return l;
    l.present = true;
    qint64 pos = 0;
    bool premier = true;
    for (;;) {
        const QByteArray tete = f.read(8);
        if (tete.isEmpty())
            break;
        if (tete.size() < 8) {
            l.dechire = true;
            break;
        }
        const quint32 longueur = qFromLittleEndian<quint32>(tete.constData());
        const quint32 crc = qFromLittleEndian<quint32>(tete.constData() + 4);
        if (qint64(longueur) > chargeMax || pos + 8 + qint64(longueur) > f.size()) {
            l.dechire = true;
            break;
        }
        const QByteArray charge = f.read(longueur);
        if (charge.size() != qsizetype(longueur) || crc32De(charge) != crc) {
            l.dechire = true;
            break;
        }
        if (premier) {
            premier = false;
            const auto doc = DocJson::analyser(charge);
            const auto base = doc ? lireIdentite(doc->racine().champ("base")) : std::nullopt;
            if (!base || !doc->racine().champ("journal").isDouble())
                return l;   // not a journal header: belongs to nothing
            l.entete = true;
            l.base = *base;
        } else if (charge.startsWith("{\"compacte\"")) {
            const auto doc = DocJson::analyser(charge);
            const auto vers = doc ? lireIdentite(doc->racine().champ("compacte")) : std::nullopt;
            if (vers)
                l.compactions.append({*vers, qsizetype(doc->racine().champ("entrees").toDouble())});
        } else {
            l.entrees.append(charge);
        }
        pos += 8 + longueur;
        l.tailleValide = pos;
    }
    return l;
}

std::optional<QList<QByteArray>> entreesPour(const LectureJournal& l, const IdentiteFichier& base)
{
    if (!l.present)
        return QList<QByteArray>();
    if (!l.entete)
        return std::nullopt;
    if (l.base == base)
        return l.entrees;
    // Killed after a compacted file took its place and before the fresh journal: what
    // that file does not hold yet is after its marker's count. The latest marker may name
    // a file whose rename never happened; an earlier one then names the file in place.
    for (qsizetype i = l.compactions.size() - 1; i >= 0; --i) {
        const LectureJournal::Compaction& c = l.compactions[i];
        if (c.vers == base && c.apres <= l.entrees.size())
            return l.entrees.mid(c.apres);
    }
    return std::nullopt;
}

QString ajouter(const QString& chemin, const QByteArray& octets)
{
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return f.errorString();
    if (f.write(octets) != octets.size())
        return f.errorString();
    if (!f.flush())
        return f.errorString();
    if (::fsync(f.handle()) != 0)
        return QStringLiteral("écriture sur le disque impossible");
    return {};
}

QString recreer(const QString& chemin, const IdentiteFichier& base, const QList<QByteArray>& entrees)
{
    QByteArray octets = entete(base);
    for (const QByteArray& e : entrees)
        octets += cadre(e);
    return platform::ecrireAtomique(chemin, octets);
}

} // namespace journal

} // namespace vd::model
