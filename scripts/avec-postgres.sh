#!/usr/bin/env bash
# Runs a command against a private PostgreSQL 15 cluster: a temporary folder,
# a Unix socket in it and no TCP, run by the unprivileged "postgres" user when
# started as root. The database "vendalo" gets supabase/local then the
# migrations in order; the command finds it through PGHOST, PGPORT, PGUSER,
# PGDATABASE and VD_POSTGRES (a libpq connection string). The server is stopped
# by its own process id. Exits 77 (a skipped test) when PostgreSQL is absent.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
bin=${VD_PG_BIN:-}
if [ -z "$bin" ]; then
  for d in /usr/lib/postgresql/15/bin /usr/lib/postgresql/1[6-9]/bin; do
    [ -x "$d/initdb" ] && bin=$d && break
  done
fi
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ] || [ ! -x "$bin/postgres" ] || ! command -v psql >/dev/null; then
  echo "avec-postgres : PostgreSQL 15 introuvable (paquet postgresql-15), test sauté." >&2
  exit 77
fi

dossier=$(mktemp -d /tmp/vd-pg.XXXXXX)
chmod 755 "$dossier"
en_serveur=()
if [ "$(id -u)" = 0 ]; then
  id postgres >/dev/null 2>&1 || { echo "avec-postgres : l'utilisateur postgres manque." >&2; exit 1; }
  chown postgres: "$dossier"
  en_serveur=(runuser -u postgres --)
fi

pid=
lanceur=
arreter() {
  # The server's own id, from its pid file (the launcher may be runuser).
  [ -z "$pid" ] && [ -f "$dossier/donnees/postmaster.pid" ] && pid=$(head -1 "$dossier/donnees/postmaster.pid")
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -INT "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  fi
  [ -n "$lanceur" ] && wait "$lanceur" 2>/dev/null
  rm -rf "$dossier"
}
trap arreter EXIT

"${en_serveur[@]}" "$bin/initdb" -D "$dossier/donnees" -U postgres --auth=trust -E UTF8 --no-locale --no-sync \
  >"$dossier/initdb.log" 2>&1 || { cat "$dossier/initdb.log" >&2; exit 1; }
port=5432
"${en_serveur[@]}" "$bin/postgres" -D "$dossier/donnees" -k "$dossier" -p "$port" \
  -c listen_addresses='' -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
  -c max_connections=40 -c shared_buffers=64MB -c log_min_messages=warning \
  >"$dossier/serveur.log" 2>&1 &
lanceur=$!

export PGHOST=$dossier PGPORT=$port PGUSER=postgres PGDATABASE=vendalo
for _ in $(seq 1 100); do
  "$bin/pg_isready" -q -h "$dossier" -p "$port" && break
  kill -0 "$lanceur" 2>/dev/null || { cat "$dossier/serveur.log" >&2; exit 1; }
  sleep 0.1
done
"$bin/pg_isready" -q -h "$dossier" -p "$port" || { cat "$dossier/serveur.log" >&2; exit 1; }
pid=$(head -1 "$dossier/donnees/postmaster.pid")

psql -X -q -d postgres -c 'create database vendalo' >/dev/null
for f in "$racine"/supabase/local/*.sql "$racine"/supabase/migrations/*.sql; do
  psql -X -q -v ON_ERROR_STOP=1 -f "$f" >/dev/null || { echo "avec-postgres : échec de $f" >&2; exit 1; }
done
export VD_POSTGRES="host=$dossier port=$port user=postgres dbname=vendalo"
export VD_POSTGRES_SERVEUR_PID=$pid

set +e
"$@"
code=$?
set -e
exit $code
