#!/usr/bin/python3
"""A real SMTP server for the tests, on 127.0.0.1, built on aiosmtpd.

Listeners (each on a free port unless one is given):
  plain       no TLS, no AUTH offered: accepts any sender and recipient
  plain_auth  no TLS, AUTH offered and required (LOGIN, PLAIN)
  starttls    STARTTLS offered; AUTH offered once encrypted, and required
  ssl         TLS from the first byte; AUTH required
The certificate is made by openssl at start (self-signed, for localhost and 127.0.0.1) and
is the CA file the clients are given.

Addresses steer the refusals the tests need (local part, case-insensitive):
  sender    refuse-sender*  MAIL FROM refused with 553 5.7.1
  recipient refuse*         RCPT TO refused with 550 5.1.1
            drop-data*      the connection is dropped once the data has arrived: no reply
            reject-data*    the data is refused with 554 5.6.0
            refuse-quit*    QUIT is answered with 554 5.3.0
A wrong user or password gets aiosmtpd's own 535 5.7.8.

Every message accepted is written to <state>/mail as NNNNNN.eml (the raw data) and
NNNNNN.json (envelope, listener, TLS, user), the JSON last and by rename, so a reader never
sees half a message. `--parse NNNNNN.eml...` later writes NNNNNN.parsed.json beside each
(headers as Python's e-mail parser decodes them, the parts and their defects) and saves the
attachments as NNNNNN.part<i>.

  smtp-test-server.py --state-dir DIR [--daemon] [--lifetime S] [--plain-port N] ...
  smtp-test-server.py --state-dir DIR --stop
  smtp-test-server.py --parse DIR/mail/000001.eml ...

With --daemon the command returns once the server is listening and <state>/server.json
(ports, pid, CA file, user, password, mail folder) is written; --stop ends that server.
The server always ends by itself after --lifetime seconds.
"""

import argparse
import asyncio
import email
import email.policy
import itertools
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import threading
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

HOST = "127.0.0.1"
STATE_FILE = "server.json"


def local_part(address):
    return (address or "").split("@", 1)[0].strip("<>").lower()


class Recorder:
    """Writes what the server accepts; shared by every listener. Only the raw data and the
    envelope are written while the client waits: parsing is left to --parse, so that the
    server keeps up with a benchmark's thousand messages."""

    def __init__(self, mail_dir):
        self.mail_dir = mail_dir
        self.counter = itertools.count(1)
        self.lock = threading.Lock()

    def record(self, listener, session, envelope):
        with self.lock:
            seq = next(self.counter)
        stem = os.path.join(self.mail_dir, f"{seq:06d}")
        with open(stem + ".eml", "wb") as f:
            f.write(envelope.original_content or b"")
        summary = {
            "seq": seq,
            "listener": listener,
            "tls": session.ssl is not None,
            "auth_user": session.auth_data.login.decode("utf-8", "replace")
            if isinstance(session.auth_data, LoginPassword)
            else None,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "raw": stem + ".eml",
        }
        tmp = stem + ".json.tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(summary, f, ensure_ascii=False)
        os.replace(tmp, stem + ".json")


def parse_message(eml_path):
    """Writes <stem>.parsed.json beside a received message: its headers as Python's e-mail
    parser decodes them, its parts (attachments saved as <stem>.part<i>) and the defects the
    parser found."""
    stem = eml_path[: -len(".eml")]
    with open(eml_path, "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.default)
    headers = [[k, str(v)] for k, v in msg.items()]
    parts, defects = [], [str(d) for d in msg.defects]
    for i, part in enumerate(msg.walk()):
        defects += [str(d) for d in part.defects]
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        entry = {
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "disposition": part.get_content_disposition(),
            "filename": part.get_filename(),
            "transfer_encoding": part.get("Content-Transfer-Encoding"),
            "size": len(payload),
        }
        if part.get_content_disposition() == "attachment":
            entry["saved"] = f"{stem}.part{i}"
            with open(entry["saved"], "wb") as out:
                out.write(payload)
        elif part.get_content_maintype() == "text":
            entry["text"] = part.get_content()
        parts.append(entry)
    parsed = {
        "root_content_type": msg.get_content_type(),
        "headers": headers,
        "parts": parts,
        "defects": defects,
    }
    tmp = stem + ".parsed.json.tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(parsed, f, ensure_ascii=False)
    os.replace(tmp, stem + ".parsed.json")


class Handler:
    def __init__(self, listener, recorder):
        self.listener = listener
        self.recorder = recorder

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if local_part(address).startswith("refuse-sender"):
            return "553 5.7.1 Sender address rejected: not owned by user"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 2.1.0 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        lp = local_part(address)
        if lp.startswith("refuse") and not lp.startswith("refuse-quit"):
            return "550 5.1.1 Recipient address rejected: user unknown"
        if lp.startswith("refuse-quit"):
            session.refuse_quit = True
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 2.1.5 OK"

    async def handle_DATA(self, server, session, envelope):
        rcpts = [local_part(r) for r in envelope.rcpt_tos]
        if any(r.startswith("drop-data") for r in rcpts):
            # The client has sent its data and waits for a reply that never comes.
            server.transport.abort()
            return "421 4.4.2 connection dropped for the test"
        if any(r.startswith("reject-data") for r in rcpts):
            return "554 5.6.0 Message content rejected"
        self.recorder.record(self.listener, session, envelope)
        return "250 2.0.0 OK: queued"

    async def handle_QUIT(self, server, session, envelope):
        if getattr(session, "refuse_quit", False):
            return "554 5.3.0 Logout refused for the test"
        return "221 2.0.0 Bye"


def make_authenticator(user, password):
    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (
            isinstance(auth_data, LoginPassword)
            and auth_data.login == user.encode()
            and auth_data.password == password.encode()
        )
        if ok:
            return AuthResult(success=True, auth_data=auth_data)
        # Not handled here: aiosmtpd answers 535 5.7.8 itself.
        return AuthResult(success=False, handled=False)

    return authenticator


def make_certificate(state_dir):
    cert = os.path.join(state_dir, "cert.pem")
    key = os.path.join(state_dir, "key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
         "-keyout", key, "-out", cert],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.chmod(key, 0o600)
    return cert, key


async def serve(args):
    state_dir = os.path.abspath(args.state_dir)
    mail_dir = os.path.join(state_dir, "mail")
    os.makedirs(mail_dir, exist_ok=True)
    cert, key = make_certificate(state_dir)
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(cert, key)

    recorder = Recorder(mail_dir)
    auth = make_authenticator(args.user, args.password)
    listeners = {
        # name: (port, SMTP keyword arguments, TLS from the start)
        "plain": (args.plain_port, {}, False),
        "plain_auth": (args.plain_auth_port,
                       dict(authenticator=auth, auth_required=True, auth_require_tls=False), False),
        "starttls": (args.starttls_port,
                     dict(tls_context=tls, authenticator=auth, auth_required=True), False),
        # aiosmtpd counts only STARTTLS as encryption for AUTH: this one is encrypted from
        # the first byte.
        "ssl": (args.ssl_port,
                dict(authenticator=auth, auth_required=True, auth_require_tls=False), True),
    }
    loop = asyncio.get_running_loop()
    ports, servers = {}, []
    for name, (port, kwargs, implicit) in listeners.items():
        handler = Handler(name, recorder)

        def factory(handler=handler, kwargs=kwargs, implicit=implicit):
            smtp = SMTP(handler, hostname="smtp.test", ident="boleto test SMTP",
                        enable_SMTPUTF8=True, timeout=60, **kwargs)
            if implicit:
                # aiosmtpd sees the TLS of an implicit-TLS socket only through STARTTLS;
                # record it as encrypted all the same.
                smtp._boleto_implicit_tls = True
            return smtp

        server = await loop.create_server(factory, HOST, port, ssl=tls if implicit else None)
        servers.append(server)
        ports[name] = server.sockets[0].getsockname()[1]

    state = {
        "pid": os.getpid(),
        "host": HOST,
        "ports": ports,
        "ca_file": cert,
        "user": args.user,
        "password": args.password,
        "mail_dir": mail_dir,
    }
    tmp = os.path.join(state_dir, STATE_FILE + ".tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(state, f, indent=1)
    os.replace(tmp, os.path.join(state_dir, STATE_FILE))
    print(f"smtp-test-server: listening {ports}, writing to {mail_dir}", flush=True)

    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    try:
        await asyncio.wait_for(stop.wait(), timeout=args.lifetime)
    except asyncio.TimeoutError:
        print("smtp-test-server: lifetime over", flush=True)
    for server in servers:
        server.close()
    try:
        os.remove(os.path.join(state_dir, STATE_FILE))
    except FileNotFoundError:
        pass


def patch_implicit_tls_session():
    """Marks sessions of an implicit-TLS listener as encrypted (session.ssl)."""
    original = SMTP.connection_made

    def connection_made(self, transport):
        original(self, transport)
        if getattr(self, "_boleto_implicit_tls", False) and self.session.ssl is None:
            self.session.ssl = transport.get_extra_info("ssl_object") or True

    SMTP.connection_made = connection_made


def read_state(state_dir):
    try:
        with open(os.path.join(state_dir, STATE_FILE), encoding="utf-8") as f:
            return json.load(f)
    except (FileNotFoundError, json.JSONDecodeError):
        return None


def alive(pid):
    """Is `pid` a test server still running (and not another process given its number)?"""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return b"smtp-test-server" in f.read()
    except OSError:
        return False


def stop_server(state_dir):
    state = read_state(state_dir)
    if not state:
        return 0
    pid = state["pid"]
    if alive(pid):
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            if not alive(pid):
                break
            time.sleep(0.05)
    try:
        os.remove(os.path.join(state_dir, STATE_FILE))
    except FileNotFoundError:
        pass
    return 0


def daemonize_and_wait(args):
    """Forks the server off; returns in the parent once it listens (0) or has died (1)."""
    state_dir = os.path.abspath(args.state_dir)
    log_path = os.path.join(state_dir, "server.log")
    pid = os.fork()
    if pid == 0:
        os.setsid()
        if os.fork() != 0:
            os._exit(0)
        log = os.open(log_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        null = os.open(os.devnull, os.O_RDONLY)
        os.dup2(null, 0)
        os.dup2(log, 1)
        os.dup2(log, 2)
        try:
            asyncio.run(serve(args))
        finally:
            os._exit(0)
    os.waitpid(pid, 0)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        state = read_state(state_dir)
        if state and alive(state["pid"]):
            print(json.dumps(state), flush=True)
            return 0
        time.sleep(0.05)
    sys.stderr.write("smtp-test-server: the server did not start; its log:\n")
    try:
        with open(log_path, encoding="utf-8", errors="replace") as f:
            sys.stderr.write(f.read())
    except FileNotFoundError:
        pass
    return 1


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--state-dir")
    p.add_argument("--daemon", action="store_true")
    p.add_argument("--stop", action="store_true")
    p.add_argument("--parse", nargs="+", metavar="EML",
                   help="parse received messages (NNNNNN.eml) into NNNNNN.parsed.json")
    p.add_argument("--lifetime", type=float, default=1800)
    p.add_argument("--user", default="boleto")
    p.add_argument("--password", default="senha-de-teste")
    p.add_argument("--plain-port", type=int, default=0)
    p.add_argument("--plain-auth-port", type=int, default=0)
    p.add_argument("--starttls-port", type=int, default=0)
    p.add_argument("--ssl-port", type=int, default=0)
    args = p.parse_args()

    if args.parse:
        for path in args.parse:
            parse_message(path)
        return 0
    if not args.state_dir:
        p.error("--state-dir is required")
    if args.stop:
        return stop_server(args.state_dir)
    # A server left behind by an earlier run of the same state folder goes first, with the
    # messages it wrote, so that readers only see this run's.
    stop_server(args.state_dir)
    os.makedirs(args.state_dir, exist_ok=True)
    shutil.rmtree(os.path.join(args.state_dir, "mail"), ignore_errors=True)
    patch_implicit_tls_session()
    if args.daemon:
        return daemonize_and_wait(args)
    asyncio.run(serve(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
