#!/usr/bin/env python3
"""A small self-hosted blog on loopback, speaking the Blogger and MetaWeblog
XML-RPC methods that the publishing library uses.

It is what the demo, the end-to-end tests, the soak test and a person trying
Velluma without a blog of their own post to. Posts and media metadata live in
SQLite inside the data folder, the media files beside it on disk. For the
tests it can be told to misbehave (see MODES).

Command line:

    localblog.py --port 8080 --data DIR --user ann --password secret \\
        [--blog-name NAME] [--tls CERT KEY --https-port N] [--ready-file FILE]

From Python:

    with LocalBlog(data_dir, "ann", "secret").start() as blog:
        ... blog.url, blog.set_mode("newpost-drop"), blog.posts() ...

Only the standard library is used.
"""

import argparse
import collections
import datetime
import hashlib
import html
import http.server
import inspect
import ipaddress
import json
import os
import re
import signal
import socket
import sqlite3
import ssl
import sys
import tempfile
import threading
import traceback
import urllib.parse
import xmlrpc.client

__all__ = ["LocalBlog", "MODES", "parse_mode", "safe_media_name"]

# Largest request body accepted (a 20 MB capture is about 27 MB of base64).
MAX_BODY = 256 * 1024 * 1024
# Seconds a connection may sit idle (or a TLS handshake may take) before the
# server gives it up.
CONNECTION_TIMEOUT = 120
# How many requests .requests() remembers (the oldest are dropped first).
REQUEST_RECORD_LIMIT = 10000
POSTS_PER_PAGE = 20

XMLRPC_PATHS = ("/xmlrpc.php", "/blog/xmlrpc.php")
REDIRECT_CODES = (301, 302, 303, 307, 308)
HTTP_ERROR_CODES = (403, 404, 405, 500)
MEDIA_EXTENSIONS = {
    ".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg",
    ".gif": "image/gif", ".bmp": "image/bmp", ".tif": "image/tiff",
    ".tiff": "image/tiff", ".webp": "image/webp",
}

# The misbehaviour switches, for the tests. One is active at a time.
MODES = (
    "none",              # behave
    "refuse-login",      # every log-in fails with fault 403
    "slow:SECONDS",      # sleep before answering each XML-RPC request
    "http:403", "http:404", "http:405", "http:500",  # the endpoint answers that status, HTML body
    "html",              # every XML-RPC answer is a 200 HTML page
    "newpost-html",      # newPost answers a 200 HTML page (nothing stored)
    "newpost-malformed", # newPost answers XML that is not well formed (nothing stored)
    "newpost-fault",     # newPost answers a fault (nothing stored)
    "newpost-drop",      # newPost stores the post, then closes without an answer
    "newpost-lose",      # newPost closes without an answer and stores nothing
    "redirect-https",    # the http listener answers 301 to the same path on https
    "redirect:CODE",     # POST /xmlrpc.php answers CODE to /blog/xmlrpc.php
)

AUTH_FAULT = (403, "Incorrect username or password.")
BAD_POST_FAULT = (404, "Invalid post ID.")
PARAMS_FAULT = (-32602, "server error. invalid method parameters")
PARSE_FAULT = (-32700, "parse error. not well formed")


class Mode:
    """A parsed misbehaviour switch: name plus its argument."""

    def __init__(self, text, name, value=None):
        self.text, self.name, self.value = text, name, value

    def __repr__(self):
        return "Mode(%r)" % self.text


def parse_mode(text):
    """Parse a mode text; raises ValueError for one that is not known."""
    text = (text or "").strip()
    simple = ("none", "refuse-login", "html", "newpost-html", "newpost-malformed",
              "newpost-fault", "newpost-drop", "newpost-lose", "redirect-https")
    if text in simple:
        return Mode(text, text)
    kind, sep, arg = text.partition(":")
    if sep and kind == "slow":
        try:
            seconds = float(arg)
        except ValueError:
            seconds = -1.0
        if not (0 <= seconds <= 3600):
            raise ValueError("slow needs seconds between 0 and 3600: %r" % text)
        return Mode(text, "slow", seconds)
    if sep and kind in ("http", "redirect") and arg.isdigit():
        code = int(arg)
        allowed = HTTP_ERROR_CODES if kind == "http" else REDIRECT_CODES
        if code in allowed:
            return Mode(text, kind, code)
        raise ValueError("%s: takes one of %s, not %r" % (kind, allowed, arg))
    raise ValueError("unknown mode %r (known: %s)" % (text, ", ".join(MODES)))


_UNSAFE_NAME_CHARS = re.compile(r"[^A-Za-z0-9._-]+")


def safe_media_name(name):
    """A file name that is safe to store in the media folder: the last path
    component of what the client sent (either slash, a drive letter), with
    anything but letters, digits, '.', '_' and '-' turned into '_', no
    leading dot, at most 100 characters. Never empty."""
    name = str(name or "").replace("\\", "/").split("/")[-1]
    name = re.sub(r"^[A-Za-z]:", "", name)
    name = _UNSAFE_NAME_CHARS.sub("_", name).lstrip(".")
    if len(name) > 100:
        stem, ext = os.path.splitext(name)
        ext = ext[:16]
        name = stem[:100 - len(ext)] + ext
    if not name.strip("._-"):
        name = "upload" + name
    return name


def _small_int(text):
    """A decimal number of up to 18 digits, else None."""
    return int(text) if re.fullmatch(r"[0-9]{1,18}", text) else None


def _utc_now():
    return datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)


def _iso(text):
    """Stored time text (ISO 8601, UTC) to a naive datetime."""
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ")


class _Fault(Exception):
    def __init__(self, fault):
        super().__init__(fault[1])
        self.code, self.text = fault


class _Drop(Exception):
    """Close the connection without sending a byte."""


class _Reply(Exception):
    """Answer with this raw HTTP reply instead of an XML-RPC response."""

    def __init__(self, status, content_type, body):
        super().__init__(status)
        self.status, self.content_type, self.body = status, content_type, body


class _Store:
    """Posts and media metadata in SQLite; one connection shared by the
    request threads under a lock (sqlite3 objects are not to be used from
    two threads at once)."""

    SCHEMA = """
        CREATE TABLE IF NOT EXISTS posts (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            title TEXT NOT NULL,
            description TEXT NOT NULL,
            published INTEGER NOT NULL,
            created TEXT NOT NULL,
            modified TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS media (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            name TEXT NOT NULL UNIQUE,
            sent_name TEXT NOT NULL,
            type TEXT NOT NULL,
            size INTEGER NOT NULL,
            sha256 TEXT NOT NULL,
            created TEXT NOT NULL);
    """

    def __init__(self, data_dir):
        self.data_dir = os.path.abspath(data_dir)
        self.media_dir = os.path.join(self.data_dir, "media")
        os.makedirs(self.media_dir, exist_ok=True)
        self.lock = threading.Lock()
        self.db = sqlite3.connect(os.path.join(self.data_dir, "blog.sqlite3"),
                                  check_same_thread=False, isolation_level=None)
        self.db.row_factory = sqlite3.Row
        with self.lock:
            self.db.executescript(self.SCHEMA)

    def close(self):
        with self.lock:
            self.db.close()

    def add_post(self, title, description, published):
        now = _utc_now().strftime("%Y-%m-%dT%H:%M:%SZ")
        with self.lock:
            cur = self.db.execute(
                "INSERT INTO posts (title, description, published, created, modified)"
                " VALUES (?, ?, ?, ?, ?)", (title, description, int(published), now, now))
            return cur.lastrowid

    def edit_post(self, post_id, title, description, published):
        now = _utc_now().strftime("%Y-%m-%dT%H:%M:%SZ")
        with self.lock:
            row = self.db.execute("SELECT * FROM posts WHERE id = ?", (post_id,)).fetchone()
            if row is None:
                return False
            self.db.execute(
                "UPDATE posts SET title = ?, description = ?, published = ?, modified = ?"
                " WHERE id = ?",
                (row["title"] if title is None else title,
                 row["description"] if description is None else description,
                 row["published"] if published is None else int(published), now, post_id))
            return True

    def post(self, post_id):
        with self.lock:
            return self.db.execute("SELECT * FROM posts WHERE id = ?", (post_id,)).fetchone()

    def posts(self, published_only=False, limit=-1, offset=0, newest_first=True):
        where = " WHERE published = 1" if published_only else ""
        order = "DESC" if newest_first else "ASC"
        with self.lock:
            return self.db.execute(
                "SELECT * FROM posts%s ORDER BY id %s LIMIT ? OFFSET ?" % (where, order),
                (limit, offset)).fetchall()

    def count_published(self):
        with self.lock:
            return self.db.execute("SELECT COUNT(*) FROM posts WHERE published = 1").fetchone()[0]

    def add_media(self, sent_name, mime_type, data):
        """Stores the bytes under a safe, unused name; returns the row."""
        safe = safe_media_name(sent_name)
        digest = hashlib.sha256(data).hexdigest()
        fd, temp = tempfile.mkstemp(dir=self.media_dir, prefix=".upload-")
        try:
            with os.fdopen(fd, "wb") as f:
                f.write(data)
            with self.lock:
                stem, ext = os.path.splitext(safe)
                name, n = safe, 1
                while (self.db.execute("SELECT 1 FROM media WHERE name = ?", (name,)).fetchone()
                       or os.path.lexists(os.path.join(self.media_dir, name))):
                    n += 1
                    name = "%s-%d%s" % (stem, n, ext)
                os.replace(temp, os.path.join(self.media_dir, name))
                temp = None
                cur = self.db.execute(
                    "INSERT INTO media (name, sent_name, type, size, sha256, created)"
                    " VALUES (?, ?, ?, ?, ?, ?)",
                    (name, str(sent_name), mime_type, len(data), digest,
                     _utc_now().strftime("%Y-%m-%dT%H:%M:%SZ")))
                return self.db.execute("SELECT * FROM media WHERE id = ?",
                                       (cur.lastrowid,)).fetchone()
        finally:
            if temp is not None:
                os.unlink(temp)

    def media_by_name(self, name):
        with self.lock:
            return self.db.execute("SELECT * FROM media WHERE name = ?", (name,)).fetchone()

    def all_media(self):
        with self.lock:
            return self.db.execute("SELECT * FROM media ORDER BY id").fetchall()


class _Server(http.server.ThreadingHTTPServer):
    """A threading HTTP server that knows its open connections, so that
    stop() can end them (idle keep-alive ones included) and wait for every
    request thread. With a TLS context, the handshake happens in the
    request's own thread, never in the accepting one."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, handler, ssl_context=None):
        self.ssl_context = ssl_context
        self._closing = False
        self._live = {}
        self._live_lock = threading.Lock()
        self._request_threads = []
        super().__init__(address, handler)

    def process_request(self, request, client_address):
        t = threading.Thread(target=self.process_request_thread,
                             args=(request, client_address), daemon=True)
        with self._live_lock:
            self._request_threads = [x for x in self._request_threads if x.is_alive()]
            self._request_threads.append(t)
        t.start()

    def process_request_thread(self, request, client_address):
        key = object()
        with self._live_lock:
            if self._closing:
                self.shutdown_request(request)
                return
            self._live[key] = request
        try:
            request.settimeout(CONNECTION_TIMEOUT)
            if self.ssl_context is not None:
                try:
                    request = self.ssl_context.wrap_socket(request, server_side=True)
                except (OSError, ValueError):
                    return  # a client that did not trust us, or no TLS at all
                with self._live_lock:
                    self._live[key] = request
            try:
                self.finish_request(request, client_address)
            except Exception:
                self.handle_error(request, client_address)
        finally:
            with self._live_lock:
                self._live.pop(key, None)
            self.shutdown_request(request)

    def handle_error(self, request, client_address):
        kind = sys.exc_info()[0]
        if kind is not None and issubclass(kind, (ConnectionError, TimeoutError, ssl.SSLError)):
            return  # the client went away or gave up: nothing to say
        super().handle_error(request, client_address)

    def stop(self):
        self.shutdown()
        self.server_close()
        with self._live_lock:
            self._closing = True
            live = list(self._live.values())
            threads = list(self._request_threads)
        for sock in live:
            try:
                socket.socket.shutdown(sock, socket.SHUT_RDWR)
            except OSError:
                pass
        for t in threads:
            t.join(10)


def _page(title, body, base):
    """One HTML page of the blog."""
    esc = html.escape
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%s</title>\n"
            "<link rel=\"EditURI\" type=\"application/rsd+xml\" title=\"RSD\" href=\"%s\" />\n"
            "</head>\n<body>\n%s</body>\n</html>\n"
            % (esc(title), esc(base + "/xmlrpc.php?rsd"), body)).encode("utf-8")


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LocalBlog/1.0"
    sys_version = ""

    # Set per listener by LocalBlog: blog, scheme.
    blog = None
    scheme = "http"

    # -- plumbing -----------------------------------------------------------

    def log_message(self, format, *args):
        # The request line and status only: the password travels in the body.
        if self.blog.verbose:
            sys.stderr.write("%s %s\n" % (self.scheme, format % args))
            sys.stderr.flush()

    @property
    def base(self):
        return self.blog.base(self.scheme)

    def _split_target(self):
        """Path and query of the request target; an absolute-form target
        (as a proxy sends it) is reduced to its path here, and only here."""
        target = self.path
        if re.match(r"^[A-Za-z][A-Za-z0-9+.-]*://", target):
            parts = urllib.parse.urlsplit(target)
            target = parts.path or "/"
            if parts.query:
                target += "?" + parts.query
        path, _, query = target.partition("?")
        return path, query, target

    def _send(self, status, content_type, body, headers=()):
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def _send_html(self, status, title, body, headers=()):
        self._send(status, "text/html; charset=UTF-8", _page(title, body, self.base), headers)

    def _send_json(self, status, value):
        self._send(status, "application/json",
                   json.dumps(value, ensure_ascii=False, indent=1).encode("utf-8"))

    def _not_found(self):
        self._send_html(404, "Page not found", "<h1>Not Found</h1>\n<p>Nothing here.</p>\n")

    def _read_body(self):
        """The request body (Content-Length or chunked); None when an error
        answer has been sent instead."""
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            chunks, total = [], 0
            while True:
                line = self.rfile.readline(1024)
                try:
                    size = int(line.split(b";")[0].strip(), 16)
                    if size < 0:
                        raise ValueError
                except ValueError:
                    self.close_connection = True
                    self._send(400, "text/plain", b"bad chunked body\n")
                    return None
                if size == 0:
                    while self.rfile.readline(8192).strip():
                        pass  # trailers
                    return b"".join(chunks)
                total += size
                if total > MAX_BODY:
                    self.close_connection = True
                    self._send(413, "text/plain", b"request too large\n")
                    return None
                chunks.append(self.rfile.read(size))
                self.rfile.readline(16)
        length = self.headers.get("Content-Length")
        if length is None:
            if self.command == "POST":
                self.close_connection = True
                self._send(411, "text/plain", b"Content-Length required\n")
                return None
            return b""
        try:
            n = int(length)
            if n < 0:
                raise ValueError
        except ValueError:
            self.close_connection = True
            self._send(400, "text/plain", b"bad Content-Length\n")
            return None
        if n > MAX_BODY:
            self.close_connection = True
            self._send(413, "text/plain", b"request too large\n")
            return None
        data = self.rfile.read(n)
        if len(data) != n:
            self.close_connection = True
            return None
        return data

    def _record(self):
        headers = {}
        for name, value in self.headers.items():
            if name.lower() in ("authorization", "proxy-authorization"):
                continue
            headers[name] = headers[name] + ", " + value if name in headers else value
        self.blog._record(self.scheme, self.command, self.path, headers)

    # -- entry points -------------------------------------------------------

    def do_GET(self):
        self._handle()

    def do_HEAD(self):
        self._handle()

    def do_POST(self):
        self._handle()

    def do_PUT(self):
        self._handle()

    def do_DELETE(self):
        self._handle()

    def _handle(self):
        path, query, origin_target = self._split_target()
        control = path == "/_control" or path.startswith("/_control/")
        if not control:
            self._record()
        body = self._read_body()
        if body is None:
            return
        if control:
            return self._control(path, query)
        mode = self.blog.mode_obj
        if mode.name == "redirect-https" and self.scheme == "http":
            location = self.blog.base("https") + origin_target
            return self._send_html(301, "Moved Permanently",
                                   "<h1>Moved Permanently</h1>\n<p><a href=\"%s\">%s</a></p>\n"
                                   % (html.escape(location), html.escape(location)),
                                   [("Location", location)])
        if path in XMLRPC_PATHS:
            return self._xmlrpc_endpoint(path, query, body, mode)
        if self.command not in ("GET", "HEAD"):
            return self._send(405, "text/plain", b"Method not allowed\n", [("Allow", "GET, HEAD")])
        if path == "/":
            return self._home_or_post(query)
        if path.startswith("/media/"):
            return self._media(urllib.parse.unquote(path[len("/media/"):]))
        return self._not_found()

    # -- pages ----------------------------------------------------------------

    def _home_or_post(self, query):
        q = urllib.parse.parse_qs(query)
        blog = self.blog
        esc = html.escape
        if "p" in q:
            post_id = _small_int(q["p"][0])
            row = blog.store.post(post_id) if post_id is not None else None
            if row is None or not row["published"]:
                return self._not_found()
            body = ("<header><p><a href=\"%s/\">%s</a></p></header>\n<main>\n%s</main>\n"
                    % (esc(self.base), esc(blog.blog_name), self._article(row, 1)))
            return self._send_html(200, "%s - %s" % (row["title"], blog.blog_name), body)
        page = max(_small_int(q.get("paged", [""])[0]) or 1, 1)
        rows = blog.store.posts(published_only=True, limit=POSTS_PER_PAGE,
                                offset=(page - 1) * POSTS_PER_PAGE)
        parts = ["<header><h1><a href=\"%s/\">%s</a></h1></header>\n<main>\n"
                 % (esc(self.base), esc(blog.blog_name))]
        if not rows:
            parts.append("<p class=\"empty\">No posts yet.</p>\n" if page == 1
                         else "<p class=\"empty\">No older posts.</p>\n")
        parts.extend(self._article(row, 2) for row in rows)
        parts.append("</main>\n")
        if blog.store.count_published() > page * POSTS_PER_PAGE:
            parts.append("<nav><a href=\"%s/?paged=%d\">Older posts</a></nav>\n"
                         % (esc(self.base), page + 1))
        self._send_html(200, blog.blog_name, "".join(parts))

    def _article(self, row, level):
        esc = html.escape
        link = "%s/?p=%d" % (self.base, row["id"])
        return ("<article id=\"post-%d\">\n<h%d class=\"title\"><a href=\"%s\">%s</a></h%d>\n"
                "<p class=\"date\">%s</p>\n<div class=\"entry\">\n%s\n</div>\n</article>\n"
                % (row["id"], level, esc(link), esc(row["title"]), level,
                   esc(row["created"]), row["description"]))

    def _media(self, name):
        row = self.blog.store.media_by_name(name) if name else None
        path = os.path.join(self.blog.store.media_dir, name) if row else None
        try:
            with open(path, "rb") as f:
                data = f.read()
        except (OSError, TypeError):
            return self._not_found()
        self._send(200, row["type"], data, [("X-Content-Type-Options", "nosniff")])

    # -- control ----------------------------------------------------------------

    def _control(self, path, query):
        if self.command not in ("GET", "HEAD"):
            return self._send(405, "text/plain", b"GET only\n", [("Allow", "GET, HEAD")])
        blog = self.blog
        if path == "/_control":
            q = urllib.parse.parse_qs(query)
            if "mode" in q:
                try:
                    blog.set_mode(q["mode"][0])
                except ValueError as e:
                    return self._send_json(400, {"error": str(e)})
            return self._send_json(200, {"mode": blog.mode})
        what = path[len("/_control/"):]
        if what == "posts":
            return self._send_json(200, blog.posts())
        if what == "media":
            return self._send_json(200, blog.media())
        if what == "requests":
            return self._send_json(200, blog._request_records())
        return self._send_json(404, {"error": "unknown control %r" % path})

    # -- XML-RPC ------------------------------------------------------------------

    def _xmlrpc_endpoint(self, path, query, body, mode):
        if mode.name == "http":
            code = mode.value
            reason = http.server.BaseHTTPRequestHandler.responses.get(code, ("Error",))[0]
            extra = [("Allow", "GET, HEAD")] if code == 405 else []
            return self._send_html(code, "%d %s" % (code, reason),
                                   "<h1>%s</h1>\n<p>The server refused this request.</p>\n"
                                   % html.escape(reason), extra)
        if self.command in ("GET", "HEAD"):
            if query == "rsd" or query.startswith("rsd&"):
                return self._send(200, "application/rsd+xml; charset=UTF-8", self._rsd())
            return self._send(405, "text/plain; charset=UTF-8",
                              b"XML-RPC server accepts POST requests only.", [("Allow", "POST")])
        if self.command != "POST":
            return self._send(405, "text/plain; charset=UTF-8",
                              b"XML-RPC server accepts POST requests only.", [("Allow", "POST")])
        if mode.name == "redirect" and path == "/xmlrpc.php":
            location = self.base + "/blog/xmlrpc.php"
            reason = http.server.BaseHTTPRequestHandler.responses.get(mode.value, ("Moved",))[0]
            return self._send_html(mode.value, reason,
                                   "<h1>%s</h1>\n<p><a href=\"%s\">%s</a></p>\n"
                                   % (html.escape(reason), html.escape(location),
                                      html.escape(location)),
                                   [("Location", location)])
        if mode.name == "slow":
            if self.blog._stopping.wait(mode.value):
                self.close_connection = True
                return
        if mode.name == "html":
            return self._send_html(200, "Welcome",
                                   "<h1>Welcome</h1>\n<p>Please complete the check to continue.</p>\n")
        try:
            try:
                params, method = xmlrpc.client.loads(body, use_builtin_types=True)
            except Exception:
                raise _Fault(PARSE_FAULT)
            result = self.blog._call(method, params, self.scheme, mode)
            response = xmlrpc.client.dumps((result,), methodresponse=True, allow_none=True)
        except _Fault as f:
            response = xmlrpc.client.dumps(xmlrpc.client.Fault(f.code, f.text),
                                           methodresponse=True)
        except _Reply as r:
            return self._send(r.status, r.content_type, r.body)
        except _Drop:
            self.close_connection = True
            return
        except Exception:
            # A fault of this server: say so (tracebacks carry no request
            # data) rather than drop the connection, which would look like
            # the newpost-drop mode.
            traceback.print_exc()
            self.close_connection = True
            return self._send(500, "text/plain; charset=UTF-8", b"Internal error of the local blog\n")
        self._send(200, "text/xml; charset=UTF-8", response.encode("utf-8"))

    def _rsd(self):
        esc = html.escape
        api = self.base + "/xmlrpc.php"
        return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<rsd version=\"1.0\" xmlns=\"http://archipelago.phrasewise.com/rsd\">\n"
                "  <service>\n"
                "    <engineName>Local Blog</engineName>\n"
                "    <homePageLink>%s/</homePageLink>\n"
                "    <apis>\n"
                "      <api name=\"MetaWeblog\" blogID=\"1\" preferred=\"true\" apiLink=\"%s\" />\n"
                "      <api name=\"Blogger\" blogID=\"1\" preferred=\"false\" apiLink=\"%s\" />\n"
                "    </apis>\n"
                "  </service>\n"
                "</rsd>\n" % (esc(self.base), esc(api), esc(api))).encode("utf-8")


RecordedRequest = collections.namedtuple("RecordedRequest", "method path headers")


class LocalBlog:
    """The blog: one or two listeners on loopback over one data folder."""

    def __init__(self, data_dir, user, password, blog_name="Local Blog", tls=None,
                 port=0, https_port=0, verbose=False):
        self.data_dir = os.path.abspath(data_dir)
        self.user = user
        self._password = password
        self.blog_name = blog_name
        self.tls = tuple(tls) if tls else None
        self.verbose = verbose
        self._ports = (port, https_port)
        self._mode = parse_mode("none")
        self._mode_lock = threading.Lock()
        self._records = collections.deque(maxlen=REQUEST_RECORD_LIMIT)
        self._records_lock = threading.Lock()
        self._stopping = threading.Event()
        self._servers = {}
        self._threads = []
        self.store = None

    def __repr__(self):
        # Never the password.
        return "LocalBlog(%r, user=%r, url=%r)" % (self.data_dir, self.user, self.url)

    # -- life -----------------------------------------------------------------

    def start(self):
        if self._servers:
            return self
        self._stopping.clear()
        self.store = _Store(self.data_dir)
        try:
            self._listen("http", "127.0.0.1", self._ports[0], None)
            if self.tls:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(self.tls[0], self.tls[1])
                host = socket.getaddrinfo("localhost", None, socket.AF_INET)[0][4][0]
                if not ipaddress.ip_address(host).is_loopback:
                    raise RuntimeError("localhost is not a loopback address here: " + host)
                self._listen("https", host, self._ports[1], context)
        except BaseException:
            self.stop()
            raise
        return self

    def _listen(self, scheme, host, port, context):
        handler = type("Handler_" + scheme, (_Handler,), {"blog": self, "scheme": scheme})
        server = _Server((host, port), handler, context)
        self._servers[scheme] = server
        t = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                             name="localblog-" + scheme, daemon=True)
        t.start()
        self._threads.append(t)

    def stop(self):
        self._stopping.set()
        for server in self._servers.values():
            server.stop()
        for t in self._threads:
            t.join(10)
        self._servers, self._threads = {}, []
        if self.store is not None:
            self.store.close()
            self.store = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    # -- addresses ------------------------------------------------------------

    def base(self, scheme="http"):
        """The home address without its final slash."""
        server = self._servers.get(scheme)
        if server is None:
            return None
        host = "127.0.0.1" if scheme == "http" else "localhost"
        return "%s://%s:%d" % (scheme, host, server.server_address[1])

    @property
    def url(self):
        b = self.base("http")
        return b and b + "/"

    @property
    def https_url(self):
        b = self.base("https")
        return b and b + "/"

    # -- modes ----------------------------------------------------------------

    def set_mode(self, mode):
        parsed = parse_mode(mode)
        if parsed.name == "redirect-https" and not self.tls:
            raise ValueError("redirect-https needs the TLS listener")
        with self._mode_lock:
            self._mode = parsed

    @property
    def mode(self):
        return self._mode.text

    @property
    def mode_obj(self):
        with self._mode_lock:
            return self._mode

    # -- what the tests look at -------------------------------------------------

    def _post_dict(self, row, scheme="http"):
        return {"id": str(row["id"]), "title": row["title"], "description": row["description"],
                "published": bool(row["published"]),
                "link": "%s/?p=%d" % (self.base(scheme) or self.base("http"), row["id"]),
                "created": row["created"], "modified": row["modified"]}

    def posts(self):
        """Every post, drafts included, oldest first."""
        return [self._post_dict(r) for r in self.store.posts(newest_first=False)]

    def media(self):
        """Every stored media file, oldest first."""
        return [{"id": str(r["id"]), "name": r["name"], "sent_name": r["sent_name"],
                 "type": r["type"], "size": r["size"], "sha256": r["sha256"],
                 "path": os.path.join(self.store.media_dir, r["name"]),
                 "url": "%s/media/%s" % (self.base("http"), urllib.parse.quote(r["name"]))}
                for r in self.store.all_media()]

    def _record(self, scheme, method, path, headers):
        with self._records_lock:
            self._records.append((scheme, RecordedRequest(method, path, headers)))

    def requests(self, scheme=None):
        """The requests received, oldest first, as (method, path, headers):
        the path as sent (absolute form included), the headers without any
        Authorization. scheme "http" or "https" keeps one listener's."""
        with self._records_lock:
            return [r for s, r in self._records if scheme is None or s == scheme]

    def clear_requests(self):
        with self._records_lock:
            self._records.clear()

    def _request_records(self):
        with self._records_lock:
            return [{"scheme": s, "method": r.method, "path": r.path, "headers": r.headers}
                    for s, r in self._records]

    # -- the XML-RPC methods ----------------------------------------------------------

    def _call(self, method, params, scheme, mode):
        handlers = {
            "blogger.getUsersBlogs": self._get_users_blogs,
            "metaWeblog.getUsersBlogs": self._get_users_blogs,
            "metaWeblog.newMediaObject": self._new_media_object,
            "metaWeblog.newPost": self._new_post,
            "metaWeblog.getPost": self._get_post,
            "metaWeblog.getRecentPosts": self._get_recent_posts,
            "metaWeblog.editPost": self._edit_post,
            "system.listMethods": None,
        }
        if method not in handlers:
            raise _Fault((-32601, "server error. requested method %s does not exist." % method))
        if method == "system.listMethods":
            return sorted(handlers)
        if method == "metaWeblog.newPost":
            if mode.name == "newpost-lose":
                raise _Drop()
            if mode.name == "newpost-html":
                raise _Reply(200, "text/html; charset=UTF-8",
                             _page("Service unavailable", "<h1>Please try again later</h1>\n",
                                   self.base(scheme)))
            if mode.name == "newpost-malformed":
                raise _Reply(200, "text/xml; charset=UTF-8",
                             b"<?xml version=\"1.0\"?>\n<methodResponse><params><param>"
                             b"<value><string>1</value></param>\n")
            if mode.name == "newpost-fault":
                raise _Fault((500, "Sorry, your entry could not be posted."))
        handler = handlers[method]
        try:
            inspect.signature(handler).bind(scheme, mode, *params)
        except TypeError:
            raise _Fault(PARAMS_FAULT)
        result = handler(scheme, mode, *params)
        if method == "metaWeblog.newPost" and mode.name == "newpost-drop":
            raise _Drop()
        return result

    def _check_login(self, user, password, mode):
        if (mode.name == "refuse-login" or not isinstance(user, str)
                or not isinstance(password, str)
                or user != self.user or password != self._password):
            raise _Fault(AUTH_FAULT)

    @staticmethod
    def _post_id(value):
        post_id = None if isinstance(value, bool) else _small_int(str(value).strip())
        if post_id is None:
            raise _Fault(BAD_POST_FAULT)
        return post_id

    def _post_struct(self, row, scheme):
        link = "%s/?p=%d" % (self.base(scheme), row["id"])
        created = _iso(row["created"])
        return {
            "postid": str(row["id"]),
            "title": row["title"],
            "description": row["description"],
            "link": link,
            "permaLink": link,
            "dateCreated": xmlrpc.client.DateTime(created),
            "date_created_gmt": xmlrpc.client.DateTime(created),
            "date_modified": xmlrpc.client.DateTime(_iso(row["modified"])),
            "userid": "1",
            "post_status": "publish" if row["published"] else "draft",
            "categories": [],
        }

    @staticmethod
    def _content(struct, publish, require):
        if not isinstance(struct, dict):
            raise _Fault(PARAMS_FAULT)
        title, description = struct.get("title"), struct.get("description")
        for v in (title, description):
            if v is not None and not isinstance(v, str):
                raise _Fault(PARAMS_FAULT)
        if require:
            title, description = title or "", description or ""
            if not title and not description:
                raise _Fault((500, "Content, title, and excerpt are empty."))
        status = struct.get("post_status")
        if status in ("publish", "draft", "pending", "private"):
            publish = status == "publish"
        elif publish is not None:
            publish = bool(publish)
        return title, description, publish

    def _get_users_blogs(self, scheme, mode, appkey, user, password):
        self._check_login(user, password, mode)
        return [{"isAdmin": True, "url": self.base(scheme) + "/", "blogid": "1",
                 "blogName": self.blog_name, "xmlrpc": self.base(scheme) + "/xmlrpc.php"}]

    def _new_media_object(self, scheme, mode, blogid, user, password, struct):
        self._check_login(user, password, mode)
        if not isinstance(struct, dict) or not isinstance(struct.get("bits"), bytes):
            raise _Fault(PARAMS_FAULT)
        sent_name = struct.get("name")
        if not isinstance(sent_name, str) or not sent_name.strip():
            raise _Fault((500, "Could not write file (empty name)."))
        ext = os.path.splitext(safe_media_name(sent_name))[1].lower()
        if ext not in MEDIA_EXTENSIONS:
            raise _Fault((401, "Sorry, you are not allowed to upload this file type."))
        mime_type = MEDIA_EXTENSIONS[ext]
        try:
            row = self.store.add_media(sent_name, mime_type, struct["bits"])
        except OSError as e:
            raise _Fault((500, "Could not write file %s (%s)." % (safe_media_name(sent_name),
                                                                   e.strerror or e)))
        url = "%s/media/%s" % (self.base(scheme), urllib.parse.quote(row["name"]))
        return {"id": str(row["id"]), "file": row["name"], "url": url, "type": mime_type}

    def _new_post(self, scheme, mode, blogid, user, password, struct, publish=True):
        self._check_login(user, password, mode)
        title, description, publish = self._content(struct, publish, require=True)
        return str(self.store.add_post(title, description, publish))

    def _get_post(self, scheme, mode, postid, user, password):
        self._check_login(user, password, mode)
        row = self.store.post(self._post_id(postid))
        if row is None:
            raise _Fault(BAD_POST_FAULT)
        return self._post_struct(row, scheme)

    def _get_recent_posts(self, scheme, mode, blogid, user, password, count=10):
        self._check_login(user, password, mode)
        if isinstance(count, bool) or not isinstance(count, int) or count < 0:
            raise _Fault(PARAMS_FAULT)
        return [self._post_struct(r, scheme) for r in self.store.posts(limit=count)]

    def _edit_post(self, scheme, mode, postid, user, password, struct, publish=None):
        self._check_login(user, password, mode)
        post_id = self._post_id(postid)
        title, description, publish = self._content(struct, publish, require=False)
        if not self.store.edit_post(post_id, title, description, publish):
            raise _Fault(BAD_POST_FAULT)
        return True


def _write_ready_file(path, value):
    directory = os.path.dirname(os.path.abspath(path))
    fd, temp = tempfile.mkstemp(dir=directory, prefix=".ready-")
    with os.fdopen(fd, "w") as f:
        json.dump(value, f)
    os.replace(temp, path)


def main(argv=None):
    p = argparse.ArgumentParser(description="A small blog on loopback for trying and testing Velluma.")
    p.add_argument("--port", type=int, default=8080, help="http port (0: a free one)")
    p.add_argument("--data", required=True, metavar="DIR", help="folder for the posts and media")
    p.add_argument("--user", required=True)
    p.add_argument("--password", default=os.environ.get("LOCALBLOG_PASSWORD"),
                   help="the password (default: the environment's LOCALBLOG_PASSWORD)")
    p.add_argument("--blog-name", default="Local Blog")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="also listen for https")
    p.add_argument("--https-port", type=int, default=0, help="https port (0: a free one)")
    p.add_argument("--ready-file", metavar="FILE",
                   help="write {\"http\": URL, \"https\": URL or null} here once listening")
    p.add_argument("--mode", default="none", help="misbehaviour to start with: " + ", ".join(MODES))
    p.add_argument("--verbose", action="store_true", help="log each request line to stderr")
    args = p.parse_args(argv)

    if args.password is None:
        p.error("--password (or LOCALBLOG_PASSWORD) is needed")
    try:
        parse_mode(args.mode)
    except ValueError as e:
        p.error(str(e))
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    blog = LocalBlog(args.data, args.user, args.password, args.blog_name, tls=args.tls,
                     port=args.port, https_port=args.https_port, verbose=args.verbose)
    try:
        blog.start()
        blog.set_mode(args.mode)
    except (OSError, ValueError, ssl.SSLError) as e:
        blog.stop()
        sys.stderr.write("localblog: %s\n" % e)
        return 1
    try:
        print("Local blog at %s" % blog.url, flush=True)
        if blog.https_url:
            print("Local blog (TLS) at %s" % blog.https_url, flush=True)
        if args.ready_file:
            _write_ready_file(args.ready_file, {"http": blog.url, "https": blog.https_url})
        while not stop.wait(0.5):
            pass
    finally:
        blog.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
