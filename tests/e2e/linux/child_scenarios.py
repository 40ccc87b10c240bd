#!/usr/bin/python3
"""Velostrander_Child driven from outside, one scenario per run, each on a desktop of its own.

    child_scenarios.py --agent build/linux/bin/Velostrander_Child normal_start
"""

import argparse
import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_stack import DesktopStack, wait_for  # noqa: E402

SETTINGS_FILE = "Velostrander_Child.ini"
MAIN_TITLE = "Velostrander_Child"
MESSAGE_TITLE = "Velostrander_Childからのメッセージ"
WARNING_TITLE = "警告"
ALREADY_RUNNING = "すでにこのプログラムは起動しています"
FILE_MISSING = " ファイルがありません"
VALID_SETTINGS = ["[Velostrander]", "MasterPortx=5000", "MyHostPortx=5001",
                  "MasterCompx=マスターPC", "MyCompNumxx=07"]
# At 96 dpi, 15 twips make a pixel.
CLIENT_SIZE = (242, 30)
CONTROL_EXTENTS = {"Label": (40, 8, 121, 17), "End": (176, 8, 57, 17)}

STEP_TIMEOUT = 10


class Agent:
    """One running agent, seen through the accessibility tree and the X server."""

    def __init__(self, desktop, process, stderr_path):
        self.desktop = desktop
        self.process = process
        self.stderr_path = stderr_path

    @property
    def pid(self):
        return self.process.pid

    def app(self):
        return wait_for(lambda: a11y.application(self.pid), STEP_TIMEOUT,
                        f"agent {self.pid} in the accessibility tree")

    def main_window(self):
        return wait_for(
            lambda: a11y.top_level(self.app(), MAIN_TITLE, a11y.pyatspi.ROLE_FRAME),
            STEP_TIMEOUT, "the main window")

    def message_box(self, title):
        def box():
            return next((b for b in a11y.alerts(self.app()) if b.name == title), None)
        return wait_for(box, STEP_TIMEOUT, f"a message box titled {title!r}")

    def wait_showing(self, window):
        wait_for(lambda: a11y.showing(window), STEP_TIMEOUT, f"{window.name!r} to show")

    def label(self):
        window = self.main_window()
        return next(child for child in a11y.children(window)
                    if child.getRole() == a11y.pyatspi.ROLE_LABEL)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self):
        wait_for(lambda: not self.running(), STEP_TIMEOUT, f"agent {self.pid} to end")
        return self.process.returncode

    def x_window(self):
        found = self.desktop.run(["xdotool", "search", "--all", "--pid", str(self.pid),
                                  "--name", f"^{MAIN_TITLE}$"]).stdout.split()
        if len(found) != 1:
            raise AssertionError(f"expected one X window {MAIN_TITLE!r}, found {found}")
        return found[0]

    def xprop(self, *properties):
        return self.desktop.run(["xprop", "-id", self.x_window(), *properties]).stdout

    def client_geometry(self):
        info = self.desktop.run(["xwininfo", "-id", self.x_window()]).stdout
        value = {key: int(re.search(rf"{key}:\s+(-?\d+)", info).group(1))
                 for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width",
                             "Height")}
        return (value["Absolute upper-left X"], value["Absolute upper-left Y"],
                value["Width"], value["Height"])

    def end(self):
        """Presses "End" and returns the exit code."""
        a11y.press(a11y.button(self.main_window(), "End"))
        return self.wait_exit()

    def diagnostics(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as stderr:
            return stderr.read()


class AgentDesktop(DesktopStack):
    def __init__(self):
        super().__init__()
        self.agents = []

    def settings_folder(self, lines=None, name="work", encoding="utf-8"):
        """A current directory for the agent, with a settings file of these lines (CR LF);
        a line given as bytes is written as it stands."""
        folder = self.path(name)
        os.mkdir(folder)
        if lines is not None:
            with open(os.path.join(folder, SETTINGS_FILE), "wb") as settings:
                for line in lines:
                    settings.write(line if isinstance(line, bytes) else line.encode(encoding))
                    settings.write(b"\r\n")
        return folder

    def japanese_locale(self, charset):
        """Environment for a program in a Japanese locale of this character set."""
        locales = self.path("locales")
        os.makedirs(locales, exist_ok=True)
        name = f"ja_JP.{charset}"
        built = self.run(["localedef", "-i", "ja_JP", "-f", charset,
                          os.path.join(locales, name)], timeout=60)
        check(built.returncode in (0, 1), f"localedef failed: {built.stderr}")  # 1: warnings
        return {"LOCPATH": locales, "LANG": name}

    def start_agent(self, folder, locale=None):
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **(locale or {}))
        stderr_path = self.path(f"agent-{len(self.agents)}.stderr")
        with open(stderr_path, "wb") as stderr:
            process = self.spawn([arguments.agent], cwd=folder, env=env, stderr=stderr)
        agent = Agent(self, process, stderr_path)
        self.agents.append(agent)
        return agent


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def check_message_box(agent, title, text=None):
    box = agent.message_box(title)
    shown = a11y.labels(box)
    if text is not None:
        check(text in shown, f"box {title!r} reads {shown}, expected {text!r}")
    names = [b.name for b in a11y.buttons(box)]
    check(names == ["OK"], f"box {title!r} has the buttons {names}, expected one OK")
    return box, "\n".join(shown)


def close_box(box):
    a11y.press(a11y.button(box, "OK"))


def wait_window_shown(agent):
    window = agent.main_window()
    agent.wait_showing(window)
    return window


def check_no_box(agent):
    boxes = [box.name for box in a11y.alerts(agent.app())]
    check(not boxes, f"unexpected message boxes {boxes}")


def settle_window_manager(agent, window):
    """Returns once the agent has handled every event the window manager sent it so far.

    Moves the window: the window manager handles the request after the input before it,
    and the agent hears of the move after whatever the window manager sent it for that
    input, so the new position reaching the accessibility tree is the barrier."""
    x, y, _, _ = agent.client_geometry()
    target = (x + 37, y + 23)
    agent.desktop.run(["xdotool", "windowmove", agent.x_window(), *map(str, target)])
    wait_for(lambda: a11y.screen_position(window) == target, STEP_TIMEOUT,
             "the agent to see its window moved")


def check_close_refused(agent, window, how):
    try:
        settle_window_manager(agent, window)
    except Exception:
        if agent.running():
            raise
    check(agent.running() and a11y.showing(window), f"{how} closed the main window")


def try_user_closes(agent, window):
    """Alt+F4 and the title bar's close button, as a user would."""
    stack = agent.desktop
    stack.run(["xdotool", "windowactivate", "--sync", agent.x_window()])
    stack.run(["xdotool", "key", "--clearmodifiers", "alt+F4"])
    check_close_refused(agent, window, "Alt+F4")

    x, y, width, _ = agent.client_geometry()
    # openbox's close button is the last one on the title bar, right above the client area.
    stack.run(["xdotool", "mousemove", str(x + width - 10), str(y - 10), "click", "1"])
    check_close_refused(agent, window, "the title bar's close button")


# --- scenarios -------------------------------------------------------------------------------

def normal_start(desktop):
    agent = desktop.start_agent(desktop.settings_folder(VALID_SETTINGS))
    wait_for(lambda: agent.label().name == "コンピュータ番号:07", STEP_TIMEOUT,
             "the computer number on the label")
    check(not a11y.showing(agent.main_window()), "the main window shows while running")
    check_no_box(agent)
    check(agent.running(), "the agent ended")
    state = agent.xprop("_NET_WM_STATE")
    check("_NET_WM_STATE_SKIP_TASKBAR" in state, f"the window is in the taskbar: {state}")
    agent.process.send_signal(signal.SIGTERM)
    check(agent.wait_exit() == 0, f"SIGTERM gave exit code {agent.process.returncode}")


def second_instance(desktop):
    folder = desktop.settings_folder(VALID_SETTINGS)
    first = desktop.start_agent(folder)
    wait_for(lambda: first.label().name == "コンピュータ番号:07", STEP_TIMEOUT,
             "the first agent to run")
    second = desktop.start_agent(folder)
    box, _ = check_message_box(second, WARNING_TITLE, ALREADY_RUNNING)
    close_box(box)
    check(second.wait_exit() == 0, f"the second agent gave {second.process.returncode}")
    check(first.running(), "the first agent ended with the second")
    check(first.label().name == "コンピュータ番号:07", "the first agent no longer answers")
    first.process.send_signal(signal.SIGTERM)
    check(first.wait_exit() == 0, f"the first agent gave {first.process.returncode}")


def crashed_instance(desktop):
    folder = desktop.settings_folder(VALID_SETTINGS)
    crashed = desktop.start_agent(folder)
    wait_for(lambda: crashed.label().name == "コンピュータ番号:07", STEP_TIMEOUT,
             "the first agent to run")
    crashed.process.kill()
    crashed.wait_exit()
    agent = desktop.start_agent(folder)
    wait_for(lambda: agent.label().name == "コンピュータ番号:07", STEP_TIMEOUT,
             "an agent to run after the first one crashed")
    check_no_box(agent)
    agent.process.send_signal(signal.SIGTERM)
    check(agent.wait_exit() == 0, f"SIGTERM gave exit code {agent.process.returncode}")


def no_settings_file(desktop):
    agent = desktop.start_agent(desktop.settings_folder())
    box, _ = check_message_box(agent, MESSAGE_TITLE, FILE_MISSING)
    check(not a11y.showing(agent.main_window()), "the main window shows before the box closes")
    close_box(box)
    window = wait_window_shown(agent)
    check(agent.label().name == "", f"the label reads {agent.label().name!r}")
    try_user_closes(agent, window)
    check(agent.end() == 0, f"End gave exit code {agent.process.returncode}")


def unreadable_settings_file(desktop):
    folder = desktop.settings_folder()
    os.mkdir(os.path.join(folder, SETTINGS_FILE))
    agent = desktop.start_agent(folder)
    wait_window_shown(agent)
    check_no_box(agent)
    check(agent.label().name == "", f"the label reads {agent.label().name!r}")
    check(agent.end() == 0, f"End gave exit code {agent.process.returncode}")


def malformed_lines(desktop):
    lines = ["[Velostrander]", "MasterPortx=5000", "MasterPor", "MyHostPortx=70000",
             "MasterCompx=マスターPC", "MyCompNumxx=07"]
    agent = desktop.start_agent(desktop.settings_folder(lines))
    box, text = check_message_box(agent, MESSAGE_TITLE)
    for part in (SETTINGS_FILE, "3行目", "4行目"):
        check(part in text, f"the message does not name {part!r}: {text!r}")
    close_box(box)
    wait_window_shown(agent)
    check_no_box(agent)
    check(agent.end() == 0, f"End gave exit code {agent.process.returncode}")


def undecodable_bytes(desktop):
    lines = VALID_SETTINGS[:-1] + [b"MyCompNumxx=\xff7"]
    agent = desktop.start_agent(desktop.settings_folder(lines))
    wait_for(lambda: agent.label().name == "コンピュータ番号:\ufffd7", STEP_TIMEOUT,
             "the undecodable byte as U+FFFD on the label")
    agent.process.send_signal(signal.SIGTERM)
    check(agent.wait_exit() == 0, f"SIGTERM gave exit code {agent.process.returncode}")


def locale_code_page(desktop):
    """The file is read in the locale's character set, not as UTF-8."""
    lines = VALID_SETTINGS[:-1] + ["MyCompNumxx=０７"]
    folder = desktop.settings_folder(lines, encoding="euc_jp")
    agent = desktop.start_agent(folder, locale=desktop.japanese_locale("EUC-JP"))
    wait_for(lambda: agent.label().name == "コンピュータ番号:０７", STEP_TIMEOUT,
             "the EUC-JP computer number on the label")
    agent.process.send_signal(signal.SIGTERM)
    check(agent.wait_exit() == 0, f"SIGTERM gave exit code {agent.process.returncode}")


def client_area(desktop):
    folder = desktop.settings_folder()
    os.mkdir(os.path.join(folder, SETTINGS_FILE))
    agent = desktop.start_agent(folder)
    window = wait_window_shown(agent)
    size = agent.client_geometry()[2:]
    check(size == CLIENT_SIZE, f"client area {size}, expected {CLIENT_SIZE}")
    hints = agent.xprop("WM_NORMAL_HINTS")
    for kind in ("minimum", "maximum"):
        check(f"program specified {kind} size: 242 by 30" in hints, f"resizable: {hints}")
    actions = agent.xprop("_NET_WM_ALLOWED_ACTIONS")
    for action in ("_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE"):
        check(action not in actions, f"the window manager allows {action}: {actions}")
    controls = {"Label": agent.label(), "End": a11y.button(window, "End")}
    for name, control in controls.items():
        extents = a11y.extents_in(window, control)
        check(extents == CONTROL_EXTENTS[name], f"{name} at {extents}")
    if arguments.screenshot:
        desktop.run(["import", "-window", "root", arguments.screenshot])
    check(agent.end() == 0, f"End gave exit code {agent.process.returncode}")


SCENARIOS = {scenario.__name__: scenario for scenario in (
    normal_start, second_instance, crashed_instance, no_settings_file, unreadable_settings_file,
    malformed_lines, undecodable_bytes, locale_code_page, client_area)}


def main():
    global arguments, a11y
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--agent", required=True, help="the Velostrander_Child executable")
    parser.add_argument("--screenshot", help="where client_area leaves a screenshot")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    arguments = parser.parse_args()
    arguments.agent = os.path.abspath(arguments.agent)
    # A ctest timeout sends SIGTERM first: unwind, so that the desktop is torn down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(f"terminated in {arguments.scenario}"))

    started = time.monotonic()
    with AgentDesktop() as desktop:
        os.environ.update(desktop.env)
        import accessibility as a11y
        try:
            SCENARIOS[arguments.scenario](desktop)
        except BaseException:
            for agent in desktop.agents:
                print(f"--- agent {agent.pid} stderr:\n{agent.diagnostics()}", file=sys.stderr)
            raise
    print(f"{arguments.scenario}: passed in {time.monotonic() - started:.2f} s")


arguments = None
a11y = None

if __name__ == "__main__":
    main()
