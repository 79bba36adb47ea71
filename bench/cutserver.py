#!/usr/bin/env python3
"""Serves the files of one folder over HTTP on 127.0.0.1 and cuts transfers.

GET /cut/<run>/<n>/<file> sends <file> (with os.sendfile), carrying an ETag
and a Last-Modified date and answering "Range: bytes=N-" (with a matching
If-Range, or none) with 206. The first <n> answers of a run are cut: the
connection closes when the transfer reaches k/(n+1) of the file for the k-th
cut, so a client that takes up the rest each time gets the whole file in
n + 1 requests. <n> = 0 serves the same file uncut through the same code, the
peer of the cut figure. <run> names a fresh count of cuts.

The first line printed on standard output is "port N".
"""

import argparse
import email.utils
import os
import re
import socket
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        match = re.fullmatch(r"/cut/([^/]+)/(\d+)/([^/]+)", self.path)
        full = os.path.join(self.server.root, match.group(3)) if match else ""
        if not match or not os.path.isfile(full):
            self.send_error(404)
            return
        run, cuts = match.group(1), int(match.group(2))
        stat = os.stat(full)
        size = stat.st_size
        etag = '"%x-%x"' % (int(stat.st_mtime * 1000), size)
        start = 0
        wanted = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", "").strip())
        if_range = self.headers.get("If-Range")
        if wanted and (not if_range or if_range == etag) and int(wanted.group(1)) < size:
            start = int(wanted.group(1))

        with self.server.lock:
            done = self.server.cuts.get(run, 0)
            stop = size
            if done < cuts:
                self.server.cuts[run] = done + 1
                stop = max(start + 1, size * (done + 1) // (cuts + 1))

        self.send_response(206 if start else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", email.utils.formatdate(stat.st_mtime, usegmt=True))
        self.send_header("Accept-Ranges", "bytes")
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        self.send_header("Content-Length", str(size - start))
        self.end_headers()
        self.wfile.flush()
        with open(full, "rb") as source:
            offset = start
            try:
                while offset < stop:
                    sent = os.sendfile(self.connection.fileno(), source.fileno(), offset, min(stop - offset, 1 << 24))
                    if sent == 0:
                        break
                    offset += sent
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True
                return
        if stop < size:
            # The cut: the connection ends with the body incomplete.
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.root = os.path.abspath(args.root)
    server.lock = threading.Lock()
    server.cuts = {}
    print("port %d" % server.server_port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
