"""How long the agent's UI thread takes to handle an event from outside: the window
manager's _NET_WM_PING, which Qt answers from its event loop, sent to one of its windows."""

import select
import time

from Xlib import X, display, protocol


class Pinger:
    def __init__(self, display_name, window_id):
        self._display = display.Display(display_name)
        root = self._display.screen().root
        # Qt sends its answer to the root window, for whoever listens to its structure.
        root.change_attributes(event_mask=X.StructureNotifyMask)
        self._protocols = self._display.intern_atom("WM_PROTOCOLS")
        self._ping = self._display.intern_atom("_NET_WM_PING")
        self._window_id = window_id
        self._window = self._display.create_resource_object("window", window_id)
        self._serial = 0

    def close(self):
        self._display.close()

    def ping(self, timeout=2.0):
        """Seconds until the answer came, or None after `timeout`."""
        self._serial += 1
        event = protocol.event.ClientMessage(
            window=self._window, client_type=self._protocols,
            data=(32, [self._ping, self._serial, self._window_id, 0, 0]))
        sent = time.monotonic()
        self._window.send_event(event, event_mask=0)
        self._display.flush()
        return self._await(self._serial, sent, sent + timeout)

    def _await(self, serial, sent, deadline):
        while True:
            while self._display.pending_events():
                if self._is_answer(self._display.next_event(), serial):
                    return time.monotonic() - sent
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self._display], [], [], left)

    def _is_answer(self, event, serial):
        if event.type != X.ClientMessage or event.client_type != self._protocols:
            return False
        values = event.data[1]
        return values[0] == self._ping and values[1] == serial
