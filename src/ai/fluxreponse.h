#pragma once
// One streamed answer as the language-model client reads it, whatever
// carries it: a direct HTTP request (own key, relay) or the backend's
// streamed function. Emits the body bytes as they arrive, then exactly one of
// fin() or echec(); nothing after annuler().
#include "platform/horloge.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

namespace vd::ai {

struct EchecFlux {
    enum class Genre {
        http,      // a non-2xx answer
        reseau,    // no answer, or the connection broke
        session,   // refused before sending (nobody signed in, session expired): message ready
    };
    Genre genre = Genre::reseau;
    int statut = 0;
    QString message;                          // the server's message (http) or the ready message (session)
    QString code;                             // the backend's short code, when the body gives one
    std::optional<double> reessayerApres;     // seconds
    bool reessayable = false;                 // reseau: timed out, connection lost, cannot connect
};

class FluxReponse : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void annuler() = 0;
    // A header of the answer ("x-vd-modele"…), empty when absent.
    virtual QByteArray entete(const QByteArray& nom) const = 0;

Q_SIGNALS:
    void donnees(const QByteArray& morceau);
    void fin();
    void echec(const vd::ai::EchecFlux& e);
};

// Over a QNetworkReply: no byte for inactiviteMs times the transfer out (an
// inactivity limit, not a cap on a long answer); an error body is read up to
// 64,000 bytes; "retry-after" from the header, or from the body's
// "retry_after" (at least 0.2 s) when retryAfterDuCorps.
class FluxHttp final : public FluxReponse {
    Q_OBJECT
public:
    static constexpr qsizetype capCorpsErreur = 64000;

    FluxHttp(QNetworkReply* reponse, platform::Horloge& horloge, int inactiviteMs, bool retryAfterDuCorps,
             QObject* parent = nullptr);
    ~FluxHttp() override;
    void annuler() override;
    QByteArray entete(const QByteArray& nom) const override;

private:
    void lire();
    void finir();
    void liberer();

    QPointer<QNetworkReply> reponse_;
    platform::Minuterie* inactivite_;
    int inactiviteMs_;
    bool retryAfterDuCorps_;
    QByteArray corpsErreur_;
    QList<QPair<QByteArray, QByteArray>> entetes_;
    bool inactif_ = false;
    bool plafond_ = false;
    bool fini_ = false;
};

// A stream that could not start: reports its failure on the next turn of the loop.
class FluxEchoue final : public FluxReponse {
    Q_OBJECT
public:
    explicit FluxEchoue(EchecFlux e, QObject* parent = nullptr);
    void annuler() override { annule_ = true; }
    QByteArray entete(const QByteArray&) const override { return {}; }

private:
    bool annule_ = false;
};

} // namespace vd::ai

Q_DECLARE_METATYPE(vd::ai::EchecFlux)
