#include "accescloudsupabase.h"

#include "cloud/clientsupabase.h"
#include "cloud/fluxfonction.h"
#include "erreursclaude.h"

#include <QJsonArray>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcClientIA)

namespace vd::ai {

namespace {

// A streamed backend function seen as a FluxReponse.
class FluxFonctionIA final : public FluxReponse {
public:
    explicit FluxFonctionIA(cloud::FluxFonction* f) : flux_(f)
    {
        f->setParent(this);
        connect(f, &cloud::FluxFonction::donnees, this, [this](const QByteArray& m) { Q_EMIT donnees(m); });
        connect(f, &cloud::FluxFonction::fini, this, [this] { Q_EMIT fin(); });
        connect(f, &cloud::FluxFonction::echec, this, [this](const cloud::ErreurCloud& e) {
            if (e.genre != cloud::ErreurCloud::Genre::annule)
                Q_EMIT echec(echecDepuisCloud(e));
        });
    }
    void annuler() override
    {
        if (flux_)
            flux_->annuler();
    }
    QByteArray entete(const QByteArray& nom) const override { return flux_ ? flux_->entete(nom) : QByteArray(); }

private:
    QPointer<cloud::FluxFonction> flux_;
};

} // namespace

EchecFlux echecDepuisCloud(const cloud::ErreurCloud& e)
{
    EchecFlux r;
    r.statut = e.statut;
    r.code = e.code;
    r.reessayerApres = e.reessayerApres;
    switch (e.genre) {
    case cloud::ErreurCloud::Genre::reseau: {
        r.genre = EchecFlux::Genre::reseau;
        // "url_" + the network error number; a time-out is said by its message.
        const int numero = e.code.startsWith(QLatin1String("url_")) ? e.code.mid(4).toInt() : 0;
        r.reessayable = e.message == cloud::messages::delaiDepasse ||
                        reseauReessayable(QNetworkReply::NetworkError(numero));
        return r;
    }
    case cloud::ErreurCloud::Genre::session:
    case cloud::ErreurCloud::Genre::auth:
        r.genre = EchecFlux::Genre::session;
        r.message = e.message;
        return r;
    default:
        r.genre = EchecFlux::Genre::http;
        r.message = e.message;
        if (r.statut == 0)
            r.statut = 500;
        return r;
    }
}

bool AccesCloudSupabase::connecte() const { return client_ && client_->connecte(); }

FluxReponse* AccesCloudSupabase::ouvrirFlux(const QString& nom, const QJsonObject& corps, int delaiMs)
{
    if (!connecte()) {
        EchecFlux e;
        e.genre = EchecFlux::Genre::session;
        e.message = messages::connexionRequise;
        return new FluxEchoue(e);
    }
    return new FluxFonctionIA(client_->appelerFonctionFlux(nom, corps, delaiMs));
}

void AccesCloudSupabase::journaliser(const QJsonObject& ligne)
{
    if (!connecte())
        return;
    QCoro::connect(client_->inserer(QStringLiteral("erreurs_service"), QJsonArray{ligne}), client_.data(),
                   [](const cloud::ResultatCloud<model::JSONValeur>& r) {
                       if (!r)
                           qCInfo(lcClientIA) << "journal d'erreurs non écrit :" << r.erreur().code;
                   });
}

} // namespace vd::ai
