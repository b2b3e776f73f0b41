#!/usr/bin/env bash
# The window as a screen reader finds it on a real X server, through AT-SPI: every control of
# the main window and of the certificate picker has a name that says what it is for, the link
# is a link, and a message box's text can be read. Prints what is missing; silence is success.
# Run it inside a session bus of its own (dbus-run-session).
#   accessible_window_x11.sh SOURCE_DIR BUILD_DIR APPLICATION_ID PRODUCT_NAME [SCREENSHOT_DIR]
set -u
source_dir=$1 build_dir=$2 id=$3 name=$4 shots=${5:-}
app=$build_dir/app/mirebolt
work=$(mktemp -d)
home=$work/home
mkdir "$home"
trap 'kill ${program:-} ${wm:-} ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

source "$source_dir/tests/tools/x11_window.sh"
failed=0
problem() { echo "$*"; failed=1; }
start_display
enable_accessibility || { problem "no accessibility bus"; exit 1; }
BUILD_DIR=$build_dir "$source_dir/scripts/try" --prepare "$home" > /dev/null

shot() {
  sleep 0.5
  [ -n "$shots" ] || return 0
  import -window root "$shots/$1.png" 2> /dev/null
}
keys() { sleep 0.5; xdotool key --delay 80 "$@"; }

# The controls of a dump that have no name: what a screen reader could only call "button".
unnamed() {
  awk -F'\t' '{ role = $1; sub(/^ */, "", role) }
    role ~ /^(push button|check box|text|tree|tree table|table|list|link|combo box|menu item)$/ && $2 == "" {
      print "unnamed " role " in " window }' window="$1" "$2" | grep . && failed=1
}
# Whether dump $2 has an object of role $3 named $4, in window $1.
has() {
  awk -F'\t' '{ role = $1; sub(/^ */, "", role) } role == r && $2 == n { found = 1 }
    END { exit !found }' r="$3" n="$4" "$2" || problem "no $3 named '$4' in $1"
}

start_window "$app"
accessible_tree "$program" > "$work/main" || exit 1
shot accessible-main
unnamed "the main window" "$work/main"
has "the main window" "$work/main" text "File to encrypt or decrypt"
has "the main window" "$work/main" push\ button Browser
has "the main window" "$work/main" check\ box "Use legacy Triple DES algorithm for encryption instead of AES"
has "the main window" "$work/main" tree Recipients
has "the main window" "$work/main" push\ button "Add recipient"
has "the main window" "$work/main" push\ button "Remove recipient"
has "the main window" "$work/main" push\ button Encrypt
has "the main window" "$work/main" push\ button Decrypt
awk -F'\t' '$1 ~ /^ *link$/ && $2 != "" { found = 1 } END { exit !found }' "$work/main" ||
  problem "the maker's site is no link with a name"

# Encrypt with an empty path box: the warning's text, as a screen reader reads it.
send 1010
accessible_tree "$program" Warning > "$work/warning" || exit 1
shot accessible-warning
grep -qF "Please select a file to encrypt" "$work/warning" || problem "the warning's text cannot be read"
keys Return

# "+", "Add From Certificate Store": the picker.
send 1004; keys Down Down Return
accessible_tree "$program" "Select Certificate" > "$work/picker" || exit 1
shot accessible-picker
unnamed "the picker" "$work/picker"
has "the picker" "$work/picker" tree Certificates
has "the picker" "$work/picker" text "Certificate details"
has "the picker" "$work/picker" push\ button OK
has "the picker" "$work/picker" push\ button Cancel
keys Escape
sleep 0.5; keys Escape
for _ in $(seq 50); do kill -0 "$program" 2> /dev/null || break; sleep 0.1; done
if [ -n "${KEEP_DUMPS:-}" ]; then cp "$work/main" "$work/warning" "$work/picker" "$KEEP_DUMPS/"; fi
exit $failed
