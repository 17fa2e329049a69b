#include "call/blocaudio.h"
#include "call/captureaudio.h"
#include "cli.h"
#include "cli_commandes.h"
#include "platform/horloge.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>

namespace vd::app {

namespace {

constexpr int kMaxSecondes = 3600;

double arrondi(double x) { return std::round(x * 1000.0) / 1000.0; }

QString barre(float niveau)
{
    const int plein = std::clamp(int(std::lround(double(niveau) * 20.0)), 0, 20);
    return QString(plein, QChar(0x2588)) + QString(20 - plein, QChar(0x00B7));
}

void ligne(const QString& t)
{
    const QByteArray b = t.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

QByteArray enteteWav(quint32 octetsDonnees)
{
    QByteArray h(44, '\0');
    auto* p = reinterpret_cast<uchar*>(h.data());
    std::memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(36 + octetsDonnees, p + 4);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);       // PCM
    qToLittleEndian<quint16>(2, p + 22);       // vous, prospect
    qToLittleEndian<quint32>(16000, p + 24);
    qToLittleEndian<quint32>(16000 * 4, p + 28);
    qToLittleEndian<quint16>(4, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    std::memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(octetsDonnees, p + 40);
    return h;
}

// Blocks handed from the capture's thread to the main thread.
struct Reception {
    QMutex verrou;
    QByteArray enAttente;
};

int tester(const QStringList& args)
{
    int secondes = 10;
    QString cheminWav;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--duree") && i + 1 < args.size()) {
            bool ok = false;
            const double d = args[++i].toDouble(&ok);
            if (!ok || !std::isfinite(d) || d < 1 || d > kMaxSecondes)
                return erreur(QStringLiteral("Durée invalide : « %1 ». Indiquez un nombre de secondes entre 1 et %2.")
                                  .arg(args[i])
                                  .arg(kMaxSecondes),
                              2);
            secondes = int(std::lround(d));
        } else if (a == QLatin1String("--wav") && i + 1 < args.size()) {
            cheminWav = args[++i];
        } else {
            return erreur(QStringLiteral("Utilisation : vendalo audio tester [--duree SECONDES] [--wav FICHIER]"), 2);
        }
    }

    std::unique_ptr<QSaveFile> wav;
    if (!cheminWav.isEmpty()) {
        wav = std::make_unique<QSaveFile>(cheminWav);
        if (!wav->open(QIODevice::WriteOnly) || wav->write(enteteWav(0)) != 44)
            return erreur(QStringLiteral("Impossible d'écrire « %1 » : %2").arg(cheminWav, wav->errorString()));
    }

    QEventLoop boucle;
    auto reception = std::make_shared<Reception>();
    QStringList sourcesPerdues;
    call::CaptureAudio capture;
    capture.setRappel([reception, avecWav = bool(wav)](const QByteArray& bloc) {
        if (!avecWav)
            return;
        QMutexLocker l(&reception->verrou);
        reception->enAttente += bloc;
    });
    capture.setSurFin([&boucle, &sourcesPerdues](const QString& source) {
        QMetaObject::invokeMethod(&boucle, [&sourcesPerdues, source] {
            sourcesPerdues << source;
            ligne(source == QLatin1String("micro") ? QStringLiteral("Le micro s'est arrêté ; le test continue sans lui.")
                                                   : QStringLiteral("Le son du système s'est arrêté ; le test continue sans lui."));
        });
    });
    auto demarrage = capture.demarrer(2);
    if (!demarrage) {
        if (wav)
            wav->cancelWriting();
        return erreur(demarrage.erreur().description());
    }
    const auto [peripheriqueMicro, peripheriqueSysteme] = capture.peripheriques();
    ligne(QStringLiteral("Test audio pendant %1 s — micro : %2 ; son du système : %3")
              .arg(secondes)
              .arg(peripheriqueMicro, peripheriqueSysteme));

    quint64 octetsWav = 0;
    bool echecEcriture = false;
    auto vider = [&] {
        QByteArray b;
        {
            QMutexLocker l(&reception->verrou);
            b.swap(reception->enAttente);
        }
        if (!wav || b.isEmpty() || echecEcriture)
            return;
        if (wav->write(b) != b.size())
            echecEcriture = true;
        octetsWav += quint64(b.size());
    };

    // Every 100 ms, as the call window does; one line a second with the
    // highest level of that second.
    platform::Horloge& horloge = platform::Horloge::instance();
    platform::Minuterie* minuterie = horloge.creerMinuterie(&boucle);
    int tics = 0;
    float maxVous = 0, maxProspect = 0;
    QObject::connect(minuterie, &platform::Minuterie::expire, &boucle, [&] {
        const auto [vous, prospect] = capture.niveaux();
        maxVous = std::max(maxVous, vous);
        maxProspect = std::max(maxProspect, prospect);
        if (++tics % 10 != 0)
            return;
        ligne(QStringLiteral("%1 s  vous %2 %3   prospect %4 %5")
                  .arg(tics / 10, 3)
                  .arg(barre(maxVous))
                  .arg(double(maxVous), 0, 'f', 2)
                  .arg(barre(maxProspect))
                  .arg(double(maxProspect), 0, 'f', 2));
        maxVous = maxProspect = 0;
        vider();
        if (tics >= secondes * 10)
            boucle.quit();
    });
    minuterie->demarrer(call::kPeriodeTicMs);
    boucle.exec();
    minuterie->arreter();
    capture.arreter();
    vider();

    const auto st = capture.statistiques();
    auto canal = [&st](int c) {
        return QJsonObject{{QStringLiteral("crete"), arrondi(double(st.crete[size_t(c)]))},
                           {QStringLiteral("moyenne"), st.blocs ? arrondi(st.somme[size_t(c)] / double(st.blocs)) : 0.0},
                           {QStringLiteral("echantillonsCompletes"), double(st.completes[size_t(c)])}};
    };
    QJsonObject bilan{{QStringLiteral("duree"), secondes},
                      {QStringLiteral("blocs"), double(st.blocs)},
                      {QStringLiteral("echantillonsParCanal"), double(st.echantillons)},
                      {QStringLiteral("vous"), canal(0)},
                      {QStringLiteral("prospect"), canal(1)},
                      {QStringLiteral("peripheriques"), QJsonObject{{QStringLiteral("micro"), peripheriqueMicro},
                                                                    {QStringLiteral("sonSysteme"), peripheriqueSysteme}}},
                      {QStringLiteral("sourcesPerdues"), QJsonArray::fromStringList(sourcesPerdues)}};
    if (wav) {
        if (!echecEcriture && octetsWav <= 0xffffffffull - 36) {
            wav->seek(0);
            echecEcriture = wav->write(enteteWav(quint32(octetsWav))) != 44;
        } else {
            echecEcriture = true;
        }
        if (echecEcriture || !wav->commit()) {
            const QString raison = wav->errorString();
            wav->cancelWriting();
            sortieJson(bilan);
            return erreur(QStringLiteral("Impossible d'écrire « %1 » : %2").arg(cheminWav, raison));
        }
        bilan.insert(QStringLiteral("wav"), cheminWav);
    }
    sortieJson(bilan);
    return 0;
}

} // namespace

int commandeAudio(const QStringList& args)
{
    if (args.value(0) != QLatin1String("tester"))
        return erreur(QStringLiteral("Utilisation : vendalo audio tester [--duree SECONDES] [--wav FICHIER]"), 2);
    return tester(args.mid(1));
}

} // namespace vd::app
