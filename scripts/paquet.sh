#!/usr/bin/env bash
# Builds the Debian package from build/ (configured and built if needed) and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/construire.sh >&2
(cd build && cpack -G DEB >&2)
ls -t build/vendalo_*.deb | head -n 1
