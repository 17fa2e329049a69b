-- Comments on calls and exemplary calls: who may do what, the shapes the
-- program reads, and the tables behind them closed to direct writes.
begin;
\ir outils/banc.psql
select plan(40);

-- The team procedures: signed-in accounts only (each checks the role itself).
select is(array_agg(f order by f) filter (where not has_function_privilege('authenticated', 'public.' || f, 'execute')
                                             or has_function_privilege('anon', 'public.' || f, 'execute')), null,
          'every team procedure is callable by signed-in accounts and by no anonymous request')
  from unnest(array['commentaires_recents(text,numeric)', 'lire_commentaires(text)', 'commenter_appel(text,text,numeric)',
                    'modifier_commentaire(text,text,numeric)', 'supprimer_commentaire(text)', 'lister_appels_exemplaires()',
                    'lire_appel_exemplaire(text)', 'epingler_appel(text,text)', 'desepingler_appel(text)',
                    'lire_seuils_equipe()', 'regler_seuils_equipe(numeric,numeric,numeric)',
                    'deposer_synthese_manager(text,jsonb,text)', 'lire_syntheses_manager(jsonb)', 'objectifs_semaine(text)',
                    'fixer_objectif(jsonb)', 'supprimer_objectif(text)', 'reprendre_objectifs(text)', 'classement_equipe(numeric)',
                    'lire_rapports_equipe(numeric)', 'generer_rapport_equipe(text)',
                    'proposer_question_framework(text,text,text,text)', 'propositions_framework()',
                    'decider_proposition_framework(text,boolean)']) f;
select is((select count(*)::int from pg_proc p join pg_namespace n on n.oid = p.pronamespace
            where n.nspname = 'prive' and has_function_privilege('anon', p.oid, 'execute')
              and p.proname in ('appel_visible', 'calculer_rapport', 'generer_rapports_semaine', 'appels_periode',
                                'objectif_json', 'framework_equipe')), 0, 'the private helpers are closed to anonymous requests');

select is(array_agg(t || ':' || d order by t, d), null, 'the team tables take no direct write from signed-in accounts')
  from unnest(array['commentaires_appels', 'appels_exemplaires', 'seuils_equipe', 'syntheses_manager', 'objectifs_equipe',
                    'rapports_equipe', 'propositions_framework']) t,
       unnest(array['insert', 'update', 'delete', 'truncate']) d
 where has_table_privilege('authenticated', 'public.' || t, d) or has_table_privilege('anon', 'public.' || t, 'select');

select banc.utilisateur('g@coach.test', 'Gaëlle') as g \gset
select banc.utilisateur('a@coach.test', 'Alain') as a \gset
select banc.utilisateur('b@coach.test', 'Béa') as b \gset
select banc.utilisateur('x@coach.test', 'Xavier') as x \gset
select banc.equipe('Coachs', :'g') as o \gset
select banc.rejoindre(:'o', :'a', 'commercial');
select banc.rejoindre(:'o', :'b', 'commercial');
select banc.equipe('Ailleurs', :'x') as ox \gset
insert into public.appels (compte_id, id, donnees, maj_le) values
  (:'a', 'ap-a', '{"id": "ap-a", "contactId": "c9", "type": "demo", "objectif": "Démo", "debut": "2026-03-02T09:00:00.000Z",
                   "duree": 600, "analyse": {"score": 71.6}, "transcript": [{"texte": "Bonjour"}]}', now()),
  (:'b', 'ap-b', '{"id": "ap-b"}', now()),
  (:'x', 'ap-x', '{"id": "ap-x"}', now());
create function pg_temp.indice(p_sql text) returns text language plpgsql as $$
declare h text; e text;
begin
  execute p_sql;
  return null;
exception when others then
  get stacked diagnostics h = pg_exception_hint, e = returned_sqlstate;
  return e || ':' || coalesce(h, '');
end $$;

-- The manager comments at 1:23 and on the whole call.
select banc.comme(:'g');
select public.commenter_appel('ap-a', '  Bonne reformulation ici.  ', 83000.4) as c1 \gset
select public.commenter_appel('ap-a', 'Appel solide dans l''ensemble.', null) as c2 \gset
select is((:'c1'::jsonb) ->> 't_ms', '83000', 'a timed comment keeps its moment in milliseconds');
select is((:'c1'::jsonb) ->> 'texte', 'Bonne reformulation ici.', 'the text is trimmed');
select is((:'c1'::jsonb) ->> 'auteur_nom', 'Gaëlle', 'with the author''s name');
select is((:'c2'::jsonb) -> 't_ms', 'null'::jsonb, 'a whole-call comment has no moment');
select is(jsonb_array_length(public.lire_commentaires('ap-a')), 2, 'the manager reads the call''s comments');
select is(pg_temp.indice($$select public.commenter_appel('ap-a', repeat('é', 2001), null)$$), '22023:',
          'a comment of 2,001 characters is refused');
select is(pg_temp.indice($$select public.commenter_appel('ap-a', '   ', null)$$), '22023:', 'an empty comment is refused');
select is(pg_temp.indice($$select public.commenter_appel('ap-a', 'x', -1)$$), '22023:', 'a negative moment is refused');
select ok(pg_temp.indice($$select public.commenter_appel('ap-a', repeat('é', 2000), null)$$) is null,
          'a comment of 2,000 characters is published');
select banc.moi();

-- The salesperson reads them, as unread since nothing, with the call attached.
update public.commentaires_appels set cree_le = '2026-03-02T10:00:00Z'::timestamptz + (length(texte) || ' seconds')::interval;
select banc.comme(:'a');
select public.commentaires_recents(null, 100) as r \gset
select is(jsonb_array_length(:'r'::jsonb), 3, 'recent comments on one''s own calls');
select is((:'r'::jsonb) #>> '{0,appel,type}', 'demo', 'each with its call');
select is((:'r'::jsonb) #>> '{0,appel,compte_id}', :'a', 'and the call''s owner');
select is((:'r'::jsonb) #>> '{0,modifiable}', 'false', 'a manager''s comment is not the salesperson''s to edit');
select is(jsonb_path_query_array(public.commentaires_recents('2026-03-02T10:00:24Z', 1), '$[*].texte'),
          '["Appel solide dans l''ensemble."]'::jsonb, 'a page of one after a mark, oldest first');
select is(jsonb_array_length(public.commentaires_recents(public.serveur_maintenant(), 100)), 0,
          'nothing after the server''s current time');
select is(pg_temp.indice($$select public.commentaires_recents('hier', 100)$$), '22023:', 'an unreadable mark is refused');
select is(pg_temp.indice($$select public.commentaires_recents(null, 101)$$), '22023:', 'more than 100 is refused');
select is(pg_temp.indice(format('select public.modifier_commentaire(%L, %L, null)', (:'c1'::jsonb) ->> 'id', 'Réécrit')),
          '42501:action_interdite', 'the salesperson cannot edit the manager''s comment');
select public.commenter_appel('ap-a', 'Merci !', null) as c3 \gset
select is((:'c3'::jsonb) ->> 'modifiable', 'true', 'the salesperson answers on their own call');
select banc.moi();

-- A colleague and an outsider see nothing and comment nothing.
select banc.comme(:'b');
select is(pg_temp.indice($$select public.commenter_appel('ap-a', 'Bravo', null)$$), 'P0001:appel_introuvable',
          'a salesperson cannot comment a colleague''s call');
select is(pg_temp.indice($$select public.lire_commentaires('ap-a')$$), 'P0001:appel_introuvable',
          'nor read its comments');
select is(pg_temp.indice(format('select public.supprimer_commentaire(%L)', (:'c1'::jsonb) ->> 'id')),
          'P0001:commentaire_introuvable', 'nor delete one of them');
select is((select count(*)::int from public.commentaires_appels), 0, 'the table shows a colleague nothing');
select throws_ok($$insert into public.commentaires_appels (appel_compte_id, appel_id, auteur_id, texte)
                   values ('$$ || :'a' || $$', 'ap-a', '$$ || :'b' || $$', 'Direct')$$, '42501', null,
                 'no direct write into the comments');
select banc.comme(:'x');
select is(pg_temp.indice($$select public.commenter_appel('ap-a', 'Bravo', null)$$), 'P0001:appel_introuvable',
          'another team''s manager cannot comment the call');
select banc.moi();

-- Edit and delete: the author edits; the manager also deletes the salesperson's answer.
select banc.comme(:'g');
select is(public.modifier_commentaire((:'c1'::jsonb) ->> 'id', 'Très bonne reformulation.', 84000) ->> 't_ms', '84000',
          'the author edits the text and the moment');
select public.supprimer_commentaire((:'c3'::jsonb) ->> 'id');
select is(pg_temp.indice(format('select public.supprimer_commentaire(%L)', (:'c3'::jsonb) ->> 'id')),
          'P0001:commentaire_introuvable', 'a comment already deleted is missing');
select is(pg_temp.indice($$select public.supprimer_commentaire('pas-un-id')$$), '22023:', 'an invalid id is refused');

-- Pins.
select is(public.epingler_appel('ap-a', 'Objection prix, à 12:40.') ->> 'score', '72', 'the manager pins a call');
select is(public.epingler_appel('ap-a', 'Objection prix traitée, à 12:40.') ->> 'note', 'Objection prix traitée, à 12:40.',
          'pinning again updates the note');
select banc.moi();
select banc.comme(:'b');
select public.lister_appels_exemplaires() as l \gset
select is(jsonb_array_length(:'l'::jsonb), 1, 'the whole team lists the exemplary call');
select is((:'l'::jsonb) #>> '{0,auteur_nom}', 'Alain', 'with its salesperson');
select is(public.lire_appel_exemplaire('ap-a') #>> '{appel,transcript,0,texte}', 'Bonjour',
          'a colleague reads the pinned call''s transcript');
select is(public.lire_appel_exemplaire('ap-b'), null, 'a call that is not pinned has no pin');
select is(pg_temp.indice($$select public.epingler_appel('ap-b', null)$$), '42501:action_interdite',
          'a salesperson cannot pin');
select banc.comme(:'x');
select is(public.lister_appels_exemplaires(), '[]'::jsonb, 'another team sees none of the pins');
select banc.comme(:'g');
select public.desepingler_appel('ap-a');
select is(pg_temp.indice($$select public.desepingler_appel('ap-a')$$), 'P0001:exemplaire_introuvable',
          'unpinning a call no longer pinned');
select banc.moi();

select * from finish();
rollback;
