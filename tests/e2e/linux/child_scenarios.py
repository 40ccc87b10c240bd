#!/usr/bin/python3
"""Velostrander_Child driven from outside, one scenario per run, each on a desktop of its own.

    child_scenarios.py --agent build/linux/bin/Velostrander_Child normal_start
"""

import argparse
import os
import re
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_stack import DesktopStack, wait_for  # noqa: E402
from web_pages import PageServer, page, send_datagram, unused_udp_port  # noqa: E402

SETTINGS_FILE = "Velostrander_Child.ini"
MAIN_TITLE = "Velostrander_Child"
MESSAGE_TITLE = "Velostrander_Childからのメッセージ"
WARNING_TITLE = "警告"
ALREADY_RUNNING = "すでにこのプログラムは起動しています"
FILE_MISSING = " ファイルがありません"
# The browser's window title until it has a page.
BROWSER_TITLE = "ブラウザ"
SCREEN = (0, 0, 1280, 1024)
PAGES = {
    "/first.html": page("最初のページ", "一ページ目"),
    "/second.html": page("二番目のページ", "二ページ目"),
    "/japanese.html": page("日本語のページ", "こんにちは、世界"),
}
# At 96 dpi, 15 twips make a pixel.
CLIENT_SIZE = (242, 30)
CONTROL_EXTENTS = {"Label": (40, 8, 121, 17), "End": (176, 8, 57, 17)}

STEP_TIMEOUT = 10


def valid_settings(port=None):
    """Lines the agent reads without a word. Its port is one that nothing holds, so that agents
    of tests running side by side do not take it from each other."""
    return ["[Velostrander]", "MasterPortx=5000", f"MyHostPortx={port or unused_udp_port()}",
            "MasterCompx=マスターPC", "MyCompNumxx=07"]


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

    def x_windows(self, title):
        return self.desktop.run(["xdotool", "search", "--all", "--pid", str(self.pid),
                                 "--name", f"^{title}$"]).stdout.split()

    def x_window(self, title=MAIN_TITLE):
        found = self.x_windows(title)
        if len(found) != 1:
            raise AssertionError(f"expected one X window {title!r}, found {found}")
        return found[0]

    def mapped(self, window):
        return "IsViewable" in self.desktop.run(["xwininfo", "-id", window]).stdout

    def shown_window(self, title):
        """The X window of that title that is on the screen, or None."""
        return next((window for window in self.x_windows(title) if self.mapped(window)), None)

    def xprop(self, *properties):
        return self.desktop.run(["xprop", "-id", self.x_window(), *properties]).stdout

    def client_geometry(self, window=None):
        info = self.desktop.run(["xwininfo", "-id", window or self.x_window()]).stdout
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

    def start_agent(self, folder, environment=None):
        """Starts the agent in `folder`, with `environment` added to the desktop's."""
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY="1", **(environment or {}))
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
    agent = desktop.start_agent(desktop.settings_folder(valid_settings()))
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
    folder = desktop.settings_folder(valid_settings())
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
    folder = desktop.settings_folder(valid_settings())
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
    lines = valid_settings()[:-1] + [b"MyCompNumxx=\xff7"]
    agent = desktop.start_agent(desktop.settings_folder(lines))
    wait_for(lambda: agent.label().name == "コンピュータ番号:\ufffd7", STEP_TIMEOUT,
             "the undecodable byte as U+FFFD on the label")
    agent.process.send_signal(signal.SIGTERM)
    check(agent.wait_exit() == 0, f"SIGTERM gave exit code {agent.process.returncode}")


def locale_code_page(desktop):
    """The file is read in the locale's character set, not as UTF-8."""
    lines = valid_settings()[:-1] + ["MyCompNumxx=０７"]
    folder = desktop.settings_folder(lines, encoding="euc_jp")
    agent = desktop.start_agent(folder, environment=desktop.japanese_locale("EUC-JP"))
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


# --- the command channel and the browser ------------------------------------------------------

def start_listening_agent(desktop):
    """An agent that has started up on a free port, with its hidden browser created."""
    port = unused_udp_port()
    agent = desktop.start_agent(desktop.settings_folder(valid_settings(port)))
    agent.port = port
    wait_for(lambda: agent.x_windows(BROWSER_TITLE), STEP_TIMEOUT, "the browser to be created")
    return agent


def open_page(agent, server, path, title):
    """Sends the page's URL and returns the browser window that shows it."""
    send_datagram(agent.port, server.url(path))
    server.wait_requested(path, STEP_TIMEOUT)
    return wait_for(lambda: agent.shown_window(title), STEP_TIMEOUT, f"{title!r} to show")


def end_by_signal(agent):
    agent.process.send_signal(signal.SIGTERM)
    check(agent.wait_exit() == 0, f"SIGTERM gave exit code {agent.process.returncode}")


def url_opens_page(desktop):
    with PageServer(PAGES) as server:
        agent = start_listening_agent(desktop)
        hidden = agent.x_window(BROWSER_TITLE)
        check(not agent.mapped(hidden), "the browser shows before it has a page")
        open_page(agent, server, "/first.html", "最初のページ")
        check_no_box(agent)
        end_by_signal(agent)


def visible_false_hides(desktop):
    with PageServer(PAGES) as server:
        agent = start_listening_agent(desktop)
        window = open_page(agent, server, "/first.html", "最初のページ")
        send_datagram(agent.port, "Command:VisibleFalse")
        wait_for(lambda: not agent.mapped(window), STEP_TIMEOUT, "the browser to hide")
        send_datagram(agent.port, "Command:VisibleTrue")
        wait_for(lambda: agent.mapped(window), STEP_TIMEOUT, "the browser to show again")
        end_by_signal(agent)


def full_screen(desktop):
    with PageServer(PAGES) as server:
        agent = start_listening_agent(desktop)
        window = open_page(agent, server, "/first.html", "最初のページ")
        windowed = agent.client_geometry(window)
        check(windowed != SCREEN, f"the browser covers the screen from the start: {windowed}")
        send_datagram(agent.port, "Command:FullScreen")
        wait_for(lambda: agent.client_geometry(window) == SCREEN, STEP_TIMEOUT,
                 "the browser to cover the screen")
        send_datagram(agent.port, "Command:PartScreen")
        wait_for(lambda: agent.client_geometry(window) == windowed, STEP_TIMEOUT,
                 f"the browser back at {windowed}")

        send_datagram(agent.port, "Command:VisibleFalse")
        wait_for(lambda: not agent.mapped(window), STEP_TIMEOUT, "the browser to hide")
        send_datagram(agent.port, "Command:FullScreen")
        send_datagram(agent.port, "Command:VisibleTrue")
        wait_for(lambda: agent.mapped(window) and agent.client_geometry(window) == SCREEN,
                 STEP_TIMEOUT, "the hidden browser to come back in full screen")
        end_by_signal(agent)


def japanese_page(desktop):
    title = "日本語のページ"
    with PageServer(PAGES) as server:
        agent = start_listening_agent(desktop)
        open_page(agent, server, "/japanese.html", title)

        def document():
            frame = a11y.top_level(agent.app(), title, a11y.pyatspi.ROLE_FRAME)
            found = a11y.descendants(frame, a11y.pyatspi.ROLE_DOCUMENT_WEB) if frame else []
            return next((d for d in found if d.name == title), None)

        page_text = a11y.labels(wait_for(document, STEP_TIMEOUT, "the page's document"))
        check("こんにちは、世界" in page_text, f"the page reads {page_text}")
        end_by_signal(agent)


def port_in_use(desktop):
    port = unused_udp_port()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
        holder.bind(("0.0.0.0", port))
        agent = desktop.start_agent(desktop.settings_folder(valid_settings(port)))
        box, text = check_message_box(agent, MESSAGE_TITLE)
        check(f"UDPポート {port} " in text, f"the message does not name port {port}: {text!r}")
        check(not agent.x_windows(BROWSER_TITLE), "the browser exists before the box closes")
        close_box(box)
        wait_for(lambda: agent.x_windows(BROWSER_TITLE), STEP_TIMEOUT, "the browser to be created")
        check(not a11y.showing(agent.main_window()), "the main window shows")
        check_no_box(agent)
        end_by_signal(agent)


def check_new_browser_opens(agent, server, gone):
    """After the browser `gone` went away, the next URL opens in a browser of its own."""
    wait_for(lambda: not agent.x_windows("最初のページ"), STEP_TIMEOUT, "the browser window to go")
    check(agent.running(), "the agent ended with its browser")
    reopened = open_page(agent, server, "/second.html", "二番目のページ")
    check(reopened != gone, "the old browser window came back")
    frame = a11y.top_level(agent.app(), "二番目のページ", a11y.pyatspi.ROLE_FRAME)
    back = a11y.button(frame, "戻る")
    check(not back.getState().contains(a11y.pyatspi.STATE_SENSITIVE),
          "the new browser can go back to the old one's page")


def closed_browser_comes_back(desktop):
    with PageServer(PAGES) as server:
        agent = start_listening_agent(desktop)
        closed = open_page(agent, server, "/first.html", "最初のページ")
        desktop.run(["xdotool", "windowactivate", "--sync", closed])
        desktop.run(["xdotool", "key", "--clearmodifiers", "alt+F4"])
        check_new_browser_opens(agent, server, closed)
        end_by_signal(agent)


def descendants_of(pid):
    """Every process below `pid`, as /proc shows them now."""
    children = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        children.setdefault(parent, []).append(int(entry))
    found, pending = [], [pid]
    while pending:
        below = children.get(pending.pop(), [])
        found.extend(below)
        pending.extend(below)
    return found


def crashed_page_comes_back(desktop):
    with PageServer(PAGES) as server:
        agent = start_listening_agent(desktop)
        crashed = open_page(agent, server, "/first.html", "最初のページ")
        renderers = [pid for pid in descendants_of(agent.pid)
                     if b"--type=renderer" in open(f"/proc/{pid}/cmdline", "rb").read()]
        check(renderers, "the page has no renderer process")
        for pid in renderers:
            os.kill(pid, signal.SIGKILL)
        check_new_browser_opens(agent, server, crashed)
        end_by_signal(agent)


def browser_unavailable(desktop):
    """Qt WebEngine without its helper program: the agent says so and runs on."""
    folder = desktop.settings_folder(valid_settings())
    agent = desktop.start_agent(folder, {"QTWEBENGINEPROCESS_PATH": desktop.path("missing")})
    box, text = check_message_box(agent, MESSAGE_TITLE)
    check("ブラウザを起動できませんでした" in text and desktop.path("missing") in text,
          f"the message reads {text!r}")
    close_box(box)
    wait_for(lambda: not a11y.alerts(agent.app()), STEP_TIMEOUT, "the box to close")
    check(agent.running(), "the agent ended")
    check(not a11y.showing(agent.main_window()), "the main window shows")
    end_by_signal(agent)


SCENARIOS = {scenario.__name__: scenario for scenario in (
    normal_start, second_instance, crashed_instance, no_settings_file, unreadable_settings_file,
    malformed_lines, undecodable_bytes, locale_code_page, client_area, url_opens_page,
    visible_false_hides, full_screen, japanese_page, port_in_use, closed_browser_comes_back,
    crashed_page_comes_back, browser_unavailable)}


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
