-- The account procedures: mon_compte, mon_equipe, invitations, serveur_maintenant.
begin;
\ir outils/banc.psql
select plan(33);

select banc.utilisateur('proprio@comptes.test', 'Paule') as p \gset
select banc.utilisateur('lea@comptes.test', 'Léa') as l \gset
select banc.utilisateur('solo@comptes.test') as s \gset
select banc.equipe('Ventes Sud', :'p', 2, 12) as o \gset
update public.comptes set entreprise = 'Sud SARL' where id = :'p';

-- mon_compte for an account without a team.
select banc.comme(:'s');
select public.mon_compte() as r \gset
select banc.moi();
select is((:'r'::jsonb) #>> '{compte,email}', 'solo@comptes.test', 'mon_compte gives the e-mail');
select is((:'r'::jsonb) -> 'organisation', 'null'::jsonb, 'no team, no organisation');
select is((:'r'::jsonb) #> '{compte,roleOrg}', 'null'::jsonb, 'no team, no role in it');
select is((:'r'::jsonb) -> 'invitations', '[]'::jsonb, 'no invitation');
select ok(prive.instant((:'r'::jsonb) ->> 'serveurMaintenant') is not null, 'serveurMaintenant is an instant');
select is((:'r'::jsonb) #>> '{quilloAppel,dureeMaxMin}', '240', 'the assistant settings come along');

-- mon_compte for the owner.
select banc.comme(:'p');
select public.mon_compte() as r \gset
select public.mon_equipe() as e \gset
select banc.moi();
select is((:'r'::jsonb) #>> '{compte,roleOrg}', 'proprietaire', 'the owner''s role');
select is((:'r'::jsonb) #>> '{compte,entreprise}', 'Sud SARL', 'the company');
select is((:'r'::jsonb) #>> '{organisation,nom}', 'Ventes Sud', 'the team''s name');
select is((:'r'::jsonb) #>> '{organisation,conservationMois}', '12', 'the team''s retention');
select is((:'r'::jsonb) #>> '{organisation,proprietaireNom}', 'Paule', 'the owner''s name');
select is((:'e'::jsonb) ->> 'gestionnaire', 'true', 'the owner manages the team');
select is((:'e'::jsonb) ->> 'placesLibres', '1', 'one free seat of two');
select is(jsonb_array_length((:'e'::jsonb) -> 'membres'), 1, 'one member');

-- An invitation for Léa: she sees it, then accepts it.
insert into public.invitations (organisation_id, email, role_org, invite_par)
values (:'o', 'Lea@Comptes.test', 'commercial', :'p') returning id as inv \gset
select banc.comme(:'l');
select public.mon_compte() as r \gset
select banc.moi();
select is(jsonb_array_length((:'r'::jsonb) -> 'invitations'), 1, 'the received invitation is listed (e-mail in any case)');
select is((:'r'::jsonb) #>> '{invitations,0,organisationNom}', 'Ventes Sud', 'with the team''s name');
select is((:'r'::jsonb) #>> '{invitations,0,invitePar}', 'Paule', 'with the inviter');
select is((:'r'::jsonb) #>> '{invitations,0,equipeComplete}', 'false', 'a seat is free');

select banc.comme(:'s');
select throws_ok(format('select public.accepter_invitation(%L)', :'inv'), 'P0001', 'Cette invitation n''existe plus.',
                 'an invitation for someone else cannot be accepted');
select throws_ok('select public.accepter_invitation(''pas-un-id'')', '22023', 'Paramètre p_invitation invalide.',
                 'an invalid identifier is an invalid parameter');
select throws_ok('select public.refuser_invitation(null)', '22023', null, 'a missing identifier is an invalid parameter');
select banc.comme(:'l');
select public.accepter_invitation(:'inv') as r \gset
select is((:'r'::jsonb) #>> '{compte,roleOrg}', 'commercial', 'accepting gives the invited role');
select throws_ok(format('select public.accepter_invitation(%L)', :'inv'), 'P0001', null,
                 'an invitation is accepted once');
select public.mon_equipe() as e \gset
select is((:'e'::jsonb) ->> 'gestionnaire', 'false', 'a salesperson does not manage the team');
select is((:'e'::jsonb) -> 'invitations', '[]'::jsonb, 'a salesperson does not see the team''s invitations');
select is(jsonb_array_length((:'e'::jsonb) -> 'membres'), 2, 'two members now');
select banc.moi();

-- The team is full: a third invitation cannot be accepted.
insert into public.invitations (organisation_id, email, invite_par) values (:'o', 'solo@comptes.test', :'p')
returning id as inv2 \gset
select banc.comme(:'s');
select public.mon_compte() as r \gset
select is((:'r'::jsonb) #>> '{invitations,0,equipeComplete}', 'true', 'the invitation says the team is full');
select throws_like(format('select public.accepter_invitation(%L)', :'inv2'), '%plus de place libre%',
                   'no seat left');
-- Hints carry the code the program maps.
create function pg_temp.indice(p_sql text) returns text language plpgsql as $$
declare h text;
begin
  execute p_sql;
  return null;
exception when others then
  get stacked diagnostics h = pg_exception_hint;
  return h;
end $$;
select is(pg_temp.indice(format('select public.accepter_invitation(%L)', :'inv2')), 'equipe_complete', 'hint equipe_complete');
select banc.moi();

-- Expired and refused invitations.
update public.invitations set expire_le = now() - interval '1 day' where id = :'inv2';
select banc.comme(:'s');
select is(pg_temp.indice(format('select public.accepter_invitation(%L)', :'inv2')), 'invitation_expiree', 'hint invitation_expiree');
select banc.moi();
update public.invitations set expire_le = now() + interval '1 day' where id = :'inv2';
select banc.comme(:'s');
select is((public.refuser_invitation(:'inv2')) ->> 'statut', 'refusee', 'refusing an invitation');
select is(pg_temp.indice(format('select public.refuser_invitation(%L)', :'inv2')), 'invitation_introuvable', 'a refused invitation is gone');
select ok(prive.instant(public.serveur_maintenant()) is not null, 'serveur_maintenant gives an ISO 8601 instant');
select banc.moi();

select * from finish();
rollback;
