#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would meet it (as root, on a
# machine where it may be installed and removed): lint, menu entry, AppStream,
# install, the installed binary, a vendalo2: link through xdg-open, removal.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/paquet.sh)
echo "Paquet : $deb"

lintian --fail-on error "$deb"
desktop-file-validate packaging/linux/io.vendalo.Vendalo.desktop
appstreamcli validate --no-net build/paquet/io.vendalo.Vendalo.metainfo.xml

retirer() { apt-get remove --purge -y -qq vendalo >/dev/null 2>&1 || true; }
trap retirer EXIT
apt-get install -y -qq "./$deb" >/dev/null

/usr/bin/vendalo --version
env -u VD_RESOURCES_DIR /usr/bin/vendalo autotest >/dev/null
man -w vendalo >/dev/null
test -f /usr/share/icons/hicolor/scalable/apps/vendalo.svg
grep -q "x-scheme-handler/vendalo2=io.vendalo.Vendalo.desktop" /usr/share/applications/mimeinfo.cache

# A vendalo2: link opened by the desktop reaches the instance already running.
essai=$(mktemp -d /tmp/vd-paquet.XXXXXX)
export XDG_DATA_HOME=$essai/donnees XDG_CONFIG_HOME=$essai/config
export XDG_RUNTIME_DIR=$essai/run; mkdir -m 700 "$XDG_RUNTIME_DIR"
xvfb-run -a bash -c '
  QT_LOGGING_RULES="vd.app.info=true" /usr/bin/vendalo --demo 2>"$0/app.log" &
  app=$!
  # The lock comes first, the local server right after it.
  for i in $(seq 60); do [ -e "$XDG_DATA_HOME/Vendalo/.vendalo.verrou" ] && break; sleep 0.5; done
  sleep 2
  # As on a GNOME desktop: xdg-open hands the link to gio. Its generic fallback takes a
  # scheme with a digit ("vendalo2:") for a file name, which no real desktop uses.
  XDG_CURRENT_DESKTOP=GNOME xdg-open "vendalo2://compte/essai-paquet"
  ok=1
  for i in $(seq 40); do grep -q "lien de compte reçu" "$0/app.log" && { ok=0; break; }; sleep 0.5; done
  kill $app; wait $app 2>/dev/null || true
  exit $ok
' "$essai" || { echo "Le lien vendalo2: n'a pas atteint l'application :" >&2; cat "$essai/app.log" >&2; exit 1; }
rm -rf "$essai"

retirer
trap - EXIT
for f in /usr/bin/vendalo /usr/share/vendalo /usr/share/applications/io.vendalo.Vendalo.desktop /usr/share/man/man1/vendalo.1.gz; do
  if [ -e "$f" ]; then echo "Reste après désinstallation : $f" >&2; exit 1; fi
done
echo "Paquet vérifié."
