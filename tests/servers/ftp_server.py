#!/usr/bin/python3
"""Loopback FTP server for the upload tests, with fault injection.

Usage: ftp_server.py --root DIR [--user U] [--password P] [--mode MODE] [--rate BYTES_PER_SECOND]

Modes: normal, stor-refused (550 on STOR), disk-full (452 once the data has arrived), drop-during-stor
(both connections closed after the first chunk of data), silent (answers the login, then nothing),
quit-silent (no answer to QUIT). --rate throttles uploads. Prints "PORT <n>" once listening.
"""
import argparse
import logging
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
    args = parser.parse_args()
    mode = args.mode

    class Dtp(ThrottledDTPHandler):
        read_limit = args.rate

        def handle_read(self):
            if mode == "drop-during-stor" and self.receive:
                self.recv(65536)
                control = self.cmd_channel
                self._resp = None
                self.close()
                control.close()
                return
            super().handle_read()

        handle_read_event = handle_read  # the base class binds its own handle_read here

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

    class Handler(FTPHandler):
        dtp_handler = Dtp
        passive_ports = None

        def pre_process_command(self, line, cmd, arg):
            if mode == "silent" and self.authenticated:
                return
            if mode == "quit-silent" and cmd == "QUIT":
                return
            if mode == "stor-refused" and cmd == "STOR":
                self.respond("550 Permission denied.")
                return
            super().pre_process_command(line, cmd, arg)

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
