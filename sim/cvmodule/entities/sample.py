"""A sample entity (command 12, two indices) with an option of every value
kind, for tests of the UEI forms: 1 u8, 2 u16, 3 u32, 4 call, 5 byte array,
6 to 8 u8, u16 and u32 per subindex."""
from ..uei import Option, UeiEntity


class Sample(UeiEntity):
    command = 12
    indices = 2

    def __init__(self, module):
        super().__init__(module)
        self.options = {
            1: Option("u8", 0x12), 2: Option("u16", 0x1234), 3: Option("u32", 0x01020304),
            4: Option("call"), 5: Option("bytes", bytes(range(50))),
            6: Option("u8", 0x21, subindexed=True), 7: Option("u16", 0x2122, subindexed=True),
            8: Option("u32", 0x21222324, subindexed=True),
        }
