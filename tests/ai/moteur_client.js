// Small engine script for the language-model client's tests, used while the
// shipped script is absent: the functions the client calls, same contract.
var Moteur = (function () {
  'use strict';
  var M = {};
  var LIVE = { objection: 1, questions: 1, recap: 1, libre: 1 };
  M.donnees = { TACHES_LIVE: ['objection', 'questions', 'recap', 'libre'] };
  function famille(m) { m = String(m || '').toLowerCase(); return m.indexOf('haiku') >= 0 ? 'haiku' : m.indexOf('opus') >= 0 ? 'opus' : m.indexOf('sonnet') >= 0 ? 'sonnet' : ''; }
  M.repliSupporte = function (modele) { var f = famille(modele); return f === 'opus' || f === 'sonnet'; };
  M.effortSupporte = function (modele) { return famille(modele) === 'opus'; };
  M.erreurDeFormat = function (message) { return /output_config\.format/.test(String(message)) && /not supported/.test(String(message)); };
  M.requete = function (tache, payloadTexte, modele) {
    var p = JSON.parse(payloadTexte || '{}');
    if (!LIVE[tache] && tache !== 'analyse') throw new Error('Tâche inconnue : ' + tache + '.');
    var corps = { model: modele || 'claude-haiku-4-5', max_tokens: LIVE[tache] ? 700 : 16000,
                  system: 'Vous êtes Quillo.', messages: [{ role: 'user', content: JSON.stringify(p) }] };
    if (LIVE[tache]) corps.output_config = { format: { type: 'json_schema', schema: { type: 'object' } } };
    return JSON.stringify({ corps: corps, effort: null, maxTokens: corps.max_tokens });
  };
  M.reponseDemo = function (tache, payloadTexte) {
    if (tache === 'objection') return JSON.stringify({ reponse: 'Je comprends, comparons le coût de l\'inaction.' });
    return '';
  };
  return M;
})();
