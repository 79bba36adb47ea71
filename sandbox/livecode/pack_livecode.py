#!/usr/bin/env python3
"""Packs the sandbox login component for the download server.

Writes LiveCodeModule.zip, every entry under "LiveCodeModule/" with the
program as "LiveCodeModule/LiveCodeModule.exe" (executable for its owner,
group and others), and version.ini beside it:

    [update]
    liveCodeModule=<version>

With --with FOLDER, every file under FOLDER other than the program (the
DLLs and plugins a Windows build needs beside it) is packed too, at the same
place below "LiveCodeModule/".

Both files are written to a temporary name first and renamed, so the sandbox
server never serves half a file. Tests that need another served version set
a rule on the server's ".../ModuleDownload/version.ini" path with that body.
"""

import argparse
import os
import tempfile
import zipfile


def replace_atomically(path, write):
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".pack-")
    os.close(handle)
    try:
        write(temporary)
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def add_file(archive, path, name, mode):
    entry = zipfile.ZipInfo.from_file(path, name)
    entry.external_attr = mode << 16
    entry.compress_type = zipfile.ZIP_DEFLATED
    with open(path, "rb") as source:
        archive.writestr(entry, source.read())


def add_folder(archive, name):
    entry = zipfile.ZipInfo(name + "/")
    entry.external_attr = (0o40755 << 16) | 0x10
    archive.writestr(entry, b"")


def write_zip(exe, companions, target):
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        add_folder(archive, "LiveCodeModule")
        add_file(archive, exe, "LiveCodeModule/LiveCodeModule.exe", 0o100755)
        if not companions:
            return
        for root, dirs, files in os.walk(companions):
            dirs.sort()
            relative = os.path.relpath(root, companions)
            prefix = "LiveCodeModule" if relative == "." else "LiveCodeModule/" + relative.replace(os.sep, "/")
            if relative != ".":
                add_folder(archive, prefix)
            for name in sorted(files):
                if relative == "." and name == "LiveCodeModule.exe":
                    continue
                add_file(archive, os.path.join(root, name), prefix + "/" + name, 0o100644)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--with", dest="companions", help="folder of files packed beside the program")
    parser.add_argument("--out", required=True, help="the ModuleDownload folder")
    parser.add_argument("--version", type=int, required=True)
    args = parser.parse_args()

    replace_atomically(os.path.join(args.out, "LiveCodeModule.zip"), lambda t: write_zip(args.exe, args.companions, t))

    def write_ini(target):
        with open(target, "w", encoding="utf-8") as out:
            out.write("[update]\nliveCodeModule=%d\n" % args.version)

    replace_atomically(os.path.join(args.out, "version.ini"), write_ini)


if __name__ == "__main__":
    main()
