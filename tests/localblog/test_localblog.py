"""Tests of the local blog (tools/localblog): its XML-RPC methods, pages,
media, misbehaviour modes, TLS, redirects, the test proxy and the command
line. Every server is started on free loopback ports and stopped again."""

import hashlib
import html.parser
import http.client
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import xml.etree.ElementTree as ET
import xmlrpc.client

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.normpath(os.path.join(HERE, "..", "..", "tools", "localblog"))
sys.path.insert(0, TOOLS)

from localblog import LocalBlog  # noqa: E402
from test_proxy import TestProxy  # noqa: E402

USER, PASSWORD = "ann", "s3cret-Pässword"
BLOG_NAME = "Ann's <Blog> & \"Notes\" — café 日本"
AUTH_FAULT = (403, "Incorrect username or password.")

CERT_DIR = None


def setUpModule():
    global CERT_DIR
    CERT_DIR = tempfile.mkdtemp(prefix="localblog-cert-")
    subprocess.run([os.path.join(TOOLS, "make_cert.sh"), CERT_DIR], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tearDownModule():
    shutil.rmtree(CERT_DIR, ignore_errors=True)


def cert_paths():
    return os.path.join(CERT_DIR, "cert.pem"), os.path.join(CERT_DIR, "key.pem")


def trusting_context():
    return ssl.create_default_context(cafile=cert_paths()[0])


def host_port(url):
    parts = urllib.parse.urlsplit(url)
    return parts.hostname, parts.port


def call_body(method, *params):
    return xmlrpc.client.dumps(params, method, allow_none=True).encode("utf-8")


def raw_request(url, method="GET", body=None, headers=None, target=None, timeout=30,
                context=None):
    """One request on a fresh connection: (status, headers, body)."""
    host, port = host_port(url)
    if url.startswith("https:"):
        conn = http.client.HTTPSConnection(host, port, timeout=timeout, context=context)
    else:
        conn = http.client.HTTPConnection(host, port, timeout=timeout)
    try:
        path = target or (urllib.parse.urlsplit(url).path or "/")
        q = urllib.parse.urlsplit(url).query
        if q and not target:
            path += "?" + q
        conn.request(method, path, body=body, headers=headers or {})
        r = conn.getresponse()
        return r.status, r.headers, r.read()
    finally:
        conn.close()


def bytes_received(url, body):
    """Sends one POST on a raw socket and returns every byte the server sent
    back before closing the connection."""
    host, port = host_port(url)
    with socket.create_connection((host, port), timeout=30) as s:
        s.sendall(b"POST /xmlrpc.php HTTP/1.1\r\nHost: %s:%d\r\nContent-Type: text/xml\r\n"
                  b"Content-Length: %d\r\n\r\n" % (host.encode(), port, len(body)) + body)
        got = b""
        while True:
            data = s.recv(65536)
            if not data:
                return got
            got += data


class _Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links, self.images = [], []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "link":
            self.links.append(a)
        if tag == "img":
            self.images.append(a.get("src"))


class _ImpatientTransport(xmlrpc.client.Transport):
    def make_connection(self, host):
        conn = super().make_connection(host)
        conn.timeout = 0.5
        return conn


class BlogCase(unittest.TestCase):
    tls = False

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="localblog-test-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.data = os.path.join(self.tmp, "data")
        self.blog = LocalBlog(self.data, USER, PASSWORD, blog_name=BLOG_NAME,
                              tls=cert_paths() if self.tls else None).start()
        self.addCleanup(self.blog.stop)
        self.rpc = self.proxy_for(self.blog.url)

    def proxy_for(self, url, **kw):
        p = xmlrpc.client.ServerProxy(url + "xmlrpc.php", allow_none=True, **kw)
        self.addCleanup(p("close"))
        return p

    def new_post(self, title, body="<p>body</p>", publish=True, rpc=None):
        return (rpc or self.rpc).metaWeblog.newPost("1", USER, PASSWORD,
                                                    {"title": title, "description": body},
                                                    publish)

    def upload(self, name, data, rpc=None):
        return (rpc or self.rpc).metaWeblog.newMediaObject(
            "1", USER, PASSWORD, {"name": name, "type": "image/png",
                                  "bits": xmlrpc.client.Binary(data)})

    def assertFault(self, fault, call, *args):
        with self.assertRaises(xmlrpc.client.Fault) as cm:
            call(*args)
        self.assertEqual((cm.exception.faultCode, cm.exception.faultString), fault)


class MethodTests(BlogCase):
    def test_users_blogs_names_the_one_blog_exactly(self):
        blogs = self.rpc.blogger.getUsersBlogs("", USER, PASSWORD)
        self.assertEqual(len(blogs), 1)
        self.assertEqual(blogs[0]["blogid"], "1")
        self.assertEqual(blogs[0]["blogName"], BLOG_NAME)
        self.assertEqual(blogs[0]["url"], self.blog.url)
        self.assertTrue(self.blog.url.startswith("http://127.0.0.1:"))

    def test_post_round_trip(self):
        title = "Größe <&> \"quoted\" 'single' ✓"
        body = '<p>Hello <b>bold</b> &amp; 100&#37;</p><a href="%s"><img src="%s"></a>'
        post_id = self.new_post(title, body)
        self.assertIsInstance(post_id, str)
        got = self.rpc.metaWeblog.getPost(post_id, USER, PASSWORD)
        self.assertEqual(got["postid"], post_id)
        self.assertEqual(got["title"], title)
        self.assertEqual(got["description"], body)
        self.assertEqual(got["link"], self.blog.url + "?p=" + post_id)
        self.assertEqual(got["permaLink"], got["link"])
        self.assertEqual(got["post_status"], "publish")
        [stored] = self.blog.posts()
        self.assertEqual((stored["id"], stored["title"], stored["description"],
                          stored["published"], stored["link"]),
                         (post_id, title, body, True, got["link"]))

    def test_recent_posts_newest_first_with_drafts_and_count(self):
        ids = [self.new_post("post %d" % i, publish=i % 2 == 0) for i in range(6)]
        recent = self.rpc.metaWeblog.getRecentPosts("1", USER, PASSWORD, 4)
        self.assertEqual([p["postid"] for p in recent], ids[::-1][:4])
        self.assertEqual([p["post_status"] for p in recent], ["draft", "publish"] * 2)
        self.assertEqual(len(self.rpc.metaWeblog.getRecentPosts("1", USER, PASSWORD, 100)), 6)
        self.assertEqual(self.rpc.metaWeblog.getRecentPosts("1", USER, PASSWORD, 0), [])

    def test_edit_post(self):
        post_id = self.new_post("first title", "<p>kept</p>", publish=False)
        self.assertIs(self.rpc.metaWeblog.editPost(post_id, USER, PASSWORD,
                                                   {"title": "second title"}, True), True)
        got = self.rpc.metaWeblog.getPost(post_id, USER, PASSWORD)
        self.assertEqual((got["title"], got["description"], got["post_status"]),
                         ("second title", "<p>kept</p>", "publish"))
        self.assertIn(b"second title", raw_request(self.blog.url)[2])

    def test_media_stored_and_served_byte_for_byte(self):
        data = os.urandom(300000) + b"\x00\r\n\x1a"
        first = self.upload("shot 1.png", data)
        self.assertEqual(first["file"], "shot_1.png")
        self.assertEqual(first["url"], self.blog.url + "media/shot_1.png")
        status, headers, served = raw_request(first["url"])
        self.assertEqual((status, headers["Content-Type"]), (200, "image/png"))
        self.assertEqual(served, data)
        # The same name again is a second file, not an overwrite.
        second = self.upload("shot 1.png", b"other")
        self.assertNotEqual(second["file"], first["file"])
        self.assertNotEqual(second["id"], first["id"])
        self.assertEqual(raw_request(second["url"])[2], b"other")
        self.assertEqual(raw_request(first["url"])[2], data)
        m = self.blog.media()[0]
        self.assertEqual((m["name"], m["type"], m["size"], m["sha256"]),
                         ("shot_1.png", "image/png", len(data), hashlib.sha256(data).hexdigest()))
        with open(m["path"], "rb") as f:
            self.assertEqual(f.read(), data)
        for name, mime in (("a.jpg", "image/jpeg"), ("b.GIF", "image/gif"),
                           ("c.tiff", "image/tiff"), ("d.bmp", "image/bmp")):
            self.assertEqual(raw_request(self.upload(name, b"x")["url"])[1]["Content-Type"], mime)

    def test_wrong_log_in_is_fault_403_for_every_method(self):
        post_id = self.new_post("existing")
        m = self.rpc.metaWeblog
        for user, password in ((USER, "wrong"), ("bob", PASSWORD), (USER, ""),
                               (USER, PASSWORD.upper())):
            calls = [
                (self.rpc.blogger.getUsersBlogs, ("", user, password)),
                (m.newMediaObject, ("1", user, password,
                                    {"name": "x.png", "type": "image/png",
                                     "bits": xmlrpc.client.Binary(b"x")})),
                (m.newPost, ("1", user, password, {"title": "t", "description": "d"}, True)),
                (m.getPost, (post_id, user, password)),
                (m.getPost, ("999", user, password)),
                (m.getRecentPosts, ("1", user, password, 10)),
                (m.editPost, (post_id, user, password, {"title": "changed"}, True)),
            ]
            for call, args in calls:
                with self.subTest(user=user, password=password, args=args[:1]):
                    self.assertFault(AUTH_FAULT, call, *args)
        self.assertEqual([p["title"] for p in self.blog.posts()], ["existing"])
        self.assertEqual(self.blog.media(), [])

    def test_unknown_post_is_fault_404(self):
        self.new_post("one")
        for post_id in ("999", "0", "abc", "", "1; DROP TABLE posts", "99999999999999999999999"):
            with self.subTest(post_id=post_id):
                self.assertFault((404, "Invalid post ID."),
                                 self.rpc.metaWeblog.getPost, post_id, USER, PASSWORD)
                self.assertFault((404, "Invalid post ID."), self.rpc.metaWeblog.editPost,
                                 post_id, USER, PASSWORD, {"title": "x"}, True)
        self.assertEqual(len(self.blog.posts()), 1)

    def test_unknown_method_bad_parameters_and_bad_xml(self):
        with self.assertRaises(xmlrpc.client.Fault) as cm:
            self.rpc.wp.deleteEverything("1", USER, PASSWORD)
        self.assertEqual(cm.exception.faultCode, -32601)
        with self.assertRaises(xmlrpc.client.Fault) as cm:
            self.rpc.metaWeblog.getPost("1")
        self.assertEqual(cm.exception.faultCode, -32602)
        with self.assertRaises(xmlrpc.client.Fault) as cm:
            self.rpc.metaWeblog.newMediaObject("1", USER, PASSWORD,
                                               {"name": "a.png", "bits": "not base64"})
        self.assertEqual(cm.exception.faultCode, -32602)
        status, headers, body = raw_request(self.blog.url + "xmlrpc.php", "POST",
                                            b"<methodCall><methodName>x</methodName>")
        self.assertEqual(status, 200)
        with self.assertRaises(xmlrpc.client.Fault) as cm:
            xmlrpc.client.loads(body)
        self.assertEqual(cm.exception.faultCode, -32700)
        # A GET of the endpoint is not XML-RPC.
        self.assertEqual(raw_request(self.blog.url + "xmlrpc.php")[0], 405)

    def test_file_types_other_than_images_are_refused(self):
        for name in ("page.html", "run.php", "noextension", "image.png.exe"):
            with self.subTest(name=name):
                self.assertFault((401, "Sorry, you are not allowed to upload this file type."),
                                 self.upload, name, b"<script>alert(1)</script>")
        self.assertEqual(self.blog.media(), [])

    def test_parallel_clients(self):
        errors, ids = [], []

        def worker(n):
            try:
                rpc = xmlrpc.client.ServerProxy(self.blog.url + "xmlrpc.php")
                for i in range(8):
                    url = self.upload("w%d-%d.png" % (n, i), b"%d-%d" % (n, i), rpc=rpc)["url"]
                    ids.append(self.new_post("w%d-%d" % (n, i), '<img src="%s">' % url, rpc=rpc))
                rpc("close")()
            except Exception as e:  # reported below
                errors.append(e)

        threads = [threading.Thread(target=worker, args=(n,)) for n in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        self.assertEqual(errors, [])
        self.assertEqual(len(set(ids)), 48)
        self.assertEqual(sorted(p["title"] for p in self.blog.posts()),
                         sorted("w%d-%d" % (n, i) for n in range(6) for i in range(8)))
        for m in self.blog.media():
            with open(m["path"], "rb") as f:
                self.assertEqual(f.read(), m["name"][1:-4].encode())

    def test_restart_keeps_posts_and_media(self):
        url = self.upload("kept.png", b"kept bytes")["url"]
        post_id = self.new_post("kept", '<img src="%s">' % url)
        self.blog.stop()
        with LocalBlog(self.data, USER, PASSWORD) as again:
            rpc = self.proxy_for(again.url)
            self.assertEqual(rpc.metaWeblog.getPost(post_id, USER, PASSWORD)["title"], "kept")
            self.assertEqual(raw_request(again.url + "media/kept.png")[2], b"kept bytes")
            self.assertNotEqual(self.new_post("next", rpc=rpc), post_id)


class MediaNameTests(BlogCase):
    def test_names_cannot_leave_the_media_folder(self):
        media_dir = os.path.join(self.data, "media")
        names = ["../../evil.png", "..\\..\\evil.png", "C:\\Windows\\evil.png", "C:evil.png",
                 "/etc/evil.png", "media/../../evil.png", "....//evil.png", "../.hidden.png",
                 "a b\tc.png", "%2e%2e%2fevil.png", "\u202eevil.png", "日本.png"]
        for name in names:
            with self.subTest(name=name):
                r = self.upload(name, name.encode("utf-8", "replace"))
                stored = r["file"]
                self.assertNotIn("/", stored)
                self.assertNotIn("\\", stored)
                self.assertFalse(stored.startswith("."))
                self.assertTrue(stored.endswith(".png"))
                path = os.path.realpath(os.path.join(media_dir, stored))
                self.assertEqual(os.path.dirname(path), os.path.realpath(media_dir))
                self.assertEqual(raw_request(r["url"])[2], name.encode("utf-8", "replace"))
        # Nothing landed beside the media folder, in the data folder or above.
        self.assertEqual(sorted(os.listdir(self.tmp)), ["data"])
        self.assertEqual(sorted(os.listdir(self.data)), ["blog.sqlite3", "media"])
        self.assertEqual(len(os.listdir(media_dir)), len(names))

    def test_media_paths_outside_the_store_are_not_served(self):
        self.upload("real.png", b"real")
        for target in ("/media/../blog.sqlite3", "/media/..%2Fblog.sqlite3", "/media/",
                       "/media/%2e%2e/blog.sqlite3", "/media/missing.png", "/media/REAL.PNG",
                       "/blog.sqlite3", "/media/real.png/"):
            with self.subTest(target=target):
                status, _, body = raw_request(self.blog.url, target=target)
                self.assertEqual(status, 404)
                self.assertNotIn(b"SQLite", body)


class PageTests(BlogCase):
    def test_home_shows_published_posts_newest_first_and_no_drafts(self):
        a = self.new_post("Alpha post")
        d = self.new_post("Draft post", "<p>secret draft text</p>", publish=False)
        c = self.new_post("Gamma post")
        status, headers, body = raw_request(self.blog.url)
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "text/html; charset=UTF-8")
        page = body.decode("utf-8")
        self.assertLess(page.index("Gamma post"), page.index("Alpha post"))
        self.assertNotIn("Draft post", page)
        self.assertNotIn("secret draft text", page)
        self.assertIn("Ann&#x27;s &lt;Blog&gt; &amp; &quot;Notes&quot; — café 日本", page)
        self.assertEqual(raw_request(self.blog.url + "?p=" + d)[0], 404)
        self.assertEqual(raw_request(self.blog.url + "?p=" + a)[0], 200)
        self.assertEqual(raw_request(self.blog.url + "?p=" + c)[0], 200)
        for target in ("/?p=999", "/?p=abc", "/nothing", "/index.html"):
            self.assertEqual(raw_request(self.blog.url, target=target)[0], 404, target)

    def test_title_escaped_body_shown_as_html(self):
        title = '<script>alert("t")</script> & Co'
        post_id = self.new_post(title, "<p>Some <b>bold</b> text</p>")
        for url in (self.blog.url, self.blog.url + "?p=" + post_id):
            page = raw_request(url)[2].decode("utf-8")
            self.assertNotIn("<script>", page)
            self.assertIn("&lt;script&gt;alert(&quot;t&quot;)&lt;/script&gt; &amp; Co", page)
            self.assertIn("<p>Some <b>bold</b> text</p>", page)

    def test_post_page_shows_its_image(self):
        image = os.urandom(5000)
        url = self.upload("capture.png", image)["url"]
        post_id = self.new_post("With image", '<a href="%s"><img src="%s" /></a>' % (url, url))
        parser = _Links()
        parser.feed(raw_request(self.blog.url + "?p=" + post_id)[2].decode("utf-8"))
        self.assertEqual(parser.images, [url])
        self.assertEqual(raw_request(parser.images[0])[2], image)

    def test_discovery_from_the_home_page(self):
        parser = _Links()
        parser.feed(raw_request(self.blog.url)[2].decode("utf-8"))
        [edit] = [a for a in parser.links if a.get("rel") == "EditURI"]
        self.assertEqual(edit["type"], "application/rsd+xml")
        self.assertEqual(edit["href"], self.blog.url + "xmlrpc.php?rsd")
        status, headers, rsd = raw_request(edit["href"])
        self.assertEqual(status, 200)
        self.assertTrue(headers["Content-Type"].startswith("application/rsd+xml"))
        ns = {"r": "http://archipelago.phrasewise.com/rsd"}
        api = ET.fromstring(rsd).find(".//r:api[@name='MetaWeblog']", ns)
        self.assertEqual(api.get("apiLink"), self.blog.url + "xmlrpc.php")
        self.assertEqual(api.get("blogID"), "1")

    def test_home_page_pages(self):
        for i in range(23):
            self.new_post("numbered %02d" % i)
        first = raw_request(self.blog.url)[2].decode()
        second = raw_request(self.blog.url + "?paged=2")[2].decode()
        self.assertEqual(first.count("<article"), 20)
        self.assertIn("numbered 22", first)
        self.assertNotIn("numbered 02", first)
        self.assertIn("?paged=2", first)
        self.assertEqual(second.count("<article"), 3)
        self.assertIn("numbered 00", second)


class ModeTests(BlogCase):
    def test_refuse_login(self):
        self.blog.set_mode("refuse-login")
        self.assertFault(AUTH_FAULT, self.rpc.blogger.getUsersBlogs, "", USER, PASSWORD)
        self.assertFault(AUTH_FAULT, self.new_post, "refused")
        self.assertEqual(self.blog.posts(), [])
        self.blog.set_mode("none")
        self.assertEqual(len(self.rpc.blogger.getUsersBlogs("", USER, PASSWORD)), 1)

    def test_http_status_modes_answer_html(self):
        for code in (403, 404, 405, 500):
            with self.subTest(code=code):
                self.blog.set_mode("http:%d" % code)
                with self.assertRaises(xmlrpc.client.ProtocolError) as cm:
                    self.rpc.blogger.getUsersBlogs("", USER, PASSWORD)
                self.assertEqual(cm.exception.errcode, code)
                status, headers, body = raw_request(
                    self.blog.url + "xmlrpc.php", "POST", call_body("metaWeblog.newPost", "1", USER,
                                                                    PASSWORD, {"title": "t"}, True))
                self.assertEqual(status, code)
                self.assertTrue(headers["Content-Type"].startswith("text/html"))
                self.assertIn(b"<html", body)
        self.assertEqual(self.blog.posts(), [])
        # The pages are not the endpoint.
        self.assertEqual(raw_request(self.blog.url)[0], 200)

    def test_html_mode(self):
        self.blog.set_mode("html")
        status, headers, body = raw_request(self.blog.url + "xmlrpc.php", "POST",
                                            call_body("blogger.getUsersBlogs", "", USER, PASSWORD))
        self.assertEqual(status, 200)
        self.assertTrue(headers["Content-Type"].startswith("text/html"))
        self.assertIn(b"<html", body)
        with self.assertRaises(Exception):
            xmlrpc.client.loads(body)

    def test_newpost_modes_spoil_only_newpost(self):
        post = call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                         {"title": "t", "description": "d"}, True)
        for mode, content_type in (("newpost-html", "text/html"), ("newpost-malformed", "text/xml"),
                                   ("newpost-fault", "text/xml")):
            with self.subTest(mode=mode):
                self.blog.set_mode(mode)
                status, headers, body = raw_request(self.blog.url + "xmlrpc.php", "POST", post)
                self.assertEqual(status, 200)
                self.assertTrue(headers["Content-Type"].startswith(content_type))
                if mode == "newpost-fault":
                    with self.assertRaises(xmlrpc.client.Fault) as cm:
                        xmlrpc.client.loads(body)
                    self.assertEqual(cm.exception.faultCode, 500)
                else:
                    with self.assertRaises(Exception) as cm:
                        xmlrpc.client.loads(body)
                    self.assertNotIsInstance(cm.exception, xmlrpc.client.Fault)
                self.assertEqual(len(self.rpc.blogger.getUsersBlogs("", USER, PASSWORD)), 1)
                self.assertEqual(self.upload("ok.png", b"ok")["file"][:2], "ok")
                self.assertEqual(self.rpc.metaWeblog.getRecentPosts("1", USER, PASSWORD, 5), [])
        self.assertEqual(self.blog.posts(), [])

    def test_newpost_drop_stores_the_post_and_sends_nothing(self):
        self.blog.set_mode("newpost-drop")
        body = call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                         {"title": "dropped reply", "description": "<p>d</p>"}, True)
        self.assertEqual(bytes_received(self.blog.url, body), b"")
        [stored] = self.blog.posts()
        self.assertEqual((stored["title"], stored["published"]), ("dropped reply", True))
        # The lost post can be found again, as the library does.
        [recent] = self.rpc.metaWeblog.getRecentPosts("1", USER, PASSWORD, 5)
        self.assertEqual(recent["title"], "dropped reply")
        # A newPost that fails still answers its fault.
        self.assertFault(AUTH_FAULT, self.rpc.metaWeblog.newPost, "1", USER, "bad",
                         {"title": "x", "description": "y"}, True)
        # On a kept-alive connection too (with http.client: xmlrpc.client
        # would send the post again on its own).
        conn = http.client.HTTPConnection(*host_port(self.blog.url), timeout=30)
        self.addCleanup(conn.close)
        conn.request("POST", "/xmlrpc.php", call_body("blogger.getUsersBlogs", "", USER, PASSWORD))
        self.assertEqual(conn.getresponse().read().count(b"<name>blogid</name>"), 1)
        conn.request("POST", "/xmlrpc.php", call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                                                      {"title": "second"}, False))
        with self.assertRaises(http.client.RemoteDisconnected):
            conn.getresponse()
        self.assertEqual([(p["title"], p["published"]) for p in self.blog.posts()],
                         [("dropped reply", True), ("second", False)])

    def test_newpost_lose_stores_nothing_and_sends_nothing(self):
        self.blog.set_mode("newpost-lose")
        body = call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                         {"title": "lost", "description": "d"}, True)
        self.assertEqual(bytes_received(self.blog.url, body), b"")
        self.assertEqual(self.blog.posts(), [])
        self.assertEqual(len(self.rpc.blogger.getUsersBlogs("", USER, PASSWORD)), 1)

    def test_slow_mode_delays_xmlrpc_but_not_control(self):
        self.blog.set_mode("slow:0.4")
        started = time.monotonic()
        self.assertEqual(len(self.rpc.blogger.getUsersBlogs("", USER, PASSWORD)), 1)
        self.assertGreaterEqual(time.monotonic() - started, 0.4)

        self.blog.set_mode("slow:60")
        impatient = xmlrpc.client.ServerProxy(self.blog.url + "xmlrpc.php",
                                              transport=_ImpatientTransport())
        self.addCleanup(impatient("close"))
        with self.assertRaises(TimeoutError):
            impatient.blogger.getUsersBlogs("", USER, PASSWORD)
        # Requests sleeping on the server (that one, and one whose client
        # waits) hold up neither the control channel nor stop().
        seen = len(self.blog.requests())
        answer = []
        waiting = threading.Thread(target=lambda: answer.append(bytes_received(
            self.blog.url, call_body("blogger.getUsersBlogs", "", USER, PASSWORD))))
        waiting.start()
        deadline = time.monotonic() + 30
        while len(self.blog.requests()) == seen and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertEqual(len(self.blog.requests()), seen + 1)
        status, _, body = raw_request(self.blog.url + "_control", timeout=10)
        self.assertEqual((status, json.loads(body)), (200, {"mode": "slow:60"}))
        started = time.monotonic()
        self.blog.stop()
        self.assertLess(time.monotonic() - started, 20)
        waiting.join(20)
        self.assertEqual(answer, [b""])

    def test_control_over_http(self):
        control = self.blog.url + "_control"
        status, _, body = raw_request(control + "?mode=refuse-login")
        self.assertEqual((status, json.loads(body)), (200, {"mode": "refuse-login"}))
        self.assertFault(AUTH_FAULT, self.rpc.blogger.getUsersBlogs, "", USER, PASSWORD)
        for bad in ("bogus", "slow:abc", "slow:-1", "http:418", "redirect:300", "redirect-https"):
            with self.subTest(mode=bad):
                status, _, body = raw_request(control + "?mode=" + urllib.parse.quote(bad))
                self.assertEqual(status, 400)
                self.assertIn("error", json.loads(body))
                with self.assertRaises(ValueError):
                    self.blog.set_mode(bad)
        self.assertEqual(self.blog.mode, "refuse-login")
        raw_request(control + "?mode=none")
        self.upload("c.png", b"c")
        self.new_post("controlled", publish=False)
        posts = json.loads(raw_request(control + "/posts")[2])
        self.assertEqual([(p["title"], p["published"]) for p in posts], [("controlled", False)])
        self.assertEqual(json.loads(raw_request(control + "/media")[2])[0]["name"], "c.png")
        records = json.loads(raw_request(control + "/requests")[2])
        # The blog's traffic is recorded; the control channel's own is not.
        self.assertEqual([(r["method"], r["path"]) for r in records], [("POST", "/xmlrpc.php")] * 3)

    def test_redirect_modes(self):
        for code in (301, 302, 303, 307, 308):
            with self.subTest(code=code):
                self.blog.set_mode("redirect:%d" % code)
                self.blog.clear_requests()
                post = call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                                 {"title": "via %d" % code, "description": "d"}, True)
                status, headers, _ = raw_request(self.blog.url + "xmlrpc.php", "POST", post)
                self.assertEqual(status, code)
                self.assertEqual(headers["Location"], self.blog.url + "blog/xmlrpc.php")
                self.assertNotIn("via %d" % code, [p["title"] for p in self.blog.posts()])
                status, _, body = raw_request(headers["Location"], "POST", post)
                self.assertEqual(status, 200)
                (post_id,), _ = xmlrpc.client.loads(body)
                self.assertEqual(self.blog.posts()[-1]["title"], "via %d" % code)
                self.assertEqual([(m, p) for m, p, _ in self.blog.requests()],
                                 [("POST", "/xmlrpc.php"), ("POST", "/blog/xmlrpc.php")])

    def test_requests_recorded_as_sent_without_credentials(self):
        target = "http://127.0.0.1:%d/?p=1" % host_port(self.blog.url)[1]
        raw_request(self.blog.url, target=target,
                    headers={"Authorization": "Basic YW5uOnNlY3JldA==", "X-Probe": "1",
                             "Proxy-Authorization": "Basic eHg6eXk="})
        method, path, headers = self.blog.requests()[-1]
        self.assertEqual((method, path, headers["X-Probe"]), ("GET", target, "1"))
        self.assertFalse({"authorization", "proxy-authorization"} & {h.lower() for h in headers})
        # An absolute-form request is served like its origin-form path.
        post_id = self.new_post("absolute")
        status, _, body = raw_request(self.blog.url, target="http://127.0.0.1:%d/?p=%s"
                                      % (host_port(self.blog.url)[1], post_id))
        self.assertEqual(status, 200)
        self.assertIn(b"absolute", body)
        # The password, sent in every XML-RPC body, is in no record.
        self.assertNotIn(PASSWORD, json.dumps(self.blog._request_records(), ensure_ascii=False))


class TlsTests(BlogCase):
    tls = True

    def test_https_with_a_trusted_certificate(self):
        self.assertTrue(self.blog.https_url.startswith("https://localhost:"))
        rpc = self.proxy_for(self.blog.https_url, context=trusting_context())
        self.assertEqual(rpc.blogger.getUsersBlogs("", USER, PASSWORD)[0]["url"],
                         self.blog.https_url)
        image = os.urandom(70000)
        url = self.upload("tls.png", image, rpc=rpc)["url"]
        self.assertTrue(url.startswith(self.blog.https_url))
        post_id = self.new_post("over tls", '<img src="%s">' % url, rpc=rpc)
        got = rpc.metaWeblog.getPost(post_id, USER, PASSWORD)
        self.assertEqual(got["link"], self.blog.https_url + "?p=" + post_id)
        self.assertEqual(raw_request(url, context=trusting_context())[2], image)
        # The http listener goes on beside it, over the same store.
        self.assertEqual(self.rpc.metaWeblog.getPost(post_id, USER, PASSWORD)["link"],
                         self.blog.url + "?p=" + post_id)

    def test_untrusted_certificate_is_refused_and_the_server_goes_on(self):
        with self.assertRaises(ssl.SSLCertVerificationError):
            raw_request(self.blog.https_url, context=ssl.create_default_context())
        # A client that is no TLS client at all.
        host, port = host_port(self.blog.https_url)
        with socket.create_connection((host, port), timeout=10) as s:
            s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n\r\n")
            try:
                self.assertNotIn(b"HTTP/1.1", s.recv(100))
            except ConnectionResetError:
                pass  # dropped with the request unread
        self.assertEqual(raw_request(self.blog.https_url, context=trusting_context())[0], 200)

    def test_certificate_files(self):
        with open(os.path.join(CERT_DIR, "cert.pem")) as f:
            pem = f.read()
        with open(os.path.join(CERT_DIR, "cert.der"), "rb") as f:
            self.assertEqual(f.read(), ssl.PEM_cert_to_DER_cert(pem))
        host, port = host_port(self.blog.https_url)
        with trusting_context().wrap_socket(socket.create_connection((host, port), timeout=10),
                                            server_hostname="localhost") as s:
            cert = s.getpeercert()
        self.assertEqual(cert["subject"], ((("commonName", "localhost"),),))
        self.assertEqual(cert["subjectAltName"], (("DNS", "localhost"),))
        lifetime = ssl.cert_time_to_seconds(cert["notAfter"]) - time.time()
        self.assertTrue(86400 < lifetime <= 2 * 86400 + 60, lifetime)

    def test_redirect_https(self):
        self.blog.set_mode("redirect-https")
        status, headers, _ = raw_request(self.blog.url)
        self.assertEqual((status, headers["Location"]), (301, self.blog.https_url))
        post = call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                         {"title": "moved", "description": "d"}, True)
        status, headers, _ = raw_request(self.blog.url + "xmlrpc.php", "POST", post)
        self.assertEqual((status, headers["Location"]), (301, self.blog.https_url + "xmlrpc.php"))
        self.assertEqual(raw_request(self.blog.url + "media/x.png?a=1")[1]["Location"],
                         self.blog.https_url + "media/x.png?a=1")
        self.assertEqual(self.blog.posts(), [])
        status, _, body = raw_request(headers["Location"], "POST", post,
                                      context=trusting_context())
        self.assertEqual(status, 200)
        self.assertEqual([p["title"] for p in self.blog.posts()], ["moved"])
        self.assertEqual([(m, p) for m, p, _ in self.blog.requests(scheme="https")],
                         [("POST", "/xmlrpc.php")])
        self.assertEqual(len(self.blog.requests(scheme="http")), 3)
        # The control channel is never redirected.
        self.assertEqual(raw_request(self.blog.url + "_control")[0], 200)


class ProxyTests(BlogCase):
    tls = True

    def setUp(self):
        super().setUp()
        self.proxy = TestProxy().start()
        self.addCleanup(self.proxy.stop)
        self.proxy_host, self.proxy_port = self.proxy.address.split(":")

    def test_absolute_form_requests_are_forwarded_with_their_bodies(self):
        image = os.urandom(2 * 1024 * 1024)
        body = call_body("metaWeblog.newMediaObject", "1", USER, PASSWORD,
                         {"name": "proxied.png", "type": "image/png",
                          "bits": xmlrpc.client.Binary(image)})
        target = self.blog.url + "xmlrpc.php"
        conn = http.client.HTTPConnection(self.proxy_host, int(self.proxy_port), timeout=60)
        self.addCleanup(conn.close)
        conn.request("POST", target, body=body, headers={"Content-Type": "text/xml"})
        r = conn.getresponse()
        (media,), _ = xmlrpc.client.loads(r.read())
        self.assertEqual(r.status, 200)
        self.assertEqual(raw_request(media["url"])[2], image)
        self.assertEqual(self.proxy.records(), ["POST %s HTTP/1.1" % target])
        self.assertEqual(self.blog.requests()[0][:2], ("POST", "/xmlrpc.php"))

        # A chunked body is relayed as well.
        def pieces():
            yield call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                            {"title": "chunked", "description": "d" * 100000}, True)[:5000]
            yield call_body("metaWeblog.newPost", "1", USER, PASSWORD,
                            {"title": "chunked", "description": "d" * 100000}, True)[5000:]
        conn = http.client.HTTPConnection(self.proxy_host, int(self.proxy_port), timeout=60)
        self.addCleanup(conn.close)
        conn.request("POST", target, body=pieces(), encode_chunked=True,
                     headers={"Content-Type": "text/xml", "Transfer-Encoding": "chunked"})
        r = conn.getresponse()
        self.assertEqual(r.status, 200)
        xmlrpc.client.loads(r.read())
        self.assertEqual(self.blog.posts()[-1]["description"], "d" * 100000)

    def test_connect_tunnel(self):
        host, port = host_port(self.blog.https_url)
        conn = http.client.HTTPSConnection(self.proxy_host, int(self.proxy_port), timeout=30,
                                           context=trusting_context())
        self.addCleanup(conn.close)
        conn.set_tunnel(host, port)
        conn.request("POST", "/xmlrpc.php", body=call_body("blogger.getUsersBlogs", "",
                                                             USER, PASSWORD))
        r = conn.getresponse()
        (blogs,), _ = xmlrpc.client.loads(r.read())
        self.assertEqual(blogs[0]["url"], self.blog.https_url)
        self.assertEqual(self.proxy.records(), ["CONNECT localhost:%d HTTP/1.0" % port])

    def test_only_loopback_targets(self):
        refused = ["CONNECT example.com:443 HTTP/1.1", "CONNECT 192.0.2.1:443 HTTP/1.1",
                   "GET http://example.com/ HTTP/1.1", "GET http://192.0.2.1:8080/ HTTP/1.1",
                   "POST http://10.0.0.1/xmlrpc.php HTTP/1.1"]
        for line in refused:
            with self.subTest(line=line):
                with socket.create_connection((self.proxy_host, int(self.proxy_port)),
                                              timeout=10) as s:
                    s.sendall(line.encode() + b"\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc")
                    answer = s.recv(1000)
                self.assertTrue(answer.startswith(b"HTTP/1.1 403 "), answer)
        self.assertEqual(self.proxy.records(), refused)

    def test_command_line(self):
        ready, log = os.path.join(self.tmp, "proxy.json"), os.path.join(self.tmp, "proxy.log")
        p = subprocess.Popen([sys.executable, os.path.join(TOOLS, "test_proxy.py"), "--port", "0",
                              "--ready-file", ready, "--log", log],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(lambda: p.poll() is None and p.kill())
        info = wait_for_json(ready, p)
        target = self.blog.url + "?p=1"
        conn = http.client.HTTPConnection("127.0.0.1", info["port"], timeout=30)
        conn.request("GET", target)
        self.assertEqual(conn.getresponse().status, 404)
        conn.close()
        with open(log) as f:
            self.assertEqual(f.read(), "GET %s HTTP/1.1\n" % target)
        p.send_signal(signal.SIGTERM)
        out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 0, err)
        self.assertEqual(out.decode(), "Test proxy at %s\n" % info["proxy"])


def wait_for_json(path, process, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                return json.load(f)
        if process.poll() is not None:
            raise AssertionError("exited early: %r" % (process.communicate(),))
        time.sleep(0.05)
    raise AssertionError("no ready file after %d s" % seconds)


class CommandLineTests(unittest.TestCase):
    def test_starts_serves_and_stops_without_showing_the_password(self):
        tmp = tempfile.mkdtemp(prefix="localblog-cli-")
        self.addCleanup(shutil.rmtree, tmp, ignore_errors=True)
        ready = os.path.join(tmp, "ready.json")
        cert, key = cert_paths()
        p = subprocess.Popen([sys.executable, os.path.join(TOOLS, "localblog.py"), "--port", "0",
                              "--data", os.path.join(tmp, "data"), "--user", USER,
                              "--password", PASSWORD, "--blog-name", BLOG_NAME,
                              "--tls", cert, key, "--https-port", "0", "--ready-file", ready,
                              "--verbose"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(lambda: p.poll() is None and p.kill())
        urls = wait_for_json(ready, p)
        self.assertTrue(urls["http"].startswith("http://127.0.0.1:"))
        self.assertTrue(urls["https"].startswith("https://localhost:"))
        rpc = xmlrpc.client.ServerProxy(urls["http"] + "xmlrpc.php")
        self.assertEqual(rpc.blogger.getUsersBlogs("", USER, PASSWORD)[0]["blogName"], BLOG_NAME)
        with self.assertRaises(xmlrpc.client.Fault):
            rpc.blogger.getUsersBlogs("", USER, PASSWORD + "x")
        rpc("close")()
        tls = xmlrpc.client.ServerProxy(urls["https"] + "xmlrpc.php", context=trusting_context())
        self.assertEqual(tls.blogger.getUsersBlogs("", USER, PASSWORD)[0]["url"], urls["https"])
        tls("close")()
        self.assertEqual(raw_request(urls["http"] + "_control?mode=newpost-fault")[0], 200)
        p.send_signal(signal.SIGTERM)
        out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 0, err)
        self.assertEqual(out.decode().splitlines(),
                         ["Local blog at " + urls["http"], "Local blog (TLS) at " + urls["https"]])
        self.assertIn("POST /xmlrpc.php", err.decode())
        self.assertNotIn(PASSWORD, out.decode() + err.decode())

    def test_bad_arguments(self):
        tmp = tempfile.mkdtemp(prefix="localblog-cli-")
        self.addCleanup(shutil.rmtree, tmp, ignore_errors=True)
        base = [sys.executable, os.path.join(TOOLS, "localblog.py"), "--port", "0",
                "--data", tmp, "--user", USER, "--password", PASSWORD]
        for extra in (["--mode", "nonsense"], ["--mode", "redirect-https"],
                      ["--tls", os.path.join(tmp, "none.pem"), os.path.join(tmp, "none.key")]):
            with self.subTest(extra=extra):
                r = subprocess.run(base + extra, capture_output=True, timeout=60)
                self.assertNotEqual(r.returncode, 0)
                self.assertNotIn(PASSWORD, (r.stdout + r.stderr).decode())


if __name__ == "__main__":
    unittest.main()
