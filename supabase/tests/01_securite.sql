-- Row-level security, privileges and isolation between two accounts through the tables.
begin;
\ir outils/banc.psql
select plan(51);

-- Every table of the exposed schema has row-level security enabled.
select is((select count(*)::int from pg_tables where schemaname = 'public' and not rowsecurity), 0,
          'row-level security is enabled on every public table');
select ok((select count(*) from pg_tables where schemaname = 'public') >= 12, 'the public tables exist');

-- Procedures: owner's rights, empty search_path, callable by signed-in accounts only.
select is((select count(*)::int from pg_proc p join pg_namespace n on n.oid = p.pronamespace
            where n.nspname in ('public', 'prive') and p.prosecdef
              and not exists (select 1 from pg_depend d where d.objid = p.oid and d.deptype = 'e')
              and not coalesce(p.proconfig @> array['search_path=""'], false)), 0,
          'every security definer procedure has an empty search_path');
select ok(has_function_privilege('authenticated', 'public.' || f, 'execute'), 'authenticated may call ' || f)
  from unnest(array['mon_compte()', 'mon_equipe()', 'accepter_invitation(text)', 'refuser_invitation(text)',
                    'serveur_maintenant()', 'synchroniser(text,jsonb,jsonb)']) f;
select ok(not has_function_privilege('anon', 'public.' || f, 'execute'), 'anon may not call ' || f)
  from unnest(array['mon_compte()', 'mon_equipe()', 'accepter_invitation(text)', 'refuser_invitation(text)',
                    'serveur_maintenant()', 'synchroniser(text,jsonb,jsonb)']) f;
select ok(not has_function_privilege('public', 'public.synchroniser(text,jsonb,jsonb)', 'execute'),
          'public may not call synchroniser');
select ok(not has_table_privilege('anon', 'public.' || t, 'select'), 'anon may not read ' || t)
  from unnest(array['contacts', 'appels', 'comptes', 'membres', 'invitations']) t;

-- A new authentication user gets an account row from the trigger.
select banc.utilisateur('a@securite.test', 'Alice') as a \gset
select banc.utilisateur('b@securite.test', 'Bruno') as b \gset
select is((select nom from public.comptes where id = :'a'), 'Alice', 'the account row is created with its name');

insert into public.contacts (compte_id, id, donnees, maj_le)
values (:'a', 'c1', '{"id": "c1", "nom": "Durand"}', '2026-03-01T10:00:00Z');
insert into public.appels (compte_id, id, donnees, maj_le)
values (:'a', 'ap1', '{"id": "ap1"}', '2026-03-01T10:00:00Z');
select ok((select curseur from public.contacts where id = 'c1') is not null, 'a write draws a cursor value');

-- B through the tables: reads nothing of A, changes nothing, deletes nothing.
select banc.comme(:'b');
select is((select count(*)::int from public.contacts), 0, 'B reads none of A''s contacts');
select is((select count(*)::int from public.appels), 0, 'B reads none of A''s calls');
select is((select count(*)::int from public.comptes where id = :'a'), 0, 'B does not read A''s account');
update public.contacts set donnees = '{"id": "c1", "nom": "Pirate"}' where id = 'c1';
delete from public.contacts where id = 'c1';
delete from public.appels where id = 'ap1';
select throws_ok($$insert into public.contacts (compte_id, id, donnees, maj_le)
                   values ('$$ || :'a' || $$', 'c2', '{"id": "c2"}', now())$$,
                 '42501', null, 'B cannot write a row in A''s name');
insert into public.contacts (id, donnees, maj_le) values ('c1', '{"id": "c1", "nom": "Moi"}', now());
select throws_ok($$update public.contacts set compte_id = '$$ || :'a' || $$'$$,
                 '42501', null, 'B cannot hand a row over to A');
select is((select count(*)::int from public.contacts), 1, 'B writes its own row under the same id');
select throws_ok($$update public.comptes set role = 'admin'$$, '42501', null, 'B cannot change its account role');
select banc.moi();
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a' and id = 'c1'), 'Durand',
          'A''s contact is unchanged');
select is((select count(*)::int from public.appels where compte_id = :'a'), 1, 'A''s call is still there');
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'b' and id = 'c1'), 'Moi',
          'B''s row is its own');

-- A through the tables sees its own rows only.
select banc.comme(:'a');
select is((select count(*)::int from public.contacts), 1, 'A reads its own contact only');
select is((select donnees ->> 'nom' from public.contacts), 'Durand', 'A reads its own version');
update public.contacts set donnees = '{"id": "c1", "nom": "Durand-Martin"}' where id = 'c1';
select banc.moi();
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a'), 'Durand-Martin', 'A changes its own row');
select ok((select curseur from public.contacts where compte_id = :'a') >
          (select curseur from public.contacts where compte_id = :'b'), 'a change draws a later cursor value');

-- Anonymous requests: no table, no procedure.
select banc.anonyme();
select throws_ok('select count(*) from public.contacts', '42501', null, 'anon cannot read contacts');
select throws_ok('select public.mon_compte()', '42501', null, 'anon cannot call mon_compte');
select throws_ok('select public.synchroniser(null, null, null)', '42501', null, 'anon cannot call synchroniser');
select banc.moi();

-- A signed-in role without a user in its claims is refused by the procedures themselves.
set local role authenticated;
select set_config('request.jwt.claims', '{"role": "authenticated"}', true) is not null as reglage \gset
select throws_ok('select public.mon_compte()', '42501', 'Connectez-vous pour continuer.', 'no user, no account');
select throws_ok('select public.synchroniser(null, null, null)', '42501', null, 'no user, no synchronisation');
reset role;

-- Team visibility through the tables: managers read members' calls; members share frameworks and objections.
select banc.utilisateur('m@securite.test') as m \gset
select banc.utilisateur('k@securite.test') as k \gset
select banc.equipe('Équipe', :'m') as o \gset
select banc.rejoindre(:'o', :'k', 'commercial');
select banc.rejoindre(:'o', :'a', 'commercial');
insert into public.frameworks (compte_id, id, donnees, maj_le) values (:'m', 'f1', '{"id": "f1"}', now());
insert into public.objections_lib (compte_id, id, donnees, maj_le) values (:'m', 'o1', '{"id": "o1"}', now());
select banc.comme(:'m');
select is((select count(*)::int from public.appels where compte_id = :'a'), 1, 'the manager reads a member''s call');
select is((select count(*)::int from public.contacts where compte_id = :'a'), 0, 'the manager does not read a member''s contacts');
select is((select count(*)::int from public.membres), 3, 'the manager reads the team''s members');
select banc.comme(:'k');
select is((select count(*)::int from public.appels), 0, 'a salesperson does not read a colleague''s calls');
select is((select count(*)::int from public.frameworks), 1, 'a salesperson reads the team''s framework');
select is((select count(*)::int from public.objections_lib), 1, 'a salesperson reads the team''s objection library');
update public.frameworks set donnees = '{"id": "f1", "nom": "changé"}';
select banc.moi();
select is((select donnees ->> 'nom' from public.frameworks where id = 'f1'), null, 'a salesperson cannot change a shared framework');
select banc.comme(:'b');
select is((select count(*)::int from public.frameworks), 0, 'an outsider does not read the team''s framework');
select is((select count(*)::int from public.membres), 0, 'an outsider does not read the team''s members');
select banc.moi();

select * from finish();
rollback;
