#!/usr/bin/env python3
"""Runs a Windows test program in the Wine prefix and on the desktop that the fixture set up:

    run_in_prefix.py WORK PROGRAM

Prints the program's output and exits with its exit code.
"""

import sys
from pathlib import Path

from wine_desktop import WINE64, WineDesktop

TIMEOUT = 50

if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: run_in_prefix.py WORK PROGRAM")
    desktop = WineDesktop(sys.argv[1])
    if not desktop.attach():
        sys.exit("the Wine desktop is not set up (run the fixture first)")
    program = Path(sys.argv[2])
    output = desktop.work / "scratch" / (program.stem + ".log")
    output.parent.mkdir(parents=True, exist_ok=True)
    with open(output, "wb") as out:
        code = desktop.run(WINE64, str(program), output=out, timeout=TIMEOUT).returncode
    sys.stdout.write(output.read_text(encoding="utf-8", errors="replace"))
    sys.exit(code)
