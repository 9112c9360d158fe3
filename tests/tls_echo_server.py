#!/usr/bin/env python3
"""Runs a command beside a throwaway TLS echo server on 127.0.0.1.

    tls_echo_server.py COMMAND [ARGS...]

Makes with openssl an authority, a server certificate it signs for
"localhost" and 127.0.0.1, one it signed for "localhost" that expired in 2020, and
another authority that signed nothing; serves TLS on two free ports, one
with each certificate, sending back every byte it receives (but QUIT on a line
of its own, which ends TLS); and runs
COMMAND with VESSOR_TLS_PORT and VESSOR_TLS_EXPIRED_PORT, VESSOR_TLS_CA and
VESSOR_TLS_OTHER_CA (the files as Wine's Windows paths, Z:\\...), and
VESSOR_TLS_FINGERPRINT and VESSOR_TLS_EXPIRED_FINGERPRINT (the
certificates' SHA-256, as openssl gives it). Exits with COMMAND's status.
"""
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import threading


def openssl(*args):
    return subprocess.run(["openssl"] + list(args), check=True, capture_output=True,
                          text=True).stdout


def make_certificates(work):
    def path(name):
        return os.path.join(work, name)
    for ca in ("ca", "other-ca"):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path(ca + ".key"),
                "-out", path(ca + ".pem"), "-days", "2", "-subj", "/CN=vessor test " + ca)
    with open(path("server.ext"), "w") as out:
        out.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("server.key"),
            "-out", path("server.csr"), "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
            path("ca.key"), "-CAcreateserial", "-out", path("server.pem"), "-days", "2",
            "-extfile", path("server.ext"))
    # Dates in the past take `openssl ca`, which wants a database of its own.
    os.makedirs(path("issued"))
    open(path("index.txt"), "w").close()
    with open(path("ca.cnf"), "w") as out:
        out.write("[ca]\ndefault_ca = test\n[test]\ndatabase = %s\nnew_certs_dir = %s\n"
                  "serial = %s\ndefault_md = sha256\npolicy = any\n[any]\n"
                  "commonName = supplied\n" % (path("index.txt"), path("issued"), path("ca.srl")))
    openssl("ca", "-batch", "-config", path("ca.cnf"), "-cert", path("ca.pem"), "-keyfile",
            path("ca.key"), "-in", path("server.csr"), "-out", path("expired.pem"), "-notext",
            "-startdate", "20200101000000Z", "-enddate", "20200201000000Z",
            "-extfile", path("server.ext"))

    def fingerprint(name):
        line = openssl("x509", "-in", path(name), "-noout", "-fingerprint", "-sha256")
        return line.strip().split("=", 1)[1]
    return fingerprint("server.pem"), fingerprint("expired.pem")


def echo(context, connection):
    try:
        with context.wrap_socket(connection, server_side=True) as tls:
            while True:
                data = tls.recv(65536)
                if not data:
                    return
                if data == b"QUIT\r\n":
                    tls.unwrap()  # close_notify, and the client's in return
                    return
                tls.sendall(data)
    except (OSError, ssl.SSLError):
        pass  # a client that refused the certificate goes away mid-handshake


def serve(listener, context):
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=echo, args=(context, connection), daemon=True).start()


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as work:
        try:
            fingerprint, expired_fingerprint = make_certificates(work)
        except (OSError, subprocess.CalledProcessError) as error:
            # The command runs all the same: its TLS tests say they are skipped.
            print("!!! no TLS echo server: openssl cannot make its certificates: %s" % error,
                  file=sys.stderr)
            sys.exit(subprocess.run(sys.argv[1:]).returncode)
        ports = []
        for certificate in ("server.pem", "expired.pem"):
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(work, certificate),
                                    os.path.join(work, "server.key"))
            listener = socket.socket()
            listener.bind(("127.0.0.1", 0))
            listener.listen(8)
            threading.Thread(target=serve, args=(listener, context), daemon=True).start()
            ports.append(str(listener.getsockname()[1]))
        env = dict(os.environ, VESSOR_TLS_PORT=ports[0], VESSOR_TLS_EXPIRED_PORT=ports[1],
                   VESSOR_TLS_CA=windows_path(os.path.join(work, "ca.pem")),
                   VESSOR_TLS_OTHER_CA=windows_path(os.path.join(work, "other-ca.pem")),
                   VESSOR_TLS_FINGERPRINT=fingerprint,
                   VESSOR_TLS_EXPIRED_FINGERPRINT=expired_fingerprint)
        sys.exit(subprocess.run(sys.argv[1:], env=env).returncode)


if __name__ == "__main__":
    main()
