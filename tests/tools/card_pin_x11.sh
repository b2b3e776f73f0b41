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

source "$source_dir/tests/tools/x11_window.sh"
start_display
start_window "$build_dir/app/mirebolt"

send 1001; sleep 0.7; xdotool type --delay 10 "$home/letter.txt.enc"; xdotool key Return
send 1011 &
xdotool search --sync --onlyvisible --name "^Password Required" > /dev/null
sleep 0.5; xdotool type --delay 50 "carol-pin"; xdotool key Return
for _ in $(seq 100); do [ -s "$home/letter.txt" ] && break; sleep 0.1; done
sleep 0.5; xdotool key Return

cmp -s "$work/letter.txt" "$home/letter.txt" || { echo "the letter did not come back"; exit 1; }
