"""cmdSTREAM (93): stream subscriptions and the samples the module streams.

    set option 1 (0x81), int value = module, command, option, index: subscribe
    set option 2 (0x82), same value: unsubscribe
    get option 1 (0x41): 1 while anything is subscribed

While subscribed, every --stream-ms the module sends a sample of each value
its subscriptions cover (255 = every option, every index 0..n-1): kinds 1-3
for plain options, 5-7 (subindex 0) for options per subindex, and byte arrays
as stream packets with their trailers.
"""
import threading
import time

from ..uei import ERR_PARAM, SIZES, STREAM, byte_array_packets, encode
from ..uei import UeiEntity, Option
from ..wire import Packet

KINDS = {"u8": 1, "u16": 2, "u32": 3, "i32": 3}


class Streams(UeiEntity):
    command = 93

    @classmethod
    def add_arguments(cls, parser):
        super().add_arguments(parser)
        parser.add_argument("--stream-ms", type=int, default=100, help="sample interval")

    def __init__(self, module):
        super().__init__(module)
        self.options = {1: Option("u32"), 2: Option("u32")}
        self.subscriptions = set()  # (command, option, index)
        self.lock = threading.Lock()
        self.started = time.monotonic()
        threading.Thread(target=self._run, daemon=True).start()

    def _get(self, option, number, index, rest):
        with self.lock:
            streaming = 1 if self.subscriptions else 0
        return [self.reply(number, index, bytes([streaming]))]

    def on_set(self, number, index, value):
        key = value.to_bytes(4, "big")
        subscription = (key[1], key[2], key[3])
        with self.lock:
            if number == 1:
                self.subscriptions.add(subscription)
            else:
                self.subscriptions = {s for s in self.subscriptions if not _covers(subscription, s)}

    def _set(self, option, number, index, rest):
        if len(rest) != 4 or rest[0] != self.module.address:
            return [self.error(number | 0xC0, index, ERR_PARAM)]
        return super()._set(option, number, index, rest)

    def _run(self):
        while True:
            time.sleep(max(self.module.options.stream_ms, 5) / 1000.0)
            with self.lock:
                subscriptions = list(self.subscriptions)
            for packet in self._samples(subscriptions):
                self.module.reply(packet)

    def _samples(self, subscriptions):
        stamp = int((time.monotonic() - self.started) * 1000).to_bytes(8, "big")
        for command, option, index in subscriptions:
            entity = self.module.entities.get(command)
            options = getattr(entity, "options", {})
            numbers = options.keys() if option == 255 else [option]
            indices = range(getattr(entity, "indices", 1)) if index == 255 else [index]
            for number in numbers:
                opt = options.get(number)
                for i in indices:
                    if opt is None or opt.kind == "call":
                        continue
                    if opt.kind == "bytes":
                        yield from byte_array_packets(self.module.address, (command, number, i),
                                                      opt.get(i), stream=True)
                        continue
                    kind = KINDS[opt.kind] + (4 if opt.subindexed else 0)
                    head = bytes([command, number, i | STREAM, kind])
                    sub = bytes([0]) if opt.subindexed else b""
                    value = encode(opt.kind, opt.get(i))
                    assert len(value) == SIZES[opt.kind]
                    yield Packet(self.module.address, head + sub + stamp + value + b"\x00")


def _covers(general, specific):
    return all(g == 255 or g == s for g, s in zip(general, specific))
