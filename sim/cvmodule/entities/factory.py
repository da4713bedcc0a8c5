"""cmdFACTORY (94): the per-module factory records, 16 kinds.

Kind byte: kind in bits 0-3, 0x10 write, 0x20 end, 0x40 first chunk, 0x80
error (replies). Reads answer 94, kind, up to 26 bytes (28 data bytes mean
more follow); writes are acknowledged 94, kind; the end message 94, 0x20,
count (16-bit, big-endian) is answered 94, 0, or 94, 0x80, code when the
count disagrees with the bytes written. --factory KIND:HEX preloads a record.
"""
from . import Entity
from ..wire import Packet

CHUNK = 26
ERR_PARAM = 2


class Factory(Entity):
    command = 94

    @classmethod
    def add_arguments(cls, parser):
        parser.add_argument("--factory", action="append", default=[], metavar="KIND:HEX")

    def __init__(self, module):
        super().__init__(module)
        self.records = {}
        for spec in module.options.factory:
            kind, content = spec.split(":")
            self.records[int(kind)] = bytes.fromhex(content)
        self.reading = None  # (kind, position)
        self.writing = None  # (kind, bytearray)
        self.ends = []       # counts of the end messages received

    def _answer(self, *data):
        return [Packet(self.module.address, bytes(data))]

    def handle(self, packet):
        d = packet.data
        if len(d) < 2:
            return []
        flags, kind = d[1] & 0xF0, d[1] & 0x0F
        if flags == 0x20 and len(d) == 4:
            return self._end((d[2] << 8) | d[3])
        if flags & 0x10:
            if flags & 0x40 or self.writing is None or self.writing[0] != kind:
                self.writing = (kind, bytearray())
            self.writing[1].extend(d[2:])
            return self._answer(94, kind)
        if flags & 0x40 or self.reading is None or self.reading[0] != kind:
            self.reading = (kind, 0)
        position = self.reading[1]
        chunk = self.records.get(kind, b"")[position:position + CHUNK]
        self.reading = (kind, position + len(chunk))
        return self._answer(94, kind, *chunk)

    def _end(self, count):
        self.ends.append(count)
        if self.writing is not None:
            kind, buffer = self.writing
            self.writing = None
            if count != len(buffer):
                return self._answer(94, 0x80, ERR_PARAM)
            self.records[kind] = bytes(buffer)
        self.reading = None
        return self._answer(94, 0)
