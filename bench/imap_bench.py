#!/usr/bin/env python3
"""vfolder imap beside mbsync (isync): the same messages pushed into fresh
mailboxes of one local Dovecot (tests/imap_test.py's server, imaps on
127.0.0.1), side by side in one run, each round a new mailbox; the medians
and their ratio.

    imap_bench.py VFOLDER MKFOLDER [--messages N] [--rounds N] [--windows EXE]...

vfolder sends the folder straight from its data folder file; mbsync pushes
the Maildir that `vfolder maildir` makes of the same folder, so both send
the same bytes. With --windows, each vfolder.exe named sends it too under
Wine, its Wine server kept running so that only its own start is timed.
Prints one line per round, the figures and whether each target is met.
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

MbsyncTarget = 0.5   # vfolder imap x mbsync
WindowsTarget = 1.5  # vfolder.exe imap under Wine x vfolder imap
WineRun = os.path.join(here, "..", "scripts", "wine-run.sh")


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def target(text, limit, figure):
    print("  %-52s %5.2f  %s" % (text % limit, figure, "met" if figure <= limit else "NOT met"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vfolder")
    parser.add_argument("mkfolder")
    parser.add_argument("--messages", type=int, default=10000)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--windows", action="append", default=[])
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
            exes = [os.path.abspath(exe) for exe in args.windows]
            for exe in exes:
                times[exe] = []
                times[exe + " start"] = []
            # One Wine server for every run, as a user's desktop has. Wine's
            # services outlive a program and hold on to its output: the
            # runs' output goes to a file, never a pipe waited on.
            wine_env = dict(env, WINEPREFIX=os.environ.get("VESSOR_WINEPREFIX",
                                                           "/root/.cache/vessor-wine"))
            wine_log = open(os.path.join(work, "wine.log"), "wb")
            if exes:
                subprocess.run(["wineserver", "-p"], env=wine_env, check=True)
                # Wine's services start with the first program: not timed.
                subprocess.run(["bash", WineRun, "120", exes[0], "--version"], check=True,
                               env=wine_env, stdout=wine_log, stderr=wine_log)
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
                mailboxes = ["V%d" % n, "M%d" % n]
                for k, exe in enumerate(exes):
                    started = time.monotonic()
                    subprocess.run(["bash", WineRun, "120", exe, "--version"], check=True,
                                   env=wine_env, stdout=wine_log, stderr=wine_log)
                    times[exe + " start"].append(time.monotonic() - started)
                    mailboxes.append("W%d-%d" % (n, k))
                    started = time.monotonic()
                    subprocess.run(["bash", WineRun, "900", exe, "--ca", wine_path(ca),
                                    "--password-file", wine_path(password), "--ledger",
                                    wine_path(os.path.join(work, "w%d-%d.ledger" % (n, k))),
                                    "imap", wine_path(index), "imaps://%s@127.0.0.1:%d/%s" % (
                                        imap_test.User, server.imaps, mailboxes[-1])],
                                   check=True, env=wine_env, stdout=wine_log, stderr=wine_log)
                    times[exe].append(time.monotonic() - started)
                counts = []
                imap = server.client(ca)
                for mailbox in mailboxes:
                    _, data = imap.status(mailbox, "(MESSAGES)")
                    counts.append(data[0].split()[-1].rstrip(b")").decode())
                imap.logout()
                print("round %d: vfolder imap %.2f s, mbsync %.2f s%s (messages there: %s)" % (
                    n + 1, times["vfolder imap"][-1], times["mbsync"][-1],
                    "".join(", %s %.2f s" % (os.path.relpath(exe), times[exe][-1])
                            for exe in exes), ", ".join(counts)), flush=True)
        finally:
            server.stop()
            if exes:
                subprocess.run(["wineserver", "-k"], env=wine_env)
    vf, mb = (statistics.median(times[k]) for k in ("vfolder imap", "mbsync"))
    print("imap, %d messages into local Dovecot, medians of %d:" % (args.messages, args.rounds))
    print("  vfolder imap %.2f s, mbsync %.2f s" % (vf, mb))
    for exe in exes:
        print("  %s under Wine %.2f s, of which its start (--version) %.2f s" % (
            os.path.relpath(exe), statistics.median(times[exe]),
            statistics.median(times[exe + " start"])))
    print("targets")
    target("vfolder imap <= %.1f x mbsync", MbsyncTarget, vf / mb)
    for exe in exes:
        target("%s <= %%.1f x vfolder imap" % os.path.basename(os.path.dirname(exe)),
               WindowsTarget, statistics.median(times[exe]) / vf)


if __name__ == "__main__":
    main()
