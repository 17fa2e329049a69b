#include "routes.h"

#include "model/store.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace vd::ai {

QString nomSource(SourceIA s)
{
    switch (s) {
    case SourceIA::relais: return QStringLiteral("relais");
    case SourceIA::cle: return QStringLiteral("cle");
    case SourceIA::demo: return QStringLiteral("demo");
    case SourceIA::cloud: return QStringLiteral("cloud");
    }
    return {};
}

std::optional<QUrl> normaliserRelais(const QString& saisie)
{
    QString t = saisie.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QString bas = t.toLower();
    if (!bas.startsWith(QLatin1String("http://")) && !bas.startsWith(QLatin1String("https://")))
        t.prepend(QLatin1String("https://"));
    while (t.endsWith(QLatin1Char('/')))
        t.chop(1);
    if (t.endsWith(QLatin1String("/api"), Qt::CaseInsensitive))
        t.chop(4);
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QUrl urlRelais(const QUrl& relais, const QString& chemin)
{
    QString base = relais.toString();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return QUrl(base + chemin);
}

std::optional<QString> lireCle(platform::Coffre& coffre, const QString& nom)
{
    const std::optional<QString> v = coffre.lire(nom);
    if (!v || v->trimmed().isEmpty())
        return std::nullopt;
    return v->trimmed();
}

VerificateurRelais::VerificateurRelais(QNetworkAccessManager* reseau, platform::Horloge& horloge, QObject* parent)
    : QObject(parent), reseau_(reseau), horloge_(horloge)
{
}

VerificateurRelais& VerificateurRelais::instance()
{
    static QNetworkAccessManager* reseau = new QNetworkAccessManager();
    static VerificateurRelais* v = new VerificateurRelais(reseau, platform::Horloge::instance());
    return *v;
}

void VerificateurRelais::oublier() { cache_.clear(); }

void VerificateurRelais::verifier(const QUrl& relais, QObject* contexte, Rappel rappel)
{
    const QString cle = relais.toString();
    const qint64 maintenant = horloge_.monotoneMs();
    auto it = cache_.constFind(cle);
    if (it != cache_.constEnd() && maintenant - it->second < cacheMs) {
        const EtatRelais etat = it->first;
        // Answer on the next turn of the loop, like a request would.
        QMetaObject::invokeMethod(
            this,
            [contexte = QPointer<QObject>(contexte), rappel = std::move(rappel), etat] {
                if (contexte)
                    rappel(etat);
            },
            Qt::QueuedConnection);
        return;
    }
    EnCours& e = enCours_[cle];
    e.attentes.append({contexte, std::move(rappel)});
    if (e.reponse)
        return;
    QNetworkRequest req(urlRelais(relais, QStringLiteral("api/etat")));
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setRawHeader("accept", "application/json");
    QNetworkReply* r = reseau_->get(req);
    ++envoyees_;
    e.reponse = r;
    auto* limite = horloge_.creerMinuterie(r);
    limite->setUnique(true);
    connect(limite, &platform::Minuterie::expire, r, [r] { r->abort(); });
    limite->demarrer(delaiMs);
    connect(r, &QNetworkReply::finished, this, [this, r, cle] {
        r->deleteLater();
        EtatRelais etat;
        const int statut = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (r->error() == QNetworkReply::NoError && statut >= 200 && statut < 300) {
            const QJsonDocument doc = QJsonDocument::fromJson(r->readAll());
            if (doc.isObject()) {
                etat.claude = doc.object().value(QLatin1String("claude")).toBool(false);
                etat.deepgram = doc.object().value(QLatin1String("deepgram")).toBool(false);
            }
        }
        conclure(cle, etat);
    });
}

void VerificateurRelais::conclure(const QString& cle, EtatRelais etat)
{
    cache_.insert(cle, {etat, horloge_.monotoneMs()});
    const QList<Attente> attentes = enCours_.take(cle).attentes;
    for (const Attente& a : attentes)
        if (a.contexte)
            a.rappel(etat);
}

ContexteRoutes routesDuStore(const model::Store& store, std::function<bool()> connecte)
{
    ContexteRoutes r;
    r.connecte = std::move(connecte);
    r.relais = [&store] { return store.etat().reglages.relais; };
    return r;
}

namespace {

void avecRelais(const ContexteRoutes& c, QObject* contexte, std::function<void(std::optional<EtatRelais>)> suite)
{
    const std::optional<QUrl> relais = normaliserRelais(c.relais ? c.relais() : QString());
    VerificateurRelais* v = c.verificateur ? c.verificateur : &VerificateurRelais::instance();
    if (!relais) {
        QMetaObject::invokeMethod(
            contexte, [suite = std::move(suite)] { suite(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    v->verifier(*relais, contexte, [suite = std::move(suite)](EtatRelais e) { suite(e); });
}

} // namespace

void choisirSourceIA(const ContexteRoutes& c, QObject* contexte, std::function<void(SourceIA)> rappel)
{
    platform::Coffre& coffre = c.coffre ? *c.coffre : platform::Coffre::instance();
    if (c.connecte && c.connecte()) {
        QMetaObject::invokeMethod(contexte, [rappel] { rappel(SourceIA::cloud); }, Qt::QueuedConnection);
        return;
    }
    if (lireCle(coffre, cleAnthropic)) {
        QMetaObject::invokeMethod(contexte, [rappel] { rappel(SourceIA::cle); }, Qt::QueuedConnection);
        return;
    }
    avecRelais(c, contexte, [rappel](std::optional<EtatRelais> e) {
        rappel(e && e->claude ? SourceIA::relais : SourceIA::demo);
    });
}

void choisirSourceTranscription(const ContexteRoutes& c, MoteurTranscription moteur, QObject* contexte,
                                std::function<void(SourceIA)> rappel)
{
    platform::Coffre& coffre = c.coffre ? *c.coffre : platform::Coffre::instance();
    auto plusTard = [contexte, rappel](SourceIA s) {
        QMetaObject::invokeMethod(contexte, [rappel, s] { rappel(s); }, Qt::QueuedConnection);
    };
    if (c.connecte && c.connecte())
        return plusTard(SourceIA::cloud);
    if (moteur == MoteurTranscription::soniox)
        return plusTard(lireCle(coffre, cleSoniox) ? SourceIA::cle : SourceIA::demo);
    if (lireCle(coffre, cleDeepgram))
        return plusTard(SourceIA::cle);
    avecRelais(c, contexte, [rappel](std::optional<EtatRelais> e) {
        rappel(e && e->deepgram ? SourceIA::relais : SourceIA::demo);
    });
}

} // namespace vd::ai
