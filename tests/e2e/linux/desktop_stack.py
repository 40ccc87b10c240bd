"""A private X desktop for one test: Xvfb, a session bus, the accessibility bus, a window
manager and a tray host, all torn down again however the test ends."""

import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import time

PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # Runs in the child between fork and exec: a test runner killed outright (a ctest
    # timeout) still takes its desktop down with it.
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def wait_for(condition, timeout, what, interval=0.02):
    """Polls `condition` until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


class DesktopStack:
    """Use as a context manager; `env` is what programs on this desktop run with."""

    def __init__(self):
        self._processes = []
        self._scratch = tempfile.mkdtemp(prefix="velo-e2e-")
        self.env = {}

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def path(self, *parts):
        return os.path.join(self._scratch, *parts)

    def spawn(self, argv, cwd=None, env=None, **kwargs):
        """Starts a program in its own process group, to be ended by close() at the latest."""
        process = subprocess.Popen(
            argv, cwd=cwd, env=env or self.env, start_new_session=True,
            preexec_fn=_die_with_parent, **kwargs)
        self._processes.append(process)
        return process

    def run(self, argv, timeout=10):
        """Runs a command-line tool against this desktop and returns its output."""
        return subprocess.run(argv, env=self.env, capture_output=True, text=True,
                              timeout=timeout, check=False)

    def close(self):
        for process in reversed(self._processes):
            _end_group(process)
        shutil.rmtree(self._scratch, ignore_errors=True)

    def _start(self):
        runtime = self.path("runtime")
        os.mkdir(runtime, 0o700)
        for folder in ("config", "cache", "data"):
            os.mkdir(self.path(folder))
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.environ.get("HOME", self._scratch),
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": self.path("config"),
            "XDG_CACHE_HOME": self.path("cache"),
            "XDG_DATA_HOME": self.path("data"),
        }
        self.env["DISPLAY"] = self._start_xvfb()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._start_session_bus()
        self._start_accessibility_bus()
        self._start_window_manager()
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "32", "--transparent", "false"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        try:
            self.spawn(["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                        "-dpi", "96", "-screen", "0", "1280x1024x24"],
                       pass_fds=(write_end,), stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = -1
            display = ":" + _read_line(read_end, 15).strip()
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)
        self.env["DISPLAY"] = display
        wait_for(lambda: self.run(["xdpyinfo"]).returncode == 0, 10, "Xvfb to answer")
        return display

    def _start_session_bus(self):
        read_end, write_end = os.pipe()
        try:
            self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                        f"--print-address={write_end}"], pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            return _read_line(read_end, 10).strip()
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

    def _start_accessibility_bus(self):
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"],
                   stderr=subprocess.DEVNULL)
        wait_for(lambda: "true" in self.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
             "string:org.a11y.Bus"]).stdout, 10, "the accessibility bus")

    def _start_window_manager(self):
        self.spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        wait_for(lambda: "window id" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout, 10, "openbox")


def _read_line(fd, timeout):
    """Reads what a starting daemon prints on `fd`, up to its first line end."""
    os.set_blocking(fd, False)
    data = b""

    def line_complete():
        nonlocal data
        try:
            chunk = os.read(fd, 256)
        except BlockingIOError:
            return False
        if not chunk:
            raise RuntimeError("the daemon exited before it printed its address")
        data += chunk
        return b"\n" in data

    wait_for(line_complete, timeout, "a daemon to start")
    return data.decode()


def _end_group(process):
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
    # Whatever the group started (the accessibility bus's own daemon) goes as well.
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    process.wait()
