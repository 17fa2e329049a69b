#include "agenda/clientagendademo.h"

namespace vd::agenda {

namespace {
InviteAgenda participant(const QString& email, const QString& nom, bool moi = false)
{
    InviteAgenda i;
    i.email = email;
    i.nom = nom;
    i.reponse = QStringLiteral("accepte");
    i.moi = moi;
    return i;
}
} // namespace

ClientAgendaDemo::ClientAgendaDemo(platform::Horloge& horloge, std::function<QList<model::Contact>()> contacts)
    : horloge_(horloge), contacts_(std::move(contacts))
{
}

QList<RendezVousAgenda> ClientAgendaDemo::rendezVous() const
{
    if (!connectes_.contains(FournisseurAgenda::google))
        return {};
    QList<model::Contact> avecEmail;
    for (const model::Contact& c : contacts_ ? contacts_() : QList<model::Contact>{})
        if (c.email.contains(QLatin1Char('@')))
            avecEmail.append(c);
    // Whole minutes, so the times read well.
    QDateTime t = horloge_.maintenant();
    t = t.addSecs(-(t.time().second()));
    t.setTime(QTime(t.time().hour(), t.time().minute()));
    const InviteAgenda moi = participant(emailDemo, QStringLiteral("Vous"), true);
    QList<RendezVousAgenda> l;
    auto ajouter = [&](const QString& id, const QString& titre, qint64 dansS, qint64 dureeS, QList<InviteAgenda> invites) {
        RendezVousAgenda r;
        r.id = id;
        r.titre = titre;
        r.debut = t.addSecs(dansS);
        r.fin = r.debut.addSecs(dureeS);
        r.invites = std::move(invites);
        r.invites.prepend(moi);
        r.lienVisio = QStringLiteral("https://visio.exemple.fr/") + id;
        r.fournisseur = FournisseurAgenda::google;
        l.append(r);
        return &l.last();
    };
    const auto nomDe = [](const model::Contact& c) { return c.nomComplet(); };
    if (!avecEmail.isEmpty()) {
        const model::Contact& a = avecEmail[0];
        ajouter(QStringLiteral("demo-rdv-1"), QStringLiteral("Point découverte · ") + (a.societe.isEmpty() ? nomDe(a) : a.societe), 8 * 60,
                30 * 60, {participant(a.email, nomDe(a))});
    }
    if (avecEmail.size() >= 2) {
        const model::Contact& b = avecEmail[1];
        const QString domaine = b.email.section(QLatin1Char('@'), -1);
        ajouter(QStringLiteral("demo-rdv-2"), QStringLiteral("Démonstration produit"), 3 * 3600, 45 * 60,
                {participant(QStringLiteral("direction@") + domaine, QStringLiteral("Direction"))});
    }
    if (avecEmail.size() >= 3) {
        const model::Contact& c = avecEmail[2];
        ajouter(QStringLiteral("demo-rdv-3"), QStringLiteral("Proposition commerciale"), 26 * 3600, 3600, {participant(c.email, nomDe(c))});
    }
    ajouter(QStringLiteral("demo-rdv-4"), QStringLiteral("Point équipe commerciale"), 27 * 3600, 1800,
            {participant(QStringLiteral("marc@vendeur-demo.fr"), QStringLiteral("Marc"))});
    ajouter(QStringLiteral("demo-rdv-5"), QStringLiteral("Café avec un ancien client"), 50 * 3600, 1800,
            {participant(QStringLiteral("claire.b@gmail.com"), QStringLiteral("Claire B."))});
    RendezVousAgenda* salon = ajouter(QStringLiteral("demo-rdv-6"), QStringLiteral("Salon professionnel"), 0, 0, {});
    salon->journeeEntiere = true;
    salon->debut = QDateTime(t.toLocalTime().date().addDays(3), QTime(0, 0));
    salon->fin.reset();
    salon->lienVisio.reset();
    return l;
}

QCoro::Task<ResultatCloud<EtatServeurAgenda>> ClientAgendaDemo::etat()
{
    EtatServeurAgenda e;
    e.fournisseurs = {FournisseurAgenda::google, FournisseurAgenda::microsoft};
    for (FournisseurAgenda f : connectes_)
        e.connexions.append(ConnexionAgenda{f, emailDemo, std::nullopt});
    co_return e;
}

QCoro::Task<ResultatCloud<ReponseEvenementsAgenda>> ClientAgendaDemo::evenements(int)
{
    if (connectes_.isEmpty())
        co_return ReponseEvenementsAgenda(NonConnecte{});
    LectureAgenda l;
    for (FournisseurAgenda f : connectes_)
        l.connexions.append(ConnexionAgenda{f, emailDemo, std::nullopt});
    l.rendezVous = rendezVous();
    co_return ReponseEvenementsAgenda(l);
}

QCoro::Task<ResultatCloud<QUrl>> ClientAgendaDemo::connecter(FournisseurAgenda f)
{
    connectes_.insert(f);
    co_return QUrl(QStringLiteral("vendalo2://agenda?statut=ok"));
}

QCoro::Task<ResultatCloudVide> ClientAgendaDemo::deconnecter(FournisseurAgenda f)
{
    connectes_.remove(f);
    co_return Rien{};
}

} // namespace vd::agenda
