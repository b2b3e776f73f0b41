# Sourced by the tests that drive the window on a real X server. Expects $work (a scratch
# folder), $home, $id (the application id) and $name (the product's name); sets $xvfb, $wm and
# $program for the caller's trap to end.

# Starts Xvfb on a free display, and openbox where it is installed.
start_display() {
  exec 3> "$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null & xvfb=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$work/display")
  if command -v openbox > /dev/null; then openbox > /dev/null 2>&1 & wm=$!; sleep 1; fi
}

# Clicks one of the window's commands over the session bus.
send() {
  dbus-send --session --type=method_call --dest="$id.p$program" /MainDialog \
    "$id.MainDialog.Command" "uint32:$1" "uint32:0"
}

# Starts the window APP (with ARGUMENTS) in $home and waits until it is shown and answers on
# the bus.
start_window() {
  (cd "$home" && env -u XDG_RUNTIME_DIR HOME="$home" QT_QPA_PLATFORM=xcb "$@" 2> "$work/stderr") &
  program=$!
  # The copy's own process answers on the bus, not the subshell's.
  for _ in $(seq 100); do
    child=$(pgrep -P "$program" -x mirebolt) && break
    sleep 0.1
  done
  program=${child:-$program}
  xdotool search --sync --onlyvisible --name "^$name " > /dev/null
  for _ in $(seq 50); do send 0 > /dev/null 2>&1 && break; sleep 0.1; done
}

# Turns the desktop's accessibility on, as a screen reader does when it starts: programs started
# afterwards tell AT-SPI about their windows.
enable_accessibility() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true > /dev/null
}

# What a screen reader finds in the windows of process PID (titled TITLE), one line per object:
# indented role, name, description and text, separated by tabs.
accessible_tree() {
  /usr/bin/python3 "$source_dir/tests/tools/accessible_tree.py" "$@"
}
