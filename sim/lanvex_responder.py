#!/usr/bin/python3
"""Discovery side of a sharing server, for testing the LANVEX searches.

    /usr/bin/python3 sim/lanvex_responder.py --mode local --serial 40F5849A --port 5555
    /usr/bin/python3 sim/lanvex_responder.py --mode beacon --address 10.9.1.2 --broadcast 10.9.1.255

Answers as a sharing server does, with its 128-byte record: type (LANVEX = 4),
serial number, model, IPv4 address (network order) and TCP port, all other
bytes 0; multi-byte fields little-endian.

local:  holds the request port 9850 + k for the first free k (bound without
        address reuse, which is how the searching side finds it), member of
        224.0.0.7 on 127.0.0.1; a 4-byte request BA DC CD AB is answered with
        the record sent to 224.0.0.7 port 9950 + k.
beacon: listens on UDP 8585; a datagram starting with "Cindervex2-Discovery"
        makes it broadcast the record to --broadcast port 8585 every 100 ms for
        2 s.
Faults: --type sends another record type, --garbage fills bytes 32-127,
--repeat sends each answer that many times. Prints "ready lanvex-responder
mode=... k=..." and logs what it received to --log .
"""
import argparse
import os
import socket
import struct
import sys
import threading
import time

LOCAL_GROUP = "224.0.0.7"
REQUEST_BASE = 9850
REPLY_BASE = 9950
BEACON_PORT = 8585
DISCOVERY_TEXT = b"Cindervex2-Discovery"
REQUEST = bytes([0xBA, 0xDC, 0xCD, 0xAB])


def parse(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    p.add_argument("--mode", choices=["local", "beacon"], required=True)
    p.add_argument("--serial", type=lambda t: int(t, 16), required=True)
    p.add_argument("--model", type=lambda t: int(t, 0), default=19)
    p.add_argument("--address", default="127.0.0.1", help="IPv4 address put in the record")
    p.add_argument("--port", type=int, default=5555, help="TCP port put in the record")
    p.add_argument("--type", type=int, default=4)
    p.add_argument("--garbage", action="store_true", help="nonzero bytes 32-127")
    p.add_argument("--repeat", type=int, default=1)
    p.add_argument("--broadcast", default="255.255.255.255", help="beacon destination")
    p.add_argument("--log", help="append what was received here")
    return p.parse_args(argv)


def record(o):
    r = bytearray(128)
    struct.pack_into("<IIIIII", r, 0, o.type, o.serial, 0, 0, 0, o.model)
    r[24:28] = socket.inet_aton(o.address)
    struct.pack_into("<I", r, 28, o.port)
    if o.garbage:
        r[32:128] = b"\x5a" * 96
    return bytes(r)


def hold_request_port():
    for k in range(50):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            s.bind(("", REQUEST_BASE + k))
            return k, s
        except OSError:
            s.close()
    raise SystemExit("no free request port")


def run_local(o, log):
    k, s = hold_request_port()
    loopback = socket.inet_aton("127.0.0.1")
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, socket.inet_aton(LOCAL_GROUP) + loopback)
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, loopback)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
    print("ready lanvex-responder mode=local k=%d" % k, flush=True)
    answer = record(o)
    while True:
        data, sender = s.recvfrom(64)
        log.write("request from %s: %s\n" % (sender[0], data.hex()))
        if data == REQUEST:
            for _ in range(o.repeat):
                out.sendto(answer, (LOCAL_GROUP, REPLY_BASE + k))


def run_beacon(o, log):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.bind(("", BEACON_PORT))
    answer = record(o)
    publishing = threading.Lock()

    def publish():
        with publishing:
            end = time.monotonic() + 2.0
            while time.monotonic() < end:
                for _ in range(o.repeat):
                    s.sendto(answer, (o.broadcast, BEACON_PORT))
                time.sleep(0.1)

    print("ready lanvex-responder mode=beacon k=0", flush=True)
    while True:
        data, sender = s.recvfrom(512)
        if data == answer:
            continue  # our own broadcast
        log.write("beacon from %s: %s\n" % (sender[0], data[:32].hex()))
        if data.startswith(DISCOVERY_TEXT) and not publishing.locked():
            threading.Thread(target=publish, daemon=True).start()


def main(argv=None):
    o = parse(argv)
    log = open(o.log or os.devnull, "a", buffering=1)
    (run_local if o.mode == "local" else run_beacon)(o, log)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(0)
