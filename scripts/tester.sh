#!/usr/bin/env bash
# Installs, builds and runs the whole test suite (CTest), then the fuzzers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/installer-dependances.sh
bash scripts/construire.sh
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/vd-run.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
(cd build && ctest --output-on-failure -j2 --timeout 600)
bash scripts/fuzz.sh 30
bash scripts/verifier-paquet.sh
