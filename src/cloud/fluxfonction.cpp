#include "fluxfonction.h"

#include "cloud/clientsupabase.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace vd::cloud {

FluxFonction::FluxFonction(ClientSupabase* client, QString chemin, QByteArray corps, int delaiMs)
    : client_(client), chemin_(std::move(chemin)), corps_(std::move(corps)), delaiMs_(delaiMs)
{
    attente_ = client->horloge_->creerMinuterie(this);
    total_ = client->horloge_->creerMinuterie(this);
    attente_->setUnique(true);
    total_->setUnique(true);
    auto couper = [this] {
        delaiDepasse_ = true;
        if (reponse_)
            reponse_->abort();
    };
    connect(attente_, &platform::Minuterie::expire, this, couper);
    connect(total_, &platform::Minuterie::expire, this, couper);
}

FluxFonction::~FluxFonction()
{
    annule_ = true;
    if (reponse_) {
        reponse_->disconnect(this);
        reponse_->abort();
        reponse_->deleteLater();
    }
}

void FluxFonction::demarrer()
{
    total_->demarrer(std::max(delaiMs_, ClientSupabase::delaiFluxTotalMs));
    if (!client_->connecte()) {
        // Nobody signed in: the public key signs the call; the function decides.
        QMetaObject::invokeMethod(this, [this] { lancer(QString()); }, Qt::QueuedConnection);
        return;
    }
    QCoro::connect(client_->jetonValide(), this, [this](const ResultatCloud<QString>& j) {
        if (annule_)
            return;
        if (!j)
            echouer(j.erreur());
        else
            lancer(j.valeur());
    });
}

void FluxFonction::lancer(const QString& jeton)
{
    if (annule_ || termine_)
        return;
    if (!client_) {
        echouer(erreurAnnule());
        return;
    }
    jeton_ = jeton;
    QNetworkRequest r = client_->requete(chemin_, {}, jeton, true);
    r.setRawHeader("Accept", "text/event-stream");
    reponse_ = client_->reseauFlux_->post(r, corps_);
    reponse_->setParent(this);
    connect(reponse_, &QNetworkReply::readyRead, this, &FluxFonction::lire);
    connect(reponse_, &QNetworkReply::finished, this, &FluxFonction::finir);
    attente_->demarrer(delaiMs_);
}

QByteArray FluxFonction::entete(const QByteArray& nom) const
{
    for (const auto& [n, v] : entetes_)
        if (n.compare(nom, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

void FluxFonction::lire()
{
    if (annule_ || !reponse_)
        return;
    attente_->demarrer(delaiMs_);
    statut_ = reponse_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (statut_ < 200 || statut_ >= 300) {
        const QByteArray morceau = reponse_->isOpen() ? reponse_->readAll() : QByteArray();
        if (corpsErreur_.size() < tailleMaxErreur)
            corpsErreur_.append(morceau.left(tailleMaxErreur - corpsErreur_.size()));
        return;
    }
    if (!annonce_) {
        annonce_ = true;
        entetes_ = reponse_->rawHeaderPairs();
        Q_EMIT reponse(statut_);
        if (annule_)
            return;
    }
    const QByteArray morceau = reponse_->isOpen() ? reponse_->readAll() : QByteArray();
    if (morceau.isEmpty())
        return;
    QPointer<FluxFonction> vivant(this);
    Q_EMIT donnees(morceau);
    if (!vivant || annule_)
        return;
    tampon_.append(morceau);
    qsizetype debut = 0;
    for (qsizetype fin = tampon_.indexOf('\n'); fin >= 0; fin = tampon_.indexOf('\n', debut)) {
        QByteArray l = tampon_.mid(debut, fin - debut);
        debut = fin + 1;
        if (l.endsWith('\r'))
            l.chop(1);
        Q_EMIT ligne(l);
        if (!vivant || annule_)
            return;
    }
    tampon_.remove(0, debut);
}

void FluxFonction::finir()
{
    if (annule_ || termine_ || !reponse_)
        return;
    QPointer<FluxFonction> vivant(this);
    lire();
    if (!vivant || annule_)
        return;
    QNetworkReply* r = reponse_;
    reponse_ = nullptr;
    r->deleteLater();
    statut_ = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (delaiDepasse_) {
        echouer(erreurReseau(int(QNetworkReply::TimeoutError), true));
        return;
    }
    if (statut_ == 0 || (annonce_ && r->error() != QNetworkReply::NoError)) {
        const int numero = r->error() == QNetworkReply::NoError ? int(QNetworkReply::UnknownNetworkError) : int(r->error());
        echouer(erreurReseau(numero, false));
        return;
    }
    if (statut_ == 401 && !jeton_.isEmpty() && !reessaye_ && client_) {
        reessaye_ = true;
        corpsErreur_.clear();
        attente_->arreter();
        QCoro::connect(client_->jetonApres401(jeton_), this, [this](const ResultatCloud<QString>& j) {
            if (annule_)
                return;
            if (!j)
                echouer(j.erreur());
            else
                lancer(j.valeur());
        });
        return;
    }
    if (statut_ < 200 || statut_ >= 300) {
        echouer(erreurFonction(statut_, corpsErreur_));
        return;
    }
    if (!tampon_.isEmpty()) {
        QByteArray l = std::exchange(tampon_, {});
        if (l.endsWith('\r'))
            l.chop(1);
        Q_EMIT ligne(l);
        if (!vivant || annule_)
            return;
    }
    termine_ = true;
    arreterMinuteries();
    Q_EMIT fini();
}

void FluxFonction::echouer(const ErreurCloud& e)
{
    if (termine_ || annule_)
        return;
    termine_ = true;
    arreterMinuteries();
    Q_EMIT echec(e);
}

void FluxFonction::arreterMinuteries()
{
    attente_->arreter();
    total_->arreter();
}

void FluxFonction::annuler()
{
    if (termine_ || annule_)
        return;
    annule_ = true;
    arreterMinuteries();
    if (reponse_) {
        QNetworkReply* r = reponse_;
        reponse_ = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

} // namespace vd::cloud
