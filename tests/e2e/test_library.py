"""The real KeloPublish.dll of the accessory folder, called directly (through
kelocall.exe under Wine) against the local blog: the blog list, a post in
its three calls, and every misbehaviour of the blog ending in a clear
outcome, with never a second post."""

import os
import re
import shutil
import socket
import socketserver
import tempfile
import threading
import unittest
import xmlrpc.client

from e2e_common import SOURCE, BlogTestCase, Call, E_FAIL, PASSWORD, capture_bytes

with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as _top:
    USER_AGENT = "Velluma/" + re.search(r"project\(Velluma VERSION ([0-9.]+)", _top.read()).group(1)
BODY = ('<a href="%s"><img src = "%s" align = "left" height="6" width="8" hspace = "20" /></a>'
        '<p>Fifty &#37; <b>bold</b> caf\u00e9</p>')


def posts_to_endpoint(blog):
    return [r for r in blog.requests() if r.method == "POST"]


class LibraryTest(BlogTestCase):

    def test_discovers_the_endpoint_lists_the_blog_and_posts(self):
        listed = self.call.blogs(self.blog.url.rstrip("/"))
        self.assertEqual(listed["result"], 0, listed)
        self.assertEqual(listed["reply"],
                         "<Blogs><Blog_Object><BlogId>1</BlogId><BlogName>Local Blog</BlogName>"
                         "<BlogAddress>%s</BlogAddress></Blog_Object></Blogs>" % self.blog.url)
        self.assertEqual(listed["error"], {"text": "", "length": 0})
        # Discovery: the home page, its RSD document, then XML-RPC at the RSD's apiLink.
        paths = [(r.method, r.path) for r in self.blog.requests()]
        self.assertEqual(paths, [("GET", "/"), ("GET", "/xmlrpc.php?rsd"), ("POST", "/xmlrpc.php")])
        for r in self.blog.requests():
            self.assertEqual(r.headers.get("User-Agent"), USER_AGENT)
            self.assertNotIn(PASSWORD, repr(r.headers))

        self.blog.clear_requests()
        title = 'Caf\u00e9 & <tags> "quoted" \u2014 \u65e5\u672c'
        done = self.call.publish(self.blog.url, self.capture, title, BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        self.assertEqual(done["error"]["text"], "")
        [post] = self.blog.posts()
        [media] = self.blog.media()
        self.assertTrue(post["published"])
        self.assertEqual(post["title"], title)
        self.assertEqual(post["description"], BODY.replace("%s", media["url"]))
        self.assertEqual(media["type"], "image/png")
        self.assertTrue(media["sent_name"].endswith(".png"), media)
        self.assertEqual(media["sha256"], self.sha256(self.capture))
        self.assertEqual(done["link"]["text"], post["link"])
        # newMediaObject, newPost, getPost: three requests, nothing twice.
        self.assertEqual(len(posts_to_endpoint(self.blog)), 3)

    def test_a_draft_is_stored_as_a_draft_and_has_no_link(self):
        done = self.call.publish(self.blog.url, self.capture, "Not yet", BODY, endpoint="xmlrpc.php", draft=1)
        self.assertEqual(done["result"], 0, done)
        [post] = self.blog.posts()
        self.assertFalse(post["published"])
        self.assertEqual(done["link"], {"text": "", "length": 0})

    def test_an_unreadable_capture_sends_nothing(self):
        done = self.call.publish(self.blog.url, os.path.join(self.folder, "gone.png"), "T", BODY,
                                 endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 1)
        self.assertIn("capture file could not be read", done["error"]["text"])
        self.assertEqual(self.blog.requests(), [])
        self.assertEqual(self.blog.media(), [])

    def test_other_service_types_are_refused_without_a_request(self):
        listed = self.call.blogs(self.blog.url, "/xmlrpc.php", service=0)
        self.assertEqual(listed["result"], E_FAIL)
        self.assertIn("not supported", listed["error"]["text"])
        done = self.call.publish(self.blog.url, self.capture, "T", BODY, endpoint="/xmlrpc.php", service=3)
        self.assertEqual(done["result"], 1)
        self.assertIn("not supported", done["error"]["text"])
        self.assertEqual(self.blog.requests(), [])

    def test_the_error_text_is_cut_to_the_buffer(self):
        self.blog.set_mode("refuse-login")
        listed = self.call.blogs(self.blog.url, "/xmlrpc.php")
        self.assertEqual(listed["result"], E_FAIL)
        # kelocall asks a second time with room for 8 characters: 7 and the NUL.
        self.assertEqual(listed["errorCut"], {"text": listed["error"]["text"][:7], "length": 7})

    def test_the_address_problems_have_their_own_sentences(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            closed_port = s.getsockname()[1]
        cases = [
            ("http://127.0.0.1:%d/" % closed_port, "Nothing answered at"),
            ("http://no-such-host.invalid/", "could not be found"),
        ]
        for server, sentence in cases:
            with self.subTest(server=server):
                listed = self.call.blogs(server, "/xmlrpc.php")
                self.assertEqual(listed["result"], E_FAIL)
                self.assertIn(sentence, listed["error"]["text"])


class MisbehaviourTest(BlogTestCase):
    """Each misbehaviour of the blog: the result the editor understands, the
    sentence for the user, and how many posts exist (never two)."""

    # mode, the call, its result, a part of the sentence, posts stored, POST requests made
    CASES = [
        ("refuse-login", "blogs", E_FAIL, "application password", 0, 1),
        ("http:403", "blogs", E_FAIL, "HTTP 403", 0, 1),
        ("http:404", "blogs", E_FAIL, "no XML-RPC service at", 0, 1),
        ("http:405", "blogs", E_FAIL, "XML-RPC is switched off", 0, 1),
        ("http:500", "blogs", E_FAIL, "internal error (HTTP 500)", 0, 1),
        ("html", "blogs", E_FAIL, "web page instead of an XML-RPC answer", 0, 1),
        ("slow:2", "blogs", 0, "", 0, 1),
        ("refuse-login", "publish", 1, "refused the user name or password", 0, 1),
        ("http:403", "publish", 1, "security plug-in", 0, 1),
        ("newpost-fault", "publish", 1, "\u201CSorry, your entry could not be posted.\u201D (fault code 500)", 0, 2),
        # A page or broken XML for newPost: the blog is asked whether the post
        # arrived (getRecentPosts) before the page is reported.
        ("newpost-html", "publish", 1, "web page instead of an XML-RPC answer", 0, 3),
        ("newpost-malformed", "publish", 1, "reply is not XML-RPC", 0, 3),
        # The post stored, the answer lost: found among the recent posts.
        ("newpost-drop", "publish", 0, "", 1, 3),
        ("newpost-lose", "publish", 1, "not among the blog's recent posts", 0, 3),
    ] + [("redirect:%d" % code, "publish", 0, "", 1, 4) for code in (301, 302, 303, 307, 308)]

    def test_every_misbehaviour_ends_in_a_clear_outcome(self):
        for mode, call, result, sentence, stored, requests in self.CASES:
            with self.subTest(mode=mode, call=call):
                self.blog.set_mode(mode)
                self.blog.clear_requests()
                before = len(self.blog.posts())
                if call == "blogs":
                    outcome = self.call.blogs(self.blog.url, "/xmlrpc.php")
                else:
                    outcome = self.call.publish(self.blog.url, self.capture, "Entry for " + mode, BODY,
                                                endpoint="/xmlrpc.php")
                self.assertEqual(outcome["result"], result, outcome)
                if sentence:
                    self.assertIn(sentence, outcome["error"]["text"])
                else:
                    self.assertEqual(outcome["error"]["text"], "")
                self.assertEqual(len(self.blog.posts()) - before, stored)
                self.assertEqual(len(posts_to_endpoint(self.blog)), requests,
                                 [(r.method, r.path) for r in self.blog.requests()])
                if result == 0 and call == "publish":
                    self.assertEqual(outcome["link"]["text"], self.blog.posts()[-1]["link"])
                else:
                    self.assertEqual(outcome["link"]["text"], "")

    def test_a_blog_that_does_not_answer_in_time(self):
        self.blog.set_mode("slow:45")
        outcome = self.call.blogs(self.blog.url, "/xmlrpc.php")
        self.assertEqual(outcome["result"], E_FAIL)
        self.assertIn("did not answer in time", outcome["error"]["text"])


class KeepAliveTrap(socketserver.ThreadingTCPServer):
    """An XML-RPC server that keeps connections alive and notes, for each
    newPost, how many requests its connection carried before. A newPost on a
    reused connection is dropped unanswered, as a kept-alive connection the
    server closed meanwhile: the situation in which an HTTP stack may send
    the request again on a new connection by itself."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), KeepAliveHandler)
        self.new_posts = []  # (connection number, requests before it on that connection)
        self.connections = 0
        self.lock = threading.Lock()
        threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    @property
    def url(self):
        return "http://127.0.0.1:%d/" % self.server_address[1]


class KeepAliveHandler(socketserver.StreamRequestHandler):
    ANSWERS = {
        "metaWeblog.newMediaObject": {"url": "http://127.0.0.1/media/x.png"},
        "metaWeblog.getPost": {"link": "http://127.0.0.1/?p=5"},
        "metaWeblog.getRecentPosts": [],
    }

    def handle(self):
        with self.server.lock:
            self.server.connections += 1
            number = self.server.connections
        for served in range(100):
            line = self.rfile.readline()
            if not line:
                return
            length = 0
            while True:
                header = self.rfile.readline()
                if header in (b"\r\n", b""):
                    break
                name, _, value = header.decode("latin-1").partition(":")
                if name.strip().lower() == "content-length":
                    length = int(value)
            params, method = xmlrpc.client.loads(self.rfile.read(length))
            if method == "metaWeblog.newPost":
                with self.server.lock:
                    self.server.new_posts.append((number, served))
                if served > 0:
                    return
                answer = "5"
            else:
                answer = self.ANSWERS[method]
            body = xmlrpc.client.dumps((answer,), methodresponse=True).encode("utf-8")
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: keep-alive\r\n"
                             b"Content-Length: %d\r\n\r\n" % len(body) + body)
            self.wfile.flush()


class NoResendTest(unittest.TestCase):

    def test_new_post_goes_out_on_a_connection_of_its_own(self):
        folder = tempfile.mkdtemp(prefix="kelo-e2e-")
        self.addCleanup(shutil.rmtree, folder, True)
        capture = os.path.join(folder, "capture.png")
        with open(capture, "wb") as f:
            f.write(capture_bytes())
        trap = KeepAliveTrap()
        self.addCleanup(trap.server_close)
        self.addCleanup(trap.shutdown)
        done = Call(folder).publish(trap.url, capture, "Once", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        [(connection, before)] = trap.new_posts
        self.assertEqual(before, 0, "newPost went out on a reused connection")
        self.assertEqual(done["link"]["text"], "http://127.0.0.1/?p=5")


if __name__ == "__main__":
    unittest.main()
