#pragma once
// The older relay's token route (POST api/deepgram/token): records each
// request and answers with a scripted status and body, or never answers.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace vd::fakes {

class FauxRelaisTranscription final : public QObject {
    Q_OBJECT
public:
    explicit FauxRelaisTranscription(QObject* parent = nullptr);
    bool demarrer();
    QUrl url() const;

    struct Requete {
        QByteArray methode, chemin, corps;
    };
    QList<Requete> requetes;
    int statut = 200;
    QByteArray corps = R"({"access_token":"jeton-relais"})";
    bool muet = false;   // keeps the connection open without answering

private:
    void lire(QTcpSocket* s);
    QTcpServer* serveur_;
};

} // namespace vd::fakes
