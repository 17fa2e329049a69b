#include "clientclaude.h"

#include "moteur.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <cmath>

Q_LOGGING_CATEGORY(lcClientIA, "vd.ai.client")

namespace vd::ai {

namespace {

QNetworkAccessManager* reseauPartage()
{
    static QNetworkAccessManager* r = [] {
        auto* m = new QNetworkAccessManager();
        m->setAutoDeleteReplies(false);
        return m;
    }();
    return r;
}

QUrl urlAnthropicParDefaut()
{
    const QString v = qEnvironmentVariable("VD_URL_ANTHROPIC").trimmed();
    return QUrl(v.isEmpty() ? QStringLiteral("https://api.anthropic.com") : v);
}

QStringList tachesLive(Moteur& moteur)
{
    QStringList l;
    for (const QJsonValue& v : moteur.donnee(QStringLiteral("TACHES_LIVE")).toArray())
        if (v.isString())
            l << v.toString();
    if (l.isEmpty())
        l = {QStringLiteral("objection"), QStringLiteral("questions"), QStringLiteral("recap"), QStringLiteral("libre")};
    return l;
}

QNetworkRequest requeteFlux(const QUrl& url)
{
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setRawHeader("content-type", "application/json");
    req.setRawHeader("accept", "text/event-stream");
    return req;
}

// Removes the structured output format from a request body.
bool retirerFormat(QJsonObject& corps)
{
    bool retire = false;
    if (corps.contains(QLatin1String("output_config"))) {
        QJsonObject oc = corps.value(QLatin1String("output_config")).toObject();
        if (oc.contains(QLatin1String("format"))) {
            oc.remove(QStringLiteral("format"));
            retire = true;
            if (oc.isEmpty())
                corps.remove(QStringLiteral("output_config"));
            else
                corps.insert(QStringLiteral("output_config"), oc);
        }
    }
    if (corps.contains(QLatin1String("output_format"))) {
        corps.remove(QStringLiteral("output_format"));
        retire = true;
    }
    return retire;
}

bool contientFormat(const QJsonObject& corps)
{
    return corps.contains(QLatin1String("output_format")) ||
           corps.value(QLatin1String("output_config")).toObject().contains(QLatin1String("format"));
}

QString typeSouffleurPourStatut(int statut)
{
    if (statut == 429)
        return QStringLiteral("rate_limit_error");
    if (statut >= 500 && statut <= 599)
        return QStringLiteral("overloaded_error");
    if (statut == 401)
        return QStringLiteral("session");
    return QStringLiteral("fonction_desactivee");
}

} // namespace

LimitesFlux limitesParDefaut(bool tacheLive)
{
    if (tacheLive)
        return {20, 20, 20, 90};
    return {90, 60, 90, 900};
}

bool payloadSerialisable(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Undefined: return false;
    case QJsonValue::Double: return std::isfinite(v.toDouble());
    case QJsonValue::Array:
        for (const QJsonValue& e : v.toArray())
            if (!payloadSerialisable(e))
                return false;
        return true;
    case QJsonValue::Object: {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!payloadSerialisable(it.value()))
                return false;
        return true;
    }
    default: return true;
    }
}

ClientIA::ClientIA(ConfigClientIA config, QObject* parent) : ClientIABase(parent), config_(std::move(config))
{
    if (!config_.horloge)
        config_.horloge = &platform::Horloge::instance();
    if (!config_.moteur)
        config_.moteur = &Moteur::instance();
    if (!config_.reseau)
        config_.reseau = reseauPartage();
    if (config_.urlAnthropic.isEmpty())
        config_.urlAnthropic = urlAnthropicParDefaut();
    if (!config_.routes.connecte && config_.cloud) {
        AccesCloudIA* cloud = config_.cloud;
        config_.routes.connecte = [cloud] { return cloud->connecte(); };
    }
}

DemandeIA* ClientIA::envoyer(const RequeteIA& requete)
{
    return new DemandeClaude(config_, requete);
}

DemandeClaude::DemandeClaude(const ConfigClientIA& config, RequeteIA requete, QObject* parent)
    : DemandeIA(parent), config_(config), requete_(std::move(requete)), horloge_(*config_.horloge),
      moteur_(*config_.moteur)
{
    diffuseur_ = new DiffuseurPartiel(horloge_, [this](const QJsonValue& v) { Q_EMIT partiel(v); }, this);
    // Started on the next turn of the loop, so the caller connects first.
    QMetaObject::invokeMethod(this, [this] { demarrer(); }, Qt::QueuedConnection);
}

DemandeClaude::~DemandeClaude() { arreterLecture(); }

void DemandeClaude::annuler()
{
    if (fini_)
        return;
    fini_ = true;
    diffuseur_->fermer();
    arreterLecture();
}

bool DemandeClaude::budgetRestant() const { return reessais_ < budget_; }

void DemandeClaude::demarrer()
{
    if (fini_)
        return;
    if (!payloadSerialisable(requete_.payload)) {
        qCWarning(lcClientIA) << "payload non sérialisable pour la tâche" << requete_.tache;
        echouer(messages::payloadIllisible, QString(), 0);
        return;
    }
    const bool live = tachesLive(moteur_).contains(requete_.tache);
    budget_ = live ? 1 : 2;
    limites_ = requete_.limites.value_or(limitesParDefaut(live));
    choisirSourceIA(config_.routes, this, [this](SourceIA s) { surSource(s); });
}

void DemandeClaude::surSource(SourceIA source)
{
    if (fini_)
        return;
    source_ = source;
    switch (source) {
    case SourceIA::demo:
        repondreDemo();
        return;
    case SourceIA::cle:
        if (std::optional<QString> e = preparerCle()) {
            echouer(*e, QString(), 0);
            return;
        }
        break;
    case SourceIA::relais:
        preparerRelais();
        break;
    case SourceIA::cloud:
        if (!config_.cloud || !config_.cloud->connecte()) {
            echouer(messages::connexionRequise, QStringLiteral("session"), 0);
            return;
        }
        break;
    }
    tenter();
}

std::optional<QString> DemandeClaude::preparerCle()
{
    auto r = moteur_.appelerJSON(QStringLiteral("requete"), {requete_.tache, requete_.payload, requete_.modele});
    if (!r)
        return r.erreur().description();
    const QJsonObject o = r.valeur().toObject();
    corps_ = o.value(QLatin1String("corps")).toObject();
    if (corps_.isEmpty())
        return ErreurMoteur::decodage(QStringLiteral("Moteur.requete n'a pas rendu de corps.")).description();
    corps_.insert(QStringLiteral("stream"), true);
    if (!corps_.contains(QLatin1String("model")) && !requete_.modele.isEmpty())
        corps_.insert(QStringLiteral("model"), requete_.modele);
    const QJsonValue maxTokens = o.value(QLatin1String("maxTokens"));
    if (!corps_.contains(QLatin1String("max_tokens")) && maxTokens.isDouble())
        corps_.insert(QStringLiteral("max_tokens"), maxTokens.toInteger());
    const QString modele = corps_.value(QLatin1String("model")).toString(requete_.modele);
    repli_ = moteur_.appelerBooleen(QStringLiteral("repliSupporte"), {modele}).valeurOu(false);
    format_ = requete_.formatStructure && contientFormat(corps_);
    QString base = config_.urlAnthropic.toString();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    url_ = QUrl(base + QStringLiteral("v1/messages"));
    return std::nullopt;
}

void DemandeClaude::preparerRelais()
{
    const std::optional<QUrl> relais = normaliserRelais(config_.routes.relais ? config_.routes.relais() : QString());
    url_ = relais ? urlRelais(*relais, QStringLiteral("api/v1/messages")) : QUrl();
    const QJsonObject contenu{{QStringLiteral("tache"), requete_.tache}, {QStringLiteral("payload"), requete_.payload}};
    corps_ = QJsonObject{
        {QStringLiteral("model"), requete_.modele},
        {QStringLiteral("max_tokens"), 16000},
        {QStringLiteral("stream"), true},
        {QStringLiteral("messages"),
         QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                {QStringLiteral("content"), QString::fromUtf8(texteJsonTrie(contenu))}}}},
    };
}

void DemandeClaude::tenter()
{
    if (fini_)
        return;
    ++tentatives_;
    reessaiEnAttente_ = false;
    // Every attempt reads from scratch: the partial never joins two attempts.
    diffuseur_->recommencer();
    decoupeur_.vider();
    flux_ = FluxSSE();
    depasse_.reset();
    premierTexte_.reset();
    debut_ = derniereLigne_ = dernierProgres_ = horloge_.monotoneMs();

    if (source_ == SourceIA::cloud) {
        QJsonObject corps{{QStringLiteral("tache"), requete_.tache}, {QStringLiteral("payload"), requete_.payload}};
        if (requete_.appelId)
            corps.insert(QStringLiteral("appelId"), *requete_.appelId);
        brancher(config_.cloud->ouvrirFlux(QStringLiteral("claude"), corps, config_.inactiviteCloudMs));
        return;
    }
    QNetworkRequest req = requeteFlux(url_);
    if (source_ == SourceIA::cle) {
        platform::Coffre& coffre = config_.routes.coffre ? *config_.routes.coffre : platform::Coffre::instance();
        const std::optional<QString> cle = lireCle(coffre, cleAnthropic);
        if (!cle) {
            echouer(messagePourStatut(401, QString(), SourceIA::cle), QString(), 401);
            return;
        }
        req.setRawHeader("x-api-key", cle->toUtf8());
        req.setRawHeader("anthropic-version", "2023-06-01");
        if (const std::optional<QString> ws = lireCle(coffre, cleWorkspace))
            req.setRawHeader("anthropic-workspace-id", ws->toUtf8());
        if (repli_) {
            corps_.insert(QStringLiteral("fallbacks"), QStringLiteral("default"));
            req.setRawHeader("anthropic-beta", "server-side-fallback-2026-07-01");
        } else {
            corps_.remove(QStringLiteral("fallbacks"));
        }
    }
    const QByteArray corps = QJsonDocument(corps_).toJson(QJsonDocument::Compact);
    brancher(new FluxHttp(config_.reseau->post(req, corps), horloge_, config_.inactiviteMs, false));
}

void DemandeClaude::brancher(FluxReponse* flux)
{
    if (!flux) {
        echouer(messages::connexionRequise, QStringLiteral("session"), 0);
        return;
    }
    lecture_ = flux;
    flux->setParent(this);
    connect(flux, &FluxReponse::donnees, this, &DemandeClaude::surDonnees);
    connect(flux, &FluxReponse::fin, this, &DemandeClaude::surFin);
    connect(flux, &FluxReponse::echec, this, &DemandeClaude::surEchec);
    if (!veille_) {
        veille_ = horloge_.creerMinuterie(this);
        connect(veille_, &platform::Minuterie::expire, this, &DemandeClaude::verifierVeille);
    }
    const double pas = std::clamp(std::min(limites_.sansOctet, limites_.sansProgres) / 10.0, 0.05, 0.5);
    veille_->demarrer(int(std::lround(pas * 1000)));
}

void DemandeClaude::arreterLecture()
{
    if (veille_)
        veille_->arreter();
    if (lecture_) {
        FluxReponse* f = lecture_;
        lecture_ = nullptr;
        f->disconnect(this);
        f->annuler();
        f->deleteLater();
    }
}

void DemandeClaude::verifierVeille()
{
    if (fini_ || !lecture_)
        return;
    const qint64 t = horloge_.monotoneMs();
    auto atteint = [](qint64 ecoule, double limite) { return double(ecoule) >= limite * 1000.0; };
    if (!premierTexte_ && atteint(t - debut_, limites_.premierTexte))
        depasse_ = DelaiFlux::premierTexte;
    else if (atteint(t - derniereLigne_, limites_.sansOctet))
        depasse_ = DelaiFlux::sansOctet;
    else if (atteint(t - dernierProgres_, limites_.sansProgres))
        depasse_ = DelaiFlux::sansProgres;
    else if (atteint(t - debut_, limites_.total))
        depasse_ = DelaiFlux::total;
    if (!depasse_)
        return;
    arreterLecture();
    diffuseur_->terminer();
    echouer(messages::tropLong, source_ == SourceIA::cloud ? QStringLiteral("flux_coupe") : QString(), 0);
}

void DemandeClaude::surDonnees(const QByteArray& morceau)
{
    if (fini_ || !lecture_)
        return;
    decoupeur_.ajouter(morceau, [this](QByteArrayView l) { surLigne(l); });
    if (flux_.erreur && lecture_ && !fini_) {
        // The server said what went wrong; nothing useful can follow.
        arreterLecture();
        ErreurHTTP e;
        e.statut = statutPourErreurFlux(flux_.erreur->type);
        e.message = flux_.erreur->message;
        e.pendantFlux = true;
        surEchecHTTP(e, flux_.erreur->type);
    }
}

void DemandeClaude::surLigne(QByteArrayView ligne)
{
    if (fini_ || flux_.erreur)
        return;
    const qint64 t = horloge_.monotoneMs();
    derniereLigne_ = t;
    const QString ajout = flux_.ligne(ligne);
    if (ajout.isEmpty())
        return;
    dernierProgres_ = t;
    if (!premierTexte_)
        premierTexte_ = t;
    diffuseur_->ajouter(ajout);
}

void DemandeClaude::surFin()
{
    if (fini_ || !lecture_)
        return;
    if (source_ == SourceIA::cloud) {
        const QByteArray modele = lecture_->entete("x-vd-modele");
        const QByteArray prompt = lecture_->entete("x-vd-prompt");
        modeleCloud_ = modele.isEmpty() ? std::nullopt : std::optional(QString::fromUtf8(modele));
        promptCloud_ = prompt.isEmpty() ? std::nullopt : std::optional(QString::fromUtf8(prompt));
    }
    arreterLecture();
    conclureFlux();
}

void DemandeClaude::surEchec(const EchecFlux& e)
{
    if (fini_ || !lecture_)
        return;
    arreterLecture();
    switch (e.genre) {
    case EchecFlux::Genre::session:
        echouer(e.message.isEmpty() ? messages::connexionRequise : e.message, QStringLiteral("session"), e.statut);
        return;
    case EchecFlux::Genre::reseau:
        surEchecReseau(e.reessayable);
        return;
    case EchecFlux::Genre::http: {
        ErreurHTTP h;
        h.statut = e.statut;
        h.message = e.message;
        h.reessayerApres = e.reessayerApres;
        surEchecHTTP(h, e.code);
        return;
    }
    }
}

void DemandeClaude::surEchecHTTP(const ErreurHTTP& e, const QString& code)
{
    const QString bas = e.message.toLower();
    if (source_ == SourceIA::cle && repli_ && bas.contains(QLatin1String("fallback"))) {
        repli_ = false;
        qCInfo(lcClientIA) << "nouvel envoi sans l'option de repli";
        tenter();
        return;
    }
    if (source_ == SourceIA::cle && format_ &&
        moteur_.appelerBooleen(QStringLiteral("erreurDeFormat"), {e.message}).valeurOu(false)) {
        format_ = false;
        retirerFormat(corps_);
        qCInfo(lcClientIA) << "nouvel envoi sans format structuré";
        tenter();
        return;
    }
    // An error inside the stream after text arrived is not retried: what the
    // caller saw would be replaced by a different answer.
    const bool texteRecu = !flux_.texte.isEmpty();
    if (statutReessayable(e.statut) && budgetRestant() && !(e.pendantFlux && texteRecu)) {
        reessayer(delaiReessaiMs(reessais_, e.reessayerApres, true));
        return;
    }
    diffuseur_->terminer();
    QString type;
    if (source_ == SourceIA::cloud) {
        static const QStringList connus = {QStringLiteral("session"), QStringLiteral("fonction_desactivee"),
                                           QStringLiteral("compte_introuvable"), QStringLiteral("rate_limit_error"),
                                           QStringLiteral("overloaded_error")};
        type = e.pendantFlux || connus.contains(code) ? code : typeSouffleurPourStatut(e.statut);
    }
    echouer(messagePourErreurHTTP(e, source_), type, e.statut);
}

void DemandeClaude::surEchecReseau(bool reessayable)
{
    if (reessayable && budgetRestant()) {
        reessayer(delaiReessaiMs(reessais_, std::nullopt, false));
        return;
    }
    diffuseur_->terminer();
    if (source_ == SourceIA::cloud)
        echouer(messages::reseauCloud, QStringLiteral("reseau"), 0);
    else
        echouer(messages::reseau, QString(), 0);
}

void DemandeClaude::reessayer(int delaiMs)
{
    ++reessais_;
    reessaiEnAttente_ = true;
    qCInfo(lcClientIA) << "nouvel essai" << reessais_ << "dans" << delaiMs << "ms";
    horloge_.apres(delaiMs, this, [this] { tenter(); });
}

void DemandeClaude::conclureFlux()
{
    diffuseur_->terminer();
    const bool cloud = source_ == SourceIA::cloud;
    if (flux_.stopReason == QLatin1String("max_tokens")) {
        if (cloud)
            echouer(messages::incomplete, QStringLiteral("reponse_incomplete"), 0);
        else
            echouer(messages::maxTokens, QString(), 0);
        return;
    }
    if (flux_.stopReason == QLatin1String("refusal")) {
        echouer(messages::refus, cloud ? QStringLiteral("refus") : QString(), 0);
        return;
    }
    if (!flux_.termine) {
        echouer(messages::coupee, cloud ? QStringLiteral("flux_coupe") : QString(), 0);
        return;
    }
    if (flux_.texte.trimmed().isEmpty()) {
        if (cloud)
            echouer(messages::illisibleCloud, QStringLiteral("reponse_illisible"), 0);
        else
            echouer(messages::illisible, QString(), 0);
        return;
    }
    InfosGeneration infos;
    infos.source = source_;
    infos.modele = cloud ? modeleCloud_ : flux_.modele;
    if (!infos.modele && !requete_.modele.isEmpty())
        infos.modele = source_ == SourceIA::cle ? corps_.value(QLatin1String("model")).toString(requete_.modele)
                                                : requete_.modele;
    if (premierTexte_)
        infos.latenceMs = *premierTexte_ - debut_;
    infos.prompt = promptCloud_;
    fini_ = true;
    Q_EMIT fini(flux_.texte, infos);
}

void DemandeClaude::repondreDemo()
{
    if (!requete_.demo) {
        // Canned answers must never land in a real call or contact.
        echouer(messages::aucuneRoute, QString(), 0);
        return;
    }
    auto r = moteur_.appeler(QStringLiteral("reponseDemo"), {requete_.tache, requete_.payload});
    QString texte;
    if (r && (r.valeur().type == ValeurJS::Type::texte || r.valeur().type == ValeurJS::Type::objet))
        texte = r.valeur().texte;
    if (!r && r.erreur().genre == ErreurMoteur::Genre::chargement) {
        echouer(r.erreur().description(), QString(), 0);
        return;
    }
    if (texte.trimmed().isEmpty()) {
        echouer(messages::demoSansReponse, QString(), 0);
        return;
    }
    ++tentatives_;
    debut_ = horloge_.monotoneMs();
    horloge_.apres(config_.pauseDemoMs, this, [this, texte] {
        if (fini_)
            return;
        diffuseur_->ajouter(texte);
        diffuseur_->terminer();
        InfosGeneration infos;
        infos.source = SourceIA::demo;
        infos.modele = requete_.modele.isEmpty() ? std::nullopt : std::optional(requete_.modele);
        infos.latenceMs = horloge_.monotoneMs() - debut_;
        fini_ = true;
        Q_EMIT fini(texte, infos);
    });
}

void DemandeClaude::echouer(const QString& message, const QString& type, int statut)
{
    if (fini_)
        return;
    fini_ = true;
    diffuseur_->fermer();
    arreterLecture();
    if (source_ == SourceIA::cloud && config_.cloud) {
        QJsonObject details{{QStringLiteral("tache"), requete_.tache},
                            {QStringLiteral("type"), type},
                            {QStringLiteral("statut"), statut}};
        details.insert(QStringLiteral("appel_id"), requete_.appelId ? QJsonValue(*requete_.appelId) : QJsonValue());
        config_.cloud->journaliser(QJsonObject{{QStringLiteral("source"), QStringLiteral("app")},
                                               {QStringLiteral("type"), QStringLiteral("relais_claude")},
                                               {QStringLiteral("message"), message},
                                               {QStringLiteral("details"), details}});
    }
    Q_EMIT echec(message, type, statut);
}

} // namespace vd::ai
