"""What the end-to-end scenarios ask of a desktop, and what its two drivers share.

A driver (linux_desktop.LinuxDesktop: X11 and AT-SPI; windows_desktop.WindowsDesktop: wintree.exe in
the Wine prefix) has a `name`, the `code_page` of its system and the `close_ways` a window can
be asked to close there, and offers, with `window` an opaque handle that has a `title`:

    start(program, folder, env) -> Program      running() wait_exit() kill() end_session()
    windows(title, program=None) -> [window]    boxes(program) -> its message boxes
    controls(window) -> [Control]               showing(window)  in_taskbar(window)
    client(window) -> (x, y, width, height)     resizable(window)
    press(window, button)  key(window, name)    close(window, how)
    choose_menu(window, menu, item)             choose_popup(window, position)
    processes(name) -> [pid]                    screen_origin()
    work_area() -> (x, y, width, height): the screen without its task bars

and, from this module, wait(), folder(), window(), wait_window(), button(), control(), texts(),
box_text(), press_body() (real mouse input on the X server), tool() and geometry() (X tools on
the desktop's display).
key, close and choose_popup return once the program has handled them (or has ended), so that
a scenario can check that nothing changed; for the other actions it waits for their effect.
"""

import collections
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

STEP_TIMEOUT = 20
RUN_TIMEOUT = 30
XVFB = ["Xvfb", "-displayfd", "{fd}", "-noreset", "-nolisten", "tcp", "-dpi", "96", "-screen", "0",
        "1280x1024x24"]


def wait(condition, what, timeout=STEP_TIMEOUT, interval=0.02):
    """Polls `condition` until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while not (result := condition()):
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)
    return result


def start_daemon(argv, **popen):
    """Starts a daemon that prints a line (its display, its address) on the descriptor `{fd}`
    of its arguments once it is ready, in a session of its own; (its process, that line)."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen([arg.replace("{fd}", str(write_end)) for arg in argv],
                               pass_fds=(write_end,), start_new_session=True, **popen)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        # The line, or the end of the pipe when the daemon fails.
        line = pipe.readline().decode().strip()
    if not line:
        raise RuntimeError(f"{argv[0]} ended before it was ready")
    return process, line


def japanese_locale(folder, charset):
    """The environment for a program in the Japanese locale of this character set, built in
    `folder` unless it is there."""
    name = f"ja_JP.{charset}"
    if not os.path.exists(os.path.join(folder, name, "LC_CTYPE")):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["localedef", "-i", "ja_JP", "-f", charset, os.path.join(folder, name)],
                       capture_output=True, timeout=120, check=False)  # warnings exit with 1
    if not os.path.exists(os.path.join(folder, name, "LC_CTYPE")):
        raise RuntimeError(f"localedef made no {name} locale")
    return {"LOCPATH": folder, "LANG": name}


def proc_stat(pid):
    """The fields of /proc/PID/stat after the program's name (state, parent, ...), or none once
    the process has gone."""
    with contextlib.suppress(OSError):
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return []


# kind: "label", "button", "text" (a text box) or "list" (a drop-down list); text: for a drop-down
# list, its selection; rect: (x, y, width, height) in the window's client area; handle: the
# driver's own.
Control = collections.namedtuple("Control", "kind text rect enabled handle")


@dataclass
class Program:
    desktop: object
    process: subprocess.Popen
    log: str
    pid: int  # as the desktop's windows know it
    name: str = None

    def running(self):
        return self.process.poll() is None

    def wait_exit(self):
        wait(lambda: not self.running(), f"program {self.pid} to end")
        return self.process.returncode

    def kill(self):
        self.desktop.kill(self)
        self.wait_exit()

    def end_session(self):
        """Ends the program, which must still run, as the system does at logout; its exit
        code."""
        if not self.running():
            raise AssertionError(f"program {self.pid} ended before the session")
        self.desktop.end_session(self)
        return self.wait_exit()


class Desktop:
    def __init__(self, scratch):
        self.scratch = scratch
        self.programs = []

    def folder(self, name):
        """An empty folder of this name in the scenario's scratch folder."""
        path = os.path.join(self.scratch, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def window(self, title, program=None):
        """The one window of that title, or None."""
        found = self.windows(title, program)
        if len(found) > 1:
            raise AssertionError(f"{len(found)} windows titled {title!r}")
        return found[0] if found else None

    def wait_window(self, title, program=None, showing=None):
        """The window of that title, once it exists (and shows or not, when asked)."""
        def ready():
            window = self.window(title, program)
            return window if window and showing in (None, self.showing(window)) else None
        return wait(ready, f"window {title!r}" + {None: "", True: " to show",
                                                    False: " hidden"}[showing])

    def button(self, window, text):
        [button] = [c for c in self.controls(window) if c.kind == "button" and c.text == text]
        return button

    def control(self, window, kind, index=0):
        return [c for c in self.controls(window) if c.kind == kind][index]

    def texts(self, window, kind):
        return [c.text for c in self.controls(window) if c.kind == kind]

    def box_text(self, box):
        return "\n".join(text for text in self.texts(box, "label") if text)

    def started(self, process, log, pid, name=None):
        self.programs.append(Program(self, process, log, pid, name))
        return self.programs[-1]

    def processes(self, name):
        """Live processes whose command line holds `name` and that are this desktop's (`ours`)."""
        return [pid for pid in map(int, self.tool("pgrep", "-f", "--", name).split())
                if self.ours(pid)]

    def browser_processes(self):
        """Every live process of the browser's (`browsers`, by name)."""
        return [pid for name in self.browsers for pid in self.processes(name)]

    def kill_browser(self):
        """Every process of the browser's killed outright, and those that must go with them
        (`with_browser`)."""
        browsers = self.browser_processes()
        if not browsers:
            raise AssertionError("no browser process to kill")
        for pid in browsers + [pid for name in self.with_browser for pid in self.processes(name)]:
            with contextlib.suppress(ProcessLookupError):  # gone with one killed before it
                os.kill(pid, signal.SIGKILL)

    def tool(self, *command):
        """The output of an X tool run against this desktop's display."""
        return subprocess.run(list(map(str, command)), env=self.env, capture_output=True,
                              text=True, timeout=RUN_TIMEOUT, check=False).stdout

    def geometry(self, *window):
        """(x, y, width, height) on the screen of the X window that xwininfo finds so."""
        info = self.tool("xwininfo", *window)
        return tuple(int(re.search(rf"{key}:\s+(-?\d+)", info).group(1))
                     for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width",
                                 "Height"))

    def press_body(self, window, button, moved_by=None):
        """A press of the mouse button (1 left, 3 right) on the window's body near its top left
        corner, outside its controls, as real input on the X server; with `moved_by` (dx, dy)
        the mouse moves that far before it is released, as a person drags."""
        x, y = (origin + corner + 3 for origin, corner in zip(self.screen_origin(),
                                                              self.client(window)))
        drag = []
        if moved_by:
            # A window manager takes a move only from a press held a moment and a pointer that
            # moves as a hand moves it.
            drag = ["sleep", 0.3] + [arg for step in range(1, 11) for arg in (
                "mousemove", x + moved_by[0] * step // 10, y + moved_by[1] * step // 10,
                "sleep", 0.03)]
        self.tool("xdotool", "mousemove", x, y, "mousedown", button, *drag, "mouseup", button)

    def screen_origin(self):
        """Where on the X screen client coordinates count from."""
        return (0, 0)

    def tray_icon(self, program):
        """The program's icon in the tray, or None, also where the tray cannot be read (Wine's)."""
        return None

    def report(self):
        for program in self.programs:
            with open(program.log, encoding="utf-8", errors="replace") as log:
                print(f"--- program {program.pid} said:\n{log.read()}", file=sys.stderr)
