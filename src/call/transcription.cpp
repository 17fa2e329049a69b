#include "transcription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

namespace vd::call {

QString texteIdMoteur(IdMoteur m) { return m == IdMoteur::soniox ? QStringLiteral("soniox") : QStringLiteral("deepgram"); }

std::optional<IdMoteur> idMoteurDepuisTexte(const QString& t)
{
    const QString v = t.trimmed().toLower();
    if (v == QLatin1String("soniox"))
        return IdMoteur::soniox;
    if (v == QLatin1String("deepgram"))
        return IdMoteur::deepgram;
    return std::nullopt;
}

QString messageErreurSoniox(int code, ai::SourceIA mode)
{
    const bool cle = mode == ai::SourceIA::cle;
    switch (code) {
    case 400:
        return QStringLiteral("La transcription refuse ses réglages. Réessayez dans un instant, puis prévenez-nous si cela continue.");
    case 401:
        return cle ? QStringLiteral("La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre projet (Europe ou monde).")
                   : messages::neDemarrePas;
    case 402:
        return cle ? QStringLiteral("Le crédit de votre clé de transcription est épuisé. Rechargez-le, puis réessayez.")
                   : QStringLiteral("La transcription n'est pas disponible pour le moment. Réessayez plus tard.");
    case 403: return messages::neDemarrePas;
    case 429: return QStringLiteral("Trop de transcriptions en même temps. Terminez un autre appel, puis réessayez.");
    default: return QStringLiteral("La transcription ne répond pas pour le moment. Réessayez dans un instant.");
    }
}

bool erreurSonioxDefinitive(int code, const QString& type)
{
    if (type == QLatin1String("temp_api_key_session_expired"))
        return false;
    return code == 400 || code == 401 || code == 402 || code == 403;
}

bool erreurReseau(QAbstractSocket::SocketError e)
{
    switch (e) {
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::RemoteHostClosedError:
        return true;
    default: return false;
    }
}

QString messageEchecOuvertureSoniox(QAbstractSocket::SocketError e)
{
    return erreurReseau(e) ? messages::connexionImpossible : messages::neDemarrePas;
}

QString messageEchecOuvertureDeepgram(QAbstractSocket::SocketError e, int statutHttp, ai::SourceIA mode)
{
    if (statutHttp == 0 && erreurReseau(e))
        return messages::connexionImpossible;
    if (mode != ai::SourceIA::cle)
        return messages::neDemarrePas;
    if (statutHttp == 0 || statutHttp == 401 || statutHttp == 403)
        return messages::cleRefuseeDeepgram;
    return messages::neDemarrePas;
}

int statutHttpPoignee(const QString& texteErreur)
{
    // The socket reports a refused handshake as "…status code: 401 (Unauthorized)".
    static const QRegularExpression re(QStringLiteral("status code:?\\s*(\\d{3})"), QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(texteErreur);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QStringList indicesLangue(const QString& langue)
{
    if (langue == QLatin1String("en"))
        return {QStringLiteral("en")};
    if (langue == QLatin1String("multi"))
        return {QStringLiteral("fr"), QStringLiteral("en")};
    return {QStringLiteral("fr")};
}

QByteArray trameConfigurationSoniox(const QString& cle, const QString& langue, bool diarisation)
{
    QJsonObject o{
        {QStringLiteral("api_key"), cle},
        {QStringLiteral("model"), QStringLiteral("stt-rt-v5")},
        {QStringLiteral("audio_format"), QStringLiteral("pcm_s16le")},
        {QStringLiteral("sample_rate"), 16000},
        {QStringLiteral("num_channels"), 1},
        {QStringLiteral("language_hints"), QJsonArray::fromStringList(indicesLangue(langue))},
        {QStringLiteral("enable_speaker_diarization"), diarisation},
        {QStringLiteral("enable_endpoint_detection"), true},
        {QStringLiteral("max_endpoint_delay_ms"), 1000},
    };
    QByteArray b = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return b.isEmpty() ? QByteArrayLiteral("{}") : b;
}

namespace {

QUrl baseDepuisEnv(const char* variable, const QString& defaut, const QString& chemin)
{
    const QString env = qEnvironmentVariable(variable).trimmed();
    QUrl u(env.isEmpty() ? defaut : env);
    if (u.path().isEmpty() || u.path() == QLatin1String("/"))
        u.setPath(chemin);
    return u;
}

} // namespace

QUrl urlSoniox(bool europe)
{
    const QString chemin = QStringLiteral("/transcribe-websocket");
    if (europe)
        return baseDepuisEnv("VD_URL_SONIOX_EU", QStringLiteral("wss://stt-rt.eu.soniox.com"), chemin);
    return baseDepuisEnv("VD_URL_SONIOX", QStringLiteral("wss://stt-rt.soniox.com"), chemin);
}

QUrl urlDeepgram(const QString& langue, int canaux, const QUrl& base)
{
    QUrl u = base.isValid() && !base.isEmpty() ? base
                                               : baseDepuisEnv("VD_URL_DEEPGRAM", QStringLiteral("wss://api.eu.deepgram.com"),
                                                               QStringLiteral("/v1/listen"));
    if (u.hasQuery())
        return u;   // a complete address handed over by the backend
    const bool connue = langue == QLatin1String("fr") || langue == QLatin1String("en") || langue == QLatin1String("multi");
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("mip_opt_out"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("model"), QStringLiteral("nova-3"));
    q.addQueryItem(QStringLiteral("language"), connue ? langue : QStringLiteral("fr"));
    q.addQueryItem(QStringLiteral("punctuate"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("smart_format"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("interim_results"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("endpointing"), QStringLiteral("300"));
    q.addQueryItem(QStringLiteral("utterance_end_ms"), QStringLiteral("1000"));
    q.addQueryItem(QStringLiteral("encoding"), QStringLiteral("linear16"));
    q.addQueryItem(QStringLiteral("sample_rate"), QStringLiteral("16000"));
    q.addQueryItem(QStringLiteral("channels"), QString::number(canaux));
    if (canaux >= 2)
        q.addQueryItem(QStringLiteral("multichannel"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("diarize"), QStringLiteral("true"));
    u.setQuery(q);
    return u;
}

} // namespace vd::call
