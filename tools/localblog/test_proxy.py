#!/usr/bin/env python3
"""A forward HTTP proxy on 127.0.0.1 for the proxy tests.

It forwards absolute-form requests (`POST http://127.0.0.1:PORT/x HTTP/1.1`,
bodies streamed through, Content-Length or chunked) and tunnels CONNECT, to
loopback targets only: anything else is refused with 403, and no name but
"localhost" is ever looked up. Every request line it receives is recorded,
so a test can show that the requests went through it.

From Python:

    with TestProxy().start() as proxy:      # proxy.address == "127.0.0.1:PORT"
        ...
        proxy.records()                     # ["POST http://... HTTP/1.1", ...]

Command line:

    test_proxy.py [--port N] [--ready-file FILE] [--log FILE]

--ready-file gets {"proxy": "127.0.0.1:PORT", "port": PORT} once it listens;
--log gets each request line as it arrives. A plain `GET /_records` sent to
the proxy itself answers the records as JSON.
"""

import argparse
import http.server
import ipaddress
import json
import os
import signal
import socket
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from localblog import _Server, _write_ready_file  # noqa: E402

__all__ = ["TestProxy", "is_loopback_host"]

HOP_BY_HOP = {"connection", "keep-alive", "proxy-connection", "proxy-authorization",
              "proxy-authenticate", "te", "trailer", "upgrade", "expect"}
COPY_CHUNK = 64 * 1024
UPSTREAM_TIMEOUT = 120


def is_loopback_host(host):
    """True for "localhost" and loopback addresses; names are not resolved."""
    host = host.strip("[]").lower()
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host).is_loopback
    except ValueError:
        return False


def _split_host_port(text, default_port):
    """"host:port" or "[v6]:port" to (host, port); None when malformed."""
    if text.startswith("["):
        host, sep, rest = text[1:].partition("]")
        if not sep or (rest and not rest.startswith(":")):
            return None
        port = rest[1:] or str(default_port)
    else:
        host, sep, port = text.rpartition(":")
        if not sep:
            host, port = text, str(default_port)
    if not host or not port.isdigit() or not 0 < int(port) < 65536:
        return None
    return host, int(port)


class _ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestProxy/1.0"
    sys_version = ""
    proxy = None  # set per server

    def log_message(self, format, *args):
        pass

    def _refuse(self, status, text):
        # Read a small body first, so that closing does not reset the
        # connection under the client before it reads the answer.
        length = self.headers.get("Content-Length", "")
        if length.isdigit() and int(length) <= 1024 * 1024:
            self.rfile.read(int(length))
        body = (text + "\n").encode("utf-8")
        self.close_connection = True
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=UTF-8")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def do_CONNECT(self):
        self.proxy._record(self.requestline)
        target = _split_host_port(self.path, 443)
        if target is None:
            return self._refuse(400, "CONNECT needs host:port")
        if not is_loopback_host(target[0]):
            return self._refuse(403, "This proxy only reaches loopback addresses.")
        try:
            upstream = socket.create_connection(target, timeout=UPSTREAM_TIMEOUT)
        except OSError as e:
            return self._refuse(502, "Cannot reach %s: %s" % (self.path, e))
        with upstream:
            self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            self.close_connection = True
            # Reading through rfile hands on first what the client may have
            # sent right behind the CONNECT request (already buffered there).
            back = threading.Thread(target=self._pump, args=(upstream, self.connection),
                                    daemon=True)
            back.start()
            self._pump(self.rfile, upstream)
            back.join(UPSTREAM_TIMEOUT)

    @staticmethod
    def _pump(source, sink):
        """Copy until the source ends, then end the sink's writing side."""
        read = source.read1 if hasattr(source, "read1") else source.recv
        try:
            while True:
                data = read(COPY_CHUNK)
                if not data:
                    break
                sink.sendall(data)
        except OSError:
            pass
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def _forward(self):
        self.proxy._record(self.requestline)
        if self.path == "/_records" and self.command == "GET":
            body = json.dumps(self.proxy.records(), indent=1).encode("utf-8")
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            return self.wfile.write(body)
        url = urllib.parse.urlsplit(self.path)
        if url.scheme != "http" or not url.netloc:
            return self._refuse(400, "This proxy takes absolute-form http requests and CONNECT.")
        target = _split_host_port(url.netloc.rpartition("@")[2], 80)
        if target is None:
            return self._refuse(400, "Bad target address.")
        if not is_loopback_host(target[0]):
            return self._refuse(403, "This proxy only reaches loopback addresses.")
        try:
            upstream = socket.create_connection(target, timeout=UPSTREAM_TIMEOUT)
        except OSError as e:
            return self._refuse(502, "Cannot reach %s: %s" % (url.netloc, e))
        self.close_connection = True
        with upstream:
            if self.headers.get("Expect", "").lower() == "100-continue":
                self.wfile.write(b"HTTP/1.1 100 Continue\r\n\r\n")
            origin = (url.path or "/") + ("?" + url.query if url.query else "")
            lines = ["%s %s HTTP/1.1" % (self.command, origin)]
            lines += ["%s: %s" % (k, v) for k, v in self.headers.items()
                      if k.lower() not in HOP_BY_HOP]
            lines.append("Connection: close")
            upstream.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
            self._send_body(upstream)
            # The target closes after its answer (we asked it to): relay
            # every byte as it comes, then close the client's connection too.
            # A target that closes without a byte leaves the client without
            # one, as it would have been without the proxy.
            try:
                while True:
                    data = upstream.recv(COPY_CHUNK)
                    if not data:
                        break
                    self.wfile.write(data)
            except OSError:
                pass

    def _send_body(self, upstream):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            while True:
                line = self.rfile.readline(1024)
                upstream.sendall(line)
                try:
                    size = int(line.split(b";")[0].strip(), 16)
                except ValueError:
                    return
                if size < 0:
                    return
                if size == 0:
                    while True:
                        trailer = self.rfile.readline(8192)
                        upstream.sendall(trailer)
                        if not trailer.strip():
                            return
                self._copy(size + 2, upstream)  # the data and its CRLF
        length = self.headers.get("Content-Length", "0").strip()
        self._copy(int(length) if length.isdigit() else 0, upstream)

    def _copy(self, left, upstream):
        while left > 0:
            data = self.rfile.read(min(left, COPY_CHUNK))
            if not data:
                break
            upstream.sendall(data)
            left -= len(data)

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = do_OPTIONS = do_PATCH = _forward


class TestProxy:
    """The proxy: start(), address, port, records(), stop(); a context manager."""

    __test__ = False  # not a unittest case, whatever its name

    def __init__(self, port=0, log_file=None):
        self._port = port
        self._log_file = log_file
        self._records = []
        self._lock = threading.Lock()
        self._server = None
        self._thread = None

    def start(self):
        if self._server is None:
            handler = type("Handler", (_ProxyHandler,), {"proxy": self})
            self._server = _Server(("127.0.0.1", self._port), handler)
            self._thread = threading.Thread(target=self._server.serve_forever,
                                            kwargs={"poll_interval": 0.1}, daemon=True)
            self._thread.start()
        return self

    def stop(self):
        if self._server is not None:
            self._server.stop()
            self._thread.join(10)
            self._server = self._thread = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    @property
    def port(self):
        return self._server.server_address[1]

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def _record(self, line):
        with self._lock:
            self._records.append(line)
            if self._log_file:
                with open(self._log_file, "a", encoding="utf-8") as f:
                    f.write(line + "\n")

    def records(self):
        """The request lines received, oldest first."""
        with self._lock:
            return list(self._records)

    def clear(self):
        with self._lock:
            self._records.clear()


def main(argv=None):
    p = argparse.ArgumentParser(description="A forward proxy to loopback targets, for tests.")
    p.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: a free one)")
    p.add_argument("--ready-file", metavar="FILE",
                   help="write {\"proxy\": \"127.0.0.1:PORT\", \"port\": PORT} once listening")
    p.add_argument("--log", metavar="FILE", help="append each request line here")
    args = p.parse_args(argv)
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    proxy = TestProxy(args.port, args.log)
    try:
        proxy.start()
    except OSError as e:
        sys.stderr.write("test_proxy: %s\n" % e)
        return 1
    try:
        print("Test proxy at %s" % proxy.address, flush=True)
        if args.ready_file:
            _write_ready_file(args.ready_file, {"proxy": proxy.address, "port": proxy.port})
        while not stop.wait(0.5):
            pass
    finally:
        proxy.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
