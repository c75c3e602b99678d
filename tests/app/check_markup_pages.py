#!/usr/bin/env python3
"""Renders every page of the markup run in headless Chromium (--dump-dom) and
checks that the data the run planted is text: each page shows the texts the
run listed for it (expected-texts.txt), and no page of the report holds an
element or an event attribute made from data. Every page names its charset."""
import html.parser
import os
import shutil
import subprocess
import sys
import tempfile

run = sys.argv[1]
root = os.path.join(run, "SupportData")
# Our pages use neither: any such element or attribute came from data.
FOREIGN_TAGS = {"img", "script", "iframe", "svg", "object", "embed"}
failures = []


class RenderedPage(html.parser.HTMLParser):
    """The text nodes of a rendered page, and the elements that do not belong."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.texts = []
        self.foreign = []
        self.charset = None

    def handle_starttag(self, tag, attrs):
        if tag == "meta" and "charset=" in (dict(attrs).get("content") or ""):
            self.charset = dict(attrs)["content"].partition("charset=")[2]
        if tag in FOREIGN_TAGS:
            self.foreign.append(f"<{tag}> element")
        self.foreign.extend(f"{name} attribute on <{tag}>" for name, _ in attrs if name.startswith("on"))

    def handle_data(self, data):
        self.texts.append(data)


def render(chromium, page):
    """The page's DOM as the browser built it; empty when it never finished."""
    dom = b""
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
        try:
            dom = subprocess.run(
                [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={profile}", "--dump-dom", "file://" + os.path.abspath(page)],
                capture_output=True, timeout=60).stdout
        except subprocess.TimeoutExpired:
            pass
    parsed = RenderedPage()
    parsed.feed(dom.decode("utf-8", "replace"))
    parsed.close()
    return parsed


def expected_texts():
    texts = {}
    with open(os.path.join(run, "expected-texts.txt"), encoding="cp1252") as listing:
        for line in listing:
            page, _, text = line.rstrip("\n").partition("\t")
            texts.setdefault(page, []).append(text)
    return texts


chromium = shutil.which("chromium")
if chromium is None:
    print("chromium is not installed")
    sys.exit(1)
expected = expected_texts()
pages = sorted(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
               for folder, _, names in os.walk(root) for name in names if name.lower().endswith(".html"))
for page in expected:
    if page not in pages:
        failures.append(f"{page}: missing")
for page in pages:
    rendered = render(chromium, os.path.join(root, page))
    if not rendered.texts:
        failures.append(f"{page}: nothing rendered")
    if rendered.charset != "windows-1252":
        failures.append(f"{page}: names the character set {rendered.charset}, not the run's windows-1252")
    failures.extend(f"{page}: {what}" for what in rendered.foreign)
    for text in expected.get(page, []):
        if not any(text in node for node in rendered.texts):
            failures.append(f"{page}: the text {text!r} is not shown")

print(f"{len(pages)} pages rendered: {', '.join(pages)}")
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
