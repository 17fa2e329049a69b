#!/usr/bin/env bash
# Runs a command under a private PulseAudio daemon with two null sinks:
# "vd_hautparleurs" (the speakers; its monitor is the system audio) and
# "vd_micro" (its monitor stands for the microphone, set as default source).
set -euo pipefail
export HOME=$(mktemp -d /tmp/vd-pulse-home.XXXXXX)
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/vd-pulse-run.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
conf=$XDG_RUNTIME_DIR/vd.pa
cat > "$conf" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse/native
load-module module-null-sink sink_name=vd_hautparleurs rate=48000 sink_properties=device.description=HautParleurs
load-module module-null-sink sink_name=vd_micro rate=48000 sink_properties=device.description=Micro
set-default-sink vd_hautparleurs
set-default-source vd_micro.monitor
PA
mkdir -p "$XDG_RUNTIME_DIR/pulse"
pulseaudio --daemonize=no -n -F "$conf" --exit-idle-time=-1 --disable-shm=yes --log-target=stderr --log-level=error &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$HOME" "$XDG_RUNTIME_DIR"' EXIT
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
for i in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null
"$@"
