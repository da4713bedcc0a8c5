"""Entity registry of the simulated module.

An entity answers the packets of one command number. To add one, drop a file
into this package that defines a subclass of Entity with a `command` number:

    from . import Entity

    class Echo(Entity):
        command = 23

        def handle(self, packet):        # a Packet addressed to this module
            return [packet]              # replies, in order (may be empty)

Every entity file is imported when the package loads, and each module creates
one instance of every entity, so instance attributes hold per-module state
(stored blocks, slots, stream subscriptions). An entity may take command line
options through the classmethod `add_arguments(parser)`; the parsed options
are in `self.module.options`. A module that routes for others (I2C) can hold
further modules and hand packets for their addresses to them.
"""
import importlib
import pkgutil

_registry = {}


class Entity:
    command = None

    def __init_subclass__(cls, **kwargs):
        super().__init_subclass__(**kwargs)
        if cls.command is not None:
            if cls.command in _registry:
                raise ValueError("two entities for command %d" % cls.command)
            _registry[cls.command] = cls

    def __init__(self, module):
        self.module = module

    @classmethod
    def add_arguments(cls, parser):
        pass

    def handle(self, packet):
        return []


def entity_classes():
    return dict(_registry)


for _info in pkgutil.iter_modules(__path__):
    importlib.import_module("%s.%s" % (__name__, _info.name))
