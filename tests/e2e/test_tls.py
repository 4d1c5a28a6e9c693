"""HTTPS with certificates made at test time: one trusted in the prefix's
machine ROOT store (as an administrator trusts a certificate on Windows),
and the refused ones, each with its own diagnostic. Every certificate
added to the store is taken out again."""

import os
import subprocess
import unittest

from e2e_common import BIN, BlogTestCase, E_FAIL, LocalBlog, PASSWORD, SOURCE, USER, windows_path, wine

TRUST = os.path.join(BIN, "trust_cert.exe")
BODY = '<a href="%s"><img src = "%s" /></a><p>Over TLS.</p>'


def make_certificate(folder, name="localhost", days="2"):
    """A self-signed certificate for `name`; `days` may be negative (expired)."""
    os.makedirs(folder, exist_ok=True)
    key, csr = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.csr")
    cert, der = os.path.join(folder, "cert.pem"), os.path.join(folder, "cert.der")
    subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-subj", "/CN=" + name,
                    "-addext", "subjectAltName=DNS:" + name, "-keyout", key, "-out", csr],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-req", "-in", csr, "-signkey", key, "-days", days, "-copy_extensions",
                    "copy", "-out", cert], check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", cert, "-outform", "der", "-out", der], check=True, capture_output=True)
    return cert, key, der


class TlsTest(BlogTestCase):

    def setUp(self):
        super().setUp()
        self.blog.stop()
        # The blog's own certificate comes from the local blog's script.
        folder = os.path.join(self.folder, "tls")
        subprocess.run([os.path.join(SOURCE, "tools", "localblog", "make_cert.sh"), folder], check=True)
        self.der = os.path.join(folder, "cert.der")
        self.blog = LocalBlog(os.path.join(self.folder, "blog-tls"), USER, PASSWORD,
                              tls=(os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem"))).start()
        self.addCleanup(self.blog.stop)

    def trust(self, der):
        run = wine(TRUST, ["add", windows_path(der)])
        self.assertEqual(run.returncode, 0, run.stderr)
        self.addCleanup(self.untrust, der)

    def untrust(self, der):
        run = wine(TRUST, ["remove", windows_path(der)])
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_a_trusted_certificate_carries_the_whole_send(self):
        self.trust(self.der)
        listed = self.call.blogs(self.blog.https_url, "/xmlrpc.php")
        self.assertEqual(listed["result"], 0, listed)
        self.assertIn("<BlogAddress>%s</BlogAddress>" % self.blog.https_url, listed["reply"])
        done = self.call.publish(self.blog.https_url, self.capture, "Secure", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        [post] = self.blog.posts()
        [media] = self.blog.media()
        self.assertEqual(media["sha256"], self.sha256(self.capture))
        self.assertTrue(all(r.headers.get("Host", "").startswith("localhost") for r in self.blog.requests("https")))
        self.assertEqual(self.blog.requests("http"), [])

        # http that the blog sends on to https: followed, and the post goes out once.
        self.blog.set_mode("redirect-https")
        done = self.call.publish(self.blog.url, self.capture, "Moved to TLS", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 0, done)
        self.assertEqual([p["title"] for p in self.blog.posts()], ["Secure", "Moved to TLS"])

    def test_an_untrusted_certificate_fails_with_its_diagnostic(self):
        listed = self.call.blogs(self.blog.https_url, "/xmlrpc.php")
        self.assertEqual(listed["result"], E_FAIL)
        self.assertIn("not issued by an authority this computer trusts", listed["error"]["text"])
        done = self.call.publish(self.blog.https_url, self.capture, "Never", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 1)
        self.assertIn("not issued by an authority this computer trusts", done["error"]["text"])
        # The redirect from http names where it led.
        self.blog.set_mode("redirect-https")
        done = self.call.publish(self.blog.url, self.capture, "Never", BODY, endpoint="/xmlrpc.php")
        self.assertEqual(done["result"], 1)
        self.assertIn("not issued by an authority", done["error"]["text"])
        self.assertIn("redirected to https: enter %sxmlrpc.php" % self.blog.https_url, done["error"]["text"])
        self.assertEqual(self.blog.posts(), [])
        self.assertEqual(self.blog.media(), [])

    def test_a_trusted_certificate_for_another_name_or_out_of_date_is_refused(self):
        cases = [("wrong name", "other.invalid", "2", "made out for another name"),
                 ("expired", "localhost", "-1", "has expired or is not valid yet")]
        for label, name, days, sentence in cases:
            with self.subTest(label):
                cert, key, der = make_certificate(os.path.join(self.folder, label), name, days)
                self.trust(der)
                with LocalBlog(os.path.join(self.folder, "blog-" + label), USER, PASSWORD, tls=(cert, key)) as blog:
                    listed = self.call.blogs(blog.https_url, "/xmlrpc.php")
                    self.assertEqual(listed["result"], E_FAIL)
                    self.assertIn(sentence, listed["error"]["text"])
                    self.assertEqual(blog.requests("https"), [])


if __name__ == "__main__":
    unittest.main()
