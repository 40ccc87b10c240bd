"""The benchmarks' figures as one Markdown table: a row per figure, with its target where it
has one."""

import math

NONE = "—"


def _us(value):
    return f"{value:,.1f} µs"


def _ms(value):
    return f"{value:,.1f} ms" if not math.isnan(value) else "n/a"


def _percent(value):
    return f"{value:.2f} %"


def _met(condition):
    return "yes" if condition else "**no**"


def _latency_rows(f):
    rows = []
    for stat in ("p50", "p99"):
        agent, bare = f[f"latency.agent.{stat}_us"], f[f"latency.bare.{stat}_us"]
        rows.append((f"1. Datagram → Browser::setFullScreen, agent, {stat}", _us(agent),
                     f"≤ 2 × bare = {_us(2 * bare)}", _met(agent <= 2 * bare)))
        rows.append((f"1. Datagram → recvfrom return, bare loop, {stat}", _us(bare), NONE, NONE))
    rows.append(("1. Samples each (lost)",
                 f"{f['latency.samples']:.0f} ({f['latency.lost']:.0f})", NONE, NONE))
    return rows


def _burst_rows(f):
    rows = []
    for count in (1000, 10000):
        name = f"burst{count}"
        lost = f[f"{name}.lost"]
        target = ("0 lost", _met(lost == 0)) if count == 1000 else (NONE, NONE)
        rows.append((f"2. Burst of {count:,}: handled / lost (kernel drops)",
                     f"{f[name + '.handled']:,.0f} / {lost:,.0f} ({f[name + '.kernel_drops']:.0f})",
                     *target))
        rows.append((f"2. Burst of {count:,}: handled per second (sent in)",
                     f"{f[name + '.per_second']:,.0f} /s ({f[name + '.send_ms']:.0f} ms)",
                     NONE, NONE))
    return rows


def _slow_page_rows(f):
    cpu, exact = f["slow.cpu_percent"], f["slow.cpu_percent_exact"]
    return [
        ("3. CPU while a 3 s page loads, agent + children (/proc stat ticks)", _percent(cpu),
         "< 2 % of a core", _met(cpu < 2)),
        ("3. Same, exact run time (schedstat)", _percent(exact), "< 2 % of a core",
         _met(exact < 2)),
        ("3. Of it: the wait after the first part is painted (0.5–3 s, schedstat)",
         _percent(f["slow.steady_cpu_percent_exact"]), NONE, NONE),
        ("3. CPU idle with the page shown (schedstat)", _percent(f["slow.idle_cpu_percent"]),
         NONE, NONE),
        ("3. User event wait during the load (X ping every 50 ms): p50 / p99 / max",
         " / ".join(_ms(f[f"slow.event_{stat}_ms"]) for stat in ("p50", "p99", "max"))
         + f" ({f['slow.events']:.0f} pings, {f['slow.event_unanswered']:.0f} unanswered)",
         NONE, NONE),
        ("3. Same ping while idle: p50", _ms(f["slow.idle_event_p50_ms"]), NONE, NONE),
    ]


def _page_rows(f):
    return [
        ("4. URL datagram → page loaded, running agent: median (max)",
         f"{_ms(f['page.agent_done.median_ms'])} ({_ms(f['page.agent_done.max_ms'])})",
         NONE, NONE),
        ("4. Fresh Chromium per URL, --dump-dom wall time: median (max)",
         f"{_ms(f['fresh.median_ms'])} ({_ms(f['fresh.max_ms'])})", NONE, NONE),
    ]


def markdown(figures):
    rows = (_latency_rows(figures) + _burst_rows(figures) + _slow_page_rows(figures)
            + _page_rows(figures))
    lines = ["| Figure | Value | Target | Met? |", "|---|---|---|---|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)
