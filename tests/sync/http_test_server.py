#!/usr/bin/env python3
"""A small HTTP(S) file server for the tests of the HTTP check.

Serves the files below --root on 127.0.0.1 (a free port, printed as
"PORT <n>"). Addresses are percent-decoded to bytes and those bytes are the
file names on disk, so Shift-JIS names are served as the bytes they are.

  --tls CERT KEY   serve HTTPS with this certificate chain and key
  --refuse-head    answer HEAD with 405 and honour "Range: bytes=a-b" on GET
  --ignore-range   with --refuse-head: send the whole file with 200 anyway
  --endless        /index.fet never ends (entry lines without end)
  --head-no-length HEAD answers 200 without Content-Length; ranges are honoured
  --trickle        /index.fet comes one byte every 0.3 seconds, without end
"""
import argparse
import http.server
import os
import re
import socketserver
import ssl
import sys
import time
import urllib.parse


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--tls", nargs=2)
    ap.add_argument("--refuse-head", action="store_true")
    ap.add_argument("--ignore-range", action="store_true")
    ap.add_argument("--endless", action="store_true")
    ap.add_argument("--trickle", action="store_true")
    ap.add_argument("--head-no-length", action="store_true")
    args = ap.parse_args()
    root = os.fsencode(os.path.abspath(args.root))

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, *a):
            pass

        def local_path(self):
            raw = self.path.split("?", 1)[0].split("#", 1)[0]
            parts = urllib.parse.unquote_to_bytes(raw).split(b"/")
            if any(p in (b"..", b".") for p in parts):
                return None
            return os.path.join(root, *[p for p in parts if p])

        def answer(self, body):
            path = self.local_path()
            if path is None or not os.path.isfile(path):
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            with open(path, "rb") as f:
                data = f.read()
            rng = self.headers.get("Range")
            if body and rng and (args.refuse_head or args.head_no_length) and not args.ignore_range:
                m = re.fullmatch(r"bytes=(\d+)-(\d+)", rng.strip())
                if m:
                    first, last = int(m.group(1)), int(m.group(2))
                    if first >= len(data):
                        self.send_response(416)
                        self.send_header("Content-Range", "bytes */%d" % len(data))
                        self.send_header("Content-Length", "0")
                        self.end_headers()
                        return
                    part = data[first:last + 1]
                    self.send_response(206)
                    self.send_header("Content-Range", "bytes %d-%d/%d" % (first, first + len(part) - 1, len(data)))
                    self.send_header("Content-Length", str(len(part)))
                    self.end_headers()
                    self.wfile.write(part)
                    return
            self.send_response(200)
            if body or not args.head_no_length:
                self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if body:
                self.wfile.write(data)

        def do_HEAD(self):
            if args.refuse_head:
                self.send_response(405)
                self.send_header("Allow", "GET")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.answer(False)

        def do_GET(self):
            if args.endless and self.path.endswith("/index.fet"):
                self.send_response(200)
                self.end_headers()
                line = b"202001010000f00001+endless.txt\r\n"
                try:
                    self.wfile.write(b"#NextUpdate 2020 1 1 0 0 \r\n#FieldInfo date 12 attr 1 size 5\r\n")
                    while True:
                        self.wfile.write(line * 4096)
                except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
                    return
            if args.trickle and self.path.endswith("/index.fet"):
                self.send_response(200)
                self.end_headers()
                try:
                    while True:
                        self.wfile.write(b"#")
                        self.wfile.flush()
                        time.sleep(0.3)
                except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
                    return
            self.answer(True)

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", 0), Handler)
    if args.tls:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    sys.exit(0)


if __name__ == "__main__":
    main()
