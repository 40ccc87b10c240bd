#!/usr/bin/env python3
"""CTest fixture: `fixture.py setup WORK` or `fixture.py cleanup WORK`."""

import sys

from wine_desktop import WineDesktop

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("setup", "cleanup"):
        sys.exit("usage: fixture.py setup|cleanup WORK")
    desktop = WineDesktop(sys.argv[2])
    getattr(desktop, sys.argv[1])()
