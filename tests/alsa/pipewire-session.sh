#!/bin/sh
# The private PipeWire stack of the test kit for the PipeWire tests, as a
# ctest fixture: "up" starts it in DIR, "down" stops it and removes DIR.
# When the kit or a tool is missing, or the stack does not start, "up" still
# succeeds and leaves the reason in DIR/skip, which the tests report when
# they skip. Usage: pipewire-session.sh up|down KITDIR DIR
set -u
ACTION=${1:?usage: pipewire-session.sh up|down KITDIR DIR}
KIT=${2:?usage: pipewire-session.sh up|down KITDIR DIR}
D=${3:?usage: pipewire-session.sh up|down KITDIR DIR}
if [ "$ACTION" = down ]; then
  [ -f "$KIT/down.sh" ] && sh "$KIT/down.sh" "$D"
  sleep 0.5
  rm -rf "$D"
  exit 0
fi
rm -rf "$D"
mkdir -p "$D"
skip() { echo "$*" >"$D/skip"; exit 0; }
[ -f "$KIT/up.sh" ] || skip "the shared test kit was not found at $KIT"
for tool in pipewire wireplumber dbus-daemon; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (packages pipewire pipewire-alsa wireplumber dbus)"
done
# The session manager keeps the volumes it saw (which the mixer tests
# change) under XDG_STATE_HOME: inside DIR, so no later server inherits them.
export XDG_STATE_HOME="$D/state"
sh "$KIT/up.sh" "$D" >"$D/up.log" 2>&1 || { sh "$KIT/down.sh" "$D"; skip "the PipeWire stack did not start: $(cat "$D/up.log")"; }
exit 0
