// ==================================================================== brief d'avant-appel
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, tableau = I.tableau, texte = I.texte, nombre = I.nombre, json = I.json;
  var estObjet = I.estObjet, couper = I.couper, plier = I.plier, section = I.section, listeTextes = I.listeTextes;
  var D = M.donnees;

  var INTROUVABLE = 'Ce contact est introuvable : choisissez-en un autre pour préparer le brief.';

  // Entrée de la tâche brief : les réglages de l'appel et tout ce que le modèle doit
  // savoir, sans rien d'autre à relire (le relais et le serveur bâtissent le prompt).
  M.payloadBrief = function (parametresArg) {
    var p = objet(parametresArg);
    var contactId = texte(p.contactId).trim();
    var cc = contactId ? lire(M.contexteContact(contactId), null) : null;
    if (!estObjet(cc) || !estObjet(cc.contact)) throw new Error(INTROUVABLE);
    var ctx = JSON.parse(M.contexteAppel({ contactId: contactId, type: texte(p.type), objectif: texte(p.objectif), methode: texte(p.methode), langue: texte(p.langue) }));
    return json({
      tache: 'brief',
      parametres: { contactId: contactId, type: ctx.type, objectif: ctx.objectif, methode: ctx.methode, langue: ctx.langue },
      type: ctx.type, libelleType: ctx.libelleType, objectif: ctx.objectif, methode: ctx.methode, langue: ctx.langue, registre: ctx.registre,
      commercial: ctx.commercial, entreprise: ctx.entreprise,
      contact: cc.contact, profil: cc.profil, historique: cc.historique, appelsPasses: cc.appelsPasses, objectionsPassees: cc.objectionsPassees,
      etapes: ctx.etapes, grille: ctx.grille, objections: ctx.objections, questionsFavorites: ctx.questionsFavorites
    });
  };

  var TXT = { type: 'string' }, LISTE_TXT = { type: 'array', items: TXT };
  var S = I.schemaObjet;
  var SCHEMA_BRIEF = S({
    pointsCles: LISTE_TXT,
    objectionsProbables: { type: 'array', items: S({ objection: TXT, parade: TXT }, ['objection', 'parade']) },
    questions: LISTE_TXT,
    objectifMesurable: TXT,
    ouverture: TXT,
    briefEtapes: { type: 'array', items: S({ etapeId: TXT, objectif: TXT, questions: LISTE_TXT, transition: TXT }, ['etapeId', 'objectif', 'questions', 'transition']) },
    qualification: { type: 'array', items: S({ itemId: TXT, nom: TXT, connu: TXT, manque: TXT, question: TXT }, ['itemId', 'nom', 'connu', 'manque', 'question']) }
  }, ['pointsCles', 'objectionsProbables', 'questions', 'objectifMesurable', 'ouverture', 'briefEtapes', 'qualification']);

  var CONSIGNE_BRIEF = 'Tâche : préparez le brief de cet appel. « objectifMesurable » : ce que le commercial doit avoir obtenu en raccrochant, en une phrase vérifiable (reprenez l\'objectif du commercial quand il est donné). ' +
    '« ouverture » : la première phrase à dire, naturelle, qui rappelle le dernier échange s\'il existe. « pointsCles » : trois à cinq faits utiles sur le prospect et sa situation, tirés des données. ' +
    '« objectionsProbables » : deux à quatre objections probables pour ce prospect et ce type d\'appel, chacune avec la parade à dire. « questions » : trois à cinq questions à poser, les plus utiles d\'abord. ' +
    '« briefEtapes » : pour chaque étape du process, l\'objectif de l\'étape pour ce prospect, deux questions et la phrase de transition. ' +
    '« qualification » : pour chaque item de la grille, ce que l\'on sait déjà (« connu »), ce qu\'il reste à apprendre (« manque ») et la question à poser. Quand une information manque, dites-le au lieu de l\'inventer.';
  var CHAMPS = [['douleur', 'Douleur'], ['budget', 'Budget'], ['decideur', 'Décideur'], ['echeance', 'Échéance']];

  function lignes(l) { return l.filter(Boolean).join('\n'); }
  function puces(liste, f) { return (Array.isArray(liste) ? liste : []).map(function (x) { var t = f ? f(x) : texte(x); return t ? '- ' + t : ''; }).filter(Boolean).join('\n'); }
  function texteEntreprise(e) {
    var o = estObjet(e.offre) ? e.offre : {};
    return lignes([
      e.nom ? e.nom + (e.secteur ? ' (' + e.secteur + ')' : '') : '',
      o.nom ? 'Offre : ' + o.nom + (o.prix ? ', ' + o.prix : '') + (o.description ? ' — ' + o.description : '') : '',
      listeTextes(e.benefices).length ? 'Bénéfices : ' + listeTextes(e.benefices).join(' ; ') : '',
      e.differenciant ? 'Différenciant : ' + e.differenciant : '',
      listeTextes(e.preuves).length ? 'Preuves : ' + listeTextes(e.preuves).join(' ; ') : '',
      listeTextes(e.concurrents).length ? 'Concurrents : ' + listeTextes(e.concurrents).join(', ') : ''
    ]);
  }
  function texteProspect(c) {
    var champs = estObjet(c.champs) ? c.champs : {};
    var l = [[c.nom, c.poste, c.societe].filter(Boolean).join(', '), 'Étape du pipeline : ' + (I.libelleDe(D.ETAPES, c.etape) || c.etape)];
    if (nombre(c.valeur, 0) > 0) l.push('Valeur estimée : ' + nombre(c.valeur, 0) + ' €');
    CHAMPS.forEach(function (k) { if (texte(champs[k[0]]).trim()) l.push(k[1] + ' : ' + texte(champs[k[0]]).trim()); });
    if (texte(c.notes).trim()) l.push('Notes : ' + texte(c.notes).trim());
    if (estObjet(c.prochaineAction) && texte(c.prochaineAction.texte)) l.push('Prochaine action prévue : ' + texte(c.prochaineAction.texte) + (texte(c.prochaineAction.echeance) ? ' (' + texte(c.prochaineAction.echeance) + ')' : ''));
    return lignes(l);
  }
  function connuDe(p, item) {
    var champs = estObjet(p.contact) && estObjet(p.contact.champs) ? p.contact.champs : {};
    return item.champ ? texte(champs[item.champ]).trim() : '';
  }

  // Prompt de la tâche brief : {systeme, contenu, schema}.
  M.promptBrief = function (pArg) {
    var p = objet(pArg);
    var c = estObjet(p.contact) ? p.contact : {};
    var e = estObjet(p.entreprise) ? p.entreprise : {};
    var g = estObjet(p.grille) && Array.isArray(p.grille.items) ? p.grille : { nom: '', items: [] };
    var systeme = 'Vous êtes Quillo, l\'assistant de vente de Vendalo. Avant un appel, vous préparez le brief que le commercial lit en deux minutes : ce qu\'il doit savoir du prospect, ce qu\'il doit obtenir, comment ouvrir, les objections à attendre avec leur parade et les questions à poser. ' +
      'Soyez concret et bref, sans jargon. ' + I.regleLangue(texte(p.langue) || 'fr') + ' ' + I.regleRegistre(p) + ' ' + I.GARDE + ' Répondez uniquement avec l\'objet JSON demandé.';
    var contenu = CONSIGNE_BRIEF + '\n\n' +
      section('APPEL À PRÉPARER', lignes(['Type d\'appel : ' + (texte(p.libelleType) || texte(p.type) || 'Découverte'),
        'Objectif du commercial : ' + (texte(p.objectif).trim() || 'non précisé, proposez-en un'),
        texte(p.methode) && p.methode !== 'aucune' ? 'Méthode : ' + (I.libelleDe(D.METHODES, p.methode) || p.methode) : ''])) +
      section('ENTREPRISE DU COMMERCIAL', texteEntreprise(e)) +
      section('PROSPECT', texteProspect(c)) +
      section('PROFIL CLIENT', estObjet(p.profil) ? lignes([texte(p.profil.nom),
        listeTextes(p.profil.douleurs).length ? 'Douleurs typiques : ' + listeTextes(p.profil.douleurs).join(' ; ') : '',
        listeTextes(p.profil.objectifs).length ? 'Objectifs : ' + listeTextes(p.profil.objectifs).join(' ; ') : '',
        listeTextes(p.profil.criteres).length ? 'Critères de choix : ' + listeTextes(p.profil.criteres).join(' ; ') : '']) : '') +
      section('HISTORIQUE DU PROSPECT', lignes([
        puces(p.appelsPasses, function (a) { return estObjet(a) ? texte(a.date) + ' (' + (D.LIBELLES_TYPES_APPEL[a.type] || texte(a.type)) + ') : ' + texte(a.resume) + (texte(a.prochaineEtape) ? ' Prochaine étape : ' + texte(a.prochaineEtape) : '') : ''; }),
        puces(p.historique, function (h) { return estObjet(h) ? texte(h.date) + ' ' + texte(h.type) + ' « ' + texte(h.titre) + ' »' + (texte(h.resume) ? ' : ' + texte(h.resume) : '') : ''; })])) +
      section('OBJECTIONS DÉJÀ RENCONTRÉES AVEC CE PROSPECT', puces(p.objectionsPassees, function (o) { return estObjet(o) ? texte(o.libelle) + (texte(o.date) ? ' (' + texte(o.date) + (texte(o.traitement) ? ', traitée : ' + texte(o.traitement) : '') + ')' : '') : ''; })) +
      section('RÉPONSES PRÉPARÉES DE LA BIBLIOTHÈQUE', puces(p.objections, function (o) { return estObjet(o) ? texte(o.libelle) + ' → ' + texte(o.reponse) : ''; })) +
      section('PROCESS DE VENTE DE L\'ENTREPRISE POUR CET APPEL', Array.isArray(p.etapes) && p.etapes.length ? puces(p.etapes, function (s) {
        return estObjet(s) ? texte(s.id) + ' « ' + texte(s.nom) + ' » : ' + texte(s.objectif) + (listeTextes(s.questions).length ? '\n  Questions : ' + listeTextes(s.questions).join(' ; ') : '') + (texte(s.transition) ? '\n  Transition : ' + texte(s.transition) : '') : '';
      }) + '\nDans « briefEtapes », une entrée par étape, avec son identifiant exact dans « etapeId ».' : '') +
      section('GRILLE DE QUALIFICATION' + (texte(g.nom) ? ' (' + texte(g.nom) + ')' : ''), g.items.length ? puces(g.items, function (it) {
        return estObjet(it) ? texte(it.id) + ' : ' + texte(it.nom) + (connuDe(p, it) ? ' — déjà su : ' + connuDe(p, it) : '') : '';
      }) + '\nDans « qualification », une entrée par item, avec son identifiant exact dans « itemId ».' : '') +
      section('QUESTIONS FAVORITES DU COMMERCIAL', puces(p.questionsFavorites));
    return { systeme: systeme, contenu: contenu.trim(), schema: SCHEMA_BRIEF };
  };

  // ---------------------------------------------------------------- lecture de la réponse
  // Liste d'entrées tirée d'un brief entier, d'un tableau, ou d'un objet indexé par identifiant.
  function entrees(v, cle, cleId) {
    var o = lire(v, null);
    if (estObjet(o) && o[cle] !== undefined) o = lire(o[cle], null);
    if (estObjet(o)) o = Object.keys(o).map(function (k) { var x = o[k]; var r = estObjet(x) ? Object.assign({}, x) : { objectif: texte(x) }; if (!texte(r[cleId]).trim()) r[cleId] = k; return r; });
    return Array.isArray(o) ? o.filter(estObjet) : [];
  }
  // Entrée connue du contexte par identifiant, sinon par nom.
  function retrouver(connues, id, nom) {
    var i;
    for (i = 0; i < connues.length; i++) if (texte(connues[i].id) === id) return connues[i];
    var pid = plier(id), pnom = plier(nom);
    for (i = 0; i < connues.length; i++) {
      var n = plier(texte(connues[i].nom));
      if (n && (n === pid || n === pnom || plier(texte(connues[i].id)) === pid)) return connues[i];
    }
    return null;
  }
  function rangDe(connues, id) { for (var i = 0; i < connues.length; i++) if (texte(connues[i].id) === id) return i; return connues.length; }

  // Étapes du brief : une par étape du process (identifiant exact), dans son ordre ; une
  // étape inconnue du process est écartée, une étape vide aussi.
  M.normaliserBriefEtapes = function (v, contexteArg) {
    var connues = tableau(objet(contexteArg).etapes).filter(estObjet);
    var r = [], vus = {};
    entrees(v, 'briefEtapes', 'etapeId').forEach(function (e) {
      var id = texte(e.etapeId || e.id || e.etape).trim();
      var ref = connues.length ? retrouver(connues, id, texte(e.nom)) : null;
      if (connues.length && !ref) return;
      if (ref) id = texte(ref.id);
      if (!id || vus[id]) return;
      var x = { etapeId: id, objectif: texte(e.objectif).trim(), questions: listeTextes(e.questions), transition: texte(e.transition).trim() };
      if (!x.objectif && !x.questions.length && !x.transition) return;
      if (ref && !x.objectif) x.objectif = texte(ref.objectif);
      vus[id] = 1;
      r.push(x);
    });
    if (connues.length) r.sort(function (a, b) { return rangDe(connues, a.etapeId) - rangDe(connues, b.etapeId); });
    return json(r);
  };

  // Qualification du brief : un item par item de la grille (identifiant et nom de la grille).
  M.normaliserBriefQualification = function (v, contexteArg) {
    var ctx = objet(contexteArg);
    var connus = estObjet(ctx.grille) ? tableau(ctx.grille.items).filter(estObjet) : [];
    var r = [], vus = {};
    entrees(v, 'qualification', 'itemId').forEach(function (q) {
      var id = texte(q.itemId || q.item || q.id).trim();
      var nom = texte(q.nom).trim();
      var ref = connus.length ? retrouver(connus, id, nom) : null;
      if (connus.length && !ref) return;
      if (ref) { id = texte(ref.id); nom = texte(ref.nom) || nom; }
      if (!id) id = plier(nom).replace(/[^a-z0-9]+/g, '_');
      if (!id || vus[id]) return;
      var x = { itemId: id, nom: nom || id, connu: texte(q.connu).trim(), manque: texte(q.manque).trim(), question: texte(q.question).trim() };
      if (!x.connu && !x.manque && !x.question) return;
      vus[id] = 1;
      r.push(x);
    });
    if (connus.length) r.sort(function (a, b) { return rangDe(connus, a.itemId) - rangDe(connus, b.itemId); });
    return json(r);
  };

  // ---------------------------------------------------------------- démonstration
  var OBJECTIFS_TYPE = {
    prospection: 'Obtenir un rendez-vous de découverte daté.',
    decouverte: 'Faire chiffrer la douleur principale, savoir qui décide et fixer une démo datée.',
    demo: 'Faire valider deux points montrés qui répondent aux douleurs dites, puis fixer la suite datée.',
    suivi: 'Lever le frein en suspens et fixer la prochaine étape datée.',
    closing: 'Obtenir un accord ferme ou une date de signature.',
    negociation: 'Trouver un accord validé par le décideur, sans remise sans contrepartie.',
    upsell: 'Faire dire les résultats obtenus et identifier le besoin suivant.'
  };
  var OBJECTIONS_TYPE = {
    prospection: ['temps', 'documentation', 'concurrence'], decouverte: ['documentation', 'concurrence', 'timing'],
    demo: ['confiance', 'decideur', 'prix'], suivi: ['reflexion', 'timing', 'decideur'], closing: ['prix', 'reflexion', 'decideur'],
    negociation: ['prix', 'decideur', 'reflexion'], upsell: ['prix', 'timing']
  };
  var PARADES = {
    prix: ['C\'est trop cher.', 'Je comprends. Par rapport à quoi ? Mettons le coût du problème à côté du prix.'],
    temps: ['Je n\'ai pas le temps.', 'Je serai bref : une question, et vous me dites si ça vaut la peine d\'en parler.'],
    documentation: ['Envoyez-moi une documentation.', 'Avec plaisir. Pour vous envoyer ce qui compte, quel point voulez-vous vérifier en premier ?'],
    concurrence: ['On a déjà un outil.', 'Très bien. Qu\'est-ce qu\'il ne règle pas encore pour vous ?'],
    timing: ['Ce n\'est pas le moment.', 'D\'accord. Qu\'est-ce qui aura changé d\'ici là ?'],
    confiance: ['Je ne suis pas sûr que ça marche chez nous.', 'C\'est une vraie question. Quelle situation vous inquiète le plus ? Regardons-la ensemble.'],
    decideur: ['Ce n\'est pas moi qui décide.', 'Bien sûr. Qu\'est-ce que votre direction voudra voir en premier ? Je vous prépare une page pour elle.'],
    reflexion: ['Je vais réfléchir.', 'Bien sûr. Sur quoi hésitez-vous précisément : le prix, le moment ou l\'adoption par l\'équipe ?'],
    besoin: ['On n\'en a pas besoin.', 'Entendu. Comment faites-vous aujourd\'hui, concrètement ?']
  };
  function phrase(t) { t = texte(t).trim(); return !t || /[.!?…]$/.test(t) ? t : t + '.'; }
  function minusculeDebut(t) { t = texte(t).trim(); return t.charAt(0).toLowerCase() + t.slice(1); }
  function milliers(n) { return String(Math.round(n)).replace(/\B(?=(\d{3})+(?!\d))/g, ' '); }

  // Brief en boîte, bâti sur les données du payload, pour la route de démonstration.
  I.briefDemo = function (p) {
    var c = estObjet(p.contact) ? p.contact : {};
    var e = estObjet(p.entreprise) ? p.entreprise : {};
    var champs = estObjet(c.champs) ? c.champs : {};
    var profil = estObjet(p.profil) ? p.profil : null;
    var type = texte(p.type) || 'decouverte';
    var tu = p.registre === 'tu';
    var dernier = tableau(p.appelsPasses).filter(estObjet)[0] || null;
    var echange = tableau(p.historique).filter(estObjet)[0] || null;

    var points = [];
    var qui = [texte(c.nom), texte(c.poste)].filter(Boolean).join(', ') + (texte(c.societe) && texte(c.societe) !== texte(c.nom) ? ' chez ' + texte(c.societe) : '');
    points.push(phrase(qui + ' — étape « ' + (I.libelleDe(D.ETAPES, c.etape) || 'Nouveau') + ' »' + (nombre(c.valeur, 0) > 0 ? ', affaire estimée à ' + milliers(nombre(c.valeur, 0)) + ' €' : '')));
    if (texte(champs.douleur).trim()) points.push(phrase('Douleur dite : ' + minusculeDebut(champs.douleur)));
    else if (profil && listeTextes(profil.douleurs).length) points.push(phrase('Douleur fréquente pour ce profil : ' + minusculeDebut(listeTextes(profil.douleurs)[0]) + ', à vérifier'));
    else points.push('Douleur encore inconnue : faites-la dire tôt.');
    if (dernier && texte(dernier.resume)) points.push(phrase('Dernier appel (' + (D.LIBELLES_TYPES_APPEL[dernier.type] || texte(dernier.type) || 'appel').toLowerCase() + ') : ' + couper(texte(dernier.resume), 220)));
    else if (echange) points.push(phrase('Dernier échange : ' + texte(echange.titre) + (texte(echange.resume) ? ' — ' + couper(texte(echange.resume), 200) : '')));
    else points.push('Premier échange avec ce prospect.');
    points.push(texte(champs.decideur).trim() ? phrase('Décision : ' + texte(champs.decideur).trim()) : 'Décideur pas encore identifié.');
    if (listeTextes(e.preuves).length) points.push(phrase('Preuve à citer : ' + listeTextes(e.preuves)[0]));

    var prenom = texte(c.nom).split(' ')[0] || texte(c.nom);
    var moi = texte(estObjet(p.commercial) ? p.commercial.prenom : '');
    var ouverture = 'Bonjour ' + (tu ? prenom : texte(c.nom)) + ', ' + (tu ? 'c\'est ' : 'ici ') + (moi || 'votre conseiller') + (texte(e.nom) ? ', de ' + texte(e.nom) : '') + '.';
    if (type === 'prospection') ouverture += tu ? ' Tu as deux minutes ? Je te dis pourquoi je t\'appelle, et tu me dis si ça vaut la peine d\'aller plus loin.'
      : ' Avez-vous deux minutes ? Je vous dis pourquoi je vous appelle, et vous me dites si ça vaut la peine d\'aller plus loin.';
    else if (dernier || echange) ouverture += tu ? ' Comme convenu, je te rappelle pour faire le point : c\'est toujours un bon moment ?' : ' Comme convenu, je vous rappelle pour faire le point : est-ce toujours un bon moment ?';
    else ouverture += tu ? ' Merci de prendre ce temps. Pour commencer, tu peux me dire où tu en es sur ce sujet ?' : ' Merci de prendre ce temps. Pour commencer, pouvez-vous me dire où vous en êtes sur ce sujet ?';

    var categories = [];
    tableau(p.objectionsPassees).forEach(function (o) { var k = estObjet(o) ? texte(o.categorie) : ''; if (PARADES[k] && categories.indexOf(k) < 0) categories.push(k); });
    (OBJECTIONS_TYPE[type] || OBJECTIONS_TYPE.decouverte).forEach(function (k) { if (categories.indexOf(k) < 0) categories.push(k); });
    var biblio = tableau(p.objections).filter(estObjet);
    var objections = categories.slice(0, 3).map(function (k) {
      var lib = biblio.filter(function (o) { return texte(o.categorie) === k && texte(o.reponse); })[0];
      return lib ? { objection: texte(lib.libelle), parade: texte(lib.reponse) } : { objection: PARADES[k][0], parade: PARADES[k][1] };
    });

    var etapes = tableau(p.etapes).filter(estObjet);
    var items = estObjet(p.grille) ? tableau(p.grille.items).filter(estObjet) : [];
    var questions = [], vues = {};
    function ajouter(q) { var k = plier(q); if (q && !vues[k] && questions.length < 5) { vues[k] = 1; questions.push(q); } }
    etapes.forEach(function (s) { ajouter(listeTextes(s.questions)[0]); });
    items.forEach(function (it) { if (!connuDe(p, it)) ajouter(listeTextes(it.questions)[0]); });
    listeTextes(p.questionsFavorites).slice(0, 2).forEach(ajouter);
    if (!questions.length) ajouter('Qu\'est-ce qui coince le plus aujourd\'hui ?');

    return {
      pointsCles: points,
      objectionsProbables: objections,
      questions: questions,
      objectifMesurable: phrase(texte(p.objectif).trim()) || OBJECTIFS_TYPE[type] || OBJECTIFS_TYPE.decouverte,
      ouverture: ouverture,
      briefEtapes: etapes.map(function (s) { return { etapeId: texte(s.id), objectif: texte(s.objectif), questions: listeTextes(s.questions).slice(0, 2), transition: texte(s.transition) }; }),
      qualification: items.map(function (it) {
        var connu = connuDe(p, it);
        return { itemId: texte(it.id), nom: texte(it.nom), connu: connu, manque: connu ? 'À confirmer : rien n\'a changé ?' : 'Tout : rien n\'est encore su.', question: listeTextes(it.questions)[0] || '' };
      })
    };
  };
})(Moteur);
