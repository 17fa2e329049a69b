#include "instanceunique.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QThread>

Q_LOGGING_CATEGORY(lcInstance, "vd.app.instance")

namespace vd::app {

namespace {

// Per-connection reading state, kept on the socket.
constexpr char proprieteTampon[] = "vd_tampon";
constexpr char proprieteAttendu[] = "vd_attendu";   // body length still awaited, -1: a header
constexpr char proprieteEtape[] = "vd_etape";      // 0 request, 1 waiting for the go, 2 running
// A header line or a forwarded link, whichever is longer.
constexpr qint64 longueurLigneMax = InstanceUnique::limiteLien + 1;

} // namespace

QString InstanceUnique::cheminVerrou(const QString& dossier)
{
    return QDir(dossier).absolutePath() + QStringLiteral("/.vendalo.verrou");
}

QString InstanceUnique::nomServeurPour(const QString& dossier)
{
    const QString absolu = QDir(dossier).absolutePath();
    const QString nom = QStringLiteral("vendalo-") +
                        QString::fromLatin1(QCryptographicHash::hash(absolu.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QLatin1Char('/') + nom;
    return nom;
}

InstanceUnique::InstanceUnique(const QString& dossier, QObject* parent) : QObject(parent)
{
    nom_ = nomServeurPour(dossier);
    QDir().mkpath(QDir(dossier).absolutePath());
    verrou_ = std::make_unique<QLockFile>(cheminVerrou(dossier));
    verrou_->setStaleLockTime(0);   // only a dead process's lock is stale
}

InstanceUnique::~InstanceUnique()
{
    if (serveur_)
        serveur_->close();
}

InstanceUnique::Issue InstanceUnique::acquerir(const QString& message)
{
    // The running instance may be starting up: retry the hand-off a few times.
    for (int essai = 0; essai < 20; ++essai) {
        if (verrou_->tryLock(0)) {
            ecouter();
            return Issue::proprietaire;
        }
        if (message.toUtf8().size() > limiteLien) {
            // Refused whole, never cut: this launch ends as if it had handed it over.
            qCWarning(lcInstance) << "lien refusé : plus de" << limiteLien / 1024 << "Ko";
            return Issue::transmis;
        }
        if (envoyer(message))
            return Issue::transmis;
        QThread::msleep(100);
    }
    qCWarning(lcInstance) << "une autre instance tient les données mais ne répond pas";
    return Issue::occupe;
}

void InstanceUnique::ecouter()
{
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
            if (!relais::memeUtilisateur(s->socketDescriptor())) {
                qCWarning(lcInstance) << "connexion d'un autre utilisateur refusée";
                s->abort();
                s->deleteLater();
                continue;
            }
            s->setProperty(proprieteAttendu, qint64(-1));
            s->setProperty(proprieteEtape, 0);
            connect(s, &QLocalSocket::readyRead, this, [this, s] { lire(s); });
        }
    });
}

void InstanceUnique::refuser(QLocalSocket* s, const QString& message)
{
    s->write(relais::trame(relais::motRefus, message.toUtf8()));
    s->flush();
    s->disconnectFromServer();
    s->setProperty(proprieteEtape, 3);
}

void InstanceUnique::refuserLien(QLocalSocket* s)
{
    qCWarning(lcInstance) << "lien transmis refusé : plus de" << limiteLien / 1024 << "Ko";
    s->setProperty(proprieteEtape, 3);
    s->write("refuse\n");
    s->flush();
    s->disconnectFromServer();
}

void InstanceUnique::lire(QLocalSocket* s)
{
    QByteArray tampon = s->property(proprieteTampon).toByteArray() + s->readAll();
    qint64 attendu = s->property(proprieteAttendu).toLongLong();
    const int etape = s->property(proprieteEtape).toInt();
    s->setProperty(proprieteTampon, QByteArray());
    if (etape >= 2)
        return;   // nothing more is read from a running or closed request
    if (attendu < 0) {
        const qsizetype fin = tampon.indexOf('\n');
        if (fin < 0) {
            if (tampon.size() > longueurLigneMax)
                refuserLien(s);
            else
                s->setProperty(proprieteTampon, tampon);
            return;
        }
        const QByteArray ligne = tampon.left(fin);
        tampon.remove(0, fin + 1);
        const auto entete = relais::lireEntete(ligne);
        if (etape == 1) {
            if (!entete || entete->first != relais::motDepart) {
                s->abort();
                return;
            }
            s->setProperty(proprieteEtape, 2);
            const QByteArray corps = s->property("vd_requete").toByteArray();
            s->setProperty("vd_requete", QByteArray());
            const auto requete = RequeteCommande::depuisOctets(corps);
            QPointer<QLocalSocket> p(s);
            executeur_(*requete, [this, p](const ReponseCommande& r) {
                occupe_ = false;
                if (!p)
                    return;
                p->write(relais::trame(relais::motReponse, r.versOctets()));
                p->flush();
                p->disconnectFromServer();
            });
            return;
        }
        if (!entete || entete->first != relais::motCommande) {
            // A later launch handing over its link.
            if (ligne.size() > limiteLien) {
                refuserLien(s);
                return;
            }
            const QString m = QString::fromUtf8(ligne).trimmed();
            s->setProperty(proprieteEtape, 3);
            if (!accepteLiens_) {
                s->write("occupe\n");
                s->flush();
                s->disconnectFromServer();
                return;
            }
            s->write("ok\n");
            s->flush();
            s->setProperty(proprieteEtape, 3);
            Q_EMIT messageRecu(m);
            return;
        }
        if (entete->second > relais::tailleMax) {
            refuser(s, relais::messageTropGrand());
            return;
        }
        attendu = entete->second;
    }
    if (tampon.size() < attendu) {
        s->setProperty(proprieteTampon, tampon);
        s->setProperty(proprieteAttendu, attendu);
        return;
    }
    const QByteArray corps = tampon.left(attendu);
    s->setProperty(proprieteAttendu, qint64(-1));
    const auto requete = RequeteCommande::depuisOctets(corps);
    if (!requete) {
        refuser(s, QStringLiteral("Demande illisible : rien n'a été modifié."));
        return;
    }
    if (!executeur_ || occupe_) {
        refuser(s, relais::messageOccupe());
        return;
    }
    occupe_ = true;
    s->setProperty("vd_requete", corps);
    s->setProperty(proprieteEtape, 1);
    s->write(relais::trame(relais::motAccuse, {}));
    s->flush();
    // A client that gives up before the go frees the app again.
    connect(s, &QLocalSocket::disconnected, this, [this, s] {
        if (s->property(proprieteEtape).toInt() == 1)
            occupe_ = false;
    });
    if (!tampon.mid(attendu).isEmpty()) {
        s->setProperty(proprieteTampon, tampon.mid(attendu));
        lire(s);
    }
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
