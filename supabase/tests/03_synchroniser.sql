-- synchroniser: push, pull, "majLe" as instants, tombstones, refusals, paging,
-- parameters, isolation between accounts and team visibility. Each request runs
-- in its own transaction (as through the API), so this file commits as it goes;
-- its users are removed at the end.
\ir outils/banc.psql
select plan(59);

select banc.utilisateur('a@sync.test') as a \gset
select banc.utilisateur('b@sync.test') as b \gset
select banc.utilisateur('m@sync.test') as m \gset
select banc.utilisateur('k@sync.test') as k \gset
select banc.equipe('Équipe sync', :'m', 5, 12) as o \gset
select banc.rejoindre(:'o', :'a', 'commercial');
select banc.rejoindre(:'o', :'k', 'commercial');

-- First push, then a first pull.
select banc.sync(:'a', null, jsonb_build_object(
  'contacts', jsonb_build_array(
     '{"id": "c1", "nom": "Durand", "majLe": "2026-03-01T09:00:00Z", "creeLe": "2026-03-01T09:00:00Z"}'::jsonb,
     '{"id": "c2", "nom": "Martin", "majLe": "2026-03-01T09:00:00Z"}'::jsonb),
  'appels', jsonb_build_array(jsonb_build_object('id', 'ap1', 'compteId', :'a', 'debut', banc.instant('-1 day'),
                                                 'majLe', banc.instant('-1 day'))))) as r \gset
select is((:'r'::jsonb) -> 'refuses', '[]'::jsonb, 'a clean push has no refusal');
select ok((:'r'::jsonb) ->> 'prochain_depuis' ~ '^\d+:\d+$', 'the answer carries a cursor');
select is((:'r'::jsonb) ->> 'complet', 'true', 'and says it is complete');

select banc.sync(:'a', null, null) as r \gset
select is(banc.ids(:'r', 'contacts'), array['c1', 'c2'], 'a pull from nothing gives the contacts');
select is(banc.ids(:'r', 'appels'), array['ap1'], 'and the call');
select is((:'r'::jsonb) #>> '{changements,contacts,0,compteId}', :'a', 'records carry their owner');
select is((:'r'::jsonb) #>> '{changements,contacts,0,nom}', 'Durand', 'records come back as pushed');
select (:'r'::jsonb) ->> 'prochain_depuis' as depuis \gset
select banc.sync(:'a', :'depuis', null) as r \gset
select is((:'r'::jsonb) -> 'changements', '{}'::jsonb, 'an up-to-date account gets no change');
select ok(split_part((:'r'::jsonb) ->> 'prochain_depuis', ':', 1)::numeric >= split_part(:'depuis', ':', 1)::numeric,
          'the cursor never goes back');

-- "majLe" compared as instants, whatever the fractions and offsets.
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c1", "nom": "Ancien", "majLe": "2026-03-01T10:00:00+02:00"}]}') as r \gset
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a' and id = 'c1'), 'Durand',
          'an earlier instant written later as text is not applied');
select is((:'r'::jsonb) #>> '{changements,contacts,0,nom}', 'Durand', 'the stored record comes back instead');
select is((:'r'::jsonb) #>> '{changements,contacts,0,majLe}', '2026-03-01T09:00:00Z', 'with its own "majLe"');
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c1", "nom": "Nouveau", "majLe": "2026-03-01T09:00:00.001Z"}]}') as r \gset
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a' and id = 'c1'), 'Nouveau',
          'a later instant is applied although its text sorts first');
select is((:'r'::jsonb) -> 'changements', '{}'::jsonb, 'an applied record does not come back in the same answer');
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c1", "nom": "Presque", "majLe": "2026-03-01T11:00:00.0005+02:00"}]}') as r \gset
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a' and id = 'c1'), 'Nouveau',
          'half a millisecond earlier under another offset is not applied');
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c1", "nom": "Pareil", "majLe": "2026-03-01T10:00:00.001+01:00"}]}') as r \gset
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a' and id = 'c1'), 'Nouveau',
          'the same instant is not applied again');
select is(jsonb_path_query_array(:'r'::jsonb, '$.changements.contacts[*].nom'), '["Nouveau"]'::jsonb,
          'the answer holds the pulled change once, not the equal push');
select banc.sync(:'a', :'depuis', null) as r \gset
select is(banc.ids(:'r', 'contacts'), array['c1'], 'the applied change is pulled from the old cursor');
select (:'r'::jsonb) ->> 'prochain_depuis' as depuis \gset

-- Tombstones.
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c2", "supprimeLe": "2026-03-02T08:00:00.250Z"}]}') as r \gset
select ok((select donnees is null and supprime_le = '2026-03-02T08:00:00.25Z' from public.contacts
            where compte_id = :'a' and id = 'c2'), 'a tombstone replaces the record');
select banc.sync(:'a', :'depuis', null) as r \gset
select is((:'r'::jsonb) #> '{changements,contacts,0}',
          jsonb_build_object('id', 'c2', 'supprimeLe', '2026-03-02T08:00:00.250Z', 'compteId', :'a'),
          'the tombstone is pulled with its instant');
select (:'r'::jsonb) ->> 'prochain_depuis' as depuis \gset
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c2", "nom": "Martin", "majLe": "2026-03-01T12:00:00Z"}]}') as r \gset
select ok((select donnees is null from public.contacts where compte_id = :'a' and id = 'c2'),
          'a record older than its deletion does not come back to life');
select is(banc.ids(:'r', 'contacts'), array['c2'], 'the tombstone is handed back instead');
select banc.sync(:'a', :'depuis', '{"contacts": [{"id": "c2", "nom": "Martin", "majLe": "2026-03-03T12:00:00Z"}]}') as r \gset
select ok((select donnees ->> 'nom' = 'Martin' from public.contacts where compte_id = :'a' and id = 'c2'),
          'a record newer than its deletion restores it');

-- Refusals, with their reasons, in the order pushed; the valid entries still go in.
select banc.sync(:'a', null, jsonb_build_object(
  'contacts', jsonb_build_array(
     '{"nom": "sans identifiant", "majLe": "2026-03-01T09:00:00Z"}'::jsonb,
     '{"id": "", "majLe": "2026-03-01T09:00:00Z"}'::jsonb,
     '"pas un objet"'::jsonb,
     jsonb_build_object('id', 'gros', 'majLe', '2026-03-01T09:00:00Z', 'notes', repeat('x', 1000001)),
     '{"id": "date", "majLe": "hier"}'::jsonb,
     '{"id": "sansfuseau", "majLe": "2026-03-01T09:00:00"}'::jsonb,
     '{"id": "fevrier", "majLe": "2026-02-30T09:00:00Z"}'::jsonb,
     '{"id": "c3", "majLe": "2026-03-01T09:00:00Z"}'::jsonb),
  'appels', jsonb_build_array(
     jsonb_build_object('id', 'ap-b', 'compteId', :'b', 'majLe', banc.instant('0')),
     jsonb_build_object('id', 'ap-vieux', 'debut', '2020-01-01T10:00:00Z', 'majLe', banc.instant('0')),
     jsonb_build_object('id', 'ap-vieux2', 'creeLe', banc.instant('-13 months'), 'majLe', banc.instant('0')),
     jsonb_build_object('id', 'ap2', 'compteId', upper(:'a'), 'debut', banc.instant('-11 months'), 'majLe', banc.instant('0'))))) as r \gset
select is(banc.refus(:'r'), array['ap-b:appel_d_un_autre_membre', 'ap-vieux:conservation_depassee',
                                  'ap-vieux2:conservation_depassee', '-:sans_id', ':sans_id', '-:sans_id',
                                  'gros:trop_volumineux', 'date:maj_le_invalide', 'sansfuseau:maj_le_invalide',
                                  'fevrier:maj_le_invalide'],
          'each refused entry has its reason');
select is((:'r'::jsonb) #>> '{refuses,3,collection}', 'contacts', 'refusals name their collection');
select is((select count(*)::int from public.contacts where compte_id = :'a' and id = 'c3'), 1, 'the valid contact is stored');
select is((select count(*)::int from public.appels where compte_id = :'a' and id = 'ap2'), 1, 'a call within the retention is stored');
select is((select count(*)::int from public.appels where id in ('ap-b', 'ap-vieux', 'ap-vieux2', 'gros')), 0,
          'nothing refused is stored');

-- Invalid parameters.
select throws_ok(format('select banc.sync(%L, null, ''{"inconnue": []}'')', :'a'), '22023', 'Collection inconnue : inconnue.',
                 'an unknown collection');
select throws_ok(format('select banc.sync(%L, null, ''[]'')', :'a'), '22023', null, 'changes that are not an object');
select throws_ok(format('select banc.sync(%L, null, ''{"contacts": {}}'')', :'a'), '22023', null, 'a collection that is not a list');
select throws_ok(format('select banc.sync(%L, ''abc'', null)', :'a'), '22023', 'Curseur de synchronisation invalide.', 'a cursor that is not one');
select throws_ok(format('select banc.sync(%L, null, null, ''{"limite_appels": 0}'')', :'a'), '22023', null, 'a call limit of 0');
select throws_ok(format('select banc.sync(%L, null, null, ''{"limite_appels": 2.5}'')', :'a'), '22023', null, 'a fractional call limit');
select throws_ok(format('select banc.sync(%L, null, null, ''{"equipe": "oui"}'')', :'a'), '22023', null, 'a team option that is not a boolean');
select throws_ok(format('select banc.sync(%L, null, null, ''[1]'')', :'a'), '22023', null, 'options that are not an object');
select throws_ok(format('select banc.sync(%L, null, jsonb_build_object(''contacts'', (select jsonb_agg(jsonb_build_object(''id'', i::text, ''majLe'', ''2026-03-01T09:00:00Z'')) from generate_series(1, 5001) i)))', :'a'),
                 '22023', null, 'a batch of more than 5000 entries');
select is((select count(*)::int from public.contacts where compte_id = :'a' and id = '1'), 0, 'a refused batch writes nothing');

-- Paging: at most limite_appels calls per answer, never one twice, never one skipped.
select banc.sync(:'a', null, null) as r \gset
select (:'r'::jsonb) ->> 'prochain_depuis' as depuis \gset
select banc.sync(:'a', :'depuis', jsonb_build_object('appels',
  (select jsonb_agg(jsonb_build_object('id', 'p' || i, 'debut', banc.instant('-1 hour'), 'majLe', banc.instant('0')))
     from generate_series(1, 5) i)));
select banc.sync(:'a', :'depuis', null, '{"limite_appels": 2}') as r1 \gset
select banc.sync(:'a', (:'r1'::jsonb) ->> 'prochain_depuis', null, '{"limite_appels": 2}') as r2 \gset
select banc.sync(:'a', (:'r2'::jsonb) ->> 'prochain_depuis', null, '{"limite_appels": 2}') as r3 \gset
select is(array_length(banc.ids(:'r1', 'appels'), 1), 2, 'a first page of two calls');
select is((:'r1'::jsonb) ->> 'complet', 'false', 'which says more is waiting');
select is(array_length(banc.ids(:'r2', 'appels'), 1), 2, 'a second page of two calls');
select is(banc.ids(:'r3', 'appels'), array['p5'], 'a last page with the rest');
select is((:'r3'::jsonb) ->> 'complet', 'true', 'which says it is complete');
select is((select array_agg(x order by x) from unnest(banc.ids(:'r1', 'appels') || banc.ids(:'r2', 'appels') || banc.ids(:'r3', 'appels')) x),
          array['p1', 'p2', 'p3', 'p4', 'p5'], 'the pages hold every call once');
select banc.sync(:'a', (:'r1'::jsonb) ->> 'prochain_depuis', null, '{"limite_appels": 50, "recharger": true}') as r \gset
select ok(banc.ids(:'r', 'appels') @> array['ap1', 'ap2', 'p1', 'p5'] and banc.ids(:'r', 'contacts') @> array['c1', 'c3'],
          'recharger ignores the cursor and sends everything again');

-- Isolation through the procedure: B never reads, changes or deletes A's rows.
select banc.sync(:'b', null, null) as r \gset
select is((:'r'::jsonb) -> 'changements', '{}'::jsonb, 'B pulls nothing of A''s');
select banc.sync(:'b', null, jsonb_build_object(
  'contacts', '[{"id": "c1", "nom": "Pirate", "majLe": "2030-01-01T00:00:00Z"}]'::jsonb,
  'appels', jsonb_build_array('{"id": "ap1", "supprimeLe": "2030-01-01T00:00:00Z"}'::jsonb,
                              jsonb_build_object('id', 'ap-vol', 'compteId', :'a', 'majLe', '2030-01-01T00:00:00Z')))) as r \gset
select is(banc.refus(:'r'), array['ap-vol:appel_d_un_autre_membre'], 'B cannot push a call in A''s name');
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'a' and id = 'c1'), 'Nouveau', 'A''s contact is unchanged');
select ok((select donnees is not null from public.appels where compte_id = :'a' and id = 'ap1'), 'A''s call is not deleted');
select is((select donnees ->> 'nom' from public.contacts where compte_id = :'b' and id = 'c1'), 'Pirate', 'B''s push is B''s own row');
select banc.sync(:'a', (:'r3'::jsonb) ->> 'prochain_depuis', null) as r \gset
select is((:'r'::jsonb) -> 'changements', '{}'::jsonb, 'A pulls nothing of B''s');

-- Team: the manager pulls members' calls; members pull the team's frameworks, not each other's calls.
select banc.sync(:'m', null, '{"frameworks": [{"id": "f1", "nom": "Méthode", "majLe": "2026-03-01T09:00:00Z"}]}');
select banc.sync(:'m', null, null) as r \gset
select ok(banc.ids(:'r', 'appels') @> array['ap1', 'p1'], 'the manager pulls a member''s calls');
select is((:'r'::jsonb) #>> '{changements,appels,0,compteId}', :'a', 'marked with the member''s account');
select is(banc.ids(:'r', 'contacts'), array[]::text[], 'but not the member''s contacts');
select banc.sync(:'m', null, null, '{"equipe": false}') as r \gset
select is(banc.ids(:'r', 'appels'), array[]::text[], 'without the team option, only one''s own calls');
select banc.sync(:'k', null, null) as r \gset
select is(banc.ids(:'r', 'appels'), array[]::text[], 'a salesperson does not pull a colleague''s calls');
select is(banc.ids(:'r', 'frameworks'), array['f1'], 'a salesperson pulls the team''s framework');
select banc.sync(:'b', null, null) as r \gset
select is(banc.ids(:'r', 'frameworks'), array[]::text[], 'an outsider does not');

-- The company profile needs no identifier.
select banc.sync(:'a', null, '{"entreprises_profil": [{"nom": "Durand SA", "majLe": "2026-03-01T09:00:00Z"}]}') as r \gset
select is((select id from public.entreprises_profil where compte_id = :'a'), 'entreprise', 'the company profile is stored as one record');

select * from finish();
delete from auth.users where email like '%@sync.test';
delete from public.organisations where id = :'o';
