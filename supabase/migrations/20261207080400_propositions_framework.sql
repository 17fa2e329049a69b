-- Questions proposed by team members for a step of a team framework, accepted
-- or refused by a manager. An accepted question is added to the step in the
-- synchronised framework record itself, as a change of its own ("majLe" moves
-- on), so every member's program receives it with the next pull.

create table public.propositions_framework (
  id uuid primary key default gen_random_uuid(),
  organisation_id uuid not null references public.organisations (id) on delete cascade,
  framework_compte_id uuid not null references public.comptes (id) on delete cascade,
  framework_id text not null,
  etape_id text not null,
  question text not null check (length(question) between 1 and 500),
  appel_id text,
  auteur_id uuid references public.comptes (id) on delete set null,
  statut text not null default 'en_attente' check (statut in ('en_attente', 'acceptee', 'refusee')),
  cree_le timestamptz not null default clock_timestamp(),
  decide_par uuid references public.comptes (id) on delete set null,
  decide_le timestamptz
);
create index propositions_framework_attente on public.propositions_framework (organisation_id, cree_le)
  where statut = 'en_attente';

alter table public.propositions_framework enable row level security;
revoke all on public.propositions_framework from anon, authenticated;
grant select on public.propositions_framework to authenticated;
grant all on public.propositions_framework to service_role;
create policy propositions_framework_lire on public.propositions_framework for select to authenticated
  using (auteur_id = (select auth.uid())
         or (organisation_id = prive.organisation_de((select auth.uid()))
             and prive.role_dans_equipe((select auth.uid())) in ('proprietaire', 'manager')));

create function prive.proposition_json(p public.propositions_framework) returns jsonb
language sql stable security definer set search_path = ''
as $$
  select jsonb_build_object(
    'id', p.id, 'framework_id', p.framework_id, 'etape_id', p.etape_id, 'question', p.question,
    'appel_id', p.appel_id, 'auteur_id', p.auteur_id,
    'auteur_nom', coalesce((select coalesce(c.nom, c.email) from public.comptes c where c.id = p.auteur_id), ''),
    'statut', p.statut, 'cree_le', prive.instant_json(p.cree_le), 'decide_le', prive.instant_json(p.decide_le))
$$;

-- The team framework p_framework_id (the latest written when two members hold
-- one under that id), or framework_introuvable.
create function prive.framework_equipe(p_organisation uuid, p_framework_id text) returns public.frameworks
language plpgsql stable security definer set search_path = ''
as $$
declare
  f public.frameworks;
begin
  select x.* into f from public.frameworks x
    join public.membres m on m.compte_id = x.compte_id and m.organisation_id = p_organisation
   where x.id = p_framework_id and x.supprime_le is null
   order by x.maj_le desc limit 1;
  if not found then
    raise exception using errcode = 'P0001', message = 'Ce Framework n''existe plus.', hint = 'framework_introuvable';
  end if;
  return f;
end
$$;

-- The position (from 0) of step p_etape_id in the framework, or etape_introuvable.
create function prive.position_etape(p_donnees jsonb, p_etape_id text) returns integer
language plpgsql immutable
as $$
declare
  pos integer;
begin
  select e.ord - 1 into pos
    from jsonb_array_elements(case when jsonb_typeof(p_donnees -> 'etapes') = 'array' then p_donnees -> 'etapes'
                                   else '[]'::jsonb end) with ordinality as e (v, ord)
   where e.v ->> 'id' = p_etape_id limit 1;
  if pos is null then
    raise exception using errcode = 'P0001', message = 'Cette étape n''existe plus dans le Framework.',
                          hint = 'etape_introuvable';
  end if;
  return pos;
end
$$;

create function prive.question_presente(p_etape jsonb, p_question text) returns boolean
language sql immutable
as $$
  select exists (select 1 from jsonb_array_elements_text(
                   case when jsonb_typeof(p_etape -> 'questions') = 'array' then p_etape -> 'questions' else '[]'::jsonb end) q
                  where lower(btrim(q)) = lower(p_question))
$$;

create function public.proposer_question_framework(p_framework_id text, p_etape_id text, p_question text,
                                                   p_appel_id text default null) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  f public.frameworks;
  pos integer;
  v_question text := prive.texte_parametre(p_question, 'p_question', 500);
  p public.propositions_framework;
begin
  if p_framework_id is null or length(p_framework_id) not between 1 and 200 then
    raise exception using errcode = '22023', message = 'Paramètre p_framework_id invalide.';
  end if;
  if p_etape_id is null or length(p_etape_id) not between 1 and 60 then
    raise exception using errcode = '22023', message = 'Paramètre p_etape_id invalide.';
  end if;
  if p_appel_id is not null then
    perform prive.appel_visible(moi, p_appel_id);
  end if;
  f := prive.framework_equipe(m.organisation_id, p_framework_id);
  pos := prive.position_etape(f.donnees, p_etape_id);
  if prive.question_presente(f.donnees -> 'etapes' -> pos, v_question) then
    raise exception using errcode = 'P0001', message = 'Cette question figure déjà dans l''étape.', hint = 'question_existante';
  end if;
  -- The same question still waiting for this step is not proposed twice.
  select * into p from public.propositions_framework x
   where x.organisation_id = m.organisation_id and x.framework_id = p_framework_id and x.etape_id = p_etape_id
     and x.statut = 'en_attente' and lower(x.question) = lower(v_question)
   limit 1;
  if not found then
    insert into public.propositions_framework (organisation_id, framework_compte_id, framework_id, etape_id, question,
                                               appel_id, auteur_id)
    values (m.organisation_id, f.compte_id, p_framework_id, p_etape_id, v_question, p_appel_id, moi)
    returning * into p;
  end if;
  return prive.proposition_json(p);
end
$$;

-- Waiting proposals, oldest first: the team's for a manager, one's own for a salesperson.
create function public.propositions_framework() returns jsonb
language plpgsql stable security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  gestionnaire boolean := m.role_org in ('proprietaire', 'manager');
begin
  return (select coalesce(jsonb_agg(prive.proposition_json(p) order by p.cree_le, p.id), '[]'::jsonb)
            from public.propositions_framework p
           where p.organisation_id = m.organisation_id and p.statut = 'en_attente'
             and (gestionnaire or p.auteur_id = moi));
end
$$;

create function public.decider_proposition_framework(p_id text, p_accept boolean) returns jsonb
language plpgsql security definer set search_path = ''
as $$
declare
  moi uuid := prive.utilisateur();
  m public.membres := prive.membre_equipe(moi);
  p public.propositions_framework;
  f public.frameworks;
  pos integer;
  v_questions jsonb;
  instant timestamptz;
begin
  perform prive.exiger_gestionnaire(m);
  if p_accept is null then
    raise exception using errcode = '22023', message = 'Paramètre p_accept invalide : vrai ou faux.';
  end if;
  select * into p from public.propositions_framework x
   where x.id = prive.uuid_parametre(p_id, 'p_id') and x.organisation_id = m.organisation_id
   for update;
  if not found then
    raise exception using errcode = 'P0001', message = 'Cette proposition n''existe plus.', hint = 'proposition_introuvable';
  end if;
  if p.statut <> 'en_attente' then
    raise exception using errcode = 'P0001', message = 'Cette proposition a déjà été traitée.', hint = 'deja_traitee';
  end if;

  if p_accept then
    f := prive.framework_equipe(m.organisation_id, p.framework_id);
    select * into f from public.frameworks x where x.compte_id = f.compte_id and x.id = f.id for update;
    pos := prive.position_etape(f.donnees, p.etape_id);
    if not prive.question_presente(f.donnees -> 'etapes' -> pos, p.question) then
      v_questions := case when jsonb_typeof(f.donnees -> 'etapes' -> pos -> 'questions') = 'array'
                        then f.donnees -> 'etapes' -> pos -> 'questions' else '[]'::jsonb end;
      if jsonb_array_length(v_questions) >= 8 then
        raise exception using errcode = 'P0001',
          message = 'Cette étape a déjà 8 questions : retirez-en une avant d''accepter.', hint = 'etape_complete';
      end if;
      -- Later than the stored change, so that no program keeps its older copy,
      -- and to the millisecond, as "majLe" carries it.
      instant := date_trunc('milliseconds', greatest(clock_timestamp(), f.maj_le + interval '1 millisecond'));
      update public.frameworks
         set donnees = jsonb_set(f.donnees, array['etapes', pos::text, 'questions'], v_questions || to_jsonb(p.question))
                       || jsonb_build_object('majLe', prive.instant_json(instant), 'majPar', moi),
             maj_le = instant
       where compte_id = f.compte_id and id = f.id;
    end if;
  end if;

  update public.propositions_framework
     set statut = case when p_accept then 'acceptee' else 'refusee' end, decide_par = moi, decide_le = clock_timestamp()
   where id = p.id returning * into p;
  return prive.proposition_json(p);
end
$$;

revoke all on function prive.proposition_json(public.propositions_framework), prive.framework_equipe(uuid, text),
  prive.position_etape(jsonb, text), prive.question_presente(jsonb, text),
  public.proposer_question_framework(text, text, text, text), public.propositions_framework(),
  public.decider_proposition_framework(text, boolean)
  from public, anon, authenticated;
grant execute on function public.proposer_question_framework(text, text, text, text), public.propositions_framework(),
  public.decider_proposition_framework(text, boolean) to authenticated;
