#!/usr/bin/env python3
"""Another account on the same machine, for the fault suite (run as root).

  foreignpeer.py serve PATH LOG     as user nobody: listen on a Unix socket at
                                    PATH and behave like an RPC service (and a
                                    single-instance owner): welcome every hello,
                                    complete every call, acknowledge every
                                    message; every byte received goes to LOG as
                                    hex, one line per read. Prints "ready" once
                                    listening. Ends after 60 s at most.
  foreignpeer.py connect PATH HEX   as user nobody: connect to PATH, send the
                                    bytes, print what comes back (hex) until the
                                    peer closes or 5 s pass. Exit 3 when the
                                    connection cannot be made.
"""

import os
import socket
import sys
import time

NOBODY = 65534


def become_nobody():
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def serve(path, log_path):
    log = open(log_path, "a", buffering=1)
    os.chmod(os.path.dirname(path), 0o777)
    become_nobody()
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    os.chmod(path, 0o777)
    server.listen(8)
    server.settimeout(0.2)
    print("ready", flush=True)
    end = time.monotonic() + 60
    clients = []
    while time.monotonic() < end:
        try:
            conn, _ = server.accept()
            conn.settimeout(0.05)
            clients.append(conn)
        except socket.timeout:
            pass
        for conn in list(clients):
            try:
                data = conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                clients.remove(conn)
                continue
            if not data:
                clients.remove(conn)
                continue
            log.write(data.hex() + "\n")
            # A hello gets a welcome; anything else a completion of call 1 and
            # the single-instance acknowledgement.
            if b"KYRPC" in data:
                conn.sendall(b"\x00\x00\x00\x02W\x01")
            else:
                conn.sendall(b"\x00\x00\x00\x05D\x00\x00\x00\x01ACK")


def connect(path, payload_hex):
    become_nobody()
    conn = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        conn.connect(path)
    except OSError as error:
        print("cannot connect:", error, flush=True)
        sys.exit(3)
    conn.sendall(bytes.fromhex(payload_hex))
    conn.settimeout(5)
    received = b""
    try:
        while True:
            data = conn.recv(65536)
            if not data:
                break
            received += data
    except OSError:
        pass
    print(received.hex(), flush=True)


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "connect":
        connect(sys.argv[2], sys.argv[3])
    else:
        sys.exit(2)
