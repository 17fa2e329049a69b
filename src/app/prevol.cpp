#include "prevol.h"

#include "platform/formulation.h"
#include <QProcess>

namespace vd::app {

AutorisationsPreVol AutorisationsPreVol::construire(const QString& source, StatutMicro micro, EtatEcran ecran, bool video,
                                                    const std::optional<QString>& derniereErreur)
{
    AutorisationsPreVol a;
    if (source == QLatin1String("demo"))
        return a;
    using G = Action::Genre;
    switch (micro) {
    case StatutMicro::autorise:
        break;
    case StatutMicro::nonDetermine:
        a.lignes.append({QStringLiteral("micro"), QStringLiteral("Micro"),
                         QStringLiteral("À autoriser pour transcrire votre voix. macOS vous le demande en un clic.")});
        a.boutons.append({QStringLiteral("Autoriser le micro"), {G::demanderMicro, {}}});
        break;
    case StatutMicro::refuse:
    case StatutMicro::restreint:
        a.lignes.append({QStringLiteral("mic.slash"), QStringLiteral("Micro"),
                         QStringLiteral("Refusé. Autorisez Vendalo dans Confidentialité et sécurité, Micro.")});
        a.boutons.append({QStringLiteral("Ouvrir les réglages du micro"), {G::ouvrir, QStringLiteral("Privacy_Microphone")}});
        break;
    }
    switch (ecran) {
    case EtatEcran::autorise:
        break;
    case EtatEcran::manquant:
        a.lignes.append({QStringLiteral("rectangle.dashed.badge.record"),
                         video ? QStringLiteral("Son du Mac et vidéo") : QStringLiteral("Son du Mac"),
                         video ? QStringLiteral("Pour entendre le prospect et filmer l'écran, autorisez Vendalo dans Confidentialité et "
                                                "sécurité, Enregistrement de l'écran et de l'audio du système.")
                               : QStringLiteral("Pour entendre le prospect, autorisez Vendalo dans Confidentialité et sécurité, "
                                                "Enregistrement de l'écran et de l'audio du système.")});
        a.boutons.append({QStringLiteral("Ouvrir les réglages de l'écran"), {G::ouvrir, QStringLiteral("Privacy_ScreenCapture")}});
        break;
    case EtatEcran::aRelancer:
        a.lignes.append({QStringLiteral("arrow.clockwise"), QStringLiteral("Son du Mac"),
                         QStringLiteral("Accès accordé. Relancez Vendalo pour que macOS le prenne en compte.")});
        a.boutons.append({QStringLiteral("Relancer Vendalo"), {G::relancer, {}}});
        a.relancer = true;
        break;
    }
    if (a.boutons.size() == 1 && a.boutons.first().action.genre == G::ouvrir)
        a.boutons.first().libelle = QStringLiteral("Ouvrir Réglages Système");
    if (a.lignes.isEmpty() && derniereErreur && !derniereErreur->isEmpty())
        a.bloquant = derniereErreur;
    // Written in the Mac's words, shown in the running system's.
    for (auto& l : a.lignes) {
        l.titre = platform::formuler(l.titre);
        l.texte = platform::formuler(l.texte);
    }
    for (auto& b : a.boutons)
        b.libelle = platform::formuler(b.libelle);
    return a;
}

QString libelleCourtMicro(StatutMicro micro)
{
    return micro == StatutMicro::autorise ? QString() : QStringLiteral("Micro à autoriser");
}

QString libelleCourtEcran(EtatEcran ecran)
{
    switch (ecran) {
    case EtatEcran::autorise: return platform::formuler(QStringLiteral("Son du Mac autorisé"));
    case EtatEcran::aRelancer: return platform::formuler(QStringLiteral("Son du Mac : relancez l'app"));
    case EtatEcran::manquant: return platform::formuler(QStringLiteral("Son du Mac à autoriser"));
    }
    return {};
}

QString TextesPreVol::demo(const QString& prenom, bool avecContact)
{
    QString t = QStringLiteral("L'appel simulé rejoue une conversation de démo, avec le prénom de ") + prenom;
    t += avecContact ? QStringLiteral(". Il sera rangé dans sa fiche.") : QStringLiteral(".");
    return t;
}

void DemarrageAppel::commencer()
{
    enCours_ = true;
    erreur_.reset();
    Q_EMIT change();
}

void DemarrageAppel::reussir()
{
    enCours_ = false;
    erreur_.reset();
    Q_EMIT change();
}

void DemarrageAppel::echouer(const QString& message)
{
    enCours_ = false;
    erreur_ = message.isEmpty() ? QStringLiteral("L'appel n'a pas pu démarrer. Réessayez.") : message;
    cleErreur_ = QString::number(++compteur_) + QLatin1Char(':') + *erreur_;
    Q_EMIT change();
}

QString scriptRelance(qint64 pid, int tours)
{
    return QStringLiteral("n=0; while kill -0 %1 2>/dev/null; do n=$((n+1)); if [ $n -ge %2 ]; then exit 1; fi; sleep 0.2; done; "
                          "exec \"$0\" \"$@\"")
        .arg(pid)
        .arg(tours);
}

bool lancerRelance(qint64 pid, const QString& executable, const QStringList& arguments)
{
    QStringList args{QStringLiteral("-c"), scriptRelance(pid), executable};
    args += arguments;
    return QProcess::startDetached(QStringLiteral("/bin/sh"), args);
}

} // namespace vd::app
