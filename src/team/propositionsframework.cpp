#include "propositionsframework.h"

#include "model/json.h"

#include <QJsonArray>

namespace vd::team {

namespace {
const QString pProposer = QStringLiteral("proposer_question_framework");
const QString pLister = QStringLiteral("propositions_framework");
const QString pDecider = QStringLiteral("decider_proposition_framework");
const QString generique = QStringLiteral("Une erreur est survenue. Réessayez dans un instant.");

bool dejaTraitee(const cloud::ErreurCloud& e)
{
    return e.indice == QLatin1String("deja_traitee") || e.indice == QLatin1String("proposition_introuvable");
}
} // namespace

PropositionsFramework::PropositionsFramework(cloud::ClientSupabase* client, QObject* parent)
    : QObject(parent), client_(client)
{
    if (client_)
        connect(client_, &cloud::ClientSupabase::sessionChangee, this, [this] { suivreSession(); });
    suivreSession();
}

QString PropositionsFramework::message(const cloud::ErreurCloud& e)
{
    using G = cloud::ErreurCloud::Genre;
    if (e.genre == G::annule || dejaTraitee(e))
        return {};
    if (e.genre == G::reseau || e.genre == G::session)
        return e.message.isEmpty() ? generique : e.message;
    // The server's refusals about the step itself say what to do.
    static const QStringList refus{QStringLiteral("question_existante"), QStringLiteral("etape_complete"),
                                   QStringLiteral("etape_introuvable"), QStringLiteral("framework_introuvable"),
                                   QStringLiteral("equipe_requise"), QStringLiteral("action_interdite")};
    if (refus.contains(e.indice) && !e.message.isEmpty())
        return e.message;
    return generique;
}

void PropositionsFramework::suivreSession()
{
    const QString id = client_ && client_->session() ? client_->session()->utilisateur.id : QStringLiteral("-");
    if (id == compteId_ && generation_ > 0)
        return;
    compteId_ = id;
    ++generation_;
    enAttente_.clear();
    chargees_ = false;
    Q_EMIT change();
}

QCoro::Task<PropositionsFramework::Appel> PropositionsFramework::appeler(QString nom, QJsonObject parametres)
{
    if (!client_ || !client_->session()) {
        cloud::ErreurCloud e;
        e.genre = cloud::ErreurCloud::Genre::session;
        e.code = QStringLiteral("session_absente");
        e.message = client_ ? cloud::messages::sessionAbsente : generique;
        co_return Appel{false, echec(e)};
    }
    const quint64 generation = generation_;
    QPointer<PropositionsFramework> moi(this);
    auto r = co_await client_->appelerProcedure(nom, parametres, delaiMs);
    co_return Appel{!moi || generation != generation_, std::move(r)};
}

QCoro::Task<Resultat<PropositionQuestion, QString>> PropositionsFramework::proposer(QString frameworkId, QString etapeId,
                                                                                   QString question,
                                                                                   std::optional<QString> appelId)
{
    QJsonObject p{{QStringLiteral("p_framework_id"), frameworkId},
                  {QStringLiteral("p_etape_id"), etapeId.trimmed()},
                  {QStringLiteral("p_question"), question.trimmed()},
                  {QStringLiteral("p_appel_id"), appelId ? QJsonValue(*appelId) : QJsonValue(QJsonValue::Null)}};
    Appel a = co_await appeler(pProposer, p);
    if (a.perime)
        co_return echec(QString());
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    auto lu = PropositionQuestion::depuisJson(a.r.valeur().qt());
    if (!lu)
        co_return echec(generique);
    bool connue = false;
    for (PropositionQuestion& x : enAttente_)
        if (x.id == lu->id) {
            x = *lu;
            connue = true;
        }
    if (!connue && chargees_ && lu->statut == QLatin1String("en_attente"))
        enAttente_.append(*lu);
    Q_EMIT change();
    co_return *lu;
}

QCoro::Task<ResultatVide<QString>> PropositionsFramework::charger()
{
    Appel a = co_await appeler(pLister, QJsonObject());
    if (a.perime)
        co_return echec(QString());
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    if (!a.r.valeur().qt().isArray())
        co_return echec(generique);
    enAttente_ = model::lire::liste<PropositionQuestion>(a.r.valeur().qt(),
                                                         [](const QJsonValue& v) { return PropositionQuestion::depuisJson(v); });
    chargees_ = true;
    Q_EMIT change();
    co_return Rien{};
}

QCoro::Task<ResultatVide<QString>> PropositionsFramework::decider(QString id, bool accepter)
{
    const QJsonObject p{{QStringLiteral("p_id"), id}, {QStringLiteral("p_accept"), accepter}};
    Appel a = co_await appeler(pDecider, p);
    if (a.perime)
        co_return echec(QString());
    const bool retirer = a.r.ok() || dejaTraitee(a.r.erreur());
    if (retirer) {
        const auto avant = enAttente_.size();
        enAttente_.removeIf([&](const PropositionQuestion& p) { return p.id == id; });
        if (avant != enAttente_.size())
            Q_EMIT change();
    }
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    if (!PropositionQuestion::depuisJson(a.r.valeur().qt()))
        co_return echec(generique);
    co_return Rien{};
}

} // namespace vd::team
