#include "pilotageequipe.h"

#include "ai/clientia.h"
#include "ai/moteur.h"
#include "cloud/clientsupabase.h"
#include "cloud/compte.h"
#include "model/texte.h"
#include "platform/preferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QLoggingCategory>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcPilotage, "vd.team.pilotage")

namespace vd::team {

namespace {

const QString cleRetard = QStringLiteral("retardMinutes");
const QString cleSuivi = QStringLiteral("suiviFrameworkMin");
const QString cleScore = QStringLiteral("scoreBas");

QString nombreCourt(double v)
{
    if (std::abs(v - std::round(v)) < 1e-9)
        return QString::number(qint64(std::round(v)));
    return QString::number(v, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}

double borne(double v, double max) { return std::clamp(std::isfinite(v) ? v : 0.0, 0.0, max); }

QString texteDuree(qint64 secondes)
{
    if (secondes < 60)
        return QString::number(std::max<qint64>(secondes, 0)) + QStringLiteral(" s");
    return QString::number(qint64(std::llround(double(secondes) / 60.0))) + QStringLiteral(" min");
}

QString texteJson(const QJsonValue& v)
{
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
}

QJsonValue lireJson(const QVariant& v)
{
    const QJsonDocument d = QJsonDocument::fromJson(v.toString().toUtf8());
    if (d.isArray())
        return d.array();
    if (d.isObject())
        return d.object();
    return {};
}

QString textePlie(const QString& t)
{
    return t.trimmed().toLower();
}

std::optional<QDateTime> debutAppel(const model::Appel& a)
{
    if (auto d = model::lireHorodatage(a.debut))
        return d;
    return model::lireHorodatage(a.creeLe);
}

QTimeZone fuseauEquipe()
{
    const QTimeZone paris(QByteArrayLiteral("Europe/Paris"));
    return paris.isValid() ? paris : QTimeZone::systemTimeZone();
}

QDate lundiDe(const QDateTime& t)
{
    const QDate j = t.toTimeZone(fuseauEquipe()).date();
    return j.addDays(1 - j.dayOfWeek());
}

const QList<QPair<QString, QString>>& dimensionsConnues()
{
    static const QList<QPair<QString, QString>> l = {
        {QStringLiteral("decouverte"), QStringLiteral("Découverte")}, {QStringLiteral("engagement"), QStringLiteral("Engagement")},
        {QStringLiteral("valeur"), QStringLiteral("Valeur")},         {QStringLiteral("ecoute"), QStringLiteral("Écoute")},
        {QStringLiteral("objections"), QStringLiteral("Objections")}, {QStringLiteral("closing"), QStringLiteral("Closing")}};
    return l;
}

QString libelleDimension(const QString& id)
{
    for (const auto& [cle, libelle] : dimensionsConnues())
        if (cle == id)
            return libelle;
    return id.isEmpty() ? id : id.left(1).toUpper() + id.mid(1);
}

std::optional<int> moyenne(const QList<double>& v)
{
    if (v.isEmpty())
        return std::nullopt;
    double s = 0;
    for (double x : v)
        s += x;
    return int(std::lround(s / double(v.size())));
}

int objectionsSansReponse(const model::Appel& a)
{
    if (!a.analyse)
        return 0;
    return int(std::count_if(a.analyse->objections.begin(), a.analyse->objections.end(),
                             [](const model::ObjectionAnalyse& o) { return textePlie(o.traitement) == QLatin1String("non"); }));
}

bool suiteDatee(const model::Appel& a)
{
    if (a.prochaineEtape && !a.prochaineEtape->echeance.trimmed().isEmpty())
        return true;
    if (a.analyse)
        for (const model::ProchaineEtape& p : a.analyse->prochainesEtapes)
            if (!p.echeance.trimmed().isEmpty())
                return true;
    return false;
}

QString issueProposee(const model::Appel& a)
{
    return a.analyse && a.analyse->issue ? textePlie(a.analyse->issue->proposee) : QString();
}

// A day ("yyyy-MM-dd") or a time stamp, as the team's calendar day.
std::optional<QDate> jourDe(const QString& t)
{
    if (t.size() == 10)
        if (const QDate d = QDate::fromString(t, Qt::ISODate); d.isValid())
            return d;
    if (const auto h = model::lireHorodatage(t))
        return h->toTimeZone(fuseauEquipe()).date();
    return std::nullopt;
}

void cumulerRelances(StatsRelances& r, const QJsonObject& s, QDate premier, QDate aujourdhui)
{
    const QString statut = s.value(QLatin1String("statut")).toString();
    if (statut.isEmpty() || statut == QLatin1String("proposee"))
        return;
    const bool enMarche = statut == QLatin1String("active") || statut == QLatin1String("sommeil");
    auto dansPeriode = [&](const QJsonValue& v) {
        const auto d = jourDe(v.toString());
        return d && *d >= premier && *d <= aujourdhui;
    };
    bool compte = dansPeriode(s.value(QLatin1String("activeLe")));
    for (const QJsonValue& v : s.value(QLatin1String("etapes")).toArray()) {
        const QJsonObject e = v.toObject();
        if (e.value(QLatin1String("statut")).toString() == QLatin1String("envoyee")) {
            if (dansPeriode(e.value(QLatin1String("envoyeeLe")))) {
                ++r.envoyees;
                compte = true;
            }
        } else if (const auto d = jourDe(e.value(QLatin1String("date")).toString()); enMarche && d && *d < aujourdhui) {
            ++r.enRetard;
        }
    }
    if (!compte)
        return;
    ++r.sequences;
    r.reponses += s.value(QLatin1String("reponse")).isObject() ? 1 : 0;
}

void ajouterRelances(StatsRelances& total, const StatsRelances& r)
{
    total.envoyees += r.envoyees;
    total.enRetard += r.enRetard;
    total.sequences += r.sequences;
    total.reponses += r.reponses;
}

void calculerTaux(StatsRelances& r)
{
    r.tauxReponse = r.sequences > 0 ? std::optional(int(std::lround(100.0 * r.reponses / r.sequences))) : std::nullopt;
}

} // namespace

QString texteRelances(const StatsRelances& r)
{
    return QStringLiteral("%1 · %2 · %3")
        .arg(r.envoyees)
        .arg(r.enRetard)
        .arg(r.tauxReponse ? QString::number(*r.tauxReponse) + QStringLiteral("\u00A0%") : QStringLiteral("—"));
}

// --- Thresholds ------------------------------------------------------------------

std::optional<double> lireNombreSouple(const QJsonValue& v)
{
    if (v.isDouble())
        return std::isfinite(v.toDouble()) ? std::optional(v.toDouble()) : std::nullopt;
    if (!v.isString())
        return std::nullopt;
    QString t = v.toString();
    t.remove(QRegularExpression(QStringLiteral("[\\s\\x{00A0}\\x{202F}]")));
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok && std::isfinite(d) ? std::optional(d) : std::nullopt;
}

SeuilsEquipe SeuilsEquipe::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    SeuilsEquipe s;
    s.retardMinutes = lireNombreSouple(o.value(cleRetard)).value_or(retardDefaut);
    s.suiviFrameworkMin = lireNombreSouple(o.value(cleSuivi)).value_or(suiviDefaut);
    s.scoreBas = lireNombreSouple(o.value(cleScore)).value_or(scoreDefaut);
    s.modifiable = o.value(QStringLiteral("modifiable")).toBool(false);
    const QString maj = o.value(QStringLiteral("majLe")).toString().trimmed();
    if (!maj.isEmpty())
        s.majLe = maj;
    return s.bornes();
}

SeuilsEquipe SeuilsEquipe::bornes() const
{
    SeuilsEquipe s = *this;
    s.retardMinutes = borne(retardMinutes, 60);
    s.suiviFrameworkMin = borne(suiviFrameworkMin, 100);
    s.scoreBas = borne(scoreBas, 100);
    return s;
}

QJsonObject SeuilsEquipe::versJson() const
{
    QJsonObject o{{cleRetard, retardMinutes}, {cleSuivi, suiviFrameworkMin}, {cleScore, scoreBas}, {QStringLiteral("modifiable"), modifiable}};
    o.insert(QStringLiteral("majLe"), majLe ? QJsonValue(*majLe) : QJsonValue());
    return o;
}

QString resumeSeuils(const SeuilsEquipe& s)
{
    return QStringLiteral("Alertes : retard au-delà de ") + nombreCourt(s.retardMinutes) + QStringLiteral(" min, Framework sous ") +
           nombreCourt(s.suiviFrameworkMin) + QStringLiteral(" %, score sous ") + nombreCourt(s.scoreBas);
}

// --- Reasons -----------------------------------------------------------------------

QString valeurBrute(RaisonAlerte r)
{
    switch (r) {
    case RaisonAlerte::scoreBas: return QStringLiteral("scoreBas");
    case RaisonAlerte::suiviFramework: return QStringLiteral("suiviFramework");
    case RaisonAlerte::objectionNonTraitee: return QStringLiteral("objectionNonTraitee");
    case RaisonAlerte::affaireChaude: return QStringLiteral("affaireChaude");
    case RaisonAlerte::commercialEnRetard: return QStringLiteral("commercialEnRetard");
    case RaisonAlerte::prospectEnRetard: return QStringLiteral("prospectEnRetard");
    case RaisonAlerte::prospectAbsent: return QStringLiteral("prospectAbsent");
    }
    return {};
}

std::optional<RaisonAlerte> raisonDepuis(const QString& brute)
{
    for (RaisonAlerte r : {RaisonAlerte::scoreBas, RaisonAlerte::suiviFramework, RaisonAlerte::objectionNonTraitee, RaisonAlerte::affaireChaude,
                           RaisonAlerte::commercialEnRetard, RaisonAlerte::prospectEnRetard, RaisonAlerte::prospectAbsent})
        if (valeurBrute(r) == brute)
            return r;
    return std::nullopt;
}

QJsonObject AlerteAppel::versJson() const
{
    QJsonArray r;
    for (RaisonAlerte x : raisons)
        r.append(valeurBrute(x));
    return {{QStringLiteral("appelId"), appelId}, {QStringLiteral("compteId"), compteId}, {QStringLiteral("raisons"), r},
            {QStringLiteral("le"), le}, {QStringLiteral("vue"), vue}};
}

std::optional<AlerteAppel> AlerteAppel::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    AlerteAppel a;
    a.appelId = o.value(QStringLiteral("appelId")).toString();
    if (a.appelId.isEmpty())
        return std::nullopt;
    a.compteId = o.value(QStringLiteral("compteId")).toString();
    for (const QJsonValue& x : o.value(QStringLiteral("raisons")).toArray())
        if (auto r = raisonDepuis(x.toString()))
            a.raisons.append(*r);
    a.le = o.value(QStringLiteral("le")).toString();
    a.vue = o.value(QStringLiteral("vue")).toBool(false);
    return a;
}

// --- Manager synthesis -------------------------------------------------------------

bool SyntheseManager::vide() const
{
    return aCoacher.isEmpty() && risque.isEmpty() && prochaineEtape.isEmpty() && actionManager.isEmpty() && commentaireFramework.isEmpty();
}

QJsonObject SyntheseManager::versJson() const
{
    QJsonArray points;
    for (const Point& p : aCoacher)
        points.append(QJsonObject{{QStringLiteral("point"), p.point}, {QStringLiteral("tMs"), double(p.tMs)}, {QStringLiteral("citation"), p.citation}});
    return {{QStringLiteral("aCoacher"), points},
            {QStringLiteral("risque"), risque},
            {QStringLiteral("raisonRisque"), raisonRisque},
            {QStringLiteral("prochaineEtape"), prochaineEtape},
            {QStringLiteral("framework"), framework},
            {QStringLiteral("commentaireFramework"), commentaireFramework},
            {QStringLiteral("actionManager"), actionManager}};
}

std::optional<SyntheseManager> SyntheseManager::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    auto texte = [&o](const char* cle) { return model::neutraliser(model::lire::texte(o.value(QLatin1String(cle)), QString()).trimmed()); };
    SyntheseManager s;
    for (const QJsonValue& x : o.value(QStringLiteral("aCoacher")).toArray()) {
        const QJsonObject p = x.toObject();
        Point pt{model::neutraliser(model::lire::texte(p.value(QStringLiteral("point")), QString()).trimmed()),
                 std::max<qint64>(0, model::lire::entier(p.value(QStringLiteral("tMs")), 0)),
                 model::neutraliser(model::lire::texte(p.value(QStringLiteral("citation")), QString()).trimmed())};
        if (!pt.point.isEmpty())
            s.aCoacher.append(pt);
    }
    s.risque = texte("risque");
    s.raisonRisque = texte("raisonRisque");
    s.prochaineEtape = texte("prochaineEtape");
    s.framework = texte("framework");
    s.commentaireFramework = texte("commentaireFramework");
    s.actionManager = texte("actionManager");
    if (s.vide())
        return std::nullopt;
    return s;
}

// --- Call facts --------------------------------------------------------------------

std::optional<SuiviFrameworkAppel> suiviFramework(const model::Appel& a)
{
    if (!a.analyse || a.analyse->methode.etapes.isEmpty())
        return std::nullopt;
    SuiviFrameworkAppel s;
    double somme = 0, poids = 0;
    for (const model::EtapeMethode& e : a.analyse->methode.etapes) {
        EtapeSuivi x;
        x.id = e.id;
        x.nom = e.nom;
        x.criteresTotal = int(e.criteres.size());
        x.criteresRemplis = int(std::count_if(e.criteres.begin(), e.criteres.end(), [](const model::CritereEtape& c) { return c.rempli; }));
        x.questionsTotal = int(e.questions.size());
        x.questionsPosees = int(std::count_if(e.questions.begin(), e.questions.end(), [](const model::QuestionEtapeAnalyse& q) { return q.posee; }));
        const QString statut = textePlie(e.statut);
        x.couverte = e.couverte.value_or(statut == QLatin1String("fait") || statut == QLatin1String("couverte") || statut == QLatin1String("ok"));
        const int total = x.criteresTotal + x.questionsTotal;
        x.ratio = total > 0 ? double(x.criteresRemplis + x.questionsPosees) / double(total) : (x.couverte ? 1.0 : 0.0);
        if (total == 0 && statut == QLatin1String("partiel"))
            x.ratio = 0.5;
        x.statut = x.ratio >= 0.999 ? EtapeSuivi::Statut::fait : (x.ratio > 0 || x.couverte) ? EtapeSuivi::Statut::partiel : EtapeSuivi::Statut::saute;
        const double w = e.poids && *e.poids > 0 ? *e.poids : 1.0;
        somme += x.ratio * w;
        poids += w;
        s.couvertes += x.couverte ? 1 : 0;
        s.questionsPosees += x.questionsPosees;
        s.questionsTotal += x.questionsTotal;
        s.criteresRemplis += x.criteresRemplis;
        s.criteresTotal += x.criteresTotal;
        s.etapes.append(x);
    }
    s.pourcentage = poids > 0 ? int(std::lround(100.0 * somme / poids)) : 0;
    if (a.analyse->qualification) {
        s.qualificationTotal = int(a.analyse->qualification->size());
        s.qualificationObtenus = int(std::count_if(a.analyse->qualification->begin(), a.analyse->qualification->end(),
                                                   [](const model::ItemEntendu& i) { return !i.valeur.trimmed().isEmpty(); }));
    }
    return s;
}

std::optional<RetardsAppel> retardsAppel(const model::Appel& a)
{
    // Only a call started for a meeting has a start to be late against.
    if (!a.ponctualite)
        return std::nullopt;
    const model::PonctualiteAppel& p = *a.ponctualite;
    RetardsAppel r;
    r.commercialSec = p.retardCommercialSec;
    std::optional<qint64> premiere = p.premiereParoleProspectMs;
    if (!premiere)
        for (const model::Segment& s : a.transcript)
            if (s.locuteur == QLatin1String("prospect") && !s.texte.trimmed().isEmpty()) {
                premiere = s.debutMs;
                break;
            }
    r.prospectAbsent = p.prospectAbsent || (!premiere && !p.prospectInconnu.value_or(false));
    if (premiere && !r.prospectAbsent)
        r.prospectSec = std::max<qint64>(0, *premiere / 1000);
    return r;
}

bool analyseComplete(const model::Appel& a)
{
    if (!a.analyse || a.statut != QLatin1String("analyse"))
        return false;
    const model::Analyse& an = *a.analyse;
    return !(an.resume.trimmed().isEmpty() && an.verdict.trimmed().isEmpty() && an.dimensions.isEmpty() && an.score == 0);
}

double probabiliteAffaire(const model::Appel& a)
{
    if (!a.analyse)
        return 0;
    const double p = a.analyse->crm.probabilite;
    return p > 0 && p < 1 ? p * 100 : p;
}

bool affaireChaude(const model::Appel& a) { return probabiliteAffaire(a) >= 70 || issueProposee(a) == QLatin1String("gagne"); }

QList<RaisonAlerte> raisonsAlerte(const model::Appel& a, const SeuilsEquipe& s)
{
    QList<RaisonAlerte> r;
    const qint64 seuilSec = qint64(std::llround(std::max(0.0, s.retardMinutes) * 60.0));
    const std::optional<RetardsAppel> retards = retardsAppel(a);
    if (retards && retards->prospectAbsent)
        r << RaisonAlerte::prospectAbsent;
    if (analyseComplete(a)) {
        const model::Analyse& an = *a.analyse;
        if (s.scoreBas > double(an.score))
            r << RaisonAlerte::scoreBas;
        if (const auto suivi = suiviFramework(a); suivi && s.suiviFrameworkMin > double(suivi->pourcentage))
            r << RaisonAlerte::suiviFramework;
        if (objectionsSansReponse(a) > 0)
            r << RaisonAlerte::objectionNonTraitee;
        if (affaireChaude(a))
            r << RaisonAlerte::affaireChaude;
    }
    if (retards && retards->commercialSec && *retards->commercialSec > seuilSec)
        r << RaisonAlerte::commercialEnRetard;
    if (retards && retards->prospectSec && *retards->prospectSec > seuilSec)
        r << RaisonAlerte::prospectEnRetard;
    return r;
}

QString libelleRaison(RaisonAlerte r, const model::Appel& a, const SeuilsEquipe& s)
{
    switch (r) {
    case RaisonAlerte::scoreBas:
        return QStringLiteral("Sous le seuil d'alerte de l'équipe (") + nombreCourt(s.scoreBas) + QStringLiteral(")");
    case RaisonAlerte::suiviFramework: {
        const auto suivi = suiviFramework(a);
        return QStringLiteral("Framework suivi à ") + QString::number(suivi ? suivi->pourcentage : 0) + QStringLiteral(" %");
    }
    case RaisonAlerte::objectionNonTraitee: {
        const int n = objectionsSansReponse(a);
        return n <= 1 ? QStringLiteral("objection sans réponse") : QString::number(n) + QStringLiteral(" objections sans réponse");
    }
    case RaisonAlerte::affaireChaude:
        return QStringLiteral("affaire chaude (") + nombreCourt(std::round(probabiliteAffaire(a))) + QStringLiteral(" %)");
    case RaisonAlerte::commercialEnRetard: {
        const auto x = retardsAppel(a);
        return QStringLiteral("commercial en retard de ") + texteDuree(x && x->commercialSec ? *x->commercialSec : 0);
    }
    case RaisonAlerte::prospectEnRetard: {
        const auto x = retardsAppel(a);
        return QStringLiteral("prospect en retard de ") + texteDuree(x && x->prospectSec ? *x->prospectSec : 0);
    }
    case RaisonAlerte::prospectAbsent: return QStringLiteral("prospect absent");
    }
    return {};
}

// --- Period table ------------------------------------------------------------------

QString nomMembreEquipe(const cloud::Compte* compte, const QString& compteId)
{
    if (compteId == QLatin1String("demo-lea"))
        return QStringLiteral("Léa Martin");
    if (compteId == QLatin1String("demo-hugo"))
        return QStringLiteral("Hugo Bernard");
    if (!compte || !compte->equipe())
        return {};
    for (const QJsonValue& v : compte->equipe()->value(QStringLiteral("membres")).toArray())
        if (v[QStringLiteral("id")].toString() == compteId) {
            const QString nom = v[QStringLiteral("nom")].toString().trimmed();
            return nom.isEmpty() ? v[QStringLiteral("email")].toString() : nom;
        }
    return {};
}

TableauEquipe calculerTableau(const QList<model::Appel>& appels, const QList<MembreEquipe>& membres,
                              const QList<model::Contact>& contacts, int periodeJours, const QDateTime& maintenant)
{
    TableauEquipe t;
    t.periodeJours = std::max(1, periodeJours);
    const QDateTime debut = maintenant.addDays(-t.periodeJours);
    const QDateTime debutPrecedent = debut.addDays(-t.periodeJours);
    const SeuilsEquipe defaut;
    QHash<QString, const model::Contact*> parId;
    for (const model::Contact& k : contacts)
        parId.insert(k.id, &k);

    struct Cumul {
        QList<double> scores, scoresPrecedents, suivis, qualifs;
        QHash<QString, QList<double>> dimensions;
        QSet<QString> chaudes, gagnees, perdues;
    };
    QHash<QString, Cumul> cumuls;
    QHash<QString, int> indexLigne;
    for (const MembreEquipe& m : membres) {
        LigneMembreEquipe l;
        l.id = m.id;
        l.nom = m.nom;
        l.role = m.role;
        indexLigne.insert(m.id, int(t.lignes.size()));
        t.lignes.append(l);
    }
    // Weeks of the period, oldest first.
    QMap<QDate, SemaineEquipe> semaines;
    for (QDate l = lundiDe(debut); l <= lundiDe(maintenant); l = l.addDays(7))
        semaines.insert(l, SemaineEquipe{l, 0, 0, 0, 0, std::nullopt});
    QMap<QDate, QList<double>> scoresSemaine;
    QHash<QString, int> pertes;
    QHash<QString, AffaireChaude> chaudes;

    // Follow-ups count by when they happened, whatever the age of their call.
    QHash<QString, StatsRelances> relances;
    const QDate premierJour = debut.toTimeZone(fuseauEquipe()).date();
    const QDate aujourdhui = maintenant.toTimeZone(fuseauEquipe()).date();
    const QString cleSuivi = QStringLiteral("suiviRelance");

    for (const model::Appel& a : appels) {
        if (!a.compteId || a.statut == QLatin1String("en_cours"))
            continue;
        if (a.analyse)
            if (const QJsonValue suivi = a.analyse->autres.value(cleSuivi); suivi.isObject())
                cumulerRelances(relances[*a.compteId], suivi.toObject(), premierJour, aujourdhui);
        const auto quand = debutAppel(a);
        if (!quand || *quand > maintenant || *quand < debutPrecedent)
            continue;
        const QString membre = *a.compteId;
        if (!indexLigne.contains(membre)) {
            indexLigne.insert(membre, int(t.lignes.size()));
            LigneMembreEquipe l;
            l.id = membre;
            l.nom = QStringLiteral("Membre de l'équipe");
            t.lignes.append(l);
        }
        Cumul& c = cumuls[membre];
        const bool complete = analyseComplete(a);
        if (*quand < debut) {
            if (complete)
                c.scoresPrecedents << double(a.analyse->score);
            continue;
        }
        LigneMembreEquipe& l = t.lignes[indexLigne.value(membre)];
        ++l.appels;
        l.dureeSec += a.duree;
        const auto retards = retardsAppel(a);
        const qint64 seuil = qint64(defaut.retardMinutes * 60);
        const bool retardC = retards && retards->commercialSec && *retards->commercialSec > seuil;
        const bool retardP = retards && retards->prospectSec && *retards->prospectSec > seuil;
        const bool absent = retards && retards->prospectAbsent;
        l.retardsCommercial += retardC ? 1 : 0;
        l.retardsProspect += retardP ? 1 : 0;
        l.absencesProspect += absent ? 1 : 0;
        l.suitesDatees += suiteDatee(a) ? 1 : 0;
        const QDate lundi = lundiDe(*quand);
        SemaineEquipe& s = semaines[lundi];
        s.lundi = lundi;
        ++s.appels;
        s.dureeSec += a.duree;
        s.retards += (retardC || retardP) ? 1 : 0;
        s.absences += absent ? 1 : 0;
        const model::Contact* k = a.contactId ? parId.value(*a.contactId) : nullptr;
        if (complete) {
            c.scores << double(a.analyse->score);
            scoresSemaine[lundi] << double(a.analyse->score);
            if (const auto suivi = suiviFramework(a)) {
                c.suivis << double(suivi->pourcentage);
                if (suivi->qualificationTotal > 0)
                    c.qualifs << 100.0 * suivi->qualificationObtenus / suivi->qualificationTotal;
            } else if (a.analyse->qualification && !a.analyse->qualification->isEmpty()) {
                const auto& q = *a.analyse->qualification;
                c.qualifs << 100.0 * double(std::count_if(q.begin(), q.end(), [](const model::ItemEntendu& i) { return !i.valeur.trimmed().isEmpty(); })) / double(q.size());
            }
            for (auto it = a.analyse->dimensions.cbegin(); it != a.analyse->dimensions.cend(); ++it)
                c.dimensions[it.key()] << double(it->score);
            const QString cle = a.contactId.value_or(a.id);
            if (affaireChaude(a)) {
                c.chaudes.insert(cle);
                AffaireChaude h;
                h.contactId = a.contactId.value_or(QString());
                h.nom = k ? k->nomComplet() : QStringLiteral("Contact");
                h.societe = k ? k->societe : QString();
                h.valeur = k ? k->valeur : 0;
                h.probabilite = probabiliteAffaire(a);
                h.compteId = membre;
                // The latest call of a contact decides.
                if (!chaudes.contains(cle) || chaudes.value(cle).probabilite <= h.probabilite)
                    chaudes.insert(cle, h);
            }
            const QString issue = issueProposee(a);
            if (issue == QLatin1String("gagne") || (k && k->etape == QLatin1String("gagne")))
                c.gagnees.insert(cle);
            if (issue == QLatin1String("perdu") || (k && k->etape == QLatin1String("perdu"))) {
                if (!c.perdues.contains(cle)) {
                    QString raison = k && k->raisonPerte ? k->raisonPerte->trimmed() : QString();
                    if (raison.isEmpty() && a.analyse->issue)
                        raison = a.analyse->issue->raison.trimmed();
                    ++pertes[raison.isEmpty() ? QStringLiteral("Sans raison donnée") : raison];
                }
                c.perdues.insert(cle);
            }
        }
    }

    QList<double> tousScores, tousPrecedents, tousSuivis, tousQualifs;
    for (LigneMembreEquipe& l : t.lignes) {
        const Cumul c = cumuls.value(l.id);
        l.scoreMoyen = moyenne(c.scores);
        l.scorePrecedent = moyenne(c.scoresPrecedents);
        l.suiviMoyen = moyenne(c.suivis);
        l.qualification = moyenne(c.qualifs);
        l.affairesChaudes = int(c.chaudes.size());
        l.gagnees = int(c.gagnees.size());
        l.perdues = int(c.perdues.size());
        l.relances = relances.value(l.id);
        calculerTaux(l.relances);
        ajouterRelances(t.equipe.relances, l.relances);
        for (auto it = c.dimensions.cbegin(); it != c.dimensions.cend(); ++it) {
            const int m = moyenne(it.value()).value_or(100);
            if (!l.competenceFaible || m < l.competenceFaible->score)
                l.competenceFaible = CompetenceFaible{it.key(), libelleDimension(it.key()), m};
        }
        tousScores << c.scores;
        tousPrecedents << c.scoresPrecedents;
        tousSuivis << c.suivis;
        tousQualifs << c.qualifs;
        t.equipe.appels += l.appels;
        t.equipe.dureeSec += l.dureeSec;
        t.equipe.retardsCommercial += l.retardsCommercial;
        t.equipe.retardsProspect += l.retardsProspect;
        t.equipe.absencesProspect += l.absencesProspect;
        t.equipe.suitesDatees += l.suitesDatees;
        t.equipe.affairesChaudes += l.affairesChaudes;
        t.equipe.gagnees += l.gagnees;
        t.equipe.perdues += l.perdues;
    }
    t.equipe.id = QStringLiteral("equipe");
    t.equipe.nom = QStringLiteral("Équipe");
    t.equipe.scoreMoyen = moyenne(tousScores);
    t.equipe.scorePrecedent = moyenne(tousPrecedents);
    t.equipe.suiviMoyen = moyenne(tousSuivis);
    t.equipe.qualification = moyenne(tousQualifs);
    calculerTaux(t.equipe.relances);
    for (auto it = semaines.begin(); it != semaines.end(); ++it) {
        it->scoreMoyen = moyenne(scoresSemaine.value(it.key()));
        t.semaines.append(*it);
    }
    for (auto it = pertes.cbegin(); it != pertes.cend(); ++it)
        t.raisonsPerte.append({it.key(), it.value()});
    std::sort(t.raisonsPerte.begin(), t.raisonsPerte.end(),
              [](const RaisonPerte& a, const RaisonPerte& b) { return a.nombre != b.nombre ? a.nombre > b.nombre : a.raison < b.raison; });
    t.affairesChaudes = chaudes.values();
    std::sort(t.affairesChaudes.begin(), t.affairesChaudes.end(), [](const AffaireChaude& a, const AffaireChaude& b) {
        return a.valeur != b.valeur ? a.valeur > b.valeur : a.probabilite > b.probabilite;
    });
    return t;
}

// --- PilotageEquipe ----------------------------------------------------------------

bool PilotageEquipe::refusDefinitif(const QString& indice)
{
    return indice == QLatin1String("synthese_invalide") || indice == QLatin1String("appel_introuvable") ||
           indice == QLatin1String("action_interdite");
}

PilotageEquipe::PilotageEquipe(Collaborateurs c, QObject* parent) : QObject(parent), c_(std::move(c))
{
    if (!c_.defaults)
        c_.defaults = &platform::Preferences::instance();
}

PilotageEquipe::~PilotageEquipe()
{
    for (const auto& d : std::as_const(demandes_))
        if (d)
            d->annuler();
}

QDateTime PilotageEquipe::maintenant() const { return c_.horloge ? c_.horloge() : QDateTime::currentDateTimeUtc(); }

cloud::ClientSupabase* PilotageEquipe::client() const
{
    cloud::ClientSupabase* cl = c_.client ? c_.client() : nullptr;
    return cl && cl->connecte() ? cl : nullptr;
}

int PilotageEquipe::alertesNonVues() const
{
    return int(std::count_if(alertes_.begin(), alertes_.end(), [](const AlerteAppel& a) { return !a.vue; }));
}

QList<model::Appel> PilotageEquipe::appelsEquipe() const
{
    QList<model::Appel> r;
    if (!c_.lireAppels || compte_.isEmpty())
        return r;
    for (const model::Appel& a : c_.lireAppels())
        if (a.compteId && !a.compteId->isEmpty() && *a.compteId != compte_)
            r.append(a);
    return r;
}

void PilotageEquipe::demarrer()
{
    if (demarre_)
        return;
    const QString moi = c_.lireMoi ? c_.lireMoi().trimmed() : QString();
    if (moi.isEmpty())
        return;
    compte_ = moi;
    demarre_ = true;
    chargerPreferences();
    Q_EMIT change();
    demarrerTaches(generation_);
}

QCoro::Task<void> PilotageEquipe::demarrerTaches(quint64 generation)
{
    QPointer<PilotageEquipe> moi(this);
    co_await chargerSeuils();
    if (!moi || generation != generation_)
        co_return;
    initialise_ = true;
    evaluer();
    QStringList ids;
    for (const model::Appel& a : appelsEquipe())
        if (ids.size() < 500)
            ids << a.id;
    co_await chargerSyntheses(ids);
    if (!moi || generation != generation_)
        co_return;
    co_await deposerEnAttente();
}

void PilotageEquipe::reinitialiser()
{
    ++generation_;
    for (const auto& d : std::as_const(demandes_))
        if (d) {
            d->annuler();
            d->deleteLater();
        }
    demandes_.clear();
    seuils_ = SeuilsEquipe();
    alertes_.clear();
    syntheses_.clear();
    synthesesEnCours_.clear();
    erreursSynthese_.clear();
    traites_.clear();
    compte_.clear();
    demarre_ = initialise_ = depotEnCours_ = false;
    Q_EMIT change();
}

void PilotageEquipe::chargerPreferences()
{
    alertes_.clear();
    for (const QJsonValue& v : lireJson(c_.defaults->valeur(prefixeAlertes + compte_)).toArray())
        if (auto a = AlerteAppel::depuisJson(v))
            alertes_.append(*a);
    traites_.clear();
    for (const QJsonValue& v : lireJson(c_.defaults->valeur(prefixeTraites + compte_)).toArray())
        traites_.insert(v.toString());
    syntheses_.clear();
    const QJsonObject cache = lireJson(c_.defaults->valeur(prefixeSyntheses + compte_)).toObject();
    for (auto it = cache.constBegin(); it != cache.constEnd(); ++it)
        if (auto s = SyntheseManager::depuisJson(it.value()))
            syntheses_.insert(it.key(), *s);
}

void PilotageEquipe::enregistrerAlertes()
{
    QJsonArray l;
    for (const AlerteAppel& a : alertes_)
        l.append(a.versJson());
    c_.defaults->definir(prefixeAlertes + compte_, texteJson(l));
}

void PilotageEquipe::enregistrerTraites()
{
    QJsonArray l;
    QStringList ids(traites_.begin(), traites_.end());
    ids.sort();
    for (const QString& id : ids)
        l.append(id);
    c_.defaults->definir(prefixeTraites + compte_, texteJson(l));
}

void PilotageEquipe::enregistrerSyntheses()
{
    QJsonObject o;
    for (auto it = syntheses_.cbegin(); it != syntheses_.cend(); ++it)
        o.insert(it.key(), it->versJson());
    c_.defaults->definir(prefixeSyntheses + compte_, texteJson(o));
}

void PilotageEquipe::evaluer()
{
    if (!initialise_)
        return;
    const QDateTime t = maintenant();
    const QDateTime limite = t.addDays(-ageMaxPremierDemarrageJours);
    QList<AlerteAppel> nouvelles;
    bool changement = false;
    for (const model::Appel& a : appelsEquipe()) {
        if (traites_.contains(a.id))
            continue;
        // Not yet analysed in full: evaluated later, with its analysis.
        if (!analyseComplete(a))
            continue;
        traites_.insert(a.id);
        changement = true;
        const auto quand = debutAppel(a);
        if (quand && *quand < limite)
            continue;
        const QList<RaisonAlerte> raisons = raisonsAlerte(a, seuils_);
        if (raisons.isEmpty())
            continue;
        nouvelles.append(AlerteAppel{a.id, *a.compteId, raisons, model::horodatage(t), false});
    }
    if (!changement)
        return;
    alertes_.append(nouvelles);
    // Kept before being announced: a restart never announces them again.
    enregistrerTraites();
    enregistrerAlertes();
    if (!nouvelles.isEmpty() && c_.annoncer)
        c_.annoncer(nouvelles);
    Q_EMIT change();
}

void PilotageEquipe::marquerToutVu()
{
    bool change = false;
    for (AlerteAppel& a : alertes_)
        if (!a.vue) {
            a.vue = true;
            change = true;
        }
    if (!change)
        return;
    enregistrerAlertes();
    Q_EMIT this->change();
}

QCoro::Task<void> PilotageEquipe::chargerSeuils()
{
    QPointer<PilotageEquipe> moi(this);
    cloud::ClientSupabase* cl = client();
    if (!cl)
        co_return;
    const quint64 generation = generation_;
    const QString nom = QStringLiteral("lire_seuils_equipe");
    const QJsonObject sansParametre;
    auto r = co_await cl->appelerProcedure(nom, sansParametre, delaiMs);
    if (!moi || generation != generation_)
        co_return;
    if (!r) {
        qCInfo(lcPilotage) << "seuils non lus :" << r.erreur().code;
        co_return;
    }
    seuils_ = SeuilsEquipe::depuisJson(r.valeur().qt());
    Q_EMIT change();
}

QCoro::Task<std::optional<QString>> PilotageEquipe::reglerSeuils(SeuilsEquipe s)
{
    QPointer<PilotageEquipe> moi(this);
    cloud::ClientSupabase* cl = client();
    if (!cl)
        co_return messageHorsEquipe();
    s = s.bornes();
    const quint64 generation = generation_;
    const QString nom = QStringLiteral("regler_seuils_equipe");
    const QJsonObject parametres{{QStringLiteral("p_retard_minutes"), s.retardMinutes},
                                 {QStringLiteral("p_suivi_framework_min"), s.suiviFrameworkMin},
                                 {QStringLiteral("p_score_bas"), s.scoreBas}};
    auto r = co_await cl->appelerProcedure(nom, parametres, delaiMs);
    if (!moi || generation != generation_)
        co_return messageSeuilsEchec();
    if (!r)
        co_return r.erreur().indice == QLatin1String("equipe_requise") ? messageHorsEquipe() : messageSeuilsEchec();
    seuils_ = SeuilsEquipe::depuisJson(r.valeur().qt());
    Q_EMIT change();
    co_return std::nullopt;
}

void PilotageEquipe::preparerSynthese(const QString& appelId)
{
    if (!demarre_ || synthesesEnCours_.contains(appelId))
        return;
    std::optional<model::Appel> appel;
    for (const model::Appel& a : appelsEquipe())
        if (a.id == appelId) {
            appel = a;
            break;
        }
    auto echouer = [this, appelId](const QString& message) {
        erreursSynthese_.insert(appelId, message);
        Q_EMIT change();
    };
    if (!appel || !c_.moteur || !c_.ia)
        return echouer(messageSyntheseEchec());
    auto payload = c_.moteur->appelerJSON(QStringLiteral("payloadSyntheseManager"), {model::versObjetJson(*appel)});
    if (!payload || !payload.valeur().isObject()) {
        qCInfo(lcPilotage) << "payload de synthèse indisponible" << (payload ? QString() : payload.erreur().description());
        return echouer(messageSyntheseEchec());
    }
    ai::RequeteIA r;
    r.tache = tacheSynthese;
    r.payload = payload.valeur();
    const QString modele = c_.moteur->donnee(QStringLiteral("MODELES_DEFAUT")).toObject().value(QStringLiteral("analyse")).toString();
    r.modele = modele.isEmpty() ? QStringLiteral("claude-sonnet-5-5") : modele;
    r.appelId = appelId;
    r.demo = appel->source == QLatin1String("demo");
    r.formatStructure = true;
    ai::DemandeIA* d = c_.ia->envoyer(r);
    if (!d)
        return echouer(messageSyntheseEchec());
    d->setParent(this);
    demandes_.insert(appelId, d);
    synthesesEnCours_.insert(appelId);
    erreursSynthese_.remove(appelId);
    const quint64 generation = generation_;
    connect(d, &ai::DemandeIA::fini, this, [this, d, appelId, generation](const QString& texte, const ai::InfosGeneration&) {
        d->deleteLater();
        if (generation != generation_)
            return;
        demandes_.remove(appelId);
        synthesesEnCours_.remove(appelId);
        std::optional<SyntheseManager> s;
        if (auto n = c_.moteur->appelerJSON(QStringLiteral("normaliserSyntheseManager"), {texte}))
            s = SyntheseManager::depuisJson(n.valeur());
        if (!s) {
            erreursSynthese_.insert(appelId, messageSyntheseIllisible());
            Q_EMIT change();
            return;
        }
        syntheses_.insert(appelId, *s);
        enregistrerSyntheses();
        mettreEnFile(appelId, *s);
        Q_EMIT change();
        deposerEnAttente();
    });
    connect(d, &ai::DemandeIA::echec, this, [this, d, appelId, generation](const QString&, const QString&, int) {
        d->deleteLater();
        if (generation != generation_)
            return;
        demandes_.remove(appelId);
        synthesesEnCours_.remove(appelId);
        erreursSynthese_.insert(appelId, messageSyntheseEchec());
        Q_EMIT change();
    });
    Q_EMIT change();
}

QStringList PilotageEquipe::aDeposer() const
{
    QStringList r;
    for (const QJsonValue& v : lireJson(c_.defaults->valeur(cleADeposer)).toArray())
        if (v[QStringLiteral("compteId")].toString() == compte_)
            r << v[QStringLiteral("appelId")].toString();
    return r;
}

void PilotageEquipe::mettreEnFile(const QString& appelId, const SyntheseManager& s)
{
    // One queue for the machine; each entry names the account that wrote it.
    QJsonArray l;
    for (const QJsonValue& v : lireJson(c_.defaults->valeur(cleADeposer)).toArray())
        if (!(v[QStringLiteral("compteId")].toString() == compte_ && v[QStringLiteral("appelId")].toString() == appelId))
            l.append(v);
    l.append(QJsonObject{{QStringLiteral("compteId"), compte_}, {QStringLiteral("appelId"), appelId}, {QStringLiteral("contenu"), s.versJson()}});
    c_.defaults->definir(cleADeposer, texteJson(l));
}

void PilotageEquipe::retirerDeFile(const QString& appelId)
{
    QJsonArray l;
    for (const QJsonValue& v : lireJson(c_.defaults->valeur(cleADeposer)).toArray())
        if (!(v[QStringLiteral("compteId")].toString() == compte_ && v[QStringLiteral("appelId")].toString() == appelId))
            l.append(v);
    c_.defaults->definir(cleADeposer, texteJson(l));
}

QCoro::Task<void> PilotageEquipe::deposerEnAttente()
{
    QPointer<PilotageEquipe> moi(this);
    if (depotEnCours_ || !demarre_ || !client())
        co_return;
    depotEnCours_ = true;
    const quint64 generation = generation_;
    QList<QJsonObject> file;
    for (const QJsonValue& v : lireJson(c_.defaults->valeur(cleADeposer)).toArray())
        if (v[QStringLiteral("compteId")].toString() == compte_)
            file.append(v.toObject());
    const QString nom = QStringLiteral("deposer_synthese_manager");
    for (const QJsonObject& e : file) {
        cloud::ClientSupabase* cl = client();
        if (!cl)
            break;
        const QString appelId = e.value(QStringLiteral("appelId")).toString();
        const QJsonObject parametres{{QStringLiteral("p_appel_id"), appelId},
                                     {QStringLiteral("p_contenu"), e.value(QStringLiteral("contenu"))},
                                     {QStringLiteral("p_source"), QStringLiteral("app")}};
        auto r = co_await cl->appelerProcedure(nom, parametres, delaiMs);
        if (!moi)
            co_return;
        if (generation != generation_)
            co_return;
        if (r) {
            retirerDeFile(appelId);
        } else if (refusDefinitif(r.erreur().indice)) {
            qCInfo(lcPilotage) << "synthèse refusée par le serveur :" << r.erreur().indice;
            retirerDeFile(appelId);
        } else {
            // Kept for a later try (network, session, server).
            break;
        }
    }
    depotEnCours_ = false;
}

QCoro::Task<void> PilotageEquipe::chargerSyntheses(QStringList appelIds)
{
    QPointer<PilotageEquipe> moi(this);
    cloud::ClientSupabase* cl = client();
    if (!cl || appelIds.isEmpty())
        co_return;
    const quint64 generation = generation_;
    const QString nom = QStringLiteral("lire_syntheses_manager");
    const QJsonObject parametres{{QStringLiteral("p_appel_ids"), QJsonArray::fromStringList(appelIds.mid(0, 500))}};
    auto r = co_await cl->appelerProcedure(nom, parametres, delaiMs);
    if (!moi || generation != generation_ || !r)
        co_return;
    const QStringList locales = aDeposer();
    bool change = false;
    for (const QJsonValue& v : r.valeur().qt().toArray()) {
        const QString id = v[QStringLiteral("appel_id")].toString();
        if (id.isEmpty() || locales.contains(id))
            continue;
        if (auto s = SyntheseManager::depuisJson(v[QStringLiteral("contenu")])) {
            syntheses_.insert(id, *s);
            change = true;
        }
    }
    if (change) {
        enregistrerSyntheses();
        Q_EMIT this->change();
    }
}

} // namespace vd::team
