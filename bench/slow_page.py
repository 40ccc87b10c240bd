"""The real agent program on a private desktop: its memory idle and with its browser after a
page, and the CPU it uses while its browser loads a page that takes SLOW_SECONDS."""

import os
import sys
import time

sys.dont_write_bytecode = True  # leaves the end-to-end tests' folder as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "e2e"))
import processes  # noqa: E402
import udp  # noqa: E402
import web  # noqa: E402
from desktop import wait  # noqa: E402

SLOW_SECONDS = 3.0
# A small page, and a slow one whose body ends only SLOW_SECONDS after its first part; any
# path that starts with theirs, with any query.
PAGES = {
    "/small": web.page("velo-bench small", "<h1>small page</h1><p>" + "text " * 40 + "</p>"),
    "/slow": (web.page("velo-bench slow", "<h1>slow page</h1><p>first part</p>")
              .removesuffix(b"</body></html>"), b"<p>last part</p></body></html>"),
}
# What the agent and its browser's processes do after a start or a page settles in this time.
SETTLE_SECONDS = 1.5
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


def open_page(server, port, path):
    udp.send(port, server.url(path))
    server.wait_request(path, STEP_TIMEOUT, finished=True)
    time.sleep(SETTLE_SECONDS)


def idle_memory(pid):
    if len(processes.tree(pid)) != 1:
        raise RuntimeError("the agent started a process before its first page")
    return {"memory.idle_rss_mb": processes.rss_mb([pid])}


def page_memory(pid):
    pids = processes.tree(pid)
    pss = processes.pss_mb(pids)
    return {"memory.page_rss_mb": processes.rss_mb(pids),
            "memory.page_pss_mb": float("nan") if pss is None else pss,
            "memory.page_agent_rss_mb": processes.rss_mb([pid]),
            "memory.page_processes": len(pids)}


def load_cpu(server, pid, port):
    """From the browser's request for the slow page until its last part is due."""
    udp.send(port, server.url("/slow"))
    started = server.wait_request("/slow", STEP_TIMEOUT).started
    before, since = processes.cpu_seconds(processes.tree(pid)), time.monotonic()
    time.sleep(max(0.0, started + SLOW_SECONDS - since))
    after = processes.cpu_seconds(processes.tree(pid))
    seconds = time.monotonic() - since
    return {"slow.agent_cpu_percent": processes.percent_of_core(
                {pid: before[pid]}, {pid: after[pid]}, seconds),
            "slow.tree_cpu_percent": processes.percent_of_core(before, after, seconds)}


def measure(stack, server, agent):
    """{figure name: value}; the agent and its browser have ended when it returns, so that the
    browser's profile is free for the next."""
    process, port = start_agent(stack, agent)
    try:
        wait(lambda: udp_port_bound(port), "the agent to bind its port", STEP_TIMEOUT)
        time.sleep(SETTLE_SECONDS)
        figures = idle_memory(process.pid)
        open_page(server, port, "/small-warm-up")
        figures.update(page_memory(process.pid))
        figures.update(load_cpu(server, process.pid, port))
        browser = processes.tree(process.pid)[1:]
        process.terminate()
        process.wait(STEP_TIMEOUT)
        wait(lambda: not processes.cpu_seconds(browser), "the agent's browser to end")
        return figures
    except Exception:
        with open(stack.path("agent.stderr"), encoding="utf-8", errors="replace") as log:
            sys.stderr.write("the agent said:\n" + log.read())
        raise
