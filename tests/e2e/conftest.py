"""Shared fixtures: run the real updater binary with a private HOME."""
import collections
import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
UPDATER = os.environ.get("UPDATER_BIN", str(ROOT / "build" / "updater"))

Run = collections.namedtuple("Run", "code out err")


def run_updater_at(args, home, env=None, timeout=30, **kwargs):
    """Runs the updater with `args`; env entries set to None are removed."""
    if not os.access(UPDATER, os.X_OK):
        pytest.fail(f"{UPDATER} is not built (set UPDATER_BIN to use another binary)")
    full_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(home)}
    for key, value in (env or {}).items():
        if value is None:
            full_env.pop(key, None)
        else:
            full_env[key] = value
    kwargs.setdefault("stdin", subprocess.DEVNULL)
    done = subprocess.run([UPDATER, *args], capture_output=True, env=full_env, timeout=timeout, **kwargs)
    return Run(done.returncode, done.stdout.decode(), done.stderr.decode())


@pytest.fixture
def home(tmp_path):
    """An empty directory used as HOME."""
    path = tmp_path / "home"
    path.mkdir()
    return path


@pytest.fixture
def run_updater(home):
    """run_updater(*args, env=None, timeout=30) -> Run(code, out, err), HOME set to `home`."""
    def run(*args, env=None, timeout=30, **kwargs):
        return run_updater_at([str(a) for a in args], home, env, timeout, **kwargs)
    return run


UpdateServer = collections.namedtuple("UpdateServer", "url record log")


@pytest.fixture
def update_server(tmp_path):
    """update_server(catalogue=None, *options) -> UpdateServer(url, record, log).

    Starts sim/update_server.py on 127.0.0.1 with a free port; `catalogue` is the dict
    its --catalogue file holds, `options` further command-line options (e.g. "--fault",
    "status500"). `record` is the file of received requests (JSON lines). Every server
    started is stopped at teardown."""
    import json
    import select

    started = []

    def start(catalogue=None, *options):
        n = len(started)
        cat = tmp_path / f"catalogue{n}.json"
        cat.write_text(json.dumps(catalogue or {}))
        record, log = tmp_path / f"requests{n}.jsonl", tmp_path / f"server{n}.log"
        proc = subprocess.Popen(
            ["/usr/bin/python3", str(ROOT / "sim" / "update_server.py"), "--catalogue", str(cat),
             "--record", str(record), "--log", str(log), *options],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        started.append(proc)
        ready, _, _ = select.select([proc.stdout], [], [], 10)
        line = proc.stdout.readline().decode() if ready else ""
        if "port=" not in line:
            pytest.fail(f"update_server did not start: {line!r}")
        port = int(line.split("port=")[1])
        return UpdateServer(f"http://127.0.0.1:{port}/cgi/u", record, log)

    yield start
    for proc in started:
        proc.terminate()
        try:
            proc.wait(timeout=3)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


@pytest.fixture
def make_module(tmp_path):
    """make_module(*args) -> SimModule: starts sim/module.py with `args` (e.g. "--tcp",
    "127.0.0.1:0", "--heartbeat-ms", 1000); it records every packet to a file in tmp_path.
    Every module started is stopped at teardown."""
    from simmodule import SimModule

    started = []

    def start(*args):
        module = SimModule(args, record=tmp_path / f"module{len(started)}.log")
        started.append(module)
        return module

    yield start
    for module in started:
        module.stop()
