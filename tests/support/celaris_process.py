"""The built celaris, headless, on 127.0.0.1 and any free port, with a
settings file, config folder and documents folder of its own; for the
tests that drive the real program from Python."""

import os
import re
import select
import signal
import subprocess
import tempfile
import threading
import time


class CelarisProcess:
    def __init__(self, program, args=(), env=None, prefix="celaris-test-", setup=None):
        self.dir = tempfile.TemporaryDirectory(prefix=prefix)
        self.profile = os.path.join(self.dir.name, "profile.json")
        self.docs = os.path.join(self.dir.name, "docs")
        os.makedirs(self.docs)
        # A test may write the settings file the program starts with.
        if setup is not None:
            setup(self)
        environment = dict(os.environ)
        environment["CELARIS_CONFIG_DIR"] = os.path.join(self.dir.name, "config")
        environment["CELARIS_DOCUMENTS_DIR"] = self.docs
        environment.pop("DISPLAY", None)
        environment.pop("WAYLAND_DISPLAY", None)
        environment.update(env or {})
        self.process = subprocess.Popen(
            [program, "--headless", "--profile", self.profile, "--listen", "127.0.0.1:0",
             *args],
            env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.log = b""
        self.port = None
        deadline = time.monotonic() + 15
        while self.port is None:
            left = deadline - time.monotonic()
            if left <= 0 or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("celaris did not start:\n" + self.log.decode(errors="replace"))
            ready, _, _ = select.select([self.process.stderr], [], [], left)
            if ready:
                self.log += os.read(self.process.stderr.fileno(), 4096)
                m = re.search(rb"Alpaca telescope on http://127\.0\.0\.1:(\d+)/", self.log)
                if m:
                    self.port = int(m.group(1))
        self.url = "http://127.0.0.1:%d" % self.port
        # Keep reading, so that a chatty program never blocks on a full pipe.
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def _drain(self):
        for line in self.process.stderr:
            self.log += line

    def stop(self):
        """Ends the program as Ctrl+C does; its exit code."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if hasattr(self, "reader"):
            self.reader.join(timeout=5)
        self.process.stderr.close()
        self.dir.cleanup()
        return self.process.returncode
