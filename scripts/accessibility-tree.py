#!/usr/bin/python3
"""Starts a program and prints what screen readers see of it.

Usage: accessibility-tree.py PROGRAM [TIMEOUT_SECONDS]

Run inside a D-Bus session of its own (dbus-run-session), on an X display. Prints one JSON
object per accessible object of the program's first window, depth first:
{"depth", "role", "name", "showing", "focusable", "enabled"}. The program is asked to end
(SIGTERM) afterwards. Exits with 1 when the window did not show up in time.
"""
import json
import os
import signal
import subprocess
import sys
import time

import pyatspi


def window_of(app_name):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name.lower() == app_name.lower() and app.childCount > 0:
            window = app.getChildAtIndex(0)
            # The window is complete once its controls are there.
            if window is not None and window.childCount > 5:
                return window
    return None


def walk(node, depth, out):
    states = node.getState()
    out.append({
        "depth": depth,
        "role": node.getRoleName(),
        "name": node.name or "",
        "showing": states.contains(pyatspi.STATE_SHOWING),
        "focusable": states.contains(pyatspi.STATE_FOCUSABLE),
        "enabled": states.contains(pyatspi.STATE_ENABLED),
    })
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            walk(child, depth + 1, out)


def main():
    program = sys.argv[1]
    timeout = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    process = subprocess.Popen([program], env=environment)
    name = os.path.basename(program)
    deadline = time.monotonic() + timeout
    window = None
    try:
        while window is None and time.monotonic() < deadline and process.poll() is None:
            window = window_of(name)
            if window is None:
                time.sleep(0.2)
        if window is None:
            seen = [app.name for app in pyatspi.Registry.getDesktop(0) if app is not None]
            print("no window of %s among %s" % (name, seen), file=sys.stderr)
            return 1
        nodes = []
        walk(window, 0, nodes)
        for node in nodes:
            print(json.dumps(node))
        return 0
    finally:
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(30)
            except subprocess.TimeoutExpired:
                process.kill()


if __name__ == "__main__":
    sys.exit(main())
