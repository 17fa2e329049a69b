// vd-test: timeout=120
// `vendalo transcrire` end to end: the real program, its stream threads and
// the system clock, against the fake services of this process.
#include "call/moteurtranscription.h"
#include "fakes/fauxdeepgram.h"
#include "fakes/fauxsoniox.h"
#include "commun_transcription.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using vd::fakes::FauxDeepgram;
using vd::fakes::FauxSoniox;

namespace {

QByteArray wav(int canaux, int ms, qint16 gauche, qint16 droite)
{
    QByteArray pcm;
    for (int i = 0; i < ms * 16; ++i) {
        pcm.append(reinterpret_cast<const char*>(&gauche), 2);
        if (canaux == 2)
            pcm.append(reinterpret_cast<const char*>(&droite), 2);
    }
    QByteArray h("RIFF");
    const auto u32 = [&](quint32 v) { h.append(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](quint16 v) { h.append(reinterpret_cast<const char*>(&v), 2); };
    u32(36 + pcm.size());
    h.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(canaux);
    u32(16000);
    u32(16000 * 2 * canaux);
    u16(2 * canaux);
    u16(16);
    h.append("data");
    u32(pcm.size());
    return h + pcm;
}

struct Sortie {
    int code = -1;
    QList<QJsonObject> lignes;
    QString erreur;
};

} // namespace

class TestTranscrire : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    QString ecrire(const QString& nom, const QByteArray& octets)
    {
        const QString chemin = dossier.filePath(nom);
        QFile f(chemin);
        f.open(QIODevice::WriteOnly);
        f.write(octets);
        return chemin;
    }

    Sortie lancer(const QStringList& args, const QMap<QString, QString>& env, const QByteArray& cles)
    {
        QDir().mkpath(dossier.filePath("config/Vendalo"));
        QFile f(dossier.filePath("config/Vendalo/identifiants.json"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(cles);
        f.close();
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("HOME", dossier.path());
        e.insert("XDG_CONFIG_HOME", dossier.filePath("config"));
        e.insert("XDG_DATA_HOME", dossier.filePath("data"));
        e.insert("VD_COFFRE", "fichier");
        for (auto it = env.begin(); it != env.end(); ++it)
            e.insert(it.key(), it.value());
        p.setProcessEnvironment(e);
        p.start(VD_VENDALO_BIN, QStringList{"transcrire"} + args);
        Sortie s;
        if (!p.waitForStarted(10000))
            return s;
        // The fake services answer from this thread's event loop while the program runs.
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
            p.kill();
            p.waitForFinished();
            return s;
        }
        s.code = p.exitCode();
        for (const QByteArray& l : p.readAllStandardOutput().split('\n'))
            if (!l.trimmed().isEmpty())
                s.lignes.append(QJsonDocument::fromJson(l).object());
        s.erreur = QString::fromUtf8(p.readAllStandardError()).trimmed();
        return s;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dossier.isValid()); }

    void sonioxStereo()
    {
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.programmer(false, 500, QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Bonjour", 100, 600, true), FauxSoniox::fin()}}});
        serveur.programmer(true, 1000, QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Oui", 1000, 1200, true, 0),
                                                                          FauxSoniox::jeton(" bonjour", 1200, 1400, true, 0),
                                                                          FauxSoniox::jeton(" monsieur", 1400, 1600, true, 0),
                                                                          FauxSoniox::fin()}}});
        serveur.reponsesFin = {QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Merci", 2000, 2400, true, 3)}}}};
        const QString f = ecrire("stereo.wav", wav(2, 3000, 1000, -1000));
        const Sortie s = lancer({f, "--moteur", "soniox", "--langue", "en", "--vite"}, {{"VD_URL_SONIOX", serveur.url().toString()}},
                                R"({"soniox":"cle-cli"})");
        QVERIFY2(s.code == 0, qPrintable(s.erreur));
        VERIFIER_SANS_ANOMALIE(serveur);
        QCOMPARE(serveur.nombreConnexions(), 2);
        const int v = vd::test::indexVous(serveur);
        QCOMPARE(serveur.configuration(v)["api_key"].toString(), QStringLiteral("cle-cli"));
        QCOMPARE(serveur.configuration(v)["language_hints"].toArray(), QJsonArray{"en"});
        // Channel 0 reached the salesperson's stream, channel 1 the prospect's, whole.
        QCOMPARE(serveur.connexion(v).audio.size(), 96000);
        QCOMPARE(serveur.connexion(1 - v).audio.size(), 96000);
        QCOMPARE(qFromLittleEndian<qint16>(serveur.connexion(v).audio.constData() + 1000), qint16(1000));
        QCOMPARE(qFromLittleEndian<qint16>(serveur.connexion(1 - v).audio.constData() + 1000), qint16(-1000));
        QVERIFY(serveur.connexion(0).finRecue && serveur.connexion(1).finRecue);

        QCOMPARE(s.lignes.size(), 4);   // the last "Merci" arrives on both streams at the end
        QVERIFY(s.lignes.contains(QJsonObject{{"locuteur", "vous"}, {"texte", "Bonjour"}, {"debutMs", 100}, {"finMs", 600}}));
        QVERIFY(s.lignes.contains(
            QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 1}, {"texte", "Oui bonjour monsieur"}, {"debutMs", 1000}, {"finMs", 1600}}));
        QVERIFY(s.lignes.contains(QJsonObject{{"locuteur", "vous"}, {"texte", "Merci"}, {"debutMs", 2000}, {"finMs", 2400}}));
        QVERIFY(s.lignes.contains(
            QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 1}, {"texte", "Merci"}, {"debutMs", 2000}, {"finMs", 2400}}));
    }

    void deepgramStereo()
    {
        FauxDeepgram serveur;
        QVERIFY(serveur.demarrer());
        serveur.autorisationAttendue = "Token cle-dg";
        serveur.programmer(500, FauxDeepgram::resultat(0, "Bonjour.", 0.1, 0.5, true));
        serveur.programmer(1000, FauxDeepgram::resultat(1, "Oui bonjour monsieur", 1.0, 0.9, true, FauxDeepgram::mots("Oui bonjour monsieur", 1.0, 4)));
        serveur.programmer(1500, FauxDeepgram::resultat(1, "Et moi aussi", 2.0, 0.9, true, FauxDeepgram::mots("Et moi aussi", 2.0, 2)));
        const QString f = ecrire("stereo.wav", wav(2, 2000, 7, 9));
        const Sortie s = lancer({f, "--moteur", "deepgram", "--vite"}, {{"VD_URL_DEEPGRAM", serveur.url().toString()}},
                                R"({"deepgram":"cle-dg"})");
        QVERIFY2(s.code == 0, qPrintable(s.erreur));
        VERIFIER_SANS_ANOMALIE(serveur);
        QCOMPARE(serveur.connexion(0).audio.size(), 128000);
        QCOMPARE(serveur.connexion(0).textes.last(), QStringLiteral("{\"type\":\"CloseStream\"}"));
        QCOMPARE(s.lignes,
                 (QList<QJsonObject>{QJsonObject{{"locuteur", "vous"}, {"texte", "Bonjour."}, {"debutMs", 100}, {"finMs", 600}},
                                     QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 1}, {"texte", "Oui bonjour monsieur"}, {"debutMs", 1000}, {"finMs", 1900}},
                                     QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 2}, {"texte", "Et moi aussi"}, {"debutMs", 2000}, {"finMs", 2900}}}));
    }

    void sonioxMonoEnTempsReel()
    {
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.programmer(true, 300, QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Allô", 0, 300, true, 1), FauxSoniox::fin()}}});
        const QString f = ecrire("mono.wav", wav(1, 600, 5, 0));
        const Sortie s = lancer({f, "--moteur", "soniox"}, {{"VD_URL_SONIOX", serveur.url().toString()}}, R"({"soniox":"k"})");
        QVERIFY2(s.code == 0, qPrintable(s.erreur));
        QCOMPARE(serveur.nombreConnexions(), 1);
        QCOMPARE(serveur.connexion(0).taillesAudio, (QList<int>{3200, 3200, 3200, 3200, 3200, 3200}));
        QCOMPARE(s.lignes, QList<QJsonObject>{(QJsonObject{{"locuteur", "vous"}, {"texte", "Allô"}, {"debutMs", 0}, {"finMs", 300}})});
    }

    void echecs_data()
    {
        QTest::addColumn<QByteArray>("fichier");   // empty: no file written, the arguments as given
        QTest::addColumn<QByteArray>("cles");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QByteArray k(R"({"soniox":"k"})");
        const QStringList soniox{"--moteur", "soniox"};
        QTest::newRow("sans clé") << wav(2, 100, 0, 0) << QByteArray("{}") << soniox << 1
                                  << "Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé.";
        QTest::newRow("pas un wav") << QByteArray("bonjour") << k << soniox << 1 << "n'est pas un fichier WAV lisible.";
        QByteArray autreFrequence = wav(1, 100, 0, 0);
        qToLittleEndian<quint32>(44100, autreFrequence.data() + 24);
        QTest::newRow("44,1 kHz") << autreFrequence << k << soniox << 1
                                  << "Le fichier doit être en PCM 16 bits à 16 000 Hz, mono ou stéréo ; celui-ci est en 16 bits, 44 100 Hz mono.";
        QByteArray huitBits = wav(2, 100, 0, 0);
        qToLittleEndian<quint32>(44100, huitBits.data() + 24);
        qToLittleEndian<quint16>(8, huitBits.data() + 34);
        QTest::newRow("8 bits") << huitBits << k << soniox << 1
                                << "Le fichier doit être en PCM 16 bits à 16 000 Hz, mono ou stéréo ; celui-ci est en 8 bits, 44 100 Hz stéréo.";
        QByteArray flottant = wav(2, 100, 0, 0);
        qToLittleEndian<quint16>(3, flottant.data() + 20);
        qToLittleEndian<quint16>(32, flottant.data() + 34);
        QTest::newRow("flottant") << flottant << k << soniox << 1 << "celui-ci est en virgule flottante 32 bits, 16 000 Hz stéréo.";
        QTest::newRow("en-tête tronqué") << wav(1, 100, 0, 0).left(30) << k << soniox << 1 << "n'est pas un fichier WAV lisible.";
        QTest::newRow("clé refusée") << wav(1, 100, 0, 0) << QByteArray(R"({"soniox":"mauvaise"})") << soniox << 1
                                     << "La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre projet (Europe ou monde).";
        // A device that never ends: the header decides, nothing is read whole.
        QTest::newRow("périphérique") << QByteArray() << k << QStringList{"/dev/zero", "--moteur", "soniox"} << 1
                                      << "« /dev/zero » n'est pas un fichier WAV lisible.";
        QTest::newRow("moteur inconnu") << QByteArray() << QByteArray("{}") << QStringList{"--moteur", "autre", "x.wav"} << 2
                                        << "Moteur inconnu : « autre ». Choisissez soniox ou deepgram.";
    }
    void echecs()
    {
        QFETCH(QByteArray, fichier);
        QFETCH(QByteArray, cles);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.cleAttendue = "k";
        if (!fichier.isEmpty())
            args.prepend(ecrire("entree.wav", fichier));
        const Sortie s = lancer(args, {{"VD_URL_SONIOX", serveur.url().toString()}}, cles);
        QCOMPARE(s.code, code);
        QVERIFY2(s.erreur.endsWith(message), qPrintable(s.erreur));
        QVERIFY(s.lignes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTranscrire)
#include "tst_transcription_cli.moc"
