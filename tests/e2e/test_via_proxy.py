"""A proxy configured the way a Windows user configures one (the Internet
settings' DefaultConnectionSettings value of the current user): the
library's requests go through it, except for the hosts of its bypass list.
The prefix's previous setting is put back afterwards."""

import http.server
import os
import re
import struct
import sys
import threading
import unittest

from e2e_common import BlogTestCase, SOURCE, wine

sys.path.insert(0, os.path.join(SOURCE, "tools", "localblog"))
from test_proxy import TestProxy  # noqa: E402

CONNECTIONS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
VALUE = "DefaultConnectionSettings"
BODY = '<a href="%s"><img src = "%s" /></a><p>Through the proxy.</p>'


DIRECT, NAMED_PROXY, SCRIPT = 0x1, 0x2, 0x4


def connection_settings(proxy="", bypass="", script=""):
    """The value's layout: version 0x46, a counter, the flags (1 direct, 2 a
    named proxy, 4 a configuration script, 8 auto-detection), then the proxy,
    the bypass list and the configuration script's address, each as a length
    and ANSI text, and 32 zero bytes."""
    def text(t):
        data = t.encode("ascii")
        return struct.pack("<I", len(data)) + data
    flags = DIRECT | (NAMED_PROXY if proxy else 0) | (SCRIPT if script else 0)
    return struct.pack("<III", 0x46, 1, flags) + text(proxy) + text(bypass) + text(script) + bytes(32)


class ScriptServer(http.server.ThreadingHTTPServer):
    """Serves a proxy configuration script, or (stall=True) takes the
    connection and never answers."""

    daemon_threads = True

    def __init__(self, script=None, stall=False):
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                owner.asked += 1
                if owner.stall:
                    owner.release.wait(60)
                    return
                body = owner.script.encode("ascii")
                self.send_response(200)
                self.send_header("Content-Type", "application/x-ns-proxy-autoconfig")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        super().__init__(("127.0.0.1", 0), Handler)
        self.script, self.stall, self.asked = script, stall, 0
        self.release = threading.Event()
        threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    def close(self):
        self.release.set()
        self.shutdown()
        self.server_close()

    @property
    def url(self):
        return "http://127.0.0.1:%d/proxy.pac" % self.server_address[1]


def reg(*args):
    return wine("reg", list(args), timeout=60)


class ProxyTest(BlogTestCase):

    def setUp(self):
        super().setUp()
        query = reg("query", CONNECTIONS, "/v", VALUE)
        match = re.search(VALUE + r"\s+REG_BINARY\s+([0-9A-Fa-f]*)", query.stdout.decode("utf-8", "replace"))
        self.addCleanup(self.restore, match.group(1) if match else None)
        self.proxy = TestProxy().start()
        self.addCleanup(self.proxy.stop)

    def restore(self, previous):
        if previous is None:
            reg("delete", CONNECTIONS, "/v", VALUE, "/f")
        else:
            reg("add", CONNECTIONS, "/v", VALUE, "/t", "REG_BINARY", "/d", previous, "/f")

    def configure(self, bypass="", script=None):
        # Named "localhost": Wine's WinHTTP writes the request line in origin
        # form when the proxy's host name equals the server's (it ignores the
        # ports), and the blog is at 127.0.0.1.
        if script is None:
            data = connection_settings("localhost:%d" % self.proxy.port, bypass).hex()
        else:
            data = connection_settings(script=script).hex()
        run = reg("add", CONNECTIONS, "/v", VALUE, "/t", "REG_BINARY", "/d", data, "/f")
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_the_requests_go_through_the_users_proxy(self):
        self.configure()
        done = self.call.publish(self.blog.url, self.capture, "Proxied", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        [post] = self.blog.posts()
        self.assertEqual(post["title"], "Proxied")
        endpoint = self.blog.url + "xmlrpc.php"
        # newMediaObject, newPost and getPost, each in absolute form through the proxy.
        self.assertEqual([r for r in self.proxy.records() if endpoint in r],
                         ["POST %s HTTP/1.1" % endpoint] * 3)
        self.assertEqual(len(self.blog.requests()), 3)

    def test_hosts_of_the_bypass_list_are_reached_directly(self):
        self.configure(bypass="127.0.0.1;<local>")
        done = self.call.publish(self.blog.url, self.capture, "Direct", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        self.assertEqual(self.proxy.records(), [])
        self.assertTrue(all(r.path == "/xmlrpc.php" for r in self.blog.requests()), self.blog.requests())


    def test_a_configuration_script_names_the_proxy(self):
        pac = ScriptServer('function FindProxyForURL(url, host) { return "PROXY localhost:%d"; }'
                           % self.proxy.port)
        self.addCleanup(pac.close)
        self.configure(script=pac.url)
        done = self.call.publish(self.blog.url, self.capture, "By script", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        self.assertGreaterEqual(pac.asked, 1)
        endpoint = self.blog.url + "xmlrpc.php"
        self.assertEqual([r for r in self.proxy.records() if endpoint in r], ["POST %s HTTP/1.1" % endpoint] * 3)

    def test_a_configuration_script_that_never_comes_does_not_hold_the_post(self):
        pac = ScriptServer(stall=True)
        self.addCleanup(pac.close)
        self.configure(script=pac.url)
        done = self.call.publish(self.blog.url, self.capture, "Despite the script", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        self.assertGreaterEqual(pac.asked, 1)
        self.assertEqual(self.proxy.records(), [])
        self.assertEqual([p["title"] for p in self.blog.posts()], ["Despite the script"])


if __name__ == "__main__":
    unittest.main()
