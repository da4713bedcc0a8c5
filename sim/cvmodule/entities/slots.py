"""cmdSLOT (4): store slots, opened for reading or writing under a handle.

    4 1 st sl -> 4 1 st sl cap(2)      4 2 st sl -> 4 2 st sl size(2)
    4 3 st sl -> 4 3 st sl h (read)    4 4 st sl -> 4 4 st sl h (write)
    4 6 h     -> 4 6 h data(1..25)     4 7 h data -> 4 7 h checksum
    4 8 h     -> 4 8 h 0
Errors: the sub-command with bit 7, code in data[4] (1-4) or data[3] (6-8).
--slot STORE:SLOT:HEX preloads a slot; --slot-capacity sets every capacity;
--slot-bad-checksum acknowledges writes with a wrong checksum.
"""
from . import Entity
from ..wire import Packet

STORES, SLOTS, CHUNK = 2, 4, 25
ERR_PARAM, ERR_MEDIA, ERR_OVERRUN = 2, 31, 15


class Slots(Entity):
    command = 4

    @classmethod
    def add_arguments(cls, parser):
        parser.add_argument("--slot", action="append", default=[], metavar="STORE:SLOT:HEX")
        parser.add_argument("--slot-capacity", type=int, default=256)
        parser.add_argument("--slot-bad-checksum", action="store_true")

    def __init__(self, module):
        super().__init__(module)
        self.data = {}
        for spec in module.options.slot:
            store, slot, content = spec.split(":")
            self.data[(int(store), int(slot))] = bytes.fromhex(content)
        self.handles = {}  # handle -> [store, slot, mode, buffer, read position]
        self.next_handle = 1

    def _answer(self, *data):
        return [Packet(self.module.address, bytes(data))]

    def handle(self, packet):
        d = packet.data
        if len(d) < 3:
            return []
        sub = d[1]
        if sub in (1, 2, 3, 4) and len(d) == 4:
            return self._by_slot(sub, d[2], d[3])
        handle = self.handles.get(d[2])
        if handle is None:
            return self._answer(4, sub | 0x80, d[2], ERR_PARAM)
        if sub == 6:
            buffer, position = handle[3], handle[4]
            chunk = buffer[position:position + CHUNK]
            if not chunk:
                return self._answer(4, 0x86, d[2], ERR_OVERRUN)
            handle[4] += len(chunk)
            return self._answer(4, 6, d[2], *chunk)
        if sub == 7 and len(d) > 3:
            chunk = d[3:]
            if len(handle[3]) + len(chunk) > self.module.options.slot_capacity:
                return self._answer(4, 0x87, d[2], ERR_OVERRUN)
            handle[3] += chunk
            checksum = sum(chunk) & 0xFF
            if self.module.options.slot_bad_checksum:
                checksum ^= 0xFF
            return self._answer(4, 7, d[2], checksum)
        if sub == 8:
            store, slot, mode, buffer, _ = self.handles.pop(d[2])
            if mode == 4:
                self.data[(store, slot)] = bytes(buffer)
            return self._answer(4, 8, d[2], 0)
        return []

    def _by_slot(self, sub, store, slot):
        if store >= STORES or slot >= SLOTS:
            return self._answer(4, sub | 0x80, store, slot, ERR_MEDIA)
        content = self.data.get((store, slot), b"")
        if sub in (1, 2):
            value = self.module.options.slot_capacity if sub == 1 else len(content)
            return self._answer(4, sub, store, slot, value >> 8, value & 0xFF)
        handle = self.next_handle
        self.next_handle = self.next_handle % 254 + 1
        buffer = bytearray(content) if sub == 3 else bytearray()
        self.handles[handle] = [store, slot, sub, buffer, 0]
        return self._answer(4, sub, store, slot, handle)
