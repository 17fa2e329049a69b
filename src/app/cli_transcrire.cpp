// vendalo transcrire FICHIER.wav [--moteur soniox|deepgram] [--langue fr] [--vite]
// Streams a 16 kHz WAV file through the chosen engine (channel 0: the
// salesperson, channel 1: the prospect) and prints each final segment as
// one JSON line.
#include "call/moteurtranscription.h"
#include "cli.h"
#include "cli_commandes.h"
#include "model/store.h"
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace vd::app {

namespace {

// What the header says; the PCM itself is then read block by block as it is sent.
struct Wav {
    int canaux = 0;
    qint64 reste = -1;   // PCM bytes left to read; -1: up to the end of the file (a streamed WAV)
};

constexpr qint64 enteteMax = qint64(1) << 20;   // chunks before the audio, at most

QByteArray lireExact(QIODevice& f, qint64 n)
{
    QByteArray r;
    while (r.size() < n) {
        const QByteArray m = f.read(std::min<qint64>(n - r.size(), qint64(1) << 16));
        if (m.isEmpty())
            break;
        r += m;
    }
    return r;
}

// What a refused file actually is: "8 bits, 44 100 Hz stéréo".
QString descriptionFormat(quint16 genre, quint16 canaux, quint32 frequence, quint16 bits)
{
    const QLocale fr(QLocale::French, QLocale::France);
    QString d = genre == 3 ? QStringLiteral("virgule flottante %1 bits").arg(bits)
              : (genre == 1 || genre == 0xFFFE) ? QStringLiteral("%1 bits").arg(bits)
                                                 : QStringLiteral("un format compressé");
    QString hz = fr.toString(frequence);
    hz.replace(fr.groupSeparator(), QStringLiteral(" "));
    d += QStringLiteral(", ") + hz + QStringLiteral(" Hz ");
    d += canaux == 1 ? QStringLiteral("mono") : canaux == 2 ? QStringLiteral("stéréo") : QStringLiteral("%1 canaux").arg(canaux);
    return d;
}

// RIFF/WAVE, PCM 16-bit, 16 kHz, one or two channels; the reason otherwise. Reads the header
// only, in order, so a pipe or a device works as well as a file, and nothing is held whole.
Resultat<Wav, QString> ouvrirWav(QIODevice& f, const QString& chemin)
{
    const QString illisible = QStringLiteral("« %1 » n'est pas un fichier WAV lisible.").arg(chemin);
    const QByteArray tete = lireExact(f, 12);
    if (tete.size() < 12 || !tete.startsWith("RIFF") || tete.mid(8, 4) != "WAVE")
        return echec(illisible);
    Wav w;
    bool format = false;
    qint64 lu = 12;
    for (;;) {
        const QByteArray h = lireExact(f, 8);
        if (h.size() < 8)
            return echec(illisible);
        const QByteArray id = h.left(4);
        const quint32 taille = qFromLittleEndian<quint32>(h.constData() + 4);
        lu += 8;
        if (id == "data") {
            if (!format)
                return echec(illisible);
            w.reste = taille == 0xFFFFFFFFu ? -1 : qint64(taille);
            return w;
        }
        const qint64 corps = qint64(taille) + (taille & 1);
        lu += corps;
        if (lu > enteteMax)
            return echec(illisible);
        const QByteArray c = lireExact(f, corps);
        if (c.size() < corps)
            return echec(illisible);
        if (id == "fmt ") {
            if (taille < 16)
                return echec(illisible);
            const char* p = c.constData();
            const quint16 genre = qFromLittleEndian<quint16>(p);
            const quint16 canaux = qFromLittleEndian<quint16>(p + 2);
            const quint32 frequence = qFromLittleEndian<quint32>(p + 4);
            const quint16 bits = qFromLittleEndian<quint16>(p + 14);
            if ((genre != 1 && genre != 0xFFFE) || bits != 16 || frequence != 16000 || canaux < 1 || canaux > 2)
                return echec(QStringLiteral("Le fichier doit être en PCM 16 bits à 16 000 Hz, mono ou stéréo ; celui-ci est en %1.")
                                 .arg(descriptionFormat(genre, canaux, frequence, bits)));
            w.canaux = canaux;
            format = true;
        }
    }
}

QJsonObject versJson(const call::SegmentLive& s)
{
    QJsonObject o{{QStringLiteral("locuteur"), s.locuteur},
                  {QStringLiteral("texte"), s.texte},
                  {QStringLiteral("debutMs"), s.debutMs},
                  {QStringLiteral("finMs"), s.finMs}};
    if (s.interlocuteur)
        o.insert(QStringLiteral("interlocuteur"), *s.interlocuteur);
    return o;
}

} // namespace

int commandeTranscrire(const QStringList& args)
{
    const QString usage = QStringLiteral("Utilisation : vendalo transcrire FICHIER.wav [--moteur soniox|deepgram] [--langue fr] [--vite]");
    QString chemin, moteurTexte, langue;
    bool vite = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--moteur") && i + 1 < args.size())
            moteurTexte = args[++i];
        else if (a == QLatin1String("--langue") && i + 1 < args.size())
            langue = args[++i].trimmed();
        else if (a == QLatin1String("--vite"))
            vite = true;
        else if (!a.startsWith(QLatin1String("--")) && chemin.isEmpty())
            chemin = a;
        else
            return erreur(usage, 2);
    }
    if (chemin.isEmpty())
        return erreur(usage, 2);

    // Defaults come from the user's settings.
    model::Store store(model::Store::cheminPrincipal(), model::Store::Acces::lecture);
    const model::Reglages& reglages = store.etat().reglages;
    const auto moteur = call::idMoteurDepuisTexte(moteurTexte.isEmpty() ? reglages.transcription.moteur : moteurTexte);
    if (!moteur)
        return erreur(QStringLiteral("Moteur inconnu : « %1 ». Choisissez soniox ou deepgram.").arg(moteurTexte), 2);
    if (langue.isEmpty())
        langue = reglages.langue.isEmpty() ? QStringLiteral("fr") : reglages.langue;

    if (QFileInfo(chemin).isDir())
        return erreur(QStringLiteral("« %1 » n'est pas un fichier WAV lisible.").arg(chemin));
    QFile fichier;
    const bool ouvert = chemin == QLatin1String("-") ? fichier.open(stdin, QIODevice::ReadOnly)
                                                     : (fichier.setFileName(chemin), fichier.open(QIODevice::ReadOnly));
    if (!ouvert)
        return erreur(QStringLiteral("Impossible d'ouvrir « %1 » : %2").arg(chemin, fichier.errorString()));
    auto wav = ouvrirWav(fichier, chemin);
    if (!wav)
        return erreur(wav.erreur());

    call::ContexteTranscription contexte;
    const bool cle = !platform::Coffre::instance().lire(call::texteIdMoteur(*moteur)).value_or(QString()).trimmed().isEmpty();
    contexte.source = cle ? ai::SourceIA::cle : ai::SourceIA::demo;
    if (!cle && *moteur == call::IdMoteur::deepgram && !call::adresseRelais(reglages.relais).isEmpty()) {
        contexte.source = ai::SourceIA::relais;
        contexte.relais = reglages.relais;
    }
    auto engine = call::creerMoteurTranscription(*moteur, contexte);

    const int canaux = wav.valeur().canaux;
    qint64 reste = wav.valeur().reste;
    const qint64 bloc = 3200 * canaux;   // 100 ms
    QByteArray report;                   // a partial frame waiting for its end
    int code = 0;
    QObject contexteQt;
    platform::Minuterie* rythme = platform::Horloge::instance().creerMinuterie(&contexteQt);

    const auto envoyerBloc = [&] {
        QByteArray b = report + (reste == 0 ? QByteArray() : lireExact(fichier, reste < 0 ? bloc : std::min(bloc, reste)));
        if (reste > 0)
            reste -= b.size() - report.size();
        const bool fin = b.size() == report.size();
        const qsizetype entier = b.size() - b.size() % (2 * canaux);
        report = b.mid(entier);
        b.truncate(entier);
        if (fin || b.isEmpty()) {
            rythme->arreter();
            engine->terminer();
            return false;
        }
        engine->envoyer(b);
        return true;
    };
    QObject::connect(rythme, &platform::Minuterie::expire, &contexteQt, [&] { envoyerBloc(); });
    QObject::connect(engine.get(), &call::MoteurTranscriptionBase::ouvert, &contexteQt, [&](quint64) {
        if (vite) {
            while (envoyerBloc()) {
            }
        } else {
            rythme->demarrer(100);
        }
    });
    QObject::connect(engine.get(), &call::MoteurTranscriptionBase::segment, &contexteQt, [](const call::SegmentLive& s, quint64) {
        if (s.final)   // one JSON object per line
            sortieTexte(QString::fromUtf8(QJsonDocument(versJson(s)).toJson(QJsonDocument::Compact)));
    });
    QObject::connect(engine.get(), &call::MoteurTranscriptionBase::echecDemarrage, &contexteQt, [&](const QString& m, quint64) {
        code = erreur(m);
        QCoreApplication::exit(code);
    });
    QObject::connect(engine.get(), &call::MoteurTranscriptionBase::etat, &contexteQt, [&](const QString& e, quint64) {
        if (e == QLatin1String("coupee")) {
            rythme->arreter();
            code = erreur(QStringLiteral("La transcription est coupée. Vérifiez votre connexion, puis relancez la commande."));
            QCoreApplication::exit(code);
        }
    });
    QObject::connect(engine.get(), &call::MoteurTranscriptionBase::termine, &contexteQt, [&](quint64) { QCoreApplication::exit(code); });

    call::ParametresTranscription p;
    p.moteur = call::texteIdMoteur(*moteur);
    p.langue = langue;
    p.canaux = canaux;
    p.sonioxEurope = reglages.transcription.sonioxEurope;
    p.demo = contexte.source == ai::SourceIA::demo;
    engine->demarrer(p);
    const int retour = QCoreApplication::exec();
    engine.reset();
    return retour;
}

} // namespace vd::app
