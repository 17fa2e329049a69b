-- Team coaching: comments on calls (at a moment of the call or on the whole
-- call) and exemplary calls pinned by a manager for the whole team. A call is
-- named by its owner and its id (the primary key of public.appels); the
-- procedures take the id alone and find the call among those the caller may see.

create table public.commentaires_appels (
  id uuid primary key default gen_random_uuid(),
  appel_compte_id uuid not null references public.comptes (id) on delete cascade,
  appel_id text not null,
  auteur_id uuid references public.comptes (id) on delete set null,
  t_ms integer check (t_ms is null or t_ms >= 0),
  texte text not null check (length(texte) between 1 and 2000),
  -- clock_timestamp, not now(): the unread mark is a server instant taken
  -- before the fetch, and a long transaction's start could fall before it.
  cree_le timestamptz not null default clock_timestamp(),
  maj_le timestamptz not null default clock_timestamp()
);
create index commentaires_appels_appel on public.commentaires_appels (appel_compte_id, appel_id, cree_le);
create index commentaires_appels_recents on public.commentaires_appels (appel_compte_id, cree_le);

create table public.appels_exemplaires (
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  appel_compte_id uuid not null references public.comptes (id) on delete cascade,
  appel_id text not null,
  note text check (note is null or length(note) <= 1000),
  epingle_par uuid references public.comptes (id) on delete set null,
  epingle_le timestamptz not null default now(),
  primary key (appel_compte_id, appel_id)
);
create index appels_exemplaires_equipe on public.appels_exemplaires (organisation_id, epingle_le desc);

alter table public.commentaires_appels enable row level security;
alter table public.appels_exemplaires enable row level security;
-- Writes go through the procedures only; direct reads follow the same rules.
revoke all on public.commentaires_appels, public.appels_exemplaires from anon, authenticated;
grant select on public.commentaires_appels, public.appels_exemplaires to authenticated;
grant all on public.commentaires_appels, public.appels_exemplaires to service_role;
create policy commentaires_appels_lire on public.commentaires_appels for select to authenticated
  using (appel_compte_id = (select auth.uid()) or prive.gere(appel_compte_id));
create policy appels_exemplaires_lire on public.appels_exemplaires for select to authenticated
  using (organisation_id = prive.organisation_de((select auth.uid())));

-- The caller's team membership, or the business refusal for an account outside a team.
create function prive.membre_equipe(p_compte uuid) returns public.membres
language plpgsql stable security definer set search_path = ''
as $$
declare
  m public.membres;
begin
  select * into m from public.membres where compte_id = p_compte;
  if not found then
    raise exception using errcode = 'P0001', message = 'Cette fonction demande un compte d''équipe Vendalo.',
                          hint = 'equipe_requise';
  end if;
  return m;
end
$$;

create function prive.exiger_gestionnaire(p_membre public.membres) returns void
language plpgsql immutable
as $$
begin
  if p_membre.role_org not in ('proprietaire', 'manager') then
    raise exception using errcode = '42501', message = 'Seul un manager de l''équipe peut faire cela.',
                          hint = 'action_interdite';
  end if;
end
$$;

-- The owner of the call p_appel_id that p_moi may see (their own call first,
-- then a call of a member of the team they manage), or appel_introuvable.
create function prive.appel_visible(p_moi uuid, p_appel_id text) returns uuid
language plpgsql stable security definer set search_path = ''
as $$
declare
  proprietaire uuid;
begin
  if p_appel_id is null or length(p_appel_id) not between 1 and 200 then
    raise exception using errcode = '22023', message = 'Paramètre p_appel_id invalide.';
  end if;
  select a.compte_id into proprietaire from public.appels a
   where a.id = p_appel_id and a.supprime_le is null
     and (a.compte_id = p_moi or exists (
            select 1 from public.membres moi join public.membres lui using (organisation_id)
             where moi.compte_id = p_moi and lui.compte_id = a.compte_id
               and moi.role_org in ('proprietaire', 'manager')))
   order by a.compte_id = p_moi desc, a.cree_le
   limit 1;
  if proprietaire is null then
    raise exception using errcode = 'P0001', message = 'Cet appel est introuvable.', hint = 'appel_introuvable';
  end if;
  return proprietaire;
end
$$;

create function prive.texte_parametre(p_valeur text, p_nom text, p_max integer, p_vide_permis boolean default false)
returns text
language plpgsql immutable
as $$
declare
  t text := btrim(coalesce(p_valeur, ''), E' \t\r\n');
begin
  if (t = '' and not p_vide_permis) or length(t) > p_max then
    raise exception using errcode = '22023',
      message = format('Paramètre %s invalide : de %s à %s caractères.', p_nom, case when p_vide_permis then 0 else 1 end, p_max);
  end if;
  return nullif(t, '');
end
$$;

-- A moment of the call in milliseconds (a JSON number may carry decimals), or null.
create function prive.t_ms_parametre(p numeric) returns integer
language plpgsql immutable
as $$
begin
  if p is null then
    return null;
  end if;
  if p = 'NaN'::numeric or p < 0 or p >= 1000000000 then
    raise exception using errcode = '22023', message = 'Paramètre p_t_ms invalide : un nombre de millisecondes positif.';
  end if;
  return round(p)::integer;
end
$$;

create function prive.commentaire_json(c public.commentaires_appels, p_moi uuid, p_avec_appel boolean) returns jsonb
language sql stable security definer set search_path = ''
as $$
  select jsonb_build_object(
    'id', c.id, 'appel_id', c.appel_id, 'auteur_id', c.auteur_id,
    'auteur_nom', (select coalesce(p.nom, p.email) from public.comptes p where p.id = c.auteur_id),
    't_ms', c.t_ms, 'texte', c.texte,
    'cree_le', prive.instant_json(c.cree_le), 'maj_le', prive.instant_json(c.maj_le),
    'modifiable', c.auteur_id = p_moi,
    'supprimable', c.auteur_id = p_moi or prive.gere(c.appel_compte_id))
  || case when p_avec_appel then jsonb_build_object('appel', (
       select jsonb_build_object('id', a.id, 'compte_id', a.compte_id, 'contact_id', a.donnees ->> 'contactId',
                                 'type', a.donnees ->> 'type', 'debut', a.donnees ->> 'debut')
         from public.appels a where a.compte_id = c.appel_compte_id and a.id = c.appel_id))
     else '{}'::jsonb end
$$;

-- Comments written on the caller's own calls after p_depuis (excluded), oldest
-- first, so that a full page's newest comment is the next mark.
create function public.commentaires_recents(p_depuis text default null, p_limite numeric default 100) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  depuis timestamptz := '-infinity';
  limite integer;
begin
  if p_depuis is not null then
    depuis := prive.instant(p_depuis);
    if depuis is null then
      raise exception using errcode = '22023', message = 'Paramètre p_depuis invalide : un instant ISO 8601.';
    end if;
  end if;
  if p_limite is null or p_limite <> trunc(p_limite) or p_limite not between 1 and 100 then
    raise exception using errcode = '22023', message = 'Paramètre p_limite invalide : un entier de 1 à 100.';
  end if;
  limite := p_limite::integer;
  return (select coalesce(jsonb_agg(prive.commentaire_json(c, moi, true) order by c.cree_le, c.id), '[]'::jsonb)
            from (select * from public.commentaires_appels x
                   where x.appel_compte_id = moi and x.cree_le > depuis
                   order by x.cree_le, x.id limit limite) c);
end
$$;

create function public.lire_commentaires(p_appel_id text) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  proprietaire uuid := prive.appel_visible(moi, p_appel_id);
begin
  return (select coalesce(jsonb_agg(prive.commentaire_json(c, moi, false) order by c.cree_le, c.id), '[]'::jsonb)
            from public.commentaires_appels c
           where c.appel_compte_id = proprietaire and c.appel_id = p_appel_id);
end
$$;

create function public.commenter_appel(p_appel_id text, p_texte text, p_t_ms numeric default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  proprietaire uuid := prive.appel_visible(moi, p_appel_id);
  c public.commentaires_appels;
begin
  insert into public.commentaires_appels (appel_compte_id, appel_id, auteur_id, t_ms, texte)
  values (proprietaire, p_appel_id, moi, prive.t_ms_parametre(p_t_ms), prive.texte_parametre(p_texte, 'p_texte', 2000))
  returning * into c;
  return prive.commentaire_json(c, moi, false);
end
$$;

-- The comment p_id, locked, if the caller may still see its call; else commentaire_introuvable.
create function prive.commentaire_visible(p_moi uuid, p_id text) returns public.commentaires_appels
language plpgsql security definer set search_path = ''
as $$
declare
  c public.commentaires_appels;
begin
  select * into c from public.commentaires_appels x
   where x.id = prive.uuid_parametre(p_id, 'p_id')
     and (x.appel_compte_id = p_moi or x.auteur_id = p_moi or prive.gere(x.appel_compte_id))
   for update;
  if not found then
    raise exception using errcode = 'P0001', message = 'Ce commentaire a été supprimé.', hint = 'commentaire_introuvable';
  end if;
  return c;
end
$$;

-- Only the author edits a comment: a colleague's words are not rewritten.
create function public.modifier_commentaire(p_id text, p_texte text, p_t_ms numeric default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  c public.commentaires_appels := prive.commentaire_visible(moi, p_id);
begin
  -- The author, while they may still see the call (a manager who left the team no longer may).
  if c.auteur_id is distinct from moi or not (c.appel_compte_id = moi or prive.gere(c.appel_compte_id)) then
    raise exception using errcode = '42501', message = 'Seul l''auteur d''un commentaire peut le modifier.',
                          hint = 'action_interdite';
  end if;
  update public.commentaires_appels
     set texte = prive.texte_parametre(p_texte, 'p_texte', 2000), t_ms = prive.t_ms_parametre(p_t_ms),
         maj_le = clock_timestamp()
   where id = c.id returning * into c;
  return prive.commentaire_json(c, moi, false);
end
$$;

-- The author deletes a comment, and so does a manager of the call's team
-- (moderation, and comments left by a manager who has left).
create function public.supprimer_commentaire(p_id text) returns void
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  c public.commentaires_appels := prive.commentaire_visible(moi, p_id);
begin
  if c.auteur_id is distinct from moi and not prive.gere(c.appel_compte_id) then
    raise exception using errcode = '42501', message = 'Seul l''auteur ou un manager peut supprimer ce commentaire.',
                          hint = 'action_interdite';
  end if;
  delete from public.commentaires_appels where id = c.id;
end
$$;

-- Pins whose call still exists and whose salesperson is still in the team. The
-- call is read once, without its transcript unless the whole call is asked for.
create function prive.exemplaire_json(e public.appels_exemplaires, p_avec_appel boolean) returns jsonb
language sql stable security definer set search_path = ''
as $$
  select jsonb_build_object(
    'appel_id', e.appel_id, 'note', e.note, 'epingle_par', e.epingle_par,
    'epingle_par_nom', (select coalesce(p.nom, p.email) from public.comptes p where p.id = e.epingle_par),
    'epingle_le', prive.instant_json(e.epingle_le),
    'auteur_id', e.appel_compte_id,
    'auteur_nom', (select coalesce(p.nom, p.email) from public.comptes p where p.id = e.appel_compte_id),
    'contact_id', a.d ->> 'contactId', 'type', a.d ->> 'type', 'objectif', a.d ->> 'objectif',
    'debut', a.d ->> 'debut',
    'duree', case when jsonb_typeof(a.d -> 'duree') = 'number' then (a.d ->> 'duree')::double precision end,
    'score', case when jsonb_typeof(a.d #> '{analyse,score}') = 'number'
                  then round((a.d #>> '{analyse,score}')::numeric)::integer end)
  || case when p_avec_appel then jsonb_build_object('appel', a.d || jsonb_build_object('compteId', a.compte_id))
     else '{}'::jsonb end
    from (select x.compte_id,
                 case when p_avec_appel then x.donnees else x.donnees - 'transcript' - 'aides' - 'detections' end as d
            from public.appels x
           where x.compte_id = e.appel_compte_id and x.id = e.appel_id and x.supprime_le is null
             and exists (select 1 from public.membres m where m.compte_id = e.appel_compte_id
                            and m.organisation_id = e.organisation_id)
          offset 0) a
$$;

create function public.lister_appels_exemplaires() returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
begin
  return (select coalesce(jsonb_agg(j order by e.epingle_le desc), '[]'::jsonb)
            from public.appels_exemplaires e, prive.exemplaire_json(e, false) j
           where e.organisation_id = m.organisation_id and j is not null);
end
$$;

-- The pin of one call with the call itself (its analysis and transcript, which
-- the team's salespeople may not read otherwise), or null when it is not pinned.
create function public.lire_appel_exemplaire(p_appel_id text) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  m public.membres := prive.membre_equipe(prive.utilisateur());
begin
  if p_appel_id is null or length(p_appel_id) not between 1 and 200 then
    raise exception using errcode = '22023', message = 'Paramètre p_appel_id invalide.';
  end if;
  return (select j from public.appels_exemplaires e, prive.exemplaire_json(e, true) j
           where e.organisation_id = m.organisation_id and e.appel_id = p_appel_id and j is not null
           order by e.epingle_le desc limit 1);
end
$$;

create function public.epingler_appel(p_appel_id text, p_note text default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  proprietaire uuid;
  note text;
  e public.appels_exemplaires;
begin
  perform prive.exiger_gestionnaire(m);
  proprietaire := prive.appel_visible(moi, p_appel_id);
  note := prive.texte_parametre(p_note, 'p_note', 1000, true);
  insert into public.appels_exemplaires (organisation_id, appel_compte_id, appel_id, note, epingle_par)
  values (m.organisation_id, proprietaire, p_appel_id, note, moi)
  on conflict (appel_compte_id, appel_id) do update
     set note = excluded.note, organisation_id = excluded.organisation_id
  returning * into e;
  return prive.exemplaire_json(e, false);
end
$$;

create function public.desepingler_appel(p_appel_id text) returns void
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
begin
  perform prive.exiger_gestionnaire(m);
  delete from public.appels_exemplaires e
   where e.organisation_id = m.organisation_id and e.appel_id = p_appel_id and prive.gere(e.appel_compte_id);
  if not found then
    raise exception using errcode = 'P0001', message = 'Cet appel n''est plus épinglé.', hint = 'exemplaire_introuvable';
  end if;
end
$$;

revoke all on function prive.membre_equipe(uuid), prive.exiger_gestionnaire(public.membres),
  prive.appel_visible(uuid, text), prive.texte_parametre(text, text, integer, boolean), prive.t_ms_parametre(numeric),
  prive.commentaire_json(public.commentaires_appels, uuid, boolean), prive.commentaire_visible(uuid, text),
  prive.exemplaire_json(public.appels_exemplaires, boolean),
  public.commentaires_recents(text, numeric), public.lire_commentaires(text), public.commenter_appel(text, text, numeric),
  public.modifier_commentaire(text, text, numeric), public.supprimer_commentaire(text),
  public.lister_appels_exemplaires(), public.lire_appel_exemplaire(text), public.epingler_appel(text, text),
  public.desepingler_appel(text)
  from public, anon, authenticated;
grant execute on function
  public.commentaires_recents(text, numeric), public.lire_commentaires(text), public.commenter_appel(text, text, numeric),
  public.modifier_commentaire(text, text, numeric), public.supprimer_commentaire(text),
  public.lister_appels_exemplaires(), public.lire_appel_exemplaire(text), public.epingler_appel(text, text),
  public.desepingler_appel(text)
  to authenticated;
