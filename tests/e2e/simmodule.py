"""The simulated module (sim/module.py) as a child process steered by its stdin commands."""
import json
import pathlib
import select
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]


class SimModule:
    """One running sim/module.py. `ready` holds the key=value words of its ready line
    (e.g. ready["port"], ready["path"], ready["umockdev_dir"])."""

    def __init__(self, args, prefix=(), record=None):
        extra = ["--record", str(record)] if record else []
        self.proc = subprocess.Popen(
            [*prefix, "/usr/bin/python3", str(ROOT / "sim" / "module.py"), *map(str, args), *extra],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self._line(10)
        if not line.startswith("ready "):
            self.stop()
            raise RuntimeError("simulated module did not start: %r" % line)
        self.ready = dict(word.split("=", 1) for word in line.split()[1:] if "=" in word)

    def _line(self, timeout):
        readable, _, _ = select.select([self.proc.stdout], [], [], timeout)
        return self.proc.stdout.readline().strip() if readable else ""

    def command(self, text):
        """Sends one command; returns the value of an "ok" reply ("" for a bare "ok").
        Raises RuntimeError for an error reply or none within 5 s."""
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        reply = self._line(5)
        if reply == "ok" or reply.startswith("ok "):
            return reply[3:]
        raise RuntimeError("%s: %r" % (text, reply))

    def stats(self, module=""):
        return json.loads(self.command(module + "stats"))

    def received(self, module=""):
        return bytes.fromhex(self.command(module + "received"))

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.flush()
                self.proc.wait(timeout=3)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
