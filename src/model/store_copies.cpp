// Copies of the state kept before a whole-state replacement: a way back after an import,
// a demonstration load or an erase.
#include "store.h"

#include "platform/dossiers.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace vd::model {

Resultat<QString, QString> Store::garderEtatRemplace()
{
    copieRemplacee_.clear();
    if (fichier_.isEmpty() || etat_ == Etat{})
        return QString();
    const QDir dossier = QFileInfo(fichier_).absoluteDir();
    const QString date = horloge_.maintenant().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString nom = QStringLiteral("etat-remplace-%1.json").arg(date);
    for (int n = 2; dossier.exists(nom); ++n)
        nom = QStringLiteral("etat-remplace-%1-%2.json").arg(date).arg(n);
    const QString cible = dossier.filePath(nom);
    QByteArray octets;
    octets.reserve(1 << 16);
    EcrivainJson e(octets);
    ecrire(e, etat_);
    if (const QString erreur = platform::ecrireAtomique(cible, octets); !erreur.isEmpty())
        return echec(QStringLiteral("Les données actuelles n'ont pas pu être mises de côté : ") + erreur);
    // Oldest first by time written, then by name for copies of the same second.
    QFileInfoList copies = dossier.entryInfoList({QStringLiteral("etat-remplace-*.json")}, QDir::Files);
    std::sort(copies.begin(), copies.end(), [](const QFileInfo& a, const QFileInfo& b) {
        if (a.lastModified() != b.lastModified())
            return a.lastModified() < b.lastModified();
        return a.fileName().size() != b.fileName().size() ? a.fileName().size() < b.fileName().size() : a.fileName() < b.fileName();
    });
    for (qsizetype i = 0; i + copiesGardees < copies.size(); ++i)
        QFile::remove(copies[i].absoluteFilePath());
    copieRemplacee_ = cible;
    return cible;
}

QString Store::phraseCopie(const QString& chemin)
{
    if (chemin.isEmpty())
        return {};
    return QStringLiteral(" Les données remplacées sont gardées dans « %1 ».").arg(QDir::toNativeSeparators(chemin));
}

} // namespace vd::model
