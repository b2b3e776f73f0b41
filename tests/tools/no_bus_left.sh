#!/usr/bin/env bash
# Starts the window on a private X server with no session bus anywhere, as on a bare desktop,
# ends it, and prints every process still running that the program started (found by a mark in
# its environment) and every file that appeared in its home folder. Silence is success.
set -u
app=$1
home=$(mktemp -d)
trap 'rm -rf "$home"; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null' EXIT

exec 3> "$home/.display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$home/.display" ] && break; sleep 0.1; done
display=:$(cat "$home/.display"); rm "$home/.display"

mark="mirebolt-test-$$-$RANDOM"
env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR HOME="$home" DISPLAY="$display" \
  QT_QPA_PLATFORM=xcb MIREBOLT_TEST_MARK="$mark" "$app" 2>/dev/null & program=$!
sleep 3
kill "$program" 2>/dev/null || echo "the program was not running after 3 s"
wait "$program" 2>/dev/null
sleep 0.5

for environ in /proc/[0-9]*/environ; do
  if cat "$environ" 2>/dev/null | tr '\0' '\n' | grep -qx "MIREBOLT_TEST_MARK=$mark"; then
    pid=${environ#/proc/}; pid=${pid%/environ}
    echo "left running: $(tr '\0' ' ' < /proc/$pid/cmdline)"
    kill "$pid" 2>/dev/null
  fi
done
find "$home" -mindepth 1 -printf 'appeared: %P\n'
