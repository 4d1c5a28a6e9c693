"""Whole sends through the host simulator with the real Velluma.dll and the
real KeloPublish.dll of the build's accessory folder, against the local
blog: the log-in, the blog list in the editor, a formatted entry posted
(or stored as a draft), the upload byte for byte the capture."""

import json
import os
import unittest

from e2e_common import ACCESSORY, BIN, BlogTestCase, PASSWORD, USER, windows_path, wine

# Ids from resources/resource.h.
LOGIN_SCRIPT = """
wait "Velluma Login"
set 219 "{server}"
set 218 "{endpoint}"
set 216 "{user}"
set 217 "{password}"
click 1
wait "Blog Editor"
"""


def ui_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class EditorSendTest(BlogTestCase):
    blog_name = "Ann's \"notes\" & <drafts> \u2014 caf\u00e9 \u65e5\u8a18"

    def send(self, steps, server=None, endpoint="/xmlrpc.php"):
        script = LOGIN_SCRIPT.format(server=server or self.blog.url, endpoint=endpoint, user=USER,
                                     password=PASSWORD.replace('"', '\\"')) + steps
        script_path = os.path.join(self.folder, "send.ui")
        with open(script_path, "w", encoding="utf-8") as f:
            f.write(script)
        self.saved = os.path.join(self.folder, "capture.png")
        os.remove(self.saved)
        log = os.path.join(self.folder, "send.jsonl")
        run = wine(os.path.join(BIN, "tarvex-sim.exe"),
                   ["send", "--dll", windows_path(os.path.join(ACCESSORY, "Velluma.dll")),
                    "--accessory", windows_path(ACCESSORY), "--data", windows_path(os.path.join(self.folder, "data")),
                    "--log", windows_path(log), "--ui", windows_path(script_path), "--alert",
                    "--capture-size", "640x480", "--save-redirect", windows_path(self.saved)], timeout=240)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(log, encoding="utf-8") as f:
            self.log = [json.loads(line) for line in f if line.strip()]
        return self.log

    def test_a_formatted_entry_is_published_with_its_image(self):
        title = 'Caf\u00e9 \u00fcber & <b> "quoted" \u2014 \u65e5\u672c'
        log = self.send("""
expect 1017 text {name}
set 1028 {title}
focus 3000
type "Plain, then "
key Ctrl+B
type "bold"
key Ctrl+B
type " and 50% more."
click 3017
""".format(name=ui_text(self.blog_name), title=ui_text(title)))
        self.assertEqual(log[-1], {"event": "result", "hresult": "0x00000000"})
        [post] = self.blog.posts()
        [media] = self.blog.media()
        self.assertTrue(post["published"])
        self.assertEqual(post["title"], title)
        body = post["description"]
        self.assertIn('<a href="%s"><img src = "%s" align = "left" height="240" width="320" hspace = "20" /></a>'
                      % (media["url"], media["url"]), body)
        self.assertIn("<b>bold</b>", body)
        self.assertIn("50&#37; more.", body)
        self.assertNotIn("%s", body)
        self.assertEqual(media["sha256"], self.sha256(self.saved))
        # The completion notice names the blog the post went to.
        # The completion notice leads to the post itself (the library gives its address).
        alerts = [e for e in log if e.get("interface") == "IAlertService"]
        self.assertTrue(alerts, log)
        self.assertIn(post["link"], json.dumps(alerts[0]["args"]))

    def test_a_draft_is_stored_as_a_draft(self):
        log = self.send("""
set 1028 "Draft entry"
focus 3000
type "Not for readers yet."
check 1039
click 3017
""")
        self.assertEqual(log[-1], {"event": "result", "hresult": "0x00000000"})
        [post] = self.blog.posts()
        self.assertFalse(post["published"])
        self.assertEqual(post["title"], "Draft entry")
        self.assertEqual(len(self.blog.media()), 1)

    def test_a_refused_post_keeps_the_entry_in_the_editor(self):
        self.blog.set_mode("newpost-fault")
        log = self.send("""
set 1028 "Keep me"
click 3017
wait "Velluma"
answer ok
wait "Blog Editor"
expect 1028 text "Keep me"
click 2
""")
        self.assertEqual(log[-1], {"event": "result", "hresult": "0x00000000"})
        # The component's message carries the library's reason.
        [box] = [e for e in log if e.get("event") == "messagebox"]
        self.assertIn("\u201CSorry, your entry could not be posted.\u201D (fault code 500)", box["text"])
        self.assertEqual(self.blog.posts(), [])
        self.assertFalse(any(e.get("method") == "ShowAlert" for e in log))

    def test_a_refused_log_in_asks_for_the_account_again(self):
        self.blog.set_mode("refuse-login")
        script = LOGIN_SCRIPT.replace('wait "Blog Editor"\n', "")
        script = script.format(server=self.blog.url, endpoint="", user=USER, password="wrong")
        script_path = os.path.join(self.folder, "again.ui")
        with open(script_path, "w", encoding="utf-8") as f:
            f.write(script + 'wait "Velluma"\nanswer ok\nwait "Velluma Login"\nclick 2\n')
        log = os.path.join(self.folder, "again.jsonl")
        run = wine(os.path.join(BIN, "tarvex-sim.exe"),
                   ["send", "--dll", windows_path(os.path.join(ACCESSORY, "Velluma.dll")),
                    "--accessory", windows_path(ACCESSORY), "--data", windows_path(os.path.join(self.folder, "data")),
                    "--log", windows_path(log), "--ui", windows_path(script_path)], timeout=240)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(log, encoding="utf-8") as f:
            events = [json.loads(line) for line in f if line.strip()]
        self.assertEqual(events[-1], {"event": "result", "hresult": "0x00000000"})
        # The library's reason comes before the log-in dialog comes back.
        [box] = [e for e in events if e.get("event") == "messagebox"]
        self.assertIn("application password", box["text"])
        self.assertEqual(self.blog.posts(), [])
        # The account was tried once, at the address the home page names.
        self.assertEqual([(r.method, r.path) for r in self.blog.requests()],
                         [("GET", "/"), ("GET", "/xmlrpc.php?rsd"), ("POST", "/xmlrpc.php")])


if __name__ == "__main__":
    unittest.main()
