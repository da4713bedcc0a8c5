"""The module behind a pty: the host opens the slave as its serial port."""
import os
import threading
import tty


class PtyTransport:
    def __init__(self, module):
        self.module = module
        self.modules = {module.serial: module}
        self.master, self._slave = os.openpty()
        tty.setraw(self._slave)  # no echo before the host sets its own modes
        self.path = os.ttyname(self._slave)
        module.attach(self._write)
        threading.Thread(target=self._read_loop, daemon=True).start()

    def ready_words(self):
        return "transport=pty path=%s" % self.path

    def _write(self, data):
        os.write(self.master, data)

    def _read_loop(self):
        while True:
            try:
                data = os.read(self.master, 4096)
            except OSError:
                break
            if not data:
                break
            self.module.receive(data)

    def command(self, cmd, args, module):
        raise KeyError(cmd)
