#include "call/detectionpartage.h"

#include "platform/horloge.h"

#include <QCoreApplication>
#include <algorithm>

namespace vd::call {

const QList<DetectionPartage::Indice>& DetectionPartage::indices()
{
    static const QList<Indice> liste{
        {QStringLiteral("Zoom"),
         {QStringLiteral("zoom")},
         {QStringLiteral("share toolbar"), QStringLiteral("share statusbar"), QStringLiteral("sharing toolbar"), QStringLiteral("zoom share"),
          QStringLiteral("you are screen sharing"), QStringLiteral("vous partagez"), QStringLiteral("partage d'ecran en cours"),
          QStringLiteral("barre d'outils de partage")}},
        {QStringLiteral("Teams"),
         {QStringLiteral("teams")},
         {QStringLiteral("sharing control bar"), QStringLiteral("barre de controle du partage"), QStringLiteral("you're sharing"),
          QStringLiteral("you are sharing"), QStringLiteral("vous partagez"), QStringLiteral("partage en cours")}},
        {QStringLiteral("Meet"),
         {QStringLiteral("chrome"), QStringLiteral("edge"), QStringLiteral("brave"), QStringLiteral("arc"), QStringLiteral("safari"),
          QStringLiteral("firefox"), QStringLiteral("opera"), QStringLiteral("vivaldi"), QStringLiteral("chromium")},
         {QStringLiteral("meet.google.com is sharing"), QStringLiteral("meet.google.com partage"), QStringLiteral("is sharing your screen"),
          QStringLiteral("is sharing a window"), QStringLiteral("is sharing your entire screen"), QStringLiteral("partage votre ecran"),
          QStringLiteral("partage une fenetre"), QStringLiteral("partage votre fenetre"), QStringLiteral("sharing this tab to meet"),
          QStringLiteral("partage de cet onglet avec meet")}},
        {QStringLiteral("macOS"),
         {QStringLiteral("screensharingagent"), QStringLiteral("screen sharing agent"), QStringLiteral("agent de partage d'ecran")},
         {QStringLiteral("sharing"), QStringLiteral("partage")}},
    };
    return liste;
}

QString DetectionPartage::normaliser(const QString& texte)
{
    const QString decompose = texte.normalized(QString::NormalizationForm_KD);
    QString sortie;
    sortie.reserve(decompose.size());
    for (const QChar c : decompose) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        // Typographic apostrophes read as the plain one.
        sortie.append(c == QChar(0x2019) || c == QChar(0x2018) ? QChar(u'\'') : c.toLower());
    }
    return sortie.simplified();
}

std::optional<QString> DetectionPartage::detecter(const QList<platform::FenetreEcran>& fenetres)
{
    const qint64 soi = QCoreApplication::applicationPid();
    for (const platform::FenetreEcran& f : fenetres) {
        // Our own windows (the prompter says "partage" too) never count.
        if (f.proprietaire.isEmpty() || f.titre.isEmpty() || f.pid == soi)
            continue;
        const QString app = normaliser(f.proprietaire);
        const QString titre = normaliser(f.titre);
        for (const Indice& i : indices()) {
            const auto contient = [](const QString& texte, const QStringList& morceaux) {
                return std::any_of(morceaux.begin(), morceaux.end(), [&texte](const QString& m) { return texte.contains(m); });
            };
            if (contient(app, i.apps) && contient(titre, i.titres))
                return i.source;
        }
    }
    return std::nullopt;
}

DetectionPartage::DetectionPartage(platform::LecteurFenetres& lecteur, platform::Horloge& horloge, std::function<bool()> actif,
                                   QObject* parent)
    : QObject(parent), lecteur_(lecteur), actif_(std::move(actif)), minuteur_(horloge.creerMinuterie(this))
{
    connect(minuteur_, &platform::Minuterie::expire, this, &DetectionPartage::examiner);
}

void DetectionPartage::demarrer()
{
    // The timer first: a first look that finds the list unreadable stops it.
    minuteur_->demarrer(2000);
    examiner();
}

void DetectionPartage::arreter()
{
    minuteur_->arreter();
    publier(std::nullopt);
}

void DetectionPartage::examiner()
{
    if (actif_ && !actif_()) {
        publier(std::nullopt);
        return;
    }
    const auto fenetres = lecteur_.lire();
    if (!fenetres) {
        // Nothing to see here: stop asking, and say so once.
        minuteur_->arreter();
        const bool change = disponible_ || source_;
        disponible_ = false;
        source_.reset();
        if (change)
            Q_EMIT this->change();
        return;
    }
    publier(detecter(*fenetres));
}

void DetectionPartage::publier(std::optional<QString> source)
{
    if (source == source_)
        return;
    source_ = std::move(source);
    Q_EMIT change();
}

} // namespace vd::call
