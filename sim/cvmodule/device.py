"""The simulated module: what it answers, what it sends on its own, what it saw."""
import collections
import queue
import threading
import time

from .entities import entity_classes
from .faults import Faults
from .wire import ADDRESS_QUERY, FORCE_ROUTE, Packet, Parser


class Module:
    """One module. A transport attaches a send function while a host is there
    and feeds every received byte to receive(); all replies go out through a
    single sender thread so that delays keep the order of the replies."""

    def __init__(self, options, serial):
        self.options = options
        self.serial = serial
        self.address = options.address
        self.model = options.model
        self.faults = Faults()
        self.children = {}  # address -> Module reached through this one (entities add them)
        self.entities = {cmd: cls(self) for cmd, cls in entity_classes().items()}
        self.stats = collections.Counter()
        self.route = None
        self.heartbeat_ms = options.heartbeat_ms
        self._lock = threading.Lock()
        self._parser = Parser()
        self._received = bytearray()
        self._port = None
        self._hb_value = options.heartbeat_start & 0xFF
        self._hb_expect = collections.deque()  # replies still owed, oldest first
        self._outbox = queue.Queue()
        self._record = open(options.record, "a", buffering=1) if options.record else None
        self._wake = threading.Event()
        threading.Thread(target=self._sender, daemon=True).start()
        threading.Thread(target=self._heartbeats, daemon=True).start()

    # --- transport side -------------------------------------------------
    def attach(self, send):
        with self._lock:
            self._port = send
            self._parser = Parser()
        self._wake.set()

    def detach(self):
        with self._lock:
            self._port = None

    def receive(self, data):
        with self._lock:
            self._received += data
            packets = self._parser.feed(data)
            self.stats["skipped_bytes"] = self._parser.skipped
        for packet in packets:
            self._log("rx", packet.wire())
            if self.faults.take_drop():
                self.stats["dropped"] += 1
                continue
            for reply in self.handle(packet):
                self.reply(reply)

    # --- protocol -------------------------------------------------------
    def handle(self, packet):
        """Returns the replies to one packet from the host."""
        self.stats["packets"] += 1
        if packet.address == ADDRESS_QUERY and not packet.data:
            self.stats["sync_requests"] += 1
            return [Packet(self.address)]
        if packet.address == FORCE_ROUTE and len(packet.data) == 1:
            self.route = packet.data[0]
            self.stats["route_%d" % self.route] += 1
            return []
        if packet.address != self.address:
            child = self.children.get(packet.address)
            if child is not None:
                return child.handle(packet)
            self.stats["ignored"] += 1
            return []
        if len(packet.data) == 2 and packet.data[0] == 0:
            self._check_heartbeat_reply(packet.data[1])
            return []
        entity = self.entities.get(packet.command)
        if entity is None:
            self.stats["ignored"] += 1
            return []
        return entity.handle(packet) or []

    def reply(self, packet):
        data = packet.wire()
        if self.faults.take_corrupt():
            data = bytes([data[0] | 1]) + data[1:]
        self.send_raw(data)

    def send_raw(self, data):
        self._outbox.put((time.monotonic() + self.faults.delay_ms / 1000.0, data))

    def _sender(self):
        while True:
            due, data = self._outbox.get()
            pause = due - time.monotonic()
            if pause > 0:
                time.sleep(pause)
            with self._lock:
                port = self._port
            if port is None or self.faults.silent:
                self.stats["unsent"] += 1
                continue
            try:
                port(data)
                self._log("tx", data)
            except OSError:
                self.stats["unsent"] += 1

    # --- heartbeats -----------------------------------------------------
    def set_heartbeat(self, ms):
        self.heartbeat_ms = ms
        self._wake.set()

    def _heartbeats(self):
        while True:
            interval = self.heartbeat_ms / 1000.0 if self.heartbeat_ms > 0 else None
            self._wake.wait(interval)
            if self._wake.is_set():
                self._wake.clear()
                continue
            with self._lock:
                if self._port is None or self.faults.silent:
                    continue
                value = self._hb_value
                self._hb_value = (value + 1) & 0xFF
                self._hb_expect.append((value + 2) & 0xFF)
            self.stats["heartbeats_sent"] += 1
            self.send_raw(Packet(self.address, bytes([0, value])).wire())

    def _check_heartbeat_reply(self, value):
        with self._lock:
            ok = value in self._hb_expect
            while ok and self._hb_expect:
                if self._hb_expect.popleft() == value:
                    break
                self.stats["heartbeat_missed"] += 1
        self.stats["heartbeat_replies_ok" if ok else "heartbeat_replies_bad"] += 1

    # --- record ---------------------------------------------------------
    def received(self):
        with self._lock:
            return bytes(self._received)

    def clear(self):
        with self._lock:
            self._received.clear()
            self.stats.clear()

    def _log(self, direction, data):
        if self._record:
            self._record.write("%s %s %s\n" % (self.serial, direction, data.hex()))
