#!/usr/bin/python3
"""An SMTP server for tests, on loopback: aiosmtpd, optionally with AUTH (only the mechanisms
named) and STARTTLS. Every message it accepts is written to <out>/<n>.eml (the message bytes
exactly as received, after the dot-unstuffing of DATA) and then <out>/<n>.env, one line each:
"MAIL FROM:<address>", "RCPT TO:<address>" per recipient, "LOGIN:<user>" when the session logged
in, "TLS:1" when it was encrypted.

Usage: smtp_server.py --out DIR --ready FILE [--host 127.0.0.1] [--port 0]
                      [--auth USER:PASS] [--mechanisms LOGIN,PLAIN] [--tls CERT KEY]
                      [--reject-rcpt ADDRESS]
The chosen port is written to FILE once the server listens. It runs until SIGTERM.
"""
import argparse
import os
import signal
import socket
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

ALL_MECHANISMS = {"LOGIN", "PLAIN"}


class Recorder:
    def __init__(self, out, reject):
        self.out = out
        self.reject = reject
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == self.reject:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data.login.decode("latin-1") if isinstance(session.auth_data, LoginPassword) else None
        lines = ["MAIL FROM:<%s>" % envelope.mail_from]
        lines += ["RCPT TO:<%s>" % r for r in envelope.rcpt_tos]
        if login is not None:
            lines.append("LOGIN:" + login)
        if session.ssl is not None:
            lines.append("TLS:1")
        with self.lock:
            self.count += 1
            base = os.path.join(self.out, "%03d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".tmp", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(base + ".tmp", base + ".env")
        return "250 Message accepted for delivery"


class BoundController(Controller):
    """Serves on a socket bound beforehand: a port chosen by binding port 0 stays ours, where
    closing it and binding its number again would let another program take it in between."""

    def __init__(self, handler, listener, **kwargs):
        self.listener = listener
        host, port = listener.getsockname()[:2]
        super().__init__(handler, hostname=host, port=port, **kwargs)

    def _create_server(self):
        return self.loop.create_server(self._factory_invoker, sock=self.listener, ssl=self.ssl_context)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--auth")
    p.add_argument("--mechanisms", default="LOGIN,PLAIN")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    p.add_argument("--reject-rcpt")
    a = p.parse_args()

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((a.host, a.port))
    listener.listen(16)

    kwargs = {}
    if a.auth:
        user, password = a.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
                  and auth_data.password.decode() == password)
            return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

        offered = {m.strip().upper() for m in a.mechanisms.split(",") if m.strip()}
        kwargs.update(authenticator=authenticator, auth_require_tls=False,
                      auth_exclude_mechanism=sorted(ALL_MECHANISMS - offered))
    if a.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.tls[0], a.tls[1])
        kwargs["tls_context"] = context

    controller = BoundController(Recorder(a.out, a.reject_rcpt), listener, **kwargs)
    controller.start()
    with open(a.ready + ".tmp", "w") as f:
        f.write(str(controller.port))
    os.rename(a.ready + ".tmp", a.ready)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
