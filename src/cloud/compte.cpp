#include "compte.h"

#include "model/texte.h"
#include "platform/dossiers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace vd::cloud {

namespace {
const QString nomMonCompte = QStringLiteral("mon_compte");
const QString nomMonEquipe = QStringLiteral("mon_equipe");
const QString nomEquipe = QStringLiteral("equipe");
const QString nomFonctionCompte = QStringLiteral("compte");
const QString nomAccepter = QStringLiteral("accepter_invitation");
const QString nomRefuser = QStringLiteral("refuser_invitation");

QCoro::Task<ResultatCloud<model::JSONValeur>> modeLocal() { co_return echec(Compte::erreurModeLocal()); }
} // namespace

Compte::Compte(ClientSupabase* client, const QString& dossierCloud, platform::Reseau& reseau, platform::Horloge& horloge,
               QObject* parent)
    : QObject(parent), client_(client), dossier_(dossierCloud),
      chemin_(QDir(dossierCloud).filePath(QStringLiteral("compte.json"))), reseau_(reseau), horloge_(horloge)
{
    minuteur_ = horloge_.creerMinuterie(this);
    connect(minuteur_, &platform::Minuterie::expire, this, [this] {
        if (etat_ == Etat::connecte || etat_ == Etat::horsLigne)
            rafraichir();
    });
}

ErreurCloud Compte::erreurModeLocal()
{
    ErreurCloud e;
    e.genre = ErreurCloud::Genre::fonction;
    e.code = QStringLiteral("mode_local");
    e.message = QStringLiteral("Le compte Vendalo n'est pas encore disponible sur ce Mac.");
    return e;
}

QString Compte::libelleRole(const QString& r)
{
    if (r == QLatin1String("proprietaire"))
        return QStringLiteral("Propriétaire");
    if (r == QLatin1String("manager"))
        return QStringLiteral("Manager");
    if (r == QLatin1String("commercial"))
        return QStringLiteral("Commercial");
    return QStringLiteral("Membre");
}

QString Compte::roleOrg() const
{
    if (!infos_)
        return {};
    return infos_->value(QStringLiteral("compte")).toObject().value(QStringLiteral("roleOrg")).toString();
}

bool Compte::gestionnaire() const
{
    if (equipe_ && equipe_->contains(QStringLiteral("gestionnaire")))
        return equipe_->value(QStringLiteral("gestionnaire")).toBool();
    const QString r = roleOrg();
    return r == QLatin1String("proprietaire") || r == QLatin1String("manager");
}

void Compte::mettreEtat(Etat e)
{
    etat_ = e;
    if (e == Etat::connecte || e == Etat::horsLigne) {
        if (!minuteur_->actif())
            minuteur_->demarrer(periodeMs);
    } else {
        minuteur_->arreter();
    }
    Q_EMIT change();
}

void Compte::lireCopie()
{
    // The copy is shown only with a stored session of the same account.
    if (!client_ || !client_->session())
        return;
    QFile f(chemin_);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    if (o.value(QStringLiteral("compte")).toObject().value(QStringLiteral("id")).toString() == client_->session()->utilisateur.id)
        infos_ = o;
}

void Compte::effacerCopie() { QFile::remove(chemin_); }

void Compte::demarrer()
{
    if (demarre_)
        return;
    demarre_ = true;
    if (!client_) {
        mettreEtat(Etat::deconnecte);
        return;
    }
    connect(client_, &ClientSupabase::sessionChangee, this, &Compte::surSession);
    connect(&reseau_, &platform::Reseau::disponibiliteChangee, this, [this](bool d) {
        if (etat_ == Etat::deconnecte || etat_ == Etat::connexion)
            return;
        if (!d) {
            mettreEtat(Etat::horsLigne);
        } else {
            rafraichir();
            if (surUtilisable)
                surUtilisable();
        }
    });
    lireCopie();
    if (client_->session()) {
        mettreEtat(reseau_.disponible() ? Etat::connecte : Etat::horsLigne);
        if (reseau_.disponible())
            rafraichir();
    } else {
        effacerCopie();   // a copy without a session belongs to nobody
        mettreEtat(Etat::deconnecte);
    }
}

void Compte::surSession(ClientSupabase::Evenement e)
{
    switch (e) {
    case ClientSupabase::Evenement::connexion: {
        const QString id = client_->session()->utilisateur.id;
        if (infos_ && infos_->value(QStringLiteral("compte")).toObject().value(QStringLiteral("id")).toString() != id) {
            infos_.reset();
            equipe_.reset();
        }
        messageSession_.reset();
        mettreEtat(Etat::connecte);
        rafraichir();
        if (surUtilisable)
            surUtilisable();
        return;
    }
    case ClientSupabase::Evenement::expiration:
        messageSession_ = messages::sessionExpiree;
        besoinMotDePasse_ = false;
        infos_.reset();
        equipe_.reset();
        mettreEtat(Etat::deconnecte);
        return;
    case ClientSupabase::Evenement::deconnexion:
        besoinMotDePasse_ = false;
        infos_.reset();
        equipe_.reset();
        effacerCopie();
        mettreEtat(Etat::deconnecte);
        return;
    default:
        return;
    }
}

void Compte::auPremierPlan()
{
    if (!dernierRafraichissementMs_ || horloge_.monotoneMs() - *dernierRafraichissementMs_ > fraicheurPremierPlanMs)
        rafraichir();
}

void Compte::rafraichir()
{
    if (!client_ || !client_->session() || enCours_)
        return;
    executerRafraichissement();
}

QCoro::Task<void> Compte::executerRafraichissement()
{
    QPointer<Compte> moi(this);
    enCours_ = true;
    Q_EMIT change();
    auto r = co_await client_->appelerProcedure(nomMonCompte, {}, delaiMs);
    if (!moi)
        co_return;
    bool ok = false;
    if (r) {
        const QJsonObject o = r.valeur().qt().toObject();
        infos_ = o;
        erreur_.reset();
        platform::ecrireAtomique(chemin_, QJsonDocument(o).toJson(QJsonDocument::Compact));
        const QString cleServeur = QStringLiteral("serveurMaintenant");
        if (const auto serveur = model::lireHorodatage(o.value(cleServeur).toString()))
            decalageS_ = horloge_.maintenant().secsTo(*serveur);
        auto e = co_await client_->appelerProcedure(nomMonEquipe, {}, delaiMs);
        if (!moi)
            co_return;
        if (e)
            equipe_ = e.valeur().qt().toObject();
        ok = true;
        if (etat_ == Etat::horsLigne)
            mettreEtat(Etat::connecte);
    } else if (r.erreur().genre == ErreurCloud::Genre::reseau) {
        erreur_ = r.erreur().message;
        if (etat_ != Etat::deconnecte)
            mettreEtat(Etat::horsLigne);
    } else if (r.erreur().genre != ErreurCloud::Genre::session) {
        erreur_ = r.erreur().message;
    }
    dernierRafraichissementMs_ = horloge_.monotoneMs();
    enCours_ = false;
    Q_EMIT change();
    Q_EMIT rafraichi(ok);
}

QCoro::Task<ResultatCloud<model::JSONValeur>> Compte::accepter(QString invitation)
{
    if (!client_)
        return modeLocal();
    return client_->appelerProcedure(nomAccepter, QJsonObject{{QStringLiteral("p_invitation"), invitation}}, delaiMs);
}

QCoro::Task<ResultatCloud<model::JSONValeur>> Compte::refuser(QString invitation)
{
    if (!client_)
        return modeLocal();
    return client_->appelerProcedure(nomRefuser, QJsonObject{{QStringLiteral("p_invitation"), invitation}}, delaiMs);
}

QCoro::Task<ResultatCloud<model::JSONValeur>> Compte::actionEquipe(QJsonObject corps)
{
    if (!client_)
        return modeLocal();
    return client_->appelerFonction(nomEquipe, QJsonValue(corps), delaiMs);
}

QCoro::Task<ResultatCloud<model::JSONValeur>> Compte::apercuSuppression()
{
    if (!client_)
        return modeLocal();
    return client_->appelerFonction(nomFonctionCompte, QJsonValue(QJsonObject{{QStringLiteral("action"), QStringLiteral("apercu")}}), delaiMs);
}

QCoro::Task<ResultatCloud<model::JSONValeur>> Compte::supprimerCompte(QString confirmation)
{
    if (!client_)
        co_return echec(erreurModeLocal());
    QPointer<Compte> moi(this);
    const QJsonValue corps(QJsonObject{{QStringLiteral("action"), QStringLiteral("supprimer")},
                                       {QStringLiteral("confirmation"), confirmation}});
    auto r = co_await client_->appelerFonction(nomFonctionCompte, corps, delaiMs);
    if (!moi || !r)
        co_return r;
    effacerCopie();
    const QString synchro = QDir(dossier_).filePath(QStringLiteral("synchro.json"));
    QFile::remove(synchro);
    co_await client_->deconnecter();
    co_return r;
}

} // namespace vd::cloud
