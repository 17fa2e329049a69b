#include "analyseurs.h"

#include <algorithm>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vd::call {

std::optional<qint64> VoixProspect::numero(std::optional<qint64> locuteur) const
{
    if (!locuteur)
        return std::nullopt;
    auto it = numeros.constFind(*locuteur);
    return it == numeros.constEnd() ? std::nullopt : std::optional<qint64>(*it);
}

qint64 VoixProspect::enregistrer(qint64 locuteur)
{
    if (auto n = numero(locuteur))
        return *n;
    const qint64 n = prochain();
    numeros.insert(locuteur, n);
    return n;
}

QList<qint64> numeroterTours(const QList<Tour>& tours, VoixProspect& voix)
{
    QList<qint64> numeros;
    numeros.reserve(tours.size());
    for (const Tour& t : tours) {
        if (auto n = voix.numero(t.locuteur)) {
            numeros.append(*n);
        } else if (t.locuteur && t.taille >= 3) {
            numeros.append(voix.enregistrer(*t.locuteur));
        } else if (!numeros.isEmpty()) {
            numeros.append(numeros.last());
        } else {
            qint64 n = 1;
            for (const Tour& autre : tours)
                if (auto connu = voix.numero(autre.locuteur)) {
                    n = *connu;
                    break;
                }
            numeros.append(n);
        }
    }
    return numeros;
}

namespace {

std::optional<qint64> lireLocuteur(const QJsonValue& v)
{
    if (v.isDouble())
        return qint64(std::llround(v.toDouble()));
    if (v.isString()) {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
    }
    return std::nullopt;
}

qint64 lireMs(const QJsonValue& v) { return v.isDouble() ? qint64(std::llround(v.toDouble())) : 0; }

bool estMarqueur(const QString& t) { return t == QLatin1String("<end>") || t == QLatin1String("<fin>"); }

using Jeton = AnalyseurSoniox::Jeton;

QString texteDe(const QList<Jeton>& jetons, qsizetype de, qsizetype a)
{
    QString t;
    for (qsizetype i = de; i < a; ++i)
        t += jetons[i].texte;
    return t.trimmed();
}

SegmentLive segmentDe(const QList<Jeton>& jetons, qsizetype de, qsizetype a, qint64 decalageMs, bool final)
{
    SegmentLive s;
    s.texte = texteDe(jetons, de, a);
    s.final = final;
    s.debutMs = decalageMs + jetons[de].debutMs;
    s.finMs = decalageMs + jetons[a - 1].finMs;
    s.finMs = std::max(s.finMs, s.debutMs);   // tokens out of order or without an end
    return s;
}

// Consecutive tokens with the same speaker: [debut, fin) ranges.
QList<std::pair<qsizetype, qsizetype>> groupes(const QList<Jeton>& jetons)
{
    QList<std::pair<qsizetype, qsizetype>> g;
    for (qsizetype i = 0; i < jetons.size(); ++i) {
        if (!g.isEmpty() && jetons[g.last().first].locuteur == jetons[i].locuteur)
            g.last().second = i + 1;
        else
            g.append({i, i + 1});
    }
    return g;
}

} // namespace

QString AnalyseurSoniox::locuteurMixte(std::optional<qint64> locuteur) const
{
    if (!locuteur || !locuteurVous || *locuteur == *locuteurVous)
        return QStringLiteral("vous");
    return QStringLiteral("prospect");
}

QList<SegmentLive> AnalyseurSoniox::vider(qint64 decalageMs)
{
    QList<SegmentLive> sortie;
    const QList<Jeton> jetons = std::exchange(enAttente, {});
    if (jetons.isEmpty())
        return sortie;
    switch (role) {
    case RoleFluxSoniox::vous: {
        SegmentLive s = segmentDe(jetons, 0, jetons.size(), decalageMs, true);
        s.locuteur = QStringLiteral("vous");
        if (!s.texte.isEmpty())
            sortie.append(s);
        break;
    }
    case RoleFluxSoniox::mixte:
        for (const auto& [de, a] : groupes(jetons)) {
            SegmentLive s = segmentDe(jetons, de, a, decalageMs, true);
            s.locuteur = locuteurMixte(jetons[de].locuteur);
            if (!s.texte.isEmpty())
                sortie.append(s);
        }
        break;
    case RoleFluxSoniox::prospect: {
        const auto g = groupes(jetons);
        QList<Tour> tours;
        for (const auto& [de, a] : g)
            tours.append({jetons[de].locuteur, int(a - de)});
        const QList<qint64> numeros = numeroterTours(tours, voix);
        for (qsizetype i = 0; i < g.size();) {
            qsizetype j = i + 1;
            while (j < g.size() && numeros[j] == numeros[i])
                ++j;
            SegmentLive s = segmentDe(jetons, g[i].first, g[j - 1].second, decalageMs, true);
            s.locuteur = QStringLiteral("prospect");
            s.interlocuteur = numeros[i];
            if (!s.texte.isEmpty())
                sortie.append(s);
            i = j;
        }
        break;
    }
    }
    return sortie;
}

std::optional<SegmentLive> AnalyseurSoniox::partiel(const QList<Jeton>& nonFinaux, qint64 decalageMs) const
{
    QList<Jeton> tous = enAttente;
    tous += nonFinaux;
    if (tous.isEmpty())
        return std::nullopt;
    SegmentLive s = segmentDe(tous, 0, tous.size(), decalageMs, false);
    if (s.texte.isEmpty())
        return std::nullopt;
    std::optional<qint64> locuteur;
    for (auto it = tous.crbegin(); it != tous.crend(); ++it)
        if (it->locuteur) {
            locuteur = it->locuteur;
            break;
        }
    switch (role) {
    case RoleFluxSoniox::vous: s.locuteur = QStringLiteral("vous"); break;
    case RoleFluxSoniox::mixte: s.locuteur = locuteurMixte(locuteur); break;
    case RoleFluxSoniox::prospect:
        s.locuteur = QStringLiteral("prospect");
        if (locuteur)
            s.interlocuteur = voix.numero(locuteur).value_or(voix.prochain());
        break;
    }
    return s;
}

AnalyseurSoniox::Resultat AnalyseurSoniox::analyser(const QByteArray& message, qint64 decalageMs)
{
    Resultat r;
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(message, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject())
        return r;
    const QJsonObject o = doc.object();
    r.estResultat = true;
    if (o.contains(QLatin1String("error_code"))) {
        Erreur e;
        e.code = int(std::llround(o.value(QLatin1String("error_code")).toDouble()));
        e.type = o.value(QLatin1String("error_type")).toString();
        e.message = o.value(QLatin1String("error_message")).toString();
        r.erreur = e;
        return r;
    }
    bool cloture = false;
    QList<Jeton> nonFinaux;
    const QJsonArray jetons = o.value(QLatin1String("tokens")).toArray();
    for (const QJsonValue& v : jetons) {
        const QJsonObject t = v.toObject();
        Jeton j;
        j.texte = t.value(QLatin1String("text")).toString();
        if (estMarqueur(j.texte)) {
            cloture = true;
            continue;
        }
        if (j.texte.isEmpty())
            continue;
        j.debutMs = lireMs(t.value(QLatin1String("start_ms")));
        j.finMs = std::max(lireMs(t.value(QLatin1String("end_ms"))), j.debutMs);   // a missing end is not before the start
        j.locuteur = lireLocuteur(t.value(QLatin1String("speaker")));
        if (t.value(QLatin1String("is_final")).toBool()) {
            if (role == RoleFluxSoniox::mixte && !locuteurVous && j.locuteur)
                locuteurVous = j.locuteur;
            enAttente.append(j);
        } else {
            nonFinaux.append(j);
        }
    }
    if (cloture) {
        const QString qui = role == RoleFluxSoniox::prospect ? QStringLiteral("prospect") : QStringLiteral("vous");
        r.segments = vider(decalageMs);
        const bool videFinal = r.segments.isEmpty();
        auto p = partiel(nonFinaux, decalageMs);
        if (p)
            r.segments.append(*p);
        else if (videFinal) {
            // An utterance that closed with no words: the speaker's partial is cleared, no segment is added.
            SegmentLive effacement;
            effacement.locuteur = qui;
            r.segments.append(effacement);
        }
    } else if (auto p = partiel(nonFinaux, decalageMs)) {
        r.segments.append(*p);
    }
    r.fini = o.value(QLatin1String("finished")).toBool();
    return r;
}

std::optional<SegmentLive> analyserDeepgram(const QByteArray& message, qint64 decalageMs, VoixProspect& voix)
{
    const QJsonDocument doc = QJsonDocument::fromJson(message);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    if (o.value(QLatin1String("type")).toString() != QLatin1String("Results"))
        return std::nullopt;
    const QJsonArray indices = o.value(QLatin1String("channel_index")).toArray();
    const qint64 canal = indices.isEmpty() ? 0 : qint64(indices.first().toDouble());
    const QJsonObject alt =
        o.value(QLatin1String("channel")).toObject().value(QLatin1String("alternatives")).toArray().first().toObject();
    const QJsonArray mots = alt.value(QLatin1String("words")).toArray();
    QString texte = alt.value(QLatin1String("transcript")).toString();
    if (texte.trimmed().isEmpty()) {
        QStringList parties;
        for (const QJsonValue& m : mots) {
            const QJsonObject w = m.toObject();
            const QString p = w.value(QLatin1String("punctuated_word")).toString();
            parties.append(p.isEmpty() ? w.value(QLatin1String("word")).toString() : p);
        }
        texte = parties.join(QLatin1Char(' '));
    }
    const double debut = o.value(QLatin1String("start")).toDouble();
    const double duree = o.value(QLatin1String("duration")).toDouble();
    SegmentLive s;
    s.texte = texte.trimmed();
    s.final = o.value(QLatin1String("is_final")).toBool();
    s.debutMs = decalageMs + std::llround(debut * 1000.0);
    s.finMs = decalageMs + std::llround((debut + duree) * 1000.0);
    s.finMs = std::max(s.finMs, s.debutMs);   // a negative or missing duration
    if (canal == 0) {
        s.locuteur = QStringLiteral("vous");
    } else {
        s.locuteur = QStringLiteral("prospect");
        QList<Tour> tours;
        for (const QJsonValue& m : mots) {
            const auto l = lireLocuteur(m.toObject().value(QLatin1String("speaker")));
            if (!tours.isEmpty() && tours.last().locuteur == l)
                ++tours.last().taille;
            else
                tours.append({l, 1});
        }
        if (!tours.isEmpty()) {
            if (s.final) {
                s.interlocuteur = numeroterTours(tours, voix).last();
            } else if (tours.last().locuteur) {
                s.interlocuteur = voix.numero(tours.last().locuteur).value_or(voix.prochain());
            }
        }
    }
    if (s.final && s.texte.isEmpty()) {
        // An empty final result only clears the speaker's partial.
        s.final = false;
        s.interlocuteur.reset();
    }
    return s;
}

} // namespace vd::call
