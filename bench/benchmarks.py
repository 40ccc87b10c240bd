#!/usr/bin/python3
"""Runs the agent's benchmarks and prints one Markdown table of their figures.

    benchmarks.py BIN-FOLDER     (bench/run builds it first: build/linux/bin)
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

BENCH_TIMEOUT = 120


@contextlib.contextmanager
def private_folders():
    """An environment whose runtime, cache and settings folders are fresh and go again."""
    with tempfile.TemporaryDirectory(prefix="velo-bench-") as scratch:
        env = dict(os.environ)
        for name in ("XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"):
            folder = os.path.join(scratch, name.lower())
            os.mkdir(folder, 0o700)
            env[name] = folder
        yield env


def run_bench(binary, *arguments):
    """{figure: value} that velo_bench printed; its own messages go to our stderr on failure."""
    with private_folders() as env:
        env["QT_QPA_PLATFORM"] = "offscreen"
        done = subprocess.run([binary, *arguments], env=env, capture_output=True, text=True,
                              timeout=BENCH_TIMEOUT, check=False)
    if done.returncode != 0:
        sys.stderr.write(done.stderr)
        raise RuntimeError(f"{binary} {' '.join(arguments)} failed ({done.returncode})")
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
    with open("/proc/sys/net/core/rmem_max", encoding="ascii") as rmem:
        rmem_max = rmem.read().strip()
    chromium = subprocess.run([fresh_browser.CHROMIUM, "--version"], capture_output=True,
                              text=True, timeout=30, check=False).stdout.strip()
    return (f"Machine: {os.cpu_count()} CPUs (nproc), {model}, Linux {platform.release()}, "
            f"load average {os.getloadavg()[0]:.2f} at start; net.core.rmem_max {rmem_max}; "
            f"{chromium}.")


def main(bin_folder):
    note = machine()
    figures = run_bench(os.path.join(bin_folder, "velo_bench"), "channel")
    with web.PageServer(slow_page.PAGES) as server:
        figures.update(run_bench(os.path.join(bin_folder, "velo_bench"), "pages",
                                 server.url("/small-agent?n=")))
        figures.update(fresh_browser.measure(server))
    with set_aside_output():
        figures.update(slow_page.measure(os.path.join(bin_folder, "Velostrander_Child")))
    print(table.markdown(figures))
    print()
    print(note)


if __name__ == "__main__":
    main(sys.argv[1])
