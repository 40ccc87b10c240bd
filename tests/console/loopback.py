#!/usr/bin/env python3
"""The built velostrander-console, run as a teacher would, against sockets on 127.0.0.1: the
page opened in the browser (a stand-in xdg-open), the secret traded for the cookie, the gate's
refusals, a command reaching a stand-in agent, calls reaching a waiting page, a second start
opening the running console's page, and the room and the call port saved across a restart.
The Windows program runs under Wine, in the prefix and on the desktop of the Windows tests, with
the .html files opened by a recorder; there the tray menu's last item ends the console.

    loopback.py PROGRAM
    loopback.py --wine WORK HELPERS PROGRAM
"""

import http.client
import json
import os
import pwd
import re
import socket
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import udp  # noqa: E402  pylint: disable=wrong-import-position
import windows_desktop  # noqa: E402  pylint: disable=wrong-import-position
from desktop import wait  # noqa: E402  pylint: disable=wrong-import-position

LIMIT = 20  # seconds; generous for loaded machines
PROGRAM = None
WINE = None  # the Windows tests' desktop, under --wine


class Console:
    """One run of the program in a home and a session of the test's own, with no tray, and an
    xdg-open that notes what it opens."""
    in_use = "^Address already in use$"
    ended = -15  # by SIGTERM

    def __init__(self, home, call_port=None):
        self.home = Path(home)
        self.env = self.environment()
        self.process = self.start(
            ["--port", "0"] + (["--call-port", str(call_port)] if call_port else []))
        with open(self.entry, encoding="utf-8") as page:
            url = re.search(r'url=http://127\.0\.0\.1:(\d+)(/\?key=[0-9a-f]{64})"', page.read())
        self.port, self.entry_path = int(url.group(1)), url.group(2)
        self.cookie = ""
        # Kept open, as a browser keeps its connection: Wine's HTTP server loses now and then a
        # request of a connection made just as the one before it was closed.
        self.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=LIMIT + 30)

    def environment(self):
        home = str(self.home)
        (self.home / "run").mkdir(mode=0o700, exist_ok=True)
        (self.home / "xdg-open").write_text('#!/bin/sh\necho "$1" >> "$HOME/opened"\n')
        (self.home / "xdg-open").chmod(0o755)
        return dict(os.environ, HOME=home, XDG_CONFIG_HOME=f"{home}/config",
                    XDG_RUNTIME_DIR=f"{home}/run", QT_QPA_PLATFORM="offscreen",
                    PATH=f"{home}:{os.environ['PATH']}")

    def start(self, arguments):
        process = subprocess.Popen([PROGRAM, *arguments], env=self.env, stdout=subprocess.PIPE,
                                   text=True)
        line = process.stdout.readline()
        self.entry = re.fullmatch(r"velostrander-console: open file://(.*)\n", line).group(1)
        self.page = re.escape(self.entry)
        return process

    def again(self):
        """A second start's exit code."""
        return subprocess.run([PROGRAM], env=self.env, capture_output=True, timeout=LIMIT,
                              check=False).returncode

    def ask(self, method, path, body=None, origin=True, cookie=True, alone=False):
        """`alone`: on a connection of its own, which no other request waits for."""
        connection = http.client.HTTPConnection(
            "127.0.0.1", self.port, timeout=LIMIT + 30) if alone else self.connection
        headers = {"Host": f"127.0.0.1:{self.port}"}
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

    def opened(self):
        """The pages that the browser's opener was given so far, each as whether it is the
        entry file: the opener runs apart from the console, so its record may not exist yet."""
        record = self.home / "opened"
        lines = record.read_text("utf-8").splitlines() if record.exists() else []
        return [bool(re.fullmatch(self.page, line)) for line in lines]

    def call(self, port, after):
        """The events that a waiting page gets for a call from 127.0.0.1 to the port."""
        answers = []
        poll = threading.Thread(
            target=lambda: answers.append(self.ask("GET", f"/api/events?after={after}", alone=True)))
        poll.start()  # whether it waits yet or not, it gets the call
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as caller:
            caller.sendto(b"01Call", ("127.0.0.1", port))
        poll.join(LIMIT)
        return [(e["kind"], e["number"], e["genuine"]) for e in json.loads(answers[0][2])["events"]]

    def end(self):
        self.connection.close()
        if self.process.poll() is None:
            self.process.terminate()
        return self.process.wait(LIMIT)


class WineConsole(Console):
    """The Windows program, its page found through the entry file it writes; recorder.exe, as
    the .html files' program, notes where a browser would have been opened."""
    # WSAEADDRINUSE, in the system's words and code; Wine has no words for it.
    in_use = r"0x00002740\)?$"
    ended = 0
    HTML = r"HKCR\velostrander.test.html"
    page = r'.*"C:\\users\\[^\\]+\\AppData\\Roaming\\Velostrander\\console\.html"'

    @staticmethod
    def folder():
        """The teacher's settings folder in the prefix."""
        return (WINE.prefix / "drive_c/users" / pwd.getpwuid(os.getuid()).pw_name
                / "AppData/Roaming/Velostrander")

    def environment(self):
        return dict(WINE.env, VELO_RECORD=f"Z:{self.home / 'opened'}")

    def start(self, arguments):
        entry = self.folder() / "console.html"
        entry.unlink(missing_ok=True)
        process = subprocess.Popen([windows_desktop.WINE64, PROGRAM, *arguments], env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait(entry.exists, "the entry file", timeout=LIMIT)
        self.entry = str(entry)
        return process

    def again(self):
        record = {"VELO_RECORD": self.env["VELO_RECORD"]}
        return WINE.run(windows_desktop.WINE64, PROGRAM, env=record).returncode

    def end(self):
        """Through the tray icon's menu, as the shell reports a right click."""
        self.connection.close()
        if self.process.poll() is None:
            icon = wait(lambda: WINE.window("Velostrander Console"), "the tray icon's window")
            WINE._wintree("post", icon.hwnd, 0x8001, 0, 0x205)  # WM_APP + 1, WM_RBUTTONUP
            WINE.choose_popup(icon, 1)
        return self.process.wait(LIMIT)

    @classmethod
    def associate(cls, recorder, add=True):
        """The .html files opened by the recorder, as a browser would open them."""
        if not add:
            for key in (r"HKCR\.html", cls.HTML):
                WINE.run(windows_desktop.WINE64, "reg", "delete", key, "/f")
            return
        for key, value in ((r"HKCR\.html", "velostrander.test.html"),
                           (cls.HTML + r"\shell\open\command", f'"Z:{recorder}" "%1"')):
            WINE.run(windows_desktop.WINE64, "reg", "add", key, "/ve", "/d", value, "/f")


class ConsoleTest(unittest.TestCase):
    def test_a_lesson_on_loopback(self):
        side = WineConsole if WINE else Console
        with tempfile.TemporaryDirectory() as home:
            agent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            agent.bind(("127.0.0.1", 0))
            agent.settimeout(LIMIT)
            call_port = udp.free_port()
            console = side(home, call_port)
            try:
                if not WINE:
                    self.assertEqual([os.stat(path).st_mode & 0o777 for path in (
                        os.path.dirname(console.entry), console.entry)], [0o700, 0o600])
                self.assertEqual(console.ask("GET", "/api/room")[0], 403)
                status, cookie = console.trade()
                self.assertEqual(status, 200)
                self.assertRegex(cookie, r"^velo_console=[0-9a-f]{64}; HttpOnly; SameSite=Strict")
                pc = {"number": "01", "host": "127.0.0.1", "port": agent.getsockname()[1],
                      "name": "窓側", "desk": {"column": 2, "row": 1}}
                self.assertEqual(console.ask("POST", "/api/room/pcs", pc, origin=False)[0], 403)
                self.assertEqual(console.ask("POST", "/api/room/pcs", pc)[0], 201)
                self.assertEqual(console.ask("POST", "/api/send",
                                             {"to": ["01"], "command": "FullScreen"})[0], 200)
                self.assertEqual(agent.recv(100), b"Command:FullScreen")

                self.assertEqual(console.call(call_port, 2), [("call", "01", True)])

                # The page is opened at the start; a second start opens the running console's
                # page again, and ends.
                entry = Path(console.entry).read_text(encoding="utf-8")
                wait(console.opened, "the browser to be opened", timeout=LIMIT)
                self.assertEqual(console.again(), 0)
                self.assertEqual(wait(lambda: len(console.opened()) > 1 and console.opened(),
                                      "the second", timeout=LIMIT), [True, True])
                self.assertEqual(Path(console.entry).read_text(encoding="utf-8"), entry)
                self.assertIsNone(console.process.poll())

                # The page's call port is listened on at once, or said to be taken.
                with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
                    holder.bind(("0.0.0.0", 0))
                    taken = holder.getsockname()[1]
                    answer = json.loads(console.ask("POST", "/api/settings",
                                                    {"callPort": taken})[2])
                self.assertEqual(answer["callPort"], taken)
                self.assertRegex(answer["callPortProblem"], console.in_use)
                call_port = udp.free_port()
                answer = console.ask("POST", "/api/settings", {"callPort": call_port})
                self.assertEqual(json.loads(answer[2])["callPortProblem"], "")
                self.assertEqual(console.call(call_port, 5), [("call", "01", True)])
            finally:
                self.assertEqual(console.end(), console.ended)
                agent.close()
            # The room and the call port survive a restart, the room as velostrander-ctl reads it.
            console = side(home)
            try:
                console.trade()
                room = json.loads(console.ask("GET", "/api/room")[2])
            finally:
                console.end()
            self.assertEqual(room["pcs"], [pc])
            self.assertEqual((room["callPort"], room["callPortProblem"]), (call_port, ""))


if __name__ == "__main__":
    if sys.argv[1] == "--wine":
        work, helpers, PROGRAM = sys.argv[2:5]
        del sys.argv[1:5]
        with windows_desktop.WindowsDesktop(None, work, helpers, "console") as WINE:
            shutil.rmtree(WineConsole.folder(), ignore_errors=True)
            WineConsole.associate(Path(helpers).resolve() / "recorder.exe")
            try:
                unittest.main(exit=False)
            finally:
                WineConsole.associate(None, add=False)
    else:
        PROGRAM = sys.argv.pop(1)
        unittest.main()
