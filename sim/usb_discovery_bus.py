#!/usr/bin/python3
"""An emulated USB bus of modules that differ in product id and serial text,
for testing USB discovery. Run under umockdev-wrapper:

    umockdev-wrapper /usr/bin/python3 sim/usb_discovery_bus.py \
        --device 0000000A:0x0013 --device 1234567:0x0004 --device 0000000B:0x8011

Each --device TEXT:PRODUCTID plugs one simulated module whose serial-number
string descriptor is TEXT, exactly as given (so texts that are no valid serial
number can be offered too), with that product id and the maker's vendor id.
Prints "ready transport=usb umockdev_dir=... devnode=..." and then takes the
line commands of cvmodule/control.py on stdin, like sim/module.py.
"""
import argparse
import copy
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import module as module_cli  # noqa: E402
from cvmodule import control  # noqa: E402
from cvmodule.device import Module  # noqa: E402
from cvmodule.usb import UsbBus  # noqa: E402


def _device(text):
    serial, _, product = text.rpartition(":")
    if not serial:
        raise argparse.ArgumentTypeError("expected TEXT:PRODUCTID")
    return serial, int(product, 0)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--device", type=_device, action="append", required=True)
    own, rest = p.parse_known_args(argv)
    options = module_cli.parse(["--usb"] + rest)
    modules = []
    for text, product_id in own.device:
        device_options = copy.copy(options)
        device_options.product_id = product_id
        modules.append(Module(device_options, text))
    bus = UsbBus(modules, options, lambda words: module_cli.module_from_spec(options, words))
    print("ready " + bus.ready_words(), flush=True)
    bus.run(lambda: control.serve(bus))
    return 0


if __name__ == "__main__":
    sys.exit(main())
