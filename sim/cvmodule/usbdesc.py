"""USB descriptors of an emulated module: one configuration, one vendor
interface (class 0xFF, subclass 0x88, protocol 0x10) with a bulk IN and a
bulk OUT endpoint."""
import struct

VENDOR_ID = 0x3A7C  # must equal MODULE_VENDOR_ID of the library
EP_IN = 0x81
EP_OUT = 0x01
STRING_MANUFACTURER, STRING_PRODUCT, STRING_SERIAL = 1, 2, 3


def device_descriptor(product_id):
    return struct.pack("<BBHBBBBHHHBBBB", 18, 1, 0x0200, 0, 0, 0, 64,
                       VENDOR_ID, product_id, 0x0100,
                       STRING_MANUFACTURER, STRING_PRODUCT, STRING_SERIAL, 1)


def config_descriptor(max_packet):
    interface = struct.pack("<BBBBBBBBB", 9, 4, 0, 0, 2, 0xFF, 0x88, 0x10, 0)
    ep_in = struct.pack("<BBBBHB", 7, 5, EP_IN, 0x02, max_packet, 0)
    ep_out = struct.pack("<BBBBHB", 7, 5, EP_OUT, 0x02, max_packet, 0)
    body = interface + ep_in + ep_out
    head = struct.pack("<BBHBBBBB", 9, 2, 9 + len(body), 1, 1, 0, 0x80, 50)
    return head + body


def string_descriptor(text):
    raw = text.encode("utf-16-le")
    return bytes([2 + len(raw), 3]) + raw


def language_descriptor():
    return bytes([4, 3, 0x09, 0x04])
