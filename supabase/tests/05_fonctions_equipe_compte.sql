-- The procedures behind the "equipe" and "compte" functions: who may call
-- them, every refusal with its code and message, and what a deletion removes.
begin;
\ir outils/banc.psql
select plan(55);

-- The error code (hint) and message of a refused call, as "code: message".
create function pg_temp.refus(p_sql text) returns text language plpgsql as $$
declare h text; m text;
begin
  execute p_sql;
  return 'accepté';
exception when others then
  get stacked diagnostics h = pg_exception_hint, m = message_text;
  return coalesce(h, '?') || ': ' || m;
end $$;
create function pg_temp.equipe(p_compte uuid, p_corps jsonb) returns jsonb language sql as $$
  select prive.fonction_equipe(p_compte, p_corps) $$;

-- Only the service role calls them; a signed-in account could pass any id.
select ok(not has_function_privilege(r, 'prive.' || f, 'execute'), r || ' may not call ' || f)
  from unnest(array['fonction_equipe(uuid,jsonb)', 'fonction_compte(uuid,jsonb)']) f,
       unnest(array['authenticated', 'anon']) r;
select ok(has_function_privilege('service_role', 'prive.' || f, 'execute'), 'the service role calls ' || f)
  from unnest(array['fonction_equipe(uuid,jsonb)', 'fonction_compte(uuid,jsonb)']) f;

select banc.utilisateur('paule@equipe.test', 'Paule') as p \gset
select banc.utilisateur('marc@equipe.test', 'Marc') as m \gset
select banc.utilisateur('kim@equipe.test', 'Kim') as k \gset
select banc.utilisateur('seul@equipe.test') as s \gset
select banc.utilisateur('lea@equipe.test', 'Léa') as l \gset
select banc.equipe('Ventes Est', :'p', 4) as o \gset
select banc.rejoindre(:'o', :'m', 'manager');
select banc.rejoindre(:'o', :'k', 'commercial');

select banc.comme(:'p');
select throws_ok(format('select prive.fonction_equipe(%L, ''{"action": "inviter"}'')', :'p'), '42501', null,
                 'a signed-in account cannot call the team procedure');
select banc.moi();
set local role service_role;

-- Inviting.
select is(pg_temp.equipe(:'p', '{"action": "inviter", "email": "  Lea@Equipe.TEST ", "role_org": "manager"}') #>> '{invitation,email}',
          'lea@equipe.test', 'the owner invites; the address is trimmed and lower-cased');
select is((select email_statut from public.invitations where email = 'lea@equipe.test'), 'a_envoyer',
          'the e-mail is to be sent unless refused');
select is((select role_org from public.invitations where email = 'lea@equipe.test'), 'manager', 'with the chosen role');
select is(pg_temp.refus(format('select prive.fonction_equipe(%L, %L)', c, b)), r, d)
  from (values
    (:'p'::uuid, '{"action": "inviter", "email": "LEA@equipe.test"}'::jsonb,
     'requete_invalide: Une invitation est déjà en attente pour cette adresse.', 'a second pending invitation'),
    (:'p', '{"action": "inviter", "email": "pas-une-adresse"}', 'requete_invalide: Adresse email invalide.', 'an invalid address'),
    (:'p', '{"action": "inviter", "email": "x@equipe.test", "role_org": "proprietaire"}',
     'requete_invalide: Rôle invalide : choisissez Manager ou Commercial.', 'owners are not invited'),
    (:'p', '{"action": "inviter", "email": "kim@equipe.test"}', 'requete_invalide: Cette personne fait déjà partie de l''équipe.', 'a member'),
    (:'k', '{"action": "inviter", "email": "x@equipe.test"}',
     'requete_invalide: Seuls le propriétaire et les managers de l''équipe peuvent la gérer.', 'a salesperson does not manage'),
    (:'s', '{"action": "inviter", "email": "x@equipe.test"}',
     'sans_organisation: Votre compte n''est rattaché à aucune équipe. Demandez une invitation à votre responsable.', 'no team'),
    (gen_random_uuid(), '{"action": "inviter"}', 'compte_introuvable: Compte introuvable. Contactez Vendalo.', 'an unknown account'),
    (:'p', '{"action": "effacer"}', 'requete_invalide: Action inconnue : « effacer ».', 'an unknown action'),
    (:'p', '{"action": "retirer", "membre": "abc"}', 'requete_invalide: Membre invalide.', 'a member id that is no id'),
    (:'p', format('{"action": "retirer", "membre": "%s"}', :'s')::jsonb,
     'requete_invalide: Ce membre ne fait plus partie de l''équipe.', 'someone outside the team'),
    (:'m', format('{"action": "retirer", "membre": "%s"}', :'p')::jsonb,
     'requete_invalide: Seul un propriétaire peut modifier ou retirer un propriétaire.', 'a manager cannot remove the owner'),
    (:'m', format('{"action": "changer_role", "membre": "%s", "role_org": "commercial"}', :'p')::jsonb,
     'requete_invalide: Seul un propriétaire peut modifier ou retirer un propriétaire.', 'a manager cannot demote the owner'),
    (:'m', format('{"action": "changer_role", "membre": "%s", "role_org": "proprietaire"}', :'k')::jsonb,
     'requete_invalide: Seul un propriétaire peut nommer un autre propriétaire.', 'a manager names no owner'),
    (:'p', format('{"action": "changer_role", "membre": "%s", "role_org": "chef"}', :'k')::jsonb,
     'requete_invalide: Rôle invalide : choisissez Propriétaire, Manager ou Commercial.', 'an unknown role'),
    (:'p', format('{"action": "retirer", "membre": "%s"}', :'p')::jsonb,
     'requete_invalide: L''équipe doit garder un propriétaire : nommez-en un autre avant de changer ce rôle ou de retirer ce membre.',
     'the last owner does not leave'),
    (:'p', format('{"action": "changer_role", "membre": "%s", "role_org": "manager"}', :'p')::jsonb,
     'requete_invalide: L''équipe doit garder un propriétaire : nommez-en un autre avant de changer ce rôle ou de retirer ce membre.',
     'the last owner keeps the role'),
    (:'p', format('{"action": "annuler_invitation", "invitation": "%s"}', gen_random_uuid())::jsonb,
     'requete_invalide: Cette invitation n''existe plus.', 'an unknown invitation')
  ) t(c, b, r, d);
select is(pg_temp.equipe(:'m', '{"action": "inviter", "email": "n@equipe.test", "envoyer_email": false}') #>> '{invitation,emailStatut}',
          null, 'a manager invites, without e-mail on request');
-- Four seats, three members: one more member fills the team.
reset role;
select banc.rejoindre(:'o', :'s', 'commercial');
set local role service_role;
select is(pg_temp.refus('select prive.fonction_equipe(''' || :'p' || ''', ''{"action": "inviter", "email": "z@equipe.test"}'')'),
          'requete_invalide: Votre équipe n''a plus de place libre (4 sur 4). Retirez un membre ou demandez plus de places.',
          'no seat left');

-- Roles and removals.
select is(pg_temp.equipe(:'m', format('{"action": "changer_role", "membre": "%s", "role_org": "manager"}', :'k')::jsonb) ->> 'roleOrg',
          'manager', 'a manager promotes a salesperson');
select is(pg_temp.equipe(:'m', format('{"action": "retirer", "membre": "%s"}', :'s')::jsonb) ->> 'retire', 'true',
          'a manager removes a member');
select is((select count(*)::int from public.membres where organisation_id = :'o'), 3, 'the member is gone');
select is(pg_temp.equipe(:'p', format('{"action": "changer_role", "membre": "%s", "role_org": "proprietaire"}', :'m')::jsonb) ->> 'roleOrg',
          'proprietaire', 'the owner names a second owner');
select is(pg_temp.equipe(:'p', format('{"action": "changer_role", "membre": "%s", "role_org": "commercial"}', :'p')::jsonb) ->> 'roleOrg',
          'commercial', 'with another owner, the first may step down');
select is((select proprietaire_id from public.organisations where id = :'o'), :'m'::uuid, 'the team''s owner follows');
select is(pg_temp.equipe(:'m', format('{"action": "annuler_invitation", "invitation": "%s"}',
            (select id from public.invitations where email = 'n@equipe.test'))::jsonb) ->> 'statut', 'annulee',
          'cancelling an invitation');
select is((select statut from public.invitations where email = 'n@equipe.test'), 'annulee', 'the invitation is cancelled');

-- The deletion preview and its refusals.
reset role;
insert into public.contacts (compte_id, id, donnees, maj_le) values
  (:'k', 'c1', '{"id": "c1"}', now()), (:'k', 'c2', '{"id": "c2"}', now()), (:'m', 'c1', '{"id": "c1"}', now());
insert into public.contacts (compte_id, id, donnees, maj_le, supprime_le) values (:'k', 'c3', null, now(), now());
insert into public.appels (compte_id, id, donnees, maj_le) values (:'k', 'a1', '{"id": "a1"}', now()), (:'m', 'a1', '{"id": "a1"}', now());
insert into public.interactions (compte_id, id, donnees, maj_le) values (:'k', 'i1', '{"id": "i1"}', now());
set local role service_role;
select prive.fonction_compte(:'k', '{"action": "apercu"}') as a \gset
select is(jsonb_build_array(:'a'::jsonb -> 'appels', :'a'::jsonb -> 'contacts', :'a'::jsonb -> 'autres'), '[1, 2, 1]'::jsonb,
          'the preview counts the account''s live records');
select is(:'a'::jsonb ->> 'confirmation', 'kim@equipe.test', 'the text to type is the e-mail');
select is(:'a'::jsonb #>> '{equipe,consequence}', 'Vous quitterez l''équipe « Ventes Est » ; ses autres membres la gardent.',
          'a member leaves the team');
select is(prive.fonction_compte(:'m', '{}') ->> 'motif',
          'Vous êtes propriétaire de l''équipe « Ventes Est », qui a d''autres membres : transmettez-la à un autre membre (rôle Propriétaire) ou retirez les membres avant de supprimer votre compte.',
          'the only owner of a team with members cannot delete yet');
select is(prive.fonction_compte(:'s', '{}') -> 'equipe', 'null'::jsonb, 'no team in the preview of a solo account');
select is(pg_temp.refus(format('select prive.fonction_compte(%L, %L)', c, b)), r, d)
  from (values
    (:'k'::uuid, '{"action": "supprimer", "confirmation": "kim@autre.test"}'::jsonb,
     'requete_invalide: Pour confirmer, tapez votre adresse email : kim@equipe.test', 'a wrong confirmation'),
    (:'k', '{"action": "supprimer"}', 'requete_invalide: Pour confirmer, tapez votre adresse email : kim@equipe.test', 'no confirmation'),
    (:'m', '{"action": "supprimer", "confirmation": "marc@equipe.test"}',
     'requete_invalide: Vous êtes propriétaire de l''équipe « Ventes Est », qui a d''autres membres : transmettez-la à un autre membre (rôle Propriétaire) ou retirez les membres avant de supprimer votre compte.',
     'the owner of a team with members')
  ) t(c, b, r, d);
select is(prive.fonction_compte(:'k', '{"action": "vider"}') ->> 'email', 'kim@equipe.test', 'any other action gives the preview');

-- Kim deletes the account: her data goes, the others' stays.
select is(prive.fonction_compte(:'k', '{"action": "supprimer", "confirmation": "  KIM@equipe.test "}') ->> 'supprime', 'true',
          'the typed e-mail is read trimmed, in any case');
reset role;
select is((select count(*)::int from auth.users where id = :'k'), 0, 'the user is gone');
select is((select count(*)::int from public.contacts where compte_id = :'k')
        + (select count(*)::int from public.appels where compte_id = :'k')
        + (select count(*)::int from public.interactions where compte_id = :'k'), 0, 'with all her records');
select is((select count(*)::int from public.contacts where compte_id = :'m')
        + (select count(*)::int from public.appels where compte_id = :'m'), 2, 'the others'' records stay');
select is((select count(*)::int from public.membres where organisation_id = :'o'), 2, 'the team keeps its other members');

-- The only member and owner of a team deletes the account with the team.
select banc.equipe('Solo', :'l') as o2 \gset
set local role service_role;
select is(prive.fonction_compte(:'l', '{}') #>> '{equipe,consequence}', 'L''équipe « Solo » sera supprimée avec votre compte.',
          'the preview says the team goes');
select is(prive.fonction_compte(:'l', '{"action": "supprimer", "confirmation": "lea@equipe.test"}') ->> 'supprime', 'true',
          'the lone owner deletes the account');
reset role;
select is((select count(*)::int from public.organisations where id = :'o2'), 0, 'the lone owner''s team is gone');
select is((select count(*)::int from public.organisations where id = :'o'), 1, 'the other team stays');

select * from finish();
rollback;
