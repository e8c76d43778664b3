#!/usr/bin/env python3
"""The Windows program's windows under Wine on a virtual X display (run under
xvfb-run): the main window has its title, its menu opens the Drives dialog,
and a /a 1 run ends by itself with status 0; a picture of the main window
in the middle of that run is saved: gui_test.py PROGRAM SHARED_PREFIX PICTURE."""
import os
import re
import subprocess
import sys
import time

from wine_support import WINESERVER, WineMachine, check

program, shared_prefix, picture = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(os.path.dirname(picture), exist_ok=True)


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.25)
    check(False, "waited %d s for %s" % (seconds, what))


def window_named(name):
    """The X window whose name is exactly `name`, or None."""
    found = subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(name)], capture_output=True, text=True)
    return found.stdout.split()[0] if found.stdout.split() else None


def origin_of(window):
    info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
    return (int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info)[1]),
            int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info)[1]))


def click(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)


def copies_on(drive):
    """Copies (not the sources) in the task directories of a drive."""
    return [name for parent, _, names in os.walk(drive) if parent.endswith(".dir") for name in names]


# Wine's first window in a fresh prefix can take minutes on a loaded machine:
# the waits end as soon as what they wait for shows.
with WineMachine(shared_prefix, "CDE", megabytes=64, graphics="x11") as machine:
    idle = machine.start([program])
    main_window = wait_for(lambda: window_named("Durandex"), 180, 'a window titled "Durandex"')

    def open_drives_from_menu():
        # "Drives..." is the second item of the menu bar, at the window's
        # top; a click before the window is ready for input is lost, so it is
        # clicked again until the dialog shows.
        x, y = origin_of(main_window)
        click(x + 67, y + 10)
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline and not window_named("Drives"):
            time.sleep(0.25)
        return window_named("Drives")

    wait_for(open_drives_from_menu, 120, "the Drives dialog from the menu")
    idle.kill()
    idle.communicate()
    subprocess.run([WINESERVER, "-k"], env=machine.environment(), stderr=subprocess.DEVNULL)

    run = machine.start([program, "/a", "1"])
    main_window = wait_for(lambda: window_named("Durandex"), 180, "the main window of the /a run")
    wait_for(lambda: copies_on(machine.drives["D"]), 120, "copies on D:")
    time.sleep(2)  # a repaint shows the counts
    subprocess.run(["import", "-window", main_window, picture], check=True)
    output, errors = run.communicate(timeout=300)
    print(output + errors)
    check(run.returncode == 0, "exit status %d" % run.returncode)
    with open(machine.drives["C"] + "/Durandex.Log", encoding="latin-1") as summary:
        check("Total Errors = 0\n" in summary.read(), "a clean summary")
    check(os.path.getsize(picture) > 0, "a picture of the run")
    print("passed; the picture is " + picture)
