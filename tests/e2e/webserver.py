#!/usr/bin/env python3
"""A web server for the end-to-end cases: the pages that --check meets.

    webserver.py ADDRESS PORT MODE [LOG] [CERT KEY]

MODE: title (a page with a title), redirect (302 to https://ADDRESS/login),
hang (takes the connection and never answers), huge (10 MB, its title first),
hostile (a title of markup and control bytes), plain (no title), slow (the
title page after 50 ms), trickle (the status and the title at once, the
rest of the page never). Every
connection is written to LOG as "connection from HOST"; "listening" on
standard output once it is ready. With CERT and KEY, HTTPS. It runs inside
the case's private network namespace, never on the machine's own network.
"""
import http.server
import socketserver
import ssl
import sys
import time

address, port, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
log = sys.argv[4] if len(sys.argv) > 4 else None
cert, key = (sys.argv[5], sys.argv[6]) if len(sys.argv) > 6 else (None, None)

PAGES = {
    "title": b"<!DOCTYPE html><html><head><title>Router  login</title></head><body>hello</body></html>",
    "hostile": b"<html><head><title><b>\x1b[2J\x9b31m</b>&lt;script&gt;\xe2\x80\xaeevil</title></head></html>",
    "plain": b"<html><body>no title here</body></html>",
}


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if mode == "hang":
            time.sleep(30)
            return
        if mode == "slow":
            time.sleep(0.05)
        if mode == "trickle":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(PAGES["title"])
            self.wfile.flush()
            time.sleep(30)
            return
        if mode == "redirect":
            self.send_response(302)
            self.send_header("Location", "https://%s/login" % address)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if mode == "huge":
            body = b"<html><head><title>Huge page</title></head><body>" + b"x" * (10 << 20) + b"</body></html>"
        else:
            body = PAGES["title" if mode == "slow" else mode]
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    request_queue_size = 128

    def get_request(self):
        connection, peer = super().get_request()
        if log:
            with open(log, "a") as f:
                f.write("connection from %s\n" % peer[0])
        return connection, peer


server = Server((address, port), Handler)
if cert:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
print("listening", flush=True)
server.serve_forever()
