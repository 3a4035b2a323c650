#!/bin/sh
# Starts the test kit's private PipeWire stack in DIR for the test process
# OWNER and makes sure it stops: at once if starting fails or this script is
# interrupted, and when OWNER ends however it ends (a crashed test runs no
# TearDown). Prints the export line of the kit's up.sh, then "watchdog PID"
# (the owner may end the watchdog once it has stopped the stack itself).
# Usage: pipewire-session.sh KITDIR DIR OWNERPID
set -u
KIT=${1:?usage: pipewire-session.sh KITDIR DIR OWNERPID}
D=${2:?usage: pipewire-session.sh KITDIR DIR OWNERPID}
OWNER=${3:?usage: pipewire-session.sh KITDIR DIR OWNERPID}
# The session manager keeps the volumes it saw (which the mixer tests
# change) under XDG_STATE_HOME: inside DIR, so no later server inherits them.
export XDG_STATE_HOME="$D/state"
trap 'sh "$KIT/down.sh" "$D"; exit 1' HUP INT TERM
if ! out=$(sh "$KIT/up.sh" "$D"); then
  sh "$KIT/down.sh" "$D"
  exit 1
fi
(
  trap '' HUP INT
  while kill -0 "$OWNER" 2>/dev/null; do sleep 0.5; done
  sh "$KIT/down.sh" "$D"
  sleep 1
  rm -rf "$D"
) </dev/null >/dev/null 2>&1 &
trap - HUP INT TERM
echo "$out"
echo "watchdog $!"
