#!/usr/bin/env bash
# A file handed to the window on a real X server, read back as a screen reader reads the path
# box: first `mirebolt FILE` with an option of Qt's after it (which must change nothing), then
# `gio open` of a .enc file with the installed desktop entry and file type in a private
# XDG_DATA_HOME, as a file manager opens it on a double click. Silence is success.
# Run it inside a session bus of its own (dbus-run-session).
#   handed_file_x11.sh SOURCE_DIR BUILD_DIR APPLICATION_ID PRODUCT_NAME [SCREENSHOT_DIR]
set -u
source_dir=$1 build_dir=$2 id=$3 name=$4 shots=${5:-}
app=$build_dir/app/mirebolt
work=$(mktemp -d)
home=$work/home
mkdir -p "$home/some folder"
trap 'kill ${program:-} ${opened:-} ${wm:-} ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

source "$source_dir/tests/tools/x11_window.sh"
failed=0
problem() { echo "$*"; failed=1; }
start_display
enable_accessibility || { problem "no accessibility bus"; exit 1; }

shot() {
  [ -n "$shots" ] || return 0
  import -window root "$shots/$1.png" 2> /dev/null
}
# The text of the path box of process $1.
path_box() {
  accessible_tree "$1" | awk -F'\t' '$1 ~ /^ *text$/ && $2 == "File to encrypt or decrypt" { print $4 }'
}
# Ends the copy of the window that owns bus name $id.p$1 with Cancel, and waits for it.
end_window() {
  dbus-send --session --type=method_call --dest="$id.p$1" /MainDialog \
    "$id.MainDialog.Command" "uint32:2" "uint32:0"
  for _ in $(seq 50); do kill -0 "$1" 2> /dev/null || return 0; sleep 0.1; done
  problem "the window $1 did not end"
  return 1
}

letter="$home/some folder/letter.txt"
echo "Dear Bob" > "$letter"
start_window "$app" "$letter" -platform offscreen
shown=$(path_box "$program")
[ "$shown" = "$letter" ] || problem "mirebolt FILE showed '$shown' in the path box, not '$letter'"
shot handed-file
end_window "$program" && program=

# The package's files, installed where the desktop looks first for the user's own.
prefix=$work/prefix
cmake --install "$build_dir" --prefix "$prefix" > /dev/null
export XDG_DATA_HOME=$prefix/share
update-mime-database "$XDG_DATA_HOME/mime"
update-desktop-database "$XDG_DATA_HOME/applications"
echo "x" > "$letter.enc"
type=$(gio info -a standard::content-type "$letter.enc" | sed -n 's/^ *standard::content-type: //p')
[ "$type" = application/x-mirebolt-encrypted ] || problem "letter.txt.enc is of type '$type'"

# The desktop entry runs `mirebolt` found on the PATH: the build's.
(cd "$home" && env -u XDG_RUNTIME_DIR HOME="$home" QT_QPA_PLATFORM=xcb PATH="$build_dir/app:$PATH" \
  gio open "$letter.enc" 2> "$work/stderr")
opened=
for _ in $(seq 100); do
  opened=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames |
    sed -n "s/^ *string \"$id\.p\([0-9]*\)\"$/\1/p" | head -n 1)
  [ -n "$opened" ] && break
  sleep 0.1
done
[ -n "$opened" ] || { problem "gio open started no window"; exit 1; }
xdotool search --sync --onlyvisible --name "^$name " > /dev/null
sleep 0.5
shown=$(path_box "$opened")
[ "$shown" = "$letter.enc" ] || problem "gio open showed '$shown' in the path box, not '$letter.enc'"
shot gio-open
end_window "$opened" && opened=
exit $failed
