-- The account procedures the program calls as rest/v1/rpc/NAME. They see more
-- than the caller's rows, so they run as their owner with an empty search_path,
-- check auth.uid() themselves, and only signed-in accounts may call them.
-- Errors: 42501 refused permission, 22023 invalid parameter, P0001 business
-- refusal whose hint is the code the program maps, P0002 missing account.

create function prive.utilisateur() returns uuid
language plpgsql stable
as $$
declare
  v uuid := auth.uid();
begin
  if v is null then
    raise exception using errcode = '42501', message = 'Connectez-vous pour continuer.';
  end if;
  return v;
end
$$;
grant execute on function prive.utilisateur() to authenticated, service_role;

create function prive.instant_json(p timestamptz) returns text
language sql immutable
as $$ select to_char(p at time zone 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"') $$;
grant execute on function prive.instant_json(timestamptz) to authenticated, service_role;

create function prive.uuid_parametre(p_valeur text, p_nom text) returns uuid
language plpgsql immutable
as $$
begin
  if p_valeur is null or p_valeur !~* '^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$' then
    raise exception using errcode = '22023', message = format('Paramètre %s invalide.', p_nom);
  end if;
  return p_valeur::uuid;
end
$$;
grant execute on function prive.uuid_parametre(text, text) to authenticated, service_role;

create function public.serveur_maintenant() returns text
language sql stable
as $$ select prive.instant_json(clock_timestamp()) $$;

create function public.mon_compte() returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  c public.comptes;
  m public.membres;
  o public.organisations;
  org jsonb := null;
  invitations jsonb;
begin
  select * into c from public.comptes where id = moi;
  if not found then
    raise exception using errcode = 'P0002', message = 'Compte introuvable. Contactez Vendalo.';
  end if;
  select * into m from public.membres where compte_id = moi;
  if found then
    select * into o from public.organisations where id = m.organisation_id;
    org := jsonb_build_object(
      'id', o.id, 'nom', o.nom, 'sieges', o.sieges,
      'membres', (select count(*) from public.membres where organisation_id = o.id),
      'creeLe', prive.instant_json(o.cree_le),
      'conservationMois', o.conservation_mois,
      'proprietaireNom', (select coalesce(p.nom, p.email) from public.comptes p where p.id = o.proprietaire_id));
  end if;
  select coalesce(jsonb_agg(jsonb_build_object(
           'id', i.id, 'organisationId', i.organisation_id, 'organisationNom', io.nom,
           'roleOrg', i.role_org, 'expireLe', prive.instant_json(i.expire_le),
           'creeLe', prive.instant_json(i.cree_le),
           'invitePar', (select coalesce(p.nom, p.email) from public.comptes p where p.id = i.invite_par),
           'equipeComplete', (select count(*) from public.membres x where x.organisation_id = i.organisation_id) >= io.sieges,
           'depart', case
             when m.organisation_id is null then null
             when m.role_org = 'proprietaire' then 'Vous quitterez l''équipe dont vous êtes propriétaire.'
             else 'Vous quitterez votre équipe actuelle.' end)
           order by i.cree_le), '[]'::jsonb)
    into invitations
    from public.invitations i join public.organisations io on io.id = i.organisation_id
   where lower(i.email) = lower(c.email) and i.statut = 'en_attente' and i.expire_le > now()
     and i.organisation_id is distinct from m.organisation_id;
  return jsonb_build_object(
    'compte', jsonb_build_object(
      'id', c.id, 'email', c.email, 'nom', c.nom, 'entreprise', c.entreprise, 'role', c.role,
      'roleOrg', m.role_org, 'organisationId', m.organisation_id, 'creeLe', prive.instant_json(c.cree_le)),
    'organisation', org,
    'modeles', coalesce((select valeur from public.parametres_service where cle = 'modeles'), '{}'::jsonb),
    'moteurTranscription', coalesce((select valeur from public.parametres_service where cle = 'moteurTranscription'), '"soniox"'::jsonb),
    'quilloAppel', coalesce((select valeur from public.parametres_service where cle = 'quilloAppel'), '{}'::jsonb),
    'invitations', invitations,
    'serveurMaintenant', prive.instant_json(clock_timestamp()));
end
$$;

create function public.mon_equipe() returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres;
  o public.organisations;
  gestionnaire boolean;
  nombre integer;
begin
  if not exists (select 1 from public.comptes where id = moi) then
    raise exception using errcode = 'P0002', message = 'Compte introuvable. Contactez Vendalo.';
  end if;
  select * into m from public.membres where compte_id = moi;
  if not found then
    return jsonb_build_object('organisation', null, 'sieges', 1, 'placesLibres', null, 'roleOrg', null,
                              'gestionnaire', false, 'membres', '[]'::jsonb, 'invitations', '[]'::jsonb);
  end if;
  select * into o from public.organisations where id = m.organisation_id;
  gestionnaire := m.role_org in ('proprietaire', 'manager');
  select count(*) into nombre from public.membres where organisation_id = o.id;
  return jsonb_build_object(
    'organisation', jsonb_build_object('id', o.id, 'nom', o.nom, 'creeLe', prive.instant_json(o.cree_le),
                                       'conservationMois', o.conservation_mois),
    'sieges', o.sieges,
    'placesLibres', greatest(o.sieges - nombre, 0),
    'roleOrg', m.role_org,
    'gestionnaire', gestionnaire,
    'membres', (select coalesce(jsonb_agg(jsonb_build_object(
                  'id', c.id, 'email', c.email, 'nom', c.nom, 'roleOrg', x.role_org,
                  'creeLe', prive.instant_json(x.cree_le),
                  'derniereActivite', case when gestionnaire then
                     (select prive.instant_json(max(a.maj_le)) from public.appels a where a.compte_id = c.id) end,
                  'appels30j', case when gestionnaire then
                     (select count(*) from public.appels a where a.compte_id = c.id and a.supprime_le is null
                        and coalesce(a.cree_le, a.maj_le) > now() - interval '30 days') end)
                  order by x.cree_le, c.email), '[]'::jsonb)
                from public.membres x join public.comptes c on c.id = x.compte_id
               where x.organisation_id = o.id),
    'invitations', case when not gestionnaire then '[]'::jsonb else
               (select coalesce(jsonb_agg(jsonb_build_object(
                  'id', i.id, 'email', i.email, 'roleOrg', i.role_org,
                  'creeLe', prive.instant_json(i.cree_le), 'expireLe', prive.instant_json(i.expire_le),
                  'emailStatut', i.email_statut, 'emailLe', prive.instant_json(i.email_le),
                  'compteExistant', exists (select 1 from public.comptes c where lower(c.email) = lower(i.email)))
                  order by i.cree_le), '[]'::jsonb)
                from public.invitations i where i.organisation_id = o.id and i.statut = 'en_attente') end);
end
$$;

-- The invitation addressed to the caller, locked, or a business refusal.
create function prive.invitation_recue(p_invitation text, moi uuid) returns public.invitations
language plpgsql security definer set search_path = ''
as $$
declare
  id_invitation uuid := prive.uuid_parametre(p_invitation, 'p_invitation');
  i public.invitations;
begin
  select inv.* into i from public.invitations inv
   where inv.id = id_invitation
     and lower(inv.email) = lower((select c.email from public.comptes c where c.id = moi))
   for update;
  if not found or i.statut in ('annulee', 'refusee') then
    raise exception using errcode = 'P0001', message = 'Cette invitation n''existe plus.',
                          hint = 'invitation_introuvable';
  end if;
  if i.statut = 'acceptee' then
    raise exception using errcode = 'P0001', message = 'Cette invitation a déjà été acceptée.',
                          hint = 'invitation_deja_acceptee';
  end if;
  if i.expire_le <= now() then
    raise exception using errcode = 'P0001', message = 'Cette invitation a expiré. Demandez-en une nouvelle.',
                          hint = 'invitation_expiree';
  end if;
  return i;
end
$$;

create function public.accepter_invitation(p_invitation text) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  i public.invitations;
  actuel public.membres;
  sieges integer;
begin
  i := prive.invitation_recue(p_invitation, moi);
  -- Seats are counted under a lock on the team, so two acceptances cannot both take the last one.
  select o.sieges into sieges from public.organisations o where o.id = i.organisation_id for update;
  if (select count(*) from public.membres x where x.organisation_id = i.organisation_id) >= sieges then
    raise exception using errcode = 'P0001', message = 'Cette équipe n''a plus de place libre.',
                          hint = 'equipe_complete';
  end if;
  select * into actuel from public.membres where compte_id = moi;
  if found and actuel.role_org = 'proprietaire'
     and exists (select 1 from public.membres x where x.organisation_id = actuel.organisation_id and x.compte_id <> moi) then
    raise exception using errcode = 'P0001',
      message = 'Vous êtes propriétaire d''une équipe qui a des membres : transmettez-la avant de la quitter.',
      hint = 'proprietaire_avec_membres';
  end if;
  delete from public.membres where compte_id = moi;
  insert into public.membres (organisation_id, compte_id, role_org) values (i.organisation_id, moi, i.role_org);
  update public.invitations set statut = 'acceptee' where id = i.id;
  return public.mon_compte();
end
$$;

create function public.refuser_invitation(p_invitation text) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  i public.invitations;
begin
  select * into i from public.invitations
   where id = prive.uuid_parametre(p_invitation, 'p_invitation') and statut = 'en_attente'
     and lower(email) = lower((select c.email from public.comptes c where c.id = moi))
   for update;
  if not found then
    raise exception using errcode = 'P0001', message = 'Cette invitation n''existe plus.',
                          hint = 'invitation_introuvable';
  end if;
  update public.invitations set statut = 'refusee' where id = i.id;
  return jsonb_build_object('id', i.id, 'statut', 'refusee');
end
$$;

revoke all on function public.serveur_maintenant(), public.mon_compte(), public.mon_equipe(),
  public.accepter_invitation(text), public.refuser_invitation(text),
  prive.invitation_recue(text, uuid), prive.nouveau_compte(), prive.suivre_email()
  from public, anon, authenticated;
grant execute on function public.serveur_maintenant(), public.mon_compte(), public.mon_equipe(),
  public.accepter_invitation(text), public.refuser_invitation(text) to authenticated;
