"""Fault injection shared by the module and its transport."""
import threading


class Faults:
    def __init__(self):
        self._lock = threading.Lock()
        self.drop_in = 0        # host packets to ignore
        self.corrupt_out = 0    # replies whose address byte is made odd
        self.delay_ms = 0       # added before every reply
        self.silent = False     # no replies, no heartbeats

    def take_drop(self):
        with self._lock:
            if self.drop_in > 0:
                self.drop_in -= 1
                return True
            return False

    def take_corrupt(self):
        with self._lock:
            if self.corrupt_out > 0:
                self.corrupt_out -= 1
                return True
            return False
