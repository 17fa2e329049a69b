#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test (as root, idempotent).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
paquets=(
  # build
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-websockets-dev qt6-svg-dev qt6-charts-dev
  libjavascriptcoregtk-4.1-dev qtkeychain-qt6-dev qcoro-qt6-dev
  libpulse-dev libspeexdsp-dev zlib1g-dev libxcb1-dev
  libpulse-dev libspeexdsp-dev zlib1g-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev libavdevice-dev
  # run
  libsecret-1-0 fonts-dejavu-core fonts-inter qt6-qpa-plugins libx264-164
  # tests: ffprobe reads the recordings
  ffmpeg
  # tests: audio, keyring, display, fuzzing
  pulseaudio pulseaudio-utils espeak-ng sox xvfb xauth trayer gnome-keyring dbus dbus-x11
  clang libclang-rt-14-dev
  # tests: the backend's database (private PostgreSQL, pgTAP, Qt's PostgreSQL driver)
  postgresql-15 postgresql-15-pgtap libtap-parser-sourcehandler-pgtap-perl libqt6sql6-psql
  clang libclang-rt-14-dev python3-openpyxl
  # package: build and checks
  dpkg-dev help2man librsvg2-bin lintian desktop-file-utils appstream xdg-utils libglib2.0-bin man-db file
)
manquants=()
for p in "${paquets[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || manquants+=("$p")
done
if [ ${#manquants[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq "${manquants[@]}"
fi
# Wayland video (portal streams) and its tests' private PipeWire, without the
# recommended pipewire-pulse, which would take the place of PulseAudio.
pipewire=(libpipewire-0.3-dev pipewire pipewire-bin wireplumber)
for p in "${pipewire[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${pipewire[@]}"
    break
  fi
done
