"""Debian's Chromium, headless, driven over its DevTools pipe: the teacher's browser in the
console's lesson, its benchmark and the screenshots. Started as the caller runs (the tests run as
nobody, in a network of only loopback), with evil.test mapped to 127.0.0.1 for a page that a
foreign name would reach.
"""

import base64
import json
import os
import subprocess
import time

import linux_desktop

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
             "--window-size=1280,800", "about:blank"],
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
        return self.until("location.href", arrives_at)

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
