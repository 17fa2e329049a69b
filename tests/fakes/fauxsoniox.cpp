#include "fauxsoniox.h"

#include <QJsonDocument>
#include <QTimer>
#include <QWebSocket>

namespace vd::fakes {

namespace {
QByteArray json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
} // namespace

QJsonObject FauxSoniox::jeton(const QString& texte, qint64 debutMs, qint64 finMs, bool final, std::optional<qint64> locuteur)
{
    QJsonObject o{{QStringLiteral("text"), texte},
                  {QStringLiteral("start_ms"), debutMs},
                  {QStringLiteral("end_ms"), finMs},
                  {QStringLiteral("is_final"), final}};
    if (locuteur)
        o.insert(QStringLiteral("speaker"), QString::number(*locuteur));
    return o;
}

void FauxSoniox::erreurALaConfiguration(int code, QString type, QString message, int fois)
{
    for (int k = 0; k < fois; ++k)
        erreurs_.append({code, type, message});
}

void FauxSoniox::programmer(bool diarisation, qint64 apresMs, const QJsonObject& message)
{
    programme_.append({diarisation, apresMs, message});
}

void FauxSoniox::envoyerJetons(int i, const QJsonArray& jetons) { envoyerJson(i, json(QJsonObject{{QStringLiteral("tokens"), jetons}})); }

void FauxSoniox::envoyerErreur(int i, int code, const QString& type, const QString& message)
{
    envoyerJson(i, json(QJsonObject{{QStringLiteral("error_code"), code},
                                    {QStringLiteral("error_type"), type},
                                    {QStringLiteral("error_message"), message}}));
    fermer(i);
}

void FauxSoniox::envoyerFini(int i)
{
    envoyerJson(i, json(QJsonObject{{QStringLiteral("tokens"), QJsonArray()}, {QStringLiteral("finished"), true}}));
    fermer(i);
}

void FauxSoniox::verifierConfiguration(int i, const QJsonObject& o)
{
    const QStringList attendues = {QStringLiteral("api_key"), QStringLiteral("model"), QStringLiteral("audio_format"),
                                   QStringLiteral("sample_rate"), QStringLiteral("num_channels"), QStringLiteral("language_hints"),
                                   QStringLiteral("enable_speaker_diarization"), QStringLiteral("enable_endpoint_detection"),
                                   QStringLiteral("max_endpoint_delay_ms")};
    QStringList cles = o.keys();
    QStringList tri = attendues;
    cles.sort();
    tri.sort();
    if (cles != tri)
        anomalies << QStringLiteral("connexion %1 : clés de configuration %2").arg(i).arg(cles.join(QLatin1Char(',')));
    const auto verifier = [&](bool ok, const char* quoi) {
        if (!ok)
            anomalies << QStringLiteral("connexion %1 : %2").arg(i).arg(QLatin1String(quoi));
    };
    verifier(o.value(QLatin1String("api_key")).isString(), "api_key");
    verifier(o.value(QLatin1String("model")) == QLatin1String("stt-rt-v5"), "model");
    verifier(o.value(QLatin1String("audio_format")) == QLatin1String("pcm_s16le"), "audio_format");
    verifier(o.value(QLatin1String("sample_rate")) == 16000, "sample_rate");
    verifier(o.value(QLatin1String("num_channels")) == 1, "num_channels");
    verifier(o.value(QLatin1String("language_hints")).isArray(), "language_hints");
    verifier(o.value(QLatin1String("enable_speaker_diarization")).isBool(), "enable_speaker_diarization");
    verifier(o.value(QLatin1String("enable_endpoint_detection")) == true, "enable_endpoint_detection");
    verifier(o.value(QLatin1String("max_endpoint_delay_ms")) == 1000, "max_endpoint_delay_ms");
}

void FauxSoniox::surTexte(int i, const QString& texte)
{
    Connexion& c = mutable_(i);
    if (!configurations_.contains(i)) {
        const QJsonDocument d = QJsonDocument::fromJson(texte.toUtf8());
        if (!d.isObject()) {
            anomalies << QStringLiteral("connexion %1 : première trame illisible").arg(i);
            return;
        }
        configurations_.insert(i, d.object());
        verifierConfiguration(i, d.object());
        if (!erreurs_.isEmpty()) {
            const ErreurProgrammee e = erreurs_.takeFirst();
            envoyerErreur(i, e.code, e.type, e.message);
            return;
        }
        if (!cleAttendue.isEmpty() && d.object().value(QLatin1String("api_key")).toString() != cleAttendue)
            envoyerErreur(i, 401, QStringLiteral("unauthenticated"), QStringLiteral("Invalid API key."));
        return;
    }
    if (texte.isEmpty()) {
        c.finRecue = true;
        if (!repondreFin)
            return;
        for (const QJsonObject& m : reponsesFin)
            envoyerJson(i, json(m));
        envoyerFini(i);
        return;
    }
    if (texte == QLatin1String("{\"type\":\"keepalive\"}")) {
        ++c.keepAlives;
        return;
    }
    anomalies << QStringLiteral("connexion %1 : trame texte inattendue %2").arg(i).arg(texte.left(80));
}

void FauxSoniox::surAudio(int i, const QByteArray& audio)
{
    if (!configurations_.contains(i))
        anomalies << QStringLiteral("connexion %1 : audio avant la configuration").arg(i);
    if (audio.size() % 2 != 0)
        anomalies << QStringLiteral("connexion %1 : trame audio de %2 octets").arg(i).arg(audio.size());
    if (mutable_(i).finRecue)
        anomalies << QStringLiteral("connexion %1 : audio après la fin").arg(i);
    avancerScript();
}

void FauxSoniox::avancerScript()
{
    for (Programme& p : programme_) {
        if (p.envoye)
            continue;
        for (int i = 0; i < nombreConnexions(); ++i) {
            const QJsonObject conf = configurations_.value(i);
            if (conf.isEmpty() || conf.value(QLatin1String("enable_speaker_diarization")).toBool() != p.diarisation)
                continue;
            if (connexion(i).audio.size() / 32 >= p.apresMs) {
                p.envoye = true;
                envoyerJson(i, json(p.message));
            }
            break;
        }
    }
}

} // namespace vd::fakes
