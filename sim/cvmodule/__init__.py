"""Simulated Cindervex module.

Layout:
  wire.py      packets in wire form and the byte parser that rebuilds them
  device.py    the module itself: sync, address query, routing, heartbeats,
               faults, the record of what the host sent, and dispatch to entities
  entities/    one file per command the module understands (see entities/__init__)
  faults.py    fault injection state shared by the module and its transports
  tcp.py, ptylink.py, usb.py
               transports: a TCP server, a pty pair, and an emulated USB bus
  control.py   the line protocol on stdin through which tests steer a running module
"""
