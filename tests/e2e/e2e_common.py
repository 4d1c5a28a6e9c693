"""Shared by the end-to-end tests of the publishing library: the build's
programs run under Wine (the prefix, wineserver and display of
scripts/with-wine), the local blog runs here in the test's own process.

Environment (set by ctest): VELLUMA_SOURCE_DIR, VELLUMA_BUILD_DIR.
"""

import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("VELLUMA_SOURCE_DIR",
                        os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BUILD = os.environ.get("VELLUMA_BUILD_DIR", os.path.join(SOURCE, "build", "windows"))
sys.path.insert(0, os.path.join(SOURCE, "tools", "localblog"))

from localblog import LocalBlog  # noqa: E402

ACCESSORY = os.path.join(BUILD, "accessory")
LIBRARY = os.path.join(ACCESSORY, "KeloPublish.dll")
BIN = os.path.join(BUILD, "bin")
SELF_HOSTED = 2
E_FAIL = -2147467259  # 0x80004005 as the export's int

USER, PASSWORD = "ann", "s3cret-pass\u00e9"

# A PNG of 8 by 6 pixels with every byte value in it after the header, so
# that a changed byte anywhere shows in the upload's digest.
def capture_bytes(extra=bytes(range(256)) * 4):
    import zlib

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    rows = b"".join(b"\x00" + b"".join(bytes((x * 30, y * 40, 200)) for x in range(8)) for y in range(6))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 8, 6, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(rows)) + chunk(b"tEXt", b"Comment\x00" + extra) + chunk(b"IEND", b""))
    return png


def windows_path(path):
    """The prefix sees the Linux file system as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(program, args, timeout=180, env=None):
    """Runs a Windows program of the build; returns CompletedProcess (text)."""
    full_env = dict(os.environ)
    full_env.setdefault("WINEDEBUG", "-all")
    if env:
        full_env.update(env)
    return subprocess.run(["wine", program] + list(args), stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout, env=full_env)


class Call:
    """One call of the library's exports through kelocall.exe."""

    def __init__(self, folder, library=LIBRARY):
        self.folder = folder
        self.library = library
        self.count = 0

    def _run(self, fields, timeout):
        self.count += 1
        request = os.path.join(self.folder, "call%d.in" % self.count)
        answer = os.path.join(self.folder, "call%d.json" % self.count)
        with open(request, "wb") as f:
            for field in fields:
                f.write(str(field).encode("utf-8") + b"\0")
        run = wine(os.path.join(BIN, "kelocall.exe"),
                   [windows_path(self.library), windows_path(request), windows_path(answer)], timeout=timeout)
        if run.returncode != 0 or not os.path.exists(answer):
            raise AssertionError("kelocall failed (%d): %s %s" % (run.returncode, run.stdout, run.stderr))
        with open(answer, encoding="utf-8") as f:
            return json.load(f)

    def blogs(self, server, endpoint="", login=USER, password=PASSWORD, service=SELF_HOSTED, timeout=180):
        return self._run(["GetBlogIDs", service, server, endpoint, login, password], timeout)

    def publish(self, server, image, title, body, endpoint="", draft=0, blog_id="1", login=USER,
                password=PASSWORD, service=SELF_HOSTED, address="", timeout=300):
        return self._run(["PublishToBlogNoGUI", service, server, endpoint, windows_path(image), login, password,
                          blog_id, title, body, draft, address], timeout)


class BlogTestCase(unittest.TestCase):
    """A temporary folder and a local blog over it for each test."""

    blog_name = "Local Blog"
    tls = None

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kelo-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.blog = LocalBlog(os.path.join(self.folder, "blog"), USER, PASSWORD, blog_name=self.blog_name,
                              tls=self.tls).start()
        self.addCleanup(self.blog.stop)
        self.call = Call(self.folder)
        self.capture = os.path.join(self.folder, "capture.png")
        with open(self.capture, "wb") as f:
            f.write(capture_bytes())

    def sha256(self, path):
        import hashlib
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
