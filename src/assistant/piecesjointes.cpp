#include "piecesjointes.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QMimeDatabase>
#include <QPainter>
#include <QUuid>

namespace vd::assistant {

PieceServeur PieceServeur::depuisJson(const QJsonObject& o)
{
    auto entier = [&o](const char* cle) -> std::optional<int> {
        const QJsonValue v = o.value(QLatin1String(cle));
        return v.isDouble() ? std::optional<int>(v.toInt()) : std::nullopt;
    };
    auto adresse = [&o](const char* cle) -> std::optional<QUrl> {
        const QString t = o.value(QLatin1String(cle)).toString();
        const QUrl u(t);
        return t.isEmpty() || !u.isValid() ? std::nullopt : std::optional<QUrl>(u);
    };
    PieceServeur p;
    p.id = o.value(QLatin1String("id")).toVariant().toString();
    p.nom = o.value(QLatin1String("nom")).toString();
    p.type = o.value(QLatin1String("type")).toString();
    p.taille = qint64(o.value(QLatin1String("taille")).toDouble());
    p.largeur = entier("largeur");
    p.hauteur = entier("hauteur");
    p.auteur = o.value(QLatin1String("auteur")).toString();
    p.url = adresse("url");
    p.urlTelecharger = adresse("url_telecharger");
    return p;
}

namespace PiecesJointes {

namespace {

QString guillemets(const QString& nom)
{
    return QStringLiteral("« ") + nom + QStringLiteral(" »");
}

Refus refus(QString message)
{
    return Refus{std::move(message)};
}

QImage lireImage(const QByteArray& donnees)
{
    QBuffer b;
    b.setData(donnees);
    b.open(QIODevice::ReadOnly);
    QImageReader r(&b);
    r.setAutoTransform(true);
    return r.read();
}

QByteArray jpeg(const QImage& image, int qualite)
{
    QByteArray sortie;
    QBuffer b(&sortie);
    b.open(QIODevice::WriteOnly);
    // JPEG has no alpha: transparent areas become white rather than black.
    QImage opaque(image.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    {
        QPainter p(&opaque);
        p.drawImage(0, 0, image);
    }
    QImageWriter w(&b, "jpeg");
    w.setQuality(qualite);
    w.write(opaque);
    return sortie;
}

QImage reduite(const QImage& image, int cote)
{
    if (std::max(image.width(), image.height()) <= cote)
        return image;
    return image.scaled(cote, cote, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

Famille famille(const QString& nom, const QByteArray& donnees, QString* type)
{
    static const QMimeDatabase base;
    const QMimeType m = base.mimeTypeForData(donnees);
    const QString n = m.name();
    if (type)
        *type = n;
    if (n.startsWith(QLatin1String("image/")) && n != QLatin1String("image/svg+xml"))
        return Famille::image;
    if (n == QLatin1String("application/pdf"))
        return Famille::pdf;
    if (n == QLatin1String("video/mp4") || n == QLatin1String("video/quicktime"))
        return Famille::video;
    const QString suffixe = nom.section(QLatin1Char('.'), -1).toLower();
    if (n == QLatin1String("text/plain")
        || (m.inherits(QStringLiteral("text/plain")) && (suffixe == QLatin1String("log") || suffixe == QLatin1String("txt")))) {
        if (type)
            *type = QStringLiteral("text/plain");
        return Famille::journal;
    }
    return Famille::autre;
}

Resultat<PieceJointe, Refus> preparer(const QString& nom, const QByteArray& donnees)
{
    if (donnees.isEmpty())
        return echec(refus(guillemets(nom) + QStringLiteral(" est vide ou ne se lit pas.")));
    QString type;
    const Famille f = famille(nom, donnees, &type);
    if (f == Famille::autre)
        return echec(refus(textes::typeRefuse));
    if (donnees.size() > tailleMax) {
        if (f == Famille::image)
            return echec(refus(guillemets(nom) + QStringLiteral(" est trop lourde : 10 Mo au plus.")));
        if (f == Famille::video)
            return echec(refus(guillemets(nom) + QStringLiteral(" est trop lourde : 10 Mo au plus. Raccourcissez la vidéo.")));
        return echec(refus(guillemets(nom) + QStringLiteral(" est trop lourd : 10 Mo au plus.")));
    }
    PieceJointe p;
    p.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    p.nom = nom;
    p.type = type;
    p.donnees = donnees;
    if (f == Famille::image) {
        const QImage image = lireImage(donnees);
        if (image.isNull())
            return echec(refus(guillemets(nom) + QStringLiteral(" n'est pas une image lisible.")));
        p.largeur = image.width();
        p.hauteur = image.height();
        p.apercu = reduite(image, coteApercu);
    }
    return p;
}

Resultat<PieceJointe, Refus> preparerPourChat(const QString& nom, const QByteArray& donnees)
{
    if (!donnees.isEmpty() && famille(nom, donnees) != Famille::image)
        return echec(refus(textes::imagesSeulement));
    auto r = preparer(nom, donnees);
    if (!r)
        return r;
    PieceJointe p = r.valeur();
    QSize taille;
    const auto octets = reencoder(lireImage(donnees), tailleMax, &taille);
    if (!octets)
        return echec(refus(guillemets(nom) + QStringLiteral(" est trop lourde : 10 Mo au plus.")));
    p.donnees = *octets;
    p.type = QStringLiteral("image/jpeg");
    p.largeur = taille.width();
    p.hauteur = taille.height();
    return p;
}

Resultat<QByteArray, Refus> lireFichier(const QString& chemin)
{
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return echec(refus(textes::neSOuvrePas));
    // One byte past the limit is enough to refuse it with its own message.
    QByteArray d = f.read(tailleMax + 1);
    if (f.error() != QFileDevice::NoError)
        return echec(refus(textes::neSOuvrePas));
    return d;
}

QByteArray enPng(const QImage& image)
{
    QByteArray sortie;
    QBuffer b(&sortie);
    b.open(QIODevice::WriteOnly);
    image.save(&b, "PNG");
    return sortie;
}

std::optional<QByteArray> reencoder(const QImage& image, qint64 limite, QSize* taille)
{
    if (image.isNull())
        return std::nullopt;
    QImage i = reduite(image, cotePrincipal);
    QByteArray d = jpeg(i, qualitePrincipale);
    if (d.size() > limite) {
        i = reduite(image, coteRepli);
        d = jpeg(i, qualiteRepli);
        if (d.size() > limite)
            return std::nullopt;
    }
    if (taille)
        *taille = i.size();
    return d;
}

QString nomCapture(const QDateTime& moment)
{
    return QStringLiteral("Capture d'écran ")
           + QLocale::c().toString(moment.toLocalTime(), QStringLiteral("yyyy-MM-dd 'à' HH.mm.ss"));
}

namespace {
void effacerDossierTemporaire()
{
    QDir(QDir::temp().filePath(QStringLiteral("Vendalo-pieces-%1").arg(QCoreApplication::applicationPid()))).removeRecursively();
}
} // namespace

QString dossierTemporaire()
{
    const QString chemin = QDir::temp().filePath(QStringLiteral("Vendalo-pieces-%1").arg(QCoreApplication::applicationPid()));
    static bool inscrit = false;
    if (!inscrit && QCoreApplication::instance()) {
        inscrit = true;
        qAddPostRoutine(effacerDossierTemporaire);
    }
    QDir().mkpath(chemin);
    QFile::setPermissions(chemin, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return chemin;
}

} // namespace PiecesJointes
} // namespace vd::assistant
