#!/usr/bin/python3
"""A lesson, as a teacher gives one: the console and its page in a headless Chromium, a room of
four PCs, two of them real agents on one Linux desktop (each with its own settings, home and lock
folder, its browser Debian's Chromium) and two UDP listeners on 127.0.0.3 and 127.0.0.7 standing
in for the rest; then what the browser lets other pages do. Root only (exit 77 otherwise):
everything runs as nobody, in a network of only loopback.

    lesson.py BIN-FOLDER
"""

import contextlib
import json
import os
import re
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

AGENTS, STAND_INS = ("01", "02"), ("03", "07")
# The desk and name after each PC's address in the room file: markup to be shown as text, a name
# that a spreadsheet would take for a formula, and a PC with no desk yet.
DESKS = {"01": "@1,1 窓側", "02": "@2,1 <b>x</b>", "03": "@3,1 ", "07": "=1+1"}
LESSON = {"/lesson.html": web.page("今日の授業", "<h1>今日の授業</h1>")}
NUMBERS = "[...document.querySelectorAll('%s')].map(e => e.dataset.number).join()"


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


def stand_in(number):
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind((f"127.0.0.{int(number)}", 0))
    return listener


def call(number, sender, call_port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as caller:
        caller.bind((sender, 0))
        caller.sendto(f"{number}Call".encode(), ("127.0.0.1", call_port))


def lesson(d, cleanup):
    call_port = udp.free_port()
    server = cleanup.enter_context(web.PageServer(LESSON))
    agents = {n: start_agent(d, n, call_port) for n in AGENTS}
    cleanup.callback(end_agents, d, agents.values())
    stand_ins = {n: cleanup.enter_context(stand_in(n)) for n in STAND_INS}
    teacher = d.folder("teacher")
    os.makedirs(folder := os.path.join(teacher, "config", "velostrander"), 0o700)
    addresses = {**{n: ("127.0.0.1", a.port) for n, a in agents.items()},
                 **{n: s.getsockname() for n, s in stand_ins.items()}}
    with open(os.path.join(folder, "room.txt"), "w", encoding="utf-8") as room:
        room.writelines(f"{n} {host} {port} {DESKS[n]}\n"
                        for n, (host, port) in sorted(addresses.items()))
    page = browser.Chromium(d.folder("teacher-browser"))
    cleanup.callback(page.end)
    console = loopback.Console(teacher, call_port)
    cleanup.callback(console.end)
    root = f"http://127.0.0.1:{console.port}"
    S.check(page.go("file://" + console.entry, root + "/") == root + "/", "the entry led nowhere")
    S.check(page.until(NUMBERS % "#room .tile", "01,02,03,07") == "01,02,03,07",
            "the room's four tiles do not show")
    S.check(page.run(NUMBERS % "#tray .tile") == "07", "07 has a desk")
    name = "document.querySelector('#room .tile[data-number=\"02\"]').innerHTML"
    S.check('<span class="name">&lt;b&gt;x&lt;/b&gt;</span>' in page.run(name), "markup ran")

    def heard(expected):
        for number, listener in stand_ins.items():
            listener.settimeout(S.STEP_TIMEOUT if number in expected else 0)
            try:
                said = listener.recv(2048).decode()
            except (BlockingIOError, TimeoutError):
                said = None
            S.check(said == expected.get(number), f"{number} heard {said!r}")

    def send_page(url):
        page.run(f"document.querySelector('#page-url').value = {json.dumps(url)}")
        page.click("#send-page")

    # A page to all: both agents' browsers ask for it and show it, the stand-ins get its address.
    page.click("#pick-all")
    S.check(page.run(  # its room kept: nothing moves under the teacher's pointer
        "[getComputedStyle(sound).visibility, sound.offsetHeight > 0]") == ["hidden", True],
        "the sound's note left its room")
    send_page(url := server.url("/lesson.html"))
    heard(dict.fromkeys(STAND_INS, url))
    windows = {n: S.browser(d, a, "今日の授業", showing=True) for n, a in agents.items()}
    asked = [r for r in server.requests if r.target == b"/lesson.html"]
    S.check(len(asked) == 2, f"{len(asked)} requests for the page")
    # Full screen: the agents' browsers cover the screen, the stand-ins get the command.
    page.click("button[data-command='FullScreen']")
    heard(dict.fromkeys(STAND_INS, "Command:FullScreen"))
    for window in windows.values():
        wait(lambda: d.client(window) == S.SCREEN, "the browser to cover the screen")
    # Picked by a click and a Ctrl-click; a script's address goes to none of them.
    page.click('#room .tile[data-number="01"]')
    page.click('#room .tile[data-number="03"]', modifiers=2)
    S.check(page.run(NUMBERS % ".tile.picked") == "01,03", "not 01 and 03 picked")
    send_page("javascript:alert(1)")
    problem = "document.getElementById('problem').textContent.includes('スクリプト')"
    S.check(page.until(problem, True), "a script's address was not refused")
    heard({})
    log = "[...document.querySelectorAll('#log li .what')].map(e => e.textContent).join('|')"
    sent = f"表示: 全画面 → 01, 02, 03, 07|{url} → 01, 02, 03, 07"
    S.check(page.until(log, sent) == sent, "the log of what was sent")
    S.check(page.run("document.querySelector('#recent-pages option').value") == url,
            "the page is not among the recent ones")

    # A student's call lights that PC's tile, genuine; a call from 03's address in 01's name is
    # forged and lights nothing; "done" puts a call out.
    lit = NUMBERS % ".tile.called"
    d.press(d.wait_window(S.PANEL_TITLE, agents["01"], showing=True), S.CALL)
    S.check(page.until("document.title.startsWith('(1) ')", True), "no call in the title")
    call("07", "127.0.0.7", call_port)
    S.check(page.until(lit, "01,07") == "01,07", "the calls do not light 01 and 07")
    call("01", "127.0.0.3", call_port)
    forged = "document.querySelector('#calls li.forged[data-number=\"01\"]')?.textContent"
    S.check(page.until(f"!!{forged}", True) and re.search(
        r"127\.0\.0\.3:\d+ から \(部屋では 03 のアドレス\)", page.run(forged)), "no forged call")
    S.check(page.run(lit) == "01,07" and page.run("document.title.startsWith('(2) ')"),
            "the forged call lit a tile")
    csv = page.run("callsCsv()").split("\r\n")
    S.check(csv[0][0] == "\ufeff" and re.fullmatch(
        r'"[-0-9: ]+","07","\'=1\+1","はい","127\.0\.0\.7:\d+","07","1",""', csv[2]),
        f"the calls' CSV reads {csv}")
    for number in ("01", "07"):
        page.click(f'#calls li[data-number="{number}"]:not(.forged) button.done')
    S.check(page.until("document.title", "Velostrander Console") == "Velostrander Console",
            "the title still counts calls")
    S.check(page.run(lit) == "", "done left a call lit")

    # A second page open on the console changes the room: this one follows. A tile is dragged to
    # a desk.
    console.trade()
    S.check(console.ask("DELETE", "/api/room/pcs/03")[0] == 200, "03 not removed")
    S.check(page.until(NUMBERS % "#room .tile", "01,02,07") == "01,02,07", "the room is old")
    page.drag('#room .tile[data-number="02"]', '.cell[data-column="2"][data-row="2"]')
    desk = "fetch('/api/room').then(r => r.json()).then(r => r.pcs[1].desk)"
    S.check(page.until(desk, {"column": 2, "row": 2}) == {"column": 2, "row": 2}, "not moved")

    # Only the teacher's page gets in. No script reads its cookie; a page of another port (the
    # lesson's, the same site) sends it, but its Origin is refused; a foreign name pointed at
    # 127.0.0.1 gets nothing, even with the secret.
    status = "fetch('/api/room').then(r => r.status)"
    count = "fetch('/api/room').then(r => r.json()).then(room => room.pcs.length)"
    add = ("fetch('%s/api/room/pcs', {method: 'POST', mode: 'no-cors', credentials: 'include', "
           "body: JSON.stringify({number: '09', host: 'pc09', port: 5001})}).then(r => r.type)")
    S.check(page.run("document.cookie") == "" and page.run(count) == 3, "the cookie shows")
    S.check(page.go(url, url) == url and page.run(add % root) == "opaque", "not a cross-site add")
    rebound = f"http://evil.test:{console.port}{console.entry_path}"
    S.check(page.go(rebound, rebound) == rebound and page.run(status) == 403, "rebound gets in")
    page.go(root + "/", root + "/")
    S.check([page.run(count), page.run(add % ""), page.run(count)] == [3, "basic", 4],
            "another port's page added a PC, or this page cannot")
    # A console that has ended is said in the page's words.
    console.end()
    gone = "document.getElementById('problem').textContent.startsWith('コンソールに届きません')"
    S.check(page.until(gone, True), "a console gone shows in the browser's words")

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
