// Call recordings written with the FFmpeg libraries, read back with ffprobe:
// fake sound (a tone) and pictures, the fake clock for the call's pauses.
#include "call/enregistreurappel.h"
#include "fauxappel.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace vd;
using namespace vd::call;

namespace {

// 100 ms of a 440 Hz tone at 16 kHz.
std::vector<float> ton(qint64& phase)
{
    std::vector<float> s(1600);
    for (float& x : s)
        x = 0.3f * float(std::sin(2.0 * M_PI * 440.0 * double(phase++) / 16000.0));
    return s;
}

QImage image(int n, QSize taille = QSize(1920, 1080))
{
    QImage i(taille, QImage::Format_RGB32);
    i.fill(QColor::fromHsv((n * 7) % 360, 200, 220));
    return i;
}

// A video source the test feeds by hand, or that refuses to start.
struct EtatVideo {
    platform::CaptureVideo::SurImage surImage;
    platform::CaptureVideo::SurFin surFin;
    std::optional<QString> refus;
    bool arretee = false;
};
class FausseVideo final : public platform::CaptureVideo {
public:
    explicit FausseVideo(std::shared_ptr<EtatVideo> e) : e_(std::move(e)) {}
    std::optional<QString> demarrer(SurImage s, SurFin f) override
    {
        if (e_->refus)
            return e_->refus;
        e_->surImage = std::move(s);
        e_->surFin = std::move(f);
        return std::nullopt;
    }
    void arreter() override
    {
        e_->surImage = {};
        e_->arretee = true;
    }

private:
    std::shared_ptr<EtatVideo> e_;
};

struct Sonde {
    QJsonObject format;
    QJsonArray flux;
    QJsonObject fluxDe(const QString& type) const
    {
        for (const auto& f : flux)
            if (f.toObject().value(QStringLiteral("codec_type")).toString() == type)
                return f.toObject();
        return {};
    }
    double duree() const { return format.value(QStringLiteral("duration")).toString().toDouble(); }
    // Fields of the stream of that type, joined by spaces.
    QString champs(const QString& type, const QStringList& noms) const
    {
        QStringList v;
        for (const QString& n : noms)
            v << fluxDe(type).value(n).toVariant().toString();
        return v.join(' ');
    }
};

Sonde sonder(const QString& fichier)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", fichier});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    return {o.value(QStringLiteral("format")).toObject(), o.value(QStringLiteral("streams")).toArray()};
}

QStringList partiels(const QString& dossier) { return QDir(dossier).entryList({QStringLiteral("*.partiel")}, QDir::Files); }

} // namespace

class TstEnregistrement : public QObject {
    Q_OBJECT

    QTemporaryDir dossier_;
    std::shared_ptr<EtatVideo> video_;
    qint64 phase_ = 0;   // of the tone, across the feeds of a test
    int n_ = 0;          // pictures fed

    // In the recordings' folder.
    QString chemin(const QString& nom = {}) const { return QDir(dossier_.filePath(QStringLiteral("Enregistrements"))).filePath(nom); }
    EnregistreurAppel::Options options(qint64 libre = 50'000'000'000LL)
    {
        EnregistreurAppel::Options o;
        o.dossier = chemin();
        o.sonde = [libre](const QString&) { return std::optional<qint64>(libre); };
        auto v = video_;
        o.fabriqueVideo = [v] { return platform::CaptureOuRaison{std::make_unique<FausseVideo>(v), {}}; };
        return o;
    }

    // Sound (and 15 pictures a second when the source runs) for ms, into
    // son; after each 100 ms, entre (the clock moving on, say).
    void alimenter(const std::function<void(const float*, qsizetype)>& son, int ms, const std::function<void()>& entre = {})
    {
        for (int t = 0; t < ms; t += 100) {
            const auto s = ton(phase_);
            son(s.data(), qsizetype(s.size()));
            for (int k = 0; k < (n_ % 2 ? 2 : 1) && video_->surImage; ++k)
                video_->surImage(image(n_));
            ++n_;
            if (entre)
                entre();
        }
    }
    void alimenter(EnregistreurAppel& e, int ms)
    {
        alimenter([&e](const float* s, qsizetype n) { e.recevoirSon(s, n); }, ms);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dossier_.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QSKIP("ffprobe manque (paquet ffmpeg)");
    }
    void init()
    {
        video_ = std::make_shared<EtatVideo>();
        phase_ = n_ = 0;
    }
    void cleanup() { QDir(chemin()).removeRecursively(); }

    // A live call with a one-minute pause: the file is one minute shorter
    // than the call's wall-clock time, sound spoken during the pause is not
    // in it, and it carries the call's id.
    void pauseRetireeDuFichier()
    {
        test::BancSession banc;
        auto o = options();
        SessionAppel::Fabriques f = banc.fabriques();
        f.enregistreur = [o](const QString& id, const model::CibleEnregistrement&) { return std::make_unique<EnregistreurAppel>(id, o); };
        banc.session->setFabriques(f);
        banc.demarrerOuvert();
        QVERIFY(banc.session->enregistre());
        QVERIFY(banc.capture->mixage);
        QCOMPARE(banc.session->avertissementEnregistrement(), std::nullopt);
        const QString id = *banc.session->appelId();
        const qint64 debut = banc.horloge.monotoneMs();

        auto parler = [&](int ms) { alimenter(banc.capture->mixage, ms, [&] { banc.horloge.avancer(100); }); };
        parler(3000);
        banc.session->pause();
        parler(60000);
        banc.session->reprendre();
        parler(3000);
        const double mur = double(banc.horloge.monotoneMs() - debut) / 1000.0;

        QSignalSpy fin(banc.session.get(), &SessionAppel::enregistrementTermine);
        banc.session->arreter();
        banc.transcription().finir();
        QTRY_COMPARE_WITH_TIMEOUT(fin.count(), 1, 60000);
        QCOMPARE(fin.at(0).at(1).toBool(), true);

        const model::Appel* a = banc.store.etat().appel(id);
        QVERIFY(a && a->enregistrement);
        QCOMPARE(a->enregistrement->fichier, id + QStringLiteral(".mp4"));
        QVERIFY(a->enregistrement->video);
        QCOMPARE(a->enregistrement->dureeSec, 6.0);
        const QString fichier = QDir(o.dossier).filePath(a->enregistrement->fichier);
        QCOMPARE(a->enregistrement->taille, QFileInfo(fichier).size());
        QVERIFY(partiels(o.dossier).isEmpty());
        QVERIFY(video_->arretee);

        const Sonde s = sonder(fichier);
        QVERIFY(std::abs(s.duree() - (mur - 60.0)) < 0.2);
        // 90 pictures: 6 s, the last picture repeated.
        QCOMPARE((s.champs("video", {"codec_name", "width", "height", "r_frame_rate", "nb_frames"})), QStringLiteral("h264 1280 720 15/1 90"));
        QCOMPARE((s.champs("audio", {"codec_name", "sample_rate", "channels"})), QStringLiteral("aac 16000 1"));
        // Index first: the file plays while it downloads.
        QFile lu(fichier);
        QVERIFY(lu.open(QIODevice::ReadOnly));
        const QByteArray tete = lu.read(4096);
        QVERIFY(tete.indexOf("moov") >= 0 && tete.indexOf("moov") < tete.indexOf("mdat"));
    }

    // No source, a source that refuses, or one that ends before its first
    // picture (a desktop that refused to share once the file was open): a
    // recording of sound only, and the reason.
    void sonSeulSansVideo_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("avertissement");
        QTest::newRow("source absente") << "absente" << QStringLiteral("La réunion n'a pas pu être filmée : seul le son est enregistré.");
        QTest::newRow("source refusée") << "refusee" << QStringLiteral("Aucun écran n'est disponible pour filmer la réunion : "
                                                                      "seul le son est enregistré.");
        QTest::newRow("source finie sans image")
            << "finie" << QStringLiteral("Le bureau n'a pas permis de filmer l'écran : seul le son est enregistré.");
    }
    void sonSeulSansVideo()
    {
        QFETCH(QString, source);
        QFETCH(QString, avertissement);
        auto o = options();
        if (source == QLatin1String("absente"))
            o.fabriqueVideo = [] { return platform::CaptureOuRaison{}; };
        else if (source == QLatin1String("refusee"))
            video_->refus = avertissement;
        EnregistreurAppel e(QStringLiteral("a1"), o);
        QVERIFY(e.actif());
        if (source == QLatin1String("finie")) {
            QVERIFY(e.ecrivain() && e.ecrivain()->avecVideo());
            video_->surFin(avertissement);
            video_->surImage = {};
        }
        alimenter(e, 2000);
        QCOMPARE(e.avertissement(), std::optional<QString>(avertissement));
        auto r = e.arreter();
        QVERIFY(r.ok());
        QVERIFY(!r.valeur().video);
        const Sonde s = sonder(chemin("a1.mp4"));
        if (source != QLatin1String("finie"))   // the video stream was opened with the file
            QCOMPARE(s.flux.size(), 1);
        QCOMPARE(s.fluxDe(QStringLiteral("audio")).value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
        QVERIFY(std::abs(s.duree() - 2.0) < 0.15);
    }

    void plancherEspaceLibre_data()
    {
        QTest::addColumn<qint64>("libre");
        QTest::addColumn<bool>("enregistre");
        QTest::newRow("2,9 Go") << qint64(2'900'000'000LL) << false;
        QTest::newRow("un octet de moins") << qint64(2'999'999'999LL) << false;
        QTest::newRow("3 Go") << qint64(3'000'000'000LL) << true;
    }
    void plancherEspaceLibre()
    {
        QFETCH(qint64, libre);
        QFETCH(bool, enregistre);
        auto o = options(libre);
        o.video = false;
        EnregistreurAppel e(QStringLiteral("a2"), o);
        QCOMPARE(e.actif(), enregistre);
        if (enregistre) {
            QCOMPARE(e.avertissement(), std::nullopt);
            return;
        }
        QCOMPARE(e.avertissement(),
                 std::optional<QString>(QStringLiteral("Il reste moins de 3 Go sur cet ordinateur : cet appel n'est pas "
                                                       "enregistré. L'appel continue normalement. Libérez de la place pour "
                                                       "enregistrer les suivants.")));
        QVERIFY(!QFileInfo::exists(chemin("a2.mp4.partiel")));
    }

    // A writer that fails while finishing leaves nothing behind.
    void echecALaFinSansPartiel()
    {
        auto o = options();
        o.ecrivain.echecFinal = true;
        EnregistreurAppel e(QStringLiteral("a3"), o);
        QVERIFY(e.actif());
        alimenter(e, 1000);
        QVERIFY(QFileInfo::exists(chemin("a3.mp4.partiel")));
        auto r = e.arreter();
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().description(), QStringLiteral("L'enregistrement n'a pas pu être écrit sur cet ordinateur. "
                                                          "Vérifiez l'espace disque, puis réessayez."));
        QVERIFY(partiels(o.dossier).isEmpty());
        QVERIFY(!QFileInfo::exists(chemin("a3.mp4")));
    }

    void partielsOrphelinsRetires()
    {
        auto o = options();
        QDir().mkpath(o.dossier);
        for (const char* nom : {"ancien.mp4.partiel", "ancien.mp4.remux.partiel"}) {
            QFile f(chemin(QString::fromLatin1(nom)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("coupé");
        }
        QFile garde(chemin("garde.mp4"));
        QVERIFY(garde.open(QIODevice::WriteOnly));
        garde.close();
        QCOMPARE(EnregistreurAppel::nettoyerPartiels(o.dossier), 2);
        QVERIFY(partiels(o.dossier).isEmpty());
        QVERIFY(garde.exists());
    }

    // A full queue drops pictures, never sound.
    void imagesPerduesJamaisLeSon()
    {
        auto o = options();
        o.ecrivain.capaciteImages = 1;
        EnregistreurAppel e(QStringLiteral("a4"), o);
        QVERIFY(e.ecrivain() && e.ecrivain()->avecVideo());
        for (int i = 0; i < 20; ++i) {
            const auto s = ton(phase_);
            e.recevoirSon(s.data(), qsizetype(s.size()));
            for (int k = 0; k < 10; ++k)
                video_->surImage(image(i * 10 + k));
        }
        QVERIFY(e.ecrivain()->imagesPerdues() > 0);
        auto r = e.arreter();
        QVERIFY(r.ok());
        QCOMPARE(r.valeur().dureeSec, 2.0);
        QVERIFY(std::abs(sonder(chemin("a4.mp4")).duree() - 2.0) < 0.15);
    }

    void extrait_data()
    {
        QTest::addColumn<double>("debut");
        QTest::addColumn<double>("fin");
        QTest::addColumn<double>("duree");   // negative: refused
        QTest::newRow("deux secondes") << 2.0 << 4.0 << 2.0;
        QTest::newRow("depuis le début") << 0.0 << 1.5 << 1.5;
        QTest::newRow("fin avant début") << 4.0 << 2.0 << -1.0;
        QTest::newRow("au-delà du fichier") << 30.0 << 40.0 << -1.0;
    }
    void extrait()
    {
        QFETCH(double, debut);
        QFETCH(double, fin);
        QFETCH(double, duree);
        auto o = options();
        EnregistreurAppel e(QStringLiteral("a5"), o);
        alimenter(e, 6000);
        QVERIFY(e.arreter().ok());
        const QString clip = dossier_.filePath(QStringLiteral("clips/clip.mp4"));
        QFile::remove(clip);
        auto r = exporterExtrait(chemin("a5.mp4"), debut, fin, clip);
        if (duree < 0) {
            QVERIFY(!r.ok());
            QCOMPARE(r.erreur().description(), QStringLiteral("Le clip n'a pas pu être créé. Réessayez."));
            QVERIFY(!QFileInfo::exists(clip));
            QVERIFY(partiels(QFileInfo(clip).absolutePath()).isEmpty());
            return;
        }
        QVERIFY(r.ok());
        const Sonde s = sonder(clip);
        QVERIFY2(std::abs(s.duree() - duree) < 0.15, qPrintable(QString::number(s.duree())));
        QCOMPARE(s.flux.size(), 2);
    }

    // A window target: found again by application when its title changed;
    // closed before the call, or during it, the call goes on with sound (and
    // the last picture) and the warning names the window.
    void cibleFenetre_data()
    {
        QTest::addColumn<bool>("ouverte");
        QTest::addColumn<QString>("avertissement");
        QTest::newRow("ouverte puis fermée") << true << QStringLiteral("La fenêtre « Réunion hebdo — 10 h » n'est pas ouverte : "
                                                                       "seul le son est enregistré. Ouvrez la réunion avant de démarrer l'appel.");
        QTest::newRow("fermée avant l'appel") << false << QStringLiteral("La fenêtre « Réunion hebdo » n'est pas ouverte : seul le "
                                                                         "son est enregistré. Ouvrez la réunion avant de démarrer l'appel.");
    }
    void cibleFenetre()
    {
        QFETCH(bool, ouverte);
        QFETCH(QString, avertissement);
        auto o = options();
        o.cible = {QStringLiteral("fenetre"), QStringLiteral("zoom"), QStringLiteral("zoom"), QStringLiteral("Réunion hebdo")};
        QList<FenetreProposee> liste{{7, QStringLiteral("firefox"), QStringLiteral("firefox"), QStringLiteral("Recettes"), 800, 600, false}};
        if (ouverte)
            liste.prepend({42, QStringLiteral("zoom"), QStringLiteral("zoom"), QStringLiteral("Réunion hebdo — 10 h"), 1280, 800, true});
        o.listeFenetres = [liste] { return std::optional(liste); };
        quint32 filmee = 0;
        QString perte;
        auto v = video_;
        o.fabriqueFenetre = [v, &filmee, &perte](quint32 numero, const QString& raisonPerte) {
            filmee = numero;
            perte = raisonPerte;
            return platform::CaptureOuRaison{std::make_unique<FausseVideo>(v), {}};
        };
        EnregistreurAppel e(QStringLiteral("a6"), o);
        QVERIFY(e.actif());
        QStringList recus;
        e.surAvertissement([&recus](const QString& t) { recus << t; });
        alimenter(e, 1000);
        if (ouverte) {
            QCOMPARE(filmee, 42u);
            QCOMPARE(e.avertissement(), std::nullopt);
            video_->surFin(perte);   // the capture reports the window gone
            QCOMPARE(recus, QStringList{avertissement});
            video_->surImage = {};
            alimenter(e, 1000);
        } else {
            QCOMPARE(filmee, 0u);   // never the whole screen instead
        }
        QCOMPARE(e.avertissement(), std::optional<QString>(avertissement));
        auto r = e.arreter();
        QVERIFY(r.ok());
        QCOMPARE(r.valeur().video, ouverte);
        QVERIFY(std::abs(sonder(chemin("a6.mp4")).duree() - (ouverte ? 2.0 : 1.0)) < 0.15);
    }

    void extraitSansSource()
    {
        auto r = exporterExtrait(dossier_.filePath(QStringLiteral("absent.mp4")), 0, 1, dossier_.filePath(QStringLiteral("c.mp4")));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().description(), QStringLiteral("Le fichier de l'enregistrement est introuvable sur cet ordinateur."));
    }
};

QTEST_GUILESS_MAIN(TstEnregistrement)
#include "tst_enregistrement.moc"
