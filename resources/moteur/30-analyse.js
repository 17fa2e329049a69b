// ==================================================================== analyse d'après appel
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, tableau = I.tableau, texte = I.texte, entier = I.entier, nombre = I.nombre, json = I.json;
  var estObjet = I.estObjet, couper = I.couper, plier = I.plier, borne = I.borne, section = I.section, horloge = I.horloge;
  var D = M.donnees;
  var INCOMPLET = 'Le payload d\'analyse est incomplet.';

  function idsValides(liste) { var r = {}; liste.forEach(function (x) { r[x.id] = 1; }); return r; }
  var ETAPES_OK = idsValides(D.ETAPES), CAT_OBJ = idsValides(D.CATEGORIES_OBJECTION), CAT_Q = idsValides(D.CATEGORIES_QUESTION);

  // ---------------------------------------------------------------- questions du commercial
  var MOTS_VIDES = { le: 1, la: 1, les: 1, de: 1, des: 1, du: 1, un: 1, une: 1, et: 1, ou: 1, a: 1, au: 1, aux: 1, en: 1, vous: 1, votre: 1, vos: 1, tu: 1, ton: 1, ta: 1, tes: 1, ce: 1, ca: 1, cette: 1, est: 1, que: 1, qui: 1, quoi: 1, qu: 1, pour: 1, sur: 1, dans: 1, par: 1, avec: 1, il: 1, elle: 1, on: 1, nous: 1, se: 1, sa: 1, son: 1, ses: 1, ne: 1, pas: 1, plus: 1, y: 1, d: 1, l: 1, s: 1, c: 1, j: 1, n: 1, t: 1, m: 1 };
  function motsPleins(t) { return plier(t).split(/[^a-z0-9]+/).filter(function (m) { return m.length > 1 && !MOTS_VIDES[m]; }); }
  function cleQuestion(t) { return motsPleins(t).join(' '); }
  I.motsPleins = motsPleins;
  // La question favorite est posée quand ses mots pleins se retrouvent aux deux tiers dans une phrase du commercial.
  function questionPosee(question, segs) {
    var mots = motsPleins(question);
    if (!mots.length) return null;
    for (var i = 0; i < segs.length; i++) {
      if (segs[i].locuteur !== 'vous') continue;
      var dispo = {}; motsPleins(segs[i].texte).forEach(function (m) { dispo[m] = 1; });
      var n = 0; mots.forEach(function (m) { if (dispo[m]) n++; });
      if (n / mots.length >= 0.66) return segs[i].debutMs;
    }
    return null;
  }
  function favoritesAvecEtat(appel) {
    var segs = I.segments(appel);
    return (I.etat().questionsFavorites || []).filter(function (q) { return estObjet(q) && texte(q.texte).trim(); }).map(function (q) {
      var t = questionPosee(q.texte, segs);
      var r = { id: texte(q.id), texte: texte(q.texte).trim(), categorie: texte(q.categorie) || null, posee: t !== null };
      if (t !== null) r.tMs = t;
      return r;
    });
  }
  // Questions favorites du commercial, avec celles qu'il a posées dans l'appel donné.
  M.questionsFavorites = function (appelArg) { return json(favoritesAvecEtat(lire(appelArg, []))); };

  function questionQuiMarche(q) {
    if (typeof q === 'string' || typeof q === 'number') q = { question: texte(q) };
    if (!estObjet(q)) return null;
    var t = texte(q.question || q.texte).trim();
    if (!t) return null;
    var cat = plier(texte(q.categorie));
    var r = { question: t, etapeId: texte(q.etapeId), categorie: CAT_Q[cat] ? cat : 'autre', info: texte(q.info) };
    var tm = entier(q.tMs, null);
    if (tm !== null && tm >= 0) r.tMs = tm;
    return r;
  }
  function appelsDe(entree) {
    var o = lire(entree, null);
    if (Array.isArray(o)) return o.filter(estObjet);
    if (estObjet(o) && Array.isArray(o.appels)) return o.appels.filter(estObjet);
    if (o === null) return (I.etat().appels || []).filter(estObjet);
    return null;
  }
  // Une analyse → ses questions qui ont marché ; des appels → les questions qui
  // marchent le plus souvent, regroupées ({etapeId, question, cle, categorie, info, appelId, date, fois}).
  M.questionsQuiMarchent = function (entree) {
    var appels = appelsDe(entree);
    if (!appels) return json(tableau((objet(entree)).questionsQuiMarchent).map(questionQuiMarche).filter(Boolean));
    var parCle = {}, ordre = [];
    appels.forEach(function (a) {
      var an = estObjet(a.analyse) ? a.analyse : {};
      tableau(an.questionsQuiMarchent).map(questionQuiMarche).filter(Boolean).forEach(function (q) {
        var cle = cleQuestion(q.question);
        if (!cle) return;
        var e = parCle[cle];
        if (!e) { e = parCle[cle] = { etapeId: q.etapeId, question: q.question, cle: cle, categorie: q.categorie, info: q.info, appelId: texte(a.id), date: texte(a.debut), fois: 0 }; ordre.push(e); }
        e.fois++;
        if (texte(a.debut) > e.date) { e.date = texte(a.debut); e.appelId = texte(a.id); e.info = q.info || e.info; }
      });
    });
    ordre.sort(function (x, y) { return y.fois - x.fois || y.date.localeCompare(x.date); });
    return json(ordre);
  };
  // Une analyse → ses questions oubliées ; des appels → les oublis les plus fréquents ({question, cle, fois, appelIds}).
  M.questionsOubliees = function (entree) {
    var appels = appelsDe(entree);
    if (!appels) return json(I.listeTextes(objet(entree).questionsOubliees));
    var parCle = {}, ordre = [];
    appels.forEach(function (a) {
      var an = estObjet(a.analyse) ? a.analyse : {};
      I.listeTextes(an.questionsOubliees).forEach(function (q) {
        var cle = cleQuestion(q);
        if (!cle) return;
        var e = parCle[cle];
        if (!e) { e = parCle[cle] = { question: q, cle: cle, fois: 0, appelIds: [] }; ordre.push(e); }
        if (e.appelIds.indexOf(texte(a.id)) < 0) { e.fois++; e.appelIds.push(texte(a.id)); }
      });
    });
    ordre.sort(function (x, y) { return y.fois - x.fois; });
    return json(ordre);
  };

  // ---------------------------------------------------------------- normalisations
  function normaliserIssue(v) {
    var o = lire(v, v);
    if (typeof o === 'string') o = { proposee: o };
    if (!estObjet(o)) return null;
    var p = plier(texte(o.proposee || o.issue || o.statut));
    var id = /^(gagne|won|signe|signature|vendu|accord)/.test(p) ? 'gagne' : /^(perdu|lost|refus|abandon|echec)/.test(p) ? 'perdu' : '';
    if (!id) return null;
    return { proposee: id, raison: texte(o.raison), preuve: texte(o.preuve) };
  }
  M.normaliserIssue = function (v) { return json(normaliserIssue(v)); };

  function normaliserQuestionsPosees(v) {
    var a = lire(v, v);
    if (typeof a === 'string') a = [a];
    if (!Array.isArray(a)) return [];
    var r = [];
    a.forEach(function (q) {
      if (typeof q === 'string') { if (q.trim()) r.push({ texte: q.trim(), posee: false }); return; }
      if (!estObjet(q)) return;
      var t = texte(q.texte || q.question).trim();
      if (!t) return;
      var p = q.posee;
      if (typeof p === 'string') p = /^(oui|true|vrai|1|posee)$/i.test(p.trim());
      r.push({ texte: t, posee: p === true });
    });
    return r;
  }
  M.normaliserQuestionsPosees = function (v) { return json(normaliserQuestionsPosees(v)); };

  function itemsEntendus(v, g) {
    var a = lire(v, v);
    if (estObjet(a)) a = Object.keys(a).map(function (k) { var x = a[k]; return estObjet(x) ? Object.assign({ item: k }, x) : { item: k, valeur: texte(x) }; });
    if (!Array.isArray(a)) return [];
    var noms = {};
    (g ? g.items : []).forEach(function (it) { noms[it.id] = it.nom; noms[plier(it.nom)] = it.id; });
    var vus = {}, r = [];
    a.forEach(function (x) {
      if (!estObjet(x)) return;
      var id = texte(x.item || x.id || x.itemId).trim();
      if (!id && x.nom && noms[plier(x.nom)]) id = noms[plier(x.nom)];
      var valeur = texte(x.valeur).trim();
      if (!id || !valeur) return;
      var e = { item: id, nom: texte(x.nom) || noms[id] || id, valeur: valeur, preuve: texte(x.preuve) };
      if (vus[id] !== undefined) r[vus[id]] = e; else { vus[id] = r.length; r.push(e); }
    });
    return r;
  }
  // Items entendus lus avec souplesse (tableau ou objet indexé par item). Avec
  // `existants` (la qualification du contact), rend la liste fusionnée : un item
  // par identifiant, la valeur la plus récente remplace l'ancienne.
  M.normaliserQualificationEntendue = function (v, optionsArg) {
    var o = objet(optionsArg);
    var g = o.grille !== undefined ? I.grilleDe(o.grille) : null;
    var items = itemsEntendus(v, g);
    if (o.existants === undefined) return json(items);
    var liste = tableau(o.existants).filter(function (x) { return estObjet(x) && texte(x.item); }).map(function (x) { return Object.assign({}, x); });
    var date = texte(o.date) || new Date().toISOString();
    items.forEach(function (x) {
      var e = { item: x.item, nom: x.nom, valeur: x.valeur, preuve: x.preuve, date: date, source: texte(o.source) || 'analyse' };
      if (texte(o.appelId)) e.appelId = texte(o.appelId);
      var k = -1;
      for (var i = 0; i < liste.length; i++) if (texte(liste[i].item).trim() === x.item) k = i;
      if (k < 0) liste.push(e);
      else if (texte(liste[k].date) <= date) liste[k] = e;
    });
    return json(liste);
  };

  // ---------------------------------------------------------------- payload et prompt
  M.payloadAnalyse = function (appelArg, contexteArg, optionsArg) {
    var appel = lire(appelArg, null);
    if (!estObjet(appel) || !texte(appel.id) || !Array.isArray(appel.transcript)) throw new Error(INCOMPLET);
    var opts = objet(optionsArg);
    var segs = I.segments(appel);
    var ctx = lire(contexteArg, null);
    if (!estObjet(ctx) && appel.contactId) ctx = JSON.parse(M.contexteContact(texte(appel.contactId)));
    var reglages = estObjet(I.etat().reglages) ? I.etat().reglages : {};
    var methode = texte(appel.methode) || 'aucune';
    var fw = I.frameworkPour(methode);
    var g = I.grillePour(fw, methode);
    var objections = I.objectionsDeLAppel({ transcript: appel.transcript, detections: appel.detections || [], aides: appel.aides || [] });
    return json({
      tache: 'analyse', langue: texte(appel.langue) || 'fr', equipe: opts.equipe === true || appel.equipe === true,
      appel: { id: texte(appel.id), contactId: texte(appel.contactId), type: texte(appel.type) || 'decouverte', libelleType: D.LIBELLES_TYPES_APPEL[texte(appel.type)] || texte(appel.type),
        objectif: texte(appel.objectif), methode: methode, langue: texte(appel.langue) || 'fr', debut: texte(appel.debut), duree: nombre(appel.duree, 0), source: texte(appel.source) },
      transcript: segs.map(function (s) { var r = { locuteur: s.locuteur, texte: s.texte, debutMs: s.debutMs, finMs: s.finMs }; if (s.interlocuteur) r.interlocuteur = s.interlocuteur; return r; }),
      metriques: I.calculerMetriques(appel),
      objectionsSignalees: objections.filter(function (o) { return o.signalee; }),
      objectionsReperees: objections.filter(function (o) { return !o.signalee; }),
      momentsMarques: tableau(appel.momentsMarques).filter(estObjet).map(function (m) { return { tMs: entier(m.tMs, 0), note: texte(m.note) }; }),
      notes: tableau(appel.notes).filter(estObjet).map(function (n) { return { tMs: entier(n.tMs, 0), texte: texte(n.texte) }; }).filter(function (n) { return n.texte.trim(); }),
      prochaineEtape: estObjet(appel.prochaineEtape) && texte(appel.prochaineEtape.texte).trim() ? { texte: texte(appel.prochaineEtape.texte).trim(), echeance: texte(appel.prochaineEtape.echeance) } : null,
      questionsFavorites: favoritesAvecEtat(appel),
      processus: fw ? { id: texte(fw.id), nom: texte(fw.nom), etapes: fw.etapes.filter(estObjet).map(function (e) { return { id: texte(e.id).trim(), nom: texte(e.nom), poids: nombre(e.poids, 0), objectif: texte(e.objectif), criteres: I.listeTextes(e.criteres), questions: I.listeTextes(e.questions), typesAppel: tableau(e.typesAppel) }; }) } : null,
      grille: { methode: texte(g.methode || g.id), nom: texte(g.nom), items: g.items.map(function (it) { return { id: it.id, nom: it.nom, champ: it.champ || '' }; }) },
      contexte: estObjet(ctx) ? ctx : null,
      entreprise: I.vueEntreprise(),
      commercial: estObjet(reglages.commercial) ? { prenom: texte(reglages.commercial.prenom), style: texte(reglages.commercial.style) } : null,
      registre: M.detecterRegistre ? JSON.parse(M.detecterRegistre(appel)) : null
    });
  };

  var FORME = JSON.stringify({
    score: 'entier 0-100', verdict: 'une phrase', sentiment: 'nombre de -1 à 1', resume: 'trois à cinq phrases',
    dimensions: { decouverte: { score: 'entier 0-100', commentaire: 'une phrase', preuve: 'citation exacte du transcript' }, engagement: '…', valeur: '…', ecoute: '…', objections: '…', closing: '…' },
    methode: { nom: 'texte', score: 'entier 0-100', frameworkId: 'identifiant du process ou vide', etapes: [{ id: 'id de l\'étape', nom: 'texte', statut: 'couverte | partielle | manquee', score: 'entier', commentaire: 'texte', couverte: 'booléen', preuve: 'citation', criteres: [{ texte: 'critère', rempli: 'booléen' }], questions: [{ texte: 'question', posee: 'booléen' }] }] },
    objections: [{ libelle: 'texte', categorie: Object.keys(CAT_OBJ).join(' | '), tMs: 'entier (ms)', traitement: 'bien | partiel | mal | ignoree', reponseDonnee: 'ce que le commercial a répondu', meilleureReponse: 'la réponse à dire la prochaine fois', etapeId: 'id ou vide' }],
    moments: [{ tMs: 'entier', type: 'positif | negatif | cle', texte: 'texte' }],
    questionsOubliees: ['question qu\'il fallait poser'],
    questionsQuiMarchent: [{ question: 'texte exact', etapeId: 'id ou vide', categorie: Object.keys(CAT_Q).join(' | '), info: 'ce que la question a fait dire', tMs: 'entier' }],
    qualification: [{ item: 'id de l\'item de la grille', nom: 'texte', valeur: 'ce qui a été appris', preuve: 'mots du prospect' }],
    prochainesEtapes: [{ action: 'texte', responsable: 'texte', echeance: 'AAAA-MM-JJ si une date est dite, sinon vide' }],
    email: { objet: 'texte', corps: 'e-mail de suivi prêt à envoyer' },
    coaching: { pointFort: 'texte', aTravailler: 'texte', conseil: 'texte' },
    crm: { etapeSuggeree: D.ETAPES.filter(function (e) { return e.id !== 'sommeil'; }).map(function (e) { return e.id; }).join(' | '), probabilite: 'entier 0-100', resumeInteraction: 'deux phrases', prochaineAction: 'texte', champs: { budget: 'texte', decideur: 'texte', echeance: 'texte', douleur: 'texte' } },
    plafonds: [{ dimension: 'id de dimension', max: 'entier', raison: 'texte' }],
    issue: { proposee: 'gagne | perdu (seulement si le transcript le montre)', raison: 'texte', preuve: 'citation' }
  }, null, 1);

  function ligneObjection(o) {
    return '- [' + horloge(o.tMs) + '] ' + (o.libelle || o.categorie) + (o.extrait ? ' : « ' + couper(o.extrait, 160) + ' »' : '') + (o.aideDemandee ? ' (aide demandée au souffleur)' : '');
  }
  // Consigne système et message de la tâche « analyse », construits depuis le payload.
  M.promptAnalyse = function (pArg) {
    var p = objet(pArg);
    var a = estObjet(p.appel) ? p.appel : {};
    var segs = I.segments(p.transcript);
    var systeme = 'Vous êtes Quillo, le coach de vente de Vendalo. Vous analysez un appel de vente terminé, avec exigence et bienveillance : chaque jugement s\'appuie sur une citation du transcript. ' +
      I.regleLangue(texte(p.langue) || texte(a.langue) || 'fr') + ' ' + I.GARDE + ' Répondez uniquement par un objet JSON valide, sans texte autour ni bloc de code.';
    var m = estObjet(p.metriques) ? p.metriques : {};
    var l = [];
    l.push('Analysez cet appel et rendez l\'objet JSON décrit à la fin.');
    l.push('');
    var c = estObjet(p.contexte) && estObjet(p.contexte.contact) ? p.contexte.contact : null;
    var corps = section('APPEL', ['Type : ' + (a.libelleType || a.type), a.objectif ? 'Objectif : ' + a.objectif : '', 'Date : ' + texte(a.debut).slice(0, 10), 'Durée : ' + Math.round(nombre(a.duree, 0) || m.dureeSec || 0) + ' s'].filter(Boolean).join('\n'));
    if (c) corps += section('PROSPECT', [c.nom, c.poste, c.societe].filter(Boolean).join(', ') + ' — étape ' + c.etape + (c.notes ? '\nNotes : ' + c.notes : ''));
    if (estObjet(p.contexte) && Array.isArray(p.contexte.appelsPasses) && p.contexte.appelsPasses.length)
      corps += section('HISTORIQUE DU PROSPECT', p.contexte.appelsPasses.map(function (h) { return '- ' + h.date + ' (' + h.type + ') : ' + h.resume; }).join('\n'));
    var e = estObjet(p.entreprise) ? p.entreprise : {};
    if (e.nom) corps += section('ENTREPRISE DU COMMERCIAL', e.nom + (estObjet(e.offre) && e.offre.nom ? ' — offre ' + e.offre.nom + (e.offre.prix ? ' (' + e.offre.prix + ')' : '') : '') + (e.differenciant ? '\nDifférenciant : ' + e.differenciant : ''));
    corps += section('MÉTRIQUES CALCULÉES SUR LE TRANSCRIPT', 'Parole du commercial : ' + (m.partVous || 0) + ' % ; questions posées : ' + (m.questionsVous || 0) + ' ; plus long monologue : ' + (m.plusLongMonologueSec || 0) + ' s ; débit : ' + (m.motsParMinute || 0) + ' mots/min ; échanges : ' + (m.nbEchanges || 0));
    if (estObjet(p.processus) && Array.isArray(p.processus.etapes) && p.processus.etapes.length)
      corps += section('PROCESS DE VENTE DE L\'ENTREPRISE À NOTER', 'Process « ' + p.processus.nom + ' » (frameworkId : ' + p.processus.id + '). Notez chaque étape qui concerne ce type d\'appel dans methode.etapes.\n' +
        p.processus.etapes.map(function (s) { return '- ' + s.id + ' « ' + s.nom + ' » (poids ' + s.poids + ') : ' + s.objectif + (s.criteres.length ? '\n  Critères : ' + s.criteres.join(' ; ') : '') + (s.questions.length ? '\n  Questions : ' + s.questions.join(' ; ') : ''); }).join('\n'));
    if (estObjet(p.grille) && Array.isArray(p.grille.items)) corps += section('GRILLE DE QUALIFICATION', p.grille.items.map(function (it) { return '- ' + it.id + ' : ' + it.nom; }).join('\n'));
    if (Array.isArray(p.objectionsSignalees) && p.objectionsSignalees.length)
      corps += section('OBJECTIONS SIGNALÉES AU COMMERCIAL PENDANT L\'APPEL', p.objectionsSignalees.map(ligneObjection).join('\n') + '\nChacune n\'apparaît qu\'une fois dans « objections » : jugez comment le commercial l\'a traitée.');
    if (Array.isArray(p.momentsMarques) && p.momentsMarques.length)
      corps += section('MOMENTS MARQUÉS PAR LE COMMERCIAL', p.momentsMarques.map(function (x) { return '- [' + horloge(x.tMs) + ']' + (x.note ? ' ' + x.note : ' (sans note)'); }).join('\n') + '\nCommentez ces moments dans « moments ».');
    if (estObjet(p.prochaineEtape))
      corps += section('PROCHAINE ÉTAPE NOTÉE', p.prochaineEtape.texte + (p.prochaineEtape.echeance ? ' (échéance ' + p.prochaineEtape.echeance + ')' : '') + '\nNotée par le commercial pendant l\'appel : reprenez-la telle quelle en tête de « prochainesEtapes » et dans crm.prochaineAction.');
    if (Array.isArray(p.questionsFavorites) && p.questionsFavorites.length)
      corps += section('QUESTIONS FAVORITES DU COMMERCIAL', p.questionsFavorites.map(function (q) { return '- ' + q.texte + (q.posee ? ' (posée)' : ' (non posée)'); }).join('\n') + '\nUne favorite non posée qui aurait servi va dans « questionsOubliees ».');
    if (Array.isArray(p.notes) && p.notes.length) corps += section('NOTES PRISES PENDANT L\'APPEL', p.notes.map(function (n) { return '- [' + horloge(n.tMs) + '] ' + n.texte; }).join('\n'));
    var voix = {};
    segs.forEach(function (s) { if (s.interlocuteur > 1) voix[s.interlocuteur] = 1; });
    corps += section('TRANSCRIPT', (Object.keys(voix).length ? 'Plusieurs voix côté prospect : « Prospect », puis ' + Object.keys(voix).map(function (k) { return '« Prospect ' + k + ' »'; }).join(', ') + '.\n' : '') + I.lignesTranscript(segs));
    corps += section('FORME DE LA RÉPONSE', FORME + (p.equipe ? '\nAjoutez « syntheseManager » : { "pointsForts": [texte], "risques": [texte], "aSuivre": texte } pour le manager de l\'équipe.' : '') +
      '\nLes dimensions sont ' + D.DIMENSIONS.map(function (d) { return d.id + ' (' + d.libelle + ', poids ' + d.poids + ')'; }).join(', ') + '. Un appel de moins de quatre échanges ne dépasse pas 40.');
    return { systeme: systeme, contenu: l.join('\n') + '\n' + corps };
  };

  // ---------------------------------------------------------------- réponse du modèle → Analyse
  function extraireJSON(t) {
    if (estObjet(t)) return t;
    var s = texte(t);
    s = s.replace(/^\s*```(?:json)?\s*/i, '').replace(/\s*```\s*$/, '');
    var debut = s.indexOf('{'), fin = s.lastIndexOf('}');
    if (debut < 0 || fin <= debut) return null;
    try { var o = JSON.parse(s.slice(debut, fin + 1)); return estObjet(o) ? o : null; } catch (e) { return null; }
  }
  function score(v) { var n = nombre(v, null); if (n === null) return null; if (n > 0 && n <= 1 && String(v).indexOf('.') >= 0) n *= 100; return Math.round(borne(n, 0, 100)); }
  function dimension(v) {
    if (typeof v === 'number' || typeof v === 'string') { var s = score(v); return s === null ? null : { score: s, commentaire: '', preuve: '' }; }
    if (!estObjet(v)) return null;
    var sc = score(v.score);
    if (sc === null) return null;
    return { score: sc, commentaire: texte(v.commentaire), preuve: texte(v.preuve) };
  }
  function etapeMethode(e) {
    if (!estObjet(e)) return null;
    var r = { id: texte(e.id), nom: texte(e.nom), statut: texte(e.statut), commentaire: texte(e.commentaire), preuve: texte(e.preuve),
      criteres: tableau(e.criteres).map(function (c) { return typeof c === 'string' ? { texte: c, rempli: false } : estObjet(c) && texte(c.texte) ? { texte: texte(c.texte), rempli: c.rempli === true } : null; }).filter(Boolean),
      questions: normaliserQuestionsPosees(e.questions) };
    if (!r.id && !r.nom) return null;
    var s = score(e.score); if (s !== null) r.score = s;
    var p = nombre(e.poids, null); if (p !== null) r.poids = p;
    if (typeof e.couverte === 'boolean') r.couverte = e.couverte; else if (r.statut) r.couverte = /^couverte?$/.test(plier(r.statut));
    if (typeof e.corrigee === 'boolean') r.corrigee = e.corrigee;
    return r;
  }
  function objectionAnalyse(o) {
    if (!estObjet(o)) return null;
    var lib = texte(o.libelle || o.objection).trim();
    if (!lib) return null;
    var cat = plier(texte(o.categorie));
    var r = { libelle: lib, categorie: CAT_OBJ[cat] ? cat : 'autre', traitement: texte(o.traitement), reponseDonnee: texte(o.reponseDonnee), meilleureReponse: texte(o.meilleureReponse) };
    var t = entier(o.tMs, null); if (t !== null && t >= 0) r.tMs = t;
    if (texte(o.etapeId)) r.etapeId = texte(o.etapeId);
    return r;
  }
  function memeObjection(a, b) {
    if (plier(a.libelle) === plier(b.libelle)) return true;
    if (a.categorie !== b.categorie) return false;
    if (a.tMs === undefined || b.tMs === undefined) return a.categorie !== 'autre';
    return Math.abs(a.tMs - b.tMs) <= 60000;
  }
  // Objections du modèle fusionnées avec celles signalées en direct : une seule entrée par objection.
  function fusionnerObjections(duModele, appel) {
    var r = [];
    duModele.forEach(function (o) { for (var i = 0; i < r.length; i++) if (memeObjection(r[i], o)) return; r.push(o); });
    var live = I.objectionsDeLAppel({ transcript: appel.transcript || [], detections: appel.detections || [], aides: appel.aides || [] }).filter(function (o) { return o.signalee; });
    live.forEach(function (l) {
      var x = { libelle: l.libelle, categorie: l.categorie, tMs: l.tMs };
      for (var i = 0; i < r.length; i++) if (memeObjection(r[i], x)) return;
      r.push({ libelle: l.extrait ? couper(l.extrait, 120) : l.libelle, categorie: l.categorie, tMs: l.tMs, traitement: l.aideDemandee ? 'Aide demandée au souffleur pendant l\'appel' : 'Signalée pendant l\'appel', reponseDonnee: '', meilleureReponse: '' });
    });
    r.sort(function (a, b) { return (a.tMs === undefined ? 1e15 : a.tMs) - (b.tMs === undefined ? 1e15 : b.tMs); });
    return r;
  }
  function echeanceDe(v, ref) {
    var t = texte(v).trim();
    if (!t) return '';
    if (/^\d{4}-\d{2}-\d{2}$/.test(t)) return t;
    var d = M.resoudreEcheance ? M.resoudreEcheance(t, ref) : null;
    return d || t;
  }

  M.finaliserAnalyse = function (reponseArg, appelArg, metaArg) {
    var r = extraireJSON(lire(reponseArg, reponseArg));
    if (!r) throw new Error('La réponse de l\'analyse est illisible.');
    var appel = objet(appelArg);
    var meta = objet(metaArg);
    var ref = texte(appel.debut) || undefined;
    var dims = {}, dimsModele = estObjet(r.dimensions) ? r.dimensions : {};
    D.DIMENSIONS.forEach(function (d) { var x = dimension(dimsModele[d.id]); if (x) dims[d.id] = x; });
    Object.keys(dimsModele).forEach(function (k) { if (!dims[k]) { var x = dimension(dimsModele[k]); if (x) dims[k] = x; } });
    var plafonds = tableau(r.plafonds).filter(estObjet).map(function (p) { return { dimension: texte(p.dimension), max: score(p.max), raison: texte(p.raison) }; })
      .filter(function (p) { return p.dimension && p.max !== null; });
    plafonds.forEach(function (p) { if (dims[p.dimension] && dims[p.dimension].score > p.max) dims[p.dimension].score = p.max; });
    var sc = score(r.score);
    if (sc === null) {
      var somme = 0, poids = 0;
      D.DIMENSIONS.forEach(function (d) { if (dims[d.id]) { somme += dims[d.id].score * d.poids; poids += d.poids; } });
      sc = poids > 0 ? Math.round(somme / poids) : 0;
    }
    var met = I.calculerMetriques(appel);
    if (Array.isArray(appel.transcript) && appel.transcript.length && met.nbEchanges < 4) sc = Math.min(sc, 40);
    var m = estObjet(r.methode) ? r.methode : {};
    var etapes = tableau(m.etapes).map(etapeMethode).filter(Boolean);
    if (!etapes.length && estObjet(r.framework)) etapes = tableau(r.framework.etapes).map(etapeMethode).filter(Boolean);
    // Step weights come from the company's process when the model leaves them out.
    var fw = I.frameworkPour(texte(appel.methode) || 'aucune');
    // A model answer without steps: the steps of the process are scored on the questions asked.
    if (!etapes.length && fw && I.etapesNotees && Array.isArray(appel.transcript)) etapes = I.etapesNotees(fw, texte(appel.type), appel.transcript);
    if (fw) etapes.forEach(function (e) {
      if (e.poids !== undefined) return;
      fw.etapes.forEach(function (f) { if (estObjet(f) && texte(f.id).trim() === e.id.trim() && nombre(f.poids, null) !== null) e.poids = nombre(f.poids, 0); });
    });
    var methode = { nom: texte(m.nom) || texte(appel.methode) || 'aucune', etapes: etapes };
    var ms = score(m.score);
    if (ms === null) {
      var sp = 0, pp = 0;
      etapes.forEach(function (e) { if (e.score !== undefined && e.poids > 0) { sp += e.score * e.poids; pp += e.poids; } });
      if (pp > 0) ms = Math.round(sp / pp);
    }
    if (ms !== null) methode.score = ms;
    if (!texte(m.frameworkId) && fw && etapes.length) m.frameworkId = texte(fw.id);
    if (texte(m.frameworkId) || (estObjet(r.framework) && texte(r.framework.id))) methode.frameworkId = texte(m.frameworkId) || texte(r.framework.id);
    var prochaines = tableau(r.prochainesEtapes).map(function (p) {
      if (typeof p === 'string') p = { action: p };
      if (!estObjet(p) || !texte(p.action).trim()) return null;
      return { action: texte(p.action).trim(), responsable: texte(p.responsable), echeance: echeanceDe(p.echeance, ref) };
    }).filter(Boolean);
    var notee = estObjet(appel.prochaineEtape) ? texte(appel.prochaineEtape.texte).trim() : '';
    if (notee) {
      prochaines = prochaines.filter(function (p) { return plier(p.action) !== plier(notee); });
      prochaines.unshift({ action: notee, responsable: texte(estObjet(I.etat().reglages) && estObjet(I.etat().reglages.commercial) ? I.etat().reglages.commercial.prenom : ''), echeance: texte(appel.prochaineEtape.echeance) || echeanceDe(notee, ref) });
    }
    var crm = estObjet(r.crm) ? r.crm : {};
    var etapeS = plier(texte(crm.etapeSuggeree)).replace(/[^a-z]/g, '');
    var champs = estObjet(crm.champs) ? crm.champs : {};
    var proba = nombre(crm.probabilite, null);
    if (proba !== null && proba > 0 && proba <= 1 && String(crm.probabilite).indexOf('.') >= 0) proba *= 100;
    var a = {
      score: sc, verdict: texte(r.verdict), sentiment: borne(nombre(r.sentiment, 0), -1, 1), resume: texte(r.resume),
      dimensions: dims, methode: methode,
      objections: fusionnerObjections(tableau(r.objections).map(objectionAnalyse).filter(Boolean), appel),
      moments: tableau(r.moments).filter(estObjet).map(function (x) { return { tMs: Math.max(0, entier(x.tMs, 0)), type: texte(x.type) || 'cle', texte: texte(x.texte) }; }).filter(function (x) { return x.texte.trim(); }),
      questionsOubliees: I.listeTextes(r.questionsOubliees),
      questionsQuiMarchent: tableau(r.questionsQuiMarchent).map(questionQuiMarche).filter(Boolean),
      prochainesEtapes: prochaines,
      email: { objet: texte(estObjet(r.email) ? r.email.objet : ''), corps: texte(estObjet(r.email) ? r.email.corps : r.email) },
      coaching: { pointFort: texte(estObjet(r.coaching) ? r.coaching.pointFort : ''), aTravailler: texte(estObjet(r.coaching) ? r.coaching.aTravailler : ''), conseil: texte(estObjet(r.coaching) ? r.coaching.conseil : '') },
      crm: { etapeSuggeree: ETAPES_OK[etapeS] && etapeS !== 'sommeil' ? etapeS : '', probabilite: proba === null ? 0 : Math.round(borne(proba, 0, 100)), resumeInteraction: texte(crm.resumeInteraction),
        prochaineAction: notee || texte(crm.prochaineAction), champs: { budget: texte(champs.budget), decideur: texte(champs.decideur), echeance: texte(champs.echeance), douleur: texte(champs.douleur) } }
    };
    var grille = I.grillePour(fw, texte(appel.methode) || 'aucune');
    var qualif = itemsEntendus(r.qualification, grille);
    // Without the model's items: those ticked live, else those the call's grid finds in the transcript.
    if (!qualif.length) qualif = itemsEntendus(tableau(appel.qualification), grille);
    if (!qualif.length && Array.isArray(appel.transcript)) qualif = JSON.parse(M.detecterQualification(JSON.stringify({ transcript: appel.transcript, grille: grille })));
    if (qualif.length) a.qualification = qualif.map(function (q) { return { item: q.item, nom: q.nom, valeur: q.valeur, preuve: q.preuve }; });
    if (plafonds.length) a.plafonds = plafonds;
    var issue = normaliserIssue(r.issue);
    if (issue) a.issue = issue;
    if (estObjet(r.relances)) a.relances = r.relances;
    if (estObjet(r.syntheseManager)) a.syntheseManager = r.syntheseManager;
    var mt = {};
    if (texte(meta.modele)) mt.modele = texte(meta.modele);
    if (texte(meta.source)) mt.source = texte(meta.source);
    if (Object.keys(mt).length) a.meta = mt;
    return json(a);
  };

  // Analyse de règles, sans modèle : la réponse de la démonstration.
  function analyseBrute(appelArg) {
    var appel = objet(appelArg);
    var met = I.calculerMetriques(appel);
    var segs = I.segments(appel);
    var objections = I.objectionsDeLAppel({ transcript: appel.transcript || [], detections: appel.detections || [], aides: appel.aides || [] });
    var qualif = JSON.parse(M.detecterQualification(JSON.stringify({ transcript: appel.transcript || [] })));
    var questions = [];
    for (var i = 0; i < segs.length && questions.length < 4; i++) {
      var s = segs[i];
      if (s.locuteur !== 'vous' || !I.questionsDansTexte(s.texte)) continue;
      var suite = segs[i + 1] && segs[i + 1].locuteur === 'prospect' ? segs[i + 1] : null;
      if (suite && I.nombre(suite.finMs - suite.debutMs, 0) > 4000) questions.push({ question: s.texte, etapeId: '', categorie: 'situation', info: couper(suite.texte, 140), tMs: s.debutMs });
    }
    var ecoute = borne(100 - Math.abs(met.partVous - 45) * 2, 30, 95);
    var decouverte = borne(40 + met.questionsVous * 5, 30, 92);
    var obj = objections.length ? borne(60 + 8 * objections.filter(function (o) { return o.aideDemandee; }).length, 40, 90) : 70;
    var dims = { decouverte: decouverte, engagement: borne(50 + met.nbEchanges, 40, 90), valeur: 68, ecoute: ecoute, objections: obj, closing: appel.prochaineEtape ? 80 : 62 };
    var preuve = function (f) { for (var k = 0; k < segs.length; k++) if (f(segs[k])) return couper(segs[k].texte, 160); return ''; };
    var dimensions = {};
    Object.keys(dims).forEach(function (k) { dimensions[k] = { score: Math.round(dims[k]), commentaire: '', preuve: '' }; });
    dimensions.decouverte.commentaire = met.questionsVous + ' questions posées pour faire parler le prospect.';
    dimensions.decouverte.preuve = preuve(function (s) { return s.locuteur === 'vous' && I.questionsDansTexte(s.texte) > 0; });
    dimensions.ecoute.commentaire = 'Vous avez parlé ' + met.partVous + ' % du temps.';
    dimensions.objections.commentaire = objections.length ? objections.length + ' objection(s) rencontrée(s).' : 'Aucune objection franche.';
    dimensions.objections.preuve = objections.length ? objections[0].extrait : '';
    var derniere = segs.length ? segs[segs.length - 1] : null;
    var champs = { budget: '', decideur: '', echeance: '', douleur: '' };
    qualif.forEach(function (q) { if (q.champ && champs[q.champ] === '') champs[q.champ] = q.valeur; });
    return {
      verdict: objections.length ? 'Découverte solide : la douleur est chiffrée, les objections ont été reprises.' : 'Échange fluide, à transformer en prochaine étape datée.',
      sentiment: 0.5,
      resume: 'Le prospect a décrit sa situation et sa douleur. ' + (qualif.length ? 'Éléments de qualification entendus : ' + qualif.map(function (q) { return q.nom.toLowerCase(); }).join(', ') + '. ' : '') +
        (objections.length ? 'Objections : ' + objections.map(function (o) { return o.libelle.toLowerCase(); }).join(', ') + '. ' : '') + (appel.prochaineEtape && appel.prochaineEtape.texte ? 'Prochaine étape : ' + appel.prochaineEtape.texte + '.' : ''),
      dimensions: dimensions,
      methode: { nom: texte(appel.methode) || 'aucune', etapes: [] },
      objections: objections.map(function (o) { return { libelle: o.libelle, categorie: o.categorie, tMs: o.tMs, traitement: o.aideDemandee ? 'bien' : 'partiel', reponseDonnee: '', meilleureReponse: o.reponse || '' }; }),
      moments: objections.map(function (o) { return { tMs: o.tMs, type: 'cle', texte: 'Objection : ' + o.libelle.toLowerCase() + '.' }; }),
      questionsOubliees: qualif.some(function (q) { return q.item === 'budget'; }) ? [] : ['Quel budget avez-vous prévu pour ce sujet cette année ?'],
      questionsQuiMarchent: questions,
      qualification: qualif.map(function (q) { return { item: q.item, nom: q.nom, valeur: q.valeur, preuve: q.preuve }; }),
      prochainesEtapes: appel.prochaineEtape && appel.prochaineEtape.texte ? [{ action: appel.prochaineEtape.texte, responsable: 'Commercial', echeance: texte(appel.prochaineEtape.echeance) }] : [],
      email: { objet: 'Suite à notre échange', corps: 'Bonjour,\n\nMerci pour cet échange. Comme convenu, je vous envoie une synthèse de ce que nous avons vu et je reviens vers vous pour la suite.\n\nBien à vous' },
      coaching: { pointFort: 'Des questions courtes qui font parler le prospect.', aTravailler: met.partVous > 55 ? 'Vous parlez plus que le prospect : laissez davantage de silences.' : 'Chiffrez l\'impact avant de présenter l\'offre.', conseil: 'Terminez chaque appel par une prochaine étape datée, avec le décideur.' },
      crm: { etapeSuggeree: '', probabilite: 0, resumeInteraction: derniere ? 'Appel de ' + Math.round(met.dureeSec / 60) + ' min.' : '', prochaineAction: appel.prochaineEtape ? texte(appel.prochaineEtape.texte) : '', champs: champs }
    };
  }
  I.analyseBrute = analyseBrute;
  // Analyse de démonstration, finalisée, pour un appel (le scénario « decouverte » par défaut).
  M.analyseDemo = function (appelArg) {
    var appel = lire(appelArg, null);
    if (!estObjet(appel) || !Array.isArray(appel.transcript)) {
      var s = JSON.parse(M.scenarioDemo(texte(appelArg) || 'decouverte'));
      appel = { id: 'demo_' + s.id, contactId: s.contactId, type: s.type, methode: s.methode, langue: s.langue, transcript: s.tours, detections: [], aides: [] };
    }
    var brute = analyseBrute(appel);
    var contact = appel.contactId ? I.contactParId(texte(appel.contactId)) : null;
    var suivant = { nouveau: 'contacte', contacte: 'decouverte', decouverte: 'demo', demo: 'proposition', proposition: 'negociation', negociation: 'negociation' };
    var etape = contact ? suivant[texte(contact.etape)] || '' : 'decouverte';
    brute.crm.etapeSuggeree = etape;
    brute.crm.probabilite = etape ? (D.ETAPES.filter(function (e) { return e.id === etape; })[0] || {}).probabilite || 0 : 0;
    return M.finaliserAnalyse(brute, appel, { modele: 'demo', source: 'demo' });
  };

  // ---------------------------------------------------------------- effets sur le contact
  M.effetsAnalyse = function (analyseArg, contactArg, appelArg, optionsArg) {
    var an = objet(analyseArg);
    var c0 = lire(contactArg, contactArg);
    var contact = estObjet(c0) ? c0 : I.contactParId(texte(c0));
    if (!contact) throw new Error('Ce contact est introuvable.');
    contact = JSON.parse(JSON.stringify(contact));
    var appel = objet(appelArg);
    var opts = objet(optionsArg);
    var maintenant = texte(opts.maintenant) || new Date().toISOString();
    var ref = texte(appel.debut) || maintenant;
    var crm = estObjet(an.crm) ? an.crm : {};
    var sugg = texte(crm.etapeSuggeree);
    var actuelle = texte(contact.etape) || 'nouveau';
    var base = actuelle === 'sommeil' ? (texte(contact.etapeAvantSommeil) || 'contacte') : actuelle;
    var O = I.ORDRE_ETAPES;
    var appliquee = false;
    // Le pipeline n'avance que vers l'avant ; gagné et perdu restent une décision de l'utilisateur (issue proposée).
    if (ETAPES_OK[sugg] && sugg !== 'gagne' && sugg !== 'perdu' && sugg !== 'sommeil' && base !== 'gagne' && base !== 'perdu' && O[sugg] > O[base]) {
      contact.etape = sugg; appliquee = true;
    } else if (actuelle === 'sommeil') {
      contact.etape = base;
    }
    if (actuelle === 'sommeil') { delete contact.etapeAvantSommeil; delete contact.sommeilLe; }
    var proba = nombre(crm.probabilite, 0);
    if (contact.etape !== 'gagne' && contact.etape !== 'perdu') {
      if (proba > 0) contact.probabilite = Math.round(borne(proba, 0, 100));
      else if (appliquee) contact.probabilite = (D.ETAPES.filter(function (e) { return e.id === contact.etape; })[0] || {}).probabilite || 10;
    }
    // Prochaine action : celle notée pendant l'appel prime sur celle de l'analyse ; jamais de date inventée.
    var notee = estObjet(appel.prochaineEtape) ? appel.prochaineEtape : null;
    var prochaine = null;
    if (notee && texte(notee.texte).trim()) prochaine = { texte: texte(notee.texte).trim(), echeance: texte(notee.echeance) || texte(M.resoudreEcheance ? M.resoudreEcheance(texte(notee.texte), ref) || '' : '') };
    else if (texte(crm.prochaineAction).trim()) {
      var pe = tableau(an.prochainesEtapes).filter(estObjet)[0];
      var ech = pe && /^\d{4}-\d{2}-\d{2}$/.test(texte(pe.echeance)) ? texte(pe.echeance) : (M.resoudreEcheance ? M.resoudreEcheance(texte(crm.prochaineAction), ref) || '' : '');
      prochaine = { texte: texte(crm.prochaineAction).trim(), echeance: ech || '' };
    }
    if (prochaine) contact.prochaineAction = prochaine;
    var champs = estObjet(contact.champs) ? contact.champs : {};
    var appris = estObjet(crm.champs) ? crm.champs : {};
    // Heard items feed the contact field their grid item names, when the analysis left it empty.
    var grille = I.grillePour(I.frameworkPour(texte(appel.methode) || 'aucune'), texte(appel.methode) || 'aucune');
    var champDe = {};
    grille.items.forEach(function (it) { if (estObjet(it) && texte(it.champ)) champDe[texte(it.id).trim()] = texte(it.champ); });
    tableau(an.qualification).forEach(function (q) {
      var k = estObjet(q) ? champDe[texte(q.item).trim()] : '';
      if (k && !texte(appris[k]).trim() && texte(q.valeur).trim()) appris[k] = texte(q.valeur).trim();
    });
    ['budget', 'decideur', 'echeance', 'douleur'].forEach(function (k) { champs[k] = texte(appris[k]).trim() || texte(champs[k]); });
    contact.champs = champs;
    if (Array.isArray(an.qualification) && an.qualification.length)
      contact.qualification = JSON.parse(M.normaliserQualificationEntendue(an.qualification, { existants: contact.qualification || [], appelId: texte(appel.id), date: ref, source: 'analyse' }));
    if (M.detecterRegistre && Array.isArray(appel.transcript)) {
      var det = JSON.parse(M.detecterRegistre(appel));
      var fus = JSON.parse(M.fusionnerRegistre(contact.registre || null, det, { appelId: texte(appel.id), le: maintenant }));
      if (fus) contact.registre = fus;
    }
    contact.majLe = maintenant;
    var interactions = [];
    if (texte(appel.id)) {
      var type = texte(appel.type) || 'decouverte';
      interactions.push({ id: 'i_' + texte(appel.id), contactId: texte(contact.id), type: 'appel', date: ref, titre: 'Appel de ' + (D.LIBELLES_TYPES_APPEL[type] || type).toLowerCase(),
        resume: texte(crm.resumeInteraction) || texte(an.resume), appelId: texte(appel.id), creeLe: maintenant, majLe: maintenant });
    }
    return json({ contact: contact, interactions: interactions, prochaineAction: prochaine, etapeAppliquee: appliquee, etapeSuggeree: sugg });
  };

  // Score rapide, sur les métriques seules, avant l'analyse.
  M.scoreExpress = function (appelArg) {
    var appel = lire(appelArg, []);
    var m = I.calculerMetriques(appel);
    if (!m.nbEchanges) return 0;
    var s = 50;
    if (m.partVous >= 30 && m.partVous <= 55) s += 15; else if (m.partVous > 70) s -= 15; else if (m.partVous > 55) s -= 5;
    s += Math.min(m.questionsVous * 3, 18);
    if (m.plusLongMonologueSec > 90) s -= 10; else if (m.plusLongMonologueSec > 60) s -= 5;
    if (m.interruptions > 3) s -= 5;
    var a = estObjet(appel) ? appel : {};
    if (estObjet(a.prochaineEtape) && texte(a.prochaineEtape.texte).trim()) s += 10;
    var aides = tableau(a.aides).filter(function (x) { return estObjet(x) && x.tache === 'objection'; }).length;
    if (aides) s += 5;
    s = Math.round(borne(s, 0, 100));
    if (m.nbEchanges < 4) s = Math.min(s, 40);
    return s;
  };
})(Moteur);

