#!/usr/bin/env bash
# Runs the database's pgTAP suite (supabase/tests/*.sql) with pg_prove on a
# private PostgreSQL. Exits 77 (skipped) when PostgreSQL, pgTAP or pg_prove is absent.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v pg_prove >/dev/null; then
  echo "pgtap : pg_prove introuvable (paquet libtap-parser-sourcehandler-pgtap-perl), test sauté." >&2
  exit 77
fi
if ! ls /usr/share/postgresql/1[5-9]/extension/pgtap.control >/dev/null 2>&1; then
  echo "pgtap : extension pgTAP introuvable (paquet postgresql-15-pgtap), test sauté." >&2
  exit 77
fi
exec bash "$racine/scripts/avec-postgres.sh" bash -c '
  psql -X -q -v ON_ERROR_STOP=1 -c "create extension if not exists pgtap; create extension if not exists dblink" >/dev/null
  exec pg_prove --ext .sql -v "$0"/supabase/tests/' "$racine"
