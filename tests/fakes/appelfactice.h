#pragma once
// A running call as the prompter sees it, driven by the test.
#include "ai/souffleur.h"

namespace vd::fakes {

struct AppelFactice : ai::AppelEnDirect {
    bool actif = true;
    QString id = QStringLiteral("a1");
    QJsonObject config{{QStringLiteral("contactId"), QStringLiteral("c1")}, {QStringLiteral("type"), QStringLiteral("decouverte")}};
    QList<model::Segment> segments;
    qint64 maintenantMs = 0;
    bool simule = false;

    bool enCours() const override { return actif; }
    QString appelId() const override { return id; }
    QJsonObject configAppel() const override { return config; }
    const QList<model::Segment>& finals() const override { return segments; }
    qint64 offsetMs() const override { return maintenantMs; }
    bool demo() const override { return simule; }

    // Appends a final segment and returns it (the caller hands it to the prompter).
    model::Segment dire(const QString& locuteur, const QString& texte, qint64 debutMs, qint64 finMs)
    {
        model::Segment s;
        s.id = QStringLiteral("sg%1").arg(segments.size() + 1);
        s.locuteur = locuteur;
        s.texte = texte;
        s.debutMs = debutMs;
        s.finMs = finMs;
        if (locuteur == QLatin1String("prospect"))
            s.interlocuteur = 1;
        segments.append(s);
        maintenantMs = std::max(maintenantMs, finMs);
        return s;
    }
};

} // namespace vd::fakes
