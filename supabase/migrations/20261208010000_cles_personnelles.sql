-- Personal keys for outside AI assistants (the read-only MCP server). A key is
-- shown once, at its creation; only its SHA-256 digest is kept, so a stolen
-- database never yields a usable key. The server function checks a key with
-- prive.verifier_cle_mcp (service role only), which also counts its requests.

create table public.cles_mcp (
  id uuid primary key default gen_random_uuid(),
  compte_id uuid not null references public.comptes (id) on delete cascade,
  nom text not null check (length(nom) between 1 and 60),
  -- The first characters, to tell keys apart in the list; never enough to use.
  prefixe text not null,
  empreinte bytea not null unique,
  cree_le timestamptz not null default now(),
  derniere_utilisation timestamptz,
  revoquee_le timestamptz
);
create index cles_mcp_compte on public.cles_mcp (compte_id) where revoquee_le is null;

-- Requests per key and per minute, for the per-minute and per-day limits.
create table public.cles_mcp_usage (
  cle_id uuid not null references public.cles_mcp (id) on delete cascade,
  minute timestamptz not null,
  n integer not null default 0,
  primary key (cle_id, minute)
);

alter table public.cles_mcp enable row level security;
alter table public.cles_mcp_usage enable row level security;
revoke all on public.cles_mcp, public.cles_mcp_usage from anon, authenticated;
-- Even the owner reads the list through the procedure: the digest stays on the server.
grant all on public.cles_mcp, public.cles_mcp_usage to service_role;

create function prive.limites_cles_mcp() returns jsonb
language sql immutable
as $$ select '{"max": 5, "par_minute": 60, "par_jour": 2000}'::jsonb $$;

create function prive.cle_mcp_json(c public.cles_mcp) returns jsonb
language sql stable
as $$
  select jsonb_build_object('id', c.id, 'nom', c.nom, 'prefixe', c.prefixe,
                            'cree_le', prive.instant_json(c.cree_le),
                            'derniere_utilisation', prive.instant_json(c.derniere_utilisation))
$$;

-- Creates a key named p_nom; the answer is the only place its clear value appears ("cle").
create function public.mcp_creer_jeton(p_nom text) returns jsonb
language plpgsql volatile security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  nom text := btrim(regexp_replace(coalesce(p_nom, ''), '\s+', ' ', 'g'));
  maximum integer := (prive.limites_cles_mcp() ->> 'max')::integer;
  cle text;
  c public.cles_mcp;
begin
  if nom = '' then
    raise exception using errcode = '22023', message = 'Donnez un nom à la clé.', hint = 'nom_requis';
  end if;
  if length(nom) > 60 then
    raise exception using errcode = '22023', message = 'Ce nom est trop long : 60 caractères au plus.', hint = 'nom_trop_long';
  end if;
  -- One creation at a time per account, so two at once cannot pass the limit together.
  perform pg_advisory_xact_lock(hashtextextended('cles_mcp:' || moi::text, 0));
  if (select count(*) from public.cles_mcp where compte_id = moi and revoquee_le is null) >= maximum then
    raise exception using errcode = 'P0001', message = maximum || ' clés au plus : révoquez-en une.', hint = 'trop_de_cles';
  end if;
  -- Two random UUIDs: 244 random bits, in hexadecimal after the prefix.
  cle := 'vdk_' || replace(gen_random_uuid()::text || gen_random_uuid()::text, '-', '');
  insert into public.cles_mcp (compte_id, nom, prefixe, empreinte)
  values (moi, nom, left(cle, 10), sha256(convert_to(cle, 'UTF8')))
  returning * into c;
  return prive.cle_mcp_json(c) || jsonb_build_object('cle', cle);
end
$$;

-- The caller's keys still in force, newest first, with the limits shown beside them.
create function public.mcp_lister_jetons() returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
begin
  return prive.limites_cles_mcp() || jsonb_build_object('cles', coalesce(
    (select jsonb_agg(prive.cle_mcp_json(c) order by c.cree_le desc, c.id)
       from public.cles_mcp c where c.compte_id = moi and c.revoquee_le is null), '[]'::jsonb));
end
$$;

create function public.mcp_revoquer_jeton(p_id text) returns void
language plpgsql volatile security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
begin
  update public.cles_mcp set revoquee_le = now()
   where id = prive.uuid_parametre(p_id, 'p_id') and compte_id = moi and revoquee_le is null;
  if not found then
    raise exception using errcode = 'P0001', message = 'Cette clé a déjà été révoquée.', hint = 'cle_introuvable';
  end if;
end
$$;

-- For the MCP server: the account of a key in force, its use recorded; refuses
-- an unknown or revoked key and a key past its limits (the request is not counted).
create function prive.verifier_cle_mcp(p_cle text) returns uuid
language plpgsql volatile security definer set search_path = ''
as $$
declare
  c public.cles_mcp;
  cette_minute timestamptz := date_trunc('minute', now());
  limites jsonb := prive.limites_cles_mcp();
begin
  select * into c from public.cles_mcp
   where empreinte = sha256(convert_to(coalesce(p_cle, ''), 'UTF8')) and revoquee_le is null
   for update;
  if not found then
    raise exception using errcode = '42501', message = 'Clé inconnue ou révoquée.', hint = 'cle_invalide';
  end if;
  if coalesce((select n from public.cles_mcp_usage u where u.cle_id = c.id and u.minute = cette_minute), 0)
       >= (limites ->> 'par_minute')::integer
     or coalesce((select sum(n) from public.cles_mcp_usage u where u.cle_id = c.id and u.minute > now() - interval '1 day'), 0)
       >= (limites ->> 'par_jour')::integer then
    raise exception using errcode = 'P0001', message = 'Trop de requêtes avec cette clé. Réessayez plus tard.', hint = 'quota_depasse';
  end if;
  insert into public.cles_mcp_usage as u (cle_id, minute, n) values (c.id, cette_minute, 1)
  on conflict (cle_id, minute) do update set n = u.n + 1;
  delete from public.cles_mcp_usage u where u.cle_id = c.id and u.minute <= now() - interval '1 day';
  update public.cles_mcp set derniere_utilisation = now() where id = c.id;
  return c.compte_id;
end
$$;

revoke all on function prive.limites_cles_mcp(), prive.cle_mcp_json(public.cles_mcp), prive.verifier_cle_mcp(text)
  from public, anon, authenticated;
grant execute on function prive.verifier_cle_mcp(text) to service_role;
revoke all on function public.mcp_creer_jeton(text), public.mcp_lister_jetons(), public.mcp_revoquer_jeton(text)
  from public, anon;
grant execute on function public.mcp_creer_jeton(text), public.mcp_lister_jetons(), public.mcp_revoquer_jeton(text)
  to authenticated, service_role;
