// "vendalo commenter" and "vendalo equipe …": team coaching from the command
// line, through the same object as the app (the signed-in account's session).
#include "cliasync.h"
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/clientprogramme.h"
#include "cloud/compte.h"
#include "platform/preferences.h"
#include "team/coachingequipe.h"

#include <QDate>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>

namespace vd::app {

namespace {

const QString usageCommenter = QStringLiteral("Usage : vendalo commenter APPEL_ID TEXTE [--a SECONDES]");
const QString usageEquipe = QStringLiteral(
    "Utilisation : vendalo equipe alertes | equipe classement [--periode JOURS] | equipe objectifs [--semaine AAAA-MM-JJ] | "
    "equipe objectif TYPE CIBLE [--commercial COMPTE_ID] | equipe epingler APPEL_ID [--note TEXTE] | equipe nonlus | "
    "equipe commentaires APPEL_ID");

// Runs f with the coaching object of the signed-in account, or says why not.
template<typename F>
int avecCoaching(F f)
{
    const cloud::ClientProgramme acces;
    if (!acces.client())
        return erreur(cloud::Compte::erreurModeLocal().message, 1);
    if (!acces.client()->connecte())
        return erreur(cloud::messages::sessionAbsente, 1);
    team::CoachingEquipe coaching(acces.client(), platform::Preferences::instance());
    return f(coaching);
}

int echecCoaching(const QString& message) { return erreur(message.isEmpty() ? team::textes::generique : message, 1); }

// "83", "83,5" or "1:23" (minutes and seconds): milliseconds, none when unreadable.
std::optional<qint64> lireMoment(const QString& t)
{
    bool ok = false;
    const QStringList parties = t.trimmed().split(QLatin1Char(':'));
    if (parties.size() == 2) {
        const int m = parties[0].toInt(&ok);
        if (!ok || m < 0)
            return std::nullopt;
        const int s = parties[1].toInt(&ok);
        if (!ok || s < 0 || s > 59 || parties[1].size() != 2)
            return std::nullopt;
        return qint64(m * 60 + s) * 1000;
    }
    const double s = QString(t.trimmed()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || s < 0 || s > 86'400 * 7)
        return std::nullopt;
    return qint64(s * 1000 + 0.5);
}

int equipeClassement(const QStringList& args)
{
    int jours = 30;
    if (!args.isEmpty()) {
        bool ok = false;
        if (args.size() != 2 || args[0] != QLatin1String("--periode"))
            return erreur(usageEquipe, 2);
        jours = args[1].toInt(&ok);
        if (!ok || jours < 1 || jours > 365)
            return erreur(QStringLiteral("La période est un nombre de jours de 1 à 365."), 2);
    }
    return avecCoaching([jours](team::CoachingEquipe& c) {
        const auto r = attendre(c.chargerClassement(jours));
        if (!r.ok())
            return echecCoaching(r.erreur());
        sortieJson(c.classements().value(jours).versJson());
        return 0;
    });
}

int equipeObjectifs(const QStringList& args)
{
    std::optional<QString> semaine;
    if (!args.isEmpty()) {
        if (args.size() != 2 || args[0] != QLatin1String("--semaine"))
            return erreur(usageEquipe, 2);
        if (!QDate::fromString(args[1], QStringLiteral("yyyy-MM-dd")).isValid())
            return erreur(QStringLiteral("La semaine est un jour au format AAAA-MM-JJ, par exemple 2026-03-02."), 2);
        semaine = args[1];
    }
    return avecCoaching([&semaine](team::CoachingEquipe& c) {
        const auto r = attendre(c.chargerObjectifs(semaine));
        if (!r.ok())
            return echecCoaching(r.erreur());
        sortieJson(c.objectifs()->versJson());
        return 0;
    });
}

QJsonValue texteOuNull(const std::optional<QString>& t) { return t ? QJsonValue(*t) : QJsonValue(); }

// "equipe objectif TYPE CIBLE [--commercial COMPTE_ID]": for the current week.
int equipeObjectif(const QStringList& args)
{
    team::ObjectifSaisi saisi;
    QStringList positions;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--commercial")) {
            if (i + 1 >= args.size())
                return erreur(usageEquipe, 2);
            saisi.compteId = args[++i];
        } else {
            positions.append(args[i]);
        }
    }
    if (positions.size() != 2)
        return erreur(usageEquipe, 2);
    const QStringList types{QStringLiteral("questions_par_appel"), QStringLiteral("part_parole_max"), QStringLiteral("score_moyen"),
                            QStringLiteral("appels_semaine"), QStringLiteral("competence")};
    if (!types.contains(positions[0]))
        return erreur(QStringLiteral("Type d'objectif inconnu : « %1 ». Types : %2.").arg(positions[0], types.join(QStringLiteral(", "))), 2);
    bool ok = false;
    saisi.type = positions[0];
    saisi.cible = QString(positions[1]).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || saisi.cible <= 0)
        return erreur(QStringLiteral("La cible est un nombre positif, par exemple 5 ou 4,5."), 2);
    return avecCoaching([&saisi](team::CoachingEquipe& c) {
        const auto r = attendre(c.fixerObjectif(saisi));
        if (!r.ok())
            return echecCoaching(r.erreur());
        sortieJson(QJsonObject{{QStringLiteral("id"), r.valeur().id},
                               {QStringLiteral("libelle"), r.valeur().libelle},
                               {QStringLiteral("semaine"), r.valeur().semaine},
                               {QStringLiteral("compte_id"), texteOuNull(r.valeur().compteId)},
                               {QStringLiteral("message"), team::textes::objectifFixe(r.valeur().libelle)}});
        return 0;
    });
}

// "equipe epingler APPEL_ID [--note TEXTE]": the pin, created or its note updated.
int equipeEpingler(const QStringList& args)
{
    QString note;
    QStringList positions;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--note")) {
            if (i + 1 >= args.size())
                return erreur(usageEquipe, 2);
            note = args[++i].trimmed();
        } else {
            positions.append(args[i]);
        }
    }
    if (positions.size() != 1 || positions[0].trimmed().isEmpty())
        return erreur(usageEquipe, 2);
    if (team::CoachingEquipe::longueur(note) > team::CoachingEquipe::maxNote)
        return erreur(team::textes::noteTropLongue, 2);
    return avecCoaching([&](team::CoachingEquipe& c) {
        const auto r = attendre(c.epingler(positions[0].trimmed(), note));
        if (!r.ok())
            return echecCoaching(r.erreur());
        const team::AppelExemplaire& e = r.valeur();
        sortieJson(QJsonObject{{QStringLiteral("appel_id"), e.appelId},
                               {QStringLiteral("note"), texteOuNull(e.note)},
                               {QStringLiteral("epingle_par"), texteOuNull(e.epinglePar)},
                               {QStringLiteral("epingle_par_nom"), texteOuNull(e.epingleParNom)},
                               {QStringLiteral("epingle_le"), e.epingleLe ? QJsonValue(e.epingleLe->toString(Qt::ISODateWithMs)) : QJsonValue()},
                               {QStringLiteral("message"), team::textes::noteEnregistree}});
        return 0;
    });
}

// "equipe nonlus": the user's calls with comments not read yet (kept for the next run).
int equipeNonLus(const QStringList& args)
{
    if (!args.isEmpty())
        return erreur(usageEquipe, 2);
    return avecCoaching([](team::CoachingEquipe& c) {
        const auto r = attendre(c.rafraichirNonLus());
        if (!r.ok())
            return echecCoaching(r.erreur());
        QStringList ids(c.commentairesNonLus().begin(), c.commentairesNonLus().end());
        ids.sort();
        sortieJson(QJsonObject{{QStringLiteral("appels"), QJsonArray::fromStringList(ids)}, {QStringLiteral("depuis"), texteOuNull(c.marque())}});
        return 0;
    });
}

// "equipe commentaires APPEL_ID": the call's comments, oldest first; the call is then read.
int equipeCommentaires(const QStringList& args)
{
    if (args.size() != 1 || args[0].trimmed().isEmpty())
        return erreur(usageEquipe, 2);
    const QString id = args[0].trimmed();
    return avecCoaching([&id](team::CoachingEquipe& c) {
        const auto r = attendre(c.chargerCommentaires(id));
        if (!r.ok())
            return echecCoaching(r.erreur());
        QJsonArray l;
        for (const team::CommentaireAppel& x : c.commentairesDe(id))
            l.append(x.versJson());
        sortieJson(l);
        return 0;
    });
}

} // namespace

int commandeCommenter(const QStringList& args)
{
    QStringList positions;
    std::optional<qint64> tMs;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--a")) {
            if (i + 1 >= args.size())
                return erreur(usageCommenter, 2);
            tMs = lireMoment(args[++i]);
            if (!tMs)
                return erreur(QStringLiteral("Le moment de l'appel est un nombre de secondes (83) ou des minutes et secondes (1:23)."), 2);
        } else {
            positions.append(args[i]);
        }
    }
    if (positions.size() != 2 || positions[0].trimmed().isEmpty())
        return erreur(usageCommenter, 2);
    if (const auto refus = team::CoachingEquipe::verifierCommentaire(positions[1]))
        return erreur(*refus, 2);
    return avecCoaching([&](team::CoachingEquipe& c) {
        const auto r = attendre(c.commenter(positions[0].trimmed(), positions[1], tMs));
        if (!r.ok())
            return echecCoaching(r.erreur());
        sortieJson(r.valeur().versJson());
        return 0;
    });
}

int commandeEquipe(const QStringList& args)
{
    const QString sous = args.value(0);
    const QStringList reste = args.mid(1);
    if (sous == QLatin1String("alertes"))
        return commandeEquipeAlertes(reste);
    if (sous == QLatin1String("classement"))
        return equipeClassement(reste);
    if (sous == QLatin1String("objectifs"))
        return equipeObjectifs(reste);
    if (sous == QLatin1String("objectif"))
        return equipeObjectif(reste);
    if (sous == QLatin1String("epingler"))
        return equipeEpingler(reste);
    if (sous == QLatin1String("nonlus"))
        return equipeNonLus(reste);
    if (sous == QLatin1String("commentaires"))
        return equipeCommentaires(reste);
    return erreur(usageEquipe, 2);
}

} // namespace vd::app
