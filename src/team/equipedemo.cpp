#include "equipedemo.h"

#include "model/json.h"
#include "model/texte.h"
#include "team/pilotageequipe.h"
#include "team/coachingequipe.h"
#include "team/typescoaching.h"

#include <QMap>
#include <algorithm>
#include <cmath>

namespace vd::team {

namespace {

const QList<QPair<QString, QString>> membresDemo{{QStringLiteral("demo-lea"), QStringLiteral("Léa Martin")},
                                                 {QStringLiteral("demo-hugo"), QStringLiteral("Hugo Bernard")}};

QString nomDe(const QString& id)
{
    for (const auto& [cle, nom] : membresDemo)
        if (cle == id)
            return nom;
    return id == EquipeDemo::manager ? EquipeDemo::nomManager : QStringLiteral("Membre de l'équipe");
}

Echec<cloud::ErreurCloud> refus(const QString& indice)
{
    cloud::ErreurCloud e;
    e.genre = cloud::ErreurCloud::Genre::base;
    e.code = QStringLiteral("P0001");
    e.indice = indice;
    e.message = textes::generique;
    return echec(e);
}

QString libelleObjectif(const QString& type, double cible, const QString& competence)
{
    const QString n = texteNombre(cible);
    if (type == QLatin1String("questions_par_appel"))
        return QStringLiteral("Poser ") + n + (cible <= 1 ? QStringLiteral(" question par appel") : QStringLiteral(" questions par appel"));
    if (type == QLatin1String("part_parole_max"))
        return QStringLiteral("Parler au plus ") + n + QStringLiteral(" % du temps");
    if (type == QLatin1String("score_moyen"))
        return QStringLiteral("Score moyen d'au moins ") + n;
    if (type == QLatin1String("appels_semaine"))
        return n + (cible <= 1 ? QStringLiteral(" appel dans la semaine") : QStringLiteral(" appels dans la semaine"));
    return (competence.isEmpty() ? QStringLiteral("Compétence") : competence.left(1).toUpper() + competence.mid(1)) +
           QStringLiteral(" : score d'au moins ") + n;
}

QJsonObject progression(const QString& id, int appels, std::optional<double> valeur, bool atteint)
{
    return {{QStringLiteral("compte_id"), id}, {QStringLiteral("nom"), nomDe(id)}, {QStringLiteral("appels"), appels},
            {QStringLiteral("valeur"), valeur ? QJsonValue(*valeur) : QJsonValue()}, {QStringLiteral("atteint"), atteint},
            {QStringLiteral("moi"), false}};
}

std::optional<double> moyenne(const QList<double>& v)
{
    if (v.isEmpty())
        return std::nullopt;
    double s = 0;
    for (double x : v)
        s += x;
    return std::round(10 * s / double(v.size())) / 10;
}

QJsonValue nombreOuNull(const std::optional<double>& v) { return v ? QJsonValue(*v) : QJsonValue(); }

} // namespace

EquipeDemo::EquipeDemo(std::function<QList<model::Appel>()> appels, std::function<QDateTime()> horloge)
    : appels_(std::move(appels)), horloge_(std::move(horloge))
{
}

QString EquipeDemo::horodatage(qint64 decalageSec) const
{
    const QDateTime t = horloge_ ? horloge_() : QDateTime::currentDateTimeUtc();
    return t.addSecs(decalageSec).toUTC().toString(Qt::ISODateWithMs);
}

QList<model::Appel> EquipeDemo::analyses() const
{
    QList<model::Appel> l;
    for (const model::Appel& a : appels_ ? appels_() : QList<model::Appel>())
        if (a.compteId && analyseComplete(a))
            l.append(a);
    return l;
}

void EquipeDemo::semer()
{
    if (seme_)
        return;
    seme_ = true;
    QList<model::Appel> l = analyses();
    // The exemplary calls: the first one shown, and the best closing.
    if (!l.isEmpty())
        epingles_.insert(l.first().id, QJsonObject{{QStringLiteral("note"), QStringLiteral("La démo part de la douleur du client et lui fait chiffrer le gain, dès 0:31.")},
                                        {QStringLiteral("epingle_le"), horodatage(-3 * 86'400)}});
    const auto meilleur = std::max_element(l.begin(), l.end(), [](const model::Appel& a, const model::Appel& b) { return a.analyse->score < b.analyse->score; });
    if (meilleur != l.end() && !epingles_.contains(meilleur->id))
        epingles_.insert(meilleur->id, QJsonObject{{QStringLiteral("note"), QStringLiteral("Un closing net : le dernier frein levé, puis la date de démarrage fixée.")},
                                        {QStringLiteral("epingle_le"), horodatage(-6 * 86'400)}});
    // Comments of the manager on the newest calls: one on a moment, one on the whole call.
    std::sort(l.begin(), l.end(), [](const model::Appel& a, const model::Appel& b) { return a.debut > b.debut; });
    const QStringList moments{QStringLiteral("Belle reformulation : vous reprenez ses mots avant de proposer quoi que ce soit."),
                              QStringLiteral("Ici, demandez ce que ce retard coûte vraiment avant de parler du produit.")};
    const QStringList entiers{QStringLiteral("Bon appel dans l'ensemble. Avant de raccrocher, fixez la prochaine étape avec une date."),
                              QStringLiteral("La découverte est solide ; gardez ce rythme de questions au prochain appel.")};
    for (int i = 0; i < std::min<qsizetype>(2, l.size()); ++i) {
        const model::Appel& a = l[i];
        const qint64 tMs = a.transcript.size() > 2 ? a.transcript[2].debutMs : 83'000;
        QJsonArray c;
        for (int k = 0; k < 2; ++k) {
            const QString le = horodatage(-(i * 2 + k + 1) * 3600);
            c.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("demo-c%1").arg(suivant_++)},
                                 {QStringLiteral("appel_id"), a.id},
                                 {QStringLiteral("auteur_id"), manager},
                                 {QStringLiteral("auteur_nom"), nomManager},
                                 {QStringLiteral("t_ms"), k == 0 ? QJsonValue(double(tMs)) : QJsonValue()},
                                 {QStringLiteral("texte"), k == 0 ? moments[i] : entiers[i]},
                                 {QStringLiteral("cree_le"), le},
                                 {QStringLiteral("maj_le"), le},
                                 {QStringLiteral("modifiable"), true}});
        }
        commentaires_.insert(a.id, c);
    }
    // The week's objectives, with each salesperson's progress.
    const QString lundi = semaine(QString()).value(QStringLiteral("semaine")).toString();
    auto objectif = [&](const QString& type, double cible, const QString& compte, QJsonArray prog, std::optional<double> equipe) {
        objectifs_.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("demo-o%1").arg(suivant_++)},
                           {QStringLiteral("compte_id"), compte.isEmpty() ? QJsonValue() : QJsonValue(compte)},
                           {QStringLiteral("compte_nom"), compte.isEmpty() ? QJsonValue() : QJsonValue(nomDe(compte))},
                           {QStringLiteral("equipe"), compte.isEmpty()},
                           {QStringLiteral("type"), type},
                           {QStringLiteral("cible"), cible},
                           {QStringLiteral("libelle"), libelleObjectif(type, cible, {})},
                           {QStringLiteral("semaine"), lundi},
                           {QStringLiteral("actif"), true},
                           {QStringLiteral("cree_par"), manager},
                           {QStringLiteral("progression"), prog},
                           {QStringLiteral("valeur_equipe"), nombreOuNull(equipe)}});
    };
    objectif(QStringLiteral("appels_semaine"), 5, {},
             {progression(QStringLiteral("demo-lea"), 3, 3, false), progression(QStringLiteral("demo-hugo"), 5, 5, true)}, 8);
    objectif(QStringLiteral("questions_par_appel"), 5, {},
             {progression(QStringLiteral("demo-lea"), 3, 5.7, true), progression(QStringLiteral("demo-hugo"), 5, 3.8, false)}, 4.5);
    objectif(QStringLiteral("score_moyen"), 70, QStringLiteral("demo-hugo"), {progression(QStringLiteral("demo-hugo"), 5, 64, false)}, std::nullopt);
}

cloud::ResultatCloud<model::JSONValeur> EquipeDemo::repondre(const QString& procedure, const QJsonObject& p)
{
    semer();
    const QString appelId = p.value(QStringLiteral("p_appel_id")).toString();
    if (procedure == QLatin1String("serveur_maintenant"))
        return model::JSONValeur(horodatage());
    if (procedure == QLatin1String("commentaires_recents"))
        return model::JSONValeur(QJsonArray());
    if (procedure == QLatin1String("lire_commentaires"))
        return model::JSONValeur(commentaires_.value(appelId));
    if (procedure == QLatin1String("commenter_appel")) {
        const QString le = horodatage();
        const QJsonObject c{{QStringLiteral("id"), QStringLiteral("demo-c%1").arg(suivant_++)},
                            {QStringLiteral("appel_id"), appelId},
                            {QStringLiteral("auteur_id"), manager},
                            {QStringLiteral("auteur_nom"), nomManager},
                            {QStringLiteral("t_ms"), p.value(QStringLiteral("p_t_ms"))},
                            {QStringLiteral("texte"), p.value(QStringLiteral("p_texte")).toString()},
                            {QStringLiteral("cree_le"), le},
                            {QStringLiteral("maj_le"), le},
                            {QStringLiteral("modifiable"), true}};
        commentaires_[appelId].append(c);
        return model::JSONValeur(c);
    }
    if (procedure == QLatin1String("modifier_commentaire") || procedure == QLatin1String("supprimer_commentaire")) {
        const QString id = p.value(QStringLiteral("p_id")).toString();
        for (auto it = commentaires_.begin(); it != commentaires_.end(); ++it)
            for (qsizetype i = 0; i < it->size(); ++i) {
                QJsonObject c = it->at(i).toObject();
                if (c.value(QStringLiteral("id")).toString() != id)
                    continue;
                if (procedure == QLatin1String("supprimer_commentaire")) {
                    it->removeAt(i);
                    return model::JSONValeur(QJsonValue());
                }
                c.insert(QStringLiteral("texte"), p.value(QStringLiteral("p_texte")).toString());
                c.insert(QStringLiteral("t_ms"), p.value(QStringLiteral("p_t_ms")));
                c.insert(QStringLiteral("maj_le"), horodatage());
                it->replace(i, c);
                return model::JSONValeur(c);
            }
        return refus(QStringLiteral("commentaire_introuvable"));
    }
    if (procedure == QLatin1String("lister_appels_exemplaires")) {
        QList<QJsonObject> l;
        for (auto it = epingles_.cbegin(); it != epingles_.cend(); ++it)
            if (const QJsonObject e = exemplaire(it.key(), false); !e.isEmpty())
                l.append(e);
        std::sort(l.begin(), l.end(), [](const QJsonObject& a, const QJsonObject& b) {
            return a.value(QStringLiteral("epingle_le")).toString() > b.value(QStringLiteral("epingle_le")).toString();
        });
        QJsonArray r;
        for (const QJsonObject& e : l)
            r.append(e);
        return model::JSONValeur(r);
    }
    if (procedure == QLatin1String("lire_appel_exemplaire")) {
        const QJsonObject e = exemplaire(appelId, true);
        return e.isEmpty() ? model::JSONValeur(QJsonValue()) : model::JSONValeur(e);
    }
    if (procedure == QLatin1String("epingler_appel")) {
        QJsonObject x = epingles_.value(appelId);
        x.insert(QStringLiteral("note"), p.value(QStringLiteral("p_note")));
        if (!x.contains(QStringLiteral("epingle_le")))
            x.insert(QStringLiteral("epingle_le"), horodatage());
        epingles_.insert(appelId, x);
        const QJsonObject e = exemplaire(appelId, false);
        if (e.isEmpty()) {
            epingles_.remove(appelId);
            return refus(QStringLiteral("appel_introuvable"));
        }
        return model::JSONValeur(e);
    }
    if (procedure == QLatin1String("desepingler_appel")) {
        if (!epingles_.remove(appelId))
            return refus(QStringLiteral("exemplaire_introuvable"));
        return model::JSONValeur(QJsonValue());
    }
    if (procedure == QLatin1String("objectifs_semaine"))
        return model::JSONValeur(semaine(p.value(QStringLiteral("p_semaine")).toString()));
    if (procedure == QLatin1String("fixer_objectif")) {
        const QJsonObject o = fixerObjectif(p.value(QStringLiteral("p_objectif")).toObject());
        if (o.isEmpty())
            return refus(QStringLiteral("objectif_introuvable"));
        return model::JSONValeur(o);
    }
    if (procedure == QLatin1String("supprimer_objectif")) {
        const QString id = p.value(QStringLiteral("p_id")).toString();
        if (!objectifs_.removeIf([&id](const QJsonObject& o) { return o.value(QStringLiteral("id")).toString() == id; }))
            return refus(QStringLiteral("objectif_introuvable"));
        return model::JSONValeur(QJsonValue());
    }
    if (procedure == QLatin1String("reprendre_objectifs"))
        return model::JSONValeur(QJsonObject{{QStringLiteral("repris"), 0},
                                             {QStringLiteral("objectifs"), semaine(p.value(QStringLiteral("p_semaine")).toString())}});
    if (procedure == QLatin1String("classement_equipe"))
        return model::JSONValeur(classement(std::max(1, int(p.value(QStringLiteral("p_periode_jours")).toDouble()))));
    if (procedure == QLatin1String("lire_rapports_equipe"))
        return model::JSONValeur(rapports());
    cloud::ErreurCloud e;
    e.genre = cloud::ErreurCloud::Genre::base;
    e.code = QStringLiteral("PGRST202");
    e.message = textes::generique;
    return echec(e);
}

QJsonObject EquipeDemo::exemplaire(const QString& appelId, bool avecAppel) const
{
    if (!epingles_.contains(appelId))
        return {};
    for (const model::Appel& a : analyses()) {
        if (a.id != appelId)
            continue;
        const QJsonObject x = epingles_.value(appelId);
        QJsonObject e{{QStringLiteral("appel_id"), a.id},
                      {QStringLiteral("note"), x.value(QStringLiteral("note"))},
                      {QStringLiteral("epingle_par"), manager},
                      {QStringLiteral("epingle_par_nom"), nomManager},
                      {QStringLiteral("epingle_le"), x.value(QStringLiteral("epingle_le"))},
                      {QStringLiteral("auteur_id"), *a.compteId},
                      {QStringLiteral("auteur_nom"), nomDe(*a.compteId)},
                      {QStringLiteral("contact_id"), a.contactId ? QJsonValue(*a.contactId) : QJsonValue()},
                      {QStringLiteral("type"), a.type},
                      {QStringLiteral("objectif"), a.objectif},
                      {QStringLiteral("debut"), a.debut},
                      {QStringLiteral("duree"), a.duree},
                      {QStringLiteral("score"), double(a.analyse->score)}};
        if (avecAppel)
            e.insert(QStringLiteral("appel"), model::versObjetJson(a));
        return e;
    }
    return {};
}

QJsonObject EquipeDemo::semaine(const QString& jour) const
{
    QDate d = QDate::fromString(jour.left(10), Qt::ISODate);
    if (!d.isValid())
        d = (horloge_ ? horloge_() : QDateTime::currentDateTimeUtc()).toLocalTime().date();
    const QDate lundi = d.addDays(1 - d.dayOfWeek());
    const QString s = lundi.toString(Qt::ISODate);
    QJsonArray l;
    for (const QJsonObject& o : objectifs_)
        if (o.value(QStringLiteral("semaine")).toString() == s)
            l.append(o);
    return {{QStringLiteral("semaine"), s},
            {QStringLiteral("debut"), QDateTime(lundi, QTime(0, 0)).toUTC().toString(Qt::ISODate)},
            {QStringLiteral("fin"), QDateTime(lundi.addDays(7), QTime(0, 0)).toUTC().toString(Qt::ISODate)},
            {QStringLiteral("gestionnaire"), true},
            {QStringLiteral("objectifs"), l}};
}

QJsonObject EquipeDemo::fixerObjectif(const QJsonObject& saisi)
{
    const QString id = saisi.value(QStringLiteral("id")).toString();
    QJsonObject o;
    qsizetype index = -1;
    for (qsizetype i = 0; i < objectifs_.size(); ++i)
        if (objectifs_[i].value(QStringLiteral("id")).toString() == id)
            index = i;
    if (!id.isEmpty() && index < 0)
        return {};
    if (index >= 0)
        o = objectifs_[index];
    const QString compte = saisi.value(QStringLiteral("compte_id")).toString();
    const QString type = saisi.value(QStringLiteral("type")).toString();
    const double cible = saisi.value(QStringLiteral("cible")).toDouble();
    const QString competence = saisi.value(QStringLiteral("competence")).toString();
    QJsonArray prog;
    for (const auto& [cle, nom] : membresDemo)
        if (compte.isEmpty() || compte == cle)
            prog.append(progression(cle, 0, std::nullopt, false));
    if (index < 0) {
        o.insert(QStringLiteral("id"), QStringLiteral("demo-o%1").arg(suivant_++));
        o.insert(QStringLiteral("cree_par"), manager);
        o.insert(QStringLiteral("progression"), prog);
    }
    const QString jour = saisi.value(QStringLiteral("semaine")).toString();
    o.insert(QStringLiteral("semaine"), semaine(jour.isEmpty() ? o.value(QStringLiteral("semaine")).toString() : jour).value(QStringLiteral("semaine")));
    o.insert(QStringLiteral("compte_id"), compte.isEmpty() ? QJsonValue() : QJsonValue(compte));
    o.insert(QStringLiteral("compte_nom"), compte.isEmpty() ? QJsonValue() : QJsonValue(nomDe(compte)));
    o.insert(QStringLiteral("equipe"), compte.isEmpty());
    o.insert(QStringLiteral("type"), type);
    o.insert(QStringLiteral("cible"), cible);
    o.insert(QStringLiteral("competence"), competence.isEmpty() ? QJsonValue() : QJsonValue(competence));
    o.insert(QStringLiteral("libelle"), libelleObjectif(type, cible, competence));
    o.insert(QStringLiteral("actif"), saisi.value(QStringLiteral("actif")).toBool(true));
    if (index >= 0)
        objectifs_[index] = o;
    else
        objectifs_.append(o);
    return o;
}

QJsonObject EquipeDemo::classement(int jours) const
{
    const QDateTime maintenant = horloge_ ? horloge_() : QDateTime::currentDateTimeUtc();
    const QDateTime debut = maintenant.addDays(-jours), avant = debut.addDays(-jours);
    QHash<QString, QList<double>> scores, precedents;
    for (const model::Appel& a : analyses()) {
        const auto t = model::lireHorodatage(a.debut);
        if (!t || *t > maintenant || *t < avant)
            continue;
        (*t >= debut ? scores : precedents)[*a.compteId] << double(a.analyse->score);
    }
    // Objectives of the week, as the ranking counts them.
    const QJsonArray cette = semaine(QString()).value(QStringLiteral("objectifs")).toArray();
    QList<QJsonObject> membres;
    for (const auto& [id, nom] : membresDemo) {
        int objectifs = 0, atteints = 0;
        for (const QJsonValue& o : cette)
            for (const QJsonValue& pr : o[QStringLiteral("progression")].toArray())
                if (pr[QStringLiteral("compte_id")].toString() == id) {
                    ++objectifs;
                    atteints += pr[QStringLiteral("atteint")].toBool() ? 1 : 0;
                }
        const auto score = moyenne(scores.value(id)), precedent = moyenne(precedents.value(id));
        membres.append(QJsonObject{{QStringLiteral("compte_id"), id},
                        {QStringLiteral("nom"), nom},
                        {QStringLiteral("role_org"), QStringLiteral("commercial")},
                        {QStringLiteral("appels"), int(scores.value(id).size())},
                        {QStringLiteral("score_moyen"), nombreOuNull(score)},
                        {QStringLiteral("score_moyen_precedent"), nombreOuNull(precedent)},
                        {QStringLiteral("progression"), score && precedent ? QJsonValue(std::round(10 * (*score - *precedent)) / 10) : QJsonValue()},
                        {QStringLiteral("objectifs"), objectifs},
                        {QStringLiteral("objectifs_atteints"), atteints},
                        {QStringLiteral("moi"), false}});
    }
    std::sort(membres.begin(), membres.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(QStringLiteral("score_moyen")).toDouble(-1) > b.value(QStringLiteral("score_moyen")).toDouble(-1);
    });
    QJsonArray l;
    int rang = 0;
    for (QJsonObject m : membres) {
        if (m.value(QStringLiteral("appels")).toInt() > 0)
            m.insert(QStringLiteral("rang"), ++rang);
        l.append(m);
    }
    l.append(QJsonObject{{QStringLiteral("compte_id"), manager}, {QStringLiteral("nom"), nomManager}, {QStringLiteral("role_org"), QStringLiteral("manager")},
                         {QStringLiteral("appels"), 0}, {QStringLiteral("objectifs"), 0}, {QStringLiteral("objectifs_atteints"), 0},
                         {QStringLiteral("moi"), true}});
    return {{QStringLiteral("periode_jours"), jours},
            {QStringLiteral("debut"), debut.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("fin"), maintenant.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("membres"), l}};
}

QJsonArray EquipeDemo::rapports() const
{
    const QDate lundi = QDate::fromString(semaine(QString()).value(QStringLiteral("semaine")).toString(), Qt::ISODate).addDays(-7);
    struct Cumul {
        int appels = 0;
        double duree = 0;
        QList<double> scores;
        QMap<QString, QList<double>> competences;
    };
    QHash<QString, Cumul> parMembre;
    Cumul equipe;
    for (const model::Appel& a : analyses())
        for (Cumul* c : {&parMembre[*a.compteId], &equipe}) {
            ++c->appels;
            c->duree += a.duree;
            c->scores << double(a.analyse->score);
            for (auto it = a.analyse->dimensions.cbegin(); it != a.analyse->dimensions.cend(); ++it)
                c->competences[it.key()] << double(it->score);
        }
    auto chiffres = [](const Cumul& c, double precedent, double parole, double questions) {
        QJsonObject comp;
        for (auto it = c.competences.cbegin(); it != c.competences.cend(); ++it)
            comp.insert(it.key(), moyenne(it.value()).value_or(0));
        const auto score = moyenne(c.scores);
        return QJsonObject{{QStringLiteral("appels"), c.appels},
                           {QStringLiteral("duree_totale_sec"), c.duree},
                           {QStringLiteral("score_moyen"), nombreOuNull(score)},
                           {QStringLiteral("score_moyen_precedent"), precedent},
                           {QStringLiteral("progression"), score ? QJsonValue(std::round(10 * (*score - precedent)) / 10) : QJsonValue()},
                           {QStringLiteral("part_parole"), parole},
                           {QStringLiteral("questions_par_appel"), questions},
                           {QStringLiteral("competences"), comp}};
    };
    QJsonObject chiffresEquipe = chiffres(equipe, 68, 47, 4.6);
    chiffresEquipe.insert(QStringLiteral("membres"), int(membresDemo.size()));
    chiffresEquipe.insert(QStringLiteral("appels_epingles"), int(epingles_.size()));
    chiffresEquipe.insert(QStringLiteral("objectifs"), 3);
    chiffresEquipe.insert(QStringLiteral("objectifs_atteints"), 2);
    QJsonArray membres;
    const double precedents[] = {74, 63}, paroles[] = {44, 51}, questions[] = {5.7, 3.8};
    for (int i = 0; i < membresDemo.size(); ++i) {
        QJsonObject m = chiffres(parMembre.value(membresDemo[i].first), precedents[i], paroles[i], questions[i]);
        m.insert(QStringLiteral("compte_id"), membresDemo[i].first);
        m.insert(QStringLiteral("nom"), membresDemo[i].second);
        m.insert(QStringLiteral("role_org"), QStringLiteral("commercial"));
        m.insert(QStringLiteral("objectifs"), i == 0 ? 2 : 3);
        m.insert(QStringLiteral("objectifs_atteints"), 1);
        membres.append(m);
    }
    const QString genere = QDateTime(lundi.addDays(7), QTime(7, 0)).toUTC().toString(Qt::ISODate);
    const QJsonObject contenu{
        {QStringLiteral("semaine"), lundi.toString(Qt::ISODate)},
        {QStringLiteral("debut"), QDateTime(lundi, QTime(0, 0)).toUTC().toString(Qt::ISODate)},
        {QStringLiteral("fin"), QDateTime(lundi.addDays(7), QTime(0, 0)).toUTC().toString(Qt::ISODate)},
        {QStringLiteral("synthese"),
         QStringLiteral("Semaine solide pour l'équipe : les démos partent de la douleur du client et la valeur est chiffrée par les prospects. "
                        "Léa tient le rythme et conclut ; Hugo progresse en découverte mais cède trop vite sur le prix. "
                        "Pour toute l'équipe, la prochaine étape doit être datée avant de raccrocher.")},
        {QStringLiteral("synthese_source"), QStringLiteral("ia")},
        {QStringLiteral("genere_le"), genere},
        {QStringLiteral("faits_marquants"),
         QJsonArray{QStringLiteral("Un closing signé, avec la date de démarrage fixée pendant l'appel."),
                    QStringLiteral("Une remise proposée trop tôt, sans contrepartie : à reprendre en coaching."),
                    QStringLiteral("Hugo atteint l'objectif de 5 appels dans la semaine.")}},
        {QStringLiteral("equipe"), chiffresEquipe},
        {QStringLiteral("par_membre"), membres}};
    return {QJsonObject{{QStringLiteral("id"), QStringLiteral("demo-r1")},
                        {QStringLiteral("semaine"), lundi.toString(Qt::ISODate)},
                        {QStringLiteral("cree_le"), genere},
                        {QStringLiteral("contenu"), contenu}}};
}

} // namespace vd::team
