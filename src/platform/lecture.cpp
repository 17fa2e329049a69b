#include "lecture.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace vd::platform {

namespace {

QString messageTropGros(const QString& nom, qint64 taille, qint64 limite, bool auMoins)
{
    return QStringLiteral("« %1 » est trop gros (%2%3) : %4 au plus.")
        .arg(nom, auMoins ? QStringLiteral("plus de ") : QString(), tailleLisible(taille), tailleLisible(limite));
}

} // namespace

QString tailleLisible(qint64 octets)
{
    const QLocale fr(QLocale::French, QLocale::France);
    static const char* const unites[] = {"Ko", "Mo", "Go", "To"};
    if (octets < 1024)
        return QStringLiteral("%1 octet%2").arg(octets).arg(octets > 1 ? QStringLiteral("s") : QString());
    double v = double(octets);
    int u = -1;
    while (v >= 1024 && u < 3) {
        v /= 1024;
        ++u;
    }
    const bool entier = v >= 100 || std::abs(v - std::round(v)) < 0.05;
    return fr.toString(v, 'f', entier ? 0 : 1) + QChar(0x00A0) + QString::fromLatin1(unites[u]);
}

Resultat<QByteArray, ErreurLecture> lireBorne(QIODevice& d, const QString& nom, qint64 limite, bool texte)
{
    QByteArray r;
    QByteArray morceau(qint64(1) << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = d.read(morceau.data(), morceau.size());
        if (n < 0)
            return echec(ErreurLecture{ErreurLecture::Genre::lecture, -1,
                                       QStringLiteral("Impossible de lire « %1 » : %2").arg(nom, d.errorString())});
        if (n == 0)
            break;   // end of file (a pipe blocks until data or its end)
        if (texte && QByteArrayView(morceau.constData(), n).contains('\0'))
            return echec(ErreurLecture{ErreurLecture::Genre::binaire, -1,
                                       QStringLiteral("« %1 » n'est pas un fichier texte.").arg(nom)});
        if (r.size() + n > limite)
            return echec(ErreurLecture{ErreurLecture::Genre::tropGros, r.size() + n, messageTropGros(nom, limite, limite, true)});
        r.append(morceau.constData(), n);
    }
    return r;
}

Resultat<QByteArray, ErreurLecture> lireBorne(const QString& chemin, qint64 limite, bool texte)
{
    QFile f;
    const bool entree = chemin == QLatin1String("-");
    const QString nom = entree ? QStringLiteral("l'entrée standard") : chemin;
    if (entree) {
        if (!f.open(stdin, QIODevice::ReadOnly))
            return echec(ErreurLecture{ErreurLecture::Genre::ouverture, -1, QStringLiteral("Impossible de lire l'entrée standard.")});
    } else {
        const QFileInfo info(chemin);
        if (info.isDir())
            return echec(ErreurLecture{ErreurLecture::Genre::ouverture, -1,
                                       QStringLiteral("Impossible d'ouvrir « %1 » : c'est un dossier.").arg(chemin)});
        // A regular file says its size: checked before reading anything.
        if (info.isFile() && info.size() > limite)
            return echec(ErreurLecture{ErreurLecture::Genre::tropGros, info.size(), messageTropGros(chemin, info.size(), limite, false)});
        f.setFileName(chemin);
        if (!f.open(QIODevice::ReadOnly))
            return echec(ErreurLecture{ErreurLecture::Genre::ouverture, -1,
                                       QStringLiteral("Impossible d'ouvrir « %1 » : %2").arg(chemin, f.errorString())});
    }
    return lireBorne(f, nom, limite, texte);
}

} // namespace vd::platform
