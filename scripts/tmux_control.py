"""A tmux session driven through one control client, for the benchmarks that
time the real hosts: sending keys and reading the screen fork nothing."""
import atexit
import re
import subprocess
import sys
import time


class Host:
    """A tmux session driven through one control client."""

    def __init__(self, session, socket=None):
        self.session = session
        args = ["tmux"] + (["-L", socket] if socket else []) + ["-C", "attach", "-t", session]
        self.client = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       text=True, bufsize=1, encoding="utf-8", errors="replace")
        atexit.register(self.client.kill)
        self.command("refresh-client -f no-output")

    def command(self, line):
        """One tmux command; its output lines."""
        self.client.stdin.write(line + "\n")
        self.client.stdin.flush()
        out = None
        while True:
            got = self.client.stdout.readline()
            if not got:
                sys.exit("bench: the tmux control client ended")
            got = got.rstrip("\n")
            # Blocks flagged 0 answer no command of ours (the attach itself).
            if got.startswith("%begin") and got.endswith(" 1"):
                out = []
            elif got.startswith(("%end", "%error")) and out is not None:
                return out
            elif out is not None:
                out.append(got)

    def keys(self, *keys, literal=False):
        self.command("send-keys -t %s %s%s" % (self.session, "-l " if literal else "",
                                              " ".join(keys)))

    def type(self, text):
        """TEXT as bytes (escape sequences and backslashes included)."""
        self.command("send-keys -t %s -H %s" % (self.session,
                                                 " ".join("%02x" % b for b in text.encode())))

    def screen(self):
        return self.command("capture-pane -p -t " + self.session)

    def cursor(self):
        return self.command("display -p -t %s '#{cursor_x},#{cursor_y}'" % self.session)[0]

    def seen(self, pattern, limit):
        """Whether PATTERN shows within LIMIT seconds."""
        start = time.monotonic()
        while time.monotonic() - start < limit:
            if any(re.search(pattern, line) for line in self.screen()):
                return True
            time.sleep(0.005)
        return False

    def wait(self, pattern, limit=300):
        start = time.monotonic()
        while time.monotonic() - start < limit:
            if any(re.search(pattern, line) for line in self.screen()):
                return time.monotonic() - start
            time.sleep(0.005)
        sys.exit("bench: %r not seen on %s:\n%s" % (pattern, self.session, "\n".join(self.screen())))
