"""cmdINFO (73): what the module implements, and its build number.

    73 1 c o i flags -> 73 1 c o i r    r = 0 when entity c has option o at
                                        index i (flags 0x40 get, 0x80 set)
    73 4 c           -> 73 4 c n        number of entities of class c
    73 5 c i         -> 73 5 c i n      sub-entities of entity (c, i)
    73 6 c i         -> 73 6 c i g      group of entity (c, i)
    73 255           -> 73 255 b3 b2 b1 b0   build, most significant first
"""
from . import Entity
from ..uei import ERR_INVALID_ENTITY, ERR_INVALID_OPTION, ERR_PARAM
from ..wire import Packet


class Info(Entity):
    command = 73

    def handle(self, packet):
        d = packet.data
        reply = None
        if len(d) == 6 and d[1] == 1:
            reply = d[:5] + bytes([self._has_uei(d[2], d[3], d[4], d[5])])
        elif len(d) == 3 and d[1] == 4:
            entity = self.module.entities.get(d[2])
            reply = d + bytes([getattr(entity, "indices", 1) if entity else 0])
        elif len(d) == 4 and d[1] == 5:
            reply = d + bytes([2 if d[2] in self.module.entities else 0])
        elif len(d) == 4 and d[1] == 6:
            reply = d + bytes([d[2] & 0x0F])
        elif len(d) == 2 and d[1] == 255:
            build = getattr(self.module.options, "build", 0)
            reply = d + build.to_bytes(4, "big")
        return [Packet(self.module.address, reply)] if reply is not None else []

    def _has_uei(self, command, option, index, flags):
        entity = self.module.entities.get(command)
        options = getattr(entity, "options", None)
        if options is None:
            return ERR_INVALID_ENTITY
        found = options.get(option)
        if found is None:
            return ERR_INVALID_OPTION
        if index >= getattr(entity, "indices", 1):
            return ERR_PARAM
        if flags == 0x80 and not found.writable:
            return ERR_PARAM
        return 0
