#!/usr/bin/env bash
# Run inside a session bus of its own (dbus-run-session): starts two copies of the window on
# Qt's offscreen platform, ends the first with OK and the second with Cancel through their bus
# names, and prints each copy's exit code.
#   two_copies.sh PROGRAM APPLICATION_ID
set -u
app=$1 id=$2
export QT_QPA_PLATFORM=offscreen
"$app" & first=$!
"$app" & second=$!

wait_for_name() {
  for _ in $(seq 100); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames \
        | grep -qF "\"$id.p$1\""; then
      return 0
    fi
    sleep 0.1
  done
  echo "no bus name for $1"
  return 1
}
send() {
  dbus-send --session --type=method_call --dest="$id.p$1" /MainDialog \
    "$id.MainDialog.Command" "uint32:$2" "uint32:$3"
}

wait_for_name "$first" && wait_for_name "$second" || { kill "$first" "$second"; exit 1; }
send "$first" 1001 1     # not a click: nothing
send "$first" 1 0        # OK
send "$second" 2 0       # Cancel
wait "$first"; echo "first=$?"
wait "$second"; echo "second=$?"
