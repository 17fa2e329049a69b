// A small stand-in for the engine script, with rules simple enough for tests to predict.
var etatCharge = null;
var nbContextes = 0;
function lire(t) { return typeof t === "string" ? JSON.parse(t) : t; }
var Moteur = {
  donnees: { ETAPES_ANALYSE: ["Transcript", "Métriques", "Historique du prospect", "Analyse Quillo", "Mise à jour du CRM"] },
  chargerEtat: function (e) { etatCharge = lire(e); return true; },
  nbContextes: function () { return nbContextes; },
  metriques: function (a) {
    a = lire(a);
    var echanges = 0, prec = null;
    (a.transcript || []).forEach(function (s) { if (s.locuteur !== prec) { echanges++; prec = s.locuteur; } });
    return JSON.stringify({ dureeSec: a.duree || 0, nbEchanges: echanges });
  },
  contexteContact: function (c) { c = lire(c); return JSON.stringify({ nom: c.prenom + " " + c.nom }); },
  payloadAnalyse: function (a, contexte, options) {
    a = lire(a);
    if (options !== undefined && typeof lire(options).equipe !== "boolean") throw new Error("options sans équipe");
    if (a.objectif === "incomplet") return JSON.stringify({ incomplet: true });
    if (a.objectif === "jette") throw new Error("Le payload d'analyse est incomplet.");
    return JSON.stringify({ transcript: a.transcript, contexte: lire(contexte), prochaineEtape: a.prochaineEtape || null });
  },
  finaliserAnalyse: function (r, a) {
    r = lire(r);
    r.score = Math.min(100, r.score || 50);
    return JSON.stringify(r);
  },
  normaliserSyntheseManager: function (s) { s = lire(s); s.normalise = true; return JSON.stringify(s); },
  effetsAnalyse: function (an, c) {
    an = lire(an); c = lire(c);
    var crm = an.crm || {};
    return JSON.stringify({
      contact: { etape: crm.etapeSuggeree || c.etape, probabilite: crm.probabilite || 0, champs: (crm.champs || {}) },
      interactions: [{ type: "appel", titre: "Appel", resume: crm.resumeInteraction || "" }],
      prochaineAction: { texte: crm.prochaineAction || "", echeance: "" }
    });
  },
  contexteAppel: function (cfg, exclure) { nbContextes++; cfg = lire(cfg); return JSON.stringify({ contactId: cfg.contactId || null, type: cfg.type || "", exclu: exclure }); },
  payloadLive: function (e) { return JSON.stringify(lire(e)); },
  derniereProspect: function (t) {
    t = lire(t);
    for (var i = t.length - 1; i >= 0; i--) if (t[i].locuteur === "prospect") return t[i].texte;
    return "";
  },
  detecterObjection: function (t) {
    t = lire(t);
    var texte = t.map(function (s) { return s.texte; }).join(" ").toLowerCase();
    var hits = [];
    if (texte.indexOf("trop cher") >= 0) hits.push({ categorie: "prix", extrait: "trop cher" });
    if (texte.indexOf("pas le temps") >= 0) hits.push({ categorie: "temps", extrait: "pas le temps" });
    if (hits.length) return JSON.stringify(hits);
    return "[]";
  },
  detecterQualification: function (e) {
    e = lire(e);
    var texte = e.transcript.map(function (s) { return s.texte; }).join(" ").toLowerCase();
    if (e.transcript[0].locuteur === "prospect" && texte.indexOf("budget") >= 0)
      return JSON.stringify([{ item: "budget", nom: "Budget", champ: "budget", valeur: "défini" }]);
    return "[]";
  },
  detecterRegistre: function (t) {
    t = lire(t);
    var texte = " " + t[0].texte.toLowerCase() + " ";
    if (texte.indexOf(" tu ") >= 0) return JSON.stringify({ registre: "tu", confiance: 0.8 });
    return "{}";
  },
  fusionnerRegistre: function (a, d) { return JSON.stringify(lire(d)); }
};
