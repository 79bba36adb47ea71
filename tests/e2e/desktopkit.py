"""What the desktop journeys share: an X server, the sandbox platform and a
program of ours under them, driven from outside with xdotool.

Clicks land at the positions of the Designer forms (`Form`), counted from the
window's geometry on the screen. What the user sees is read back from
screenshots: a picture button is compared with the bundled picture it should
show, and a text with the same text drawn in the font the style sheets ask
for (`Desktop.text_likeness`).

A system's journeys subclass `Desktop` for how the program is started, which
processes are ours and where its logs go, and hand their journeys to `run`.
"""

import argparse
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

WINDOW_TITLE = "Kyoro直播管家"
WINDOW_SIZE = (942, 622)

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# The left column of the live page (widget_2 at (11, 131)) stacks its 52-px
# buttons in a layout below a 20-px margin, so the form has no geometry for
# them.
COLUMN_OBS = (11, 131 + 20 + 52, 170, 52)          # button_OBSLive

CARD_PICTURES = ["button_install", "button_install_hover", "button_open",
                 "button_open_hover", "button_running"]
COLUMN_PICTURES = ["button_obs", "button_obs_hover", "button_obs_checked"]
# Mean difference per colour channel (0-255) under which a region shows a
# picture; a wrong picture on the same spot differs by several units.
MATCH_LIMIT = 2.0

# The face a Chinese Windows draws "microsoft yahei" with is not at hand; the
# programs are given WenQuanYi Micro Hei for it (fontconfig on Linux, font
# replacements in a Wine prefix), so texts are compared with that face.
TEXT_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
# A pixel darker than this (0-255 grey) is ink of a dark text on a light
# ground.
INK_LIMIT = 150
# Ink overlap (intersection over union, 0-1) from which a text counts as drawn
# in that face; another face or empty boxes overlap far less.
TEXT_LIKENESS = 0.5


class JourneyFailed(Exception):
    pass


def wait_until(what, condition, timeout, interval=0.1):
    """Polls `condition` until it returns something true; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise JourneyFailed("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def center(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


class Form:
    """Positions of a Designer form's widgets, relative to its top widget.

    Only widgets placed by geometry are known (a widget in a layout has
    none); a page of a stacked widget sits at its stack's origin."""

    def __init__(self, path):
        self.rects = {}
        self._walk(ElementTree.parse(path).getroot().find("widget"), 0, 0, top=True)

    def _walk(self, node, ox, oy, top=False):
        x = y = 0
        if node.tag == "widget":
            geometry = node.find("property[@name='geometry']/rect")
            if geometry is not None:
                x, y, w, h = (int(geometry.find(k).text) for k in ("x", "y", "width", "height"))
                if top:
                    x = y = 0
                self.rects[node.get("name")] = (ox + x, oy + y, w, h)
        for child in node:
            if child.tag in ("widget", "layout", "item"):
                self._walk(child, ox + x, oy + y)

    def rect(self, name):
        if name not in self.rects:
            raise JourneyFailed("the form has no placed widget %s" % name)
        return self.rects[name]


def form(name):
    """The Designer form src/ui/<name>.ui."""
    return Form(os.path.join(SOURCE_DIR, "src", "ui", name + ".ui"))


MAIN_FORM = form("kyoromanager")
# The card's install, open and running buttons share one spot, on both cards.
CARD_BUTTON = MAIN_FORM.rect("button_install_kyoro")


def grey_picture(arguments):
    """What ImageMagick's convert makes of `arguments` as 8-bit grey:
    (width, height, pixels)."""
    data = subprocess.run(["convert"] + arguments + ["-depth", "8", "pgm:-"],
                          stdout=subprocess.PIPE, check=True, timeout=30).stdout
    # "P5", width, height and the largest value, each followed by one blank.
    fields, at = [], 0
    while len(fields) < 4:
        end = at
        while data[end:end + 1] not in (b" ", b"\n", b"\t", b"\r"):
            end += 1
        fields.append(data[at:end])
        at = end + 1
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at:at + width * height]


def ink(width, height, grey):
    """The dark pixels of a grey image, moved to start at (0, 0), and the
    size of the box around them."""
    points = [(i % width, i // width) for i in range(width * height) if grey[i] < INK_LIMIT]
    if not points:
        return set(), (0, 0)
    left = min(p[0] for p in points)
    top = min(p[1] for p in points)
    right = max(p[0] for p in points)
    bottom = max(p[1] for p in points)
    return {(x - left, y - top) for x, y in points}, (right - left + 1, bottom - top + 1)


def overlap(a, b, slack=2):
    """The best intersection over union of two ink sets moved against each
    other by up to `slack` pixels."""
    best = 0.0
    for dx in range(-slack, slack + 1):
        for dy in range(-slack, slack + 1):
            moved = {(x + dx, y + dy) for x, y in a}
            union = len(moved | b)
            if union:
                best = max(best, len(moved & b) / union)
    return best


class Desktop:
    """The X server, the sandbox platform and the program, in a folder of
    the journey's own (`root`). Subclasses say how the program starts, which
    processes are the journey's and where the program's logs are."""

    def __init__(self, args, root):
        self.args = args
        self.root = root
        self.processes = []   # (name, Popen) we started ourselves
        self.app = None
        self.window = None
        self.env = None
        self.pictures = {}
        self.events = os.path.join(self.root, "events.jsonl")

    # ------------------------------------------------------------ for subclasses
    def our_processes(self):
        """Every process of the journey besides the X server and the
        platform (the program, what it started), by id."""
        return []

    def program_logs(self):
        """The program's log folder."""
        raise NotImplementedError

    def shut_down(self):
        """Ends what the subclass started beyond processes (a Wine server)."""

    # ------------------------------------------------------------ set-up
    def base_environment(self):
        env = dict(os.environ)
        for name in ("DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER"):
            env.pop(name, None)
        env["LC_ALL"] = "C.UTF-8"
        return env

    def spawn(self, name, command, env=None, **kwargs):
        out = open(os.path.join(self.root, name + ".out"), "wb")
        process = subprocess.Popen(command, env=env or self.env, stdin=subprocess.DEVNULL,
                                   stdout=kwargs.pop("stdout", out), stderr=out, **kwargs)
        out.close()
        self.processes.append((name, process))
        return process

    def start_x_server(self, size="1280x800"):
        # Xvfb picks a free display itself and writes its number to the pipe.
        read_end, write_end = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            raise JourneyFailed("Xvfb did not start (see %s)" % os.path.join(self.root, "xvfb.out"))
        self.env["DISPLAY"] = ":" + number.strip().decode()

    def start_platform(self):
        server = self.spawn("platform", [sys.executable, os.path.join(self.args.source, "sandbox", "platform_server.py"),
                                         "--root", os.path.join(self.args.sandbox, "www"), "--events", self.events],
                            stdout=subprocess.PIPE)
        ready, _, _ = select.select([server.stdout], [], [], 20)
        line = server.stdout.readline().decode().split() if ready else []
        if len(line) != 2 or line[0] != "port":
            raise JourneyFailed("the sandbox platform did not start")
        self.env["KYORO_PLATFORM_URL"] = "http://127.0.0.1:" + line[1]

    # ------------------------------------------------------------ the display
    def x(self, *command, check=True):
        result = subprocess.run(list(command), env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        if check and result.returncode != 0:
            raise JourneyFailed("%s failed: %s" % (" ".join(command), result.stderr.decode(errors="replace").strip()))
        return result.stdout.decode(errors="replace")

    def visible_windows(self, pid):
        return self.x("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).split()

    def windows_named(self, name):
        return self.x("xdotool", "search", "--onlyvisible", "--name", name, check=False).split()

    def mapped(self, window):
        return "IsViewable" in self.x("xwininfo", "-id", window)

    def geometry(self, window):
        values = dict(line.split("=", 1) for line in self.x("xdotool", "getwindowgeometry", "--shell", window).split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def wait_for_main_window(self, app, timeout=60, size=WINDOW_SIZE):
        """The program's one window on the screen, with its title and (unless
        `size` is None) size."""
        def mapped_windows():
            if app.poll() is not None:
                raise JourneyFailed("VURuv ended at start with %s" % app.returncode)
            return self.visible_windows(app.pid)

        windows = wait_until("the main window to be mapped", mapped_windows, timeout)
        if len(windows) != 1:
            raise JourneyFailed("expected one window on the screen, found %d" % len(windows))
        self.window = windows[0]
        title = self.x("xdotool", "getwindowname", self.window).strip()
        if title != WINDOW_TITLE:
            raise JourneyFailed("window title %r, expected %r" % (title, WINDOW_TITLE))
        shown = self.geometry(self.window)[2:]
        if size and shown != size:
            raise JourneyFailed("window size %dx%d, expected %dx%d" % (shown + size))
        return self.window

    def wait_for_dialog(self, pid, size, what, timeout=20):
        """A window of the program other than the main window, of `size`."""
        def dialog():
            for window in self.visible_windows(pid):
                try:
                    if window != self.window and self.geometry(window)[2:] == size:
                        return window
                except JourneyFailed:
                    pass  # gone since the search (a tool tip, a closing dialog)
            return None

        return wait_until(what, dialog, timeout)

    def click(self, rect, window=None, button=1):
        gx, gy, gw, _ = self.geometry(window or self.window)
        cx, cy = center(rect)
        self.x("xdotool", "mousemove", "--sync", str(gx + cx), str(gy + cy), "click", str(button))
        # The pointer then rests on the window's title band, where no button
        # is, so that none keeps its hover look. (Outside the window, or on
        # its transparent shadow, the program may never hear that it left.)
        self.x("xdotool", "mousemove", "--sync", str(gx + gw // 2), str(gy + 14))

    def type_into(self, rect, text, window):
        """Clicks a line edit and types `text` into it, as a user would."""
        gx, gy, _, _ = self.geometry(window)
        cx, cy = center(rect)
        self.x("xdotool", "mousemove", "--sync", str(gx + cx), str(gy + cy), "click", "1")
        self.x("xdotool", "type", "--delay", "20", text)

    def focus(self, window=None):
        """Gives the window the keyboard, as a window manager does for the
        window a user brings up; the X server here has none."""
        self.x("xdotool", "windowfocus", "--sync", window or self.window)

    def keys(self, *keys):
        """Presses keys (xdotool names: Tab, shift+Tab, Return, ctrl+a) into
        the window that has the keyboard, one after the other."""
        self.x("xdotool", "key", "--delay", "80", *keys)

    def type_text(self, text):
        """Types `text` into the control that has the keyboard focus."""
        self.x("xdotool", "type", "--delay", "20", text)

    def screenshot(self, path=None):
        path = path or os.path.join(self.root, "screen.png")
        self.x("import", "-window", "root", path)
        return path

    def region(self, shot, rect, window_origin, form="rgb"):
        x, y, w, h = rect
        crop = "%dx%d+%d+%d" % (w, h, window_origin[0] + x, window_origin[1] + y)
        data = subprocess.run(["convert", shot, "-crop", crop, "+repage", "-depth", "8", form + ":-"],
                              stdout=subprocess.PIPE, check=True, timeout=30).stdout
        if len(data) != w * h * {"rgb": 3, "gray": 1}[form]:
            raise JourneyFailed("the region %s lies outside the screen" % crop)
        return data

    def picture(self, name):
        if name not in self.pictures:
            path = os.path.join(self.args.source, "src", "resources", "Resources", name + ".png")
            self.pictures[name] = subprocess.run(["convert", path, "-depth", "8", "rgba:-"],
                                                 stdout=subprocess.PIPE, check=True, timeout=30).stdout
        return self.pictures[name]

    def difference(self, shown, name):
        """Mean difference per channel between a screen region and a picture
        laid over it (transparent parts of the picture show the region)."""
        picture = self.picture(name)
        if len(picture) // 4 != len(shown) // 3:
            raise JourneyFailed("the picture %s is not the size of its button" % name)
        total = 0
        for i in range(len(shown) // 3):
            alpha = picture[4 * i + 3]
            for c in range(3):
                actual = shown[3 * i + c]
                expected = (picture[4 * i + c] * alpha + actual * (255 - alpha)) // 255
                total += abs(expected - actual)
        return total / len(shown)

    def showing(self, rect, candidates, window=None):
        """The picture among `candidates` a region of the window shows, with
        its difference; the picture name is None when none is close."""
        gx, gy, _, _ = self.geometry(window or self.window)
        shown = self.region(self.screenshot(), rect, (gx, gy))
        scores = sorted((self.difference(shown, name), name) for name in candidates)
        best, name = scores[0]
        return (name if best < MATCH_LIMIT else None), best

    def wait_for_picture(self, what, rect, candidates, wanted, timeout, window=None):
        last = [None, None]

        def check():
            last[:] = self.showing(rect, candidates, window)
            return last[0] == wanted

        try:
            wait_until(what, check, timeout, interval=0.2)
        except JourneyFailed as error:
            raise JourneyFailed("%s; the region shows %s (difference %.1f)" % (error, last[0] or "no known picture", last[1]))

    def text_likeness(self, rect, text, pixels, window=None):
        """How far a dark text on a light ground in a region of the window
        looks like `text` drawn in the expected face at `pixels` pixels:
        (ink overlap 0-1, size of the ink on the screen, size expected)."""
        gx, gy, _, _ = self.geometry(window or self.window)
        shown = ink(rect[2], rect[3], self.region(self.screenshot(), rect, (gx, gy), form="gray"))
        expected = ink(*grey_picture(["-background", "white", "-fill", "black", "-font", TEXT_FONT,
                                      "-pointsize", str(pixels), "label:" + text]))
        return overlap(shown[0], expected[0]), shown[1], expected[1]

    def expect_text(self, what, rect, text, pixels, window=None, timeout=10):
        """Fails unless the region shows `text` in the expected face, whole:
        another face, empty boxes or a clipped line all miss."""
        last = [0.0, None, None]

        def check():
            last[:] = self.text_likeness(rect, text, pixels, window)
            likeness, shown, expected = last
            return likeness >= TEXT_LIKENESS and all(abs(a - b) <= 2 for a, b in zip(shown, expected))

        try:
            wait_until(what, check, timeout, interval=0.3)
        except JourneyFailed:
            raise JourneyFailed("%s: the text is not drawn as %r in WenQuanYi Micro Hei at %d px "
                                "(ink overlap %.2f, ink %s, expected %s)" % (what, text, pixels, *last))

    # ------------------------------------------------------------ the collector
    def events_named(self, name):
        found = []
        try:
            with open(self.events, encoding="utf-8") as events:
                for line in events:
                    if line.strip():
                        envelope = json.loads(line).get("envelope") or {}
                        if envelope.get("ac") == name:
                            found.append(envelope)
        except FileNotFoundError:
            pass
        return found

    def wait_for_event(self, name, timeout=20):
        return wait_until('"%s" at the collector' % name, lambda: self.events_named(name), timeout)[0]

    def expect_tool_event(self, name, code, since=0, timeout=20):
        """The first event `name` after the first `since` ones; it must be
        for the tool of that code."""
        event = wait_until('"%s" at the collector' % name, lambda: self.events_named(name)[since:], timeout)[0]
        if (event.get("e") or {}).get("type") != code:
            raise JourneyFailed("%s for another tool than %d: %s" % (name, code, event))
        return event

    # ------------------------------------------------------------ processes
    def processes_with(self, variable, value):
        """Ids of every process (but this one) whose environment sets
        `variable` to `value`: what the journey started, directly or not."""
        marker = ("%s=%s" % (variable, value)).encode() + b"\0"
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    if marker in environ.read():
                        pids.append(int(entry))
            except OSError:
                pass
        return pids

    def expect_second_start_handed_over(self, second):
        """A second program started while the window was off the screen:
        it exits 0, the first instance's window is back, the same window,
        and only the first instance reported its start."""
        try:
            code = second.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise JourneyFailed("the second VURuv did not end within 60 s")
        if code != 0:
            raise JourneyFailed("the second VURuv exited with %d, expected 0" % code)
        wait_until("the first instance's window back on the screen", lambda: self.mapped(self.window), 20)
        if self.app.poll() is not None:
            raise JourneyFailed("the first VURuv ended (%s)" % self.app.returncode)
        if self.visible_windows(self.app.pid) != [self.window]:
            raise JourneyFailed("the window came back as another window")
        starts = len(self.events_named("startup_loading"))
        if starts != 1:
            raise JourneyFailed("the collector heard startup_loading %d times; only the first instance reports it" % starts)
        self.wait_for_picture("the window painted again", CARD_BUTTON, CARD_PICTURES, "button_install", 20)

    # ------------------------------------------------------------ tear-down
    def keep_artefacts(self, folder):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder, exist_ok=True)
        try:
            if self.env and "DISPLAY" in self.env:
                self.screenshot(os.path.join(folder, "screen-at-failure.png"))
        except Exception as error:  # the X server may be the thing that failed
            print("no screenshot: %s" % error)
        try:
            logs = self.program_logs()
            if os.path.isdir(logs):
                shutil.copytree(logs, os.path.join(folder, "program-logs"))
        except (NotImplementedError, OSError):
            pass
        for name in os.listdir(self.root):
            if name.endswith((".out", ".jsonl", ".png", ".log")):
                shutil.copy(os.path.join(self.root, name), folder)
        print("artefacts of the failed journey kept in %s" % folder)

    def stop(self):
        # The program and what it started first (a tool may have left the
        # program's process group), then the platform, then the X server,
        # which is asked to end so that it removes its lock and socket.
        self.shut_down()
        infrastructure = {process.pid for name, process in self.processes if name in ("xvfb", "platform")}
        for pid in self.our_processes() if self.env else []:
            if pid not in infrastructure:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
        for name, process in reversed(self.processes):
            if process.poll() is None:
                if name == "xvfb":
                    process.terminate()
                else:
                    process.kill()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=10)
            if process.stdout:
                process.stdout.close()
        if not getattr(self.args, "keep", False):
            shutil.rmtree(self.root, ignore_errors=True)


def argument_parser(doc):
    """The arguments every journey script takes; a script adds its own."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--sandbox", required=True, help="the build's sandbox folder")
    parser.add_argument("--source", default=SOURCE_DIR, help="the source tree")
    parser.add_argument("--artefacts", required=True, help="where a failed run keeps its screenshots and logs")
    return parser


def missing_tools(tools=("Xvfb", "xdotool", "xwininfo", "import", "convert")):
    missing = [tool for tool in tools if not shutil.which(tool)]
    for tool in missing:
        print("missing %s: scripts/test installs the packages the tests need" % tool)
    return bool(missing)


def run(desk, journeys, artefacts):
    """Sets the desktop up and runs the journeys in order, one program life;
    the first failure ends the run and keeps the artefacts. Returns the exit
    code."""
    # ctest ends a test with SIGTERM on time-out: tear down on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    shutil.rmtree(artefacts, ignore_errors=True)
    current = "set-up"
    began = time.monotonic()
    try:
        started = time.monotonic()
        desk.start()
        print("PASS set-up (%.1f s)" % (time.monotonic() - started))
        for current, journey in journeys:
            started = time.monotonic()
            journey(desk)
            print("PASS %s (%.1f s)" % (current, time.monotonic() - started))
        print("all journeys in %.1f s" % (time.monotonic() - began))
        return 0
    except (JourneyFailed, subprocess.SubprocessError, OSError) as error:
        print("FAIL %s: %s" % (current, error))
        desk.keep_artefacts(artefacts)
        return 1
    finally:
        desk.stop()
