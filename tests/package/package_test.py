#!/usr/bin/python3
"""The Debian packages, passed by Debian's own checker, the agent's depending on chromium; on
this machine's own /usr and /etc, the teacher's console alone, as on a PC without the agent
(it runs, its menu entry is valid, nothing of it starts by itself); then the agent's, set up as
an admin sets up a classroom PC, by the commands the admin types: installed with preseeded
debconf answers, reconfigured with another number and the sender check off (and refused an
invalid number) in a file an editor saved, then with the check that the admin turned on in the
file kept, its agent started as a graphical session starts it, removed and purged. As root
only; purged at the end in any case.

    package_test.py PACKAGE.deb CONSOLE.deb   (made by cpack beside the build's bin/)
"""

import os
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import udp  # noqa: E402
from linux_desktop import LinuxDesktop  # noqa: E402
from scenarios import SETTINGS_FILE, check, settings, wait_label  # noqa: E402

LIB, INI = Path("/usr/lib/velostrander"), Path("/etc/velostrander", SETTINGS_FILE)
PROGRAMS = ("Velostrander_Child", "Velostrander_Child_Tool", "velostrander-ctl")
LINKS = {Path("/usr/bin", name): LIB / name for name in PROGRAMS}
LIB_FILES = {*PROGRAMS, "Velostrander_Child.hlp", "velostrander-autostart"}
TOOL_ENTRY = Path("/usr/share/applications/velostrander-child-tool.desktop")
AUTOSTART = Path("/etc/xdg/autostart/velostrander-child.desktop")
OTHERS = [TOOL_ENTRY, Path("/usr/share/icons/hicolor/32x32/apps/velostrander.png"),
          Path("/usr/share/icons/hicolor/scalable/apps/velostrander.svg")]
PRESEED = ("printf 'velostrander velostrander/%s %s %s\\n' {} | debconf-set-selections && "
           "DEBIAN_FRONTEND=noninteractive ")
RENUMBER = PRESEED + "dpkg-reconfigure velostrander"
CHECK = "MasterOnlyx=1"  # the agent's sender check, on
CONSOLE, CONSOLE_ENTRY = (Path("/usr/bin/velostrander-console"),
                          Path("/usr/share/applications/velostrander-console.desktop"))


def run(command, succeeds=True):
    done = subprocess.run(command, shell=True, capture_output=True, text=True, timeout=120)
    check((done.returncode == 0) == succeeds,
          f"{command} gave {done.returncode}: {done.stdout}{done.stderr}")
    return done.stdout


def console_alone(deb):
    run(f"dpkg -i {deb}")
    installed = run("dpkg -L velostrander-console").split()
    check(CONSOLE.exists() and not LIB.exists() and
          not [path for path in installed if path.startswith("/etc")], f"installed {installed}")
    run(f"desktop-file-validate {CONSOLE_ENTRY}")
    run(f"QT_QPA_PLATFORM=offscreen {CONSOLE} --bogus 2>&1 | grep -q 'unknown argument'")
    run("dpkg -P velostrander-console")
    check(not CONSOLE.exists() and not CONSOLE_ENTRY.exists(), "the purge left the console")


def main():
    deb, console = Path(sys.argv[1]), Path(sys.argv[2])
    # Made after the build, as cpack --preset linux makes both, beside the programs' folder.
    program = deb.parent / "bin" / "Velostrander_Child"
    if not deb.exists() or deb.stat().st_mtime <= program.stat().st_mtime:
        print(f"skipped: {deb} is missing or older than the programs; "
              "build the packages first: cpack --preset linux")
        return 77
    run(f"lintian --fail-on error,warning {deb} {console}")
    depends = run(f"dpkg-deb --field {deb} Depends").strip().split(", ")
    check("chromium" in depends, f"depends on {depends}")
    if os.geteuid() != 0:
        print("skipped: installing the package takes root")
        return 77
    made = "\r\n".join(settings(port := udp.free_port()) + [CHECK, ""]).encode()
    try:
        console_alone(console)
        run(PRESEED.format(f"master string マスターPC port string {port} number string 07 "
                           "master_only boolean true") + f"dpkg -i {deb}")
        check(all(link.resolve() == program for link, program in LINKS.items())
              and set(os.listdir(LIB)) == LIB_FILES
              and all(path.exists() for path in OTHERS + [AUTOSTART]), "not installed")
        run(f"desktop-file-validate {TOOL_ENTRY} {AUTOSTART}")
        check(INI.read_bytes() == made, f"the file as made: {INI.read_bytes()!r}")
        # Root's to write: what every agent of the PC runs and reads.
        modes = [(path.stat().st_uid, oct(path.stat().st_mode)) for path in (LIB, INI.parent, INI)]
        check(modes == [(0, "0o40755")] * 2 + [(0, "0o100644")], f"owners and modes {modes}")
        # As an admin's editor saves it: UTF-8 behind a byte-order mark, the master's name
        # changed on the line behind the mark, and a line of the admin's own.
        lines = settings(port) + [CHECK]
        lines.insert(0, lines.pop(3).replace("マスター", "教師"))
        INI.write_bytes("\r\n".join(["\ufeff" + lines[0]] + lines[1:] + ["; 教室 1", ""]).encode())
        expected = INI.read_bytes().replace(b"Numxx=07", b"Numxx=12").replace(
            f"{CHECK}\r\n".encode(), b"")
        run(RENUMBER.format("number string 12 master_only boolean false"))
        check(INI.read_bytes() == expected, f"the file reconfigured: {INI.read_bytes()!r}")
        # The sender check, turned on in the file by hand, is kept as the file's other values.
        INI.write_bytes(expected := expected + f"{CHECK}\r\n".encode())
        run(RENUMBER.format("number string 31"), succeeds=False)
        run(RENUMBER.format("number string 12"))
        check(INI.read_bytes() == expected, f"the file reconfigured again: {INI.read_bytes()!r}")
        entry = dict(line.split("=", 1) for line in AUTOSTART.read_text("utf-8").splitlines()
                     if line[:5] in ("Exec=", "Path="))
        # Ended with its desktop; the Exec path is absolute, and the driver's folder unused. In
        # a Wayland session, where Qt would pick its Wayland plugin, the agent runs through
        # XWayland all the same (here no Wayland plugin: the agent would end at once).
        wayland = {"WAYLAND_DISPLAY": "wayland-0", "QT_QPA_PLATFORM": "wayland"}
        with LinuxDesktop("/usr/bin") as d:
            wait_label(d, d.start(entry["Exec"], entry["Path"], wayland), "コンピュータ番号:12")
        run("dpkg -r velostrander")
        check(not any(map(os.path.lexists, [*LINKS, *OTHERS, LIB])) and
              INI.read_bytes() == expected, "the removal left files, or took the settings file")
        run("dpkg -P velostrander")
        check(not INI.parent.exists() and not AUTOSTART.exists()
              and not run("debconf-show velostrander"), "the purge left files or answers")
    finally:
        run("dpkg -P velostrander velostrander-console && "
            "echo PURGE | debconf-communicate velostrander")


if __name__ == "__main__":
    sys.exit(main())
