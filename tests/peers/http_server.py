#!/usr/bin/python3
"""An HTTP(S) server for tests, on loopback: Python's http.server with a handler that serves the
files of one folder and a few misbehaving replies. It answers HTTP/1.0 and closes every
connection, except under /keep/. Each request is appended to <log> as one line: "<method> <path> <version>" then
"|<name>: <value>" for every header.

Paths:
  /r<n>/<rest>        302 to /r<n-1>/<rest>; /r1/<rest> (and /r0/<rest>) to /<rest>
  /loop               302 to /loop
  /to/<url>           302 to <url> (an absolute address)
  /status/<code>/...  that status with a short body
  /short/<file>       the file, announcing 100 bytes more than it sends
  /long/<file>        the file, announcing 10 bytes fewer than it sends
  /nolength/<file>    the file without Content-Length
  /badlength/<file>   the file with a Content-Length that is not a number
  /stall/...          accepts the request and never answers
  /stallbody/<file>   headers and the first half of the file, then nothing
  /drip/<ms>/<file>   the file, one byte every <ms> milliseconds
  /announce/<n>/<file> the file, announcing <n> bytes
  /<file>             the file (404 when missing)
  /keep/<path>        <path> answered as HTTP/1.1, and the connection kept open after the reply

Usage: http_server.py --root DIR --ready FILE --log FILE [--host 127.0.0.1] [--tls CERT KEY]
The chosen port is written to FILE once the server listens. It runs until SIGTERM.
"""
import argparse
import http.server
import os
import signal
import ssl
import threading
import time

STOP = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "KorvaneTest/1.0"

    def log_message(self, fmt, *args):
        pass

    def record(self):
        line = "%s %s %s" % (self.command, self.path, self.request_version)
        for name, value in self.headers.items():
            line += "|%s: %s" % (name, value)
        with self.server.log_lock:
            with open(self.server.log_file, "a") as f:
                f.write(line + "\n")

    def file_bytes(self, name):
        path = os.path.normpath(os.path.join(self.server.root, name.lstrip("/")))
        if not path.startswith(self.server.root + os.sep) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def reply(self, code, body, length=None, headers=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if body:
            self.wfile.write(body)

    def hold(self):
        while not STOP.wait(0.2):
            pass

    def do_GET(self):
        self.record()
        if self.path.startswith("/keep/"):
            self.protocol_version = "HTTP/1.1"
            self.path = self.path[5:]
            self.serve()
            self.close_connection = False
            return
        self.serve()

    def serve(self):
        parts = self.path.split("/", 2)
        head = parts[1] if len(parts) > 1 else ""
        rest = parts[2] if len(parts) > 2 else ""
        if head == "loop":
            return self.reply(302, b"", 0, [("Location", "/loop")])
        if head == "to":
            return self.reply(302, b"", 0, [("Location", rest)])
        if len(head) > 1 and head[0] == "r" and head[1:].isdigit():
            n = int(head[1:])
            target = "/" + rest if n <= 1 else "/r%d/%s" % (n - 1, rest)
            return self.reply(302, b"", 0, [("Location", target)])
        if head == "status":
            code = int(rest.split("/", 1)[0])
            body = b"status page\n"
            return self.reply(code, body, len(body))
        if head == "stall":
            return self.hold()
        if head in ("drip", "announce"):
            number, _, rest = rest.partition("/")
        if head == "announce":
            data = self.file_bytes(rest)
            return self.reply(200, data, int(number)) if data is not None else self.reply(404, b"", 0)
        if head == "drip":
            data = self.file_bytes(rest) or b""
            self.reply(200, b"", len(data))
            try:
                for i in range(len(data)):
                    if STOP.wait(int(number) / 1000.0):
                        return
                    self.wfile.write(data[i : i + 1])
                    self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                pass  # the client gave up, as it should
            return
        data = self.file_bytes(rest if head in ("short", "long", "nolength", "badlength", "stallbody") else self.path)
        if data is None:
            body = b"<html><body>not here</body></html>\n"
            return self.reply(404, body, len(body))
        if head == "short":
            return self.reply(200, data, len(data) + 100)
        if head == "long":
            return self.reply(200, data, max(len(data) - 10, 0))
        if head == "nolength":
            return self.reply(200, data)
        if head == "badlength":
            return self.reply(200, data, "12abc")
        if head == "stallbody":
            self.reply(200, data[: len(data) // 2], len(data))
            self.wfile.flush()
            return self.hold()
        return self.reply(200, data, len(data))


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    a = p.parse_args()

    server = Server((a.host, 0), Handler)
    server.root = os.path.realpath(a.root)
    server.log_file = a.log
    server.log_lock = threading.Lock()
    if a.tls:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(a.tls[0], a.tls[1])
        server.socket = ctx.wrap_socket(server.socket, server_side=True)

    def stop(*_):
        STOP.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    with open(a.ready + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(a.ready + ".tmp", a.ready)
    server.serve_forever(poll_interval=0.1)


if __name__ == "__main__":
    main()
