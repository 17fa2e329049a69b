#pragma once
// Questions that team members propose for a step of a team framework, and the
// manager's decision on each. Everything goes through the backend's procedures;
// the waiting list belongs to the signed-in account and is dropped when it
// changes (answers still in flight for the previous account are ignored).
#include "cloud/clientsupabase.h"
#include "team/framework.h"

#include <QObject>
#include <QPointer>

namespace vd::team {

class PropositionsFramework : public QObject {
    Q_OBJECT
public:
    static constexpr int delaiMs = 30'000;

    // client null: no backend (every operation answers the generic failure).
    explicit PropositionsFramework(cloud::ClientSupabase* client, QObject* parent = nullptr);

    // Waiting proposals, oldest first (the team's for a manager, one's own otherwise).
    const QList<PropositionQuestion>& enAttente() const { return enAttente_; }
    bool chargees() const { return chargees_; }

    // Value or the French message; an empty message is a silent failure.
    QCoro::Task<Resultat<PropositionQuestion, QString>> proposer(QString frameworkId, QString etapeId, QString question,
                                                                 std::optional<QString> appelId = std::nullopt);
    QCoro::Task<ResultatVide<QString>> charger();
    // Accepts (the question joins the step) or refuses one proposal; it leaves the list.
    // A proposal already handled or gone is dropped silently.
    QCoro::Task<ResultatVide<QString>> decider(QString id, bool accepter);

    static QString message(const cloud::ErreurCloud& e);

Q_SIGNALS:
    void change();

private:
    struct Appel {
        bool perime = false;
        cloud::ResultatCloud<model::JSONValeur> r;
    };
    QCoro::Task<Appel> appeler(QString nom, QJsonObject parametres);
    void suivreSession();

    QPointer<cloud::ClientSupabase> client_;
    QString compteId_ = QStringLiteral("-");
    quint64 generation_ = 0;
    QList<PropositionQuestion> enAttente_;
    bool chargees_ = false;
};

} // namespace vd::team
