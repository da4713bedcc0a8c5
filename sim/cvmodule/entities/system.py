"""The system entity (command 3): identity, addresses, versions, power and the
rest of the module's own settings."""
import time

from ..uei import Option, UeiEntity


def _hex(text):
    return int(text, 16)


class System(UeiEntity):
    command = 3

    @classmethod
    def add_arguments(cls, parser):
        super().add_arguments(parser)
        parser.add_argument("--version", type=_hex, default=0x2F020F03,
                            help="packed firmware version (hex; current or legacy layout)")
        parser.add_argument("--build", type=int, default=100000)
        parser.add_argument("--name", default="Sim module")

    def __init__(self, module):
        super().__init__(module)
        o = module.options
        self.started = time.monotonic()
        ro = dict(writable=False)
        self.options = {
            1: Option("u8", module.address, **ro),
            2: Option("u8", 0), 3: Option("u8", 1), 4: Option("u8", 0), 6: Option("u8", 0),
            7: Option("u32", o.version, **ro), 8: Option("u8", module.model, **ro),
            9: Option("u32", int(module.serial, 16) if _is_hex(module.serial) else 0, **ro),
            10: Option("call"), 11: Option("call"),
            12: Option("u32", 12000, **ro), 13: Option("u8", 0, **ro), 14: Option("u8", 2, **ro),
            15: Option("u8", 0), 16: Option("u8", 0, **ro), 20: Option("u8", 0),
            21: Option("u32", 250, **ro), 22: Option("u32", 0, **ro),
            23: Option("i32", 45000, **ro), 24: Option("call"),
            25: Option("i32", 12100, **ro), 26: Option("i32", -5, **ro),
            27: Option("i32", -1250, **ro), 28: Option("i32", -20000, **ro),
            29: Option("u8", 1, **ro), 30: Option("u8", 0),
            31: Option("bytes", bytes(8)), 32: Option("bytes", o.name.encode()),
            33: Option("u32", 5000, **ro), 34: Option("u32", 10000), 35: Option("u32", 0, **ro),
            36: Option("call"), 37: Option("call"), 38: Option("u8", 0),
            40: Option("u32", 0x00020001, **ro), 41: Option("u32", 0, **ro),
            42: Option("u8", 255), 43: Option("u32", o.build, **ro), 45: Option("u32", 1, **ro),
        }

    def _get(self, option, number, index, rest):
        if number == 22:
            option.default = int(time.monotonic() - self.started)
        return super()._get(option, number, index, rest)

    def on_set(self, number, index, value):
        if number == 4:
            self.options[4].set(index, 1 if value else 0)


def _is_hex(text):
    try:
        int(text, 16)
        return len(text) == 8
    except ValueError:
        return False
