#!/usr/bin/env python3
"""Wine's virtual desktop on a private Xvfb, shared by the scenarios of one test run, and the
scenarios' driver on it, which reads and acts through wintree.exe in the same prefix.

    windows_desktop.py setup|cleanup|run WORK HELPER_BIN [PROGRAM ARGUMENT...]

`setup` makes (or reuses) a Japanese Wine prefix under the build folder WORK, starts Xvfb, a
persistent wineserver and the virtual desktop, and records them in a state file; `cleanup` ends
them; `run` runs a Windows test program there, prints its output and exits with its exit code,
setting the desktop up for the time of the run when it is not (ctest lists a program's tests
before it runs the fixture).
"""

import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
from pathlib import Path, PureWindowsPath
from types import SimpleNamespace

from desktop import (RUN_TIMEOUT, XVFB, Control, Desktop, japanese_locale, proc_stat,
                     start_daemon, wait)

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
LOCALE = "ja_JP.UTF-8"
# Where the About box looks for the system-information viewer first.
VIEWER_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO"
# A program of every prefix that shows a window of its own: it stands in for the viewer.
STAND_IN_VIEWER = r"C:\windows\notepad.exe"
# Where the agent looks for Edge first, and the stand-in registered there (standin_browser.cpp)
# with the exchanges of Debian's chromium that it answers from.
EDGE_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\msedge.exe"
STAND_IN = "standin_browser.exe"
# Wine's own programs, which wineboot copied into each prefix's system folder.
WINE_PROGRAMS = Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
RECORDING = Path(__file__).resolve().parent / "windows" / "devtools-recording.json"
BOOT_TIMEOUT = 120
DESKTOP = (1024, 768)  # Wine's virtual desktop
VK_RETURN, VK_RIGHT, VK_DOWN = 0x0D, 0x27, 0x28
# Virtual keys, with Alt or without.
KEYS = {"tab": (0x09,), "return": (VK_RETURN,), "space": (0x20,), "escape": (0x1B,),
        "alt+f4": ("alt", 0x73)}
WM_SYSCOMMAND, SC_KEYMENU, BM_CLICK = 0x0112, 0xF100, 0x00F5
# What the title bar's close button sends, WM_SYSCOMMAND SC_CLOSE, and another program, WM_CLOSE.
CLOSES = {"close button": (WM_SYSCOMMAND, 0xF060), "system": (0x0010, 0)}


def _field(name, convert=lambda value: value):
    return lambda self, window: convert(getattr(self._fresh(window), name))


class WindowsDesktop(Desktop):
    name = "windows"
    code_page = "cp932"
    # Alt+F4, what the title bar's close button sends (also to a window whose Close is greyed),
    # and what another program sends.
    close_ways = ("alt+f4", "close button", "system")
    # Wine's COM service would go on handing out a killed browser, where Windows' forgets a
    # server that has died: it goes too, and Wine starts it again when it is next needed.
    browsers, with_browser = ("iexplore.exe", STAND_IN), ("rpcss.exe",)

    def __init__(self, bin_dir, work, helper_dir=None, scenario=None):
        self.work = Path(work).resolve()
        super().__init__(str(self.work / "scratch" / (scenario or "run")))
        self.prefix, self.locales = self.work / "prefix", self.work / "locale"
        self.state_file = self.work / "desktop.json"
        self.bin_dir = bin_dir
        self.helper = Path(helper_dir or ".").resolve() / "wintree.exe"
        self.display = None

    @property
    def env(self):
        # Without Wine's menu builder, which would copy an installer's shortcuts to the menus of
        # the Linux desktop.
        env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=",
                   LOCPATH=str(self.locales), LANG=LOCALE, LC_ALL=LOCALE)
        return dict(env, DISPLAY=self.display) if self.display else env

    def run(self, *command, timeout=RUN_TIMEOUT, output=subprocess.DEVNULL,
            errors=subprocess.DEVNULL, env=None):
        """Runs a command to its end. Never give it a pipe: the services that a Wine program
        starts inherit its output and keep a pipe open long after the program has ended."""
        return subprocess.run(command, env=dict(self.env, **(env or {})), stdin=subprocess.DEVNULL,
                              stdout=output, stderr=errors, timeout=timeout, check=False)

    # --- fixture ----------------------------------------------------------------------------

    def setup(self):
        self.cleanup()  # what an interrupted run left behind
        self.work.mkdir(parents=True, exist_ok=True)
        japanese_locale(str(self.locales), "UTF-8")
        xvfb, number = start_daemon(XVFB, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        self.display = ":" + number
        self.state_file.write_text(json.dumps({"display": self.display, "xvfb": xvfb.pid}))
        ready = self.prefix / ".velostrander-ready-2"
        if not ready.exists():
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.run(WINE64, "wineboot", "-i", timeout=BOOT_TIMEOUT)
            self.run(WINESERVER, "-w", timeout=BOOT_TIMEOUT)
            explorer = r"HKCU\Software\Wine\Explorer"
            # Wine's virtual desktop gives windows title bars and a taskbar, as on Windows; the
            # IPA fonts stand in for Windows' Japanese gothic, as a Japanese Windows has it.
            for key, name, value in ((explorer, "Desktop", "Default"),
                                     (explorer + r"\Desktops", "Default", "%dx%d" % DESKTOP),
                                     (r"HKCU\Software\Wine\Fonts\Replacements", "ＭＳ Ｐゴシック",
                                      "IPAPGothic")):
                self.run(WINE64, "reg", "add", key, "/v", name, "/d", value, "/f")
            self.run(WINESERVER, "-w", timeout=BOOT_TIMEOUT)
            ready.touch()
        self.restart_wineserver()

    def cleanup(self):
        state = self.attach()
        if not state:
            return
        self.run(WINESERVER, "-k")
        xvfb = state["xvfb"]
        with contextlib.suppress(OSError):
            if Path(f"/proc/{xvfb}/cmdline").read_bytes().split(b"\0")[0].endswith(b"Xvfb"):
                os.kill(xvfb, signal.SIGTERM)
                wait(lambda: proc_stat(xvfb)[:1] in ([], ["Z"]), "Xvfb to end")
        self.state_file.unlink()

    def attach(self):
        """The fixture's state ({"display", "xvfb"}), or None when it is not set up."""
        if not self.state_file.exists():
            return None
        state = json.loads(self.state_file.read_text())
        self.display = state["display"]
        return state

    def restart_wineserver(self):
        """Ends every program in the prefix; a persistent server and desktop keep program starts
        fast."""
        for argument in ("-k", "-w", "-p"):
            self.run(WINESERVER, argument)
        self.spawn_helper("hold", start_new_session=True)
        os.makedirs(self.scratch, exist_ok=True)
        wait(lambda: self._wintree("workarea")[3] < DESKTOP[1], "the taskbar to take its room")

    def spawn_helper(self, *args, **popen):
        """wintree.exe started, to run meanwhile, on nothing for its input and output unless
        asked."""
        quiet = dict.fromkeys(("stdin", "stdout", "stderr"), subprocess.DEVNULL) | {"env": self.env}
        return subprocess.Popen([WINE64, str(self.helper), *map(str, args)], **(quiet | popen))

    # --- the scenarios' driver --------------------------------------------------------------

    def __enter__(self):
        if not self.attach():
            raise RuntimeError("the Wine desktop is not set up (run the fixture first)")
        shutil.rmtree(self.scratch, ignore_errors=True)
        os.makedirs(self.scratch)
        # An agent or its browser left behind by an interrupted run would refuse a new agent, or
        # be taken for its browser.
        if any(w.title == "Velostrander_Child" or w.className == "IEFrame"
               for w in self._wintree("list")):
            self.restart_wineserver()
        return self

    def __exit__(self, *exc):
        for program in self.programs:
            if program.running():
                program.kill()
        # The next scenario starts without a viewer.
        if self.processes("notepad.exe"):
            self.run(WINE64, "reg", "delete", VIEWER_KEY, "/f")
            self.restart_wineserver()

    def start(self, program, folder, env=None):
        """`program`: the name of a built program, or a Windows path."""
        log = os.path.join(self.scratch, f"program-{len(self.programs)}.log")
        with open(log, "wb") as out:
            process = self.spawn_helper(
                "run", program if "\\" in program else f"Z:{self.bin_dir}/{program}.exe",
                cwd=folder, env=dict(self.env, **(env or {})), stdout=out, stderr=subprocess.STDOUT)
        # wintree run says the program's Windows process id first, under load as late as a run.
        started = wait(lambda: re.match(rb".*\n", Path(log).read_bytes()), "the program to start",
                       timeout=RUN_TIMEOUT)
        return self.started(process, log, json.loads(started.group())["pid"], program)

    def run_program(self, program, *args, env=None):
        """A Windows program run to its end in the prefix; its exit code."""
        return self.run(WINE64, str(program), *args, env=env).returncode

    @contextlib.contextmanager
    def recording(self, *programs):
        """While recorder.exe stands in for these programs of the system folder: a function that
        runs a Windows program as run_program does, with recorder.exe failing the command lines
        that hold `fail`, and gives its exit code and the lines recorded meanwhile, each as
        (program, its arguments)."""
        system, log = self.prefix / "drive_c/windows/system32", Path(self.scratch) / "recorded"
        # Wine would run its own program of that name in place of one that is not its own.
        env = {"WINEDLLOVERRIDES": self.env["WINEDLLOVERRIDES"] + ";"
               + ",".join(f"{name}.exe" for name in programs) + "=n", "VELO_RECORD": f"Z:{log}"}

        def run(program, *args, fail=None):
            log.unlink(missing_ok=True)
            code = self.run_program(program, *args, env=dict(env, **(
                {"VELO_RECORD_FAIL": fail} if fail else {})))
            lines = log.read_text("utf-8").splitlines() if log.exists() else []
            calls = [re.match(r'("[^"]*"|\S+) ?(.*)', line).groups() for line in lines]
            return code, [(PureWindowsPath(name.strip('"')).stem, rest) for name, rest in calls]
        try:
            for name in programs:
                shutil.copyfile(self.helper.parent / "recorder.exe", system / f"{name}.exe")
            yield run
        finally:
            for name in programs:
                shutil.copyfile(WINE_PROGRAMS / f"{name}.exe", system / f"{name}.exe")

    def end_session(self, program):
        self._wintree("endsession", program.pid)

    def ours(self, pid):
        """Of this prefix, and not ended."""
        with contextlib.suppress(OSError):
            environ = Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
            return f"WINEPREFIX={self.prefix}".encode() in environ and proc_stat(pid)[:1] != ["Z"]
        return False

    def windows(self, title, program=None):
        return self._wintree("list", program.pid if program else 0, title)

    def boxes(self, program):
        return [w for w in self._wintree("list", program.pid) if w.className == "#32770"]

    def controls(self, window):
        return [Control(c.kind, c.text, tuple(c.rect), c.enabled, c.hwnd)
                for c in self._fresh(window).controls]

    def type_text(self, window, box, text):
        self._wintree("set", self.control(window, "text", box).handle, text)

    def pick(self, window, entry):
        """As the user's pick: the list's selection, then its notification to the window."""
        self._wintree("set", self.control(window, "list").handle, entry)

    # Each a field of the window's description.
    showing = _field("visible")
    client = _field("client", tuple)
    in_taskbar = _field("taskbar")
    resizable = _field("resizable")
    menu_bar = _field("menuBar")

    def close_item(self, window):
        """The window menu's Close item (its `grayed` state and the command `id` it sends)."""
        return self._wintree("window", window.hwnd, "menu").closeItem

    def press(self, window, button):
        self._wintree("send", self.button(window, button).handle, BM_CLICK, 0, 0)

    def press_repeatedly(self, window, button, times):
        """Posted all at once, by a helper that runs meanwhile: the program takes them in turn."""
        poster = self.spawn_helper("post", self.button(window, button).handle, BM_CLICK, 0, 0,
                                   times)
        return lambda: (poster.kill(), poster.wait())

    def kill(self, program):
        """SIGKILL to the program's own process, as kill -9 sends it."""
        for pid in self.processes(f"{PureWindowsPath(program.name).stem}.exe"):
            os.kill(pid, signal.SIGKILL)

    @contextlib.contextmanager
    def held_open(self, path):
        """While another program holds the file open and shares it with no one."""
        log = Path(self.scratch) / "lock.log"
        with open(log, "wb") as out:
            holder = self.spawn_helper("hold", f"Z:{path}", stdout=out)
        try:
            wait(lambda: log.read_bytes() or holder.poll() is not None, "the file to be held")
            if holder.poll() is not None:
                raise AssertionError(f"wintree could not hold {path}")
            yield
        finally:
            holder.kill()
            holder.wait()

    def key(self, window, name):
        """Posted, as typed, to the control that has the keyboard focus in the window's thread,
        and an Alt key to the window, through the program's own message loop."""
        keys = KEYS[name]
        focus = None if "alt" in keys else self._fresh(window).focus
        self._wintree("keys", focus or window.hwnd, *keys)

    def close(self, window, how):
        if how == "alt+f4":
            return self.key(window, how)
        self._wintree("send", window.hwnd, *CLOSES[how], 0)

    def choose_menu(self, window, menu, item):
        """The keyboard's way through a menu bar, which a hidden window takes as well."""
        across, down = self._wintree("menu", window.hwnd, menu, item)
        self._wintree("post", window.hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0)
        self._wintree("keys", window.hwnd, *[VK_RIGHT] * across, *[VK_DOWN] * (down + 1),
                      VK_RETURN)

    def choose_popup(self, window, position):
        """A pop-up menu takes the keys posted to its own window."""
        popup = wait(lambda: next((w for w in self._wintree("list", window.pid)
                                   if w.className == "#32768" and w.visible), None),
                     "a pop-up menu to open")
        self._wintree("keys", popup.hwnd, *[VK_DOWN] * (position + 1), VK_RETURN)

    def open_tray_menu(self, program):
        """The shell's notification of a right press on the icon, as the shell sends it: the
        icon's callback message, 512, with the mouse message, 516, in lParam."""
        self._wintree("post", self.window("Velostrander_Child", program).hwnd, 512, 0, 516)

    def screen_origin(self):
        """Wine's desktop is one X window, whose origin client areas are counted from."""
        return self.geometry("-name", "Default - Wine desktop")[:2]

    def move_window(self, window, *at):
        """To `at`, or with none to the front."""
        self._wintree("place", window.hwnd, *at)

    raise_window = move_window

    def work_area(self):
        return tuple(self._wintree("workarea"))

    def stacked_above(self, window, other):
        """Windows lists its windows from the top down."""
        order = [w.hwnd for w in self._wintree("list")]
        return order.index(window.hwnd) < order.index(other.hwnd)

    def install_viewer(self):
        self.run(WINE64, "reg", "add", VIEWER_KEY, "/v", "PATH", "/d", STAND_IN_VIEWER, "/f")
        return lambda: self.processes("notepad.exe")

    @contextlib.contextmanager
    def stand_in_browser(self):
        """While the stand-in is registered as Edge: the environment the agent passes on to it,
        and the lines of its log."""
        log = Path(self.scratch) / "standin.log"
        self.run(WINE64, "reg", "add", EDGE_KEY, "/ve", "/d", f"Z:{self.helper.parent / STAND_IN}",
                 "/f")
        try:
            yield SimpleNamespace(
                env={"VELO_STANDIN_LOG": f"Z:{log}", "VELO_DEVTOOLS_RECORDING": f"Z:{RECORDING}"},
                lines=lambda: log.read_text(encoding="utf-8").splitlines() if log.exists() else [])
        finally:
            self.run(WINE64, "reg", "delete", EDGE_KEY, "/f")

    def _fresh(self, window):
        return self._wintree("window", window.hwnd)

    def _wintree(self, *args):
        """wintree's answer."""
        output, errors = Path(self.scratch) / "wintree.json", Path(self.scratch) / "wintree.err"
        with open(output, "wb") as out, open(errors, "wb") as err:
            code = self.run(WINE64, str(self.helper), *map(str, args), output=out,
                            errors=err).returncode
        if code != 0:
            raise AssertionError(f"wintree {' '.join(map(str, args))} failed with {code}: "
                                 f"{errors.read_text(errors='replace')}")
        return json.loads(output.read_text(encoding="utf-8") or "null",
                          object_hook=lambda fields: SimpleNamespace(**fields))


if __name__ == "__main__":
    command, work, helpers, *program = sys.argv[1:] if len(sys.argv) > 3 else sys.exit(__doc__)
    desktop = WindowsDesktop(None, work, helper_dir=helpers)
    if command != "run":
        getattr(desktop, command)()
        sys.exit()
    for_this_run = not desktop.attach()
    if for_this_run:
        desktop.setup()
    try:
        log = desktop.work / "scratch" / (Path(program[0]).stem + ".log")
        log.parent.mkdir(parents=True, exist_ok=True)
        with open(log, "wb") as out:
            code = desktop.run(WINE64, *program, output=out, timeout=50).returncode
        sys.stdout.write(log.read_text(encoding="utf-8", errors="replace"))
    finally:
        if for_this_run:
            desktop.cleanup()
    sys.exit(code)
