"""An emulated USB bus for the simulated modules, through umockdev.

Each module appears as a USB device (sysfs attributes and descriptors) whose
device node is answered here: libusb's ioctls on the node come to UsbfsHandler,
which keeps the submitted URBs, answers control transfers (string
descriptors), feeds bulk OUT data to the module and fills bulk IN URBs with
what the module sends. The node itself is the slave side of a pty whose output
is switched off (tcflow) while no URB is complete, so libusb's poll() only
wakes when there is something to reap; closing the pty is an unplug.

Optionally each module also gets a "/dev/cindervex.SERIAL" node, the stand-in
for the kernel driver: a pty slave whose master carries the module's bytes.

The process must run under umockdev-wrapper so that hot-plug events reach
programs using the testbed (they go through the mocked libudev).
"""
import errno
import os
import shutil
import signal
import struct
import termios
import threading
import tty

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import GLib, UMockdev  # noqa: E402

from . import usbdesc  # noqa: E402

# usbdevfs requests (x86-64 sizes)
SUBMITURB = 0x8038550A
DISCARDURB = 0x0000550B
REAPURB = 0x4008550C
REAPURBNDELAY = 0x4008550D
CLAIMINTERFACE = 0x8004550F
RELEASEINTERFACE = 0x80045510
CONNECTINFO = 0x40085511
CLEAR_HALT = 0x80045515
RESET = 0x00005514
SETCONFIGURATION = 0x80045505
GETDRIVER = 0x41045508
GET_CAPABILITIES = 0x8004551A
IOCTL = 0xC0105512
DISCONNECT_CLAIM = 0x8108551B

URB_SIZE = 56
URB_TYPE_CONTROL = 2
URB_STATUS_OFFSET = 4
URB_BUFFER_OFFSET = 16
URB_ACTUAL_OFFSET = 28
CAP_BULK_CONTINUATION = 0x02
CAP_NO_PACKET_SIZE_LIM = 0x04


class Urb:
    __slots__ = ("client", "data", "buffer", "endpoint", "length", "kind")

    def __init__(self, client, data, buffer, kind, endpoint, length):
        self.client = client
        self.data, self.buffer = data, buffer
        self.kind, self.endpoint, self.length = kind, endpoint, length

    def finish(self, status, actual):
        self.data.update(URB_STATUS_OFFSET, struct.pack("<i", status))
        self.data.update(URB_ACTUAL_OFFSET, struct.pack("<i", actual))


class UsbfsHandler(UMockdev.IoctlBase):
    """The usbfs side of one emulated module."""

    def __init__(self, device):
        super().__init__()
        self.device = device
        self.pending_in = []   # bulk IN URBs waiting for data
        self.done = {}         # per open node (client): completed URBs, oldest first
        self.inbox = bytearray()
        self.halted = set()    # endpoints the test stalled
        self.io_errors = 0     # bulk URBs to fail with EPROTO
        self.out_sizes = []    # length of every bulk OUT URB, for the chunking checks

    def do_handle_ioctl(self, client):
        request = client.get_request()
        arg = client.get_arg()
        handler = {
            SUBMITURB: self._submit, REAPURBNDELAY: self._reap, REAPURB: self._reap,
            DISCARDURB: self._discard, GET_CAPABILITIES: self._capabilities,
        }.get(request)
        if handler is not None:
            return handler(client, arg)
        if request in (CLAIMINTERFACE, RELEASEINTERFACE, SETCONFIGURATION, RESET):
            self.device.count(request)
            client.complete(0, 0)
        elif request == CLEAR_HALT:
            (endpoint,) = struct.unpack("<I", bytes(arg.resolve(0, 4).retrieve()))
            self.halted.discard(endpoint & 0xFF)
            self.device.count("clear_halt")
            client.complete(0, 0)
        elif request == CONNECTINFO:
            arg.resolve(0, 8).update(0, struct.pack("<IB", self.device.devnum, 0))
            client.complete(0, 0)
        else:  # GETDRIVER, IOCTL (driver detach) and the rest: no kernel driver here
            client.complete(-1, errno.ENODATA if request == GETDRIVER else errno.ENOTTY)
        return True

    def _capabilities(self, client, arg):
        arg.resolve(0, 4).update(0, struct.pack("<I", CAP_BULK_CONTINUATION | CAP_NO_PACKET_SIZE_LIM))
        client.complete(0, 0)
        return True

    def _submit(self, client, arg):
        if self.device.gone:
            client.complete(-1, errno.ENODEV)
            return True
        data = arg.resolve(0, URB_SIZE)
        raw = bytes(data.retrieve())
        kind, endpoint = raw[0], raw[1]
        (length,) = struct.unpack_from("<i", raw, 24)
        buffer = data.resolve(URB_BUFFER_OFFSET, length) if length > 0 else None
        urb = Urb(client, data, buffer, kind, endpoint, length)
        if kind == URB_TYPE_CONTROL:
            self._control(urb)
        elif endpoint in self.halted:
            self._complete(urb, -errno.EPIPE, 0)
        elif self.io_errors > 0:
            self.io_errors -= 1
            self._complete(urb, -errno.EPROTO, 0)
        elif endpoint & 0x80:
            self.pending_in.append(urb)
            self.fill_in()
        else:
            data = bytes(buffer.retrieve()) if buffer else b""
            self.out_sizes.append(len(data))
            self._complete(urb, 0, len(data))
            self.device.from_host(data)
        client.complete(0, 0)
        return True

    def _control(self, urb):
        setup = bytes(urb.buffer.retrieve())[:8]
        request_type, request, value, index, wlength = struct.unpack("<BBHHH", setup)
        reply = None
        if request_type == 0x80 and request == 6:  # GET_DESCRIPTOR
            reply = self.device.descriptor(value >> 8, value & 0xFF)
        if reply is None:
            self._complete(urb, -errno.EPIPE, 0)
            return
        reply = reply[:wlength]
        urb.buffer.update(8, reply)
        self._complete(urb, 0, len(reply))

    def _complete(self, urb, status, actual):
        # Each open of the node reaps only its own URBs, as with a real device.
        urb.finish(status, actual)
        self.done.setdefault(urb.client, []).append(urb)
        self.device.set_ready(True)

    def _any_done(self):
        return any(self.done.values())

    def fill_in(self):
        while self.pending_in and self.inbox:
            urb = self.pending_in.pop(0)
            chunk = bytes(self.inbox[:urb.length])
            del self.inbox[:len(chunk)]
            urb.buffer.update(0, chunk)
            self._complete(urb, 0, len(chunk))

    def _reap(self, client, arg):
        mine = self.done.get(client)
        if not mine:
            self.device.set_ready(self._any_done())
            client.complete(-1, errno.ENODEV if self.device.gone else errno.EAGAIN)
            return True
        urb = mine.pop(0)
        arg.resolve(0, 8).set_ptr(0, urb.data)
        self.device.set_ready(self._any_done())
        client.complete(0, 0)
        return True

    def _discard(self, client, arg):
        (address,) = struct.unpack("<Q", bytes(arg.retrieve()))
        for urb in self.pending_in:
            if urb.client == client and urb.data.client_addr == address:
                self.pending_in.remove(urb)
                self._complete(urb, -errno.ENOENT, 0)
                client.complete(0, 0)
                return True
        client.complete(-1, errno.EINVAL)
        return True

    def unplug(self):
        for urb in self.pending_in:
            self._complete(urb, -errno.ESHUTDOWN, 0)
        self.pending_in.clear()


class UsbDevice:
    """One module on the emulated bus, from plug-in to unplug."""

    def __init__(self, bus, module, devnum):
        self.bus, self.module = bus, module
        self.devnum, self.serial = devnum, module.serial
        self.gone = False
        self.counts = {}
        self.handler = UsbfsHandler(self)
        self.master, self._slave = os.openpty()
        tty.setraw(self._slave)
        self.set_ready(False)
        self.devnode = "/dev/bus/usb/001/%03d" % devnum
        options = module.options
        serial = self.serial
        attrs = {
            "busnum": "1", "devnum": str(devnum), "speed": "480",
            "idVendor": "%04x" % usbdesc.VENDOR_ID, "idProduct": "%04x" % options.product_id,
            "bConfigurationValue": "1", "bNumConfigurations": "1", "serial": serial,
            "manufacturer": "Quorvel", "product": "Cindervex module",
        }
        descriptors = usbdesc.device_descriptor(options.product_id) + \
            usbdesc.config_descriptor(options.max_packet)
        devpath = "/devices/pci0000:00/usb1/1-%d" % devnum
        self.syspath = "/sys" + devpath
        lines = ["P: " + devpath, "N: bus/usb/001/%03d" % devnum,
                 "E: SUBSYSTEM=usb", "E: DEVTYPE=usb_device",
                 "E: DEVNAME=/dev/bus/usb/001/%03d" % devnum,
                 "E: BUSNUM=001", "E: DEVNUM=%03d" % devnum]
        lines += ["A: %s=%s" % kv for kv in attrs.items()]
        lines.append("H: descriptors=" + descriptors.hex().upper())
        # The ioctl socket must exist before the device shows in sysfs: a host that
        # enumerates in between and opens the node would find no handler and die.
        bus.testbed.attach_ioctl(self.devnode, self.handler)
        bus.testbed.add_from_string("\n".join(lines) + "\n")
        node = os.path.join(bus.testbed.get_root_dir(), self.devnode.lstrip("/"))
        os.unlink(node)
        os.symlink(os.ttyname(self._slave), node)
        module.attach(self._to_host)

    def count(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1

    def set_ready(self, ready):
        """Output on = poll() reports the node writable = a URB can be reaped."""
        try:
            termios.tcflow(self._slave, termios.TCOON if ready else termios.TCOOFF)
        except termios.error:
            pass

    def descriptor(self, kind, index):
        if kind == 1:
            return usbdesc.device_descriptor(self.module.options.product_id)
        if kind == 2:
            return usbdesc.config_descriptor(self.module.options.max_packet)
        if kind == 3:
            texts = {0: None, usbdesc.STRING_MANUFACTURER: "Quorvel",
                     usbdesc.STRING_PRODUCT: "Cindervex module", usbdesc.STRING_SERIAL: self.serial}
            if index == 0:
                return usbdesc.language_descriptor()
            if index in texts:
                return usbdesc.string_descriptor(texts[index])
        return None

    def from_host(self, data):
        self.module.receive(data)

    def _to_host(self, data):
        # called from the module's sender thread; URBs live in the main loop
        GLib.idle_add(self._queue_in, data)

    def _queue_in(self, data):
        if not self.gone:
            self.handler.inbox += data
            self.handler.fill_in()
        return False

    def unplug(self):
        self.gone = True
        self.module.detach()
        self.handler.unplug()
        try:
            self.bus.testbed.detach_ioctl(self.devnode)
        except GLib.Error:
            pass
        self.bus.testbed.uevent(self.syspath, "remove")
        self.bus.testbed.remove_device(self.syspath)
        os.close(self.master)  # the node's poll() now reports a hang-up
        os.close(self._slave)


class KernelNode:
    """The kernel driver's "/dev/cindervex.SERIAL": a pty slave carrying the
    module's bytes through its master."""

    def __init__(self, bus, module):
        self.module = module
        self.master, self._slave = os.openpty()
        tty.setraw(self._slave)
        self.path = "/dev/cindervex.%s" % module.serial
        dev = os.path.join(bus.testbed.get_root_dir(), "dev")
        os.makedirs(dev, exist_ok=True)
        self._link = os.path.join(dev, self.path[5:])
        os.symlink(os.ttyname(self._slave), self._link)
        module.attach(lambda data: os.write(self.master, data))
        threading.Thread(target=self._read_loop, daemon=True).start()

    def _read_loop(self):
        while True:
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return
            if not data:
                return
            self.module.receive(data)

    def unplug(self):
        self.module.detach()
        os.unlink(self._link)
        os.close(self.master)
        os.close(self._slave)


class UsbBus:
    """The bus. Modules come from the command line (--serial, all alike) or from
    "plug" commands with their own settings; "unplug" and "vanish" take them off."""

    def __init__(self, modules, options, make_module):
        self.options = options
        self.make_module = make_module
        self.modules = {}
        self.devices = {}
        self.nodes = {}
        self._next_devnum = 2
        self.testbed = UMockdev.Testbed.new()
        self.loop = GLib.MainLoop()
        for module in modules:
            self._attach(module)

    def _attach(self, module):
        self.modules[module.serial] = module
        if module.options.usbfs:
            self._plug_usbfs(module)
        if module.options.kernel_node:
            self.nodes[module.serial] = KernelNode(self, module)

    def _plug_usbfs(self, module):
        device = UsbDevice(self, module, self._next_devnum)
        self._next_devnum += 1
        self.devices[module.serial] = device
        self.testbed.uevent(device.syspath, "add")

    def _detach(self, serial):
        device = self.devices.pop(serial, None)
        if device is not None:
            device.unplug()
        node = self.nodes.pop(serial, None)
        if node is not None:
            node.unplug()
        return self.modules.pop(serial, None)

    def ready_words(self):
        words = ["transport=usb", "umockdev_dir=%s" % self.testbed.get_root_dir()]
        words += ["devnode=%s" % d.devnode for d in self.devices.values()]
        words += ["node=%s" % n.path for n in self.nodes.values()]
        return " ".join(words)

    def run(self, control_loop):
        """Runs the main loop until "quit", end of input, SIGTERM or SIGINT, then
        removes the testbed's directory (umockdev leaves it behind otherwise)."""
        def control_then_quit():
            control_loop()
            GLib.idle_add(self.loop.quit)
        threading.Thread(target=control_then_quit, daemon=True).start()
        for signum in (signal.SIGTERM, signal.SIGINT):
            GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signum, self._quit_on_signal)
        try:
            self.loop.run()
        finally:
            shutil.rmtree(self.testbed.get_root_dir(), ignore_errors=True)

    def _quit_on_signal(self):
        self.loop.quit()
        return False

    def command(self, cmd, args, module):
        """Transport commands, run in the main loop (URBs live there)."""
        result = {}
        done = threading.Event()

        def in_loop():
            try:
                result["value"] = self._command(cmd, args, module)
            except (KeyError, ValueError, IndexError) as e:
                result["error"] = e
            done.set()
            return False
        GLib.idle_add(in_loop)
        done.wait(5)
        if "error" in result:
            raise result["error"]
        return result.get("value")

    def _command(self, cmd, args, module):
        if cmd == "plug":
            self._attach(self.make_module(args))
            return None
        if module is None:
            raise ValueError("no module")
        device = self.devices.get(module.serial)
        if cmd == "unplug":
            self._detach(module.serial)
        elif cmd == "vanish":
            away_ms = int(args[0])
            new_serial = "%08X" % int(args[1], 16) if len(args) > 1 else module.serial
            self._detach(module.serial)
            GLib.timeout_add(away_ms, self._come_back, module, new_serial)
        elif device is None:
            raise ValueError("no usbfs device")
        elif cmd == "stall":
            device.handler.halted.add(int(args[0], 16))
        elif cmd == "ioerrors":
            device.handler.io_errors = int(args[0])
        elif cmd == "outsizes":
            return ",".join(str(n) for n in device.handler.out_sizes)
        elif cmd == "usbcounts":
            return " ".join("%s=%d" % (k if isinstance(k, str) else "%08x" % k, v)
                            for k, v in device.counts.items())
        else:
            raise KeyError(cmd)
        return None

    def _come_back(self, module, serial):
        module.serial = serial
        self._attach(module)
        return False
