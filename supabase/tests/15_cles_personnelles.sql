-- Personal keys for outside assistants: shown once, kept as a digest only,
-- limited per account, revoked at once, checked and counted by the server.
begin;
\ir outils/banc.psql
select plan(21);

select banc.utilisateur('l@cles.test', 'Léa') as l \gset
select banc.utilisateur('m@cles.test', 'Marc') as m \gset
create function pg_temp.indice(p_sql text) returns text language plpgsql as $$
declare h text; e text;
begin
  execute p_sql;
  return null;
exception when others then
  get stacked diagnostics h = pg_exception_hint, e = returned_sqlstate;
  return e || ':' || coalesce(h, '');
end $$;

select banc.comme(:'l');
select public.mcp_creer_jeton('  Mac   du bureau ') as k1 \gset
select ok((:'k1'::jsonb ->> 'cle') ~ '^vdk_[0-9a-f]{64}$', 'the key is given in clear once');
select is(:'k1'::jsonb ->> 'nom', 'Mac du bureau', 'its name is tidied');
select is(:'k1'::jsonb ->> 'prefixe', left(:'k1'::jsonb ->> 'cle', 10), 'with a short prefix to recognise it');
select is(pg_temp.indice($$select public.mcp_creer_jeton('   ')$$), '22023:nom_requis', 'a key needs a name');
select is(pg_temp.indice(format('select public.mcp_creer_jeton(%L)', repeat('x', 61))), '22023:nom_trop_long', 'of 60 characters at most');
select public.mcp_lister_jetons() as liste \gset
select is(:'liste'::jsonb - 'cles', '{"max": 5, "par_minute": 60, "par_jour": 2000}'::jsonb, 'the list carries the limits');
select is(jsonb_array_length(:'liste'::jsonb -> 'cles'), 1, 'and the key');
select ok(not ((:'liste'::jsonb -> 'cles' -> 0) ? 'cle') and (:'liste'::jsonb #>> '{cles,0,derniere_utilisation}') is null,
          'without its clear value, never used yet');
select throws_ok('select count(*) from public.cles_mcp', '42501', null, 'a user cannot read the keys table');

select banc.moi();
select ok((select empreinte = sha256(convert_to(:'k1'::jsonb ->> 'cle', 'UTF8')) and position((:'k1'::jsonb ->> 'cle') in t::text) = 0
             from public.cles_mcp t where id = (:'k1'::jsonb ->> 'id')::uuid), 'only the digest is stored');
select is(prive.verifier_cle_mcp(:'k1'::jsonb ->> 'cle'), :'l'::uuid, 'the server finds the key''s account');
select ok((select derniere_utilisation is not null from public.cles_mcp where id = (:'k1'::jsonb ->> 'id')::uuid), 'and records its use');
select is(pg_temp.indice($$select prive.verifier_cle_mcp('vdk_faux')$$), '42501:cle_invalide', 'an unknown key is refused');

-- Per-minute limit: the 61st request of a minute is refused and not counted.
update public.cles_mcp_usage set n = 60 where cle_id = (:'k1'::jsonb ->> 'id')::uuid;
select is(pg_temp.indice(format('select prive.verifier_cle_mcp(%L)', :'k1'::jsonb ->> 'cle')), 'P0001:quota_depasse', 'past 60 a minute');
select is((select sum(n)::int from public.cles_mcp_usage where cle_id = (:'k1'::jsonb ->> 'id')::uuid), 60, 'the refused request is not counted');
-- Per-day limit, across earlier minutes.
update public.cles_mcp_usage set n = 1999, minute = date_trunc('minute', now()) - interval '2 hours'
 where cle_id = (:'k1'::jsonb ->> 'id')::uuid;
select is(prive.verifier_cle_mcp(:'k1'::jsonb ->> 'cle'), :'l'::uuid, 'the 2,000th request of the day passes');
select is(pg_temp.indice(format('select prive.verifier_cle_mcp(%L)', :'k1'::jsonb ->> 'cle')), 'P0001:quota_depasse', 'the next one does not');

select banc.comme(:'m');
select is(pg_temp.indice(format('select public.mcp_revoquer_jeton(%L)', :'k1'::jsonb ->> 'id')), 'P0001:cle_introuvable',
          'another account cannot revoke the key');
select banc.comme(:'l');
select count(public.mcp_creer_jeton('k' || i)) as crees from generate_series(2, 5) i \gset
select is(pg_temp.indice($$select public.mcp_creer_jeton('sixième')$$), 'P0001:trop_de_cles', 'five keys at most');
select public.mcp_revoquer_jeton(:'k1'::jsonb ->> 'id') as revoque \gset
select banc.moi();
select is(pg_temp.indice(format('select prive.verifier_cle_mcp(%L)', :'k1'::jsonb ->> 'cle')), '42501:cle_invalide',
          'a revoked key stops working at once');
select banc.comme(:'l');
select ok(public.mcp_creer_jeton('sixième') ? 'cle', 'a revoked key frees its place');
select banc.moi();

select * from finish();
rollback;
