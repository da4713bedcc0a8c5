"""The module as a TCP server: one host at a time, bytes as they come."""
import socket
import threading
import time


class TcpTransport:
    def __init__(self, module, host, port):
        self.module = module
        self.modules = {module.serial: module}
        self.host = host
        self._listener = self._listen(port)
        self.port = self._listener.getsockname()[1]
        self._conn = None
        self._lock = threading.Lock()
        threading.Thread(target=self._accept_loop, daemon=True).start()

    def ready_words(self):
        return "transport=tcp host=%s port=%d" % (self.host, self.port)

    def _listen(self, port):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((self.host, port))
        s.listen(4)
        return s

    def _accept_loop(self):
        while True:
            with self._lock:
                listener = self._listener
            if listener is None:
                time.sleep(0.01)
                continue
            try:
                conn, _ = listener.accept()
            except OSError:
                continue
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self._lock:
                old, self._conn = self._conn, conn
            if old is not None:
                self._drop(old)
            self.module.attach(conn.sendall)
            threading.Thread(target=self._read_loop, args=(conn,), daemon=True).start()

    def _read_loop(self, conn):
        while True:
            try:
                data = conn.recv(4096)
            except OSError:
                data = b""
            if not data:
                break
            self.module.receive(data)
        with self._lock:
            if self._conn is conn:
                self._conn = None
                self.module.detach()
        conn.close()

    @staticmethod
    def _drop(conn):
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def command(self, cmd, args, module):
        if cmd != "close":
            raise KeyError(cmd)
        away_ms = int(args[0]) if args else 0
        with self._lock:
            listener, self._listener = self._listener, None
            conn = self._conn
        self.module.detach()
        try:
            listener.shutdown(socket.SHUT_RDWR)  # wakes the accept loop
        except OSError:
            pass
        listener.close()
        if conn is not None:
            self._drop(conn)
        threading.Timer(away_ms / 1000.0, self._come_back).start()
        return None

    def _come_back(self):
        listener = self._listen(self.port)
        with self._lock:
            self._listener = listener
