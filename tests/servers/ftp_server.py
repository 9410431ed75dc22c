#!/usr/bin/python3
"""Loopback FTP server for the upload tests, with fault injection.

Usage: ftp_server.py --root DIR [--user U] [--password P] [--mode MODE] [--rate BYTES_PER_SECOND]
                     [--login-folder PATH] [--tls explicit|implicit --cert PEM --key PEM]

Modes: normal, stor-refused (550 on STOR), disk-full (452 once the data has arrived), drop-during-stor
(both connections closed after the first chunk of data), silent (answers the login, then nothing),
quit-silent (no answer to QUIT), data-tls-broken (over TLS: the data connection never speaks TLS), hostile-login (refuses the login with terminal escapes and the password in
the reply), no-greeting (accepts the connection and never says 220),
rnfr-refused (502 to RNFR, as a server without renames; rnfr-refused-500 and rnfr-refused-550 answer so),
rnto-onto-existing-refused (550 to RNTO when the target exists, as Windows servers answer), rnto-refused (550 to
every RNTO), temporary-rename-refused (550 to RNTO of the temporary file onto the page, other renames allowed),
stor-truncated (keeps half of each file it receives and answers 226; stor-truncated-tls13 only of files that came
over a TLS 1.3 data connection). --rate throttles uploads. --login-folder is where a login
starts, below the server's root (the root stays reachable with "/" and ".."). --tls explicit asks for
AUTH TLS and encrypted data; --tls implicit speaks TLS from the first byte.

Prints "PORT <n>" once listening, then "CMD <command>" for every STOR, RNFR, RNTO and DELE it receives.
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="veltora")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--mode", default="normal")
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--login-folder", default="")
    parser.add_argument("--tls", choices=["explicit", "implicit"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()
    mode = args.mode

    if args.tls:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        dtp_bases = (TLS_DTPHandler, ThrottledDTPHandler)
        handler_base = TLS_FTPHandler
    else:
        dtp_bases = (ThrottledDTPHandler,)
        handler_base = FTPHandler

    class Dtp(*dtp_bases):
        read_limit = args.rate

        def readable(self):
            # libcurl starts the data connection's TLS handshake before it sends STOR; closing a connection
            # that is readable before its transfer command would refuse every encrypted upload.
            if getattr(self, "_ssl_accepting", False):
                return True
            return super().readable()

        def handle_read(self):
            if mode == "drop-during-stor" and self.receive:
                self.recv(65536)
                control = self.cmd_channel
                self._resp = None
                self.close()
                control.close()
                return
            super().handle_read()

        if not args.tls:
            handle_read_event = handle_read  # the base class binds its own handle_read here

        def close(self):
            if mode == "stor-truncated-tls13" and self.receive and self.transfer_finished and not self._closed:
                # What some servers do with a TLS 1.3 data connection: the end of the file goes missing.
                try:
                    version = self.socket.get_protocol_version_name()
                except Exception:
                    version = ""
                self.cmd_channel.cut_next_file = version == "TLSv1.3"
            super().close()

        def handle_close(self):
            if mode == "disk-full" and self.receive and not self._closed:
                # What did not fit is lost: the file keeps only its first bytes.
                self.transfer_finished = False
                self._resp = ("452 Insufficient storage space.", logging.debug)
                self.file_obj.flush()
                self.file_obj.truncate(min(self.file_obj.tell(), 1024))
                self.close()
                return
            super().handle_close()

    class Handler(handler_base):
        dtp_handler = Dtp
        passive_ports = None

        def handle(self):
            if mode == "no-greeting":
                return
            if args.tls == "implicit":
                self.secure_connection(self.ssl_context)
            super().handle()

        cut_next_file = False

        def on_file_received(self, file):
            if mode == "stor-truncated" or self.cut_next_file:
                self.cut_next_file = False
                # The server lost the end of the file, and says 226 all the same.
                with open(file, "r+b") as stored:
                    stored.truncate(os.path.getsize(file) // 2)

        def on_login(self, username):
            if args.login_folder:
                self.fs.cwd = "/" + args.login_folder.strip("/")

        def pre_process_command(self, line, cmd, arg):
            if cmd in ("STOR", "RNFR", "RNTO", "DELE"):
                print("CMD %s %s" % (cmd, arg), flush=True)
            if mode == "silent" and self.authenticated:
                return
            if mode == "quit-silent" and cmd == "QUIT":
                return
            if mode == "data-tls-broken" and cmd in ("PASV", "EPSV"):
                # The data connection is promised encrypted (PROT P) but never speaks TLS.
                super().pre_process_command(line, cmd, arg)
                self._prot = False
                return
            if mode == "hostile-login" and cmd == "PASS":
                # Terminal escape sequences, and the password echoed back.
                self.respond("530 \x1b]0;owned\x07\x1b[2J Login incorrect for %s" % arg)
                return
            if mode == "stor-refused" and cmd == "STOR":
                self.respond("550 Permission denied.")
                return
            if mode.startswith("rnfr-refused") and cmd == "RNFR":
                code = mode[len("rnfr-refused-"):] or "502"
                self.respond("%s Command not implemented." % code)
                return
            if cmd == "RNTO" and self.authenticated and (
                    mode == "rnto-refused" or
                    (mode == "temporary-rename-refused" and (self._rnfr or "").endswith(".veltora-part"))):
                self._rnfr = None
                self.respond("550 Permission denied.")
                return
            if mode == "rnto-onto-existing-refused" and cmd == "RNTO" and self.authenticated:
                target = self.fs.ftp2fs(self.fs.ftpnorm(arg))
                if self.fs.lexists(target):
                    self._rnfr = None
                    self.respond("550 Cannot create a file when that file already exists.")
                    return
            super().pre_process_command(line, cmd, arg)

    if args.tls:
        Handler.certfile = args.cert
        Handler.keyfile = args.key
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.masquerade_address = None
    Handler.auth_failed_timeout = 0.1
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
