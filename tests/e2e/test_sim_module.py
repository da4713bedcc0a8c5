"""The simulated module itself: what later tests rely on, checked from plain sockets."""
import socket
import time

import pytest


def connect(module):
    s = socket.create_connection(("127.0.0.1", int(module.ready["port"])), timeout=2)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def connect_accepted(module):
    """Connects and waits for one sync answer: the simulator has then taken the connection,
    so a fault asked for next applies to it."""
    s = connect(module)
    s.sendall(bytes([0xAD, 0x00]))
    assert read_exactly(s, 2) == bytes([0x04, 0x00])
    return s


def read_exactly(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            break
        data += chunk
    return data


def test_answers_sync_echo_and_ignores_what_it_does_not_know(make_module):
    module = make_module("--tcp", "127.0.0.1:0", "--address", "6")
    s = connect(module)
    # garbage, sync request, unknown command, route on, echo
    s.sendall(bytes([0x03, 0xAD, 0x00, 0x06, 0x01, 0x77, 0xAF, 0x01, 0x01, 0x06, 0x02, 23, 0x42]))
    assert read_exactly(s, 6) == bytes([0x06, 0x00, 0x06, 0x02, 23, 0x42])
    stats = module.stats()
    assert stats["sync_requests"] == 1 and stats["ignored"] == 1 and stats["route"] == 1
    assert module.received()[1:] == bytes([0xAD, 0x00, 0x06, 0x01, 0x77, 0xAF, 0x01, 0x01, 0x06, 0x02, 23, 0x42])


def test_heartbeats_wrap_and_replies_are_checked(make_module):
    module = make_module("--tcp", "127.0.0.1:0", "--heartbeat-ms", "50", "--heartbeat-start", "0xFF")
    s = connect(module)
    first = read_exactly(s, 4)
    assert first == bytes([0x04, 0x02, 0x00, 0xFF])
    s.sendall(bytes([0x04, 0x02, 0x00, 0x01]))  # 0xFF + 2 wraps to 0x01
    second = read_exactly(s, 4)
    assert second == bytes([0x04, 0x02, 0x00, 0x00])
    s.sendall(bytes([0x04, 0x02, 0x00, 0x05]))  # wrong: should be 0x02
    module.command("heartbeat 0")
    time.sleep(0.1)
    stats = module.stats()
    assert stats["heartbeat_replies_ok"] == 1 and stats["heartbeat_replies_bad"] == 1


@pytest.mark.parametrize("fault, sent, reply", [
    ("drop 1", bytes([0xAD, 0x00, 0xAD, 0x00]), bytes([0x04, 0x00])),
    ("corrupt 1", bytes([0xAD, 0x00]), bytes([0x05, 0x00])),
    ("insert 0301", b"", bytes([0x03, 0x01])),
])
def test_faults_change_what_the_host_sees(make_module, fault, sent, reply):
    module = make_module("--tcp", "127.0.0.1:0")
    s = connect_accepted(module)
    module.command(fault)
    s.sendall(sent)
    assert read_exactly(s, len(reply)) == reply
    s.settimeout(0.2)
    with pytest.raises(socket.timeout):
        s.recv(1)


def test_delay_and_silence(make_module):
    module = make_module("--tcp", "127.0.0.1:0")
    s = connect_accepted(module)
    module.command("delay 300")
    start = time.monotonic()
    s.sendall(bytes([0xAD, 0x00]))
    assert read_exactly(s, 2) == bytes([0x04, 0x00])
    assert time.monotonic() - start >= 0.3
    module.command("delay 0")
    module.command("silent on")
    s.sendall(bytes([0xAD, 0x00]))
    s.settimeout(0.3)
    with pytest.raises(socket.timeout):
        s.recv(1)


def test_close_refuses_the_host_then_comes_back(make_module):
    module = make_module("--tcp", "127.0.0.1:0")
    s = connect_accepted(module)
    module.command("close 400")
    assert s.recv(1) == b""
    with pytest.raises(ConnectionRefusedError):
        connect(module)
    time.sleep(0.5)
    s = connect(module)
    s.sendall(bytes([0xAD, 0x00]))
    assert read_exactly(s, 2) == bytes([0x04, 0x00])
