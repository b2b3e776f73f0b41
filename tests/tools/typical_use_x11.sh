#!/usr/bin/env bash
# The typical use on a real X server, driven as a person would with the keyboard, and the
# newcomer's round trip of scripts/try: Browse for the letter, add Alice from the store and Bob
# from his file, Encrypt, Browse for the message, Decrypt over the letter, the About box, Esc.
# Run it inside a session bus of its own (dbus-run-session): clicks arrive over the bus.
# Afterwards it lists what changed in the home folder besides the message; silence is success.
# The application id names the bus the clicks go to; the window is found by the product's name.
#   typical_use_x11.sh SOURCE_DIR BUILD_DIR APPLICATION_ID PRODUCT_NAME [SCREENSHOT_DIR]
set -u
source_dir=$1 build_dir=$2 id=$3 name=$4 shots=${5:-}
app=$build_dir/app/mirebolt
work=$(mktemp -d)
home=$work/home
mkdir "$home"
trap 'kill ${program:-} ${wm:-} ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

source "$source_dir/tests/tools/x11_window.sh"
start_display

BUILD_DIR=$build_dir "$source_dir/scripts/try" --prepare "$home" > /dev/null
# Every file with its digest, every folder by name.
listing() { (cd "$home" && { find . -type f -exec md5sum {} +; find . -type d; } | sort -k2); }
before=$(listing)

step=0
shot() {
  sleep 0.7
  [ -n "$shots" ] || return 0
  step=$((step + 1))
  import -window root "$shots/$(printf '%02d' $step)-$1.png" 2> /dev/null
}
keys() { sleep 0.5; xdotool key --delay 80 "$@"; }
type_text() { sleep 0.7; xdotool type --delay 10 "$1"; }

start_window "$app"
shot start

send 1001; type_text "$home/letter.txt"; shot browse; keys Return
send 1004; keys Down Down; shot menu; keys Return; shot picker; keys Return
send 1004; keys Down Return; shot certificate-files; type_text "$home/certificates/bob.pem"
keys Return; shot two-recipients
send 1010; shot encrypted; keys Return
send 1001; type_text "$home/letter.txt.enc"; keys Return
send 1011; shot overwrite; keys Return; shot decrypted; keys Return
send 57664; shot about; keys Escape
shot end; keys Escape
for _ in $(seq 50); do kill -0 "$program" 2> /dev/null || break; sleep 0.1; done

after=$(listing)
problems=$(
  diff <(echo "$before") <(echo "$after") | grep '^[<>]' |
    grep -v '^> [0-9a-f]*  \./letter\.txt\.enc$' | sed 's/^> /appeared or changed: /; s/^< /gone or changed: /'
  [ -f "$home/letter.txt.enc" ] || echo "no message written"
  cmp -s "$home/letter.txt" <(BUILD_DIR=$build_dir "$source_dir/scripts/try" --prepare "$work/fresh" > /dev/null; cat "$work/fresh/letter.txt") ||
    echo "the letter did not come back"
)
[ -z "$problems" ] || { echo "$problems"; exit 1; }
