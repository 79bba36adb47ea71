#!/usr/bin/env python3
"""Packs the sandbox login component for the download server.

Writes LiveCodeModule.zip, every entry under "LiveCodeModule/" with the
program as "LiveCodeModule/LiveCodeModule.exe" (executable for its owner,
group and others), and version.ini beside it:

    [update]
    liveCodeModule=<version>

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


def write_zip(exe, target):
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        folder = zipfile.ZipInfo("LiveCodeModule/")
        folder.external_attr = (0o40755 << 16) | 0x10
        archive.writestr(folder, b"")
        program = zipfile.ZipInfo.from_file(exe, "LiveCodeModule/LiveCodeModule.exe")
        program.external_attr = 0o100755 << 16
        program.compress_type = zipfile.ZIP_DEFLATED
        with open(exe, "rb") as source:
            archive.writestr(program, source.read())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True, help="the ModuleDownload folder")
    parser.add_argument("--version", type=int, required=True)
    args = parser.parse_args()

    replace_atomically(os.path.join(args.out, "LiveCodeModule.zip"), lambda t: write_zip(args.exe, t))

    def write_ini(target):
        with open(target, "w", encoding="utf-8") as out:
            out.write("[update]\nliveCodeModule=%d\n" % args.version)

    replace_atomically(os.path.join(args.out, "version.ini"), write_ini)


if __name__ == "__main__":
    main()
