-- One table per synchronised collection. Each row is one record of one account:
-- its JSON form, its last change ("majLe" read as an instant), its creation, the
-- instant of its deletion for a tombstone, and where it stands in the change
-- stream: the writing transaction (ecrit_par) and a growing cursor value.
--
-- Why both: a sequence value is drawn when the row is written, not when its
-- transaction commits, so a reader who hands out "everything up to value N" can
-- skip a value N-1 whose transaction commits a moment later. The pull therefore
-- orders changes by (writing transaction, cursor value) and hands out only
-- changes whose transaction is older than pg_snapshot_xmin(pg_current_snapshot()):
-- every such transaction has ended, and every transaction still running or yet to
-- start has a later identifier, so nothing can appear later behind a cursor
-- already returned. A transaction left open elsewhere only delays delivery.

create sequence public.curseur_synchro as bigint;
revoke all on sequence public.curseur_synchro from public, anon, authenticated;
grant usage on sequence public.curseur_synchro to authenticated, service_role;

-- Inserts take both from the column defaults; an update through the tables
-- (which may not touch them) gets new ones here. synchroniser sets them itself,
-- which skips the trigger: a row-level trigger costs as much as the rest of a batch.
create function prive.marquer_ecriture() returns trigger
language plpgsql
as $$
begin
  new.curseur := nextval('public.curseur_synchro');
  new.ecrit_par := pg_current_xact_id();
  return new;
end
$$;
grant execute on function prive.marquer_ecriture() to authenticated, service_role;

do $$
declare
  t text;
begin
  foreach t in array array['contacts', 'interactions', 'profils_clients', 'objections_lib',
                           'appels', 'frameworks', 'entreprises_profil']
  loop
    execute format($f$
      create table public.%1$I (
        compte_id uuid not null default auth.uid() references public.comptes (id) on delete cascade,
        id text not null check (length(id) between 1 and 200),
        donnees jsonb check (donnees is null or jsonb_typeof(donnees) = 'object'),
        maj_le timestamptz not null,
        cree_le timestamptz,
        supprime_le timestamptz,
        curseur bigint not null default nextval('public.curseur_synchro'),
        ecrit_par xid8 not null default pg_current_xact_id(),
        primary key (compte_id, id),
        check ((supprime_le is null) = (donnees is not null))
      )$f$, t);
    execute format('create index %1$I on public.%2$I (compte_id, ecrit_par, curseur)', t || '_flux', t);
    execute format('create trigger vd_marquer before update on public.%I for each row
                    when (new.curseur = old.curseur) execute function prive.marquer_ecriture()', t);
    execute format('alter table public.%I enable row level security', t);
    execute format('revoke all on public.%I from anon, authenticated', t);
    execute format('grant select, delete on public.%I to authenticated', t);
    execute format('grant insert (compte_id, id, donnees, maj_le, cree_le, supprime_le),
                    update (donnees, maj_le, cree_le, supprime_le) on public.%I to authenticated', t);
    execute format('grant all on public.%I to service_role', t);
    execute format('create policy %1$I on public.%2$I for insert to authenticated
                    with check (compte_id = (select auth.uid()))', t || '_ajouter', t);
    execute format('create policy %1$I on public.%2$I for update to authenticated
                    using (compte_id = (select auth.uid())) with check (compte_id = (select auth.uid()))',
                   t || '_modifier', t);
    execute format('create policy %1$I on public.%2$I for delete to authenticated
                    using (compte_id = (select auth.uid()))', t || '_supprimer', t);
  end loop;
end
$$;

-- Reading: one's own rows; a team's managers read its members' calls; members
-- share the team's frameworks and objection library.
create policy contacts_lire on public.contacts for select to authenticated
  using (compte_id = (select auth.uid()));
create policy interactions_lire on public.interactions for select to authenticated
  using (compte_id = (select auth.uid()));
create policy profils_clients_lire on public.profils_clients for select to authenticated
  using (compte_id = (select auth.uid()));
create policy entreprises_profil_lire on public.entreprises_profil for select to authenticated
  using (compte_id = (select auth.uid()));
create policy appels_lire on public.appels for select to authenticated
  using (compte_id = (select auth.uid()) or prive.gere(compte_id));
create policy frameworks_lire on public.frameworks for select to authenticated
  using (compte_id = (select auth.uid()) or prive.meme_equipe(compte_id));
create policy objections_lib_lire on public.objections_lib for select to authenticated
  using (compte_id = (select auth.uid()) or prive.meme_equipe(compte_id));
