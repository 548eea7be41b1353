#!/usr/bin/env python3
"""A scripted HTTP origin for the tests of the outgoing HTTP clients (see python_origin.h).

Usage: python_origin.py FOLDER [CERTIFICATE KEY]

Listens on 127.0.0.1 on a port of the system's choosing (with TLS when a certificate and its key are
given), writes "PORT <n>" on its standard output, and serves until its standard input ends. Each
connection is served on a thread of its own. Requests in the absolute form (as a proxy gets them) are
served like those in the origin form. Every response carries "X-Connection-Request: <n>": it answers
the n-th request on its connection.

Paths:
  GET  /files/<name>        the file FOLDER/<name>; 404 when there is none
  POST /echo                the posted body, back as the response body
  GET  /headers             the request line and the header lines as parsed ("Name: value"), each
                            ending in CR LF, as the body
  GET  /basic               401 with two WWW-Authenticate lines (an unknown scheme, then Basic) and
                            the body "401 body", until the request carries the Basic credentials
                            USER:PASSWORD; then 200 "authorized"
  GET  /chunked             200 with a chunked body
  GET  /proxy-chunked-407   as a proxy would: 407 with a Basic Proxy-Authenticate, a chunked body and
                            "Proxy-Connection: keep-alive" (the connection stays open), until the
                            request carries the proxy credentials PROXY_USER:PROXY_PASSWORD; then 200
                            "through the proxy"
  GET  /short               Content-Length 100, then 10 bytes and the end of the connection
  GET  /hang                nothing at all, until the client goes or the origin stops
  GET  /root/<scenario>/... a root server's answer to a forwarded registration, by scenario:
                            success (computer ID 4711, slot 3, version 9.2.0.0), toomanychildren
                            (25), invalidsequence, badcomputerid (an ID without slot and port) or
                            noanswer (as /hang); each request line and its User-Agent are appended
                            to FOLDER/root-requests.log
  anything else             404 "not found"
"""

import base64
import http.server
import os
import ssl
import sys
import threading

USER = "origin-user"
PASSWORD = "origin pass"
PROXY_USER = "proxy-user"
PROXY_PASSWORD = "proxy pass"

stopping = threading.Event()


def basic(user, password):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


ROOT_ANSWERS = {
    "success": ([("x-veltra-itclient-computerid", "4711,3,52311,0,0,0"),
                 ("x-veltra-server", "1;http://root.example:52311/")],
                b"Success\r\n4711\r\n3\r\n52311\r\n9.2.0.0\r\n0\r\n0\r\n0\r\n"),
    "toomanychildren": ([("x-veltra-clientregister-status", "RelayRejectClient"),
                         ("x-veltra-clientregister-toomanychildren", "25")],
                        b"RelayRejectClient\r\nTooManyChildren\r\n25\r\n"),
    "invalidsequence": ([("x-veltra-clientregister-status", "Invalid Sequence Number")],
                        b"Invalid Sequence Number\r\n"),
    "badcomputerid": ([("x-veltra-itclient-computerid", "4711")], b"Success\r\n"),
}
root_log_lock = threading.Lock()


class Origin(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    folder = "."

    def log_message(self, format, *args):
        pass

    def send_response(self, code, message=None):
        super().send_response(code, message)
        self.served = getattr(self, "served", 0) + 1
        self.send_header("X-Connection-Request", str(self.served))

    def target(self):
        path = self.path
        for scheme in ("http://", "https://"):
            if path.lower().startswith(scheme):
                slash = path.find("/", len(scheme))
                path = path[slash:] if slash >= 0 else "/"
        return path.split("?", 1)[0]

    def reply(self, status, body, headers=(), keep_open=False):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        if not keep_open:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = not keep_open

    def chunked(self, status, pieces, headers=(), keep_open=False):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Transfer-Encoding", "chunked")
        if not keep_open:
            self.send_header("Connection", "close")
        self.end_headers()
        for piece in pieces:
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")
        self.close_connection = not keep_open

    def do_GET(self):
        path = self.target()
        if path.startswith("/files/"):
            name = os.path.basename(path[len("/files/"):])
            try:
                with open(os.path.join(self.folder, name), "rb") as file:
                    body = file.read()
            except OSError:
                self.reply(404, b"not found")
                return
            self.reply(200, body)
        elif path == "/headers":
            lines = [self.requestline] + [f"{name}: {value}" for name, value in self.headers.items()]
            self.reply(200, "".join(line + "\r\n" for line in lines).encode("latin-1"))
        elif path == "/basic":
            if self.headers.get("Authorization") == basic(USER, PASSWORD):
                self.reply(200, b"authorized")
            else:
                self.reply(401, b"401 body", [("WWW-Authenticate", 'Fancy realm="origin"'),
                                              ("WWW-Authenticate", 'Basic realm="origin"')])
        elif path == "/chunked":
            self.chunked(200, [b"first piece, ", b"second piece"])
        elif path == "/proxy-chunked-407":
            if self.headers.get("Proxy-Authorization") == basic(PROXY_USER, PROXY_PASSWORD):
                self.reply(200, b"through the proxy")
            else:
                self.chunked(407, [b"proxy ", b"authentication ", b"required"],
                             [("Proxy-Authenticate", 'Basic realm="origin proxy"'),
                              ("Proxy-Connection", "keep-alive")], keep_open=True)
        elif path == "/short":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.close_connection = True
        elif path == "/hang":
            stopping.wait(60)
            self.close_connection = True
        elif path.startswith("/root/"):
            self.answer_as_root(path.split("/")[2])
        else:
            self.reply(404, b"not found")

    def answer_as_root(self, scenario):
        with root_log_lock, open(os.path.join(self.folder, "root-requests.log"), "a") as log:
            log.write(f"{self.requestline}\tUser-Agent: {self.headers.get('User-Agent', '')}\n")
        if scenario == "noanswer":
            stopping.wait(60)
            self.close_connection = True
        elif scenario in ROOT_ANSWERS:
            headers, body = ROOT_ANSWERS[scenario]
            self.reply(200, body, headers)
        else:
            self.reply(404, b"not found")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if self.target() == "/echo":
            self.reply(200, body)
        else:
            self.reply(404, b"not found")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def main():
    Origin.folder = sys.argv[1]
    server = Server(("127.0.0.1", 0), Origin)
    if len(sys.argv) == 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
        # The handshake runs on the connection's thread, so a silent client never holds up accept.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("PORT", server.server_address[1], flush=True)
    sys.stdin.buffer.read()
    stopping.set()
    os._exit(0)


if __name__ == "__main__":
    main()
