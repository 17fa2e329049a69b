#include "agenda/rapprochement.h"

#include <algorithm>

namespace vd::agenda {

QString emailNormalise(const QString& email)
{
    QString r;
    r.reserve(email.size());
    for (const QChar c : email)
        if (!c.isSpace())
            r.append(c.toLower());
    return r;
}

bool emailUtilisable(const QString& n)
{
    const int i = n.indexOf(QLatin1Char('@'));
    return i > 0 && n.lastIndexOf(QLatin1Char('@')) < n.size() - 1;
}

QString domaineEmail(const QString& n)
{
    if (!emailUtilisable(n))
        return {};
    return n.mid(n.lastIndexOf(QLatin1Char('@')) + 1);
}

const QSet<QString>& domainesGrandPublic()
{
    static const QSet<QString> d{
        // International webmail.
        QStringLiteral("gmail.com"), QStringLiteral("googlemail.com"), QStringLiteral("yahoo.com"),
        QStringLiteral("yahoo.fr"), QStringLiteral("ymail.com"), QStringLiteral("hotmail.com"),
        QStringLiteral("hotmail.fr"), QStringLiteral("outlook.com"), QStringLiteral("outlook.fr"),
        QStringLiteral("live.com"), QStringLiteral("live.fr"), QStringLiteral("msn.com"),
        QStringLiteral("icloud.com"), QStringLiteral("me.com"), QStringLiteral("mac.com"),
        QStringLiteral("aol.com"), QStringLiteral("protonmail.com"), QStringLiteral("proton.me"),
        QStringLiteral("gmx.com"), QStringLiteral("gmx.fr"), QStringLiteral("gmx.de"),
        QStringLiteral("mail.com"), QStringLiteral("zoho.com"), QStringLiteral("yandex.com"),
        QStringLiteral("tutanota.com"), QStringLiteral("fastmail.com"),
        // French providers' mail.
        QStringLiteral("orange.fr"), QStringLiteral("wanadoo.fr"), QStringLiteral("free.fr"),
        QStringLiteral("sfr.fr"), QStringLiteral("neuf.fr"), QStringLiteral("laposte.net"),
        QStringLiteral("bbox.fr"), QStringLiteral("numericable.fr"), QStringLiteral("club-internet.fr"),
        QStringLiteral("aliceadsl.fr"), QStringLiteral("noos.fr"), QStringLiteral("cegetel.net"),
    };
    return d;
}

bool domaineGrandPublic(const QString& domaine)
{
    return domainesGrandPublic().contains(domaine.toLower());
}

namespace {

// Most recent activity first, then the smaller id: the same winner whatever the order.
bool prefere(const model::Contact& a, const model::Contact& b)
{
    const QString& da = a.majLe.isEmpty() ? a.creeLe : a.majLe;
    const QString& db = b.majLe.isEmpty() ? b.creeLe : b.majLe;
    if (da != db)
        return da > db;
    return a.id < b.id;
}

} // namespace

IndexContacts::IndexContacts(const QList<model::Contact>& contacts)
{
    parEmail_.reserve(contacts.size());
    QHash<QString, const model::Contact*> meilleurEmail, meilleurDomaine;
    for (const model::Contact& c : contacts) {
        const QString e = emailNormalise(c.email);
        if (!emailUtilisable(e))
            continue;
        auto& m = meilleurEmail[e];
        if (!m || prefere(c, *m))
            m = &c;
        const QString d = domaineEmail(e);
        if (!d.contains(QLatin1Char('.')) || domaineGrandPublic(d))
            continue;
        auto& md = meilleurDomaine[d];
        if (!md || prefere(c, *md))
            md = &c;
    }
    for (auto it = meilleurEmail.begin(); it != meilleurEmail.end(); ++it)
        parEmail_.insert(it.key(), it.value()->id);
    for (auto it = meilleurDomaine.begin(); it != meilleurDomaine.end(); ++it)
        parDomaine_.insert(it.key(), it.value()->id);
}

Identite Identite::depuis(const std::optional<QString>& emailCompte, const QList<ConnexionAgenda>& connexions)
{
    Identite m;
    auto ajouter = [&m](const std::optional<QString>& e) {
        if (!e)
            return;
        const QString n = emailNormalise(*e);
        if (!emailUtilisable(n))
            return;
        m.emails.insert(n);
        const QString d = domaineEmail(n);
        if (d.contains(QLatin1Char('.')) && !domaineGrandPublic(d))
            m.domaines.insert(d);
    };
    ajouter(emailCompte);
    for (const ConnexionAgenda& c : connexions)
        ajouter(c.email);
    return m;
}

namespace RapprochementAgenda {

QList<InviteAgenda> invitesExterieurs(const RendezVousAgenda& r, const Identite& moi)
{
    QList<InviteAgenda> sortie;
    QSet<QString> vus;
    auto examiner = [&](const InviteAgenda& i) {
        if (i.moi || i.reponse == QLatin1String("refuse") || !i.email)
            return;
        const QString n = emailNormalise(*i.email);
        if (!emailUtilisable(n) || moi.emails.contains(n) || vus.contains(n))
            return;
        vus.insert(n);
        InviteAgenda copie = i;
        copie.email = n;
        sortie.append(copie);
    };
    if (r.organisateur)
        examiner(*r.organisateur);
    for (const InviteAgenda& i : r.invites)
        examiner(i);
    return sortie;
}

std::optional<Reconnaissance> reconnaitre(const QList<InviteAgenda>& exterieurs, const IndexContacts& index,
                                          const Identite& moi)
{
    for (const InviteAgenda& i : exterieurs) {
        const QString n = i.email.value_or(QString());
        if (auto id = index.parEmail(n))
            return Reconnaissance{*id, i, false};
        const QString d = domaineEmail(n);
        if (d.isEmpty() || domaineGrandPublic(d) || moi.domaines.contains(d))
            continue;
        if (auto id = index.parDomaine(d))
            return Reconnaissance{*id, i, true};
    }
    return std::nullopt;
}

EvenementAgenda deriver(const RendezVousAgenda& r, const IndexContacts& index, const Identite& moi)
{
    EvenementAgenda e;
    e.id = r.id;
    e.titre = r.titre;
    e.debut = r.debut;
    e.fin = r.fin;
    e.lienVisio = r.lienVisio;
    e.journeeEntiere = r.journeeEntiere;
    e.annule = r.annule;
    e.fournisseur = r.fournisseur;
    e.serie = r.serie;
    e.invitesExterieurs = invitesExterieurs(r, moi);
    e.sansInvite = e.invitesExterieurs.isEmpty();
    e.interne = !e.sansInvite && !moi.domaines.isEmpty()
                && std::all_of(e.invitesExterieurs.cbegin(), e.invitesExterieurs.cend(), [&moi](const InviteAgenda& i) {
                       return moi.domaines.contains(domaineEmail(i.email.value_or(QString())));
                   });
    if (auto m = reconnaitre(e.invitesExterieurs, index, moi)) {
        e.contactId = m->contactId;
        e.invite = m->invite;
        e.parDomaine = m->parDomaine;
    }
    return e;
}

QList<EvenementAgenda> deriver(const QList<RendezVousAgenda>& rendezVous, const IndexContacts& index,
                               const Identite& moi)
{
    QList<EvenementAgenda> l;
    l.reserve(rendezVous.size());
    QSet<QString> liens;
    for (const RendezVousAgenda& r : rendezVous) {
        if (r.annule)
            continue;
        // The same meeting read from two calendars shares its video link: shown once.
        if (r.lienVisio) {
            const QString n = lienNormalise(*r.lienVisio);
            if (!n.isEmpty() && liens.contains(n + QLatin1Char('|') + r.debut.toString(Qt::ISODate)))
                continue;
            liens.insert(n + QLatin1Char('|') + r.debut.toString(Qt::ISODate));
        }
        l.append(deriver(r, index, moi));
    }
    std::stable_sort(l.begin(), l.end(), [](const EvenementAgenda& a, const EvenementAgenda& b) {
        return a.debut != b.debut ? a.debut < b.debut : a.id < b.id;
    });
    return l;
}

} // namespace RapprochementAgenda

} // namespace vd::agenda
