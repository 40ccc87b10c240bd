#!/usr/bin/python3
"""Runs the agent's benchmarks and prints one Markdown table of their figures.

    benchmarks.py BIN-FOLDER     (bench/run builds it first: build/linux/bin)

As root: everything runs in a network namespace with only loopback and as nobody, the way the
end-to-end tests run the browser, so that no page or name lookup leaves the machine and the
browser's sandbox stays on.
"""

import contextlib
import os
import platform
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
import fresh_browser  # noqa: E402
import slow_page  # noqa: E402
import table  # noqa: E402
import web  # noqa: E402  (slow_page put the end-to-end tests' folder on the path)
from linux_desktop import DesktopStack, confine  # noqa: E402

BENCH_TIMEOUT = 180


def run_bench(stack, binary, url_prefix):
    """{figure: value} that velo_bench printed; its own messages go to our stderr on failure."""
    done = subprocess.run([binary, url_prefix], env=stack.env, capture_output=True, text=True,
                          timeout=BENCH_TIMEOUT, check=False)
    if done.returncode != 0:
        sys.stderr.write(done.stderr)
        raise RuntimeError(f"{binary} failed ({done.returncode})")
    return {name: float(value) for name, value in
            (line.split() for line in done.stdout.splitlines() if line.strip())}


@contextlib.contextmanager
def set_aside_output():
    """The private desktop's daemons write to our stdout and stderr: kept aside, and shown
    on stderr on failure."""
    sys.stdout.flush()
    saved = os.dup(1), os.dup(2)
    with tempfile.TemporaryFile() as log:
        os.dup2(log.fileno(), 1)
        os.dup2(log.fileno(), 2)
        try:
            yield
        except BaseException:
            os.dup2(saved[1], 2)
            log.seek(0)
            sys.stderr.write(log.read().decode(errors="replace"))
            raise
        finally:
            for fd, copy in zip((1, 2), saved):
                os.dup2(copy, fd)
                os.close(copy)


def machine():
    with open("/proc/cpuinfo", encoding="utf-8") as cpuinfo:
        model = next((line.split(":", 1)[1].strip() for line in cpuinfo
                      if line.startswith("model name")), "unknown")
    chromium = subprocess.run([fresh_browser.CHROMIUM, "--version"], capture_output=True,
                              text=True, timeout=30, check=False).stdout.strip()
    return (f"Machine: {os.cpu_count()} CPUs (nproc), {model}, Linux {platform.release()}, "
            f"load average {os.getloadavg()[0]:.2f} at start; {chromium}, as nobody with its "
            "sandbox, on Xvfb with openbox.")


# The agent's program first: its browser makes the profile that velo_bench's agent then finds,
# as a student's browser finds the one of the day before.
def main(bin_folder):
    if not confine():
        sys.exit("benchmarks.py: the browser's network namespace and user need root")
    note = machine()
    with web.PageServer(slow_page.PAGES, slow_page.SLOW_SECONDS) as server, \
            set_aside_output(), DesktopStack() as stack:
        figures = slow_page.measure(stack, server, os.path.join(bin_folder, "Velostrander_Child"))
        figures.update(run_bench(stack, os.path.join(bin_folder, "velo_bench"),
                                 server.url("/small-agent?n=")))
        figures.update(fresh_browser.measure(server))
    print(table.markdown(figures))
    print()
    print(note)


if __name__ == "__main__":
    main(sys.argv[1])
