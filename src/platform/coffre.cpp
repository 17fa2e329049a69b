#include "coffre.h"

#include "dossiers.h"
#include "horloge.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcCoffre, "vd.platform.coffre")

namespace vd::platform {

namespace {

Coffre* g_coffre = nullptr;

// Erased items are overwritten with this marker: the Secret Service answers
// writes at once, while its delete may wait on a prompt that never shows.
const QString kEfface = QStringLiteral("\u2205vd-efface");

enum class Issue { ok, absent, panne };

struct Resultat {
    Issue issue = Issue::panne;
    QString valeur;
};

// Keychain jobs all run on one long-lived thread (the Secret Service client
// keeps per-thread state: jobs spread over short-lived threads stop being
// answered), each inside a local event loop, so the caller's thread never
// re-enters its own event loop.
class FilTrousseau {
public:
    FilTrousseau()
    {
        fil_.setObjectName(QStringLiteral("vd.coffre"));
        hote_.moveToThread(&fil_);
        fil_.start();
    }
    ~FilTrousseau()
    {
        fil_.quit();
        fil_.wait();
    }
    template<typename F>
    void executer(F&& f)
    {
        QMetaObject::invokeMethod(&hote_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }

private:
    QThread fil_;
    QObject hote_;
};

FilTrousseau& filTrousseau()
{
    static FilTrousseau fil;
    return fil;
}

template<typename Job, typename Prepare, typename Lire>
Resultat executer(const QString& service, Prepare prepare, Lire lireResultat)
{
    Resultat r;
    filTrousseau().executer([&] {
        QEventLoop boucle;
        Job job(service);
        job.setAutoDelete(false);
        prepare(job);
        QObject::connect(&job, &QKeychain::Job::finished, &boucle, [&] {
            if (job.error() == QKeychain::NoError) {
                r.issue = Issue::ok;
                r.valeur = lireResultat(job);
            } else if (job.error() == QKeychain::EntryNotFound) {
                r.issue = Issue::absent;
            } else {
                r.issue = Issue::panne;
            }
            boucle.quit();
        });
        QTimer::singleShot(10000, &boucle, &QEventLoop::quit);
        job.start();
        boucle.exec();
    });
    return r;
}

} // namespace

Coffre& Coffre::instance()
{
    if (g_coffre)
        return *g_coffre;
    static CoffreSysteme systeme;
    return systeme;
}

void Coffre::installer(Coffre* c) { g_coffre = c; }

CoffreSysteme::CoffreSysteme(QString service, QString fichierSecours, Horloge* horloge)
    : service_(std::move(service)),
      fichier_(fichierSecours.isEmpty() ? dossierConfiguration() + QStringLiteral("/identifiants.json") : std::move(fichierSecours)),
      horloge_(horloge ? *horloge : Horloge::instance())
{
    forceSecours_ = qEnvironmentVariable("VD_COFFRE") == QLatin1String("fichier");
    secours_ = forceSecours_;
}

CoffreSysteme::~CoffreSysteme() = default;

std::optional<QString> CoffreSysteme::lire(const QString& cle)
{
    {
        QMutexLocker l(&verrouCache_);
        const auto it = cache_.constFind(cle);
        if (it != cache_.constEnd() && horloge_.monotoneMs() - it->lu < dureeCacheMs)
            return it->valeur;
    }
    const std::optional<QString> v = lireSansCache(cle);
    retenir(cle, v);
    return v;
}

void CoffreSysteme::retenir(const QString& cle, const std::optional<QString>& valeur)
{
    QMutexLocker l(&verrouCache_);
    cache_.insert(cle, Connu{valeur, horloge_.monotoneMs()});
}

std::optional<QString> CoffreSysteme::lireSansCache(const QString& cle)
{
    if (!secours_) {
        const Resultat r = executer<QKeychain::ReadPasswordJob>(
            service_, [&](QKeychain::ReadPasswordJob& j) { j.setKey(cle); },
            [](QKeychain::ReadPasswordJob& j) { return j.textData(); });
        if (r.issue == Issue::ok)
            return r.valeur == kEfface ? std::nullopt : std::optional<QString>(r.valeur);
        if (r.issue == Issue::absent) {
            // A secret written while the service was down may still sit in the file.
            const auto v = lireFichier();
            if (v.contains(cle))
                return v.value(cle);
            return std::nullopt;
        }
        qCInfo(lcCoffre) << "pas de trousseau disponible, fichier de secours";
        secours_ = true;
    }
    const auto v = lireFichier();
    auto it = v.constFind(cle);
    return it == v.constEnd() ? std::nullopt : std::optional<QString>(*it);
}

QString CoffreSysteme::ecrire(const QString& cle, const QString& valeur)
{
    {
        // Whatever happens below, the next read asks the store again unless this write succeeds.
        QMutexLocker l(&verrouCache_);
        cache_.remove(cle);
    }
    if (!secours_) {
        const Resultat r = executer<QKeychain::WritePasswordJob>(
            service_,
            [&](QKeychain::WritePasswordJob& j) {
                j.setKey(cle);
                j.setTextData(valeur);
            },
            [](QKeychain::WritePasswordJob&) { return QString(); });
        if (r.issue == Issue::ok) {
            retenir(cle, valeur);
            return {};
        }
        secours_ = true;
    }
    auto v = lireFichier();
    v.insert(cle, valeur);
    const QString erreur = ecrireFichier(v);
    if (erreur.isEmpty())
        retenir(cle, valeur);
    return erreur;
}

QString CoffreSysteme::effacer(const QString& cle)
{
    {
        QMutexLocker l(&verrouCache_);
        cache_.remove(cle);
    }
    if (!secours_) {
        const Resultat r = executer<QKeychain::WritePasswordJob>(
            service_,
            [&](QKeychain::WritePasswordJob& j) {
                j.setKey(cle);
                j.setTextData(kEfface);
            },
            [](QKeychain::WritePasswordJob&) { return QString(); });
        if (r.issue == Issue::panne)
            secours_ = true;
    }
    auto v = lireFichier();
    if (v.remove(cle) > 0 || secours_)
        return ecrireFichier(v);
    return {};
}

QHash<QString, QString> CoffreSysteme::lireFichier() const
{
    QHash<QString, QString> v;
    QFile f(fichier_);
    if (!f.open(QIODevice::ReadOnly))
        return v;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    for (auto it = o.begin(); it != o.end(); ++it)
        if (it.value().isString())
            v.insert(it.key(), it.value().toString());
    return v;
}

QString CoffreSysteme::ecrireFichier(const QHash<QString, QString>& v) const
{
    QJsonObject o;
    for (auto it = v.begin(); it != v.end(); ++it)
        o.insert(it.key(), it.value());
    QDir().mkpath(QFileInfo(fichier_).absolutePath());
    // Created 0600 before any secret is written into it.
    const mode_t ancien = ::umask(077);
    const QString erreur = ecrireAtomique(fichier_, QJsonDocument(o).toJson(QJsonDocument::Compact));
    ::umask(ancien);
    QFile::setPermissions(fichier_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!erreur.isEmpty())
        return QStringLiteral("Impossible d'enregistrer l'identifiant : ") + erreur;
    return {};
}

} // namespace vd::platform
