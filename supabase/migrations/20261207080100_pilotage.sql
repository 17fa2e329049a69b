-- Team steering: the team's alert thresholds and the manager syntheses of calls.

create table public.seuils_equipe (
  organisation_id uuid primary key references public.organisations (id) on delete cascade,
  retard_minutes double precision not null default 2 check (retard_minutes between 0 and 60),
  suivi_framework_min double precision not null default 60 check (suivi_framework_min between 0 and 100),
  score_bas double precision not null default 50 check (score_bas between 0 and 100),
  maj_par uuid references public.comptes (id) on delete set null,
  maj_le timestamptz not null default now()
);

create table public.syntheses_manager (
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  appel_compte_id uuid not null references public.comptes (id) on delete cascade,
  appel_id text not null,
  contenu jsonb not null check (jsonb_typeof(contenu) = 'object'),
  source text,
  depose_par uuid references public.comptes (id) on delete set null,
  depose_le timestamptz not null default now(),
  primary key (appel_compte_id, appel_id)
);
create index syntheses_manager_equipe on public.syntheses_manager (organisation_id, appel_id);

alter table public.seuils_equipe enable row level security;
alter table public.syntheses_manager enable row level security;
revoke all on public.seuils_equipe, public.syntheses_manager from anon, authenticated;
grant select on public.seuils_equipe, public.syntheses_manager to authenticated;
grant all on public.seuils_equipe, public.syntheses_manager to service_role;
create policy seuils_equipe_lire on public.seuils_equipe for select to authenticated
  using (organisation_id = prive.organisation_de((select auth.uid())));
create policy syntheses_manager_lire on public.syntheses_manager for select to authenticated
  using (organisation_id = prive.organisation_de((select auth.uid()))
         and prive.role_dans_equipe((select auth.uid())) in ('proprietaire', 'manager'));

create function prive.seuils_json(p_organisation uuid, p_gestionnaire boolean) returns jsonb
language sql stable security definer set search_path = ''
as $$
  select jsonb_build_object('retardMinutes', coalesce(s.retard_minutes, 2),
                            'suiviFrameworkMin', coalesce(s.suivi_framework_min, 60),
                            'scoreBas', coalesce(s.score_bas, 50),
                            'modifiable', p_gestionnaire,
                            'majLe', prive.instant_json(s.maj_le))
    from (select 1) x left join public.seuils_equipe s on s.organisation_id = p_organisation
$$;

create function public.lire_seuils_equipe() returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
begin
  return prive.seuils_json(m.organisation_id, m.role_org in ('proprietaire', 'manager'));
end
$$;

-- A threshold as sent (a number), clamped to its range; null keeps the current value.
create function prive.seuil_parametre(p numeric, p_nom text, p_max numeric) returns double precision
language plpgsql immutable
as $$
begin
  if p is null then
    return null;
  end if;
  if p = 'NaN'::numeric then
    raise exception using errcode = '22023', message = format('Paramètre %s invalide : un nombre.', p_nom);
  end if;
  return least(greatest(p, 0), p_max)::double precision;
end
$$;

create function public.regler_seuils_equipe(p_retard_minutes numeric default null,
                                            p_suivi_framework_min numeric default null,
                                            p_score_bas numeric default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  retard double precision := prive.seuil_parametre(p_retard_minutes, 'p_retard_minutes', 60);
  suivi double precision := prive.seuil_parametre(p_suivi_framework_min, 'p_suivi_framework_min', 100);
  score double precision := prive.seuil_parametre(p_score_bas, 'p_score_bas', 100);
begin
  perform prive.exiger_gestionnaire(m);
  insert into public.seuils_equipe as s (organisation_id, retard_minutes, suivi_framework_min, score_bas, maj_par)
  values (m.organisation_id, coalesce(retard, 2), coalesce(suivi, 60), coalesce(score, 50), moi)
  on conflict (organisation_id) do update
     set retard_minutes = coalesce(retard, s.retard_minutes),
         suivi_framework_min = coalesce(suivi, s.suivi_framework_min),
         score_bas = coalesce(score, s.score_bas),
         maj_par = moi, maj_le = now();
  return prive.seuils_json(m.organisation_id, true);
end
$$;

-- A manager of the call's salesperson files the synthesis written on their
-- machine; a later one replaces it.
create function public.deposer_synthese_manager(p_appel_id text, p_contenu jsonb, p_source text default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  proprietaire uuid;
  source text;
  s public.syntheses_manager;
begin
  perform prive.exiger_gestionnaire(m);
  proprietaire := prive.appel_visible(moi, p_appel_id);
  if p_contenu is null or jsonb_typeof(p_contenu) <> 'object' or p_contenu = '{}'::jsonb
     or octet_length(p_contenu::text) > 50000 then
    raise exception using errcode = 'P0001', message = 'Cette synthèse est illisible.', hint = 'synthese_invalide';
  end if;
  source := prive.texte_parametre(p_source, 'p_source', 60, true);
  insert into public.syntheses_manager as t (organisation_id, appel_compte_id, appel_id, contenu, source, depose_par)
  values (m.organisation_id, proprietaire, p_appel_id, p_contenu, source, moi)
  on conflict (appel_compte_id, appel_id) do update
     set organisation_id = excluded.organisation_id, contenu = excluded.contenu, source = excluded.source,
         depose_par = excluded.depose_par, depose_le = now()
  returning * into s;
  return jsonb_build_object('appel_id', s.appel_id, 'contenu', s.contenu, 'source', s.source,
                            'depose_le', prive.instant_json(s.depose_le));
end
$$;

-- The team's stored syntheses of the named calls (at most 500 ids), for its managers.
create function public.lire_syntheses_manager(p_appel_ids jsonb) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
  ids text[];
begin
  perform prive.exiger_gestionnaire(m);
  if p_appel_ids is null or jsonb_typeof(p_appel_ids) <> 'array' or jsonb_array_length(p_appel_ids) > 500
     or exists (select 1 from jsonb_array_elements(p_appel_ids) e where jsonb_typeof(e) <> 'string') then
    raise exception using errcode = '22023', message = 'Paramètre p_appel_ids invalide : une liste de 500 identifiants au plus.';
  end if;
  select array_agg(e) into ids from jsonb_array_elements_text(p_appel_ids) e;
  return (select coalesce(jsonb_agg(jsonb_build_object('appel_id', s.appel_id, 'compte_id', s.appel_compte_id,
                                                       'contenu', s.contenu, 'source', s.source,
                                                       'depose_le', prive.instant_json(s.depose_le))
                                    order by s.appel_id), '[]'::jsonb)
            from public.syntheses_manager s
           where s.organisation_id = m.organisation_id and s.appel_id = any (ids)
             and exists (select 1 from public.membres x where x.compte_id = s.appel_compte_id
                            and x.organisation_id = m.organisation_id));
end
$$;

revoke all on function prive.seuils_json(uuid, boolean), prive.seuil_parametre(numeric, text, numeric),
  public.lire_seuils_equipe(), public.regler_seuils_equipe(numeric, numeric, numeric),
  public.deposer_synthese_manager(text, jsonb, text), public.lire_syntheses_manager(jsonb)
  from public, anon, authenticated;
grant execute on function public.lire_seuils_equipe(), public.regler_seuils_equipe(numeric, numeric, numeric),
  public.deposer_synthese_manager(text, jsonb, text), public.lire_syntheses_manager(jsonb) to authenticated;
