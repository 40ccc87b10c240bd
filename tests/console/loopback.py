#!/usr/bin/env python3
"""The built velostrander-console, run as a teacher would, against sockets on 127.0.0.1: the
secret traded for the cookie, the gate's refusals, the room saved and read again after a restart,
a command reaching a stand-in agent, and calls reaching a waiting page.

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

LIMIT = 20  # seconds; generous for loaded machines
PROGRAM = None


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Console:
    """One run of the program in a home of the test's own."""

    def __init__(self, home, call_port):
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"))
        self.process = subprocess.Popen(
            [PROGRAM, "--port", "0", "--call-port", str(call_port)],
            env=env, stdout=subprocess.PIPE, text=True)
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
                self.assertEqual(os.stat(os.path.dirname(console.entry)).st_mode & 0o777, 0o700)
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

                answers = []
                poll = threading.Thread(
                    target=lambda: answers.append(console.ask("GET", "/api/events?after=1")))
                poll.start()  # whether it waits yet or not, it gets the call
                with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as caller:
                    caller.sendto(b"01Call", ("127.0.0.1", call_port))
                poll.join(LIMIT)
                events = json.loads(answers[0][2])["events"]
                self.assertEqual([(e["kind"], e["number"], e["genuine"]) for e in events],
                                 [("call", "01", True)])

                # A second console finds the call port taken, and says so.
                second = Console(home, call_port)
                second.trade()
                room = json.loads(second.ask("GET", "/api/room")[2])
                second.end()
                self.assertEqual(room["callPortProblem"], "Address already in use")
            finally:
                console.end()
                agent.close()
            # The room survives a restart, in the form velostrander-ctl reads.
            console = Console(home, call_port)
            console.trade()
            room = json.loads(console.ask("GET", "/api/room")[2])
            console.end()
            self.assertEqual(room["pcs"], [pc])
            self.assertEqual(room["callPortProblem"], "")


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
