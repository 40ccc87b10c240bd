"""CPU time of a process and everything it started, two ways: utime + stime from
/proc/<pid>/stat (whole ticks, charged to whoever runs when the tick comes), and each thread's
run time from /proc/<pid>/task/<tid>/schedstat (nanoseconds, exact)."""

import os

TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")


def _read(path):
    try:
        with open(path, encoding="ascii", errors="replace") as file:
            return file.read()
    except OSError:
        return None


def _stat(pid):
    """(parent pid, utime + stime in ticks), or None for a process that is gone."""
    text = _read(f"/proc/{pid}/stat")
    if text is None:
        return None
    # The command name may hold spaces and parentheses; the fields after it do not.
    fields = text.rsplit(")", 1)[1].split()
    return int(fields[1]), int(fields[11]) + int(fields[12])


def _run_seconds(pid):
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task") if os.path.isdir(f"/proc/{pid}/task") else []:
        text = _read(f"/proc/{pid}/task/{tid}/schedstat")
        if text:
            total += int(text.split()[0])
    return total / 1e9


def _tree(root):
    """`root` and all its descendants now, as {pid: ticks}."""
    stats = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            stat = _stat(int(entry))
            if stat:
                stats[int(entry)] = stat
    wanted, found = [root], {}
    while wanted:
        pid = wanted.pop()
        if pid in stats and pid not in found:
            found[pid] = stats[pid][1]
            wanted.extend(child for child, (parent, _) in stats.items() if parent == pid)
    return found


def snapshot(root):
    """{pid: (seconds by ticks, seconds by schedstat)} for the tree of `root`."""
    return {pid: (ticks / TICKS_PER_SECOND, _run_seconds(pid))
            for pid, ticks in _tree(root).items()}


def percent_of_core(before, after, seconds, way):
    """CPU used between two snapshots, as % of one core; `way` 0 for ticks, 1 for schedstat.
    A process that started in between counts from zero; one that ended in between is lost
    (its time went nowhere we can read)."""
    used = sum(now[way] - before.get(pid, (0, 0))[way] for pid, now in after.items())
    return 100.0 * used / seconds
