#!/usr/bin/env python3
"""VURuv.exe updates itself under Wine, as a streamer sees it.

VURuv 1.0.0 is installed with its real setup package, silently, into
C:\\Program Files\\VURuv of a prefix made for the run (winejourneys.py's),
with a setting, a tool and the login component of the user's in place. The
sandbox platform offers 1.1.0: the same program folder whose deault.data
names 1.1.0, packed by the same setup script.

Journeys, in order:
  live           a stand-in streaming tool runs: VURuv checks (the
                 description and its signature are fetched) and shows no
                 notice; the tool ends, and the notice comes a minute later
  tampered       the platform serves a setup whose bytes differ from the
                 description's SHA-256: 立即更新 downloads it, refuses it
                 (the log says why), says so, and 1.0.0 keeps running
  update         the honest setup, asked for from the tray (检查更新):
                 立即更新, VURuv quits, the setup updates the folder
                 silently and starts VURuv again: 1.1.0, from the same
                 folder, its window on the screen, the user's setting, tool
                 and login component kept, and the log saying so once

On failure a screenshot, the program's logs and output and the Wine
prefix's log are kept in --artefacts.
"""

import json
import os
import shutil
import subprocess
import sys
import time
import urllib.request

from desktopkit import JourneyFailed, argument_parser, form, missing_tools, run, wait_until
from winejourneys import PROGRAM_FOLDER, WINE, WINDOWS_CODE_PAGE, WineDesktop, end_processes, wait_for_exit

NOTICE_FORM = form("kyupdatenotice")
NOTICE_TITLE = "^发现新版本$"
MESSAGE_FORM = form("kymsgtipwidget")
DESCRIPTION = "/client_download/VURuv/files/Update/VURuv.json"
# The tool that runs during the live journey: Kyoro直播伴侣's process name.
TOOL_PROCESS = "KYTool.exe"
# The streamer's own install folder for KYTool, in the per-user settings.
SETTING = ("systemSetting", "[KYTool]\ninstallPath=D:/streaming/KYTool\n", "installPath=D:/streaming/KYTool")


class UpdateDesktop(WineDesktop):
    """VURuv 1.0.0 installed by its setup; the platform can offer 1.1.0."""

    def start(self):
        super().start()
        shutil.rmtree(self.host_path(PROGRAM_FOLDER))
        setup = self.package(self.args.package)
        code = subprocess.run([WINE, setup, "/S"], env=self.wine_env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300).returncode
        if code != 0 or not os.path.isfile(self.host_path(PROGRAM_FOLDER + "\\VURuv.exe")):
            raise JourneyFailed("the 1.0.0 setup ended with %d and installed no VURuv.exe" % code)
        self.expect_version("1.0.0")
        # What is the streamer's and must survive the update.
        # (path, what is written, what must still be there afterwards)
        self.kept = [
            (self.profile_folder("AppData", "Local", "VURuv", SETTING[0]), SETTING[1], SETTING[2]),
            (self.host_path(PROGRAM_FOLDER + "\\tools\\KYTool\\KYTool.exe"), "the streamer's tool", None),
            (self.host_path(PROGRAM_FOLDER + "\\module\\LiveCodeModule\\LiveCodeModule.exe"), "the login component",
             None),
        ]
        for path, text, _ in self.kept:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as out:
                out.write(text)
        self.newer = self.package(self.args.newer_package)
        self.tampered = os.path.join(self.root, "tampered-setup.exe")
        with open(self.newer, "rb") as source:
            data = bytearray(source.read())
        data[len(data) // 2] ^= 0x5A
        with open(self.tampered, "wb") as out:
            out.write(data)

    def package(self, folder):
        found = [name for name in os.listdir(folder) if name.startswith("VURuv-") and name.endswith("-setup.exe")]
        if len(found) != 1:
            raise JourneyFailed("expected one setup package in %s, found %s" % (folder, found))
        return os.path.join(folder, found[0])

    def offer(self, **extra):
        update = dict({"version": "1.1.0", "setup_file": self.newer,
                       "notes": "修复了直播时偶尔卡顿的问题。"}, **extra)
        self.platform("/_sandbox/update", update)

    def platform(self, path, body=None):
        request = urllib.request.Request(self.env["KYORO_PLATFORM_URL"] + path,
                                         data=None if body is None else json.dumps(body).encode(),
                                         method="GET" if body is None else "POST")
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.read().decode("utf-8", errors="replace")

    def requested(self, path):
        return sum(1 for line in self.platform("/_sandbox/requests").splitlines()
                   if line and json.loads(line)["path"] == path)

    def expect_version(self, version):
        with open(self.host_path(PROGRAM_FOLDER + "\\deault.data"), encoding="utf-8") as data:
            if "version=V%s" % version not in data.read():
                raise JourneyFailed("the program folder does not hold version %s" % version)

    def info_log(self, levels=("info",)):
        """Today's log of these levels, as one text."""
        texts = []
        for level in levels:
            path = os.path.join(self.program_logs(), "%s_%s.log" % (time.strftime("%m%d"), level))
            try:
                with open(path, "rb") as text:
                    texts.append(text.read().decode(WINDOWS_CODE_PAGE, errors="replace"))
            except FileNotFoundError:
                pass
        return "\n".join(texts)

    def notice(self, timeout):
        return wait_until("the update notice", lambda: self.windows_named(NOTICE_TITLE), timeout)[0]


def journey_live(desk):
    desk.offer(serve_file=desk.tampered)
    tool_folder = os.path.join(desk.root, "tool")
    os.makedirs(tool_folder)
    shutil.copy(desk.args.tool, os.path.join(tool_folder, TOOL_PROCESS))
    desk.spawn("tool", [WINE, TOOL_PROCESS], env=desk.wine_env, cwd=tool_folder)
    wait_until("the stand-in tool to run", lambda: desk.processes_named(TOOL_PROCESS), 30)
    desk.wait_for_main_window(desk.start_program(), timeout=90)
    # The first check comes some seconds after the window.
    wait_until("the update check", lambda: desk.requested(DESCRIPTION + ".sig"), 60)
    wait_until("the check to be judged", lambda: "offer held back while a live tool runs" in desk.info_log(), 20)
    if desk.windows_named(NOTICE_TITLE):
        raise JourneyFailed("the update notice showed while a live tool ran")
    end_processes(desk, TOOL_PROCESS)
    end = time.monotonic()
    desk.notice(120)
    waited = time.monotonic() - end
    if waited < 55:
        raise JourneyFailed("the notice came %.0f s after the tool ended, before a quiet minute" % waited)


def journey_tampered(desk):
    notice = desk.notice(5)
    desk.click(NOTICE_FORM.rect("button_confirm"), notice)
    box = wait_until("the message that the update was refused", lambda: desk.windows_named("^提示$"), 60)[0]
    if "by update setup refused" not in desk.info_log(("info", "debug", "error")):
        raise JourneyFailed("the log does not say why the setup was refused")
    if desk.app.poll() is not None:
        raise JourneyFailed("VURuv 1.0.0 ended (%s) after refusing the setup" % desk.app.returncode)
    desk.expect_version("1.0.0")
    if desk.processes_named("tampered-setup.exe") or desk.processes_named("VURuv-1.1.0-setup.exe"):
        raise JourneyFailed("a setup runs")
    desk.click(MESSAGE_FORM.rect("button_close"), box)
    wait_until("the message to close", lambda: not desk.windows_named("^提示$"), 20)


def journey_update(desk):
    desk.offer()
    old = desk.app
    desk.tray_menu_item(0, 2)
    notice = desk.notice(60)
    desk.click(NOTICE_FORM.rect("button_confirm"), notice)
    code = wait_for_exit(old, "VURuv 1.0.0 after 立即更新", 120)
    if code != 0:
        raise JourneyFailed("VURuv 1.0.0 ended with %d, expected 0" % code)
    wait_until("the folder to hold 1.1.0", lambda: open(desk.host_path(PROGRAM_FOLDER + "\\deault.data"),
                                                       encoding="utf-8").read().find("V1.1.0") >= 0, 180)
    started = wait_until("VURuv started again by the setup", lambda: desk.processes_named("VURuv.exe"), 120)
    with open("/proc/%d/cmdline" % started[0], "rb") as cmdline:
        program = cmdline.read().split(b"\0")[0].decode(errors="replace")
    if program.lower().replace("/", "\\") != (PROGRAM_FOLDER + "\\VURuv.exe").lower():
        raise JourneyFailed("the program started again is %s, not the updated one" % program)
    wait_until("the updated VURuv's window", lambda: [w for w in desk.windows_named("^Kyoro直播管家$")
                                                   if desk.geometry(w)[2] >= 900], 90)
    entry = desk.uninstall_entry("VURuv")
    if not entry or entry.get("DisplayVersion") != "1.1.0":
        raise JourneyFailed("the uninstall entry does not name 1.1.0: %s" % entry)
    for path, text, expected in desk.kept:
        try:
            with open(path, encoding="utf-8") as kept:
                content = kept.read()
        except FileNotFoundError:
            raise JourneyFailed("%s did not survive the update" % path)
        if (expected is None and content != text) or (expected is not None and expected not in content):
            raise JourneyFailed("%s changed in the update: %r" % (path, content))
    wait_until("the log to say the update completed", lambda: "by update updated to V1.1.0" in desk.info_log(), 30)
    code, text = desk.wine("taskkill", "/im", "VURuv.exe")
    if code != 0:
        raise JourneyFailed("taskkill could not ask VURuv.exe to quit: %s" % text)
    wait_until("the updated VURuv to quit", lambda: not desk.processes_named("VURuv.exe"), 30)


JOURNEYS = [
    ("a live tool holds the notice back", journey_live),
    ("a tampered setup is refused", journey_tampered),
    ("the update from the tray", journey_update),
]


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--deploy", required=True, help="the folder a Windows user gets (deploy/)")
    parser.add_argument("--package", required=True, help="the folder of the 1.0.0 setup package")
    parser.add_argument("--newer-package", required=True, help="the folder of the newer setup package")
    parser.add_argument("--tool", required=True, help="the stand-in streaming tool (a Windows program)")
    parser.add_argument("--work", required=True, help="a folder for the prefix and the run, emptied first")
    args = parser.parse_args()
    if missing_tools() or missing_tools(("wineserver", "localedef", WINE)):
        return 1
    return run(UpdateDesktop(args), JOURNEYS, args.artefacts)


if __name__ == "__main__":
    sys.exit(main())
