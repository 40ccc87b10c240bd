"""The master console's side of the agent's channel: a port for the agent, and datagrams to it."""

import random
import socket
from pathlib import Path


def free_port():
    """A UDP port that nothing holds now, low enough for the settings file's signed 16-bit
    field (the system's own choice would be above it)."""
    for port in random.sample(range(20000, 32768), 100):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            try:
                probe.bind(("0.0.0.0", port))
            except OSError:
                continue
        return port
    raise RuntimeError("no free UDP port")


def send(port, text, code_page="utf-8"):
    """One datagram to the agent on this computer, in its desktop's code page."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        sender.sendto(text.encode(code_page), ("127.0.0.1", port))


def backlog(port):
    """The bytes that the kernel holds for the program on UDP `port`, not yet read."""
    for line in Path("/proc/net/udp").read_text().splitlines()[1:]:
        fields = line.split()
        if int(fields[1].split(":")[1], 16) == port:
            return int(fields[4].split(":")[1], 16)
    return 0
