-- The Monday report: last week's figures of a team and of each member, computed
-- from the members' synchronised calls (prive.calculer_rapport), stored once a
-- week per team. A written synthesis (synthese, modele) may be filed later by
-- the service's own job with the language model; until then the report carries
-- a plain French summary of the figures, with the source "calcul".

create table public.rapports_equipe (
  id uuid primary key default gen_random_uuid(),
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  semaine date not null check (extract(isodow from semaine) = 1),
  chiffres jsonb not null,
  synthese text,
  modele text,
  genere_le timestamptz not null default now(),
  cree_le timestamptz not null default now(),
  unique (organisation_id, semaine)
);

alter table public.rapports_equipe enable row level security;
revoke all on public.rapports_equipe from anon, authenticated;
grant select on public.rapports_equipe to authenticated;
grant all on public.rapports_equipe to service_role;
create policy rapports_equipe_lire on public.rapports_equipe for select to authenticated
  using (organisation_id = prive.organisation_de((select auth.uid())));

-- "2 mars 2026".
create function prive.jour_texte(p date) returns text
language sql immutable
as $$
  select extract(day from p)::integer::text || ' '
      || (array['janvier', 'février', 'mars', 'avril', 'mai', 'juin', 'juillet', 'août', 'septembre',
                'octobre', 'novembre', 'décembre'])[extract(month from p)::integer]
      || ' ' || extract(year from p)::integer::text
$$;

-- "3 h 05" or "45 min".
create function prive.duree_texte(p_sec numeric) returns text
language sql immutable
as $$
  select case when p_sec >= 3600
    then (floor(p_sec / 3600))::integer::text || ' h ' || lpad((floor(p_sec / 60))::integer % 60 || '', 2, '0')
    else round(p_sec / 60)::integer::text || ' min' end
$$;

create function prive.calculer_rapport(p_organisation uuid, p_lundi date) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  v_debut timestamptz := prive.debut_semaine(p_lundi);
  v_fin timestamptz := prive.debut_semaine(p_lundi + 7);
  v_precedent timestamptz := prive.debut_semaine(p_lundi - 7);
  membres uuid[];
  par_membre jsonb;
  equipe jsonb;
  faits jsonb := '[]'::jsonb;
  resume text;
  meilleur record;
  progres record;
  sans_appel text;
begin
  select coalesce(array_agg(compte_id), array[]::uuid[]) into membres
    from public.membres where organisation_id = p_organisation;

  -- The two weeks' calls, read once for the team line and the members' lines.
  create temporary table if not exists vd_rapport_appels (compte_id uuid, id text, cette_semaine boolean, duree numeric,
    score numeric, part_parole numeric, questions numeric, dimensions jsonb) on commit drop;
  truncate pg_temp.vd_rapport_appels;
  -- The week's active objectives, measured once.
  create temporary table if not exists vd_rapport_objectifs (objectif_id uuid, compte_id uuid, atteint boolean) on commit drop;
  truncate pg_temp.vd_rapport_objectifs;
  insert into pg_temp.vd_rapport_objectifs
  select x.objectif_id, x.compte_id, x.atteint from prive.mesures_semaine(p_organisation, p_lundi) x
    join public.objectifs_equipe o on o.id = x.objectif_id and o.actif;
  insert into pg_temp.vd_rapport_appels
  select a.compte_id, a.id, a.debut >= v_debut, a.duree, a.score, a.part_parole, a.questions, a.dimensions
    from prive.appels_periode(membres, v_precedent, v_fin) a;

  -- One line per member (and a team line over every member's calls).
  with lignes as (
    select c.compte, p.nom_affiche, m.role_org,
           count(v.id) filter (where v.cette_semaine) as appels,
           coalesce(sum(v.duree) filter (where v.cette_semaine), 0) as duree,
           round(avg(v.score) filter (where v.cette_semaine), 1) as score,
           round(avg(v.score) filter (where not v.cette_semaine), 1) as score_prec,
           round(avg(v.part_parole) filter (where v.cette_semaine), 1) as part,
           round(avg(v.questions) filter (where v.cette_semaine), 1) as questions
      from unnest(membres) c (compte)
      join public.membres m on m.compte_id = c.compte
      cross join lateral (select coalesce(k.nom, k.email) as nom_affiche from public.comptes k where k.id = c.compte) p
      left join pg_temp.vd_rapport_appels v on v.compte_id = c.compte
     group by c.compte, p.nom_affiche, m.role_org
  ),
  objectifs as (
    select c.compte, count(x.objectif_id) as nombre, count(x.objectif_id) filter (where x.atteint) as atteints
      from unnest(membres) c (compte)
      left join pg_temp.vd_rapport_objectifs x on x.compte_id = c.compte
     group by c.compte
  )
  select coalesce(jsonb_agg(jsonb_build_object(
           'compte_id', l.compte, 'nom', l.nom_affiche, 'role_org', l.role_org, 'appels', l.appels,
           'duree_totale_sec', l.duree, 'score_moyen', l.score, 'score_moyen_precedent', l.score_prec,
           'progression', l.score - l.score_prec, 'part_parole', l.part, 'questions_par_appel', l.questions,
           'competences', coalesce((select jsonb_object_agg(d.cle, d.moyenne)
                                      from (select e.key as cle, round(avg(prive.nombre(e.value -> 'score')), 1) as moyenne
                                              from pg_temp.vd_rapport_appels v, jsonb_each(coalesce(v.dimensions, '{}'::jsonb)) e
                                             where v.compte_id = l.compte and v.cette_semaine and jsonb_typeof(e.value) = 'object'
                                             group by e.key) d where d.moyenne is not null), '{}'::jsonb),
           'jetons', null,
           'appels_epingles', (select count(*) from public.appels_exemplaires e join pg_temp.vd_rapport_appels v
                                 on v.compte_id = e.appel_compte_id and v.id = e.appel_id and v.cette_semaine
                                where e.organisation_id = p_organisation and e.appel_compte_id = l.compte),
           'objectifs', ob.nombre, 'objectifs_atteints', ob.atteints)
           order by l.appels desc, l.nom_affiche, l.compte), '[]'::jsonb)
    into par_membre
    from lignes l join objectifs ob on ob.compte = l.compte;

  select jsonb_build_object(
           'compte_id', null, 'nom', null, 'role_org', null, 'membres', cardinality(membres),
           'appels', count(*) filter (where v.cette_semaine),
           'duree_totale_sec', coalesce(sum(v.duree) filter (where v.cette_semaine), 0),
           'score_moyen', round(avg(v.score) filter (where v.cette_semaine), 1),
           'score_moyen_precedent', round(avg(v.score) filter (where not v.cette_semaine), 1),
           'progression', round(avg(v.score) filter (where v.cette_semaine), 1)
                          - round(avg(v.score) filter (where not v.cette_semaine), 1),
           'part_parole', round(avg(v.part_parole) filter (where v.cette_semaine), 1),
           'questions_par_appel', round(avg(v.questions) filter (where v.cette_semaine), 1),
           'competences', coalesce((select jsonb_object_agg(d.cle, d.moyenne)
                                      from (select e.key as cle, round(avg(prive.nombre(e.value -> 'score')), 1) as moyenne
                                              from pg_temp.vd_rapport_appels w, jsonb_each(coalesce(w.dimensions, '{}'::jsonb)) e
                                             where w.cette_semaine and jsonb_typeof(e.value) = 'object'
                                             group by e.key) d where d.moyenne is not null), '{}'::jsonb),
           'jetons', null,
           'appels_epingles', (select count(*) from public.appels_exemplaires e join pg_temp.vd_rapport_appels w
                                 on w.compte_id = e.appel_compte_id and w.id = e.appel_id and w.cette_semaine
                                where e.organisation_id = p_organisation),
           'objectifs', (select count(*) from public.objectifs_equipe o
                          where o.organisation_id = p_organisation and o.semaine = p_lundi and o.actif),
           'objectifs_atteints', (select count(*) from pg_temp.vd_rapport_objectifs x
                                   where x.compte_id is null and x.atteint))
    into equipe
    from pg_temp.vd_rapport_appels v;

  -- Key facts and the plain summary, in French.
  if (equipe ->> 'appels')::integer = 0 then
    resume := format('Semaine du %s : aucun appel synchronisé dans l''équipe.', prive.jour_texte(p_lundi));
    faits := jsonb_build_array('Aucun appel synchronisé cette semaine.');
  else
    resume := format('Semaine du %s : %s, %s au téléphone', prive.jour_texte(p_lundi),
                     case when (equipe ->> 'appels')::integer = 1 then '1 appel'
                          else (equipe ->> 'appels') || ' appels' end,
                     prive.duree_texte((equipe ->> 'duree_totale_sec')::numeric));
    if equipe ->> 'score_moyen' is not null then
      resume := resume || ', score moyen ' || prive.nombre_texte((equipe ->> 'score_moyen')::numeric)
             || case when equipe ->> 'score_moyen_precedent' is not null
                     then ' (' || prive.nombre_texte((equipe ->> 'score_moyen_precedent')::numeric) || ' la semaine précédente)'
                     else '' end;
    end if;
    resume := resume || '.';
    if equipe ->> 'part_parole' is not null then
      resume := resume || ' Temps de parole moyen des commerciaux : '
             || prive.nombre_texte((equipe ->> 'part_parole')::numeric) || ' %'
             || coalesce(', ' || prive.nombre_texte((equipe ->> 'questions_par_appel')::numeric) || ' questions par appel', '')
             || '.';
    end if;
    if (equipe ->> 'objectifs')::integer > 0 then
      resume := resume || format(' Objectifs atteints : %s sur %s.', equipe ->> 'objectifs_atteints', equipe ->> 'objectifs');
    end if;

    select e ->> 'nom' as nom, (e ->> 'score_moyen')::numeric as score into meilleur
      from jsonb_array_elements(par_membre) e where e ->> 'score_moyen' is not null
     order by (e ->> 'score_moyen')::numeric desc, e ->> 'nom' limit 1;
    if meilleur.nom is not null then
      faits := faits || to_jsonb(format('Meilleur score moyen : %s (%s).', meilleur.nom, prive.nombre_texte(meilleur.score)));
    end if;
    select e ->> 'nom' as nom, (e ->> 'progression')::numeric as points into progres
      from jsonb_array_elements(par_membre) e where (e ->> 'progression')::numeric > 0
     order by (e ->> 'progression')::numeric desc, e ->> 'nom' limit 1;
    if progres.nom is not null then
      faits := faits || to_jsonb(format('Plus forte progression : %s (+%s points).', progres.nom, prive.nombre_texte(progres.points)));
    end if;
    select string_agg(e ->> 'nom', ', ' order by e ->> 'nom') into sans_appel
      from jsonb_array_elements(par_membre) e where (e ->> 'appels')::integer = 0;
    if sans_appel is not null then
      faits := faits || to_jsonb('Sans appel cette semaine : ' || sans_appel || '.');
    end if;
    if (equipe ->> 'appels_epingles')::integer > 0 then
      faits := faits || to_jsonb(format('Appels épinglés comme exemples : %s.', equipe ->> 'appels_epingles'));
    end if;
  end if;

  return jsonb_build_object('equipe', equipe, 'par_membre', par_membre, 'faits_marquants', faits, 'resume', resume);
end
$$;

create function prive.rapport_json(r public.rapports_equipe) returns jsonb
language sql stable
as $$
  select jsonb_build_object(
    'id', r.id, 'semaine', to_char(r.semaine, 'YYYY-MM-DD'), 'cree_le', prive.instant_json(r.cree_le),
    'contenu', jsonb_build_object(
      'semaine', to_char(r.semaine, 'YYYY-MM-DD'),
      'debut', prive.instant_json(prive.debut_semaine(r.semaine)),
      'fin', prive.instant_json(prive.debut_semaine(r.semaine + 7)),
      'synthese', coalesce(r.synthese, r.chiffres ->> 'resume'),
      'synthese_source', case when r.synthese is null then 'calcul' else 'modele' end,
      'modele', case when r.synthese is not null then r.modele end,
      'genere_le', prive.instant_json(r.genere_le),
      'faits_marquants', r.chiffres -> 'faits_marquants',
      'equipe', r.chiffres -> 'equipe',
      'par_membre', r.chiffres -> 'par_membre'))
$$;

-- (Re)computes one team's report of the week starting p_lundi; a written
-- synthesis already filed is kept.
create function prive.generer_rapport(p_organisation uuid, p_lundi date) returns public.rapports_equipe
language plpgsql security definer set search_path = ''
as $$
declare
  r public.rapports_equipe;
begin
  insert into public.rapports_equipe as t (organisation_id, semaine, chiffres)
  values (p_organisation, p_lundi, prive.calculer_rapport(p_organisation, p_lundi))
  on conflict (organisation_id, semaine) do update set chiffres = excluded.chiffres, genere_le = now()
  returning * into r;
  return r;
end
$$;

-- The scheduled job: last week's report of every team with members.
create function prive.generer_rapports_semaine(p_lundi date default null) returns integer
language plpgsql security definer set search_path = ''
as $$
declare
  lundi date := coalesce(prive.lundi(p_lundi), prive.lundi_courant() - 7);
  o uuid;
  n integer := 0;
begin
  for o in select distinct m.organisation_id from public.membres m loop
    perform prive.generer_rapport(o, lundi);
    n := n + 1;
  end loop;
  return n;
end
$$;

-- On demand, by a manager: the report of the week of p_semaine (last week by default).
create function public.generer_rapport_equipe(p_semaine text default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
  lundi date;
begin
  perform prive.exiger_gestionnaire(m);
  lundi := case when p_semaine is null then prive.lundi_courant() - 7 else prive.semaine_parametre(p_semaine, 'p_semaine') end;
  if lundi > prive.lundi_courant() then
    raise exception using errcode = '22023', message = 'Paramètre p_semaine invalide : une semaine à venir n''a pas de rapport.';
  end if;
  return prive.rapport_json(prive.generer_rapport(m.organisation_id, lundi));
end
$$;

create function public.lire_rapports_equipe(p_limite numeric default 12) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
begin
  if p_limite is null or p_limite <> trunc(p_limite) or p_limite not between 1 and 52 then
    raise exception using errcode = '22023', message = 'Paramètre p_limite invalide : un entier de 1 à 52.';
  end if;
  return (select coalesce(jsonb_agg(prive.rapport_json(r) order by r.semaine desc), '[]'::jsonb)
            from (select * from public.rapports_equipe x where x.organisation_id = m.organisation_id
                   order by x.semaine desc limit p_limite::integer) r);
end
$$;

-- For the service's own job (service role only): the written synthesis of a report.
create function public.deposer_synthese_rapport(p_organisation_id uuid, p_semaine text, p_synthese text,
                                                p_modele text default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  r public.rapports_equipe;
begin
  update public.rapports_equipe
     set synthese = prive.texte_parametre(p_synthese, 'p_synthese', 20000),
         modele = prive.texte_parametre(p_modele, 'p_modele', 200, true)
   where organisation_id = p_organisation_id and semaine = prive.semaine_parametre(p_semaine, 'p_semaine')
  returning * into r;
  if not found then
    raise exception using errcode = 'P0001', message = 'Ce rapport est introuvable.', hint = 'rapport_introuvable';
  end if;
  return prive.rapport_json(r);
end
$$;

revoke all on function prive.jour_texte(date), prive.duree_texte(numeric), prive.calculer_rapport(uuid, date),
  prive.rapport_json(public.rapports_equipe), prive.generer_rapport(uuid, date), prive.generer_rapports_semaine(date),
  public.generer_rapport_equipe(text), public.lire_rapports_equipe(numeric),
  public.deposer_synthese_rapport(uuid, text, text, text)
  from public, anon, authenticated;
grant execute on function public.generer_rapport_equipe(text), public.lire_rapports_equipe(numeric) to authenticated;
grant execute on function public.deposer_synthese_rapport(uuid, text, text, text), prive.generer_rapports_semaine(date)
  to service_role;

-- Every Monday at 05:00 UTC (06:00 or 07:00 in Paris), where the host has pg_cron.
-- Without it (a plain PostgreSQL), the migration still applies and the report
-- is made on demand by generer_rapport_equipe.
do $$
begin
  if not exists (select 1 from pg_extension where extname = 'pg_cron')
     and exists (select 1 from pg_available_extensions where name = 'pg_cron') then
    begin
      -- The schema Supabase documents for it; elsewhere it may fail (not preloaded): the job is then skipped.
      create extension pg_cron with schema pg_catalog;
    exception when others then
      raise notice 'pg_cron indisponible (%), rapports hebdomadaires à la demande seulement.', sqlerrm;
    end;
  end if;
  if exists (select 1 from pg_extension where extname = 'pg_cron') then
    perform cron.schedule('vendalo-rapports-equipe', '0 5 * * 1', 'select prive.generer_rapports_semaine()');
  end if;
end
$$;
