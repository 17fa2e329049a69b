#include "call/captureaudio.h"
#include "call/enregistreurappel.h"
#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "model/store.h"
#include "platform/capturevideo.h"
#include "platform/dossiers.h"
#include "platform/horloge.h"

#include <QDateTime>
#include <algorithm>
#include <QDir>
#include <QEventLoop>
#include <QJsonObject>

namespace vd::app {

namespace {

std::optional<double> secondes(QString t)
{
    bool ok = false;
    const double v = t.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

} // namespace

// Records from the real sources like a call: the user's check that recording works.
int commandeEnregistrement(const QStringList& args)
{
    const QString usage = QStringLiteral("Usage : vendalo enregistrement tester [--duree SECONDES] [--video] [--fenetre TITRE]");
    if (args.value(0) != QLatin1String("tester"))
        return erreur(usage, 2);
    int duree = 10;
    bool video = false;
    std::optional<QString> fenetre;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--video")) {
            video = true;
        } else if (args[i] == QLatin1String("--fenetre") && i + 1 < args.size()) {
            fenetre = args[++i];
            video = true;
        } else if (args[i] == QLatin1String("--duree") && i + 1 < args.size()) {
            const auto s = secondes(args[++i]);
            if (!s || *s < 1 || *s > 3600)
                return erreur(QStringLiteral("La durée doit être un nombre de secondes entre 1 et 3600."), 2);
            duree = int(*s);
        } else {
            return erreur(usage, 2);
        }
    }
    call::EnregistreurAppel::Options o;
    o.dossier = platform::dossierEnregistrements();
    o.video = video;
    if (fenetre) {
        // The first open window whose title holds the text, as the pre-flight would offer it.
        const auto liste = call::EnregistreurAppel::listeSysteme()();
        if (!liste && platform::choixParLeBureau()) {
            // Wayland: the desktop's dialog asks which window, when the recording starts.
            o.cible = model::CibleEnregistrement{QStringLiteral("fenetre"), {}, {}, *fenetre};
        } else if (!liste) {
            return erreur(call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::listeIndisponible, {}}.description());
        } else {
            const auto f = std::find_if(liste->begin(), liste->end(), [&](const call::FenetreProposee& p) {
                return p.titre.contains(*fenetre, Qt::CaseInsensitive);
            });
            if (f == liste->end())
                return erreur(
                    call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::fenetreIntrouvable, *fenetre}.description());
            o.cible = f->cible();
        }
    }
    const QString nom = QStringLiteral("essai-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    call::CaptureAudio capture;
    capture.setRappel([](const QByteArray&) {});   // the capture mixes only while someone takes its blocks
    auto demarrage = capture.demarrer(2);
    if (!demarrage)
        return erreur(demarrage.erreur().description());
    auto enregistreur = std::make_shared<call::EnregistreurAppel>(nom, o);
    const auto avertissement = enregistreur->avertissement();
    if (avertissement)
        erreur(*avertissement, 0);
    if (!enregistreur->actif()) {
        capture.arreter();
        return 1;
    }
    capture.setMixage([enregistreur](const float* mono, qsizetype n) { enregistreur->recevoirSon(mono, n); });
    erreur(QStringLiteral("Enregistrement d'essai pendant %1 s…").arg(duree), 0);
    QEventLoop boucle;
    platform::Horloge::instance().apres(duree * 1000, &boucle, [&boucle] { boucle.quit(); });
    boucle.exec();
    capture.setMixage({});
    capture.arreter();
    // Said during the recording: the desktop refused, or stopped sharing.
    if (const auto plusTard = enregistreur->avertissement(); plusTard && plusTard != avertissement)
        erreur(*plusTard, 0);
    const qint64 perdues = enregistreur->ecrivain() ? enregistreur->ecrivain()->imagesPerdues() : 0;
    auto r = enregistreur->arreter();
    if (!r)
        return erreur(r.erreur().description());
    QJsonObject sortie{{QStringLiteral("fichier"), QDir(o.dossier).filePath(r.valeur().fichier)},
                       {QStringLiteral("dureeSec"), r.valeur().dureeSec},
                       {QStringLiteral("taille"), r.valeur().taille},
                       {QStringLiteral("video"), r.valeur().video},
                       {QStringLiteral("imagesPerdues"), perdues}};
    sortieJson(sortie, true);
    return 0;
}

// A clip of a call's recording, copied without re-encoding.
int commandeExtrait(const QStringList& args)
{
    if (args.size() != 4)
        return erreur(QStringLiteral("Usage : vendalo extrait APPEL_ID DEBUT FIN FICHIER.mp4"), 2);
    const auto debut = secondes(args[1]), fin = secondes(args[2]);
    if (!debut || !fin || *debut < 0 || *fin <= *debut)
        return erreur(QStringLiteral("DEBUT et FIN sont des secondes, FIN après DEBUT."), 2);
    return executerEnLecture([&](model::Store& store) {
        const model::Appel* a = store.etat().appel(args[0]);
        if (!a)
            return erreur(QStringLiteral("Aucun appel ne porte l'identifiant « %1 ».").arg(args[0]));
        if (!a->enregistrement)
            return erreur(QStringLiteral("Cet appel n'a pas d'enregistrement."));
        const QString source = QDir(platform::dossierEnregistrements()).filePath(a->enregistrement->fichier);
        auto r = call::exporterExtrait(source, *debut, *fin, args[3]);
        if (!r)
            return erreur(r.erreur().description());
        sortieJson(QJsonObject{{QStringLiteral("fichier"), QFileInfo(args[3]).absoluteFilePath()},
                               {QStringLiteral("dureeSec"), call::dureeMp4(args[3]).value_or(0.0)}},
                   true);
        return 0;
    });
}

} // namespace vd::app
