#!/usr/bin/env python3
"""Makes the Wine prefix that the Windows tests share (its Windows directory
and registry), once per build folder: prefix.py PREFIX."""
import os
import subprocess
import sys

from wine_support import WINE, WINESERVER, skip, wine_environment

prefix = sys.argv[1]
if not os.path.exists(WINE):
    skip("Wine is not installed")
if os.path.isfile(os.path.join(prefix, "system.reg")) and os.path.isdir(os.path.join(prefix, "drive_c", "windows")):
    sys.exit(0)
environment = wine_environment(prefix)
subprocess.run([WINE, "wineboot", "--init"], env=environment, check=True, timeout=300,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
# The registry is written when the prefix's server ends.
subprocess.run([WINESERVER, "-w"], env=environment, check=True, timeout=300)
