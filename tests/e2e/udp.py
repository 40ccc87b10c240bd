"""The master console's side of the agent's channel: a port for the agent, and datagrams to it."""

import contextlib
import random
import socket
import struct
from pathlib import Path


def free_port():
    """A UDP port that nothing holds now, low enough for the settings file's signed 16-bit
    field (the system's own choice would be above it)."""
    for port in random.sample(range(20000, 32768), 100):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            if bind(probe, port):
                return port
    raise RuntimeError("no free UDP port")


def bind(sock, port):
    """Whether the UDP socket could be bound to the port on every address."""
    with contextlib.suppress(OSError):
        sock.bind(("0.0.0.0", port))
        return True
    return False


def send(port, text, code_page="utf-8", source="127.0.0.1"):
    """One datagram to the agent on this computer, in its desktop's code page, from `source`, one
    of the loopback addresses (127.0.0.2 is another computer to the agent)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        sender.bind((source, 0))
        sender.sendto(text.encode(code_page), ("127.0.0.1", port))


def checksum(data):
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


_raw = []


def open_raw():
    """The raw socket of forge_refusal, made at the first call in the network of that moment, and
    kept: made while still root (the Linux scenarios go on as nobody). None where not root."""
    if not _raw:
        try:
            _raw.append(socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP))
        except PermissionError:
            return None
    return _raw[0]


def forge_refusal(port, refused_port):
    """An ICMP "port unreachable" to the program on UDP `port`, quoting a datagram from it to
    127.0.0.1:`refused_port` that it may never have sent."""
    loopback = socket.inet_aton("127.0.0.1")
    inner = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 28, 0, 0, 64, socket.IPPROTO_UDP, 0, loopback,
                        loopback)
    icmp = struct.pack("!BBHI", 3, 3, 0, 0) + inner + struct.pack("!HHHH", port, refused_port, 8, 0)
    icmp = icmp[:2] + struct.pack("!H", checksum(icmp)) + icmp[4:]
    open_raw().sendto(icmp, ("127.0.0.1", 0))


def backlog(port):
    """The bytes that the kernel holds for the program on UDP `port`, not yet read."""
    for line in Path("/proc/net/udp").read_text().splitlines()[1:]:
        fields = line.split()
        if int(fields[1].split(":")[1], 16) == port:
            return int(fields[4].split(":")[1], 16)
    return 0
