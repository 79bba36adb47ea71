#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/ beside this file.

The seeds are kept in the tree; run this again only to change them. Each seed
is a small well-formed input, or one of the malformed kinds the program
refuses, so that fuzzing starts from both sides of each check.
"""

import io
import os
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data.encode("utf-8") if isinstance(data, str) else data)


def frame(payload):
    return struct.pack(">I", len(payload)) + payload


def string(text):
    return b"s" + struct.pack(">I", len(text)) + text


def call(name, values):
    return b"C" + struct.pack(">IH", 1, len(name)) + name + bytes([len(values)]) + b"".join(values)


def rpc_seeds():
    hello = frame(b"HKYRPC\x01")
    broadcast = b"o" + struct.pack(">I", 2) + string(b"rtmp://127.0.0.1/live") + string(b"live_42")
    room = b"o" + struct.pack(">I", 2) + b"i" + struct.pack(">i", -3) + string("房间未开启".encode())
    # The first byte of each seed sets the piece size the bytes arrive in.
    write("fuzz_rpcwire", "broadcast", b"\x07" + hello + frame(call(b"broadcast_info", [broadcast])))
    write("fuzz_rpcwire", "room", b"\x00" + hello + frame(call(b"open_room_msg", [room])))
    write("fuzz_rpcwire", "close", b"\x3f" + hello + frame(call(b"liveCodeModuleClose", [])))
    nested = b"o" + struct.pack(">I", 1)
    write("fuzz_rpcwire", "nested", b"\x01" + frame(call(b"echo", [nested * 15 + b"i" + struct.pack(">i", 7)])))
    write("fuzz_rpcwire", "oversized", b"\x02" + hello + struct.pack(">I", 0xFFFFFFFF) + b"C")


def ini_seeds():
    profile = "[Publish]\r\nMode=0\r\nURL=rtmp://a/live\r\nPlayPath=old\r\n\r\n[Video]\r\nFPS=30\r\n"
    write("fuzz_profileini", "set-url", profile + "\0Publish\0URL\0rtmp://127.0.0.1/live")
    write("fuzz_profileini", "new-section", "; comment\n[Audio]\nRate=44100\n\0publish\0playpath\0 \"quoted\" ")
    write("fuzz_profileini", "utf8", "[Publish]\nPlayPath=直播码直播码直播码\n\0Publish\0PlayPath\0新的")
    write("fuzz_profileini", "broken", "[Publish\nURL\n=x\n[]\n\0Pub]lish\0=\0x")


def obs_seeds():
    global_ini = "[General]\nFirstRun=true\n[Basic]\nProfile=Streaming\nProfileDir=Streaming\n"
    user_ini = "[Basic]\nProfile=Streaming\nProfileDir=Streaming\n"
    basic = "[General]\nName=Streaming\n[SimpleOutput]\nFilePath=/home/u/Videos\n"
    service = '{"settings":{"server":"rtmp://old","key":"old","bwtest":false},"type":"rtmp_common","extra":[1,2]}'
    classic = "[Publish]\nMode=0\nURL=rtmp://old\nPlayPath=old\n[Video]\nPath=C:\\Videos\n"
    write("fuzz_obsconfig", "studio31", "\0".join([global_ini, user_ini, basic, service, classic]))
    write("fuzz_obsconfig", "studio-old", "\0".join([global_ini, "", basic, service, ""]))
    write("fuzz_obsconfig", "escaping-name", "\0".join(["[Basic]\nProfileDir=..\\..\\x\n", "", "", "[1,2]", "garbage"]))


def zip_bytes(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name)
            info.create_system = 3
            info.external_attr = mode << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    return out.getvalue()


def archive_seeds():
    program = ("LiveCodeModule/LiveCodeModule.exe", b"\x7fELF stand-in program", 0o100755)
    write("fuzz_archive", "component", zip_bytes([("LiveCodeModule/", b"", 0o040755), program,
                                                  ("LiveCodeModule/res/a.txt", b"resource", 0o100644)]))
    write("fuzz_archive", "traversal", zip_bytes([program, ("LiveCodeModule/../../escaped.txt", b"x", 0o100644)]))
    write("fuzz_archive", "link", zip_bytes([program, ("LiveCodeModule/out", b"/tmp", 0o120777)]))
    write("fuzz_archive", "empty", b"PK\x05\x06" + b"\x00" * 18)


def download_name_seeds():
    base = "http://127.0.0.1:8765/client_download/VURuv/files/InstallFile/"
    write("fuzz_downloadname", "installer", base + "OBS-Studio-21.0.1-Full-Installer.exe\0MZ\x90\0application/octet-stream")
    write("fuzz_downloadname", "query", base + "q.bin?v=2\0\0")
    write("fuzz_downloadname", "escaped", base + "Kyoro%E7%9B%B4%E6%92%AD.exe\0<html>\0text/html; charset=utf-8")
    write("fuzz_downloadname", "backslashes", base + "x/..\\..\\outside\\evil.exe\0\0")
    write("fuzz_downloadname", "encoded", base + "..%5C..%5Cevil.exe%3A%24DATA%0A\0PK\0")
    write("fuzz_downloadname", "dots", base + "...\0\0")


if __name__ == "__main__":
    download_name_seeds()
    rpc_seeds()
    ini_seeds()
    obs_seeds()
    archive_seeds()
