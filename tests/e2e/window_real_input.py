#!/usr/bin/python3
"""The real korvan window under a real X server and window manager, driven with real input.

Xvfb and openbox stand in for the operator's desktop; xdotool moves the pointer and presses
keys, so every click reaches the window as X11 delivers it (a right click as press, context-menu
event, release). What the window shows is read through AT-SPI, as assistive technology reads it.

usage: window_real_input.py KORVAN CHIPLIST
Exits 0 when every check holds, 1 on the first that does not, 77 (skipped) when no X server
can be started here.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
DEADLINE = 30.0  # seconds for anything the window is waiting on; a whole job takes a few


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def wait_for(what, probe, deadline=DEADLINE):
    """The probe's first true answer, polled until the deadline."""
    end = time.monotonic() + deadline
    while True:
        answer = probe()
        if answer:
            return answer
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


def start_x_server():
    """An Xvfb of its own; None when none can start here."""
    if shutil.which("Xvfb") is None:
        return None, None
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as answer:
        while not number.endswith(b"\n"):
            chunk = answer.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        server.wait()
        return None, None
    return server, ":" + number.decode().strip()


def require_tools():
    missing = [tool for tool in ("openbox", "xdotool", "dbus-run-session") if shutil.which(tool) is None]
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("python3-pyatspi")
    if missing:
        raise Failure("missing " + ", ".join(missing) + " (tools/bootstrap.sh installs them)")


class Screen:
    """The X display: pointer, keys and the window manager's frames."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, capture_output=True,
                              text=True).stdout

    def click(self, x, y, button=1):
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", button)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def visible_windows(self, pid):
        """The mapped X windows of a process: a popup menu adds one."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], env=self.env,
                               capture_output=True, text=True).stdout
        return len(found.split())


class Accessible:
    """The window as AT-SPI shows it."""

    def __init__(self):
        import pyatspi
        self.atspi = pyatspi
        self.status = None

    def application(self):
        for app in self.atspi.Registry.getDesktop(0):
            if app is not None and (app.name or "").lower() == "korvan":
                return app
        return None

    def all(self, root=None):
        root = root or self.application()
        if root is None:
            return
        stack = [root]
        while stack:
            node = stack.pop()
            if node is None:
                continue
            yield node
            try:
                stack.extend(node[i] for i in range(node.childCount - 1, -1, -1))
            except Exception:  # a node that went away while being walked
                continue

    def showing(self, node):
        return node.getState().contains(self.atspi.STATE_SHOWING)

    def find(self, role, name):
        """The control on screen with this role and accessible name (hidden ones are left out:
        a dialog that closed stays in the tree)."""
        found = self.named(role, lambda text: text == name)
        return found[0] if found else None

    def named(self, role, predicate):
        found = []
        for node in self.all():
            try:
                if node.getRoleName() == role and predicate(node.name or "") and self.showing(node):
                    found.append(node)
            except Exception:
                continue
        return found

    def status_lines(self):
        """Every line of the Status list (the page need not be in front). The list is found
        once: walking the whole window for it on every look takes seconds."""
        if self.status is None:
            for node in self.all():
                try:
                    if node.getRoleName() == "list" and node.name == "Status":
                        self.status = node
                        break
                except Exception:
                    continue
        if self.status is None:
            return []
        return [self.status[i].name for i in range(self.status.childCount)]

    def extents(self, node):
        return node.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)

    def centre(self, node):
        extents = self.extents(node)
        return extents.x + extents.width // 2, extents.y + extents.height // 2

    def top_level(self, predicate):
        """The window of the application whose title `predicate` accepts, once the window
        manager has placed it (until then Qt reports it at 0,0)."""
        app = self.application()
        for i in range(app.childCount if app is not None else 0):
            window = app[i]
            try:
                if predicate(window.name or "") and (self.extents(window).x, self.extents(window).y) != (0, 0):
                    return window
            except Exception:
                continue
        return None

    def close_box(self, window):
        """Where openbox draws the window's close box: the right end of the title bar above it."""
        extents = self.extents(window)
        return extents.x + extents.width - 10, extents.y - 10


def write_program_dir(directory, chip_list):
    shutil.copy(chip_list, os.path.join(directory, "ChipList.chip"))
    small = os.path.join(directory, "firmware", "small.hex")
    large = os.path.join(directory, "firmware", "large.bin")
    os.makedirs(os.path.dirname(small))
    with open(small, "w") as hex_file:
        for address in range(0, 64, 16):
            data = bytes((address + i) & 0xFF for i in range(16))
            record = bytes([16, address >> 8, address & 0xFF, 0]) + data
            checksum = (-sum(record)) & 0xFF
            hex_file.write(":" + (record + bytes([checksum])).hex().upper() + "\r\n")
        hex_file.write(":00000001FF\r\n")
    with open(large, "wb") as binary:
        binary.write(bytes((i * 7) & 0x7F for i in range(8192)))  # the whole AT89C52: about 9 s at 9600 baud
    with open(os.path.join(directory, "LastFile.ini"), "w") as recent:
        recent.write("[File Number]\r\nn=2\r\n[LastFile]\r\nFile 0=%s\r\nFile 1=%s\r\n" % (small, large))
    with open(os.path.join(directory, "Korvan.ini"), "w") as settings:
        settings.write("[Production]\r\nJobLog=job.log\r\n")
    return small, large


def check(condition, text):
    if not condition:
        raise Failure(text)
    log("ok - " + text)


def drive(korvan, chip_list, display):
    screen = Screen(display)
    atspi = Accessible()
    directory = tempfile.mkdtemp(prefix="korvan-e2e-")
    small, large = write_program_dir(directory, chip_list)
    env = dict(screen.env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("KORVAN_HOME", None)
    atspi.application()  # brings the accessibility bus up before the window looks for it
    window = subprocess.Popen([korvan, "--dir", directory, "--simulate", "--sim-pace", "--sim-chip", "AT89C52"],
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        try:
            run_checks(screen, atspi, window, small, large)
        except Failure:
            # KORVAN_E2E_SCREENSHOT=FILE keeps a picture of the screen as the check failed.
            picture = os.environ.get("KORVAN_E2E_SCREENSHOT")
            if picture and shutil.which("import"):
                subprocess.run(["import", "-window", "root", picture], env=screen.env)
            raise
        code = window.wait(timeout=DEADLINE)
        check(code == 0, "the window ended with status 0 after Yes (status %s)" % code)
        records = [json.loads(line) for line in open(os.path.join(directory, "job.log"))]
        last = records[-1]
        check(last["result"] == "failed" and last["failure"] == "Stopped by the operator.",
              "the cut-off write is in the job log as stopped by the operator")
        check(os.path.exists(os.path.join(directory, "Korvan.ini")) and
              "m_InfoSave" in open(os.path.join(directory, "Korvan.ini")).read(), "the settings were saved")
    finally:
        if window.poll() is None:
            window.kill()
            window.wait()
        output = window.stdout.read()
        if output.strip():
            log("korvan (status %s) said:\n%s" % (window.returncode, output))
        shutil.rmtree(directory, ignore_errors=True)


def run_checks(screen, atspi, window, small, large):
    main = wait_for("the window placed on the screen", lambda: atspi.top_level(lambda name: name.startswith("Korvan v2.3")))
    wait_for("the programmer's first answer", lambda: "Programmer: Ready." in atspi.status_lines())

    # Tab walks the controls as they read, from the chip list the window starts on (AT-SPI
    # names a combo box by its text, here the chip).
    def focused(role, name=None):
        nodes = atspi.named(role, lambda text: name is None or text == name)
        return any(node.getState().contains(atspi.atspi.STATE_FOCUSED) for node in nodes)
    wait_for("the chip list focused at start", lambda: focused("combo box"))
    screen.key("Tab")
    wait_for("Check focused by Tab", lambda: focused("push button", "Check"))
    screen.key("Tab")
    wait_for("EXIT focused by the next Tab", lambda: focused("push button", "EXIT Program"))
    screen.key("shift+Tab", "shift+Tab")
    wait_for("the chip list focused again by Shift+Tab", lambda: focused("combo box"))
    log("ok - Tab and Shift+Tab walk the controls in reading order")

    # Right clicks toggle the Auto marks; elsewhere the window's own menu still opens.
    screen.click(*atspi.centre(atspi.find("push button", "(Auto) Verify")), button=3)
    wait_for("Verify unmarked by a right click", lambda: atspi.find("push button", "Verify"))
    screen.click(*atspi.centre(atspi.find("push button", "Encrypt")), button=3)
    wait_for("Encrypt marked by a right click", lambda: atspi.find("push button", "(Auto) Encrypt"))
    log("ok - right clicks toggle (Auto) on Verify and Encrypt")
    windows = screen.visible_windows(window.pid)
    check(atspi.find("push button", "(Auto) Verify") is None and windows == 1,
          "no menu opened on the right clicks that toggled")
    screen.click(*atspi.centre(atspi.find("push button", "Check")), button=3)
    wait_for("the window's menu on a right click on Check", lambda: screen.visible_windows(window.pid) == 2)
    screen.key("Escape")
    wait_for("the menu closed", lambda: screen.visible_windows(window.pid) == 1)
    check(atspi.find("push button", "Check") is not None and window.poll() is None,
          "the window's menu opens elsewhere and Escape closes only the menu")

    # The Open dialog: a click on the older recent entry, then Enter, loads that entry.
    screen.click(*atspi.centre(atspi.find("push button", "(Auto) Open")))
    wait_for("the Open dialog placed", lambda: atspi.top_level(lambda name: name == "Open"))
    recent = wait_for("the Open dialog's recent list", lambda: atspi.find("list", "Recent Files"))
    entries = [recent[i] for i in range(recent.childCount)]
    check([entry.name for entry in entries] == [large, small], "the recent list shows the newest entry first")
    screen.click(*atspi.centre(entries[1]))
    screen.key("Return")
    wait_for("the recent entry loaded", lambda: any(line.startswith("Read " + small + " Buffer1(")
                                                     for line in atspi.status_lines()))
    log("ok - a recent entry clicked and Enter loads that entry")

    # The next Enter runs Auto (no completion list left to take it).
    wait_for("the dialog gone", lambda: atspi.find("list", "Recent Files") is None)
    screen.key("Return")
    wait_for("the Auto run's lock-bit write", lambda: "Programmer: Write Lock Bit Done." in atspi.status_lines())
    lines = atspi.status_lines()
    check("Programmer: Writing Done." in lines and "-------------------Verification Starts------------------" not in lines,
          "Enter runs Auto with the marks the right clicks set")

    # A byte typed in the Buffer1 view, then taken back with Ctrl+Z; the view tells the byte
    # under its cursor (the loaded image holds 00 at 0000).
    screen.click(*atspi.centre(atspi.find("page tab", "Buffer1")))
    view = wait_for("the Buffer1 view", lambda: atspi.find("filler", "Buffer1"))
    screen.click(*atspi.centre(view))
    screen.key("ctrl+Home")
    screen.key("a", "5", "Left")
    wait_for("the typed byte shown as an edit", lambda: view.description == "0000: A5 edited")
    screen.key("ctrl+z")
    wait_for("the edit taken back by Ctrl+Z", lambda: view.description == "0000: 00")
    log("ok - a byte typed in Buffer1 and Ctrl+Z gives the loaded one back")

    # The close box during a write asks; No lets it go on, Yes cuts it off and leaves.
    screen.click(*atspi.centre(atspi.find("push button", "(Auto) Open")))
    wait_for("the Open dialog placed", lambda: atspi.top_level(lambda name: name == "Open"))
    recent = wait_for("the Open dialog's recent list", lambda: atspi.find("list", "Recent Files"))
    screen.click(*atspi.centre(recent[1]))
    screen.key("Return")
    wait_for("the large image loaded", lambda: any(line.startswith("Read " + large) for line in atspi.status_lines()))
    wait_for("the dialog gone", lambda: atspi.find("list", "Recent Files") is None)
    # The chip is locked now: Auto erases it before the write.
    screen.key("Return")
    wait_for("the write under way", lambda: "Programmer: Starts Writing." in atspi.status_lines())
    question = "A write is in progress. Stop it and leave the chip incomplete?"
    screen.click(*atspi.close_box(main))
    wait_for("the question placed", lambda: atspi.top_level(lambda name: name == "Korvan"))
    wait_for("the question", lambda: atspi.named("label", lambda name: name == question))
    screen.click(*atspi.centre(atspi.find("push button", "No")))
    wait_for("the question gone", lambda: not atspi.named("label", lambda name: name == question))
    check(window.poll() is None and "Programmer: Writing Done." not in atspi.status_lines(),
          "No leaves the write running and the window open")
    screen.click(*atspi.close_box(main))
    wait_for("the question placed again", lambda: atspi.top_level(lambda name: name == "Korvan"))
    wait_for("the question again", lambda: atspi.named("label", lambda name: name == question))
    screen.click(*atspi.centre(atspi.find("push button", "Yes")))


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    korvan, chip_list = sys.argv[1], sys.argv[2]
    if os.environ.get("KORVAN_E2E_SESSION") != "1":
        # A session bus of its own, on which the accessibility bus starts.
        if shutil.which("dbus-run-session") is None:
            print("FAIL: missing dbus-run-session (tools/bootstrap.sh installs dbus)", file=sys.stderr)
            return 1
        env = dict(os.environ, KORVAN_E2E_SESSION="1")
        return subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=env).returncode
    server, display = start_x_server()
    if server is None:
        print("SKIP: no X server can start here (Xvfb missing or failing): the real-input test did not run")
        return SKIPPED
    manager = None
    try:
        require_tools()
        manager = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=display),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        drive(korvan, chip_list, display)
        log("all real-input checks hold")
        return 0
    except Failure as failure:
        print("FAIL: " + str(failure), file=sys.stderr)
        return 1
    finally:
        for process in (manager, server):
            if process is not None:
                process.terminate()
                process.wait()


if __name__ == "__main__":
    sys.exit(main())
