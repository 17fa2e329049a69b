-- The pull cursor under concurrent pushes: a change whose transaction commits
-- after a later-numbered one is never skipped, and none is handed out twice.
-- Uses dblink for the second and third sessions; commits as it goes.
\ir outils/banc.psql
select plan(10);

select banc.utilisateur('c@curseur.test') as c \gset
select format('host=%s port=%s dbname=%s user=%s', split_part(current_setting('unix_socket_directories'), ',', 1),
              current_setting('port'), current_database(), current_user) as cnx \gset
create function pg_temp.pousser(p_session text, p_compte uuid, p_id text) returns text
language sql
as $$
  select r from dblink(p_session, format('select banc.sync(%L, null, %L)::text', p_compte,
           jsonb_build_object('contacts', jsonb_build_array(jsonb_build_object('id', p_id, 'majLe', '2026-03-01T09:00:00Z')))))
    as t(r text)
$$;

select (banc.sync(:'c', null, null)) ->> 'prochain_depuis' as d0 \gset

-- 1. A slow transaction draws its cursor value first and commits last.
select dblink_connect('lent', :'cnx');
select dblink_exec('lent', 'begin');
select pg_temp.pousser('lent', :'c', 'c-lent');
select banc.sync(:'c', null, '{"contacts": [{"id": "c-rapide", "majLe": "2026-03-01T09:00:00Z"}]}');
select banc.sync(:'c', :'d0', null) as r1 \gset
select ok(not ('c-lent' = any (banc.ids(:'r1', 'contacts'))), 'an uncommitted change is not handed out');
select ok(not ('c-rapide' = any (banc.ids(:'r1', 'contacts'))),
          'a committed change waits while an older transaction is still open');
select dblink_exec('lent', 'commit');
select ok((select curseur from public.contacts where id = 'c-lent') < (select curseur from public.contacts where id = 'c-rapide'),
          'the slow change holds the smaller cursor value');
select banc.sync(:'c', (:'r1'::jsonb) ->> 'prochain_depuis', null) as r2 \gset
select is(banc.ids(:'r2', 'contacts'), array['c-lent', 'c-rapide'], 'once committed, both changes come, none skipped');
select banc.sync(:'c', (:'r2'::jsonb) ->> 'prochain_depuis', null) as r3 \gset
select is((:'r3'::jsonb) -> 'changements', '{}'::jsonb, 'and they come once');

-- 2. Two pushes in flight at once, committed in the reverse order of their start,
-- one of them writing again after the other committed.
select (:'r3'::jsonb) ->> 'prochain_depuis' as d1 \gset
select dblink_connect('x', :'cnx');
select dblink_connect('y', :'cnx');
select dblink_exec('x', 'begin');
select dblink_exec('y', 'begin');
select pg_temp.pousser('x', :'c', 'x1');
select pg_temp.pousser('y', :'c', 'y1');
select dblink_exec('y', 'commit');
select banc.sync(:'c', :'d1', null) as p1 \gset
select pg_temp.pousser('x', :'c', 'x2');
select banc.sync(:'c', (:'p1'::jsonb) ->> 'prochain_depuis', null) as p2 \gset
select dblink_exec('x', 'commit');
select banc.sync(:'c', (:'p2'::jsonb) ->> 'prochain_depuis', null) as p3 \gset
select banc.sync(:'c', (:'p3'::jsonb) ->> 'prochain_depuis', null) as p4 \gset
select is((select array_agg(x order by x) from unnest(banc.ids(:'p1', 'contacts') || banc.ids(:'p2', 'contacts')
                                                       || banc.ids(:'p3', 'contacts') || banc.ids(:'p4', 'contacts')) x),
          array['x1', 'x2', 'y1'], 'every concurrent change is handed out exactly once');
select is(banc.ids(:'p1', 'contacts') || banc.ids(:'p2', 'contacts'), array[]::text[],
          'nothing is handed out while the older push is open');
select ok(split_part((:'p3'::jsonb) ->> 'prochain_depuis', ':', 1)::numeric
          >= split_part((:'p1'::jsonb) ->> 'prochain_depuis', ':', 1)::numeric, 'the cursor only grows');
select is(banc.ids(:'p4', 'contacts'), array[]::text[], 'the last pull is empty');
select is((:'p4'::jsonb) ->> 'complet', 'true', 'and complete');

select dblink_disconnect('lent');
select dblink_disconnect('x');
select dblink_disconnect('y');
select * from finish();
delete from auth.users where email like '%@curseur.test';
