#!/usr/bin/env bash
# make package-test: installs the Debian package into a clean Debian 12 root
# made with debootstrap, as a user would with apt, and starts the program's
# desktop entry command there on the offscreen platform; it must exit cleanly
# when asked to end. Skips, saying why, where a clean root cannot be made
# (not root, no debootstrap, no Debian mirror).
# Usage: package-test.sh PACKAGE_BUILD_DIR
set -euo pipefail
dir=$1
deb=$(ls -1t "$dir"/sonalyx_*.deb 2> /dev/null | head -n 1 || true)
[ -n "$deb" ] || { echo "FAILED: no package in $dir (run make package)"; exit 1; }
skip() { echo "SKIPPED: package test: $*"; exit 0; }
fail() { echo "FAILED: package test: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "needs root for debootstrap and chroot"
if ! command -v debootstrap > /dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap > /dev/null 2>&1 ||
    skip "debootstrap is not installed and could not be installed"
fi
# The host's Debian mirror, else the usual one.
mirror=$(grep -h -m1 -o 'http[^ ]*/debian/\?$' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2> /dev/null |
  head -n 1 || true)
mirror=${mirror:-http://deb.debian.org/debian}

work=$(mktemp -d /var/tmp/sonalyx-package-test.XXXXXX)
root=$work/root
cleanup() { umount "$root/proc" 2> /dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

echo "== debootstrap bookworm from $mirror (takes a few minutes)"
debootstrap --variant=minbase bookworm "$root" "$mirror" > "$work/debootstrap.log" 2>&1 ||
  { tail -n 5 "$work/debootstrap.log"; skip "debootstrap could not make a Debian 12 root"; }
mount -t proc proc "$root/proc" 2> /dev/null || echo "note: /proc not mounted in the root"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2> /dev/null || true
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }

echo "== apt-get install $(basename "$deb")"
in_root apt-get update -qq || fail "apt-get update in the clean root"
DEBIAN_FRONTEND=noninteractive in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" \
  > "$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log"; fail "the package does not install with its dependencies"; }

# The files themselves are checked on every make test (check-install.sh).
id=org.sonalyx.Sonalyx
desktop=$root/usr/share/applications/$id.desktop
[ -e "$desktop" ] && [ -e "$root/usr/share/sonalyx/help/en/index.html" ] || fail "files missing after install"
! command -v appstreamcli > /dev/null ||
  appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metadata invalid"

# The menu's command, as the desktop runs it.
cmd=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
echo "== starting '$cmd' in the clean root"
mkdir -m 700 "$root/tmp/runtime"
in_root /bin/sh -c "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime $cmd > /tmp/run.log 2>&1 & echo \$! > /tmp/pid; wait \$!; echo \$? > /tmp/rc" &
runner=$!
settings=$root/root/.config/sonalyx/sonmain.ini
for _ in $(seq 600); do
  [ -e "$settings" ] && break
  kill -0 $runner 2> /dev/null || break
  sleep 0.1
done
sleep 4
[ -e "$root/tmp/pid" ] || fail "the program did not start"
kill -TERM "$(cat "$root/tmp/pid")" 2> /dev/null || true
wait $runner || true
rc=$(cat "$root/tmp/rc" 2> /dev/null || echo none)
cat "$root/tmp/run.log"
[ "$rc" = 0 ] || fail "the installed program exited with $rc"
grep -q '^\[MAIN\]' "$settings" || fail "the installed program wrote no settings to ~/.config/sonalyx"
echo "package test passed: $(basename "$deb") installs on Debian 12 and starts from its desktop entry"
