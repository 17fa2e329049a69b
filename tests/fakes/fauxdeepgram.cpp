#include "fauxdeepgram.h"

#include <QJsonDocument>

namespace vd::fakes {

namespace {
QByteArray json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
} // namespace

QJsonObject FauxDeepgram::resultat(int canal, const QString& texte, double debut, double duree, bool final, const QList<Mot>& mots)
{
    QJsonArray ws;
    for (const Mot& m : mots) {
        QJsonObject w{{QStringLiteral("word"), m.mot.toLower()},
                      {QStringLiteral("punctuated_word"), m.mot},
                      {QStringLiteral("start"), m.debut},
                      {QStringLiteral("end"), m.fin}};
        if (m.locuteur)
            w.insert(QStringLiteral("speaker"), *m.locuteur);
        ws.append(w);
    }
    const QJsonObject alt{{QStringLiteral("transcript"), texte}, {QStringLiteral("confidence"), 0.98}, {QStringLiteral("words"), ws}};
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("Results")},
                       {QStringLiteral("channel_index"), QJsonArray{canal, 2}},
                       {QStringLiteral("duration"), duree},
                       {QStringLiteral("start"), debut},
                       {QStringLiteral("is_final"), final},
                       {QStringLiteral("speech_final"), final},
                       {QStringLiteral("channel"), QJsonObject{{QStringLiteral("alternatives"), QJsonArray{alt}}}}};
}

QList<FauxDeepgram::Mot> FauxDeepgram::mots(const QString& texte, double debut, qint64 locuteur)
{
    QList<Mot> l;
    double t = debut;
    for (const QString& m : texte.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        l.append({m, t, t + 0.3, locuteur});
        t += 0.3;
    }
    return l;
}

void FauxDeepgram::programmer(qint64 apresMs, const QJsonObject& message) { programme_.append({apresMs, message}); }

int FauxDeepgram::canaux(int i) const
{
    for (const auto& [k, v] : connexion(i).requete)
        if (k == QLatin1String("channels"))
            return std::max(1, v.toInt());
    return 1;
}

int FauxDeepgram::statutPoignee(const Connexion& c) const
{
    if (!autorisationAttendue.isEmpty() && QString::fromUtf8(c.entetes.value("authorization")) != autorisationAttendue)
        return 401;
    return 0;
}

void FauxDeepgram::surConnexion(int i)
{
    const Connexion& c = connexion(i);
    if (c.chemin != QLatin1String("/v1/listen"))
        anomalies << QStringLiteral("connexion %1 : chemin %2").arg(i).arg(c.chemin);
}

void FauxDeepgram::surTexte(int i, const QString& texte)
{
    Connexion& c = mutable_(i);
    if (texte == QLatin1String("{\"type\":\"KeepAlive\"}")) {
        ++c.keepAlives;
        return;
    }
    if (texte == QLatin1String("{\"type\":\"CloseStream\"}")) {
        c.finRecue = true;
        if (!repondreFin)
            return;
        for (const QJsonObject& m : reponsesFin)
            envoyerJson(i, json(m));
        envoyerJson(i, json(QJsonObject{{QStringLiteral("type"), QStringLiteral("Metadata")}}));
        fermer(i);
        return;
    }
    anomalies << QStringLiteral("connexion %1 : trame texte inattendue %2").arg(i).arg(texte.left(80));
}

void FauxDeepgram::surAudio(int i, const QByteArray& audio)
{
    if (audio.size() % (2 * canaux(i)) != 0)
        anomalies << QStringLiteral("connexion %1 : trame audio de %2 octets").arg(i).arg(audio.size());
    if (connexion(i).finRecue)
        anomalies << QStringLiteral("connexion %1 : audio après la fin").arg(i);
    for (Programme& p : programme_) {
        if (p.envoye || connexion(0).audio.size() / (32 * canaux(0)) < p.apresMs)
            continue;
        p.envoye = true;
        envoyerJson(0, json(p.message));
    }
}

} // namespace vd::fakes
