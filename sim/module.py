#!/usr/bin/python3
"""Simulated Cindervex module.

    /usr/bin/python3 sim/module.py --tcp 127.0.0.1:0
    /usr/bin/python3 sim/module.py --pty
    umockdev-wrapper /usr/bin/python3 sim/module.py --usb --serial 0000000A

Prints one line "ready transport=... key=value ..." when it can be reached,
then takes the commands of cvmodule/control.py on stdin.
"""
import argparse
import copy
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from cvmodule import control  # noqa: E402
from cvmodule.device import Module  # noqa: E402
from cvmodule.entities import entity_classes  # noqa: E402


def _serial(text):
    value = int(text, 16)
    if not 0 < value <= 0xFFFFFFFF:
        raise argparse.ArgumentTypeError("serial out of range")
    return "%08X" % value


def _even_address(text):
    value = int(text, 0)
    if value <= 0 or value > 254 or value & 1:
        raise argparse.ArgumentTypeError("module addresses are even, 2 to 254")
    return value


def parse(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    where = p.add_mutually_exclusive_group(required=True)
    where.add_argument("--tcp", metavar="HOST:PORT", help="listen here (port 0 = any)")
    where.add_argument("--pty", action="store_true", help="serve on a new pty")
    where.add_argument("--usb", action="store_true", help="emulated USB bus (run under umockdev-wrapper)")
    p.add_argument("--kernel-node", action="store_true",
                   help="with --usb: also provide /dev/cindervex.SERIAL backed by a pty")
    p.add_argument("--no-usbfs", dest="usbfs", action="store_false", help="with --usb: only the kernel node")
    p.add_argument("--serial", type=_serial, action="append", help="serial number in hex (repeat for more USB modules)")
    p.add_argument("--product-id", type=lambda t: int(t, 0), default=0x0004)
    p.add_argument("--max-packet", type=lambda t: int(t, 0), default=512, help="USB bulk max packet size")
    p.add_argument("--address", type=_even_address, default=0x04)
    p.add_argument("--model", type=lambda t: int(t, 0), default=0x10)
    p.add_argument("--heartbeat-ms", type=int, default=0, help="0 = no heartbeats")
    p.add_argument("--heartbeat-start", type=lambda t: int(t, 0), default=0xFE, help="first heartbeat value")
    p.add_argument("--record", help="append every packet both ways to this file")
    for cls in entity_classes().values():
        cls.add_arguments(p)
    options = p.parse_args(argv)
    if options.serial is None:
        options.serial = [] if options.usb else ["0000000A"]
    return options


# plug command keys -> option names and parsers
_PLUG_KEYS = {
    "serial": ("serial", _serial), "serialtext": ("serial", str), "pid": ("product_id", lambda t: int(t, 0)),
    "maxpacket": ("max_packet", lambda t: int(t, 0)), "address": ("address", _even_address),
    "heartbeat": ("heartbeat_ms", int), "kernel": ("kernel_node", lambda t: t == "1"),
    "usbfs": ("usbfs", lambda t: t != "0"), "model": ("model", lambda t: int(t, 0)),
}


def module_from_spec(options, words):
    """A module for the USB "plug" command: key=value settings over the defaults."""
    own = copy.copy(options)
    for word in ",".join(words).split(","):
        if not word:
            continue
        key, _, value = word.partition("=")
        if key not in _PLUG_KEYS:
            raise ValueError("unknown setting %s" % key)
        name, parse_value = _PLUG_KEYS[key]
        try:
            setattr(own, name, parse_value(value))
        except argparse.ArgumentTypeError as e:
            raise ValueError(str(e))
    if isinstance(own.serial, list):
        raise ValueError("plug needs serial=")
    return Module(own, own.serial)


def main(argv=None):
    options = parse(argv)
    modules = [Module(options, s) for s in (options.serial if options.usb else options.serial[:1])]
    if options.tcp:
        from cvmodule.tcp import TcpTransport
        host, _, port = options.tcp.rpartition(":")
        transport = TcpTransport(modules[0], host, int(port))
    elif options.pty:
        from cvmodule.ptylink import PtyTransport
        transport = PtyTransport(modules[0])
    else:
        from cvmodule.usb import UsbBus
        transport = UsbBus(modules, options, lambda words: module_from_spec(options, words))
    print("ready " + transport.ready_words(), flush=True)
    if hasattr(transport, "run"):
        transport.run(lambda: control.serve(transport))
    else:
        control.serve(transport)
    return 0


if __name__ == "__main__":
    sys.exit(main())
