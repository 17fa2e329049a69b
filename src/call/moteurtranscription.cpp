#include "moteurtranscription.h"

#include "ai/routes.h"

#include <QThread>
#include <QTimer>
#include <cstring>

namespace vd::call {

namespace {

// Engine → stream: always queued, so a stream never re-enters itself.
template<typename F>
void surFlux(FluxTranscription* f, F&& action)
{
    if (f)
        QMetaObject::invokeMethod(f, std::forward<F>(action), Qt::QueuedConnection);
}

} // namespace

MoteurTranscription::MoteurTranscription(ContexteTranscription contexte, QObject* parent)
    : MoteurTranscriptionBase(parent), contexte_(std::move(contexte))
{
    qRegisterMetaType<vd::call::SegmentLive>();
}

MoteurTranscription::~MoteurTranscription() { arreterFlux(); }

void MoteurTranscription::setCompteurAudio(std::shared_ptr<CompteurAudio> c)
{
    compteur_ = std::move(c);
    QMutexLocker l(&verrou_);
    for (const auto& f : flux_)
        surFlux(f, [f, c = compteur_] { f->setCompteur(c); });
}

int MoteurTranscription::nombreFlux() const
{
    QMutexLocker l(&verrou_);
    return int(flux_.size());
}

FluxTranscription* MoteurTranscription::flux(int i) const
{
    QMutexLocker l(&verrou_);
    return i >= 0 && i < flux_.size() ? flux_[i].data() : nullptr;
}

void MoteurTranscription::confier(FluxTranscription* f, QByteArray bloc)
{
    surFlux(f, [f, b = std::move(bloc)] { f->envoyer(b); });
}

std::unique_ptr<FournisseurAcces> MoteurTranscription::creerFournisseur(const ParametresTranscription& p, ai::SourceIA source)
{
    struct Partage final : FournisseurAcces {
        std::shared_ptr<FournisseurAcces> f;
        void obtenir(QObject* c, Rappel r) override { f->obtenir(c, std::move(r)); }
    };
    if (contexte_.fournisseurCle) {
        auto x = std::make_unique<Partage>();
        x->f = contexte_.fournisseurCle;
        return x;
    }
    switch (source) {
    case ai::SourceIA::demo: return nullptr;
    case ai::SourceIA::cle: return std::make_unique<AccesCle>(id(), p.sonioxEurope, p.langue, p.canaux);
    case ai::SourceIA::relais: {
        const QUrl relais = adresseRelais(contexte_.relais);
        if (id() != IdMoteur::deepgram || relais.isEmpty())
            return nullptr;
        return std::make_unique<AccesRelais>(relais, p.langue, p.canaux);
    }
    case ai::SourceIA::cloud: {
        auto cloud = std::make_shared<TranscriptionCloud>(contexte_.appelerFonction, p.appelId, p.canaux, p.langue, id(), true);
        return std::make_unique<AccesCloud>(std::move(cloud), id(), p.sonioxEurope, p.langue, p.canaux);
    }
    }
    return nullptr;
}

void MoteurTranscription::echouerPlusTard(const QString& message)
{
    const int serie = serie_;
    QTimer::singleShot(0, this, [this, serie, message] {
        if (serie == serie_ && !arrete_)
            Q_EMIT echecDemarrage(message, generation_);
    });
}

void MoteurTranscription::demarrer(const ParametresTranscription& p)
{
    arreterFlux();
    ++serie_;
    generation_ = p.generation;
    demarre_ = coupe_ = echoue_ = arrete_ = muet_ = enFin_ = false;
    ouverts_ = finis_ = 0;
    etats_.clear();
    fournisseur_.reset();
    if (p.demo) {
        echouerPlusTard(messages::indisponible);
        return;
    }
    if (!contexte_.choisirSource || contexte_.fournisseurCle) {
        ouvrirFlux(p, contexte_.source);
        return;
    }
    const int serie = serie_;
    contexte_.choisirSource(this, [this, serie, p](ai::SourceIA source) {
        if (serie == serie_ && !arrete_)
            ouvrirFlux(p, source);
    });
}

void MoteurTranscription::ouvrirFlux(const ParametresTranscription& p, ai::SourceIA source)
{
    fournisseur_ = creerFournisseur(p, source);
    if (!fournisseur_) {
        echouerPlusTard(messages::indisponible);
        return;
    }
    const QList<FluxTranscription*> nouveaux = creerFlux(p);
    const int serie = serie_;
    for (int i = 0; i < nouveaux.size(); ++i) {
        FluxTranscription* f = nouveaux[i];
        etats_.append(QStringLiteral("connexion"));
        f->setCompteur(compteur_);
        connect(f, &FluxTranscription::segment, this, [this, serie](const SegmentLive& s) {
            if (serie == serie_ && !muet_)
                Q_EMIT segment(s, generation_);
        }, Qt::QueuedConnection);
        connect(f, &FluxTranscription::etat, this, [this, serie, i](const QString& code) {
            if (serie == serie_)
                surEtat(i, code);
        }, Qt::QueuedConnection);
        connect(f, &FluxTranscription::ouvertureFinie, this, [this, serie](bool ok, const QString& m) {
            if (serie == serie_)
                surOuverture(ok, m);
        }, Qt::QueuedConnection);
        connect(f, &FluxTranscription::besoinAcces, this, [this, serie, i](int numero) {
            if (serie == serie_)
                surBesoinAcces(i, numero);
        }, Qt::QueuedConnection);
        connect(f, &FluxTranscription::fini, this, [this, serie] {
            if (serie != serie_ || !enFin_)
                return;
            if (++finis_ >= etats_.size()) {
                enFin_ = false;
                Q_EMIT termine(generation_);
            }
        }, Qt::QueuedConnection);
        if (contexte_.filDedie) {
            auto* fil = new QThread;
            fil->setObjectName(id() == IdMoteur::soniox ? QStringLiteral("io.vendalo.soniox") : QStringLiteral("io.vendalo.deepgram"));
            f->moveToThread(fil);
            connect(fil, &QThread::finished, f, &QObject::deleteLater);
            fil->start();
            fils_.append(fil);
        } else {
            f->setParent(this);
        }
    }
    {
        QMutexLocker l(&verrou_);
        flux_.clear();
        for (auto* f : nouveaux)
            flux_.append(QPointer<FluxTranscription>(f));
    }
    for (auto* f : nouveaux)
        surFlux(f, [f] { f->ouvrir(); });
}

void MoteurTranscription::surBesoinAcces(int index, int numero)
{
    if (!fournisseur_)
        return;
    const int serie = serie_;
    fournisseur_->obtenir(this, [this, serie, index, numero](const Resultat<AccesTranscription, QString>& r) {
        if (serie != serie_)
            return;
        FluxTranscription* f = flux(index);
        if (r) {
            const AccesTranscription a = r.valeur();
            surFlux(f, [f, numero, a] { f->recevoirAcces(numero, a); });
        } else {
            const QString m = r.erreur();
            surFlux(f, [f, numero, m] { f->refuserAcces(numero, m); });
        }
    });
}

void MoteurTranscription::surOuverture(bool ok, const QString& message)
{
    if (demarre_ || echoue_ || arrete_)
        return;
    if (!ok) {
        // One stream failed: the call's other streams are closed too.
        echoue_ = true;
        QMutexLocker l(&verrou_);
        for (const auto& f : flux_)
            surFlux(f, [f] { f->couper(); });
        l.unlock();
        Q_EMIT echecDemarrage(message.isEmpty() ? messages::neDemarrePas : message, generation_);
        return;
    }
    if (++ouverts_ >= etats_.size()) {
        demarre_ = true;
        for (auto& e : etats_)
            e = QStringLiteral("ouvert");
        Q_EMIT ouvert(generation_);
    }
}

void MoteurTranscription::surEtat(int index, const QString& code)
{
    if (index < 0 || index >= etats_.size())
        return;
    etats_[index] = code;
    if (!demarre_ || coupe_ || muet_)
        return;
    const auto tous = [this](const QString& c) { return std::all_of(etats_.cbegin(), etats_.cend(), [&](const QString& e) { return e == c; }); };
    if (code == QLatin1String("reconnexion")) {
        Q_EMIT etat(code, generation_);
    } else if (code == QLatin1String("ouvert")) {
        if (tous(code))
            Q_EMIT etat(code, generation_);
    } else if (code == QLatin1String("ferme")) {
        if (tous(code))
            Q_EMIT etat(code, generation_);
    } else if (code == QLatin1String("coupee")) {
        coupe_ = true;
        QMutexLocker l(&verrou_);
        for (int i = 0; i < flux_.size(); ++i)
            if (i != index)
                surFlux(flux_[i], [f = flux_[i]] { f->couper(); });
        l.unlock();
        Q_EMIT etat(code, generation_);
    }
}

void MoteurTranscription::envoyer(const QByteArray& bloc)
{
    if (bloc.isEmpty())
        return;
    QMutexLocker l(&verrou_);
    if (!flux_.isEmpty())
        repartir(bloc, flux_);
}

void MoteurTranscription::couper()
{
    arrete_ = true;
    muet_ = true;
    QMutexLocker l(&verrou_);
    for (const auto& f : flux_)
        surFlux(f, [f] { f->couper(); });
}

void MoteurTranscription::terminer()
{
    const bool deja = arrete_ && !muet_ && enFin_;
    arrete_ = true;
    if (deja)
        return;
    QMutexLocker l(&verrou_);
    if (flux_.isEmpty() || muet_) {
        l.unlock();
        QTimer::singleShot(0, this, [this, g = generation_] { Q_EMIT termine(g); });
        return;
    }
    enFin_ = true;
    finis_ = 0;
    for (const auto& f : flux_)
        surFlux(f, [f] { f->terminer(); });
}

void MoteurTranscription::arreterFlux()
{
    QList<QPointer<FluxTranscription>> anciens;
    {
        QMutexLocker l(&verrou_);
        anciens = std::exchange(flux_, {});
    }
    for (const auto& f : anciens)
        surFlux(f, [f] { f->couper(); });
    for (QThread* fil : std::exchange(fils_, {})) {
        fil->quit();
        fil->wait();
        delete fil;
    }
    // Streams sharing this thread go at once: their timers must not outlive the clock.
    for (const auto& f : anciens)
        if (f && f->thread() == thread())
            delete f.data();
}

// Soniox -----------------------------------------------------------------

std::pair<QByteArray, QByteArray> separerStereo(const QByteArray& bloc)
{
    const qsizetype trames = bloc.size() / 4;
    QByteArray vous(trames * 2, Qt::Uninitialized);
    QByteArray prospect(trames * 2, Qt::Uninitialized);
    const char* src = bloc.constData();
    char* a = vous.data();
    char* b = prospect.data();
    for (qsizetype i = 0; i < trames; ++i) {
        std::memcpy(a + 2 * i, src + 4 * i, 2);
        std::memcpy(b + 2 * i, src + 4 * i + 2, 2);
    }
    return {vous, prospect};
}

QList<FluxTranscription*> Soniox::creerFlux(const ParametresTranscription& p)
{
    if (p.canaux < 2)
        return {new FluxSoniox(RoleFluxSoniox::mixte, p.langue)};
    return {new FluxSoniox(RoleFluxSoniox::vous, p.langue), new FluxSoniox(RoleFluxSoniox::prospect, p.langue)};
}

void Soniox::repartir(const QByteArray& bloc, const QList<QPointer<FluxTranscription>>& flux)
{
    if (flux.size() == 1) {
        confier(flux[0], bloc);   // shared, not copied
        return;
    }
    auto [vous, prospect] = separerStereo(bloc);
    confier(flux[0], std::move(vous));
    confier(flux[1], std::move(prospect));
}

// Deepgram ---------------------------------------------------------------

QList<FluxTranscription*> Deepgram::creerFlux(const ParametresTranscription& p) { return {new FluxDeepgram(p.canaux)}; }

void Deepgram::repartir(const QByteArray& bloc, const QList<QPointer<FluxTranscription>>& flux) { confier(flux[0], bloc); }

std::unique_ptr<MoteurTranscription> creerMoteurTranscription(IdMoteur moteur, ContexteTranscription contexte, QObject* parent)
{
    if (moteur == IdMoteur::deepgram)
        return std::make_unique<Deepgram>(std::move(contexte), parent);
    return std::make_unique<Soniox>(std::move(contexte), parent);
}

std::unique_ptr<MoteurTranscription> creerMoteurAppel(const QString& moteur, const ai::ContexteRoutes& routes, bool filDedie)
{
    const IdMoteur id = idMoteurDepuisTexte(moteur).value_or(IdMoteur::soniox);
    ContexteTranscription c;
    c.relais = routes.relais ? routes.relais() : QString();
    c.filDedie = filDedie;
    c.choisirSource = [routes, id](QObject* contexte, ContexteTranscription::RappelSource rappel) {
        ai::choisirSourceTranscription(routes, id == IdMoteur::deepgram ? ai::MoteurTranscription::deepgram
                                                                        : ai::MoteurTranscription::soniox,
                                       contexte, std::move(rappel));
    };
    return creerMoteurTranscription(id, std::move(c));
}

} // namespace vd::call
