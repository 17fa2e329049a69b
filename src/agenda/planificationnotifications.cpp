#include "agenda/planificationnotifications.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QTimeZone>
#include <cmath>

namespace vd::agenda {

namespace {

const QList<std::pair<TypeNotification, QString>>& noms()
{
    static const QList<std::pair<TypeNotification, QString>> liste{
        {TypeNotification::relances, QStringLiteral("relances")},       {TypeNotification::bilan, QStringLiteral("bilan")},
        {TypeNotification::analyse, QStringLiteral("analyse")},         {TypeNotification::brief, QStringLiteral("brief")},
        {TypeNotification::commentaire, QStringLiteral("commentaire")}, {TypeNotification::rapport, QStringLiteral("rapport")},
        {TypeNotification::alerteEquipe, QStringLiteral("alerteEquipe")}, {TypeNotification::resumeEquipe, QStringLiteral("resumeEquipe")},
        {TypeNotification::invitation, QStringLiteral("invitation")},   {TypeNotification::appelOublie, QStringLiteral("appelOublie")},
    };
    return liste;
}

QString pluriel(qint64 n, const QString& mot) { return QString::number(n) + QLatin1Char(' ') + mot + (n > 1 ? QStringLiteral("s") : QString()); }

QString entier(double v) { return QString::number(qint64(std::llround(v))); }

// ", stable", ", en hausse de 3 points", ", en baisse de 1 point"; empty without a change.
QString evolution(std::optional<double> e, bool avecStable)
{
    if (!e)
        return {};
    const qint64 points = std::llround(*e);
    if (points == 0)
        return avecStable ? QStringLiteral(", stable") : QString();
    return (points > 0 ? QStringLiteral(", en hausse de ") : QStringLiteral(", en baisse de ")) +
           pluriel(std::abs(points), QStringLiteral("point"));
}

QString listeFrancaise(const QStringList& noms)
{
    if (noms.size() <= 1)
        return noms.value(0);
    return QStringList(noms.mid(0, noms.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" et ") + noms.last();
}

QDateTime local(const QDateTime& t, const QTimeZone& fuseau) { return t.toTimeZone(fuseau); }

// Daily and weekly announcements come from 9:00, local time.
constexpr int heureAnnonces = 9;

} // namespace

QString nomType(TypeNotification t)
{
    for (const auto& [type, nom] : noms())
        if (type == t)
            return nom;
    return {};
}

std::optional<TypeNotification> typeDepuisNom(const QString& nom)
{
    for (const auto& [type, n] : noms())
        if (n == nom)
            return type;
    return std::nullopt;
}

QList<TypeNotification> tousLesTypes()
{
    QList<TypeNotification> l;
    for (const auto& [type, nom] : noms())
        l << type;
    return l;
}

QString libelleType(TypeNotification t)
{
    switch (t) {
    case TypeNotification::relances: return QStringLiteral("Relances du jour");
    case TypeNotification::bilan: return QStringLiteral("Bilan de la semaine");
    case TypeNotification::analyse: return QStringLiteral("Analyse prête");
    case TypeNotification::brief: return QStringLiteral("Brief avant rendez-vous");
    case TypeNotification::commentaire: return QStringLiteral("Commentaires de votre manager");
    case TypeNotification::rapport: return QStringLiteral("Rapport de l'équipe");
    case TypeNotification::alerteEquipe: return QStringLiteral("Appels de l'équipe à regarder");
    case TypeNotification::resumeEquipe: return QStringLiteral("Résumé du jour de l'équipe");
    case TypeNotification::invitation: return QStringLiteral("Invitations d'équipe");
    case TypeNotification::appelOublie: return QStringLiteral("Appel resté ouvert");
    }
    return {};
}

// --- Texts -----------------------------------------------------------------------

namespace contenu {

QString corpsBilan(const Bilan& b)
{
    QString s = QStringLiteral("Score moyen ") + entier(b.moyenne) + QStringLiteral(" sur 100") + evolution(b.evolution, true) +
                QStringLiteral(". ");
    s += b.appels == 1 ? QStringLiteral("1 appel analysé cette semaine.")
                       : QString::number(b.appels) + QStringLiteral(" appels analysés cette semaine.");
    return s;
}

QString corpsAnalyse(const std::optional<QString>& contact, std::optional<int> score)
{
    QString s = contact && !contact->isEmpty() ? QStringLiteral("Appel avec ") + *contact : QStringLiteral("Votre appel");
    if (score)
        s += QStringLiteral(" : ") + QString::number(*score) + QStringLiteral(" sur 100");
    return s + QStringLiteral(". Le coaching et l'email de suivi vous attendent.");
}

QString corpsCommentaire(const std::optional<QString>& contact)
{
    return QStringLiteral("Un commentaire ") + (contact && !contact->isEmpty() ? QStringLiteral("sur votre appel avec ") + *contact
                                                                               : QStringLiteral("sur l'un de vos appels"));
}

QString corpsRapport(int appels, std::optional<double> score, std::optional<double> evo)
{
    QString s = appels <= 0 ? QStringLiteral("aucun appel") : pluriel(appels, QStringLiteral("appel"));
    if (score)
        s += QStringLiteral(", score moyen ") + entier(*score) + QStringLiteral(" sur 100") + evolution(evo, false);
    return s + QStringLiteral(". La synthèse et le détail par commercial vous attendent.");
}

QString corpsAlerteEquipe(const QList<AppelAlerte>& alertes)
{
    if (alertes.isEmpty())
        return {};
    QString s;
    if (alertes.size() == 1) {
        const AppelAlerte& a = alertes.first();
        s = a.membre.value_or(QStringLiteral("Un membre de l'équipe"));
        if (a.contact)
            s += QStringLiteral(" avec ") + *a.contact;
        s += QStringLiteral(" : un appel à regarder");
    } else {
        const std::optional<QString> membre = alertes.first().membre;
        const bool unSeul = membre && std::all_of(alertes.begin(), alertes.end(), [&membre](const AppelAlerte& a) { return a.membre == membre; });
        s = unSeul ? QString::number(alertes.size()) + QStringLiteral(" appels ") + QStringLiteral("de ") + *membre +
                         QStringLiteral(" méritent votre attention")
                   : QString::number(alertes.size()) + QStringLiteral(" appels de l'équipe à regarder");
    }
    const qint64 chaudes = std::count_if(alertes.begin(), alertes.end(), [](const AppelAlerte& a) { return a.chaud; });
    if (chaudes > 0)
        s += QStringLiteral(", dont ") + pluriel(chaudes, QStringLiteral("affaire")) + (chaudes > 1 ? QStringLiteral(" chaudes") : QStringLiteral(" chaude"));
    return s;
}

QString corpsResumeEquipe(int appels, int aRegarder, std::optional<double> score, std::optional<double> partFramework)
{
    QStringList parties{aRegarder > 0 ? pluriel(aRegarder, QStringLiteral("appel")) + QStringLiteral(" à regarder dans Équipe")
                                      : pluriel(appels, QStringLiteral("appel")) + QStringLiteral(" de l'équipe sans alerte aujourd'hui")};
    if (score)
        parties << QStringLiteral("score moyen ") + entier(*score) + QStringLiteral(" sur 100");
    if (partFramework)
        parties << QStringLiteral("Framework suivi à ") + entier(*partFramework) + QStringLiteral(" %");
    return parties.join(QStringLiteral(" — ")) + QStringLiteral(".");
}

QString corpsInvitation(const std::optional<QString>& invitePar, const QString& roleOrg)
{
    const QString role = roleOrg == QLatin1String("manager")      ? QStringLiteral("Manager")
                         : roleOrg == QLatin1String("commercial") ? QStringLiteral("Commercial")
                                                                  : QStringLiteral("Membre");
    const QString debut = invitePar && !invitePar->isEmpty() ? *invitePar + QStringLiteral(" vous invite comme ") + role + QStringLiteral(".")
                                                             : QStringLiteral("Vous êtes invité comme ") + role + QStringLiteral(".");
    return debut + QStringLiteral(" Voyez ce qui change, puis rejoignez l'équipe en un clic.");
}

QString corpsBrief(qint64 secondesRestantes, const QString& titre, const std::optional<QString>& contact)
{
    const qint64 minutes = std::max<qint64>(qint64(std::ceil(double(secondesRestantes) / 60.0)), 0);
    QString s = QStringLiteral("Dans ") + QString::number(minutes) + QStringLiteral(" min : ") +
                (titre.trimmed().isEmpty() ? QStringLiteral("Votre rendez-vous") : titre.trimmed());
    if (contact && !contact->isEmpty())
        s += QStringLiteral(" avec ") + *contact;
    return s + QStringLiteral(". Un clic pour préparer votre brief.");
}

QString corpsRelances(const QList<RelanceDuJour>& relances)
{
    if (relances.isEmpty())
        return {};
    if (relances.size() == 1) {
        const RelanceDuJour& r = relances.first();
        return r.contact + (r.enRetard ? QStringLiteral(", en retard") : QString()) +
               (r.messagePret ? QStringLiteral(" : votre message de relance est prêt") : QString()) + QStringLiteral(".");
    }
    // Late ones first; a long list names three and counts the others.
    QList<RelanceDuJour> ordre = relances;
    std::stable_sort(ordre.begin(), ordre.end(), [](const RelanceDuJour& a, const RelanceDuJour& b) { return a.enRetard && !b.enRetard; });
    constexpr int nommes = 3;
    QStringList noms;
    for (qsizetype i = 0; i < ordre.size() && i < nommes; ++i)
        noms << ordre[i].contact + (ordre[i].enRetard ? QStringLiteral(" (en retard)") : QString());
    if (ordre.size() <= nommes)
        return listeFrancaise(noms) + QStringLiteral(".");
    return noms.join(QStringLiteral(", ")) + QStringLiteral(" et ") + pluriel(ordre.size() - nommes, QStringLiteral("autre")) +
           QStringLiteral(".");
}

} // namespace contenu

// --- Rules -----------------------------------------------------------------------

namespace regles {

std::optional<QString> cleBilan(const QDateTime& maintenant, const QTimeZone& fuseau)
{
    // Monday from 9:00: the week that ended.
    const QDateTime ici = local(maintenant, fuseau);
    if (ici.date().dayOfWeek() != Qt::Monday || ici.time().hour() < heureAnnonces)
        return std::nullopt;
    int annee = 0;
    const int numero = ici.date().weekNumber(&annee);
    return QStringLiteral("vd.bilan.%1-W%2").arg(annee).arg(numero, 2, 10, QLatin1Char('0'));
}

std::optional<Due> bilan(const QList<AppelNote>& appels, const QDateTime& maintenant, const QTimeZone& fuseau)
{
    const std::optional<QString> cle = cleBilan(maintenant, fuseau);
    if (!cle)
        return std::nullopt;
    constexpr qint64 semaine = 604800;
    double somme = 0, sommeAvant = 0;
    int n = 0, nAvant = 0;
    for (const AppelNote& a : appels) {
        const qint64 age = a.analyseLe.secsTo(maintenant);
        if (age < 0)
            continue;
        if (age < semaine) {
            somme += a.score;
            ++n;
        } else if (age < 2 * semaine) {
            sommeAvant += a.score;
            ++nAvant;
        }
    }
    if (n == 0)
        return std::nullopt;
    contenu::Bilan b{n, somme / n, nAvant > 0 ? std::optional<double>(somme / n - sommeAvant / nAvant) : std::nullopt, std::nullopt};
    NotificationPrevue p{TypeNotification::bilan, *cle, QStringLiteral("Bilan de la semaine"), contenu::corpsBilan(b), maintenant,
                         QStringLiteral("tableau"), std::nullopt, {}, {}};
    return Due{*cle, p};
}

std::optional<Due> relances(const QList<contenu::RelanceDuJour>& liste, const QDateTime& maintenant, const QTimeZone& fuseau)
{
    const QDateTime ici = local(maintenant, fuseau);
    if (liste.isEmpty() || ici.time().hour() < heureAnnonces)
        return std::nullopt;
    const QString cle = QStringLiteral("vd.relances.") + QLocale::c().toString(ici.date(), QStringLiteral("yyyy-MM-dd"));
    NotificationPrevue p{TypeNotification::relances, cle, QStringLiteral("Relances du jour"), contenu::corpsRelances(liste), maintenant,
                         QStringLiteral("crm-relances"), std::nullopt, {}, {}};
    return Due{cle, p};
}

std::optional<Due> brief(const RendezVous& rdv, bool briefPret, const QDateTime& maintenant)
{
    if (briefPret || !rdv.contact || !rdv.debut.isValid())
        return std::nullopt;
    const qint64 restant = maintenant.secsTo(rdv.debut);
    if (restant <= 0 || restant > 600)
        return std::nullopt;
    // A meeting moved to another time gets its own reminder.
    const QString cle = QStringLiteral("vd.brief.%1.%2.%3").arg(rdv.fournisseur, rdv.id).arg(rdv.debut.toSecsSinceEpoch());
    NotificationPrevue p;
    p.type = TypeNotification::brief;
    p.id = cle;
    p.titre = QStringLiteral("Brief avant rendez-vous");
    p.corps = contenu::corpsBrief(restant, rdv.titre, rdv.contact);
    p.date = rdv.debut.addSecs(-600);
    p.cible = QStringLiteral("brief-rdv");
    p.objet = rdv.id;
    p.infos = {{QStringLiteral("titre"), rdv.titre},
               {QStringLiteral("evenementId"), rdv.id},
               {QStringLiteral("fournisseur"), rdv.fournisseur},
               {QStringLiteral("debut"), rdv.debut.toUTC().toString(Qt::ISODate)},
               {QStringLiteral("lienVisio"), rdv.lienVisio.value_or(QString())}};
    return Due{cle, p};
}

bool heureResume(const QDateTime& maintenant, const QTimeZone& fuseau)
{
    const int h = local(maintenant, fuseau).time().hour();
    return h >= 18 && h <= 22;
}

QString cleResumeEquipe(const QDateTime& maintenant, const QTimeZone& fuseau)
{
    return QStringLiteral("vd.resumeEquipe.") + QLocale::c().toString(local(maintenant, fuseau).date(), QStringLiteral("yyyy-MM-dd"));
}

std::optional<Due> resumeEquipe(const ResumeEquipe& r, const QDateTime& maintenant, const QTimeZone& fuseau)
{
    if (!heureResume(maintenant, fuseau) || r.appels <= 0)
        return std::nullopt;
    const QString cle = cleResumeEquipe(maintenant, fuseau);
    NotificationPrevue p{TypeNotification::resumeEquipe, cle, QStringLiteral("Résumé du jour de l'équipe"),
                         contenu::corpsResumeEquipe(r.appels, r.aRegarder, r.score, r.partFramework), maintenant,
                         QStringLiteral("equipe"), std::nullopt, {}, {}};
    return Due{cle, p};
}

std::optional<Due> alerteEquipe(const QStringList& appelIds, const QList<contenu::AppelAlerte>& alertes, const QDateTime& maintenant)
{
    if (appelIds.isEmpty() || alertes.isEmpty())
        return std::nullopt;
    QStringList ids = appelIds;
    ids.sort();
    const QString cle = QStringLiteral("vd.alerteEquipe.") +
                        QString::fromLatin1(QCryptographicHash::hash(ids.join(QLatin1Char(',')).toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    NotificationPrevue p{TypeNotification::alerteEquipe, cle, QStringLiteral("Appels à regarder"), contenu::corpsAlerteEquipe(alertes),
                         maintenant, QStringLiteral("equipe"), ids.size() == 1 ? std::optional(ids.first()) : std::nullopt, {}, {}};
    return Due{cle, p};
}

} // namespace regles

// --- Delivery --------------------------------------------------------------------

bool LivraisonNotifications::livrer(const Due& due, const QDateTime& maintenant)
{
    if (!due.prevue || !active(due.prevue->type))
        return false;
    if (livrees_.contains(due.cle))
        return false;
    for (const QString& ancien : due.prevue->anciensIds)
        if (livrees_.contains(ancien))
            return false;
    // Recorded only once shown: a card that could not be shown comes back at the next check.
    if (!montrer_ || !montrer_(*due.prevue))
        return false;
    livrees_.insert(due.cle, maintenant);
    return true;
}

QHash<QString, QString> LivraisonNotifications::versPreferences(const QDateTime& maintenant) const
{
    QHash<QString, QString> v;
    for (auto it = livrees_.cbegin(); it != livrees_.cend(); ++it)
        if (it.value().daysTo(maintenant) <= 60)
            v.insert(it.key(), it.value().toUTC().toString(Qt::ISODate));
    return v;
}

void LivraisonNotifications::depuisPreferences(const QHash<QString, QString>& valeurs)
{
    livrees_.clear();
    for (auto it = valeurs.cbegin(); it != valeurs.cend(); ++it) {
        const QDateTime t = QDateTime::fromString(it.value(), Qt::ISODate);
        if (t.isValid())
            livrees_.insert(it.key(), t);
    }
}

} // namespace vd::agenda
