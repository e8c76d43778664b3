#!/usr/bin/env python3
"""Faults of a mapped view under Wine: while a headless /a 1 run compares,
copies are truncated behind the program's back, so that reading a view that
is mapped faults. The compare worker's guard must take each fault to the
exception filter, which counts and logs it, and the run must go on to its
summary: truncated_view_test.py PROGRAM SHARED_PREFIX.

Wine refuses SetEndOfFile on a mapped file (as Windows does), so the host
truncates; for a view past the end of its file Wine raises an access
violation (c0000005), where Windows would raise an in-page error."""
import glob
import os
import re
import sys
import time

from wine_support import WineMachine, check

program, shared_prefix = sys.argv[1], sys.argv[2]

with WineMachine(shared_prefix, "CDE", megabytes=64, graphics="null") as machine:
    run = machine.start([program, "/a", "1"])
    truncated = 0
    while run.poll() is None:
        for copy in glob.glob(machine.root + "/[cde]/durandex/*/*.dir/*.*"):
            try:
                if os.path.getsize(copy) > 0:
                    os.truncate(copy, 0)
                    truncated += 1
            except OSError:
                pass  # removed by the run meanwhile
        time.sleep(0.002)
    output, errors = run.communicate(timeout=300)
    print(output + errors)
    print("truncated %d copies" % truncated)
    with open(machine.drives["C"] + "/Durandex.Log", encoding="latin-1") as summary:
        log = summary.read()
    print(log)
    exceptions = sum(int(count) for count in re.findall(r"Excp:(\d+)", log))
    total = int(re.search(r"Total Errors = (\d+)", log)[1])
    check(exceptions > 0, "the guard handed the faults to the filter, which counted them")
    check(run.returncode == min(total, 254), "exit status %d for %d errors" % (run.returncode, total))
    task_logs = "".join(open(name, encoding="latin-1").read()
                        for name in glob.glob(machine.root + "/[cde]/durandex/*/log*"))
    check("Exception Code = c0000005\n    See NTSTATUS.H for codes\n    Continuable\n" in task_logs,
          "a fault logged and the read tried again")
    check("    Exception Count Exceeded.\n" in task_logs, "the eleventh fault of a task abandoned its pass")
    check("durandex: 0 Days, 00 Hrs, 01 Mins;" in output, "the run went on to its end")
    print("passed")
