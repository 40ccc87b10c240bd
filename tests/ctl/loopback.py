#!/usr/bin/env python3
"""The built velostrander-ctl, run as a teacher would run it, against sockets on 127.0.0.1.

    loopback.py PROGRAM
"""

import itertools
import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import unittest

LIMIT = 20  # seconds; generous for loaded machines and sanitizer builds
PROGRAM = None


def steady(output):
    """Takes out what differs from run to run: the time of a datagram, the resolver's reason."""
    output = re.sub(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", "TIME", output)
    return re.sub(r"unknown host \(.*\)", "unknown host (...)", output)


def agent_socket(address="127.0.0.1"):
    agent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    agent.bind((address, 0))
    return agent


def ready(stream, wait=LIMIT):
    return select.select([stream], [], [], wait)[0]


def run(arguments, **kwargs):
    return subprocess.run([PROGRAM, *arguments], capture_output=True, text=True, timeout=LIMIT,
                          check=False, **kwargs)


def sent(arguments, datagram):
    return arguments, "", 0, f'sent to 127.0.0.1:@1: "{datagram}"\n', "", [datagram]


def refused(arguments, roster, status, err):
    return arguments, roster, status, "", err, []


class Loopback(unittest.TestCase):
    def test_each_run_ends_with_its_status_output_and_datagrams(self):
        # "@1" to "@3" stand for the ports of three agents.
        folder = self.enterContext(tempfile.TemporaryDirectory(prefix="velo-ctl-"))
        roster = os.path.join(folder, "room1.txt")
        url = "https://例え.jp/検索?q=日本語&page=2"
        fullscreen = "Command:FullScreen"
        cases = [
            sent(["send", "127.0.0.1:@1", "hello world"], "hello world"),
            sent(["open", "127.0.0.1:@1", url], url),
            *(sent(["--port", "@1", command, "127.0.0.1"], datagram) for command, datagram in (
                ("fullscreen", fullscreen), ("windowed", "Command:PartScreen"),
                ("show", "Command:VisibleTrue"), ("hide", "Command:VisibleFalse"))),
            (["-q", "show", "127.0.0.1:@1"], "", 0, "", "", ["Command:VisibleTrue"]),
            (["fullscreen", "--roster", roster],
             "# room 1\r\n01 127.0.0.1 @1\r\n\r\n02\tlocalhost\t@2\r\n03 127.0.0.1 @3\r\n", 0,
             f'sent to 127.0.0.1:@1 (computer 01): "{fullscreen}"\n'
             f'sent to localhost:@2 (computer 02): "{fullscreen}"\n'
             f'sent to 127.0.0.1:@3 (computer 03): "{fullscreen}"\n', "", [fullscreen] * 3),
            (["hide", "--roster", roster],
             "01 127.0.0.1 @1\n02 nohost.invalid 5001\n03 127.0.0.1 @3\n", 1,
             'sent to 127.0.0.1:@1 (computer 01): "Command:VisibleFalse"\n'
             'sent to 127.0.0.1:@3 (computer 03): "Command:VisibleFalse"\n',
             "velostrander-ctl: not sent to nohost.invalid:5001 (computer 02): unknown host "
             "(...)\n", ["Command:VisibleFalse", None, "Command:VisibleFalse"]),
            refused(["show", "--roster", roster], "01 127.0.0.1 @1\n02 127.0.0.1 70000\n", 2,
                    f'velostrander-ctl: {roster}:2: expected a UDP port 1-65535, found "70000"\n'),
            refused(["show", "--roster", "/nonexistent/room1.txt"], "", 2,
                    "velostrander-ctl: cannot open roster /nonexistent/room1.txt: No such file or "
                    "directory\n"),
            refused(["show", "127.0.0.1"], "", 2,
                    'velostrander-ctl: no port for "127.0.0.1": write HOST:PORT or give --port\n'
                    "Try 'velostrander-ctl --help'.\n"),
            # listen binds every address, so it cannot share the port agent 1 holds.
            refused(["listen", "@1"], "", 1,
                    "velostrander-ctl: cannot listen on UDP port @1: Address already in use\n"),
        ]
        for arguments, roster_text, status, out, err, datagrams in cases:
            with self.subTest(arguments=arguments):
                agents = [agent_socket() for _ in range(3)]

                def filled(text):
                    for number, agent in enumerate(agents, 1):
                        text = text.replace(f"@{number}", str(agent.getsockname()[1]))
                    return text

                if roster_text:
                    with open(roster, "wb") as file:
                        file.write(filled(roster_text).encode())
                # Keeps the resolver's wait short where no name server answers.
                ran = run(map(filled, arguments),
                          env=dict(os.environ, RES_OPTIONS="timeout:1 attempts:1"))
                self.assertEqual((ran.returncode, steady(ran.stdout), steady(ran.stderr)),
                                 (status, filled(out), filled(err)))
                for agent, expected in itertools.zip_longest(agents, datagrams):
                    # The program has ended: anything it sent is waiting already.
                    waiting = ready(agent, LIMIT if expected else 0)
                    self.assertEqual(agent.recv(65536).decode() if waiting else None, expected)
                    agent.close()

    def test_help_names_what_each_command_sends(self):
        ran = run(["--help"])
        self.assertEqual((ran.returncode, ran.stderr), (0, ""))
        for text in ('\n  windowed HOST[:PORT]     "Command:PartScreen"', "Command:FullScreen",
                     "Command:VisibleTrue", "Command:VisibleFalse", "--roster FILE",
                     "listen PORT"):
            self.assertIn(text, ran.stdout)

    def test_listen_prints_each_datagram_until_sigint_or_sigterm(self):
        cases = [("07Call", "TIME  07  127.0.0.1:@\n", signal.SIGTERM),
                 ("Call\r\n", 'TIME  --  127.0.0.1:@  not a call: "Call\\r\\n"\n', signal.SIGINT),
                 # A right-to-left override would show the line as a call from 10.0.0.9.
                 ("Call\u202e9.0.0.01  70",
                  'TIME  --  127.0.0.1:@  not a call: "Call\\xE2\\x80\\xAE9.0.0.01  70"\n',
                  signal.SIGTERM)]
        for datagram, line, ending in cases:
            with self.subTest(datagram=datagram):
                with agent_socket("0.0.0.0") as free:  # listen binds every address
                    port = free.getsockname()[1]
                listening = f"listening for calls on UDP port {port}; Ctrl+C ends\n"
                with subprocess.Popen([PROGRAM, "listen", str(port)], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True) as ctl:
                    try:
                        self.assertTrue(ready(ctl.stderr))
                        self.assertEqual(ctl.stderr.readline(), listening)
                        with agent_socket() as agent:
                            agent.sendto(datagram.encode(), ("127.0.0.1", port))
                            self.assertTrue(ready(ctl.stdout))
                            self.assertEqual(steady(ctl.stdout.readline()),
                                             line.replace("@", str(agent.getsockname()[1])))
                        ctl.send_signal(ending)
                        self.assertEqual(ctl.wait(LIMIT), 0)
                        self.assertEqual(ctl.stdout.read() + ctl.stderr.read(), "")
                    finally:
                        ctl.kill()


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    unittest.main()
