-- Framework question proposals: a member proposes, a manager accepts (the
-- question joins the step of the synchronised framework) or refuses.
begin;
\ir outils/banc.psql
select plan(17);

select banc.utilisateur('g@prop.test', 'Gaëlle') as g \gset
select banc.utilisateur('a@prop.test', 'Alain') as a \gset
select banc.utilisateur('x@prop.test', 'Xavier') as x \gset
select banc.equipe('Propositions', :'g') as o \gset
select banc.rejoindre(:'o', :'a', 'commercial');
select banc.equipe('Ailleurs', :'x') as ox \gset
insert into public.frameworks (compte_id, id, donnees, maj_le) values
  (:'g', 'fw', '{"id": "fw", "nom": "Cycle", "majLe": "2026-03-01T09:00:00.000Z",
                 "etapes": [{"id": "decouverte", "questions": ["Comment faites-vous aujourd''hui ?"]},
                            {"id": "closing", "questions": ["q1", "q2", "q3", "q4", "q5", "q6", "q7", "q8"]}]}',
   '2026-03-01T09:00:00Z'),
  (:'x', 'fw-x', '{"id": "fw-x", "etapes": [{"id": "e1"}]}', now());
insert into public.appels (compte_id, id, donnees, maj_le) values (:'a', 'ap-a', '{"id": "ap-a"}', now());
create function pg_temp.indice(p_sql text) returns text language plpgsql as $$
declare h text; e text;
begin
  execute p_sql;
  return null;
exception when others then
  get stacked diagnostics h = pg_exception_hint, e = returned_sqlstate;
  return e || ':' || coalesce(h, '');
end $$;

select banc.comme(:'a');
select public.proposer_question_framework('fw', 'decouverte', ' Qui d''autre décide ? ', 'ap-a') as p1 \gset
select public.proposer_question_framework('fw', 'closing', 'On signe quand ?', null) as p2 \gset
select is((:'p1'::jsonb) - 'id' - 'cree_le', jsonb_build_object('framework_id', 'fw', 'etape_id', 'decouverte',
          'question', 'Qui d''autre décide ?', 'appel_id', 'ap-a', 'auteur_id', :'a', 'auteur_nom', 'Alain',
          'statut', 'en_attente', 'decide_le', null), 'a member proposes a question from a call');
select is(public.proposer_question_framework('fw', 'decouverte', 'qui d''autre décide ?') ->> 'id', (:'p1'::jsonb) ->> 'id',
          'the same question waiting is not proposed twice');
select is(pg_temp.indice($$select public.proposer_question_framework('fw', 'decouverte', 'comment faites-vous aujourd''hui ?')$$),
          'P0001:question_existante', 'a question already in the step');
select is(pg_temp.indice($$select public.proposer_question_framework('fw', 'inconnue', 'Et alors ?')$$),
          'P0001:etape_introuvable', 'an unknown step');
select is(pg_temp.indice($$select public.proposer_question_framework('fw-x', 'e1', 'Et alors ?')$$),
          'P0001:framework_introuvable', 'another team''s framework');
select is(jsonb_array_length(public.propositions_framework()), 2, 'a member lists their own waiting proposals');
select is(pg_temp.indice(format('select public.decider_proposition_framework(%L, true)', (:'p1'::jsonb) ->> 'id')),
          '42501:action_interdite', 'a member cannot decide');
select banc.comme(:'x');
select is(public.propositions_framework(), '[]'::jsonb, 'another team sees none');
select is(pg_temp.indice(format('select public.decider_proposition_framework(%L, true)', (:'p1'::jsonb) ->> 'id')),
          'P0001:proposition_introuvable', 'nor decides ours');
select is((select count(*)::int from public.propositions_framework), 0, 'nor reads them through the table');

select banc.comme(:'g');
select is(jsonb_array_length(public.propositions_framework()), 2, 'the manager lists the team''s waiting proposals');
select is(public.decider_proposition_framework((:'p1'::jsonb) ->> 'id', true) ->> 'statut', 'acceptee', 'accepted');
select banc.moi();
select is((select donnees #> '{etapes,0,questions}' from public.frameworks where id = 'fw'),
          '["Comment faites-vous aujourd''hui ?", "Qui d''autre décide ?"]'::jsonb, 'the question joins the step');
select ok((select maj_le > '2026-03-01T09:00:00Z' and prive.instant(donnees ->> 'majLe') = maj_le
             from public.frameworks where id = 'fw'), 'as a new change of the framework');
select banc.comme(:'g');
select is(pg_temp.indice(format('select public.decider_proposition_framework(%L, false)', (:'p1'::jsonb) ->> 'id')),
          'P0001:deja_traitee', 'a proposal is decided once');
select is(pg_temp.indice(format('select public.decider_proposition_framework(%L, true)', (:'p2'::jsonb) ->> 'id')),
          'P0001:etape_complete', 'a step with 8 questions takes no more');
select is(public.decider_proposition_framework((:'p2'::jsonb) ->> 'id', false) ->> 'statut', 'refusee', 'it can be refused');
select banc.moi();

select * from finish();
rollback;
