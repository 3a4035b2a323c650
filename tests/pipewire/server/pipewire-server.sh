#!/bin/sh
# A private PipeWire stack for the tests: a session bus, PipeWire and
# WirePlumber under DIR, with 10-loopback.conf (the default sink loops back to
# the default source) and the further configuration files of this folder
# named on the command line. Nothing outside DIR is touched; the machine's
# own sound cards stay with the user's session.
#
#   pipewire-server.sh up DIR [CONF...]       start (as a ctest fixture: it never
#       fails; when the stack cannot start, the reason goes to DIR/skip, which
#       the tests report when they skip)
#   pipewire-server.sh restart DIR [CONF...]  stop PipeWire and WirePlumber and
#       start them again with these files (the bus stays)
#   pipewire-server.sh down DIR               stop everything, remove DIR
#
# The environment a client needs: XDG_RUNTIME_DIR=DIR/run,
# XDG_CONFIG_HOME=DIR/config, XDG_STATE_HOME=DIR/state,
# DBUS_SESSION_BUS_ADDRESS=unix:path=DIR/run/bus.
set -u
usage="usage: pipewire-server.sh up|restart|down DIR [CONF...]"
ACTION=${1:?$usage}
D=${2:?$usage}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
export XDG_RUNTIME_DIR="$D/run" XDG_CONFIG_HOME="$D/config" XDG_STATE_HOME="$D/state"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$D/run/bus"

alive() { # a process that has not ended (an ended one may linger unreaped)
  [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

stop() { # stop NAME...: by the saved process ids, each given a second to end before it is killed
  for p in "$@"; do
    [ -f "$D/$p.pid" ] || continue
    pid=$(cat "$D/$p.pid")
    kill "$pid" 2>/dev/null
    n=0
    while alive "$pid" && [ $n -lt 10 ]; do sleep 0.1; n=$((n + 1)); done
    kill -9 "$pid" 2>/dev/null
    rm -f "$D/$p.pid"
  done
}

# Starts PipeWire and WirePlumber and waits until the session manager has
# chosen the default sink (the loopback), at most 15 s. Fails otherwise.
start_server() {
  rm -rf "$D/config/pipewire"
  mkdir -p "$D/config/pipewire/pipewire.conf.d"
  cp "$here/10-loopback.conf" "$D/config/pipewire/pipewire.conf.d/"
  for c in "$@"; do
    [ -f "$here/$c" ] || { echo "no configuration $c in $here"; return 1; }
    cp "$here/$c" "$D/config/pipewire/pipewire.conf.d/"
  done
  pipewire >>"$D/pipewire.log" 2>&1 &
  echo $! >"$D/pipewire.pid"
  n=0
  until [ -S "$D/run/pipewire-0" ]; do
    n=$((n + 1)); [ $n -gt 100 ] && { echo "pipewire did not start"; return 1; }; sleep 0.1
  done
  wireplumber >>"$D/wireplumber.log" 2>&1 &
  echo $! >"$D/wireplumber.pid"
  n=0
  until pw-metadata -n default 0 default.audio.sink 2>/dev/null | grep -q loop_sink; do
    n=$((n + 1)); [ $n -gt 150 ] && { echo "no default sink after 15 s"; return 1; }; sleep 0.1
  done
  return 0
}

case "$ACTION" in
down)
  stop wireplumber pipewire dbus
  rm -rf "$D"
  ;;
restart)
  stop wireplumber pipewire
  start_server "$@"
  ;;
up)
  rm -rf "$D"
  mkdir -p "$D/run" "$D/state" "$D/config"
  chmod 700 "$D/run"
  skip() { echo "$*" >"$D/skip"; exit 0; }
  for tool in pipewire wireplumber dbus-daemon pw-metadata; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (packages pipewire pipewire-alsa wireplumber dbus)"
  done
  # Session manager without hardware or Bluetooth monitors.
  cp -r "$here/wireplumber" "$D/config/"
  dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$D/dbus.log" 2>&1 &
  echo $! >"$D/dbus.pid"
  n=0
  until [ -S "$D/run/bus" ]; do
    n=$((n + 1)); [ $n -gt 50 ] && skip "the session bus did not start"; sleep 0.1
  done
  if ! why=$(start_server "$@" 2>&1); then
    stop wireplumber pipewire dbus
    skip "the PipeWire stack did not start: $why $(tail -5 "$D/pipewire.log" 2>/dev/null)"
  fi
  ;;
*)
  echo "$usage" >&2
  exit 2
  ;;
esac
exit 0
