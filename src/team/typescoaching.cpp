#include "typescoaching.h"

#include "champsjson.h"

#include <QJsonArray>
#include <QLocale>

namespace vd::team {

namespace lire = model::lire;

namespace {

using namespace champs;

std::optional<QDateTime> date(const QJsonObject& o, const char* cle)
{
    const auto t = texteOpt(o, cle);
    if (!t)
        return std::nullopt;
    QDateTime d = QDateTime::fromString(*t, Qt::ISODateWithMs);
    if (!d.isValid())
        d = QDateTime::fromString(*t, Qt::ISODate);
    return d.isValid() ? std::optional(d) : std::nullopt;
}

} // namespace

std::optional<CommentaireAppel::AppelLie> CommentaireAppel::AppelLie::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    AppelLie a;
    a.id = chaine(o, "id");
    if (!v.isObject() || a.id.isEmpty())
        return std::nullopt;
    a.compteId = texteOpt(o, "compte_id");
    a.contactId = texteOpt(o, "contact_id");
    a.type = texteOpt(o, "type");
    a.debut = texteOpt(o, "debut");
    return a;
}

std::optional<CommentaireAppel> CommentaireAppel::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    CommentaireAppel c;
    c.id = chaine(o, "id");
    if (!v.isObject() || c.id.isEmpty())
        return std::nullopt;
    c.appelId = chaine(o, "appel_id");
    c.auteurId = texteOpt(o, "auteur_id");
    c.auteurNom = texteOpt(o, "auteur_nom");
    c.tMs = lire::entier(champ(o, "t_ms"));
    c.texte = chaine(o, "texte");
    c.creeLe = date(o, "cree_le");
    c.majLe = date(o, "maj_le");
    c.modifiable = booleen(o, "modifiable");
    c.supprimable = booleen(o, "supprimable", c.modifiable);
    c.appel = AppelLie::depuisJson(champ(o, "appel"));
    if (c.appelId.isEmpty() && c.appel)
        c.appelId = c.appel->id;
    return c;
}

std::optional<AppelExemplaire> AppelExemplaire::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    AppelExemplaire e;
    e.appelId = chaine(o, "appel_id");
    if (!v.isObject() || e.appelId.isEmpty())
        return std::nullopt;
    e.note = texteOpt(o, "note");
    e.epinglePar = texteOpt(o, "epingle_par");
    e.epingleParNom = texteOpt(o, "epingle_par_nom");
    e.epingleLe = date(o, "epingle_le");
    e.auteurId = texteOpt(o, "auteur_id");
    e.auteurNom = texteOpt(o, "auteur_nom");
    e.contactId = texteOpt(o, "contact_id");
    e.type = texteOpt(o, "type");
    e.objectif = texteOpt(o, "objectif");
    e.debut = texteOpt(o, "debut");
    e.duree = nombre(o, "duree");
    e.score = entierOpt(o, "score");
    if (champ(o, "appel").isObject())
        e.appel = champ(o, "appel").toObject();
    return e;
}

std::optional<ProgressionObjectif> ProgressionObjectif::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ProgressionObjectif p;
    p.compteId = chaine(o, "compte_id");
    p.nom = chaine(o, "nom");
    p.appels = entier(o, "appels");
    p.valeur = nombre(o, "valeur");
    p.atteint = booleen(o, "atteint");
    p.moi = booleen(o, "moi");
    return p;
}

std::optional<ObjectifEquipe> ObjectifEquipe::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    ObjectifEquipe b;
    b.id = chaine(o, "id");
    if (!v.isObject() || b.id.isEmpty())
        return std::nullopt;
    b.compteId = texteOpt(o, "compte_id");
    b.compteNom = texteOpt(o, "compte_nom");
    b.equipe = booleen(o, "equipe", !b.compteId);
    b.type = chaine(o, "type");
    b.cible = nombre(o, "cible").value_or(0);
    b.competence = texteOpt(o, "competence");
    b.libelle = chaine(o, "libelle");
    b.semaine = chaine(o, "semaine");
    b.actif = booleen(o, "actif", true);
    b.creePar = texteOpt(o, "cree_par");
    b.progression = liste<ProgressionObjectif>(champ(o, "progression"));
    b.valeurEquipe = nombre(o, "valeur_equipe");
    b.local = booleen(o, "local");
    return b;
}

std::optional<ObjectifsSemaine> ObjectifsSemaine::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ObjectifsSemaine s;
    s.semaine = chaine(o, "semaine");
    s.debut = date(o, "debut");
    s.fin = date(o, "fin");
    s.gestionnaire = booleen(o, "gestionnaire");
    s.objectifs = liste<ObjectifEquipe>(champ(o, "objectifs"));
    return s;
}

std::optional<MembreClassement> MembreClassement::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    MembreClassement m;
    m.rang = entierOpt(o, "rang");
    m.compteId = chaine(o, "compte_id");
    m.nom = chaine(o, "nom");
    m.roleOrg = chaine(o, "role_org");
    m.appels = entier(o, "appels");
    m.scoreMoyen = nombre(o, "score_moyen");
    m.scoreMoyenPrecedent = nombre(o, "score_moyen_precedent");
    m.progression = nombre(o, "progression");
    m.objectifs = entier(o, "objectifs");
    m.objectifsAtteints = entier(o, "objectifs_atteints");
    m.moi = booleen(o, "moi");
    return m;
}

std::optional<ClassementEquipe> ClassementEquipe::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ClassementEquipe c;
    c.periodeJours = entier(o, "periode_jours");
    c.debut = date(o, "debut");
    c.fin = date(o, "fin");
    c.membres = liste<MembreClassement>(champ(o, "membres"));
    return c;
}

std::optional<ChiffresRapport> ChiffresRapport::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    ChiffresRapport c;
    c.compteId = texteOpt(o, "compte_id");
    c.nom = texteOpt(o, "nom");
    c.roleOrg = texteOpt(o, "role_org");
    c.membres = entierOpt(o, "membres");
    c.appels = entier(o, "appels");
    c.dureeTotaleSec = nombre(o, "duree_totale_sec").value_or(0);
    c.scoreMoyen = nombre(o, "score_moyen");
    c.scoreMoyenPrecedent = nombre(o, "score_moyen_precedent");
    c.progression = nombre(o, "progression");
    c.partParole = nombre(o, "part_parole");
    c.questionsParAppel = nombre(o, "questions_par_appel");
    const QJsonObject comp = champ(o, "competences").toObject();
    for (auto it = comp.begin(); it != comp.end(); ++it)
        if (const auto n = lire::nombre(it.value()))
            c.competences.insert(it.key(), *n);
    c.jetons = nombre(o, "jetons");
    c.appelsEpingles = entierOpt(o, "appels_epingles");
    c.objectifs = entier(o, "objectifs");
    c.objectifsAtteints = entier(o, "objectifs_atteints");
    return c;
}

ContenuRapport ContenuRapport::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    ContenuRapport c;
    c.semaine = chaine(o, "semaine");
    c.debut = date(o, "debut");
    c.fin = date(o, "fin");
    c.synthese = chaine(o, "synthese");
    c.syntheseSource = chaine(o, "synthese_source");
    c.modele = texteOpt(o, "modele");
    c.genereLe = date(o, "genere_le");
    c.faitsMarquants = lire::textes(champ(o, "faits_marquants"));
    c.equipe = ChiffresRapport::depuisJson(champ(o, "equipe")).value_or(ChiffresRapport());
    c.parMembre = liste<ChiffresRapport>(champ(o, "par_membre"));
    return c;
}

std::optional<RapportEquipe> RapportEquipe::depuisJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    RapportEquipe r;
    r.id = chaine(o, "id");
    if (!v.isObject() || r.id.isEmpty())
        return std::nullopt;
    r.semaine = chaine(o, "semaine");
    r.creeLe = date(o, "cree_le");
    r.contenu = ContenuRapport::depuisJson(champ(o, "contenu"));
    if (r.semaine.isEmpty())
        r.semaine = r.contenu.semaine;
    return r;
}

QJsonObject ObjectifSaisi::versJson() const
{
    QJsonObject o{{QStringLiteral("type"), type}, {QStringLiteral("cible"), cible}, {QStringLiteral("actif"), actif}};
    if (id)
        o.insert(QStringLiteral("id"), *id);
    o.insert(QStringLiteral("compte_id"), compteId ? QJsonValue(*compteId) : QJsonValue());
    if (competence)
        o.insert(QStringLiteral("competence"), *competence);
    if (semaine)
        o.insert(QStringLiteral("semaine"), *semaine);
    return o;
}

namespace {
QJsonValue ou(const std::optional<QString>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue ou(const std::optional<double>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue ou(const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue ou(const std::optional<QDateTime>& v)
{
    return v ? QJsonValue(v->toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}
} // namespace

QJsonObject CommentaireAppel::versJson() const
{
    QJsonObject o{{QStringLiteral("id"), id}, {QStringLiteral("appel_id"), appelId}, {QStringLiteral("auteur_id"), ou(auteurId)},
                  {QStringLiteral("auteur_nom"), ou(auteurNom)},
                  {QStringLiteral("t_ms"), tMs ? QJsonValue(double(*tMs)) : QJsonValue()}, {QStringLiteral("texte"), texte},
                  {QStringLiteral("cree_le"), ou(creeLe)}, {QStringLiteral("maj_le"), ou(majLe)},
                  {QStringLiteral("modifiable"), modifiable}};
    if (appel)
        o.insert(QStringLiteral("appel"), QJsonObject{{QStringLiteral("id"), appel->id}, {QStringLiteral("compte_id"), ou(appel->compteId)},
                                                      {QStringLiteral("contact_id"), ou(appel->contactId)},
                                                      {QStringLiteral("type"), ou(appel->type)}, {QStringLiteral("debut"), ou(appel->debut)}});
    return o;
}

QJsonObject ObjectifsSemaine::versJson() const
{
    QJsonArray l;
    for (const ObjectifEquipe& b : objectifs) {
        QJsonArray p;
        for (const ProgressionObjectif& x : b.progression)
            p.append(QJsonObject{{QStringLiteral("compte_id"), x.compteId}, {QStringLiteral("nom"), x.nom},
                                 {QStringLiteral("appels"), x.appels}, {QStringLiteral("valeur"), ou(x.valeur)},
                                 {QStringLiteral("atteint"), x.atteint}, {QStringLiteral("moi"), x.moi}});
        l.append(QJsonObject{{QStringLiteral("id"), b.id}, {QStringLiteral("compte_id"), ou(b.compteId)},
                             {QStringLiteral("compte_nom"), ou(b.compteNom)}, {QStringLiteral("equipe"), b.equipe},
                             {QStringLiteral("type"), b.type}, {QStringLiteral("cible"), b.cible},
                             {QStringLiteral("competence"), ou(b.competence)}, {QStringLiteral("libelle"), b.libelle},
                             {QStringLiteral("semaine"), b.semaine}, {QStringLiteral("actif"), b.actif},
                             {QStringLiteral("cree_par"), ou(b.creePar)}, {QStringLiteral("progression"), p},
                             {QStringLiteral("valeur_equipe"), ou(b.valeurEquipe)}, {QStringLiteral("local"), b.local}});
    }
    return {{QStringLiteral("semaine"), semaine}, {QStringLiteral("debut"), ou(debut)}, {QStringLiteral("fin"), ou(fin)},
            {QStringLiteral("gestionnaire"), gestionnaire}, {QStringLiteral("objectifs"), l}};
}

QJsonObject ClassementEquipe::versJson() const
{
    QJsonArray l;
    for (const MembreClassement& m : membres)
        l.append(QJsonObject{{QStringLiteral("rang"), ou(m.rang)}, {QStringLiteral("compte_id"), m.compteId},
                             {QStringLiteral("nom"), m.nom}, {QStringLiteral("role_org"), m.roleOrg},
                             {QStringLiteral("appels"), m.appels}, {QStringLiteral("score_moyen"), ou(m.scoreMoyen)},
                             {QStringLiteral("score_moyen_precedent"), ou(m.scoreMoyenPrecedent)},
                             {QStringLiteral("progression"), ou(m.progression)}, {QStringLiteral("objectifs"), m.objectifs},
                             {QStringLiteral("objectifs_atteints"), m.objectifsAtteints}, {QStringLiteral("moi"), m.moi}});
    return {{QStringLiteral("periode_jours"), periodeJours}, {QStringLiteral("debut"), ou(debut)}, {QStringLiteral("fin"), ou(fin)},
            {QStringLiteral("membres"), l}};
}

QString texteMoment(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, ms / 1000);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg((s / 60) % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString texteNombre(double v, int decimales)
{
    QString t = QLocale(QLocale::French).toString(v, 'f', decimales);
    if (t.contains(QLatin1Char(','))) {
        while (t.endsWith(QLatin1Char('0')))
            t.chop(1);
        if (t.endsWith(QLatin1Char(',')))
            t.chop(1);
    }
    return t;
}

} // namespace vd::team
