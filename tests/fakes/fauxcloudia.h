#pragma once
// The signed-in account as the language-model client sees it, for tests: the
// streamed function is posted to a local server, journal rows are kept.
#include "ai/accescloudia.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QUrl>

namespace vd::fakes {

class FauxCloudIA final : public ai::AccesCloudIA {
public:
    FauxCloudIA(QUrl base, platform::Horloge& horloge) : base_(std::move(base)), horloge_(horloge) {}
    bool connecte() const override { return connecte_; }
    ai::FluxReponse* ouvrirFlux(const QString& nom, const QJsonObject& corps, int delaiMs) override
    {
        dernierDelaiMs = delaiMs;
        if (!connecte_ || sessionExpiree) {
            ai::EchecFlux e;
            e.genre = ai::EchecFlux::Genre::session;
            e.message = QStringLiteral("Votre session a expiré. Reconnectez-vous.");
            return new ai::FluxEchoue(e);
        }
        QNetworkRequest req(QUrl(base_.toString() + QStringLiteral("/functions/v1/") + nom));
        req.setRawHeader("content-type", "application/json");
        req.setRawHeader("accept", "text/event-stream");
        req.setRawHeader("authorization", "Bearer jeton-de-test");
        QNetworkReply* r = reseau_.post(req, QJsonDocument(corps).toJson(QJsonDocument::Compact));
        return new ai::FluxHttp(r, horloge_, delaiMs, true);
    }
    void journaliser(const QJsonObject& ligne) override { journal.append(ligne); }

    bool connecte_ = true;
    bool sessionExpiree = false;   // signed in, but the token cannot be renewed
    int dernierDelaiMs = 0;
    QList<QJsonObject> journal;

private:
    QUrl base_;
    platform::Horloge& horloge_;
    QNetworkAccessManager reseau_;
};

} // namespace vd::fakes
