#!/usr/bin/env python3
"""The demo's two sends against a running local blog, through the host
simulator with the build's Velluma.dll and KeloPublish.dll (the same
programs and helpers as tests/e2e): a remembered log-in, a formatted entry
with a link and a non-ASCII title posted and then read back from the blog;
then a wrong password and the reason the accessory shows for it.

    demo_send.py BLOG_URL USER PASSWORD WORK_DIR SCREENSHOT_DIR

Exits 1 when a step fails, with what was wrong on stderr."""

import json
import os
import re
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from e2e_common import ACCESSORY, BIN, capture_bytes, windows_path, wine  # noqa: E402

TITLE = "Caf\u00e9 notes \u2014 \u00fcber die Br\u00fccke, \u65e5\u8a18"
LINK = "http://www.example.org/bridge"


class Failed(Exception):
    pass


def ui_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def fetch(url):
    with urllib.request.urlopen(url, timeout=20) as reply:
        return reply.status, reply.read()


def send(work, shots, name, script, data, extra=()):
    """One send; returns the simulator's log (a list of events) and the
    addresses the address recorder was asked to open."""
    script_path = os.path.join(work, name + ".ui")
    with open(script_path, "w", encoding="utf-8") as f:
        f.write(script)
    capture = os.path.join(work, name + ".png")
    with open(capture, "wb") as f:
        f.write(capture_bytes())
    log = os.path.join(work, name + ".jsonl")
    urls = os.path.join(work, name + "-urls.log")
    run = wine(os.path.join(BIN, "tarvex-sim.exe"),
               ["send", "--dll", windows_path(os.path.join(ACCESSORY, "Velluma.dll")),
                "--accessory", windows_path(ACCESSORY), "--data", windows_path(data),
                "--log", windows_path(log), "--ui", windows_path(script_path),
                "--screenshot", windows_path(shots), "--capture-size", "640x480",
                "--save-redirect", windows_path(capture)] + list(extra),
               timeout=240, env={"URLREC_LOG": windows_path(urls)})
    events = []
    if os.path.exists(log):
        with open(log, encoding="utf-8") as f:
            events = [json.loads(line) for line in f if line.strip()]
    print("-- log of the %s send:" % name)
    for event in events:
        print("   " + json.dumps(event, ensure_ascii=False))
    if run.returncode != 0:
        raise Failed("the %s send: tarvex-sim exited with %d\n%s%s"
                     % (name, run.returncode, run.stdout.decode(errors="replace"), run.stderr.decode(errors="replace")))
    if not events or events[-1] != {"event": "result", "hresult": "0x00000000"}:
        raise Failed("the %s send did not end with S_OK" % name)
    # The shell starts the recorder on its own; give it a moment to write.
    opened = ""
    for _ in range(100):
        if os.path.exists(urls):
            with open(urls, encoding="utf-8") as f:
                opened = f.read()
            if opened:
                break
        time.sleep(0.1)
    return events, opened.split()


def first_send(blog, user, password, work, shots):
    data = os.path.join(work, "data")
    script = """
# Ids from resources/resource.h.
wait "Velluma Login"
set 219 {server}
set 218 ""
set 216 {user}
set 217 {password}
check 1006                      # Always use this log-in information
sleep 300
shot 01-login
click 1
wait "Blog Editor"
set 1028 {title}
focus 3000
type "Written by the demo on the local blog. "
key Ctrl+B
type "This part is bold."
key Ctrl+B
type " The bridge is worth a visit."
select 3000 62 68               # "bridge"
click 40007                     # Create Link
wait "Create Link"
set 3018 {link}
sleep 300
shot 02-link-dialog
click 1
wait "Blog Editor"
sleep 300
shot 03-editor
click 3017                      # Post
waitclass "keloAccAlert"
sleep 900
shot 04-notice
""".format(server=ui_text(blog), user=ui_text(user), password=ui_text(password), title=ui_text(TITLE),
           link=ui_text(LINK))
    events, opened = send(work, shots, "first", script, data, ["--open-last"])
    if not os.path.exists(os.path.join(data, "UserSettings.xml")):
        raise Failed("the log-in was not remembered (no UserSettings.xml in the data folder)")

    # The post on the blog, by the address the accessory gives the host.
    if len(opened) != 1:
        raise Failed("OpenLastResult opened %r, not one address" % opened)
    address = opened[0]
    print("== the post's address (OpenLastResult): %s" % address)
    status, page = fetch(address)
    page = page.decode("utf-8")
    checks = []
    import html
    checks.append(("title", html.escape(TITLE, quote=False) in page))
    checks.append(("bold body text", re.search(r"<b>\s*This part is bold\.\s*</b>", page) is not None))
    checks.append(("link made in the dialog", re.search(r'<a href="%s">(<[^>]*>|\s)*bridge' % re.escape(LINK), page)
                   is not None))
    image = re.search(r'<img src = "([^"]+)"', page)
    image_ok = False
    if image:
        image_status, image_bytes = fetch(image.group(1))
        image_ok = image_status == 200 and image_bytes.startswith(b"\x89PNG")
    checks.append(("image (%s)" % (image.group(1) if image else "none"), image_ok))
    for what, ok in checks:
        print("   %-40s %s" % (what, "there" if ok else "MISSING"))
    if status != 200 or not all(ok for _, ok in checks):
        raise Failed("the post's page at %s lacks what was posted" % address)
    with urllib.request.urlopen(blog.rstrip("/") + "/_control/posts", timeout=20) as reply:
        posts = json.load(reply)
    if len(posts) != 1:
        raise Failed("the blog holds %d posts, not one" % len(posts))


def second_send(blog, user, work, shots):
    # Its own data folder: the first send's remembered log-in would skip the dialog.
    data = os.path.join(work, "data-wrong")
    script = """
wait "Velluma Login"
set 219 {server}
set 218 ""
set 216 {user}
set 217 "not-the-password"
click 1
wait "Velluma"
sleep 300
shot 05-reason-wrong-password
answer ok
wait "Velluma Login"
expect 219 text {server}
expect 216 text {user}
expect 217 text ""
sleep 300
shot 06-login-again
click 2
""".format(server=ui_text(blog), user=ui_text(user))
    events, _ = send(work, shots, "wrong-password", script, data)
    boxes = [e for e in events if e.get("event") == "messagebox"]
    if len(boxes) != 1:
        raise Failed("the wrong password gave %d message boxes, not one" % len(boxes))
    print("== the reason shown for the wrong password:")
    print("   " + boxes[0]["text"].replace("\n", "\n   "))
    if "password" not in boxes[0]["text"].lower():
        raise Failed("the reason does not speak of the password")


def main():
    blog, user, password, work, shots = sys.argv[1:6]
    try:
        first_send(blog, user, password, work, shots)
        second_send(blog, user, work, shots)
    except (Failed, OSError) as e:
        print("error: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
