// Script used by the host tests: every kind of value, failure and data key.
var appelsPhase = 0;
var Moteur = {
  donnees: { TYPES_APPEL: [], ETAPES: "pas une liste", MODELES: [{ id: "m1", libelle: "Un", description: "Le seul" }], LANGUES: null,
             PHASES_ETAPE: { nouveau: "prospection" } },
  rien: function () { return undefined; },
  texte: function () { return "bonjour"; },
  nombre: function () { return 42.5; },
  nonNombre: function () { return NaN; },
  scoreExpress: function () { return "78"; },
  vrai: function () { return true; },
  objet: function () { return { a: 1 }; },
  jsonValide: function () { return JSON.stringify({ cle: "é/è", n: [1, 2] }); },
  pasJson: function () { return "ceci n'est pas du JSON"; },
  vide: function () { return ""; },
  echo: function (a, b, c, d, e) { return JSON.stringify([typeof a, a, typeof b, b, typeof c, c, typeof d, d, e === null]); },
  leveErreur: function () { throw new Error("Message clair"); },
  leveUndefined: function () { throw new Error("undefined"); },
  leveTexte: function () { throw "texte brut"; },
  leveObjetVide: function () { throw { message: "" }; },
  leveMaison: function () { throw { message: "undefined", toString: function () { return "Erreur maison"; } }; },
  changerDonnees: function () { Moteur.donnees.MODELES = [{ id: "m2" }]; return true; },
  phaseDeduite: function (x) { appelsPhase++; return "phase:" + x; },
  compteurPhases: function () { return appelsPhase; }
};
