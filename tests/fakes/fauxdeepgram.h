#pragma once
// A Deepgram-like streaming service: checks the path, the query items in
// order, the Authorization header, the audio frame sizes, the KeepAlive and
// CloseStream frames, and answers with scripted "Results" messages, HTTP
// refusals of the handshake, dropped sockets or silence.
#include "fauxws.h"

#include <QJsonArray>
#include <QJsonObject>
#include <optional>

namespace vd::fakes {

class FauxDeepgram final : public ServeurWsFactice {
    Q_OBJECT
public:
    using ServeurWsFactice::ServeurWsFactice;
    QUrl url() const { return ServeurWsFactice::url(QStringLiteral("/v1/listen")); }

    // Header value the service accepts; any other gets HTTP 401. Empty: any.
    QString autorisationAttendue;
    // On CloseStream: these messages, then a close.
    bool repondreFin = true;
    QList<QJsonObject> reponsesFin;
    // Sent once to the first connection as soon as it has received that much audio (ms).
    void programmer(qint64 apresMs, const QJsonObject& message);

    struct Mot {
        QString mot;
        double debut = 0, fin = 0;
        std::optional<qint64> locuteur;
    };
    static QJsonObject resultat(int canal, const QString& texte, double debut, double duree, bool final,
                                const QList<Mot>& mots = {});
    static QList<Mot> mots(const QString& texte, double debut, qint64 locuteur);

protected:
    int statutPoignee(const Connexion& c) const override;
    void surConnexion(int i) override;
    void surTexte(int i, const QString& texte) override;
    void surAudio(int i, const QByteArray& audio) override;

private:
    struct Programme {
        qint64 apresMs;
        QJsonObject message;
        bool envoye = false;
    };
    int canaux(int i) const;
    QList<Programme> programme_;
};

} // namespace vd::fakes
