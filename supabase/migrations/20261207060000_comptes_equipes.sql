-- Accounts, teams (organisations with seats and roles), memberships and
-- invitations. One account belongs to at most one team.

create schema if not exists prive;
revoke all on schema prive from public;
-- Row-level policies call the helpers below as the requesting role.
grant usage on schema prive to authenticated, service_role;

create table public.comptes (
  id uuid primary key references auth.users (id) on delete cascade,
  email text not null,
  nom text,
  entreprise text,
  role text not null default 'utilisateur',
  cree_le timestamptz not null default now()
);

create table public.organisations (
  id uuid primary key default gen_random_uuid(),
  nom text not null check (length(btrim(nom)) > 0),
  sieges integer not null default 5 check (sieges >= 1),
  conservation_mois integer check (conservation_mois is null or conservation_mois >= 1),
  proprietaire_id uuid references public.comptes (id) on delete set null,
  cree_le timestamptz not null default now()
);

create table public.membres (
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  compte_id uuid not null unique references public.comptes (id) on delete cascade,
  role_org text not null check (role_org in ('proprietaire', 'manager', 'commercial')),
  cree_le timestamptz not null default now(),
  primary key (organisation_id, compte_id)
);

create table public.invitations (
  id uuid primary key default gen_random_uuid(),
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  email text not null,
  role_org text not null default 'commercial' check (role_org in ('manager', 'commercial')),
  invite_par uuid references public.comptes (id) on delete set null,
  statut text not null default 'en_attente' check (statut in ('en_attente', 'acceptee', 'refusee', 'annulee')),
  email_statut text,
  email_le timestamptz,
  cree_le timestamptz not null default now(),
  expire_le timestamptz not null default now() + interval '14 days'
);
create index invitations_email on public.invitations (lower(email)) where statut = 'en_attente';
create unique index invitations_une_en_attente on public.invitations (organisation_id, lower(email)) where statut = 'en_attente';

-- What the service sends the program for the assistant and the engines
-- (key → JSON value); read by mon_compte, written by the operators only.
create table public.parametres_service (
  cle text primary key,
  valeur jsonb not null
);
insert into public.parametres_service (cle, valeur) values
  ('modeles', '{}'::jsonb),
  ('moteurTranscription', '"soniox"'::jsonb),
  ('quilloAppel', '{"fenetreContexteSec": 120, "antiRepetition": true, "detection": "auto",
                    "silenceAvantAlerteMin": 10, "delaiArretMin": 5, "dureeMaxMin": 240}'::jsonb);

-- A new user of the authentication service gets an account row at once.
create function prive.nouveau_compte() returns trigger
language plpgsql security definer set search_path = ''
as $$
begin
  insert into public.comptes (id, email, nom, entreprise)
  values (new.id, coalesce(new.email, ''),
          nullif(btrim(new.raw_user_meta_data ->> 'nom'), ''),
          nullif(btrim(new.raw_user_meta_data ->> 'entreprise'), ''))
  on conflict (id) do nothing;
  return new;
end
$$;
create trigger vd_nouveau_compte after insert on auth.users
  for each row execute function prive.nouveau_compte();

create function prive.suivre_email() returns trigger
language plpgsql security definer set search_path = ''
as $$
begin
  update public.comptes set email = coalesce(new.email, '') where id = new.id;
  return new;
end
$$;
create trigger vd_suivre_email after update of email on auth.users
  for each row execute function prive.suivre_email();

-- Team helpers for the policies. Security definer so that a policy on
-- membres can ask about membres without recursing into itself.
create function prive.organisation_de(p_compte uuid) returns uuid
language sql stable security definer set search_path = ''
as $$ select organisation_id from public.membres where compte_id = p_compte $$;

create function prive.role_dans_equipe(p_compte uuid) returns text
language sql stable security definer set search_path = ''
as $$ select role_org from public.membres where compte_id = p_compte $$;

-- Whether the requesting account and p_compte are in the same team.
create function prive.meme_equipe(p_compte uuid) returns boolean
language sql stable security definer set search_path = ''
as $$
  select exists (
    select 1 from public.membres moi join public.membres lui using (organisation_id)
    where moi.compte_id = auth.uid() and lui.compte_id = p_compte)
$$;

-- Whether the requesting account manages (owner or manager) p_compte's team.
create function prive.gere(p_compte uuid) returns boolean
language sql stable security definer set search_path = ''
as $$
  select exists (
    select 1 from public.membres moi join public.membres lui using (organisation_id)
    where moi.compte_id = auth.uid() and lui.compte_id = p_compte
      and moi.role_org in ('proprietaire', 'manager'))
$$;

revoke all on all functions in schema prive from public, anon, authenticated;
grant execute on function prive.organisation_de(uuid), prive.role_dans_equipe(uuid),
  prive.meme_equipe(uuid), prive.gere(uuid) to authenticated, service_role;

alter table public.comptes enable row level security;
alter table public.organisations enable row level security;
alter table public.membres enable row level security;
alter table public.invitations enable row level security;
alter table public.parametres_service enable row level security;

-- Team changes go through the team edge function (service role); the program
-- reads through the procedures, and through these policies.
revoke all on public.comptes, public.organisations, public.membres, public.invitations,
  public.parametres_service from anon, authenticated;
grant select on public.comptes, public.organisations, public.membres, public.invitations to authenticated;
grant update (nom, entreprise) on public.comptes to authenticated;
grant all on public.comptes, public.organisations, public.membres, public.invitations,
  public.parametres_service to service_role;

create policy comptes_lire on public.comptes for select to authenticated
  using (id = (select auth.uid()) or prive.meme_equipe(id));
create policy comptes_modifier on public.comptes for update to authenticated
  using (id = (select auth.uid())) with check (id = (select auth.uid()));

create policy organisations_lire on public.organisations for select to authenticated
  using (id = prive.organisation_de((select auth.uid())));

create policy membres_lire on public.membres for select to authenticated
  using (organisation_id = prive.organisation_de((select auth.uid())));

create policy invitations_lire on public.invitations for select to authenticated
  using (lower(email) = lower((select email from public.comptes where id = (select auth.uid())))
         or (organisation_id = prive.organisation_de((select auth.uid()))
             and prive.role_dans_equipe((select auth.uid())) in ('proprietaire', 'manager')));
