"""A client that hands each URL to a fresh browser process: Chromium's wall time from start to
the page's DOM printed, per URL. Runs as the benchmarks' unprivileged user, with the sandbox on."""

import statistics
import subprocess
import tempfile
import time

CHROMIUM = "/usr/bin/chromium"
RUN_TIMEOUT = 30


def _load(url, profile):
    """Seconds from start to exit, or None when the page did not come back."""
    argv = [CHROMIUM, "--headless", "--disable-gpu",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--no-first-run", f"--user-data-dir={profile}", "--dump-dom", url]
    start = time.monotonic()
    try:
        done = subprocess.run(argv, capture_output=True, timeout=RUN_TIMEOUT, check=False)
    except subprocess.TimeoutExpired:
        return None
    elapsed = time.monotonic() - start
    return elapsed if done.returncode == 0 and b"small page" in done.stdout else None


def measure(server, pages=11, warm_up=1):
    """The profile outlives the runs, as a user's would: only the first run creates it."""
    with tempfile.TemporaryDirectory(prefix="velo-bench-chromium-") as profile:
        for number in range(warm_up):
            _load(server.url(f"/small-chromium-warm-up-{number}"), profile)
        times = [_load(server.url(f"/small-chromium-{number}"), profile)
                 for number in range(pages)]
    loaded = [seconds * 1000 for seconds in times if seconds is not None]
    return {
        "fresh.median_ms": statistics.median(loaded) if loaded else float("nan"),
        "fresh.max_ms": max(loaded, default=float("nan")),
        "fresh.failed": len(times) - len(loaded),
    }
