"""cmdI2C (8): the module's I2C bus, and the modules behind it when it routes.

    8 i a|1 n speed        -> 8 i a|1 n status data(n)   read
    8 i a n speed bytes    -> 8 i a 0 status             write
    8 i 1 on               -> 8 i 1 0 status             pull-ups
status 0 acknowledges; 0x80 | code when no device answers at address a.
--behind ADDRESS:SERIAL[:MODEL] puts a module on the bus (repeat for more):
it answers the I2C bus at its address, and packets for its address that
reach this module are handled by it, the replies going out over this
module's own link.
"""
import copy

from . import Entity
from ..wire import Packet

NACK = 0x80 | 9  # qErrRead: nobody answered


class I2C(Entity):
    command = 8

    @classmethod
    def add_arguments(cls, parser):
        parser.add_argument("--behind", action="append", default=[], metavar="ADDR:SERIAL[:MODEL]")

    def __init__(self, module):
        super().__init__(module)
        from ..device import Module  # the device imports the entities
        self.pullup = 0
        self.memory = {}  # address -> bytes last written
        for spec in module.options.behind:
            parts = spec.split(":")
            options = copy.copy(module.options)
            options.behind = []
            options.address = int(parts[0], 0)
            options.heartbeat_ms = 0
            options.record = None
            if len(parts) > 2:
                options.model = int(parts[2], 0)
            module.children[options.address] = Module(options, "%08X" % int(parts[1], 16))

    def _present(self, address):
        return (address & 0xFE) in self.module.children

    def handle(self, packet):
        d = packet.data
        me = self.module.address
        if len(d) == 4 and d[2] == 1:
            self.pullup = d[3]
            return [Packet(me, bytes([8, d[1], 1, 0, 0]))]
        if len(d) < 5:
            return []
        index, address, count = d[1], d[2], d[3]
        if address & 1:
            if not self._present(address):
                return [Packet(me, bytes([8, index, address, 0, NACK]))]
            stored = self.memory.get(address & 0xFE, b"")
            data = (stored + bytes(count))[:count]
            return [Packet(me, bytes([8, index, address, count, 0]) + data)]
        status = 0 if self._present(address) else NACK
        if status == 0:
            self.memory[address] = d[5:5 + count]
        return [Packet(me, bytes([8, index, address, 0, status]))]
