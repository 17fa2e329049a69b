#include "bibliotheque.h"

namespace vd::model {

namespace {
inline VueJson val(const VueJson& o, const char* k) { return o.champ(k); }
inline QString txt(const VueJson& o, const char* k) { return lire::texte(val(o, k), QString()); }
} // namespace

std::optional<Offre> Offre::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    return Offre{txt(o, "nom"), txt(o, "description"), txt(o, "prix"), txt(o, "cycleVente")};
}

void ecrire(EcrivainJson& e, const Offre& r)
{
    e.debutObjet();
    e.champ("nom", r.nom);
    e.champ("description", r.description);
    e.champ("prix", r.prix);
    e.champ("cycleVente", r.cycleVente);
    e.finObjet();
}

std::optional<Entreprise> Entreprise::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Entreprise en;
    en.nom = txt(o, "nom");
    en.site = txt(o, "site");
    en.secteur = txt(o, "secteur");
    en.description = txt(o, "description");
    en.offre = Offre::depuisJson(val(o, "offre")).value_or(Offre{});
    en.benefices = lire::textes(val(o, "benefices"));
    en.differenciant = txt(o, "differenciant");
    en.preuves = lire::textes(val(o, "preuves"));
    en.concurrents = lire::textes(val(o, "concurrents"));
    const VueJson r = val(o, "relances");
    if (r.isObject())
        en.relances = JSONValeur(r.versQt());
    return en;
}

void ecrire(EcrivainJson& e, const Entreprise& r)
{
    e.debutObjet();
    e.champ("nom", r.nom);
    e.champ("site", r.site);
    e.champ("secteur", r.secteur);
    e.champ("description", r.description);
    e.champ("offre", r.offre);
    e.champ("benefices", r.benefices);
    e.champ("differenciant", r.differenciant);
    e.champ("preuves", r.preuves);
    e.champ("concurrents", r.concurrents);
    e.champ("relances", r.relances);
    e.finObjet();
}

std::optional<ProfilClient> ProfilClient::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ProfilClient p;
    p.id = txt(o, "id");
    p.nom = txt(o, "nom");
    p.typeVente = txt(o, "typeVente");
    p.role = txt(o, "role");
    p.secteur = txt(o, "secteur");
    p.taille = txt(o, "taille");
    p.maturite = txt(o, "maturite");
    p.douleurs = lire::textes(val(o, "douleurs"));
    p.objectifs = lire::textes(val(o, "objectifs"));
    p.declencheurs = lire::textes(val(o, "declencheurs"));
    p.criteres = lire::textes(val(o, "criteres"));
    p.creeLe = txt(o, "creeLe");
    p.majLe = txt(o, "majLe");
    return p;
}

void ecrire(EcrivainJson& e, const ProfilClient& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("nom", r.nom);
    e.champ("typeVente", r.typeVente);
    e.champ("role", r.role);
    e.champ("secteur", r.secteur);
    e.champ("taille", r.taille);
    e.champ("maturite", r.maturite);
    e.champ("douleurs", r.douleurs);
    e.champ("objectifs", r.objectifs);
    e.champ("declencheurs", r.declencheurs);
    e.champ("criteres", r.criteres);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.finObjet();
}

std::optional<ObjectionLib> ObjectionLib::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    return ObjectionLib{txt(o, "id"), txt(o, "categorie"), txt(o, "libelle"), txt(o, "reponse"), txt(o, "creeLe"), txt(o, "majLe")};
}

void ecrire(EcrivainJson& e, const ObjectionLib& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("categorie", r.categorie);
    e.champ("libelle", r.libelle);
    e.champ("reponse", r.reponse);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.finObjet();
}

std::optional<QuestionFavorite> QuestionFavorite::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    QuestionFavorite q;
    q.id = txt(o, "id");
    q.texte = txt(o, "texte");
    q.categorie = lire::texteOpt(val(o, "categorie"));
    q.creeLe = txt(o, "creeLe");
    q.majLe = txt(o, "majLe");
    return q;
}

void ecrire(EcrivainJson& e, const QuestionFavorite& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("texte", r.texte);
    e.champ("categorie", r.categorie);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.finObjet();
}

std::optional<ObjectifLocal> ObjectifLocal::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ObjectifLocal ob;
    ob.id = txt(o, "id");
    ob.type = txt(o, "type");
    ob.cible = lire::nombre(val(o, "cible"), 0.0);
    ob.competence = lire::texteOpt(val(o, "competence"));
    ob.actif = lire::booleen(val(o, "actif"), false);
    ob.creeLe = txt(o, "creeLe");
    ob.majLe = txt(o, "majLe");
    return ob;
}

void ecrire(EcrivainJson& e, const ObjectifLocal& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("type", r.type);
    e.champ("cible", r.cible);
    e.champ("competence", r.competence);
    e.champ("actif", r.actif);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.finObjet();
}

} // namespace vd::model
