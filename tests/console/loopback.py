#!/usr/bin/env python3
"""The built velostrander-console, run as a teacher would, against sockets on 127.0.0.1: the
page opened in the browser (a stand-in xdg-open), the secret traded for the cookie, the gate's
refusals, a command reaching a stand-in agent, calls reaching a waiting page, a second start
opening the running console's page, and the room and the call port saved across a restart.

    loopback.py PROGRAM
"""

import http.client
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

LIMIT = 20  # seconds; generous for loaded machines
PROGRAM = None


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Console:
    """One run of the program in a home and a session of the test's own, with no tray, and an
    xdg-open that notes what it opens."""

    def __init__(self, home, call_port=None):
        self.home = Path(home)
        (self.home / "run").mkdir(mode=0o700, exist_ok=True)
        (self.home / "xdg-open").write_text('#!/bin/sh\necho "$1" >> "$HOME/opened"\n')
        (self.home / "xdg-open").chmod(0o755)
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=f"{home}/config",
                        XDG_RUNTIME_DIR=f"{home}/run", QT_QPA_PLATFORM="offscreen",
                        PATH=f"{home}:{os.environ['PATH']}")
        self.process = subprocess.Popen(
            [PROGRAM, "--port", "0"] + (["--call-port", str(call_port)] if call_port else []),
            env=self.env, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        self.entry = re.fullmatch(r"velostrander-console: open file://(.*)\n", line).group(1)
        with open(self.entry, encoding="utf-8") as page:
            url = re.search(r'url=http://127\.0\.0\.1:(\d+)(/\?key=[0-9a-f]{64})"', page.read())
        self.port, self.entry_path = int(url.group(1)), url.group(2)
        self.cookie = ""

    def ask(self, method, path, body=None, host=None, origin=True, cookie=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=LIMIT + 30)
        headers = {"Host": host or f"127.0.0.1:{self.port}"}
        if origin and method != "GET":
            headers["Origin"] = f"http://127.0.0.1:{self.port}"
        if cookie and self.cookie:
            headers["Cookie"] = self.cookie
        connection.request(method, path, json.dumps(body) if body is not None else None, headers)
        response = connection.getresponse()
        text = response.read().decode()
        connection.close()
        return response.status, response.getheader("Set-Cookie") or "", text

    def trade(self):
        status, cookie, _ = self.ask("GET", self.entry_path)
        self.cookie = cookie.split(";")[0]
        return status, cookie

    def opened(self):
        return (self.home / "opened").read_text(encoding="utf-8").splitlines()

    def call(self, port, after):
        """The events that a waiting page gets for a call from 127.0.0.1 to the port."""
        answers = []
        poll = threading.Thread(
            target=lambda: answers.append(self.ask("GET", f"/api/events?after={after}")))
        poll.start()  # whether it waits yet or not, it gets the call
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as caller:
            caller.sendto(b"01Call", ("127.0.0.1", port))
        poll.join(LIMIT)
        return [(e["kind"], e["number"], e["genuine"]) for e in json.loads(answers[0][2])["events"]]

    def end(self):
        self.process.terminate()
        self.process.wait(LIMIT)
        self.process.stdout.close()


class ConsoleTest(unittest.TestCase):
    def test_a_lesson_on_loopback(self):
        with tempfile.TemporaryDirectory() as home:
            agent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            agent.bind(("127.0.0.1", 0))
            agent.settimeout(LIMIT)
            call_port = free_udp_port()
            console = Console(home, call_port)
            try:
                self.assertEqual([os.stat(path).st_mode & 0o777 for path in
                                  (os.path.dirname(console.entry), console.entry)], [0o700, 0o600])
                self.assertEqual(console.ask("GET", "/api/room")[0], 403)
                status, cookie = console.trade()
                self.assertEqual(status, 200)
                self.assertRegex(cookie, r"^velo_console=[0-9a-f]{64}; HttpOnly; SameSite=Strict")
                self.assertEqual(console.ask("GET", "/api/room", host="evil.example")[0], 403)
                pc = {"number": "01", "host": "127.0.0.1", "port": agent.getsockname()[1],
                      "name": "窓側", "desk": {"column": 2, "row": 1}}
                self.assertEqual(console.ask("POST", "/api/room/pcs", pc, origin=False)[0], 403)
                self.assertEqual(console.ask("POST", "/api/room/pcs", pc)[0], 201)
                self.assertEqual(console.ask("POST", "/api/send",
                                             {"to": ["01"], "command": "FullScreen"})[0], 200)
                self.assertEqual(agent.recv(100), b"Command:FullScreen")

                self.assertEqual(console.call(call_port, 1), [("call", "01", True)])

                # A second start opens the running console's page, and ends.
                entry = Path(console.entry).read_text(encoding="utf-8")
                second = subprocess.run([PROGRAM], env=console.env, capture_output=True,
                                        timeout=LIMIT, check=False)
                self.assertEqual(second.returncode, 0, second.stderr)
                self.assertEqual(console.opened(), [console.entry] * 2)
                self.assertEqual(Path(console.entry).read_text(encoding="utf-8"), entry)

                # The page's call port is listened on at once, or said to be taken.
                with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
                    holder.bind(("127.0.0.1", 0))
                    taken = holder.getsockname()[1]
                    answer = console.ask("POST", "/api/settings", {"callPort": taken})
                self.assertEqual(json.loads(answer[2]),
                                 {"callPort": taken, "callPortProblem": "Address already in use"})
                call_port = free_udp_port()
                answer = console.ask("POST", "/api/settings", {"callPort": call_port})
                self.assertEqual(json.loads(answer[2])["callPortProblem"], "")
                self.assertEqual(console.call(call_port, 2), [("call", "01", True)])
            finally:
                console.end()
                agent.close()
            # The room and the call port survive a restart, the room as velostrander-ctl reads it.
            console = Console(home)
            console.trade()
            room = json.loads(console.ask("GET", "/api/room")[2])
            console.end()
            self.assertEqual(room["pcs"], [pc])
            self.assertEqual((room["callPort"], room["callPortProblem"]), (call_port, ""))


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
