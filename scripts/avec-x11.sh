#!/usr/bin/env bash
# Runs a command under a private Xvfb display (with a system tray when trayer exists).
set -euo pipefail
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vd-x11.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1440x900x24" bash -c '(command -v trayer >/dev/null && trayer >/dev/null 2>&1 &) ; sleep 0.3; exec "$@"' _ "$@"
