// ==================================================================== pilotage d'équipe
// Synthèse manager d'un appel : ce qu'un manager doit retenir d'un appel de son équipe
// (moments à coacher avec citation, risque de l'affaire, prochaine étape, suivi du
// Framework, action du manager).
//  payloadSyntheseManager(appel) → payload de la tâche synthese_manager
//  promptSyntheseManager(payload) → {systeme, contenu, schema}
//  normaliserSyntheseManager(réponse brute | objet) → SyntheseManager (texte JSON) ; null si rien d'utilisable
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, tableau = I.tableau, texte = I.texte, nombre = I.nombre, json = I.json;
  var estObjet = I.estObjet, couper = I.couper, plier = I.plier, section = I.section;
  var D = M.donnees;

  var MAX_SEGMENTS = 400, MAX_POINTS = 5;

  M.payloadSyntheseManager = function (appelArg) {
    var a = objet(appelArg);
    var an = estObjet(a.analyse) ? a.analyse : {};
    var segs = tableau(a.transcript).filter(estObjet).slice(0, MAX_SEGMENTS).map(function (s) {
      return { locuteur: texte(s.locuteur) === 'vous' ? 'vous' : 'prospect', texte: couper(texte(s.texte), 400), debutMs: nombre(s.debutMs, 0), finMs: nombre(s.finMs, 0) };
    });
    if (!texte(a.id).trim() || (!segs.length && !texte(an.resume).trim())) throw new Error('Le payload de synthèse est incomplet.');
    var methode = estObjet(an.methode) ? an.methode : {};
    return json({
      tache: 'synthese_manager',
      appel: { id: texte(a.id), type: texte(a.type), objectif: texte(a.objectif), debut: texte(a.debut), duree: nombre(a.duree, 0), langue: texte(a.langue) || 'fr' },
      analyse: {
        score: nombre(an.score, 0), verdict: texte(an.verdict), resume: texte(an.resume),
        coaching: estObjet(an.coaching) ? an.coaching : {},
        objections: tableau(an.objections).filter(estObjet).map(function (o) { return { libelle: texte(o.libelle), traitement: texte(o.traitement), tMs: nombre(o.tMs, 0) }; }),
        prochainesEtapes: tableau(an.prochainesEtapes).filter(estObjet).map(function (p) { return { action: texte(p.action), echeance: texte(p.echeance) }; }),
        methode: { nom: texte(methode.nom), score: nombre(methode.score, 0), etapes: tableau(methode.etapes).filter(estObjet).map(function (e) { return { nom: texte(e.nom), statut: texte(e.statut), couverte: e.couverte === true }; }) },
        probabilite: estObjet(an.crm) ? nombre(an.crm.probabilite, 0) : 0,
        issue: estObjet(an.issue) ? { proposee: texte(an.issue.proposee), raison: texte(an.issue.raison) } : null
      },
      transcript: segs
    });
  };

  var TXT = { type: 'string' };
  var SCHEMA = I.schemaObjet({
    aCoacher: { type: 'array', items: I.schemaObjet({ point: TXT, tMs: { type: 'integer' }, citation: TXT }, ['point', 'tMs', 'citation']) },
    risque: TXT, raisonRisque: TXT, prochaineEtape: TXT, framework: TXT, commentaireFramework: TXT, actionManager: TXT
  }, ['aCoacher', 'risque', 'raisonRisque', 'prochaineEtape', 'framework', 'commentaireFramework', 'actionManager']);

  M.promptSyntheseManager = function (pArg) {
    var p = objet(pArg);
    var a = estObjet(p.appel) ? p.appel : {};
    var an = estObjet(p.analyse) ? p.analyse : {};
    var systeme = 'Vous êtes Quillo, l\'assistant de vente de Vendalo. Vous écrivez pour un manager commercial la synthèse d\'un appel d\'un membre de son équipe : ' +
      'ce qu\'il doit coacher, le risque de l\'affaire, la prochaine étape et l\'action à mener lui-même. Soyez bref, factuel, sans jargon. Écrivez tout en français. ' +
      I.GARDE + ' Répondez uniquement avec l\'objet JSON demandé.';
    var consigne = 'Tâche : synthèse manager. « aCoacher » : au plus ' + MAX_POINTS + ' moments à coacher, chacun avec le moment dans l\'appel (tMs, en millisecondes) et une citation exacte du transcript. ' +
      '« risque » : faible, moyen ou élevé, et « raisonRisque » en une phrase. « prochaineEtape » : l\'étape convenue ou à obtenir. ' +
      '« framework » : bien suivi, en partie ou peu suivi, et « commentaireFramework » en une phrase. « actionManager » : ce que le manager doit faire, en une phrase.';
    var contenu = consigne + '\n\n' +
      section('APPEL', ['Type : ' + (texte(a.type) || 'découverte'), texte(a.objectif) ? 'Objectif : ' + texte(a.objectif) : '', 'Durée : ' + Math.round(nombre(a.duree, 0) / 60) + ' min'].filter(Boolean).join('\n')) +
      section('ANALYSE', ['Score : ' + nombre(an.score, 0) + ' sur 100', texte(an.verdict), texte(an.resume),
        tableau(an.objections).map(function (o) { return 'Objection : ' + texte(o.libelle) + ' (traitée : ' + (texte(o.traitement) || '?') + ')'; }).join('\n'),
        estObjet(an.methode) && texte(an.methode.nom) ? 'Framework : ' + texte(an.methode.nom) + ' — ' + tableau(an.methode.etapes).map(function (e) { return texte(e.nom) + ' ' + (e.couverte ? 'couverte' : 'non couverte'); }).join(', ') : ''
      ].filter(Boolean).join('\n')) +
      section('TRANSCRIPT', I.lignesTranscript(tableau(p.transcript).filter(estObjet)));
    return { systeme: systeme, contenu: contenu.trim(), schema: SCHEMA };
  };

  // Réponse du modèle, en texte (éventuellement entouré de ```json) ou en objet.
  function lireReponse(v) {
    if (estObjet(v)) return v;
    var t = texte(v).trim();
    if (!t) return null;
    var debut = t.indexOf('{'), fin = t.lastIndexOf('}');
    if (debut < 0 || fin <= debut) return null;
    try { var o = JSON.parse(t.slice(debut, fin + 1)); return estObjet(o) ? o : null; } catch (e) { return null; }
  }
  function instant(v) {
    if (typeof v === 'number' && isFinite(v)) return Math.max(0, Math.round(v));
    var t = texte(v).trim();
    var m = /^(\d{1,3}):(\d{2})$/.exec(t);
    if (m) return (Number(m[1]) * 60 + Number(m[2])) * 1000;
    return Math.max(0, Math.round(nombre(t, 0)));
  }
  function risque(v) {
    var r = plier(texte(v)).trim();
    if (/elev|fort|haut/.test(r)) return 'élevé';
    if (/moyen|modere/.test(r)) return 'moyen';
    if (/faible|bas/.test(r)) return 'faible';
    return texte(v).trim();
  }

  M.normaliserSyntheseManager = function (v) {
    var o = lireReponse(typeof v === 'string' ? v : lire(v, v));
    if (!o) return json(null);
    if (estObjet(o.synthese)) o = o.synthese;
    var points = tableau(o.aCoacher || o.moments || o.points).map(function (x) {
      if (typeof x === 'string') return { point: couper(x, 300), tMs: 0, citation: '' };
      if (!estObjet(x)) return null;
      return { point: couper(texte(x.point || x.texte || x.titre), 300), tMs: instant(x.tMs !== undefined ? x.tMs : x.moment), citation: couper(texte(x.citation || x.extrait), 300) };
    }).filter(function (x) { return x && x.point; }).slice(0, MAX_POINTS);
    var s = {
      aCoacher: points,
      risque: risque(o.risque), raisonRisque: couper(texte(o.raisonRisque), 400),
      prochaineEtape: couper(texte(o.prochaineEtape), 400),
      framework: couper(texte(o.framework), 120), commentaireFramework: couper(texte(o.commentaireFramework), 400),
      actionManager: couper(texte(o.actionManager), 400)
    };
    var vide = !points.length && !s.risque && !s.prochaineEtape && !s.actionManager && !s.commentaireFramework;
    return json(vide ? null : s);
  };

  // La tâche rejoint celles que la requête sait construire.
  var requeteBase = M.requete;
  M.requete = function (tacheArg, payloadArg, modeleArg) {
    if (texte(tacheArg) !== 'synthese_manager') return requeteBase.apply(M, arguments);
    var modele = texte(modeleArg) || D.MODELES_DEFAUT.analyse;
    var ps = M.promptSyntheseManager(payloadArg);
    var corps = { model: modele, max_tokens: 1500, system: ps.systeme, messages: [{ role: 'user', content: ps.contenu }],
      output_config: { format: { type: 'json_schema', schema: ps.schema } } };
    return json({ corps: corps, effort: null, maxTokens: 1500 });
  };

  // Synthèse en boîte pour la route de démonstration, tirée du payload.
  var reponseDemoBase = M.reponseDemo;
  M.reponseDemo = function (tacheArg, payloadArg) {
    if (texte(tacheArg) !== 'synthese_manager') return reponseDemoBase.apply(M, arguments);
    var p = objet(payloadArg);
    var an = estObjet(p.analyse) ? p.analyse : {};
    var segs = tableau(p.transcript).filter(function (s) { return estObjet(s) && s.locuteur === 'vous'; });
    var points = segs.slice(0, 2).map(function (s, i) {
      return { point: i === 0 ? 'Ouverture : poser le cadre et l\'objectif de l\'appel' : 'Creuser la douleur avant de présenter l\'offre', tMs: nombre(s.debutMs, 0), citation: couper(texte(s.texte), 160) };
    });
    var score = nombre(an.score, 0);
    var etape = tableau(an.prochainesEtapes)[0];
    return json({
      aCoacher: points,
      risque: score >= 70 ? 'faible' : score >= 50 ? 'moyen' : 'élevé',
      raisonRisque: score >= 70 ? 'Le prospect s\'est engagé sur la suite.' : 'Le besoin n\'est pas encore chiffré par le prospect.',
      prochaineEtape: estObjet(etape) && texte(etape.action) ? texte(etape.action) : 'Obtenir un rendez-vous daté avec le décideur.',
      framework: estObjet(an.methode) && texte(an.methode.nom) ? 'en partie' : 'peu suivi',
      commentaireFramework: 'La découverte est faite, la conclusion reste à cadrer.',
      actionManager: 'Réécouter l\'ouverture avec le commercial et préparer ensemble la prochaine étape.'
    });
  };
})(Moteur);
