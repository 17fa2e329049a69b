#!/usr/bin/env bash
# Installs, builds and starts Vendalo on its demonstration data with a simulated
# call, in a private data folder (no keys, no network). Without a display it
# runs under Xvfb and leaves a screenshot in build/capture-demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/installer-dependances.sh
bash scripts/construire.sh
export XDG_DATA_HOME=${VD_DONNEES:-$PWD/build/demo-donnees}
export XDG_CONFIG_HOME=$XDG_DATA_HOME/config
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vd-run.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_DATA_HOME"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/src/vendalo --demo
fi
exec xvfb-run -a -s "-screen 0 1440x900x24" ./build/src/vendalo --demo --capture build/capture-demo.png
