#!/usr/bin/env python3
"""Starts sandbox platform servers for test programs running under Wine.

A Windows program under Wine can start a Linux program, but gets no handle
to it: it can neither read its output nor end it. The Windows tests ask this
factory instead, over TCP on 127.0.0.1: a test connects, sends the server's
arguments as one JSON list on one line (files named by their Linux paths),
and reads back the server's first line ("port N"). The server lives while that
connection is open: when the test closes it, or its process ends, the
server is ended too, so no test leaves a server behind.

  sandboxfactory.py start --state DIR   starts the factory in the background;
                                        its port is in DIR/sandboxfactory.port
  sandboxfactory.py stop --state DIR    ends it and every server it started
"""
import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "..", "sandbox", "platform_server.py")


class Factory:
    def __init__(self):
        self.servers = set()
        self.lock = threading.Lock()

    def serve_one(self, connection):
        process = None
        try:
            line = connection.makefile("rb").readline()
            arguments = [str(a) for a in json.loads(line.decode("utf-8"))]
            process = subprocess.Popen([sys.executable, SERVER] + arguments, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE, start_new_session=True)
            with self.lock:
                self.servers.add(process)
            connection.sendall(process.stdout.readline())
            # Until the test hangs up; what it sends meanwhile is ignored.
            while connection.recv(4096):
                pass
        except (OSError, ValueError):
            pass
        finally:
            connection.close()
            if process:
                process.kill()
                process.wait()
                with self.lock:
                    self.servers.discard(process)

    def end_all(self, *_):
        with self.lock:
            for process in self.servers:
                process.kill()
        os._exit(0)


def serve(state):
    factory = Factory()
    signal.signal(signal.SIGTERM, factory.end_all)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(os.path.join(state, "sandboxfactory.pid"), "w") as out:
        out.write("%d\n" % os.getpid())
    port_file = os.path.join(state, "sandboxfactory.port")
    with open(port_file + ".new", "w") as out:
        out.write("%d\n" % listener.getsockname()[1])
    os.replace(port_file + ".new", port_file)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=factory.serve_one, args=(connection,), daemon=True).start()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--state", required=True, help="folder of the port and pid files")
    args = parser.parse_args()
    state = os.path.abspath(args.state)
    port_file = os.path.join(state, "sandboxfactory.port")
    if args.action == "serve":
        serve(state)
    elif args.action == "start":
        os.makedirs(state, exist_ok=True)
        # A factory an earlier start left (a run stopped on the way) ends
        # first: one factory per state folder.
        stop(state)
        for name in ("sandboxfactory.port", "sandboxfactory.pid"):
            if os.path.exists(os.path.join(state, name)):
                os.remove(os.path.join(state, name))
        with open(os.path.join(state, "sandboxfactory.log"), "ab") as log:
            factory = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--state", state],
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        # Python may take its time to start beside builds and Wine: until the
        # port is known or the factory has ended.
        while factory.poll() is None:
            if os.path.exists(port_file):
                return 0
            time.sleep(0.1)
        print("the sandbox factory did not start (see sandboxfactory.log)", file=sys.stderr)
        return 1
    else:
        stop(state)
    return 0


def stop(state):
    """Ends the factory of the state folder and every server it started,
    and waits until it has gone."""
    try:
        with open(os.path.join(state, "sandboxfactory.pid")) as source:
            pid = int(source.read())
        # Only the factory of this folder: the number may since name another
        # process.
        with open("/proc/%d/cmdline" % pid, "rb") as source:
            if state.encode() not in source.read().split(b"\0"):
                return
        os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        return
    for _ in range(100):
        if not alive(pid):
            return
        time.sleep(0.1)


def alive(pid):
    """Whether the process runs (an ended one waiting for its parent does not)."""
    try:
        with open("/proc/%d/stat" % pid) as source:
            return source.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except (OSError, IndexError):
        return False


if __name__ == "__main__":
    sys.exit(main())
