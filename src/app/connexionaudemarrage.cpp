#include "connexionaudemarrage.h"

#include "platform/dossiers.h"
#include "platform/formulation.h"

#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcDemarrage, "vd.app.demarrage")

namespace vd::app {

namespace {

QString echapperExec(const QString& chemin)
{
    QString e = chemin;
    e.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + e + QLatin1Char('"');
}

} // namespace

ServiceDemarrageXdg::ServiceDemarrageXdg(QString executable, QString fichier) : executable_(std::move(executable)), fichier_(std::move(fichier))
{
    if (fichier_.isEmpty())
        fichier_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/vendalo.desktop");
}

StatutDemarrage ServiceDemarrageXdg::statut() const
{
    QFile f(fichier_);
    if (!f.open(QIODevice::ReadOnly))
        return StatutDemarrage::nonInscrit;
    const QString texte = QString::fromUtf8(f.readAll());
    // A user who set Hidden=true in the entry has turned it off.
    if (texte.contains(QLatin1String("\nHidden=true")))
        return StatutDemarrage::nonInscrit;
    return StatutDemarrage::inscrit;
}

QString ServiceDemarrageXdg::inscrire()
{
    const QString contenu = QStringLiteral(
                                "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Vendalo\n"
                                "Comment=L'assistant des appels de vente\n"
                                "Exec=%1 %2\n"
                                "Icon=vendalo\n"
                                "Terminal=false\n"
                                "X-GNOME-Autostart-enabled=true\n")
                                .arg(echapperExec(executable_), argumentLancement());
    return platform::ecrireAtomique(fichier_, contenu.toUtf8());
}

QString ServiceDemarrageXdg::desinscrire()
{
    if (!QFile::exists(fichier_))
        return {};
    QFile f(fichier_);
    return f.remove() ? QString() : f.errorString();
}

QString ServiceDemarrageFactice::inscrire()
{
    appels.append(QStringLiteral("inscrire"));
    if (echec)
        return *echec;
    statutCourant = StatutDemarrage::inscrit;
    return {};
}

QString ServiceDemarrageFactice::desinscrire()
{
    appels.append(QStringLiteral("desinscrire"));
    if (echec)
        return *echec;
    statutCourant = StatutDemarrage::nonInscrit;
    return {};
}

ConnexionAuDemarrage::ConnexionAuDemarrage(ServiceDemarrage& service, platform::Preferences& defaults, QObject* parent)
    : QObject(parent), service_(service), defaults_(defaults), statut_(service.statut())
{
}

void ConnexionAuDemarrage::appliquerDefaut()
{
    const QString cle = QStringLiteral("vd.demarrage.defautApplique");
    if (defaults_.contient(cle))
        return;
    definir(true);
    defaults_.definir(cle, true);
}

void ConnexionAuDemarrage::definir(bool actif)
{
    const QString raison = actif ? service_.inscrire() : service_.desinscrire();
    if (raison.isEmpty()) {
        erreur_.reset();
    } else {
        qCWarning(lcDemarrage) << "ouverture de session :" << raison;
        erreur_ = platform::formuler(actif ? QStringLiteral("macOS n'a pas pu ajouter Vendalo à l'ouverture de session. Réessayez, ou ajoutez-le dans "
                                         "Réglages Système, Général, Ouverture.")
                        : QStringLiteral("macOS n'a pas pu retirer Vendalo de l'ouverture de session. Retirez-le dans Réglages "
                                         "Système, Général, Ouverture."));
    }
    statut_ = service_.statut();
    Q_EMIT change();
}

void ConnexionAuDemarrage::relire()
{
    statut_ = service_.statut();
    Q_EMIT change();
}

} // namespace vd::app
