#!/usr/bin/env python3
"""A GoogleTest program of the Windows build under Wine, on a private prefix
whose drive letters are small tmpfs mounts, each test in a process of its
own: run_gtest.py PROGRAM SHARED_PREFIX LETTERS [--gtest_filter=...]."""
import os
import shutil
import subprocess
import sys

from wine_support import WINE, WineMachine, check

program, shared_prefix, letters = sys.argv[1], sys.argv[2], sys.argv[3]
filters = sys.argv[4:]
deadline_seconds = 240  # within ctest's bound, so that a hung run still has its mounts undone


def tests_of(listing):
    """The full names in a --gtest_list_tests listing."""
    names, suite = [], ""
    for line in listing.splitlines():
        if not line.startswith(" "):
            suite = line.split("#")[0].strip()
        elif line.strip():
            names.append(suite + line.split("#")[0].strip())
    return names


def clear_drives(machine):
    """Empties every drive but for Wine's own folders on C:."""
    for letter, directory in machine.drives.items():
        for name in os.listdir(directory):
            if letter == "C" and name in ("windows", "users"):
                continue
            path = os.path.join(directory, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.remove(path)


# A process keeps the task directories it marked in use until it ends, as
# Windows does with an open handle: each test starts on empty drives.
with WineMachine(shared_prefix, letters, megabytes=48, graphics="null") as machine:
    listing = subprocess.run([WINE, program, "--gtest_list_tests"] + filters, env=machine.environment(),
                             stdout=subprocess.PIPE, text=True, timeout=deadline_seconds)
    names = tests_of(listing.stdout)
    check(listing.returncode == 0 and names, "no tests listed:\n" + listing.stdout)
    failed = []
    for name in names:
        clear_drives(machine)
        try:
            run = subprocess.run([WINE, program, "--gtest_filter=" + name], env=machine.environment(),
                                 timeout=deadline_seconds)
            if run.returncode != 0:
                failed.append(name)
        except subprocess.TimeoutExpired:
            failed.append(name + " (did not end within %d seconds)" % deadline_seconds)
    print("%d tests, %d failed" % (len(names), len(failed)))
    for name in failed:
        print("FAILED: " + name)
sys.exit(1 if failed else 0)
