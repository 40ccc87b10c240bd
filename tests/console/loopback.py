#!/usr/bin/env python3
"""The built velostrander-console, run as a teacher would, against sockets on 127.0.0.1: the
secret traded for the cookie, the gate's refusals, the room saved and read again after a restart,
a command reaching a stand-in agent, calls reaching a waiting page, and the call port that another
program holds named in the room. The Windows program runs under Wine, in the prefix and on the
desktop of the Windows tests; there the browser is opened on the entry file at the start and by a
second start, which ends at once, and the tray menu's last item ends the console.

    loopback.py PROGRAM
    loopback.py --wine WORK HELPERS PROGRAM
"""

import http.client
import json
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from desktop import wait  # noqa: E402  pylint: disable=wrong-import-position

LIMIT = 20  # seconds; generous for loaded machines
SIDE = None


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Linux:
    """The program in a home of the test's own."""
    in_use = "^Address already in use$"
    ended = -15  # by SIGTERM

    def __init__(self, program):
        self.program, self.home = program, tempfile.TemporaryDirectory()
        self.env = dict(os.environ, HOME=self.home.name,
                        XDG_CONFIG_HOME=os.path.join(self.home.name, "config"))
        self.folder = Path(self.home.name, "config", "velostrander")

    def start(self, *args):
        return subprocess.Popen([self.program, *args], env=self.env, stdout=subprocess.DEVNULL)

    def end(self, process):
        process.terminate()
        return process.wait(LIMIT)

    def close(self):
        self.home.cleanup()


class Wine:
    """The program in the Windows tests' prefix, with the .html files opened by recorder.exe,
    which notes where a browser would have been opened."""
    # WSAEADDRINUSE, in the system's words and code; Wine has no words for it.
    in_use = r"0x00002740\)?$"
    ended = 0
    HTML = r"HKCR\velostrander.test.html"

    def __init__(self, work, helpers, program):
        import windows_desktop  # pylint: disable=import-outside-toplevel
        self.program, self.wine = program, windows_desktop
        self.desktop = windows_desktop.WindowsDesktop(None, work, helpers, "console").__enter__()
        self.folder = (self.desktop.prefix / "drive_c/users" / pwd.getpwuid(os.getuid()).pw_name
                       / "AppData/Roaming/Velostrander")
        shutil.rmtree(self.folder, ignore_errors=True)
        self.opened = Path(self.desktop.scratch) / "opened"
        self.env = dict(self.desktop.env, VELO_RECORD=f"Z:{self.opened}")
        recorder = Path(helpers).resolve() / "recorder.exe"
        for key, value in ((r"HKCR\.html", "velostrander.test.html"),
                           (self.HTML + r"\shell\open\command", f'"Z:{recorder}" "%1"')):
            self.desktop.run(self.wine.WINE64, "reg", "add", key, "/ve", "/d", value, "/f")

    def start(self, *args):
        return subprocess.Popen([self.wine.WINE64, self.program, *args], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def pages_opened(self):
        return self.opened.read_text("utf-8").splitlines() if self.opened.exists() else []

    def end(self, process):
        """Through the tray icon's menu, as the shell reports a right click."""
        icon = wait(lambda: self.desktop.window("Velostrander Console"), "the tray icon's window")
        self.desktop._wintree("post", icon.hwnd, 0x8001, 0, 0x205)  # WM_APP + 1, WM_RBUTTONUP
        self.desktop.choose_popup(icon, 1)
        return process.wait(LIMIT)

    def close(self):
        for key in (r"HKCR\.html", self.HTML):
            self.desktop.run(self.wine.WINE64, "reg", "delete", key, "/f")


class Console:
    """One run of the program, its page found through the entry file it writes."""

    def __init__(self, call_port):
        entry = SIDE.folder / "console.html"
        entry.unlink(missing_ok=True)
        self.process = SIDE.start("--port", "0", "--call-port", str(call_port))
        wait(entry.exists, "the entry file", timeout=LIMIT)
        self.entry = str(entry)
        url = re.search(r'url=http://127\.0\.0\.1:(\d+)(/\?key=[0-9a-f]{64})"', entry.read_text())
        self.port, self.entry_path = int(url.group(1)), url.group(2)
        self.cookie = ""
        # Kept open, as a browser keeps its connection: Wine's HTTP server loses now and then a
        # request of a connection made just as the one before it was closed.
        self.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=LIMIT + 30)

    def ask(self, method, path, body=None, host=None, origin=True, cookie=True, alone=False):
        """`alone`: on a connection of its own, which no other request waits for."""
        connection = http.client.HTTPConnection(
            "127.0.0.1", self.port, timeout=LIMIT + 30) if alone else self.connection
        headers = {"Host": host or f"127.0.0.1:{self.port}"}
        if origin and method != "GET":
            headers["Origin"] = f"http://127.0.0.1:{self.port}"
        if cookie and self.cookie:
            headers["Cookie"] = self.cookie
        connection.request(method, path, json.dumps(body) if body is not None else None, headers)
        response = connection.getresponse()
        text = response.read().decode()
        if alone:
            connection.close()
        return response.status, response.getheader("Set-Cookie") or "", text

    def trade(self):
        status, cookie, _ = self.ask("GET", self.entry_path)
        self.cookie = cookie.split(";")[0]
        return status, cookie

    def end(self):
        self.connection.close()
        if self.process.poll() is None:
            return SIDE.end(self.process)
        return self.process.returncode


class ConsoleTest(unittest.TestCase):
    def test_a_lesson_on_loopback(self):
        agent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        agent.bind(("127.0.0.1", 0))
        agent.settimeout(LIMIT)
        call_port = free_udp_port()
        console = Console(call_port)
        try:
            if isinstance(SIDE, Linux):
                self.assertEqual(SIDE.folder.stat().st_mode & 0o777, 0o700)
            else:
                self.check_browser_opened(console)
            self.assertEqual(console.ask("GET", "/api/room")[0], 403)
            status, cookie = console.trade()
            self.assertEqual(status, 200)
            self.assertRegex(cookie, r"^velo_console=[0-9a-f]{64}; HttpOnly; SameSite=Strict")
            # http.sys routes by the Host header: a foreign one never reaches the console (Windows
            # answers 400, Wine leaves it unanswered).
            if isinstance(SIDE, Linux):
                self.assertEqual(console.ask("GET", "/api/room", host="evil.example")[0], 403)
            pc = {"number": "01", "host": "127.0.0.1", "port": agent.getsockname()[1],
                  "name": "窓側", "desk": {"column": 2, "row": 1}}
            self.assertEqual(console.ask("POST", "/api/room/pcs", pc, origin=False)[0], 403)
            self.assertEqual(console.ask("POST", "/api/room/pcs", pc)[0], 201)
            self.assertEqual(console.ask("POST", "/api/send",
                                         {"to": ["01"], "command": "FullScreen"})[0], 200)
            self.assertEqual(agent.recv(100), b"Command:FullScreen")

            answers = []
            poll = threading.Thread(target=lambda: answers.append(
                console.ask("GET", "/api/events?after=1", alone=True)))
            poll.start()  # whether it waits yet or not, it gets the call
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as caller:
                caller.sendto(b"01Call", ("127.0.0.1", call_port))
            poll.join(LIMIT)
            events = json.loads(answers[0][2])["events"]
            self.assertEqual([(e["kind"], e["number"], e["genuine"]) for e in events],
                             [("call", "01", True)])
        finally:
            self.assertEqual(console.end(), SIDE.ended)
            agent.close()
        # The room survives a restart, in the form velostrander-ctl reads; the call port that
        # another program holds now is named.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
            holder.bind(("0.0.0.0", call_port))
            console = Console(call_port)
            try:
                console.trade()
                room = json.loads(console.ask("GET", "/api/room")[2])
            finally:
                console.end()
        self.assertEqual(room["pcs"], [pc])
        self.assertRegex(room["callPortProblem"], SIDE.in_use)

    def check_browser_opened(self, console):
        """At the start, and by a second start, which leaves the first running."""
        page = re.compile(r'.*"C:\\users\\[^\\]+\\AppData\\Roaming\\Velostrander\\console\.html"$')
        wait(SIDE.pages_opened, "the browser to be opened")
        self.assertEqual(SIDE.desktop.run(SIDE.wine.WINE64, SIDE.program, env={
            "VELO_RECORD": SIDE.env["VELO_RECORD"]}).returncode, 0)
        opened = wait(lambda: len(SIDE.pages_opened()) > 1 and SIDE.pages_opened(), "the second")
        self.assertEqual([bool(page.match(line)) for line in opened], [True, True], opened)
        self.assertIsNone(console.process.poll())


if __name__ == "__main__":
    if sys.argv[1] == "--wine":
        SIDE = Wine(*sys.argv[2:5])
        del sys.argv[1:5]
    else:
        SIDE = Linux(sys.argv.pop(1))
    try:
        unittest.main()
    finally:
        SIDE.close()
