#!/usr/bin/env python3
"""End-to-end scenarios of the agent's command channel and browser under Wine, one per run:

    channel_scenarios.py WORK BIN HELPER_BIN SCENARIO

The test plays the master console with a plain UDP socket, and serves the pages the browser
(Wine's own Internet Explorer) is told to open from a local HTTP server.
"""

import http.server
import random
import socket
import sys
import threading
import time
import urllib.parse
from pathlib import Path

from child_scenarios import (MAIN_TITLE, MESSAGE_TITLE, NORMAL_SETTINGS, Session, box_text,
                             wait_running)
from wine_desktop import wait_until

BROWSER_CLASS = "IEFrame"
BROWSER_START_TIMEOUT = 20
# Ports are 16-bit signed numbers in the settings file; Linux hands out higher ones itself.
PORT_RANGE = (20000, 32767)


class PageServer:
    """An HTTP server on the loopback address that answers every GET with a small page and
    keeps each request's target as the bytes that came over the wire."""

    def __init__(self):
        requests = self.requests = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 (the name http.server calls)
                # http.server decodes the request line as Latin-1: this undoes it exactly.
                requests.append((time.monotonic(), self.path.encode("latin-1")))
                body = b"<html><head><title>page</title></head><body>page</body></html>"
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *error):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()

    def url(self, target):
        return f"http://127.0.0.1:{self.server.server_address[1]}{target}"

    def wait_request(self, count):
        wait_until(lambda: len(self.requests) >= count, f"GET number {count}")
        return self.requests[count - 1]


class Master:
    """The master console's side of the channel: one datagram per text, in the agent's code
    page (Shift-JIS)."""

    def __init__(self, port):
        self.port = port
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)

    def __enter__(self):
        return self

    def __exit__(self, *error):
        self.socket.close()

    def send(self, text):
        self.socket.sendto(text.encode("cp932"), ("127.0.0.1", self.port))
        return time.monotonic()


def free_port():
    for port in random.sample(range(*PORT_RANGE), 50):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            try:
                probe.bind(("0.0.0.0", port))
            except OSError:
                continue
            return port
    raise RuntimeError("no free UDP port")


def settings_with_port(port):
    return [f"MyHostPortx={port}" if line.startswith("MyHostPortx=") else line
            for line in NORMAL_SETTINGS]


def browser_windows(session):
    return [w for w in session.windows() if w["class"] == BROWSER_CLASS]


def wait_browser(session, visible, what):
    return wait_until(lambda: next((w for w in browser_windows(session)
                                    if w["visible"] == visible), None),
                      f"the browser window {what}", timeout=BROWSER_START_TIMEOUT)


def live_browser_processes(session):
    """iexplore.exe processes of this prefix that have not ended (a zombie has)."""
    prefix = f"WINEPREFIX={session.desktop.prefix}".encode()
    found = []
    for proc in Path("/proc").iterdir():
        try:
            if (b"iexplore.exe" in (proc / "cmdline").read_bytes()
                    and prefix in (proc / "environ").read_bytes().split(b"\0")
                    and (proc / "stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"):
                found.append(int(proc.name))
        except OSError:
            continue
    return found


def start_running(session, port):
    """Starts an agent that listens on `port`; returns it, with its Windows process id as
    `pid`, once its browser exists."""
    if browser_windows(session):  # left over by an interrupted run
        session.desktop.restart_wineserver()
    session.write_settings(settings_with_port(port))
    agent = session.start()
    agent.pid = wait_running(session, agent)["pid"]
    wait_browser(session, False, "created, hidden")
    print(f"browser created {1000 * (time.monotonic() - agent.started):.0f} ms after start")
    return agent


def assert_target(request, path, query):
    """Compares the path and the query that came over the wire with the ones the URL had. IE
    may send non-ASCII characters as they are or percent-encoded, in UTF-8 or in the system's
    code page (Wine's sends Shift-JIS bytes as they are): each form is accepted, and reported."""
    print(f"the server saw the target {request[1]!r}")
    sent_path, _, sent_query = request[1].partition(b"?")
    for sent, wanted in ((sent_path, path), (sent_query, query)):
        forms = {wanted.encode("utf-8"), wanted.encode("cp932")}
        assert urllib.parse.unquote_to_bytes(sent) in forms, f"{sent!r} is not {wanted!r}"


def open_page(session, master, pages, target, count):
    """Sends a URL; returns once its GET has come and the browser shows."""
    sent = master.send(pages.url(target))
    request = pages.wait_request(count)
    print(f"GET {1000 * (request[0] - sent):.0f} ms after the datagram")
    wait_browser(session, True, "shown")
    return request


def end_all(session, agent):
    """The End button closes the browser window and ends the agent and the browser."""
    session.click(MAIN_TITLE, "End", agent.pid)
    assert agent.exit_code() == 0
    pressed = time.monotonic()
    wait_until(lambda: not browser_windows(session), "the browser window to go away")
    wait_until(lambda: not live_browser_processes(session), "iexplore.exe to end")
    print(f"browser ended {1000 * (time.monotonic() - pressed):.0f} ms after End")


# --- scenarios ----------------------------------------------------------------------------

def url_opens_page(session):
    port = free_port()
    with PageServer() as pages, Master(port) as master:
        agent = start_running(session, port)
        path, query = "/ページ/index.html", "q=日本語&x=1"
        request = open_page(session, master, pages, f"{path}?{query}", 1)
        assert_target(request, path, query)
        end_all(session, agent)


def visible_false_hides_browser(session):
    port = free_port()
    with PageServer() as pages, Master(port) as master:
        agent = start_running(session, port)
        open_page(session, master, pages, "/first", 1)
        master.send("Command:VisibleFalse")
        wait_browser(session, False, "hidden again")
        master.send("Command:VisibleTrue")
        wait_browser(session, True, "shown again")
        end_all(session, agent)


def full_screen_does_not_stop_urls(session):
    """Wine's browser has no full-screen display: the command is skipped, the next URL opens."""
    port = free_port()
    with PageServer() as pages, Master(port) as master:
        agent = start_running(session, port)
        master.send("Command:FullScreen")
        request = open_page(session, master, pages, "/after-full-screen", 1)
        assert request[1] == b"/after-full-screen", request
        end_all(session, agent)


def port_in_use(session):
    port = free_port()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
        holder.bind(("0.0.0.0", port))
        session.write_settings(settings_with_port(port))
        agent = session.start()
        box = session.wait_window(MESSAGE_TITLE)
        text = box_text(box)
        assert f"UDPポート {port} " in text and "ほかのプログラムが使用しています" in text, text
        session.click(MESSAGE_TITLE, "OK", box["pid"])
        agent.pid = wait_running(session, agent)["pid"]
        wait_browser(session, False, "created, hidden")
        end_all(session, agent)


SCENARIOS = {f.__name__: f for f in (url_opens_page, visible_false_hides_browser,
                                     full_screen_does_not_stop_urls, port_in_use)}

if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[4] not in SCENARIOS:
        sys.exit(f"usage: channel_scenarios.py WORK BIN HELPER_BIN {'|'.join(SCENARIOS)}")
    with Session(*sys.argv[1:]) as scenario_session:
        SCENARIOS[sys.argv[4]](scenario_session)
    print("passed")
