#!/usr/bin/env bash
# The Open and Save dialogs under GTK's platform theme on a real X server, with a home folder
# that starts empty: the dialog is GTK's own, a file without a dot can be chosen in it and lands
# in the path box, the Save dialog opens beside the file being decrypted, and the dialogs leave
# no folder of theirs in the home folder. Prints what is wrong; silence is success.
# Run it inside a session bus of its own (dbus-run-session).
#   desktop_dialogs_x11.sh SOURCE_DIR BUILD_DIR APPLICATION_ID PRODUCT_NAME [SCREENSHOT_DIR]
set -u
source_dir=$1 build_dir=$2 id=$3 name=$4 shots=${5:-}
app=$build_dir/app/mirebolt
work=$(mktemp -d)
home=$work/home files=$work/files
mkdir "$home" "$files"
trap 'kill ${program:-} ${wm:-} ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

source "$source_dir/tests/tools/x11_window.sh"
failed=0
problem() { echo "$*"; failed=1; }
shot() {
  [ -n "$shots" ] || return 0
  sleep 0.5
  import -window root "$shots/$1.png" 2> /dev/null
}
keys() { sleep 0.5; xdotool key --delay 80 "$@"; }
path_box() {
  accessible_tree "$program" | awk -F'\t' '$1 ~ /^ *text$/ && $2 == "File to encrypt or decrypt" { print $4 }'
}
# Waits for a shown window whose role is GTK's file dialog; fails after a few seconds.
gtk_file_dialog() {
  for _ in $(seq 50); do
    for window in $(xdotool search --onlyvisible --name '' 2> /dev/null); do
      xprop -id "$window" WM_WINDOW_ROLE 2> /dev/null | grep -q '"GtkFileChooserDialog"' && return 0
    done
    sleep 0.1
  done
  return 1
}

start_display
enable_accessibility || { problem "no accessibility bus"; exit 1; }
echo "read me" > "$files/README"
echo "not a message" > "$files/letter.p7"
echo "older" > "$files/letter.txt"

unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME GSETTINGS_BACKEND
export QT_QPA_PLATFORMTHEME=gtk3
start_window "$app"

# Opened and cancelled, GTK's dialog leaves nothing in the home folder.
send 1001
gtk_file_dialog || { problem "the Open dialog is not GTK's"; exit 1; }
shot gtk-open
keys Escape
sleep 1
left=$(cd "$home" && find . -mindepth 1)
[ -z "$left" ] || problem "a cancelled dialog left in the home folder: $left"

# Browse: GTK's dialog; its location box (Ctrl+L) takes the full path of a name without a dot.
send 1001
gtk_file_dialog || { problem "the second Open dialog is not GTK's"; exit 1; }
keys ctrl+l
sleep 0.5
xdotool type --delay 10 "$files/README"
keys Return
sleep 1
shown=$(path_box)
[ "$shown" = "$files/README" ] || problem "the path box shows '$shown', not '$files/README'"

# Decrypt a name without the message ending: the Save dialog. A name typed alone lands in the
# folder the dialog opened in; there it is taken, so the window asks whether to overwrite it.
send 1001
gtk_file_dialog || { problem "the third Open dialog is not GTK's"; exit 1; }
keys ctrl+l
sleep 0.5
xdotool type --delay 10 "$files/letter.p7"
keys Return
sleep 1
send 1011
gtk_file_dialog || { problem "the Save dialog is not GTK's"; exit 1; }
shot gtk-save
xdotool type --delay 10 "letter.txt"
keys Return
sleep 1
shot gtk-replace
keys Return  # GTK's own question, Replace being its default
xdotool search --sync --onlyvisible --name '^Overwrite\?$' > /dev/null &
waiting=$!
for _ in $(seq 50); do kill -0 "$waiting" 2> /dev/null || break; sleep 0.1; done
if kill -0 "$waiting" 2> /dev/null; then
  kill "$waiting"
  problem "the Save dialog did not open beside $files/letter.p7"
else
  shot overwrite
  keys Escape  # No: nothing is written
fi

send 2
for _ in $(seq 50); do kill -0 "$program" 2> /dev/null || break; sleep 0.1; done

# GTK records a file chosen in its dialog in the desktop's history of recently used files (and
# makes the cache folder as it writes it); nothing else may appear.
left=$(cd "$home" && find . -mindepth 1 | grep -vxF -e ./.local -e ./.local/share \
  -e ./.local/share/recently-used.xbel -e ./.cache)
[ -z "$left" ] || problem "the dialogs left in the home folder: $left"
exit $failed
