#!/usr/bin/env python3
"""vfolder imap against a real IMAP server: Dovecot on 127.0.0.1, a port of
its own, a throwaway configuration, a user in a passwd-file, and a
certificate from a certificate authority the test makes with openssl.

    imap_test.py VFOLDER MKFOLDER
    imap_test.py VFOLDER MKFOLDER cyrus    (the same uploads into Cyrus IMAP)
    imap_test.py serve DIR          (a server for trying by hand; Ctrl+C ends it)

The 3,000-message folder and a directory of five folders go up, and every
message is read back with Python's imaplib over TLS: byte for byte, the
internal date the item's, flags as asked, mailboxes as named. Then: a dry
run sends nothing; a connection cut with APPENDs in flight, the run going
on, each message once; a server killed in the middle of a run and started again
gets each message once when the run is started again, and once more without
the ledger; vfolder killed with kill -9 and run again, each message once; a
server without MULTIAPPEND gets one message an APPEND; a full mailbox stops
the run with one line; answers over 1 MB end the connection; a wrong
password, a certificate for another host name, a message over the server's
limit; the password is in no output, no log and not in vfolder's
environment while it runs.
Exits 77 (skipped) where Dovecot's IMAP server or openssl is missing.
"""
import calendar
import collections
import copy
import imaplib
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
WineRun = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts",
                       "wine-run.sh")
from mail_output_test import Tools, check, check_time, dated_messages, failures, instant  # noqa: E402,E501

Skipped = 77
User, Password = "mailer", "s3cr3t-Pa55-%d" % os.getpid()
Months = {m: n + 1 for n, m in enumerate(make_mail_folder.MONTHS)}


def listening(port, server, log):
    """Waits until a server started listens on `port` of 127.0.0.1."""
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError(server + " did not start: see " + log)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificates(work):
    """A certificate authority, a server certificate it signs for 127.0.0.1,
    and one it signs for another host name only."""
    def run(*args):
        subprocess.run(["openssl"] + list(args), check=True, capture_output=True)
    ca_key, ca = os.path.join(work, "ca.key"), os.path.join(work, "ca.pem")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
        "-days", "2", "-subj", "/CN=vfolder test authority")
    made = {}
    for name, san in (("good", "IP:127.0.0.1"), ("other", "DNS:mail.other.example")):
        key, csr = os.path.join(work, name + ".key"), os.path.join(work, name + ".csr")
        cert, ext = os.path.join(work, name + ".pem"), os.path.join(work, name + ".ext")
        with open(ext, "w") as out:
            out.write("subjectAltName=%s\nextendedKeyUsage=serverAuth\n" % san)
        run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", "/CN=%s" % san.split(":")[1])
        run("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
            "-out", cert, "-days", "2", "-extfile", ext)
        made[name] = (cert, key)
    return ca, made


class Server:
    """Dovecot's IMAP server, imaps and imap (STARTTLS) on free ports."""

    def __init__(self, work, certificates, limit=None):
        self.home = os.path.join(work, "dovecot")
        os.makedirs(os.path.join(self.home, "mail"), exist_ok=True)
        self.root = os.geteuid() == 0
        self.certificates, self.limit = certificates, limit
        self.imaps, self.imap = free_port(), free_port()
        self.log = os.path.join(self.home, "dovecot.log")
        with open(os.path.join(self.home, "passwd"), "w") as out:
            out.write("%s:{PLAIN}%s::::::\n" % (User, Password))
        if self.root:
            subprocess.run(["chown", "-R", "nobody:nogroup", os.path.join(self.home, "mail")],
                           check=True)
        self.process = None
        # (the text of Dovecot's oauth2 passdb file, the mechanisms it takes)
        # to let XOAUTH2 and OAUTHBEARER in (imap_oauth2_test.py); None: none
        self.oauth2 = None

    def write_config(self, certificate, capability=None, storage="10G"):
        cert, key = certificate
        ids = ("nobody", "nogroup") if self.root else (os.getuid(), os.getgid())
        me = os.environ.get("USER", "root")
        quota = ""
        if self.limit:
            quota = ("mail_plugins = $mail_plugins quota\nprotocol imap {\n"
                     "  mail_plugins = $mail_plugins imap_quota\n}\nplugin {\n"
                     "  quota = maildir:User quota\n  quota_rule = *:storage=%s\n"
                     "  quota_max_mail_size = %d\n}\n" % (storage, self.limit))
        with open(os.path.join(self.home, "dovecot.conf"), "w") as conf:
            conf.write("""base_dir = {home}/run
state_dir = {home}/state
log_path = {log}
auth_verbose = yes
protocols = imap
listen = 127.0.0.1
ssl = required
ssl_cert = <{cert}
ssl_key = <{key}
{dh}
disable_plaintext_auth = yes
auth_mechanisms = plain{mechanisms}
{users}
{oauth2}passdb {{
{plain_only}  driver = passwd-file
  args = scheme=PLAIN username_format=%u {home}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={home}/mail/%u
}}
mail_location = maildir:~/Maildir:LAYOUT=fs
namespace inbox {{
  inbox = yes
  separator = /
}}
service imap-login {{
  inet_listener imap {{
    address = 127.0.0.1
    port = {imap}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {imaps}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
rawlog_dir = {home}/rawlog
{quota}{capability}""".format(home=self.home, log=self.log, cert=cert, key=key, uid=ids[0], gid=ids[1],
                  imap=self.imap, imaps=self.imaps, quota=quota,
                  mechanisms=" " + self.oauth2[1] if self.oauth2 else "",
                  oauth2=self.oauth2_passdb(),
                  # the passwords' passdb then takes PLAIN alone
                  plain_only="  mechanisms = plain\n" if self.oauth2 else "",
                  capability="imap_capability = %s\n" % capability if capability else "",
                  dh="ssl_dh = </usr/share/dovecot/dh.pem" if os.path.exists(
                      "/usr/share/dovecot/dh.pem") else "",
                  users="" if self.root else
                  "default_internal_user = %s\ndefault_login_user = %s\n" % (me, me)))

    def oauth2_passdb(self):
        if not self.oauth2:
            return ""
        path = os.path.join(self.home, "oauth2.conf.ext")
        with open(path, "w") as out:
            out.write(self.oauth2[0])
        return "passdb {\n  driver = oauth2\n  mechanisms = %s\n  args = %s\n}\n" % (
            self.oauth2[1], path)

    def start(self, certificate="good", capability=None, storage="10G"):
        """`capability`: what the server says it offers after the login,
        in place of its own list; `storage`: the user's quota. What each
        session's client sent is kept in rawlog/*.in."""
        rawlog = os.path.join(self.home, "rawlog")
        shutil.rmtree(rawlog, ignore_errors=True)
        os.makedirs(rawlog)
        os.chmod(rawlog, 0o777)
        self.write_config(self.certificates[certificate], capability, storage)
        self.process = subprocess.Popen(
            ["dovecot", "-F", "-c", os.path.join(self.home, "dovecot.conf")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        listening(self.imaps, "Dovecot", self.log)

    def kill(self):
        """The server and its processes go at once, as in a crash."""
        if self.process is None:
            return
        os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()
        self.process = None
        time.sleep(0.3)

    def drop_sessions(self, how=signal.SIGKILL):
        """The IMAP sessions' processes killed, their connections cut in the
        middle of whatever they did; the server stays. (SIGKILL may leave a
        mailbox's lock behind, which the next session waits out.)"""
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    fields = stat.read().rsplit(")", 1)
            except OSError:
                continue
            name, group = fields[0].split("(", 1)[1], int(fields[1].split()[2])
            if name == "imap" and group == self.process.pid:
                try:
                    os.kill(int(entry), how)
                except ProcessLookupError:
                    pass  # gone meanwhile

    def stop(self):
        if self.process is None:
            return
        os.killpg(self.process.pid, signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.process = None

    def client(self, ca):
        context = ssl.create_default_context(cafile=ca)
        imap = imaplib.IMAP4_SSL("127.0.0.1", self.imaps, ssl_context=context)
        imap.login(User, Password)
        return imap


class CyrusServer:
    """Cyrus IMAP: Debian's cyrus-common (its master) and the imapd of
    cyrus-imapd, which cannot be installed beside dovecot-imapd and is
    unpacked into /opt/cyrus-imapd by scripts/setup.sh. A throwaway
    configuration, imaps and imap (STARTTLS) on free ports of 127.0.0.1,
    any password taken (sasl_pwcheck_method alwaystrue), the user's INBOX
    made at the first login."""
    Master = "/usr/lib/cyrus/bin/master"
    Imapd = next((path for path in ("/usr/lib/cyrus/bin/imapd",
                                    "/opt/cyrus-imapd/usr/lib/cyrus/bin/imapd")
                  if os.path.exists(path)), None)

    @classmethod
    def missing(cls):
        if not os.path.exists(cls.Master) or cls.Imapd is None:
            return "Cyrus IMAP is not installed (scripts/setup.sh: cyrus-common, and cyrus-imapd " \
                   "unpacked into /opt/cyrus-imapd)"
        if os.geteuid() != 0:
            return "Cyrus's master runs as its user cyrus, which takes root to start"
        return None

    def __init__(self, work, certificates):
        self.home = os.path.join(work, "cyrus")
        for sub in ("conf/socket", "conf/lock", "conf/proc", "conf/log", "conf/db", "spool"):
            os.makedirs(os.path.join(self.home, sub), exist_ok=True)
        cert, key = certificates["good"]
        for source, name in ((cert, "cert.pem"), (key, "key.pem")):
            shutil.copy(source, os.path.join(self.home, name))
        self.imaps, self.imap = free_port(), free_port()
        self.log = os.path.join(self.home, "master.log")
        with open(os.path.join(self.home, "imapd.conf"), "w") as conf:
            conf.write("""configdirectory: {home}/conf
partition-default: {home}/spool
admins: cyrus
sasl_pwcheck_method: alwaystrue
sasl_mech_list: PLAIN
allowplaintext: no
tls_server_cert: {home}/cert.pem
tls_server_key: {home}/key.pem
unixhierarchysep: yes
altnamespace: yes
autocreate_quota: 0
lmtpsocket: {home}/conf/socket/lmtp
idlesocket: {home}/conf/socket/idle
notifysocket: {home}/conf/socket/notify
""".format(home=self.home))
        imapd = "%s -C %s/imapd.conf" % (self.Imapd, self.home)
        with open(os.path.join(self.home, "cyrus.conf"), "w") as conf:
            conf.write("""START {{
  recover cmd="/usr/lib/cyrus/bin/ctl_cyrusdb -C {home}/imapd.conf -r"
}}
SERVICES {{
  imap cmd="{imapd}" listen="127.0.0.1:{imap}" prefork=0
  imaps cmd="{imapd} -s" listen="127.0.0.1:{imaps}" prefork=0
}}
EVENTS {{
}}
""".format(home=self.home, imapd=imapd, imap=self.imap, imaps=self.imaps))
        subprocess.run(["chown", "-R", "cyrus:mail", self.home], check=True)
        self.process = None

    def start(self):
        with open(self.log, "ab") as log:
            self.process = subprocess.Popen(
                [self.Master, "-D", "-C", os.path.join(self.home, "imapd.conf"), "-M",
                 os.path.join(self.home, "cyrus.conf"), "-p", os.path.join(self.home, "master.pid")],
                stdout=log, stderr=log, start_new_session=True)
        listening(self.imaps, "Cyrus", self.log)

    def stop(self):
        if self.process is None:
            return
        os.killpg(self.process.pid, signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.process = None

    client = Server.client


def read_mailbox(imap, mailbox):
    """Every message of the mailbox: (bytes, internal date in Unix seconds,
    flags), in UID order; None where the mailbox is not there."""
    status, _ = imap.select(quoted(mailbox), readonly=True)
    if status != "OK":
        return None
    status, data = imap.uid("FETCH", "1:*", "(INTERNALDATE FLAGS BODY.PEEK[])")
    messages = []
    for item in data:
        if not isinstance(item, tuple):
            continue
        head, body = item
        date = re.search(rb'INTERNALDATE " ?(\d+)-(\w+)-(\d+) (\d+):(\d+):(\d+) ([-+]\d{4})"', head)
        day, month, year, hour, minute, second, zone = date.groups()
        offset = (int(zone[1:3]) * 3600 + int(zone[3:]) * 60) * (-1 if zone[:1] == b"-" else 1)
        seconds = calendar.timegm((int(year), Months[month.decode()], int(day), int(hour),
                                   int(minute), int(second))) - offset
        flags = re.search(rb"FLAGS \(([^)]*)\)", head).group(1).split()
        messages.append((body, seconds, b"\\Seen" in flags))
    return messages


def crlf(data):
    return re.sub(rb"(?<!\r)\n", b"\r\n", data)


class Case:
    def __init__(self, tools, server, ca):
        self.tools, self.server, self.ca = tools, server, ca
        self.outputs = []  # every output and error text of vfolder, for the password

    def url(self, mailbox="", starttls=False):
        port = self.server.imap if starttls else self.server.imaps
        return "%s://%s@127.0.0.1:%d%s" % ("imap" if starttls else "imaps", User, port,
                                           "/" + mailbox if mailbox else "")

    def command(self, args):
        """vfolder and its arguments; vfolder.exe under Wine takes its paths
        as Z:\\..., and its ledger in the test's directory."""
        if not self.tools.vfolder.endswith(".exe"):
            return [self.tools.vfolder] + list(args)
        def windows(arg):
            return "Z:" + arg.replace("/", "\\") if arg.startswith("/") else arg
        ledger = ["--ledger", os.path.join(self.tools.work, "cache", "windows.ledger")] \
            if "imap" in args else []
        return ["bash", WineRun, "900", self.tools.vfolder] + [windows(a) for a in ledger + list(args)]

    def vfolder(self, *args, password=Password, env=None, wait=True):
        environment = dict(os.environ, VFOLDER_PASSWORD=password,
                           XDG_CACHE_HOME=os.path.join(self.tools.work, "cache"))
        environment.update(env or {})
        command = self.command(args)
        if not wait:
            return subprocess.Popen(command, env=environment, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
        done = subprocess.run(command, env=environment, capture_output=True)
        self.outputs += [done.stdout, done.stderr]
        return done.returncode, done.stderr.decode("utf-8", "replace").replace("\r\n", "\n")

    def verify(self, *args):
        """vfolder verify against the server: its status and standard output."""
        done = subprocess.run(self.command(["--ca", self.ca, "verify"] + list(args)),
                              env=dict(os.environ, VFOLDER_PASSWORD=Password),
                              capture_output=True)
        self.outputs += [done.stdout, done.stderr]
        return done.returncode, done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")

    def read(self, mailbox):
        imap = self.server.client(self.ca)
        try:
            return read_mailbox(imap, mailbox)
        finally:
            imap.logout()

    def check_mailbox(self, what, mailbox, msgs, seen=False):
        got = self.read(mailbox)
        if got is None:
            check(what + ": mailbox %s is there" % mailbox, True, False)
            return
        check(what + ": messages in " + mailbox, len(msgs), len(got))
        # The moment the other outputs give a message; none where no date can
        # be trusted, which takes the server's.
        wanted = collections.Counter((crlf(m.stored()), instant(m), seen) for m in msgs)
        undated = {body for body, date, _ in wanted if date is None}
        have = collections.Counter((body, None if body in undated else date, flag)
                                   for body, date, flag in got)
        check(what + ": %s misses and has besides (the first of each)" % mailbox, ([], []),
              (list(wanted - have)[:1], list(have - wanted)[:1]))


def summary(total, sent, there, failed):
    return "vfolder: %d message%s, %d sent, %d already there, %d failed\n" % (
        total, "" if total == 1 else "s", sent, there, failed)


def upload(case, realistic, msgs):
    tools = case.tools
    # A dry run: the login and the looks, nothing made, nothing sent.
    status, err = case.vfolder("--ca", case.ca, "--dry-run", "imap", realistic, case.url("Dry"))
    check("dry run: status", 0, status)
    check("dry run: what would go where", True,
          "-> mailbox Dry (to be made): 3000 to send, 0 already there" in err)
    check("dry run: summary", True, err.endswith("vfolder: 3000 messages, 3000 to send, "
                                                 "0 already there, 0 failed\n"))
    check("dry run: no mailbox made", None, case.read("Dry"))
    print("dry run:", err.strip().splitlines()[-2:], flush=True)
    status, err = case.vfolder("--ca", case.ca, "imap", realistic, case.url())
    check("3000 messages: status and summary", (0, summary(3000, 3000, 0, 0)), (status, err))
    print("run:", err.strip(), flush=True)
    case.check_mailbox("3000 messages", "REALISTIC", msgs)
    # Again: the ledger and the server hold them all.
    status, err = case.vfolder("--ca", case.ca, "imap", realistic, case.url())
    check("3000 messages again: status and summary", (0, summary(3000, 0, 3000, 0)), (status, err))
    check("3000 messages again: none twice", 3000, len(case.read("REALISTIC")))
    verified(case, realistic, msgs)


def verified(case, realistic, msgs):
    """vfolder verify finds the 3000 there; then with one message expunged,
    one appended a second time and one byte of a third changed (appended
    changed, the original expunged), it says which."""
    status, out = case.verify(realistic, case.url())
    check("verify: passes", (0, "3000 messages: 3000 present, 0 missing, 0 twice, 0 changed\n"),
          (status, out))
    gone, doubled, changed = 100, 200, 300
    imap = case.server.client(case.ca)
    imap.select("REALISTIC")
    uids = {}
    _, data = imap.uid("FETCH", "1:*", "(BODY.PEEK[])")
    for item in data:
        if isinstance(item, tuple):
            uids[item[1]] = re.search(rb"UID (\d+)", item[0]).group(1).decode()
    wanted = [crlf(m.stored()) for m in msgs]
    spoilt = bytearray(wanted[changed])
    spoilt[-3] ^= 0x20
    imap.append("REALISTIC", None, None, wanted[doubled])
    imap.append("REALISTIC", None, None, bytes(spoilt))
    imap.uid("STORE", uids[wanted[gone]] + "," + uids[wanted[changed]], "+FLAGS", "(\\Deleted)")
    imap.expunge()
    imap.logout()
    status, out = case.verify(realistic, case.url())
    lines = out.splitlines()
    check("verify, spoilt: status and counts",
          (1, "3000 messages: 2998 present, 1 missing, 1 twice, 1 changed"), (status, lines[0]))
    check("verify, spoilt: the messages", [
        "  %d %s: missing" % (gone, msgs[gone].name),
        "  %d %s: twice" % (doubled, msgs[doubled].name),
        "  %d %s: changed" % (changed, msgs[changed].name)],
          [re.sub(r"(: (missing|twice|changed)).*", r"\1", line) for line in lines[1:]])


def dates(case):
    """The internal date is the moment the other outputs give each message
    (mail_output_test.py: dated_messages); where none can be trusted, none is
    sent and the server's time of the APPEND stands."""
    msgs = dated_messages()
    index = case.tools.folder("DATED", msgs)
    status, err = case.vfolder("--ca", case.ca, "imap", index, case.url("Dated"))
    check("dates: status and summary", (0, summary(len(msgs), len(msgs), 0, 0)), (status, err))
    got = {body: seconds for body, seconds, _ in case.read("Dated")}
    for m in msgs:
        body = crlf(m.stored())
        if body in got:
            check_time("dates: internal date of " + m.name, m, got[body])
        else:
            check("dates: %s is there" % m.name, True, False)


def tree(case, quote=True):
    """Six folders of a directory into mailboxes below one, over STARTTLS,
    marked as read, names with a space and a quote among them; with
    `--ledger FILE` one ledger per mailbox, so that a rerun sends nothing.
    (Cyrus takes no quote in a mailbox name: `quote` False.)"""
    tools = case.tools
    mail = os.path.join(tools.work, "Mail")
    folders = {"Inbox": make_mail_folder.messages(3), "Odd": make_mail_folder.odd_messages(),
               "Odd/Older": make_mail_folder.messages(2),
               "Work/Projects.2000": make_mail_folder.messages(4),
               "\u0410\u0440\u0445\u0438\u0432 & more": make_mail_folder.messages(2),
               'Say "hi"' if quote else "Say hi": make_mail_folder.messages(3)}
    for name, msgs in folders.items():
        index = os.path.join(mail, name + ".IDX")
        os.makedirs(os.path.dirname(index), exist_ok=True)
        tools.folder(name.replace("/", "-"), msgs, index=index)
    total = sum(len(m) for m in folders.values())
    ledger = os.path.join(tools.work, "tree.ledger")
    for what, sent, there in (("tree", total, 0), ("tree again", 0, total)):
        status, err = case.vfolder("--charset", "cp866", "--seen", "--ca", case.ca, "--ledger",
                                   ledger, "imap", mail, case.url("Archive/Old", starttls=True))
        check(what + ": status and summary", (0, True),
              (status, err.endswith(summary(total, sent, there, 0))))
    check("tree: a ledger per mailbox", len(folders),
          len([name for name in os.listdir(tools.work) if name.startswith("tree.ledger.")]))
    for name, msgs in folders.items():
        case.check_mailbox("tree", "Archive/Old/" + imap_utf7(name), msgs, seen=True)
    status, out = case.verify("--charset", "cp866", "--seen", mail,
                              case.url("Archive/Old", starttls=True))
    check("tree: verify passes", (0, "all folders: %d messages: %d present, 0 missing, "
                                     "0 twice, 0 changed" % (total, total)),
          (status, out.splitlines()[-1]))
    imap = case.server.client(case.ca)
    _, listed = imap.lsub('""', '"Archive/*"')
    imap.logout()
    check("tree: the mailboxes made are subscribed", True,
          any(b"Archive/Old/Work/Projects.2000" in line for line in listed))


def imap_utf7(name):
    """Modified UTF-7, as the test writes it for itself."""
    out, pending = "", ""
    def flush():
        nonlocal out, pending
        if pending:
            import base64
            out += "&" + base64.b64encode(pending.encode("utf-16-be")).decode().rstrip(
                "=").replace("/", ",") + "-"
            pending = ""
    for c in name:
        if 0x20 <= ord(c) < 0x7f:
            flush()
            out += "&-" if c == "&" else c
        else:
            pending += c
    flush()
    return out


def quoted(mailbox):
    return '"%s"' % mailbox.replace("\\", "\\\\").replace('"', '\\"')


def cut_at(case, mailbox, count):
    """Waits until the mailbox holds `count` messages."""
    imap = case.server.client(case.ca)
    imap.create(quoted(mailbox))
    for _ in range(600):
        _, data = imap.status(quoted(mailbox), "(MESSAGES)")
        if int(re.search(rb"MESSAGES (\d+)", data[0]).group(1)) >= count:
            break
        time.sleep(0.05)
    imap.logout()


def interrupted(case, realistic):
    """The connection cut with APPENDs in flight, the server up: the run goes
    on with a new one and sends each message once. The server killed in the
    middle of a run and started again: the run started again sends the rest,
    each message once; without the ledger too."""
    # Held to a rate, so that the cut comes in the middle: unheld, the run
    # may be over before the mailbox is looked at.
    slow = ("--limit-rate", "300000")
    run = case.vfolder("--ca", case.ca, *slow, "imap", realistic, case.url("Dropped"), wait=False)
    cut_at(case, "Dropped", 1000)
    case.server.drop_sessions()
    out, err = run.communicate(timeout=120)
    case.outputs += [out, err]
    check("cut connection: the run goes on", (0, True),
          (run.returncode, "was lost" in err.decode() and err.decode().endswith(
              summary(3000, 3000, 0, 0))))
    got = case.read("Dropped")
    check("cut connection: each message once", (3000, 3000),
          (len(got), len({body for body, _, _ in got})))
    run = case.vfolder("--ca", case.ca, *slow, "--ledger",
                       os.path.join(case.tools.work, "again.ledger"), "imap", realistic,
                       case.url("Again"), wait=False)
    cut_at(case, "Again", 1000)
    case.server.kill()
    out, err = run.communicate(timeout=120)
    err = err.decode()
    case.outputs += [out, err.encode()]
    check("killed server: the run stops with status 1", 1, run.returncode)
    check("killed server: it says so", True, "was lost" in err and "interrupted after" in err)
    print("interrupted run:", err.strip().splitlines()[-1], flush=True)
    case.server.start()
    status, err = case.vfolder("--ca", case.ca, "--ledger",
                               os.path.join(case.tools.work, "again.ledger"), "imap", realistic,
                               case.url("Again"))
    check("rerun: status", 0, status)
    got = case.read("Again")
    check("rerun: exactly 3000 messages", 3000, len(got))
    check("rerun: none twice", 3000, len({body for body, _, _ in got}))
    print("rerun:", err.strip(), flush=True)
    status, err = case.vfolder("--ca", case.ca, "--ledger",
                               os.path.join(case.tools.work, "lost.ledger"), "imap", realistic,
                               case.url("Again"))
    check("ledger lost: all already there", (0, summary(3000, 0, 3000, 0)), (status, err))


def each_once(case, what, mailbox, msgs):
    """The mailbox holds each message once, byte for byte, and nothing else."""
    wanted = collections.Counter(crlf(m.stored()) for m in msgs)
    have = collections.Counter(body for body, _, _ in case.read(mailbox) or [])
    check(what + ": each message once (missing, besides: the first of each)", (0, 0, [], []),
          (sum((wanted - have).values()), sum((have - wanted).values()),
           list(wanted - have)[:1], list(have - wanted)[:1]))


def appends_of(raw):
    """How many messages each APPEND of a client's bytes carries (Dovecot's
    rawlog: each line after the time it came)."""
    raw = re.sub(rb"(^|\n)\d+\.\d+ ", rb"\1", raw)
    counts, at, current = [], 0, None
    while True:
        end = raw.find(b"\r\n", at)
        if end < 0:
            return counts
        line, at = raw[at:end], end + 2
        if current is None and re.match(rb"\S+ APPEND ", line, re.I):
            current = 0
        literal = re.search(rb"\{(\d+)\+?\}$", line)
        if literal:
            at += int(literal.group(1))
            current = None if current is None else current + 1
        elif current is not None:
            counts.append(current)
            current = None


NoMultiAppend = "IMAP4rev1 UIDPLUS LITERAL+"


def without_message_ids(msgs):
    """The messages with no Message-ID, as much old mail is."""
    out = []
    for m in msgs:
        m = copy.copy(m)
        m.body, m.kept = (re.sub(rb"Message-ID: [^\r\n]*\r?\n", b"", text) for text in (m.body, m.kept))
        out.append(m)
    return out


def killed_client(case, realistic, msgs):
    """vfolder killed (kill -9) at points of an upload, APPENDs in flight,
    then run again with its ledger: each message once, unchanged (as
    vfolder verify says too); so too on a server without MULTIAPPEND. The
    messages have no Message-ID: only the ledger and what the mailbox holds
    tell. While it runs, the password is
    gone from its environment."""
    msgs = without_message_ids(msgs)
    realistic = case.tools.folder("NOID", msgs)
    for mailbox, capability, at in (("Killed/Early", None, 1), ("Killed/Middle", None, 1500),
                                    ("Killed/One by one", NoMultiAppend, 700)):
        if capability:
            case.server.stop()
            case.server.start(capability=capability)
        ledger = os.path.join(case.tools.work, mailbox.replace("/", "-") + ".ledger")
        run = case.vfolder("--ca", case.ca, "--limit-rate", "300000", "--ledger", ledger, "imap",
                           realistic, case.url(mailbox), wait=False)
        cut_at(case, mailbox, at)
        try:
            with open("/proc/%d/environ" % run.pid, "rb") as environ:
                held = Password.encode() in environ.read()
        except PermissionError:
            held = False  # not dumpable: no one else reads it
        check(mailbox + ": the password gone from the environment while it runs", False, held)
        os.kill(run.pid, signal.SIGKILL)
        case.outputs += list(run.communicate())
        status, err = case.vfolder("--ca", case.ca, "--ledger", ledger, "imap", realistic,
                                   case.url(mailbox))
        check(mailbox + ": the rerun's status", 0, status)
        print("killed at %d, rerun:" % at, err.strip().splitlines()[-1], flush=True)
        each_once(case, mailbox, mailbox, msgs)
        check(mailbox + ": vfolder verify finds every message there once, unchanged",
              (0, "3000 messages: 3000 present, 0 missing, 0 twice, 0 changed\n"),
              case.verify(realistic, case.url(mailbox)))
        if capability:
            case.server.stop()
            case.server.start()


def no_multiappend(case, realistic, msgs):
    """A server that does not offer MULTIAPPEND: each APPEND carries one
    message, after a cut connection too, and each message goes once."""
    msgs = msgs[:1000]
    first = case.tools.folder("FIRST", msgs)
    case.server.stop()
    case.server.start(capability=NoMultiAppend)
    run = case.vfolder("--ca", case.ca, "--limit-rate", "300000", "imap", first,
                       case.url("NoMulti"), wait=False)
    cut_at(case, "NoMulti", 300)
    case.server.drop_sessions(signal.SIGTERM)
    out, err = run.communicate(timeout=120)
    case.outputs += [out, err]
    check("no MULTIAPPEND: the run goes on after the cut", (0, True),
          (run.returncode, "was lost" in err.decode()))
    rawlog = os.path.join(case.server.home, "rawlog")
    counts = []
    for name in os.listdir(rawlog):
        if name.endswith(".in"):
            with open(os.path.join(rawlog, name), "rb") as raw:
                counts += appends_of(raw.read())
    # (The rawlog of a session killed may lack its last APPENDs.)
    check("no MULTIAPPEND: APPENDs seen, each of one message", (True, [1]),
          (len(counts) >= 500, sorted(set(counts))))
    each_once(case, "no MULTIAPPEND", "NoMulti", msgs)
    case.server.stop()
    case.server.start()


def over_quota(case, realistic, msgs):
    """A mailbox that fills up: one line that says so and how many are left,
    status 1, nothing more sent; with room again, the rerun sends the rest,
    each message once."""
    imap = case.server.client(case.ca)
    _, data = imap.getquotaroot("INBOX")
    imap.logout()
    used = int(re.search(rb"STORAGE (\d+) \d+", b" ".join(
        d for d in data[1] if isinstance(d, bytes))).group(1))
    case.server.stop()
    case.server.start(storage="%dK" % (used + 600))
    ledger = os.path.join(case.tools.work, "full.ledger")
    status, err = case.vfolder("--ca", case.ca, "--ledger", ledger, "imap", realistic,
                               case.url("Full"))
    held = len(case.read("Full"))
    said = [line for line in err.splitlines() if "quota" in line.lower() or "full" in line]
    check("over quota: status 1, one line with the mailbox and what is left", (1, 1, True),
          (status, len(said), "mailbox Full is full" in err and
           "%d messages left" % (3000 - held) in err))
    check("over quota: some went, the rest did not", True, 0 < held < 3000)
    print("over quota:", said, flush=True)
    case.server.stop()
    case.server.start()
    status, err = case.vfolder("--ca", case.ca, "--ledger", ledger, "imap", realistic,
                               case.url("Full"))
    check("over quota, rerun: status and summary", (0, summary(3000, 3000 - held, held, 0)),
          (status, err))
    each_once(case, "over quota, rerun", "Full", msgs)


def ledger_full(case, realistic):
    """A ledger that takes no line (a full disk): the run says so with the
    system's reason before any message goes, status 1, and the mailbox
    holds nothing."""
    if not os.path.exists("/dev/full"):
        return
    status, err = case.vfolder("--ca", case.ca, "--ledger", "/dev/full", "imap", realistic,
                               case.url("LedgerFull"))
    check("ledger on a full disk: status 1 and the reason", (1, True), (
        status, "vfolder: /dev/full: cannot be written: No space left on device; stopped\n" in err))
    check("ledger on a full disk: nothing sent", True, not case.read("LedgerFull"))


def daily_cap(case, realistic, msgs):
    """--max-bytes-per-day stops the run before the message that would
    pass it, says how much went and when the rest may go, status 3; a rerun
    the same day sends nothing more; with the day's record moved back 24
    hours the rerun sends the rest, and verify finds each message once."""
    ledger = os.path.join(case.tools.work, "daily.ledger")
    sizes = [len(crlf(m.stored())) for m in msgs]
    cap = sum(sizes) * 6 // 10  # the rest goes the next day
    args = ("--ca", case.ca, "--ledger", ledger, "--max-bytes-per-day", str(cap), "imap",
            realistic, case.url("Daily"))
    status, err = case.vfolder(*args)
    held = len(case.read("Daily"))
    went = sum(sizes[:held])
    check("daily cap: status 3, what went, when the rest may go, the summary",
          (3, True, True, True), (
              status, "%d bytes sent in the day's 24 hours" % went in err,
              "%d messages left to send; run again after " % (3000 - held) in err,
              err.endswith("vfolder: stopped after %d of 3000 messages, %d sent, 0 already there, "
                           "0 failed\n" % (held, held))))
    check("daily cap: the messages up to the cap went, the next would pass it", True,
          went <= cap < went + sizes[held])
    print("daily cap:", err.strip().splitlines()[-2:], flush=True)
    status, err = case.vfolder(*args)
    check("daily cap, rerun the same day: status 3, nothing more sent", (3, held),
          (status, len(case.read("Daily"))))
    with open(ledger + ".day") as day:
        start, count = day.read().split()[1:]
    check("daily cap: the day's count", went, int(count))
    with open(ledger + ".day", "w") as day:
        day.write("vfolder-day %d %s\n" % (int(start) - 24 * 60 * 60, count))
    status, err = case.vfolder(*args)
    check("daily cap, a day later: status and summary", (0, summary(3000, 3000 - held, held, 0)),
          (status, err))
    status, out = case.verify(realistic, case.url("Daily"))
    check("daily cap, a day later: verify finds each once",
          (0, "3000 messages: 3000 present, 0 missing, 0 twice, 0 changed\n"), (status, out))


def services(case, tools):
    """--for refuses what it cannot take before any connection: Microsoft's
    login without a token, a service it does not know, a URL for the
    account. (Never run against the services' hosts.)"""
    small = tools.folder("SERVICES", make_mail_folder.messages(1))
    for args, said in (
            (("--for", "microsoft", "imap", small, "me@contoso.com"),
             "vfolder: microsoft takes no password over IMAP, only an OAuth2 token: pass "
             "--oauth2-token-command CMD, a command that prints one\n"),
            (("--for", "yahoo", "imap", small, "me@yahoo.com"),
             "vfolder: --for takes gmail and microsoft\n"),
            (("--for", "gmail", "imap", small, "imaps://me@127.0.0.1:1/X"),
             "vfolder: with --for gmail, imap takes the account as USER[/MAILBOX], not a URL\n")):
        status, err = case.vfolder(*args)
        check("--for %s: status 2 and the reason" % args[1], (2, said),
              (status, err[:len(said)]))


def suggested_backoff(case, tools, certificates):
    """An APPEND refused with "Request is throttled. Suggested Backoff Time:
    N milliseconds" goes again after that pause, which is said; the message
    arrives once."""
    small = tools.folder("BACKOFF", make_mail_folder.messages(1))
    answers = [lambda tag: tag + b" NO Request is throttled. Suggested Backoff Time: 1500 "
                                 b"milliseconds\r\n",
               lambda tag: tag + b" OK [APPENDUID 7 1] APPEND completed\r\n"]
    appends = []
    port = unbounded_server(certificates["good"], answers, appends)
    started = time.time()
    status, err = case.vfolder("--ca", case.ca, "imap", small,
                               "imaps://%s@127.0.0.1:%d/Backoff" % (User, port))
    took = time.time() - started
    check("suggested backoff: status, summary, the pause said and kept",
          (0, True, True, True), (status, err.endswith(summary(1, 1, 0, 0)),
                                  "the server asks for a pause of 1.5 s" in err, took >= 1.5))
    check("suggested backoff: two APPENDs, the message taken once", 2, len(appends))


def unbounded_server(certificate, answer, appends=None):
    """A server of its own on a free port of 127.0.0.1, over TLS, that
    takes the login and gives an empty mailbox, and answers each APPEND with
    `answer`, after which it says no more; or, `answer` a list, the APPENDs
    in turn with its answers, the messages put in `appends`. Returns its
    port."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(*certificate)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)

    def serve(connection):
        with context.wrap_socket(connection, server_side=True) as tls:
            tls.sendall(b"* OK [CAPABILITY IMAP4rev1 LITERAL+ UIDPLUS] ready\r\n")
            reader = tls.makefile("rb")
            while True:
                line = first = reader.readline()
                if not line:
                    return
                literal = b""
                while re.search(rb"\{\d+\+?\}\r\n$", line):  # literals, and the rest of the line
                    if not line.endswith(b"+}\r\n"):
                        tls.sendall(b"+ go on\r\n")
                    literal = reader.read(int(re.search(rb"\{(\d+)\+?\}\r\n$", line).group(1)))
                    line = reader.readline()
                tag, command = (first.split(b" ") + [b""])[:2]
                command = command.strip().upper()
                if command == b"APPEND" and isinstance(answer, list):
                    appends.append(literal)
                    tls.sendall(answer[min(len(appends), len(answer)) - 1](tag))
                    continue
                if command == b"APPEND":
                    tls.sendall(answer(tag))
                    time.sleep(60)
                    return
                tls.sendall({b"CAPABILITY": b"* CAPABILITY IMAP4rev1 LITERAL+ UIDPLUS\r\n",
                             b"LIST": b'* LIST () "/" ""\r\n',
                             b"SELECT": b"* 0 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n"
                                        b"* OK [UIDNEXT 1] n\r\n"}.get(command, b"") +
                            tag + b" OK done\r\n")

    def accept():
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=serve, args=(connection,), daemon=True).start()
    threading.Thread(target=accept, daemon=True).start()
    return listener.getsockname()[1]


def unbounded_answers(case, tools, certificates):
    """An APPEND's answer that claims a literal of a gigabyte, or a line that
    does not end: vfolder ends the connection with a clear error instead of
    reading on (or holding it all)."""
    small = tools.folder("UNBOUNDED", make_mail_folder.messages(1))
    for what, answer, said in (
            ("a gigabyte literal", lambda tag: tag + b" OK [APPENDUID 7 1] {1073741824}\r\n" +
             b"x" * 4096, b"claims a literal over 1 MB"),
            ("a line without end", lambda tag: b"* " + b"x" * (3 << 20),
             b"has a line over 1 MB")):
        port = unbounded_server(certificates["good"], answer)
        run = case.vfolder("--ca", case.ca, "imap", small,
                           "imaps://%s@127.0.0.1:%d/Bounds" % (User, port), wait=False)
        err, started = b"", time.time()
        os.set_blocking(run.stderr.fileno(), False)
        while said not in err and time.time() - started < 20 and run.poll() is None:
            err += run.stderr.read() or b""
            time.sleep(0.1)
        run.kill()
        err += run.communicate()[1]
        check(what + ": the connection ended with a clear error", True,
              said in err and b"the connection is ended" in err)


def refusals(case, tools):
    small = tools.folder("SMALL", make_mail_folder.messages(3))
    # A wrong password: no message sent.
    status, err = case.vfolder("--ca", case.ca, "imap", small, case.url("Wrong"),
                               password="not-" + Password)
    check("wrong password: status", 1, status)
    check("wrong password: said", True, "login as mailer refused" in err)
    check("wrong password: nothing sent", None, case.read("Wrong"))
    # No authority given: the test's own is not the system's.
    status, err = case.vfolder("imap", small, case.url("Untrusted"))
    check("unknown authority: refused", (1, True), (status, "not trusted" in err))
    # From a password file, which no output shows either.
    secret = os.path.join(tools.work, "secret")
    with open(secret, "w") as out:
        out.write(Password + "\n")
    status, err = case.vfolder("--ca", case.ca, "--password-file", secret, "imap", small,
                               case.url("FromFile"), password="")
    check("password file: status and summary", (0, summary(3, 3, 0, 0)), (status, err))


def over_limit(case, tools):
    """A message over the server's limit, in the middle of one APPEND of
    several, fails with the reason; the rest go, once. A server with LITERAL-
    alone (no LITERAL+, no MULTIAPPEND) gets the small messages pipelined,
    the large one by one, in their order."""
    for what, mailbox, capability, sizes, status_summary in (
            ("over the limit", "Limit", None, (1000, 300 * 1024, 2000), (1, summary(3, 2, 0, 1))),
            ("LITERAL- alone", "Minus", "IMAP4rev1 UIDPLUS LITERAL-",
             (1000, 6000, 2000, 6000, 500), (0, summary(5, 5, 0, 0)))):
        if capability:
            case.server.stop()
            case.server.start(capability=capability)
        lines = ["message\nname m%d\nbody-fill %d" % (n, size) for n, size in enumerate(sizes)]
        path = os.path.join(tools.work, mailbox + ".txt")
        with open(path, "w") as out:
            out.write("\n".join(lines) + "\n")
        index = os.path.join(tools.work, mailbox + ".IDX")
        subprocess.run([tools.mkfolder, path, index], check=True)
        status, err = case.vfolder("--ca", case.ca, "--exact", "imap", index, case.url(mailbox))
        check(what + ": status and summary", status_summary,
              (status, err[err.rfind("vfolder: "):]))
        got = [body for body, _, _ in case.read(mailbox) or []]
        sent = [size for size in sizes if size < 100 * 1024]
        check(what + ": the others there, once, in order", [s > 4096 for s in sent],
              [len(body) > 4096 for body in got])
        if status:
            check(what + ": the reason", True, "limit" in err.lower())
        if capability:
            case.server.stop()
            case.server.start()


def other_host(case, tools):
    small = tools.folder("OTHER", make_mail_folder.messages(2))
    case.server.stop()
    case.server.start("other")
    with open(case.server.log, "rb") as log:
        before = log.read().count(b"imap-login:")
    status, err = case.vfolder("--ca", case.ca, "imap", small, case.url("OtherHost"))
    check("another host's certificate: refused", (1, True), (status, "not trusted" in err))
    shown = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                            case.server.certificates["other"][0]],
                           capture_output=True, text=True).stdout.strip().split("=")[-1]
    check("another host's certificate: its fingerprint said", True,
          len(shown) == 95 and ("fingerprint: %s)" % shown) in err)
    time.sleep(0.5)
    with open(case.server.log, "rb") as log:
        text = log.read()
    check("another host's certificate: no login tried", True,
          b"Login: user=<mailer>" not in text[text.rfind(b"master: Info: Dovecot"):] and
          b"auth failed" not in text[text.rfind(b"master: Info: Dovecot"):])
    del before


def timed(step, *args):
    started = time.time()
    step(*args)
    print("  %s: %.1f s" % (step.__name__, time.time() - started), flush=True)


def cyrus(vfolder, mkfolder):
    """The 3,000 messages and a tree of folders into Cyrus, each message
    once, read back as from Dovecot."""
    missing = CyrusServer.missing()
    if missing:
        print("!!! %s: the Cyrus checks are SKIPPED" % missing)
        sys.exit(Skipped)
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        tools = Tools(vfolder, mkfolder, work)
        ca, certificates = make_certificates(work)
        server = CyrusServer(work, certificates)
        server.start()
        case = Case(tools, server, ca)
        try:
            msgs = make_mail_folder.messages(3000)
            realistic = tools.folder("REALISTIC", msgs)
            timed(upload, case, realistic, msgs)
            timed(tree, case, False)
        finally:
            server.stop()
    if not failures:
        print("vfolder imap into Cyrus: all checks passed")
    sys.exit(1 if failures else 0)


def windows(vfolder, mkfolder):
    """vfolder.exe under Wine into the same Dovecot: the 3,000 messages
    once, again with none twice, and verify's account of them."""
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        os.makedirs(os.path.join(work, "cache"))
        tools = Tools(vfolder, mkfolder, work)
        ca, certificates = make_certificates(work)
        server = Server(work, certificates)
        server.start()
        case = Case(tools, server, ca)
        try:
            msgs = make_mail_folder.messages(3000)
            timed(upload, case, tools.folder("REALISTIC", msgs), msgs)
        finally:
            server.stop()
        check("the password in no output or error line", False,
              any(Password.encode() in text for text in case.outputs))
    if not failures:
        print("%s imap: all checks passed" % os.path.basename(vfolder))
    sys.exit(1 if failures else 0)


def main():
    if len(sys.argv) in (3, 4) and sys.argv[1] == "serve" and sys.argv[3:] in ([], ["oauth2"]):
        work = os.path.abspath(sys.argv[2])
        os.makedirs(work, exist_ok=True)
        os.chmod(work, 0o755)
        ca, certificates = make_certificates(work)
        server = Server(work, certificates)
        # With "oauth2", Dovecot's oauth2 passdb beside the password, and a
        # token of the service's that lasts an hour.
        token = ""
        if sys.argv[3:] == ["oauth2"]:
            from oauth2_service import TokenService
            service = TokenService(User)
            server.oauth2 = (service.config(), "xoauth2 oauthbearer")
            token = "  token " + service.issue()
        server.start()
        print("imaps://%s@127.0.0.1:%d  imap://...:%d  password %s%s  --ca %s" % (
            User, server.imaps, server.imap, Password, token, ca), flush=True)
        try:
            signal.pause()
        except KeyboardInterrupt:
            pass  # the way a test stops it
        finally:
            server.stop()
        return
    if len(sys.argv) not in (3, 4) or sys.argv[3:] not in ([], ["cyrus"], ["windows"]):
        sys.exit(__doc__)
    if not os.path.exists("/usr/lib/dovecot/imap") or shutil.which("dovecot") is None or \
            shutil.which("openssl") is None:
        print("Dovecot's IMAP server or openssl is not installed (Debian: dovecot-imapd, "
              "openssl): skipped")
        sys.exit(Skipped)
    if sys.argv[3:] == ["windows"]:
        windows(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
    probe = subprocess.run([sys.argv[1], "imap", "-", "imaps://x@127.0.0.1/"], capture_output=True)
    if b"not in this build" in probe.stderr:
        print("vfolder was built without GnuTLS (Debian: libgnutls28-dev): skipped")
        sys.exit(Skipped)
    if sys.argv[3:] == ["cyrus"]:
        cyrus(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        tools = Tools(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
        ca, certificates = make_certificates(work)
        server = Server(work, certificates, limit=100 * 1024)
        server.start()
        case = Case(tools, server, ca)
        try:
            msgs = make_mail_folder.messages(3000)
            realistic = tools.folder("REALISTIC", msgs)
            timed(upload, case, realistic, msgs)
            timed(tree, case)
            timed(dates, case)
            timed(killed_client, case, realistic, msgs)
            timed(no_multiappend, case, realistic, msgs)
            timed(over_quota, case, realistic, msgs)
            timed(ledger_full, case, realistic)
            timed(refusals, case, tools)
            timed(over_limit, case, tools)
            timed(interrupted, case, realistic)
            timed(daily_cap, case, realistic, msgs)
            timed(suggested_backoff, case, tools, certificates)
            timed(services, case, tools)
            timed(other_host, case, tools)
            timed(unbounded_answers, case, tools, certificates)
        finally:
            server.stop()
        logs = b""
        with open(server.log, "rb") as log:
            logs = log.read()
        for ledger_dir, _, names in os.walk(work):
            for name in names:
                if name.endswith(".ledger"):
                    with open(os.path.join(ledger_dir, name), "rb") as ledger:
                        logs += ledger.read()
        check("the password in no output, no error line, no log, no ledger", False,
              any(Password.encode() in text for text in case.outputs + [logs]))
    if not failures:
        print("vfolder imap: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
