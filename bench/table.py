"""The benchmarks' figures as one Markdown table: a row per figure, with its target where it
has one."""

import math

NONE = "—"


def _us(value):
    return f"{value:,.1f} µs"


def _ms(value):
    return f"{value:,.1f} ms"


def _mb(value):
    return f"{value:,.1f} MB" if not math.isnan(value) else "n/a"


def _percent(value):
    return f"{value:.2f} %"


def _met(condition):
    return "yes" if condition else "**no**"


def _latency_rows(f):
    bare = f["latency.bare.p50_us"]

    def row(name, what, target):
        p50 = f[f"latency.{name}.p50_us"]
        return (what, f"{_us(p50)} / {_us(f[f'latency.{name}.p99_us'])} ({p50 / bare:.2f} ×)",
                *((f"p50 ≤ 1.5 × bare = {_us(1.5 * bare)}", _met(p50 <= 1.5 * bare)) if target
                  else (NONE, NONE)))
    return [
        row("written", "1. Datagram → DevTools message written (Browser.setWindowBounds, the "
            "pipe's send done, the agent's own time in it), agent: p50 / p99", True),
        row("handed", "1. Of it, datagram → message handed to the pipe (send called): p50 / p99",
            False),
        row("returned", "1. Of it, datagram → the pipe's send returned, on the wall clock (the "
            "browser's turn that may come first included): p50 / p99", False),
        row("bare", "1. Datagram → recvfrom return, bare loop: p50 / p99", False),
        row("piped", "1. Datagram → the same message written by the bare loop to a pipe whose "
            "reader waits, as the browser's does (its time in the write): p50 / p99", False),
        row("polled", "1. Same, the loop waiting in poll() and then reading, as an event loop "
            "does: p50 / p99", False),
        ("1. Samples each (lost)", f"{f['latency.samples']:.0f} ({f['latency.lost']:.0f})",
         NONE, NONE),
    ]


def _page_rows(f):
    return [
        ("2. Local page opened, cold: the agent's first page, browser start included",
         _ms(f["page.cold_ms"]), NONE, NONE),
        ("2. Local page opened, warm: median (max)",
         f"{_ms(f['page.warm.median_ms'])} ({_ms(f['page.warm.max_ms'])})"
         f", {f['page.warm.samples']:.0f} pages ({f['page.lost']:.0f} lost)", NONE, NONE),
        ("2. Fresh headless Chromium per URL, --dump-dom wall time: median (max)",
         f"{_ms(f['fresh.median_ms'])} ({_ms(f['fresh.max_ms'])}), "
         f"{f['fresh.failed']:.0f} failed", NONE, NONE),
    ]


def _memory_rows(f):
    idle = f["memory.idle_rss_mb"]
    return [
        ("3. Idle agent, no browser started: RSS", _mb(idle), "≤ 40 MB", _met(idle <= 40)),
        (f"3. Agent and browser after a page ({f['memory.page_processes']:.0f} processes): "
         "PSS (RSS summed)",
         f"{_mb(f['memory.page_pss_mb'])} ({_mb(f['memory.page_rss_mb'])})", NONE, NONE),
        ("3. Of it, the agent alone: RSS", _mb(f["memory.page_agent_rss_mb"]), NONE, NONE),
    ]


def _cpu_rows(f):
    agent = f["slow.agent_cpu_percent"]
    return [
        ("4. CPU while a 3 s page loads, the agent's own wait", _percent(agent),
         "≤ 0.3 % of a core", _met(agent <= 0.3)),
        ("4. Same, agent and browser", _percent(f["slow.tree_cpu_percent"]), NONE, NONE),
    ]


def markdown(figures):
    rows = (_latency_rows(figures) + _page_rows(figures) + _memory_rows(figures)
            + _cpu_rows(figures))
    lines = ["| Figure | Value | Target | Met? |", "|---|---|---|---|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)
