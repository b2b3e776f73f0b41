#!/usr/bin/env bash
# The window in the person's language on a real X server, read through AT-SPI: under a German
# locale (made here with localedef into a folder of the test's own) the window, its message boxes
# and Qt's own Open dialog speak German; under LANG=C every text is the English one, exactly.
# Prints what is wrong; silence is success. Run it inside a session bus of its own.
#   translated_window_x11.sh SOURCE_DIR BUILD_DIR APPLICATION_ID PRODUCT_NAME [SCREENSHOT_DIR]
set -u
source_dir=$1 build_dir=$2 id=$3 name=$4 shots=${5:-}
app=$build_dir/app/mirebolt
work=$(mktemp -d)
home=$work/home
mkdir "$home" "$work/locales"
trap 'kill ${program:-} ${wm:-} ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

source "$source_dir/tests/tools/x11_window.sh"
failed=0
problem() { echo "$*"; failed=1; }
localedef -i de_DE -f UTF-8 "$work/locales/de_DE.UTF-8" 2> /dev/null ||
  { echo "localedef could not make de_DE.UTF-8"; exit 1; }
start_display
enable_accessibility || { problem "no accessibility bus"; exit 1; }

shot() {
  sleep 0.5
  [ -n "$shots" ] || return 0
  import -window root "$shots/$1.png" 2> /dev/null
}
keys() { sleep 0.5; xdotool key --delay 80 "$@"; }
# Whether dump $2 has an object of role $3 named $4, in window $1.
has() {
  awk -F'\t' '{ role = $1; sub(/^ */, "", role) } role == r && $2 == n { found = 1 }
    END { exit !found }' r="$3" n="$4" "$2" || problem "no $3 named '$4' in $1"
}

# One run of the window under LANG=$1 (tagged $2 in what it reports): the main window's controls,
# the warning of Encrypt with no file, and the Open dialog of "Browser", each with the names that
# follow, in the order of the arguments.
check_language() {
  local lang=$1 tag=$2
  shift 2
  start_window env LANG="$lang" LANGUAGE= LC_ALL= LC_MESSAGES= LOCPATH="$work/locales" "$app"
  accessible_tree "$program" > "$work/main-$tag" || { problem "$tag: no window"; return; }
  shot "translated-$tag-main"
  has "the $tag window" "$work/main-$tag" text "$1"
  has "the $tag window" "$work/main-$tag" push\ button "$2"
  has "the $tag window" "$work/main-$tag" check\ box "$3"
  has "the $tag window" "$work/main-$tag" push\ button "$4"
  has "the $tag window" "$work/main-$tag" push\ button "$5"
  grep -qF "$6" "$work/main-$tag" || problem "$tag: no '$6' in the main window"

  send 1010
  accessible_tree "$program" "$7" > "$work/warning-$tag" || problem "$tag: no box titled '$7'"
  shot "translated-$tag-warning"
  grep -qF "$8" "$work/warning-$tag" || problem "$tag: the warning does not read '$8'"
  keys Return

  send 1001
  accessible_tree "$program" "$9" > "$work/open-$tag" || problem "$tag: no dialog titled '$9'"
  shot "translated-$tag-open"
  has "the $tag Open dialog" "$work/open-$tag" push\ button "${10}"
  keys Escape
  sleep 0.5; keys Escape
  for _ in $(seq 50); do kill -0 "$program" 2> /dev/null || break; sleep 0.1; done
}

check_language C english "File to encrypt or decrypt" Browser \
  "Use legacy Triple DES algorithm for encryption instead of AES" Encrypt Decrypt \
  "Recipients Certificates (for encryption only):" Warning "Please select a file to encrypt" \
  Open Cancel
check_language de_DE.UTF-8 german "Zu ver- oder entschlüsselnde Datei" "Suchen …" \
  "Zum Verschlüsseln das alte Triple DES statt AES verwenden" Verschlüsseln Entschlüsseln \
  "Zertifikate der Empfänger (nur zum Verschlüsseln):" Warnung \
  "Bitte wählen Sie eine Datei zum Verschlüsseln aus" "Öffnen" Abbrechen
if [ -n "${KEEP_DUMPS:-}" ]; then cp "$work"/main-* "$work"/warning-* "$work"/open-* "$KEEP_DUMPS/"; fi
exit $failed
