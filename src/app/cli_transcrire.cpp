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
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace vd::app {

namespace {

struct Wav {
    int canaux = 0;
    QByteArray pcm;
};

// RIFF/WAVE, PCM 16-bit, 16 kHz, one or two channels; the reason otherwise.
Resultat<Wav, QString> lireWav(const QString& chemin)
{
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return echec(QStringLiteral("Impossible d'ouvrir « %1 » : %2").arg(chemin, f.errorString()));
    const QByteArray d = f.readAll();
    const QString illisible = QStringLiteral("« %1 » n'est pas un fichier WAV lisible.").arg(chemin);
    if (d.size() < 12 || !d.startsWith("RIFF") || d.mid(8, 4) != "WAVE")
        return echec(illisible);
    Wav w;
    bool format = false;
    qsizetype pos = 12;
    while (pos + 8 <= d.size()) {
        const QByteArray id = d.mid(pos, 4);
        const quint32 taille = qFromLittleEndian<quint32>(d.constData() + pos + 4);
        const qsizetype debut = pos + 8;
        if (taille > quint32(d.size() - debut) && id != "data")
            return echec(illisible);
        if (id == "fmt ") {
            if (taille < 16)
                return echec(illisible);
            const char* p = d.constData() + debut;
            const quint16 genre = qFromLittleEndian<quint16>(p);
            const quint16 canaux = qFromLittleEndian<quint16>(p + 2);
            const quint32 frequence = qFromLittleEndian<quint32>(p + 4);
            const quint16 bits = qFromLittleEndian<quint16>(p + 14);
            if ((genre != 1 && genre != 0xFFFE) || bits != 16 || frequence != 16000 || canaux < 1 || canaux > 2)
                return echec(QStringLiteral("Le fichier doit être en PCM 16 bits à 16 000 Hz, mono ou stéréo."));
            w.canaux = canaux;
            format = true;
        } else if (id == "data") {
            if (!format)
                return echec(illisible);
            w.pcm = d.mid(debut, std::min<qsizetype>(taille, d.size() - debut));
            w.pcm.truncate(w.pcm.size() - w.pcm.size() % (2 * w.canaux));
            return w;
        }
        pos = debut + taille + (taille & 1);
    }
    return echec(illisible);
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

    auto wav = lireWav(chemin);
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

    const QByteArray pcm = wav.valeur().pcm;
    const int canaux = wav.valeur().canaux;
    const qsizetype bloc = 3200 * canaux;   // 100 ms
    qsizetype envoye = 0;
    int code = 0;
    QObject contexteQt;
    platform::Minuterie* rythme = platform::Horloge::instance().creerMinuterie(&contexteQt);

    const auto envoyerBloc = [&] {
        if (envoye >= pcm.size()) {
            rythme->arreter();
            engine->terminer();
            return false;
        }
        engine->envoyer(pcm.mid(envoye, bloc));
        envoye += bloc;
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
