"""Line commands on stdin that steer a running simulator; one reply line each.

    drop N           ignore the next N packets from the host
    corrupt N        make the address byte of the next N replies odd
    insert HEX       send these raw bytes to the host now
    send HEX         same as insert (a whole packet in wire form)
    delay MS         hold every reply MS milliseconds
    silent on|off    send nothing at all (no replies, no heartbeats)
    heartbeat MS     heartbeat interval, 0 = none
    received         hex of every byte received since the last clear
    stats            counters as JSON
    clear            forget received bytes and counters
    close MS         transport: drop the host and refuse it for MS ms
    vanish MS [SER]  USB: leave the bus, come back after MS ms (new serial)
    plug K=V,...     USB: a new module (serial=, pid=, maxpacket=, address=,
                     heartbeat=, kernel=1 for a kernel node, usbfs=0 for none;
                     serialtext= gives the serial string exactly, even if invalid)
    unplug           USB: take the module off the bus for good
    stall EP         USB: stall endpoint EP (hex) until the host clears it
    ioerrors N       USB: fail the next N bulk transfers with an I/O error
    outsizes         USB: length of every bulk OUT transfer so far
    usbcounts        USB: count of each other request the node received
    quit

A command may start with @SERIAL to address one module of several.
Replies are "ok", "ok <value>" or "error <text>".
"""
import json
import sys


def _module_commands(module, cmd, args):
    f = module.faults
    if cmd == "drop":
        f.drop_in = int(args[0])
    elif cmd == "corrupt":
        f.corrupt_out = int(args[0])
    elif cmd in ("insert", "send"):
        module.send_raw(bytes.fromhex("".join(args)))
    elif cmd == "delay":
        f.delay_ms = int(args[0])
    elif cmd == "silent":
        f.silent = args[0] == "on"
    elif cmd == "heartbeat":
        module.set_heartbeat(int(args[0]))
    elif cmd == "received":
        return module.received().hex()
    elif cmd == "stats":
        return json.dumps(dict(module.stats, route=module.route))
    elif cmd == "clear":
        module.clear()
    else:
        raise KeyError(cmd)
    return None


def serve(transport, stdin=sys.stdin, out=sys.stdout):
    """Runs until quit or end of input. `transport.modules` maps serial texts
    to modules (the first is the default); `transport.command(cmd, args,
    module)` handles the transport's own commands, KeyError for others."""
    for line in stdin:
        words = line.split()
        if not words:
            continue
        module = next(iter(transport.modules.values()), None)
        if words[0].startswith("@"):
            module = transport.modules.get(words[0][1:].upper())
            words = words[1:]
            if module is None:
                print("error no such module", file=out, flush=True)
                continue
        if not words:
            continue
        cmd, args = words[0], words[1:]
        if cmd == "quit":
            print("ok", file=out, flush=True)
            return
        try:
            try:
                if module is None:
                    raise KeyError(cmd)
                value = _module_commands(module, cmd, args)
            except KeyError:
                value = transport.command(cmd, args, module)
            print("ok" if value is None else "ok " + value, file=out, flush=True)
        except KeyError:
            print("error unknown command %s" % cmd, file=out, flush=True)
        except (ValueError, IndexError) as e:
            print("error %s" % e, file=out, flush=True)
