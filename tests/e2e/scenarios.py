#!/usr/bin/python3
"""Velostrander_Child driven from outside, one scenario a run, on either desktop:

    scenarios.py linux --bin build/linux/bin SCENARIO
    scenarios.py windows --bin build/windows/bin --work WORK --helpers HELPER_BIN SCENARIO

On Linux each run has a desktop of its own; under Wine the scenarios take turns on the one
that the fixture set up in WORK (see windows_desktop.py), read through wintree.exe in HELPER_BIN.
"""

import argparse
import contextlib
import fcntl
import importlib
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.parse
from pathlib import Path

import udp
import web
from desktop import STEP_TIMEOUT, wait

AGENT = "Velostrander_Child"
SETTINGS_FILE = "Velostrander_Child.ini"
MAIN_TITLE = "Velostrander_Child"
MESSAGE_TITLE = "Velostrander_Childからのメッセージ"
WARNING_TITLE = "警告"
NUMBER = "コンピュータ番号:07"
PANEL_TITLE = "Form2"
CALL = "Master呼出し"
ABOUT_TITLE = "Velostrander_Childのﾊﾞｰｼﾞｮﾝ情報"
SYS_INFO = "ｼｽﾃﾑ情報(S)..."
MENU1 = "タスクトレイメニューの表示"
OPERATION_PANEL, ABOUT = 0, 1  # the tray menu's items
# Wine's Internet Explorer keeps its title whatever page it shows; Chromium takes the page's.
IE_TITLE = "Wine Internet Explorer"
SLOW_PAGE = web.page("遅いページ", "<p>遅い</p>" * 200)
PAGES = {  # the first page for any path without a page of its own
    "/": web.page("最初のページ", "<h1>一ページ目</h1><p id='part2'>二</p>"),
    "/second.html": web.page("二番目のページ", "<h1>二ページ目</h1>"),
    "/japanese.html": web.page("日本語のページ", "<h1>こんにちは、世界</h1>"),
    "/alert.html": web.page("警告のページ", "<script>alert('こんにちは')</script>"),
    # Half of it, and the rest after the server's pause: a page that is still loading.
    "/slow.html": (SLOW_PAGE[:1000], SLOW_PAGE[1000:]),
}
# Shorter than the agent's longest wait for a page, 15 s: a page that comes within it was not
# held up by a wait for the page before.
UNHELD = 10
SCREEN = (0, 0, 1280, 1024)
# Addresses that reach the browser's own machinery: each would end, crash or hang Chromium, or
# show its internals.
INTERNAL = ("chrome://kill", "chrome://crash", " CHROME://inducebrowsercrashforrealz", "chrome://hang",
            "view-source:http://127.0.0.1/", "about:version", "chrome-untrusted://crash",
            "devtools://devtools/bundled/inspector.html", "ed\tge://kill")
SCENARIOS = {}
# On Linux as root only, in namespaces of their own: those that start a browser, which gets a
# network of its own, and one that plants another user's folder in /tmp, which gets its own /tmp.
ISOLATED = {**dict.fromkeys(("browser_and_commands", "burial_and_flood", "call_panel_and_tray_menu"),
                            lambda linux: linux.confine()),
            "browser_unavailable": lambda linux: linux.confine(without_chromium=True),
            "single_instance_without_runtime_folder": lambda linux: linux.own_tmp()}


def scenario(function):
    """One of the scenarios; tests/e2e/CMakeLists.txt says on which desktops it runs."""
    SCENARIOS[function.__name__] = function
    return function


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def settings(port=None, master="マスターPC", master_port=5000):
    """Lines the agent reads without a word. Its port is one that nothing holds, so that agents
    of tests running side by side do not take it from each other."""
    return ["[Velostrander]", f"MasterPortx={master_port}",
            f"MyHostPortx={port or udp.free_port()}", f"MasterCompx={master}", "MyCompNumxx=07"]


def folder(d, lines=None, code_page=None):
    """A current directory for the agent, with a settings file of these lines (CR LF) in the
    desktop's code page, as an editor there writes it; a line given as bytes stands as it is."""
    path = d.folder("work")
    if lines is not None:
        Path(path, SETTINGS_FILE).write_bytes(b"".join(
            (line if isinstance(line, bytes) else line.encode(code_page or d.code_page)) + b"\r\n"
            for line in lines))
    return path


def wait_label(d, agent, text):
    """The agent's main window once its label reads `text`."""
    def ready():
        main = d.window(MAIN_TITLE, agent)
        return main if main and d.texts(main, "label") == [text] else None
    return wait(ready, f"the label to read {text!r}")


def start_running(d, path, program=AGENT, **start):
    """An agent started in `path` that has read its settings there."""
    wait_label(d, agent := d.start(program, path, **start), NUMBER)
    return agent


def check_box(d, agent, title, text=None, parts=()):
    """The program's message box of that title, once it shows; it reads `text`, or names each
    of `parts`."""
    # A box may have the title of a window of the program's.
    box = wait(lambda: next((b for b in d.boxes(agent) if b.title == title), None),
               f"a message box titled {title!r}")
    said = d.box_text(box)
    check(text in (None, said) and all(part in said for part in parts),
          f"box {title!r} reads {said!r}")
    check(d.texts(box, "button") == ["OK"], f"box {title!r} has the buttons {d.controls(box)}")
    return box


def dismiss(d, program, title, text=None, parts=()):
    """check_box's box closed by its OK; what it read."""
    said = d.box_text(box := check_box(d, program, title, text, parts))
    d.press(box, "OK")
    wait(lambda: not d.boxes(program), "the box to close")
    return said


def check_no_box(d, agent):
    check(not d.boxes(agent), f"unexpected message boxes {[b.title for b in d.boxes(agent)]}")


def check_exit(program, what):
    check(program.wait_exit() == 0, f"{what} gave exit code {program.process.returncode}")


def end_session(agent):
    check(agent.end_session() == 0, f"the session's end gave {agent.process.returncode}")


# --- start-up and the main window --------------------------------------------------------------

@scenario
def single_instance(d):
    """An agent runs hidden; one killed outright leaves nothing behind that stops the next. A port
    held by another program is reported, and the agent runs on without it; a second one in the
    same folder warns, ends and leaves the first running, whose call goes out all the same, and
    one to a broadcast address, which the system refuses (never sent), says so."""
    path = folder(d, settings(port := udp.free_port(), "255.255.255.255"))
    main = wait_label(d, agent := d.start(AGENT, path), NUMBER)
    check(not d.showing(main) and not d.boxes(agent), "the main window or a box shows")
    agent.kill()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
        wait(lambda: udp.bind(holder, port), "the killed agent's port to be free")
        first = d.start(AGENT, path)
        dismiss(d, first, MESSAGE_TITLE, parts=(f"UDPポート {port} ", "ほかのプログラムが使用しています"))
    check(not d.showing(wait_label(d, first, NUMBER)), "the main window shows")
    second = d.start(AGENT, path)
    box = check_box(d, second, WARNING_TITLE, "すでにこのプログラムは起動しています")
    # The refused agent's call panel came first, 1575 × 495 twips, 120 twips in from the work
    # area's bottom right corner.
    panel = d.window(PANEL_TITLE, second)
    check(panel and d.showing(panel), "no call panel before the warning")
    x, y, width, height = d.work_area()
    check(d.client(panel) == (x + width - 113, y + height - 41, 105, 33),
          f"the panel is at {d.client(panel)} in the work area {d.work_area()}")
    d.press(box, "OK")
    check_exit(second, "the second agent")
    wait_label(d, first, NUMBER)  # the first runs on
    d.press(d.window(PANEL_TITLE, first), CALL)
    dismiss(d, first, MESSAGE_TITLE, parts=("「255.255.255.255」への送信が許可されていない",))
    end_session(first)


@scenario
def single_instance_without_runtime_folder(d):
    """Linux: with no runtime folder, where another user made the folder of this user's name in
    /tmp first, a second agent still finds the first one, warns and ends."""
    taken = f"/tmp/velostrander-{os.getuid()}"
    os.mkdir(taken, 0o700)
    os.chown(taken, 65534, 65534)  # nobody
    path, env = folder(d, settings()), {"XDG_RUNTIME_DIR": ""}
    first = start_running(d, path, env=env)
    second = d.start(AGENT, path, env)
    dismiss(d, second, WARNING_TITLE, "すでにこのプログラムは起動しています")
    check_exit(second, "the second agent")
    wait_label(d, first, NUMBER)
    end_session(first)


@scenario
def half_started(d):
    """An agent half starts after a box that says why: its settings file cannot be opened (on
    Linux a folder of that name, on Windows a file that another program holds open), or it has
    lines that cannot be read, each named. Its window, shown once the box has gone, is 242 × 30
    pixels (15 twips make a pixel at 96 dpi) and closes by End only, not by the ways to close a
    window; under Wine its window menu's Close is greyed. The tray's menu is the menu bar, and its "操作パネル"
    takes the bar away, not the client area's size. With the focus on End, the one tab stop, the
    first key of each pair changes nothing, the second presses End."""
    malformed = settings()
    malformed[2:3] = ["MasterPor", "MyHostPortx=70000"]
    unreadable = (SETTINGS_FILE, "開けませんでした")
    for lines, said, harmless, pressing in (
            (settings(), unreadable, "escape", "return"),
            (malformed, (SETTINGS_FILE, "3行目", "4行目"), "tab", "space")):
        file = os.path.join(path := folder(d, lines), SETTINGS_FILE)
        held = d.held_open(file) if said == unreadable and d.name == "windows" else None
        if said == unreadable and not held:
            os.remove(file)
            os.mkdir(file)
        with held or contextlib.nullcontext():
            agent = d.start(AGENT, path)
            box = check_box(d, agent, MESSAGE_TITLE, parts=said)
            check(not d.showing(d.wait_window(MAIN_TITLE, agent)), "the window shows before the box")
            d.press(box, "OK")
        main = d.wait_window(MAIN_TITLE, agent, showing=True)
        # Its texts and controls' places, boxes, taskbar button, client area and resizability.
        seen = ({c.text or c.kind: (c.text, c.rect) for c in d.controls(main)}, d.boxes(agent),
                d.in_taskbar(main), d.client(main)[2:], d.resizable(main))
        check(seen == ({"label": ("", (40, 8, 121, 17)), "End": ("End", (176, 8, 57, 17))}, [],
                       False, (242, 30), False), f"the main window: {seen}")
        # Only Wine's window menu can be read; openbox draws its own.
        if said == unreadable and d.name == "windows":
            item = d.close_item(main)
            check(item.grayed and item.id != 0xF060, f"Close is not greyed: {item}")
        if said == unreadable:
            for how in d.close_ways:
                d.close(main, how)
                check(agent.running() and d.showing(main), f"{how} closed the main window")
            d.choose_menu(main, MENU1, "操作パネル")
            wait(lambda: not d.menu_bar(main), "the menu bar to go")
            check(d.client(main)[2:] == (242, 30), f"client area {d.client(main)} without the bar")
        d.key(main, harmless)
        check(agent.running() and d.showing(main), f"{harmless} closed the main window")
        d.key(main, pressing)
        check_exit(agent, pressing)


@scenario
def settings_code_page(d):
    """The file is read in the system's code page, on Linux the locale's character set. A byte
    that cannot be read stands as U+FFFD: one that UTF-8 has no use for; under Wine a Shift-JIS
    lead byte whose second byte cannot follow it, which Windows would read as another character
    and take the 7 with. A file as today's editors save it, UTF-8 behind a byte-order mark, is
    read as UTF-8 whatever the code page, the line behind the mark included."""
    bad = b"\xff7" if d.name == "linux" else b"\x817"
    japanese = ("euc_jp", d.japanese_locale("EUC-JP")) if d.name == "linux" else (None, None)
    number = "MyCompNumxx=０７"
    for lines, (code_page, env), shown in (
            (settings()[:-1] + [b"MyCompNumxx=" + bad], (None, None), "\ufffd7"),
            (settings()[:-1] + [number], japanese, "０７"),
            (["\ufeff" + number] + settings()[:-1], ("utf-8", japanese[1]), "０７")):
        agent = d.start(AGENT, folder(d, lines, code_page), env)
        wait_label(d, agent, "コンピュータ番号:" + shown)
        end_session(agent)


# --- the command channel and the browser --------------------------------------------------------

def browser(d, agent, page=None, showing=None):
    """The browser's window once it shows the page of that title (any page where not given, and
    always under Wine, whose browser keeps its own title), and shows or not, when asked."""
    if d.name == "windows":
        return d.wait_window(IE_TITLE, showing=showing)
    def ready():
        found = [w for w in d.browser_windows(agent) if page in (None, w.title)]
        return found[0] if len(found) == 1 and showing in (None, d.showing(found[0])) else None
    return wait(ready, f"the browser's window {page!r}")


def start_listening(d, *master, more=(), **start):
    """An agent that has started up on a free port, without a browser until one is needed; its
    master (name, port) as given, and the `more` lines of settings."""
    lines = settings(port := udp.free_port(), *master) + list(more)
    agent = start_running(d, folder(d, lines), **start)
    agent.port = port
    check(not d.browser_processes(), "a browser runs before it is needed")
    return agent


def send(d, agent, text):
    udp.send(agent.port, text, d.code_page)


def open_page(d, agent, server, path, title):
    """Sends the page's URL and returns the browser window once it shows the page."""
    send(d, agent, server.url(path))
    server.wait_request(path)
    return browser(d, agent, title, showing=True)


def end_with_browser(d, agent, how="End"):
    """The agent ended by its End, by the session's end or killed outright: its browser goes
    along."""
    {"End": lambda: d.press(d.window(MAIN_TITLE, agent), "End") or check_exit(agent, "End"),
     "session": lambda: end_session(agent), "kill": agent.kill}[how]()
    wait(lambda: not d.browser_processes(), f"the browser to go with the agent ({how})")


def send_until_asked(d, agent, server, path):
    """One that died young starts again only after a pause (devtools::Browsers): the page is sent
    again, as a teacher would, until it is asked for."""
    wait(lambda: any(r.target == path.encode() for r in server.requests) or
         send(d, agent, server.url(path)), f"{path} in a browser again", interval=0.5)


def check_commands(d, agent, window, screen, while_hidden=True):
    """The commands switch the browser's window to cover `screen` and back, and hide and show
    it; switched `while_hidden`, it shows so."""
    windowed = d.client(window)
    steps = [("FullScreen", screen), ("PartScreen", windowed), ("VisibleFalse", None),
             ("FullScreen", None), ("VisibleTrue", screen)]
    for command, at in steps if while_hidden else steps[:3] + [("VisibleTrue", windowed)]:
        send(d, agent, f"Command:{command}")
        wait(lambda: d.showing(window) == bool(at) and (not at or d.client(window) == at),
             f"the browser after {command} at {at or 'hidden'}")


def check_browser_comes_back(d, agent, server, gone, path):
    """After the browser window `gone` went away, the next URL opens in a browser again: on
    Linux a new one; Wine's only hides when closed, and shows again. Its window."""
    if d.name == "linux":
        wait(lambda: gone.pid not in d.browser_processes(), "the browser to end")
    else:
        wait(lambda: not [w for w in d.windows(gone.title) if d.showing(w)],
             "the browser window to go")
    send_until_asked(d, agent, server, path)
    window = browser(d, agent, "最初のページ", showing=True)
    check(d.name == "windows" or window.pid != gone.pid, "the old browser came back")
    return window


@scenario
def browser_and_commands(d):
    """The commands hide and show the browser and switch it to full screen and back, also while
    it is hidden; hidden, its window is unmapped. Wine's browser has no full screen: the agent
    skips the command there. A script URL would run in the student's page on anyone's word, an
    address of the browser's own machinery would end, crash or hang it: nothing comes of either.
    Only a fragment of the page shown, and an address without its host, are navigations that load
    nothing. None of these holds the next page up. The browser closed by the user, or killed while
    a page loads (every process of it), the next URL opens in a browser again (on Linux a new
    one).
    A browser may send characters that are not ASCII as they are or percent-encoded, in UTF-8 or
    in the system's code page: each form is accepted, and reported.
    On Linux the agent is started as nohup starts a program, and ignores the signals that only
    Linux has; an address as a person writes it opens as http, as Internet Explorer opens it,
    which Wine's browser does not; the window bears the Japanese page's title. Wine's browser has
    no HTML engine in the tests' prefix, nor runs a page's script, whose alert then stays up
    while the session ends (SIGTERM), and the browser with it: nothing of it is left."""
    hangup = (signal.SIGHUP, signal.SIGINT) if d.name == "linux" else ()
    with web.PageServer(PAGES, pause=STEP_TIMEOUT) as server:
        agent = start_listening(d, **({"ignored": hangup} if hangup else {}))
        for number in hangup:
            os.kill(agent.pid, number)
        # A URL whose path and query are not ASCII.
        path, query = "/ページ/index.html", "q=日本語&x=1"
        url = server.url(f"{path}?{query}")
        send(d, agent, url)
        target = server.wait_request().target
        print(f"the server saw the target {target!r}")
        for sent, wanted in zip(target.partition(b"?")[::2], (path, query)):
            forms = {wanted.encode("utf-8"), wanted.encode("cp932")}
            check(urllib.parse.unquote_to_bytes(sent) in forms, f"{sent!r} is not {wanted!r}")
        window = browser(d, agent, "最初のページ", showing=True)
        check_no_box(d, agent)
        if d.name == "windows":
            check(d.texts(window, "text") == [url], f"the address box reads {d.texts(window, 'text')}")
        windowed = d.client(window)
        check(windowed != SCREEN, f"the browser covers the screen from the start: {windowed}")
        check_commands(d, agent, window, SCREEN if d.name == "linux" else windowed)
        for text in (f"javascript:fetch('{server.url('/stolen')}')", " VBScript:MsgBox(1)",
                     *INTERNAL, url + "#part2", "http://", server.url("/second.html")):
            send(d, agent, text)
        server.wait_request("/second.html", timeout=UNHELD)
        check(not [r for r in server.requests if r.target.startswith(b"/stolen")],
              "the script ran in the page")
        second = browser(d, agent, "二番目のページ", showing=True)
        check(d.name == "windows" or second.pid == window.pid, "the browser was started again")
        window = second
        d.close(window, "alt+f4")
        window = check_browser_comes_back(d, agent, server, window, "/third.html")
        send(d, agent, server.url("/slow.html"))
        server.wait_request("/slow.html")
        d.kill_browser()
        check_browser_comes_back(d, agent, server, window, "/fourth.html")
        if hangup:
            send(d, agent, server.url("/japanese.html").removeprefix("http://"))
            browser(d, agent, "日本語のページ", showing=True)
            send(d, agent, server.url("/alert.html"))
            browser(d, agent, "警告のページ", showing=True)
        end_with_browser(d, agent, "session" if hangup else "End")

@scenario
def browser_unavailable(d):
    """Linux only: no Chromium installed (hidden by the driver). The agent says so once, when a
    browser is first needed, and runs on."""
    agent = start_listening(d)
    send(d, agent, "Command:VisibleTrue")
    dismiss(d, agent, MESSAGE_TITLE, parts=("ブラウザを起動できませんでした", "Chromium"))
    send(d, agent, "http://127.0.0.1:9/")
    send(d, agent, "Command:VisibleTrue")
    wait_label(d, agent, NUMBER)  # the agent has taken both
    check(agent.running() and not d.boxes(agent), "the agent ended, or said it again")
    check(not d.showing(d.window(MAIN_TITLE, agent)), "the main window shows")
    end_session(agent)


# --- the call panel, the tray icon and the About box ----------------------------------------------

# What a flood of junk may add to the Linux agent's memory: it keeps no datagram but the one
# page and the commands that wait (under 200 KiB), the kernel's buffer 4 MiB more.
FLOOD_GROWTH_MB = 32


def resident_mb(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(status.split("VmRSS:")[1].split()[0]) // 1024


@scenario
def burial_and_flood(d):
    """The latest page wins: 240 pairs of (a page whose server accepts and never answers,
    about:blank), 480 datagrams sent at once (4 pairs under Wine, whose receive buffer holds
    fewer), and then the teacher's page. It opens within one page wait (it took 15 s a pair when
    each page was waited for in turn). Wine's Internet Explorer never reports itself busy, so
    there the stand-in for Edge shows it.
    Then 100,000 datagrams of random sizes and bytes (10,000 under Wine): the agent runs on, a
    page sent once it has read what the kernel kept (what did not fit, the kernel dropped) opens
    within a minute of the last, and on Linux its memory grows by less than FLOOD_GROWTH_MB, and
    the agent killed outright leaves nothing of its browser running.
    Under Wine the stand-in for Edge (it answers as Debian's chromium answered, from a recording),
    registered where the agent looks for Edge, is started at the first page, not before, with the
    two ends of its pipe and no other handle of the agent's, and driven over it in order: its page
    found, attached to and its window learnt, then the page opened; the window full screen and
    back. The commands hide and show its window. Killed, a page starts a new one, without a word
    to the student."""
    linux = d.name == "linux"
    pairs, count, junk = 240 if linux else 4, 100_000 if linux else 10_000, random.Random(7)
    with web.PageServer(PAGES) as server, socket.create_server(("127.0.0.1", 0)) as silent, \
            (d.stand_in_browser() if not linux else contextlib.nullcontext()) as edge:
        agent = start_listening(d, **({"env": edge.env} if edge else {}))
        shows = (lambda title: d.wait_window(title, showing=True)) if edge else \
            (lambda title: browser(d, agent, title, showing=True))
        send(d, agent, server.url("/"))
        window = shows("最初のページ")
        if edge:
            from windows_desktop import DESKTOP  # pylint: disable=import-outside-toplevel
            inherited, handles = edge.lines()[:2]
            check(inherited.split()[1:] == handles.split()[1].split(","),
                  f"the browser got {inherited!r} for its pipe's {handles!r}")
            requests = [json.loads(line) for line in edge.lines() if line.startswith("{")]
            methods = [request["method"] for request in requests]
            navigate = next((r for r in requests if r["method"] == "Page.navigate"), {})
            check(methods[:4] == ["Target.setDiscoverTargets", "Target.attachToTarget",
                                  "Page.enable", "Browser.getWindowForTarget"] and
                  navigate.get("params") == {"url": server.url("/")}, f"the requests: {methods}")
            check_commands(d, agent, window, (0, 0, *DESKTOP), while_hidden=False)
        never = f"http://127.0.0.1:{silent.getsockname()[1]}/never"
        for number in range(pairs):
            send(d, agent, f"{never}/{number}")
            send(d, agent, "about:blank")
        sent = time.monotonic()
        send(d, agent, server.url("/second.html"))
        asked = server.wait_request("/second.html", timeout=UNHELD).started - sent
        shows("二番目のページ")
        print(f"after the burial's {2 * pairs} datagrams the teacher's page was asked for in "
              f"{asked:.2f} s")
        before = resident_mb(agent.pid) if linux else 0
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            for _ in range(count):
                sender.sendto(junk.randbytes(junk.randrange(1, 1025)), ("127.0.0.1", agent.port))
        flooded = time.monotonic()
        wait(lambda: udp.backlog(agent.port) == 0, "the agent to read the flood", timeout=60)
        read = time.monotonic() - flooded
        send(d, agent, server.url("/japanese.html"))
        server.wait_request("/japanese.html", timeout=60 - read)
        check(agent.running(), "the agent ended")
        print(f"{count} datagrams: the kernel's buffer read {read:.1f} s after the last, the next "
              f"page asked for {time.monotonic() - flooded:.1f} s after it")
        if linux:
            growth = resident_mb(agent.pid) - before
            print(f"the agent's memory: {before} MB before, {growth} MB more after")
            check(growth < FLOOD_GROWTH_MB, f"the agent grew by {growth} MB")
        if edge:
            check(not [line for line in edge.lines() if line.startswith("unrecorded")],
                  "the agent sent a request the recording lacks")
            d.kill_browser()
            send_until_asked(d, agent, server, "/third.html")
            d.wait_window("最初のページ", showing=True)
            check_no_box(d, agent)
            check(len([line for line in edge.lines() if line.startswith("handles")]) == 2,
                  "the page after the kill did not start a new browser")
        end_with_browser(d, agent, "kill")


def tray_choice(d, agent, item):
    main = d.window(MAIN_TITLE, agent)
    d.open_tray_menu(agent)
    d.choose_popup(main, item)
    return main


@scenario
def call_panel_and_tray_menu(d):
    """With MasterOnlyx=1 and the master at 127.0.0.1, a page from 127.0.0.2 is never opened and
    commands from 127.0.0.1 are obeyed. A forged ICMP refusal (root only) of a datagram the agent
    never sent shows no box and holds nothing back, nor one quoting another port just after a
    call. Alt+F4 leaves the panel, whose each press calls the master; the refusal of the call
    itself shows the box (not under Wine, whose sockets never report one). The tray menu shows the
    operation panel; a press on the panel's body puts it above that, and a left drag moves it.
    The tray menu shows the one About box, and brings it to the front when it is open. Its system
    information: without a viewer a box says so; with one, the viewer starts and the About box
    stays; Esc presses its cancel button, OK. End leaves the About box, whose OK then ends the
    agent."""
    raw = udp.open_raw()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as master, \
            web.PageServer(PAGES) as server:
        master.bind(("127.0.0.1", master_port := udp.free_port()))
        master.settimeout(STEP_TIMEOUT)
        agent = start_listening(d, "127.0.0.1", master_port, more=["MasterOnlyx=1"])
        send(d, agent, server.url("/"))
        window = browser(d, agent, "最初のページ", showing=True)

        def step(command, showing, forged):
            """A page from 127.0.0.2 and a forged refusal, then a command from 127.0.0.1."""
            udp.send(agent.port, server.url("/second.html"), source="127.0.0.2")
            if raw:
                udp.forge_refusal(agent.port, forged)
            send(d, agent, f"Command:{command}")
            wait(lambda: d.showing(window) == showing, f"the browser after {command}")
            check(not any(r.target == b"/second.html" for r in server.requests),
                  "a page from 127.0.0.2 was opened")
            check_no_box(d, agent)
        step("VisibleFalse", False, master_port)
        panel = d.wait_window(PANEL_TITLE, agent, showing=True)
        d.close(panel, "alt+f4")
        check(agent.running() and d.showing(panel), "Alt+F4 closed the call panel")
        calls = [d.press(panel, CALL) or master.recv(100).decode(d.code_page) for _ in range(5)]
        check(calls == ["07Call"] * 5, f"the master heard {calls}")
        master.close()
        # Its computer refuses the call now: a box says so, and the agent takes the commands
        # that came meanwhile once it is closed. Wine's sockets do not hear of the refusal, which
        # Windows' report: there the agent goes on without a word.
        d.press(panel, CALL)
        if d.name == "linux":
            box = check_box(d, agent, MESSAGE_TITLE, "Velostrander_Masterが見つかりません")
        send(d, agent, "Command:VisibleTrue")
        if d.name == "linux":
            d.press(box, "OK")
        browser(d, agent, showing=True)
        check_no_box(d, agent)
        step("VisibleFalse", False, master_port + 1)
    main = tray_choice(d, agent, OPERATION_PANEL)
    d.wait_window(MAIN_TITLE, agent, showing=True)
    check(d.texts(main, "label") == [NUMBER] and not d.menu_bar(main), "the operation panel")
    # Over a part of the panel, and a part left to press, clear of the screen's edges.
    d.move_window(panel, 300, 300)
    d.move_window(main, d.client(panel)[0] + 50, d.client(panel)[1])
    d.raise_window(main)
    wait(lambda: d.stacked_above(main, panel), "the main window over the panel")
    d.press_body(panel, 3)
    d.raise_window(main)
    wait(lambda: d.stacked_above(panel, main), "the panel to stay on top")
    x, y, _, _ = d.client(panel)
    d.press_body(panel, 1, moved_by=(60, 40))
    wait(lambda: d.client(panel)[:2] == (x + 60, y + 40), "the panel to follow the drag")
    tray_choice(d, agent, ABOUT)
    about = d.wait_window(ABOUT_TITLE, agent, showing=True)
    d.press(about, SYS_INFO)
    dismiss(d, agent, AGENT, "現時点ではｼｽﾃﾑ情報を使用できません")
    started = d.install_viewer()
    d.press(about, SYS_INFO)
    wait(started, "the viewer to start")
    check(d.showing(about), "the About box went")
    check_no_box(d, agent)
    d.key(about, "escape")
    wait(lambda: not d.windows(ABOUT_TITLE, agent), "Esc to close the About box")
    for _ in range(2):
        tray_choice(d, agent, ABOUT)
    about = d.wait_window(ABOUT_TITLE, agent, showing=True)
    labels = d.texts(about, "label")
    check("ﾊﾞｰｼﾞｮﾝ 1.1.0" in labels and NUMBER in labels, f"the About box reads {labels}")
    d.raise_window(main)
    wait(lambda: d.stacked_above(main, about), "the main window over the About box")
    tray_choice(d, agent, ABOUT)
    wait(lambda: d.stacked_above(about, main), "the About box to come to the front")
    d.press(main, "End")
    wait(lambda: not d.windows(MAIN_TITLE, agent) and not d.windows(PANEL_TITLE, agent)
         and not d.tray_icon(agent), "the windows and the tray icon to go")
    check(agent.running() and d.showing(about), "the About box went with the rest")
    d.press(about, "OK")
    check_exit(agent, "OK")
    wait(lambda: not d.browser_processes(), "the browser to go with the agent")


# --- the settings tool ---------------------------------------------------------------------------

TOOL = "Velostrander_Child_Tool"
TOOL_MESSAGE_TITLE = "Velostrander_Masterからのメッセージ"
TOOL_ABOUT_TITLE = "Velostrander_Child_Toolのﾊﾞｰｼﾞｮﾝ情報"
HELP_TITLE = "Velostrander_Child ヘルプ"


def start_tool(d, path, env=None):
    tool = d.start(TOOL, path, env)
    return tool, d.wait_window(TOOL, tool, showing=True)


def open_tool_about(d, tool, window):
    d.choose_menu(window, "ヘルプ", "About...")
    return d.wait_window(TOOL_ABOUT_TITLE, tool, showing=True)


def settings_bytes(path):
    return Path(path, SETTINGS_FILE).read_bytes()


@scenario
def tool_loads_and_saves(d):
    """The fields as the file has them, a Japanese host name in the system's code page among
    them, and then in UTF-8 as Notepad saves it; a number picked shows in the About box; the save
    rewrites the lines it owns, in the encoding the file was read in, and keeps the others byte
    for byte; "終了" ends everything at once, the About box too."""
    lines = ["[Velostrander]", "MasterPortx=0080", "MyHostPortx=5001", "MasterCompx=マスターPC ",
             "; 教室 1", "MyCompNumxx=07"]
    env, code_page = (d.japanese_locale("EUC-JP"), "euc_jp") if d.name == "linux" else ({}, None)
    for code_page in (code_page, "utf-8"):
        path = folder(d, lines, code_page)
        original = settings_bytes(path)
        tool, window = start_tool(d, path, env)
        check(d.texts(window, "text") == ["80", "マスターPC ", "5001"] and
              d.texts(window, "list") == ["07"], f"the tool shows {d.controls(window)}")
        d.pick(window, "12")
        about = open_tool_about(d, tool, window)
        labels = d.texts(about, "label")
        check("コンピュータ番号:12" in labels, f"the About box reads {labels}")
        d.type_text(window, 0, "8080")
        d.press(window, "設定")
        expected = original.replace(b"MasterPortx=0080", b"MasterPortx=8080").replace(
            b"MyCompNumxx=07", b"MyCompNumxx=12")
        wait(lambda: settings_bytes(path) == expected, f"the file in {code_page} to be saved")
        check_no_box(d, tool)
        d.press(window, "終了")
        check_exit(tool, "終了")


@scenario
def tool_without_settings_file(d):
    """The tool says the file is missing, at the start and at "設定", and writes none. The help
    twice: one viewer, with the project's help, written to be read as it stands."""
    path = folder(d)
    tool = d.start(TOOL, path)
    dismiss(d, tool, TOOL_MESSAGE_TITLE, "INIファイルがありません")
    window = d.wait_window(TOOL, tool, showing=True)
    check(d.texts(window, "list") == [""], "a number is picked")
    d.press(window, "設定")
    dismiss(d, tool, TOOL_MESSAGE_TITLE, " ファイルがありません")
    check(os.listdir(path) == [], f"the tool made {os.listdir(path)}")
    for _ in range(2):
        d.choose_menu(window, "ヘルプ", "ヘルプ")
        viewer = d.wait_window(HELP_TITLE, tool, showing=True)  # the one viewer
    text = wait(lambda: next((t for t in d.texts(viewer, "text") if "Velostrander ヘルプ" in t),
                             None), "the help's text")
    check(not re.search(r"^(#|- )", text, re.M), "the help shows Markdown's marks")
    end_session(tool)


@scenario
def tool_exits(d):
    """The menu's "終了" and the close button leave an About box on screen, whose OK then ends
    the tool ("終了" the button ends everything at once: see tool_loads_and_saves); a hidden
    About box keeps nothing alive."""
    path = folder(d, settings())
    leaves = {"menu": lambda window: d.choose_menu(window, "ﾌｧｲﾙ", "終了"),
              "close button": lambda window: d.close(window, "close button")}
    for leave, about_shown in (("menu", True), ("close button", True), ("menu", False)):
        tool, window = start_tool(d, path)
        about = open_tool_about(d, tool, window) if about_shown else None
        leaves[leave](window)
        if about:
            wait(lambda: not d.windows(TOOL, tool), "the main window to go")
            check(tool.running() and d.showing(about), f"{leave} took the About box along")
            d.press(about, "OK")
        check_exit(tool, leave)


def save_port(d, tool, path, port, presses=1):
    """The tool, started unless it runs, and its window, with the port typed; and the stop of the
    presses of "設定" that follow, not waited for: under Wine a press waits while the box it
    opens is up."""
    window = d.wait_window(TOOL, tool := tool or d.start(TOOL, path))
    d.type_text(window, 0, str(port))
    return tool, window, d.press_repeatedly(window, "設定", presses)


# Runs, and the range of the kill's moment after the first press: the saves come within it.
# VELO_KILLS asks for more: scripts/soak's.
KILLS = {"linux": (200, (0, 0.05)), "windows": (50, (0, 0.3))}


@scenario
def tool_save_survives_kill(d):
    """Killed outright while it saves, again and again: the settings file is whole every time, as
    it was or as saved."""
    runs, moments = KILLS[d.name]
    runs = int(os.environ.get("VELO_KILLS", runs))
    path = folder(d, settings())
    template = settings_bytes(path).replace(b"MasterPortx=5000", b"MasterPortx=@")
    whole = {template.replace(b"@", port) for port in (b"5000", b"20000", b"20001")}
    saved, started = 0, time.monotonic()
    for run in range(runs):
        port = str(20000 + run % 2)
        tool, _, stop = save_port(d, None, path, port, 30)
        # The kill's timing, not a wait for anything.
        time.sleep(random.uniform(*moments))
        tool.kill()
        stop()
        check(settings_bytes(path) in whole, f"run {run} left {settings_bytes(path)!r}")
        saved += settings_bytes(path) == template.replace(b"@", port.encode())
    seconds = time.monotonic() - started
    print(f"{runs} runs, {saved} killed after a save, the file whole after each; "
          f"{seconds / runs:.2f} s a run, {seconds:.0f} s in all")
    check(0 < saved < runs, f"{saved} of {runs} runs saved before the kill: not among the saves")


NOT_SAVED = ("設定を保存できませんでした。", f"設定ファイル「{SETTINGS_FILE}」は元のままです。")
NOT_OPENED = f"設定ファイル「{SETTINGS_FILE}」を開けませんでした。"


def said(d, tool, fault, parts):
    print(f"{fault}: the box read {dismiss(d, tool, TOOL_MESSAGE_TITLE, parts=parts)!r}")


@scenario
def tool_save_faults(d):
    """A save that cannot be made (a read-only folder, a full disk, a read-only file, which a
    rename on Linux would replace) says why and leaves the file as it was, without a temporary
    file beside it; once the fault has gone, the same save is made. The settings file is on a
    small file system of its own, mounted as root only. Under Wine also a file that another
    program holds open from the start: the load and "設定" each say so, and the tool, whose
    fields stayed empty, is ended unsaved."""
    if os.geteuid() != 0:
        print("mounting a file system needs root: skipped")
        sys.exit(77)
    path, held = d.folder("disk"), contextlib.ExitStack()
    file, filler = os.path.join(path, SETTINGS_FILE), os.path.join(path, "filler")

    def mount(options):
        subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path], check=True)
    # Name, cause, mend, the box's parts at the load (the tool then starts after the cause and
    # ends unsaved), and at the save. dd writes until the disk is full.
    faults = [("read-only folder", lambda: mount("remount,ro"), lambda: mount("remount,rw"), None,
               NOT_SAVED + ("「Temp.tmp」を作れません",)),
              ("full disk", lambda: subprocess.run(["dd", "if=/dev/zero", f"of={filler}"],
                                                   capture_output=True, check=False),
               lambda: os.remove(filler), None, NOT_SAVED + ("「Temp.tmp」に書き込めません",)),
              ("read-only file", lambda: os.chmod(file, 0o444), lambda: os.chmod(file, 0o644),
               None, NOT_SAVED + ("設定ファイルを新しい内容に置き換えられません",))]
    if d.name == "windows":
        faults.insert(0, ("held open", lambda: held.enter_context(d.held_open(file)), held.close,
                          (NOT_OPENED, "起動し直して"), (NOT_OPENED, "設定は保存していません。")))
    mount("size=1m")
    try:
        shutil.copy(os.path.join(folder(d, settings()), SETTINGS_FILE), path)
        tool = None
        for port, (fault, cause, mend, at_load, at_save) in enumerate(faults, 8080):
            before = settings_bytes(path)
            cause()
            if at_load:
                said(d, tool := d.start(TOOL, path), f"{fault}, at the load", at_load)
            tool, window, _ = save_port(d, tool, path, port)
            check(not at_load or d.texts(window, "text") == [str(port), "", ""], "fields filled")
            said(d, tool, fault, at_save)
            if at_load:
                tool = end_session(tool)  # None: the next save starts another
            check(settings_bytes(path) == before and "Temp.tmp" not in os.listdir(path),
                  f"{fault}: {os.listdir(path)} left, the file {settings_bytes(path)!r}")
            mend()
            tool, window, _ = save_port(d, tool, path, port)
            saved = re.sub(rb"MasterPortx=\d+", b"MasterPortx=%d" % port, before)
            wait(lambda: settings_bytes(path) == saved, f"the save with the {fault} mended")
        end_session(tool)
    finally:
        held.close()
        subprocess.run(["umount", "-l", path], check=True)


LINKED = NOT_SAVED + ("「Temp.tmp」の名前で、ほかのファイルへのリンクが置かれています。",)
HELD = ("設定を保存できませんでした。", "「Temp.tmp」を、ほかの設定ツールが保存に使っています。")


@scenario
def tool_save_steered(d):
    """A save neither writes through a hard link planted where its temporary file goes nor
    removes it, and says so; one that finds the temporary file held by another save gives way,
    says so and leaves that file as it is."""
    path = folder(d, settings())
    before, temporary = settings_bytes(path), os.path.join(path, "Temp.tmp")
    elsewhere = Path(d.folder("programs"), f"{AGENT}.exe")
    elsewhere.write_bytes(b"untouched")
    os.link(elsewhere, temporary)
    tool, window, _ = save_port(d, None, path, 8080)
    said(d, tool, "a hard link", LINKED)
    check(elsewhere.read_bytes() == b"untouched" and settings_bytes(path) == before and
          os.path.samefile(elsewhere, temporary), "the link was written through or removed")
    os.remove(temporary)
    # Held as another save holds it while it writes: on Linux under its lock, under Wine open and
    # shared with no one.
    Path(temporary).write_bytes(b"half")
    with d.held_open(temporary) if d.name == "windows" else open(temporary, "rb") as held:
        if held:
            fcntl.flock(held, fcntl.LOCK_EX)
        save_port(d, tool, path, 8080)
        said(d, tool, "another save", HELD)
    check(Path(temporary).read_bytes() == b"half" and settings_bytes(path) == before,
          "the held temporary file or the settings changed")
    end_session(tool)


# --- the installer ----------------------------------------------------------------------------

UNINSTALL_ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velostrander"

def shortcut(path):
    """(target, start folder) of a shell link (MS-SHLLINK): its LinkInfo's local base path, and
    the working directory among the counted UTF-16 strings that follow it."""
    data = path.read_bytes()

    def number(at, size=4):
        return int.from_bytes(data[at:at + size], "little")
    flags, at = number(20), 76
    at += 2 + number(at, 2) if flags & 1 else 0  # the item list
    target = data[at + number(at + 16):].split(b"\0")[0].decode("cp932")
    at += number(at)
    for bit in (4, 8, 16):  # the name, the relative path, the working directory
        if flags & bit:
            string, at = data[at + 2:at + 2 + 2 * number(at, 2)], at + 2 + 2 * number(at, 2)
    return target, string.decode("utf-16-le").rstrip("\0")


# What the installer leaves to administrators (and the system) and only lets Users read: the
# settings folder, whatever its owner and access were (earlier versions let Users change it), and
# the file in it; each call on the link itself, should one have taken the folder's place meanwhile.
DATA = r'"C:\ProgramData\Velostrander"'
ACL = [("icacls", f"{DATA} /setowner *S-1-5-32-544 /L"),
       ("icacls", f"{DATA} /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F "
                  "*S-1-5-32-545:(OI)(CI)RX /L"),
       ("icacls", rf'"C:\ProgramData\Velostrander\{SETTINGS_FILE}" /reset /L'),
       ("icacls", rf'"C:\ProgramData\Velostrander\{SETTINGS_FILE}" /setowner *S-1-5-32-544 /L')]
RULE = 'advfirewall firewall {} rule name="Velostrander_Child"'
CONSOLE_RULE = 'advfirewall firewall {} rule name="Velostrander Console"'
CONSOLE_URL = "http://127.0.0.1:{}/".format(re.search(
    r"kReservedPagePort = (\d+)",
    (Path(__file__).resolve().parents[2] / "console/Options.h").read_text()).group(1))


@scenario
def installer(d):
    """Wine only: the installer is a Windows program. A silent install writes the settings of its
    command line in the system's code page and makes shortcuts that start the programs in the
    settings folder, where the agent started so reads them. Another install keeps the file, UTF-8
    behind a byte-order mark too; one with a bad value fails and changes nothing. The uninstaller
    leaves only the settings. Through stand-ins for icacls and netsh, which Wine only pretends to
    run: each install leaves the settings to administrators; the firewall rule is added, narrowed
    as asked, only where there is none. A settings folder that is a link is refused before
    anything is installed or granted."""
    drive, port = d.prefix / "drive_c", udp.free_port()
    programs, data = drive / "Program Files/Velostrander", drive / "ProgramData/Velostrander"
    menu = drive / "ProgramData/Microsoft/Windows/Start Menu/Programs"
    startup = menu / "StartUp" / f"{AGENT}.lnk"
    links = {startup: AGENT, menu / "Velostrander" / f"{AGENT}.lnk": AGENT,
             menu / "Velostrander/Velostrander 設定ツール.lnk": TOOL}
    for path in (programs, data, menu / "Velostrander"):  # what a failed run left
        _ = path.unlink() if path.is_symlink() else shutil.rmtree(path, ignore_errors=True)

    with d.recording("icacls", "netsh") as run:
        def install(*options, master="マスターPC", fail=None):
            return run(os.environ["VELO_INSTALLER"], "/S", f"/MASTER={master}", f"/PORT={port}",
                       *options, fail=fail)
        done = install("/NUMBER=07", "/TEACHERIP=192.168.0.10", "/FIREWALLPROFILE=private,Public",
                       "/MASTERONLY=1", fail=RULE.format("show"))
        check(done == (0, ACL + [("netsh", RULE.format("show")), ("netsh", RULE.format("add") + (
            rf' dir=in action=allow protocol=UDP program="C:\Program Files\Velostrander\{AGENT}.exe"'
            " enable=yes profile=private,Public remoteip=192.168.0.10"))]), f"the install: {done}")
        check(d.run_program("reg", "query", UNINSTALL_ENTRY) == 0, "no uninstall entry")
        installed = sorted(os.listdir(programs))
        check(installed == ["Uninstall.exe", f"{AGENT}.exe", "Velostrander_Child.hlp",
                            f"{TOOL}.exe", "velostrander-ctl.exe"], f"installed {installed}")
        # Wine starts either without asking: the manifests say who asks for an administrator.
        levels = {program: re.findall(rb'level="(\w+)"', (programs / f"{program}.exe").read_bytes())
                  for program in (AGENT, TOOL)}
        check(levels == {AGENT: [b"asInvoker"], TOOL: [b"requireAdministrator"]}, f"{levels}")
        expected = settings_bytes(folder(d, settings(port) + ["MasterOnlyx=1"]))
        check(settings_bytes(data) == expected, f"the installer wrote {settings_bytes(data)!r}")
        for link, program in links.items():
            check(shortcut(link) == (rf"C:\Program Files\Velostrander\{program}.exe",
                                     r"C:\ProgramData\Velostrander"), f"{link} is {shortcut(link)}")
        target, start = shortcut(startup)
        end_session(start_running(d, drive / start[3:].replace("\\", "/"), target))
        # The installer never reads the file: one as an editor saves it, UTF-8 behind a mark,
        # stays. The rule is there now, as the admin may have narrowed it: it stays too.
        expected = b"\xef\xbb\xbf" + expected.decode(d.code_page).encode()
        (data / SETTINGS_FILE).write_bytes(expected)
        done = install("/NUMBER=12")
        check(done == (0, ACL + [("netsh", RULE.format("show"))]), f"the upgrade: {done}")
        # A line break would let a value add settings lines of its own.
        for options, master in ((["/NUMBER=31"], "教師"), (["/FIREWALLPROFILE=private,home"], "教師"),
                                (["/MASTERONLY=yes"], "教師"), ([], "教師\nMyHostPortx=1"),
                                ([], "教師\rMyHostPortx=1")):
            done = install(*options, "/OVERWRITE", master=master)
            check(done == (2, []) and settings_bytes(data) == expected, f"{options} {master!r}: {done}")
        check(d.run_program(r"C:\Program Files\Velostrander\Uninstall.exe", "/S") == 0, "uninstall")
        # The uninstaller goes on from a copy of itself, and takes its folder last.
        wait(lambda: not programs.exists() and not d.processes("~nsu"), "the uninstaller to end")
        check(not [link for link in links if link.exists()] and not (menu / "Velostrander").exists(),
              "shortcuts are left")
        check(d.run_program("reg", "query", UNINSTALL_ENTRY) != 0, "the uninstall entry is left")
        check(settings_bytes(data) == expected, "the uninstaller changed the settings file")
        # The teacher's PC: the console alone, with no autostart, its firewall rule (added where
        # there is none) and its address reserved for Users by their SID, both gone with it.
        done = install("/CONSOLEONLY", "/CALLPORT=05010", fail=CONSOLE_RULE.format("show"))
        console = r"C:\Program Files\Velostrander\velostrander-console.exe"
        check(done == (0, [("netsh", CONSOLE_RULE.format("show")), ("netsh", CONSOLE_RULE.format(
            "add") + f' dir=in action=allow protocol=UDP localport=5010 program="{console}"'
            " enable=yes profile=any"), ("netsh", f"http add urlacl url={CONSOLE_URL} "
                                                  "sddl=D:(A;;GX;;;S-1-5-32-545)")]),
              f"the console's install: {done}")
        installed = sorted(os.listdir(programs))
        check(installed == ["Uninstall.exe", "velostrander-console.exe", "velostrander-ctl.exe"]
              and shortcut(menu / "Velostrander/Velostrander Console.lnk")[0] == console
              and not startup.exists() and settings_bytes(data) == expected, f"installed {installed}")
        run(programs / "Uninstall.exe", "/S")
        wait(lambda: not programs.exists() and not d.processes("~nsu"), "the uninstaller to end")
        recorded = (Path(d.scratch) / "recorded").read_text("utf-8")
        check(all(f"netsh {call}\n" in recorded for call in (
            CONSOLE_RULE.format("delete"), f"http delete urlacl url={CONSOLE_URL}")) and
              not (menu / "Velostrander").exists(), f"the console's uninstall: {recorded}")
        # As a student would make it a junction to the programs' folder, for Users' rights there.
        shutil.rmtree(data)
        data.symlink_to(elsewhere := d.folder("elsewhere"))
        try:
            done = install()
            check(done == (2, []) and not os.listdir(elsewhere) and not programs.exists(),
                  f"a settings folder that is a link: {done}, {os.listdir(elsewhere)}")
        finally:
            data.unlink()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("desktop", choices=("linux", "windows"))
    parser.add_argument("--bin", required=True, help="the folder of the built programs")
    parser.add_argument("--work", help="the Wine fixture's folder")
    parser.add_argument("--helpers", help="the folder of wintree.exe")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    arguments = parser.parse_args()
    if arguments.desktop == "linux" and arguments.scenario in ISOLATED:
        import linux_desktop  # pylint: disable=import-outside-toplevel
        if not ISOLATED[arguments.scenario](linux_desktop):
            print("namespaces of its own need root: skipped")
            sys.exit(77)
    # A ctest timeout sends SIGTERM first: unwind, so that the desktop is torn down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(f"terminated in {arguments.scenario}"))
    started = time.monotonic()
    driver = importlib.import_module(f"{arguments.desktop}_desktop")
    with getattr(driver, f"{arguments.desktop.title()}Desktop")(os.path.abspath(arguments.bin), arguments.work, arguments.helpers,
                arguments.scenario) as d:
        try:
            SCENARIOS[arguments.scenario](d)
        except BaseException:
            d.report()
            raise
    print(f"{arguments.scenario}: passed in {time.monotonic() - started:.2f} s")


if __name__ == "__main__":
    main()
