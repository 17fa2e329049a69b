#include "framework.h"

#include "champsjson.h"
#include "model/store.h"

#include <QSet>
#include <QUuid>
#include <cmath>

namespace vd::team {

namespace lire = model::lire;

namespace {

using namespace champs;
using champs::chaine;   // overloaded below
using champs::texteOpt;

// The first key that holds a text: records read from the backend use snake_case.
QString chaine(const QJsonObject& o, const char* cle, const char* autre)
{
    const auto t = lire::texte(champ(o, cle));
    return t ? *t : chaine(o, autre);
}
std::optional<QString> texteOpt(const QJsonObject& o, const char* cle, const char* autre)
{
    const auto t = texteOpt(o, cle);
    return t ? t : texteOpt(o, autre);
}
template<typename T>
QJsonArray tableau(const QList<T>& l)
{
    QJsonArray a;
    for (const T& x : l)
        a.append(x.versJson());
    return a;
}
void optionnel(QJsonObject& o, const char* cle, const std::optional<QString>& v)
{
    if (v)
        o.insert(QLatin1String(cle), *v);
}

QString uuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

// Lengths count characters of the trimmed text.
qsizetype longueur(const QString& s) { return s.trimmed().toUcs4().size(); }

} // namespace

// ---------------------------------------------------------------- records

std::optional<ObjectionEtape> ObjectionEtape::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return ObjectionEtape{uuid(), chaine(o, "texte"), chaine(o, "reponse"), texteOpt(o, "objectionId")};
}

QJsonObject ObjectionEtape::versJson() const
{
    QJsonObject o{{QStringLiteral("texte"), texte}, {QStringLiteral("reponse"), reponse}};
    optionnel(o, "objectionId", objectionId);
    return o;
}

std::optional<EtapeFramework> EtapeFramework::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    EtapeFramework e;
    e.id = chaine(o, "id");
    e.nom = chaine(o, "nom");
    e.criteres = textes(o, "criteres");
    // A weight that is there but is not a finite number must not pass as 0.
    const QJsonValue p = champ(o, "poids");
    if (!p.isUndefined() && !p.isNull())
        e.poids = lire::nombre(p).value_or(std::nan(""));
    e.objectif = chaine(o, "objectif");
    e.questions = textes(o, "questions");
    e.transition = chaine(o, "transition");
    e.typesAppel = textes(o, "typesAppel");
    e.objections = liste<ObjectionEtape>(champ(o, "objections"));
    e.phase = chaine(o, "phase");
    return e;
}

QJsonObject EtapeFramework::versJson() const
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("nom"), nom},
            {QStringLiteral("criteres"), QJsonArray::fromStringList(criteres)},
            {QStringLiteral("poids"), poids},
            {QStringLiteral("objectif"), objectif},
            {QStringLiteral("questions"), QJsonArray::fromStringList(questions)},
            {QStringLiteral("transition"), transition},
            {QStringLiteral("typesAppel"), QJsonArray::fromStringList(typesAppel)},
            {QStringLiteral("objections"), tableau(objections)},
            {QStringLiteral("phase"), phase}};
}

bool EtapeFramework::pourType(const QString& type) const
{
    if (typesAppel.isEmpty())
        return true;
    for (const QString& t : typesAppel)
        if (t.trimmed() == type.trimmed())
            return true;
    return false;
}

std::optional<ItemQualification> ItemQualification::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return ItemQualification{chaine(o, "id"), chaine(o, "nom"), chaine(o, "sigle"), chaine(o, "pourquoi"),
                             textes(o, "questions"), chaine(o, "champ")};
}

QJsonObject ItemQualification::versJson() const
{
    return {{QStringLiteral("id"), id},           {QStringLiteral("nom"), nom},
            {QStringLiteral("sigle"), sigle},     {QStringLiteral("pourquoi"), pourquoi},
            {QStringLiteral("questions"), QJsonArray::fromStringList(questions)},
            {QStringLiteral("champ"), champ}};
}

std::optional<GrilleQualification> GrilleQualification::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    GrilleQualification g;
    // The engine's list names a grid by "id" and "label".
    g.methode = chaine(o, "methode", "id");
    g.nom = chaine(o, "nom", "label");
    g.genre = chaine(o, "genre");
    g.items = liste<ItemQualification>(champ(o, "items"));
    return g;
}

QJsonObject GrilleQualification::versJson() const
{
    return {{QStringLiteral("methode"), methode},
            {QStringLiteral("nom"), nom},
            {QStringLiteral("genre"), genre},
            {QStringLiteral("items"), tableau(items)}};
}

const ItemQualification* GrilleQualification::itemParId(const QString& id) const
{
    for (const ItemQualification& i : items)
        if (memeId(i.id, id))
            return &i;
    return nullptr;
}

std::optional<FrameworkVente> FrameworkVente::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    FrameworkVente f;
    f.id = chaine(o, "id");
    f.nom = chaine(o, "nom");
    f.description = chaine(o, "description");
    f.methode = chaine(o, "methode");
    f.etapes = liste<EtapeFramework>(champ(o, "etapes"));
    f.actif = lire::booleen(champ(o, "actif"), true);
    f.parDefaut = lire::booleen(champ(o, "parDefaut"), false);
    f.creeLe = chaine(o, "creeLe");
    f.majLe = chaine(o, "majLe");
    f.creePar = texteOpt(o, "creePar");
    f.majPar = texteOpt(o, "majPar");
    f.qualification = GrilleQualification::depuisJson(champ(o, "qualification"));
    return f;
}

QJsonObject FrameworkVente::versJson() const
{
    QJsonObject o{{QStringLiteral("id"), id},
                  {QStringLiteral("nom"), nom},
                  {QStringLiteral("description"), description},
                  {QStringLiteral("methode"), methode},
                  {QStringLiteral("etapes"), tableau(etapes)},
                  {QStringLiteral("actif"), actif},
                  {QStringLiteral("parDefaut"), parDefaut},
                  {QStringLiteral("creeLe"), creeLe},
                  {QStringLiteral("majLe"), majLe}};
    optionnel(o, "creePar", creePar);
    optionnel(o, "majPar", majPar);
    if (qualification)
        o.insert(QStringLiteral("qualification"), qualification->versJson());
    return o;
}

const EtapeFramework* FrameworkVente::etapeParId(const QString& id) const
{
    for (const EtapeFramework& e : etapes)
        if (memeId(e.id, id))
            return &e;
    return nullptr;
}

GrilleQualification FrameworkVente::grille() const
{
    return qualification && !qualification->items.isEmpty() ? *qualification : grilleEssentiel();
}

QList<EtapeFramework> FrameworkVente::etapesPourType(const QString& type) const
{
    QList<EtapeFramework> r;
    for (const EtapeFramework& e : etapes)
        if (e.pourType(type))
            r.append(e);
    return r;
}

std::optional<QualificationAppel> QualificationAppel::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    QualificationAppel q{chaine(o, "item").trimmed(), chaine(o, "valeur"), chaine(o, "preuve"), chaine(o, "source"),
                         qMax<qint64>(0, lire::entier(champ(o, "tMs"), 0))};
    if (q.item.isEmpty())
        return std::nullopt;
    return q;
}

QJsonObject QualificationAppel::versJson() const
{
    return {{QStringLiteral("item"), item},     {QStringLiteral("valeur"), valeur},
            {QStringLiteral("preuve"), preuve}, {QStringLiteral("source"), source},
            {QStringLiteral("tMs"), double(tMs)}};
}

std::optional<QualificationContact> QualificationContact::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    QualificationContact q{chaine(o, "item").trimmed(), chaine(o, "nom"),  chaine(o, "valeur"),
                           chaine(o, "preuve"),         chaine(o, "date"), texteOpt(o, "appelId"),
                           chaine(o, "source")};
    if (q.item.isEmpty())
        return std::nullopt;
    return q;
}

QJsonObject QualificationContact::versJson() const
{
    QJsonObject o{{QStringLiteral("item"), item},     {QStringLiteral("nom"), nom},
                  {QStringLiteral("valeur"), valeur}, {QStringLiteral("preuve"), preuve},
                  {QStringLiteral("date"), date},     {QStringLiteral("source"), source}};
    optionnel(o, "appelId", appelId);
    return o;
}

std::optional<RegistreDetecte> RegistreDetecte::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    RegistreDetecte r;
    r.registre = chaine(o, "registre");
    r.confiance = qBound(0.0, lire::nombre(champ(o, "confiance"), 0), 1.0);
    r.raison = chaine(o, "raison");
    r.depuisMs = lire::entier(champ(o, "depuisMs"));
    r.sansObjet = lire::booleen(champ(o, "sansObjet"));
    return r;
}

QJsonObject RegistreDetecte::versJson() const
{
    QJsonObject o{{QStringLiteral("registre"), registre},
                  {QStringLiteral("confiance"), confiance},
                  {QStringLiteral("raison"), raison}};
    if (depuisMs)
        o.insert(QStringLiteral("depuisMs"), double(*depuisMs));
    if (sansObjet)
        o.insert(QStringLiteral("sansObjet"), *sansObjet);
    return o;
}

std::optional<RegistreEffectif> RegistreEffectif::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return RegistreEffectif{texteOpt(o, "valeur"),
                            chaine(o, "source"),
                            qBound(0.0, lire::nombre(champ(o, "confiance"), 0), 1.0),
                            chaine(o, "libelle"),
                            chaine(o, "detail"),
                            chaine(o, "choix")};
}

std::optional<PropositionQuestion> PropositionQuestion::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    PropositionQuestion p;
    p.id = chaine(o, "id");
    if (p.id.isEmpty())
        return std::nullopt;
    p.frameworkId = chaine(o, "frameworkId", "framework_id");
    p.etapeId = chaine(o, "etapeId", "etape_id");
    p.question = chaine(o, "question");
    p.appelId = texteOpt(o, "appelId", "appel_id");
    p.auteurId = texteOpt(o, "auteurId", "auteur_id");
    p.auteurNom = chaine(o, "auteurNom", "auteur_nom");
    p.statut = chaine(o, "statut");
    p.creeLe = chaine(o, "creeLe", "cree_le");
    return p;
}

QJsonObject PropositionQuestion::versJson() const
{
    QJsonObject o{{QStringLiteral("id"), id},           {QStringLiteral("frameworkId"), frameworkId},
                  {QStringLiteral("etapeId"), etapeId}, {QStringLiteral("question"), question},
                  {QStringLiteral("auteurNom"), auteurNom}, {QStringLiteral("statut"), statut},
                  {QStringLiteral("creeLe"), creeLe}};
    optionnel(o, "appelId", appelId);
    optionnel(o, "auteurId", auteurId);
    return o;
}

std::optional<StatsEtapeFramework> StatsEtapeFramework::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    StatsEtapeFramework s;
    s.etapeId = chaine(o, "etapeId");
    s.nom = chaine(o, "nom");
    s.appels = entier(o, "appels");
    s.couvertes = entier(o, "couvertes");
    for (const QJsonValue& c : champ(o, "criteresManques").toArray())
        if (c.isObject())
            s.criteresManques.append({chaine(c.toObject(), "texte"), entier(c.toObject(), "fois")});
    for (const QJsonValue& c : champ(o, "objections").toArray())
        if (c.isObject()) {
            const QJsonObject x = c.toObject();
            s.objections.append({chaine(x, "cle"), chaine(x, "libelle"), chaine(x, "exemple"), entier(x, "fois"),
                                 entier(x, "bienTraitees")});
        }
    s.scoreCouverte = lire::nombre(champ(o, "scoreCouverte"));
    s.scoreNonCouverte = lire::nombre(champ(o, "scoreNonCouverte"));
    return s;
}

std::optional<QuestionSuggeree> QuestionSuggeree::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    QuestionSuggeree q{chaine(o, "etapeId"), chaine(o, "question"), chaine(o, "cle"), chaine(o, "categorie"),
                       chaine(o, "info"),    chaine(o, "appelId"),  texteOpt(o, "date"), entier(o, "fois")};
    if (q.question.trimmed().isEmpty())
        return std::nullopt;
    return q;
}

// ---------------------------------------------------------------- ids

FrameworkVente avecIdsNets(FrameworkVente f)
{
    for (EtapeFramework& e : f.etapes)
        e.id = e.id.trimmed();
    if (f.qualification)
        for (ItemQualification& i : f.qualification->items)
            i.id = i.id.trimmed();
    return f;
}

// ---------------------------------------------------------------- validation

std::optional<QString> validerFramework(const FrameworkVente& f)
{
    const qsizetype nom = longueur(f.nom);
    if (nom == 0)
        return QStringLiteral("Donnez un nom au process.");
    if (nom > limites::nom)
        return QStringLiteral("Nom trop long : 120 caractères au plus.");
    if (longueur(f.description) > limites::description)
        return QStringLiteral("Description trop longue : 2 000 caractères au plus.");
    if (f.etapes.isEmpty())
        return QStringLiteral("Ajoutez au moins une étape.");
    if (f.etapes.size() > limites::etapes)
        return QStringLiteral("30 étapes au plus.");
    QSet<QString> ids;
    for (qsizetype i = 0; i < f.etapes.size(); ++i) {
        const EtapeFramework& e = f.etapes[i];
        const QString n = QString::number(i + 1);
        const qsizetype nomEtape = longueur(e.nom);
        if (nomEtape == 0)
            return QStringLiteral("L'étape %1 n'a pas de nom.").arg(n);
        if (nomEtape > limites::nomEtape)
            return QStringLiteral("Nom de l'étape %1 trop long : 200 caractères au plus.").arg(n);
        const QString id = e.id.trimmed();
        if (id.isEmpty() || longueur(id) > limites::idEtape)
            return QStringLiteral("L'étape %1 n'a pas d'identifiant valide.").arg(n);
        if (ids.contains(id))
            return QStringLiteral("Deux étapes ont le même identifiant.");
        ids.insert(id);
        if (e.criteres.size() > limites::criteres)
            return QStringLiteral("30 critères au plus par étape.");
        for (const QString& c : e.criteres)
            if (longueur(c) > limites::critere)
                return QStringLiteral("Un critère dépasse 500 caractères.");
        if (!std::isfinite(e.poids) || e.poids < 0 || e.poids > 100)
            return QStringLiteral("Le poids d'une étape va de 0 à 100.");
        if (longueur(e.objectif) > limites::objectif)
            return QStringLiteral("Objectif de l'étape %1 trop long : 500 caractères au plus.").arg(n);
        if (longueur(e.transition) > limites::transition)
            return QStringLiteral("Transition de l'étape %1 trop longue : 500 caractères au plus.").arg(n);
        if (e.questions.size() > limites::questions)
            return QStringLiteral("8 questions au plus par étape.");
        for (const QString& q : e.questions)
            if (longueur(q) > limites::question)
                return QStringLiteral("Une question dépasse 500 caractères.");
        bool typesValides = e.typesAppel.size() <= limites::typesAppel;
        for (const QString& t : e.typesAppel)
            typesValides = typesValides && longueur(t) > 0 && longueur(t) <= limites::typeAppel;
        if (!typesValides)
            return QStringLiteral("Types d'appel de l'étape %1 invalides.").arg(n);
        if (e.objections.size() > limites::objections)
            return QStringLiteral("10 objections typiques au plus par étape.");
        for (const ObjectionEtape& o : e.objections) {
            const qsizetype t = longueur(o.texte);
            if (t == 0 || t > limites::objection)
                return QStringLiteral("Une objection typique de l'étape %1 est vide ou dépasse 500 caractères.").arg(n);
            if (longueur(o.reponse) > limites::reponse)
                return QStringLiteral("Une réponse à une objection dépasse 1 000 caractères.");
        }
        if (longueur(e.phase) > limites::phase)
            return QStringLiteral("Mode de Quillo de l'étape %1 invalide.").arg(n);
    }
    return std::nullopt;
}

std::optional<QString> validerGrille(const GrilleQualification& g)
{
    if (g.items.isEmpty())
        return QStringLiteral("Ajoutez au moins un item à la grille.");
    if (g.items.size() > limites::items)
        return QStringLiteral("12 items au plus dans la grille.");
    QSet<QString> ids;
    for (qsizetype i = 0; i < g.items.size(); ++i) {
        const ItemQualification& it = g.items[i];
        const QString n = QString::number(i + 1);
        const qsizetype nom = longueur(it.nom);
        if (nom == 0)
            return QStringLiteral("L'item %1 n'a pas de nom.").arg(n);
        if (nom > limites::nomItem)
            return QStringLiteral("Nom de l'item %1 trop long : 80 caractères au plus.").arg(n);
        if (longueur(it.pourquoi) > limites::pourquoi)
            return QStringLiteral("Le pourquoi de l'item %1 dépasse 300 caractères.").arg(n);
        if (it.questions.size() > limites::questionsItem)
            return QStringLiteral("3 questions au plus par item.");
        const QString id = it.id.trimmed();
        if (ids.contains(id))
            return QStringLiteral("Deux items ont le même identifiant.");
        ids.insert(id);
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- grids

QList<GrilleQualification> grillesDepuisMoteur(const QJsonArray& grillesMoteur)
{
    QList<GrilleQualification> r{grilleEssentiel()};
    for (const QJsonValue& v : grillesMoteur) {
        auto g = GrilleQualification::depuisJson(v);
        if (!g || g->methode.trimmed().isEmpty() || g->items.isEmpty())
            continue;
        g->methode = g->methode.trimmed();
        bool connue = false;
        for (const GrilleQualification& x : r)
            connue = connue || x.methode == g->methode;
        if (!connue)
            r.append(*g);
    }
    return r;
}

GrilleQualification grilleParId(const QList<GrilleQualification>& grilles, const QString& id)
{
    for (const GrilleQualification& g : grilles)
        if (memeId(g.methode, id))
            return g;
    return grilleEssentiel();
}

// ---------------------------------------------------------------- the store's frameworks

QList<FrameworkVente> frameworksDe(const model::Etat& etat)
{
    QList<FrameworkVente> r;
    r.reserve(etat.frameworks.size());
    for (const model::JSONValeur& v : etat.frameworks)
        if (auto f = FrameworkVente::depuisJson(v.qt()))
            r.append(std::move(*f));
    return r;
}

std::optional<FrameworkVente> frameworkParId(const model::Etat& etat, const QString& id)
{
    for (const model::JSONValeur& v : etat.frameworks)
        if (v.qt().toObject().value(QLatin1String("id")).toString() == id)
            return FrameworkVente::depuisJson(v.qt());
    return std::nullopt;
}

std::optional<FrameworkVente> frameworkPourMethode(const model::Etat& etat, const QString& methode)
{
    const QList<FrameworkVente> tous = frameworksDe(etat);
    for (const FrameworkVente& f : tous)
        if (f.actif && memeId(f.id, methode))
            return f;
    for (const FrameworkVente& f : tous)
        if (f.actif && f.parDefaut)
            return f;
    return std::nullopt;
}

namespace {

qsizetype indexDe(const model::Etat& e, const QString& id)
{
    for (qsizetype i = 0; i < e.frameworks.size(); ++i)
        if (e.frameworks[i].qt().toObject().value(QLatin1String("id")).toString() == id)
            return i;
    return -1;
}

// Keys this file owns; anything else a stored framework holds is kept on rewrite.
const QStringList clesConnues{QStringLiteral("id"),     QStringLiteral("nom"),     QStringLiteral("description"),
                              QStringLiteral("methode"), QStringLiteral("etapes"), QStringLiteral("actif"),
                              QStringLiteral("parDefaut"), QStringLiteral("creeLe"), QStringLiteral("majLe"),
                              QStringLiteral("creePar"), QStringLiteral("majPar"), QStringLiteral("qualification")};

QJsonObject fusionner(QJsonObject ancien, const QJsonObject& neuf)
{
    for (const QString& c : clesConnues)
        ancien.remove(c);
    for (auto it = neuf.begin(); it != neuf.end(); ++it)
        ancien.insert(it.key(), it.value());
    return ancien;
}

void retirerDefautSauf(model::Etat& e, const QString& id)
{
    for (model::JSONValeur& v : e.frameworks) {
        QJsonObject o = v.qt().toObject();
        if (o.value(QLatin1String("id")).toString() != id && o.value(QLatin1String("parDefaut")).toBool()) {
            o.insert(QStringLiteral("parDefaut"), false);
            v = model::JSONValeur(o);
        }
    }
}

bool changer(model::Store& store, const QString& id, const std::function<void(model::Etat&, qsizetype)>& f)
{
    if (indexDe(store.etat(), id) < 0)
        return false;
    store.modifier([&](model::Etat& e) {
        const qsizetype i = indexDe(e, id);
        if (i >= 0)
            f(e, i);
    });
    return true;
}

} // namespace

std::optional<QString> enregistrerFramework(model::Store& store, FrameworkVente f, std::optional<QString> compteId)
{
    if (auto m = validerFramework(f))
        return m;
    if (f.qualification)
        if (auto m = validerGrille(*f.qualification))
            return m;
    f = avecIdsNets(std::move(f));
    f.nom = f.nom.trimmed();
    if (f.id.trimmed().isEmpty())
        f.id = uuid();
    const QString maintenant = store.horodatageMaintenant();
    const qsizetype i = indexDe(store.etat(), f.id);
    if (f.creeLe.isEmpty())
        f.creeLe = i >= 0 ? lire::texte(store.etat().frameworks[i].qt().toObject().value(QLatin1String("creeLe")),
                                        maintenant)
                          : maintenant;
    f.majLe = maintenant;
    if (compteId) {
        f.majPar = compteId;
        if (i < 0 && !f.creePar)
            f.creePar = compteId;
    }
    // Calls naming no framework follow the default one: without an active default, this one becomes it.
    if (!f.parDefaut && f.actif) {
        bool autreDefaut = false;
        for (const FrameworkVente& x : frameworksDe(store.etat()))
            autreDefaut = autreDefaut || (x.id != f.id && x.actif && x.parDefaut);
        f.parDefaut = !autreDefaut;
    }
    if (f.parDefaut)
        f.actif = true;
    store.modifier([&](model::Etat& e) {
        const qsizetype j = indexDe(e, f.id);
        if (j >= 0)
            e.frameworks[j] = model::JSONValeur(fusionner(e.frameworks[j].qt().toObject(), f.versJson()));
        else
            e.frameworks.append(model::JSONValeur(f.versJson()));
        if (f.parDefaut)
            retirerDefautSauf(e, f.id);
    });
    return std::nullopt;
}

bool definirParDefaut(model::Store& store, const QString& id)
{
    const QString le = store.horodatageMaintenant();
    return changer(store, id, [&](model::Etat& e, qsizetype i) {
        QJsonObject o = e.frameworks[i].qt().toObject();
        o.insert(QStringLiteral("parDefaut"), true);
        o.insert(QStringLiteral("actif"), true);
        o.insert(QStringLiteral("majLe"), le);
        e.frameworks[i] = model::JSONValeur(o);
        retirerDefautSauf(e, id);
    });
}

bool activer(model::Store& store, const QString& id, bool actif)
{
    const QString le = store.horodatageMaintenant();
    return changer(store, id, [&](model::Etat& e, qsizetype i) {
        QJsonObject o = e.frameworks[i].qt().toObject();
        o.insert(QStringLiteral("actif"), actif);
        o.insert(QStringLiteral("majLe"), le);
        e.frameworks[i] = model::JSONValeur(o);
    });
}

bool supprimerFramework(model::Store& store, const QString& id)
{
    if (indexDe(store.etat(), id) < 0)
        return false;
    store.modifier([&](model::Etat& e) {
        const qsizetype i = indexDe(e, id);
        if (i >= 0)
            e.frameworks.removeAt(i);
    }, {{QStringLiteral("frameworks"), id}});
    return true;
}

} // namespace vd::team
