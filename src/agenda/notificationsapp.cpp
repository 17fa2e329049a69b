#include "notificationsapp.h"

#include "agenda/pilenotifications.h"
#include "platform/notificationsbureau.h"
#include "platform/preferences.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace vd::agenda {

NotificationsApp::NotificationsApp(Collaborateurs c, QObject* parent)
    : QObject(parent), c_(std::move(c)), livraison_([this](const NotificationPrevue& p) { return montrer(p); })
{
    if (!c_.horloge)
        c_.horloge = &platform::Horloge::instance();
    if (!c_.preferences)
        c_.preferences = &platform::Preferences::instance();
    periodique_ = c_.horloge->creerMinuterie(this);
    connect(periodique_, &platform::Minuterie::expire, this, &NotificationsApp::verifier);
    differe_ = c_.horloge->creerMinuterie(this);
    differe_->setUnique(true);
    connect(differe_, &platform::Minuterie::expire, this, &NotificationsApp::verifier);
    if (c_.bureau)
        connect(c_.bureau, &platform::NotificationsBureau::activee, this, [this](const QString& cle) {
            const auto it = parCle_.constFind(cle);
            if (it != parCle_.constEnd() && c_.ouvrir)
                c_.ouvrir(it->cible, it->objet);
        });
}

QList<TypeNotification> NotificationsApp::typesReglables()
{
    QList<TypeNotification> l = tousLesTypes();
    l.removeAll(TypeNotification::appelOublie);
    return l;
}

void NotificationsApp::demarrer()
{
    if (demarre_)
        return;
    demarre_ = true;
    // Delivered keys: a JSON object key → instant; anything unreadable starts empty.
    const QJsonObject o = QJsonDocument::fromJson(c_.preferences->valeur(cleLivrees).toString().toUtf8()).object();
    QHash<QString, QString> livrees;
    for (auto it = o.constBegin(); it != o.constEnd(); ++it)
        livrees.insert(it.key(), it.value().toString());
    livraison_.depuisPreferences(livrees);
    for (TypeNotification t : typesReglables())
        livraison_.activer(t, c_.preferences->valeur(prefixeType + nomType(t), true).toBool());
    periodique_->demarrer(periodeMs);
    programmer();
}

void NotificationsApp::programmer()
{
    if (demarre_)
        differe_->demarrer(apresEvenementMs);
}

void NotificationsApp::activer(TypeNotification t, bool actif)
{
    livraison_.activer(t, actif);
    c_.preferences->definir(prefixeType + nomType(t), actif);
}

bool NotificationsApp::bureauActif() const { return c_.preferences->valeur(cleBureau, false).toBool(); }

void NotificationsApp::activerBureau(bool actif) { c_.preferences->definir(cleBureau, actif); }

bool NotificationsApp::montrer(const NotificationPrevue& p)
{
    if (!c_.pile)
        return false;
    CarteNotification carte;
    carte.id = QStringLiteral("notif:") + p.id;
    carte.type = p.type;
    carte.titre = p.titre;
    carte.corps = p.corps;
    carte.cible = p.cible;
    carte.objet = p.objet;
    for (auto it = p.infos.cbegin(); it != p.infos.cend(); ++it)
        carte.infos.insert(it.key(), it.value());
    c_.pile->ajouter(carte);
    parCle_.insert(p.id, p);
    // The desktop copy is a courtesy: the card in the stack is what counts as delivered.
    if (c_.bureau && bureauActif() && c_.auPremierPlan && !c_.auPremierPlan())
        c_.bureau->envoyer(p.id, p.titre, p.corps);
    return true;
}

void NotificationsApp::livrer(const std::optional<Due>& d)
{
    if (d && livraison_.livrer(*d, c_.horloge->maintenant()))
        enregistrer();
}

void NotificationsApp::enregistrer()
{
    QJsonObject o;
    const QHash<QString, QString> v = livraison_.versPreferences(c_.horloge->maintenant());
    for (auto it = v.cbegin(); it != v.cend(); ++it)
        o.insert(it.key(), it.value());
    c_.preferences->definir(cleLivrees, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

void NotificationsApp::verifier()
{
    const QDateTime maintenant = c_.horloge->maintenant();
    const QString jour = QLocale::c().toString(maintenant.toTimeZone(c_.fuseau).date(), QStringLiteral("yyyy-MM-dd"));
    // The follow-ups are read only while today's card is still to come.
    if (c_.relancesDuJour && livraison_.active(TypeNotification::relances) &&
        !livraison_.livree(QStringLiteral("vd.relances.") + jour))
        livrer(regles::relances(c_.relancesDuJour(jour), maintenant, c_.fuseau));
    // The calls are read only on the review's morning, until it is delivered.
    if (const auto cle = regles::cleBilan(maintenant, c_.fuseau);
        cle && c_.appelsNotes && livraison_.active(TypeNotification::bilan) && !livraison_.livree(*cle))
        livrer(regles::bilan(c_.appelsNotes(), maintenant, c_.fuseau));
    // The team summary is asked for only in its evening hours, until delivered.
    if (c_.resumeEquipe && livraison_.active(TypeNotification::resumeEquipe) && regles::heureResume(maintenant, c_.fuseau) &&
        !livraison_.livree(regles::cleResumeEquipe(maintenant, c_.fuseau)))
        if (const auto r = c_.resumeEquipe())
            livrer(regles::resumeEquipe(*r, maintenant, c_.fuseau));
    if (c_.invitations && livraison_.active(TypeNotification::invitation))
        for (const InvitationAnnoncee& i : c_.invitations()) {
            const QString cle = QStringLiteral("vd.invitation.") + i.id;
            NotificationPrevue p{TypeNotification::invitation, cle, QStringLiteral("Invitation d'équipe"),
                                 contenu::corpsInvitation(i.invitePar, i.roleOrg), maintenant, QStringLiteral("compte"), i.id, {}, {}};
            livrer(Due{cle, p});
        }
}

void NotificationsApp::annoncerAnalyse(const QString& appelId, const std::optional<QString>& contact, std::optional<int> score)
{
    const QString cle = QStringLiteral("vd.analyse.") + appelId;
    NotificationPrevue p{TypeNotification::analyse, cle, QStringLiteral("Analyse prête"), contenu::corpsAnalyse(contact, score),
                         c_.horloge->maintenant(), QStringLiteral("analyse"), appelId, {}, {}};
    livrer(Due{cle, p});
}

void NotificationsApp::annoncerAlertesEquipe(const QStringList& appelIds, const QList<contenu::AppelAlerte>& alertes)
{
    livrer(regles::alerteEquipe(appelIds, alertes, c_.horloge->maintenant()));
}

} // namespace vd::agenda
