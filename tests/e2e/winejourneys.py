#!/usr/bin/env python3
"""Journeys through the real VURuv.exe under Wine, as a Windows user sees them.

The folder a user gets (deploy/) is installed into C:\\Program Files\\VURuv of
a new Wine prefix of the run's own, set up as a Chinese Windows: code page 936
and the faces the style sheets ask for (font replacements). The prefix has its
own Wine server, so its process list (Toolhelp32) holds only this run's
programs. The program runs under an X server of its own against the sandbox
platform and is driven from outside with xdotool, like the Linux journeys
(desktopkit.py): clicks at the forms' positions, screen regions compared with
the bundled pictures and with texts drawn in the expected face.

Journeys, in order:
  start          a clean prefix: the window at its size, the card's title in
                 the expected face; "startup_loading" and "init_page_home"
                 at the collector
  second start   the window closed to the tray; starting VURuv.exe again
                 brings it back and the second process exits 0
  KYTool         installed through the card: download, silent installer
                 (ShellExecuteW, "/S /D="), the entry in the registry's 32-bit
                 view, open (Toolhelp32 sees it run), running
  reinstall      through the toolbox's wizard: VURuv uninstalls silently (the
                 uninstaller hands over to Au_.exe) and installs again
  uninstall      as Windows' programs list does, with the entry's
                 UninstallString: the card offers to install again
  OBS Studio     installed, a push address typed by hand: global.ini,
                 basic.ini and service.json under %APPDATA%\\obs-studio; it runs
  quit           退出 in the tray menu ends VURuv with 0 ("endup_quit")
  crash          the test variant of VURuv.exe, in a folder of its own with
                 the prefix's dbghelp.dll, crashes: the dump lies beside it,
                 BugReporter.exe got the four values, the message box shows
                 and the program exits 0
  logs           the day's logs in the prefix's %TEMP%\\VURuv, in code page 936
  120/144/192    the display set to 125 %, 150 % and 200 % (the prefix's
  DPI            LogPixels): VURuv.exe opens its window at 942 x 622 times
                 the scale in device pixels, inside the screen where it fits
                 (125 % on the run's 1280 x 800 screen) and at its top left
                 where it does not, and at 200 % the left column's first
                 button shows its 2x picture pixel for pixel

On failure a screenshot, the program's logs and output, the collector's events
and the Wine prefix's log are kept in --artefacts (the path is printed).
"""

import glob
import json
import os
import pwd
import re
import shutil
import subprocess
import sys
import time

from desktopkit import (CARD_BUTTON, CARD_PICTURES, COLUMN_OBS, COLUMN_PICTURES, MAIN_FORM, SOURCE_DIR, Desktop,
                        JourneyFailed, argument_parser, form, missing_tools, run, wait_until)

WINE = shutil.which("wine64", path="/usr/lib/wine:" + os.environ.get("PATH", "")) or "wine64"
PROGRAM_FOLDER = "C:\\Program Files\\VURuv"
CRASH_FOLDER = "C:\\VURuv crash test"
UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
# Wine takes the Windows code pages from the locale's name (936, as on a
# Chinese Windows) and the host's file names and arguments from the locale's
# character set, which only a locale the C library knows gives: it is made
# for the run (LOCPATH), not installed on the host.
WINDOWS_LOCALE = "zh_CN.UTF-8"
WINDOWS_CODE_PAGE = "gbk"

# The title bar lays its buttons out itself (kytitlebar.ui): the close
# button ends its first row, the two page tabs are centred in the second.
TITLE_CLOSE = (11 + 920 - 36, 11, 36, 36)
LIVE_TAB = (351, 47, 120, 84)
TOOLBOX_TAB = (471, 47, 120, 84)

INSTALL_FORM = form("kyinstallwidget")
WIZARD_FORM = form("kykyoroinstallwidget")
ADDRESS_FORM = form("kyliveaddressset")
DIALOG_SIZE = (410, 270)
ADDRESS_SIZE = (410, 312)

# The run's screen: the window fits it at 125 %, not at 150 % and 200 %.
SCREEN_SIZE = (1280, 800)
# The left column's first button (button_KyoroLive, checked at start): an
# opaque picture that lies on the screen at 200 %.
COLUMN_KYORO = (11, 131 + 20, 170, 52)

PUSH_ADDRESS = "rtmp://127.0.0.1:1935/live"
LIVE_CODE = "journey-code-42"


class WineDesktop(Desktop):
    """VURuv.exe installed into a prefix made for the run."""

    def __init__(self, args):
        shutil.rmtree(args.work, ignore_errors=True)
        os.makedirs(args.work)
        super().__init__(args, os.path.abspath(args.work))
        self.prefix = os.path.join(self.root, "prefix")
        self.wine_env = None
        self.user = pwd.getpwuid(os.getuid()).pw_name

    def start(self):
        self.env = self.base_environment()
        self.env.update({"KYORO_SANDBOX_INSTALL_MS": "600", "KYORO_SANDBOX_TOOL_MAX_MS": "120000"})
        self.start_x_server()
        self.start_platform()
        locales = os.path.join(self.root, "locale")
        os.makedirs(locales)
        made = subprocess.run(["localedef", "-i", "zh_CN", "-f", "UTF-8", os.path.join(locales, WINDOWS_LOCALE)],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        if made.returncode != 0:
            raise JourneyFailed("localedef could not make %s: %s" % (WINDOWS_LOCALE, made.stdout.decode(errors="replace")))
        self.wine_env = dict(self.env, WINEPREFIX=self.prefix, WINEDEBUG="-all", LOCPATH=locales,
                             LANG=WINDOWS_LOCALE, LC_ALL=WINDOWS_LOCALE)
        # After the X server: the prefix's own services (the desktop and its
        # tray) connect to it.
        made = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "lib", "wineprefix.sh"), "start"],
                              env=self.wine_env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=180)
        if made.returncode != 0:
            raise JourneyFailed("the Wine prefix was not made: %s" % made.stdout.decode(errors="replace"))
        # No window manager runs on the X server: Wine would wait up to two
        # seconds on each hide and show for one to answer.
        code, text = self.wine("reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        if code != 0:
            raise JourneyFailed("cannot tell Wine that no window manager runs: %s" % text)
        shutil.copytree(self.args.deploy, self.host_path(PROGRAM_FOLDER))

    def shut_down(self):
        if self.wine_env:
            subprocess.run(["wineserver", "-k"], env=self.wine_env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)

    def keep_artefacts(self, folder):
        if os.path.exists(self.prefix + ".log"):
            shutil.copy(self.prefix + ".log", os.path.join(self.root, "wineprefix.log"))
        super().keep_artefacts(folder)

    # ------------------------------------------------------------ Windows
    def host_path(self, windows_path):
        """The file behind a path on the prefix's drive C:."""
        drive, rest = windows_path.split(":", 1)
        if drive.upper() != "C":
            raise JourneyFailed("%s is not on drive C:" % windows_path)
        return os.path.join(self.prefix, "drive_c", *[part for part in rest.split("\\") if part])

    def profile_folder(self, *parts):
        return os.path.join(self.prefix, "drive_c", "users", self.user, *parts)

    def program_logs(self):
        return self.profile_folder("Temp", "VURuv")

    def start_program(self, name="vuruv", folder=PROGRAM_FOLDER, **variables):
        # From its own folder, as Explorer starts it, so Wine finds its DLLs.
        process = self.spawn(name, [WINE, "VURuv.exe"], env=dict(self.wine_env, **variables),
                             cwd=self.host_path(folder))
        if name == "vuruv":
            self.app = process
        return process

    def wine(self, *command, timeout=60):
        result = subprocess.run([WINE] + list(command), env=self.wine_env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        return result.returncode, result.stdout.decode(WINDOWS_CODE_PAGE, errors="replace")

    def uninstall_entry(self, display_name, view=32):
        """The values of a tool's uninstall entry in one view of the registry
        (32 or 64), read with Wine's reg.exe; None when there is none."""
        code, text = self.wine("reg", "query", UNINSTALL_KEY + display_name, "/reg:%d" % view)
        if code != 0:
            return None
        values = {}
        for line in text.splitlines():
            match = re.match(r"\s+(\S+)\s+REG_SZ\s+(.*)$", line)
            if match:
                values[match.group(1)] = match.group(2).rstrip("\r")
        return values

    def our_processes(self):
        """Every process of this prefix, by id: the Wine programs carry it in
        their environment."""
        return self.processes_with("WINEPREFIX", self.prefix)

    def processes_named(self, program):
        """Ids of this prefix's processes running a program of that file name."""
        found = []
        for pid in self.our_processes():
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
                    first = cmdline.read().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            if re.split(r"[\\/]", first)[-1].lower() == program.lower():
                found.append(pid)
        return found

    def tray_menu_item(self, index, count):
        """Clicks entry `index` of the `count` in VURuv's tray menu
        ("检查更新" above "退出") and returns the menu's window."""
        trays = self.windows_named("^Wine System Tray$")
        if not trays:
            raise JourneyFailed("no Wine System Tray on the screen")

        # VURuv's icon is the tray's first: the bottom-left cell of the tray
        # window, below the caption when the window's X area includes the one
        # Wine draws itself.
        def menu():
            height = self.geometry(trays[0])[3]
            self.click((0, max(0, height - 20), 20, 20), trays[0], button=3)
            try:
                return wait_until("the menu", lambda: [w for w in self.visible_windows(self.app.pid)
                                                       if w != self.window], 3)
            except JourneyFailed:
                return None

        shown = wait_until("the tray menu on a right click", menu, 20, interval=0)[0]
        try:
            _, _, width, height = self.geometry(shown)
            self.click((0, height * index // count, width, height // count), shown)
        except JourneyFailed:
            pass  # gone before the click
        return shown


# ---------------------------------------------------------------- helpers
def wait_for_exit(process, what, timeout):
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise JourneyFailed("%s did not end within %d s" % (what, timeout))


def wait_while_running(what, condition, running):
    """Polls `condition` for as long as `running()` says that the process
    which brings it about still runs: for a step whose length the machine's
    load decides, not the program. Fails once the process has ended without
    it."""
    while True:
        value = condition()
        if value:
            return value
        if not running():
            value = condition()
            if value:
                return value
            raise JourneyFailed("%s: the process that was to bring it about has ended" % what)
        time.sleep(0.1)


def wait_until_closed(desk, window, what, timeout=20):
    wait_until(what, lambda: window not in desk.visible_windows(desk.app.pid), timeout)


def end_processes(desk, program):
    for pid in desk.processes_named(program):
        os.kill(pid, 9)
    wait_until("%s to end" % program, lambda: not desk.processes_named(program), 20)


# ---------------------------------------------------------------- journeys
def journey_start(desk):
    desk.wait_for_main_window(desk.start_program(), timeout=90)
    loading = desk.wait_for_event("startup_loading", 30)
    if "cpu_num" not in (loading.get("e") or {}):
        raise JourneyFailed("startup_loading without the machine's description: %s" % loading)
    desk.wait_for_event("init_page_home")
    desk.wait_for_picture("the card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 30)
    desk.expect_text("the card's title", MAIN_FORM.rect("label_kyoroTitle"), "Kyoro直播伴侣", 22)


def journey_second_start(desk):
    desk.click(TITLE_CLOSE)
    wait_until("the window to go to the tray", lambda: not desk.mapped(desk.window), 10)
    desk.expect_second_start_handed_over(desk.start_program("vuruv-second"))


def install_through_card(desk, code, mode_title):
    """The card's install button, the folder dialog's confirmation, and the
    card's open button at the end."""
    clicked, succeeded = (len(desk.events_named(name)) for name in ("click_install", "click_install_succ"))
    desk.click(CARD_BUTTON)
    dialog = desk.wait_for_dialog(desk.app.pid, DIALOG_SIZE, "the install folder dialog (%s)" % mode_title)
    desk.expect_tool_event("click_install", code, clicked)
    desk.click(INSTALL_FORM.rect("button_confirmInstall"), dialog)
    wait_until_closed(desk, dialog, "the install folder dialog to close")
    desk.wait_for_picture("the card's open button", CARD_BUTTON, CARD_PICTURES, "button_open", 90)
    desk.expect_tool_event("click_install_succ", code, succeeded)


def kytool_entry(desk):
    entry = desk.uninstall_entry("Kyoro直播伴侣")
    if not entry:
        raise JourneyFailed("no uninstall entry for Kyoro直播伴侣 in the registry's 32-bit view")
    return entry


def journey_kytool(desk):
    install_through_card(desk, 1, "KYTool")
    entry = kytool_entry(desk)
    folder = PROGRAM_FOLDER + "\\tools\\KYTool"
    if entry.get("DisplayName") != "Kyoro直播伴侣" or entry.get("UninstallString") != folder + "\\uninstall.exe":
        raise JourneyFailed("the uninstall entry names another tool or folder: %s" % entry)
    if desk.uninstall_entry("Kyoro直播伴侣", view=64) is not None:
        raise JourneyFailed("the uninstall entry landed in the 64-bit view, where 32-bit installers never write")
    if not os.path.isfile(desk.host_path(folder + "\\KYTool.exe")):
        raise JourneyFailed("KYTool.exe is not in %s" % folder)

    desk.click(CARD_BUTTON)
    desk.expect_tool_event("click_livetool_open", 1)
    wait_until("KYTool.exe to run", lambda: desk.processes_named("KYTool.exe"), 20)
    desk.wait_for_picture("the card's running button", CARD_BUTTON, CARD_PICTURES, "button_running", 20)


def journey_reinstall(desk):
    # The wizard refuses a running tool: the streamer closes it first.
    end_processes(desk, "KYTool.exe")
    desk.wait_for_picture("the card's open button", CARD_BUTTON, CARD_PICTURES, "button_open", 20)
    program = desk.host_path(PROGRAM_FOLDER + "\\tools\\KYTool\\KYTool.exe")
    installed_at = os.stat(program).st_mtime_ns

    succeeded = len(desk.events_named("click_install_succ"))
    desk.click(TOOLBOX_TAB)
    desk.click(MAIN_FORM.rect("button_installKyoroLive"))
    wizard = desk.wait_for_dialog(desk.app.pid, DIALOG_SIZE, "the install wizard")
    # KYTool is installed: its row offers "点击重装"; the folder page keeps
    # the folder it was installed to.
    desk.click(WIZARD_FORM.rect("label_clickReload"), wizard)
    time.sleep(0.5)
    desk.click(WIZARD_FORM.rect("button_nextStep"), wizard)

    # The installer is at hand already: VURuv uninstalls silently first (the
    # uninstaller hands over to Au_.exe, which removes the files), then the
    # installer lays them anew.
    seen = {"Au_.exe": False, "removed": False}

    def reinstalled():
        seen["Au_.exe"] = seen["Au_.exe"] or bool(desk.processes_named("Au_.exe"))
        try:
            return os.stat(program).st_mtime_ns != installed_at
        except FileNotFoundError:
            seen["removed"] = True
            return False

    wait_until("KYTool to be installed anew", reinstalled, 60, interval=0.05)
    if not seen["removed"] or not seen["Au_.exe"]:
        raise JourneyFailed("KYTool was installed again without the uninstall first (%s)" % seen)

    # The wizard's last page confirms; until it shows, the click lands on the
    # progress page, which takes no clicks. A click closes the wizard a
    # moment later: the next round finds it gone, or it goes between the
    # look and the click.
    def confirmed():
        if wizard not in desk.visible_windows(desk.app.pid):
            return True
        try:
            desk.click(WIZARD_FORM.rect("button_confirm"), wizard)
        except JourneyFailed:
            pass
        return wizard not in desk.visible_windows(desk.app.pid)

    wait_until("the wizard's 确定 to close it", confirmed, 30, interval=0.5)
    # Both the main window (KYTool is its current tool) and the wizard's
    # 确定 report the install.
    wait_until("click_install_succ from the window and the wizard",
               lambda: len(desk.events_named("click_install_succ")) == succeeded + 2, 20)
    kytool_entry(desk)
    desk.click(LIVE_TAB)
    desk.wait_for_picture("the card's open button", CARD_BUTTON, CARD_PICTURES, "button_open", 20)


def journey_uninstall(desk):
    uninstaller = kytool_entry(desk)["UninstallString"]
    # As the programs list of Windows does: the entry's command with /S.
    process = desk.spawn("uninstall", [WINE, uninstaller, "/S"], env=desk.wine_env)
    code = wait_for_exit(process, "the uninstaller", 60)
    if code != 0:
        raise JourneyFailed("the uninstaller exited with %d" % code)
    program = desk.host_path(PROGRAM_FOLDER + "\\tools\\KYTool\\KYTool.exe")
    wait_until("Au_.exe to remove KYTool.exe", lambda: not os.path.exists(program), 20)
    wait_until("Au_.exe to end", lambda: not desk.processes_named("Au_.exe"), 20)
    if desk.uninstall_entry("Kyoro直播伴侣") is not None:
        raise JourneyFailed("the uninstall entry is still there")
    # The status monitor sees the entry go within its ticks and the card
    # offers the install again, without being clicked: a click could land
    # on the install button the card has just put there and open the
    # wizard. Nothing may have tried to start the tool meanwhile.
    opened = len(desk.events_named("click_livetool_open"))
    desk.wait_for_picture("the card's install button", CARD_BUTTON, CARD_PICTURES, "button_install", 20)
    if len(desk.events_named("click_livetool_open")) != opened or desk.processes_named("KYTool.exe"):
        raise JourneyFailed("opening an uninstalled tool tried to start it")


def obs_studio_files(desk):
    """The three files OBS Studio reads the push address from."""
    root = desk.profile_folder("AppData", "Roaming", "obs-studio")
    global_ini = os.path.join(root, "global.ini")
    try:
        with open(global_ini, encoding="utf-8-sig") as text:
            content = text.read()
    except FileNotFoundError:
        raise JourneyFailed("no %s" % global_ini)
    # OBS opens the profile folder only when the profile is named as well.
    profile = re.search(r"^ProfileDir=(.+?)\r?$", content, re.M)
    if not profile or not re.search(r"^Profile=.+$", content, re.M):
        raise JourneyFailed("%s names no profile for OBS to open: %r" % (global_ini, content))
    folder = os.path.join(root, "basic", "profiles", profile.group(1))
    return global_ini, os.path.join(folder, "basic.ini"), os.path.join(folder, "service.json")


def journey_obs_studio(desk):
    desk.click(COLUMN_OBS)
    desk.wait_for_picture("the OBS column selected", COLUMN_OBS, COLUMN_PICTURES, "button_obs_checked", 20)
    radio = MAIN_FORM.rect("radio_studio")
    desk.click((radio[0], radio[1], 20, radio[3]))
    desk.expect_text("the OBS card's title", MAIN_FORM.rect("label_OBSTitle"), "OBS工作室版", 22)
    install_through_card(desk, 4, "OBS Studio")

    desk.click(MAIN_FORM.rect("button_liveset"))
    dialog = desk.wait_for_dialog(desk.app.pid, ADDRESS_SIZE, "the live address dialog")
    desk.type_into(ADDRESS_FORM.rect("ledit_RTMP"), PUSH_ADDRESS, dialog)
    desk.type_into(ADDRESS_FORM.rect("ledit_liveCode"), LIVE_CODE, dialog)
    desk.click(ADDRESS_FORM.rect("button_confirm"), dialog)
    desk.wait_for_event("click_stream_fillin")
    wait_until_closed(desk, dialog, "the live address dialog to close")

    global_ini, basic_ini, service_json = obs_studio_files(desk)
    for path in (basic_ini, service_json):
        if not os.path.isfile(path):
            raise JourneyFailed("no %s" % path)
    with open(service_json, encoding="utf-8") as text:
        service = json.load(text)
    settings = service.get("settings") or {}
    if (settings.get("server"), settings.get("key"), service.get("type")) != (PUSH_ADDRESS, LIVE_CODE, "rtmp_custom"):
        raise JourneyFailed("service.json does not hold the typed address: %s" % service)
    # Then VURuv starts the tool (the first of its programs it finds).
    wait_until("OBS Studio to run", lambda: desk.processes_named("obs32.exe") + desk.processes_named("obs64.exe"), 20)
    desk.wait_for_picture("the card's running button", CARD_BUTTON, CARD_PICTURES, "button_running", 20)


def journey_quit(desk):
    # A menu Wine has only just mapped may still be on its way to its place:
    # a click that misses it closes it without a choice. The program then
    # still runs and says nothing, and the menu is opened again.
    for _ in range(3):
        shown = desk.tray_menu_item(1, 2)
        wait_until("the tray menu to close", lambda: shown not in desk.visible_windows(desk.app.pid), 20)
        try:
            wait_until("endup_quit or VURuv.exe's end",
                       lambda: desk.events_named("endup_quit") or desk.app.poll() is not None, 10)
            break
        except JourneyFailed:
            pass
    desk.expect_tool_event("endup_quit", 1)
    code = wait_for_exit(desk.app, "VURuv.exe after 退出", 30)
    if code != 0:
        raise JourneyFailed("VURuv.exe ended with %d after 退出, expected 0" % code)


def journey_crash(desk):
    folder = desk.host_path(CRASH_FOLDER)
    shutil.copytree(desk.args.testvariant, folder)
    # The dump writer is loaded from the program folder, never from the
    # search path; the prefix's own is placed there.
    shutil.copy(desk.host_path("C:\\windows\\system32\\dbghelp.dll"), folder)
    crashing = desk.start_program("vuruv-crash", CRASH_FOLDER, KYORO_TEST_CRASH="segv")
    # Wine's dump writer reads the unwind data of every function of every
    # module (some 80000 for VURuv.exe and Qt) from the crashed process, and
    # writes each as a memory range of its own: each read is a request to the
    # Wine server, which stops the process to read it (ptrace). That takes a
    # minute or more on a busy machine before the reporter starts and the
    # message shows; the wait ends when the message shows or the process ends.
    box = wait_while_running("the crash message", lambda: desk.windows_named("^崩溃提示$"),
                             lambda: crashing.poll() is None)[0]

    dumps = glob.glob(os.path.join(folder, "VURuv_*_V1.0.0.dmp"))
    if len(dumps) != 1 or not re.fullmatch(r"VURuv_\d{4}-\d{4}-\d{4}-\d{2}_V1\.0\.0\.dmp", os.path.basename(dumps[0])):
        raise JourneyFailed("expected one dump beside VURuv.exe, found %s" % os.listdir(folder))
    with open(dumps[0], "rb") as dump:
        if dump.read(4) != b"MDMP":
            raise JourneyFailed("%s is no minidump" % dumps[0])
    record = os.path.join(folder, "BugReporter.args")
    # Started before the message showed, the reporter writes its record and
    # ends. Its process cannot be told to have ended: while Wine sets a
    # process up, its command line names only Wine's loader for a moment.
    # The crashed program stays until its message is answered, so the wait
    # is for the record alone, with a bound for a reporter that never came.
    try:
        wait_until("BugReporter.exe's record",
                   lambda: os.path.isfile(record) and open(record, "rb").read().endswith(b"\n"), 300)
    except JourneyFailed as failure:
        written = open(record, "rb").read() if os.path.isfile(record) else None
        raise JourneyFailed("%s (record: %r; folder: %s)" % (failure, written, sorted(os.listdir(folder))))
    with open(record, "rb") as text:
        values = text.read().rstrip(b"\n").split(b"\0")[:-1]
    values = [value.decode() for value in values]
    # The upload server is the platform's too: the sandbox stands in for it.
    expected = [desk.env["KYORO_PLATFORM_URL"] + "//KYLiveMgr//", CRASH_FOLDER + "\\" + os.path.basename(dumps[0]),
                "upload_agent:Qm7rVx2LpT9wKd4N", "3747"]
    if values != expected:
        raise JourneyFailed("BugReporter.exe was given %s, expected %s" % (values, expected))

    desk.x("xdotool", "mousemove", "--sync", *[str(v + 20) for v in desk.geometry(box)[:2]], "click", "1")
    desk.x("xdotool", "key", "Return")
    code = wait_for_exit(crashing, "the crashed VURuv.exe after its message", 30)
    if code != 0:
        raise JourneyFailed("the crashed VURuv.exe exited with %d, expected 0" % code)


def journey_logs(desk):
    folder = desk.program_logs()
    day = time.strftime("%m%d")
    info, debug = (os.path.join(folder, "%s_%s.log" % (day, level)) for level in ("info", "debug"))
    for path in (info, debug):
        if not os.path.isfile(path):
            raise JourneyFailed("no %s in %%TEMP%%\\VURuv (found %s)" % (os.path.basename(path), os.listdir(folder)))
    with open(info, "rb") as text:
        if not text.read().startswith(b"\r\n"):
            raise JourneyFailed("the info log does not start with the blank line of a start")
    with open(debug, "rb") as text:
        lines = text.read().decode(WINDOWS_CODE_PAGE).split("\r\n")
    stamp = re.compile(r"\[\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\]:  Debug: ")
    if not all(stamp.match(line) for line in lines if line):
        raise JourneyFailed("a debug log line without its time stamp and level")
    if not any(line.endswith("by tq download Kyoro直播伴侣 success") for line in lines):
        raise JourneyFailed("the debug log does not name the downloaded tool in code page 936")


def set_display_dpi(desk, dpi):
    """The prefix's display scale, as Windows' display settings set it;
    programs started afterwards get it as the display's DPI."""
    for key in ("HKCU\\Control Panel\\Desktop", "HKCU\\Software\\Wine\\Fonts"):
        code, text = desk.wine("reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
        if code != 0:
            raise JourneyFailed("cannot set LogPixels to %d: %s" % (dpi, text))


def journey_display_scale(dpi):
    def journey(desk):
        scale = dpi / 96.0
        set_display_dpi(desk, dpi)
        try:
            app = desk.start_program("vuruv-%d" % dpi)
            desk.wait_for_main_window(app, timeout=90, size=None)
            desk.app = app
            x, y, width, height = desk.geometry(desk.window)
            expected = (round(942 * scale), round(622 * scale))
            if abs(width - expected[0]) > 1 or abs(height - expected[1]) > 1:
                raise JourneyFailed("at %d DPI the window is %dx%d device pixels, expected %dx%d"
                                    % ((dpi, width, height) + expected))
            fits = width <= SCREEN_SIZE[0] and height <= SCREEN_SIZE[1]
            if fits and (x < 0 or y < 0 or x + width > SCREEN_SIZE[0] or y + height > SCREEN_SIZE[1]):
                raise JourneyFailed("at %d DPI the window at (%d, %d) leaves the screen" % (dpi, x, y))
            if not fits and (x, y) != (0, 0):
                raise JourneyFailed("at %d DPI the window, larger than the screen, opens at (%d, %d), not at its "
                                    "top left" % (dpi, x, y))
            if dpi == 192:
                # The pointer on the window's clear margin hovers no button.
                desk.x("xdotool", "mousemove", "--sync", str(x + 4), str(y + 4))
                twice = tuple(2 * value for value in COLUMN_KYORO)
                desk.wait_for_picture("the left column's first button drawn from its 2x picture", twice,
                                      ["button_kyoro_checked@2x"], "button_kyoro_checked@2x", 30)
            desk.screenshot(os.path.join(desk.root, "window-%d-dpi.png" % dpi))
            code, text = desk.wine("taskkill", "/im", "VURuv.exe")
            if code != 0:
                raise JourneyFailed("taskkill could not ask VURuv.exe to quit: %s" % text)
            exit_code = wait_for_exit(app, "VURuv.exe at %d DPI after taskkill" % dpi, 30)
            if exit_code != 0:
                raise JourneyFailed("VURuv.exe at %d DPI ended with %d, expected 0" % (dpi, exit_code))
        finally:
            set_display_dpi(desk, 96)
    return journey


JOURNEYS = [
    ("start on a clean prefix", journey_start),
    ("second start brings the window back", journey_second_start),
    ("KYTool installed through the card and run", journey_kytool),
    ("KYTool reinstalled through the wizard", journey_reinstall),
    ("KYTool uninstalled", journey_uninstall),
    ("OBS Studio installed with a push address typed in", journey_obs_studio),
    ("quit from the tray", journey_quit),
    ("crash of the test variant", journey_crash),
    ("logs in %TEMP%\\VURuv", journey_logs),
    ("the window at 120 DPI", journey_display_scale(120)),
    ("the window at 144 DPI", journey_display_scale(144)),
    ("the window at 192 DPI", journey_display_scale(192)),
]


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--deploy", required=True, help="the folder a Windows user gets (deploy/)")
    parser.add_argument("--testvariant", required=True, help="the test variant's folder, with its DLLs")
    parser.add_argument("--work", required=True, help="a folder for the prefix and the run, emptied first")
    parser.add_argument("--keep", action="store_true", help="keep the work folder and its prefix afterwards")
    args = parser.parse_args()
    if missing_tools() or missing_tools(("wineserver", "localedef", WINE)):
        return 1
    return run(WineDesktop(args), JOURNEYS, args.artefacts)


if __name__ == "__main__":
    sys.exit(main())
