#!/usr/bin/python3
"""The teacher's console in a room of 30 PCs, each a UDP listener on 127.0.0.1, its page in a
headless Chromium; prints a Markdown table:

    console.py BIN-FOLDER [CALLS]      (build the linux preset first; CALLS 200 by default)

(a) a call: from the datagram sent to the PC's tile lit in the page, as a MutationObserver in the
page stamps it (performance.timeOrigin + now, on the same clock as this process's time.time(),
whose offset is measured over the DevTools pipe); (b) a page sent to all 30: from the click's
request (the page's fetch of /api/send) to the last datagram a listener receives; (c) the console
idle for IDLE_SECONDS with its page open (and long-polling): CPU time and memory.

As root it runs everything as nobody in a network of only loopback (the browser's sandbox on),
as the end-to-end tests do.
"""

import json
import os
import selectors
import socket
import statistics
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "tests", "console"),
                os.path.join(HERE, "..", "tests", "e2e")]
import browser  # noqa: E402
import linux_desktop  # noqa: E402
import loopback  # noqa: E402
import processes  # noqa: E402
import udp  # noqa: E402
from desktop import wait  # noqa: E402

PCS = 30
PAGE_ROUNDS = 50
IDLE_SECONDS = 60
# The server's worker keeps a finished connection open this long (httplib's keep-alive), waking
# every 10 ms for the next request: the measures' own traffic, not the idle console's.
SETTLE_SECONDS = 6
LIMIT = 20

# Stamps each tile that lights (by its number), and lets this process wait for the k-th stamp
# without polling the page.
OBSERVER = """
window.velo = {lit: [], waiters: [], sends: []};
let litNow = new Set();
new MutationObserver(() => {
  const now = performance.timeOrigin + performance.now();
  const lit = new Set([...document.querySelectorAll('#room .tile.called')]
                      .map(tile => tile.dataset.number));
  for (const number of lit) if (!litNow.has(number)) velo.lit.push([number, now]);
  litNow = lit;
  velo.waiters = velo.waiters.filter(([k, resolve]) => k < velo.lit.length
                                     ? (resolve(velo.lit[k]), false) : true);
}).observe(document.body, {subtree: true, childList: true, attributes: true,
                           attributeFilter: ['class']});
velo.next = k => k < velo.lit.length ? Promise.resolve(velo.lit[k])
                                     : new Promise(resolve => velo.waiters.push([k, resolve]));
const fetched = window.fetch;
window.fetch = function (resource, ...rest) {
  if (String(resource.url || resource).includes('/api/send'))
    velo.sends.push(performance.timeOrigin + performance.now());
  return fetched.call(this, resource, ...rest);
};
true
"""


class Room:
    """PCS listeners, each datagram kept with the time it came: (time, number, text)."""

    def __init__(self):
        self.sockets, self.heard, self._selector = {}, [], selectors.DefaultSelector()
        for number in range(1, PCS + 1):
            listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            listener.bind(("127.0.0.1", udp.free_port()))
            listener.setblocking(False)
            self.sockets[f"{number:02}"] = listener
            self._selector.register(listener, selectors.EVENT_READ, f"{number:02}")
        threading.Thread(target=self._listen, daemon=True).start()

    def _listen(self):
        while True:
            for key, _ in self._selector.select():
                data = key.fileobj.recv(4096)
                self.heard.append((time.time(), key.data, data.decode()))


def clock_offset(page):
    """The page's clock (ms) minus ours (s × 1000), from the quickest of 30 round trips."""
    best = None
    for _ in range(30):
        before = time.time()
        stamp = page.run("performance.timeOrigin + performance.now()")
        after = time.time()
        if best is None or after - before < best[0]:
            best = (after - before, stamp - (before + after) / 2 * 1000)
    return best[1]


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def calls(page, console, offset, count):
    """ms from each call's datagram to its tile lit in the page."""
    latencies = []
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as student:
        for k in range(count):
            number = f"{k % PCS + 1:02}"
            sent = time.time()
            student.sendto(f"{number}Call".encode(), ("127.0.0.1", console.call_port))
            lit_number, stamp = page.run(f"velo.next({k})")
            assert lit_number == number, f"{lit_number} lit for {number}'s call"
            latencies.append(stamp - offset - sent * 1000)
            page.run(f"document.querySelector(\"#calls li[data-number='{number}'] "
                     "button.done\").click()")
            wait(lambda: page.run("document.querySelectorAll('#room .tile.called').length") == 0,
                 "done to put the call out", timeout=LIMIT, interval=0.005)
    return latencies


def pages(page, room, offset):
    """ms from the click's request to the last of the PCS datagrams received, per round."""
    spans = []
    page.run("document.querySelector('#pick-all').click()")
    for round_ in range(PAGE_ROUNDS):
        url = f"http://127.0.0.1:9/lesson.html?round={round_}"
        heard = len(room.heard)
        page.run(f"(e => {{ e.value = {json.dumps(url)}; e.dispatchEvent(new Event('input')); }})"
                 "(document.querySelector('#page-url'))")
        page.run("document.querySelector('#send-page').click()")
        wait(lambda: len([h for h in room.heard[heard:] if h[2] == url]) == PCS,
             "every PC to hear the page", timeout=LIMIT)
        clicked = page.run("velo.sends.at(-1)")
        last = max(h[0] for h in room.heard[heard:] if h[2] == url)
        spans.append(last * 1000 - (clicked - offset))
    return spans


def memory(pid):
    """MB: (resident, of it anonymous, of it mapped files: the libraries' pages, which other
    programs of the desktop share)."""
    with open(f"/proc/{pid}/status", encoding="ascii") as status:
        fields = dict(line.split(":", 1) for line in status)
    return tuple(int(fields[key].split()[0]) / 1024 for key in ("VmRSS", "RssAnon", "RssFile"))


def idle(pid):
    time.sleep(SETTLE_SECONDS)
    before = processes.cpu_seconds([pid])[pid]
    time.sleep(IDLE_SECONDS)
    return processes.cpu_seconds([pid])[pid] - before, memory(pid)


def on_desktop(program):
    """The memory of the console as the menu starts it on an X desktop with a tray (the bench's
    own runs it on Qt's offscreen platform), once its icon is in the tray."""
    with linux_desktop.DesktopStack() as stack:
        env = dict(stack.env, HOME=stack.path("teacher"))
        os.mkdir(env["HOME"])
        console = stack.spawn([program, "--no-browser", "--port", "0", "--call-port",
                               str(udp.free_port())], env=env)
        wait(lambda: stack.tool("xdotool", "search", "--pid", console.pid, "--name", "."),
             "the console's tray icon", timeout=LIMIT)
        time.sleep(SETTLE_SECONDS)
        return memory(console.pid)


def main():
    loopback.PROGRAM = os.path.join(os.path.abspath(sys.argv[1]), "velostrander-console")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    load = os.getloadavg()[0]
    if not linux_desktop.confine():
        sys.exit("console.py: the browser's network namespace and user need root")
    with tempfile.TemporaryDirectory(prefix="velo-bench-console-") as home:
        room = Room()
        call_port = udp.free_port()
        console = loopback.Console(home, call_port)
        console.call_port = call_port
        page = None
        try:
            console.trade()
            for number, listener in room.sockets.items():
                column, row = (int(number) - 1) % 6 + 1, (int(number) - 1) // 6 + 1
                pc = {"number": number, "host": "127.0.0.1", "port": listener.getsockname()[1],
                      "desk": {"column": column, "row": row}}
                assert console.ask("POST", "/api/room/pcs", pc)[0] == 201, pc
            page = browser.Chromium(os.path.join(home, "profile"))
            root = f"http://127.0.0.1:{console.port}/"
            assert page.go("file://" + console.entry, root) == root
            wait(lambda: page.run("document.querySelectorAll('#room .tile').length") == PCS,
                 "the room's tiles", timeout=LIMIT)
            page.run(OBSERVER)
            offset = clock_offset(page)
            latencies = calls(page, console, offset, count)
            spans = pages(page, room, offset)
            cpu, offscreen = idle(console.process.pid)
        finally:
            if page:
                page.end()
            console.end()
    desktop = on_desktop(loopback.PROGRAM)
    print("| Figure | Value | Goal |\n|---|---|---|")
    print(f"| (a) call datagram → tile lit in the page, p50 / p99 ({count} calls) | "
          f"{statistics.median(latencies):.1f} / {percentile(latencies, 0.99):.1f} ms "
          f"(max {max(latencies):.1f}) | < 100 ms |")
    print(f"| (b) page to {PCS} PCs, click's request → last datagram received, p50 / p99 "
          f"({PAGE_ROUNDS} sends) | {statistics.median(spans):.1f} / "
          f"{percentile(spans, 0.99):.1f} ms | — |")
    print(f"| (c) console idle {IDLE_SECONDS} s with its page open: CPU | {cpu * 1000:.1f} ms "
          f"({100 * cpu / IDLE_SECONDS:.3f} % of a core) | none measurable |")
    for where, (rss, anonymous, files) in (("after it, offscreen", offscreen),
                                           ("on an X desktop with its tray icon", desktop)):
        print(f"| (c) console's RSS {where} (anonymous + files) | {rss:.1f} MB ({anonymous:.1f} "
              f"+ {files:.1f}) | < 30 MB |")
    print(f"\n{os.cpu_count()} CPUs, load average {load:.2f} at the start and "
          f"{os.getloadavg()[0]:.2f} at the end: the tail of (a) grows with the load.")


if __name__ == "__main__":
    main()
