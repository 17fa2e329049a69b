#include "instanceunique.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QThread>

Q_LOGGING_CATEGORY(lcInstance, "vd.app.instance")

namespace vd::app {

InstanceUnique::InstanceUnique(const QString& dossier, QObject* parent) : QObject(parent)
{
    const QString absolu = QDir(dossier).absolutePath();
    nom_ = QStringLiteral("vendalo-") +
           QString::fromLatin1(QCryptographicHash::hash(absolu.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    QDir().mkpath(absolu);
    verrou_ = std::make_unique<QLockFile>(absolu + QStringLiteral("/.vendalo.verrou"));
    verrou_->setStaleLockTime(0);   // only a dead process's lock is stale
}

InstanceUnique::~InstanceUnique()
{
    if (serveur_)
        serveur_->close();
}

bool InstanceUnique::acquerir(const QString& message)
{
    // The running instance may be starting up: retry the hand-off a few times.
    for (int essai = 0; essai < 20; ++essai) {
        if (verrou_->tryLock(0)) {
            serveur_ = new QLocalServer(this);
            serveur_->setSocketOptions(QLocalServer::UserAccessOption);
            if (!serveur_->listen(nom_)) {
                QLocalServer::removeServer(nom_);   // left behind by a crash
                if (!serveur_->listen(nom_))
                    qCWarning(lcInstance) << "serveur local indisponible :" << serveur_->errorString();
            }
            connect(serveur_, &QLocalServer::newConnection, this, [this] {
                while (QLocalSocket* s = serveur_->nextPendingConnection()) {
                    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
                    connect(s, &QLocalSocket::readyRead, this, [this, s] {
                        if (s->property("refuse").toBool()) {
                            s->readAll();
                            return;
                        }
                        const bool complet = s->canReadLine();
                        if (!complet && s->bytesAvailable() <= limiteLien + 1)
                            return;
                        const QByteArray ligne = complet ? s->readLine(limiteLien + 2) : QByteArray();
                        if (!complet || !ligne.endsWith('\n')) {
                            qCWarning(lcInstance) << "lien transmis refusé : plus de" << limiteLien / 1024 << "Ko";
                            s->setProperty("refuse", true);
                            s->readAll();
                            s->write("refuse\n");
                            s->flush();
                            s->disconnectFromServer();
                            return;
                        }
                        const QString m = QString::fromUtf8(ligne).trimmed();
                        s->write("ok\n");
                        s->flush();
                        Q_EMIT messageRecu(m);
                    });
                }
            });
            return true;
        }
        if (message.toUtf8().size() > limiteLien) {
            qCWarning(lcInstance) << "lien refusé : plus de" << limiteLien / 1024 << "Ko";
            return false;
        }
        if (envoyer(message))
            return false;
        QThread::msleep(100);
    }
    qCWarning(lcInstance) << "une autre instance tient les données mais ne répond pas";
    return false;
}

bool InstanceUnique::envoyer(const QString& message)
{
    QLocalSocket s;
    s.connectToServer(nom_);
    if (!s.waitForConnected(1000))
        return false;
    s.write(message.toUtf8().replace('\n', ' ') + '\n');
    s.flush();
    if (!s.waitForReadyRead(2000))
        return false;
    const QByteArray reponse = s.readLine().trimmed();
    return reponse == "ok" || reponse == "refuse";   // answered either way: nothing to retry
}

DestinationLien routerLien(const QUrl& url)
{
    if (url.scheme().compare(QLatin1String("vendalo2"), Qt::CaseInsensitive) != 0)
        return DestinationLien::ignore;
    if (url.host().compare(QLatin1String("agenda"), Qt::CaseInsensitive) == 0)
        return DestinationLien::agenda;
    return DestinationLien::compte;
}

} // namespace vd::app
