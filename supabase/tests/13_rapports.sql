-- The Monday report on a small fixed set of calls: the team's and each
-- member's figures, the plain summary, the written synthesis, who may do what.
begin;
\ir outils/banc.psql
select plan(20);

select banc.utilisateur('g@rapport.test', 'Gaëlle') as g \gset
select banc.utilisateur('a@rapport.test', 'Alain') as a \gset
select banc.utilisateur('b@rapport.test', 'Béa') as b \gset
select banc.utilisateur('x@rapport.test', 'Xavier') as x \gset
select banc.utilisateur('solo@rapport.test') as s \gset
select banc.equipe('Rapports', :'g') as o \gset
select banc.rejoindre(:'o', :'a', 'commercial');
select banc.rejoindre(:'o', :'b', 'commercial');
select banc.equipe('Ailleurs', :'x') as ox \gset
create function pg_temp.appel(p_compte uuid, p_id text, p_debut text, p_score int, p_part int, p_questions int, p_duree int)
returns void language sql as $$
  insert into public.appels (compte_id, id, donnees, maj_le) values (p_compte, p_id, jsonb_build_object(
    'id', p_id, 'debut', p_debut, 'duree', p_duree,
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

-- Week of 2 March 2026, and the week before.
select pg_temp.appel(:'a', 'a1', '2026-03-02T08:00:00Z', 80, 40, 6, 600);
select pg_temp.appel(:'a', 'a2', '2026-03-06T15:00:00Z', 60, 50, 4, 300);
select pg_temp.appel(:'b', 'b1', '2026-03-03T10:00:00Z', 90, 30, 8, 900);
select pg_temp.appel(:'a', 'p1', '2026-02-25T10:00:00Z', 50, 60, 2, 600);
select pg_temp.appel(:'x', 'x1', '2026-03-03T10:00:00Z', 100, 10, 20, 6000);
insert into public.appels_exemplaires (organisation_id, appel_compte_id, appel_id, epingle_par) values (:'o', :'a', 'a1', :'g');
insert into public.objectifs_equipe (organisation_id, type, cible, semaine) values (:'o', 'score_moyen', 70, '2026-03-02');

select banc.comme(:'a');
select is(pg_temp.indice($$select public.generer_rapport_equipe('2026-03-02')$$), '42501:action_interdite',
          'a salesperson cannot make the report');
select banc.comme(:'g');
select is(pg_temp.indice($$select public.generer_rapport_equipe('2099-03-02')$$), '22023:', 'a week to come has no report');
select public.generer_rapport_equipe('2026-03-04') -> 'contenu' as r \gset
select is((:'r'::jsonb) ->> 'synthese_source', 'calcul', 'without a written synthesis the source is the computation');
select is((:'r'::jsonb) ->> 'synthese',
          'Semaine du 2 mars 2026 : 3 appels, 30 min au téléphone, score moyen 76,7 (50 la semaine précédente). '
          'Temps de parole moyen des commerciaux : 40 %, 6 questions par appel. Objectifs atteints : 1 sur 1.',
          'the plain summary of the figures');
select is((:'r'::jsonb) -> 'faits_marquants',
          '["Meilleur score moyen : Béa (90).", "Plus forte progression : Alain (+20 points).", "Sans appel cette semaine : Gaëlle.", "Appels épinglés comme exemples : 1."]'::jsonb,
          'the key facts');
select is((:'r'::jsonb) -> 'equipe', '{"compte_id": null, "nom": null, "role_org": null, "membres": 3, "appels": 3,
          "duree_totale_sec": 1800, "score_moyen": 76.7, "score_moyen_precedent": 50.0, "progression": 26.7,
          "part_parole": 40.0, "questions_par_appel": 6.0, "competences": {"decouverte": 66.7}, "jetons": null,
          "appels_epingles": 1, "objectifs": 1, "objectifs_atteints": 1}'::jsonb,
          'the team''s figures: this week''s calls of its members only');
select is(jsonb_path_query_array(:'r'::jsonb, '$.par_membre[*].nom'), '["Alain", "Béa", "Gaëlle"]'::jsonb,
          'members by number of calls');
select is((:'r'::jsonb) #> '{par_membre,0}', jsonb_build_object('compte_id', :'a', 'nom', 'Alain', 'role_org', 'commercial',
          'appels', 2, 'duree_totale_sec', 900, 'score_moyen', 70.0, 'score_moyen_precedent', 50.0, 'progression', 20.0,
          'part_parole', 45.0, 'questions_par_appel', 5.0, 'competences', '{"decouverte": 60.0}'::jsonb, 'jetons', null,
          'appels_epingles', 1, 'objectifs', 1, 'objectifs_atteints', 1), 'a member''s line');
select is(((:'r'::jsonb) #> '{par_membre,2}') - 'compte_id', '{"nom": "Gaëlle", "role_org": "proprietaire", "appels": 0,
          "duree_totale_sec": 0, "score_moyen": null, "score_moyen_precedent": null, "progression": null, "part_parole": null,
          "questions_par_appel": null, "competences": {}, "jetons": null, "appels_epingles": 0, "objectifs": 1,
          "objectifs_atteints": 0}'::jsonb, 'a member without calls');
select is((:'r'::jsonb) ->> 'debut', '2026-03-01T23:00:00.000Z', 'the week''s start in Paris time');
select banc.moi();

-- Reading.
select banc.comme(:'b');
select is(jsonb_array_length(public.lire_rapports_equipe(12)), 1, 'a member reads the team''s reports');
select is(pg_temp.indice('select public.lire_rapports_equipe(0)'), '22023:', 'a limit of 0 is refused');
select banc.comme(:'x');
select is(public.lire_rapports_equipe(12), '[]'::jsonb, 'another team reads none of them');
select is((select count(*)::int from public.rapports_equipe), 0, 'nor through the table');
select banc.comme(:'s');
select is(pg_temp.indice('select public.lire_rapports_equipe(12)'), 'P0001:equipe_requise', 'an account outside a team');
select banc.moi();

-- The written synthesis, filed by the service's job, survives a new computation.
select ok(not has_function_privilege('authenticated', 'public.deposer_synthese_rapport(uuid,text,text,text)', 'execute'),
          'only the service files a written synthesis');
set local role service_role;
select public.deposer_synthese_rapport(:'o', '2026-03-02', 'Belle semaine pour Béa.', 'modele-x');
reset role;
select prive.generer_rapports_semaine('2026-03-02');
select banc.comme(:'g');
select public.lire_rapports_equipe(1) #> '{0,contenu}' as r \gset
select is((:'r'::jsonb) ->> 'synthese', 'Belle semaine pour Béa.', 'the written synthesis is kept when recomputed');
select is((:'r'::jsonb) ->> 'synthese_source', 'modele', 'with its source');
select is((:'r'::jsonb) ->> 'modele', 'modele-x', 'and its model');
select banc.comme(:'x');
select is(public.lire_rapports_equipe(1) #>> '{0,contenu,equipe,appels}', '1', 'the weekly job made each team''s own report');
select banc.moi();

select * from finish();
rollback;
