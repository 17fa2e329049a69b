#include "synchro.h"

#include "cloud/clientsupabase.h"
#include "model/store.h"
#include "model/texte.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSynchro, "vd.cloud.synchro")

namespace vd::cloud {

namespace {
const QString nomProcedure = QStringLiteral("synchroniser");
}

int Synchro::delaiReseauMs(int n)
{
    static constexpr int delais[] = {5'000, 15'000, 60'000, 300'000};
    return delais[std::clamp(n, 1, 4) - 1];
}

Synchro::Synchro(ClientSupabase* client, model::Store& store, const QString& dossierCloud, platform::Horloge& horloge,
                 QObject* parent)
    : QObject(parent), client_(client), store_(store), horloge_(horloge),
      fichier_{QDir(dossierCloud).filePath(QStringLiteral("synchro.json"))}, journal_(dossierCloud)
{
    differe_ = horloge_.creerMinuterie(this);
    differe_->setUnique(true);
    connect(differe_, &platform::Minuterie::expire, this, [this] {
        const bool f = differeForce_;
        differeForce_ = false;
        synchroniser(f);
    });
    minuteur_ = horloge_.creerMinuterie(this);
    connect(minuteur_, &platform::Minuterie::expire, this, [this] { synchroniser(false); });
}

Synchro::~Synchro()
{
    if (curseurNonEcrit_)
        ecrireDisque();
}

void Synchro::demarrer()
{
    if (demarre_)
        return;
    demarre_ = true;
    abonnements_.append(connect(&store_, &model::Store::etatChange, this, [this] {
        if (!appliquant_)
            programmer(false, delaiChangementMs);
    }));
    if (client_)
        abonnements_.append(connect(client_, &ClientSupabase::sessionChangee, this, [this](ClientSupabase::Evenement e) {
            if (e == ClientSupabase::Evenement::connexion) {
                programmer(true, delaiConnexionMs);
            } else if (e == ClientSupabase::Evenement::deconnexion || e == ClientSupabase::Evenement::expiration) {
                ++generation_;
                differe_->arreter();
                actif_ = aRefaire_ = false;
                if (curseurNonEcrit_)
                    ecrireDisque();
                mettrePhase(Phase::inactive);
            }
        }));
    minuteur_->demarrer(periodeMs);
    if (client_ && client_->connecte())
        programmer(true, delaiConnexionMs);
}

void Synchro::arreter()
{
    for (const auto& c : abonnements_)
        disconnect(c);
    abonnements_.clear();
    demarre_ = false;
    ++generation_;
    differe_->arreter();
    minuteur_->arreter();
    actif_ = aRefaire_ = false;
    if (curseurNonEcrit_)
        ecrireDisque();
    mettrePhase(Phase::inactive);
}

bool Synchro::programme() const { return differe_->actif(); }

void Synchro::programmer(bool forcer, int delaiMs)
{
    differeForce_ = differeForce_ || forcer;
    differe_->demarrer(std::max(0, delaiMs));
}

void Synchro::finAppel(const QString& id)
{
    appelsEnDirect_.remove(id);
    programmer(false, delaiFinAppelMs);
}

void Synchro::setAppelEnDirect(const QString& id, bool enDirect)
{
    if (enDirect)
        appelsEnDirect_.insert(id);
    else
        finAppel(id);
}

void Synchro::definirEquipe(const std::optional<QString>& organisationId, const std::optional<QString>& roleOrg)
{
    if (!disqueCharge_) {
        disque_ = fichier_.lire().value_or(EtatDisque{});
        disqueCharge_ = true;
    }
    const bool equipe = organisationId.has_value();
    if (disque_.organisationId == organisationId && disque_.roleOrg == roleOrg && disque_.equipe == equipe)
        return;
    // Joining, leaving or changing team or role changes what the server shows: pull everything again.
    if (disque_.organisationId != organisationId || disque_.roleOrg != roleOrg)
        disque_.depuis.reset();
    disque_.organisationId = organisationId;
    disque_.roleOrg = roleOrg;
    disque_.equipe = equipe;
    ecrireDisque();
}

void Synchro::synchroniser(bool forcer)
{
    if (actif_) {
        aRefaire_ = true;
        forcer_ = forcer_ || forcer;
        return;
    }
    // While waiting out a failure, only a forced run goes ahead.
    if (!forcer && (phase_ == Phase::horsLigne || phase_ == Phase::erreur) && differe_->actif())
        return;
    executer(forcer);
}

void Synchro::decider(Choix choix)
{
    if (phase_ != Phase::attenteDecision || !client_ || !client_->session())
        return;
    const QString moi = client_->session()->utilisateur.id;
    if (choix == Choix::remplacer) {
        if (auto copie = store_.garderEtatRemplace(); !copie) {
            mettrePhase(Phase::erreur, copie.erreur());
            return;
        }
        appliquant_ = true;
        store_.modifier([&](model::Etat& e) {
            e.contacts.clear();
            e.interactions.clear();
            e.profilsClients.clear();
            e.objections.clear();
            e.frameworks.clear();
            e.entreprise = model::Entreprise{};
            e.appels.removeIf([](const model::Appel& a) { return a.statut != QLatin1String("en_cours"); });
        });
        appliquant_ = false;
        store_.sauvegarder(true);
    }
    disque_.compteId = moi;
    donneesLocales_.reset();
    ecrireDisque();
    mettrePhase(Phase::premierChargement);
    synchroniser(true);
}

QString Synchro::maintenant() const { return model::horodatage(horloge_.maintenant()); }

void Synchro::mettrePhase(Phase p, QString message)
{
    phase_ = p;
    message_ = std::move(message);
    if (p != Phase::enCours && p != Phase::premierChargement)
        progression_.clear();
    Q_EMIT change();
}

bool Synchro::ecrireDisque()
{
    const QString e = fichier_.ecrire(disque_);
    if (!e.isEmpty()) {
        qCWarning(lcSynchro) << "état de synchronisation non écrit :" << e;
        return false;
    }
    curseurNonEcrit_ = false;
    return true;
}

void Synchro::consommerJournal()
{
    const auto remplacement = journal_.remplacement();
    const auto suppressions = journal_.suppressions();
    if (!remplacement && suppressions.isEmpty())
        return;
    if (remplacement) {
        // A whole new state: the server keeps its records; compare everything again.
        disque_.oublierServeur();
        disque_.extras.clear();
        disque_.demonstration.clear();
        if (remplacement->demonstration) {
            for (auto it = remplacement->ids.begin(); it != remplacement->ids.end(); ++it) {
                const QString fil = synchro::filPourCle(it.key());
                if (!fil.isEmpty())
                    disque_.demonstration[fil] = QSet<QString>(it.value().begin(), it.value().end());
            }
            // The demonstration's company profile counts as already known: never pushed unless edited.
            const Empreinte e{synchro::empreinte(store_.etat().entreprise), maintenant(), maintenant()};
            disque_.entrepriseSynchro = e;
            disque_.entrepriseLocale = e;
        }
    }
    for (const model::SuppressionNotee& s : suppressions) {
        const QString fil = synchro::filPourCle(s.collection);
        if (fil.isEmpty() || disque_.demonstration.value(fil).contains(s.id))
            continue;
        disque_.suppressions[fil].insert(s.id, s.le);
        disque_.autres.remove(s.id);
    }
    if (ecrireDisque())
        journal_.effacer();
}

bool Synchro::preparer(const QString& compteId)
{
    if (!disqueCharge_) {
        disque_ = fichier_.lire().value_or(EtatDisque{});
        disqueCharge_ = true;
    }
    consommerJournal();
    if (disque_.compteId && *disque_.compteId != compteId) {
        // Another account: its state is not ours to reuse.
        EtatDisque neuf;
        neuf.demonstration = disque_.demonstration;
        disque_ = std::move(neuf);
        ecrireDisque();
    }
    if (!disque_.compteId) {
        const synchro::ResumeLocal r = synchro::resumer(store_.etat(), disque_);
        if (!r.vide()) {
            if (!choixPrealable_) {
                donneesLocales_ = r;
                mettrePhase(Phase::attenteDecision);
                return false;
            }
            mettrePhase(Phase::attenteDecision);
            const Choix c = *choixPrealable_;
            choixPrealable_.reset();
            if (c == Choix::remplacer) {
                decider(c);   // runs again through synchroniser()
                return false;
            }
        }
        disque_.compteId = compteId;
        donneesLocales_.reset();
        ecrireDisque();
    }
    return true;
}

QCoro::Task<void> Synchro::executer(bool forcer)
{
    QPointer<Synchro> moi(this);
    const quint64 generation = generation_;
    actif_ = true;
    Q_EMIT change();
    for (;;) {
        const bool ok = co_await uneRun(forcer, generation);
        if (!moi || generation != generation_)
            co_return;
        if (!aRefaire_) {
            actif_ = false;
            Q_EMIT change();
            Q_EMIT termine(ok);
            co_return;
        }
        aRefaire_ = false;
        forcer = forcer_;
        forcer_ = false;
    }
}

QCoro::Task<bool> Synchro::uneRun(bool forcer, quint64 generation)
{
    Q_UNUSED(forcer);
    QPointer<Synchro> moi(this);
    if (!client_ || !client_->session()) {
        mettrePhase(Phase::inactive);
        co_return false;
    }
    const QString compteId = client_->session()->utilisateur.id;
    if (!preparer(compteId))
        co_return false;
    mettrePhase(disque_.depuis ? Phase::enCours : Phase::premierChargement);
    refus_.clear();
    objetsRecus_ = objetsEnvoyes_ = lots_ = 0;
    int reduits = 0;
    QSet<QString> exclus;
    // Frameworks refused last time are offered again; a refusal holds them back for this run only.
    frameworksAReprendre_.clear();

    for (int tour = 0; tour < 100'000; ++tour) {
        synchro::ParametresLot p;
        p.compteId = compteId;
        p.limiteObjets = limiteObjets_;
        p.limiteAppels = limiteAppels_;
        p.appelsEnDirect = appelsEnDirect_;
        p.exclus = exclus;
        p.maintenant = maintenant();
        const synchro::Lot lot = synchro::construireLot(store_.etat(), disque_, p);
        enAttente_ = lot.nbObjets + lot.restant;
        progression_ = lot.vide() ? QStringLiteral("Réception des changements…")
                                  : QStringLiteral("Envoi de %1 élément%2…").arg(lot.nbObjets).arg(lot.nbObjets > 1 ? "s" : "");
        Q_EMIT change();
        const std::optional<QString> depuisAvant = disque_.depuis;
        QJsonObject corps{
            {QStringLiteral("p_depuis"), depuisAvant ? QJsonValue(*depuisAvant) : QJsonValue()},
            {QStringLiteral("p_changements"), lot.vide() ? QJsonValue() : QJsonValue(lot.changements())},
            {QStringLiteral("p_options"), QJsonObject{{QStringLiteral("equipe"), disque_.equipe},
                                                      {QStringLiteral("limite_appels"), limiteAppels_},
                                                      {QStringLiteral("recharger"), false}}}};
        auto r = co_await client_->appelerProcedure(nomProcedure, corps, delaiRequeteMs);
        if (!moi || generation != generation_)
            co_return false;
        if (!r) {
            const ErreurCloud e = r.erreur();
            if (e.genre == ErreurCloud::Genre::base && (e.code == QLatin1String("22023") || e.code == QLatin1String("57014"))
                && reduits < 2 && (limiteObjets_ > 1 || limiteAppels_ > 1)) {
                ++reduits;
                limiteObjets_ = std::max(1, limiteObjets_ / 2);
                limiteAppels_ = std::max(1, limiteAppels_ / 2);
                qCInfo(lcSynchro) << "lot réduit à" << limiteObjets_ << "objets," << limiteAppels_ << "appels";
                continue;
            }
            echec(e);
            co_return false;
        }
        reduits = 0;
        essaisReseau_ = 0;
        limiteObjets_ = 1000;
        limiteAppels_ = 50;
        ++lots_;
        const QJsonObject rep = r.valeur().qt().toObject();
        accuser(lot, rep.value(QStringLiteral("refuses")).toArray(), exclus);

        const QJsonObject changements = rep.value(QStringLiteral("changements")).toObject();
        synchro::Application app;
        if (!changements.isEmpty()) {
            progression_ = QStringLiteral("Réception des changements…");
            appliquant_ = true;
            store_.modifier([&](model::Etat& etat) {
                app = synchro::appliquer(etat, disque_, changements, compteId, appelsEnDirect_);
            });
            appliquant_ = false;
            objetsRecus_ += app.recus;
            // The records reach the disk before the cursor that says they were received.
            store_.sauvegarder(true);
            if (const auto err = store_.erreurSauvegarde()) {
                mettrePhase(Phase::erreur, *err);
                co_return false;
            }
        }
        const QJsonValue prochain = rep.value(QStringLiteral("prochain_depuis"));
        if (prochain.isString() && !prochain.toString().isEmpty())
            disque_.depuis = prochain.toString();
        const bool complet = rep.value(QStringLiteral("complet")).toBool(true);
        const bool seulCurseur = lot.vide() && changements.isEmpty();
        if (seulCurseur && disque_.depuis == depuisAvant) {
            curseurNonEcrit_ = false;
        } else if (seulCurseur) {
            curseurNonEcrit_ = true;   // written with the next real change or at the end
        } else if (!ecrireDisque()) {
            mettrePhase(Phase::erreur, QStringLiteral("L'état de synchronisation n'a pas pu être enregistré."));
            co_return false;
        }

        if (!complet && app.recus == 0 && changements.isEmpty() && disque_.depuis == depuisAvant && lot.restant == 0) {
            // The server says more is waiting but its cursor does not move: wait instead of looping.
            ++essaisCurseur_;
            const int d = delaiReseauMs(essaisCurseur_);
            qCWarning(lcSynchro) << "curseur immobile, nouvel essai dans" << d / 1000 << "s";
            mettrePhase(Phase::enCours);
            progression_ = QStringLiteral("Le serveur prépare la suite. Nouvel essai dans %1 s.").arg(d / 1000);
            programmer(true, d);
            co_return false;
        }
        if (!complet || lot.restant > 0)
            continue;
        essaisCurseur_ = 0;
        enAttente_ = 0;
        derniereSynchro_ = horloge_.maintenant();
        mettrePhase(Phase::aJour);
        co_return true;
    }
    mettrePhase(Phase::erreur, messages::generique);
    co_return false;
}

void Synchro::accuser(const synchro::Lot& lot, const QJsonArray& refuses, QSet<QString>& exclus)
{
    QSet<QString> refusees;
    for (const QJsonValue& v : refuses) {
        const QJsonObject o = v.toObject();
        Refus rf{o.value(QStringLiteral("collection")).toString(), o.value(QStringLiteral("id")).toString(),
                 o.value(QStringLiteral("raison")).toString()};
        refus_.append(rf);
        const QString cle = rf.collection + QLatin1Char('/') + rf.id;
        refusees.insert(cle);
        if (rf.collection == synchro::frameworks) {
            frameworksAReprendre_.insert(rf.id);
            exclus.insert(cle);
        } else if (rf.raison == QLatin1String("appel_d_un_autre_membre")) {
            disque_.autres.insert(rf.id);
        } else if (const QString* maj = chercher(lot.envoyes, rf.collection, rf.id)) {
            disque_.refuses[rf.collection].insert(rf.id, *maj);
        } else if (chercher(lot.suppressions, rf.collection, rf.id)) {
            disque_.suppressions[rf.collection].remove(rf.id);
        } else {
            exclus.insert(cle);
        }
    }
    const QString now = maintenant();
    for (auto it = lot.envoyes.begin(); it != lot.envoyes.end(); ++it) {
        auto& connus = disque_.connus[it.key()];
        for (auto j = it.value().begin(); j != it.value().end(); ++j) {
            if (refusees.contains(it.key() + QLatin1Char('/') + j.key()))
                continue;
            connus.insert(j.key(), j.value());
            disque_.refuses[it.key()].remove(j.key());
            ++objetsEnvoyes_;
            if (it.key() == synchro::appels)
                disque_.pointsAppels.insert(j.key(), now);
        }
    }
    for (auto it = lot.suppressions.begin(); it != lot.suppressions.end(); ++it)
        for (auto j = it.value().begin(); j != it.value().end(); ++j) {
            if (refusees.contains(it.key() + QLatin1Char('/') + j.key()))
                continue;
            auto& en = disque_.suppressions[it.key()];
            if (en.value(j.key()) == j.value())
                en.remove(j.key());
            disque_.connus[it.key()].remove(j.key());
            ++objetsEnvoyes_;
        }
    if (lot.entreprise && !refusees.contains(synchro::entreprises + QStringLiteral("/entreprise"))) {
        disque_.entrepriseSynchro = lot.entreprise;
        ++objetsEnvoyes_;
    }
}

void Synchro::echec(const ErreurCloud& e)
{
    switch (e.genre) {
    case ErreurCloud::Genre::reseau:
        ++essaisReseau_;
        mettrePhase(Phase::horsLigne, e.message);
        programmer(true, delaiReseauMs(essaisReseau_));
        return;
    case ErreurCloud::Genre::session:
        // Stops until the next sign-in.
        mettrePhase(Phase::inactive, e.message);
        return;
    default:
        mettrePhase(Phase::erreur, e.message.isEmpty() ? messages::generique : e.message);
        programmer(true, delaiErreurMs);
        return;
    }
}

QString Synchro::nomPhase(Phase p)
{
    switch (p) {
    case Phase::inactive: return QStringLiteral("inactive");
    case Phase::attenteDecision: return QStringLiteral("attenteDecision");
    case Phase::premierChargement: return QStringLiteral("premierChargement");
    case Phase::enCours: return QStringLiteral("enCours");
    case Phase::aJour: return QStringLiteral("aJour");
    case Phase::horsLigne: return QStringLiteral("horsLigne");
    case Phase::erreur: return QStringLiteral("erreur");
    }
    return {};
}

QString Synchro::texteEtat() const
{
    switch (phase_) {
    case Phase::inactive: return QStringLiteral("Synchronisation inactive");
    case Phase::attenteDecision: return QStringLiteral("Vos données locales attendent votre choix");
    case Phase::premierChargement: return QStringLiteral("Premier chargement…");
    case Phase::enCours: return progression_.isEmpty() ? QStringLiteral("Synchronisation…") : progression_;
    case Phase::aJour:
        return derniereSynchro_.isValid()
                   ? QStringLiteral("À jour · %1").arg(derniereSynchro_.toLocalTime().toString(QStringLiteral("HH:mm")))
                   : QStringLiteral("À jour");
    case Phase::horsLigne: return QStringLiteral("Hors ligne : nouvel essai automatique");
    case Phase::erreur: return message_;
    }
    return {};
}

QString Synchro::texteRaison(const QString& raison)
{
    if (raison == QLatin1String("appel_d_un_autre_membre"))
        return QStringLiteral("Cet appel appartient à un autre membre de l'équipe.");
    if (raison == QLatin1String("conservation_depassee"))
        return QStringLiteral("Cet appel dépasse la durée de conservation de l'équipe.");
    if (raison == QLatin1String("trop_volumineux"))
        return QStringLiteral("Cet élément est trop volumineux pour être synchronisé.");
    if (raison == QLatin1String("maj_le_invalide"))
        return QStringLiteral("Date de modification illisible.");
    if (raison == QLatin1String("sans_id") || raison == QLatin1String("id_invalide"))
        return QStringLiteral("Identifiant manquant ou invalide.");
    return QStringLiteral("Refusé par le serveur.");
}

} // namespace vd::cloud
