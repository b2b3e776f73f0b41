#!/usr/bin/python3
"""Prints what a screen reader finds in the windows of one running program, through AT-SPI.

    accessible_tree.py PID [WINDOW_TITLE]

One line for each object that is shown on screen, indented by its depth:
role, name, description and, for objects that hold text, the text, separated by tabs.
With WINDOW_TITLE it waits (up to 10 s) until a window of that title is shown and prints
that window only; without, every window of the program.
"""
import sys
import time

import pyatspi


def applications_of(pid):
    """A Qt program that has shown GTK's file dialog is two applications: Qt's and GTK's."""
    desktop = pyatspi.Registry.getDesktop(0)
    return [application for application in desktop
            if application is not None and application.get_process_id() == pid]


def text_of(accessible):
    try:
        text = accessible.queryText()
    except NotImplementedError:
        return ""
    return text.getText(0, -1)


def one_line(value):
    return value.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")


def dump(accessible, depth, out):
    if not accessible.getState().contains(pyatspi.STATE_SHOWING):
        return
    fields = [accessible.getRoleName(), accessible.name, accessible.description]
    if accessible.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_LABEL):
        fields.append(text_of(accessible))
    out.append("  " * depth + "\t".join(one_line(field or "") for field in fields))
    for child in accessible:
        if child is not None:
            dump(child, depth + 1, out)


def windows(pid, title):
    return [window for application in applications_of(pid) for window in application
            if window is not None and window.getState().contains(pyatspi.STATE_SHOWING)
            and (title is None or window.name == title)]


def main():
    pid = int(sys.argv[1])
    title = sys.argv[2] if len(sys.argv) > 2 else None
    found = []
    for _ in range(100):
        found = windows(pid, title)
        if found:
            break
        time.sleep(0.1)
    if not found:
        print(f"no window {title or ''} of process {pid} reached AT-SPI", file=sys.stderr)
        return 1
    out = []
    for window in found:
        dump(window, 0, out)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
