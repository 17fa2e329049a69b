// ==================================================================== échéances, registre, phases
(function (M) {
  'use strict';
  var I = M._interne;
  var lire = I.lire, objet = I.objet, texte = I.texte, entier = I.entier, nombre = I.nombre, json = I.json;
  var estObjet = I.estObjet, couper = I.couper, plier = I.plier, borne = I.borne;
  var D = M.donnees;

  // ---------------------------------------------------------------- échéances
  var NOMS_MOIS = ['janvier', 'fevrier', 'mars', 'avril', 'mai', 'juin', 'juillet', 'aout', 'septembre', 'octobre', 'novembre', 'decembre'];
  var JOURS = { lundi: 1, mardi: 2, mercredi: 3, jeudi: 4, vendredi: 5, samedi: 6, dimanche: 0 };
  var NOMBRES = { un: 1, une: 1, deux: 2, trois: 3, quatre: 4, cinq: 5, six: 6, sept: 7, huit: 8, neuf: 9, dix: 10, onze: 11, douze: 12, quinze: 15, vingt: 20, trente: 30 };
  var RE_FLOU = /\b(?:a definir|a fixer|non definie?|non datee?|aucune|inconnue?|tbd|plus tard|on verra|un jour|bientot|prochainement)\b/;
  var MOIS_RE = '(' + NOMS_MOIS.join('|') + ')';

  function date(a, m, j) { var d = new Date(a, m, j, 12, 0, 0, 0); return d.getMonth() === ((m % 12) + 12) % 12 && d.getDate() === j ? d : null; }
  function plus(d, n) { return new Date(d.getFullYear(), d.getMonth(), d.getDate() + n, 12); }
  function finDeMois(a, m) { return new Date(a, m + 1, 0, 12); }
  function lundiDe(d) { return plus(d, -((d.getDay() + 6) % 7)); }
  function valeurNombre(t) { return /^\d+$/.test(t) ? Number(t) : (NOMBRES[t] || null); }
  // Jour du mois sans mois : ce mois-ci s'il n'est pas passé, sinon le suivant (le premier mois où il existe).
  function prochainJourDuMois(ref, j) {
    for (var k = 0; k < 3; k++) {
      var d = date(ref.getFullYear(), ref.getMonth() + k, j);
      if (d && (k > 0 || j >= ref.getDate())) return d;
      if (!d && k === 0 && j < ref.getDate()) continue;
    }
    return null;
  }
  function jourMois(ref, j, m, a) {
    if (a !== undefined && a !== null) { if (a < 100) a += 2000; return date(a, m, j); }
    var d = date(ref.getFullYear(), m, j);
    if (d && d < new Date(ref.getFullYear(), ref.getMonth(), ref.getDate(), 0)) d = date(ref.getFullYear() + 1, m, j);
    return d;
  }
  // Date d'un texte parlé (« Rappeler jeudi 11 h », « fin du mois », « le 12 »,
  // « dans 3 jours ») par rapport à une date de référence ; null quand le texte ne
  // nomme pas de jour précis. Jamais de date inventée.
  function resoudre(t, ref) {
    var p = plier(t).replace(/(\d)(er)\b/g, '$1');
    if (!p) return null;
    if (RE_FLOU.test(p) && !/\d/.test(p)) return null;
    var m;
    if ((m = /\b(\d{4})-(\d{2})-(\d{2})\b/.exec(p))) return date(+m[1], +m[2] - 1, +m[3]);
    if ((m = /\b(\d{1,2})[\/.](\d{1,2})(?:[\/.](\d{2,4}))?\b/.exec(p))) return jourMois(ref, +m[1], +m[2] - 1, m[3] ? +m[3] : null);
    if ((m = new RegExp('\\b(\\d{1,2}|premier) ' + MOIS_RE + '(?: (\\d{4}))?\\b').exec(p))) return jourMois(ref, m[1] === 'premier' ? 1 : +m[1], NOMS_MOIS.indexOf(m[2]), m[3] ? +m[3] : null);
    if ((m = new RegExp('\\b(debut|mi|fin)[- ](?:de |d\'|du mois de )?' + MOIS_RE + '\\b').exec(p))) {
      var mo = NOMS_MOIS.indexOf(m[2]);
      var jr = m[1] === 'debut' ? 1 : m[1] === 'mi' ? 15 : finDeMois(ref.getFullYear(), mo).getDate();
      return jourMois(ref, jr, mo, null);
    }
    if (/\bapres-?demain\b/.test(p) || /\bapres demain\b/.test(p)) return plus(ref, 2);
    if (/\bdemain\b/.test(p)) return plus(ref, 1);
    if (/\b(?:aujourd'hui|ce soir|cet apres-midi|ce matin|tout a l'heure|dans la journee|ce midi)\b/.test(p)) return plus(ref, 0);
    if (/\bdans (?:une |la )?quinzaine\b/.test(p)) return plus(ref, 14);
    if ((m = /\bdans (\d+|une?|deux|trois|quatre|cinq|six|sept|huit|neuf|dix|quinze|vingt|trente) (jours?|semaines?|mois)\b/.exec(p))) {
      var n = valeurNombre(m[1]);
      if (n === null) return null;
      if (/^jour/.test(m[2])) return plus(ref, n === 8 ? 7 : n === 15 ? 14 : n);
      if (/^semaine/.test(m[2])) return plus(ref, 7 * n);
      var dm = date(ref.getFullYear(), ref.getMonth() + n, ref.getDate());
      return dm || finDeMois(ref.getFullYear(), ref.getMonth() + n);
    }
    if ((m = /\b(?:le |ce )?(lundi|mardi|mercredi|jeudi|vendredi|samedi|dimanche)\b(?: (\d{1,2})\b(?! ?(?:h\b|heures?|:|h\d)))?/.exec(p))) {
      if (m[2]) return prochainJourDuMois(ref, +m[2]);
      var cible = JOURS[m[1]];
      if (/\bsemaine prochaine\b/.test(p)) return plus(lundiDe(ref), 7 + ((cible + 6) % 7));
      // « jeudi en huit » : le jeudi qui suit le prochain ; « en quinze » : deux semaines après.
      var en = new RegExp('\\b' + m[1] + ' en (huit|quinze)\\b').exec(p);
      if (en) { var e0 = (cible - ref.getDay() + 7) % 7 || 7; return plus(ref, e0 + (en[1] === 'huit' ? 7 : 14)); }
      var ecart = (cible - ref.getDay() + 7) % 7;
      var ce = new RegExp('\\bce ' + m[1] + '\\b').test(p);
      if (ecart === 0 && !ce) ecart = 7;
      return plus(ref, ecart);
    }
    if ((m = /\b(?:le |au |d'ici le )(\d{1,2}|premier)\b(?! ?(?:h|heures?|min|minutes?|%|jours?|semaines?|mois|ans?|euros?|€|k))/.exec(p))) return prochainJourDuMois(ref, m[1] === 'premier' ? 1 : +m[1]);
    if (/\bfin (?:du |de |de ce )?mois prochain\b/.test(p)) return finDeMois(ref.getFullYear(), ref.getMonth() + 1);
    if (/\bfin (?:du |de |de ce )?mois\b/.test(p)) return finDeMois(ref.getFullYear(), ref.getMonth());
    if (/\b(?:debut (?:du |de )?)?mois prochain\b/.test(p)) return new Date(ref.getFullYear(), ref.getMonth() + 1, 1, 12);
    if (/\bfin (?:de (?:la )?)?semaine prochaine\b/.test(p)) return plus(lundiDe(ref), 11);
    if (/\bfin (?:de (?:la )?)?semaine\b/.test(p)) { var v = plus(lundiDe(ref), 4); return v < new Date(ref.getFullYear(), ref.getMonth(), ref.getDate(), 0) ? plus(v, 7) : v; }
    if (/\b(?:(?:la|en|debut de) )?semaine prochaine\b/.test(p)) return plus(lundiDe(ref), 7);
    if (/\bcette semaine\b/.test(p)) { var f = plus(lundiDe(ref), 4); return f < new Date(ref.getFullYear(), ref.getMonth(), ref.getDate(), 0) ? plus(ref, 0) : f; }
    if (/\bfin (?:de l'|d')annee\b/.test(p)) return new Date(ref.getFullYear(), 11, 31, 12);
    return null;
  }
  M.resoudreEcheance = function (texteArg, referenceArg) {
    var o = lire(texteArg, null);
    var t = estObjet(o) ? texte(o.texte || o.echeance) : texte(texteArg);
    var ref = I.dateRef(referenceArg !== undefined && referenceArg !== null ? referenceArg : (estObjet(o) ? o.reference : undefined));
    var d = resoudre(t, ref);
    return d ? I.jour(d) : null;
  };

  // ---------------------------------------------------------------- registre tu / vous
  var RE_TU = /\b(?:tu|toi|ton|ta|tes|te)\b|\bt'(?=[a-z])/g;
  var RE_VOUS = /\b(?:vous|votre|vos)\b/g;
  function compte(re, p) { re.lastIndex = 0; var n = 0; while (re.exec(p) !== null) n++; return n; }
  function detecter(segs) {
    var tuV = 0, vousV = 0, tuP = 0, vousP = 0, premier = null, extrait = '';
    for (var i = 0; i < segs.length; i++) {
      var p = plier(segs[i].texte);
      var t = compte(RE_TU, p), v = compte(RE_VOUS, p);
      if (segs[i].locuteur === 'vous') { tuV += t; vousV += v; } else { tuP += t; vousP += v; }
      if (t && premier === null) { premier = segs[i].debutMs; extrait = segs[i].texte; }
    }
    if (tuV + tuP + vousV + vousP === 0) return { registre: 'vous', confiance: 0, raison: 'Aucune forme d\'adresse repérée.', sansObjet: true };
    var tu = tuV + 0.8 * tuP, vous = vousV + 0.5 * vousP;
    if (tu >= 1 && tu >= 0.5 * vous) {
      var ct = Math.round(Math.min(0.95, (tu / (tu + vous)) * Math.min(1, (tuV + tuP) / 4)) * 100) / 100;
      return { registre: 'tu', confiance: ct, raison: 'Tutoiement repéré : « ' + couper(extrait, 80) + ' »', depuisMs: premier || 0 };
    }
    var cv = Math.round(Math.min(0.95, (vous / (tu + vous)) * Math.min(1, (vousV + vousP) / 4)) * 100) / 100;
    return { registre: 'vous', confiance: cv, raison: 'Vouvoiement (' + (vousV + vousP) + ' formes repérées).' };
  }
  // Registre d'un appel, d'un transcript ou d'une phrase du commercial : {registre, confiance, raison, depuisMs?, sansObjet?}.
  M.detecterRegistre = function (entree) {
    var o = lire(entree, null);
    if (o === null && typeof entree === 'string') return json(detecter([{ locuteur: 'vous', texte: texte(entree), debutMs: 0 }]));
    if (typeof o === 'string') return json(detecter([{ locuteur: 'vous', texte: o, debutMs: 0 }]));
    if (estObjet(o) && o.transcript === undefined && o.texte !== undefined) return json(detecter([{ locuteur: o.locuteur === 'prospect' ? 'prospect' : 'vous', texte: texte(o.texte), debutMs: entier(o.debutMs, 0) }]));
    return json(detecter(I.segments(o)));
  };
  function registreContact(v) { var o = lire(v, v); return estObjet(o) ? o : {}; }
  // Fusionne une détection dans le registre du contact. Le choix explicite (force) n'est jamais remplacé ;
  // on passe au tutoiement sur un indice net, on ne revient au vouvoiement que sur un indice fort.
  M.fusionnerRegistre = function (contactArg, detectionArg, optionsArg) {
    var c = JSON.parse(JSON.stringify(registreContact(contactArg)));
    var d = objet(detectionArg), o = objet(optionsArg);
    var vide = !Object.keys(c).length;
    if (d.sansObjet === true || (d.registre !== 'tu' && d.registre !== 'vous') || texte(c.force)) return json(vide ? null : c);
    var conf = borne(nombre(d.confiance, 0), 0, 1);
    var le = texte(o.le) || new Date().toISOString();
    var trace = function (x) { x.le = le; if (texte(o.appelId)) x.appelId = texte(o.appelId); return x; };
    if (!texte(c.valeur)) return json(conf > 0 ? trace({ valeur: d.registre, confiance: conf }) : (vide ? null : c));
    var actuelle = borne(nombre(c.confiance, 0.5), 0, 1);
    if (c.valeur === d.registre) { c.confiance = Math.round(Math.min(0.99, Math.max(actuelle, conf) + 0.05) * 100) / 100; return json(trace(c)); }
    var seuil = d.registre === 'tu' ? 0.5 : 0.8;
    if (conf >= seuil) return json(trace({ valeur: d.registre, confiance: conf }));
    c.confiance = Math.round(Math.max(0, actuelle - 0.1) * 100) / 100;
    return json(c);
  };
  function libelle(v) { return v === 'tu' ? 'Tutoiement' : v === 'vous' ? 'Vouvoiement' : ''; }
  M.libelleRegistre = function (v) { var o = lire(v, v); return libelle(estObjet(o) ? texte(o.valeur || o.registre) : texte(o)); };
  // Registre en vigueur : choix de l'utilisateur pour l'appel, puis choix sur la fiche, puis
  // détection de l'appel, puis historique du contact, sinon le vouvoiement par défaut.
  M.choisirRegistre = function (contactArg, detectionArg, choixArg) {
    var c = registreContact(contactArg), d = objet(detectionArg);
    var choix = texte(lire(choixArg, choixArg)).trim();
    var r;
    if (choix === 'tu' || choix === 'vous') r = { valeur: choix, source: 'choix', confiance: 1, detail: 'Choisi pour cet appel.' };
    else if (texte(c.force) === 'tu' || texte(c.force) === 'vous') r = { valeur: texte(c.force), source: 'contact', confiance: 1, detail: 'Choisi sur la fiche du contact.' };
    else if ((d.registre === 'tu' || d.registre === 'vous') && d.sansObjet !== true && nombre(d.confiance, 0) >= 0.5) r = { valeur: d.registre, source: 'detection', confiance: nombre(d.confiance, 0), detail: 'Repéré dans cet appel. ' + texte(d.raison) };
    else if (texte(c.valeur) === 'tu' || texte(c.valeur) === 'vous') r = { valeur: texte(c.valeur), source: 'historique', confiance: nombre(c.confiance, 0.5), detail: 'Repéré lors des appels précédents.' };
    else r = { valeur: 'vous', source: 'defaut', confiance: 0, detail: 'Par défaut, tant qu\'aucun tutoiement n\'est repéré.' };
    r.libelle = libelle(r.valeur);
    r.choix = choix === 'tu' || choix === 'vous' ? choix : 'auto';
    return json(r);
  };

  // ---------------------------------------------------------------- phases
  var RANG = I.RANG_PHASE;
  function phaseDeLEtape(e) { return D.PHASES_ETAPE[texte(e)] || ''; }
  M.phaseEtape = function (entree) {
    var o = lire(entree, entree);
    if (estObjet(o)) {
      if (RANG[texte(o.phase)] !== undefined) return texte(o.phase);
      return phaseDeLEtape(o.etape || o.id) || 'decouverte';
    }
    return phaseDeLEtape(o) || 'decouverte';
  };
  var SIGNAUX = [
    { phase: 'closing', re: /\b(?:bon de commande|je signe|on signe|signer|signature|le contrat|demarrer le|date de demarrage)\b/ },
    { phase: 'negociation', re: /\b(?:remise|reduction|geste commercial|conditions|tarif|engagement sur|moins cher)\b/ },
    { phase: 'demo', re: /\b(?:je vous montre|je partage mon ecran|la demo|vous voyez a l'ecran|je te montre)\b/ }
  ];
  // Phase de l'affaire : celle de l'étape du contact, avancée par les signaux du
  // transcript ; jamais en dessous du type de l'appel.
  M.phaseDeduite = function (entree) {
    var o = lire(entree, entree);
    if (typeof o === 'string') return phaseDeLEtape(o) || 'decouverte';
    if (!estObjet(o)) return 'decouverte';
    var contact = estObjet(o.contact) ? o.contact : (o.etape !== undefined ? o : null);
    var type = texte(o.type);
    var phase = (contact && phaseDeLEtape(contact.etape)) || (RANG[type] !== undefined ? type : 'decouverte');
    var segs = I.segments(o.transcript !== undefined ? o.transcript : []);
    var recents = segs.slice(-12);
    for (var k = 0; k < SIGNAUX.length; k++) {
      var vu = recents.some(function (s) { return SIGNAUX[k].re.test(plier(s.texte)); });
      if (vu && RANG[SIGNAUX[k].phase] > RANG[phase]) { phase = SIGNAUX[k].phase; break; }
    }
    if (RANG[type] !== undefined && RANG[type] >= RANG[phase]) phase = type;
    return phase;
  };



})(Moteur);

