#!/usr/bin/python3
"""SMTP server for tests, on aiosmtpd.

Listens on 127.0.0.1:<port>. With --user it offers AUTH PLAIN and AUTH LOGIN
over the plain connection (no TLS needed), accepts exactly that user name and
password, rejects every other pair (535) and requires authentication before
MAIL (530); without --user no AUTH is offered. --security ssl wraps the whole connection in TLS from the first
byte; --security starttls offers STARTTLS.

Every accepted message is stored in its own folder below --maildir:
    <maildir>/<000001>/envelope.json   {"mail_from", "rcpt_tos", "login", "mechanism", "tls"}
    <maildir>/<000001>/message.eml     the DATA bytes as received (dot-unstuffed)
A message folder appears in one step (written aside, then renamed).

--control names a JSON file read at every MAIL, RCPT and DATA command:
    {"reject": {"MAIL": "550 ...", "RCPT": "...", "DATA": "..."},
     "delay":  {"MAIL": 1.5, ...}}            (seconds before the reply)
A missing file means: accept everything at once.

Run it with /usr/bin/python3 (Debian's aiosmtpd). Stops on SIGTERM or SIGINT.
"""

import argparse
import asyncio
import json
import os
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--maildir", required=True)
    p.add_argument("--user", default="")
    p.add_argument("--password", default="")
    p.add_argument("--control", default="")
    p.add_argument("--security", choices=("plain", "ssl", "starttls"), default="plain")
    p.add_argument("--cert", default="")
    p.add_argument("--key", default="")
    return p.parse_args()


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode("utf-8")
        self.password = password.encode("utf-8")

    def __call__(self, server, session, envelope, mechanism, auth_data):
        if mechanism not in ("PLAIN", "LOGIN") or not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        if auth_data.login == self.user and auth_data.password == self.password:
            return AuthResult(success=True,
                              auth_data={"login": auth_data.login.decode("utf-8", "replace"),
                                         "mechanism": mechanism})
        return AuthResult(success=False, handled=False)


class Handler:
    def __init__(self, maildir, control, offer_auth):
        self.maildir = maildir
        self.control = control
        self.offer_auth = offer_auth
        self.lock = threading.Lock()
        self.count = 0

    def _read_control(self):
        if not self.control:
            return {}
        try:
            with open(self.control, "r", encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    async def _behaviour(self, stage):
        """The reject reply for this stage, if any, after the configured delay."""
        control = self._read_control()
        delay = control.get("delay", {}).get(stage)
        if delay:
            await asyncio.sleep(float(delay))
        return control.get("reject", {}).get(stage)

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if not self.offer_auth:
            responses = [r for r in responses if not r.startswith("250-AUTH")]
        return responses

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        reject = await self._behaviour("MAIL")
        if reject:
            return reject
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        reject = await self._behaviour("RCPT")
        if reject:
            return reject
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    @staticmethod
    def _over_tls(server, session):
        """Whether the connection is under TLS (from the first byte, or after STARTTLS)."""
        if session.ssl is not None:
            return True
        transport = getattr(server, "transport", None)
        return transport is not None and transport.get_extra_info("ssl_object") is not None

    async def handle_DATA(self, server, session, envelope):
        reject = await self._behaviour("DATA")
        if reject:
            return reject
        auth = session.auth_data if isinstance(session.auth_data, dict) else {}
        with self.lock:
            self.count += 1
            name = "%06d" % self.count
        aside = os.path.join(self.maildir, "." + name)
        os.makedirs(aside)
        with open(os.path.join(aside, "envelope.json"), "w", encoding="utf-8") as f:
            json.dump({"mail_from": envelope.mail_from,
                       "rcpt_tos": list(envelope.rcpt_tos),
                       "login": auth.get("login", ""),
                       "mechanism": auth.get("mechanism", ""),
                       "tls": self._over_tls(server, session)}, f)
        data = envelope.original_content
        if data is None:
            data = envelope.content if isinstance(envelope.content, bytes) else b""
        with open(os.path.join(aside, "message.eml"), "wb") as f:
            f.write(data)
        os.rename(aside, os.path.join(self.maildir, name))
        return "250 Message accepted for delivery"


def main():
    args = parse_args()
    os.makedirs(args.maildir, exist_ok=True)

    context = None
    if args.security != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    kwargs = {
        "hostname": "127.0.0.1",
        "port": args.port,
        "server_hostname": "localhost",
        "auth_require_tls": False,
        "ready_timeout": 10.0,
    }
    if args.user:
        kwargs["authenticator"] = Authenticator(args.user, args.password)
        kwargs["auth_required"] = True
    else:
        kwargs["auth_exclude_mechanism"] = ["LOGIN", "PLAIN"]
    if args.security == "ssl":
        kwargs["ssl_context"] = context
    elif args.security == "starttls":
        kwargs["tls_context"] = context
        kwargs["require_starttls"] = False

    controller = Controller(Handler(args.maildir, args.control, bool(args.user)), **kwargs)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    controller.start()
    print("smtp_server: listening on 127.0.0.1:%d" % args.port, flush=True)
    while not stop.wait(0.5):
        pass
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
