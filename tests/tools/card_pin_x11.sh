#!/usr/bin/env bash
# A message for the key on a smart card (a SoftHSM2 token set up as a holder's card tool sets
# one up), decrypted in the window on a real X server: the PIN typed into the window's prompt,
# which names the card. Run it inside a session bus of its own (dbus-run-session).
#   card_pin_x11.sh SOURCE_DIR BUILD_DIR APPLICATION_ID PRODUCT_NAME
set -u
source_dir=$1 build_dir=$2 id=$3 name=$4
work=$(mktemp -d)
home=$work/home
mkdir -p "$home/.pki"
trap 'kill ${program:-} ${wm:-} ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

bash "$source_dir/tests/tools/make-token-store.sh" "$work/card" "$build_dir/fixtures" || exit 1
cp -r "$work/card/nssdb" "$home/.pki/nssdb"
export SOFTHSM2_CONF=$work/card/softhsm2.conf
head -c 5000 /dev/urandom > "$work/letter.txt"
openssl cms -encrypt -binary -aes256 -outform DER -in "$work/letter.txt" \
  -out "$home/letter.txt.enc" "$build_dir/fixtures/carol.pem" || exit 1

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null & xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
if command -v openbox > /dev/null; then openbox > /dev/null 2>&1 & wm=$!; sleep 1; fi

send() {
  dbus-send --session --type=method_call --dest="$id.p$program" /MainDialog \
    "$id.MainDialog.Command" "uint32:$1" "uint32:0"
}
(cd "$home" && env -u XDG_RUNTIME_DIR HOME="$home" QT_QPA_PLATFORM=xcb "$build_dir/app/mirebolt" \
  2> "$work/stderr") &
program=$!
for _ in $(seq 100); do
  child=$(pgrep -P "$program" -x mirebolt) && break
  sleep 0.1
done
program=${child:-$program}
xdotool search --sync --onlyvisible --name "^$name " > /dev/null
for _ in $(seq 50); do send 0 > /dev/null 2>&1 && break; sleep 0.1; done

send 1001; sleep 0.7; xdotool type --delay 10 "$home/letter.txt.enc"; xdotool key Return
send 1011 &
xdotool search --sync --onlyvisible --name "^Password Required" > /dev/null
sleep 0.5; xdotool type --delay 50 "carol-pin"; xdotool key Return
for _ in $(seq 100); do [ -s "$home/letter.txt" ] && break; sleep 0.1; done
sleep 0.5; xdotool key Return

cmp -s "$work/letter.txt" "$home/letter.txt" || { echo "the letter did not come back"; exit 1; }
