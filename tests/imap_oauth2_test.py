#!/usr/bin/env python3
"""vfolder imap and verify with --oauth2-token-command against Dovecot's own
oauth2 passdb, which asks a token service on 127.0.0.1 (oauth2_service.py)
whether each token is good.

    imap_oauth2_test.py VFOLDER MKFOLDER

The token command hands out the tokens of a list, one a run, and counts its
runs. A good token: the messages go once and verify finds each there once.
A token that expires during the run, the connection then cut: the reconnect's
token is refused, the command run again, its fresh token taken, each message
once. A wrong token: refused, then the renewed one too: a clear error, exit
status 1, nothing appended. A server offering OAUTHBEARER alone: the login
takes it; offering neither: a clear refusal. No token in any output, log,
rawlog or ledger.
Exits 77 (skipped) where Dovecot's IMAP server or openssl is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
from imap_test import Case, Server, User, cut_at, each_once, make_certificates, summary  # noqa: E402
from mail_output_test import Tools, check, failures  # noqa: E402
from oauth2_service import TokenService  # noqa: E402

Skipped = 77

# Prints the next token of the list in TOKENS (the last one once they run
# out) and counts its runs in TOKENS.runs.
NextToken = """import sys
path = sys.argv[1]
try:
    runs = int(open(path + ".runs").read())
except OSError:
    runs = 0
open(path + ".runs", "w").write(str(runs + 1))
tokens = open(path).read().split()
print(tokens[min(runs, len(tokens) - 1)])
"""


class Tokens:
    """The token command of a row: its list, its command line, its runs."""

    def __init__(self, work, name, tokens):
        self.path = os.path.join(work, name + ".tokens")
        with open(self.path, "w") as out:
            out.write("\n".join(tokens) + "\n")
        script = os.path.join(work, "next_token.py")
        with open(script, "w") as out:
            out.write(NextToken)
        self.command = "%s %s %s" % (sys.executable, script, self.path)

    def runs(self):
        try:
            with open(self.path + ".runs") as runs:
                return int(runs.read())
        except OSError:
            return 0


def rows(case, service, work, msgs, folder):
    ca = case.ca
    given = []  # every token handed out, for the check that none shows

    def tokens(name, *listed):
        given.extend(listed)
        return Tokens(work, name, listed)

    # A good token: each message once, and verify with it says so.
    good = tokens("good", service.issue())
    status, err = case.vfolder("--ca", ca, "--oauth2-token-command", good.command, "imap", folder,
                               case.url("OAuth"), password="not-this")
    check("good token: status and summary", (0, summary(len(msgs), len(msgs), 0, 0)),
          (status, err))
    check("good token: the command run once", 1, good.runs())
    each_once(case, "good token", "OAuth", msgs)
    done = subprocess.run([case.tools.vfolder, "--ca", ca, "--oauth2-token-command", good.command,
                           "verify", folder, case.url("OAuth")], capture_output=True,
                          env={k: v for k, v in os.environ.items() if k != "VFOLDER_PASSWORD"})
    case.outputs += [done.stdout, done.stderr]
    check("good token: verify finds each there once",
          (0, b"%d messages: %d present, 0 missing, 0 twice, 0 changed\n" % (len(msgs), len(msgs))),
          (done.returncode, done.stdout))

    # A token that expires a few seconds in; the cut connection's reconnect
    # gets it again (a cached token), refused; the command's next is fresh.
    short = service.issue(4)
    renewed = tokens("renewed", short, short, service.issue())
    started = time.time()
    run = case.vfolder("--ca", ca, "--limit-rate", "40000", "--oauth2-token-command",
                       renewed.command, "imap", folder, case.url("Renewed"), wait=False)
    cut_at(case, "Renewed", 50)
    time.sleep(max(0, started + 5 - time.time()))
    case.server.drop_sessions()
    out, err = run.communicate(timeout=300)
    case.outputs += [out, err]
    check("token expired mid-run: status, reconnected, command runs",
          (0, True, 3), (run.returncode, b"was lost" in err, renewed.runs()))
    each_once(case, "token expired mid-run", "Renewed", msgs)

    # A wrong token, and the renewed one wrong too: nothing goes.
    wrong = tokens("wrong", "wrong-token-1", "wrong-token-2")
    status, err = case.vfolder("--ca", ca, "--oauth2-token-command", wrong.command, "imap", folder,
                               case.url("Wrong"))
    check("wrong token: status, the command run twice", (1, 2), (status, wrong.runs()))
    check("wrong token: a clear error", True,
          "vfolder: login as %s refused: " % User in err and "printed again" in err)
    check("wrong token: no mailbox made", None, case.read("Wrong"))

    # A command that fails or prints nothing: no login tried.
    for name, command, words in (("failing", "exit 3", "--oauth2-token-command ended with status 3"),
                                 ("silent", "true", "--oauth2-token-command printed no token")):
        status, err = case.vfolder("--ca", ca, "--oauth2-token-command", command, "imap", folder,
                                   case.url("Wrong"))
        check(name + " token command: status and error", (1, True), (status, words in err))

    # OAUTHBEARER where the server offers it alone; neither: refused.
    for mechanisms, mailbox, expected in (("oauthbearer", "Bearer", 0), (None, "None", 1)):
        case.server.stop()
        case.server.oauth2 = (service.config(), mechanisms) if mechanisms else None
        case.server.start()
        few = tokens(mailbox, service.issue())
        status, err = case.vfolder("--ca", ca, "--oauth2-token-command", few.command, "imap",
                                   folder, case.url(mailbox))
        check("%s: status" % (mechanisms or "no OAuth2 offered"), expected, status)
        if mechanisms:
            each_once(case, mechanisms, mailbox, msgs)
        else:
            check("no OAuth2 offered: a clear error", True, "offers no OAuth2 login" in err)
            check("no OAuth2 offered: no mailbox made", None, case.read(mailbox))
    return given


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    if not os.path.exists("/usr/lib/dovecot/imap") or shutil.which("dovecot") is None or \
            shutil.which("openssl") is None:
        print("!!! Dovecot's IMAP server or openssl is not installed (Debian: dovecot-imapd, "
              "openssl): the OAuth2 checks are SKIPPED")
        sys.exit(Skipped)
    probe = subprocess.run([sys.argv[1], "imap", "-", "imaps://x@127.0.0.1/"], capture_output=True)
    if b"not in this build" in probe.stderr:
        print("!!! vfolder was built without GnuTLS: the OAuth2 checks are SKIPPED")
        sys.exit(Skipped)
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        tools = Tools(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
        ca, certificates = make_certificates(work)
        service = TokenService(User)
        server = Server(work, certificates)
        server.oauth2 = (service.config(), "xoauth2 oauthbearer")
        server.start()
        case = Case(tools, server, ca)
        try:
            msgs = make_mail_folder.messages(1000)
            given = rows(case, service, work, msgs, tools.folder("OAUTH", msgs))
        finally:
            server.stop()
            service.stop()
        logs = b""
        for top, _, names in os.walk(work):
            for name in names:
                if name.endswith((".ledger", ".log", ".in", ".out")):
                    with open(os.path.join(top, name), "rb") as text:
                        logs += text.read()
        check("the server's log and the ledgers read", True, b"Dovecot" in logs)

        check("no token in any output, error line, log, rawlog or ledger", [],
              [t for t in given if any(t.encode() in text for text in case.outputs + [logs])])
    if not failures:
        print("vfolder imap with OAuth2: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
