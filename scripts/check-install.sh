#!/usr/bin/env bash
# Installs a build into a scratch root (make install with DESTDIR) and checks
# what a desktop needs: the program, its help in both languages, the desktop
# entry, the icon and the AppStream metadata (validated where the tools are
# present), and that the installed program keeps its settings in the user's
# configuration folder, never beside itself.
# Usage: check-install.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
root=$scratch/root
fail() { echo "FAILED: $*"; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr > "$scratch/install.log"
id=org.sonalyx.Sonalyx
for f in usr/bin/sonalyx usr/share/sonalyx/help/de/index.html usr/share/sonalyx/help/en/index.html \
         usr/share/sonalyx/help/en/images/mainwindow-analyser.png usr/share/sonalyx/help/style.css \
         usr/share/applications/$id.desktop usr/share/icons/hicolor/scalable/apps/$id.svg \
         usr/share/metainfo/$id.metainfo.xml; do
  [ -e "$root/$f" ] || fail "$f not installed"
done
grep -q '^Exec=sonalyx$' "$root/usr/share/applications/$id.desktop" || fail "desktop entry does not run sonalyx"

# Validated where the tools are present (scripts/install-deps.sh installs them).
! command -v desktop-file-validate > /dev/null ||
  desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop entry invalid"
! command -v appstreamcli > /dev/null ||
  appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metadata invalid"

# The installed program, run as whoever runs the tests (often root, who could
# write beside the program): its settings go to $XDG_CONFIG_HOME/sonalyx.
home=$scratch/home
mkdir -p "$home"
settings=$home/config/sonalyx/sonmain.ini
HOME=$home XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$scratch QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/sonalyx" > "$scratch/run.log" 2>&1 &
pid=$!
# The virtual card's settings are written at start-up; the termination
# request is handled once the windows exist.
for _ in $(seq 600); do
  [ -e "$settings" ] && break
  kill -0 $pid 2> /dev/null || break
  sleep 0.1
done
sleep 4
kill -TERM $pid 2> /dev/null || true
rc=0; wait $pid || rc=$?
[ $rc -eq 0 ] || { cat "$scratch/run.log"; fail "installed program exited with $rc"; }
[ -e "$settings" ] || fail "no settings in the configuration folder"
grep -q '^\[MAIN\]' "$settings" || fail "settings not written at exit"
[ ! -e "$root/usr/bin/sonmain.ini" ] || fail "settings written beside the installed program"
echo "install check passed"
