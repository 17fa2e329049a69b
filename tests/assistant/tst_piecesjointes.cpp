// Attachments judged by their bytes: accepted families, size, empty and broken
// files, the chat's images-only rule, and the JPEG re-encoding with its fallback.
#include "assistant/piecesjointes.h"

#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

using namespace vd::assistant;
namespace PJ = PiecesJointes;

namespace {

QByteArray image(int l, int h, const char* format = "PNG", bool bruit = false)
{
    QImage i(l, h, QImage::Format_RGB32);
    i.fill(QColor(0x00, 0x44, 0xFF));
    if (bruit) {
        QRandomGenerator g(7);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < l; ++x)
                i.setPixel(x, y, g.generate());
    }
    QByteArray d;
    QBuffer b(&d);
    b.open(QIODevice::WriteOnly);
    i.save(&b, format);
    return d;
}

QByteArray lourd(const QByteArray& debut)
{
    return debut + QByteArray(PJ::tailleMax + 1 - debut.size(), 'a');
}

} // namespace

class TstPiecesJointes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A file accepted with its type, or refused with its message.
    void controles()
    {
        auto cas = [](const QString& nom, const QByteArray& donnees, const QString& type, const QString& refus = {}) {
            const auto r = PJ::preparer(nom, donnees);
            QCOMPARE(nom + ": " + (r ? r.valeur().type : r.erreur().message), nom + ": " + (refus.isEmpty() ? type : refus));
            if (!r)
                return;
            QCOMPARE(r.valeur().nom, nom);
            QCOMPARE(r.valeur().donnees, donnees);   // a ticket's file goes as it is
            QCOMPARE(r.valeur().etat, PieceJointe::Etat::prete);
            QCOMPARE(r.valeur().largeur.has_value(), type.startsWith(QLatin1String("image/")));
        };
        const QByteArray pdf("%PDF-1.7\n1 0 obj\n<<>>\nendobj\n");
        const QByteArray mp4 = QByteArray("\x00\x00\x00\x18" "ftypmp42\x00\x00\x00\x00mp42isom", 24) + QByteArray(64, '\0');
        const QByteArray png = image(20, 10);
        cas("a.png", png, "image/png");
        cas("rapport.txt", png, "image/png");   // judged by the bytes, not the name
        cas("photo.jpg", image(8, 8, "JPEG"), "image/jpeg");
        cas("facture.pdf", pdf, "application/pdf");
        cas("film.mp4", mp4, "video/mp4");
        cas("vendalo.log", "2026-03-02 erreur de connexion\n", "text/plain");
        cas("outil.png", QByteArray("\x7f" "ELF\x02\x01\x01\x00\x00\x00\x00\x00", 12) + QByteArray(64, '\1'), "", PJ::textes::typeRefuse);
        cas("a.log", QByteArray("PK\x03\x04\x14\x00\x00\x00", 8) + QByteArray(40, '\0'), "", PJ::textes::typeRefuse);
        cas("vide.txt", QByteArray(), "", "« vide.txt » est vide ou ne se lit pas.");
        cas("écran.png", png.left(40), "", "« écran.png » n'est pas une image lisible.");
        cas("grande.png", lourd(png), "", "« grande.png » est trop lourde : 10 Mo au plus.");
        cas("démo.mp4", lourd(mp4), "", "« démo.mp4 » est trop lourde : 10 Mo au plus. Raccourcissez la vidéo.");
        cas("gros.pdf", lourd(pdf), "", "« gros.pdf » est trop lourd : 10 Mo au plus.");
    }

    // The chat takes images only, re-encoded in JPEG within 1,568 px.
    void reencodage()
    {
        const auto pdf = PJ::preparerPourChat(QStringLiteral("facture.pdf"), QByteArray("%PDF-1.4\n%%EOF\n"));
        QCOMPARE(pdf ? QString() : pdf.erreur().message, PJ::textes::imagesSeulement);
        for (const auto& [taille, attendu] : {std::pair(QSize(4000, 1000), QSize(1568, 392)), std::pair(QSize(900, 3136), QSize(450, 1568)),
                                              std::pair(QSize(640, 480), QSize(640, 480))}) {   // a small one is kept as it is
            const auto r = PJ::preparerPourChat(QStringLiteral("Capture.png"), image(taille.width(), taille.height()));
            QVERIFY(r);
            QCOMPARE(r.valeur().type, QStringLiteral("image/jpeg"));
            QCOMPARE(QImage::fromData(r.valeur().donnees, "JPEG").size(), attendu);
            QCOMPARE(QSize(*r.valeur().largeur, *r.valeur().hauteur), attendu);
        }
    }

    void repliPlusPetitQuandTropLourd()
    {
        QImage i = QImage::fromData(image(1600, 1600, "PNG", true));
        QSize taille;
        const auto premier = PJ::reencoder(i, PJ::tailleMax, &taille);
        QVERIFY(premier);
        QCOMPARE(taille, QSize(1568, 1568));
        // Just under the first form: the fallback (1,200 px at quality 60) is taken.
        const auto repli = PJ::reencoder(i, premier->size() - 1, &taille);
        QVERIFY(repli);
        QCOMPARE(taille, QSize(1200, 1200));
        QVERIFY(repli->size() < premier->size());
        QVERIFY(!PJ::reencoder(i, 1000));   // even the fallback is too big
    }

    void nomsEtDossier()
    {
        const QDateTime t(QDate(2026, 3, 2), QTime(14, 5, 9), QTimeZone("Europe/Paris"));
        QCOMPARE(PJ::nomCapture(t), QStringLiteral("Capture d'écran 2026-03-02 à 14.05.09"));
        QCOMPARE(PJ::textes::imageCollee, QStringLiteral("Image collée.png"));
        const QString d = PJ::dossierTemporaire();
        QVERIFY(QDir(d).exists());
        QCOMPARE(QDir(d).dirName(), QStringLiteral("Vendalo-pieces-%1").arg(QCoreApplication::applicationPid()));
    }
};

QTEST_GUILESS_MAIN(TstPiecesJointes)
#include "tst_piecesjointes.moc"
