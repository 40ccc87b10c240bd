"""What the agent's browser meets in a test: a local web server with a few pages, and the
master console's datagrams, sent from a plain UDP socket."""

import http.server
import random
import socket
import threading

from desktop_stack import wait_for


def page(title, body):
    return (f'<!DOCTYPE html><html lang="ja"><head><meta charset="utf-8"><title>{title}'
            f'</title></head><body><h1>{body}</h1></body></html>').encode("utf-8")


class PageServer:
    """An HTTP server on 127.0.0.1 that serves `pages` ({path: bytes}) and remembers which
    paths were asked for. Use as a context manager."""

    def __init__(self, pages):
        self.pages = pages
        self.requests = []
        self._lock = threading.Lock()
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), self._handler())
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()

    def url(self, path):
        return f"http://127.0.0.1:{self._server.server_address[1]}{path}"

    def requested(self, path):
        with self._lock:
            return path in self.requests

    def wait_requested(self, path, timeout):
        wait_for(lambda: self.requested(path), timeout, f"the browser to ask for {path}")

    def _handler(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                with server._lock:
                    server.requests.append(self.path)
                body = server.pages.get(self.path)
                if body is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        return Handler


def unused_udp_port():
    """A UDP port that nothing holds now, low enough for the settings file's signed 16-bit
    field (the system's own choice would be above it)."""
    for _ in range(100):
        port = random.randint(20000, 32767)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            try:
                probe.bind(("0.0.0.0", port))
            except OSError:
                continue
        return port
    raise RuntimeError("no unused UDP port")


def send_datagram(port, text):
    """One datagram to the agent on this computer, in its code page (UTF-8)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        sender.sendto(text.encode("utf-8"), ("127.0.0.1", port))
