#include "progres.h"

#include "model/texte.h"

#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace vd::team {

namespace {

constexpr qint64 trenteJoursSec = 2'592'000;
constexpr int appelsRepli = 10;
constexpr int appelsMoments = 10;
constexpr int appelsTendance = 4;
constexpr int pointsMax = 20;

QString plie(const QString& t) { return t.trimmed().toLower(); }

// The engine writes "bien" where a handled objection is "oui": both mean handled to the end.
bool objectionTraitee(const QString& traitement)
{
    const QString t = plie(traitement);
    return t == QLatin1String("oui") || t == QLatin1String("bien");
}

int arrondi(double v) { return int(std::lround(v)); }

QJsonValue optionnel(const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }

std::optional<qint64> scoreDe(const model::Appel& a, const QString& dimension)
{
    if (!a.analyse)
        return std::nullopt;
    const auto it = a.analyse->dimensions.constFind(dimension);
    if (it == a.analyse->dimensions.constEnd())
        return std::nullopt;
    return it->score;
}

std::optional<double> moyenneDe(const QList<const model::Appel*>& appels, const QString& dimension)
{
    double somme = 0;
    int n = 0;
    for (const model::Appel* a : appels)
        if (const auto s = scoreDe(*a, dimension)) {
            somme += double(*s);
            ++n;
        }
    if (n == 0)
        return std::nullopt;
    return somme / double(n);
}

// The text said at a moment of the call: the last segment starting at or before it.
QString citationA(const model::Appel& a, std::optional<qint64> tMs)
{
    if (!tMs)
        return {};
    const model::Segment* choisi = nullptr;
    for (const model::Segment& s : a.transcript) {
        if (s.debutMs > *tMs)
            break;
        choisi = &s;
    }
    return choisi ? choisi->texte.trimmed() : QString();
}

QString genreCritere(CritereExercice::Genre g)
{
    using G = CritereExercice::Genre;
    switch (g) {
    case G::questionsMin: return QStringLiteral("questionsMin");
    case G::partParoleMax: return QStringLiteral("partParoleMax");
    case G::monologueMax: return QStringLiteral("monologueMax");
    case G::competenceMin: return QStringLiteral("competenceMin");
    case G::objectionsTraitees: return QStringLiteral("objectionsTraitees");
    case G::prochaineEtapeDatee: return QStringLiteral("prochaineEtapeDatee");
    }
    return {};
}

} // namespace

// --- Competences -------------------------------------------------------------------

const QList<Dimension>& dimensionsParDefaut()
{
    static const QList<Dimension> l = {
        {QStringLiteral("decouverte"), QStringLiteral("Découverte"), {}, 0.2}, {QStringLiteral("engagement"), QStringLiteral("Engagement"), {}, 0.15},
        {QStringLiteral("valeur"), QStringLiteral("Valeur"), {}, 0.2},         {QStringLiteral("ecoute"), QStringLiteral("Écoute"), {}, 0.15},
        {QStringLiteral("objections"), QStringLiteral("Objections"), {}, 0.15}, {QStringLiteral("closing"), QStringLiteral("Closing"), {}, 0.15}};
    return l;
}

QList<Dimension> dimensionsDepuis(const QJsonValue& donnees)
{
    QList<Dimension> l;
    for (const QJsonValue& v : donnees.toArray()) {
        const QJsonObject o = v.toObject();
        Dimension d;
        d.id = o.value(QStringLiteral("id")).toString().trimmed();
        if (d.id.isEmpty())
            continue;
        d.label = o.value(QStringLiteral("libelle")).toString(o.value(QStringLiteral("label")).toString());
        if (d.label.isEmpty())
            d.label = d.id;
        d.description = o.value(QStringLiteral("description")).toString();
        const QJsonValue p = o.value(QStringLiteral("poids"));
        d.poids = p.isString() ? QString(p.toString()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble() : p.toDouble();
        l.append(d);
    }
    return l.isEmpty() ? dimensionsParDefaut() : l;
}

QString libelleCompetence(const QList<Dimension>& dimensions, const QString& id)
{
    for (const Dimension& d : dimensions)
        if (d.id == id)
            return d.label;
    return id;
}

// --- Exercises ---------------------------------------------------------------------

const QList<ExerciceSemaine>& catalogueExercices()
{
    using G = CritereExercice::Genre;
    static const QList<ExerciceSemaine> l = {
        {QStringLiteral("decouverte-questions"), QStringLiteral("decouverte"), QStringLiteral("Posez au moins 8 questions par appel"),
         QStringLiteral("Chaque question vous apprend ce qui compte pour le prospect. Partez de « Comment ça se passe aujourd'hui ? » et creusez chaque réponse."), {G::questionsMin, 8, {}}, 3},
        {QStringLiteral("decouverte-creuser"), QStringLiteral("decouverte"), QStringLiteral("Creusez chaque réponse avec une deuxième question"),
         QStringLiteral("Après chaque réponse, demandez « Qu'est-ce qui vous fait dire ça ? » avant de passer à la suite."), {G::competenceMin, 70, QStringLiteral("decouverte")}, 3},
        {QStringLiteral("engagement-monologue"), QStringLiteral("engagement"), QStringLiteral("Pas de tirade de plus de 90 secondes"),
         QStringLiteral("Au-delà, le prospect décroche. Coupez-vous d'une question : « Ça vous parle ? »"), {G::monologueMax, 90, {}}, 3},
        {QStringLiteral("engagement-reactions"), QStringLiteral("engagement"), QStringLiteral("Faites réagir le prospect toutes les deux minutes"),
         QStringLiteral("Une question, une reformulation, un « qu'en pensez-vous ? » : le prospect reste dans l'échange."), {G::competenceMin, 70, QStringLiteral("engagement")}, 3},
        {QStringLiteral("valeur-douleur"), QStringLiteral("valeur"), QStringLiteral("Reliez chaque bénéfice à une douleur dite par le prospect"),
         QStringLiteral("Reprenez ses mots : « Vous disiez perdre 3 heures par semaine, voilà ce que ça change. »"), {G::competenceMin, 70, QStringLiteral("valeur")}, 3},
        {QStringLiteral("valeur-preuve"), QStringLiteral("valeur"), QStringLiteral("Citez une preuve concrète dans chaque appel"),
         QStringLiteral("Un client comparable, un chiffre, un résultat : la preuve rend le bénéfice crédible."), {G::competenceMin, 70, QStringLiteral("valeur")}, 3},
        {QStringLiteral("ecoute-parole"), QStringLiteral("ecoute"), QStringLiteral("Parlez moins de 45 % du temps"),
         QStringLiteral("Le prospect qui parle se convainc lui-même. Posez la question, puis laissez le silence travailler."), {G::partParoleMax, 45, {}}, 3},
        {QStringLiteral("ecoute-monologue"), QStringLiteral("ecoute"), QStringLiteral("Aucun monologue de plus d'une minute"),
         QStringLiteral("Reformulez en une phrase, puis rendez la parole au prospect."), {G::monologueMax, 60, {}}, 3},
        {QStringLiteral("objections-traiter"), QStringLiteral("objections"), QStringLiteral("Traitez chaque objection jusqu'au bout"),
         QStringLiteral("Accueillez, creusez avec une question, répondez, puis vérifiez : « Est-ce que ça répond à votre inquiétude ? »"), {G::objectionsTraitees, 0, {}}, 3},
        {QStringLiteral("objections-creuser"), QStringLiteral("objections"), QStringLiteral("Creusez l'objection avant d'y répondre"),
         QStringLiteral("« Qu'est-ce qui vous fait dire ça ? » : la vraie raison est souvent ailleurs."), {G::competenceMin, 70, QStringLiteral("objections")}, 3},
        {QStringLiteral("closing-date"), QStringLiteral("closing"), QStringLiteral("Finissez chaque appel avec une prochaine étape datée"),
         QStringLiteral("Pas de « je vous rappelle » : une date, une heure, et qui fait quoi."), {G::prochaineEtapeDatee, 0, {}}, 3},
        {QStringLiteral("closing-creneaux"), QStringLiteral("closing"), QStringLiteral("Proposez deux créneaux au choix avant de raccrocher"),
         QStringLiteral("« Mardi 10 h ou jeudi 15 h ? » : il est plus simple de choisir que de dire oui."), {G::competenceMin, 70, QStringLiteral("closing")}, 3},
    };
    return l;
}

QString conseilCompetence(const QString& competence)
{
    static const QHash<QString, QString> conseils = {
        {QStringLiteral("decouverte"), QStringLiteral("Après chaque réponse du prospect, posez une deuxième question : « Qu'est-ce qui vous fait dire ça ? »")},
        {QStringLiteral("engagement"), QStringLiteral("Faites réagir le prospect toutes les deux minutes : « Comment ça se passe chez vous aujourd'hui ? »")},
        {QStringLiteral("valeur"), QStringLiteral("Reliez chaque bénéfice à une douleur que le prospect a dite, avec ses mots à lui.")},
        {QStringLiteral("ecoute"), QStringLiteral("Visez 30 à 45 % de temps de parole. Reformulez en une phrase avant de répondre.")},
        {QStringLiteral("objections"), QStringLiteral("Accueillez l'objection, puis creusez-la avec une question avant de donner votre réponse.")},
        {QStringLiteral("closing"), QStringLiteral("Finissez chaque appel avec une date précise. Proposez deux créneaux au choix.")},
    };
    return conseils.value(competence, QStringLiteral("Réécoutez votre dernier appel sur ce point et notez une phrase à dire la prochaine fois."));
}

QString valeurBrute(ResultatExercice r)
{
    switch (r) {
    case ResultatExercice::reussi: return QStringLiteral("reussi");
    case ResultatExercice::manque: return QStringLiteral("manque");
    case ResultatExercice::nonMesurable: return QStringLiteral("nonMesurable");
    }
    return {};
}

QString texteResultat(ResultatExercice r)
{
    switch (r) {
    case ResultatExercice::reussi: return {};
    case ResultatExercice::manque: return QStringLiteral("Pas cette fois");
    case ResultatExercice::nonMesurable: return QStringLiteral("Ne compte pas");
    }
    return {};
}

QString dureeLisible(int s)
{
    if (s % 60 == 0)
        return QString::number(s / 60) + QStringLiteral(" min");
    if (s <= 60)
        return QString::number(s) + QStringLiteral(" s");
    return QString::number(s / 60) + QStringLiteral(" min ") + QString::number(s % 60);
}

QString phraseCritere(const CritereExercice& c, const QList<Dimension>& dimensions)
{
    using G = CritereExercice::Genre;
    switch (c.genre) {
    case G::questionsMin: return QStringLiteral("Réussi quand vous posez au moins %1 questions.").arg(c.valeur);
    case G::partParoleMax: return QStringLiteral("Réussi quand vous parlez %1 % du temps au plus.").arg(c.valeur);
    case G::monologueMax: return QStringLiteral("Réussi quand aucun de vos monologues ne dépasse %1.").arg(dureeLisible(c.valeur));
    case G::competenceMin:
        return QStringLiteral("Réussi quand l'analyse note %1 à %2 ou plus.").arg(libelleCompetence(dimensions, c.competence)).arg(c.valeur);
    case G::objectionsTraitees:
        return QStringLiteral("Réussi quand toutes les objections de l'appel sont traitées. Un appel sans objection ne compte pas.");
    case G::prochaineEtapeDatee: return QStringLiteral("Réussi quand l'appel se termine sur une prochaine étape datée.");
    }
    return {};
}

ResultatExercice juger(const CritereExercice& c, const model::Appel& appel)
{
    using G = CritereExercice::Genre;
    using R = ResultatExercice;
    const auto& m = appel.metriques;
    const bool vide = m && m->dureeSec <= 0 && m->nbEchanges < 1;
    const auto& a = appel.analyse;
    switch (c.genre) {
    case G::questionsMin:
        if (!m || vide)
            return R::nonMesurable;
        return m->questionsVous < c.valeur ? R::manque : R::reussi;
    case G::partParoleMax:
        if (!m || m->partVous + m->partProspect < 1)
            return R::nonMesurable;
        return c.valeur < m->partVous ? R::manque : R::reussi;
    case G::monologueMax:
        if (!m || vide)
            return R::nonMesurable;
        return c.valeur < m->plusLongMonologueSec ? R::manque : R::reussi;
    case G::competenceMin: {
        const auto s = scoreDe(appel, c.competence);
        if (!s)
            return R::nonMesurable;
        return *s < c.valeur ? R::manque : R::reussi;
    }
    case G::objectionsTraitees:
        if (!a || a->objections.isEmpty())
            return R::nonMesurable;
        for (const model::ObjectionAnalyse& o : a->objections)
            if (!objectionTraitee(o.traitement))
                return R::manque;
        return R::reussi;
    case G::prochaineEtapeDatee:
        if (!a)
            return R::nonMesurable;
        if (appel.prochaineEtape && !appel.prochaineEtape->echeance.trimmed().isEmpty())
            return R::reussi;
        for (const model::ProchaineEtape& p : a->prochainesEtapes)
            if (!p.echeance.trimmed().isEmpty())
                return R::reussi;
        return R::manque;
    }
    return R::nonMesurable;
}

// --- Calendar ----------------------------------------------------------------------

CalendrierSemaines CalendrierSemaines::partage()
{
    const QTimeZone paris(QByteArrayLiteral("Europe/Paris"));
    return {paris.isValid() ? paris : QTimeZone::systemTimeZone()};
}

QDateTime CalendrierSemaines::debutSemaine(const QDateTime& t) const
{
    const QDate j = t.toTimeZone(fuseau).date();
    return QDateTime(j.addDays(1 - j.dayOfWeek()), QTime(0, 0), fuseau);
}

QDateTime CalendrierSemaines::finSemaine(const QDateTime& debut) const
{
    const QDateTime f = debut.addDays(7);
    return f.isValid() ? f : debut.addSecs(604'800);
}

qint64 CalendrierSemaines::rangSemaine(const QDateTime& t) const
{
    static const QDate lundiOrigine(2001, 1, 1);   // a Monday
    const QDate j = t.toTimeZone(fuseau).date();
    const qint64 jours = lundiOrigine.daysTo(j.addDays(1 - j.dayOfWeek()));
    return jours >= 0 ? jours / 7 : -((-jours + 6) / 7);
}

std::optional<QDateTime> dateAppel(const QString& debut, const QTimeZone& fuseau)
{
    static const QRegularExpression jour(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString t = debut.trimmed();
    if (t.size() == 10 && jour.match(t).hasMatch()) {
        const QDate d = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
        if (!d.isValid())
            return std::nullopt;
        return QDateTime(d, QTime(0, 0), fuseau);
    }
    return model::lireHorodatage(t);
}

QString flecheTendance(int tendance)
{
    if (tendance > 0)
        return QStringLiteral("arrow.up.right");
    if (tendance < 0)
        return QStringLiteral("arrow.down.right");
    return QStringLiteral("arrow.right");
}

int SuiviExercice::reussis() const
{
    return int(std::count_if(lignes.begin(), lignes.end(), [](const Ligne& l) { return l.resultat == ResultatExercice::reussi; }));
}

QString texteCompte(int reussis, int cible)
{
    return QString::number(reussis) + QStringLiteral(" appel") + (reussis > 1 ? QStringLiteral("s") : QString()) + QStringLiteral(" sur ") +
           QString::number(cible);
}

// --- Choice, week, trend, moments ---------------------------------------------------

QList<AppelDate> appelsAnalyses(const QList<model::Appel>& appels, const QTimeZone& fuseau)
{
    QList<AppelDate> l;
    l.reserve(appels.size());
    for (const model::Appel& a : appels) {
        if (a.statut != QLatin1String("analyse") || !a.analyse)
            continue;
        // An unreadable date is the farthest future before a date and the farthest past after
        // one: it can never be selected, so it is left out once here.
        if (auto d = dateAppel(a.debut, fuseau))
            l.append({&a, *d});
    }
    std::stable_sort(l.begin(), l.end(), [](const AppelDate& x, const AppelDate& y) { return x.date > y.date; });
    return l;
}

ChoixExercice choisirExercice(const QList<AppelDate>& appels, const QDateTime& reference, const QList<Dimension>& dimensions,
                              const CalendrierSemaines& calendrier)
{
    ChoixExercice c;
    const QDateTime depuis = reference.addSecs(-trenteJoursSec);
    QList<const model::Appel*> avant, recents;
    for (const AppelDate& a : appels)
        if (a.date < reference) {
            avant.append(a.appel);
            if (a.date >= depuis)
                recents.append(a.appel);
        }
    if (recents.isEmpty()) {
        // Newest first already: the newest 10 by date.
        recents = avant.mid(0, appelsRepli);
        c.repli = !recents.isEmpty();
    }
    const Dimension* faible = nullptr;
    double plusBasse = 0;
    for (const Dimension& d : dimensions) {
        const auto m = moyenneDe(recents, d.id);
        c.moyennes.append({d.id, m ? std::optional<int>(arrondi(*m)) : std::nullopt});
        if (!m)
            continue;
        if (!faible || *m < plusBasse || (*m == plusBasse && d.poids > faible->poids)) {
            faible = &d;
            plusBasse = *m;
        }
    }
    if (!faible)
        return c;
    c.competence = faible->id;
    QList<ExerciceSemaine> siens;
    for (const ExerciceSemaine& e : catalogueExercices())
        if (e.competence == faible->id)
            siens.append(e);
    if (siens.isEmpty())
        return c;
    const qint64 n = siens.size();
    c.exercice = siens[int(((calendrier.rangSemaine(reference) % n) + n) % n)];
    return c;
}

SuiviExercice suivreSemaine(const CritereExercice& critere, const QList<AppelDate>& appels, const QDateTime& reference,
                            const CalendrierSemaines& calendrier)
{
    const QDateTime debut = calendrier.debutSemaine(reference);
    const QDateTime fin = calendrier.finSemaine(debut);
    SuiviExercice s;
    for (auto it = appels.crbegin(); it != appels.crend(); ++it)
        if (it->date >= debut && it->date < fin)
            s.lignes.append({it->appel->id, juger(critere, *it->appel)});
    return s;
}

Evolutions evoluer(const QList<AppelDate>& appels, const QDateTime& reference, const QList<Dimension>& dimensions)
{
    const QDateTime debut30 = reference.addSecs(-trenteJoursSec);
    const QDateTime debut60 = reference.addSecs(-2 * trenteJoursSec);
    QList<const model::Appel*> recents, precedents, soixante;
    for (auto it = appels.crbegin(); it != appels.crend(); ++it) {
        if (it->date >= reference || it->date < debut60)
            continue;
        soixante.append(it->appel);
        (it->date >= debut30 ? recents : precedents).append(it->appel);
    }
    Evolutions e;
    e.appels30Jours = int(recents.size());
    e.tendanceDisponible = e.appels30Jours >= appelsTendance;
    for (const Dimension& d : dimensions) {
        EvolutionCompetence c;
        c.dimension = d.id;
        if (const auto m = moyenneDe(recents, d.id))
            c.moyenne = arrondi(*m);
        if (const auto m = moyenneDe(precedents, d.id))
            c.moyennePrecedente = arrondi(*m);
        if (e.tendanceDisponible && c.moyenne && c.moyennePrecedente)
            c.tendance = *c.moyenne - *c.moyennePrecedente;
        for (const model::Appel* a : soixante)
            if (const auto s = scoreDe(*a, d.id))
                c.points.append(int(*s));
        if (c.points.size() > pointsMax)
            c.points = c.points.mid(c.points.size() - pointsMax);
        e.competences.append(c);
    }
    return e;
}

QList<MomentProgres> momentsARecouter(const QList<AppelDate>& appels, const QDateTime& reference)
{
    using G = MomentProgres::Genre;
    QList<MomentProgres> l;
    int lus = 0;
    for (const AppelDate& ad : appels) {
        if (ad.date >= reference)
            continue;
        if (++lus > appelsMoments)
            break;
        const model::Appel& a = *ad.appel;
        QList<MomentProgres> siens;
        auto nouveau = [&](const QString& suffixe, G genre, std::optional<qint64> tMs) {
            MomentProgres m;
            m.id = a.id + suffixe;
            m.genre = genre;
            m.appelId = a.id;
            m.tMs = tMs;
            m.citation = citationA(a, tMs);
            m.debut = a.debut;
            m.contactId = a.contactId;
            return m;
        };
        for (qsizetype i = 0; i < a.analyse->objections.size(); ++i) {
            const model::ObjectionAnalyse& o = a.analyse->objections[i];
            const bool bien = objectionTraitee(o.traitement);
            MomentProgres m = nouveau(QStringLiteral("-o%1").arg(i), bien ? G::reussi : G::aRetravailler, o.tMs);
            if (bien)
                m.titre = QStringLiteral("Objection bien traitée : ");
            else if (plie(o.traitement).startsWith(QLatin1String("partiel")))
                m.titre = QStringLiteral("Objection traitée en partie : ");
            else
                m.titre = QStringLiteral("Objection laissée sans réponse : ");
            m.titre += o.libelle.trimmed();
            if (m.citation.isEmpty())
                m.citation = o.reponseDonnee.trimmed();
            if (bien) {
                m.libelleNote = QStringLiteral("Ce que Quillo a noté");
                m.note = o.reponseDonnee.trimmed();
            } else {
                m.libelleNote = QStringLiteral("Conseil de Quillo");
                m.note = o.meilleureReponse.trimmed();
            }
            siens.append(m);
        }
        for (qsizetype i = 0; i < a.analyse->moments.size(); ++i) {
            const model::Moment& x = a.analyse->moments[i];
            const QString t = plie(x.type);
            const bool risque = t == QLatin1String("negatif");
            if (!risque && t != QLatin1String("positif"))
                continue;
            MomentProgres m = nouveau(QStringLiteral("-m%1").arg(i), risque ? G::aRetravailler : G::reussi, x.tMs);
            m.titre = risque ? QStringLiteral("Moment à risque") : QStringLiteral("Le prospect s'engage");
            m.libelleNote = QStringLiteral("Ce que Quillo a noté");
            m.note = x.texte.trimmed();
            siens.append(m);
        }
        std::stable_sort(siens.begin(), siens.end(),
                         [](const MomentProgres& x, const MomentProgres& y) { return x.tMs.value_or(-1) < y.tMs.value_or(-1); });
        l += siens;
    }
    return l;
}

BilanProgres calculerProgres(const QList<model::Appel>& appels, const QDateTime& reference, const QList<Dimension>& dimensions,
                             const CalendrierSemaines& calendrier)
{
    BilanProgres b;
    b.reference = reference;
    b.debutSemaine = calendrier.debutSemaine(reference);
    b.finSemaine = calendrier.finSemaine(b.debutSemaine);
    b.dimensions = dimensions.isEmpty() ? dimensionsParDefaut() : dimensions;
    const QList<AppelDate> analyses = appelsAnalyses(appels, calendrier.fuseau);
    b.evolutions = evoluer(analyses, reference, b.dimensions);
    b.choix = choisirExercice(analyses, reference, b.dimensions, calendrier);
    if (b.choix.exercice)
        b.suivi = suivreSemaine(b.choix.exercice->critere, analyses, reference, calendrier);
    b.moments = momentsARecouter(analyses, reference);
    return b;
}

QJsonObject BilanProgres::versJson(const QList<model::Appel>& appels) const
{
    QHash<QString, const model::Appel*> parId;
    for (const model::Appel& a : appels)
        parId.insert(a.id, &a);
    const QString jour = QStringLiteral("yyyy-MM-dd");
    QJsonObject o;
    o.insert(QStringLiteral("reference"), model::horodatage(reference));
    o.insert(QStringLiteral("semaine"), QJsonObject{{QStringLiteral("du"), debutSemaine.date().toString(jour)},
                                                    {QStringLiteral("au"), debutSemaine.date().addDays(6).toString(jour)}});
    QJsonArray competences;
    for (qsizetype i = 0; i < dimensions.size() && i < evolutions.competences.size(); ++i) {
        const Dimension& d = dimensions[i];
        const EvolutionCompetence& e = evolutions.competences[i];
        QJsonArray points;
        for (int p : e.points)
            points.append(p);
        competences.append(QJsonObject{{QStringLiteral("id"), d.id},
                                       {QStringLiteral("libelle"), d.label},
                                       {QStringLiteral("poids"), d.poids},
                                       {QStringLiteral("moyenne"), optionnel(e.moyenne)},
                                       {QStringLiteral("moyennePrecedente"), optionnel(e.moyennePrecedente)},
                                       {QStringLiteral("tendance"), optionnel(e.tendance)},
                                       {QStringLiteral("fleche"), e.tendance ? QJsonValue(flecheTendance(*e.tendance)) : QJsonValue(QJsonValue::Null)},
                                       {QStringLiteral("points"), points}});
    }
    o.insert(QStringLiteral("competences"), competences);
    o.insert(QStringLiteral("appels30Jours"), evolutions.appels30Jours);
    o.insert(QStringLiteral("tendanceDisponible"), evolutions.tendanceDisponible);
    if (evolutions.appels30Jours == 0)
        o.insert(QStringLiteral("messageCompetences"), textes::aucun30Jours);
    else if (!evolutions.tendanceDisponible)
        o.insert(QStringLiteral("messageCompetences"), textes::tendanceDes4);

    if (!choix.exercice) {
        o.insert(QStringLiteral("exercice"), QJsonValue::Null);
        o.insert(QStringLiteral("messageExercice"), textes::pasAssez);
    } else {
        const ExerciceSemaine& x = *choix.exercice;
        QJsonObject critere{{QStringLiteral("genre"), genreCritere(x.critere.genre)}};
        if (x.critere.genre != CritereExercice::Genre::objectionsTraitees && x.critere.genre != CritereExercice::Genre::prochaineEtapeDatee)
            critere.insert(QStringLiteral("valeur"), x.critere.valeur);
        if (!x.critere.competence.isEmpty())
            critere.insert(QStringLiteral("competence"), x.critere.competence);
        QJsonArray lignes;
        for (const SuiviExercice::Ligne& l : suivi.lignes) {
            const model::Appel* a = parId.value(l.appelId);
            QJsonObject j{{QStringLiteral("appelId"), l.appelId}, {QStringLiteral("resultat"), valeurBrute(l.resultat)}};
            if (!texteResultat(l.resultat).isEmpty())
                j.insert(QStringLiteral("marque"), texteResultat(l.resultat));
            if (a) {
                j.insert(QStringLiteral("debut"), a->debut);
                if (a->contactId)
                    j.insert(QStringLiteral("contactId"), *a->contactId);
            }
            lignes.append(j);
        }
        const int reussis = suivi.reussis();
        QJsonObject e{{QStringLiteral("id"), x.id},
                      {QStringLiteral("competence"), x.competence},
                      {QStringLiteral("titre"), x.titre},
                      {QStringLiteral("pourquoi"), x.pourquoi},
                      {QStringLiteral("note"), textes::noteChoix},
                      {QStringLiteral("critere"), critere},
                      {QStringLiteral("phrase"), phraseCritere(x.critere, dimensions)},
                      {QStringLiteral("conseil"), conseilCompetence(x.competence)},
                      {QStringLiteral("cible"), x.cible},
                      {QStringLiteral("reussis"), reussis},
                      {QStringLiteral("compte"), texteCompte(reussis, x.cible)},
                      {QStringLiteral("atteint"), reussis >= x.cible},
                      {QStringLiteral("repli"), choix.repli},
                      {QStringLiteral("appels"), lignes}};
        if (reussis >= x.cible)
            e.insert(QStringLiteral("message"), textes::exerciceReussi);
        else if (lignes.isEmpty())
            e.insert(QStringLiteral("message"), textes::aucunAppelSemaine);
        o.insert(QStringLiteral("exercice"), e);
    }
    QJsonArray moyennes;
    for (const MoyenneCompetence& m : choix.moyennes)
        moyennes.append(QJsonObject{{QStringLiteral("id"), m.dimension}, {QStringLiteral("moyenne"), optionnel(m.moyenne)}});
    o.insert(QStringLiteral("moyennesChoix"), moyennes);

    QJsonArray moments;
    for (const MomentProgres& m : this->moments) {
        QJsonObject j{{QStringLiteral("id"), m.id},
                      {QStringLiteral("genre"), m.genre == MomentProgres::Genre::reussi ? QStringLiteral("reussi") : QStringLiteral("aRetravailler")},
                      {QStringLiteral("appelId"), m.appelId},
                      {QStringLiteral("titre"), m.titre},
                      {QStringLiteral("citation"), m.citation},
                      {QStringLiteral("libelleNote"), m.libelleNote},
                      {QStringLiteral("note"), m.note},
                      {QStringLiteral("debut"), m.debut}};
        j.insert(QStringLiteral("tMs"), m.tMs ? QJsonValue(double(*m.tMs)) : QJsonValue(QJsonValue::Null));
        if (m.contactId)
            j.insert(QStringLiteral("contactId"), *m.contactId);
        moments.append(j);
    }
    o.insert(QStringLiteral("moments"), moments);
    return o;
}

} // namespace vd::team
