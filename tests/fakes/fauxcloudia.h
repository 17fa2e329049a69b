#pragma once
// The signed-in account as the language-model client sees it, for tests: the
// streamed function is posted to a local server, journal rows are kept.
#include "ai/accescloudia.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace vd::fakes {

class FauxCloudIA final : public ai::AccesCloudIA {
public:
    explicit FauxCloudIA(QUrl base) : base_(std::move(base)) {}
    bool connecte() const override { return connecte_; }
    void ouvrirFlux(const QString& nom, const QJsonObject& corps, int delaiMs, QObject* contexte,
                    SuiteFlux suite) override
    {
        dernierDelaiMs = delaiMs;
        if (!connecte_ || sessionExpiree) {
            suite(nullptr, ai::ErreurSouffleur{QStringLiteral("session"), 0,
                                               QStringLiteral("Votre session a expiré. Reconnectez-vous.")});
            return;
        }
        QNetworkRequest req(QUrl(base_.toString() + QStringLiteral("/functions/v1/") + nom));
        req.setRawHeader("content-type", "application/json");
        req.setRawHeader("accept", "text/event-stream");
        req.setRawHeader("authorization", "Bearer jeton-de-test");
        QNetworkReply* r = reseau_.post(req, QJsonDocument(corps).toJson(QJsonDocument::Compact));
        Q_UNUSED(contexte);
        suite(r, std::nullopt);
    }
    void journaliser(const QJsonObject& ligne) override { journal.append(ligne); }

    bool connecte_ = true;
    bool sessionExpiree = false;   // signed in, but the token cannot be renewed
    int dernierDelaiMs = 0;
    QList<QJsonObject> journal;

private:
    QUrl base_;
    QNetworkAccessManager reseau_;
};

} // namespace vd::fakes
