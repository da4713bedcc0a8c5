"""Packets in wire form: address, length (0..28), data. No other framing."""

MAX_DATA = 28
ADDRESS_QUERY = 0xAD  # sync request and module-address query
FORCE_ROUTE = 0xAF    # route on/off


class Packet:
    __slots__ = ("address", "data")

    def __init__(self, address, data=b""):
        if not 0 <= address <= 255 or len(data) > MAX_DATA:
            raise ValueError("bad packet")
        self.address = address
        self.data = bytes(data)

    def wire(self):
        return bytes([self.address, len(self.data)]) + self.data

    @property
    def command(self):
        return self.data[0] if self.data else None

    def __repr__(self):
        return "Packet(%02X %s)" % (self.address, self.data.hex())

    def __eq__(self, other):
        return isinstance(other, Packet) and self.wire() == other.wire()


class Parser:
    """Rebuilds packets from a byte stream.

    A byte that cannot start a packet (odd address other than the two
    special ones, or zero) is skipped, as is a length above 28, so the
    parser finds the next packet boundary on its own after garbage.
    """

    def __init__(self):
        self._buf = bytearray()
        self.skipped = 0

    def feed(self, data):
        self._buf += data
        packets = []
        while self._buf:
            first = self._buf[0]
            if first == 0 or (first & 1 and first not in (ADDRESS_QUERY, FORCE_ROUTE)):
                del self._buf[0]
                self.skipped += 1
                continue
            if len(self._buf) < 2:
                break
            length = self._buf[1]
            if length > MAX_DATA:
                del self._buf[0]
                self.skipped += 1
                continue
            if len(self._buf) < 2 + length:
                break
            packets.append(Packet(first, bytes(self._buf[2:2 + length])))
            del self._buf[:2 + length]
        return packets
