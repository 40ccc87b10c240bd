#!/usr/bin/env python3
"""End-to-end scenarios of Velostrander_Child.exe under Wine, one per run:

    child_scenarios.py WORK BIN HELPER_BIN SCENARIO

WORK is the folder the fixture set up; BIN holds the program, HELPER_BIN wintree.exe.
"""

import json
import shutil
import subprocess
import sys
import time
from pathlib import Path

from wine_desktop import WINE64, WineDesktop, wait_until

MAIN_TITLE = "Velostrander_Child"
MESSAGE_TITLE = "Velostrander_Childからのメッセージ"
WARNING_TITLE = "警告"
SETTINGS_FILE = "Velostrander_Child.ini"
NORMAL_SETTINGS = ["[Velostrander]", "MasterPortx=5000", "MyHostPortx=5001",
                   "MasterCompx=マスターPC", "MyCompNumxx=07"]
EXIT_TIMEOUT = 10


class Agent:
    """One started Velostrander_Child.exe; wine64 keeps its pid and passes its exit code on."""

    def __init__(self, session):
        self.started = time.monotonic()
        self.log = open(session.scratch / f"agent-{len(session.agents)}.log", "wb")
        self.process = subprocess.Popen(
            [WINE64, str(session.bin / "Velostrander_Child.exe")], cwd=session.scratch,
            env=session.desktop.env(), stdin=subprocess.DEVNULL, stdout=self.log,
            stderr=subprocess.STDOUT)

    def running(self):
        return self.process.poll() is None

    def exit_code(self):
        return self.process.wait(timeout=EXIT_TIMEOUT)

    def stop(self):
        if self.running():
            self.process.kill()
        self.process.wait()
        self.log.close()


class Session:
    """A scenario's scratch folder, its agents and the helper; ends every agent it started."""

    def __init__(self, work, bin_dir, helper_dir, name):
        self.desktop = WineDesktop(work)
        if not self.desktop.attach():
            raise RuntimeError("the Wine desktop is not set up (run the fixture first)")
        self.bin = Path(bin_dir)
        self.helper = Path(helper_dir) / "wintree.exe"
        self.scratch = Path(work) / "scratch" / name
        self.agents = []

    def __enter__(self):
        shutil.rmtree(self.scratch, ignore_errors=True)
        self.scratch.mkdir(parents=True)
        # An agent left over by an interrupted run would refuse every new one.
        if self.windows(title=MAIN_TITLE):
            self.desktop.restart_wineserver()
        return self

    def __exit__(self, *error):
        for agent in self.agents:
            agent.stop()

    def write_settings(self, lines):
        """Writes the file as a Japanese Windows editor would: Shift-JIS, CR LF."""
        text = "".join(line + "\r\n" for line in lines)
        (self.scratch / SETTINGS_FILE).write_bytes(text.encode("cp932"))

    def start(self):
        agent = Agent(self)
        self.agents.append(agent)
        return agent

    def wintree(self, *args):
        output = self.scratch / "wintree.json"
        with open(output, "wb") as out:
            code = self.desktop.run(WINE64, str(self.helper), *args, output=out).returncode
        return code, output.read_text(encoding="utf-8")

    def windows(self, title=None, pid=None, menu=False):
        args = ["list"] + (["--title", title] if title else []) + (
            ["--pid", str(pid)] if pid else []) + (["--menu"] if menu else [])
        code, out = self.wintree(*args)
        assert code == 0, f"wintree {args} failed with {code}"
        return json.loads(out)["windows"]

    def wait_window(self, title, ready=lambda window: True, what="", pid=None, menu=False):
        def check():
            return next((w for w in self.windows(title, pid, menu) if ready(w)), None)
        return wait_until(check, f"window {title!r} {what}".strip())

    def click(self, title, button, pid=None):
        args = ["click", "--title", title, "--button", button] + (
            ["--pid", str(pid)] if pid else [])
        code, _ = self.wintree(*args)
        assert code == 0, f"no button {button!r} in window {title!r}"

    def try_close(self, title, how, pid=None):
        args = ["close", "--title", title, "--how", how] + (["--pid", str(pid)] if pid else [])
        code, out = self.wintree(*args)
        assert code == 0, f"wintree {args} failed with {code}"
        return json.loads(out)

    def key(self, title, key, pid=None):
        """Types a key into the window's focused control; returns what had the focus."""
        args = ["key", "--title", title, "--key", key] + (["--pid", str(pid)] if pid else [])
        code, out = self.wintree(*args)
        assert code == 0, f"wintree {args} failed with {code}"
        return json.loads(out)

    def screenshot(self, name):
        path = self.scratch / name
        subprocess.run(["import", "-display", self.desktop.display, "-window", "root", str(path)],
                       check=True, timeout=30)
        return path


# --- what the user sees -------------------------------------------------------------------

def controls(window, kind):
    return [c for c in window["controls"] if c["class"].lower() == kind and c["visible"]]


def label_text(window):
    return next(c["text"] for c in window["controls"] if c["class"].lower() == "static")


def button_texts(window):
    return [c["text"] for c in controls(window, "button")]


def box_text(box):
    return "".join(c["text"] for c in controls(box, "static"))


def close_item(window):
    """The window menu's Close item, known by its shortcut, whichever command it now sends."""
    return next(i for i in window["windowMenu"] if i["text"].endswith("Alt+F4"))


def assert_close_greyed(session, pid):
    window = session.windows(MAIN_TITLE, pid, menu=True)[0]
    item = close_item(window)
    assert item["grayed"], f"Close item not greyed: {item}"
    assert item["id"] != 0xF060, f"Close item still sends SC_CLOSE: {item}"


def wait_running(session, agent):
    main = session.wait_window(
        MAIN_TITLE, lambda w: not w["visible"] and label_text(w) == "コンピュータ番号:07",
        "hidden, with the computer number")
    print(f"running {1000 * (time.monotonic() - agent.started):.0f} ms after start")
    return main


def wait_half_started(session):
    main = session.wait_window(MAIN_TITLE, lambda w: w["visible"], "shown")
    assert label_text(main) == "", f"label not empty: {main}"
    assert button_texts(main) == ["End"], main
    assert main["owned"], "a window without taskbar button is owned by a hidden window"
    return main


def assert_no_box(session, pid):
    boxes = [w for w in session.windows(pid=pid) if w["class"] == "#32770"]
    assert not boxes, f"unexpected message box: {boxes}"


def end_with_button(session, agent, pid):
    session.click(MAIN_TITLE, "End", pid)
    assert agent.exit_code() == 0


# --- scenarios ----------------------------------------------------------------------------

def normal_start(session):
    session.write_settings(NORMAL_SETTINGS)
    agent = session.start()
    main = wait_running(session, agent)
    assert button_texts(main) == [], "controls of a hidden window are not visible"
    assert main["owned"], main
    assert_close_greyed(session, main["pid"])
    assert session.try_close(MAIN_TITLE, "endsession") == {"windowExists": False}
    assert agent.exit_code() == 0


def second_instance(session):
    session.write_settings(NORMAL_SETTINGS)
    first = session.start()
    first_pid = wait_running(session, first)["pid"]
    second = session.start()
    box = session.wait_window(WARNING_TITLE)
    assert box["pid"] != first_pid, "the warning comes from the second instance"
    assert box_text(box) == "すでにこのプログラムは起動しています", box
    assert button_texts(box) == ["OK"], box
    session.click(WARNING_TITLE, "OK", box["pid"])
    assert second.exit_code() == 0
    assert first.running(), "the first instance must keep running"
    assert len(session.windows(MAIN_TITLE, first_pid)) == 1
    end_with_button(session, first, first_pid)


def no_settings_file(session):
    agent = session.start()
    box = session.wait_window(MESSAGE_TITLE)
    assert box_text(box) == " ファイルがありません", box
    assert button_texts(box) == ["OK"], box
    pid = box["pid"]
    assert not session.windows(MAIN_TITLE, pid)[0]["visible"], "hidden while the box is open"
    session.click(MESSAGE_TITLE, "OK", pid)
    wait_half_started(session)
    assert_close_greyed(session, pid)
    for how in ("altf4", "syscommand", "wmclose"):
        assert session.try_close(MAIN_TITLE, how, pid) == {"windowExists": True}, how
        assert session.windows(MAIN_TITLE, pid)[0]["visible"], how
        assert agent.running(), how
    end_with_button(session, agent, pid)


def unreadable_settings_file(session):
    (session.scratch / SETTINGS_FILE).mkdir()
    agent = session.start()
    pid = wait_half_started(session)["pid"]
    assert_no_box(session, pid)
    end_with_button(session, agent, pid)


def malformed_lines(session):
    lines = list(NORMAL_SETTINGS)
    lines[2:4] = ["MasterPor", "MyHostPortx=70000"]
    session.write_settings(lines)
    agent = session.start()
    box = session.wait_window(MESSAGE_TITLE)
    text = box_text(box)
    for part in (SETTINGS_FILE, "3行目", "4行目"):
        assert part in text, f"{part!r} missing from {text!r}"
    session.click(MESSAGE_TITLE, "OK", box["pid"])
    wait_half_started(session)
    assert_no_box(session, box["pid"])
    end_with_button(session, agent, box["pid"])


def client_area(session):
    """At 96 dpi, 15 twips make a pixel."""
    (session.scratch / SETTINGS_FILE).mkdir()
    agent = session.start()
    main = wait_half_started(session)
    assert main["client"] == [242, 30], main
    rects = {c["text"] or "Label1": c["rect"] for c in main["controls"]}
    assert rects == {"Label1": [40, 8, 121, 17], "End": [176, 8, 57, 17]}, rects
    print(f"screenshot: {session.screenshot('half-started.png')}")
    end_with_button(session, agent, main["pid"])


def start_half_started(session):
    """An agent whose settings cannot be read shows its window with the focus on End."""
    (session.scratch / SETTINGS_FILE).mkdir()
    agent = session.start()
    return agent, wait_half_started(session)["pid"]


def assert_key_changes_nothing(session, agent, pid, key):
    result = session.key(MAIN_TITLE, key, pid)
    assert result == {"focus": {"class": "Button", "text": "End"},
                      "windowExists": True}, (key, result)
    assert agent.running(), key


def return_presses_end(session):
    agent, pid = start_half_started(session)
    assert_key_changes_nothing(session, agent, pid, "escape")
    session.key(MAIN_TITLE, "return", pid)
    assert agent.exit_code() == 0


def tab_then_space_presses_end(session):
    """Tab keeps the focus on End, the one tab stop; Space presses it."""
    agent, pid = start_half_started(session)
    assert_key_changes_nothing(session, agent, pid, "tab")
    session.key(MAIN_TITLE, "space", pid)
    assert agent.exit_code() == 0


SCENARIOS = {f.__name__: f for f in (normal_start, second_instance, no_settings_file,
                                     unreadable_settings_file, malformed_lines, client_area,
                                     return_presses_end, tab_then_space_presses_end)}

if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[4] not in SCENARIOS:
        sys.exit(f"usage: child_scenarios.py WORK BIN HELPER_BIN {'|'.join(SCENARIOS)}")
    with Session(*sys.argv[1:]) as scenario_session:
        SCENARIOS[sys.argv[4]](scenario_session)
    print("passed")
