#!/usr/bin/python3
"""Loopback SFTP server for the upload tests (python3-asyncssh), with fault injection.

Usage: sftp_server.py --root DIR --host-key PEM [--user U] [--mode MODE] [--rate BYTES_PER_SECOND]
                      [--login-folder PATH] [--auth both|password|keyboard-interactive]
The password is read from the environment variable SFTP_TEST_PASSWORD ("secret" when unset); --auth says
which ways of asking for it the server offers.

The root is the server's "/" (a chroot); --login-folder is the folder a login starts in, where relative
paths lead. Modes: normal (a rename never replaces an existing file, as SFTP version 3 servers do; OpenSSH's
posix-rename does), no-posix-rename (that extension not offered), rename-refused (every rename fails as
unsupported), rename-in-refused (no posix-rename, and the temporary file may not be renamed),
drop-during-write (the connection is cut after the first block of a file). --rate throttles writes. Prints
"PORT <n>" once listening, then "CMD <op> <path>" for every file opened for writing, rename (RENAME, or
POSIX-RENAME) and removal, each path as seen from the server's root.
"""
import argparse
import asyncio
import logging
import os
import sys
import warnings

warnings.simplefilter("ignore")
import asyncssh  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--host-key", required=True)
    parser.add_argument("--user", default="veltora")
    parser.add_argument("--mode", default="normal")
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--login-folder", default="")
    parser.add_argument("--auth", default="both")
    args = parser.parse_args()
    password = os.environ.get("SFTP_TEST_PASSWORD", "secret")
    login = ("/" + args.login_folder.strip("/")).encode() if args.login_folder else b"/"
    root = os.path.realpath(args.root).encode()
    mode = args.mode
    if mode in ("no-posix-rename", "rename-in-refused"):
        asyncssh.sftp.SFTPServerHandler._extensions = [
            extension for extension in asyncssh.sftp.SFTPServerHandler._extensions
            if extension[0] != b"posix-rename@openssh.com"]

    def report(op, path):
        print("CMD %s %s" % (op, path.decode(errors="replace")), flush=True)

    class Server(asyncssh.SSHServer):
        def begin_auth(self, username):
            return True

        def password_auth_supported(self):
            return args.auth in ("both", "password")

        def validate_password(self, username, given):
            return username == args.user and given == password

        def kbdint_auth_supported(self):
            return args.auth in ("both", "keyboard-interactive")

        def get_kbdint_challenge(self, username, lang, submethods):
            return "", "", "", [("Password: ", False)]

        def validate_kbdint_response(self, username, responses):
            return username == args.user and list(responses) == [password]

    class Sftp(asyncssh.SFTPServer):
        def __init__(self, chan):
            super().__init__(chan, chroot=root)

        def map_path(self, path):
            if not path.startswith(b"/"):
                path = login.rstrip(b"/") + b"/" + path
            return super().map_path(path)

        def virtual(self, path):
            return self.reverse_map_path(self.map_path(path))

        def open(self, path, pflags, attrs):
            if pflags & asyncssh.FXF_WRITE:
                report("WRITE", self.virtual(path))
            return super().open(path, pflags, attrs)

        def rename(self, oldpath, newpath):
            report("RENAME", self.virtual(oldpath) + b" " + self.virtual(newpath))
            if mode == "rename-refused":
                raise asyncssh.SFTPOpUnsupported("Renaming is not supported")
            if mode == "rename-in-refused" and oldpath.endswith(b".veltora-part"):
                raise asyncssh.SFTPPermissionDenied("Quota exceeded")
            return super().rename(oldpath, newpath)

        def posix_rename(self, oldpath, newpath):
            report("POSIX-RENAME", self.virtual(oldpath) + b" " + self.virtual(newpath))
            if mode == "rename-refused":
                raise asyncssh.SFTPOpUnsupported("Renaming is not supported")
            return super().posix_rename(oldpath, newpath)

        def remove(self, path):
            report("REMOVE", self.virtual(path))
            return super().remove(path)

        async def write(self, file_obj, offset, data):
            if mode == "drop-during-write" and offset > 0:
                self.channel.get_connection().abort()
                return
            if args.rate:
                await asyncio.sleep(len(data) / args.rate)
            return super().write(file_obj, offset, data)

    async def serve():
        server = await asyncssh.create_server(
            Server, "127.0.0.1", 0, server_host_keys=[asyncssh.read_private_key(args.host_key)],
            sftp_factory=Sftp, allow_scp=False)
        print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Event().wait()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    asyncio.run(serve())


if __name__ == "__main__":
    main()
