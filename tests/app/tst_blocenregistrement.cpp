// The call sheet's recording block: a clip exported from its button (read
// back with ffprobe), bad moments refused with a message, a missing file said.
#include "environnementvendalo.h"
#include "app/ecrans/blocenregistrement.h"
#include "call/ecrivainenregistrement.h"

#include <QLineEdit>
#include <QPushButton>

#include <cmath>

using namespace vd;
using namespace vd::app;

namespace {
double dureeSonde(const QString& fichier)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                                        QStringLiteral("json"), QStringLiteral("-show_format"), fichier});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object().value(QStringLiteral("format")).toObject()
        .value(QStringLiteral("duration")).toString().toDouble();
}
} // namespace

class TstBlocEnregistrement : public QObject {
    Q_OBJECT
    QTemporaryDir dossier_;
    model::Appel appel_;

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QSKIP("ffprobe manque (paquet ffmpeg)");
        // Ten seconds of a tone, written like a call's recording.
        auto w = call::EcrivainEnregistrement::ouvrir(dossier_.filePath(QStringLiteral("a1.mp4")), {false});
        QVERIFY(w.ok());
        std::vector<float> s(16000 * 10);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = 0.3f * float(std::sin(2.0 * M_PI * 440.0 * double(i) / 16000.0));
        w.valeur()->ajouterSon(s.data(), qsizetype(s.size()));
        auto r = w.valeur()->terminer();
        QVERIFY(r.ok());
        appel_.id = QStringLiteral("a1");
        appel_.enregistrement = r.valeur();
    }

    void extraitDepuisLeBouton_data()
    {
        QTest::addColumn<QString>("debut");
        QTest::addColumn<QString>("fin");
        QTest::addColumn<double>("duree");   // negative: refused with the message
        QTest::addColumn<QString>("message");
        QTest::newRow("0:03 à 0:07") << QStringLiteral("0:03") << QStringLiteral("0:07") << 4.0 << QStringLiteral("Extrait enregistré : clip.mp4");
        QTest::newRow("fin au-delà : jusqu'au bout") << QStringLiteral("8") << QStringLiteral("1:00") << 2.0 << QStringLiteral("Extrait enregistré : clip.mp4");
        QTest::newRow("secondes invalides") << QStringLiteral("0:75") << QStringLiteral("1:00") << -1.0
                                            << QStringLiteral("Indiquez le début et la fin en minutes et secondes, par exemple 1:30.");
        QTest::newRow("fin avant début") << QStringLiteral("0:05") << QStringLiteral("0:02") << -1.0
                                         << QStringLiteral("La fin de l'extrait doit venir après son début.");
        QTest::newRow("après la fin") << QStringLiteral("0:20") << QStringLiteral("0:30") << -1.0
                                      << QStringLiteral("L'enregistrement dure 0:10 : l'extrait doit commencer avant.");
    }
    void extraitDepuisLeBouton()
    {
        QFETCH(QString, debut);
        QFETCH(QString, fin);
        QFETCH(double, duree);
        QFETCH(QString, message);
        BlocEnregistrement b(appel_, dossier_.path(), std::nullopt);
        const QString clip = dossier_.filePath(QStringLiteral("clips/clip"));
        QFile::remove(clip + QStringLiteral(".mp4"));
        b.demanderFichier = [clip](const QString&) { return clip; };
        b.champDebut()->setText(debut);
        b.champFin()->setText(fin);
        b.findChild<QPushButton*>(QStringLiteral("exporterExtrait"))->click();
        QCOMPARE(b.message(), message);
        QCOMPARE(QFileInfo::exists(clip + QStringLiteral(".mp4")), duree > 0);
        if (duree > 0)
            QVERIFY2(std::abs(dureeSonde(clip + QStringLiteral(".mp4")) - duree) < 0.15, qPrintable(message));
    }

    void fichierDisparu()
    {
        model::Appel a = appel_;
        a.enregistrement->fichier = QStringLiteral("parti.mp4");
        BlocEnregistrement b(a, dossier_.path(), std::nullopt);
        QVERIFY(b.utile());
        QCOMPARE(b.message(), QStringLiteral("Le fichier de l'enregistrement est introuvable sur cet ordinateur."));
        QVERIFY(!b.findChild<QPushButton*>(QStringLiteral("exporterExtrait"))->isEnabled());
    }

    void sansEnregistrementLAvertissement()
    {
        model::Appel a;
        QVERIFY(!BlocEnregistrement(a, dossier_.path(), std::nullopt).utile());
        const QString espace = call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::espaceDisque, {}}.description();
        BlocEnregistrement b(a, dossier_.path(), espace);
        QVERIFY(b.utile());
        QVERIFY(textesVisibles(&b).contains(espace));
    }
};

QTEST_MAIN(TstBlocEnregistrement)
#include "tst_blocenregistrement.moc"
