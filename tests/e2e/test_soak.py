"""Many sends in one host process (soak_sends.exe: the real Velluma.dll and
KeloPublish.dll of the build's accessory folder, the simulator's host
objects) against the local blog, the log-in remembered after the first.
The program prints its table of counts and judges their growth; here the
blog is checked to hold every post, once.

VELLUMA_SOAK_SENDS sets the number of sends (200 when unset; ctest runs 20):

    scripts/with-wine python3 tests/e2e/test_soak.py
"""

import os
import sys
import unittest

from e2e_common import ACCESSORY, BIN, BlogTestCase, PASSWORD, USER, windows_path, wine

SENDS = int(os.environ.get("VELLUMA_SOAK_SENDS", "200"))


class SoakTest(BlogTestCase):
    def test_sends_in_one_process_leave_nothing_growing(self):
        data = os.path.join(self.folder, "data")
        # A send takes about a second under Wine; allow ten.
        run = wine(os.path.join(BIN, "soak_sends.exe"),
                   ["--server", self.blog.url, "--user", USER, "--password", PASSWORD, "--sends", str(SENDS),
                    "--accessory", windows_path(ACCESSORY), "--data", windows_path(data)], timeout=120 + 10 * SENDS)
        out = run.stdout.decode("utf-8", "replace")
        err = run.stderr.decode("utf-8", "replace")
        sys.stdout.write(out)
        sys.stdout.flush()
        self.assertNotEqual(run.returncode, 2, out + err)
        posts = self.blog.posts()
        self.assertEqual(len(posts), SENDS, out)
        self.assertEqual(sorted(p["title"] for p in posts), sorted("Soak send %d" % n for n in range(1, SENDS + 1)))
        self.assertTrue(all(p["published"] for p in posts))
        self.assertTrue(all("Line of send" in p["description"] for p in posts))
        self.assertEqual(len(self.blog.media()), SENDS)
        # One log-in: every send after the first used the remembered account.
        self.assertTrue(os.path.exists(os.path.join(data, "UserSettings.xml")))
        self.assertEqual(run.returncode, 0, out + err)


if __name__ == "__main__":
    unittest.main()
