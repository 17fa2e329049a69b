#include "accestranscription.h"

#include "ai/routes.h"
#include "cloud/clientsupabase.h"
#include "model/texte.h"
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace vd::call {

namespace {

// Answers on the next turn of the event loop, never inside the caller's frame.
void repondre(QObject* contexte, FournisseurAcces::Rappel rappel, Resultat<AccesTranscription, QString> r)
{
    QTimer::singleShot(0, contexte, [rappel = std::move(rappel), r = std::move(r)] { rappel(r); });
}

} // namespace

void AccesFixe::obtenir(QObject* contexte, Rappel rappel) { repondre(contexte, std::move(rappel), acces_); }

AccesCle::AccesCle(IdMoteur moteur, bool sonioxEurope, QString langue, int canaux)
    : moteur_(moteur), europe_(sonioxEurope), langue_(std::move(langue)), canaux_(canaux)
{
}

void AccesCle::obtenir(QObject* contexte, Rappel rappel)
{
    const QString cle = platform::Coffre::instance().lire(texteIdMoteur(moteur_)).value_or(QString()).trimmed();
    if (cle.isEmpty()) {
        repondre(contexte, std::move(rappel), echec(messages::indisponible));
        return;
    }
    AccesTranscription a;
    a.mode = ai::SourceIA::cle;
    if (moteur_ == IdMoteur::soniox) {
        a.cle = cle;
        a.url = urlSoniox(europe_);
    } else {
        a.cle = QStringLiteral("Token ") + cle;
        a.url = urlDeepgram(langue_, canaux_);
    }
    repondre(contexte, std::move(rappel), a);
}

// Relay -----------------------------------------------------------------

QUrl adresseRelais(const QString& reglage)
{
    // One normaliser for every use of the relay setting.
    return ai::normaliserRelais(reglage).value_or(QUrl());
}

AccesRelais::AccesRelais(QUrl relais, QString langue, int canaux)
    : relais_(std::move(relais)), langue_(std::move(langue)), canaux_(canaux), reseau_(std::make_unique<QNetworkAccessManager>())
{
}

AccesRelais::~AccesRelais() = default;

void AccesRelais::obtenir(QObject* contexte, Rappel rappel)
{
    QUrl u = relais_;
    u.setPath(u.path() + QStringLiteral("/api/deepgram/token"));
    QNetworkRequest req(u);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reponse = reseau_->post(req, QByteArrayLiteral("{}"));
    platform::Horloge::instance().apres(10000, reponse, [reponse] { reponse->abort(); });
    const QString langue = langue_;
    const int canaux = canaux_;
    QPointer<QObject> ctx(contexte);
    QObject::connect(reponse, &QNetworkReply::finished, reponse, [reponse, rappel, ctx, langue, canaux] {
        reponse->deleteLater();
        if (!ctx)
            return;
        const int statut = reponse->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject corps = reponse->isOpen() ? QJsonDocument::fromJson(reponse->readAll()).object() : QJsonObject();
        if (statut == 0) {
            rappel(echec(messages::relaisMuet));
            return;
        }
        if (statut < 200 || statut > 299) {
            const QString e = corps.value(QLatin1String("erreur")).toString().trimmed();
            // Server text that names a vendor never reaches the user.
            rappel(echec(e.isEmpty() || model::nommeUnFournisseur(e) ? messages::relaisEchec : e));
            return;
        }
        const QString jeton = corps.value(QLatin1String("access_token")).toString();
        if (jeton.isEmpty()) {
            rappel(echec(messages::relaisEchec));
            return;
        }
        AccesTranscription a;
        a.mode = ai::SourceIA::relais;
        a.cle = QStringLiteral("Bearer ") + jeton;
        a.url = urlDeepgram(langue, canaux);
        rappel(a);
    });
}

// Backend ---------------------------------------------------------------

AppelFonction appelFonctionCloud(cloud::ClientSupabase* client)
{
    QPointer<cloud::ClientSupabase> c(client);
    return [c](const QString& nom, const QJsonObject& corps, int delaiMs, QObject* contexte, RappelFonction rappel) {
        if (!c || !c->connecte()) {
            QTimer::singleShot(0, contexte, [rappel] {
                rappel(echec(ErreurFonction{ErreurFonction::Genre::session, 0, QStringLiteral("session_absente"), {}}));
            });
            return;
        }
        QCoro::connect(c->appelerFonction(nom, QJsonValue(corps), delaiMs), contexte,
                       [rappel](const cloud::ResultatCloud<model::JSONValeur>& r) {
                           if (!r) {
                               const cloud::ErreurCloud& e = r.erreur();
                               ErreurFonction f;
                               f.genre = e.genre == cloud::ErreurCloud::Genre::reseau   ? ErreurFonction::Genre::reseau
                                         : e.genre == cloud::ErreurCloud::Genre::session ? ErreurFonction::Genre::session
                                                                                         : ErreurFonction::Genre::autre;
                               f.statut = e.statut;
                               f.code = e.code;
                               f.message = e.message;
                               rappel(echec(f));
                               return;
                           }
                           if (!r.valeur().qt().isObject()) {
                               rappel(echec(ErreurFonction{ErreurFonction::Genre::autre, 200, QStringLiteral("reponse_illisible"), {}}));
                               return;
                           }
                           rappel(r.valeur().qt().toObject());
                       });
    };
}

TranscriptionCloud::TranscriptionCloud(AppelFonction appeler, QString appelId, int canaux, QString langue, IdMoteur moteur,
                                       bool diarisation, QObject* parent)
    : QObject(parent), appeler_(std::move(appeler)), appelId_(std::move(appelId)), canaux_(canaux), langue_(std::move(langue)),
      moteur_(moteur), diarisation_(diarisation)
{
}

void TranscriptionCloud::jeton(QObject* contexte, RappelJeton rappel)
{
    const qint64 maintenant = platform::Horloge::instance().monotoneMs();
    if (cleCloud_ && maintenant - cleCloud_->quand < 20000) {
        if (cleCloud_->enCours) {
            cleCloud_->attentes.append({QPointer<QObject>(contexte), std::move(rappel)});
        } else {
            const JetonCloud j = *cleCloud_->resultat;
            QTimer::singleShot(0, contexte, [rappel = std::move(rappel), j] { rappel(j); });
        }
        return;
    }
    cleCloud_ = Requete{};
    cleCloud_->numero = ++numeroCle_;
    cleCloud_->quand = maintenant;
    cleCloud_->attentes.append({QPointer<QObject>(contexte), std::move(rappel)});
    lancer(false);
}

void TranscriptionCloud::lancer(bool ancienne)
{
    const int numero = cleCloud_->numero;
    if (!appeler_) {
        QTimer::singleShot(0, this, [this, numero] { conclure(numero, echec(messages::nonConnecte)); });
        return;
    }
    QJsonObject corps{
        {QStringLiteral("appelId"), appelId_},
        {QStringLiteral("canaux"), canaux_},
        {QStringLiteral("langue"), langue_},
        {QStringLiteral("diarisation"), diarisation_},
        {QStringLiteral("session_id"), sessionId_ ? QJsonValue(*sessionId_) : QJsonValue(QJsonValue::Null)},
    };
    if (!ancienne)
        corps.insert(QStringLiteral("moteur"), texteIdMoteur(moteur_));
    const QString nom = ancienne ? QStringLiteral("deepgram-jeton") : QStringLiteral("transcription-jeton");
    appeler_(nom, corps, 15000, this, [this, numero, ancienne](const Resultat<QJsonObject, ErreurFonction>& r) {
        if (!r) {
            const ErreurFonction& e = r.erreur();
            if (!ancienne && e.statut == 404 && moteur_ == IdMoteur::deepgram && e.code != QLatin1String("trop_de_sessions")
                && cleCloud_ && cleCloud_->numero == numero) {
                lancer(true);
                return;
            }
            conclure(numero, echec(messagePour(e)));
            return;
        }
        const QJsonObject o = r.valeur();
        const QString sid = o.value(QLatin1String("session_id")).toString();
        if (!sid.isEmpty())
            sessionId_ = sid;
        JetonCloud j;
        j.jeton = o.value(QLatin1String("access_token")).toString();
        j.urlWebsocket = o.value(QLatin1String("url_websocket")).toString();
        j.moteur = o.value(QLatin1String("moteur")).toString();
        j.diarisation = o.value(QLatin1String("diarisation")).toBool(diarisation_);
        if (j.jeton.isEmpty()) {
            conclure(numero, echec(messages::neDemarrePas));
            return;
        }
        conclure(numero, j);
    });
}

void TranscriptionCloud::conclure(int numero, const Resultat<JetonCloud, QString>& r)
{
    if (!cleCloud_ || cleCloud_->numero != numero)
        return;
    auto attentes = std::move(cleCloud_->attentes);
    cleCloud_->attentes.clear();
    if (r) {
        cleCloud_->enCours = false;
        cleCloud_->resultat = r.valeur();
    } else {
        cleCloud_.reset();   // a failure is not kept: the next attempt asks again
    }
    for (auto& [ctx, rappel] : attentes)
        if (ctx)
            rappel(r);
}

QString TranscriptionCloud::messagePour(const ErreurFonction& e) const
{
    if (e.genre == ErreurFonction::Genre::session)
        return messages::nonConnecte;
    if (e.code == QLatin1String("fonction_desactivee") || e.code == QLatin1String("cle_serveur_absente"))
        return messages::pasEncoreDisponible;
    if (e.code == QLatin1String("trop_de_sessions"))
        return e.message.isEmpty()
                   ? QStringLiteral("Trop de transcriptions en même temps. Terminez un appel avant d'en lancer un autre.")
                   : e.message;
    if (e.genre == ErreurFonction::Genre::reseau)
        return messages::pasDeConnexionCloud;
    return messages::neDemarrePas;
}

AccesCloud::AccesCloud(std::shared_ptr<TranscriptionCloud> cloud, IdMoteur moteur, bool sonioxEurope, QString langue, int canaux)
    : cloud_(std::move(cloud)), moteur_(moteur), europe_(sonioxEurope), langue_(std::move(langue)), canaux_(canaux)
{
}

void AccesCloud::obtenir(QObject* contexte, Rappel rappel)
{
    const IdMoteur moteur = moteur_;
    const bool europe = europe_;
    const QString langue = langue_;
    const int canaux = canaux_;
    cloud_->jeton(contexte, [=](const Resultat<JetonCloud, QString>& r) {
        if (!r) {
            rappel(echec(r.erreur()));
            return;
        }
        const JetonCloud& j = r.valeur();
        AccesTranscription a;
        a.mode = ai::SourceIA::cloud;
        a.diarisation = j.diarisation;
        if (moteur == IdMoteur::soniox) {
            a.cle = j.jeton;
            a.url = j.urlWebsocket.isEmpty() ? urlSoniox(europe) : QUrl(j.urlWebsocket);
        } else {
            a.cle = QStringLiteral("Bearer ") + j.jeton;
            a.url = urlDeepgram(langue, canaux, j.urlWebsocket.isEmpty() ? QUrl() : QUrl(j.urlWebsocket));
        }
        rappel(a);
    });
}

} // namespace vd::call
