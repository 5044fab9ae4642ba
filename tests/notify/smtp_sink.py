#!/usr/bin/python3
"""An SMTP server for the delivery's tests (aiosmtpd): every message it takes
is written whole to FOLDER/<n>.eml. Prints "ready" once it listens.

usage: smtp_sink.py PORT FOLDER [--login USER:PASSWORD] [--starttls CERT KEY]
"""
import argparse
import os
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            name = os.path.join(self.folder, "%06d.eml" % self.count)
        with open(name + ".part", "wb") as f:
            f.write(b"X-Rcpt-To: " + ", ".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        os.rename(name + ".part", name)
        return "250 OK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("folder")
    parser.add_argument("--login")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()

    options = {}
    if args.login:
        user, password = args.login.split(":", 1)

        def authenticator(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login.decode() == user \
                and data.password.decode() == password
            return AuthResult(success=ok, handled=False)

        options.update(authenticator=authenticator, auth_required=True,
                       auth_require_tls=bool(args.starttls))
    if args.starttls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.starttls[0], args.starttls[1])
        options.update(tls_context=context, require_starttls=True)

    controller = Controller(Sink(args.folder), hostname="127.0.0.1", port=args.port, **options)
    controller.start()
    print("ready", flush=True)
    signal.sigwait([signal.SIGTERM, signal.SIGINT])
    controller.stop()


if __name__ == "__main__":
    main()
