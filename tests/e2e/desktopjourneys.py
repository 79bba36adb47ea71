#!/usr/bin/env python3
"""Journeys through the real VURuv program as a user sees them.

The program runs under an X server of its own (Xvfb) against the sandbox
platform, in a fresh HOME with its own registry and drives, and is driven from
outside with xdotool: clicks land at the fixed positions of the forms
(src/ui/kyoromanager.ui), counted from the window's geometry. What the user
sees is read back from screenshots: the picture buttons are drawn from the
bundled pictures, so a region of the screen is compared with the picture it
should show, which does not depend on the fonts installed.

Journeys, one program life:
  start         the window appears at its size with its title; the collector
                hears "startup_loading"
  second start  with the window taken off the screen, starting VURuv again
                brings it back and the second process exits 0
  install       OBS Classic from its card: install (no folder dialog), the
                card ends on its open button, and opening runs the tool
At the end the program is asked to end (SIGTERM) and must exit 0.

On failure a screenshot, the program's logs and output and the collector's
events are kept in --artefacts (the path is printed).
"""

import argparse
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WINDOW_TITLE = "Kyoro直播管家"
WINDOW_SIZE = (942, 622)

# Positions inside the window, from kyoromanager.ui: the live page sits at
# (11, 131); its left column (widget_2) stacks 52-px buttons below a 20-px
# margin, and the card pages start 170 px further right.
COLUMN_OBS = (11, 131 + 20 + 52, 170, 52)          # button_OBSLive
CARD_BUTTON = (11 + 170 + 30, 131 + 370, 234, 64)  # button_install/open/running_*

CARD_PICTURES = ["button_install", "button_install_hover", "button_open",
                 "button_open_hover", "button_running"]
COLUMN_PICTURES = ["button_obs", "button_obs_hover", "button_obs_checked"]
# Mean difference per colour channel (0-255) under which a region shows a
# picture; a wrong picture on the same spot differs by several units.
MATCH_LIMIT = 2.0


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


class Desktop:
    """The X server, the sandbox platform and the program, in a fresh folder."""

    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="kye2e-desktop-")
        self.processes = []   # (name, Popen) we started ourselves
        self.app = None
        self.window = None
        self.env = None
        self.pictures = {}

    # ------------------------------------------------------------ set-up
    def start(self):
        env = dict(os.environ)
        for name in ("DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER"):
            env.pop(name, None)
        folders = {
            "HOME": "home",
            "XDG_DATA_HOME": "home/.local/share",
            "XDG_CONFIG_HOME": "home/.config",
            "XDG_CACHE_HOME": "home/.cache",
            "TMPDIR": "tmp",
            "XDG_RUNTIME_DIR": "runtime",
            "KYORO_REGISTRY_DIR": "registry",
            "KYORO_DRIVES_DIR": "drives",
        }
        for variable, folder in folders.items():
            path = os.path.join(self.root, folder)
            os.makedirs(path, exist_ok=True)
            env[variable] = path
        os.chmod(env["XDG_RUNTIME_DIR"], 0o700)
        env.update({
            "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "1",
            "KYORO_SANDBOX_INSTALL_MS": "600",
            "KYORO_SANDBOX_TOOL_MAX_MS": "120000",
        })
        self.env = env
        self.events = os.path.join(self.root, "events.jsonl")
        self.start_x_server()
        self.start_platform()

    def spawn(self, name, command, **kwargs):
        out = open(os.path.join(self.root, name + ".out"), "wb")
        process = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL, stdout=kwargs.pop("stdout", out),
                                   stderr=out, **kwargs)
        out.close()
        self.processes.append((name, process))
        return process

    def start_x_server(self):
        # Xvfb picks a free display itself and writes its number to the pipe.
        read_end, write_end = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
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

    def start_program(self):
        self.app = self.spawn("vuruv", [self.args.program])
        return self.app

    # ------------------------------------------------------------ the display
    def x(self, *command, check=True):
        result = subprocess.run(list(command), env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        if check and result.returncode != 0:
            raise JourneyFailed("%s failed: %s" % (" ".join(command), result.stderr.decode(errors="replace").strip()))
        return result.stdout.decode(errors="replace")

    def visible_windows(self, pid):
        return self.x("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).split()

    def mapped(self, window):
        return "IsViewable" in self.x("xwininfo", "-id", window)

    def geometry(self, window):
        values = dict(line.split("=", 1) for line in self.x("xdotool", "getwindowgeometry", "--shell", window).split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, rect):
        # The pointer then leaves the window so that no button shows its hover look.
        gx, gy, gw, gh = self.geometry(self.window)
        cx, cy = center(rect)
        self.x("xdotool", "mousemove", "--sync", str(gx + cx), str(gy + cy), "click", "1")
        self.x("xdotool", "mousemove", "--sync", str(gx + gw + 5), str(gy + gh + 5))

    def screenshot(self, path=None):
        path = path or os.path.join(self.root, "screen.png")
        self.x("import", "-window", "root", path)
        return path

    def region(self, shot, rect, window_origin):
        x, y, w, h = rect
        crop = "%dx%d+%d+%d" % (w, h, window_origin[0] + x, window_origin[1] + y)
        data = subprocess.run(["convert", shot, "-crop", crop, "+repage", "-depth", "8", "rgb:-"],
                              stdout=subprocess.PIPE, check=True, timeout=30).stdout
        if len(data) != w * h * 3:
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

    def showing(self, rect, candidates):
        """The picture among `candidates` a region of the window shows, with
        its difference; the picture name is None when none is close."""
        gx, gy, _, _ = self.geometry(self.window)
        shown = self.region(self.screenshot(), rect, (gx, gy))
        scores = sorted((self.difference(shown, name), name) for name in candidates)
        best, name = scores[0]
        return (name if best < MATCH_LIMIT else None), best

    def wait_for_picture(self, what, rect, candidates, wanted, timeout):
        last = [None, None]

        def check():
            last[:] = self.showing(rect, candidates)
            return last[0] == wanted

        try:
            wait_until(what, check, timeout, interval=0.2)
        except JourneyFailed as error:
            raise JourneyFailed("%s; the region shows %s (difference %.1f)" % (error, last[0] or "no known picture", last[1]))

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

    # ------------------------------------------------------------ tear-down
    def our_processes(self):
        """Every process that runs in this session's folders (the program, its
        second instance, installers and tools it started), by id."""
        marker = ("KYORO_DRIVES_DIR=" + self.env["KYORO_DRIVES_DIR"]).encode() + b"\0"
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

    def tool_running(self, program):
        for pid in self.our_processes():
            try:
                if os.path.basename(os.readlink("/proc/%d/exe" % pid)) == program:
                    return pid
            except OSError:
                pass
        return None

    def keep_artefacts(self):
        folder = self.args.artefacts
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder, exist_ok=True)
        try:
            if self.env and "DISPLAY" in self.env:
                self.screenshot(os.path.join(folder, "screen-at-failure.png"))
        except Exception as error:  # the X server may be the thing that failed
            print("no screenshot: %s" % error)
        logs = os.path.join(self.root, "tmp", "VURuv")
        if os.path.isdir(logs):
            shutil.copytree(logs, os.path.join(folder, "program-logs"))
        for name in os.listdir(self.root):
            if name.endswith(".out") or name.endswith(".jsonl") or name.endswith(".png"):
                shutil.copy(os.path.join(self.root, name), folder)
        print("artefacts of the failed journey kept in %s" % folder)

    def stop(self):
        # The program and what it started first (a tool may have left the
        # program's process group), then the platform, then the X server,
        # which is asked to end so that it removes its lock and socket.
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
        shutil.rmtree(self.root, ignore_errors=True)


# ---------------------------------------------------------------- journeys
def journey_start(desk):
    app = desk.start_program()

    def mapped_windows():
        if app.poll() is not None:
            raise JourneyFailed("VURuv ended at start with %s" % app.returncode)
        return desk.visible_windows(app.pid)

    windows = wait_until("the main window to be mapped", mapped_windows, 60)
    if len(windows) != 1:
        raise JourneyFailed("expected one window on the screen, found %d" % len(windows))
    desk.window = windows[0]
    title = desk.x("xdotool", "getwindowname", desk.window).strip()
    if title != WINDOW_TITLE:
        raise JourneyFailed("window title %r, expected %r" % (title, WINDOW_TITLE))
    size = desk.geometry(desk.window)[2:]
    if size != WINDOW_SIZE:
        raise JourneyFailed("window size %dx%d, expected %dx%d" % (size + WINDOW_SIZE))
    loading = desk.wait_for_event("startup_loading")
    if "cpu_num" not in (loading.get("e") or {}):
        raise JourneyFailed("startup_loading without the machine's description: %s" % loading)
    # Painted, and the form's positions hold: the KYTool card offers to install.
    desk.wait_for_picture("the card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 30)


def journey_second_start(desk):
    desk.x("xdotool", "windowunmap", "--sync", desk.window)
    wait_until("the window to leave the screen", lambda: not desk.mapped(desk.window), 10)
    second = desk.spawn("vuruv-second", [desk.args.program])
    try:
        code = second.wait(timeout=60)
    except subprocess.TimeoutExpired:
        raise JourneyFailed("the second VURuv did not end within 60 s")
    if code != 0:
        raise JourneyFailed("the second VURuv exited with %d, expected 0" % code)
    wait_until("the first instance's window back on the screen", lambda: desk.mapped(desk.window), 20)
    if desk.app.poll() is not None:
        raise JourneyFailed("the first VURuv ended (%s)" % desk.app.returncode)
    if desk.visible_windows(desk.app.pid) != [desk.window]:
        raise JourneyFailed("the window came back as another window")
    starts = len(desk.events_named("startup_loading"))
    if starts != 1:
        raise JourneyFailed("the collector heard startup_loading %d times; only the first instance reports it" % starts)
    desk.wait_for_picture("the window painted again", CARD_BUTTON, CARD_PICTURES, "button_install", 20)


def journey_obs_classic_install(desk):
    desk.click(COLUMN_OBS)
    desk.wait_for_picture("the OBS column selected", COLUMN_OBS, COLUMN_PICTURES, "button_obs_checked", 20)
    desk.wait_for_picture("the OBS card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 20)
    desk.click(CARD_BUTTON)
    # OBS Classic installs into its fixed folder: no dialog, the download starts.
    install = desk.wait_for_event("click_install")
    if (install.get("e") or {}).get("type") != 3:
        raise JourneyFailed("click_install for another tool: %s" % install)
    desk.wait_for_picture("the card's open button", CARD_BUTTON, CARD_PICTURES, "button_open", 60)
    succeeded = desk.wait_for_event("click_install_succ")
    if (succeeded.get("e") or {}).get("type") != 3:
        raise JourneyFailed("click_install_succ for another tool: %s" % succeeded)

    desk.click(CARD_BUTTON)
    wait_until("OBS.exe to run", lambda: desk.tool_running("OBS.exe"), 20)
    desk.wait_for_picture("the card's running button", CARD_BUTTON, CARD_PICTURES, "button_running", 20)


def journey_end(desk):
    desk.app.send_signal(signal.SIGTERM)
    try:
        code = desk.app.wait(timeout=30)
    except subprocess.TimeoutExpired:
        raise JourneyFailed("VURuv did not end within 30 s of SIGTERM")
    if code != 0:
        raise JourneyFailed("VURuv ended with %d after SIGTERM, expected 0" % code)
    desk.wait_for_event("endup_quit")


JOURNEYS = [
    ("start", journey_start),
    ("second start brings the window back", journey_second_start),
    ("OBS Classic install to the open button", journey_obs_classic_install),
    ("end on SIGTERM", journey_end),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the VURuv executable")
    parser.add_argument("--sandbox", required=True, help="the build's sandbox folder")
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--artefacts", required=True, help="where a failed run keeps its screenshots and logs")
    args = parser.parse_args()

    for tool in ("Xvfb", "xdotool", "xwininfo", "import", "convert"):
        if not shutil.which(tool):
            print("missing %s: scripts/test installs the packages the tests need" % tool)
            return 1
    # ctest ends a test with SIGTERM on time-out: tear down on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))

    shutil.rmtree(args.artefacts, ignore_errors=True)
    desk = Desktop(args)
    current = "set-up"
    try:
        desk.start()
        for current, journey in JOURNEYS:
            began = time.monotonic()
            journey(desk)
            print("PASS %s (%.1f s)" % (current, time.monotonic() - began))
        return 0
    except (JourneyFailed, subprocess.SubprocessError, OSError) as error:
        print("FAIL %s: %s" % (current, error))
        desk.keep_artefacts()
        return 1
    finally:
        desk.stop()


if __name__ == "__main__":
    sys.exit(main())
