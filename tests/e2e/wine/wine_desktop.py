"""Wine's virtual desktop on a private Xvfb, shared by the scenarios of one test run.

`setup` makes (or reuses) a Japanese Wine prefix under the build folder, starts Xvfb and a
persistent wineserver and records them in a state file; `cleanup` ends both. The scenarios
attach to what `setup` recorded.
"""

import json
import os
import select
import shutil
import signal
import subprocess
import time
from pathlib import Path

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
LOCALE = "ja_JP.UTF-8"
SCREEN = "1280x1024x24"
DESKTOP_SIZE = "1024x768"
BOOT_TIMEOUT = 120
STEP_TIMEOUT = 30


def wait_until(check, what, timeout=10.0, interval=0.05):
    """Polls check() until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def _alive(pid):
    """True while pid is a running process (a zombie has ended)."""
    try:
        with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return False


def _is_xvfb(pid):
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].endswith(b"Xvfb")
    except OSError:
        return False


class WineDesktop:
    def __init__(self, work):
        self.work = Path(work)
        self.prefix = self.work / "prefix"
        self.locales = self.work / "locale"
        self.state_file = self.work / "desktop.json"
        self.display = None

    def env(self):
        env = dict(os.environ)
        env.update(
            WINEPREFIX=str(self.prefix),
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            LOCPATH=str(self.locales),
            LANG=LOCALE,
            LC_ALL=LOCALE,
        )
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def run(self, *command, timeout=STEP_TIMEOUT, output=subprocess.DEVNULL):
        """Runs a command to its end. Never give it a pipe: the services that a Wine program
        starts inherit its output and keep a pipe open long after the program has ended."""
        return subprocess.run(command, env=self.env(), stdin=subprocess.DEVNULL, stdout=output,
                              stderr=subprocess.DEVNULL, timeout=timeout, check=False)

    # --- fixture ---------------------------------------------------------------------------

    def setup(self):
        self.cleanup()  # what an interrupted run left behind
        self.work.mkdir(parents=True, exist_ok=True)
        self._make_locale()
        xvfb = self._start_xvfb()
        self._save_state({"display": self.display, "xvfb": xvfb})
        self._make_prefix()
        self.restart_wineserver()

    def cleanup(self):
        if not self.attach():
            return
        self.run(WINESERVER, "-k")
        state = json.loads(self.state_file.read_text())
        xvfb = state["xvfb"]
        if _is_xvfb(xvfb):
            os.kill(xvfb, signal.SIGTERM)
            wait_until(lambda: not _alive(xvfb), "Xvfb to end")
        self.state_file.unlink()

    def attach(self):
        if not self.state_file.exists():
            return False
        self.display = json.loads(self.state_file.read_text())["display"]
        return True

    def restart_wineserver(self):
        """Ends every program in the prefix; a persistent server keeps program starts fast."""
        self.run(WINESERVER, "-k")
        self.run(WINESERVER, "-w")
        self.run(WINESERVER, "-p")

    # --- parts -----------------------------------------------------------------------------

    def _save_state(self, state):
        self.state_file.write_text(json.dumps(state))

    def _make_locale(self):
        if (self.locales / LOCALE / "LC_CTYPE").exists():
            return
        self.locales.mkdir(parents=True, exist_ok=True)
        self.run("localedef", "-i", "ja_JP", "-f", "UTF-8", str(self.locales / LOCALE),
                 timeout=BOOT_TIMEOUT)
        if not (self.locales / LOCALE / "LC_CTYPE").exists():
            raise RuntimeError("localedef made no ja_JP.UTF-8 locale")

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        try:
            xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-noreset",
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
        finally:
            os.close(write_end)
        try:
            self.display = ":" + self._read_display(read_end, xvfb)
        finally:
            os.close(read_end)
        return xvfb.pid

    @staticmethod
    def _read_display(read_end, xvfb):
        number = b""
        deadline = time.monotonic() + STEP_TIMEOUT
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
                xvfb.kill()
                xvfb.wait()
                raise RuntimeError("Xvfb did not report its display")
            chunk = os.read(read_end, 16)
            if not chunk:
                xvfb.wait()
                raise RuntimeError("Xvfb ended before it reported its display")
            number += chunk
        return number.decode().strip()

    def _make_prefix(self):
        ready = self.prefix / ".velostrander-ready"
        if ready.exists():
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.run(WINE64, "wineboot", "-i", timeout=BOOT_TIMEOUT)
        self.run(WINESERVER, "-w", timeout=BOOT_TIMEOUT)
        # Wine's virtual desktop gives windows title bars and a taskbar, as on Windows.
        explorer = r"HKCU\Software\Wine\Explorer"
        self.run(WINE64, "reg", "add", explorer, "/v", "Desktop", "/d", "Default", "/f")
        self.run(WINE64, "reg", "add", explorer + r"\Desktops", "/v", "Default", "/d",
                 DESKTOP_SIZE, "/f")
        self.run(WINESERVER, "-w", timeout=BOOT_TIMEOUT)
        ready.touch()
