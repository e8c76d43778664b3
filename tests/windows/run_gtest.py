#!/usr/bin/env python3
"""A GoogleTest program of the Windows build under Wine, on a private prefix
whose drive letters are small tmpfs mounts:
run_gtest.py PROGRAM SHARED_PREFIX LETTERS [GTEST ARGUMENTS...]."""
import subprocess
import sys

from wine_support import WINE, WineMachine

program, shared_prefix, letters = sys.argv[1], sys.argv[2], sys.argv[3]
# Copies fill a target down to a few sets of sources; 48 MB keeps that short.
with WineMachine(shared_prefix, letters, megabytes=48, graphics="null") as machine:
    run = subprocess.run([WINE, program] + sys.argv[4:], env=machine.environment(), timeout=600)
sys.exit(run.returncode)
