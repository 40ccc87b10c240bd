"""The real agent program on a private desktop, waiting for a page that takes SLOW_SECONDS:
the CPU it uses meanwhile, and how long an event from outside waits for its UI thread."""

import os
import sys
import time

sys.dont_write_bytecode = True  # leaves the end-to-end tests' folder as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "e2e"))
import process_cpu  # noqa: E402
import udp  # noqa: E402
import web  # noqa: E402
from desktop import wait  # noqa: E402
from linux_desktop import DesktopStack  # noqa: E402
from x_ping import Pinger  # noqa: E402

SLOW_SECONDS = 3.0
SMALL_TITLE = "velo-bench small"
# A small page, and a slow one whose body ends only SLOW_SECONDS after its first part; any
# path that starts with theirs, with any query.
PAGES = {
    "/small": web.page(SMALL_TITLE, "<h1>small page</h1><p>" + "text " * 40 + "</p>"),
    "/slow": (web.page("velo-bench slow", "<h1>slow page</h1><p>first part</p>")
              .removesuffix(b"</body></html>"), b"<p>last part</p></body></html>"),
}

PING_INTERVAL = 0.05
# The agent's browser processes start with its first page, and settle a little after it.
SETTLE_SECONDS = 1.5
IDLE_SECONDS = 2.0
# The browser lays out and paints the page's first part in about this time; after it, it only
# waits for the rest.
FIRST_PART_SECONDS = 0.5
STEP_TIMEOUT = 20


def start_agent(stack, agent):
    port = udp.free_port()
    folder = stack.path("work")
    os.mkdir(folder)
    with open(os.path.join(folder, "Velostrander_Child.ini"), "wb") as settings:
        settings.write(f"[Velostrander]\r\nMasterPortx={udp.free_port()}\r\nMyHostPortx="
                       f"{port}\r\nMasterCompx=127.0.0.1\r\nMyCompNumxx=07\r\n".encode())
    with open(stack.path("agent.stderr"), "wb") as stderr:
        process = stack.spawn([agent], cwd=folder, stderr=stderr)
    return process, port


def udp_port_bound(port):
    """Whether some process holds this UDP port (a datagram sent before would be lost)."""
    with open("/proc/net/udp", encoding="ascii") as table:
        return any(line.split()[1].endswith(f":{port:04X}") for line in list(table)[1:])


def browser_window(stack):
    """The agent's browser window, found by the title of the page it shows: on the bench's own
    desktop, no other window has it."""
    def search():
        found = stack.tool("xdotool", "search", "--all", "--name", f"^{SMALL_TITLE}$").split()
        return int(found[0]) if found else None
    return wait(search, "the agent's browser window", STEP_TIMEOUT)


def warm_up(stack, server, process, port):
    wait(lambda: udp_port_bound(port), "the agent to bind its port", STEP_TIMEOUT)
    udp.send(port, server.url("/small-warm-up"))
    server.wait_request("/small-warm-up", STEP_TIMEOUT, finished=True)
    window = browser_window(stack)
    time.sleep(SETTLE_SECONDS)
    return window


def sample(pid, moments, pinger=None):
    """Takes a CPU snapshot at each of `moments` (time.monotonic) and, given a pinger, pings
    every PING_INTERVAL until the last; ([(moment, snapshot)], the answers' delays)."""
    delays, snapshots, pending = [], [], list(moments)
    while pending:
        now = time.monotonic()
        if now >= pending[0]:
            snapshots.append((now, process_cpu.snapshot(pid)))
            pending.pop(0)
            continue
        due = min(now + PING_INTERVAL, pending[0]) if pinger else pending[0]
        if pinger:
            delays.append(pinger.ping())
        time.sleep(max(0.0, due - time.monotonic()))
    return snapshots, delays


def cpu_percent(snapshots, first, last, way):
    (start, before), (end, after) = snapshots[first], snapshots[last]
    return process_cpu.percent_of_core(before, after, end - start, way)


def request_slow_page(server, port, path):
    """The moment the agent's browser asked for it."""
    udp.send(port, server.url(path))
    return server.wait_request(path, STEP_TIMEOUT).started


def await_page(server, path):
    server.wait_request(path, STEP_TIMEOUT, finished=True)
    time.sleep(SETTLE_SECONDS)


def idle_cpu(pid):
    now = time.monotonic()
    snapshots, _ = sample(pid, [now, now + IDLE_SECONDS])
    return {"slow.idle_cpu_percent": cpu_percent(snapshots, 0, 1, 1)}


# Nothing else disturbs the agent: the pings of the next load would cost it CPU too.
def load_cpu(server, pid, port):
    started = request_slow_page(server, port, "/slow-cpu")
    snapshots, _ = sample(
        pid, [started, started + FIRST_PART_SECONDS, started + SLOW_SECONDS])
    await_page(server, "/slow-cpu")
    return {
        "slow.cpu_percent": cpu_percent(snapshots, 0, 2, 0),
        "slow.cpu_percent_exact": cpu_percent(snapshots, 0, 2, 1),
        "slow.steady_cpu_percent_exact": cpu_percent(snapshots, 1, 2, 1),
    }


def idle_events(pinger, pid):
    now = time.monotonic()
    _, delays = sample(pid, [now + IDLE_SECONDS], pinger)
    return {"slow.idle_event_p50_ms": percentile(milliseconds(delays), 50)}


def load_events(server, pid, port, pinger):
    started = request_slow_page(server, port, "/slow-events")
    _, delays = sample(pid, [started + SLOW_SECONDS], pinger)
    answered = milliseconds(delays)
    return {
        "slow.event_p50_ms": percentile(answered, 50),
        "slow.event_p99_ms": percentile(answered, 99),
        "slow.event_max_ms": percentile(answered, 100),
        "slow.event_unanswered": len(delays) - len(answered),
        "slow.events": len(delays),
    }


def measure(agent):
    """{figure name: value}."""
    with web.PageServer(PAGES, SLOW_SECONDS) as server, DesktopStack() as stack:
        process, port = start_agent(stack, agent)
        try:
            return measure_agent(stack, server, process, port)
        except Exception:
            with open(stack.path("agent.stderr"), encoding="utf-8", errors="replace") as log:
                sys.stderr.write("the agent said:\n" + log.read())
            raise


def measure_agent(stack, server, process, port):
    window = warm_up(stack, server, process, port)
    figures = {**idle_cpu(process.pid), **load_cpu(server, process.pid, port)}
    pinger = Pinger(stack.env["DISPLAY"], window)
    try:
        return {**figures, **idle_events(pinger, process.pid),
                **load_events(server, process.pid, port, pinger)}
    finally:
        pinger.close()


def milliseconds(delays):
    return sorted(delay * 1000 for delay in delays if delay is not None)


def percentile(values, percent):
    """Nearest rank of sorted `values`; NaN for none."""
    if not values:
        return float("nan")
    rank = max(1, -(-len(values) * percent // 100))
    return values[int(rank) - 1]


if __name__ == "__main__":
    for name, value in measure(sys.argv[1]).items():
        print(name, value)
