#!/usr/bin/env python3
"""The Windows program under Wine without a display: /a 1 over the fixed
drives C:, D: and E: ends by itself, with the summary and the run lines the
Linux run gives: headless_run_test.py PROGRAM SHARED_PREFIX."""
import re
import sys

from wine_support import WineMachine, check

program, shared_prefix = sys.argv[1], sys.argv[2]
source_bytes = 5907712  # the ten source files of a task

with WineMachine(shared_prefix, "CDE", megabytes=64, graphics="null") as machine:
    run = machine.start([program, "/a", "1"])
    output, errors = run.communicate(timeout=300)
    print(output + errors)
    check(run.returncode == 0, "exit status %d" % run.returncode)
    check(errors == "", "nothing on standard error, such as a resource that differs from the code")
    with open(machine.drives["C"] + "/Durandex.Log", encoding="latin-1") as summary:
        log = summary.read()
    print(log)
    check("Total Errors = 0\n" in log, "a clean summary")
    # Tasks newest first: the ring was made C -> D, D -> E, E -> C.
    check(re.search(r"TASK: E: to C: \[10\].*\nTASK: D: to E: \[10\].*\nTASK: C: to D: \[10\].*\n", log),
          "the ring's three tasks in the summary")
    for name in machine.files():
        check(name == "C/Durandex.Log" or "/SRC." in name, "only the summary and the sources are left: " + name)
    check("durandex: 0 Days, 00 Hrs, 00 Mins; 0.0 MB/s verified; C:->D: " in output, "the first run line")
    check("durandex: run summary appended to c:\\Durandex.Log" in output, "the summary's place")
    # Every complete compare iteration verified the ten source files.
    verified = sum(max(int(begun) - 1, 0) * source_bytes for begun in re.findall(r"Comp:(\d+),", log))
    check("; %d MB at " % (verified // 1000000) in output, "the verified total of %d bytes" % verified)
    print("passed")
