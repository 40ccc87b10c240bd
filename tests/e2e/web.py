"""The web server that the agent's browser meets in the tests, the benchmarks and the demo: an
HTTP server on 127.0.0.1 in this process, with a few pages, that keeps every request."""

import contextlib
import http.server
import threading
import time
from dataclasses import dataclass

from desktop import wait


def page(title, body):
    return (f'<!DOCTYPE html><html lang="ja"><head><meta charset="utf-8"><title>{title}'
            f"</title></head><body>{body}</body></html>").encode("utf-8")


@dataclass
class Request:
    # The request line's target as the bytes that came over the wire: browsers differ in how
    # they send a path or query that is not ASCII.
    target: bytes
    started: float
    finished: float = None


class PageServer:
    """Serves `pages`, {path: page}, each for every target that starts with its path (the
    longest such one); a page is bytes, or a tuple of parts sent `pause` seconds apart. Use as
    a context manager."""

    def __init__(self, pages, pause=0.0):
        self.pages, self.pause, self.requests = pages, pause, []
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _handler(self))
        self._server.daemon_threads = True
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

    def wait_request(self, target=None, timeout=20.0, finished=False):
        """The first request for `target` (str or bytes; None: any), once it has come in, or
        with `finished` once its answer has gone out."""
        wanted = target.encode() if isinstance(target, str) else target
        return wait(lambda: next((r for r in self.requests if wanted in (None, r.target)
                                  and (r.finished or not finished)), None),
                    f"a request for {target or 'a page'}", timeout)


def _handler(server):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):  # noqa: N802 (the name http.server calls)
            # http.server decodes the request line as Latin-1: this undoes it exactly.
            request = Request(self.path.encode("latin-1"), time.monotonic())
            server.requests.append(request)
            path = self.path.split("?")[0]
            matches = [key for key in server.pages if path.startswith(key)]
            if matches:
                self._answer(server.pages[max(matches, key=len)])
            else:
                self.send_error(404)
            request.finished = time.monotonic()

        def handle(self):
            # A browser may hang up before it has read an answer it no longer wants.
            with contextlib.suppress(ConnectionError):
                super().handle()

        def _answer(self, body):
            parts = body if isinstance(body, tuple) else (body,)
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(sum(map(len, parts))))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            for number, part in enumerate(parts):
                time.sleep(server.pause if number else 0)
                self.wfile.write(part)
                self.wfile.flush()

        def log_message(self, *args):
            pass

    return Handler
