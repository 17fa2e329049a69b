#include "typessession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

namespace vd::call {

namespace lire = model::lire;

namespace {

constexpr qint64 msParMot = 380;
constexpr qint64 pauseEntreToursMs = 700;

template<typename T>
QJsonValue enJson(const T& r)
{
    QByteArray b;
    model::EcrivainJson e(b);
    model::ecrire(e, r);
    const QJsonDocument d = QJsonDocument::fromJson(b);
    return d.isObject() ? QJsonValue(d.object()) : QJsonValue(d.array());
}

int compterMots(const QString& t) { return int(t.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size()); }

} // namespace

QString nomEtat(EtatSession e)
{
    switch (e) {
    case EtatSession::inactif: return QStringLiteral("inactif");
    case EtatSession::connexion: return QStringLiteral("connexion");
    case EtatSession::enCours: return QStringLiteral("enCours");
    case EtatSession::pause: return QStringLiteral("pause");
    case EtatSession::termine: return QStringLiteral("termine");
    }
    return {};
}

std::optional<ResultatRecap> ResultatRecap::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ResultatRecap r;
    r.points = lire::textes(o.value(QLatin1String("points")));
    r.pointsOuverts = lire::textes(o.value(QLatin1String("pointsOuverts")));
    r.prochaineEtape = lire::texte(o.value(QLatin1String("prochaineEtape")), QString());
    for (const QJsonValue& q : o.value(QLatin1String("qualification")).toArray())
        r.qualification.append(model::JSONValeur(q));
    return r;
}

ScenarioDemo ScenarioDemo::prolonge(qint64 dureeMs) const
{
    ScenarioDemo r = *this;
    if (tours.isEmpty())
        return r;
    qint64 debut = tours.first().debutMs, fin = 0;
    for (const TourDemo& t : tours) {
        debut = std::min(debut, t.debutMs);
        fin = std::max(fin, t.finMs);
    }
    // Each round starts one turn pause after the previous one ends, at least a second later.
    const qint64 periode = std::max<qint64>(fin - debut + pauseEntreToursMs, 1000);
    for (qint64 decalage = periode; fin < dureeMs; decalage += periode) {
        for (const TourDemo& t : tours) {
            TourDemo x = t;
            x.debutMs += decalage;
            x.finMs += decalage;
            r.tours.append(x);
        }
        fin += periode;
    }
    return r;
}

std::optional<ScenarioDemo> ScenarioDemo::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ScenarioDemo s;
    s.id = lire::texte(o.value(QLatin1String("id")), QString());
    s.contactId = lire::texteOpt(o.value(QLatin1String("contactId")));
    s.type = lire::texte(o.value(QLatin1String("type")), s.type);
    s.objectif = lire::texte(o.value(QLatin1String("objectif")), QString());
    s.methode = lire::texte(o.value(QLatin1String("methode")), s.methode);
    s.langue = lire::texte(o.value(QLatin1String("langue")), s.langue);
    qint64 curseur = 0;
    for (const QJsonValue& x : o.value(QLatin1String("tours")).toArray()) {
        if (!x.isObject())
            continue;
        const QJsonObject t = x.toObject();
        TourDemo tour;
        tour.texte = lire::texte(t.value(QLatin1String("texte")), QString()).trimmed();
        if (tour.texte.isEmpty())
            continue;
        const QString qui = lire::texte(t.value(QLatin1String("locuteur")), QString());
        tour.locuteur = (qui == QLatin1String("vous") || qui == QLatin1String("commercial")) ? QStringLiteral("vous")
                                                                                               : QStringLiteral("prospect");
        if (tour.locuteur == QLatin1String("prospect"))
            if (auto i = lire::entier(t.value(QLatin1String("interlocuteur"))); i && *i >= 1)
                tour.interlocuteur = *i;
        const qint64 duree = std::max<qint64>(compterMots(tour.texte), 1) * msParMot;
        auto debut = lire::entier(t.value(QLatin1String("debutMs")));
        if (!debut)
            debut = lire::entier(t.value(QLatin1String("tMs")));
        auto fin = lire::entier(t.value(QLatin1String("finMs")));
        if (!fin)
            if (auto d = lire::entier(t.value(QLatin1String("dureeMs"))); d && debut)
                fin = *debut + std::max<qint64>(*d, 0);
        tour.debutMs = debut ? std::max<qint64>(*debut, 0) : curseur + (s.tours.isEmpty() ? 0 : pauseEntreToursMs);
        tour.finMs = fin ? std::max(*fin, tour.debutMs) : tour.debutMs + duree;
        curseur = std::max(curseur, tour.finMs);
        s.tours.append(tour);
    }
    if (s.tours.isEmpty())
        return std::nullopt;
    return s;
}

QJsonObject versJson(const SyntheseFin& s)
{
    QJsonObject o{{QStringLiteral("appelId"), s.appelId}, {QStringLiteral("enCours"), s.enCours}};
    if (s.recap) {
        QJsonArray q;
        for (const auto& x : s.recap->qualification)
            q.append(x.qt());
        o.insert(QStringLiteral("recap"), QJsonObject{{QStringLiteral("points"), QJsonArray::fromStringList(s.recap->points)},
                                                      {QStringLiteral("pointsOuverts"), QJsonArray::fromStringList(s.recap->pointsOuverts)},
                                                      {QStringLiteral("prochaineEtape"), s.recap->prochaineEtape},
                                                      {QStringLiteral("qualification"), q}});
    }
    if (s.metriques)
        o.insert(QStringLiteral("metriques"), enJson(*s.metriques));
    if (s.erreur)
        o.insert(QStringLiteral("erreur"), *s.erreur);
    QJsonArray objections;
    for (const auto& d : s.objections)
        objections.append(enJson(d));
    o.insert(QStringLiteral("objections"), objections);
    return o;
}

QJsonObject versJson(const CoupureAppel& c)
{
    QJsonObject o{{QStringLiteral("type"), c.type}, {QStringLiteral("message"), c.message}};
    if (c.appelId)
        o.insert(QStringLiteral("appelId"), *c.appelId);
    return o;
}

} // namespace vd::call
