-- Weekly objectives for the team or one member, measured on the members'
-- synchronised calls of the week, and the team ranking over a period.
--
-- Weeks run Monday to Sunday in Europe/Paris. A call is dated by its "debut"
-- (its creation when "debut" is unreadable); the index below makes a member's
-- calls of a period one range scan, so a team's figures never read other teams.

-- "debut" as an instant, or p_repli. Declared immutable for the index: the
-- pattern demands an explicit zone, so the reading depends on no setting, and
-- every field is bounded first (a day past the month's end gives p_repli), so
-- it never raises while a synchronised batch is written.
create function prive.debut_appel(p text, p_repli timestamptz) returns timestamptz
language sql immutable
as $$
  select case
    when p ~ '^[1-9]\d{3}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])[Tt ]([01]\d|2[0-3]):[0-5]\d(:[0-5]\d(\.\d{1,9})?)?([Zz]|[+-](0\d|1[0-5])(:?[0-5]\d)?)$'
    then case when substr(p, 9, 2)::integer
                   <= extract(day from make_date(substr(p, 1, 4)::integer, substr(p, 6, 2)::integer, 1)
                                       + interval '1 month' - interval '1 day')
              then p::timestamptz else p_repli end
    else p_repli end
$$;
grant execute on function prive.debut_appel(text, timestamptz) to authenticated, service_role;

create index appels_debut on public.appels (compte_id, prive.debut_appel(donnees ->> 'debut', cree_le))
  where supprime_le is null;

-- A JSON number as numeric, else null.
create function prive.nombre(p jsonb) returns numeric
language sql immutable
as $$ select case when jsonb_typeof(p) = 'number' then p::text::numeric end $$;

-- The finished calls of the given members started in [p_debut, p_fin), with the
-- figures the team screens use.
create function prive.appels_periode(p_comptes uuid[], p_debut timestamptz, p_fin timestamptz)
returns table (compte_id uuid, id text, debut timestamptz, duree numeric, score numeric, part_parole numeric, questions numeric,
               dimensions jsonb, probabilite numeric)
language sql stable security definer set search_path = ''
as $$
  select a.compte_id, a.id, a.debut,
         coalesce(prive.nombre(a.d -> 'duree'), prive.nombre(a.d #> '{metriques,dureeSec}'), 0),
         prive.nombre(a.d #> '{analyse,score}'),
         prive.nombre(a.d #> '{metriques,partVous}'),
         prive.nombre(a.d #> '{metriques,questionsVous}'),
         case when jsonb_typeof(a.d #> '{analyse,dimensions}') = 'object' then a.d #> '{analyse,dimensions}' end,
         prive.nombre(a.d #> '{analyse,crm,probabilite}')
    from (
      -- The record is read (decompressed) once, without its transcript, before
      -- the fields are taken from it; "offset 0" keeps that step apart.
      -- Member by member (lateral), so that each is one range of the index and
      -- a long period never turns into a scan of every team's calls.
      select x.compte_id, x.id, x.debut, x.donnees - 'transcript' - 'aides' - 'detections' as d
        from unnest(p_comptes) as c (compte)
        cross join lateral (
          select y.compte_id, y.id, prive.debut_appel(y.donnees ->> 'debut', y.cree_le) as debut, y.donnees
            from public.appels y
           where y.compte_id = c.compte and y.supprime_le is null
             and prive.debut_appel(y.donnees ->> 'debut', y.cree_le) >= p_debut
             and prive.debut_appel(y.donnees ->> 'debut', y.cree_le) < p_fin
        ) x
       offset 0
    ) a
   where coalesce(a.d ->> 'statut', 'analyse') <> 'en_cours'
$$;

create function prive.lundi(p_jour date) returns date
language sql immutable
as $$ select date_trunc('week', p_jour)::date $$;

create function prive.lundi_courant() returns date
language sql stable
as $$ select prive.lundi((now() at time zone 'Europe/Paris')::date) $$;

create function prive.debut_semaine(p_lundi date) returns timestamptz
language sql immutable
as $$ select p_lundi::timestamp at time zone 'Europe/Paris' $$;

-- A "yyyy-MM-dd" day (any day of the week) as its week's Monday; null gives the current week.
create function prive.semaine_parametre(p text, p_nom text) returns date
language plpgsql stable
as $$
begin
  if p is null then
    return prive.lundi_courant();
  end if;
  if p !~ '^\d{4}-\d{2}-\d{2}$' then
    raise exception using errcode = '22023', message = format('Paramètre %s invalide : un jour AAAA-MM-JJ.', p_nom);
  end if;
  return prive.lundi(p::date);
exception when datetime_field_overflow or invalid_datetime_format then
  raise exception using errcode = '22023', message = format('Paramètre %s invalide : un jour AAAA-MM-JJ.', p_nom);
end
$$;

create table public.objectifs_equipe (
  id uuid primary key default gen_random_uuid(),
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  compte_id uuid references public.comptes (id) on delete cascade,
  type text not null check (type in ('questions_par_appel', 'part_parole_max', 'score_moyen', 'appels_semaine', 'competence')),
  cible numeric not null check (cible > 0 and cible <= 1000),
  competence text check ((type = 'competence') = (competence is not null)),
  semaine date not null check (extract(isodow from semaine) = 1),
  actif boolean not null default true,
  cree_par uuid references public.comptes (id) on delete set null,
  -- The order objectives are listed in, also within one transaction.
  cree_le timestamptz not null default clock_timestamp(),
  maj_le timestamptz not null default now()
);
create index objectifs_equipe_semaine on public.objectifs_equipe (organisation_id, semaine);

alter table public.objectifs_equipe enable row level security;
revoke all on public.objectifs_equipe from anon, authenticated;
grant select on public.objectifs_equipe to authenticated;
grant all on public.objectifs_equipe to service_role;
create policy objectifs_equipe_lire on public.objectifs_equipe for select to authenticated
  using (organisation_id = prive.organisation_de((select auth.uid())));

-- A number as the program shows it: no useless decimals, a decimal comma.
create function prive.nombre_texte(p numeric) returns text
language sql immutable
as $$ select replace(case when p = trunc(p) then trunc(p)::text else rtrim(p::text, '0') end, '.', ',') $$;

create function prive.libelle_objectif(p_type text, p_cible numeric, p_competence text) returns text
language sql immutable
as $$
  select case p_type
    when 'questions_par_appel' then 'Poser ' || prive.nombre_texte(p_cible)
                                    || case when p_cible <= 1 then ' question par appel' else ' questions par appel' end
    when 'part_parole_max' then 'Parler au plus ' || prive.nombre_texte(p_cible) || ' % du temps'
    when 'score_moyen' then 'Score moyen d''au moins ' || prive.nombre_texte(p_cible)
    when 'appels_semaine' then prive.nombre_texte(p_cible)
                               || case when p_cible <= 1 then ' appel dans la semaine' else ' appels dans la semaine' end
    else coalesce((select l from (values ('decouverte', 'Découverte'), ('engagement', 'Engagement'), ('valeur', 'Valeur'),
                                         ('ecoute', 'Écoute'), ('objections', 'Objections'), ('closing', 'Closing')) v (k, l)
                    where k = p_competence), p_competence)
         || ' : score d''au moins ' || prive.nombre_texte(p_cible)
  end
$$;

create function prive.objectif_atteint(p_type text, p_cible numeric, p_valeur numeric) returns boolean
language sql immutable
as $$
  select p_valeur is not null and case when p_type = 'part_parole_max' then p_valeur <= p_cible else p_valeur >= p_cible end
$$;

-- The measures of the week's objectives (or of one of them): for each member it
-- targets (its member, or every member of the team) and for the team (compte_id
-- null) over those members together, the number of calls and the value (a mean
-- per call, or the count of calls). The team's calls of the week are read once.
create function prive.mesures_semaine(p_organisation uuid, p_lundi date, p_objectif uuid default null)
returns table (objectif_id uuid, compte_id uuid, appels integer, valeur numeric, atteint boolean)
language sql stable security definer set search_path = ''
as $$
  with objectifs as (
    select o.* from public.objectifs_equipe o
     where o.organisation_id = p_organisation and o.semaine = p_lundi and (p_objectif is null or o.id = p_objectif)
  ),
  cibles as (
    select o.id as objectif_id, m.compte_id
      from objectifs o join public.membres m on m.organisation_id = o.organisation_id
                                             and (o.compte_id is null or m.compte_id = o.compte_id)
  ),
  appels as (
    select * from prive.appels_periode((select array_agg(distinct c.compte_id) from cibles c),
                                       prive.debut_semaine(p_lundi), prive.debut_semaine(p_lundi + 7))
  ),
  mesures as (
    select c.objectif_id, case when grouping(c.compte_id) = 0 then c.compte_id end as compte_id, o.type, o.cible,
           count(a.id)::integer as appels,
           case o.type
             when 'questions_par_appel' then round(avg(a.questions), 1)
             when 'part_parole_max' then round(avg(a.part_parole), 1)
             when 'score_moyen' then round(avg(a.score), 1)
             when 'appels_semaine' then count(a.id)
             else round(avg(prive.nombre(a.dimensions #> array[o.competence, 'score'])), 1) end as valeur
      from cibles c join objectifs o on o.id = c.objectif_id
      left join appels a on a.compte_id = c.compte_id
     group by grouping sets ((c.objectif_id, o.type, o.cible, o.competence, c.compte_id),
                             (c.objectif_id, o.type, o.cible, o.competence))
  )
  select x.objectif_id, x.compte_id, x.appels, x.valeur, prive.objectif_atteint(x.type, x.cible, x.valeur) from mesures x
$$;

create function prive.objectif_json(o public.objectifs_equipe, p_moi uuid) returns jsonb
language sql stable security definer set search_path = ''
as $$
  with mesures as materialized (
    select * from prive.mesures_semaine(o.organisation_id, o.semaine, o.id)
  )
  select jsonb_build_object(
    'id', o.id, 'compte_id', o.compte_id,
    'compte_nom', (select coalesce(p.nom, p.email) from public.comptes p where p.id = o.compte_id),
    'equipe', o.compte_id is null, 'type', o.type, 'cible', o.cible, 'competence', o.competence,
    'libelle', prive.libelle_objectif(o.type, o.cible, o.competence),
    'semaine', to_char(o.semaine, 'YYYY-MM-DD'), 'actif', o.actif, 'cree_par', o.cree_par,
    -- Members by name.
    'progression', coalesce((select jsonb_agg(jsonb_build_object(
                               'compte_id', x.compte_id, 'nom', coalesce(p.nom, p.email), 'appels', x.appels,
                               'valeur', x.valeur, 'atteint', x.atteint, 'moi', x.compte_id = p_moi)
                               order by coalesce(p.nom, p.email), x.compte_id)
                               from mesures x join public.comptes p on p.id = x.compte_id), '[]'::jsonb),
    'valeur_equipe', (select x.valeur from mesures x where x.compte_id is null),
    'local', false)
$$;

create function public.objectifs_semaine(p_semaine text default null) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  lundi date := prive.semaine_parametre(p_semaine, 'p_semaine');
begin
  return jsonb_build_object(
    'semaine', to_char(lundi, 'YYYY-MM-DD'),
    'debut', prive.instant_json(prive.debut_semaine(lundi)),
    'fin', prive.instant_json(prive.debut_semaine(lundi + 7)),
    'gestionnaire', m.role_org in ('proprietaire', 'manager'),
    'objectifs', (select coalesce(jsonb_agg(prive.objectif_json(o, moi)
                                            order by o.compte_id is not null, o.cree_le, o.id), '[]'::jsonb)
                    from public.objectifs_equipe o
                   where o.organisation_id = m.organisation_id and o.semaine = lundi));
end
$$;

-- p_objectif: {"id"?: uuid of the objective to edit, "compte_id"?: the member
-- (absent or null: the whole team), "type", "cible", "competence"? (for the
-- type "competence"), "actif"? (true), "semaine"? (any day of the week; the
-- current week when new, unchanged when edited)}.
create function public.fixer_objectif(p_objectif jsonb) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  o public.objectifs_equipe;
  existant public.objectifs_equipe;
  maximum numeric;
begin
  perform prive.exiger_gestionnaire(m);
  if p_objectif is null or jsonb_typeof(p_objectif) <> 'object' then
    raise exception using errcode = '22023', message = 'Paramètre p_objectif invalide : un objet attendu.';
  end if;
  if coalesce(jsonb_typeof(p_objectif -> 'id'), 'null') <> 'null' then
    select * into existant from public.objectifs_equipe x
     where x.id = prive.uuid_parametre(p_objectif ->> 'id', 'id') and x.organisation_id = m.organisation_id
     for update;
    if not found then
      raise exception using errcode = 'P0001', message = 'Cet objectif a été supprimé.', hint = 'objectif_introuvable';
    end if;
  end if;
  o.organisation_id := m.organisation_id;
  if coalesce(jsonb_typeof(p_objectif -> 'compte_id'), 'null') <> 'null' then
    o.compte_id := prive.uuid_parametre(p_objectif ->> 'compte_id', 'compte_id');
    if not exists (select 1 from public.membres x where x.compte_id = o.compte_id and x.organisation_id = m.organisation_id) then
      raise exception using errcode = 'P0001', message = 'Ce membre ne fait plus partie de l''équipe.',
                            hint = 'membre_introuvable';
    end if;
  end if;
  o.type := p_objectif ->> 'type';
  if o.type is null or o.type not in ('questions_par_appel', 'part_parole_max', 'score_moyen', 'appels_semaine', 'competence') then
    raise exception using errcode = '22023', message = 'Type d''objectif inconnu.';
  end if;
  maximum := case o.type when 'appels_semaine' then 1000 when 'questions_par_appel' then 100 else 100 end;
  o.cible := prive.nombre(p_objectif -> 'cible');
  if o.cible is null or o.cible <= 0 or o.cible > maximum or (o.type = 'appels_semaine' and o.cible <> trunc(o.cible)) then
    raise exception using errcode = '22023',
      message = format('Cible invalide : %s.', case when o.type = 'appels_semaine' then 'un nombre entier d''appels de 1 à 1000'
                                                    else 'un nombre au-dessus de 0, jusqu''à 100' end);
  end if;
  if o.type = 'competence' then
    o.competence := p_objectif ->> 'competence';
    if o.competence is null or o.competence !~ '^[a-z0-9_-]{1,40}$' then
      raise exception using errcode = '22023', message = 'Compétence de l''objectif invalide.';
    end if;
  end if;
  if coalesce(jsonb_typeof(p_objectif -> 'actif'), 'null') = 'null' then
    o.actif := coalesce(existant.actif, true);
  elsif jsonb_typeof(p_objectif -> 'actif') = 'boolean' then
    o.actif := (p_objectif ->> 'actif')::boolean;
  else
    raise exception using errcode = '22023', message = 'Paramètre actif invalide : vrai ou faux.';
  end if;
  if coalesce(jsonb_typeof(p_objectif -> 'semaine'), 'null') = 'null' and existant.id is not null then
    o.semaine := existant.semaine;
  else
    o.semaine := prive.semaine_parametre(p_objectif ->> 'semaine', 'semaine');
  end if;

  if existant.id is null then
    insert into public.objectifs_equipe (organisation_id, compte_id, type, cible, competence, semaine, actif, cree_par)
    values (o.organisation_id, o.compte_id, o.type, o.cible, o.competence, o.semaine, o.actif, moi)
    returning * into o;
  else
    update public.objectifs_equipe
       set compte_id = o.compte_id, type = o.type, cible = o.cible, competence = o.competence,
           semaine = o.semaine, actif = o.actif, maj_le = now()
     where id = existant.id returning * into o;
  end if;
  return prive.objectif_json(o, moi);
end
$$;

create function public.supprimer_objectif(p_id text) returns void
language plpgsql security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
begin
  perform prive.exiger_gestionnaire(m);
  delete from public.objectifs_equipe where id = prive.uuid_parametre(p_id, 'p_id') and organisation_id = m.organisation_id;
  if not found then
    raise exception using errcode = 'P0001', message = 'Cet objectif a été supprimé.', hint = 'objectif_introuvable';
  end if;
end
$$;

-- Carries the previous week's active objectives over to the week of p_semaine
-- (the current week by default), except those the week already has (same
-- member, type and skill). Answers {"repris": count, "objectifs": the week}.
create function public.reprendre_objectifs(p_semaine text default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  lundi date := prive.semaine_parametre(p_semaine, 'p_semaine');
  n integer;
begin
  perform prive.exiger_gestionnaire(m);
  insert into public.objectifs_equipe (organisation_id, compte_id, type, cible, competence, semaine, actif, cree_par)
  select o.organisation_id, o.compte_id, o.type, o.cible, o.competence, lundi, true, moi
    from public.objectifs_equipe o
   where o.organisation_id = m.organisation_id and o.semaine = lundi - 7 and o.actif
     and (o.compte_id is null or exists (select 1 from public.membres x
                                          where x.compte_id = o.compte_id and x.organisation_id = m.organisation_id))
     and not exists (select 1 from public.objectifs_equipe d
                      where d.organisation_id = o.organisation_id and d.semaine = lundi
                        and d.compte_id is not distinct from o.compte_id and d.type = o.type
                        and d.competence is not distinct from o.competence)
   order by o.cree_le;
  get diagnostics n = row_count;
  return jsonb_build_object('repris', n, 'objectifs', public.objectifs_semaine(to_char(lundi, 'YYYY-MM-DD')));
end
$$;

-- The members ranked by their mean call score over the last p_periode_jours
-- days (ties share a rank; no analysed call, no rank), with the previous period
-- of the same length and this week's active objectives.
create function public.classement_equipe(p_periode_jours numeric default 30) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  jours integer;
  v_fin timestamptz := now();
  v_debut timestamptz;
  lundi date := prive.lundi_courant();
begin
  if p_periode_jours is null or p_periode_jours <> trunc(p_periode_jours) or p_periode_jours not between 1 and 365 then
    raise exception using errcode = '22023', message = 'Paramètre p_periode_jours invalide : un entier de 1 à 365.';
  end if;
  jours := p_periode_jours::integer;
  v_debut := v_fin - make_interval(days => jours);
  return jsonb_build_object(
    'periode_jours', jours, 'debut', prive.instant_json(v_debut), 'fin', prive.instant_json(v_fin),
    'membres', (
      with membres as (
        select x.compte_id, x.role_org, coalesce(c.nom, c.email) as nom
          from public.membres x join public.comptes c on c.id = x.compte_id
         where x.organisation_id = m.organisation_id
      ),
      -- Both periods' calls of the whole team in one read.
      appels as (
        select a.compte_id, a.debut >= v_debut as courant, a.score
          from prive.appels_periode((select array_agg(mb.compte_id) from membres mb),
                                    v_debut - make_interval(days => jours), v_fin) a
      ),
      -- This week's active objectives, measured once for the whole team.
      semaine as (
        select x.* from prive.mesures_semaine(m.organisation_id, lundi) x
          join public.objectifs_equipe o on o.id = x.objectif_id and o.actif
      ),
      chiffres as (
        select mb.*,
               (select count(*) from appels a where a.compte_id = mb.compte_id and a.courant) as appels,
               (select round(avg(a.score), 1) from appels a where a.compte_id = mb.compte_id and a.courant) as score,
               (select round(avg(a.score), 1) from appels a where a.compte_id = mb.compte_id and not a.courant) as precedent,
               (select count(*) from public.objectifs_equipe o
                 where o.organisation_id = m.organisation_id and o.semaine = lundi and o.actif
                   and (o.compte_id is null or o.compte_id = mb.compte_id)) as objectifs,
               (select count(*) from semaine x where x.compte_id = mb.compte_id and x.atteint) as atteints
          from membres mb
      ),
      classes as (
        select ch.*, case when ch.score is not null then rank() over (order by ch.score desc nulls last) end as rang
          from chiffres ch
      )
      select coalesce(jsonb_agg(jsonb_build_object(
               'rang', k.rang, 'compte_id', k.compte_id, 'nom', k.nom, 'role_org', k.role_org, 'appels', k.appels,
               'score_moyen', k.score, 'score_moyen_precedent', k.precedent, 'progression', k.score - k.precedent,
               'objectifs', k.objectifs, 'objectifs_atteints', k.atteints, 'moi', k.compte_id = moi)
               order by k.rang nulls last, k.nom, k.compte_id), '[]'::jsonb)
        from classes k));
end
$$;

revoke all on function prive.nombre(jsonb), prive.appels_periode(uuid[], timestamptz, timestamptz),
  prive.lundi(date), prive.lundi_courant(), prive.debut_semaine(date), prive.semaine_parametre(text, text),
  prive.nombre_texte(numeric), prive.libelle_objectif(text, numeric, text),
  prive.mesures_semaine(uuid, date, uuid), prive.objectif_atteint(text, numeric, numeric),
  prive.objectif_json(public.objectifs_equipe, uuid),
  public.objectifs_semaine(text), public.fixer_objectif(jsonb), public.supprimer_objectif(text),
  public.reprendre_objectifs(text), public.classement_equipe(numeric)
  from public, anon, authenticated;
grant execute on function public.objectifs_semaine(text), public.fixer_objectif(jsonb), public.supprimer_objectif(text),
  public.reprendre_objectifs(text), public.classement_equipe(numeric) to authenticated;
