#!/usr/bin/env bash
# synchroniser on a private PostgreSQL at the large store's scale: a first push
# of 10,000 contacts and 2,000 calls of 300 segments in the client's batches
# (at most 1000 records, 50 calls and about 1 MB each), then a full pull in
# pages and the pull of an up-to-date account. Prints the time per batch, the
# total, and the server process's peak memory. Run by hand:
#   bash bench/bench_synchro_postgres.sh
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${VD_POSTGRES:-}" ]; then
  exec bash "$racine/scripts/avec-postgres.sh" bash "$0" "$@"
fi
travail=$(mktemp -d /tmp/vd-bench-pg.XXXXXX)
trap 'rm -rf "$travail"' EXIT

echo "Préparation des lots (non mesurée)…" >&2
psql -X -q -v ON_ERROR_STOP=1 <<'SQL'
insert into auth.users (id, email) values ('11111111-1111-4111-8111-111111111111', 'bench@exemple.fr');
create schema bench;
create table bench.lots (n serial, genre text, objets integer, octets integer, corps text);
grant usage on schema bench to authenticated;
grant select on bench.lots to authenticated;
insert into bench.lots (genre, objets, octets, corps)
select 'contacts', count(*), sum(octet_length(c::text)), jsonb_build_object('contacts', jsonb_agg(c))::text
  from (select i, jsonb_build_object('id', 'contact-' || i, 'nom', 'Nom ' || i, 'prenom', 'Prénom',
                 'societe', 'Société ' || (i % 700), 'email', 'contact' || i || '@exemple.fr',
                 'telephone', '+33 6 12 34 ' || lpad((i % 10000)::text, 4, '0'), 'statut', 'prospect',
                 'notes', repeat('Note sur le contact. ', 8), 'tags', jsonb_build_array('salon', 'devis'),
                 'creeLe', '2026-03-01T09:00:00.000Z', 'majLe', '2026-03-01T09:00:00.000Z') c
          from generate_series(1, 10000) i) s
 group by (i - 1) / 1000 order by min(i);
create temp table appels as
select i, jsonb_build_object('id', 'appel-' || i, 'contactId', 'contact-' || i, 'statut', 'termine',
         'debut', to_char(now() - make_interval(hours => i), 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'), 'dureeSec', 1800,
         'segments', (select jsonb_agg(jsonb_build_object('id', 's' || j, 'locuteur', case when j % 2 = 0 then 'vous' else 'prospect' end,
                        'texte', 'Alors sur ce point précis, nous pourrions regarder ensemble le devis et les délais ' || j,
                        'debutMs', j * 6000, 'finMs', j * 6000 + 5000, 'final', true))
                        from generate_series(1, 300) j),
         'analyse', jsonb_build_object('score', 72, 'resume', repeat('Résumé de l''appel. ', 20)),
         'creeLe', '2026-03-01T09:00:00.000Z', 'majLe', '2026-03-01T09:00:00.000Z') v
  from generate_series(1, 2000) i;
insert into bench.lots (genre, objets, octets, corps)
select 'appels', count(*), sum(t), jsonb_build_object('appels', jsonb_agg(v order by i))::text
  from (select i, v, octet_length(v::text) t,
               sum(octet_length(v::text)) over (order by i) as cumul, row_number() over (order by i) as rang from appels) s
 group by greatest(floor(cumul / 1000000.0), floor((rang - 1) / 50.0)) order by min(i);
SQL
nb=$(psql -X -tAc 'select count(*) from bench.lots')
{
  echo "select set_config('role', 'authenticated', false), set_config('request.jwt.claims', '{\"sub\": \"11111111-1111-4111-8111-111111111111\", \"role\": \"authenticated\"}', false) \\g /dev/null"
  echo "select pg_backend_pid() as pid \\gset"
  echo "\\o /dev/null"
  echo "\\timing on"
  for n in $(seq 1 "$nb"); do
    echo "select public.synchroniser(null, corps::jsonb, '{\"limite_appels\": 50}') from bench.lots where n = $n;"
  done
  echo "\\timing off"
  echo "\\o"
  echo "reset role;"
  echo "select 'mémoire du processus serveur (pic) : ' || (regexp_match(pg_read_file('/proc/self/status'), 'VmHWM:\\s+(\\d+ kB)'))[1];"
} > "$travail/pousser.sql"
psql -X -q -v ON_ERROR_STOP=1 -f "$travail/pousser.sql" > "$travail/pousser.txt"
psql -X -tA -F ' ' -c 'select n, genre, objets, octets from bench.lots order by n' > "$travail/lots.txt"
paste -d ' ' "$travail/lots.txt" <(grep '^Time:' "$travail/pousser.txt" | awk '{print $2}') | awk '
  { t[$2] += $5; n[$2]++; if ($5 > m[$2]) m[$2] = $5; o[$2] += $3; oc[$2] += $4; ms = $5 / ($4 / 1e6); if (ms > pm) pm = ms; tot += $5 }
  END {
    for (g in t) printf "poussée %-8s : %3d lots, %5d objets, %6.1f Mo ; %7.1f ms en tout, %6.1f ms par lot en moyenne, %6.1f ms au plus\n", g, n[g], o[g], oc[g] / 1e6, t[g], t[g] / n[g], m[g]
    printf "poussée totale : %.2f s ; au plus %.1f ms par Mo de lot\n", tot / 1000, pm
  }'
grep -h 'mémoire du processus' "$travail/pousser.txt" | sed 's/^ *//'

# Full pull in pages, then the up-to-date pull.
{
  echo "select set_config('role', 'authenticated', false), set_config('request.jwt.claims', '{\"sub\": \"11111111-1111-4111-8111-111111111111\", \"role\": \"authenticated\"}', false) \\g /dev/null"
  echo "\\set depuis ''"
  echo "\\timing on"
  for _ in $(seq 1 60); do
    echo "select r ->> 'prochain_depuis' as depuis, r ->> 'complet' as complet from (select public.synchroniser(nullif(:'depuis', ''), null, '{\"limite_appels\": 50}') r) s \\gset"
  done
  echo "\\timing off"
  echo "\\echo fin :depuis :complet"
  echo "\\timing on"
  for _ in $(seq 1 20); do
    echo "select public.synchroniser(:'depuis', null, '{\"limite_appels\": 50}') \\g /dev/null"
  done
} > "$travail/tirer.sql"
psql -X -q -v ON_ERROR_STOP=1 -f "$travail/tirer.sql" > "$travail/tirer.txt"
grep '^Time:' "$travail/tirer.txt" | head -60 | awk '{ s += $2; if ($2 > m) m = $2 } END { printf "tirage complet en 60 appels, %.2f s en tout, %.1f ms par page au plus\n", s / 1000, m }'
grep '^Time:' "$travail/tirer.txt" | tail -20 | awk '{ print $2 }' | sort -n | awk '{ v[NR] = $1 } END { printf "tirage d'\''un compte à jour : médiane %.2f ms, au plus %.2f ms (20 essais)\n", v[int((NR + 1) / 2)], v[NR] }'
grep '^fin' "$travail/tirer.txt"
