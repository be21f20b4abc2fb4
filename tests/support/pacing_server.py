#!/usr/bin/python3
"""HTTP file server that behaves like a distant, slow server.

Serves the files below --root on 127.0.0.1:<port> (HTTP/1.1, keep-alive,
GET and HEAD, byte ranges "bytes=a-b", "bytes=a-" and "bytes=-n" answered with
206 and Content-Range, 416 for a range past the end). Each answer waits
--delay seconds (default 0.1) before its first byte, and each connection
sends at most --rate bytes per second (default 2000000), whatever its
requests: time a connection spent idle or waiting is not saved up, so
neither short ranged requests nor many requests on one connection are sent
faster (unlike nginx's limit_rate, which lets each request send its first
second's worth at once).

--port 0 (the default) picks a free port; the port is printed on the first
line of standard output (and written to --port-file when given) once the
server listens. Python 3 standard library only. Stops on SIGTERM or SIGINT.
"""

import argparse
import http.server
import os
import re
import signal
import socketserver
import sys
import threading
import time

CHUNK = 16 * 1024
RANGE = re.compile(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*")


class PacedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PacingServer"

    def setup(self):
        super().setup()
        # Bytes this connection may have sent by now: `self.budget_start` is
        # the moment from which it counts, `self.sent` what went out since.
        self.budget_start = None
        self.sent = 0

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_GET(self):
        self.answer(send_body=True)

    def answer(self, send_body):
        path = self.server.root_path(self.path)
        if path is None or not os.path.isfile(path):
            return self.plain(404, b"not found\n", send_body)
        size = os.path.getsize(path)
        status, first, last = 200, 0, size - 1
        wanted = self.headers.get("Range")
        # A Range header of another form (several ranges, other units) is
        # ignored: the whole file is the answer, as RFC 7233 allows.
        if wanted is not None and RANGE.fullmatch(wanted):
            span = parse_range(wanted, size)
            if span is None:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            status, (first, last) = 206, span
        length = last - first + 1
        time.sleep(self.server.delay)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(length))
        self.connection_header()
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        self.end_headers()
        if not send_body:
            return
        with open(path, "rb") as f:
            f.seek(first)
            left = length
            while left > 0:
                data = f.read(min(CHUNK, left))
                if not data:
                    break
                self.pace(len(data))
                self.wfile.write(data)
                left -= len(data)

    def connection_header(self):
        """Says whether the connection stays open, as nginx does: clients
        such as the download service keep a connection only when told so."""
        if self.close_connection:
            self.send_header("Connection", "close")
        else:
            self.send_header("Connection", "keep-alive")

    def pace(self, count):
        """Waits until this connection may send `count` more bytes."""
        now = time.monotonic()
        rate = self.server.rate
        # A connection that was idle (waiting for a request, or in the first-
        # byte delay) does not save up: its budget starts again from now.
        if self.budget_start is None or now > self.budget_start + self.sent / rate:
            self.budget_start, self.sent = now, 0
        self.sent += count
        due = self.budget_start + self.sent / rate
        if due > now:
            time.sleep(due - now)

    def plain(self, status, body, send_body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.connection_header()
        self.end_headers()
        if send_body:
            self.wfile.write(body)


def parse_range(text, size):
    """(first, last) of one "bytes=" range within size, or None."""
    m = RANGE.fullmatch(text)
    if not m or (m.group(1) == "" and m.group(2) == ""):
        return None
    if m.group(1) == "":
        suffix = int(m.group(2))
        if suffix == 0 or size == 0:
            return None
        return max(0, size - suffix), size - 1
    first = int(m.group(1))
    last = int(m.group(2)) if m.group(2) else size - 1
    if first >= size or last < first:
        return None
    return first, min(last, size - 1)


class PacingServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, port, root, rate, delay):
        super().__init__(("127.0.0.1", port), PacedHandler)
        self.root = os.path.realpath(root)
        self.rate = float(rate)
        self.delay = delay

    def handle_error(self, request, client_address):
        # A client that closes its connection in the middle of an answer (a
        # download that has all it needs, or one that is stopped) is normal.
        if isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            return
        super().handle_error(request, client_address)

    def root_path(self, target):
        """The file below root that a request target names, or None."""
        path = target.split("?", 1)[0].split("#", 1)[0]
        full = os.path.realpath(os.path.join(self.root, path.lstrip("/")))
        if full != self.root and not full.startswith(self.root + os.sep):
            return None
        return full


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="folder of the files served")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: pick one)")
    parser.add_argument("--port-file", help="file to write the port to once listening")
    parser.add_argument("--rate", type=float, default=2000000, help="bytes per second per connection")
    parser.add_argument("--delay", type=float, default=0.1, help="seconds before the first byte of each answer")
    args = parser.parse_args()
    if args.rate <= 0 or args.delay < 0:
        parser.error("--rate must be positive and --delay not negative")
    server = PacingServer(args.port, args.root, args.rate, args.delay)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".part", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".part", args.port_file)
    print(port, flush=True)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
