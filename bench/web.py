"""The pages the benchmarks load, from an HTTP server on 127.0.0.1 in this process (so that
its work is not counted against the agent): a small one, and a slow one whose body ends only
SLOW_SECONDS after its first part."""

import http.server
import sys
import threading
import time

SLOW_SECONDS = 3.0
SMALL_TITLE = "velo-bench small"


def _page(title, body):
    return (f"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>{title}</title>"
            f"</head><body>{body}</body></html>").encode()


SMALL = _page(SMALL_TITLE, "<h1>small page</h1><p>" + "text " * 40 + "</p>")
SLOW_HEAD = (b"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>velo-bench slow"
             b"</title></head><body><h1>slow page</h1><p>first part</p>")
SLOW_TAIL = b"<p>last part</p></body></html>"


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A browser may hang up before it has read an answer it no longer wants.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


class PageServer:
    """Serves /small... and /slow... (any query); remembers, per path, when its request came in
    and when its answer was complete (time.monotonic). Use as a context manager."""

    def __init__(self):
        self.started = {}
        self.finished = {}
        self._changed = threading.Condition()
        self._server = _Server(("127.0.0.1", 0), self._handler())
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

    def wait_started(self, path, timeout):
        return self._wait(self.started, path, timeout)

    def wait_finished(self, path, timeout):
        return self._wait(self.finished, path, timeout)

    def _wait(self, moments, path, timeout):
        """The moment `path` got there, or None after `timeout` seconds."""
        with self._changed:
            self._changed.wait_for(lambda: path in moments, timeout)
            return moments.get(path)

    def _note(self, moments, path):
        with self._changed:
            moments[path] = time.monotonic()
            self._changed.notify_all()

    def _handler(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                server._note(server.started, self.path)
                if self.path.startswith("/small"):
                    self._answer([SMALL])
                elif self.path.startswith("/slow"):
                    self._answer([SLOW_HEAD, SLOW_TAIL])
                else:
                    self.send_error(404)
                server._note(server.finished, self.path)

            def _answer(self, parts):
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(sum(map(len, parts))))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                for number, part in enumerate(parts):
                    if number:
                        time.sleep(SLOW_SECONDS)
                    self.wfile.write(part)
                    self.wfile.flush()

            def log_message(self, *args):
                pass

        return Handler
