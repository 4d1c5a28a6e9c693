"""The installed accessory posts: the installer test that installs
Velluma-Setup.exe silently and sends through COM with the installed
KeloPublish.dll, run against a local blog held here, which then must hold
that one post, published, on its own page."""

import os
import unittest
import urllib.request

from e2e_common import BIN, BlogTestCase, PASSWORD, USER, wine


class InstalledSendTest(BlogTestCase):

    def test_the_installed_accessory_posts_to_the_local_blog(self):
        run = wine(os.path.join(BIN, "installer_tests.exe"),
                   ["--gtest_filter=Installer.SilentInstallSendsToTheLocalBlog"],
                   timeout=300, env={"VELLUMA_LOCAL_BLOG": self.blog.url, "VELLUMA_LOCAL_BLOG_USER": USER,
                                     "VELLUMA_LOCAL_BLOG_PASSWORD": PASSWORD})
        out = run.stdout.decode(errors="replace") + run.stderr.decode(errors="replace")
        self.assertEqual(run.returncode, 0, out)
        self.assertIn("[  PASSED  ] 1 test", out)
        self.assertNotIn("SKIPPED", out)
        [post] = self.blog.posts()
        self.assertTrue(post["published"])
        self.assertEqual(post["title"], "Sent by the installed Velluma")
        self.assertEqual(len(self.blog.media()), 1)
        with urllib.request.urlopen(post["link"], timeout=20) as reply:
            self.assertIn("Sent by the installed Velluma", reply.read().decode("utf-8"))


if __name__ == "__main__":
    unittest.main()
