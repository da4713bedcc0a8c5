#!/usr/bin/python3
"""TCP/IP discovery responder of a simulated module with an Ethernet port.

    /usr/bin/python3 sim/tcpip_discovery.py --listen 10.9.1.2 --serial 0F49589A --port 8238

Joins the multicast group 232.2.2.2 on the interface with the --listen address,
and answers each 16-byte request (byte 0 = 1) that reaches UDP 9888 with the
module's 16-byte reply, sent to the requester's UDP port 9889:

    byte 1 module address, bytes 2-3 TCP port (little-endian),
    bytes 4-7 serial number (little-endian), byte 12 model; the rest 0.

Faults: --length cuts the reply short, --count sends several replies per
request, --gap-ms spaces them. --serve-tcp also listens on the announced TCP
port (accepting and holding connections) when no simulated module serves it.
Prints "ready tcpip-discovery listen=... port=..." and logs each request to
--log .
"""
import argparse
import os
import socket
import struct
import sys
import threading
import time

GROUP = "232.2.2.2"
REQUEST_PORT = 9888
REPLY_PORT = 9889


def parse(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    p.add_argument("--listen", required=True, help="address of the interface to answer on")
    p.add_argument("--serial", type=lambda t: int(t, 16), required=True)
    p.add_argument("--module", type=lambda t: int(t, 0), default=4)
    p.add_argument("--port", type=lambda t: int(t, 0), default=8238)
    p.add_argument("--model", type=lambda t: int(t, 0), default=17)
    p.add_argument("--length", type=int, default=16, help="bytes of the reply to send (0-16)")
    p.add_argument("--count", type=int, default=1, help="replies per request")
    p.add_argument("--gap-ms", type=int, default=0, help="pause before each further reply")
    p.add_argument("--serve-tcp", action="store_true", help="also accept TCP on --port")
    p.add_argument("--log", help="append received requests here")
    return p.parse_args(argv)


def reply_bytes(o):
    reply = bytearray(16)
    reply[1] = o.module
    struct.pack_into("<H", reply, 2, o.port)
    struct.pack_into("<I", reply, 4, o.serial)
    reply[12] = o.model
    return bytes(reply[: o.length])


def serve_tcp(address, port):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((address, port))
    server.listen(8)
    held = []

    def accept():
        while True:
            conn, _ = server.accept()
            held.append(conn)

    threading.Thread(target=accept, daemon=True).start()


def main(argv=None):
    o = parse(argv)
    log = open(o.log or os.devnull, "a", buffering=1)
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("", REQUEST_PORT))
    membership = socket.inet_aton(GROUP) + socket.inet_aton(o.listen)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
    if o.serve_tcp:
        serve_tcp(o.listen, o.port)
    print("ready tcpip-discovery listen=%s port=%d" % (o.listen, o.port), flush=True)
    reply = reply_bytes(o)
    while True:
        data, sender = s.recvfrom(64)
        log.write("request from %s: %s\n" % (sender[0], data.hex()))
        if len(data) != 16 or data[0] != 1:
            continue
        for i in range(o.count):
            if i and o.gap_ms:
                time.sleep(o.gap_ms / 1000.0)
            s.sendto(reply, (sender[0], REPLY_PORT))


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(0)
