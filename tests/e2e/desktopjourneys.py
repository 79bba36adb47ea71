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
    parser = argument_parser(__doc__)
    parser.add_argument("--program", required=True, help="the VURuv executable")
    args = parser.parse_args()
    if missing_tools():
        return 1
    return run(LinuxDesktop(args), JOURNEYS, args.artefacts)


if __name__ == "__main__":
    sys.exit(main())
