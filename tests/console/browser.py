#!/usr/bin/env python3
"""The console in a real browser: Debian's Chromium, headless, driven over its DevTools pipe, in a
network of only loopback, as nobody. The entry file trades the secret for a cookie that the page
then carries, though no script can read it; another page of the same browser cannot change
anything, nor can a foreign name pointed at 127.0.0.1. A lesson on the teacher's page reaches
stand-in agents on 127.0.0.x, and their calls reach it. Root only (exit 77 otherwise).

    browser.py PROGRAM

With VELO_CONSOLE_SHOT=FILE the lesson leaves a picture of the page with a call lit in FILE.
"""

import base64
import http.server
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "e2e")]
import linux_desktop  # noqa: E402
import loopback  # noqa: E402

LIMIT = 20  # seconds


class Chromium:
    """A headless Chromium and one page of it, over the DevTools pipe (fds 3 and 4)."""

    def __init__(self, profile):
        to_browser, self._to = os.pipe()
        self._from, from_browser = os.pipe()

        def pipes():
            os.dup2(to_browser, 3)
            os.dup2(from_browser, 4)
        self._process = subprocess.Popen(
            [linux_desktop.CHROMIUM, "--headless=new", "--remote-debugging-pipe",
             "--host-resolver-rules=MAP evil.test 127.0.0.1", f"--user-data-dir={profile}",
             "--window-size=1280,800",
             "about:blank"],
            preexec_fn=pipes, close_fds=False, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        os.close(to_browser)
        os.close(from_browser)
        self._buffer, self._id, self._session = b"", 0, None
        pages = [t for t in self._call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        self._session = self._call("Target.attachToTarget",
                                   {"targetId": pages[0]["targetId"], "flatten": True})["sessionId"]

    def _call(self, method, params=None):
        self._id += 1
        message = {"id": self._id, "method": method, "params": params or {}}
        if self._session:
            message["sessionId"] = self._session
        os.write(self._to, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self._buffer:
                got = os.read(self._from, 65536)
                if not got:
                    raise EOFError("the browser has ended")
                self._buffer += got
            answer, self._buffer = self._buffer.split(b"\0", 1)
            answer = json.loads(answer)
            if answer.get("id") == self._id:
                return answer["result"]

    def go(self, url, arrives_at):
        """Opens url and waits, within the limit, until the page stands at arrives_at."""
        self._call("Page.navigate", {"url": url})
        deadline = time.monotonic() + LIMIT
        while self.run("location.href") != arrives_at and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.run("location.href")

    def run(self, script):
        result = self._call("Runtime.evaluate",
                            {"expression": script, "awaitPromise": True, "returnByValue": True})
        return result["result"].get("value")

    def until(self, script, wanted):
        """The script's value once it is wanted, or its last one when the limit has passed."""
        deadline = time.monotonic() + LIMIT
        while (value := self.run(script)) != wanted and time.monotonic() < deadline:
            time.sleep(0.05)
        return value

    def _mouse(self, kind, at, modifiers=0):
        self._call("Input.dispatchMouseEvent",
                   {"type": kind, "x": at[0], "y": at[1], "button": "left", "buttons": 1,
                    "clickCount": 1, "modifiers": modifiers})

    def centre(self, selector):
        """The middle of the element, scrolled into the window first."""
        return self.run("(e => { e.scrollIntoView({block: 'nearest'}); const r = "
                        "e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })"
                        f"(document.querySelector({json.dumps(selector)}))")

    def click(self, selector, modifiers=0):
        at = self.centre(selector)
        self._mouse("mousePressed", at, modifiers)
        self._mouse("mouseReleased", at, modifiers)

    def drag(self, selector, onto):
        start, end = self.centre(selector), self.centre(onto)
        self._mouse("mousePressed", start)
        for step in range(1, 6):
            self._mouse("mouseMoved", [a + (b - a) * step / 5 for a, b in zip(start, end)])
        self._mouse("mouseReleased", end)

    def shoot(self, path):
        self._call("Emulation.setDeviceMetricsOverride",
                   {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
        shot = self._call("Page.captureScreenshot", {"format": "png"})
        with open(path, "wb") as picture:
            picture.write(base64.b64decode(shot["data"]))

    def end(self):
        os.close(self._to)
        self._process.wait(LIMIT)
        os.close(self._from)


class AnotherSite(http.server.BaseHTTPRequestHandler):
    """An empty page of another origin, open in the teacher's browser."""

    def do_GET(self):  # noqa: N802 (the standard library's name)
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.end_headers()
        self.wfile.write(b"<!DOCTYPE html><title>elsewhere</title>")

    def log_message(self, *_):
        pass


class BrowserTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.home)
        self.browser = Chromium(os.path.join(self.home, "profile"))
        self.addCleanup(self.browser.end)

    def open_console(self, call_port):
        """The console started in the test's home, its page open in the browser."""
        console = loopback.Console(self.home, call_port)
        self.addCleanup(console.end)
        root = f"http://127.0.0.1:{console.port}/"
        self.assertEqual(self.browser.go("file://" + console.entry, root), root)
        return console, root

    def test_only_the_teachers_page_reaches_the_console(self):
        console, root = self.open_console(loopback.free_udp_port())
        browser = self.browser
        other = http.server.ThreadingHTTPServer(("127.0.0.1", 0), AnotherSite)
        threading.Thread(target=other.serve_forever, daemon=True).start()
        self.addCleanup(other.server_close)
        self.addCleanup(other.shutdown)
        self.assertEqual(browser.run("document.cookie"), "")
        room = "fetch('/api/room').then(r => r.status)"
        self.assertEqual(browser.run(room), 200)
        add = ("fetch('%s/api/room/pcs', {method: 'POST', mode: 'no-cors', credentials: "
               "'include', body: JSON.stringify({number: '01', host: 'pc01', port: 5001})})"
               ".then(r => r.type)")
        # A page of another port is the same site: the cookie goes, the Origin refuses.
        elsewhere = f"http://127.0.0.1:{other.server_port}/"
        self.assertEqual(browser.go(elsewhere, elsewhere), elsewhere)
        self.assertEqual(browser.run(add % root[:-1]), "opaque")
        # A foreign name pointed at 127.0.0.1 gets nothing, even with the secret.
        rebound = f"http://evil.test:{console.port}"
        self.assertEqual(browser.go(rebound + console.entry_path, rebound + console.entry_path),
                         rebound + console.entry_path)
        self.assertEqual(browser.run(room), 403)
        browser.go(root, root)
        pcs = "fetch('/api/room').then(r => r.json()).then(room => room.pcs.length)"
        self.assertEqual(browser.run(pcs), 0)
        self.assertEqual(browser.run(add % ""), "basic")
        self.assertEqual(browser.run(pcs), 1)

    def test_a_lesson_on_the_teachers_page(self):
        agents = {}  # stand-ins, each on the address that the roster gives its PC
        for number in ("01", "02", "03", "07"):
            agents[number] = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            agents[number].bind((f"127.0.0.{int(number)}", 0))
            agents[number].settimeout(LIMIT)
            self.addCleanup(agents[number].close)
        desks = {"01": "@1,1 窓側", "02": "@2,1 <b>x</b>", "03": "@3,1 ", "07": "=1+1"}
        folder = os.path.join(self.home, "config", "velostrander")
        os.makedirs(folder, 0o700)
        with open(os.path.join(folder, "room.txt"), "w", encoding="utf-8") as room:
            room.writelines(f"{n} {a.getsockname()[0]} {a.getsockname()[1]} {desks[n]}\n"
                            for n, a in agents.items())
        call_port = loopback.free_udp_port()
        console, _ = self.open_console(call_port)
        browser = self.browser
        numbers = "[...document.querySelectorAll('%s')].map(e => e.dataset.number).join()"
        self.assertEqual(browser.until(numbers % "#room .tile", "01,02,03,07"), "01,02,03,07")
        self.assertEqual(browser.run(numbers % "#tray .tile"), "07")
        name = "document.querySelector('#room .tile[data-number=\"02\"]').innerHTML"
        self.assertIn('<span class="name">&lt;b&gt;x&lt;/b&gt;</span>', browser.run(name))

        def tile(number):
            return f'#room .tile[data-number="{number}"]'

        def send_page(url):
            browser.run(f"document.getElementById('page-url').value = {json.dumps(url)}")
            browser.click("#send-page")

        def received(expected):
            for number, agent in agents.items():
                agent.settimeout(LIMIT if expected.get(number) else 0)
                with self.subTest(number=number):
                    try:
                        self.assertEqual(agent.recv(2000), expected.get(number))
                    except (BlockingIOError, TimeoutError):
                        self.assertNotIn(number, expected)

        browser.click(tile("01"))
        self.assertEqual(browser.run(  # its room kept: nothing moves under the teacher's pointer
            "[getComputedStyle(sound).visibility, sound.offsetHeight > 0]"), ["hidden", True])
        browser.click(tile("03"), modifiers=2)  # Ctrl
        self.assertEqual(browser.run(numbers % ".tile.picked"), "01,03")
        page = "http://127.0.0.1/教室/1.html"
        send_page(page)
        received({"01": page.encode(), "03": page.encode()})
        browser.click('button[data-command="FullScreen"]')
        received({"01": b"Command:FullScreen", "03": b"Command:FullScreen"})
        send_page("javascript:alert(1)")
        problem = "document.getElementById('problem').textContent.includes('スクリプト')"
        self.assertTrue(browser.until(problem, True))
        received({})
        log = "[...document.querySelectorAll('#log li .what')].map(e => e.textContent).join('|')"
        self.assertEqual(browser.until(log, f"表示: 全画面 → 01, 03|{page} → 01, 03"),
                         f"表示: 全画面 → 01, 03|{page} → 01, 03")
        self.assertEqual(browser.run("document.querySelector('#recent-pages option').value"), page)

        def call(number, sender):
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as caller:
                caller.bind((sender, 0))
                caller.sendto(f"{number}Call".encode(), ("127.0.0.1", call_port))

        lit = numbers % ".tile.called"
        call("07", "127.0.0.7")
        self.assertTrue(browser.until("document.title.startsWith('(1) ')", True))
        self.assertEqual(browser.run(lit), "07")
        call("01", "127.0.0.2")  # from 02's address
        forged = "document.querySelector('#calls li.forged[data-number=\"01\"]')?.textContent"
        self.assertRegex(browser.until(f"!!{forged}", True) and browser.run(forged),
                         r"127\.0\.0\.2:\d+ から \(部屋では 02 のアドレス\)")
        self.assertEqual(browser.run(lit), "07")
        self.assertTrue(browser.run("document.title.startsWith('(1) ')"))
        if os.environ.get("VELO_CONSOLE_SHOT"):
            browser.shoot(os.environ["VELO_CONSOLE_SHOT"])
        csv = browser.run("callsCsv()").split("\r\n")
        self.assertEqual(csv[0][0], "\ufeff")
        self.assertRegex(csv[1], r'^"[-0-9: ]+","07","\'=1\+1","はい","127\.0\.0\.7:\d+","07","1",""$')
        browser.click(f'#calls li[data-number="07"] button.done')
        self.assertEqual(browser.until("document.title", "Velostrander Console"),
                         "Velostrander Console")
        self.assertEqual(browser.run(lit), "")
        self.assertIsNone(browser.run("document.querySelector('#calls button.done')"))

        console.trade()  # a second page open on the console changes the room: this one follows
        self.assertEqual(console.ask("DELETE", "/api/room/pcs/03")[0], 200)
        self.assertEqual(browser.until(numbers % "#room .tile", "01,02,07"), "01,02,07")
        browser.drag(tile("02"), '.cell[data-column="2"][data-row="2"]')
        desk = "fetch('/api/room').then(r => r.json()).then(r => r.pcs[1].desk)"
        self.assertEqual(browser.until(desk, {"column": 2, "row": 2}), {"column": 2, "row": 2})
        console.end()
        gone = "document.getElementById('problem').textContent.startsWith('コンソールに届きません')"
        self.assertTrue(browser.until(gone, True), "a console gone shows in the browser's words")
        self.open_console(call_port)
        self.assertEqual(browser.run(desk), {"column": 2, "row": 2})

if __name__ == "__main__":
    loopback.PROGRAM = sys.argv.pop(1)
    if not linux_desktop.confine():
        print("skipped: needs root for a network of its own")
        sys.exit(77)
    unittest.main()
