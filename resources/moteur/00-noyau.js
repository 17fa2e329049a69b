// Vendalo — moteur de vente.
//
// Ce script porte la méthode de vente du programme : les consignes données au
// modèle de langue, les formes JSON attendues en retour et les règles métier
// (questions, objections, qualification, métriques de parole, échéances,
// registre tu/vous, phase de l'affaire) ainsi que les données de démonstration.
//
// Contrat avec l'hôte :
//  - un seul global, `Moteur` ; l'hôte appelle ses fonctions par leur nom ;
//  - les enregistrements arrivent en texte JSON (chaque fonction accepte aussi
//    un objet déjà décodé) ; tout résultat structuré repart en texte JSON
//    (JSON.stringify), les nombres et booléens en valeurs simples ;
//  - `Moteur.donnees` porte les vocabulaires ;
//  - le texte du modèle ou du transcript n'est jamais évalué comme du code :
//    il n'est lu qu'avec JSON.parse et des expressions régulières fixes.
//
// Conventions de lecture : un argument « texte » peut être une chaîne brute ou
// une chaîne JSON ; un « transcript » est un tableau de segments
// {locuteur: "vous"|"prospect", texte, debutMs, finMs, interlocuteur?}.
//
// Fonctions (arguments → résultat) :
//  chargerEtat(etat)                                  → rien (undefined voulu)
//  compterQuestions(texte | segment | transcript | appel) → nombre (paroles du commercial)
//  detecterObjection(texte | fenêtre de transcript)   → {tMs, categorie, libelle, extrait, declencheur, objectionId?, reponse?} | null
//  detecterObjection({transcript, detections, aides}) → [{tMs, categorie, libelle, extrait, signalee, aideDemandee, repondue?}]
//  detecterQualification(texte | transcript | {transcript, grille, dejaVus}, grille?) → [{item, nom, valeur, preuve, champ, tMs}]
//        grille : objet GrilleQualification ou identifiant ("essentiel" par défaut, "bant", "meddic", "soncas")
//  metriques(appel | transcript)                      → Metriques ; interruptions = le commercial coupe le prospect
//  derniereProspect(transcript)                       → texte
//  contexteAppel(config {contactId, type, objectif, methode, langue, brief}, exclureAppelId?) → contexte
//  contexteContact(contact | contactId)               → {contact, profil, historique, appelsPasses, objectionsPassees} | null
//  consigneLive(contexte) → texte ; typeConsigne(contexte) → "objectif" | "brief" | "etape" | "type"
//  payloadLive(tache, contexte, transcript, aides, detection, demande, fenetreSec, derniereProspect) → payload
//        (ou un seul objet portant ces clés)
//  requete(tache, payload, modele)                    → {corps, effort, maxTokens}
//  repliSupporte(modele), effortSupporte(modele), erreurDeFormat(message) → booléen
//  reponseDemo(tache, payload)                        → texte de la réponse (vide : pas de réponse)
//  payloadAnalyse(appel, contexteContact?, {equipe}?) → payload ; promptAnalyse(payload) → {systeme, contenu}
//  finaliserAnalyse(reponse du modèle, appel, {modele, source}?) → Analyse
//  payloadBrief({contactId, type, objectif, methode, langue}) → payload de la tâche brief ; promptBrief(payload) → {systeme, contenu, schema}
//  normaliserBriefEtapes(brief | étapes, payload?) → BriefEtape[] ; normaliserBriefQualification(brief | items, payload?) → BriefQualification[]
//  effetsAnalyse(analyse, contact | contactId, appel, {maintenant}?) → {contact, interactions, prochaineAction, etapeAppliquee, etapeSuggeree}
//  analyseDemo(appel | idScenario?) → Analyse ; etatDemo(dateReference?) → Etat ; scenarioDemo(id = "decouverte") → ScenarioDemo
//  scoreExpress(appel)                                → nombre de 0 à 100
//  phaseDeduite(contact | {contact|etape, type, transcript?}) → texte ; phaseEtape(etape | étape de framework) → texte
//  normaliserQualificationEntendue(items, {grille?, existants?, appelId?, date?, source?}) → ItemEntendu[] | QualificationContact[]
//  normaliserQuestionsPosees(v) → [{texte, posee}] ; normaliserIssue(v) → IssueAnalyse | null
//  questionsQuiMarchent(analyse | appels?) ; questionsOubliees(analyse | appels?) ; questionsFavorites(appel?)
//  resoudreEcheance(texte, dateReference?)            → "aaaa-mm-jj" | null (jamais de date inventée)
//  detecterRegistre(texte | transcript | appel) → RegistreDetecte ; fusionnerRegistre(registreContact, detection, {appelId, le}) → RegistreContact | null
//  choisirRegistre(registreContact, detection, choix) → RegistreEffectif ; libelleRegistre(valeur) → texte
/* eslint-disable no-var */
var Moteur = (function () {
  'use strict';

  // ---------------------------------------------------------------- outils

  function estObjet(v) { return v !== null && typeof v === 'object' && !Array.isArray(v); }

  // Valeur JSON passée en texte ou déjà décodée. Un texte qui n'est pas du JSON
  // vaut `defaut`.
  function lire(v, defaut) {
    if (v === undefined || v === null) return defaut;
    if (typeof v === 'string') {
      var t = v.trim();
      if (t === '') return defaut;
      var c = t.charAt(0);
      if (c === '{' || c === '[' || c === '"') {
        try { return JSON.parse(t); } catch (e) { return defaut; }
      }
      if (t === 'null') return defaut;
      return defaut;
    }
    return v;
  }
  function objet(v) { var o = lire(v, null); return estObjet(o) ? o : {}; }
  function tableau(v) { var o = lire(v, null); return Array.isArray(o) ? o : []; }
  // Texte libre : chaîne brute, chaîne JSON, nombre.
  function texte(v) {
    if (v === undefined || v === null) return '';
    if (typeof v === 'number' && isFinite(v)) return String(v);
    if (typeof v === 'boolean') return String(v);
    if (typeof v !== 'string') return '';
    // Most texts are plain: only one that starts with a quote (or a blank) may be a JSON string.
    var c = v.charCodeAt(0);
    if (c !== 34 && c !== 32 && c !== 9 && c !== 10 && c !== 13) return v;
    var t = v.trim();
    if (t.length > 1 && t.charAt(0) === '"' && t.charAt(t.length - 1) === '"') {
      try { var s = JSON.parse(t); if (typeof s === 'string') return s; } catch (e) { /* texte brut */ }
    }
    return v;
  }
  function nombre(v, defaut) {
    if (typeof v === 'number' && isFinite(v)) return v;
    if (typeof v === 'string') {
      var t = v.replace(/,/g, '.').replace(/\s+/g, '');
      if (t !== '' && /^[-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?$/i.test(t)) { var n = Number(t); if (isFinite(n)) return n; }
    }
    return defaut;
  }
  function entier(v, defaut) { var n = nombre(v, null); return n === null ? defaut : Math.round(n); }
  function borne(n, min, max) { return Math.min(max, Math.max(min, n)); }
  function json(v) { return JSON.stringify(v === undefined ? null : v); }
  function listeTextes(v) {
    var a = lire(v, null);
    if (typeof a === 'string') a = [a];
    if (!Array.isArray(a)) return [];
    var r = [];
    for (var i = 0; i < a.length; i++) {
      var t = estObjet(a[i]) ? texte(a[i].texte || a[i].question || a[i].libelle) : texte(a[i]);
      t = t.trim();
      if (t) r.push(t);
    }
    return r;
  }

  var ACCENTS = {
    'à': 'a', 'â': 'a', 'ä': 'a', 'á': 'a', 'ã': 'a', 'å': 'a', 'ç': 'c', 'é': 'e', 'è': 'e', 'ê': 'e', 'ë': 'e',
    'í': 'i', 'ì': 'i', 'î': 'i', 'ï': 'i', 'ñ': 'n', 'ó': 'o', 'ò': 'o', 'ô': 'o', 'ö': 'o', 'õ': 'o', 'ú': 'u',
    'ù': 'u', 'û': 'u', 'ü': 'u', 'ý': 'y', 'ÿ': 'y', 'œ': 'oe', 'æ': 'ae', '’': "'", '‘': "'", 'ʼ': "'", '‑': '-', '–': '-', '—': '-', '…': '...'
  };
  var RE_ACCENTS = /[àâäáãåçéèêëíìîïñóòôöõúùûüýÿœæ’‘ʼ‑–—…]/g;
  var RE_ESPACES_A_REDUIRE = /\s\s|[\t\n\r\f\v\u00a0\u202f\u2009\u2000-\u200a\u3000\ufeff]/;
  function remplaceAccent(c) { return ACCENTS[c]; }
  // Texte plié : minuscules, sans diacritiques, apostrophes droites, espaces simples.
  function plier(t) {
    var p = (typeof t === 'string' ? t : String(t === undefined || t === null ? '' : t)).toLowerCase().replace(RE_ACCENTS, remplaceAccent);
    if (RE_ESPACES_A_REDUIRE.test(p)) p = p.replace(/\s+/g, ' ');
    return p.trim();
  }
  function couper(t, max) {
    t = String(t || '').replace(/\s+/g, ' ').trim();
    return t.length <= max ? t : t.slice(0, max - 1).replace(/\s+\S*$/, '') + '…';
  }
  function pad(n) { return (n < 10 ? '0' : '') + n; }
  function jour(d) { return d.getFullYear() + '-' + pad(d.getMonth() + 1) + '-' + pad(d.getDate()); }
  function horloge(ms) {
    var s = Math.max(0, Math.floor((Number(ms) || 0) / 1000));
    var h = Math.floor(s / 3600), m = Math.floor((s % 3600) / 60);
    return (h ? h + ':' + pad(m) : String(m)) + ':' + pad(s % 60);
  }
  // Date de référence : texte ISO ("2026-12-03", "2026-12-03T10:00:00.000Z"), nombre (ms) ou maintenant.
  function dateRef(v) {
    v = lire(v, v);
    if (typeof v === 'number' && isFinite(v)) return new Date(v);
    var t = texte(v).trim();
    var m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(t);
    if (m) return new Date(Number(m[1]), Number(m[2]) - 1, Number(m[3]), 12, 0, 0);
    if (t) { var d = new Date(t); if (!isNaN(d.getTime())) return d; }
    return new Date();
  }

  // Segments lus avec souplesse, dans l'ordre du temps.
  function segments(v) {
    var o = lire(v, null);
    if (estObjet(o)) o = o.transcript !== undefined ? lire(o.transcript, []) : (o.tours !== undefined ? lire(o.tours, []) : null);
    if (!Array.isArray(o)) return [];
    var r = [], trie = true;
    for (var i = 0; i < o.length; i++) {
      var s = o[i];
      if (!estObjet(s)) continue;
      var seg = {
        locuteur: s.locuteur === 'vous' ? 'vous' : 'prospect',
        texte: texte(s.texte),
        debutMs: entier(s.debutMs, 0),
        finMs: entier(s.finMs, 0)
      };
      if (seg.finMs < seg.debutMs) seg.finMs = seg.debutMs;
      var n = entier(s.interlocuteur, 0);
      if (seg.locuteur === 'prospect' && n >= 1) seg.interlocuteur = n;
      if (r.length && seg.debutMs < r[r.length - 1].debutMs) trie = false;
      r.push(seg);
    }
    if (!trie) {
      for (var k = 0; k < r.length; k++) r[k].rang = k;
      r.sort(function (a, b) { return a.debutMs - b.debutMs || a.rang - b.rang; });
    }
    return r;
  }
  function nomLocuteur(s) {
    if (s.locuteur === 'vous') return 'Commercial';
    return s.interlocuteur && s.interlocuteur > 1 ? 'Prospect ' + s.interlocuteur : 'Prospect';
  }
  function lignesTranscript(segs) {
    var l = [];
    for (var i = 0; i < segs.length; i++) l.push('[' + horloge(segs[i].debutMs) + '] ' + nomLocuteur(segs[i]) + ' : ' + segs[i].texte);
    return l.join('\n');
  }
  // Words: runs of letters or digits; an apostrophe or a hyphen between two letters joins them.
  function estLettre(c) { return (c >= 48 && c <= 57) || (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || (c >= 192 && c !== 215 && c !== 247 && c <= 0x24f) || c === 0x153 || c === 0x152; }
  function nombreMots(t) {
    t = String(t);
    var n = 0, dedans = false;
    for (var i = 0; i < t.length; i++) {
      var c = t.charCodeAt(i);
      if (estLettre(c)) { if (!dedans) { n++; dedans = true; } }
      else if (dedans && (c === 39 || c === 0x2019 || c === 45) && i + 1 < t.length && estLettre(t.charCodeAt(i + 1))) { /* même mot */ }
      else dedans = false;
    }
    return n;
  }
  function identifiant(prefixe) {
    return prefixe + Date.now().toString(36) + Math.floor(Math.random() * 1e6).toString(36);
  }

  // ---------------------------------------------------------------- données

  var ETAPES = [
    { id: 'nouveau', libelle: 'Nouveau', couleur: '#878A94', fond: '#F0EFEA', probabilite: 5 },
    { id: 'contacte', libelle: 'Contacté', couleur: '#5B6B8C', fond: '#ECEFF5', probabilite: 10 },
    { id: 'decouverte', libelle: 'Découverte', couleur: '#3D6BFF', fond: '#EDF1FF', probabilite: 20 },
    { id: 'demo', libelle: 'Démo', couleur: '#0044FF', fond: '#E9EEFF', probabilite: 35 },
    { id: 'proposition', libelle: 'Proposition', couleur: '#6B4FD8', fond: '#F0ECFD', probabilite: 55 },
    { id: 'negociation', libelle: 'Négociation', couleur: '#B76E00', fond: '#FFF3DC', probabilite: 75 },
    { id: 'gagne', libelle: 'Gagné', couleur: '#0E9F6E', fond: '#E3F6EE', probabilite: 100 },
    { id: 'perdu', libelle: 'Perdu', couleur: '#D93F3F', fond: '#FDECEC', probabilite: 0 },
    { id: 'sommeil', libelle: 'En sommeil', couleur: '#7A7F8C', fond: '#EEEFF2', probabilite: 5 }
  ];
  var ORDRE_ETAPES = { nouveau: 0, contacte: 1, decouverte: 2, demo: 3, proposition: 4, negociation: 5, gagne: 6, perdu: 6, sommeil: 1 };
  // Phases de l'affaire, de la plus précoce à la plus avancée.
  var RANG_PHASE = { prospection: 0, decouverte: 1, demo: 2, suivi: 2, negociation: 3, closing: 4, upsell: 5, retention: 5 };

  var GRILLE_ESSENTIEL = {
    methode: 'essentiel', nom: 'Essentiel', genre: 'qualification',
    items: [
      { id: 'douleur', nom: 'Douleur', sigle: 'D', champ: 'douleur', pourquoi: 'Sans problème dit avec ses mots, le prospect n\'a aucune raison d\'acheter.', questions: ['Qu\'est-ce qui coince le plus aujourd\'hui ?'] },
      { id: 'budget', nom: 'Budget', sigle: 'B', champ: 'budget', pourquoi: 'Savoir tôt si l\'argent existe évite de travailler pour rien.', questions: ['Quel budget avez-vous prévu pour ce sujet cette année ?'] },
      { id: 'decideur', nom: 'Décideur', sigle: 'D', champ: 'decideur', pourquoi: 'Celui qui signe n\'est pas toujours celui qui vous parle.', questions: ['Qui d\'autre participe à la décision ?'] },
      { id: 'echeance', nom: 'Échéance', sigle: 'É', champ: 'echeance', pourquoi: 'Sans date, le projet glisse au trimestre suivant.', questions: ['Pour quand voulez-vous que ce soit réglé ?'] }
    ]
  };

  var GRILLES_QUALIFICATION = [
    {
      id: 'bant', label: 'BANT', methode: 'bant', nom: 'BANT', genre: 'qualification',
      items: [
        { id: 'budget', nom: 'Budget', sigle: 'B', champ: 'budget', pourquoi: 'Un projet sans enveloppe reste une idée : sachez tôt si l\'argent existe.', questions: ['Quel budget avez-vous prévu pour ce sujet cette année ?', 'Comment ce type de dépense est-il financé chez vous ?'] },
        { id: 'autorite', nom: 'Autorité', sigle: 'A', champ: 'decideur', pourquoi: 'Celui qui signe n\'est pas toujours celui qui vous parle.', questions: ['Qui d\'autre participe à la décision ?', 'Comment se passe la validation d\'un achat comme celui-ci ?'] },
        { id: 'besoin', nom: 'Besoin', sigle: 'N', champ: 'douleur', pourquoi: 'Sans besoin dit par le prospect, la proposition tombe à plat.', questions: ['Qu\'est-ce qui coince le plus aujourd\'hui ?', 'Pourquoi ce sujet maintenant, plutôt que dans six mois ?'] },
        { id: 'echeance', nom: 'Échéance', sigle: 'T', champ: 'echeance', pourquoi: 'Sans date, le projet glisse au trimestre suivant.', questions: ['Pour quand voulez-vous que ce soit réglé ?'] }
      ]
    },
    {
      id: 'meddic', label: 'MEDDIC', methode: 'meddic', nom: 'MEDDIC', genre: 'qualification',
      items: [
        { id: 'metriques', nom: 'Métriques', sigle: 'M', champ: '', pourquoi: 'Un gain chiffré par le prospect justifie le prix mieux que vos arguments.', questions: ['Quel chiffre voulez-vous voir bouger, et de combien ?'] },
        { id: 'acheteur', nom: 'Acheteur économique', sigle: 'E', champ: 'decideur', pourquoi: 'Sans l\'accord de celui qui tient le budget, rien ne se signe.', questions: ['Qui tient le budget pour ce type de projet ?'] },
        { id: 'criteres', nom: 'Critères de décision', sigle: 'D', champ: '', pourquoi: 'Connaître la grille de comparaison évite de perdre sur un critère inconnu.', questions: ['Sur quels critères allez-vous comparer les solutions ?'] },
        { id: 'processus', nom: 'Processus de décision', sigle: 'D', champ: 'echeance', pourquoi: 'Chaque étape de validation cachée ajoute des semaines au cycle.', questions: ['Quelles sont les étapes jusqu\'à la signature, et qui valide chacune ?'] },
        { id: 'douleur', nom: 'Douleur identifiée', sigle: 'I', champ: 'douleur', pourquoi: 'La douleur et son coût sont le moteur de l\'achat.', questions: ['Qu\'est-ce que ce problème vous coûte aujourd\'hui ?'] },
        { id: 'champion', nom: 'Champion', sigle: 'C', champ: '', pourquoi: 'Un allié interne vend pour vous quand vous n\'êtes pas dans la pièce.', questions: ['Qui, chez vous, a le plus intérêt à ce que ce projet aboutisse ?'] }
      ]
    },
    {
      id: 'soncas', label: 'SONCAS', methode: 'soncas', nom: 'SONCAS', genre: 'motivation',
      items: [
        { id: 'securite', nom: 'Sécurité', sigle: 'S', champ: '', pourquoi: 'Un prospect inquiet achète des garanties avant des fonctions.', questions: ['Qu\'est-ce qui vous rassurerait pour avancer ?'] },
        { id: 'orgueil', nom: 'Orgueil', sigle: 'O', champ: '', pourquoi: 'L\'image et la reconnaissance pèsent dans certains choix.', questions: ['Qu\'est-ce que ce projet changerait pour l\'image de votre équipe ?'] },
        { id: 'nouveaute', nom: 'Nouveauté', sigle: 'N', champ: '', pourquoi: 'Certains prospects achètent l\'envie d\'avoir un temps d\'avance.', questions: ['Qu\'est-ce qui vous attire dans une nouvelle façon de faire ?'] },
        { id: 'confort', nom: 'Confort', sigle: 'C', champ: 'douleur', pourquoi: 'Gagner du temps et de la tranquillité est souvent le vrai levier.', questions: ['Qu\'est-ce qui vous simplifierait la vie au quotidien ?'] },
        { id: 'argent', nom: 'Argent', sigle: 'A', champ: 'budget', pourquoi: 'Le retour sur investissement parle aux prospects guidés par les chiffres.', questions: ['Combien ce problème vous coûte-t-il chaque mois ?'] },
        { id: 'sympathie', nom: 'Sympathie', sigle: 'S', champ: '', pourquoi: 'La relation et la confiance font pencher les choix serrés.', questions: ['Qu\'est-ce qui compte pour vous dans la relation avec un fournisseur ?'] }
      ]
    }
  ];

  var donnees = {
    TYPES_APPEL: ['prospection', 'decouverte', 'demo', 'suivi', 'closing', 'negociation', 'upsell'],
    LIBELLES_TYPES_APPEL: { prospection: 'Prospection', decouverte: 'Découverte', demo: 'Démo', suivi: 'Suivi', closing: 'Closing', negociation: 'Négociation', upsell: 'Upsell' },
    TYPE_SUGGERE_PAR_ETAPE: { nouveau: 'prospection', contacte: 'decouverte', decouverte: 'demo', demo: 'suivi', proposition: 'closing', negociation: 'negociation', gagne: 'upsell', perdu: 'suivi' },
    PHASES_ETAPE: { nouveau: 'prospection', contacte: 'decouverte', decouverte: 'decouverte', demo: 'demo', proposition: 'negociation', negociation: 'negociation', gagne: 'upsell', perdu: 'suivi', sommeil: 'prospection' },
    ETAPES: ETAPES,
    DIMENSIONS: [
      { id: 'decouverte', libelle: 'Découverte', poids: 0.2 },
      { id: 'engagement', libelle: 'Engagement', poids: 0.15 },
      { id: 'valeur', libelle: 'Valeur', poids: 0.2 },
      { id: 'ecoute', libelle: 'Écoute', poids: 0.15 },
      { id: 'objections', libelle: 'Objections', poids: 0.15 },
      { id: 'closing', libelle: 'Closing', poids: 0.15 }
    ],
    METHODES: [
      { id: 'aucune', libelle: 'Aucune méthode', description: 'Votre façon de faire, sans grille imposée.' },
      { id: 'spin', libelle: 'SPIN', description: 'Situation, problème, implication, bénéfice : la découverte par les questions.' },
      { id: 'bant', libelle: 'BANT', description: 'Budget, autorité, besoin, échéance : qualifier vite.' },
      { id: 'meddic', libelle: 'MEDDIC', description: 'Pour les affaires à plusieurs décideurs et aux cycles longs.' },
      { id: 'soncas', libelle: 'SONCAS', description: 'Parler au bon levier de motivation du prospect.' }
    ],
    CATEGORIES_OBJECTION: [
      { id: 'prix', libelle: 'Prix' }, { id: 'timing', libelle: 'Pas le moment' }, { id: 'concurrence', libelle: 'Concurrence' },
      { id: 'besoin', libelle: 'Pas de besoin' }, { id: 'decideur', libelle: 'Pas décideur' }, { id: 'confiance', libelle: 'Doute' },
      { id: 'documentation', libelle: 'Envoyez-moi une doc' }, { id: 'temps', libelle: 'Pas le temps' },
      { id: 'reflexion', libelle: 'Je vais réfléchir' }, { id: 'autre', libelle: 'Autre' }
    ],
    CATEGORIES_QUESTION: [
      { id: 'situation', libelle: 'Situation' }, { id: 'probleme', libelle: 'Problème' }, { id: 'impact', libelle: 'Impact' },
      { id: 'budget', libelle: 'Budget' }, { id: 'decision', libelle: 'Décision' }, { id: 'echeance', libelle: 'Échéance' },
      { id: 'autre', libelle: 'Autre' }
    ],
    ROLES: [
      { id: 'dirigeant', libelle: 'Dirigeant' }, { id: 'direction_operations', libelle: 'Direction des opérations' },
      { id: 'finance', libelle: 'Finance' }, { id: 'utilisateur', libelle: 'Utilisateur' }, { id: 'prescripteur', libelle: 'Prescripteur' },
      { id: 'achats', libelle: 'Achats' }, { id: 'autre', libelle: 'Autre' }
    ],
    STYLES: [
      { id: 'consultatif', libelle: 'Consultatif' }, { id: 'direct', libelle: 'Direct' },
      { id: 'chaleureux', libelle: 'Chaleureux' }, { id: 'analytique', libelle: 'Analytique' }
    ],
    MODELES: [
      { id: 'claude-haiku-4-5', libelle: 'Claude Haiku 4.5', description: 'Le plus rapide, pour le live' },
      { id: 'claude-sonnet-5-5', libelle: 'Claude Sonnet 5.5', description: 'Le bon équilibre pour l\'analyse' },
      { id: 'claude-opus-5-5', libelle: 'Claude Opus 5.5', description: 'Meilleure analyse' }
    ],
    MODELES_DEFAUT: { live: 'claude-haiku-4-5', analyse: 'claude-sonnet-5-5', quillo: 'claude-sonnet-5-5', brief: 'claude-sonnet-5-5' },
    LANGUES: [{ id: 'fr', libelle: 'Français' }, { id: 'en', libelle: 'Anglais' }, { id: 'multi', libelle: 'Détection auto' }],
    SOURCES_AUDIO: [{ id: 'micro+mac', libelle: 'Micro et son de l\'ordinateur' }, { id: 'demo', libelle: 'Appel simulé' }],
    TYPES_INTERACTION: [
      { id: 'appel', libelle: 'Appel' }, { id: 'email', libelle: 'E-mail' }, { id: 'rdv', libelle: 'Rendez-vous' },
      { id: 'relance', libelle: 'Relance' }, { id: 'note', libelle: 'Note' }, { id: 'linkedin', libelle: 'LinkedIn' }
    ],
    ETAPES_ANALYSE: ['Transcript', 'Métriques', 'Historique du prospect', 'Analyse Quillo', 'Mise à jour du CRM'],
    TACHES_LIVE: ['objection', 'questions', 'recap', 'libre'],
    GRILLES_QUALIFICATION: GRILLES_QUALIFICATION
  };
  function libelleDe(liste, id) {
    for (var i = 0; i < liste.length; i++) if (liste[i].id === id) return liste[i].libelle;
    return '';
  }

  // ---------------------------------------------------------------- état chargé

  // Données du magasin local, données par chargerEtat avant les tâches qui les lisent.
  var etat = {};
  function contactParId(id) {
    var c = etat.contacts || [];
    for (var i = 0; i < c.length; i++) if (c[i] && c[i].id === id) return c[i];
    return null;
  }
  function profilParId(id) {
    var p = etat.profilsClients || [];
    for (var i = 0; i < p.length; i++) if (p[i] && p[i].id === id) return p[i];
    return null;
  }
  function nomContact(c) {
    if (!c) return '';
    var n = ((c.prenom || '') + ' ' + (c.nom || '')).trim();
    return n || c.societe || '';
  }

  // ---------------------------------------------------------------- questions

  var AMORCES = '(?:(?:et|mais|alors|donc|du coup|ok|okay|d\'accord|bon|bien|euh+|hum+|ah|oh|puis|sinon|enfin|tres bien|parfait|super|justement|et puis|et alors|et donc|et aujourd\'hui|aujourd\'hui|concretement)[ ,]+)*';
  var RE_DEBUT_QUESTION = new RegExp('^' + AMORCES + '(?:est[- ]ce que|est[- ]ce qu\'|qu\'est[- ]ce|qu\'en|combien|comment|pourquoi(?! pas\\b)|quel|quelle|quels|quelles|lequel|laquelle|lesquel(?:le)?s|qui|a quel|a quelle|a qui|a combien|de quel|de quelle|de qui|de combien|depuis combien|depuis quand|jusqu\'a quand|pour quand|pour qui|avec qui|avec quel|avec quelle|dans quel|dans quelle|sur quel|sur quelle|par quel|par quelle|par ou|d\'ou|ou est-ce|ou en|c\'est quoi|c\'est qui|quoi|y a-t-il|n\'y a-t-il)\\b');
  var RE_INVERSION = /\b([a-z]+)(?:-t)?-(?:vous|tu|il|elle|ils|elles|on|nous)\b/g;
  var INVERSIONS_EXCLUES = { rendez: 1, dites: 1, montrez: 1, envoyez: 1, rappelez: 1, souvenez: 1, figurez: 1, detrompez: 1, rassurez: 1, allez: 0, donnez: 1, faites: 0, laissez: 1, excusez: 1, ecoutez: 1, tenez: 1, attendez: 1, voyez: 0, entre: 1, chez: 1 };
  var RE_FIN_QUESTION = /\b(?:combien|comment|quand|ou ca|c'est qui|pour qui|lequel|laquelle|c'est ca|n'est-ce pas|pas vrai|vous croyez|tu crois)\s*$/;
  var RE_INDIRECTE = /\b(?:je voulais|j'aimerais|je voudrais|je souhaiterais|je souhaitais|j'aurais voulu) (?:savoir|comprendre|vous demander|te demander)\b|^(?:et |alors |donc )?(?:dites-moi|racontez-moi|expliquez-moi|parlez-moi|dis-moi|raconte-moi|explique-moi)\b/;
  var RE_DECOUPE = /,?\s+(?:et|mais|puis|ou bien|ou alors)\s+(?=(?:est-ce|qu'est|combien|comment|pourquoi|quel|quelle|quels|quelles|a quel|depuis combien|depuis quand|pour quand|c'est quoi)\b)/;
  var RE_LIAISON = /\s(?:et|mais|puis|ou)\s/;
  var RE_QUOI = /\b([a-z']+) quoi\b/g;
  var QUOI_NON_QUESTION = { de: 1, pas: 1, sais: 1, "n'importe": 1, importe: 1, ou: 1, savoir: 1, dire: 1, voila: 1, genre: 1, enfin: 1, bref: 1, bon: 1, et: 1 };

  function estInterrogative(p) {
    if (!p) return false;
    if (RE_DEBUT_QUESTION.test(p)) return true;
    if (RE_INDIRECTE.test(p)) return true;
    RE_INVERSION.lastIndex = 0;
    var m;
    while ((m = RE_INVERSION.exec(p)) !== null) {
      if (!INVERSIONS_EXCLUES[m[1]]) return true;
    }
    // « Vous utilisez quoi aujourd'hui » : quoi en place du complément, hors « de quoi », « je ne sais pas quoi »…
    RE_QUOI.lastIndex = 0;
    while ((m = RE_QUOI.exec(p)) !== null) if (!QUOI_NON_QUESTION[m[1]] && !/^ que\b/.test(p.slice(m.index + m[0].length))) return true;
    if (RE_FIN_QUESTION.test(p)) return true;
    return false;
  }
  // Nombre de questions d'un texte : une phrase terminée par « ? » compte une fois ;
  // sans point d'interrogation, une proposition interrogative (« est-ce que »,
  // inversion, « combien », « quel… », question en fin de phrase) compte aussi.
  // Cheap first look: without any of these, a text holds no question.
  var RE_INDICE_QUESTION = /\?|est[- ]ce|qu'|combien|comment|pourquoi|quel|quoi|qui\b|quand|lequel|laquelle|-(?:t-)?(?:vous|tu|il|elle|ils|elles|on|nous)\b|savoir|demander|-moi\b|ou ca|pas vrai|crois|d'ou|par ou|ou en\b|ou est/;
  function questionsDansTexte(t) {
    var p = plier(t);
    if (!p || !RE_INDICE_QUESTION.test(p)) return 0;
    var n = 0;
    var phrases = p.match(/[^.?!;\n]+[.?!;\n]*/g) || [];
    for (var i = 0; i < phrases.length; i++) {
      var ph = phrases[i];
      if (ph.indexOf('?') >= 0) { if (/[a-z0-9]/.test(ph)) n++; continue; }
      var corps = ph.replace(/[.!;\n]+$/, '').trim();
      if (!corps) continue;
      var parts = RE_LIAISON.test(corps) ? corps.split(RE_DECOUPE) : [corps];
      for (var j = 0; j < parts.length; j++) if (estInterrogative(parts[j].trim())) n++;
    }
    return n;
  }
  function compterQuestions(entree) {
    var o = lire(entree, null);
    if (o === null && typeof entree === 'string') return questionsDansTexte(texte(entree));
    if (estObjet(o) && o.transcript === undefined && o.texte !== undefined) return questionsDansTexte(texte(o.texte));
    if (typeof o === 'string') return questionsDansTexte(o);
    var segs = segments(o), n = 0;
    for (var i = 0; i < segs.length; i++) if (segs[i].locuteur === 'vous') n += questionsDansTexte(segs[i].texte);
    return n;
  }

  // ---------------------------------------------------------------- objections

  var REGLES_OBJECTION = [
    { categorie: 'prix', re: /\b(?:trop cher(?:e|s)?|(?:un peu|assez|tres|bien|super|hyper|vraiment|plutot|quand meme) cher(?:e|s)?|c'est cher|ca coute cher|ca fait cher|coute (?:trop|une fortune|un bras)|hors (?:de )?(?:notre |mon |nos )?budget|au-dessus de (?:notre|mon|nos) budget|pas (?:le|de|assez de) budget|pas les moyens|budget (?:est )?(?:serre|limite|bloque|epuise|consomme|gele)|(?:moins|plus) cher ailleurs|tarifs? (?:un peu |trop )?eleves?|prix (?:un peu |trop )?eleves?|trop onereux|(?:une|la|votre) remise|un geste (?:commercial|sur le prix)|(?:votre|le) concurrent est moins cher)\b/ },
    { categorie: 'documentation', re: /\b(?:envoyez[- ]moi|envoie[- ]moi|vous pouvez m'envoyer|tu peux m'envoyer|vous m'envoyez) (?:un (?:mail|e-?mail|devis)|une (?:doc|documentation|plaquette|brochure|presentation|proposition)|de la doc(?:umentation)?|des (?:infos|informations|elements)|quelque chose|un lien)\b|\bpar (?:mail|e-?mail) d'abord\b/ },
    { categorie: 'temps', re: /\b(?:pas (?:le|beaucoup de|trop le) temps|je n'ai que (?:deux|cinq|dix|\d+) minutes|je suis (?:presse|entre deux (?:reunions|rendez-vous)|en reunion|debordee?|overbooke)|on est debordes|faites vite|soyez bref|rapidement alors)\b/ },
    { categorie: 'timing', re: /\b(?:pas le (?:bon )?moment|pas (?:une |notre )?priorite|rappelez[- ]moi (?:dans|plus tard|en|l'annee|au)|on verra (?:plus tard|l'annee prochaine|en|apres|ca)|pas maintenant|trop tot|apres l'ete|en ce moment c'est complique|d'autres priorites|on gele (?:les|tout)|on n'est pas pret)\b/ },
    { categorie: 'concurrence', re: /\b(?:on a deja (?:un|une|des|notre) (?:outil|solution|prestataire|fournisseur|logiciel|partenaire|systeme)|deja equipes?|on travaille (?:deja )?avec (?:un|une|des|[a-z]+ depuis)|votre concurrent|(?:chez )?la concurrence|vos concurrents|on utilise deja|on est (?:deja )?sous contrat|on est engages?|un autre prestataire|on a un outil (?:en )?interne)\b/ },
    { categorie: 'besoin', re: /\b(?:pas besoin|pas de besoin|on n'en a pas besoin|ca (?:ne )?(?:nous )?sert a rien|pas (?:vraiment )?utile|on s'en sort (?:tres )?bien|ca marche (?:tres )?bien comme ca|on se debrouille|pas concernes?|ca ne nous concerne pas|on n'a pas ce probleme|pas interesse(?:e|s|es)?|ca ne m'interesse pas|ca ne nous interesse pas)\b/ },
    { categorie: 'decideur', re: /\b(?:(?:c'est )?pas moi qui (?:decide|signe|valide|tranche)|ce n'est pas moi qui (?:decide|signe|valide|tranche)|je (?:dois|vais|devrai) (?:en parler|voir ca|valider ca|en discuter) (?:a|avec)|voir avec (?:mon|ma|mes|notre|nos|le|la) (?:direct\w*|patron|boss|dg|daf|associes?|direction|comite|chef)|(?:re)?pass(?:er|e|erai|ons) (?:par|en|devant) (?:le |mon |notre )?comite|il faut (?:l'accord|que je valide avec))\b/ },
    { categorie: 'confiance', re: /\b(?:pas (?:sur|convaincue?s?) que (?:ca|cela) (?:marche|fonctionne)|ca a l'air complique|trop complique|je ne vous connais pas|jamais entendu parler de vous|pas confiance|mauvaise experience|on a (?:deja )?essaye (?:et|un)|usine a gaz|ca me fait peur|j'ai peur que|compliquee? a mettre en place)\b/ },
    { categorie: 'reflexion', re: /\b(?:je vais (?:y )?reflechir|on va (?:y )?reflechir|laissez[- ]moi (?:y )?reflechir|il faut que j'y reflechisse|je dois y reflechir|je reviens vers vous|on revient vers vous|je vous tiens au courant|je vais voir (?:ca|en interne))\b/ }
  ];
  var RE_NEGATION_AVANT = /(?:\bn'est pas|\bpas si|\bpas|\bjamais|\bplus vraiment)\s*$/;
  // One pass first: most sentences hold no objection at all.
  var RE_UNE_OBJECTION = new RegExp(REGLES_OBJECTION.map(function (r) { return r.re.source; }).join('|'));
  REGLES_OBJECTION.forEach(function (r) { r.reG = new RegExp(r.re.source, 'g'); });

  // Première objection d'un texte de prospect (plié), ou null.
  function objectionDansTexte(brut) {
    var p = plier(brut);
    if (!p) return null;
    if (!RE_UNE_OBJECTION.test(p)) return objectionDeLaBibliotheque(p);
    var meilleure = null;
    for (var i = 0; i < REGLES_OBJECTION.length; i++) {
      var r = REGLES_OBJECTION[i];
      var re = r.reG;
      re.lastIndex = 0;
      var m;
      while ((m = re.exec(p)) !== null) {
        var avant = p.slice(Math.max(0, m.index - 14), m.index);
        if (RE_NEGATION_AVANT.test(avant) && !/^pas\b/.test(m[0])) continue;
        if (!meilleure || m.index < meilleure.index) meilleure = { index: m.index, categorie: r.categorie, declencheur: m[0] };
        break;
      }
    }
    return meilleure;
  }
  // The user's own objection library: an entry whose meaningful words are (almost) all
  // in the prospect's sentence is recognised, with the entry's category and answer.
  var VIDES = { le: 1, la: 1, les: 1, de: 1, des: 1, du: 1, un: 1, une: 1, et: 1, a: 1, au: 1, en: 1, on: 1, ce: 1, ca: 1, c: 1, d: 1, l: 1, j: 1, n: 1, s: 1, est: 1, pas: 1, ne: 1, je: 1, nous: 1, vous: 1, il: 1, y: 1 };
  var cacheBiblio = { source: null, entrees: [] };
  function entreesBibliotheque() {
    if (cacheBiblio.source !== etat.objections) {
      cacheBiblio.source = etat.objections;
      cacheBiblio.entrees = (Array.isArray(etat.objections) ? etat.objections : []).filter(estObjet).map(function (o) {
        return { objection: o, mots: plier(texte(o.libelle)).split(/[^a-z0-9]+/).filter(function (m) { return m.length > 1 && !VIDES[m]; }) };
      }).filter(function (e) { return e.mots.length >= 2; });
    }
    return cacheBiblio.entrees;
  }
  function objectionDeLaBibliotheque(p) {
    var entrees = entreesBibliotheque();
    if (!entrees.length) return null;
    var dispo = {};
    p.split(/[^a-z0-9]+/).forEach(function (m) { dispo[m] = 1; });
    for (var i = 0; i < entrees.length; i++) {
      var e = entrees[i], n = 0;
      for (var k = 0; k < e.mots.length; k++) if (dispo[e.mots[k]]) n++;
      if (n / e.mots.length >= 0.75) return { index: 0, categorie: texte(e.objection.categorie) || 'autre', declencheur: texte(e.objection.libelle), objection: e.objection };
    }
    return null;
  }
  function reponseBibliotheque(categorie) {
    var o = etat.objections || [];
    for (var i = 0; i < o.length; i++) if (o[i] && o[i].categorie === categorie) return o[i];
    return null;
  }
  function detection(hit, brut, tMs) {
    var d = {
      tMs: tMs || 0,
      categorie: hit.categorie,
      libelle: libelleDe(donnees.CATEGORIES_OBJECTION, hit.categorie),
      extrait: couper(brut, 200),
      declencheur: hit.declencheur
    };
    var lib = hit.objection || reponseBibliotheque(hit.categorie);
    if (lib) { d.objectionId = lib.id; d.reponse = lib.reponse || ''; }
    return d;
  }
  // Objections signalées en direct et objections du transcript, une fois chacune.
  function objectionsDeLAppel(o) {
    var segs = segments(o.transcript);
    var live = tableau(o.detections);
    var aides = tableau(o.aides);
    var liste = [];
    // Recent entries first: a repeated objection is usually the last one found.
    function proche(cat, t) {
      for (var k = liste.length - 1; k >= 0; k--) if (liste[k].categorie === cat && Math.abs(liste[k].tMs - t) <= 60000) return liste[k];
      return null;
    }
    for (var i = 0; i < live.length; i++) {
      var d = live[i];
      if (!estObjet(d)) continue;
      var cat = texte(d.categorie) || 'autre', t = entier(d.tMs, 0);
      if (proche(cat, t)) continue;
      liste.push({ tMs: t, categorie: cat, libelle: libelleDe(donnees.CATEGORIES_OBJECTION, cat) || 'Autre', extrait: texte(d.extrait), signalee: true, aideDemandee: false });
    }
    for (var j = 0; j < segs.length; j++) {
      var s = segs[j];
      if (s.locuteur !== 'prospect') continue;
      var hit = objectionDansTexte(s.texte);
      if (!hit || proche(hit.categorie, s.debutMs)) continue;
      var nd = detection(hit, s.texte, s.debutMs);
      nd.signalee = false;
      nd.aideDemandee = false;
      liste.push(nd);
    }
    for (var a = 0; a < aides.length; a++) {
      var aide = aides[a];
      if (!estObjet(aide) || texte(aide.tache) !== 'objection') continue;
      var ta = entier(aide.tMs, 0), cible = null;
      for (var k = 0; k < liste.length; k++) if (liste[k].tMs <= ta && ta - liste[k].tMs <= 120000 && (!cible || liste[k].tMs > cible.tMs)) cible = liste[k];
      if (cible) { cible.aideDemandee = true; if (aide.resultat !== undefined && aide.resultat !== null) cible.repondue = true; }
    }
    liste.sort(function (x, y) { return x.tMs - y.tMs; });
    return liste;
  }
  // Texte ou fenêtre de transcript → la dernière objection entendue (ou null) ;
  // {transcript, detections, aides} d'un appel entier → la liste des objections.
  function detecterObjection(entree) {
    var o = lire(entree, null);
    if (o === null && typeof entree === 'string') o = texte(entree);
    if (typeof o === 'string') { var h = objectionDansTexte(o); return json(h ? detection(h, o, 0) : null); }
    if (estObjet(o) && o.transcript !== undefined && (o.detections !== undefined || o.aides !== undefined)) return json(objectionsDeLAppel(o));
    if (estObjet(o) && o.transcript === undefined && o.texte !== undefined) {
      var t = texte(o.texte), h2 = objectionDansTexte(t);
      return json(h2 ? detection(h2, t, entier(o.tMs, 0)) : null);
    }
    var segs = segments(o);
    for (var i = segs.length - 1; i >= 0; i--) {
      if (segs[i].locuteur !== 'prospect') continue;
      var hit = objectionDansTexte(segs[i].texte);
      if (hit) return json(detection(hit, segs[i].texte, segs[i].debutMs));
    }
    return json(null);
  }

  // ---------------------------------------------------------------- qualification

  var MOIS = '(?:janvier|fevrier|mars|avril|mai|juin|juillet|aout|septembre|octobre|novembre|decembre)';
  var INDICES_QUALIF = {
    budget: /\b(?:budget|enveloppe|\d[\d .,]*\s?(?:k ?€|k\b|keur|€|euros?|mille euros)|(?:mille|cent) euros|on a prevu|on peut (?:mettre|investir)|investir (?:environ|autour)|pas les moyens|ca coute|le cout)\b/,
    decideur: /\b(?:c'est (?:moi|mon|ma|notre|nos|le|la|lui|elle)\b.{0,40}\bqui (?:decide|signe|valide|tranche|arbitre)|je (?:decide|signe|valide|tranche)|(?:le|la|mon|ma|notre|nos) (?:dg|daf|pdg|directeur|directrice|president|presidente|patron|gerant|gerante|comite|direction|associes?)\b.{0,40}\b(?:decide|signe|valide|tranche|arbitre|doit)|decideur|decision (?:finale|revient)|valide(?:r|ra)? en comite|pas moi qui (?:decide|signe|valide))\b/,
    echeance: new RegExp('\\b(?:d\'ici (?:la fin|fin|' + MOIS + '|le|l\'ete|la rentree|\\d+)|avant (?:la fin|fin|l\'ete|la rentree|' + MOIS + ')|pour (?:' + MOIS + '|la rentree|le \\d+|la fin)|au plus tard|en ' + MOIS + '|(?:ce|le|au) (?:prochain )?trimestre|le mois prochain|la semaine prochaine|urgent|des que possible|asap|deadline|echeance|dans (?:\\d+|deux|trois|quatre|six) (?:semaines|mois)|demarrer (?:en|le|au|d\'ici))\\b'),
    douleur: /\b(?:on perd|perte de temps|ca nous coute|on galere|galere|penible|frustr\w*|on n'arrive pas|trop de temps|ca coince|le souci|(?:le|un|notre|gros) probleme|en retard|des erreurs|on rate|manque de visibilite|a la main|ressaisi\w*|un temps fou|on s'arrache|c'est l'enfer|bricol\w*)\b/,
    metriques: /\b(?:\d+ ?(?:%|pour ?cent|heures? par (?:semaine|mois|jour)|jours? par mois|interventions? par|techniciens?)|gagner \d+|reduire de|diviser par|doubler)\b/,
    criteres: /\b(?:criteres?|ce qui compte (?:le plus|pour nous)|important pour nous|on compare|comparer|cahier des charges|indispensable|obligatoire pour nous|on regarde surtout)\b/,
    processus: /\b(?:processus (?:de decision|d'achat|de validation)|validation|comite|appel d'offres|(?:le |service )?juridique|(?:les |service )?achats|signature|etapes? (?:de validation|jusqu'a))\b/,
    champion: /\b(?:je vais (?:porter|defendre|pousser)|je suis convaincue?|je pousse|je m'en occupe en interne|je vais (?:le |la )?vendre en interne|je vous soutiens|je suis partante?)\b/,
    securite: /\b(?:securite|securise|fiable|fiabilite|risque|rassur\w*|garantie|rgpd|donnees sensibles|sauvegarde|sans risque)\b/,
    orgueil: /\b(?:image|leader|reference du marche|fierte|fier|les meilleurs|premiers? (?:a|sur)|vitrine|prestige)\b/,
    nouveaute: /\b(?:nouveau|nouvelle|nouveaute|innovant|innovation|moderne|derniere version|nouvelles? technologies?)\b/,
    confort: /\b(?:simple|simplifier|facile|gagner du temps|tranquille|confort|pratique|automatique|automatiser|sans prise de tete)\b/,
    argent: /\b(?:prix|cout|couter|economi\w*|rentab\w*|roi|retour sur investissement|budget|tarif)\b/,
    sympathie: /\b(?:sympa|sympathique|confiance en vous|humain|relation|proximite|accompagnement|a l'ecoute)\b/
  };
  INDICES_QUALIF.autorite = INDICES_QUALIF.decideur;
  INDICES_QUALIF.acheteur = INDICES_QUALIF.decideur;
  INDICES_QUALIF.besoin = INDICES_QUALIF.douleur;
  var RE_MONTANT = /\d[\d  .,]*\s?(?:k ?€|k\b|keur|€|euros?|mille euros)/;

  function grilleDe(g) {
    var o = lire(g, g);
    if (typeof o === 'string') {
      var id = o.trim().toLowerCase();
      if (id === 'essentiel' || id === '') return GRILLE_ESSENTIEL;
      for (var i = 0; i < GRILLES_QUALIFICATION.length; i++) if (GRILLES_QUALIFICATION[i].id === id) return GRILLES_QUALIFICATION[i];
      return GRILLE_ESSENTIEL;
    }
    if (estObjet(o) && Array.isArray(o.items) && o.items.length) return o;
    if (estObjet(o) && o.methode) return grilleDe(String(o.methode));
    return GRILLE_ESSENTIEL;
  }
  var cacheIndices = {};
  function indicesItem(item) {
    if (INDICES_QUALIF[item.id]) return INDICES_QUALIF[item.id];
    if (item.champ && INDICES_QUALIF[item.champ]) return INDICES_QUALIF[item.champ];
    // Item sans règle : les mots de son nom, pris littéralement.
    var cle = plier(item.nom);
    if (!cle) return null;
    if (!cacheIndices[cle]) {
      var mots = cle.split(/[^a-z0-9']+/).filter(function (m) { return m.length > 3; });
      cacheIndices[cle] = mots.length ? new RegExp('\\b(?:' + mots.map(function (m) { return m.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'); }).join('|') + ')\\b') : null;
    }
    return cacheIndices[cle];
  }
  function valeurEntendue(item, brut, p, m) {
    if ((item.champ === 'budget' || item.id === 'budget' || item.id === 'argent')) {
      var montant = RE_MONTANT.exec(brut);
      if (montant) return montant[0].replace(/\s+/g, ' ').trim();
    }
    // La proposition qui contient l'indice.
    var phrases = brut.split(/(?<=[.!?…;])\s+/);
    for (var i = 0; i < phrases.length; i++) {
      var f = plier(phrases[i]);
      if (f.indexOf(m) >= 0) return couper(phrases[i], 120);
    }
    return couper(brut, 120);
  }
  // Items de la grille entendus dans la parole du prospect : [{item, nom, valeur, preuve, champ, tMs}].
  function detecterQualification(entree, grilleArg) {
    var o = lire(entree, null);
    if (o === null && typeof entree === 'string') o = texte(entree);
    var g = grilleArg !== undefined ? grilleDe(grilleArg) : (estObjet(o) && o.grille !== undefined ? grilleDe(o.grille) : GRILLE_ESSENTIEL);
    var segs;
    if (typeof o === 'string') segs = [{ locuteur: 'prospect', texte: o, debutMs: 0, finMs: 0 }];
    else if (estObjet(o) && o.transcript === undefined && o.texte !== undefined) segs = [{ locuteur: 'prospect', texte: texte(o.texte), debutMs: entier(o.tMs, 0), finMs: 0 }];
    else segs = segments(o);
    var deja = {};
    if (estObjet(o) && Array.isArray(lire(o.dejaVus, null))) lire(o.dejaVus, []).forEach(function (id) { deja[id] = 1; });
    var r = [];
    for (var k = 0; k < g.items.length; k++) {
      var item = g.items[k];
      if (!estObjet(item) || !texte(item.id).trim() || deja[texte(item.id).trim()]) continue;
      // Ids compare trimmed: a grid stored before its ids were cleaned keeps working.
      item = Object.assign({}, item, { id: texte(item.id).trim() });
      var re = indicesItem(item);
      if (!re) continue;
      for (var i = 0; i < segs.length; i++) {
        if (segs[i].locuteur !== 'prospect') continue;
        var p = plier(segs[i].texte);
        var m = re.exec(p);
        if (!m) continue;
        r.push({ item: item.id, nom: texte(item.nom), valeur: valeurEntendue(item, segs[i].texte, p, m[0]), preuve: couper(segs[i].texte, 240), champ: texte(item.champ), tMs: segs[i].debutMs });
        break;
      }
    }
    return json(r);
  }

  // ---------------------------------------------------------------- métriques

  function estRelance(s) { return s.locuteur === 'prospect' && s.finMs - s.debutMs < 1500 && nombreMots(s.texte) <= 2; }
  // Métriques de parole calculées sur le transcript, sans le modèle.
  function calculerMetriques(appel) {
    var a = estObjet(appel) ? appel : {};
    var segs = segments(appel);
    var tVous = 0, tProspect = 0, mots = 0, questions = 0, finMax = 0;
    var echanges = 0, dernier = '', interruptions = 0, finProspect = -1;
    var monoDebut = -1, monoFin = -1, monoMax = 0;
    for (var i = 0; i < segs.length; i++) {
      var s = segs[i], d = s.finMs - s.debutMs;
      if (s.finMs > finMax) finMax = s.finMs;
      if (!s.texte.trim()) continue;
      if (s.locuteur !== dernier) { echanges++; dernier = s.locuteur; }
      if (s.locuteur === 'vous') {
        tVous += d;
        mots += nombreMots(s.texte);
        questions += questionsDansTexte(s.texte);
        // Le commercial coupe le prospect : il démarre plus de 0,3 s avant la fin de sa phrase.
        if (finProspect - s.debutMs > 300) interruptions++;
        if (monoDebut < 0) monoDebut = s.debutMs;
        monoFin = Math.max(monoFin, s.finMs);
        if (monoFin - monoDebut > monoMax) monoMax = monoFin - monoDebut;
      } else {
        tProspect += d;
        finProspect = Math.max(finProspect, s.finMs);
        // Un « oui », un « d'accord » ne rompent pas le monologue.
        if (!estRelance(s)) { monoDebut = -1; monoFin = -1; }
      }
    }
    var duree = nombre(a.duree, 0) > 0 ? nombre(a.duree, 0) : finMax / 1000;
    var total = tVous + tProspect;
    var partVous = total > 0 ? Math.round(100 * tVous / total) : 0;
    return {
      dureeSec: Math.round(duree * 10) / 10,
      partVous: partVous,
      partProspect: total > 0 ? 100 - partVous : 0,
      questionsVous: questions,
      plusLongMonologueSec: Math.round(monoMax / 1000),
      motsParMinute: tVous > 0 ? Math.round(mots / (tVous / 60000)) : 0,
      interruptions: interruptions,
      nbEchanges: echanges
    };
  }
  function metriques(appel) { return json(calculerMetriques(lire(appel, []))); }

  // Dernière prise de parole du prospect (segments consécutifs réunis), en texte simple.
  function derniereProspect(entree) {
    var segs = segments(lire(entree, []));
    var parts = [], fin = -1;
    for (var i = segs.length - 1; i >= 0; i--) {
      var s = segs[i];
      if (s.locuteur !== 'prospect') { if (parts.length) break; continue; }
      if (parts.length && fin >= 0 && fin - s.finMs > 0 && segs[i + 1] && segs[i + 1].debutMs - s.finMs > 4000) break;
      if (s.texte.trim()) parts.unshift(s.texte.trim());
      fin = s.finMs;
    }
    return parts.join(' ');
  }

  return {
    donnees: donnees,
    _interne: {
      lire: lire, objet: objet, tableau: tableau, texte: texte, nombre: nombre, entier: entier, borne: borne, json: json,
      plier: plier, couper: couper, jour: jour, pad: pad, horloge: horloge, dateRef: dateRef, segments: segments,
      lignesTranscript: lignesTranscript, nomLocuteur: nomLocuteur, listeTextes: listeTextes, estObjet: estObjet,
      libelleDe: libelleDe, nomContact: nomContact, contactParId: contactParId, profilParId: profilParId,
      identifiant: identifiant, questionsDansTexte: questionsDansTexte, objectionsDeLAppel: objectionsDeLAppel,
      calculerMetriques: calculerMetriques, grilleDe: grilleDe, GRILLE_ESSENTIEL: GRILLE_ESSENTIEL,
      ORDRE_ETAPES: ORDRE_ETAPES, RANG_PHASE: RANG_PHASE, etat: function () { return etat; },
      definirEtat: function (e) { etat = e; }
    },
    compterQuestions: compterQuestions,
    detecterObjection: detecterObjection,
    detecterQualification: detecterQualification,
    metriques: metriques,
    derniereProspect: derniereProspect
  };
})();

