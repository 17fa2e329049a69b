-- Weekly objectives and the team ranking, on a small fixed set of calls:
-- the week's bounds in Paris time, each member's measure, who may set them.
begin;
\ir outils/banc.psql
select plan(31);

select banc.utilisateur('g@obj.test', 'Gaëlle') as g \gset
select banc.utilisateur('a@obj.test', 'Alain') as a \gset
select banc.utilisateur('b@obj.test', 'Béa') as b \gset
select banc.utilisateur('x@obj.test', 'Xavier') as x \gset
select banc.equipe('Objectifs', :'g') as o \gset
select banc.rejoindre(:'o', :'a', 'commercial');
select banc.rejoindre(:'o', :'b', 'commercial');
select banc.equipe('Ailleurs', :'x') as ox \gset
create function pg_temp.appel(p_compte uuid, p_id text, p_debut text, p_score int, p_part int, p_questions int,
                              p_statut text default 'analyse') returns void language sql as $$
  insert into public.appels (compte_id, id, donnees, maj_le) values (p_compte, p_id, jsonb_build_object(
    'id', p_id, 'debut', p_debut, 'statut', p_statut, 'duree', 600,
    'analyse', jsonb_build_object('score', p_score, 'dimensions', jsonb_build_object('decouverte', jsonb_build_object('score', p_score - 10))),
    'metriques', jsonb_build_object('partVous', p_part, 'questionsVous', p_questions)), now())
$$;
create function pg_temp.indice(p_sql text) returns text language plpgsql as $$
declare h text; e text;
begin
  execute p_sql;
  return null;
exception when others then
  get stacked diagnostics h = pg_exception_hint, e = returned_sqlstate;
  return e || ':' || coalesce(h, '');
end $$;

-- The week of Monday 2 March 2026, Paris time (UTC+1).
select pg_temp.appel(:'a', 'a1', '2026-03-02T08:00:00.000Z', 80, 40, 6);
select pg_temp.appel(:'a', 'a2', '2026-03-08T22:30:00Z', 60, 50, 4);          -- Sunday 23:30 in Paris
select pg_temp.appel(:'a', 'a3', '2026-03-08T23:30:00Z', 10, 90, 0);          -- Monday 00:30 in Paris: next week
select pg_temp.appel(:'a', 'a4', '2026-03-04T10:00:00Z', 10, 90, 0, 'en_cours');
select pg_temp.appel(:'b', 'b1', '2026-03-03T10:00:00+01:00', 90, 30, 8);
select pg_temp.appel(:'x', 'x1', '2026-03-03T10:00:00Z', 100, 10, 20);
insert into public.appels (compte_id, id, donnees, maj_le, cree_le)
values (:'a', 'a5', '{"id": "a5", "debut": "2026-02-30T10:00:00Z"}', now(), '2026-01-10T10:00:00Z');
select is((select count(*)::int from prive.appels_periode(array[:'a'::uuid], '2026-01-10T00:00:00Z', '2026-01-11T00:00:00Z')), 1,
          'a call with an impossible start is stored and dated by its creation');

select banc.comme(:'g');
select public.fixer_objectif('{"type": "questions_par_appel", "cible": 5, "semaine": "2026-03-04"}') as q \gset
select public.fixer_objectif(jsonb_build_object('type', 'part_parole_max', 'cible', 45, 'compte_id', :'a', 'semaine', '2026-03-02')) as p \gset
select public.fixer_objectif('{"type": "appels_semaine", "cible": 2, "semaine": "2026-03-08"}') as n \gset
select is((:'q'::jsonb) ->> 'libelle', 'Poser 5 questions par appel', 'the label of a questions objective');
select is((:'q'::jsonb) ->> 'semaine', '2026-03-02', 'any day of the week gives its Monday');
select is((:'p'::jsonb) ->> 'libelle', 'Parler au plus 45 % du temps', 'the label of a talk-share objective');
select is((:'p'::jsonb) ->> 'compte_nom', 'Alain', 'a member''s objective names the member');
select is(public.fixer_objectif('{"type": "competence", "competence": "decouverte", "cible": 62.5, "semaine": "2026-03-02"}') ->> 'libelle',
          'Découverte : score d''au moins 62,5', 'the label of a skill objective');
select is(pg_temp.indice($$select public.fixer_objectif('{"type": "vitesse", "cible": 5}')$$), '22023:', 'an unknown type is refused');
select is(pg_temp.indice($$select public.fixer_objectif('{"type": "appels_semaine", "cible": 2.5}')$$), '22023:',
          'a fractional number of calls is refused');
select is(pg_temp.indice(format('select public.fixer_objectif(%L)', jsonb_build_object('type', 'score_moyen', 'cible', 60, 'compte_id', :'x'))),
          'P0001:membre_introuvable', 'an objective for someone outside the team is refused');
select banc.moi();

select banc.comme(:'a');
select public.objectifs_semaine('2026-03-05') as s \gset
select is((:'s'::jsonb) ->> 'debut', '2026-03-01T23:00:00.000Z', 'the week starts on Monday at midnight in Paris');
select is((:'s'::jsonb) ->> 'gestionnaire', 'false', 'a salesperson does not manage objectives');
select is(jsonb_path_query_array(:'s'::jsonb, '$.objectifs[*].type'),
          '["questions_par_appel", "appels_semaine", "competence", "part_parole_max"]'::jsonb,
          'team objectives first, then the members''');
select is(jsonb_path_query_array(:'s'::jsonb, '$.objectifs[0].progression[*].valeur'), '[5.0, 8.0, null]'::jsonb,
          'questions per call of each member over the week''s finished calls (Sunday night in, next Monday out)');
select is(jsonb_path_query_array(:'s'::jsonb, '$.objectifs[0].progression[*].atteint'), '[true, true, false]'::jsonb,
          'reached at or above the target; no call, not reached');
select is((:'s'::jsonb) #>> '{objectifs,0,valeur_equipe}', '6.0', 'the team''s value over all its calls');
select is(jsonb_path_query_array(:'s'::jsonb, '$.objectifs[1].progression[*].appels'), '[2, 1, 0]'::jsonb,
          'calls in the week per member');
select is((:'s'::jsonb) #>> '{objectifs,1,valeur_equipe}', '3', 'the team''s calls in the week');
select is((:'s'::jsonb) #>> '{objectifs,3,progression,0,atteint}', 'true', 'a talk share of 45 % meets "at most 45 %"');
select is(pg_temp.indice($$select public.fixer_objectif('{"type": "score_moyen", "cible": 60}')$$), '42501:action_interdite',
          'a salesperson cannot set an objective');
select is(pg_temp.indice(format('select public.supprimer_objectif(%L)', (:'q'::jsonb) ->> 'id')), '42501:action_interdite',
          'nor delete one');
select banc.comme(:'x');
select is(jsonb_array_length(public.objectifs_semaine('2026-03-02') -> 'objectifs'), 0, 'another team sees none');
select is(pg_temp.indice(format('select public.fixer_objectif(%L)', jsonb_build_object('id', (:'q'::jsonb) ->> 'id', 'type', 'score_moyen', 'cible', 1))),
          'P0001:objectif_introuvable', 'nor edits ours');
select banc.comme(:'g');
select is(public.fixer_objectif(jsonb_build_object('id', (:'p'::jsonb) ->> 'id', 'type', 'part_parole_max', 'cible', 40,
                                                   'compte_id', :'a')) - 'progression' - 'valeur_equipe' - 'cree_par',
          jsonb_build_object('id', (:'p'::jsonb) ->> 'id', 'compte_id', :'a', 'compte_nom', 'Alain', 'equipe', false,
                             'type', 'part_parole_max', 'cible', 40, 'competence', null, 'libelle', 'Parler au plus 40 % du temps',
                             'semaine', '2026-03-02', 'actif', true, 'local', false),
          'editing keeps the objective and its week');
select public.supprimer_objectif((:'q'::jsonb) ->> 'id');
-- Carrying the week over: the next week gets the three remaining objectives once.
select is((public.reprendre_objectifs('2026-03-09')) ->> 'repris', '3', 'last week''s active objectives are carried over');
select is((public.reprendre_objectifs('2026-03-09')) ->> 'repris', '0', 'nothing left to carry over the second time');
select banc.comme(:'a');
select is(pg_temp.indice($$select public.reprendre_objectifs('2026-03-16')$$), '42501:action_interdite',
          'a salesperson cannot carry objectives over');
select banc.comme(:'g');
select is(pg_temp.indice(format('select public.supprimer_objectif(%L)', (:'q'::jsonb) ->> 'id')), 'P0001:objectif_introuvable',
          'an objective already deleted is missing');
select banc.moi();

-- Ranking over 30 days against the 30 days before.
select prive.instant_json(prive.debut_semaine(prive.lundi_courant()) + interval '1 second') as lundi \gset
select pg_temp.appel(:'a', 'r1', :'lundi', 70, 40, 5);
select pg_temp.appel(:'a', 'r2', banc.instant('-20 days'), 90, 40, 5);
select pg_temp.appel(:'a', 'r3', banc.instant('-40 days'), 60, 40, 5);
select pg_temp.appel(:'b', 'r4', banc.instant('-25 days'), 80, 40, 5);
select pg_temp.appel(:'x', 'r5', banc.instant('-2 days'), 100, 40, 5);
select banc.comme(:'g');
select public.fixer_objectif('{"type": "appels_semaine", "cible": 1}');
select public.classement_equipe(30) as c \gset
select is(jsonb_path_query_array(:'c'::jsonb, '$.membres[*].nom'), '["Alain", "Béa", "Gaëlle"]'::jsonb,
          'ranked by mean score, then by name; no other team');
select is(jsonb_path_query_array(:'c'::jsonb, '$.membres[*].rang'), '[1, 1, null]'::jsonb,
          'equal means share a rank; no analysed call, no rank');
select is((:'c'::jsonb) -> 'membres' -> 0, jsonb_build_object('rang', 1, 'compte_id', :'a', 'nom', 'Alain', 'role_org', 'commercial',
          'appels', 2, 'score_moyen', 80.0, 'score_moyen_precedent', 60.0, 'progression', 20.0, 'objectifs', 1,
          'objectifs_atteints', 1, 'moi', false), 'a member''s line with the previous period and this week''s objectives');
select is(pg_temp.indice('select public.classement_equipe(0)'), '22023:', 'a period of 0 days is refused');
select banc.moi();

select * from finish();
rollback;
