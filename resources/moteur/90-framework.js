// ==================================================================== process de vente et grille
//  formeFramework(framework) → framework normalisé (identifiants sans espaces autour, listes bornées)
//  grilleFramework(framework | methode) → GrilleQualification du process (la sienne, celle de la méthode, ou « essentiel »)
//  etapesPourType(framework, type) → étapes qui concernent ce type d'appel
//  payloadGuideEtapes(texte, {methode}?) → payload de la tâche « framework » (méthode collée par l'utilisateur)
//  normaliserGuideEtapes(réponse | étapes) → EtapeFramework[] ; normaliserFrameworkTexte(réponse, payload?) → {framework, conseils}
//  questionsEtapePosees({etapes, texte, dejaPosees}) → [{etapeId, index, question}] (questions d'étape que le commercial vient de poser)
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, tableau = I.tableau, texte = I.texte, nombre = I.nombre, json = I.json;
  var estObjet = I.estObjet, couper = I.couper, plier = I.plier, borne = I.borne;
  var D = M.donnees;

  var LIM = { etapes: 30, nomEtape: 200, id: 60, criteres: 30, texte: 500, questions: 8, types: 20, type: 40, objections: 10, reponse: 1000, phase: 40 };
  var PHASES = { prospection: 1, decouverte: 1, demo: 1, suivi: 1, negociation: 1, closing: 1, upsell: 1, retention: 1 };

  function net(v) { return texte(v).trim(); }
  function textesBornes(v, max, long) {
    return I.listeTextes(v).map(function (t) { return texte(t).trim(); }).filter(Boolean).slice(0, max).map(function (t) { return t.slice(0, long); });
  }
  // Identifiant lisible tiré d'un nom : « Découverte express » → « decouverte_express ».
  function slug(t) { return plier(t).replace(/[^a-z0-9]+/g, '_').replace(/^_+|_+$/g, '').slice(0, 40); }
  function unique(id, vus) {
    var base = id || 'etape', r = base, n = 2;
    while (vus[r]) r = base + '_' + n++;
    vus[r] = 1;
    return r;
  }
  function normaliserEtape(e, vus) {
    if (typeof e === 'string') e = { nom: e };
    if (!estObjet(e)) return null;
    var nom = net(e.nom || e.titre || e.etape).slice(0, LIM.nomEtape);
    if (!nom) return null;
    var id = net(e.id).slice(0, LIM.id);
    var r = {
      id: unique(id || slug(nom), vus), nom: nom,
      criteres: textesBornes(e.criteres, LIM.criteres, LIM.texte),
      poids: nombre(e.poids, null),
      objectif: net(e.objectif).slice(0, LIM.texte),
      questions: textesBornes(e.questions, LIM.questions, LIM.texte),
      transition: net(e.transition).slice(0, LIM.texte),
      typesAppel: textesBornes(e.typesAppel, LIM.types, LIM.type).map(plier),
      objections: tableau(e.objections).map(function (o) {
        if (typeof o === 'string') o = { texte: o };
        if (!estObjet(o) || !net(o.texte || o.objection)) return null;
        var x = { texte: net(o.texte || o.objection).slice(0, LIM.texte), reponse: net(o.reponse).slice(0, LIM.reponse) };
        if (net(o.objectionId)) x.objectionId = net(o.objectionId);
        return x;
      }).filter(Boolean).slice(0, LIM.objections),
      phase: plier(texte(e.phase)).slice(0, LIM.phase)
    };
    if (r.phase && !PHASES[r.phase]) r.phase = '';
    return r;
  }
  // Poids manquants ou hors bornes : partagés pour que le total fasse 100.
  function repartirPoids(etapes) {
    var sans = etapes.filter(function (e) { return e.poids === null || !(e.poids >= 0 && e.poids <= 100); });
    var somme = 0;
    etapes.forEach(function (e) { if (sans.indexOf(e) < 0) somme += e.poids; });
    if (!sans.length && somme > 0) return etapes;
    if (sans.length === etapes.length || somme >= 100 || somme === 0) {
      var part = Math.floor(100 / etapes.length), reste = 100 - part * etapes.length;
      etapes.forEach(function (e, i) { e.poids = part + (i < reste ? 1 : 0); });
      return etapes;
    }
    var p = Math.floor((100 - somme) / sans.length);
    sans.forEach(function (e) { e.poids = p; });
    return etapes;
  }
  function etapesNormalisees(v, repartir) {
    var vus = {};
    var r = tableau(v).map(function (e) { return normaliserEtape(e, vus); }).filter(Boolean).slice(0, LIM.etapes);
    if (repartir) return repartirPoids(r);
    r.forEach(function (e) { if (e.poids === null) e.poids = 0; });
    return r;
  }

  function grilleFramework(fw) {
    var o = lire(fw, fw);
    if (typeof o === 'string') return I.grilleDe(o);
    if (!estObjet(o)) return I.GRILLE_ESSENTIEL;
    return I.grillePour(o, texte(o.methode));
  }
  M.grilleFramework = function (fw) { return json(grilleFramework(fw)); };

  M.formeFramework = function (fwArg) {
    var f = objet(fwArg);
    var r = JSON.parse(JSON.stringify(f));
    r.id = net(f.id);
    r.nom = net(f.nom).slice(0, 120);
    r.description = net(f.description).slice(0, 2000);
    r.methode = net(f.methode) || 'aucune';
    r.etapes = etapesNormalisees(f.etapes, false);
    r.actif = f.actif !== false;
    r.parDefaut = f.parDefaut === true;
    if (estObjet(f.qualification)) {
      var g = f.qualification, vus = {};
      r.qualification = { methode: net(g.methode || g.id), nom: net(g.nom || g.label), genre: net(g.genre),
        items: tableau(g.items).filter(estObjet).map(function (it) {
          var nom = net(it.nom);
          if (!nom) return null;
          return { id: unique(net(it.id) || slug(nom), vus), nom: nom.slice(0, 80), sigle: net(it.sigle) || nom.charAt(0).toUpperCase(),
            pourquoi: net(it.pourquoi).slice(0, 300), questions: textesBornes(it.questions, 3, LIM.texte), champ: net(it.champ) };
        }).filter(Boolean).slice(0, 12) };
    }
    return json(r);
  };

  function etapesPourType(fw, type) {
    var t = plier(texte(type));
    return tableau(objet(fw).etapes).filter(function (e) {
      if (!estObjet(e)) return false;
      var types = I.listeTextes(e.typesAppel).map(plier);
      return !t || !types.length || types.indexOf(t) >= 0;
    });
  }
  M.etapesPourType = function (fw, type) { return json(etapesPourType(fw, type)); };
  I.etapesPourType = etapesPourType;

  // ---------------------------------------------------------------- méthode collée → framework
  M.payloadGuideEtapes = function (texteArg, optionsArg) {
    var o = objet(optionsArg);
    var a = lire(texteArg, null);
    var t = (estObjet(a) ? texte(a.texte) : texte(texteArg)).trim();
    return json({
      tache: 'framework', texte: t.slice(0, 20000), methode: net(o.methode) || 'aucune',
      typesAppel: D.TYPES_APPEL, phases: Object.keys(PHASES),
      grilles: ['essentiel'].concat(D.GRILLES_QUALIFICATION.map(function (g) { return g.id; })),
      limites: { etapes: LIM.etapes, questions: LIM.questions, objections: LIM.objections }
    });
  };

  var TXT = { type: 'string' }, LISTE = { type: 'array', items: TXT };
  var SCHEMA_FRAMEWORK = I.schemaObjet({
    nom: TXT, description: TXT, grille: TXT,
    etapes: { type: 'array', items: I.schemaObjet({ nom: TXT, objectif: TXT, poids: { type: 'number' }, phase: TXT, typesAppel: LISTE, questions: LISTE, criteres: LISTE, transition: TXT,
      objections: { type: 'array', items: I.schemaObjet({ texte: TXT, reponse: TXT }, ['texte', 'reponse']) } },
      ['nom', 'objectif', 'poids', 'phase', 'typesAppel', 'questions', 'criteres', 'transition', 'objections']) },
    conseils: LISTE
  }, ['nom', 'description', 'grille', 'etapes', 'conseils']);

  M.promptFramework = function (pArg) {
    var p = objet(pArg);
    var systeme = 'Vous êtes Quillo, le coach de vente de Vendalo. Vous transformez la méthode de vente qu\'une entreprise décrit avec ses mots en un process d\'étapes ordonnées, utilisable pendant les appels. ' +
      I.regleLangue('fr') + ' ' + I.GARDE + ' Répondez uniquement avec l\'objet JSON demandé.';
    var contenu = 'Tâche : lisez la méthode ci-dessous et rendez son process : un nom, une description d\'une phrase, la grille de qualification la plus proche (' + tableau(p.grilles).join(', ') + '), ' +
      'et les étapes dans l\'ordre (au plus ' + LIM.etapes + '). Pour chaque étape : nom, objectif en une phrase, poids dans le score (le total fait 100), mode du souffleur (' + tableau(p.phases).join(', ') + '), ' +
      'types d\'appel concernés (' + tableau(p.typesAppel).join(', ') + '), au plus ' + LIM.questions + ' questions à poser telles quelles, les critères de réussite, une phrase de transition et les objections typiques avec leur réponse. ' +
      'N\'inventez pas d\'étape que le texte ne décrit pas. Dans « conseils », deux à quatre remarques courtes pour améliorer la méthode.\n\n' +
      I.section('MÉTHODE DE VENTE DÉCRITE PAR L\'ENTREPRISE', texte(p.texte));
    return { systeme: systeme, contenu: contenu, schema: SCHEMA_FRAMEWORK };
  };

  var requeteBase = M.requete;
  M.requete = function (tacheArg, payloadArg, modeleArg) {
    if (texte(tacheArg) !== 'framework') return requeteBase.apply(M, arguments);
    var modele = texte(modeleArg) || D.MODELES_DEFAUT.analyse;
    var pf = M.promptFramework(payloadArg);
    var corps = { model: modele, max_tokens: 6000, system: pf.systeme, messages: [{ role: 'user', content: pf.contenu }],
      output_config: { format: { type: 'json_schema', schema: pf.schema } } };
    return json({ corps: corps, effort: null, maxTokens: 6000 });
  };

  function extraire(v) {
    var o = lire(v, v);
    if (typeof o === 'string') {
      var s = o.replace(/^\s*```(?:json)?\s*/i, '').replace(/\s*```\s*$/, '');
      var d = s.indexOf('{'), f = s.lastIndexOf('}');
      try { o = d >= 0 && f > d ? JSON.parse(s.slice(d, f + 1)) : null; } catch (e) { o = null; }
    }
    if (estObjet(o) && estObjet(o.framework) && !Array.isArray(o.etapes)) o = Object.assign({ conseils: o.conseils }, o.framework);
    return o;
  }
  M.normaliserGuideEtapes = function (v) {
    var o = extraire(v);
    return json(etapesNormalisees(Array.isArray(o) ? o : estObjet(o) ? o.etapes : [], true));
  };
  M.normaliserFrameworkTexte = function (v, payloadArg) {
    var o = extraire(v);
    var p = objet(payloadArg);
    if (!estObjet(o)) o = Array.isArray(o) ? { etapes: o } : {};
    var etapes = etapesNormalisees(o.etapes, true);
    var gid = plier(texte(o.grille || o.qualification || p.methode));
    var grille = I.grilleDe(gid === 'bant' || gid === 'meddic' || gid === 'soncas' ? gid : 'essentiel');
    var fw = {
      nom: net(o.nom).slice(0, 120) || 'Votre process', description: net(o.description).slice(0, 2000),
      methode: net(p.methode) || 'aucune', etapes: etapes, actif: true, parDefaut: false,
      qualification: { methode: texte(grille.methode || grille.id), nom: texte(grille.nom), genre: texte(grille.genre), items: grille.items }
    };
    return json({ framework: fw, conseils: textesBornes(o.conseils, 6, 300) });
  };

  // Démonstration : chaque ligne ou phrase qui décrit une étape devient une étape.
  var reponseDemoBase = M.reponseDemo;
  M.reponseDemo = function (tacheArg, payloadArg) {
    var tache = texte(tacheArg);
    if (tache === 'analyse') return avecEtapes(reponseDemoBase.apply(M, arguments), objet(payloadArg));
    if (tache !== 'framework') return reponseDemoBase.apply(M, arguments);
    var p = objet(payloadArg);
    var lignes = texte(p.texte).split(/\n+|(?<=[.;])\s+/).map(function (l) { return l.replace(/^\s*(?:\d+[.)]|[-*•])\s*/, '').trim(); })
      .filter(function (l) { return l.length >= 3; }).slice(0, 6);
    var etapes = lignes.map(function (l) {
      var nom = couper(l.split(/\s*[:—–-]\s+/)[0], 60).replace(/[.;]$/, '');
      return { nom: nom, objectif: couper(l, 200), phase: '', typesAppel: [], questions: [], criteres: [], transition: '', objections: [] };
    });
    return json({ nom: 'Votre process', description: 'Process construit depuis votre description.', grille: 'essentiel', etapes: etapes,
      conseils: ['Ajoutez deux ou trois questions à poser à chaque étape.', 'Donnez à chaque étape un critère de réussite vérifiable.'] });
  };

  // ---------------------------------------------------------------- étapes pendant et après l'appel
  function posee(question, texteVous) {
    var mots = I.motsPleins(question);
    if (!mots.length) return false;
    var dispo = {};
    I.motsPleins(texteVous).forEach(function (m) { dispo[m] = 1; });
    var n = 0;
    mots.forEach(function (m) { if (dispo[m]) n++; });
    return n / mots.length >= 0.66;
  }
  M.questionsEtapePosees = function (entree) {
    var o = objet(entree);
    var t = texte(o.texte);
    var deja = {};
    I.listeTextes(o.dejaPosees).forEach(function (k) { deja[k] = 1; });
    var r = [];
    if (!t.trim()) return json(r);
    tableau(o.etapes).filter(estObjet).forEach(function (e) {
      I.listeTextes(e.questions).forEach(function (q, i) {
        var cle = net(e.id) + '#' + i;
        if (!deja[cle] && posee(q, t)) r.push({ etapeId: net(e.id), index: i, question: q, cle: cle });
      });
    });
    return json(r);
  };
  // Analyse sans modèle : chaque étape du process est notée sur les questions posées.
  function etapesNotees(processus, type, transcript) {
    var segs = I.segments(transcript).filter(function (s) { return s.locuteur === 'vous'; });
    return etapesPourType(processus, type).map(function (e) {
      var qs = I.listeTextes(e.questions);
      var questions = qs.map(function (q) { return { texte: q, posee: segs.some(function (s) { return posee(q, s.texte); }) }; });
      var n = questions.filter(function (q) { return q.posee; }).length;
      var part = qs.length ? n / qs.length : 0;
      var statut = part >= 0.5 ? 'couverte' : n > 0 ? 'partielle' : 'manquee';
      return { id: net(e.id), nom: texte(e.nom), statut: statut, score: n ? Math.round(50 + 50 * part) : 0, poids: nombre(e.poids, 0), couverte: statut === 'couverte',
        commentaire: qs.length ? n + ' question(s) de l\'étape posée(s) sur ' + qs.length + '.' : 'Aucune question prévue pour cette étape.', preuve: '',
        criteres: I.listeTextes(e.criteres).map(function (c) { return { texte: c, rempli: false }; }), questions: questions };
    });
  }
  I.etapesNotees = etapesNotees;
  function avecEtapes(reponse, p) {
    var r = lire(reponse, null);
    if (!estObjet(r) || !estObjet(p.processus)) return reponse;
    var a = estObjet(p.appel) ? p.appel : {};
    var etapes = etapesNotees(p.processus, texte(a.type), p.transcript);
    if (!etapes.length) return reponse;
    r.methode = { nom: texte(p.processus.nom) || texte(a.methode), frameworkId: net(p.processus.id), etapes: etapes };
    // Items heard, read against the call's own grid.
    if (estObjet(p.grille) && Array.isArray(p.grille.items) && p.grille.items.length) {
      var q = JSON.parse(M.detecterQualification(JSON.stringify({ transcript: p.transcript || [], grille: p.grille })));
      r.qualification = q.map(function (x) { return { item: x.item, nom: x.nom, valeur: x.valeur, preuve: x.preuve }; });
      var champs = estObjet(r.crm) && estObjet(r.crm.champs) ? r.crm.champs : null;
      if (champs) q.forEach(function (x) { if (x.champ && champs[x.champ] === '') champs[x.champ] = x.valeur; });
    }
    return json(r);
  }
})(Moteur);
