#!/usr/bin/env python3
"""Faults of a mapped view under Wine: while a headless /a 1 run compares,
the source files are truncated behind the program's back for a moment and
then restored, so that reading a view that is mapped faults. The compare
worker's guard must take the fault to the exception filter, which counts
and logs it, and the run must go on to its summary:
truncated_view_test.py PROGRAM SHARED_PREFIX.

Wine refuses SetEndOfFile on a mapped file (as Windows does), so the host
truncates; for a view past the end of its file Wine raises an access
violation (c0000005), where Windows would raise an in-page error."""
import glob
import re
import sys
import time

from wine_support import WineMachine, check

program, shared_prefix = sys.argv[1], sys.argv[2]


def task_logs(machine):
    text = ""
    for name in glob.glob(machine.root + "/[cde]/durandex/*/log*"):
        with open(name, encoding="latin-1") as log:
            text += log.read()
    return text


def truncate_and_restore(sources):
    """Every source at length 0 for a few milliseconds, then as it was."""
    for name in sources:
        with open(name, "r+b") as source:
            source.truncate(0)
    time.sleep(0.005)
    for name, content in sources.items():
        with open(name, "r+b") as source:
            source.write(content)


with WineMachine(shared_prefix, "CDE", megabytes=64, graphics="null") as machine:
    run = machine.start([program, "/a", "1"])
    sources = {}
    while run.poll() is None and len(sources) < 30:
        time.sleep(0.1)
        for name in glob.glob(machine.root + "/[cde]/durandex/*/SRC.*"):
            sources[name] = None
    for name in sources:
        with open(name, "rb") as source:
            sources[name] = source.read()
    # Until the first fault is logged; the run then goes on undisturbed.
    cycles = 0
    while run.poll() is None and "Exception Code" not in task_logs(machine):
        truncate_and_restore(sources)
        cycles += 1
        time.sleep(0.02)
    output, errors = run.communicate(timeout=300)
    print(output + errors)
    print("%d truncations of the sources" % cycles)
    with open(machine.drives["C"] + "/Durandex.Log", encoding="latin-1") as summary:
        log = summary.read()
    print(log)
    exceptions = sum(int(count) for count in re.findall(r"Excp:(\d+)", log))
    total = int(re.search(r"Total Errors = (\d+)", log)[1])
    check(exceptions > 0, "the guard handed a fault to the filter, which counted it")
    check(run.returncode == min(total, 254), "exit status %d for %d errors" % (run.returncode, total))
    check("Exception Code = c0000005\n    See NTSTATUS.H for codes\n" in task_logs(machine),
          "the fault in a task log")
    check("durandex: 0 Days, 00 Hrs, 01 Mins;" in output, "the run went on to its end")
    print("passed")
