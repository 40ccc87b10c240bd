#!/usr/bin/python3
"""A lesson, as a teacher gives one: the console and its page in a headless Chromium, a room of
four PCs, two of them real agents on one Linux desktop (each with its own settings, home and lock
folder, its browser Debian's Chromium) and two UDP listeners standing in for the rest. Root only
(exit 77 otherwise): everything runs as nobody, in a network of only loopback.

    lesson.py BIN-FOLDER
"""

import contextlib
import json
import os
import socket
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "e2e")]
import browser  # noqa: E402
import linux_desktop  # noqa: E402
import loopback  # noqa: E402
import scenarios as S  # noqa: E402
import udp  # noqa: E402
import web  # noqa: E402
from desktop import wait  # noqa: E402

AGENTS, LISTENERS = ("01", "02"), ("03", "04")
LESSON = {"/lesson.html": web.page("今日の授業", "<h1>今日の授業</h1>")}


def start_agent(d, number, call_port):
    """An agent of its own folder, home and runtime (lock) folder, that calls the console."""
    home = d.folder(f"pc{number}")
    os.mkdir(os.path.join(home, "runtime"), 0o700)
    lines = S.settings(port := udp.free_port(), "127.0.0.1", call_port)[:-1]
    with open(os.path.join(home, S.SETTINGS_FILE), "w", encoding="utf-8", newline="\r\n") as file:
        file.write("\n".join(lines + [f"MyCompNumxx={number}"]) + "\n")
    env = {"HOME": home, "XDG_RUNTIME_DIR": os.path.join(home, "runtime"),
           **{f"XDG_{kind.upper()}_HOME": os.path.join(home, kind) for kind in ("config", "cache")}}
    agent = d.start(S.AGENT, home, env)
    S.wait_label(d, agent, f"コンピュータ番号:{number}")
    agent.port = port
    return agent


def end_agents(d, agents):
    """Each ends with the session, and its browser with it."""
    for agent in agents:
        S.end_session(agent)
    wait(lambda: not d.browser_processes(), "the browsers to go with their agents")


def listener():
    stand_in = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    stand_in.bind(("127.0.0.1", udp.free_port()))
    stand_in.settimeout(S.STEP_TIMEOUT)
    return stand_in


def lesson(d, cleanup):
    call_port = udp.free_port()
    server = cleanup.enter_context(web.PageServer(LESSON))
    agents = {n: start_agent(d, n, call_port) for n in AGENTS}
    cleanup.callback(end_agents, d, agents.values())
    stand_ins = {n: cleanup.enter_context(listener()) for n in LISTENERS}
    ports = {**{n: a.port for n, a in agents.items()},
             **{n: s.getsockname()[1] for n, s in stand_ins.items()}}
    console = loopback.Console(d.folder("teacher"), call_port)
    cleanup.callback(console.end)
    console.trade()
    for column, (number, port) in enumerate(sorted(ports.items()), 1):
        pc = {"number": number, "host": "127.0.0.1", "port": port, "desk": {"column": column,
                                                                             "row": 1}}
        S.check(console.ask("POST", "/api/room/pcs", pc)[0] == 201, f"PC {number} not added")

    page = browser.Chromium(d.folder("teacher-browser"))
    cleanup.callback(page.end)
    root = f"http://127.0.0.1:{console.port}/"
    S.check(page.go("file://" + console.entry, root) == root, "the entry did not reach the page")
    S.check(page.until("document.querySelectorAll('#room .tile').length", 4) == 4,
            "the room's four tiles do not show")

    def heard(text):
        said = {n: s.recv(2048).decode() for n, s in stand_ins.items()}
        S.check(said == dict.fromkeys(LISTENERS, text), f"the stand-ins heard {said}")

    # A page to all: both agents' browsers ask for it and show it, the stand-ins get its address.
    page.click("#pick-all")
    url = server.url("/lesson.html")
    page.run(f"document.querySelector('#page-url').value = {json.dumps(url)}")
    page.click("#send-page")
    heard(url)
    windows = {n: S.browser(d, a, "今日の授業", showing=True) for n, a in agents.items()}
    asked = [r for r in server.requests if r.target == b"/lesson.html"]
    S.check(len(asked) == 2, f"{len(asked)} requests for the page")
    # Full screen: the agents' browsers cover the screen, the stand-ins get the command.
    page.click("button[data-command='FullScreen']")
    heard("Command:FullScreen")
    for window in windows.values():
        wait(lambda: d.client(window) == S.SCREEN, "the browser to cover the screen")

    # A student's call lights that PC's tile alone, genuine; "done" puts it out.
    state = ("[[...document.querySelectorAll('.tile.called')].map(e => e.dataset.number).join(), "
             "document.title.startsWith('(1) '), "
             "!!document.querySelector(\"#calls li[data-number='01']:not(.forged)\")]")
    S.check(page.run(state) == ["", False, False], "a call shows before any press")
    d.press(d.wait_window(S.PANEL_TITLE, agents["01"], showing=True), S.CALL)
    lit = page.until(state, ["01", True, True])
    S.check(lit == ["01", True, True], f"after PC 01's call: lit, title, listed {lit}")
    page.click("#calls li[data-number='01'] button.done")
    S.check(page.until(state, ["", False, True]) == ["", False, True], "done left the call lit")


def main():
    bin_folder = os.path.abspath(sys.argv[1])
    loopback.PROGRAM = os.path.join(bin_folder, "velostrander-console")
    if not linux_desktop.confine():
        print("skipped: needs root for a network of its own")
        sys.exit(77)
    with linux_desktop.LinuxDesktop(bin_folder) as d, contextlib.ExitStack() as cleanup:
        try:
            lesson(d, cleanup)
        except BaseException:
            d.report()
            raise
    print("lesson: passed")


if __name__ == "__main__":
    main()
