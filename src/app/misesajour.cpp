#include "misesajour.h"

#include "reglesarriereplan.h"
#include "platform/dossiers.h"
#include "platform/formulation.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMisesAJour, "io.vendalo.mac.MisesAJour")

namespace vd::app {

InfoApplication InfoApplication::duProgramme()
{
    InfoApplication info;
    info.parPaquets = platform::systemeCourant() == platform::Systeme::gnuLinux;
#ifndef NDEBUG
    info.debug = true;
#endif
    QFile f(platform::dossierRessources() + QStringLiteral("/info.json"));
    if (f.open(QIODevice::ReadOnly)) {
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        info.adresseFlux = o.value(QStringLiteral("SUFeedURL")).toString().trimmed();
        info.clePublique = o.value(QStringLiteral("SUPublicEDKey")).toString().trimmed();
        const QString build = o.value(QStringLiteral("build")).toString().trimmed();
        if (!build.isEmpty())
            info.build = build;
    }
    return info;
}

std::optional<QString> raisonMisesAJourInactives(const QHash<QString, QString>& env, const InfoApplication& info)
{
    if (info.parPaquets)
        return QStringLiteral("mises à jour par le gestionnaire de paquets du système");
    for (const QString& v : ReglesArrierePlan::variablesTest())
        if (env.contains(v))
            return QStringLiteral("mode outillé (") + v + QStringLiteral(")");
    if (info.debug && !env.contains(QStringLiteral("VD_SPARKLE")))
        return QStringLiteral("build Debug (VD_SPARKLE=1 pour essayer)");
    if (info.adresseFlux.isEmpty())
        return QStringLiteral("adresse du flux absente (SUFeedURL)");
    if (info.clePublique.isEmpty())
        return QStringLiteral("clé publique EdDSA absente (SUPublicEDKey)");
    return std::nullopt;
}

ReportInstallation::ReportInstallation(platform::Horloge& horloge, double delaiSec, QObject* parent)
    : QObject(parent), horloge_(horloge), delai_(delaiSec)
{
    tache_ = horloge_.creerMinuterie(this);
    tache_->setUnique(true);
    connect(tache_, &platform::Minuterie::expire, this, &ReportInstallation::finDuDelai);
}

void ReportInstallation::executer(std::function<void()> action)
{
    if (!appelEnCours_ && !tache_->actif()) {
        action();
        return;
    }
    enAttente_.push_back(std::move(action));
}

void ReportInstallation::setAppelEnCours(bool enCours)
{
    if (appelEnCours_ == enCours)
        return;
    appelEnCours_ = enCours;
    if (enCours)
        tache_->arreter();
    else if (!enAttente_.empty())
        tache_->demarrer(int(delai_ * 1000));
}

void ReportInstallation::finDuDelai()
{
    // A call may have started during the wait: keep holding until it ends.
    if (appelEnCours_)
        return;
    auto actions = std::move(enAttente_);
    enAttente_.clear();
    for (auto& a : actions)
        a();
}

MisesAJour::MisesAJour(InfoApplication info, QHash<QString, QString> environnement, Fabrique fabrique, platform::Horloge& horloge,
                       platform::Preferences& prefs, QObject* parent)
    : QObject(parent), info_(std::move(info)), env_(std::move(environnement)), fabrique_(std::move(fabrique)), horloge_(horloge),
      prefs_(prefs), report_(horloge)
{
}

MisesAJour::~MisesAJour() = default;

void MisesAJour::demarrer()
{
    if (actif_)
        return;
    raison_ = raisonMisesAJourInactives(env_, info_);
    if (!raison_) {
        controleur_ = fabrique_ ? fabrique_() : nullptr;
        const QString erreur = controleur_ ? controleur_->demarrer() : QStringLiteral("aucun module de mise à jour sur cette plateforme");
        if (erreur.isEmpty()) {
            actif_ = true;
            qCInfo(lcMisesAJour, "Mises à jour automatiques actives (%s).", qUtf8Printable(info_.versionCourte));
        } else {
            qCWarning(lcMisesAJour).noquote() << QStringLiteral("Sparkle refuse de démarrer : ") + erreur;
            controleur_.reset();
            raison_ = erreur;
        }
    }
    if (raison_) {
        qCInfo(lcMisesAJour, "Mises à jour automatiques coupées : %s", qUtf8Printable(*raison_));
        qCDebug(lcMisesAJour).noquote() << QStringLiteral("[MisesAJour] coupées : ") + *raison_;
    }
    Q_EMIT change();
}

std::optional<QString> MisesAJour::autoriserVerification() const
{
    if (appelActif())
        return QStringLiteral("Appel en cours : vérification reportée.");
    return std::nullopt;
}

void MisesAJour::verifierMaintenant()
{
    if (!actif_ || !controleur_)
        return;
    if (const auto refus = autoriserVerification()) {
        qCInfo(lcMisesAJour).noquote() << *refus;
        return;
    }
    derniereVerification_ = horloge_.maintenant();
    controleur_->verifierMaintenant();
    Q_EMIT change();
}

void MisesAJour::surVersionPrete(const QString& version, double inactifDepuisSec, std::function<void()> installer)
{
    versionPrete_ = version;
    installerMaintenant_ = std::move(installer);
    qCInfo(lcMisesAJour, "Version %s prête, installée à la fermeture.", qUtf8Printable(version));
    if (!appelActif() && inactifDepuisSec >= 1800 && installerMaintenant_) {
        prefs_.definir(QStringLiteral("vd.demarrage.relanceDiscrete"), true);
        qCInfo(lcMisesAJour, "Installation de la version %s en arrière-plan.", qUtf8Printable(version));
        auto action = std::move(installerMaintenant_);
        installerMaintenant_ = nullptr;
        action();
    }
    Q_EMIT change();
}

void MisesAJour::installerMaintenant()
{
    if (!installerMaintenant_)
        return;
    auto action = std::move(installerMaintenant_);
    installerMaintenant_ = nullptr;
    report_.executer(std::move(action));
    Q_EMIT change();
}

void MisesAJour::plusTard()
{
    Q_EMIT change();
}

void MisesAJour::demanderRelance(std::function<void()> relancer)
{
    report_.executer(std::move(relancer));
}

void MisesAJour::surAbandon(const QString& raison)
{
    qCWarning(lcMisesAJour, "Mise à jour abandonnée : %s", qUtf8Printable(raison));
}

QString MisesAJour::texteVersion() const
{
    return QStringLiteral("Version ") + info_.versionCourte + QStringLiteral(" (build ") + info_.build + QStringLiteral(")");
}

QString MisesAJour::texteEtat() const
{
    if (!actif_)
        return info_.parPaquets ? texteParPaquets() : texteInactives();
    if (!versionPrete_)
        return {};
    if (appelActif())
        return QStringLiteral("La version ") + *versionPrete_ + QStringLiteral(" est prête. Elle s'installera à la fermeture de l'app, après votre appel.");
    return QStringLiteral("La version ") + *versionPrete_ + QStringLiteral(" est prête.");
}

} // namespace vd::app
