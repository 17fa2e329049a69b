-- The team's alert thresholds and the manager syntheses: defaults, clamping,
-- who may change or read them.
begin;
\ir outils/banc.psql
select plan(17);

select banc.utilisateur('g@pilote.test') as g \gset
select banc.utilisateur('a@pilote.test') as a \gset
select banc.utilisateur('x@pilote.test') as x \gset
select banc.utilisateur('solo@pilote.test') as s \gset
select banc.equipe('Pilotes', :'g') as o \gset
select banc.rejoindre(:'o', :'a', 'commercial');
select banc.equipe('Ailleurs', :'x') as ox \gset
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
select is(public.lire_seuils_equipe(),
          '{"retardMinutes": 2, "suiviFrameworkMin": 60, "scoreBas": 50, "modifiable": false, "majLe": null}'::jsonb,
          'a team without thresholds reads the defaults, not editable by a salesperson');
select is(pg_temp.indice('select public.regler_seuils_equipe(5, 70, 40)'), '42501:action_interdite',
          'a salesperson cannot set the thresholds');
select banc.comme(:'s');
select is(pg_temp.indice('select public.lire_seuils_equipe()'), 'P0001:equipe_requise', 'an account outside a team');
select throws_ok('select public.lire_seuils_equipe()', 'P0001', 'Cette fonction demande un compte d''équipe Vendalo.',
                 'with the French message');

select banc.comme(:'g');
select public.regler_seuils_equipe(90, -5, 42.5) as r \gset
select is((:'r'::jsonb) - 'majLe', '{"retardMinutes": 60, "suiviFrameworkMin": 0, "scoreBas": 42.5, "modifiable": true}'::jsonb,
          'values out of range are clamped');
select is(public.regler_seuils_equipe(null, 75, null) - 'majLe',
          '{"retardMinutes": 60, "suiviFrameworkMin": 75, "scoreBas": 42.5, "modifiable": true}'::jsonb,
          'a missing value keeps the saved one');
select is(pg_temp.indice($$select public.regler_seuils_equipe('NaN', null, null)$$), '22023:', 'not a number is refused');
select banc.comme(:'a');
select is((public.lire_seuils_equipe()) ->> 'retardMinutes', '60', 'the team reads the saved thresholds');
select banc.comme(:'x');
select is((public.lire_seuils_equipe()) ->> 'retardMinutes', '2', 'another team keeps its own');
select is((select count(*)::int from public.seuils_equipe), 0, 'and reads none of ours through the table');

-- Syntheses.
select banc.comme(:'g');
select is(public.deposer_synthese_manager('ap-a', '{"risque": "moyen", "aCoacher": []}', 'moteur') #>> '{contenu,risque}',
          'moyen', 'the manager files a synthesis');
select public.deposer_synthese_manager('ap-a', '{"risque": "élevé"}', 'moteur');
select is(public.lire_syntheses_manager('["ap-a", "ap-inconnu"]') #>> '{0,contenu,risque}', 'élevé',
          'a later synthesis replaces the stored one');
select is(pg_temp.indice($$select public.deposer_synthese_manager('ap-a', '[1]', null)$$), 'P0001:synthese_invalide',
          'a synthesis that is not an object is refused');
select is(pg_temp.indice($$select public.deposer_synthese_manager('ap-zz', '{"risque": "bas"}', null)$$),
          'P0001:appel_introuvable', 'a synthesis of an unknown call is refused');
select banc.comme(:'a');
select is(pg_temp.indice($$select public.deposer_synthese_manager('ap-a', '{"risque": "bas"}', null)$$),
          '42501:action_interdite', 'a salesperson cannot file one');
select is(pg_temp.indice($$select public.lire_syntheses_manager('["ap-a"]')$$), '42501:action_interdite',
          'nor read them');
select banc.comme(:'x');
select is(pg_temp.indice($$select public.deposer_synthese_manager('ap-a', '{"risque": "bas"}', null)$$),
          'P0001:appel_introuvable', 'another team''s manager does not find the call');
select banc.moi();

select * from finish();
rollback;
