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
