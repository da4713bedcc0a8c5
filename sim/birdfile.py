#!/usr/bin/python3
"""Builds bird files for tests, benchmarks and the demo.

A bird file is "bird", two version bytes, then a zlib stream of a payload:
u32 block count, blocks (type|flags<<5, u32 length, data), u32 checksum.
Integers are big-endian; the serial patch inside an image is little-endian.

As a module:   import birdfile; data = birdfile.generic_image(...)
As a command:  birdfile.py --kind generic --out 12345.bird [options]
"""
import argparse
import struct
import sys
import zlib

LOADER = 0
FIRMWARE = 1
SERIAL_OFFSETS = 2
INFO = 4
LOADER_START = 5

DEFAULT_LOADER_START = 0x20000400


def u32(value):
    return struct.pack(">I", value & 0xFFFFFFFF)


def block(kind, data, flags=0, length=None):
    """One block; `length` overrides the declared length (to make it lie)."""
    declared = len(data) if length is None else length
    return bytes([(kind & 0x1F) | ((flags & 7) << 5)]) + u32(declared) + data


def image_block(kind, address, image, flags=0, length=None):
    return block(kind, u32(address) + image, flags, length)


def loader(address, image, flags=0):
    return image_block(LOADER, address, image, flags)


def firmware(address, image, flags=0):
    return image_block(FIRMWARE, address, image, flags)


def end_marker(address=0):
    """The LPC end marker: a firmware block of four image bytes."""
    return firmware(address, b"\xff" * 4)


def serial_offsets(serial_offset, descriptor_offset):
    return block(SERIAL_OFFSETS, u32(serial_offset) + u32(descriptor_offset))


def loader_start(address):
    return block(LOADER_START, u32(address))


def field(text):
    raw = text.encode("ascii")[:16]
    return raw + b" " * (16 - len(raw))


def info_record(build, version, serial, model):
    """The 64-byte record: build, version, serial (hex), model; space padded."""
    return field(str(build)) + field(version) + field("%08X" % serial) + field(model)


def info(build, version, serial, model):
    return block(INFO, info_record(build, version, serial, model))


def checksum(body):
    # The reader never checks it; any stable value will do.
    return sum(body) & 0xFFFFFFFF


def payload(blocks, count=None, trailer=None):
    """Block count, blocks, checksum. `count` and `trailer` override the honest values."""
    body = u32(len(blocks) if count is None else count) + b"".join(blocks)
    return body + (u32(checksum(body)) if trailer is None else trailer)


def wrap(body, signature=b"bird", version=b"\x01\x01", level=9):
    return signature + version + zlib.compress(body, level)


def keystream(key_words):
    return b"".join(struct.pack(">I", w & 0xFFFFFFFF) for w in key_words)


def scramble(image, key_words):
    """Each byte XOR key stream XOR the previous plain byte of the same image."""
    ks = keystream(key_words)
    out = bytearray(len(image))
    prev = 0
    for i, plain in enumerate(image):
        out[i] = plain ^ ks[i % 16] ^ prev
        prev = plain
    return bytes(out)


def pattern(length, seed=1):
    """Deterministic, poorly compressible image bytes."""
    out = bytearray(length)
    x = seed & 0xFFFFFFFF or 1
    for i in range(length):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out[i] = x & 0xFF
    return bytes(out)


def generic_image(build=12345, version="2.10.3", model="Gorlin", fw_address=0x8000,
                  fw_size=4096, serial_offset=None, descriptor_offset=None,
                  loader_size=512, loader_address=0x10000000, blocks_of_firmware=1):
    """An image for every module of a model: info with serial 0, serial-offsets block."""
    if serial_offset is None:
        serial_offset = fw_address + 0x100
    if descriptor_offset is None:
        descriptor_offset = fw_address + 0x200
    blocks = [info(build, version, 0, model),
              serial_offsets(serial_offset, descriptor_offset),
              loader(loader_address, pattern(loader_size, 7))]
    for n in range(blocks_of_firmware):
        blocks.append(firmware(fw_address + n * fw_size, pattern(fw_size, 11 + n)))
    return wrap(payload(blocks))


def module_image(serial, build=12345, version="2.10.3", model="Gorlin", fw_address=0x8000,
                 fw_size=4096, loader_size=512, loader_address=0x10000000, start=None):
    """An image built for one module: info record with its serial, no serial offsets."""
    blocks = [info(build, version, serial, model),
              loader(loader_address, pattern(loader_size, 7))]
    if start is not None:
        blocks.append(loader_start(start))
    blocks.append(firmware(fw_address, pattern(fw_size, 11)))
    return wrap(payload(blocks))


def lpc_image(serial, key_words, build=12345, version="2.10.3", model="Gorlin",
              images=((0x0, 2048), (0x1000, 1024))):
    """A recovery image scrambled with the chip's fingerprint, ended by an end marker."""
    blocks = [info(build, version, serial, model)]
    for n, (address, size) in enumerate(images):
        blocks.append(firmware(address, scramble(pattern(size, 21 + n), key_words)))
    blocks.append(end_marker())
    return wrap(payload(blocks))


MALFORMED = {
    "empty": lambda: b"",
    "header-only": lambda: b"bird\x01\x01",
    "zero-version": lambda: wrap(payload([]), version=b"\x01\x00"),
    "bad-signature": lambda: wrap(payload([]), signature=b"BIRD"),
    "not-zlib": lambda: b"bird\x01\x01" + b"\x00" * 32,
    "truncated-stream": lambda: generic_image()[:-20],
    "length-past-end": lambda: wrap(payload([firmware(0x8000, b"\x00" * 16, length=4096)])),
    "short-info": lambda: wrap(payload([block(INFO, b"12345")])),
    "short-image-block": lambda: wrap(payload([block(FIRMWARE, b"\x00\x01")])),
    "count-lies": lambda: wrap(payload([firmware(0, b"\x00" * 8)], count=3)),
    "tiny-payload": lambda: wrap(b"\x00\x00\x00"),
}


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--kind", choices=["generic", "module", "lpc", "malformed"], required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--build", type=int, default=12345)
    ap.add_argument("--version", default="2.10.3")
    ap.add_argument("--model", default="Gorlin")
    ap.add_argument("--serial", type=lambda s: int(s, 16), default=0)
    ap.add_argument("--fw-size", type=int, default=4096)
    ap.add_argument("--key", help="four hex words W0,W1,W2,W3 for --kind lpc")
    ap.add_argument("--malformed", choices=sorted(MALFORMED), default="empty")
    a = ap.parse_args(argv)
    if a.kind == "generic":
        data = generic_image(a.build, a.version, a.model, fw_size=a.fw_size)
    elif a.kind == "module":
        data = module_image(a.serial, a.build, a.version, a.model, fw_size=a.fw_size)
    elif a.kind == "lpc":
        key = [int(w, 16) for w in (a.key or "0,0,0,0").split(",")]
        if len(key) != 4:
            ap.error("--key needs four words")
        data = lpc_image(a.serial, key, a.build, a.version, a.model)
    else:
        data = MALFORMED[a.malformed]()
    with open(a.out, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
