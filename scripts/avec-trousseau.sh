#!/usr/bin/env bash
# Runs a command in a private D-Bus session with an unlocked gnome-keyring (Secret Service).
set -euo pipefail
export HOME=$(mktemp -d /tmp/vd-trousseau.XXXXXX)
export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/vd-trousseau-run.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$HOME" "$XDG_RUNTIME_DIR"' EXIT
dbus-run-session -- bash -c 'echo -n vd | gnome-keyring-daemon --unlock --components=secrets >/dev/null; exec "$@"' _ "$@"
