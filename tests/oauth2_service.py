"""A throwaway OAuth2 token service on 127.0.0.1 for Dovecot's oauth2 passdb:
it hands out access tokens that live a given time and answers Dovecot's
introspection (RFC 7662: POST token=...) with whether one is still good."""

import json
import secrets
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class TokenService:
    def __init__(self, user):
        self.user, self.tokens, self.asked = user, {}, 0
        service = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                length = int(self.headers.get("Content-Length", 0))
                form = urllib.parse.parse_qs(self.rfile.read(length).decode())
                token = form.get("token", [""])[0]
                service.asked += 1
                good = service.tokens.get(token, 0) > time.time()
                body = json.dumps({"active": good, "username": service.user} if good
                                  else {"active": False}).encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def issue(self, lifetime=3600):
        token = secrets.token_urlsafe(24)
        self.tokens[token] = time.time() + lifetime
        return token

    def config(self):
        """Dovecot's dovecot-oauth2.conf.ext for this service."""
        return ("introspection_mode = post\n"
                "introspection_url = http://127.0.0.1:%d/introspect\n"
                "force_introspection = yes\n"
                "username_attribute = username\n"
                "active_attribute = active\nactive_value = true\n" % self.port)

    def stop(self):
        self.server.shutdown()
