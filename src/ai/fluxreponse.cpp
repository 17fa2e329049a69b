#include "fluxreponse.h"

#include "erreursclaude.h"

#include <QNetworkRequest>

namespace vd::ai {

FluxHttp::FluxHttp(QNetworkReply* reponse, platform::Horloge& horloge, int inactiviteMs, bool retryAfterDuCorps,
                   QObject* parent)
    : FluxReponse(parent), reponse_(reponse), inactiviteMs_(inactiviteMs), retryAfterDuCorps_(retryAfterDuCorps)
{
    reponse->setParent(this);
    inactivite_ = horloge.creerMinuterie(this);
    inactivite_->setUnique(true);
    connect(inactivite_, &platform::Minuterie::expire, this, [this] {
        if (!reponse_)
            return;
        inactif_ = true;
        reponse_->abort();
    });
    connect(reponse, &QNetworkReply::readyRead, this, &FluxHttp::lire);
    connect(reponse, &QNetworkReply::metaDataChanged, this, [this] { inactivite_->demarrer(inactiviteMs_); });
    // A long request body on a slow link is activity too.
    connect(reponse, &QNetworkReply::uploadProgress, this, [this] { inactivite_->demarrer(inactiviteMs_); });
    connect(reponse, &QNetworkReply::finished, this, &FluxHttp::finir);
    inactivite_->demarrer(inactiviteMs_);
}

FluxHttp::~FluxHttp() { liberer(); }

void FluxHttp::liberer()
{
    inactivite_->arreter();
    if (reponse_) {
        QNetworkReply* r = reponse_;
        reponse_ = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

void FluxHttp::annuler()
{
    fini_ = true;
    liberer();
}

QByteArray FluxHttp::entete(const QByteArray& nom) const
{
    for (const auto& [n, v] : entetes_)
        if (n.compare(nom, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

void FluxHttp::lire()
{
    if (fini_ || !reponse_)
        return;
    inactivite_->demarrer(inactiviteMs_);
    const int statut = reponse_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (statut != 0 && (statut < 200 || statut > 299)) {
        corpsErreur_ += reponse_->read(std::max<qsizetype>(0, capCorpsErreur - corpsErreur_.size()));
        if (corpsErreur_.size() >= capCorpsErreur) {
            // Enough to know what went wrong; the rest is not read.
            plafond_ = true;
            reponse_->abort();
        }
        return;
    }
    const QByteArray morceau = reponse_->readAll();
    if (!morceau.isEmpty())
        Q_EMIT donnees(morceau);
}

void FluxHttp::finir()
{
    if (fini_ || !reponse_)
        return;
    QPointer<FluxHttp> vivant(this);
    if (reponse_->isOpen() && !plafond_ && !inactif_) {
        lire();
        if (!vivant || fini_ || !reponse_)
            return;
    }
    fini_ = true;
    QNetworkReply* r = reponse_;
    const int statut = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError erreur = r->error();
    entetes_ = r->rawHeaderPairs();
    liberer();

    EchecFlux e;
    if (inactif_) {
        e.genre = EchecFlux::Genre::reseau;
        e.reessayable = reseauReessayable(QNetworkReply::TimeoutError);
        Q_EMIT echec(e);
        return;
    }
    if (statut != 0 && (statut < 200 || statut > 299)) {
        e.genre = EchecFlux::Genre::http;
        e.statut = statut;
        e.message = messageDuCorps(corpsErreur_);
        e.code = codeDuCorps(corpsErreur_);
        e.reessayerApres = lireRetryAfter(entete("retry-after"));
        if (retryAfterDuCorps_) {
            if (const std::optional<double> s = retryAfterDuCorps(corpsErreur_))
                e.reessayerApres = s;
        }
        Q_EMIT echec(e);
        return;
    }
    if (statut == 0 || erreur != QNetworkReply::NoError) {
        e.genre = EchecFlux::Genre::reseau;
        e.reessayable = reseauReessayable(erreur);
        Q_EMIT echec(e);
        return;
    }
    Q_EMIT fin();
}

FluxEchoue::FluxEchoue(EchecFlux e, QObject* parent) : FluxReponse(parent)
{
    QMetaObject::invokeMethod(
        this,
        [this, e] {
            if (!annule_)
                Q_EMIT echec(e);
        },
        Qt::QueuedConnection);
}

} // namespace vd::ai
