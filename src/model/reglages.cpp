#include "reglages.h"

#include <algorithm>

namespace vd::model {

namespace {
inline VueJson val(const VueJson& o, const char* k) { return o.champ(k); }
inline QString txt(const VueJson& o, const char* k, const QString& d = QString()) { return lire::texte(val(o, k), d); }
} // namespace

std::optional<Commercial> Commercial::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Commercial c;
    c.prenom = txt(o, "prenom");
    c.nom = txt(o, "nom");
    c.role = txt(o, "role");
    c.email = txt(o, "email");
    c.style = txt(o, "style", c.style);
    return c;
}

void ecrire(EcrivainJson& e, const Commercial& r)
{
    e.debutObjet();
    e.champ("prenom", r.prenom);
    e.champ("nom", r.nom);
    e.champ("role", r.role);
    e.champ("email", r.email);
    e.champ("style", r.style);
    e.finObjet();
}

std::optional<ChoixModeles> ChoixModeles::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ChoixModeles m;
    if (auto l = lire::texteOpt(val(o, "live")))
        m.live = *l;
    if (auto a = lire::texteOpt(val(o, "analyse")))
        m.analyse = *a;
    return m;
}

void ecrire(EcrivainJson& e, const ChoixModeles& r)
{
    e.debutObjet();
    e.champ("live", r.live);
    e.champ("analyse", r.analyse);
    e.finObjet();
}

std::optional<ReglagesSouffleur> ReglagesSouffleur::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ReglagesSouffleur s;
    s.fenetreContexteSec = lire::entier(val(o, "fenetreContexteSec"), 180);
    s.antiRepetition = lire::booleen(val(o, "antiRepetition"), true);
    s.detection = txt(o, "detection") == QLatin1String("off") ? QStringLiteral("off") : QStringLiteral("suggerer");
    const QString taille = txt(o, "tailleTexte");
    if (taille == QLatin1String("petit") || taille == QLatin1String("grand"))
        s.tailleTexte = taille;
    s.opacite = std::clamp(lire::nombre(val(o, "opacite"), 0.96), 0.6, 1.0);
    s.modeUneLigne = lire::booleen(val(o, "modeUneLigne"), false);
    s.theme = txt(o, "theme") == QLatin1String("clair") ? QStringLiteral("clair") : QStringLiteral("sombre");
    s.masquerPendantPartage = lire::booleen(val(o, "masquerPendantPartage"), true);
    s.animations = false;
    return s;
}

void ecrire(EcrivainJson& e, const ReglagesSouffleur& r)
{
    e.debutObjet();
    e.champ("fenetreContexteSec", r.fenetreContexteSec);
    e.champ("antiRepetition", r.antiRepetition);
    e.champ("detection", r.detection);
    e.champ("tailleTexte", r.tailleTexte);
    e.champ("opacite", r.opacite);
    e.champ("modeUneLigne", r.modeUneLigne);
    e.champ("theme", r.theme);
    e.champ("masquerPendantPartage", r.masquerPendantPartage);
    e.champ("animations", r.animations);
    e.finObjet();
}

std::optional<ReglagesAudio> ReglagesAudio::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    return ReglagesAudio{};
}

void ecrire(EcrivainJson& e, const ReglagesAudio& r)
{
    e.debutObjet();
    e.champ("source", r.source);
    e.finObjet();
}

std::optional<ReglagesTranscription> ReglagesTranscription::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ReglagesTranscription t;
    t.moteur = txt(o, "moteur") == QLatin1String("deepgram") ? QStringLiteral("deepgram") : QStringLiteral("soniox");
    t.sonioxEurope = lire::booleen(val(o, "sonioxEurope"), false);
    return t;
}

void ecrire(EcrivainJson& e, const ReglagesTranscription& r)
{
    e.debutObjet();
    e.champ("moteur", r.moteur);
    e.champ("sonioxEurope", r.sonioxEurope);
    e.finObjet();
}

std::optional<CibleEnregistrement> CibleEnregistrement::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    CibleEnregistrement c;
    c.type = txt(o, "type", c.type);
    c.bundleId = txt(o, "bundleId");
    c.nomApp = txt(o, "nomApp");
    c.titre = txt(o, "titre");
    return c;
}

void ecrire(EcrivainJson& e, const CibleEnregistrement& r)
{
    e.debutObjet();
    e.champ("type", r.type);
    e.champ("bundleId", r.bundleId);
    e.champ("nomApp", r.nomApp);
    e.champ("titre", r.titre);
    e.finObjet();
}

std::optional<ReglagesEnregistrement> ReglagesEnregistrement::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    ReglagesEnregistrement r;
    r.actif = lire::booleen(val(o, "actif"), true);
    r.choisi = lire::booleen(val(o, "choisi"), false);
    r.mention = txt(o, "mention", r.mention);
    r.cible = CibleEnregistrement::depuisJson(val(o, "cible")).value_or(CibleEnregistrement{});
    return r;
}

void ecrire(EcrivainJson& e, const ReglagesEnregistrement& r)
{
    e.debutObjet();
    e.champ("actif", r.actif);
    e.champ("choisi", r.choisi);
    e.champ("mention", r.mention);
    e.champ("cible", r.cible);
    e.finObjet();
}

JSONValeur reglagesQuilloParDefaut()
{
    return JSONValeur(QJsonObject{{QStringLiteral("memoire"), true}, {QStringLiteral("modele"), QStringLiteral("claude-sonnet-5-5")}});
}

std::optional<Reglages> Reglages::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Reglages r;
    r.onboarde = lire::booleen(val(o, "onboarde"), false);
    r.commercial = Commercial::depuisJson(val(o, "commercial")).value_or(Commercial{});
    r.langue = txt(o, "langue", r.langue);
    r.methode = txt(o, "methode", r.methode);
    r.modeles = ChoixModeles::depuisJson(val(o, "modeles")).value_or(ChoixModeles{});
    r.souffleur = ReglagesSouffleur::depuisJson(val(o, "souffleur")).value_or(ReglagesSouffleur{});
    r.audio = ReglagesAudio{};
    r.discret = lire::booleen(val(o, "discret"), true);
    r.relais = txt(o, "relais");
    const VueJson q = val(o, "quillo");
    if (q.isObject())
        r.quillo = JSONValeur(q.versQt());
    r.conservationMois = lire::entier(val(o, "conservationMois"));
    r.enregistrement = ReglagesEnregistrement::depuisJson(val(o, "enregistrement")).value_or(ReglagesEnregistrement{});
    r.transcription = ReglagesTranscription::depuisJson(val(o, "transcription")).value_or(ReglagesTranscription{});
    return r;
}

void ecrire(EcrivainJson& e, const Reglages& r)
{
    e.debutObjet();
    e.champ("onboarde", r.onboarde);
    e.champ("commercial", r.commercial);
    e.champ("langue", r.langue);
    e.champ("methode", r.methode);
    e.champ("modeles", r.modeles);
    e.champ("souffleur", r.souffleur);
    e.champ("audio", r.audio);
    e.champ("discret", r.discret);
    e.champ("relais", r.relais);
    e.champ("quillo", r.quillo);
    e.champ("conservationMois", r.conservationMois);
    e.champ("enregistrement", r.enregistrement);
    e.champ("transcription", r.transcription);
    e.finObjet();
}

} // namespace vd::model
