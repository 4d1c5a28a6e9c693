"""What the accessory tells the user, against the local blog, through the
host simulator with the build's real Velluma.dll and KeloPublish.dll: the
library's reason when the account is refused, when nothing answers and
when the post is refused, and where the completion notice and the host's
last result lead after a post. Each message is photographed into the
build's screenshots folder."""

import json
import os
import time
import unittest
import urllib.request
import html

from e2e_common import ACCESSORY, BIN, BUILD, BlogTestCase, PASSWORD, USER, windows_path, wine

SCREENSHOTS = os.path.join(BUILD, "screenshots")
ENDPOINT = "/xmlrpc.php"
POST_FAILED = "The entry could not be posted. Check the connection and the account, then try again."


def ui_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def log_in(server, password, endpoint=ENDPOINT):
    # Ids from resources/resource.h.
    return """
wait "Velluma Login"
set 219 {server}
set 218 {endpoint}
set 216 {user}
set 217 {password}
click 1
""".format(server=ui_text(server), endpoint=ui_text(endpoint), user=ui_text(USER), password=ui_text(password))


class MessagesTest(BlogTestCase):

    def setUp(self):
        super().setUp()
        os.makedirs(SCREENSHOTS, exist_ok=True)

    def send(self, script, alert=True, open_last=False, name="send"):
        """One send; the simulator's log as a list of events, and what the
        address recorder was asked to open."""
        path = os.path.join(self.folder, name + ".ui")
        with open(path, "w", encoding="utf-8") as f:
            f.write(script)
        log = os.path.join(self.folder, name + ".jsonl")
        urls = os.path.join(self.folder, name + "-urls.log")
        args = ["send", "--dll", windows_path(os.path.join(ACCESSORY, "Velluma.dll")),
                "--accessory", windows_path(ACCESSORY), "--data", windows_path(os.path.join(self.folder, "data")),
                "--log", windows_path(log), "--ui", windows_path(path), "--screenshot", windows_path(SCREENSHOTS),
                "--save-redirect", windows_path(self.capture)]
        if alert:
            args.append("--alert")
        if open_last:
            args.append("--open-last")
        run = wine(os.path.join(BIN, "tarvex-sim.exe"), args, timeout=240, env={"URLREC_LOG": windows_path(urls)})
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(log, encoding="utf-8") as f:
            events = [json.loads(line) for line in f if line.strip()]
        self.assertEqual(events[-1], {"event": "result", "hresult": "0x00000000"}, events)
        self.urls = urls
        return events

    def opened(self, expected_count):
        """The addresses the recorder wrote, once it wrote that many (the
        shell starts it apart from the simulator)."""
        lines = []
        for _ in range(100):
            if os.path.exists(self.urls):
                with open(self.urls, encoding="utf-8") as f:
                    lines = f.read().split()
                if len(lines) >= expected_count:
                    break
            time.sleep(0.1)
        return lines

    @staticmethod
    def boxes(events):
        return [e for e in events if e.get("event") == "messagebox"]

    def assertShot(self, name):
        with open(os.path.join(SCREENSHOTS, name + ".png"), "rb") as f:
            self.assertEqual(f.read(4), b"\x89PNG")

    def test_a_wrong_password_says_why_and_the_right_one_then_posts_once(self):
        server = self.blog.url
        events = self.send(log_in(server, "not-the-password") + """
wait "Velluma"
shot e2e_reason_wrong_password
answer ok
wait "Velluma Login"
expect 219 text {server}
expect 218 text {endpoint}
expect 216 text {user}
expect 217 text ""
expect 217 focused
set 217 {password}
click 1
wait "Blog Editor"
set 1028 "Second try"
click 3017
""".format(server=ui_text(server), endpoint=ui_text(ENDPOINT), user=ui_text(USER), password=ui_text(PASSWORD)))
        [box] = self.boxes(events)
        self.assertEqual(box["caption"], "Velluma")
        self.assertEqual(box["buttons"], "ok")
        self.assertIn("refused the user name or password", box["text"])
        [post] = self.blog.posts()
        self.assertEqual(post["title"], "Second try")
        self.assertTrue(post["published"])
        self.assertShot("e2e_reason_wrong_password")

    def test_a_stopped_server_says_nothing_answers(self):
        server = self.blog.url
        self.blog.stop()  # nothing listens on its port any more
        events = self.send(log_in(server, PASSWORD) + """
wait "Velluma"
shot e2e_reason_nothing_answers
answer ok
wait "Velluma Login"
expect 219 text {server}
click 2
""".format(server=ui_text(server)))
        [box] = self.boxes(events)
        self.assertIn("Nothing answered at " + server.rstrip("/"), box["text"])
        self.assertNotIn("password", box["text"].lower())
        self.assertShot("e2e_reason_nothing_answers")

    def test_a_refused_post_says_why_and_keeps_the_entry(self):
        self.blog.set_mode("newpost-fault")
        events = self.send(log_in(self.blog.url, PASSWORD) + """
wait "Blog Editor"
set 1028 "Keep me, caf\u00e9"
focus 3000
type "The body stays too."
click 3017
wait "Velluma"
shot e2e_reason_post_refused
answer ok
wait "Blog Editor"
expect 1028 text "Keep me, caf\u00e9"
expect 3000 text "The body stays too."
click 2
""")
        [box] = self.boxes(events)
        self.assertEqual(box["text"], POST_FAILED + "\n\nThe blog reported an error: "
                         "\u201CSorry, your entry could not be posted.\u201D (fault code 500).")
        self.assertEqual(self.blog.posts(), [])
        self.assertFalse(any(e.get("method") == "ShowAlert" for e in events))
        self.assertShot("e2e_reason_post_refused")

    def assertPageHolds(self, address, post):
        with urllib.request.urlopen(address, timeout=20) as reply:
            self.assertEqual(reply.status, 200)
            page = reply.read().decode("utf-8")
        self.assertIn(html.escape(post["title"], quote=False), page)
        self.assertIn(post["description"], page)

    def test_the_notice_and_the_last_result_lead_to_the_post(self):
        post_steps = """
wait "Blog Editor"
set 1028 {title}
focus 3000
type "Where the notice leads."
click 3017
"""
        # With the host's alert service, and OpenLastResult afterwards.
        events = self.send(log_in(self.blog.url, PASSWORD) + post_steps.format(title='"Through the alert"'),
                           open_last=True, name="alert")
        [post] = self.blog.posts()
        [alert] = [e for e in events if e.get("method") == "ShowAlert"]
        self.assertEqual(alert["args"][-1], post["link"], alert)
        [result] = [e for e in events if e.get("method") == "SetResultAddress"]
        self.assertEqual(result["args"][-1], post["link"])
        self.assertEqual(self.opened(1), [post["link"]], "OpenLastResult")
        self.assertPageHolds(post["link"], post)

        # Without it: the component's own notice, clicked.
        events = self.send(log_in(self.blog.url, PASSWORD) + post_steps.format(title='"Through the notice"') + """
waitclass "keloAccAlert"
sleep 900
shot e2e_notice_to_the_post
clickwindow
""", alert=False, name="notice")
        first, second = self.blog.posts()
        self.assertEqual(second["title"], "Through the notice")
        self.assertNotEqual(second["link"], first["link"])
        self.assertEqual(self.opened(1), [second["link"]], "the notice's link")
        self.assertPageHolds(second["link"], second)
        self.assertShot("e2e_notice_to_the_post")


if __name__ == "__main__":
    unittest.main()
