"""cmdDEBUG (23): the module sends the packet back unchanged."""
from . import Entity


class Debug(Entity):
    command = 23

    def handle(self, packet):
        return [packet]
