#!/usr/bin/env python3
"""VURuv as a screen reader meets it, through AT-SPI, the accessibility bus
the Linux screen reader reads.

The program runs as in the desktop journeys (desktopjourneys.py: an X server
of its own, the sandbox platform, a fresh HOME), with a session bus and the
accessibility bus beside it. The client is Debian's pyatspi, the library the
screen reader itself uses; it runs under Debian's own Python.

Registering with the accessibility bus: Qt asks the session bus for the
accessibility bus's address and, when it finds the bus already announced
there, registers the program before the answer has come, on no connection
at all; the program then never shows among the desktop's applications (seen
in about half the runs). Qt also reads the address from the X root window's
AT_SPI_BUS property, and does so at once, before anything else: the bus
launcher sets it when started with --launch-immediately, on an X server that
keeps it (-noreset, as the journeys' server runs). So the launcher is
started first, the property is waited for, and only then the program; and
the program must be among the applications before its tree is read.

Journeys, one program life, every action an accessibility action:
  tree      the main window is a frame named "Kyoro直播管家"; every control
            of it that acts has a name, the expected ones are there, and no
            unnamed picture or empty text is shown to the reader
  install   Kyoro直播伴侣: "安装 Kyoro直播伴侣" pressed, a folder set in the
            folder dialog's field through its text interface, "确认安装"
            pressed; the card ends on "打开 Kyoro直播伴侣", which runs the tool
"""

import importlib.util
import os
import subprocess
import sys

from desktopjourneys import LinuxDesktop, drive_path, journey_end
from desktopkit import JourneyFailed, argument_parser, missing_tools, run, wait_until

APPLICATION = "VURuv"
MAIN_TITLE = "Kyoro直播管家"
# AT-SPI role names of the controls that act.
ACTING_ROLES = {"push button", "toggle button", "radio button", "check box", "combo box", "link", "page tab",
                "menu item", "slider", "spin button"}
EXPECTED_NAMES = ["最小化", "关闭", "直播", "工具箱", "Kyoro直播伴侣", "OBS", "经典版", "秀场专用版",
                  "安装 Kyoro直播伴侣", "使用教程", "联系客服", "Kyoro直播伴侣截图", "安装OBS", "录制文件夹"]


class AccessibleDesktop(LinuxDesktop):
    """The Linux program with a session bus and the accessibility bus."""

    def start(self):
        super().start()
        self.env.pop("NO_AT_BRIDGE", None)
        bus = self.spawn("session-bus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        if not address:
            raise JourneyFailed("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.spawn("a11y-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_until("the accessibility bus's address on the X root window", self.a11y_bus_address, 20)
        # The client reads the same buses, from this process.
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME"):
            os.environ[name] = self.env[name]

    def a11y_bus_address(self):
        value = self.x("xprop", "-root", "AT_SPI_BUS", check=False)
        return "unix:" in value and value


def pyatspi():
    """The client library, imported once the buses are known: it connects
    when imported, and ends the process when it finds no bus."""
    import pyatspi as module
    return module


def application():
    desktop = pyatspi().Registry.getDesktop(0)
    desktop.clearCache()
    for i in range(desktop.childCount):
        child = desktop.getChildAtIndex(i)
        if child is not None and child.name == APPLICATION:
            return child
    return None


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def showing(node):
    return node.getState().contains(pyatspi().STATE_SHOWING)


def window(app, name, role=None):
    app.clearCache()
    for i in range(app.childCount):
        child = app.getChildAtIndex(i)
        if child is not None and child.name == name and (role is None or child.getRoleName() == role) \
                and showing(child):
            return child
    return None


def find(root, name, role="push button"):
    """The shown control of that role and name below `root`."""
    root.clearCache()
    for node in walk(root):
        if node.name == name and node.getRoleName() == role and showing(node):
            return node
    return None


def press(node):
    """The control's press action, as a screen reader's "activate"."""
    actions = node.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i).lower() in ("press", "click", "toggle"):
            actions.doAction(i)
            return
    raise JourneyFailed("%r has no press action" % node.name)


def journey_start(desk):
    desk.wait_for_main_window(desk.start_program())
    # Registered, and its window is in the tree, before anything is read.
    wait_until("VURuv among the desktop's applications", application, 30)
    wait_until("the main window in VURuv's tree", lambda: window(application(), MAIN_TITLE), 20)


def journey_tree(desk):
    frame = window(application(), MAIN_TITLE)
    if frame.getRoleName() != "frame":
        raise JourneyFailed("the main window is a %s, not a frame" % frame.getRoleName())
    names = []
    for node in walk(frame):
        role = node.getRoleName()
        names.append(node.name)
        if role in ACTING_ROLES or (role == "text" and node.getState().contains(pyatspi().STATE_EDITABLE)):
            if not node.name.strip():
                raise JourneyFailed("a %s of the main window has no name (index %d in %r)"
                                    % (role, node.getIndexInParent(), node.parent.name))
        elif role in ("label", "image") and showing(node) and not node.name.strip():
            raise JourneyFailed("an unnamed %s is shown to the reader, in %r" % (role, node.parent.name))
    missing = [name for name in EXPECTED_NAMES if name not in names]
    if missing:
        raise JourneyFailed("the main window has no control named %s (it has %s)" % (missing, names))


def journey_install(desk):
    frame = window(application(), MAIN_TITLE)
    install = wait_until("the card's install button", lambda: find(frame, "安装 Kyoro直播伴侣"), 20)
    press(install)
    dialog = wait_until("the install folder dialog", lambda: window(application(), "安装Kyoro直播伴侣", "dialog"), 20)
    desk.expect_tool_event("click_install", 1)
    field = next((node for node in walk(dialog) if node.name == "安装路径" and node.getRoleName() == "text"), None)
    if field is None:
        raise JourneyFailed("the folder dialog has no field named 安装路径")
    field.queryEditableText().setTextContents("D:\\Reader")
    press(find(dialog, "确认安装"))
    wait_until("the folder dialog to close", lambda: not window(application(), "安装Kyoro直播伴侣", "dialog"), 20)

    # The download and the install report progress through the card's bar.
    open_button = wait_until("the card's open button", lambda: find(frame, "打开 Kyoro直播伴侣"), 90)
    desk.expect_tool_event("click_install_succ", 1)
    if not os.path.isfile(os.path.join(drive_path(desk, "D:\\Reader\\KYTool"), "KYTool.exe")):
        raise JourneyFailed("KYTool.exe is not in the folder set, D:\\Reader\\KYTool")
    press(open_button)
    desk.expect_tool_event("click_livetool_open", 1)
    wait_until("KYTool.exe to run", lambda: desk.tool_running("KYTool.exe"), 20)
    wait_until("the card to say the tool is live", lambda: find(frame, "Kyoro直播伴侣 直播中"), 20)


JOURNEYS = [
    ("start, registered with the accessibility bus", journey_start),
    ("the main window's tree names every control", journey_tree),
    ("Kyoro直播伴侣 installed through accessibility actions", journey_install),
    ("end on SIGTERM", journey_end),
]


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--program", required=True, help="the VURuv executable")
    args = parser.parse_args()
    if missing_tools(("Xvfb", "xdotool", "xwininfo", "xprop", "import", "convert", "dbus-daemon",
                      "/usr/libexec/at-spi-bus-launcher")):
        return 1
    if importlib.util.find_spec("pyatspi") is None:
        print("no pyatspi: scripts/test installs python3-pyatspi; run this with Debian's python3")
        return 1
    return run(AccessibleDesktop(args), JOURNEYS, args.artefacts)


if __name__ == "__main__":
    sys.exit(main())
