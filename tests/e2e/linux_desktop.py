"""The Linux desktop: a private X server with a session bus, the accessibility bus, a window
manager and a tray host (DesktopStack, which the demo and the benchmarks use too), and the
scenarios' driver on it, which reads windows through AT-SPI, as a screen reader would, and acts
through the X server, as a user would."""

import collections
import contextlib
import ctypes
import os
import re
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path

import udp
from desktop import XVFB, Control, Desktop, japanese_locale, proc_stat, start_daemon, wait

PR_SET_PDEATHSIG = 1
CLONE_NEWNS, CLONE_NEWNET = 0x00020000, 0x40000000
CHROMIUM = "/usr/bin/chromium"  # a script that becomes the browser's program in the same process
CHROMIUM_FOLDER = "/usr/lib/chromium/"
NOBODY = 65534  # nobody, and Debian's nogroup
_libc = ctypes.CDLL(None, use_errno=True)
pyatspi = None  # imported once the desktop's buses are in os.environ: it connects at import


def _die_with_parent():
    # Runs in the child between fork and exec: a test runner killed outright (a ctest
    # timeout) still takes its desktop down with it.
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def confine(without_chromium=False):
    """This process and whatever it starts into a network namespace with only loopback, so that
    no name a browser looks up leaves the machine, and run as nobody, as a student runs, with
    Chromium's sandbox on (as root it starts only with the sandbox off); `without_chromium`, where
    none is installed. Root only: False when not root."""
    if os.geteuid() != 0:
        return False
    if _libc.unshare(CLONE_NEWNET | CLONE_NEWNS) != 0:
        raise OSError(ctypes.get_errno(), "unshare")
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    udp.open_raw()  # for forged refusals, which only root may send
    if without_chromium:
        # A whiteout of its name over its folder. Nothing of it is seen outside this mount
        # namespace, nor left after it.
        folder, name = os.path.split(CHROMIUM)
        subprocess.run(["sh", "-ec", "mount --make-rprivate / && mount -t tmpfs tmpfs /mnt && "
                        f"mkdir /mnt/up /mnt/work && mknod /mnt/up/{name} c 0 0 && mount -t overlay "
                        f"-o lowerdir={folder},upperdir=/mnt/up,workdir=/mnt/work overlay {folder}"],
                       check=True)
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)
    return True


def own_tmp():
    """This process and whatever it starts see an empty /tmp of their own: nothing of it is seen
    outside this mount namespace, nor left after it. Root only: False when not root."""
    if os.geteuid() != 0:
        return False
    if _libc.unshare(CLONE_NEWNS) != 0:
        raise OSError(ctypes.get_errno(), "unshare")
    subprocess.run(["sh", "-ec", "mount --make-rprivate / && mount -t tmpfs -o mode=1777 tmpfs /tmp"],
                   check=True)
    return True


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
            self._tear_down()
            raise
        return self

    def __exit__(self, *exc):
        self._tear_down()

    def path(self, *parts):
        return os.path.join(self._scratch, *parts)

    def spawn(self, argv, cwd=None, env=None, ignored=(), stdout=subprocess.DEVNULL,
              stderr=subprocess.DEVNULL):
        """Starts a program in its own process group, to be ended with the desktop at the latest,
        with the `ignored` signals ignored, as nohup starts one; what it prints goes nowhere
        unless asked."""
        def prepare():
            _die_with_parent()
            for number in ignored:
                signal.signal(number, signal.SIG_IGN)
        process = subprocess.Popen(argv, cwd=cwd, env=env or self.env, start_new_session=True,
                                   preexec_fn=prepare, stdout=stdout, stderr=stderr)
        self._processes.append(process)
        return process

    tool = Desktop.tool

    def _tear_down(self):
        for process in reversed(self._processes):
            _end_group(process)
        shutil.rmtree(self._scratch, ignore_errors=True)

    def _start(self):
        runtime = self.path("runtime")
        os.mkdir(runtime, 0o700)
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                    "HOME": self._scratch, "LANG": "C.UTF-8",
                    "XDG_RUNTIME_DIR": runtime}
        for folder in ("config", "cache", "data"):
            os.mkdir(self.path(folder))
            self.env[f"XDG_{folder.upper()}_HOME"] = self.path(folder)
        self.env["DISPLAY"] = ":" + self._daemon_line(XVFB, stderr=subprocess.DEVNULL)
        wait(lambda: self.tool("xdpyinfo"), "Xvfb to answer")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._daemon_line(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address={fd}"])
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"])
        wait(lambda: "true" in self.tool(
            "dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"),
             "the accessibility bus")
        self.spawn(["openbox", "--sm-disable"])
        wait(lambda: "window id" in self.tool("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
             "openbox")
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "32", "--transparent", "false"])

    def _daemon_line(self, argv, **kwargs):
        process, line = start_daemon(argv, env=self.env, preexec_fn=_die_with_parent, **kwargs)
        self._processes.append(process)
        return line


def _end_group(process):
    if process.poll() is None:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGTERM)
        with contextlib.suppress(subprocess.TimeoutExpired):
            process.wait(timeout=5)
    # Whatever the group started (the accessibility bus's own daemon) goes as well.
    with contextlib.suppress(ProcessLookupError, PermissionError):
        os.killpg(process.pid, signal.SIGKILL)
    process.wait()


# --- the scenarios' driver --------------------------------------------------------------------

_X11 = ctypes.CDLL("libX11.so.6")
_X11.XOpenDisplay.restype, _X11.XDefaultRootWindow.restype = ctypes.c_void_p, ctypes.c_ulong
CURRENT_TIME = ctypes.c_ulong(0)
KEYS = {"tab": "Tab", "return": "Return", "space": "space", "escape": "Escape",
        "alt+f4": "alt+F4"}


# A browser's window has no accessible, but its X window.
_Window = collections.namedtuple("_Window", "accessible pid title role xid", defaults=(None,))


class LinuxDesktop(DesktopStack, Desktop):
    name = "linux"
    code_page = "utf-8"
    # Each reaches the program as the window manager's WM_DELETE_WINDOW.
    close_ways = ("alt+f4", "close button")
    # Every process of Chromium's, its crash reporter's too.
    browsers, with_browser = (CHROMIUM_FOLDER,), ()

    def __init__(self, bin_dir, *wine_fixture):
        DesktopStack.__init__(self)
        Desktop.__init__(self, self._scratch)
        self.bin_dir = bin_dir

    def _start(self):
        global pyatspi
        super()._start()
        os.environ.update(self.env)
        import pyatspi

    def start(self, program, folder, env=None, ignored=()):
        # The system-information viewers that install_viewer() puts there come first.
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   PATH=self.path("viewers") + ":" + self.env["PATH"], **(env or {}))
        log = self.path(f"program-{len(self.programs)}.log")
        with open(log, "wb") as output:
            process = self.spawn([os.path.join(self.bin_dir, program)], cwd=folder, env=env,
                                 ignored=ignored, stdout=output, stderr=output)
        return self.started(process, log, process.pid)

    def kill(self, program):
        program.process.kill()

    def end_session(self, program):
        program.process.send_signal(signal.SIGTERM)

    def japanese_locale(self, charset):
        return japanese_locale(self.path("locales"), charset)

    def ours(self, pid):
        """Of this desktop's programs (each leads a session), or naming this desktop's folder, as
        every process of a browser does (its profile, its crash reports) that left the session."""
        with contextlib.suppress(OSError):
            line = Path(f"/proc/{pid}/cmdline").read_bytes().decode(errors="replace")
            return os.getsid(pid) in {p.pid for p in self.programs if p.running()} or \
                self._scratch in line
        return False

    def browser_windows(self, program):
        """The top-level X windows of the browser that `program` started, which Chromium names
        after the page; its client leader, never shown, is none."""
        found = []
        for pid in self.processes(CHROMIUM_FOLDER + "chromium"):
            if proc_stat(pid)[1:2] != [str(program.pid)]:
                continue
            for xid in self.tool("xdotool", "search", "--all", "--pid", pid, "--name", ".").split():
                props = self.tool("xprop", "-id", xid, "_NET_WM_NAME", "WM_CLIENT_LEADER")
                title = re.search(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"', props)
                if title and f"window id # {hex(int(xid))}" not in props:
                    found.append(_Window(None, pid, title.group(1), None, xid))
        return found

    # --- windows ------------------------------------------------------------------------

    def windows(self, title, program=None):
        return [w for w in self._top_levels(program) if w.title == title]

    def boxes(self, program):
        return [w for w in self._top_levels(program) if w.role == pyatspi.ROLE_ALERT]

    def _top_levels(self, program):
        """Every window of `program` and the programs it started (its session: the browser is
        one), or of every program."""
        found = []
        for app in _children(pyatspi.Registry.getDesktop(0)):
            try:
                pid = app.get_process_id()
                if program is None or os.getsid(pid) == program.pid:
                    found += [_Window(w, pid, w.name, w.getRole()) for w in _children(app)]
            except Exception:  # an application or window that is going away as we ask
                continue
        return found

    def controls(self, window):
        kinds = {pyatspi.ROLE_LABEL: "label", pyatspi.ROLE_PUSH_BUTTON: "button",
                 pyatspi.ROLE_TEXT: "text", pyatspi.ROLE_ENTRY: "text",
                 pyatspi.ROLE_COMBO_BOX: "list"}
        x, y, _, _ = _extents(window.accessible)
        y += _menu_bar_height(window.accessible)
        found = []
        for child in _of_roles(window, *kinds):
            kind = kinds[child.getRole()]
            # A combo box's name is its selection.
            text = child.queryText().getText(0, -1) if kind == "text" else child.name
            left, top, width, height = _extents(child)
            found.append(Control(kind, text, (left - x, top - y, width, height),
                                 child.getState().contains(pyatspi.STATE_SENSITIVE), child))
        return found

    def showing(self, window):
        xid = self._xid(window, required=False)
        return bool(xid) and "IsViewable" in self.tool("xwininfo", "-id", xid)

    def client(self, window):
        x, y, width, height = self.geometry("-id", self._xid(window))
        bar = _menu_bar_height(window.accessible) if window.accessible else 0
        return x, y + bar, width, height - bar

    def in_taskbar(self, window):
        return "_NET_WM_STATE_SKIP_TASKBAR" not in self._xprop(window, "_NET_WM_STATE")

    def resizable(self, window):
        # The window manager allows neither to a window whose least and largest sizes are one.
        actions = self._xprop(window, "_NET_WM_ALLOWED_ACTIONS")
        return "_NET_WM_ACTION_RESIZE" in actions or "_NET_WM_ACTION_MAXIMIZE" in actions

    def menu_bar(self, window):
        return _menu_bar_height(window.accessible) > 0

    # --- actions ------------------------------------------------------------------------

    def press(self, window, button):
        _act(self.button(window, button).handle, "Press")

    def press_repeatedly(self, window, button, times):
        """Clicks the button `times` times, quickly, as real input, once the window is on screen,
        and returns then; the clicks stop when the returned function is called. Quick to follow
        a program's start: one search of the X server a try, and the button's place in the
        window from the accessibility tree, which the window manager's placing leaves as it is."""
        x, y, width, height = _extents(next(c for c in _of_roles(window, pyatspi.ROLE_PUSH_BUTTON)
                                            if c.name == button))
        left, top, _, _ = _extents(window.accessible)
        xid = wait(lambda: self.tool("xdotool", "search", "--onlyvisible", "--pid", window.pid,
                                     "--name", f"^{re.escape(window.title)}$").split(),
                   "the window to show")[0]
        clicks = self.spawn(["xdotool", "mousemove", "--window", xid, str(x - left + width // 2),
                             str(y - top + height // 2), "click", "--repeat", str(times),
                             "--delay", "10", "1"])
        return clicks.kill

    def type_text(self, window, box, text):
        """Puts `text` into the window's text box number `box` (counted from 0), as typed."""
        boxes = _of_roles(window, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)
        boxes[box].queryEditableText().setTextContents(text)

    def pick(self, window, entry):
        """Picks the entry of the window's drop-down list as a user does: opens the list and
        types it, as no pick can be committed through AT-SPI."""
        _act(self.control(window, "list").handle, "ShowMenu")
        wait(self._keyboard_grabbed, "the list to open")
        self.tool("xdotool", "type", entry)
        self._keys_while_grabbed("the list", "key", "Return")

    def key(self, window, name):
        self.tool("xdotool", "windowactivate", "--sync", self._xid(window))
        self.tool("xdotool", "key", "--clearmodifiers", KEYS[name])
        self._settle(window)

    def close(self, window, how):
        if how == "alt+f4":
            return self.key(window, how)
        x, y, width, _ = self.client(window)
        # openbox's close button is the last one on the title bar, right above the client area
        # and its menu bar.
        self.tool("xdotool", "mousemove", x + width - 10,
                  y - _menu_bar_height(window.accessible) - 10, "click", "1")
        self._settle(window)

    def choose_menu(self, window, menu, item):
        """Through the accessibility interface, which has the menu bar also while it is hidden;
        its names lose the ampersands."""
        def named(parent, text):
            return next(m for m in _descendants(parent) if m.getRole() == pyatspi.ROLE_MENU_ITEM
                        and m.name == text.replace("&", ""))
        bar = next(m for m in _descendants(window.accessible)
                   if m.getRole() == pyatspi.ROLE_MENU_BAR)
        _act(named(named(bar, menu), item), "Press")

    def choose_popup(self, window, position):
        """By the keys, as the keyboard counts the items, from 0. A pop-up menu holds the
        keyboard while it is open."""
        self._keys_while_grabbed("a pop-up menu", "key", *["Down"] * (position + 1), "Return")
        self._settle(window)

    def tray_icon(self, program):
        """The X window of the program's icon in the tray host, or None."""
        for host in self.tool("xdotool", "search", "--class", "trayer").split():
            tree = self.tool("xwininfo", "-tree", "-id", host)
            for icon in re.findall(r"^\s+(0x[0-9a-f]+)", tree, re.MULTILINE):
                if self.tool("xdotool", "getwindowpid", icon).strip() == str(program.pid):
                    return icon
        return None

    def open_tray_menu(self, program):
        """A right press on the program's tray icon, as a user's; again while the menu does not
        open, as a press can come before the icon is ready for it."""
        def opened():
            icon = self.tray_icon(program)
            if icon and not self._keyboard_grabbed():
                self.tool("xdotool", "mousemove", "--window", icon, 4, 4, "click", "3")
            with contextlib.suppress(TimeoutError):
                return wait(self._keyboard_grabbed, "the tray menu", timeout=2)
        wait(opened, "the tray menu to open")

    def raise_window(self, window):
        self.tool("xdotool", "windowraise", self._xid(window))

    def work_area(self):
        """The window manager's (x, y, width, height) for windows on the current desktop."""
        area = self.tool("xprop", "-root", "_NET_WORKAREA")
        return tuple(map(int, re.findall(r"\d+", area)[:4]))

    def move_window(self, window, x, y):
        self.tool("xdotool", "windowmove", "--sync", self._xid(window), x, y)

    def stacked_above(self, window, other):
        """Whether `window` is above `other` in the window manager's order."""
        order = re.findall(r"0x[0-9a-f]+", self.tool(
            "xprop", "-root", "_NET_CLIENT_LIST_STACKING"))  # bottom first
        frames = [hex(int(self._xid(w), 0)) for w in (window, other)]
        return order.index(frames[0]) > order.index(frames[1])

    def install_viewer(self):
        """A system-information viewer where the agent looks for one; a check that it started."""
        marker, viewer = Path(self.path("viewer-started")), Path(self.path("viewers", "hardinfo"))
        viewer.parent.mkdir(exist_ok=True)
        viewer.write_text(f"#!/bin/sh\ntouch {marker}\n", encoding="ascii")
        viewer.chmod(0o755)
        return marker.exists

    def _keyboard_grabbed(self):
        display = ctypes.c_void_p(_X11.XOpenDisplay(self.env["DISPLAY"].encode()))
        try:
            root = ctypes.c_ulong(_X11.XDefaultRootWindow(display))
            status = _X11.XGrabKeyboard(display, root, False, 1, 1, CURRENT_TIME)  # async modes
            if status == 0:
                _X11.XUngrabKeyboard(display, CURRENT_TIME)
            return status == 1  # AlreadyGrabbed
        finally:
            _X11.XCloseDisplay(display)

    def _keys_while_grabbed(self, what, *xdotool):
        """Once a menu or list holds the keyboard, sends it the keys and waits for it to close."""
        wait(self._keyboard_grabbed, f"{what} to open")
        self.tool("xdotool", *xdotool)
        wait(lambda: not self._keyboard_grabbed(), f"{what} to close")

    def _settle(self, window):
        """Returns once the program has handled every event the window manager sent it so far,
        or the window has gone; at once for a browser's, whose program is not ours to settle.

        Moves the window: the window manager handles the request after the input before it,
        and the program hears of the move after whatever the window manager sent it for that
        input, so the new position reaching the accessibility tree is the barrier."""
        if not window.accessible:
            return
        try:
            x, y, _, _ = self.client(window)
            self.tool("xdotool", "windowmove", self._xid(window), x + 37, y + 23)
            wait(lambda: _extents(window.accessible)[:2] == (x + 37, y + 23),
                 "the program to see its window moved")
        except Exception:
            # Unless the window has gone, alone or with its program.
            if self.showing(window):
                raise

    def _xid(self, window, required=True):
        if window.xid:
            return window.xid
        # By the exact UTF-8 title: xdotool matches names in the locale's encoding, loosely. Qt's
        # own hidden helper windows take the program's name too, but only real ones have a class.
        def real(xid):
            props = self.tool("xprop", "-id", xid, "_NET_WM_NAME", "WM_CLASS")
            return f'_NET_WM_NAME(UTF8_STRING) = "{window.title}"' in props and "WM_CLASS(" in props
        # A search is tried again: it gives up when a window it walks past goes meanwhile, as a
        # menu's pop-up does once an item is chosen.
        for _ in range(3):
            found = [xid for xid in self.tool("xdotool", "search", "--all", "--pid", window.pid,
                                              "--name", ".").split() if real(xid)]
            if found:
                break
        if not found and required:
            raise LookupError(f"no X window {window.title!r}")  # xwininfo would ask for a click
        return found[0] if found else None

    def _xprop(self, window, name):
        return self.tool("xprop", "-id", self._xid(window), name)


def _children(accessible):
    return [child for child in accessible if child is not None]


def _descendants(accessible, skip=()):
    for child in _children(accessible):
        yield child
        if child.getRole() not in skip:
            yield from _descendants(child, skip)


def _of_roles(window, *roles):
    """The window's controls of these roles, in the tree's order; neither the menus nor a combo
    box's own parts."""
    return [child for child in _descendants(window.accessible, skip=(pyatspi.ROLE_MENU_BAR,
                                                                      pyatspi.ROLE_COMBO_BOX))
            if child.getRole() in roles]


def _menu_bar_height(window):
    """That of a Qt window's menu bar while it shows (else 0); it lies inside its X window, above
    the client area."""
    return sum(_extents(child)[3] for child in _children(window)
               if child.getRole() == pyatspi.ROLE_MENU_BAR
               and child.getState().contains(pyatspi.STATE_SHOWING))


def _extents(accessible):
    # Qt answers window coordinates with the far corner's offset for a size: screen ones.
    extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (extents.x, extents.y, extents.width, extents.height)


def _act(accessible, name):
    action = accessible.queryAction()
    for index in range(action.nActions):
        if action.getName(index) == name:
            action.doAction(index)
            return
    raise AssertionError(f"{accessible.name!r} has no {name} action")
