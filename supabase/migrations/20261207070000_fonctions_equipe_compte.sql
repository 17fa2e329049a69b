-- The logic of the "equipe" and "compte" edge functions. The function checks
-- the caller's token and calls these procedures with the verified account id,
-- under the service role; signed-in accounts cannot call them directly (they
-- would pass any id). Refusals raise P0001 with the function's error code as
-- hint ("requete_invalide", "sans_organisation", "compte_introuvable") and a
-- ready French message; the function answers {"error": hint, "message"}.

create function prive.refus(p_code text, p_message text) returns void
language plpgsql
as $$
begin
  raise exception using errcode = 'P0001', message = p_message, hint = p_code;
end
$$;

-- A uuid from the request body, or a refusal naming what is missing.
create function prive.uuid_requete(p_valeur jsonb, p_message text) returns uuid
language plpgsql
as $$
begin
  if jsonb_typeof(p_valeur) = 'string'
     and p_valeur #>> '{}' ~* '^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$' then
    return (p_valeur #>> '{}')::uuid;
  end if;
  perform prive.refus('requete_invalide', p_message);
  return null;
end
$$;

-- The first other owner of a team, who takes over organisations.proprietaire_id.
create function prive.autre_proprietaire(p_organisation uuid, p_compte uuid) returns uuid
language sql stable security definer set search_path = ''
as $$
  select compte_id from public.membres
   where organisation_id = p_organisation and role_org = 'proprietaire' and compte_id <> p_compte
   order by cree_le limit 1
$$;

create function prive.fonction_equipe(p_compte uuid, p_corps jsonb) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  corps jsonb := case when jsonb_typeof(p_corps) = 'object' then p_corps else '{}'::jsonb end;
  action text := corps ->> 'action';
  moi public.membres;
  o public.organisations;
  cible public.membres;
  i public.invitations;
  v_email text;
  v_role text;
  nombre integer;
begin
  if p_compte is null or not exists (select 1 from public.comptes where id = p_compte) then
    perform prive.refus('compte_introuvable', 'Compte introuvable. Contactez Vendalo.');
  end if;
  if action is null or action not in ('inviter', 'changer_role', 'retirer', 'annuler_invitation') then
    perform prive.refus('requete_invalide', format('Action inconnue : « %s ».', coalesce(action, '')));
  end if;
  select * into moi from public.membres where compte_id = p_compte;
  if not found then
    perform prive.refus('sans_organisation',
      'Votre compte n''est rattaché à aucune équipe. Demandez une invitation à votre responsable.');
  end if;
  -- One team change at a time: seats and the last owner are counted under this lock.
  select * into o from public.organisations where id = moi.organisation_id for update;
  select * into moi from public.membres where compte_id = p_compte;
  if moi.role_org not in ('proprietaire', 'manager') then
    perform prive.refus('requete_invalide', 'Seuls le propriétaire et les managers de l''équipe peuvent la gérer.');
  end if;

  if action = 'inviter' then
    v_email := lower(btrim(coalesce(corps ->> 'email', '')));
    if v_email !~ '^[^@\s]+@[^@\s]+\.[^@\s.]+$' or length(v_email) > 320 then
      perform prive.refus('requete_invalide', 'Adresse email invalide.');
    end if;
    v_role := coalesce(nullif(corps ->> 'role_org', ''), 'commercial');
    if v_role not in ('manager', 'commercial') then
      perform prive.refus('requete_invalide', 'Rôle invalide : choisissez Manager ou Commercial.');
    end if;
    if exists (select 1 from public.membres x join public.comptes c on c.id = x.compte_id
                where x.organisation_id = o.id and lower(c.email) = v_email) then
      perform prive.refus('requete_invalide', 'Cette personne fait déjà partie de l''équipe.');
    end if;
    select count(*) into nombre from public.membres where organisation_id = o.id;
    if nombre >= o.sieges then
      perform prive.refus('requete_invalide', format(
        'Votre équipe n''a plus de place libre (%s sur %s). Retirez un membre ou demandez plus de places.',
        nombre, o.sieges));
    end if;
    -- An expired invitation still waiting gives way to the new one.
    update public.invitations set statut = 'annulee'
     where organisation_id = o.id and lower(email) = v_email
       and statut = 'en_attente' and expire_le <= now();
    if exists (select 1 from public.invitations x where x.organisation_id = o.id and lower(x.email) = v_email
                and x.statut = 'en_attente') then
      perform prive.refus('requete_invalide', 'Une invitation est déjà en attente pour cette adresse.');
    end if;
    -- The e-mail itself is sent by the function, which then records "envoye".
    insert into public.invitations (organisation_id, email, role_org, invite_par, email_statut)
    values (o.id, v_email, v_role, p_compte,
            case when corps -> 'envoyer_email' is distinct from 'false'::jsonb then 'a_envoyer' end)
    returning * into i;
    return jsonb_build_object('action', action, 'id', i.id, 'invitation', jsonb_build_object(
      'id', i.id, 'email', i.email, 'roleOrg', i.role_org, 'creeLe', prive.instant_json(i.cree_le),
      'expireLe', prive.instant_json(i.expire_le), 'emailStatut', i.email_statut,
      'compteExistant', exists (select 1 from public.comptes c where lower(c.email) = v_email)));
  end if;

  if action = 'annuler_invitation' then
    update public.invitations set statut = 'annulee'
     where id = prive.uuid_requete(corps -> 'invitation', 'Invitation invalide.')
       and organisation_id = o.id and statut = 'en_attente'
    returning * into i;
    if not found then
      perform prive.refus('requete_invalide', 'Cette invitation n''existe plus.');
    end if;
    return jsonb_build_object('action', action, 'id', i.id, 'statut', 'annulee');
  end if;

  -- changer_role and retirer act on a member of the caller's team.
  select * into cible from public.membres
   where compte_id = prive.uuid_requete(corps -> 'membre', 'Membre invalide.') and organisation_id = o.id;
  if not found then
    perform prive.refus('requete_invalide', 'Ce membre ne fait plus partie de l''équipe.');
  end if;
  if cible.role_org = 'proprietaire' and moi.role_org <> 'proprietaire' then
    perform prive.refus('requete_invalide', 'Seul un propriétaire peut modifier ou retirer un propriétaire.');
  end if;

  if action = 'changer_role' then
    v_role := corps ->> 'role_org';
    if v_role is null or v_role not in ('proprietaire', 'manager', 'commercial') then
      perform prive.refus('requete_invalide', 'Rôle invalide : choisissez Propriétaire, Manager ou Commercial.');
    end if;
    if v_role = 'proprietaire' and moi.role_org <> 'proprietaire' then
      perform prive.refus('requete_invalide', 'Seul un propriétaire peut nommer un autre propriétaire.');
    end if;
  end if;
  if cible.role_org = 'proprietaire' and (action = 'retirer' or v_role <> 'proprietaire')
     and prive.autre_proprietaire(o.id, cible.compte_id) is null then
    perform prive.refus('requete_invalide',
      'L''équipe doit garder un propriétaire : nommez-en un autre avant de changer ce rôle ou de retirer ce membre.');
  end if;

  if action = 'changer_role' then
    update public.membres set role_org = v_role where compte_id = cible.compte_id;
    if v_role = 'proprietaire' and o.proprietaire_id is null then
      update public.organisations set proprietaire_id = cible.compte_id where id = o.id;
    elsif v_role <> 'proprietaire' and o.proprietaire_id = cible.compte_id then
      update public.organisations set proprietaire_id = prive.autre_proprietaire(o.id, cible.compte_id) where id = o.id;
    end if;
    return jsonb_build_object('action', action, 'id', cible.compte_id, 'roleOrg', v_role);
  end if;

  -- retirer
  if o.proprietaire_id = cible.compte_id then
    update public.organisations set proprietaire_id = prive.autre_proprietaire(o.id, cible.compte_id) where id = o.id;
  end if;
  delete from public.membres where compte_id = cible.compte_id;
  return jsonb_build_object('action', action, 'id', cible.compte_id, 'retire', true);
end
$$;

-- What deleting the account would do, or why it cannot be done yet.
create function prive.apercu_suppression(p_compte uuid) returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  c public.comptes;
  m public.membres;
  o public.organisations;
  autres integer := 0;
  seul_proprietaire boolean := false;
  consequence text;
  motif text;
begin
  select * into c from public.comptes where id = p_compte;
  if not found then
    perform prive.refus('compte_introuvable', 'Compte introuvable. Contactez Vendalo.');
  end if;
  select * into m from public.membres where compte_id = p_compte;
  if found then
    select * into o from public.organisations where id = m.organisation_id;
    select count(*) into autres from public.membres where organisation_id = o.id and compte_id <> p_compte;
    seul_proprietaire := m.role_org = 'proprietaire' and prive.autre_proprietaire(o.id, p_compte) is null;
    if seul_proprietaire and autres > 0 then
      motif := format('Vous êtes propriétaire de l''équipe « %s », qui a d''autres membres : transmettez-la '
                      'à un autre membre (rôle Propriétaire) ou retirez les membres avant de supprimer votre compte.', o.nom);
    elsif seul_proprietaire then
      consequence := format('L''équipe « %s » sera supprimée avec votre compte.', o.nom);
    else
      consequence := format('Vous quitterez l''équipe « %s » ; ses autres membres la gardent.', o.nom);
    end if;
  end if;
  return jsonb_build_object(
    'email', c.email,
    'confirmation', c.email,
    'consigne', format('Pour confirmer, tapez votre adresse email : %s', c.email),
    'appels', (select count(*) from public.appels where compte_id = p_compte and supprime_le is null),
    'contacts', (select count(*) from public.contacts where compte_id = p_compte and supprime_le is null),
    'autres', (select count(*) from public.interactions where compte_id = p_compte and supprime_le is null)
            + (select count(*) from public.profils_clients where compte_id = p_compte and supprime_le is null)
            + (select count(*) from public.objections_lib where compte_id = p_compte and supprime_le is null)
            + (select count(*) from public.frameworks where compte_id = p_compte and supprime_le is null)
            + (select count(*) from public.entreprises_profil where compte_id = p_compte and supprime_le is null),
    'equipe', case when m.compte_id is null then null else jsonb_build_object(
      'nom', o.nom, 'roleOrg', m.role_org, 'autresMembres', autres,
      'proprietaireAvecMembres', seul_proprietaire and autres > 0,
      'consequence', consequence) end,
    'suppressionPossible', motif is null,
    'motif', motif);
end
$$;

create function prive.fonction_compte(p_compte uuid, p_corps jsonb) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  corps jsonb := case when jsonb_typeof(p_corps) = 'object' then p_corps else '{}'::jsonb end;
  action text := coalesce(corps ->> 'action', 'apercu');
  apercu jsonb;
  org uuid;
begin
  if p_compte is not null then
    -- Serialises with team changes: nobody joins a team while its last owner leaves.
    perform 1 from public.organisations where id = prive.organisation_de(p_compte) for update;
  end if;
  apercu := prive.apercu_suppression(p_compte);
  -- Anything but "supprimer" only asks what a deletion would do.
  if action <> 'supprimer' then
    return apercu;
  end if;
  -- The typed e-mail, trimmed, in any case: a slip of the hand cannot delete an account.
  if jsonb_typeof(corps -> 'confirmation') is distinct from 'string'
     or lower(btrim(corps ->> 'confirmation')) <> lower(btrim(apercu ->> 'email')) then
    perform prive.refus('requete_invalide', apercu ->> 'consigne');
  end if;
  if not (apercu ->> 'suppressionPossible')::boolean then
    perform prive.refus('requete_invalide', apercu ->> 'motif');
  end if;
  org := prive.organisation_de(p_compte);
  if org is not null and apercu #>> '{equipe,roleOrg}' = 'proprietaire' then
    if (apercu #>> '{equipe,autresMembres}')::integer = 0 then
      delete from public.organisations where id = org;
    else
      update public.organisations set proprietaire_id = prive.autre_proprietaire(org, p_compte)
       where id = org and proprietaire_id = p_compte;
    end if;
  end if;
  -- The account row, its membership and every synchronised record follow the user (on delete cascade).
  delete from auth.users where id = p_compte;
  return jsonb_build_object('supprime', true, 'email', apercu ->> 'email');
end
$$;

revoke all on function prive.refus(text, text), prive.uuid_requete(jsonb, text),
  prive.autre_proprietaire(uuid, uuid), prive.fonction_equipe(uuid, jsonb),
  prive.apercu_suppression(uuid), prive.fonction_compte(uuid, jsonb)
  from public, anon, authenticated;
grant execute on function prive.refus(text, text), prive.uuid_requete(jsonb, text),
  prive.fonction_equipe(uuid, jsonb), prive.fonction_compte(uuid, jsonb) to service_role;
