#include "call/fenetresproposees.h"

#include "call/detectionpartage.h"

#include <algorithm>

namespace vd::call {

namespace {

// Meeting tools' identifiers (prefixes) where the desktop gives bundle identifiers.
const QStringList bundlesReunion{QStringLiteral("us.zoom."), QStringLiteral("com.microsoft.teams"),
                                 QStringLiteral("com.cisco.webexmeetingsapp"), QStringLiteral("com.tinyspeck.slackmacgap")};
// Desktop clients known by their application's name, beyond the share-detection table's.
const QStringList appsReunion{QStringLiteral("webex"), QStringLiteral("slack")};
// A browser window is a meeting when its page is one.
const QStringList pagesReunion{QStringLiteral("meet"), QStringLiteral("zoom"), QStringLiteral("teams"), QStringLiteral("webex")};

bool contientUn(const QString& texte, const QStringList& morceaux)
{
    return std::any_of(morceaux.begin(), morceaux.end(), [&](const QString& m) { return texte.contains(m); });
}

} // namespace

model::CibleEnregistrement FenetreProposee::cible() const
{
    model::CibleEnregistrement c;
    c.type = QStringLiteral("fenetre");
    c.bundleId = bundleId;
    c.nomApp = nomApp;
    c.titre = titre;
    return c;
}

QString FenetreProposee::libelle() const
{
    if (nomApp.isEmpty() || titre.contains(nomApp, Qt::CaseInsensitive))
        return titre;
    return nomApp + QStringLiteral(" — ") + titre;
}

bool estReunion(const platform::FenetreEcran& f)
{
    const QString bundle = f.classe.toLower();
    if (std::any_of(bundlesReunion.begin(), bundlesReunion.end(), [&](const QString& b) { return bundle.startsWith(b); }))
        return true;
    const QString app = DetectionPartage::normaliser(f.proprietaire + QLatin1Char(' ') + f.classe);
    const QString titre = DetectionPartage::normaliser(f.titre);
    if (contientUn(app, appsReunion))
        return true;
    // The share-detection table names the tools: their own clients, and the browsers Meet runs in.
    for (const DetectionPartage::Indice& i : DetectionPartage::indices()) {
        if (i.source == QLatin1String("macOS") || !contientUn(app, i.apps))
            continue;
        if (i.source != QLatin1String("Meet"))
            return true;
        if (contientUn(titre, pagesReunion))
            return true;
    }
    return false;
}

QList<FenetreProposee> proposerFenetres(const QList<platform::FenetreEcran>& fenetres, qint64 pidPropre)
{
    QList<FenetreProposee> reunions, autres;
    for (const platform::FenetreEcran& f : fenetres) {
        if (f.titre.trimmed().isEmpty() || f.numero == 0 || (pidPropre != 0 && f.pid == pidPropre))
            continue;
        if ((f.largeur > 0 && f.largeur < 160) || (f.hauteur > 0 && f.hauteur < 120))
            continue;   // tool bars, notifications
        if (DetectionPartage::detecter({f}))
            continue;   // a share indicator, not the meeting
        FenetreProposee p;
        p.numero = f.numero;
        p.bundleId = f.classe;
        p.nomApp = f.classe.isEmpty() ? f.proprietaire.section(QLatin1Char(' '), -1) : f.classe;
        p.titre = f.titre.simplified();
        p.largeur = f.largeur;
        p.hauteur = f.hauteur;
        p.reunion = estReunion(f);
        (p.reunion ? reunions : autres).append(p);
    }
    return reunions + autres;
}

std::optional<FenetreProposee> retrouverFenetre(const QList<FenetreProposee>& fenetres, const model::CibleEnregistrement& cible)
{
    const auto memeApp = [&](const FenetreProposee& f) {
        if (!cible.bundleId.isEmpty())
            return f.bundleId.compare(cible.bundleId, Qt::CaseInsensitive) == 0;
        return !cible.nomApp.isEmpty() && f.nomApp.compare(cible.nomApp, Qt::CaseInsensitive) == 0;
    };
    std::optional<FenetreProposee> premiere;
    for (const FenetreProposee& f : fenetres) {
        if (!memeApp(f))
            continue;
        if (f.titre == cible.titre.simplified())
            return f;
        if (!premiere)
            premiere = f;
    }
    return premiere;
}

QString nomCible(const model::CibleEnregistrement& cible)
{
    if (!cible.titre.trimmed().isEmpty())
        return cible.titre.simplified();
    return cible.nomApp.isEmpty() ? cible.bundleId : cible.nomApp;
}

} // namespace vd::call
