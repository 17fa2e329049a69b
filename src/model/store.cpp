#include "store.h"

#include "platform/dossiers.h"
#include "texte.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSet>
#include <algorithm>

Q_LOGGING_CATEGORY(lcStore, "vd.model.store")

namespace vd::model {

// Lives on the writer thread: encodes a snapshot and writes it atomically.
class EcrivainStore : public QObject {
public:
    QString ecrire(const QString& chemin, const Etat& instantane)
    {
        QByteArray octets;
        octets.reserve(1 << 16);
        EcrivainJson e(octets);
        ecrire(e, instantane);
        const QString erreur = platform::ecrireAtomique(chemin, octets);
        return erreur.isEmpty() ? QString() : QStringLiteral("Sauvegarde impossible : ") + erreur;
    }

private:
    static void ecrire(EcrivainJson& e, const Etat& etat) { vd::model::ecrire(e, etat); }
};

Store::Store(const QString& fichier, platform::Horloge& horloge, QObject* parent)
    : Store(fichier, Acces::ecriture, horloge, parent)
{
}

Store::Store(const QString& fichier, Acces acces, platform::Horloge& horloge, QObject* parent)
    : QObject(parent), fichier_(fichier), horloge_(horloge), lectureSeule_(acces == Acces::lecture)
{
    if (fichier_.isEmpty())
        return;
    if (lectureSeule_) {
        charger();
        return;
    }
    fil_.setObjectName(QStringLiteral("io.vendalo.mac.sauvegarde"));
    ecrivain_ = new EcrivainStore;
    ecrivain_->moveToThread(&fil_);
    connect(&fil_, &QThread::finished, ecrivain_, &QObject::deleteLater);
    fil_.start(QThread::LowPriority);
    charger();
}

Store::~Store()
{
    if (ecrivain_) {
        // Let every queued write land before the writer stops.
        QMetaObject::invokeMethod(ecrivain_, [] {}, Qt::BlockingQueuedConnection);
        fil_.quit();
        fil_.wait();
    }
}

QString Store::cheminPrincipal() { return platform::dossierDonnees() + QStringLiteral("/etat.json"); }

std::unique_ptr<Store> Store::principal(const std::function<std::optional<Etat>()>& etatDemo)
{
    if (qEnvironmentVariable("VD_TEST_MOTEUR") == QLatin1String("1")) {
        auto s = std::make_unique<Store>();
        if (etatDemo) {
            if (auto demo = etatDemo()) {
                demo->reglages.onboarde = true;
                s->etat_ = std::move(*demo);
            }
        }
        return s;
    }
    return std::make_unique<Store>(cheminPrincipal());
}

void Store::charger()
{
    QFile f(fichier_);
    if (!f.exists())
        return;
    if (!f.open(QIODevice::ReadOnly)) {
        // Present but unreadable (rights, I/O): never replace it by a fresh state.
        blocage_ = f.errorString();
        erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
        qCWarning(lcStore) << "fichier illisible, écriture suspendue";
        return;
    }
    QByteArray octets = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        blocage_ = f.errorString();
        erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
        return;
    }
    f.close();
    if (octets.isEmpty())
        return;
    const auto doc = DocJson::analyser(std::move(octets));
    auto etat = (doc && doc->racine().isObject()) ? Etat::depuisJson(doc->racine()) : std::nullopt;
    if (etat) {
        etat_ = std::move(*etat);
        return;
    }
    if (lectureSeule_)
        return;   // a reader leaves the file to the writer's quarantine
    const QString nom = QStringLiteral("etat-illisible-%1.json")
                            .arg(horloge_.maintenant().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString cible = QFileInfo(fichier_).absoluteDir().filePath(nom);
    if (QFile::rename(fichier_, cible)) {
        quarantaine_ = cible;
        qCWarning(lcStore) << "fichier illisible mis en quarantaine";
    } else {
        // Without the quarantine copy, writing would destroy the only copy.
        blocage_ = QStringLiteral("le fichier illisible n'a pas pu être mis de côté");
        erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
    }
}

bool Store::sauvegardeEnAttente() const { return tache_ && tache_->actif(); }

void Store::modifier(const std::function<void(Etat&)>& changement)
{
    const QList<Appel> avant = etat_.appels;   // shared, no copy unless changed
    changement(etat_);
    modifie_ = true;
    publier(avant);
    planifier();
}

void Store::modifier(const std::function<void(Etat&)>& changement, const QList<Suppression>& suppressions)
{
    modifier(changement);
    const QString le = horodatageMaintenant();
    if (!lectureSeule_ && !fichier_.isEmpty()) {
        QList<SuppressionNotee> notees;
        for (const Suppression& s : suppressions)
            notees.append({s.collection, s.id, le});
        if (const QString e = JournalCloud(JournalCloud::pour(fichier_)).noterSuppressions(notees); !e.isEmpty())
            qCWarning(lcStore) << "suppressions non notées pour la synchronisation :" << e;
    }
    for (const Suppression& s : suppressions)
        Q_EMIT supprime(s.collection, s.id, le);
}

QString Store::horodatageMaintenant() const { return horodatage(horloge_.maintenant()); }

void Store::remplacerEtat(Etat etat, bool demonstration)
{
    if (!lectureSeule_ && !fichier_.isEmpty())
        if (const QString e = JournalCloud(JournalCloud::pour(fichier_)).noterRemplacement(etat, demonstration); !e.isEmpty())
            qCWarning(lcStore) << "remplacement non noté pour la synchronisation :" << e;
    const QList<Appel> avant = etat_.appels;
    etat_ = std::move(etat);
    modifie_ = true;   // so the replacement really reaches the disk
    publier(avant);
    planifier();
}

void Store::publier(const QList<Appel>& avant)
{
    if (!fichier_.isEmpty() && rappelRetires_ && !avant.isSharedWith(etat_.appels)) {
        QSet<QString> apres;
        apres.reserve(etat_.appels.size());
        for (const Appel& a : etat_.appels)
            apres.insert(a.id);
        QStringList retires;
        for (const Appel& a : avant)
            if (!apres.contains(a.id))
                retires.append(a.id);
        if (!retires.isEmpty())
            rappelRetires_(retires);
    }
    Q_EMIT etatChange();
}

void Store::planifier()
{
    if (fichier_.isEmpty() || lectureSeule_)
        return;
    if (!tache_) {
        tache_ = horloge_.creerMinuterie(this);
        tache_->setUnique(true);
        connect(tache_, &platform::Minuterie::expire, this, [this] { sauvegarder(false); });
    }
    tache_->demarrer(500);
}

void Store::sauvegarder(bool immediat)
{
    if (tache_)
        tache_->arreter();
    if (fichier_.isEmpty() || !modifie_ || lectureSeule_)
        return;
    if (!blocage_.isEmpty()) {
        appliquerResultat(QStringLiteral("Sauvegarde impossible : ") + blocage_);
        return;
    }
    modifie_ = false;
    const Etat instantane = etat_;   // implicitly shared: the snapshot costs a few reference counts
    const QString chemin = fichier_;
    EcrivainStore* ecrivain = ecrivain_;
    if (immediat) {
        QString erreur;
        QMetaObject::invokeMethod(
            ecrivain_, [&] { erreur = ecrivain->ecrire(chemin, instantane); }, Qt::BlockingQueuedConnection);
        appliquerResultat(erreur);
        return;
    }
    QPointer<Store> moi(this);
    QMetaObject::invokeMethod(
        ecrivain_,
        [moi, ecrivain, chemin, instantane] {
            const QString erreur = ecrivain->ecrire(chemin, instantane);
            if (moi)
                QMetaObject::invokeMethod(moi.data(), [moi, erreur] {
                    if (moi)
                        moi->appliquerResultat(erreur);
                }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void Store::appliquerResultat(const QString& erreur)
{
    std::optional<QString> nouvelle = erreur.isEmpty() ? std::nullopt : std::optional(erreur);
    // A failed write leaves the state marked changed whatever the previous failure was, so the
    // next change (or the quit save) writes it once the cause is gone.
    if (nouvelle)
        modifie_ = true;
    if (nouvelle == erreurSauvegarde_)
        return;
    erreurSauvegarde_ = nouvelle;
    Q_EMIT erreurSauvegardeChangee();
}

QByteArray Store::exporterSauvegarde() const
{
    // QJsonObject keeps its keys sorted, which gives the sorted, indented backup.
    const QJsonDocument doc(QJsonDocument::fromJson(versTexteJson(etat_)).object());
    return doc.toJson(QJsonDocument::Indented);
}

QString Store::nomSauvegardeProposee(const QDateTime& maintenant)
{
    return QStringLiteral("vendalo-sauvegarde-") + maintenant.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".json");
}

ResultatVide<QString> Store::exporterVers(const QString& chemin) const
{
    const QString erreur = platform::ecrireAtomique(chemin, exporterSauvegarde());
    if (!erreur.isEmpty())
        return echec(QStringLiteral("L'export a échoué. Réessayez."));
    return Rien{};
}

ResultatVide<ErreurStore> Store::importerSauvegarde(const QByteArray& donnees)
{
    const auto doc = DocJson::analyser(donnees);
    if (!doc || !doc->racine().isObject())
        return echec(ErreurStore::illisible(QStringLiteral("Ce fichier n'est pas un JSON valide.")));
    const VueJson o = doc->racine();
    static const char* const cles[] = {"reglages", "profilsClients", "objections", "contacts", "interactions", "appels"};
    bool reconnu = false;
    for (const char* c : cles)
        reconnu = reconnu || o.champ(c).existe();
    const QString pasSauvegarde = QStringLiteral("Ce fichier ne ressemble pas à une sauvegarde Vendalo.");
    if (!reconnu)
        return echec(ErreurStore::illisible(pasSauvegarde));
    auto etat = Etat::depuisJson(o);
    if (!etat)
        return echec(ErreurStore::illisible(pasSauvegarde));
    if (auto copie = garderEtatRemplace(); !copie)
        return echec(ErreurStore::illisible(copie.erreur()));
    remplacerEtat(std::move(*etat));
    sauvegarder(true);
    if (erreurSauvegarde_)
        return echec(ErreurStore::illisible(*erreurSauvegarde_));
    return Rien{};
}

int Store::purgerAnciensAppels(std::optional<qint64> mois, bool sansSauvegarde)
{
    if (!mois || *mois < 1)
        return 0;
    const QDateTime limite = horloge_.maintenant().toLocalTime().addMonths(-int(*mois));
    QSet<QString> aRetirer;
    for (const Appel& a : etat_.appels) {
        if (a.statut == QLatin1String("en_cours"))
            continue;
        auto date = lireHorodatage(a.debut.isEmpty() ? a.creeLe : a.debut);
        if (!date)
            date = lireHorodatage(a.creeLe);
        if (date && *date < limite)
            aRetirer.insert(a.id);
    }
    if (aRetirer.isEmpty())
        return 0;
    int retires = 0;
    modifier([&](Etat& e) {
        retires = int(e.appels.removeIf([&](const Appel& a) {
            return a.statut != QLatin1String("en_cours") && aRetirer.contains(a.id);
        }));
    });
    if (!sansSauvegarde)
        sauvegarder(true);
    return retires;
}

QString Store::phraseRetention(int n)
{
    const QString s = n > 1 ? QStringLiteral("s") : QString();
    return QString::number(n) + QStringLiteral(" appel") + s + QStringLiteral(" plus ancien") + s +
           QStringLiteral(" que la durée de conservation retiré") + s + QStringLiteral(".");
}

int Store::fermerAppelsInterrompus()
{
    if (lectureSeule_)
        return 0;
    QList<qsizetype> interrompus;
    for (qsizetype i = 0; i < etat_.appels.size(); ++i)
        if (etat_.appels[i].statut == QLatin1String("en_cours"))
            interrompus.append(i);
    if (interrompus.isEmpty())
        return 0;
    const QString maintenant = horodatage(horloge_.maintenant());
    modifier([&](Etat& e) {
        for (qsizetype i : interrompus) {
            Appel& a = e.appels[i];
            qint64 finMs = -1;
            for (const Segment& s : a.transcript)
                finMs = std::max(finMs, s.finMs);
            if (finMs >= 0) {
                a.duree = double(finMs) / 1000.0;
            } else {
                const auto debut = lireHorodatage(a.debut);
                const auto derniere = lireHorodatage(a.majLe);
                if (debut && derniere && *derniere > *debut)
                    a.duree = double(debut->msecsTo(*derniere)) / 1000.0;
            }
            a.statut = QStringLiteral("erreur");
            a.erreur = messageAppelInterrompu();
            a.majLe = maintenant;
        }
    });
    sauvegarder(true);
    qCInfo(lcStore) << interrompus.size() << "appel(s) interrompu(s) fermé(s)";
    return int(interrompus.size());
}

std::optional<QString> Store::ajouterQuestionEtape(const QString& frameworkId, const QString& etapeId, const QString& texte)
{
    const QString question = texte.trimmed();
    if (question.isEmpty())
        return QStringLiteral("La question est vide.");
    const QString forme = plier(question);
    qsizetype iFramework = -1;
    for (qsizetype i = 0; i < etat_.frameworks.size(); ++i)
        if (etat_.frameworks[i].qt().toObject().value(QLatin1String("id")).toString() == frameworkId)
            iFramework = i;
    if (iFramework < 0)
        return QStringLiteral("Cette étape n'existe plus dans le Framework.");
    QJsonObject framework = etat_.frameworks[iFramework].qt().toObject();
    QJsonArray etapes = framework.value(QLatin1String("etapes")).toArray();
    for (const QJsonValue& e : etapes) {
        const QJsonObject etape = e.toObject();
        for (const QJsonValue& q : etape.value(QLatin1String("questions")).toArray())
            if (plier(lire::texte(q, QString())) == forme)
                return QStringLiteral("Cette question est déjà dans l'étape « ") +
                       lire::texte(etape.value(QLatin1String("nom")), QString()) + QStringLiteral(" ».");
    }
    qsizetype iEtape = -1;
    for (qsizetype i = 0; i < etapes.size(); ++i)
        if (etapes[i].toObject().value(QLatin1String("id")).toString() == etapeId)
            iEtape = i;
    if (iEtape < 0)
        return QStringLiteral("Cette étape n'existe plus dans le Framework.");
    QJsonObject etape = etapes[iEtape].toObject();
    QJsonArray questions = etape.value(QLatin1String("questions")).toArray();
    if (questions.size() > 7)
        return QStringLiteral("L'étape « ") + lire::texte(etape.value(QLatin1String("nom")), QString()) +
               QStringLiteral(" » a déjà 8 questions : retirez-en une d'abord.");
    questions.append(question);
    etape.insert(QStringLiteral("questions"), questions);
    etapes[iEtape] = etape;
    framework.insert(QStringLiteral("etapes"), etapes);
    modifier([&](Etat& e) { e.frameworks[iFramework] = JSONValeur(framework); });
    return std::nullopt;
}

} // namespace vd::model
