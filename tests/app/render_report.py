#!/usr/bin/env python3
"""Renders a report's INDEX.html in headless Chromium and checks that both
frames show something: the navigation list on the left, the start page on
the right. Keeps the screenshot for a person to look at."""
import os
import shutil
import subprocess
import sys
import tempfile

index, shot = sys.argv[1], sys.argv[2]
chromium = shutil.which("chromium")
if chromium is None:
    print("chromium is not installed")
    sys.exit(1)
with tempfile.TemporaryDirectory() as profile:
    subprocess.run(
        [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         f"--user-data-dir={profile}", "--window-size=1024,700", f"--screenshot={shot}",
         "file://" + os.path.abspath(index)],
        capture_output=True, timeout=120)
if not os.path.isfile(shot):
    print("no screenshot was taken")
    sys.exit(1)


def deviation(crop):
    result = subprocess.run(["/usr/bin/convert", shot, "-crop", crop, "+repage", "-colorspace", "Gray",
                             "-format", "%[fx:standard_deviation]", "info:"], capture_output=True, text=True)
    return float(result.stdout.strip() or 0)


left = deviation("270x650+5+20")
right = deviation("700x650+300+20")
print(f"navigation frame {left:.4f}, content frame {right:.4f}, screenshot {shot}")
if left < 0.01 or right < 0.01:
    print("a frame is empty")
    sys.exit(1)
