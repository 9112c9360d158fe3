#!/usr/bin/env python3
"""Runs a command beside a throwaway TLS echo server on 127.0.0.1.

    tls_echo_server.py COMMAND [ARGS...]

Makes with openssl an authority, a server certificate it signs for
"localhost", and another authority that signed nothing; serves TLS on a
free port, sending back every byte it receives; and runs COMMAND with
VESSOR_TLS_PORT, VESSOR_TLS_CA and VESSOR_TLS_OTHER_CA (the files as Wine's
Windows paths, Z:\\...) and VESSOR_TLS_FINGERPRINT (the server
certificate's SHA-256, as openssl gives it). Exits with COMMAND's status.
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
        out.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("server.key"),
            "-out", path("server.csr"), "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
            path("ca.key"), "-CAcreateserial", "-out", path("server.pem"), "-days", "2",
            "-extfile", path("server.ext"))
    fingerprint = openssl("x509", "-in", path("server.pem"), "-noout", "-fingerprint", "-sha256")
    return fingerprint.strip().split("=", 1)[1]


def echo(context, connection):
    try:
        with context.wrap_socket(connection, server_side=True) as tls:
            while True:
                data = tls.recv(65536)
                if not data:
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
        fingerprint = make_certificates(work)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(work, "server.pem"), os.path.join(work, "server.key"))
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        threading.Thread(target=serve, args=(listener, context), daemon=True).start()
        env = dict(os.environ, VESSOR_TLS_PORT=str(listener.getsockname()[1]),
                   VESSOR_TLS_CA=windows_path(os.path.join(work, "ca.pem")),
                   VESSOR_TLS_OTHER_CA=windows_path(os.path.join(work, "other-ca.pem")),
                   VESSOR_TLS_FINGERPRINT=fingerprint)
        sys.exit(subprocess.run(sys.argv[1:], env=env).returncode)


if __name__ == "__main__":
    main()
