// ==================================================================== assistant Quillo
//  quilloConfiguration(mode)                      → {outils, systeme, maxTours, maxMessages, maxCaracteres, modele}
//  quilloContexteAppel({appel, contact})          → contexte court de l'appel en cours
//  quilloRequete({messages, mode, aujourdhui, memoire, memoireActive, contexteAppel, modele, sansStrict})
//                                                 → {corps, historiqueCoupe, retires}
//  quilloOutil(nom, entree, donnees?)             → résultat JSON d'un outil de lecture (donnees : les
//                                                   données de l'app, gardées jusqu'au prochain envoi)
//  quilloValider(nom, entree)                     → {ok, message?}
//  quilloAppliquer(nom, entree, {id, maintenant, aujourdhui}, donnees?) → {changements, annulation, detail, ecran?, cible?}
//  quilloReglagesModifiables()                    → [{cle, libelle, valeurs?}]
//  quilloMemoire(entree, memoire, active)         → {resultat, memoire, affichage, change}
//  quilloInfos()                                  → libellés des outils et des statuts
//  quilloOutilsMcp()                              → [{name, description, inputSchema}] des outils de lecture offerts en MCP
//  quilloDemo({messages, aujourdhui})             → flux d'événements d'exemple (texte SSE)
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, tableau = I.tableau, texte = I.texte, entier = I.entier, json = I.json;
  var estObjet = I.estObjet, couper = I.couper, plier = I.plier;

  var LECTURE = {
    chercher_contacts: 'Recherche dans le CRM…', lire_contact: 'Lecture de la fiche…', lister_appels: 'Lecture des appels…',
    lire_appel: 'Lecture de l\'appel…', statistiques: 'Calcul des statistiques…', prochaines_actions: 'Lecture des prochaines actions…',
    pipeline: 'Lecture du pipeline…', lire_profils: 'Lecture de vos profils…', lire_configuration: 'Lecture de l\'app…'
  };
  var PROPOSITIONS = {
    creer_contact: 'Créer le contact', modifier_contact: 'Modifier le contact', ajouter_note: 'Ajouter la note',
    prochaine_etape: 'Fixer la prochaine action', rediger_email: 'Garder l\'e-mail', preparer_appel: 'Ouvrir l\'appel',
    modifier_reglages: 'Changer les réglages', proposer_framework: 'Ajouter le framework', questions_proposees: 'Envoyer au manager'
  };
  var STATUTS = { attente: 'En attente de votre choix', applique: 'Appliqué', defait: 'Défait', annule: 'Annulé',
                  ignore: 'Laissé de côté', echec: 'Échec de l\'enregistrement' };
  var ECRANS = ['tableau', 'appels', 'crm', 'agenda', 'relances', 'reglages', 'progresser', 'framework', 'classement'];
  var PAR_PAGE = 20, MAX_TRANSCRIPT = 12000, MARQUE_COUPE = '[… suite du transcript coupée : demandez la suite avec « debut » …]';

  // ------------------------------------------------------------ schémas
  function s(props, requis) { return { type: 'object', properties: props, required: requis || [], additionalProperties: false }; }
  var T = { type: 'string' }, N = { type: 'integer' }, NUM = { type: 'number' };
  var OUTILS = [
    ['chercher_contacts', 'Cherche des contacts par nom, société, poste ou e-mail ; filtre par étape. 20 par page.', s({ requete: T, etape: T, page: N })],
    ['lire_contact', 'Lit la fiche d\'un contact : coordonnées, étape, notes, dernières interactions et derniers appels.', s({ id: T }, ['id'])],
    ['lister_appels', 'Liste les appels, les plus récents d\'abord, éventuellement d\'un contact ou depuis une date. 20 par page.', s({ contactId: T, depuis: T, page: N })],
    ['lire_appel', 'Lit un appel : résumé, score, prochaine étape et transcript (coupé, suite avec « debut »).', s({ id: T, debut: N }, ['id'])],
    ['statistiques', 'Chiffres des appels et du pipeline sur une période en jours (30 par défaut).', s({ jours: N })],
    ['prochaines_actions', 'Prochaines actions des contacts jusqu\'à une date (aaaa-mm-jj), en retard comprises.', s({ jusquAu: T, page: N })],
    ['pipeline', 'Le pipeline par étape : nombre, valeur, principaux contacts.', s({})],
    ['lire_profils', 'Les profils clients et l\'entreprise du commercial.', s({})],
    ['lire_configuration', 'Les réglages de l\'app et ceux que vous pouvez proposer de changer.', s({})],
    ['creer_contact', 'Propose de créer un contact.', s({ prenom: T, nom: T, societe: T, poste: T, email: T, tel: T, etape: T }, ['nom'])],
    ['modifier_contact', 'Propose de modifier des champs d\'un contact.', s({ contactId: T, champs: { type: 'object', properties: { prenom: T, nom: T, societe: T, poste: T, email: T, tel: T, etape: T, valeur: NUM, probabilite: NUM }, additionalProperties: false } }, ['contactId', 'champs'])],
    ['ajouter_note', 'Propose d\'ajouter une note à un contact.', s({ contactId: T, texte: T }, ['contactId', 'texte'])],
    ['prochaine_etape', 'Propose la prochaine action d\'un contact et sa date (aaaa-mm-jj).', s({ contactId: T, texte: T, echeance: T }, ['contactId', 'texte'])],
    ['rediger_email', 'Propose un e-mail pour un contact.', s({ contactId: T, objet: T, corps: T }, ['contactId', 'objet', 'corps'])],
    ['preparer_appel', 'Propose d\'ouvrir un nouvel appel avec un contact.', s({ contactId: T, type: T, objectif: T }, ['contactId'])],
    ['modifier_reglages', 'Propose de changer des réglages, parmi ceux que lire_configuration dit modifiables.', s({ reglages: { type: 'object' } }, ['reglages'])],
    ['proposer_framework', 'Propose un framework de vente (étapes et questions).', s({ nom: T, etapes: { type: 'array', items: s({ nom: T, questions: { type: 'array', items: T } }, ['nom']) } }, ['nom', 'etapes'])],
    ['questions_proposees', 'Propose des questions à envoyer au manager.', s({ questions: { type: 'array', items: T } }, ['questions'])],
    ['memoire', 'Retient, oublie ou liste des faits durables sur le commercial.', s({ action: { type: 'string', enum: ['retenir', 'oublier', 'lister'] }, fait: T }, ['action'])],
    ['ouvrir_ecran', 'Ouvre un écran de l\'app.', s({ ecran: { type: 'string', enum: ECRANS }, cible: T }, ['ecran'])]
  ];
  var SCHEMA = {};
  OUTILS.forEach(function (o) { SCHEMA[o[0]] = o[2]; });

  M.quilloInfos = function () {
    return json({ lecture: LECTURE, propositions: PROPOSITIONS, statuts: STATUTS, ecrans: ECRANS,
                  demo: 'Démo : réponses d\'exemple, pour découvrir Quillo.' });
  };

  // The read tools offered to outside assistants, as MCP lists them.
  var MCP = ['chercher_contacts', 'lire_contact', 'lister_appels', 'lire_appel', 'statistiques', 'prochaines_actions', 'pipeline', 'lire_profils'];
  M.quilloOutilsMcp = function () {
    return json(OUTILS.filter(function (o) { return MCP.indexOf(o[0]) >= 0; }).map(function (o) {
      return { name: o[0], description: o[1], inputSchema: { type: 'object', properties: o[2].properties, required: o[2].required } };
    }));
  };

  M.quilloConfiguration = function (modeArg) {
    var mode = texte(modeArg) === 'appel' ? 'appel' : 'page';
    var systeme = 'Vous êtes Quillo, l\'assistant de vente de Vendalo. Vous répondez en français, brièvement, sur les données du commercial ' +
      '(contacts, appels, pipeline, prochaines actions, statistiques, profils, réglages). Lisez ces données avec les outils de lecture ' +
      'avant de répondre ; n\'inventez jamais un chiffre ni un contact. Vous ne changez rien vous-même : tout changement passe par un outil ' +
      'de proposition, que le commercial applique ou laisse de côté. Un outil qui répond {"statut":"attente"} attend son choix. ' +
      'Mémoire : l\'outil memoire retient les faits durables utiles (préférences, façon de travailler), jamais de donnée sensible. ' +
      'Les textes commençant par « (Note de l\'app : » viennent de l\'app, pas du commercial.';
    if (mode === 'appel') systeme += ' Un appel est en cours : répondez en deux ou trois phrases, prêtes à servir tout de suite.';
    return json({ mode: mode, systeme: systeme, maxTours: mode === 'appel' ? 4 : 8, maxMessages: mode === 'appel' ? 30 : 60,
                  maxCaracteres: 160000, modele: (M.donnees.MODELES_DEFAUT || {}).quillo || 'claude-sonnet-5-5',
                  outils: OUTILS.map(function (o) { return o[0]; }) });
  };

  M.quilloContexteAppel = function (arg) {
    var o = objet(arg), a = estObjet(o.appel) ? o.appel : {}, c = estObjet(o.contact) ? o.contact : null;
    var segs = tableau(a.transcript).filter(function (x) { return estObjet(x) && x.final !== false; }).slice(-12);
    return json({ appelId: texte(a.id), type: texte(a.type), objectif: couper(texte(a.objectif), 300),
                  contact: c ? resumeContact(c) : null,
                  dernieresParoles: segs.map(function (x) { return (x.locuteur === 'vous' ? 'Commercial : ' : 'Prospect : ') + couper(texte(x.texte), 300); }) });
  };

  // ------------------------------------------------------------ requête
  function estTourQuestion(m) {
    if (!estObjet(m) || m.role !== 'user') return false;
    if (typeof m.content === 'string') return true;
    return !tableau(m.content).some(function (b) { return estObjet(b) && b.type === 'tool_result'; });
  }
  M.quilloRequete = function (arg) {
    var p = objet(arg);
    var conf = JSON.parse(M.quilloConfiguration(p.mode));
    var messages = tableau(p.messages).map(function (m) { return typeof m === 'string' ? lire(m, null) : m; }).filter(estObjet);
    if (!messages.length && texte(p.question)) messages = [{ role: 'user', content: texte(p.question) }];
    // Garde la fin de l'historique : au plus maxMessages et maxCaracteres, et commence sur une question
    // (jamais sur un tour de l'assistant, jamais sur un résultat d'outil privé de son appel).
    var debut = messages.length, taille = 0;
    while (debut > 0) {
      var t = JSON.stringify(messages[debut - 1]).length;
      if (messages.length - debut + 1 > conf.maxMessages || taille + t > conf.maxCaracteres) break;
      taille += t; debut--;
    }
    while (debut < messages.length && !estTourQuestion(messages[debut])) debut++;
    if (debut >= messages.length) { debut = messages.length - 1; while (debut > 0 && !estTourQuestion(messages[debut])) debut--; }
    var gardes = messages.slice(Math.max(debut, 0));
    var systeme = conf.systeme + ' Aujourd\'hui : ' + (texte(p.aujourdhui) || I.jour(new Date())) + '.';
    var memoire = tableau(p.memoire).map(texte).filter(Boolean);
    if (p.memoireActive === false) systeme += ' Mémoire désactivée par le commercial : n\'utilisez pas l\'outil memoire pour retenir.';
    else systeme += memoire.length ? ' Ce que vous savez du commercial (mémoire) :\n- ' + memoire.join('\n- ') : ' Mémoire : rien de retenu pour l\'instant.';
    if (estObjet(p.contexteAppel)) systeme += '\nAppel en cours : ' + JSON.stringify(p.contexteAppel);
    var strict = !p.sansStrict;
    var outils = OUTILS.filter(function (o) { return p.mode === 'appel' ? o[0] !== 'ouvrir_ecran' : true; }).map(function (o) {
      var d = { name: o[0], description: o[1], input_schema: o[2] };
      if (strict && o[0] !== 'modifier_reglages') d.strict = true;
      return d;
    });
    var corps = { model: texte(p.modele) || conf.modele, max_tokens: 8000, system: systeme, tools: outils, messages: gardes };
    return json({ corps: corps, historiqueCoupe: debut > 0, retires: Math.max(debut, 0) });
  };

  // ------------------------------------------------------------ données et index
  var D = { contacts: [], interactions: [], appels: [], profilsClients: [], entreprise: {}, reglages: {} };
  var index = null;   // construit à la première recherche après chaque envoi des données
  function charger(donnees) {
    if (donnees === undefined || donnees === null || donnees === '') return;
    var o = objet(donnees);
    D = { contacts: tableau(o.contacts), interactions: tableau(o.interactions), appels: tableau(o.appels),
          profilsClients: tableau(o.profilsClients), entreprise: objet(o.entreprise), reglages: objet(o.reglages),
          aujourdhui: texte(o.aujourdhui) };
    index = null;
  }
  function idx() {
    if (index) return index;
    index = { plies: [], parId: {}, appelsPar: {}, interPar: {} };
    D.contacts.forEach(function (c, i) {
      index.plies.push(plier([c.prenom, c.nom, c.societe, c.poste, c.email].join(' ')));
      index.parId[c.id] = c;
    });
    D.appels.forEach(function (a) { (index.appelsPar[a.contactId] = index.appelsPar[a.contactId] || []).push(a); });
    D.interactions.forEach(function (x) { (index.interPar[x.contactId] = index.interPar[x.contactId] || []).push(x); });
    return index;
  }
  function nom(c) { return I.nomContact(c); }
  function resumeContact(c) {
    var r = { id: c.id, nom: nom(c), societe: texte(c.societe), poste: texte(c.poste), etape: texte(c.etape), valeur: c.valeur || 0 };
    if (estObjet(c.prochaineAction) && texte(c.prochaineAction.texte)) r.prochaineAction = { texte: couper(texte(c.prochaineAction.texte), 160), echeance: texte(c.prochaineAction.echeance) };
    return r;
  }
  function resumeAppel(a) {
    var an = estObjet(a.analyse) ? a.analyse : {};
    var c = idx().parId[a.contactId];
    return { id: a.id, date: texte(a.debut || a.creeLe).slice(0, 16), contact: c ? nom(c) : '', contactId: texte(a.contactId), type: texte(a.type),
             dureeMin: Math.round((a.duree || 0) / 60), score: typeof an.score === 'number' ? an.score : null, resume: couper(texte(an.resume), 240) };
  }
  function page(liste, n, cle, f) {
    var total = liste.length, pages = Math.max(1, Math.ceil(total / PAR_PAGE)), p = Math.min(Math.max(entier(n, 1), 1), pages);
    var r = { total: total, page: p, pages: pages };
    r[cle] = liste.slice((p - 1) * PAR_PAGE, p * PAR_PAGE).map(f);
    return r;
  }
  function parDate(cle) { return function (x, y) { return texte(y[cle] || y.creeLe).localeCompare(texte(x[cle] || x.creeLe)); }; }
  function aujourdhui() { return D.aujourdhui || I.jour(new Date()); }

  var LIRE = {
    chercher_contacts: function (e) {
      var q = plier(texte(e.requete)), mots = q ? q.split(' ') : [], etape = texte(e.etape), ix = idx(), r = [];
      for (var i = 0; i < D.contacts.length; i++) {
        var c = D.contacts[i];
        if (etape && c.etape !== etape) continue;
        var ok = true;
        for (var j = 0; j < mots.length && ok; j++) ok = ix.plies[i].indexOf(mots[j]) >= 0;
        if (ok) r.push(c);
      }
      return page(r, e.page, 'contacts', resumeContact);
    },
    lire_contact: function (e) {
      var c = idx().parId[texte(e.id)];
      if (!c) return { erreur: 'Contact introuvable.' };
      var r = resumeContact(c);
      ['email', 'tel', 'source', 'probabilite', 'profilClientId', 'creeLe', 'majLe', 'raisonPerte'].forEach(function (k) { if (c[k] !== undefined && c[k] !== '') r[k] = c[k]; });
      r.tags = tableau(c.tags); r.notes = couper(texte(c.notes), 1500);
      r.interactions = (idx().interPar[c.id] || []).slice().sort(parDate('date')).slice(0, 8).map(function (x) {
        return { date: texte(x.date).slice(0, 10), type: texte(x.type), titre: couper(texte(x.titre), 120), resume: couper(texte(x.resume), 300) };
      });
      r.appels = (idx().appelsPar[c.id] || []).slice().sort(parDate('debut')).slice(0, 5).map(resumeAppel);
      return r;
    },
    lister_appels: function (e) {
      var cid = texte(e.contactId), depuis = texte(e.depuis);
      var l = (cid ? (idx().appelsPar[cid] || []) : D.appels).filter(function (a) { return !depuis || texte(a.debut) >= depuis; });
      return page(l.slice().sort(parDate('debut')), e.page, 'appels', resumeAppel);
    },
    lire_appel: function (e, extra) {
      var a = estObjet(extra) && extra.id === texte(e.id) ? extra : null;
      if (!a) for (var i = 0; i < D.appels.length; i++) if (D.appels[i].id === texte(e.id)) { a = D.appels[i]; break; }
      if (!a) return { erreur: 'Appel introuvable.' };
      var r = resumeAppel(a), an = estObjet(a.analyse) ? a.analyse : {};
      r.objectif = couper(texte(a.objectif), 300);
      r.resume = couper(texte(an.resume), 1200);
      if (estObjet(a.prochaineEtape)) r.prochaineEtape = a.prochaineEtape;
      var lignes = tableau(a.transcript).filter(estObjet).map(function (x) { return (x.locuteur === 'vous' ? 'Commercial : ' : 'Prospect : ') + texte(x.texte); });
      var debut = Math.max(entier(e.debut, 0), 0), t = '', n = debut;
      while (n < lignes.length && t.length + lignes[n].length + 1 <= MAX_TRANSCRIPT) { t += lignes[n] + '\n'; n++; }
      if (n === debut && n < lignes.length) { t = lignes[n].slice(0, MAX_TRANSCRIPT) + '\n'; n++; }
      r.transcript = t + (n < lignes.length ? MARQUE_COUPE : '');
      r.lignes = { debut: debut, fin: n, total: lignes.length };
      return r;
    },
    statistiques: function (e) {
      var jours = Math.max(entier(e.jours, 30), 1), ref = I.dateRef(aujourdhui());
      var depuis = I.jour(new Date(ref.getFullYear(), ref.getMonth(), ref.getDate() - jours, 12));
      var ap = D.appels.filter(function (a) { return texte(a.debut).slice(0, 10) >= depuis; });
      var notes = ap.map(function (a) { return estObjet(a.analyse) && typeof a.analyse.score === 'number' ? a.analyse.score : null; }).filter(function (x) { return x !== null; });
      var etapes = {};
      D.contacts.forEach(function (c) { etapes[c.etape] = (etapes[c.etape] || 0) + 1; });
      return { periodeJours: jours, depuis: depuis, appels: ap.length, minutes: Math.round(ap.reduce(function (s, a) { return s + (a.duree || 0); }, 0) / 60),
               scoreMoyen: notes.length ? Math.round(notes.reduce(function (s, x) { return s + x; }, 0) / notes.length) : null,
               contacts: D.contacts.length, contactsParEtape: etapes };
    },
    prochaines_actions: function (e) {
      var ref = I.dateRef(aujourdhui());
      var fin = texte(e.jusquAu) || I.jour(new Date(ref.getFullYear(), ref.getMonth(), ref.getDate() + 7, 12));
      var l = D.contacts.filter(function (c) { return estObjet(c.prochaineAction) && texte(c.prochaineAction.texte) && c.etape !== 'gagne' && c.etape !== 'perdu' && (!texte(c.prochaineAction.echeance) || texte(c.prochaineAction.echeance) <= fin); });
      l.sort(function (x, y) { return (texte(x.prochaineAction.echeance) || '9').localeCompare(texte(y.prochaineAction.echeance) || '9'); });
      var r = page(l, e.page, 'actions', function (c) { var o = resumeContact(c); o.enRetard = !!texte(c.prochaineAction.echeance) && texte(c.prochaineAction.echeance) < aujourdhui(); return o; });
      r.aujourdhui = aujourdhui(); r.jusquAu = fin;
      return r;
    },
    pipeline: function () {
      var par = {};
      D.contacts.forEach(function (c) { var p = par[c.etape] = par[c.etape] || { etape: c.etape, nombre: 0, valeur: 0, liste: [] }; p.nombre++; p.valeur += c.valeur || 0; p.liste.push(c); });
      return { etapes: (M.donnees.ETAPES || []).map(function (e) {
        var p = par[e.id] || { nombre: 0, valeur: 0, liste: [] };
        return { etape: e.id, libelle: e.libelle, nombre: p.nombre, valeur: Math.round(p.valeur),
                 principaux: p.liste.slice().sort(function (x, y) { return (y.valeur || 0) - (x.valeur || 0); }).slice(0, 5).map(function (c) { return { id: c.id, nom: nom(c), societe: texte(c.societe), valeur: c.valeur || 0 }; }) };
      }) };
    },
    lire_profils: function () {
      return { entreprise: { nom: texte(D.entreprise.nom), offre: couper(texte(D.entreprise.offre || D.entreprise.description), 800) },
               profils: D.profilsClients.slice(0, 20).map(function (p) { return { id: p.id, nom: texte(p.nom), description: couper(texte(p.description), 400) }; }) };
    },
    lire_configuration: function () {
      var r = D.reglages, q = estObjet(r.quillo) ? r.quillo : {};
      return { langue: texte(r.langue), methode: texte(r.methode), discret: r.discret !== false, memoire: q.memoire !== false,
               modele: texte(q.modele), modifiables: JSON.parse(M.quilloReglagesModifiables()) };
    }
  };

  M.quilloOutil = function (nomArg, entreeArg, donnees, extra) {
    charger(donnees);
    var n = texte(nomArg), f = LIRE[n];
    if (!f) return json({ erreur: 'Outil inconnu : ' + n + '.' });
    var v = JSON.parse(M.quilloValider(n, entreeArg));
    if (!v.ok) return json({ erreur: v.message });
    return json(f(objet(entreeArg), lire(extra, null)));
  };

  // ------------------------------------------------------------ validation
  function valide(schema, v) {
    if (!estObjet(v)) return false;
    var props = schema.properties || {};
    for (var i = 0; i < (schema.required || []).length; i++) {
      var k = schema.required[i];
      if (v[k] === undefined || v[k] === null || (typeof v[k] === 'string' && !v[k].trim())) return false;
    }
    for (var cle in v) {
      if (!props[cle]) { if (schema.additionalProperties === false) return false; continue; }
      var t = props[cle].type, x = v[cle];
      if (t === 'string' && typeof x !== 'string') return false;
      if ((t === 'integer' || t === 'number') && typeof x !== 'number') return false;
      if (t === 'array' && !Array.isArray(x)) return false;
      if (t === 'object' && !estObjet(x)) return false;
      if (props[cle].enum && props[cle].enum.indexOf(x) < 0) return false;
    }
    return true;
  }
  M.quilloValider = function (nomArg, entreeArg) {
    var n = texte(nomArg), sch = SCHEMA[n], e = lire(entreeArg, null);
    if (!sch) return json({ ok: false, message: 'Outil inconnu.' });
    if (!valide(sch, e)) return json({ ok: false, message: 'Entrée invalide.' });
    if (n === 'modifier_reglages') {
      var permis = {};
      JSON.parse(M.quilloReglagesModifiables()).forEach(function (r) { permis[r.cle] = r; });
      for (var k in e.reglages) {
        if (!permis[k]) return json({ ok: false, message: 'Ce réglage ne peut pas être changé par Quillo : ' + k + '.' });
        if (permis[k].valeurs && permis[k].valeurs.indexOf(e.reglages[k]) < 0) return json({ ok: false, message: 'Valeur refusée pour ' + k + '.' });
      }
    }
    if (n === 'prochaine_etape' && texte(e.echeance) && !/^\d{4}-\d{2}-\d{2}$/.test(texte(e.echeance))) return json({ ok: false, message: 'Entrée invalide.' });
    return json({ ok: true });
  };

  M.quilloReglagesModifiables = function () {
    return json([
      { cle: 'langue', libelle: 'Langue des appels', valeurs: ['fr', 'en', 'multi'] },
      { cle: 'methode', libelle: 'Méthode de vente' },
      { cle: 'discret', libelle: 'Mode discret', valeurs: [true, false] },
      { cle: 'quillo.memoire', libelle: 'Mémoire de Quillo', valeurs: [true, false] },
      { cle: 'quillo.modele', libelle: 'Modèle de Quillo', valeurs: (M.donnees.MODELES || []).map(function (m) { return m.id; }) },
      { cle: 'souffleur.theme', libelle: 'Thème du souffleur', valeurs: ['sombre', 'clair'] },
      { cle: 'souffleur.taille', libelle: 'Taille du texte du souffleur', valeurs: ['petit', 'moyen', 'grand'] }
    ]);
  };

  // ------------------------------------------------------------ application
  function lireChemin(o, chemin) { var p = chemin.split('.'); for (var i = 0; i < p.length; i++) { if (!estObjet(o)) return undefined; o = o[p[i]]; } return o; }
  M.quilloAppliquer = function (nomArg, entreeArg, ctxArg, donnees) {
    charger(donnees);
    var n = texte(nomArg), e = objet(entreeArg), ctx = objet(ctxArg);
    var v = JSON.parse(M.quilloValider(n, e));
    if (!v.ok) throw new Error(v.message);
    var maintenant = texte(ctx.maintenant) || new Date().toISOString(), id = texte(ctx.id) || ('q' + Date.now());
    function contact() { var c = idx().parId[texte(e.contactId)]; if (!c) throw new Error('Contact introuvable.'); return c; }
    function copie(o) { return JSON.parse(JSON.stringify(o)); }
    var c, avant, apres;
    switch (n) {
    case 'creer_contact':
      apres = { id: id, prenom: texte(e.prenom), nom: texte(e.nom), societe: texte(e.societe), poste: texte(e.poste), email: texte(e.email), tel: texte(e.tel),
                etape: texte(e.etape) || 'nouveau', source: 'Quillo', creeLe: maintenant, majLe: maintenant };
      return json({ changements: [{ collection: 'contacts', op: 'ajouter', valeur: apres }], annulation: [{ collection: 'contacts', op: 'supprimer', id: id }],
                    detail: 'Contact créé : ' + nom(apres) + '.', ecran: 'crm', cible: id });
    case 'modifier_contact':
    case 'prochaine_etape':
      c = contact(); avant = copie(c); apres = copie(c);
      if (n === 'modifier_contact') for (var k in e.champs) apres[k] = e.champs[k];
      else apres.prochaineAction = { texte: texte(e.texte), echeance: texte(e.echeance) };
      apres.majLe = maintenant;
      return json({ changements: [{ collection: 'contacts', op: 'remplacer', valeur: apres }], annulation: [{ collection: 'contacts', op: 'remplacer', valeur: avant }],
                    detail: (n === 'prochaine_etape' ? 'Prochaine action : ' + texte(e.texte) : 'Fiche de ' + nom(apres) + ' mise à jour') + '.' });
    case 'ajouter_note':
    case 'rediger_email':
      c = contact();
      var note = n === 'ajouter_note'
        ? { id: id, contactId: c.id, type: 'note', date: maintenant, titre: 'Note', resume: texte(e.texte), creeLe: maintenant, majLe: maintenant }
        : { id: id, contactId: c.id, type: 'email', date: maintenant, titre: texte(e.objet), resume: texte(e.corps), creeLe: maintenant, majLe: maintenant };
      return json({ changements: [{ collection: 'interactions', op: 'ajouter', valeur: note }], annulation: [{ collection: 'interactions', op: 'supprimer', id: id }],
                    detail: (n === 'ajouter_note' ? 'Note ajoutée à ' : 'E-mail gardé pour ') + nom(c) + '.' });
    case 'preparer_appel':
      c = contact();
      return json({ changements: [], annulation: null, detail: 'Nouvel appel ouvert', ecran: 'nouvelAppel', cible: c.id });
    case 'modifier_reglages':
      var anciens = {};
      for (var cle in e.reglages) { var a = lireChemin(D.reglages, cle); anciens[cle] = a === undefined ? null : a; }
      return json({ changements: [{ collection: 'reglages', op: 'fusionner', valeur: e.reglages }], annulation: [{ collection: 'reglages', op: 'fusionner', valeur: anciens }],
                    detail: 'Réglages changés.' });
    case 'proposer_framework':
      var fw = { id: id, nom: texte(e.nom), actif: true, source: 'Quillo', creeLe: maintenant,
                 etapes: tableau(e.etapes).map(function (x, i) { return { id: id + '_' + (i + 1), nom: texte(x.nom), questions: tableau(x.questions).map(texte) }; }) };
      return json({ changements: [{ collection: 'frameworks', op: 'ajouter', valeur: fw }], annulation: [{ collection: 'frameworks', op: 'supprimer', id: id }],
                    detail: 'Framework ajouté : ' + fw.nom + '.' });
    case 'questions_proposees':
      var nq = tableau(e.questions).length;
      return json({ changements: [], annulation: null, questions: tableau(e.questions).map(texte),
                    detail: nq + ' ' + (nq > 1 ? 'questions proposées' : 'question proposée') + ' à votre manager.' });
    }
    throw new Error('Outil inconnu.');
  };

  // ------------------------------------------------------------ mémoire
  M.quilloMemoire = function (entreeArg, memoireArg, activeArg) {
    var e = objet(entreeArg), mem = tableau(memoireArg).map(texte).filter(Boolean);
    if (activeArg === false || activeArg === 'false') return json({
      resultat: { statut: 'desactivee', message: 'Le commercial a désactivé la mémoire dans les réglages : rien n\'est retenu.' },
      memoire: mem, affichage: 'Mémoire désactivée : rien n\'est retenu.', change: false });
    var fait = texte(e.fait).trim(), action = texte(e.action);
    if (action === 'lister') return json({ resultat: { statut: 'ok', memoire: mem }, memoire: mem, affichage: '', change: false });
    if (action === 'retenir') {
      if (!fait) return json({ resultat: { statut: 'inchangee' }, memoire: mem, affichage: 'Mémoire inchangée', change: false });
      var p = plier(fait);
      if (mem.some(function (m) { return plier(m) === p; })) return json({ resultat: { statut: 'deja' }, memoire: mem, affichage: 'Déjà retenu : ' + fait, change: false });
      mem.push(couper(fait, 300));
      if (mem.length > 50) mem = mem.slice(-50);
      return json({ resultat: { statut: 'retenu' }, memoire: mem, affichage: 'Retenu : ' + fait, change: true });
    }
    if (action === 'oublier') {
      var q = plier(fait), reste = mem.filter(function (m) { return !q || plier(m).indexOf(q) < 0; });
      if (!q || reste.length === mem.length) return json({ resultat: { statut: 'aucun' }, memoire: mem, affichage: 'Aucun souvenir ne correspond', change: false });
      return json({ resultat: { statut: 'oublie', retires: mem.length - reste.length }, memoire: reste, affichage: 'Oublié : ' + fait, change: true });
    }
    return json({ resultat: { statut: 'inchangee' }, memoire: mem, affichage: 'Mémoire inchangée', change: false });
  };

  // ------------------------------------------------------------ démonstration
  function sse(type, o) { o.type = type; return 'event: ' + type + '\ndata: ' + JSON.stringify(o) + '\n\n'; }
  function fluxDemo(blocs) {
    var t = sse('message_start', { message: { id: 'msg_demo', type: 'message', role: 'assistant', model: 'demo', content: [] } });
    blocs.forEach(function (b, i) {
      if (b.texte !== undefined) {
        t += sse('content_block_start', { index: i, content_block: { type: 'text', text: '' } });
        (b.texte.match(/[^ ]+ */g) || ['']).forEach(function (m) { t += sse('content_block_delta', { index: i, delta: { type: 'text_delta', text: m } }); });
      } else {
        t += sse('content_block_start', { index: i, content_block: { type: 'tool_use', id: b.id, name: b.nom, input: {} } });
        var j = JSON.stringify(b.entree);
        for (var k = 0; k < j.length; k += 12) t += sse('content_block_delta', { index: i, delta: { type: 'input_json_delta', partial_json: j.slice(k, k + 12) } });
      }
      t += sse('content_block_stop', { index: i });
    });
    var outil = blocs.some(function (b) { return b.nom; });
    return t + sse('message_delta', { delta: { stop_reason: outil ? 'tool_use' : 'end_turn' } }) + sse('message_stop', {});
  }
  function texteDe(m) {
    if (typeof m.content === 'string') return m.content;
    return tableau(m.content).filter(function (b) { return b.type === 'text' && texte(b.text).indexOf('(Note de l\'app : ') !== 0; }).map(function (b) { return texte(b.text); }).join(' ');
  }
  M.quilloDemo = function (arg) {
    var p = objet(arg);
    var msgs = tableau(p.messages).map(function (m) { return typeof m === 'string' ? lire(m, null) : m; }).filter(estObjet);
    var n = msgs.length, dernier = msgs[n - 1] || {}, iq = n - 1;
    while (iq > 0 && !estTourQuestion(msgs[iq])) iq--;
    var question = msgs[iq] ? texteDe(msgs[iq]) : '', q = plier(question), tid = 'toolu_demo_' + n + '_';
    var mNote = /(?:ajoute|ajouter|note)\s+(?:une\s+)?(?:note\s+)?(?:à|a|pour|sur)\s+([A-Za-zÀ-ÿ' -]+?)\s*:\s*(.+)$/i.exec(question.replace(/\s+/g, ' ').trim());
    if (estTourQuestion(dernier)) {
      if (mNote) return fluxDemo([{ texte: 'Je cherche la fiche. ' }, { id: tid + '1', nom: 'chercher_contacts', entree: { requete: mNote[1].trim() } }]);
      if (/relanc|rappeler|prochaine|cette semaine|a faire/.test(q)) return fluxDemo([{ id: tid + '1', nom: 'prochaines_actions', entree: {} }]);
      if (/pipeline|affaires|etape/.test(q)) return fluxDemo([{ id: tid + '1', nom: 'pipeline', entree: {} }]);
      if (/statisti|combien|score|chiffre/.test(q)) return fluxDemo([{ id: tid + '1', nom: 'statistiques', entree: { jours: 30 } }]);
      var mots = q.replace(/[^a-z0-9' -]/g, ' ').split(' ').filter(function (m) { return m.length > 3; });
      if (mots.length) return fluxDemo([{ id: tid + '1', nom: 'chercher_contacts', entree: { requete: mots[mots.length - 1] } }]);
      return fluxDemo([{ texte: 'En démo, je réponds sur vos prospects, vos relances, votre pipeline et vos notes. Essayez : « Quels prospects dois-je relancer cette semaine ? »' }]);
    }
    // Résultats d'outils : la suite dépend de l'outil appelé au tour précédent.
    var appels = tableau((msgs[n - 2] || {}).content).filter(function (b) { return b.type === 'tool_use'; });
    var resultats = tableau(dernier.content).filter(function (b) { return b.type === 'tool_result'; });
    var nomOutil = appels.length ? appels[0].name : '', res = resultats.length ? lire(typeof resultats[0].content === 'string' ? resultats[0].content : (tableau(resultats[0].content)[0] || {}).text, {}) : {};
    if (nomOutil === 'chercher_contacts' && mNote) {
      var c = tableau(res.contacts)[0];
      if (!c) return fluxDemo([{ texte: 'Je ne trouve pas ce contact dans votre CRM.' }]);
      return fluxDemo([{ texte: 'Voici la note pour ' + c.nom + ' : ' }, { id: tid + '1', nom: 'ajouter_note', entree: { contactId: c.id, texte: mNote[2].trim().replace(/^./, function (x) { return x.toUpperCase(); }) } }]);
    }
    if (nomOutil === 'ajouter_note') return fluxDemo([{ texte: 'La note est prête : appliquez-la si elle vous convient.' }]);
    if (nomOutil === 'prochaines_actions') {
      var a = tableau(res.actions);
      if (!a.length) return fluxDemo([{ texte: 'Rien à relancer d\'ici la fin de la semaine.' }]);
      return fluxDemo([{ texte: 'Cette semaine, ' + a.length + (a.length > 1 ? ' prospects sont à relancer' : ' prospect est à relancer') + ' :\n\n' +
        a.slice(0, 8).map(function (x) { return '- **' + x.nom + '** (' + x.societe + ') : ' + x.prochaineAction.texte + (x.prochaineAction.echeance ? ', le ' + x.prochaineAction.echeance.split('-').reverse().join('/') : '') + (x.enRetard ? ' — en retard' : ''); }).join('\n') }]);
    }
    if (nomOutil === 'pipeline') {
      return fluxDemo([{ texte: 'Votre pipeline :\n\n' + tableau(res.etapes).filter(function (e) { return e.nombre; }).map(function (e) { return '- ' + e.libelle + ' : ' + e.nombre + ' (' + e.valeur + ' €)'; }).join('\n') }]);
    }
    if (nomOutil === 'statistiques') {
      return fluxDemo([{ texte: 'Sur ' + res.periodeJours + ' jours : ' + res.appels + ' appels' + (res.scoreMoyen !== null && res.scoreMoyen !== undefined ? ', score moyen ' + res.scoreMoyen + '/100' : '') + ', ' + res.contacts + ' contacts suivis.' }]);
    }
    if (nomOutil === 'chercher_contacts') {
      var l = tableau(res.contacts);
      return fluxDemo([{ texte: l.length ? 'J\'ai trouvé :\n\n' + l.slice(0, 5).map(function (x) { return '- **' + x.nom + '**, ' + x.poste + ' chez ' + x.societe; }).join('\n') : 'Je ne trouve rien de tel dans votre CRM.' }]);
    }
    return fluxDemo([{ texte: 'C\'est noté.' }]);
  };
})(Moteur);
