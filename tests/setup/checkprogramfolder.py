#!/usr/bin/env python3
"""Checks the folder a Windows user gets (build-windows/deploy).

Fails when a file the program needs is missing, when VURuv.exe is not a
windowed (GUI subsystem) program, or when any binary in the folder imports a
DLL that neither the folder nor Windows itself provides, or when a binary's
sections do not start on pages of its file (Wine then reads them whole into
private memory instead of mapping them). The headers are read with
mingw-w64's objdump; Windows' own DLLs are the short list
below, matched without regard to case as Windows does.

    checkprogramfolder.py --folder DIR --objdump OBJDUMP [--self-test]
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

# DLLs every supported Windows (7 and later) has in its system folder.
WINDOWS_DLLS = {
    "advapi32.dll", "comdlg32.dll", "crypt32.dll", "dwmapi.dll", "gdi32.dll",
    "imm32.dll", "iphlpapi.dll", "kernel32.dll", "msvcrt.dll", "mpr.dll",
    "netapi32.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "userenv.dll", "uxtheme.dll", "version.dll",
    "winmm.dll", "ws2_32.dll", "wtsapi32.dll", "dnsapi.dll", "secur32.dll",
    "bcrypt.dll", "dbghelp.dll", "winspool.drv", "setupapi.dll", "dxgi.dll",
    "d3d11.dll", "d3d9.dll", "opengl32.dll", "uiautomationcore.dll",
}

PAGE = 4096

REQUIRED = [
    "VURuv.exe", "BugReporter.exe", "deault.data",
    "Qt5Core.dll", "Qt5Gui.dll", "Qt5Widgets.dll", "Qt5Network.dll",
    "libquazip1-qt5.dll", "libzlib.dll",
    "libssl-3-x64.dll", "libcrypto-3-x64.dll",
    "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "imageformats/qico.dll",
]


def imports(objdump, path):
    dump = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    return re.findall(r"DLL Name: (\S+)", dump), dump


def binaries(folder):
    for root, _, files in os.walk(folder):
        for name in files:
            if name.lower().endswith((".exe", ".dll")):
                yield os.path.join(root, name)


def check(folder, objdump):
    problems = []
    present = {name.lower() for name in os.listdir(folder)}
    for required in REQUIRED:
        if not os.path.isfile(os.path.join(folder, required)):
            problems.append("missing " + required)
    for path in sorted(binaries(folder)):
        names, dump = imports(objdump, path)
        relative = os.path.relpath(path, folder)
        for dll in names:
            if dll.lower() not in present and dll.lower() not in WINDOWS_DLLS:
                problems.append("%s imports %s, which the folder does not hold" % (relative, dll))
        if relative == "VURuv.exe" and "(Windows GUI)" not in dump:
            problems.append("VURuv.exe is not a windowed program")
        alignment = re.search(r"FileAlignment\s+([0-9a-fA-F]+)", dump)
        if not alignment or int(alignment.group(1), 16) % PAGE != 0:
            problems.append("%s: sections not on pages of the file (FileAlignment %s)"
                            % (relative, alignment.group(1) if alignment else "?"))
    return problems


def self_test(folder, objdump):
    """The check itself must notice a missing DLL: copy the folder without
    Qt5Network.dll and expect exactly that complaint."""
    import shutil
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "deploy")
        shutil.copytree(folder, copy)
        os.remove(os.path.join(copy, "Qt5Network.dll"))
        found = check(copy, objdump)
        expected = "VURuv.exe imports Qt5Network.dll, which the folder does not hold"
        if expected not in found:
            return ["the check missed a removed Qt5Network.dll: %r" % found]
    return []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--objdump", required=True)
    args = parser.parse_args()
    problems = check(args.folder, args.objdump)
    if not problems:
        problems = self_test(args.folder, args.objdump)
    for problem in problems:
        print("FAIL: " + problem)
    print("%d passed, %d failed" % (0 if problems else 1, 1 if problems else 0))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
