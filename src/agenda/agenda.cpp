#include "agenda/agenda.h"

#include "cloud/erreurcloud.h"

#include <QLocale>
#include <QLoggingCategory>
#include <QUrlQuery>
#include <qcoro/qcorotask.h>

Q_LOGGING_CATEGORY(lcAgenda, "vd.agenda")

namespace vd::agenda {

namespace {

template<typename T>
void lancer(QCoro::Task<T>&& t, QObject* contexte)
{
    QCoro::connect(std::move(t), contexte, [] {});
}

bool indisponible(const ErreurCloud& e)
{
    return e.code == QLatin1String("agenda_indisponible") || (e.genre == ErreurCloud::Genre::fonction && e.statut == 404);
}

} // namespace

Agenda::Agenda(Collaborateurs c, QObject* parent) : QObject(parent), c_(std::move(c))
{
    if (!c_.horloge)
        c_.horloge = &platform::Horloge::instance();
    if (!c_.preferences)
        c_.preferences = &platform::Preferences::instance();
    boucle_ = c_.horloge->creerMinuterie(this);
    connect(boucle_, &platform::Minuterie::expire, this, &Agenda::tic);
    limiteConnexion_ = c_.horloge->creerMinuterie(this);
    limiteConnexion_->setUnique(true);
    connect(limiteConnexion_, &platform::Minuterie::expire, this, [this] {
        if (!connexionEnCours_)
            return;
        connexionExpiree_ = true;
        if (c_.client)
            c_.client->annulerConnexion();
    });
}

Agenda::~Agenda() = default;

void Agenda::demarrer()
{
    contexte_ = c_.lireContexte ? c_.lireContexte() : ContexteAgenda{};
    demarre_ = true;
    if (!contexte_.cloudActif || !c_.client) {
        Q_EMIT change();
        return;
    }
    // Already reading (started again after a sign-in, say): nothing more.
    if (boucle_->actif())
        return;
    lancer(lireEtat(), this);
    c_.horloge->apres(premiereLectureMs, this, [this] {
        if (demarre_)
            actualiser(true);
    });
    boucle_->demarrer(boucleMs);
}

void Agenda::arreter()
{
    demarre_ = false;
    boucle_->arreter();
}

int Agenda::intervalleS(const QList<EvenementAgenda>& evenements, const QDateTime& maintenant)
{
    for (const EvenementAgenda& e : evenements) {
        if (!e.contactId || e.journeeEntiere)
            continue;
        const qint64 dt = maintenant.secsTo(e.debut);
        if (dt >= 0 && dt <= fenetreProcheS)
            return intervalleProcheS;
    }
    return intervalleNormalS;
}

void Agenda::tic()
{
    contexte_ = c_.lireContexte ? c_.lireContexte() : contexte_;
    if (!contexte_.cloudActif)
        return;
    if (envoiLecture_ && envoiLecture_->secsTo(maintenant()) < intervalleS(evenements_, maintenant()))
        return;
    actualiser(false);
}

void Agenda::actualiser(bool force)
{
    contexte_ = c_.lireContexte ? c_.lireContexte() : contexte_;
    if (!contexte_.cloudActif || !c_.client || lectureEnCours_)
        return;
    if (!force && envoiLecture_ && envoiLecture_->secsTo(maintenant()) < ecartMinimalS)
        return;
    lancer(lire(), this);
}

QCoro::Task<void> Agenda::lireEtat()
{
    QPointer<Agenda> moi(this);
    auto r = co_await c_.client->etat();
    if (!moi)
        co_return;
    if (!r) {
        if (indisponible(r.erreur()))
            fonctionAbsente_ = true;
        serveurPret_ = false;
        Q_EMIT change();
        co_return;
    }
    serveurPret_ = true;
    fonctionAbsente_ = false;
    fournisseursServeur_ = r.valeur().fournisseurs;
    connexions_.clear();
    for (const ConnexionAgenda& c : r.valeur().connexions)
        connexions_.insert(c.fournisseur, c);
    Q_EMIT change();
}

QCoro::Task<void> Agenda::lire()
{
    QPointer<Agenda> moi(this);
    lectureEnCours_ = true;
    envoiLecture_ = maintenant();
    ++lectures_;
    Q_EMIT change();
    auto r = co_await c_.client->evenements(heuresLues);
    if (!moi)
        co_return;
    lectureEnCours_ = false;
    derniereLecture_ = maintenant();
    if (!r) {
        // The meetings already read stay until the next successful read.
        if (indisponible(r.erreur()))
            fonctionAbsente_ = true;
        if (r.erreur().genre != ErreurCloud::Genre::annule)
            montrer(r.erreur().message, true);
        Q_EMIT change();
        co_return;
    }
    fonctionAbsente_ = false;
    derniereActualisation_ = maintenant();
    const ReponseEvenementsAgenda& rep = r.valeur();
    if (const auto* l = std::get_if<LectureAgenda>(&rep)) {
        connexions_.clear();
        for (const ConnexionAgenda& c : l->connexions)
            connexions_.insert(c.fournisseur, c);
        rendezVous_.clear();
        for (const RendezVousAgenda& rv : l->rendezVous)
            rendezVous_[rv.fournisseur].append(rv);
        erreurs_.clear();
        for (auto it = l->erreurs.begin(); it != l->erreurs.end(); ++it)
            erreurs_.insert(it.key(), it.value());
        for (FournisseurAgenda f : l->revoques)
            signalerRevoque(f);
        // A provider read again is connected again.
        for (const ConnexionAgenda& c : l->connexions)
            if (!l->revoques.contains(c.fournisseur))
                revoques_.remove(c.fournisseur);
    } else if (const auto* rv = std::get_if<Revoque>(&rep)) {
        for (FournisseurAgenda f : rv->fournisseurs)
            signalerRevoque(f);
    } else {
        rendezVous_.clear();
        connexions_.clear();
    }
    deriver();
    Q_EMIT change();
}

void Agenda::signalerRevoque(FournisseurAgenda f)
{
    rendezVous_.remove(f);
    connexions_.remove(f);
    if (revoques_.contains(f))
        return;   // reported once until reconnected
    revoques_.insert(f);
    montrer(messageRevoque(f), true);
}

void Agenda::deriver()
{
    QList<RendezVousAgenda> tous;
    for (auto it = rendezVous_.cbegin(); it != rendezVous_.cend(); ++it)
        tous.append(it.value());
    // Providers in a fixed order, so the same read gives the same list.
    std::stable_sort(tous.begin(), tous.end(), [](const RendezVousAgenda& a, const RendezVousAgenda& b) {
        return int(a.fournisseur) < int(b.fournisseur);
    });
    const IndexContacts index(c_.lireContacts ? c_.lireContacts() : QList<model::Contact>{});
    const Identite moi = Identite::depuis(contexte_.emailCompte, connexions_.values());
    evenements_ = RapprochementAgenda::deriver(tous, index, moi);
}

void Agenda::recalculer()
{
    deriver();
    Q_EMIT change();
}

void Agenda::montrer(const QString& texte, bool erreur)
{
    message_ = Message{texte, erreur};
    if (c_.annoncer)
        c_.annoncer(texte, erreur);
}

void Agenda::connecter(FournisseurAgenda f)
{
    if (connexionEnCours_ || !c_.client)
        return;   // one consent page at a time
    connexionEnCours_ = f;
    connexionExpiree_ = false;
    message_.reset();
    limiteConnexion_->demarrer(delaiConnexionMs);
    Q_EMIT change();
    lancer(executerConnexion(f, ++generationConnexion_), this);
}

void Agenda::annulerConnexion()
{
    if (connexionEnCours_ && c_.client)
        c_.client->annulerConnexion();
}

void Agenda::recevoirRetour(const QUrl& lien)
{
    if (c_.client)
        c_.client->recevoirRetour(lien);
}

QCoro::Task<void> Agenda::executerConnexion(FournisseurAgenda f, quint64 generation)
{
    QPointer<Agenda> moi(this);
    auto r = co_await c_.client->connecter(f);
    if (!moi || generation != generationConnexion_)
        co_return;
    limiteConnexion_->arreter();
    connexionEnCours_.reset();
    if (!r) {
        if (connexionExpiree_)
            montrer(QStringLiteral("La connexion a pris plus de 10 minutes. Réessayez."), true);
        else if (r.erreur().genre != ErreurCloud::Genre::annule)
            montrer(r.erreur().message, true);
        Q_EMIT change();
        co_return;
    }
    const QUrlQuery items(r.valeur().query());
    QString code = items.queryItemValue(QStringLiteral("erreur"), QUrl::FullyDecoded).trimmed();
    const QString statut = items.queryItemValue(QStringLiteral("statut"), QUrl::FullyDecoded).trimmed();
    if (code.isEmpty() && !statut.isEmpty() && statut != QLatin1String("ok"))
        code = QStringLiteral("code_absent");
    if (!code.isEmpty()) {
        if (auto m = messageRetourConnexion(code, f))
            montrer(*m, true);
        Q_EMIT change();
        co_return;
    }
    revoques_.remove(f);
    montrer(nomAffiche(f) + QStringLiteral(" est connecté. Vos rendez-vous arrivent."), false);
    Q_EMIT change();
    co_await lireEtat();
    if (!moi)
        co_return;
    if (!lectureEnCours_)
        co_await lire();
}

void Agenda::deconnecter(FournisseurAgenda f)
{
    if (!c_.client)
        return;
    lancer(executerDeconnexion(f), this);
}

QCoro::Task<void> Agenda::executerDeconnexion(FournisseurAgenda f)
{
    QPointer<Agenda> moi(this);
    auto r = co_await c_.client->deconnecter(f);
    if (!moi)
        co_return;
    if (!r) {
        // The connection is kept: the backend still holds the grant.
        montrer(r.erreur().genre == ErreurCloud::Genre::annule ? cloud::messages::generique : r.erreur().message, true);
        Q_EMIT change();
        co_return;
    }
    connexions_.remove(f);
    rendezVous_.remove(f);
    revoques_.remove(f);
    erreurs_.remove(f);
    deriver();
    if (connexions_.isEmpty())
        montrer(QStringLiteral("Agendas déconnectés.") + QStringLiteral(" Plus aucun rappel avant vos rendez-vous."), false);
    else
        montrer(nomAffiche(f) + QStringLiteral(" est déconnecté."), false);
    Q_EMIT change();
}

std::optional<QDateTime> Agenda::invitationMasqueeJusquA() const
{
    const QVariant v = c_.preferences->valeur(cleInvitation);
    if (!v.isValid())
        return std::nullopt;
    const QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return t.isValid() ? std::optional(t) : std::nullopt;
}

bool Agenda::invitationMasquee() const
{
    const auto t = invitationMasqueeJusquA();
    return t && *t > maintenant();
}

void Agenda::masquerInvitation(int jours)
{
    const QDateTime jusqua = maintenant().addSecs(qint64(jours) * 86'400);
    c_.preferences->definir(cleInvitation, jusqua.toUTC().toString(Qt::ISODateWithMs));
    Q_EMIT change();
}

QList<Agenda::Jour> Agenda::grouperParJour(const QList<EvenementAgenda>& evenements, const QDateTime& maintenant)
{
    const QLocale fr(QLocale::French, QLocale::France);
    const QDate aujourdhui = maintenant.toLocalTime().date();
    QList<Jour> jours;
    QList<EvenementAgenda> tries = evenements;
    std::stable_sort(tries.begin(), tries.end(), [](const EvenementAgenda& a, const EvenementAgenda& b) {
        return a.debut < b.debut;
    });
    for (const EvenementAgenda& e : tries) {
        const QDate d = e.journeeEntiere ? e.debut.date() : e.debut.toLocalTime().date();
        if (jours.isEmpty() || jours.last().jour != d) {
            Jour j;
            j.jour = d;
            if (d == aujourdhui)
                j.libelle = QStringLiteral("Aujourd'hui");
            else if (d == aujourdhui.addDays(1))
                j.libelle = QStringLiteral("Demain");
            else
                j.libelle = fr.toString(d, QStringLiteral("dddd d MMMM"));
            jours.append(j);
        }
        jours.last().evenements.append(e);
    }
    return jours;
}

QList<Agenda::Jour> Agenda::jours() const
{
    return grouperParJour(evenements_, maintenant());
}

const EvenementAgenda* Agenda::evenement(const QString& id) const
{
    for (const EvenementAgenda& e : evenements_)
        if (e.id == id)
            return &e;
    return nullptr;
}

std::optional<EvenementAgenda> Agenda::prochain() const
{
    const QDateTime t = maintenant();
    for (const EvenementAgenda& e : evenements_)
        if (e.contactId && !e.journeeEntiere && e.debut > t)
            return e;
    return std::nullopt;
}

std::optional<EvenementAgenda> Agenda::prochainEvenement() const
{
    const QDateTime t = maintenant();
    for (const EvenementAgenda& e : evenements_)
        if (!e.journeeEntiere && e.debut > t)
            return e;
    return std::nullopt;
}

QString Agenda::libelleProchain(const EvenementAgenda& e, const QDateTime& maintenant)
{
    QString titre = e.titre.simplified();
    if (titre.isEmpty())
        titre = QStringLiteral("Rendez-vous");
    const QDateTime debut = e.debut.toLocalTime();
    const QString heure = debut.toString(QStringLiteral("HH:mm"));
    const QDate jour = maintenant.toLocalTime().date();
    if (debut.date() == jour)
        return QStringLiteral("Prochain : ") + titre + QStringLiteral(" à ") + heure;
    if (debut.date() == jour.addDays(1))
        return QStringLiteral("Prochain : demain à ") + heure + QStringLiteral(", ") + titre;
    const QLocale fr(QLocale::French, QLocale::France);
    return QStringLiteral("Prochain : ") + fr.toString(debut.date(), QStringLiteral("dddd d MMMM")) + QStringLiteral(" à ") + heure
           + QStringLiteral(", ") + titre;
}

} // namespace vd::agenda
