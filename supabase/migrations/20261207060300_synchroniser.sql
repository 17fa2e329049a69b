-- synchroniser: pushes a batch of records and tombstones, then pulls what
-- changed on the server since a cursor (see the collections migration for why
-- the cursor is a (writing transaction, cursor value) pair behind the snapshot's
-- xmin). The cursor travels as the text "<transaction>:<value>".

-- An ISO 8601 instant with a Z or an offset, fractions optional; null when the
-- text is anything else (an instant without a zone would depend on the server's).
create function prive.instant(p text) returns timestamptz
language plpgsql immutable
as $$
begin
  if p is null or p !~ '^\d{4}-\d{2}-\d{2}[Tt ]\d{2}:\d{2}(:\d{2}(\.\d+)?)?([Zz]|[+-]\d{2}(:?\d{2})?)$' then
    return null;
  end if;
  return p::timestamptz;
exception when others then
  return null;
end
$$;

-- The same reading without the exception block (one subtransaction per call is
-- most of the cost of a batch): the pattern bounds every field, so only an
-- impossible day (30 February) still raises, and the batch is then read again
-- with prive.instant.
create function prive.instant_rapide(p text) returns timestamptz
language sql stable
as $$
  select case when p ~ '^\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])[Tt ]([01]\d|2[0-3]):[0-5]\d(:([0-5]\d|60)(\.\d+)?)?([Zz]|[+-]([01]\d|2[0-3])(:?[0-5]\d)?)$'
         then p::timestamptz end
$$;

-- A stored row as it travels: the record with its owner, or a tombstone.
create function prive.forme(p_compte uuid, p_id text, p_donnees jsonb, p_supprime_le timestamptz) returns jsonb
language sql immutable
as $$
  select case when p_donnees is null
    then jsonb_build_object('id', p_id, 'supprimeLe', prive.instant_json(p_supprime_le), 'compteId', p_compte)
    else p_donnees || jsonb_build_object('compteId', p_compte) end
$$;

create function prive.taille_max_objet() returns integer
language sql immutable
as $$ select 1000000 $$;

-- Applies one collection's pushed entries for p_compte in one statement. A
-- record is written only when its "majLe" (a tombstone's "supprimeLe"), read as
-- an instant, is later than the stored one; when the stored one is later it is
-- handed back in renvoyes. Entries the server will not keep are listed in
-- refuses with their reason.
create function prive.appliquer(p_collection text, p_entrees jsonb, p_compte uuid, p_conservation_mois integer,
                                out refuses jsonb, out renvoyes jsonb)
language plpgsql security definer set search_path = ''
as $$
declare
  lecture text := 'prive.instant_rapide';
  requete text;
begin
  requete := $q$
    with entrees as (
      select e.v, e.ord, jsonb_typeof(e.v) = 'object' as objet,
             case when jsonb_typeof(e.v) = 'object' then
               coalesce(nullif(e.v ->> 'id', ''), case when $4 = 'entreprises_profil' then 'entreprise' end) end as id,
             jsonb_typeof(e.v) = 'object' and e.v ? 'supprimeLe' as tombe,
             case when jsonb_typeof(e.v) = 'object' then
               %2$s(case when e.v ? 'supprimeLe' then e.v ->> 'supprimeLe' else e.v ->> 'majLe' end) end as maj,
             octet_length(e.v::text) as taille
        from jsonb_array_elements($1) with ordinality as e(v, ord)
    ),
    jugees as (
      select *, case
          when id is null then 'sans_id'
          when length(id) > 200 then 'id_invalide'
          when taille > prive.taille_max_objet() then 'trop_volumineux'
          when maj is null then 'maj_le_invalide'
          when $4 = 'appels' and not tombe and jsonb_typeof(v -> 'compteId') = 'string'
               and lower(v ->> 'compteId') <> $2::text then 'appel_d_un_autre_membre'
          when $4 = 'appels' and not tombe and $3 is not null
               and coalesce(%2$s(v ->> 'debut'), %2$s(v ->> 'creeLe'))
                   < now() - make_interval(months => $3) then 'conservation_depassee'
        end as raison
        from entrees
    ),
    valides as (
      select distinct on (id) * from jugees where raison is null order by id, maj desc, ord desc
    ),
    ecrites as (
      insert into public.%1$I as t (compte_id, id, donnees, maj_le, cree_le, supprime_le)
      select $2, id, case when tombe then null else v end, maj,
             case when tombe then null else %2$s(v ->> 'creeLe') end,
             case when tombe then maj end
        from valides
      on conflict (compte_id, id) do update
         set donnees = excluded.donnees, maj_le = excluded.maj_le,
             cree_le = coalesce(excluded.cree_le, t.cree_le), supprime_le = excluded.supprime_le,
             curseur = excluded.curseur, ecrit_par = excluded.ecrit_par
       where excluded.maj_le > t.maj_le
      returning 1
    )
    select
      (select coalesce(jsonb_agg(jsonb_build_object('collection', $4,
                 'id', case when objet then coalesce(id, v ->> 'id') end, 'raison', raison) order by ord), '[]'::jsonb)
         from jugees where raison is not null),
      (select coalesce(jsonb_agg(prive.forme(s.compte_id, s.id, s.donnees, s.supprime_le)), '[]'::jsonb)
         from valides v join public.%1$I s on s.compte_id = $2 and s.id = v.id
        where s.maj_le > v.maj)
  $q$;
  begin
    execute format(requete, p_collection, lecture) into refuses, renvoyes
      using p_entrees, p_compte, p_conservation_mois, p_collection;
  exception when datetime_field_overflow or invalid_datetime_format then
    execute format(requete, p_collection, 'prive.instant') into refuses, renvoyes
      using p_entrees, p_compte, p_conservation_mois, p_collection;
  end;
end
$$;

create function public.synchroniser(p_depuis text default null, p_changements jsonb default null,
                                    p_options jsonb default null)
returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  collections constant text[] := array['contacts', 'interactions', 'profils_clients', 'objections_lib',
                                       'appels', 'frameworks', 'entreprises_profil'];
  limite_objets constant integer := 1000;
  max_entrees constant integer := 5000;
  equipe boolean := false;
  recharger boolean := false;
  limite_appels integer := 50;
  organisation uuid;
  gestionnaire boolean := false;
  conservation integer;
  equipiers uuid[] := array[]::uuid[];
  lecteurs_appels uuid[];
  lecteurs_partages uuid[];
  depuis_xid xid8 := '0'::xid8;
  depuis_curseur bigint := 0;
  borne xid8;
  dernier_xid xid8;
  dernier_curseur bigint;
  nb_objets integer := 0;
  nb_appels integer := 0;
  complet boolean := true;
  prochain text;
  refuses jsonb := '[]'::jsonb;
  renvoyes jsonb := '{}'::jsonb;
  changements jsonb;
  r record;
  morceaux text[];
  total integer;
begin
  if not exists (select 1 from public.comptes where id = moi) then
    raise exception using errcode = 'P0002', message = 'Compte introuvable. Contactez Vendalo.';
  end if;

  -- Options.
  if p_options is not null and jsonb_typeof(p_options) <> 'null' then
    if jsonb_typeof(p_options) <> 'object' then
      raise exception using errcode = '22023', message = 'Options de synchronisation invalides.';
    end if;
    if jsonb_typeof(p_options -> 'equipe') = 'boolean' then
      equipe := (p_options ->> 'equipe')::boolean;
    elsif coalesce(jsonb_typeof(p_options -> 'equipe'), 'null') <> 'null' then
      raise exception using errcode = '22023', message = 'Option « equipe » invalide.';
    end if;
    if jsonb_typeof(p_options -> 'recharger') = 'boolean' then
      recharger := (p_options ->> 'recharger')::boolean;
    elsif coalesce(jsonb_typeof(p_options -> 'recharger'), 'null') <> 'null' then
      raise exception using errcode = '22023', message = 'Option « recharger » invalide.';
    end if;
    if jsonb_typeof(p_options -> 'limite_appels') = 'number' then
      if (p_options ->> 'limite_appels') !~ '^\d+$' or (p_options ->> 'limite_appels')::numeric not between 1 and 1000 then
        raise exception using errcode = '22023', message = 'Option « limite_appels » invalide : un entier de 1 à 1000.';
      end if;
      limite_appels := (p_options ->> 'limite_appels')::integer;
    elsif coalesce(jsonb_typeof(p_options -> 'limite_appels'), 'null') <> 'null' then
      raise exception using errcode = '22023', message = 'Option « limite_appels » invalide : un entier de 1 à 1000.';
    end if;
  end if;

  -- Cursor.
  if p_depuis is not null and not recharger then
    morceaux := regexp_match(p_depuis, '^(\d{1,19}):(\d{1,18})$');
    if morceaux is null then
      raise exception using errcode = '22023', message = 'Curseur de synchronisation invalide.';
    end if;
    depuis_xid := morceaux[1]::xid8;
    depuis_curseur := morceaux[2]::bigint;
  end if;

  select m.organisation_id, m.role_org in ('proprietaire', 'manager'), o.conservation_mois
    into organisation, gestionnaire, conservation
    from public.membres m join public.organisations o on o.id = m.organisation_id
   where m.compte_id = moi;
  gestionnaire := coalesce(gestionnaire, false);

  -- Push.
  if p_changements is not null and jsonb_typeof(p_changements) <> 'null' then
    if jsonb_typeof(p_changements) <> 'object' then
      raise exception using errcode = '22023', message = 'Changements invalides : un objet par collection attendu.';
    end if;
    total := 0;
    for r in select key, value from jsonb_each(p_changements) loop
      if not (r.key = any (collections)) then
        raise exception using errcode = '22023', message = format('Collection inconnue : %s.', r.key);
      end if;
      if jsonb_typeof(r.value) <> 'array' then
        raise exception using errcode = '22023', message = format('Changements invalides pour %s : une liste attendue.', r.key);
      end if;
      total := total + jsonb_array_length(r.value);
    end loop;
    if total > max_entrees then
      raise exception using errcode = '22023', message = format('Lot trop volumineux : %s objets au plus.', max_entrees);
    end if;
    for r in select key, value from jsonb_each(p_changements) where jsonb_array_length(value) > 0 loop
      declare
        a record;
      begin
        select * into a from prive.appliquer(r.key, r.value, moi, conservation);
        refuses := refuses || a.refuses;
        if jsonb_array_length(a.renvoyes) > 0 then
          renvoyes := renvoyes || jsonb_build_object(r.key, a.renvoyes);
        end if;
      end;
    end loop;
  end if;

  -- Pull.
  if equipe and organisation is not null then
    select coalesce(array_agg(compte_id), array[]::uuid[]) into equipiers
      from public.membres where organisation_id = organisation and compte_id <> moi;
  end if;
  lecteurs_partages := array[moi] || equipiers;
  lecteurs_appels := case when gestionnaire then lecteurs_partages else array[moi] end;
  borne := pg_snapshot_xmin(pg_current_snapshot());

  for r in
    select u.collection, u.ecrit_par, u.curseur from (
      select 'contacts' as collection, t.ecrit_par, t.curseur from public.contacts t
       where t.compte_id = moi and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
      union all
      select 'interactions', t.ecrit_par, t.curseur from public.interactions t
       where t.compte_id = moi and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
      union all
      select 'profils_clients', t.ecrit_par, t.curseur from public.profils_clients t
       where t.compte_id = moi and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
      union all
      select 'entreprises_profil', t.ecrit_par, t.curseur from public.entreprises_profil t
       where t.compte_id = moi and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
      union all
      select 'objections_lib', t.ecrit_par, t.curseur from public.objections_lib t
       where t.compte_id = any (lecteurs_partages) and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
      union all
      select 'frameworks', t.ecrit_par, t.curseur from public.frameworks t
       where t.compte_id = any (lecteurs_partages) and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
      union all
      select 'appels', t.ecrit_par, t.curseur from public.appels t
       where t.compte_id = any (lecteurs_appels) and (t.ecrit_par, t.curseur) > (depuis_xid, depuis_curseur) and t.ecrit_par < borne
    ) u
    order by u.ecrit_par, u.curseur
  loop
    if nb_objets >= limite_objets or (r.collection = 'appels' and nb_appels >= limite_appels) then
      complet := false;
      exit;
    end if;
    nb_objets := nb_objets + 1;
    if r.collection = 'appels' then
      nb_appels := nb_appels + 1;
    end if;
    dernier_xid := r.ecrit_par;
    dernier_curseur := r.curseur;
  end loop;

  changements := '{}'::jsonb;
  if nb_objets > 0 then
    select coalesce(jsonb_object_agg(g.collection, g.objets), '{}'::jsonb) into changements
      from (
        select u.collection, jsonb_agg(prive.forme(u.compte_id, u.id, u.donnees, u.supprime_le)
                                       order by u.ecrit_par, u.curseur) as objets
          from (
            select 'contacts' as collection, t.* from public.contacts t where t.compte_id = moi
            union all select 'interactions', t.* from public.interactions t where t.compte_id = moi
            union all select 'profils_clients', t.* from public.profils_clients t where t.compte_id = moi
            union all select 'entreprises_profil', t.* from public.entreprises_profil t where t.compte_id = moi
            union all select 'objections_lib', t.* from public.objections_lib t where t.compte_id = any (lecteurs_partages)
            union all select 'frameworks', t.* from public.frameworks t where t.compte_id = any (lecteurs_partages)
            union all select 'appels', t.* from public.appels t where t.compte_id = any (lecteurs_appels)
          ) u
         where (u.ecrit_par, u.curseur) > (depuis_xid, depuis_curseur)
           and (u.ecrit_par, u.curseur) <= (dernier_xid, dernier_curseur)
           and u.ecrit_par < borne
         group by u.collection
      ) g;
  end if;

  -- Stored records newer than what was pushed go back with the pulled ones.
  for r in select key, value from jsonb_each(renvoyes) loop
    changements := jsonb_set(changements, array[r.key], coalesce(changements -> r.key, '[]'::jsonb) || r.value);
  end loop;

  if not complet then
    prochain := dernier_xid::text || ':' || dernier_curseur::text;
  elsif borne > depuis_xid then
    -- Everything written by transactions older than the bound has been handed out.
    prochain := borne::text || ':0';
  else
    prochain := depuis_xid::text || ':' || depuis_curseur::text;
  end if;

  return jsonb_build_object('changements', changements, 'refuses', refuses,
                            'prochain_depuis', prochain, 'complet', complet);
end
$$;

revoke all on function public.synchroniser(text, jsonb, jsonb),
  prive.appliquer(text, jsonb, uuid, integer) from public, anon, authenticated;
grant execute on function public.synchroniser(text, jsonb, jsonb) to authenticated;
