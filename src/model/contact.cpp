#include "contact.h"

namespace vd::model {

namespace {
inline VueJson val(const VueJson& o, const char* k) { return o.champ(k); }
inline QString txt(const VueJson& o, const char* k) { return lire::texte(val(o, k), QString()); }
} // namespace

std::optional<ChampsContact> ChampsContact::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    return ChampsContact{txt(o, "budget"), txt(o, "decideur"), txt(o, "echeance"), txt(o, "douleur")};
}

void ecrire(EcrivainJson& e, const ChampsContact& r)
{
    e.debutObjet();
    e.champ("budget", r.budget);
    e.champ("decideur", r.decideur);
    e.champ("echeance", r.echeance);
    e.champ("douleur", r.douleur);
    e.finObjet();
}

std::optional<RegistreContact> RegistreContact::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    RegistreContact r;
    r.valeur = lire::texteOpt(val(o, "valeur"));
    r.confiance = lire::nombre(val(o, "confiance"));
    r.le = lire::texteOpt(val(o, "le"));
    r.appelId = lire::texteOpt(val(o, "appelId"));
    r.force = lire::texteOpt(val(o, "force"));
    return r;
}

void ecrire(EcrivainJson& e, const RegistreContact& r)
{
    e.debutObjet();
    e.champ("valeur", r.valeur);
    e.champ("confiance", r.confiance);
    e.champ("le", r.le);
    e.champ("appelId", r.appelId);
    e.champ("force", r.force);
    e.finObjet();
}

std::optional<Contact> Contact::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Contact c;
    c.id = txt(o, "id");
    c.prenom = txt(o, "prenom");
    c.nom = txt(o, "nom");
    c.poste = txt(o, "poste");
    c.societe = txt(o, "societe");
    c.email = txt(o, "email");
    c.tel = txt(o, "tel");
    c.linkedin = txt(o, "linkedin");
    c.profilClientId = txt(o, "profilClientId");
    c.etape = lire::texte(val(o, "etape"), QStringLiteral("nouveau"));
    c.valeur = lire::nombre(val(o, "valeur"), 0.0);
    c.probabilite = lire::nombre(val(o, "probabilite"), 0.0);
    c.source = txt(o, "source");
    c.tags = lire::textes(val(o, "tags"));
    c.notes = txt(o, "notes");
    c.prochaineAction = ProchaineAction::depuisJson(val(o, "prochaineAction"));
    c.champs = ChampsContact::depuisJson(val(o, "champs")).value_or(ChampsContact{});
    c.creeLe = txt(o, "creeLe");
    c.majLe = txt(o, "majLe");
    c.test = lire::booleen(val(o, "test"));
    const VueJson q = val(o, "qualification");
    if (q.isArray())
        c.qualification = lire::objetsBruts(q);
    c.raisonPerte = lire::texteOpt(val(o, "raisonPerte"));
    c.issueLe = lire::texteOpt(val(o, "issueLe"));
    c.issueVue = lire::texteOpt(val(o, "issueVue"));
    c.etapeAvantIssue = lire::texteOpt(val(o, "etapeAvantIssue"));
    const VueJson rel = val(o, "relance");
    if (rel.isObject())
        c.relance = JSONValeur(rel.versQt());
    c.registre = RegistreContact::depuisJson(val(o, "registre"));
    c.etapeAvantSommeil = lire::texteOpt(val(o, "etapeAvantSommeil"));
    c.sommeilLe = lire::texteOpt(val(o, "sommeilLe"));
    return c;
}

QString Contact::nomComplet() const
{
    const QString n = (prenom + QLatin1Char(' ') + nom).trimmed();
    return n.isEmpty() ? societe : n;
}

void ecrire(EcrivainJson& e, const Contact& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("prenom", r.prenom);
    e.champ("nom", r.nom);
    e.champ("poste", r.poste);
    e.champ("societe", r.societe);
    e.champ("email", r.email);
    e.champ("tel", r.tel);
    e.champ("linkedin", r.linkedin);
    e.champ("profilClientId", r.profilClientId);
    e.champ("etape", r.etape);
    e.champ("valeur", r.valeur);
    e.champ("probabilite", r.probabilite);
    e.champ("source", r.source);
    e.champ("tags", r.tags);
    e.champ("notes", r.notes);
    e.champ("prochaineAction", r.prochaineAction);
    e.champ("champs", r.champs);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.champ("test", r.test);
    e.champ("qualification", r.qualification);
    e.champ("raisonPerte", r.raisonPerte);
    e.champ("issueLe", r.issueLe);
    e.champ("issueVue", r.issueVue);
    e.champ("etapeAvantIssue", r.etapeAvantIssue);
    e.champ("relance", r.relance);
    e.champ("registre", r.registre);
    e.champ("etapeAvantSommeil", r.etapeAvantSommeil);
    e.champ("sommeilLe", r.sommeilLe);
    e.finObjet();
}

std::optional<Interaction> Interaction::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Interaction i;
    i.id = txt(o, "id");
    i.contactId = txt(o, "contactId");
    i.type = lire::texte(val(o, "type"), QStringLiteral("note"));
    i.date = txt(o, "date");
    i.titre = txt(o, "titre");
    i.resume = txt(o, "resume");
    i.appelId = lire::texteOpt(val(o, "appelId"));
    i.creeLe = txt(o, "creeLe");
    i.majLe = txt(o, "majLe");
    return i;
}

void ecrire(EcrivainJson& e, const Interaction& r)
{
    e.debutObjet();
    e.champ("id", r.id);
    e.champ("contactId", r.contactId);
    e.champ("type", r.type);
    e.champ("date", r.date);
    e.champ("titre", r.titre);
    e.champ("resume", r.resume);
    e.champ("appelId", r.appelId);
    e.champ("creeLe", r.creeLe);
    e.champ("majLe", r.majLe);
    e.finObjet();
}

} // namespace vd::model
