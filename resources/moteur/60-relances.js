// ==================================================================== relances
// Séquences de relance : calendrier (jours ouvrés, sommeil, longue traîne),
// états des étapes, règles d'arrêt, réponses, liens d'envoi et textes.
//  jourOuvre(date, precedente?) → "aaaa-mm-jj" ; lireRythme(texte) → [n] | null ; texteRythme([n]) → texte
//  normaliserReglagesRelances(r) → ReglagesRelances ; normaliserRelances(s) → SequenceRelance | null
//  planRelances({dateAppel, type, reglages, contact, appelId, issue, preparee, moments}) → SequenceRelance "proposee"
//  texteRelance({etape, contact, entreprise, nouveaute?, ressource?}) → {objet, message}
//  activerRelance(s, {aujourdhui, compteId}) ; statutsRelance(s, aujourdhui) ; changerCanalRelance(s, canal)
//  modifierEtapeRelance(s, etapeId, champs) ; supprimerEtapeRelance(s, etapeId, maintenant)
//  envoyerEtapeRelance(s, etapeId, {canal, le, interactionId}) ; annulerEnvoiRelance(s, etapeId, aujourdhui)
//  apercuSuiteRelance(s, n?) → [dates] ; relancesDuJour({contacts, aujourdhui}) → lignes, retards d'abord
//  libellesArret(raison) → texte ; relanceEvenement({sequence, evenement, appelId, dateAppel, etape}) → {arreter, raison}
//  reveilApresAppel(contact, {appelId, dateAppel}) → contact ; doitPasserEnSommeil(contact, aujourdhui) → booléen
//  passerEnSommeil(contact, maintenant) → contact ; jourReprise(date) → "aaaa-mm-jj"
//  contactApresReponse(contact, reponse, {maintenant, aujourdhui}) → contact
//  lienEmail({email, objet, message}) → texte | null ; lienWhatsApp({telephone, message}) → texte | null
//  messageRendezVous({contact, lienRdv}) → {objet, message}
//  etapesAEcrire(s, jusquAu) → [étapes] ; payloadRedaction({sequence, etapeId, contact, reglages, entreprise})
//  appliquerRedaction(s, etapeId, reponse) → SequenceRelance
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, texte = I.texte, entier = I.entier, json = I.json, estObjet = I.estObjet;

  var RYTHME = [1, 3, 7, 14, 30, 60, 90];
  var RYTHME_TYPE = [1, 2, 4, 7, 14, 30];
  var COURT = 14;            // dernier jour des relances courtes
  var CANAUX = ['email', 'whatsapp', 'autre'];
  var STATUTS = ['proposee', 'active', 'sommeil', 'arretee', 'terminee'];

  function dateDe(v) {
    var t = texte(lire(v, v)).trim();
    var m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(t);
    if (m) {
      var d = new Date(+m[1], +m[2] - 1, +m[3], 12);
      return d.getMonth() === +m[2] - 1 && d.getDate() === +m[3] ? d : null;
    }
    if (!t) return null;
    var x = new Date(t);
    return isNaN(x.getTime()) ? null : new Date(x.getFullYear(), x.getMonth(), x.getDate(), 12);
  }
  function plus(d, n) { return new Date(d.getFullYear(), d.getMonth(), d.getDate() + n, 12); }
  function plusMois(d, n) {
    var r = new Date(d.getFullYear(), d.getMonth() + n, d.getDate(), 12);
    if (r.getDate() !== d.getDate()) r = new Date(d.getFullYear(), d.getMonth() + n + 1, 0, 12);
    return r;
  }
  function ecartJours(a, b) { return Math.round((b.getTime() - a.getTime()) / 86400000); }
  // Samedi ou dimanche → lundi ; jamais le jour de l'étape précédente ni avant.
  function ouvre(d, precedente) {
    if (precedente && d <= precedente) d = plus(precedente, 1);
    while (d.getDay() === 0 || d.getDay() === 6) d = plus(d, 1);
    return d;
  }
  M.jourOuvre = function (dateArg, precedenteArg) {
    var d = dateDe(dateArg);
    if (!d) return null;
    return I.jour(ouvre(d, dateDe(precedenteArg)));
  };
  M.jourReprise = function (dateArg) { return M.jourOuvre(dateArg); };

  M.lireRythme = function (t) {
    var brut = Array.isArray(lire(t, null)) ? lire(t, null).join(',') : texte(t);
    var parts = brut.split(/[,;]/).map(function (p) { return p.replace(/^\s*j\s*\+?\s*/i, '').trim(); }).filter(function (p) { return p !== ''; });
    if (!parts.length) return null;
    var vus = {}, r = [];
    for (var i = 0; i < parts.length; i++) {
      if (!/^\d{1,3}$/.test(parts[i])) return null;
      var n = Number(parts[i]);
      if (n < 1 || n > 365) return null;
      if (!vus[n]) { vus[n] = true; r.push(n); }
    }
    r.sort(function (a, b) { return a - b; });
    return json(r);
  };
  M.texteRythme = function (v) { var a = lire(v, []); return Array.isArray(a) ? a.join(', ') : ''; };

  function rythme(v, defaut) {
    var r = lire(M.lireRythme(lire(v, null) || ''), null);
    return r || defaut.slice();
  }
  function reglages(v) {
    var o = objet(v);
    var parType = {};
    var pt = objet(o.parType);
    Object.keys(pt).forEach(function (k) { var r = lire(M.lireRythme(pt[k] || ''), null); if (r) parType[k] = r; });
    function liste(x, f) { var a = lire(x, []); return Array.isArray(a) ? a.filter(estObjet).map(f) : []; }
    var commerciaux = {};
    var c = objet(o.commerciaux);
    Object.keys(c).forEach(function (k) {
      var x = objet(c[k]);
      commerciaux[k] = { lienRdv: texte(x.lienRdv), activationAuto: x.activationAuto === true };
    });
    return {
      rythme: rythme(o.rythme, RYTHME),
      parType: parType,
      nouveautes: liste(o.nouveautes, function (n) { return { id: texte(n.id), date: texte(n.date), texte: texte(n.texte) }; }),
      ressources: liste(o.ressources, function (n) { return { id: texte(n.id), titre: texte(n.titre), lien: texte(n.lien), quand: texte(n.quand) }; }),
      commerciaux: commerciaux
    };
  }
  M.normaliserReglagesRelances = function (v) { return json(reglages(v)); };
  M.rythmeConseille = function (parType) { return json(lire(parType, false) ? RYTHME_TYPE : RYTHME); };

  function etape(e, i) {
    e = objet(e);
    var canal = CANAUX.indexOf(texte(e.canal)) >= 0 ? texte(e.canal) : 'email';
    var statut = ['a_venir', 'en_retard', 'envoyee'].indexOf(texte(e.statut)) >= 0 ? texte(e.statut) : 'a_venir';
    var r = { id: texte(e.id) || ('e' + (i + 1)), date: texte(e.date), jour: entier(e.jour, 0), canal: canal,
              objet: texte(e.objet), message: texte(e.message), raison: texte(e.raison), statut: statut };
    ['envoyeeLe', 'canalEnvoi', 'interactionId', 'ecriteLe'].forEach(function (k) { if (texte(e[k])) r[k] = texte(e[k]); });
    return r;
  }
  function trier(etapes) { etapes.sort(function (a, b) { return a.date < b.date ? -1 : a.date > b.date ? 1 : a.jour - b.jour; }); return etapes; }
  function sequence(v) {
    var s = lire(v, null);
    if (!estObjet(s)) return null;
    var r = {};
    Object.keys(s).forEach(function (k) { r[k] = s[k]; });
    var et = lire(s.etapes, []);
    r.etapes = trier((Array.isArray(et) ? et : []).map(etape).filter(function (e) { return dateDe(e.date); }));
    r.statut = STATUTS.indexOf(texte(s.statut)) >= 0 ? texte(s.statut) : 'proposee';
    r.puisTousLes = entier(s.puisTousLes, 3) > 0 ? entier(s.puisTousLes, 3) : 3;
    r.note = texte(s.note); r.source = texte(s.source); r.preparee = texte(s.preparee); r.dateAppel = texte(s.dateAppel);
    return r;
  }
  M.normaliserRelances = function (v) { var s = sequence(v); return s ? json(s) : null; };

  function nomDe(c) { c = objet(c); return (texte(c.prenom) + ' ' + texte(c.nom)).trim() || texte(c.societe) || 'vous'; }
  var RAISONS = {
    1: 'Le lendemain, tant que l\'échange est frais.', 2: 'Un rappel court, sans insister.', 3: 'Le point sur ce qui a été dit.',
    4: 'Une preuve qui répond à sa priorité.', 7: 'Une semaine après : une question simple.', 14: 'Deux semaines : on propose la suite.'
  };
  function texteEtape(o) {
    o = objet(o);
    var e = objet(o.etape), c = objet(o.contact), ent = objet(o.entreprise);
    var prenom = texte(c.prenom) || nomDe(c);
    var offre = texte(objet(ent.offre).nom) || texte(ent.nom) || 'notre solution';
    var n = entier(e.jour, 1);
    var objetMail, corps;
    if (n <= 1) { objetMail = 'Suite à notre échange'; corps = 'Merci pour votre temps hier. Comme convenu, je reviens vers vous au sujet de ' + offre + '. Avez-vous pu en parler en interne ?'; }
    else if (n <= 4) { objetMail = 'Un point rapide'; corps = 'Je me permets de revenir vers vous : quelle serait pour vous la prochaine étape sur ' + offre + ' ?'; }
    else if (n <= 7) { objetMail = 'Une question simple'; corps = 'Où en êtes-vous de votre réflexion ? Je peux vous envoyer un exemple concret si cela vous aide.'; }
    else { objetMail = 'Prenons des nouvelles'; corps = 'Je reviens vers vous au sujet de ' + offre + '. Est-ce le bon moment pour en reparler ?'; }
    var nv = objet(o.nouveaute), rs = objet(o.ressource);
    if (texte(nv.texte)) corps += ' Du nouveau de notre côté : ' + texte(nv.texte) + '.';
    if (texte(rs.lien)) corps += ' Cela peut vous servir : ' + (texte(rs.titre) ? texte(rs.titre) + ' ' : '') + texte(rs.lien);
    return { objet: objetMail, message: 'Bonjour ' + prenom + ',\n\n' + corps + '\n\nBien à vous' };
  }
  M.texteRelance = function (o) { return json(texteEtape(o)); };

  M.planRelances = function (oArg) {
    var o = objet(oArg);
    var d0 = dateDe(o.dateAppel);
    if (!d0) return null;
    var rg = reglages(o.reglages);
    var type = texte(o.type);
    var r = type && rg.parType[type] ? rg.parType[type] : rg.rythme;
    var c = objet(o.contact);
    var canal = !texte(c.email) && texte(c.tel) ? 'whatsapp' : 'email';
    var etapes = [], prec = null;
    for (var i = 0; i < r.length; i++) {
      var d = ouvre(plus(d0, r[i]), prec);
      prec = d;
      var e = { id: 'e' + (i + 1), date: I.jour(d), jour: ecartJours(d0, d), canal: canal, objet: '', message: '',
                raison: RAISONS[r[i]] || (r[i] <= COURT ? 'Une relance courte.' : 'Une relance lointaine, écrite la veille de l\'envoi.'), statut: 'a_venir' };
      if (r[i] <= COURT) { var t = texteEtape({ etape: e, contact: c, entreprise: o.entreprise }); e.objet = t.objet; e.message = t.message; }
      etapes.push(e);
    }
    var s = { etapes: etapes, note: texte(o.note) || 'Des relances espacées, plus serrées juste après l\'appel.', source: texte(o.source) || 'analyse',
              preparee: texte(o.preparee), dateAppel: I.jour(d0), statut: 'proposee', version: 2, puisTousLes: 3 };
    if (type) s.type = type;
    if (texte(o.appelId)) s.appelId = texte(o.appelId);
    if (texte(o.issue)) s.issue = texte(o.issue);
    var mo = lire(o.moments, []);
    if (Array.isArray(mo) && mo.length) s.moments = mo.filter(estObjet).map(function (m) { return { libelle: texte(m.libelle), date: texte(m.date) }; });
    return json(s);
  };

  function statuts(s, aujourdhui) {
    for (var i = 0; i < s.etapes.length; i++) {
      var e = s.etapes[i];
      if (e.statut === 'envoyee') continue;
      e.statut = e.date < aujourdhui ? 'en_retard' : 'a_venir';
    }
    return s;
  }
  function aujourdhuiDe(v) { var d = dateDe(v); return I.jour(d || new Date()); }
  M.statutsRelance = function (sArg, aujourdhuiArg) { var s = sequence(sArg); return s ? json(statuts(s, aujourdhuiDe(aujourdhuiArg))) : null; };

  M.activerRelance = function (sArg, oArg) {
    var s = sequence(sArg), o = objet(oArg);
    if (!s) return null;
    var auj = aujourdhuiDe(o.aujourdhui);
    s.statut = 'active'; s.activeLe = auj;
    delete s.arreteeLe; delete s.raisonArret; delete s.termineeLe; delete s.reponse;
    if (texte(o.compteId)) s.compteId = texte(o.compteId);
    return json(statuts(s, auj));
  };

  function trouver(s, id) { for (var i = 0; i < s.etapes.length; i++) if (s.etapes[i].id === id) return i; return -1; }
  M.modifierEtapeRelance = function (sArg, idArg, champsArg) {
    var s = sequence(sArg), ch = objet(champsArg), id = texte(idArg);
    if (!s) return null;
    var i = trouver(s, id);
    if (i < 0) return null;
    var e = s.etapes[i];
    if (ch.message !== undefined) e.message = texte(ch.message);
    if (ch.objet !== undefined) e.objet = texte(ch.objet);
    if (ch.canal !== undefined && CANAUX.indexOf(texte(ch.canal)) >= 0) e.canal = texte(ch.canal);
    if (ch.date !== undefined) {
      var d = dateDe(ch.date);
      if (!d) return null;
      e.date = I.jour(d);
      var d0 = dateDe(s.dateAppel);
      if (d0) e.jour = ecartJours(d0, d);
      trier(s.etapes);
    }
    return json(statuts(s, aujourdhuiDe(ch.aujourdhui)));
  };
  function resteAEnvoyer(s) { return s.etapes.some(function (e) { return e.statut !== 'envoyee'; }); }
  M.supprimerEtapeRelance = function (sArg, idArg, maintenantArg) {
    var s = sequence(sArg);
    if (!s) return null;
    var i = trouver(s, texte(idArg));
    if (i < 0) return null;
    s.etapes.splice(i, 1);
    if (!resteAEnvoyer(s) && (s.statut === 'active' || s.statut === 'sommeil' || s.statut === 'proposee')) {
      s.statut = 'arretee'; s.arreteeLe = texte(maintenantArg) || I.jour(new Date()); s.raisonArret = null;
    }
    return json(s);
  };
  M.changerCanalRelance = function (sArg, canalArg) {
    var s = sequence(sArg), canal = texte(canalArg);
    if (!s || CANAUX.indexOf(canal) < 0) return null;
    s.etapes.forEach(function (e) { if (e.statut !== 'envoyee') e.canal = canal; });
    return json(s);
  };
  M.envoyerEtapeRelance = function (sArg, idArg, oArg) {
    var s = sequence(sArg), o = objet(oArg);
    if (!s) return null;
    var i = trouver(s, texte(idArg));
    if (i < 0) return null;
    var e = s.etapes[i];
    e.statut = 'envoyee'; e.envoyeeLe = texte(o.le); e.canalEnvoi = texte(o.canal);
    if (texte(o.interactionId)) e.interactionId = texte(o.interactionId); else delete e.interactionId;
    if (!resteAEnvoyer(s) && s.statut !== 'arretee') { s.statut = 'terminee'; s.termineeLe = texte(o.le); }
    return json(s);
  };
  M.annulerEnvoiRelance = function (sArg, idArg, aujourdhuiArg) {
    var s = sequence(sArg);
    if (!s) return null;
    var i = trouver(s, texte(idArg));
    if (i < 0) return null;
    var e = s.etapes[i];
    delete e.envoyeeLe; delete e.canalEnvoi; delete e.interactionId;
    e.statut = 'a_venir';
    if (s.statut === 'terminee') { s.statut = 'active'; delete s.termineeLe; }
    return json(statuts(s, aujourdhuiDe(aujourdhuiArg)));
  };

  // Longue traîne : une relance tous les `puisTousLes` mois après la dernière étape, affichage borné.
  M.apercuSuiteRelance = function (sArg, nArg) {
    var s = sequence(sArg);
    if (!s || !s.etapes.length) return json([]);
    var n = Math.min(Math.max(entier(nArg, 3), 0), 6);
    var d = dateDe(s.etapes[s.etapes.length - 1].date), r = [], prec = d, base = d;
    for (var k = 1; k <= n; k++) { var x = ouvre(plusMois(base, k * s.puisTousLes), prec); prec = x; r.push(I.jour(x)); }
    return json(r);
  };

  // La longue traîne devient réelle : une séquence qui court sans réponse garde toujours une étape à venir.
  // Quand sa dernière étape arrive à échéance, la suivante est posée `puisTousLes` mois plus tard
  // (jour ouvré) ; les dates déjà passées (application restée fermée) sont sautées, jamais posées en retard.
  M.prolongerRelance = function (sArg, aujourdhuiArg) {
    var s = sequence(sArg);
    if (!s) return null;
    var auj = aujourdhuiDe(aujourdhuiArg);
    if ((s.statut !== 'active' && s.statut !== 'sommeil') || !s.etapes.length) return json(s);
    var der = s.etapes[s.etapes.length - 1];
    if (der.date > auj) return json(s);
    var base = dateDe(der.date), prec = base, x = null;
    for (var k = 1; k <= 400; k++) {
      x = ouvre(plusMois(base, k * s.puisTousLes), prec);
      prec = x;
      if (I.jour(x) > auj) break;
    }
    var d0 = dateDe(s.dateAppel) || base;
    s.etapes.push({ id: 'l' + I.jour(x).replace(/-/g, ''), date: I.jour(x), jour: ecartJours(d0, x), canal: der.canal || 'email',
                    objet: '', message: '', raison: 'Une relance lointaine, écrite la veille de l\'envoi.', statut: 'a_venir' });
    return json(statuts(s, auj));
  };

  M.relancesDuJour = function (oArg) {
    var o = objet(oArg);
    var auj = aujourdhuiDe(o.aujourdhui);
    var cs = lire(o.contacts, []), r = [];
    if (!Array.isArray(cs)) return json([]);
    for (var i = 0; i < cs.length; i++) {
      var c = cs[i];
      if (!estObjet(c) || !estObjet(c.relance)) continue;
      var st = texte(c.relance.statut);
      if (st !== 'active' && st !== 'sommeil') continue;
      var et = Array.isArray(c.relance.etapes) ? c.relance.etapes : [];
      for (var j = 0; j < et.length; j++) {
        var e = et[j];
        if (!estObjet(e) || texte(e.statut) === 'envoyee' || !(texte(e.date) <= auj)) continue;
        r.push({ contactId: texte(c.id), nom: nomDe(c), etapeId: texte(e.id), date: texte(e.date), jour: entier(e.jour, 0),
                 canal: texte(e.canal) || 'email', objet: texte(e.objet), message: texte(e.message), enRetard: texte(e.date) < auj });
      }
    }
    r.sort(function (a, b) {
      if (a.enRetard !== b.enRetard) return a.enRetard ? -1 : 1;
      return a.date < b.date ? -1 : a.date > b.date ? 1 : (a.nom < b.nom ? -1 : a.nom > b.nom ? 1 : 0);
    });
    return json(r);
  };
  M.relancesInfos = function (sArg, aujourdhuiArg) {
    var s = sequence(sArg);
    if (!s) return json({ envoyees: 0, enRetard: 0, aVenir: 0 });
    var auj = aujourdhuiDe(aujourdhuiArg), r = { envoyees: 0, enRetard: 0, aVenir: 0, prochaine: null };
    s.etapes.forEach(function (e) {
      if (e.statut === 'envoyee') r.envoyees++;
      else if (e.date < auj) r.enRetard++;
      else { r.aVenir++; if (!r.prochaine) r.prochaine = e.date; }
    });
    return json(r);
  };

  var ARRETS = { gagne: 'Affaire gagnée', perdu: 'Affaire perdue', nouvel_appel: 'Nouvel appel avec ce contact', reponse: 'Le prospect a répondu' };
  M.libellesArret = function (raison) { var t = texte(lire(raison, raison)); return ARRETS[t] || 'Arrêtée à la main'; };

  function enCours(s) { return s && (s.statut === 'active' || s.statut === 'sommeil' || s.statut === 'proposee'); }
  // Arrêt sur un nouvel appel (jamais l'appel d'origine ni un plus ancien) ou une affaire gagnée / perdue.
  M.relanceEvenement = function (oArg) {
    var o = objet(oArg), s = sequence(o.sequence), ev = texte(o.evenement);
    var non = json({ arreter: false, raison: null });
    if (!enCours(s)) return non;
    if (ev === 'nouvel_appel') {
      var id = texte(o.appelId);
      if (!id || id === texte(s.appelId)) return non;
      var da = texte(o.dateAppel).slice(0, 10), ds = texte(s.dateAppel).slice(0, 10);
      if (da && ds && da <= ds) return non;
      return json({ arreter: true, raison: 'nouvel_appel' });
    }
    if (ev === 'etape') {
      var et = texte(o.etape);
      if (et === 'perdu') return json({ arreter: true, raison: 'perdu' });
      if (et === 'gagne' && texte(s.issue) !== 'gagne') return json({ arreter: true, raison: 'gagne' });
    }
    return non;
  };

  function copie(c) { var r = {}; Object.keys(c).forEach(function (k) { r[k] = c[k]; }); return r; }
  function reveiller(c) {
    if (c.etape === 'sommeil') { c.etape = texte(c.etapeAvantSommeil) || 'contacte'; delete c.etapeAvantSommeil; delete c.sommeilLe; }
    return c;
  }
  M.reveilApresAppel = function (cArg) { var c = copie(objet(cArg)); return json(reveiller(c)); };
  M.doitPasserEnSommeil = function (cArg, aujourdhuiArg) {
    var c = objet(cArg), s = sequence(c.relance);
    if (!s || s.statut !== 'active' || c.etape === 'sommeil' || c.etape === 'gagne' || c.etape === 'perdu' || s.reponse) return false;
    var courtes = s.etapes.filter(function (e) { return e.jour <= COURT; });
    var longues = s.etapes.filter(function (e) { return e.jour > COURT && e.statut !== 'envoyee'; });
    if (!courtes.length || !longues.length) return false;
    var d = dateDe(courtes[courtes.length - 1].date);
    return I.jour(plus(d, 3)) <= aujourdhuiDe(aujourdhuiArg);
  };
  M.passerEnSommeil = function (cArg, maintenantArg) {
    var c = copie(objet(cArg));
    if (c.etape === 'sommeil') return json(c);
    c.etapeAvantSommeil = texte(c.etape) || 'contacte'; c.etape = 'sommeil'; c.sommeilLe = texte(maintenantArg);
    return json(c);
  };

  // Réponse du prospect : la séquence suit (arrêt, reprise datée, perte).
  M.contactApresReponse = function (cArg, rArg, oArg) {
    var c = copie(objet(cArg)), rep = objet(rArg), o = objet(oArg);
    var type = texte(rep.type), le = texte(o.maintenant), auj = aujourdhuiDe(o.aujourdhui || le);
    var s = sequence(c.relance);
    if (['interesse', 'pas_maintenant', 'pas_interesse'].indexOf(type) < 0) return null;
    var reponse = { type: type, le: le };
    reveiller(c);
    if (type === 'pas_maintenant') {
      var d = dateDe(rep.reprise);
      if (!d) return null;
      reponse.reprise = M.jourReprise(I.jour(d));
      if (!s) s = { etapes: [], statut: 'active', puisTousLes: 3, dateAppel: auj, version: 2 };
      var gardees = s.etapes.filter(function (e) { return e.statut === 'envoyee'; });
      var d0 = dateDe(s.dateAppel) || dateDe(auj), prec = null, nouvelles = [];
      for (var k = 0; k < 3; k++) {
        var x = ouvre(k === 0 ? dateDe(reponse.reprise) : plusMois(dateDe(reponse.reprise), k * (s.puisTousLes || 3)), prec);
        prec = x;
        nouvelles.push({ id: 'r' + I.jour(x).replace(/-/g, ''), date: I.jour(x), jour: ecartJours(d0, x), canal: (s.etapes[0] || {}).canal || 'email',
                         objet: '', message: '', raison: 'Reprise à la date qu\'il a donnée.', statut: 'a_venir' });
      }
      s.etapes = gardees.concat(nouvelles);
      s.statut = 'active'; s.reponse = reponse;
      delete s.arreteeLe; delete s.raisonArret; delete s.termineeLe;
    } else {
      if (type === 'pas_interesse') {
        var raison = texte(rep.raison).trim();
        if (!raison) return null;
        reponse.raison = raison;
      }
      if (texte(rep.objet)) reponse.objet = texte(rep.objet);
      if (texte(rep.message)) reponse.message = texte(rep.message);
      if (s) {
        s.reponse = reponse;
        if (s.statut !== 'arretee' && s.statut !== 'terminee') { s.statut = 'arretee'; s.arreteeLe = le; s.raisonArret = 'reponse'; }
      }
    }
    if (s) c.relance = s;
    return json(c);
  };
  M.raisonsPerte = function () {
    return json(['Pas le budget', 'Pas le bon moment', 'A choisi un concurrent', 'Pas de besoin', 'Pas de réponse du décideur']);
  };

  function encoder(t) { return encodeURIComponent(texte(t)).replace(/[!'()*]/g, function (ch) { return '%' + ch.charCodeAt(0).toString(16).toUpperCase(); }); }
  M.lienEmail = function (oArg) {
    var o = objet(oArg), email = texte(o.email).trim();
    if (!/^[^\s@?&<>,;:"]+@[^\s@?&<>,;:"]+\.[^\s@?&<>,;:"]+$/.test(email)) return null;
    return 'mailto:' + encoder(email).replace(/%40/g, '@') + '?subject=' + encoder(o.objet) + '&body=' + encoder(o.message);
  };
  // Numéro de mobile au format international, chiffres seuls (06 / 07 en France).
  function mobile(t) {
    var brut = texte(t).trim();
    var ch = brut.replace(/[\s.\-()]/g, '');
    if (/^00/.test(ch)) ch = '+' + ch.slice(2);
    if (/^0[67]\d{8}$/.test(ch)) return '33' + ch.slice(1);
    if (/^\+33[67]\d{8}$/.test(ch)) return ch.slice(1);
    if (/^\+33/.test(ch)) return null;
    if (/^\+[1-9]\d{7,14}$/.test(ch)) return ch.slice(1);
    return null;
  }
  M.numeroWhatsApp = function (t) { return mobile(t); };
  M.lienWhatsApp = function (oArg) {
    var o = objet(oArg), n = mobile(o.telephone);
    if (!n) return null;
    return 'https://wa.me/' + n + '?text=' + encoder(o.message);
  };
  M.messageRendezVous = function (oArg) {
    var o = objet(oArg), c = objet(o.contact), lien = texte(o.lienRdv).trim();
    var corps = 'Bonjour ' + (texte(c.prenom) || nomDe(c)) + ',\n\nMerci pour votre retour, ravi que cela vous intéresse. ' +
      (lien ? 'Choisissez le créneau qui vous arrange ici : ' + lien : 'Quelles disponibilités auriez-vous la semaine prochaine pour en parler ?') + '\n\nBien à vous';
    return json({ objet: 'Calons un créneau', message: corps });
  };

  // Rédaction la veille : étapes non écrites dues jusqu'au jour donné.
  M.etapesAEcrire = function (sArg, jusquAuArg) {
    var s = sequence(sArg), fin = aujourdhuiDe(jusquAuArg);
    if (!s || (s.statut !== 'active' && s.statut !== 'sommeil')) return json([]);
    return json(s.etapes.filter(function (e) { return e.statut !== 'envoyee' && !e.message.trim() && e.date <= fin; }));
  };
  M.payloadRedaction = function (oArg) {
    var o = objet(oArg), s = sequence(o.sequence);
    if (!s) return null;
    var i = trouver(s, texte(o.etapeId));
    if (i < 0) return null;
    var rg = reglages(o.reglages);
    var nv = rg.nouveautes.slice().sort(function (a, b) { return a.date < b.date ? 1 : -1; })[0] || null;
    var rs = rg.ressources[i % Math.max(rg.ressources.length, 1)] || null;
    return json({ tache: 'relance', etape: s.etapes[i], contact: objet(o.contact), entreprise: objet(o.entreprise), nouveaute: nv, ressource: rs,
                  precedentes: s.etapes.slice(0, i).map(function (e) { return { date: e.date, objet: e.objet, statut: e.statut }; }) });
  };
  M.appliquerRedaction = function (sArg, idArg, rArg) {
    var s = sequence(sArg), r = lire(rArg, null);
    if (!s || !estObjet(r) || !texte(r.message).trim()) return null;
    var i = trouver(s, texte(idArg));
    if (i < 0) return null;
    s.etapes[i].message = texte(r.message).trim();
    if (texte(r.objet).trim()) s.etapes[i].objet = texte(r.objet).trim();
    if (texte(r.le)) s.etapes[i].ecriteLe = texte(r.le);
    return json(s);
  };
})(Moteur);
