"""A process and everything it started, read from /proc: CPU time from each thread's schedstat
(nanoseconds, exact, where ticks would charge whoever runs when the tick comes) and memory."""

import contextlib
import os


def _read(path):
    with contextlib.suppress(OSError):
        with open(path, encoding="ascii", errors="replace") as file:
            return file.read()
    return None


def _parent(pid):
    text = _read(f"/proc/{pid}/stat")
    # The command name may hold spaces and parentheses; the fields after it do not.
    return int(text.rsplit(")", 1)[1].split()[1]) if text else None


def tree(root):
    """`root` and all its descendants now."""
    parents = {int(entry): _parent(entry) for entry in os.listdir("/proc") if entry.isdigit()}
    found, wanted = [], [root]
    while wanted:
        pid = wanted.pop()
        found.append(pid)
        wanted.extend(child for child, parent in parents.items() if parent == pid)
    return found


def cpu_seconds(pids):
    """{pid: run time so far}; a process that has gone is left out."""
    times = {}
    for pid in pids:
        with contextlib.suppress(OSError):
            threads = os.listdir(f"/proc/{pid}/task")
            times[pid] = sum(int(text.split()[0]) for text in
                             (_read(f"/proc/{pid}/task/{tid}/schedstat") for tid in threads)
                             if text) / 1e9
    return times


def percent_of_core(before, after, seconds):
    """CPU used between two cpu_seconds(), as % of one core. A process that started in between
    counts from zero; one that ended in between is lost (its time went nowhere we can read)."""
    used = sum(now - before.get(pid, 0) for pid, now in after.items())
    return 100.0 * used / seconds


def _kilobytes(pid, file, key):
    """The figure, 0 for a process that has gone meanwhile, or None when we may not read it."""
    try:
        with open(f"/proc/{pid}/{file}", encoding="ascii") as values:
            return next((int(line.split()[1]) for line in values if line.startswith(key)), 0)
    except (FileNotFoundError, ProcessLookupError):  # the latter while it is ending
        return 0
    except PermissionError:
        return None


def rss_mb(pids):
    return sum(_kilobytes(pid, "status", "VmRSS:") for pid in pids) / 1024


def pss_mb(pids):
    """Shared pages counted once among all processes that map them; None when the system keeps
    a process's figure from us (one that is not dumpable)."""
    values = [_kilobytes(pid, "smaps_rollup", "Pss:") for pid in pids]
    return None if None in values else sum(values) / 1024
