#include "agenda/clientagenda.h"

#include "cloud/erreurcloud.h"

namespace vd::agenda {

namespace {
ErreurCloud sansSession()
{
    return cloud::erreurSession(QStringLiteral("session_absente"));
}
} // namespace

QCoro::Task<ResultatCloud<EtatServeurAgenda>> ClientAgendaCloud::etat()
{
    if (!client_ || !client_->connecte())
        co_return echec(sansSession());
    const QString nom = QStringLiteral("agenda/etat");
    auto r = co_await client_->appelerFonction(nom, std::nullopt, delaiMs);
    if (!r)
        co_return echec(r.erreur());
    co_return EtatServeurAgenda::depuisJson(r.valeur().qt().toObject());
}

QCoro::Task<ResultatCloud<ReponseEvenementsAgenda>> ClientAgendaCloud::evenements(int heures)
{
    if (!client_ || !client_->connecte())
        co_return echec(sansSession());
    const QString nom = QStringLiteral("agenda/evenements");
    const QJsonObject corps{{QStringLiteral("heures"), heures}};
    auto r = co_await client_->appelerFonction(nom, QJsonValue(corps), delaiMs);
    if (!r)
        co_return echec(r.erreur());
    if (!r.valeur().qt().isObject())
        co_return echec(cloud::erreurIllisible(200));
    co_return lireReponseEvenements(r.valeur().qt().toObject());
}

QCoro::Task<ResultatCloud<QUrl>> ClientAgendaCloud::connecter(FournisseurAgenda f)
{
    if (!client_ || !client_->connecte())
        co_return echec(sansSession());
    co_return co_await client_->connecterAgenda(valeur(f));
}

void ClientAgendaCloud::annulerConnexion()
{
    if (client_)
        client_->annulerConnexionAgenda();
}

void ClientAgendaCloud::recevoirRetour(const QUrl& lien)
{
    if (client_)
        QCoro::connect(client_->traiterLien(lien), client_.data(), [](const ResultatCloud<QString>&) {});
}

QCoro::Task<ResultatCloudVide> ClientAgendaCloud::deconnecter(FournisseurAgenda f)
{
    if (!client_ || !client_->connecte())
        co_return echec(sansSession());
    const QString nom = QStringLiteral("agenda/deconnecter");
    const QJsonObject corps{{QStringLiteral("fournisseur"), valeur(f)}};
    auto r = co_await client_->appelerFonction(nom, QJsonValue(corps), delaiMs);
    if (!r)
        co_return echec(r.erreur());
    co_return Rien{};
}

} // namespace vd::agenda
