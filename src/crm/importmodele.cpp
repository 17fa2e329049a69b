#include "importmodele.h"

#include "ai/moteur.h"
#include "model/store.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace vd::crm {

ContexteImport contexteImport(const model::Etat& etat, const QString& aujourdhui)
{
    ContexteImport c;
    for (const QJsonValue& v : ai::Moteur::instance().donnee(QStringLiteral("ETAPES")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString id = o.value(QStringLiteral("id")).toString();
        if (id.isEmpty())
            continue;
        c.etapes.append({id, o.value(QStringLiteral("libelle")).toString(id)});
        if (o.contains(QStringLiteral("probabilite")))
            c.probaParEtape.insert(id, o.value(QStringLiteral("probabilite")).toDouble());
    }
    c.grille = grilleDe(etat.frameworks);
    for (const model::ProfilClient& p : etat.profilsClients)
        c.profils.append({p.id, p.nom});
    c.existants = etat.contacts;
    c.aujourdhui = aujourdhui;
    return c;
}

ImportCRMModele::ImportCRMModele(model::Store& store, ContexteImport ctx, QObject* parent)
    : QObject(parent), store_(store), ctx_(std::move(ctx)), champs_(champsImport(ctx_.grille))
{
    pool_.setMaxThreadCount(1);
}

ImportCRMModele::~ImportCRMModele()
{
    if (annule_)
        *annule_ = true;
    pool_.waitForDone();
}

void ImportCRMModele::attendre()
{
    // Results come back as queued calls: run them until nothing is pending.
    for (int tour = 0; tour < 100; ++tour) {
        pool_.waitForDone();
        QCoreApplication::sendPostedEvents(this);
        if (!calcul_ && etape_ != Etape::lecture)
            return;
    }
}

void ImportCRMModele::erreurFichier(const QString& message)
{
    etape_ = Etape::erreur;
    erreur_ = message;
    calcul_ = false;
    Q_EMIT change();
}

void ImportCRMModele::ouvrir(const QString& chemin)
{
    nomFichier_ = QFileInfo(chemin).fileName();
    etape_ = Etape::lecture;
    const quint64 gen = ++generation_;
    Q_EMIT change();
    pool_.start([this, chemin, gen] {
        auto r = lireFichier(chemin);
        // A single sheet is read at once.
        std::optional<Resultat<FeuilleTableur, ErreurTableur>> feuille;
        if (r && r.valeur().feuilles.size() == 1)
            feuille = lireFeuille(r.valeur(), 0);
        QMetaObject::invokeMethod(this, [this, gen, r = std::move(r), feuille = std::move(feuille)]() mutable {
            if (gen != generation_)
                return;
            if (!r)
                return erreurFichier(r.erreur().message);
            classeur_ = std::move(r.valeur());
            if (!feuille) {
                etape_ = Etape::feuilles;
                Q_EMIT change();
                return;
            }
            if (!*feuille)
                return erreurFichier(feuille->erreur().message);
            auto t = construireTableau(feuille->valeur());
            if (!t)
                return erreurFichier(t.erreur().message);
            feuille_ = 0;
            tableau_ = std::move(t.valeur());
            regle_.correspondances = proposerColonnes(*tableau_, ctx_.grille);
            regle_.etapesChoisies = proposerEtapes(*tableau_, regle_.correspondances, ctx_.etapes);
            etape_ = Etape::colonnes;
            relancerPlan();
        }, Qt::QueuedConnection);
    });
}

void ImportCRMModele::choisirFeuille(int index)
{
    if (!classeur_ || etape_ != Etape::feuilles)
        return;
    const quint64 gen = ++generation_;
    etape_ = Etape::lecture;
    Q_EMIT change();
    const ClasseurImport classeur = *classeur_;
    pool_.start([this, classeur, index, gen] {
        auto f = lireFeuille(classeur, index);
        std::optional<Resultat<TableauImport, ErreurTableur>> t;
        if (f)
            t = construireTableau(f.valeur());
        QMetaObject::invokeMethod(this, [this, gen, index, f = std::move(f), t = std::move(t)]() mutable {
            if (gen != generation_)
                return;
            if (!f)
                return erreurFichier(f.erreur().message);
            if (!*t)
                return erreurFichier(t->erreur().message);
            feuille_ = index;
            tableau_ = std::move(t->valeur());
            regle_.correspondances = proposerColonnes(*tableau_, ctx_.grille);
            regle_.etapesChoisies = proposerEtapes(*tableau_, regle_.correspondances, ctx_.etapes);
            etape_ = Etape::colonnes;
            relancerPlan();
        }, Qt::QueuedConnection);
    });
}

void ImportCRMModele::changerColonne(int colonne, const QString& champ)
{
    if (!tableau_ || colonne < 0 || colonne >= regle_.correspondances.size() || importe_)
        return;
    // A field that feeds one column only leaves the column that had it.
    const bool unique = std::any_of(champs_.cbegin(), champs_.cend(), [&](const ChampImport& c) { return c.id == champ && c.unique; });
    if (unique)
        for (QString& c : regle_.correspondances)
            if (c == champ)
                c.clear();
    regle_.correspondances[colonne] = champ;
    // Stage values follow the stage column.
    QHash<QString, QString> etapes;
    for (const QString& v : crm::valeursEtape(*tableau_, regle_.correspondances))
        etapes.insert(v, regle_.etapesChoisies.contains(v) ? regle_.etapesChoisies.value(v) : proposerEtape(v, ctx_.etapes));
    regle_.etapesChoisies = etapes;
    relancerPlan();
}

void ImportCRMModele::changerEtape(const QString& valeur, const QString& etapeId)
{
    if (!regle_.etapesChoisies.contains(valeur) || importe_)
        return;
    regle_.etapesChoisies[valeur] = etapeId;
    relancerPlan();
}

void ImportCRMModele::changerMode(ModeDoublons mode)
{
    if (importe_)
        return;
    mode_ = mode;
    relancerPlan();
}

std::optional<QString> ImportCRMModele::allerAuResume()
{
    if (auto refus = verifierCorrespondances(regle_.correspondances))
        return refus;
    etape_ = Etape::resume;
    Q_EMIT change();
    return std::nullopt;
}

void ImportCRMModele::retourColonnes()
{
    if (etape_ == Etape::resume && !importe_) {
        etape_ = Etape::colonnes;
        Q_EMIT change();
    }
}

QStringList ImportCRMModele::valeursEtape() const
{
    return tableau_ ? crm::valeursEtape(*tableau_, regle_.correspondances) : QStringList();
}

QList<LigneLue> ImportCRMModele::apercu() const
{
    QList<LigneLue> l;
    if (!tableau_)
        return l;
    for (qsizetype i = 0; i < std::min<qsizetype>(5, tableau_->lignes.size()); ++i)
        l.append(lireLigne(tableau_->lignes[i], *tableau_, regle_, ctx_));
    return l;
}

void ImportCRMModele::relancerPlan()
{
    if (!tableau_)
        return;
    if (annule_)
        *annule_ = true;
    auto annule = std::make_shared<std::atomic<bool>>(false);
    annule_ = annule;
    const quint64 gen = ++generation_;
    calcul_ = true;
    progression_ = 0.0;
    plan_.reset();
    Q_EMIT change();
    pool_.start([this, annule, gen, t = *tableau_, regle = regle_, mode = mode_, ctx = ctx_] {
        auto plan = calculerPlan(t, regle, mode, ctx, annule.get(), [this, gen, annule](double p) {
            if (annule->load())
                return;
            QMetaObject::invokeMethod(this, [this, gen, p] {
                if (gen == generation_ && calcul_) {
                    progression_ = p;
                    Q_EMIT change();
                }
            }, Qt::QueuedConnection);
        });
        if (!plan)
            return;   // cancelled: nothing is published
        QMetaObject::invokeMethod(this, [this, gen, plan = std::move(*plan)]() mutable {
            if (gen != generation_)
                return;
            plan_ = std::move(plan);
            calcul_ = false;
            progression_.reset();
            Q_EMIT change();
        }, Qt::QueuedConnection);
    });
}

bool ImportCRMModele::importer(const QString& maintenant)
{
    if (!plan_ || calcul_ || importe_)
        return false;
    resultat_ = ExportCRM::appliquer(store_, *plan_, maintenant);
    importe_ = true;
    Q_EMIT change();
    return true;
}

std::optional<ExportCRM::BilanAnnulation> ImportCRMModele::annuler(const QString& maintenant)
{
    if (!resultat_)
        return std::nullopt;
    const auto b = ExportCRM::annuler(store_, *resultat_, maintenant);
    resultat_.reset();
    Q_EMIT change();
    return b;
}

} // namespace vd::crm
