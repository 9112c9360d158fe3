#!/usr/bin/env python3
"""vfolder imap beside mbsync (isync): the same messages pushed into fresh
mailboxes of one local Dovecot (tests/imap_test.py's server, imaps on
127.0.0.1), side by side in one run, each round a new mailbox; the medians
and their ratio.

    imap_bench.py VFOLDER MKFOLDER [--messages N] [--rounds N]

vfolder sends the folder straight from its data folder file; mbsync pushes
the Maildir that `vfolder maildir` makes of the same folder, so both send
the same bytes. Prints one line per round and the figure.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests"))
import imap_test  # noqa: E402
import make_mail_folder  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vfolder")
    parser.add_argument("mkfolder")
    parser.add_argument("--messages", type=int, default=10000)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    if shutil.which("mbsync") is None or shutil.which("dovecot") is None:
        sys.exit("imap bench: mbsync (isync) and dovecot-imapd are needed: scripts/setup.sh")
    # In memory where there is a tmpfs: Dovecot's and the ledger's fsyncs
    # would time the disk, which other work shares.
    with tempfile.TemporaryDirectory(dir="/dev/shm" if os.path.isdir("/dev/shm") else None) as work:
        os.chmod(work, 0o755)
        ca, certificates = imap_test.make_certificates(work)
        server = imap_test.Server(work, certificates)
        server.start()
        try:
            description = os.path.join(work, "bench.txt")
            with open(description, "w", encoding="ascii") as out:
                out.write(make_mail_folder.description(make_mail_folder.messages(args.messages)))
            index = os.path.join(work, "BENCH.IDX")
            subprocess.run([args.mkfolder, description, index], check=True)
            maildir = os.path.join(work, "Maildir")
            subprocess.run([args.vfolder, "maildir", index, maildir], check=True,
                           capture_output=True)
            password = os.path.join(work, "password")
            with open(password, "w") as out:
                out.write(imap_test.Password + "\n")
            env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"))
            times = {"vfolder imap": [], "mbsync": []}
            for n in range(args.rounds):
                started = time.monotonic()
                subprocess.run([args.vfolder, "--ca", ca, "--password-file", password, "imap",
                                index, "imaps://%s@127.0.0.1:%d/V%d" % (
                                    imap_test.User, server.imaps, n)],
                               check=True, env=env, capture_output=True)
                times["vfolder imap"].append(time.monotonic() - started)
                config = os.path.join(work, "mbsyncrc%d" % n)
                with open(config, "w") as out:
                    out.write("""IMAPAccount bench
Host 127.0.0.1
Port {port}
User {user}
PassCmd "cat {password}"
SSLType IMAPS
CertificateFile {ca}

IMAPStore remote
Account bench

MaildirStore local
Path {work}/
Inbox {maildir}

Channel push
Far :remote:M{n}
Near :local:
Create Far
Sync Push
SyncState {work}/state{n}/
""".format(port=server.imaps, user=imap_test.User, password=password, ca=ca, work=work,
                               maildir=maildir, n=n))
                os.makedirs(os.path.join(work, "state%d" % n))
                started = time.monotonic()
                done = subprocess.run(["mbsync", "-c", config, "push"], capture_output=True)
                times["mbsync"].append(time.monotonic() - started)
                if done.returncode != 0:
                    sys.exit("mbsync failed: " + done.stderr.decode(errors="replace"))
                counts = []
                imap = server.client(ca)
                for mailbox in ("V%d" % n, "M%d" % n):
                    _, data = imap.status(mailbox, "(MESSAGES)")
                    counts.append(data[0].split()[-1].rstrip(b")").decode())
                imap.logout()
                print("round %d: vfolder imap %.2f s, mbsync %.2f s (messages there: %s)" % (
                    n + 1, times["vfolder imap"][-1], times["mbsync"][-1], " and ".join(counts)),
                    flush=True)
        finally:
            server.stop()
    vf, mb = (statistics.median(times[k]) for k in ("vfolder imap", "mbsync"))
    print("imap, %d messages into local Dovecot: vfolder imap %.2f s, mbsync %.2f s (medians of "
          "%d); vfolder takes %.2f times mbsync's time" % (args.messages, vf, mb, args.rounds,
                                                          vf / mb))


if __name__ == "__main__":
    main()
