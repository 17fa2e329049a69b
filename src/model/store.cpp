#include "store.h"

#include "journal.h"
#include "lectureetat.h"
#include "store_ecrivain.h"
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

namespace {

QString messageEcriture(const QString& erreur)
{
    return erreur.isEmpty() ? erreur : QStringLiteral("Sauvegarde impossible : ") + erreur;
}

} // namespace

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
    charger();
    fil_.setObjectName(QStringLiteral("io.vendalo.mac.sauvegarde"));
    ecrivain_ = new EcrivainStore(fichier_, etat_, base_, tailleJournal_, entreesJournal_);
    ecrivain_->moveToThread(&fil_);
    connect(&fil_, &QThread::finished, ecrivain_, &QObject::deleteLater);
    fil_.start(QThread::LowPriority);
    // A journal left by the last run is folded into the file first.
    if (blocage_.isEmpty() && (compacterAuDepart_ || reecrireAuDepart_)) {
        EcrivainStore* ecrivain = ecrivain_;
        const Etat lu = etat_;
        if (reecrireAuDepart_)
            QMetaObject::invokeMethod(ecrivain_, [ecrivain, lu] { ecrivain->enregistrer(lu, true); }, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(ecrivain_, [ecrivain] { ecrivain->compacterEnFond(); }, Qt::QueuedConnection);
    }
}

Store::~Store()
{
    if (ecrivain_) {
        // Let every queued write land before the writer stops, then fold the journal into the file.
        EcrivainStore* ecrivain = ecrivain_;
        const bool compacter = blocage_.isEmpty();
        QMetaObject::invokeMethod(
            ecrivain_, [ecrivain, compacter] {
                if (compacter)
                    ecrivain->compacterMaintenant();
            },
            Qt::BlockingQueuedConnection);
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
    if (f.exists()) {
        if (!f.open(QIODevice::ReadOnly)) {
            // Present but unreadable (rights, I/O): never replace it by a fresh state.
            blocage_ = f.errorString();
            erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
            qCWarning(lcStore) << "fichier illisible, écriture suspendue";
            return;
        }
        if (!chargerFichier(f))
            return;
    }
    chargerJournal();
}

// The file is mapped rather than copied, its records are parsed one at a time and
// the pages already decoded are given back: the decoded state is the only copy in memory.
bool Store::chargerFichier(QFile& f)
{
    const qint64 taille = f.size();
    uchar* carte = taille > 0 ? f.map(0, taille) : nullptr;
    QByteArray octets;
    if (carte) {
        octets = QByteArray::fromRawData(reinterpret_cast<const char*>(carte), taille);
    } else {
        octets = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            blocage_ = f.errorString();
            erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
            return false;
        }
    }
    if (octets.isEmpty())
        return true;   // an empty file: a fresh state, written whole at the first save
    std::optional<Etat> etat;
    {
        // The checksum first: the decoding below gives the mapping's pages back as it goes.
        const IdentiteFichier identite{qint64(octets.size()), crc32De(octets)};
        OptionsDocJson options = optionsLectureEtat();
        options.carteFichier = carte != nullptr;
        const auto doc = DocJson::analyser(octets, options);
        etat = (doc && doc->racine().isObject()) ? Etat::depuisJson(doc->racine()) : std::nullopt;
        if (etat)
            base_ = identite;
    }
    octets = QByteArray();
    if (carte)
        f.unmap(carte);
    f.close();
    if (etat) {
        etat_ = std::move(*etat);
        return true;
    }
    if (lectureSeule_)
        return false;   // a reader leaves the file to the writer's quarantine
    const QString nom = QStringLiteral("etat-illisible-%1.json")
                            .arg(horloge_.maintenant().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString cible = QFileInfo(fichier_).absoluteDir().filePath(nom);
    if (QFile::rename(fichier_, cible)) {
        quarantaine_ = cible;
        qCWarning(lcStore) << "fichier illisible mis en quarantaine";
        return true;   // the journal, written on the quarantined file, is set aside too
    }
    // Without the quarantine copy, writing would destroy the only copy.
    blocage_ = QStringLiteral("le fichier illisible n'a pas pu être mis de côté");
    erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
    return false;
}

// The changes saved since the file was last written whole, replayed in order. A journal
// written on another file is set aside under a new name, never applied.
void Store::chargerJournal()
{
    const QString chemin = journal::cheminPour(fichier_);
    const LectureJournal l = journal::lire(chemin);
    if (!l.present)
        return;
    const auto entrees = journal::entreesPour(l, base_);
    if (!entrees) {
        if (lectureSeule_)
            return;
        const QString nom = QStringLiteral("etat-journal-ecarte-%1.journal")
                                .arg(horloge_.maintenant().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        QString cible = QFileInfo(chemin).absoluteDir().filePath(nom);
        for (int n = 2; QFile::exists(cible); ++n)
            cible = QFileInfo(chemin).absoluteDir().filePath(nom.chopped(8) + QStringLiteral("-%1.journal").arg(n));
        if (QFile::rename(chemin, cible)) {
            journalEcarte_ = cible;
            qCWarning(lcStore) << "journal d'un autre fichier mis de côté";
        } else {
            blocage_ = QStringLiteral("le journal d'un autre fichier n'a pas pu être mis de côté");
            erreurSauvegarde_ = QStringLiteral("Sauvegarde impossible : ") + blocage_;
        }
        return;
    }
    qsizetype appliquees = 0;
    for (const QByteArray& e : *entrees) {
        if (!journal::appliquer(etat_, e))
            break;
        ++appliquees;
    }
    if (l.dechire || appliquees < entrees->size())
        qCWarning(lcStore) << "fin du journal incomplète ignorée";
    if (lectureSeule_)
        return;
    if (l.dechire || appliquees < entrees->size() || l.base != base_) {
        // Appending after a torn tail would hide what follows: the writer first rewrites the
        // file whole from what was read (the journal stays readable until then), then starts
        // a fresh journal.
        // The torn tail is cut off so the rewrite's marker lands after the last whole entry.
        if (l.dechire && !QFile::resize(chemin, l.tailleValide)) {
            tailleJournal_ = -1;
            entreesJournal_ = 0;
        } else {
            tailleJournal_ = l.tailleValide;
            entreesJournal_ = l.entrees.size();
        }
        reecrireAuDepart_ = true;
        return;
    }
    tailleJournal_ = l.tailleValide;
    entreesJournal_ = l.entrees.size();
    compacterAuDepart_ = !l.entrees.isEmpty();
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
    complet_ = true;   // a replaced state is written whole, never as a difference
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
    const bool complet = std::exchange(complet_, false);
    EcrivainStore* ecrivain = ecrivain_;
    if (immediat) {
        QString erreur;
        QMetaObject::invokeMethod(
            ecrivain_, [&] { erreur = messageEcriture(ecrivain->enregistrer(instantane, complet)); }, Qt::BlockingQueuedConnection);
        appliquerResultat(erreur);
        return;
    }
    QPointer<Store> moi(this);
    QMetaObject::invokeMethod(
        ecrivain_,
        [moi, ecrivain, complet, instantane] {
            const QString erreur = messageEcriture(ecrivain->enregistrer(instantane, complet));
            if (moi)
                QMetaObject::invokeMethod(moi.data(), [moi, erreur] {
                    if (moi)
                        moi->appliquerResultat(erreur);
                }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

qint64 Store::octetsEcrits() const { return ecrivain_ ? ecrivain_->octetsEcrits() : 0; }

void Store::compacter()
{
    if (!ecrivain_ || !blocage_.isEmpty())
        return;
    EcrivainStore* ecrivain = ecrivain_;
    QString erreur;
    QMetaObject::invokeMethod(ecrivain_, [&] { erreur = ecrivain->compacterMaintenant(); }, Qt::BlockingQueuedConnection);
    if (!erreur.isEmpty())
        appliquerResultat(messageEcriture(erreur));
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
        if (etapes[i].toObject().value(QLatin1String("id")).toString().trimmed() == etapeId.trimmed())
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
