#!/usr/bin/python3
"""Loopback HTTP server for the echo-page lookups. Binds 127.0.0.1 on a free port, prints "PORT <n>".
With --ipv6 first among its arguments it binds ::1 instead.

Paths (query parameters in brackets):
  /body     [b64=<urlsafe base64 body>] [pad=<n> 'x' characters before it] [status=<code>]
  /slow     [b64] [seconds=<s>]   headers at once, then the body dripped out over the given time
  /silent                         accepts, reads the request, never answers
  /big      [size=<n>] [length=1] an n-byte body, streamed without a length unless length=1
  /redirect [to=<path and query>] 302 to another path of this server
  /file     [path=<local file>]   the file's bytes as they are at this request (404 while it is missing),
                                  so a test changes the answer between lookups by rewriting the file
Every request is logged on stdout as "GET <path>".
Start arguments: --tls <certificate> <key> serves https instead.
"""
import base64
import socket
import ssl
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit


def decode_body(query):
    text = query.get("b64", [""])[0]
    body = base64.urlsafe_b64decode(text + "=" * (-len(text) % 4)) if text else b""
    return b"x" * int(query.get("pad", ["0"])[0]) + body


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_body(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urlsplit(self.path)
        query = parse_qs(url.query, keep_blank_values=True)
        print("GET " + self.path, flush=True)
        if url.path == "/body":
            self.send_body(int(query.get("status", ["200"])[0]), decode_body(query))
        elif url.path == "/slow":
            body = decode_body(query)
            seconds = float(query.get("seconds", ["2"])[0])
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.flush()
            steps = max(len(body), 1)
            for i in range(len(body)):
                time.sleep(seconds / steps)
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
        elif url.path == "/silent":
            time.sleep(3600)
        elif url.path == "/big":
            size = int(query.get("size", ["2000000"])[0])
            self.send_response(200)
            if query.get("length", ["0"])[0] == "1":
                self.send_header("Content-Length", str(size))
            self.end_headers()
            chunk = b"YOUR IP IS 192.0.2.1<BR>\r\n" * 2000
            sent = 0
            try:
                while sent < size:
                    piece = chunk[: size - sent]
                    self.wfile.write(piece)
                    sent += len(piece)
            except (BrokenPipeError, ConnectionResetError):
                pass
        elif url.path == "/file":
            try:
                with open(query.get("path", [""])[0], "rb") as answer:
                    body = answer.read()
            except OSError:
                self.send_body(404, b"no such file")
            else:
                self.send_body(200, body)
        elif url.path == "/redirect":
            self.send_response(302)
            self.send_header("Location", query.get("to", ["/body"])[0])
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send_body(404, b"not here")


class Server(ThreadingHTTPServer):
    daemon_threads = True


class Server6(Server):
    address_family = socket.AF_INET6


def main():
    args = sys.argv[1:]
    ipv6 = args[:1] == ["--ipv6"]
    if ipv6:
        args = args[1:]
    server = Server6(("::1", 0), Handler) if ipv6 else Server(("127.0.0.1", 0), Handler)
    if len(args) == 3 and args[0] == "--tls":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args[1], args[2])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    sys.exit(0)


if __name__ == "__main__":
    main()
