#!/usr/bin/python3
"""Simulated update server: answers op=hi, qu, bird, builds, fix and ent_jwt over HTTP(S).

The catalogue is a JSON file:
  {"modules": {"0001A2B3": {"current": "12345", "firmware": "F",
                            "builds": {"12345": {"version": "2.10.3", "bird": "/path/12345.bird"}},
                            "jwt": "aaa.bbb.ccc"}},
   "fingerprints": {"00000001 00000002 00000003 00000004": {"serial": "0001A2B3", "build": "12345"}}}
Bird paths are read when a request asks for them.

Prints "update_server ready port=N" once listening. Every request line is appended to
--record as one JSON object per line ({"path": ..., "query": [[k, v], ...]}).
"""
import argparse
import base64
import http.server
import json
import ssl
import sys
import threading
import time
import urllib.parse

FAULTS = ["none", "status500", "not-ok", "upper-ok", "missing-lines", "garbage", "empty",
          "slow", "silent", "truncated-base64", "huge", "crlf"]


def parse_query(raw):
    """Pairs in the order sent, values left as they came (the fingerprint keeps its %20)."""
    pairs = []
    for part in raw.split("&"):
        if part:
            key, _, value = part.partition("=")
            pairs.append([key, value])
    return pairs


class Catalogue:
    def __init__(self, path):
        self.data = {"modules": {}, "fingerprints": {}}
        if path:
            with open(path) as f:
                self.data.update(json.load(f))

    def module(self, serial):
        return self.data["modules"].get(serial.upper())

    def answer(self, op, q):
        """Reply lines for one request, or None for an unknown request."""
        if op == "hi":
            return ["ok"]
        if op == "fix":
            fp = urllib.parse.unquote(q.get("fp", ""))
            entry = self.data["fingerprints"].get(fp)
            return ["ok", entry["serial"], entry["build"]] if entry else ["unknown chip"]
        mod = self.module(q.get("sn", ""))
        if mod is None:
            return ["unknown module"]
        if op == "qu":
            return ["ok", str(mod.get("current", "")), mod.get("firmware", "")]
        if op == "builds":
            return ["ok"] + ["%s;%s" % (b, e.get("version", ""))
                             for b, e in mod.get("builds", {}).items()]
        if op == "ent_jwt":
            return ["ok", mod.get("jwt", "")]
        if op == "bird":
            entry = mod.get("builds", {}).get(q.get("bld", ""))
            if entry is None:
                return ["no such build"]
            with open(entry["bird"], "rb") as f:
                return ["ok", base64.b64encode(f.read()).decode("ascii")]
        return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        if self.server.log:
            self.server.log.write("%s\n" % (fmt % args))
            self.server.log.flush()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        pairs = parse_query(url.query)
        self.server.record({"path": url.path, "query": pairs, "raw": self.path})
        q = dict(pairs)
        op = q.get("op", "")
        fault = self.server.fault if self.server.fault_op in ("", op) else "none"
        if fault == "silent":
            self.server.silenced.wait(self.server.delay)
            return
        if fault == "slow":
            time.sleep(self.server.delay)
        if fault == "status500":
            return self.send(500, b"internal error\n")
        if self.server.reply is not None:
            return self.send(200, self.server.reply)
        lines = self.server.catalogue.answer(op, q)
        if lines is None:
            return self.send(404, b"unknown op\n")
        self.send(200, self.shape(fault, lines))

    @staticmethod
    def shape(fault, lines):
        if fault == "not-ok":
            lines = ["error"] + lines[1:]
        elif fault == "upper-ok":
            lines = ["OK"] + lines[1:]
        elif fault == "missing-lines":
            lines = lines[:1]
        elif fault == "truncated-base64" and len(lines) > 1:
            lines = [lines[0], lines[1][:-3]]
        elif fault == "garbage":
            return bytes(range(256)) * 4
        elif fault == "empty":
            return b""
        elif fault == "huge":
            return b"ok\n" + b"A" * (80 * 1024 * 1024)
        end = "\r\n" if fault == "crlf" else "\n"
        return (end.join(lines) + end).encode("latin-1")

    def send(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, args):
        super().__init__(("127.0.0.1", args.port), Handler)
        self.catalogue = Catalogue(args.catalogue)
        self.fault, self.fault_op, self.delay = args.fault, args.fault_op, args.delay
        self.silenced = threading.Event()
        self.reply = None
        if args.reply_file:
            with open(args.reply_file, "rb") as f:
                self.reply = f.read()
        self.log = open(args.log, "a") if args.log else None
        self.record_file = open(args.record, "a") if args.record else None
        self.lock = threading.Lock()

    def record(self, entry):
        if self.record_file:
            with self.lock:
                self.record_file.write(json.dumps(entry) + "\n")
                self.record_file.flush()


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--port", type=int, default=0, help="0 picks a free port")
    ap.add_argument("--catalogue")
    ap.add_argument("--fault", choices=FAULTS, default="none")
    ap.add_argument("--fault-op", default="", help="apply the fault to this op only")
    ap.add_argument("--delay", type=float, default=5.0, help="seconds for slow and silent")
    ap.add_argument("--reply-file", help="answer every request with these bytes, status 200")
    ap.add_argument("--record")
    ap.add_argument("--log")
    ap.add_argument("--cert", help="PEM certificate: serve https")
    ap.add_argument("--key", help="PEM private key for --cert")
    args = ap.parse_args(argv)
    server = Server(args)
    if args.cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    print("update_server ready port=%d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.silenced.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
