"""UEI requests and replies of the simulated module, and a base for entities
whose options are typed values.

A request's data: command, option | 0x40 (get) or | 0x80 (set, call), index |
0x20, then the value (most significant byte first); in subindex form the
subindex byte comes before the value. Replies: command, the bare option (get)
or option | 0xC0 (set, call), the bare index, the value. An error reply sets
bit 7 of the index byte and carries the error code as its only value byte.
Byte arrays travel as packets of command, option, index, up to 24 bytes and a
trailer (continue << 7 | sequence & 0x7F).
"""
import struct

from .entities import Entity
from .wire import Packet

GET, SET = 0x40, 0x80
REQUEST, STREAM, ERROR = 0x20, 0x40, 0x80
CHUNK = 24

# qErr codes the module answers with
ERR_PARAM, ERR_SIZE, ERR_INVALID_ENTITY, ERR_INVALID_OPTION = 2, 14, 28, 29

SIZES = {"u8": 1, "u16": 2, "u32": 4, "i32": 4}


def encode(kind, value):
    if kind == "i32":
        return struct.pack(">i", value)
    return value.to_bytes(SIZES[kind], "big")


def decode(kind, raw):
    if kind == "i32":
        return struct.unpack(">i", raw)[0]
    return int.from_bytes(raw, "big")


def byte_array_packets(address, header, payload, stream=False):
    """The packets of one byte array: header is (command, option, index)."""
    command, option, index = header
    index |= STREAM if stream else 0
    packets, sequence, sent = [], 0, 0
    while True:
        chunk = payload[sent:sent + CHUNK]
        sent += len(chunk)
        more = sent < len(payload)
        trailer = (0x80 if more else 0) | (sequence & 0x7F)
        packets.append(Packet(address, bytes([command, option, index]) + chunk + bytes([trailer])))
        sequence += 1
        if not more:
            return packets


class Option:
    """One option: kind u8, u16, u32, i32, bytes or call; `subindexed` options
    hold one value per subindex; `writable` options accept sets."""

    def __init__(self, kind, value=0, writable=True, subindexed=False):
        self.kind, self.writable, self.subindexed = kind, writable, subindexed
        self.values = {}  # (index, subindex) -> value
        self.default = value
        self.calls = 0

    def get(self, index, subindex=0):
        return self.values.get((index, subindex), self.default)

    def set(self, index, value, subindex=0):
        self.values[(index, subindex)] = value


class UeiEntity(Entity):
    """An entity of typed options. Subclasses fill self.options (option number
    -> Option) and may override on_set(option, index, value)."""

    indices = 1

    def __init__(self, module):
        super().__init__(module)
        self.options = {}
        self.uploads = {}  # (option, index) -> (next sequence, bytearray)
        self.errors = {}   # option -> error code to answer with

    @classmethod
    def add_arguments(cls, parser):
        if getattr(parser, "_uei_error_added", False):
            return
        parser._uei_error_added = True
        parser.add_argument("--uei-error", action="append", default=[], metavar="CMD:OPT:CODE",
                            help="answer every request of this UEI with an error reply")

    def _error_for(self, option):
        for spec in self.module.options.uei_error:
            cmd, opt, code = (int(x, 0) for x in spec.split(":"))
            if cmd == self.command and opt == option:
                return code
        return None

    def reply(self, option_byte, index, value=b""):
        return Packet(self.module.address, bytes([self.command, option_byte, index]) + value)

    def error(self, option_byte, index, code):
        return Packet(self.module.address, bytes([self.command, option_byte, index | ERROR, code]))

    def handle(self, packet):
        data = packet.data
        if len(data) < 3:
            return []
        flags, number, index = data[1] & 0xC0, data[1] & 0x3F, data[2] & 0x1F
        is_get = flags == GET
        answer = number if is_get else number | 0xC0
        option = self.options.get(number)
        code = self._error_for(number)
        if option is None or index >= self.indices:
            code = ERR_INVALID_OPTION if option is None else ERR_PARAM
        if code is not None:
            if option is not None and option.kind == "bytes" and not is_get and data[-1] & 0x80:
                return []  # the error comes with the last packet of the upload
            return [self.error(answer, index, code)]
        if is_get:
            return self._get(option, number, index, data[3:])
        return self._set(option, number, index, data[3:])

    def _get(self, option, number, index, rest):
        if option.kind == "call":
            return [self.error(number, index, ERR_PARAM)]
        subindex = rest[0] if (option.subindexed and rest) else 0
        value = option.get(index, subindex)
        if option.kind == "bytes":
            return byte_array_packets(self.module.address, (self.command, number, index), value)
        return [self.reply(number, index, encode(option.kind, value))]

    def _set(self, option, number, index, rest):
        answer = number | 0xC0
        if option.kind == "bytes":
            return self._upload(option, number, index, rest)
        if option.kind == "call":
            option.calls += 1
            self.on_set(number, index, None)
            return [self.reply(answer, index)]
        subindex = 0
        if option.subindexed:
            if not rest:
                return [self.error(answer, index, ERR_SIZE)]
            subindex, rest = rest[0], rest[1:]
        if len(rest) != SIZES[option.kind] or not option.writable:
            return [self.error(answer, index, ERR_SIZE if option.writable else ERR_PARAM)]
        value = decode(option.kind, rest)
        option.set(index, value, subindex)
        self.on_set(number, index, value)
        return [self.reply(answer, index)]

    def _upload(self, option, number, index, rest):
        if not rest:
            return [self.error(number | 0xC0, index, ERR_SIZE)]
        payload, trailer = rest[:-1], rest[-1]
        sequence, more = trailer & 0x7F, trailer >> 7
        expected, buffer = self.uploads.get((number, index), (0, bytearray()))
        if sequence == 0 and expected != 0:
            expected, buffer = 0, bytearray()  # a new upload (sequence 0 after a wrap continues)
        if sequence != expected:
            self.uploads.pop((number, index), None)
            return [self.error(number | 0xC0, index, ERR_PARAM)] if not more else []
        buffer += payload
        if more:
            self.uploads[(number, index)] = ((expected + 1) & 0x7F, buffer)
            return []
        self.uploads.pop((number, index), None)
        option.set(index, bytes(buffer))
        self.on_set(number, index, bytes(buffer))
        return [self.reply(number | 0xC0, index)]

    def on_set(self, number, index, value):
        pass
