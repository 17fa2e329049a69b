#include "store_ecrivain.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace vd::model {

namespace {

// The folder's entry for a rename survives a power cut once the folder is synced.
void synchroniserDossier(const QString& fichier)
{
    const int fd = ::open(QFileInfo(fichier).absolutePath().toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

EcrivainStore::EcrivainStore(QString fichier, Etat ecrit, IdentiteFichier base, qint64 tailleJournal, qsizetype entrees)
    : fichier_(std::move(fichier)), journal_(journal::cheminPour(fichier_)), ecrit_(std::move(ecrit)), base_(base),
      tailleJournal_(tailleJournal), entrees_(entrees)
{
}

EcrivainStore::~EcrivainStore() { attendreCompaction(); }

qint64 EcrivainStore::octetsEcrits() const
{
    std::lock_guard l(m_);
    return octets_;
}

qint64 EcrivainStore::seuil() const { return std::max(seuilMinimal, base_.taille / 4); }

void EcrivainStore::attendreCompaction()
{
    if (compacteur_.joinable())
        compacteur_.join();
}

QString EcrivainStore::enregistrer(const Etat& instantane, bool complet)
{
    bool entier;
    {
        std::lock_guard l(m_);
        entier = complet || complet_ || !base_.existe();
    }
    if (entier) {
        attendreCompaction();
        std::unique_lock l(m_);
        const qsizetype inclus = entrees_;
        l.unlock();
        const QString erreur = ecrireEntier(instantane, inclus);
        if (erreur.isEmpty()) {
            ecrit_ = instantane;
            complet_ = false;
        }
        return erreur;
    }
    const QByteArray charge = journal::difference(ecrit_, instantane);
    ecrit_ = instantane;
    if (charge.isEmpty())
        return {};
    bool compacter = false;
    {
        std::lock_guard l(m_);
        QString erreur;
        if (tailleJournal_ < 0) {
            erreur = journal::recreer(journal_, base_, {});
            if (erreur.isEmpty()) {
                tailleJournal_ = journal::entete(base_).size();
                entrees_ = 0;
                synchroniserDossier(journal_);
            }
        }
        const QByteArray cadre = journal::cadre(charge);
        if (erreur.isEmpty())
            erreur = journal::ajouter(journal_, cadre);
        if (!erreur.isEmpty()) {
            complet_ = true;   // the journal may be short of this change: write whole next time
            return erreur;
        }
        tailleJournal_ += cadre.size();
        octets_ += cadre.size();
        ++entrees_;
        if (compaction_)
            depuisInstantane_.append(charge);
        compacter = !compaction_ && tailleJournal_ > seuil() && tailleJournal_ >= prochainEssai_;
    }
    if (compacter)
        compacterEnFond();
    return {};
}

void EcrivainStore::compacterEnFond()
{
    std::unique_lock l(m_);
    if (compaction_ || !base_.existe() || entrees_ == 0)
        return;
    compaction_ = true;
    depuisInstantane_.clear();
    const qsizetype inclus = entrees_;
    l.unlock();
    attendreCompaction();
    compacteur_ = std::thread([this, instantane = ecrit_, inclus] {
        const QString erreur = ecrireEntier(instantane, inclus);
        if (!erreur.isEmpty()) {
            qCWarning(lcStore) << "compaction impossible :" << erreur;
            std::lock_guard g(m_);
            compaction_ = false;
            prochainEssai_ = tailleJournal_ + seuilMinimal;
        }
    });
}

QString EcrivainStore::compacterMaintenant()
{
    attendreCompaction();
    {
        std::lock_guard l(m_);
        if (entrees_ == 0 && !complet_)
            return {};
    }
    return enregistrer(ecrit_, true);
}

// Streams the whole state to a temporary file beside the working one, then, under the
// journal's lock: the marker in the old journal, the rename, the fresh journal.
QString EcrivainStore::ecrireEntier(const Etat& etat, qsizetype inclus)
{
    const QFileInfo info(fichier_);
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("impossible de créer le dossier « %1 »").arg(info.absolutePath());
    QSaveFile f(fichier_);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    IdentiteFichier id{0, 0};
    bool ok = true;
    auto vider = [&](QByteArray& b) {
        id.crc = crc32De(b, id.crc);
        id.taille += b.size();
        ok = ok && f.write(b) == b.size();
        b.resize(0);
    };
    QByteArray tampon;
    tampon.reserve(1 << 20);
    {
        EcrivainJson e(tampon);
        e.setVidange(1 << 20, vider);
        ecrire(e, etat);
    }
    vider(tampon);
    if (!ok) {
        const QString erreur = f.errorString();
        f.cancelWriting();
        std::lock_guard l(m_);
        compaction_ = false;
        return erreur;
    }
    std::lock_guard l(m_);
    compaction_ = false;
    if (tailleJournal_ >= 0) {
        const QString erreur = journal::ajouter(journal_, journal::marqueur(id, inclus));
        if (!erreur.isEmpty()) {
            f.cancelWriting();
            depuisInstantane_.clear();
            return erreur;
        }
    }
    if (!f.commit()) {
        depuisInstantane_.clear();
        return f.errorString();
    }
    synchroniserDossier(fichier_);
    octets_ += id.taille;
    base_ = id;
    // What was written during the compaction goes into the fresh journal.
    const QList<QByteArray> restants = std::exchange(depuisInstantane_, {});
    const QString erreur = journal::recreer(journal_, base_, restants);
    if (!erreur.isEmpty()) {
        // The old journal stays valid through its marker; appends go on there.
        return {};
    }
    synchroniserDossier(journal_);
    qint64 taille = journal::entete(base_).size();
    for (const QByteArray& r : restants)
        taille += 8 + r.size();
    tailleJournal_ = taille;
    entrees_ = restants.size();
    prochainEssai_ = 0;
    return {};
}

} // namespace vd::model
