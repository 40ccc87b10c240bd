#!/usr/bin/env python3
"""The console in a real browser: Debian's Chromium, headless, driven over its DevTools pipe, in a
network of only loopback, as nobody. The entry file trades the secret for a cookie that the page
then carries, though no script can read it; another page of the same browser cannot change
anything, nor can a foreign name pointed at 127.0.0.1. Root only (exit 77 otherwise).

    browser.py PROGRAM

Its Chromium drives the teacher's page in the lesson and in the screenshots too.
"""

import base64
import http.server
import json
import os
import shutil
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


if __name__ == "__main__":
    loopback.PROGRAM = sys.argv.pop(1)
    if not linux_desktop.confine():
        print("skipped: needs root for a network of its own")
        sys.exit(77)
    unittest.main()
