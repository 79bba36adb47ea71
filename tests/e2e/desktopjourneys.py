#!/usr/bin/env python3
"""Journeys through the real VURuv program as a user sees them.

The program runs under an X server of its own (Xvfb) against the sandbox
platform, in a fresh HOME with its own registry and drives, and is driven from
outside with xdotool (desktopkit.py, shared with the Windows program's
journeys): clicks land at the positions of the forms (src/ui/*.ui), counted
from the window's geometry. What the user sees is read back from screenshots:
the picture buttons are drawn from the bundled pictures, so a region of the
screen is compared with the picture it should show, and a text with the same
text drawn in the face the program is given.

Journeys, one program life:
  start         the window appears at its size with its title and the card's
                title in its face; the collector hears "startup_loading"
  second start  with the window taken off the screen, starting VURuv again
                brings it back and the second process exits 0
  install       OBS Classic from its card: install (no folder dialog), the
                card ends on its open button, and opening runs the tool
At the end the program is asked to end (SIGTERM) and must exit 0.

With --keyboard, another program life is driven with key presses only, as a
streamer without a mouse would, from the first control the window focuses:
  card install  Kyoro直播伴侣 from its card: Tab to the install button, Enter,
                a folder typed into the folder dialog, Enter; the focus then
                stands on the open button, and Enter runs the tool
  push address  OBS Classic installed from its card, then its push address
                and live code typed into the live address dialog and
                confirmed with Enter: the profile holds them, OBS runs
  wizard        Kyoro秀场直播伴侣 through the toolbox's install wizard: the
                edition, a folder, the download and install pages, done

On failure a screenshot, the program's logs and output and the collector's
events are kept in --artefacts (the path is printed).
"""

import os
import signal
import subprocess
import sys
import tempfile

from desktopkit import (CARD_BUTTON, CARD_PICTURES, COLUMN_OBS, COLUMN_PICTURES, MAIN_FORM, Desktop,
                        JourneyFailed, argument_parser, missing_tools, run, wait_until)

FOLDER_DIALOG_SIZE = (410, 270)     # kyInstallWidget, and the install wizards
ADDRESS_DIALOG_SIZE = (410, 312)    # kyLiveAddressSet
PUSH_ADDRESS = "rtmp://push.kyoro.example/live"
LIVE_CODE = "kyoro_keyboard_0042"


class LinuxDesktop(Desktop):
    """VURuv in a fresh HOME with its own registry and drives."""

    def __init__(self, args):
        super().__init__(args, tempfile.mkdtemp(prefix="kye2e-desktop-"))

    def start(self):
        env = self.base_environment()
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
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "1",
            "KYORO_SANDBOX_INSTALL_MS": "600",
            "KYORO_SANDBOX_TOOL_MAX_MS": "120000",
        })
        self.env = env
        self.start_x_server()
        self.start_platform()

    def start_program(self):
        self.app = self.spawn("vuruv", [self.args.program])
        return self.app

    def program_logs(self):
        return os.path.join(self.root, "tmp", "VURuv")

    def our_processes(self):
        """Every process that runs in this session's folders (the program, its
        second instance, installers and tools it started), by id."""
        return self.processes_with("KYORO_DRIVES_DIR", self.env["KYORO_DRIVES_DIR"])

    def tool_running(self, program):
        for pid in self.our_processes():
            try:
                if os.path.basename(os.readlink("/proc/%d/exe" % pid)) == program:
                    return pid
            except OSError:
                pass
        return None


# ---------------------------------------------------------------- journeys
def journey_start(desk):
    desk.wait_for_main_window(desk.start_program())
    loading = desk.wait_for_event("startup_loading")
    if "cpu_num" not in (loading.get("e") or {}):
        raise JourneyFailed("startup_loading without the machine's description: %s" % loading)
    # Painted, and the form's positions hold: the KYTool card offers to install.
    desk.wait_for_picture("the card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 30)
    desk.expect_text("the card's title", MAIN_FORM.rect("label_kyoroTitle"), "Kyoro直播伴侣", 22)


def journey_second_start(desk):
    desk.x("xdotool", "windowunmap", "--sync", desk.window)
    wait_until("the window to leave the screen", lambda: not desk.mapped(desk.window), 10)
    desk.expect_second_start_handed_over(desk.spawn("vuruv-second", [desk.args.program]))


def journey_obs_classic_install(desk):
    desk.click(COLUMN_OBS)
    desk.wait_for_picture("the OBS column selected", COLUMN_OBS, COLUMN_PICTURES, "button_obs_checked", 20)
    desk.wait_for_picture("the OBS card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 20)
    desk.click(CARD_BUTTON)
    # OBS Classic installs into its fixed folder: no dialog, the download starts.
    desk.expect_tool_event("click_install", 3)
    desk.wait_for_picture("the card's open button", CARD_BUTTON, CARD_PICTURES, "button_open", 60)
    desk.expect_tool_event("click_install_succ", 3)

    desk.click(CARD_BUTTON)
    wait_until("OBS.exe to run", lambda: desk.tool_running("OBS.exe"), 20)
    desk.wait_for_picture("the card's running button", CARD_BUTTON, CARD_PICTURES, "button_running", 20)


# ---------------------------------------------------------------- by keyboard
def wait_until_closed(desk, window, what, timeout=20):
    wait_until(what, lambda: window not in desk.visible_windows(desk.app.pid), timeout)


def drive_path(desk, windows_path):
    """Where a Windows path such as D:\\Apps lands in the journey's drives."""
    drive, rest = windows_path.split(":", 1)
    return os.path.join(desk.env["KYORO_DRIVES_DIR"], drive.lower(), *rest.replace("\\", "/").strip("/").split("/"))


def keyboard_folder(desk, dialog, folder):
    """The folder field has the focus: its proposal is replaced by `folder`
    and Enter confirms."""
    desk.keys("ctrl+a")
    desk.type_text(folder)
    desk.keys("Return")
    wait_until_closed(desk, dialog, "the dialog to close after Enter")


def journey_keyboard_start(desk):
    # The pointer rests off the window: the carousel's arrows show only
    # under it.
    desk.x("xdotool", "mousemove", "--sync", "1275", "795")
    desk.wait_for_main_window(desk.start_program())
    desk.wait_for_picture("the card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 30)
    desk.focus()


def journey_keyboard_card_install(desk):
    # From the first control (minimise): close, the live and toolbox pages,
    # the two tool columns, the edition (Tab stops at the checked one of the
    # two), the pictures, then the card's install button.
    desk.keys(*["Tab"] * 8, "Return")
    dialog = desk.wait_for_dialog(desk.app.pid, FOLDER_DIALOG_SIZE, "the install folder dialog")
    desk.expect_tool_event("click_install", 1)
    keyboard_folder(desk, dialog, "D:\\Apps")
    desk.expect_tool_event("click_install_succ", 1, timeout=90)
    if not os.path.isfile(os.path.join(drive_path(desk, "D:\\Apps\\KYTool"), "KYTool.exe")):
        raise JourneyFailed("KYTool.exe is not in the folder typed, D:\\Apps\\KYTool")
    # The open button took the install button's place, and the focus with it.
    desk.focus()
    desk.keys("Return")
    desk.expect_tool_event("click_livetool_open", 1)
    wait_until("KYTool.exe to run", lambda: desk.tool_running("KYTool.exe"), 20)


def journey_keyboard_push_address(desk):
    # The running tool's button takes no focus: it went on to the tutorial
    # link. Back over the pictures and the edition to the OBS column.
    clicked, succeeded = (len(desk.events_named(name)) for name in ("click_install", "click_install_succ"))
    desk.focus()
    desk.keys("shift+Tab", "shift+Tab", "shift+Tab", "Return")
    # The OBS card (only its install reports OBS Classic): its edition, its
    # pictures, the OBS site's link, the install button. OBS Classic has its
    # folder: no dialog.
    desk.keys("Tab", "Tab", "Tab", "Tab", "Return")
    desk.expect_tool_event("click_install", 3, clicked)
    desk.expect_tool_event("click_install_succ", 3, succeeded, timeout=90)

    desk.focus()
    desk.keys("Tab", "Return")  # from the open button to the push settings
    dialog = desk.wait_for_dialog(desk.app.pid, ADDRESS_DIALOG_SIZE, "the live address dialog")
    desk.focus(dialog)
    # The platform box, "获取", then the address field; the code field next.
    desk.keys("Tab", "Tab")
    desk.type_text(PUSH_ADDRESS)
    desk.keys("Tab")
    desk.type_text(LIVE_CODE)
    desk.keys("Return")
    desk.wait_for_event("click_stream_fillin")
    wait_until_closed(desk, dialog, "the live address dialog to close")
    profile = os.path.join(desk.env["XDG_CONFIG_HOME"], "OBS", "profiles", "Untitled.ini")
    with open(profile, encoding="utf-8") as text:
        content = text.read()
    if "URL=%s" % PUSH_ADDRESS not in content or "PlayPath=%s" % LIVE_CODE not in content:
        raise JourneyFailed("the OBS Classic profile does not hold what was typed: %r" % content)
    # Then VURuv starts the tool.
    wait_until("OBS.exe to run", lambda: desk.tool_running("OBS.exe"), 20)


def journey_keyboard_wizard(desk):
    # Ctrl+2 shows the toolbox page and puts the focus on its page button,
    # as a key of a button does; the page's first shortcut, next, installs
    # the platform's tool.
    desk.focus()
    desk.keys("ctrl+2", "Tab", "Return")
    wizard = desk.wait_for_dialog(desk.app.pid, FOLDER_DIALOG_SIZE, "the install wizard")
    desk.focus(wizard)
    # Kyoro直播伴侣 is installed: its row offers "点击重装", which has the
    # focus; the show edition's "确认安装" is next.
    clicked, succeeded = (len(desk.events_named(name)) for name in ("click_install", "click_install_succ"))
    desk.keys("Tab", "Return")
    desk.expect_tool_event("click_install", 2, clicked)
    # The folder page: the folder field has the focus, Enter goes on to the
    # download and install pages.
    desk.keys("ctrl+a")
    desk.type_text("D:\\Show")
    desk.keys("Return")
    wait_until("Kyoro秀场直播伴侣 installed in the folder typed", lambda: os.path.isfile(
        os.path.join(drive_path(desk, "D:\\Show\\KYShowTool"), "kyShow.exe")), 90)

    # The done page gives its "确定" the focus: Enter, pressed until that
    # page is there (Enter does nothing on the pages before), closes it.
    def closed_by_enter():
        desk.keys("Return")
        return wizard not in desk.visible_windows(desk.app.pid)

    wait_until("Enter to close the wizard on its done page", closed_by_enter, 60, interval=1)
    desk.expect_tool_event("click_install_succ", 2, succeeded)


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

KEYBOARD_JOURNEYS = [
    ("start, the focus on the first control", journey_keyboard_start),
    ("Kyoro直播伴侣 installed from its card by keyboard", journey_keyboard_card_install),
    ("OBS Classic installed and its push address typed by keyboard", journey_keyboard_push_address),
    ("Kyoro秀场直播伴侣 through the install wizard by keyboard", journey_keyboard_wizard),
    ("end on SIGTERM", journey_end),
]


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--program", required=True, help="the VURuv executable")
    parser.add_argument("--keyboard", action="store_true", help="the journeys by keyboard alone")
    args = parser.parse_args()
    if missing_tools():
        return 1
    return run(LinuxDesktop(args), KEYBOARD_JOURNEYS if args.keyboard else JOURNEYS, args.artefacts)


if __name__ == "__main__":
    sys.exit(main())
