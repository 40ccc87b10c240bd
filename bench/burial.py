#!/usr/bin/python3
"""The burial's delay: PAIRS pairs of (a page whose server accepts and never answers,
about:blank) sent at once to the real agent, then the teacher's page; prints the seconds until
the browser asks for the teacher's page. Root only (it runs the agent and Chromium as nobody, in a
network namespace with only loopback, as the benchmarks do).

    burial.py AGENT [PAIRS]     (AGENT: build/linux/bin/Velostrander_Child; PAIRS: 4)
"""

import socket
import sys
import time

sys.dont_write_bytecode = True
import slow_page  # noqa: E402  (puts the end-to-end tests' folder on the path)
import udp  # noqa: E402
import web  # noqa: E402
from desktop import wait  # noqa: E402
from linux_desktop import DesktopStack, confine  # noqa: E402

PAGE_WAIT = 15  # the agent's bound on the wait for one page


def main(agent, pairs):
    if not confine():
        sys.exit("burial.py: the browser's network namespace and user need root")
    with web.PageServer(slow_page.PAGES) as server, DesktopStack() as stack, \
            socket.create_server(("127.0.0.1", 0)) as silent:
        process, port = slow_page.start_agent(stack, agent)
        try:
            wait(lambda: slow_page.udp_port_bound(port), "the agent's port", slow_page.STEP_TIMEOUT)
            slow_page.open_page(server, port, "/small-first")
            never = f"http://127.0.0.1:{silent.getsockname()[1]}/never"
            for number in range(pairs):
                udp.send(port, f"{never}/{number}")
                udp.send(port, "about:blank")
            sent = time.monotonic()
            udp.send(port, server.url("/small-teacher"))
            asked = server.wait_request("/small-teacher", PAGE_WAIT * (pairs + 1)).started
            print(f"{2 * pairs} datagrams of the burial: the teacher's page asked for "
                  f"{asked - sent:.2f} s after it was sent")
        finally:
            process.terminate()
            process.wait(slow_page.STEP_TIMEOUT)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 4)
