#!/usr/bin/env python3
"""The editor and the preview side by side: the editor draws the text, the preview the rendered page
(its heading taller than its paragraph)."""
import time

import desktop

TEXT = "# A heading of the page\n\nA paragraph under the heading, in body text.\n"


def ink_runs(picture, box):
    ground = picture.background(box)
    return ground, desktop.runs(picture.rows_with_ink(box, ground))


@desktop.road("preview", limit=100)
def walk(s):
    s.write("page.md", TEXT)
    s.start(s.path("page.md"))
    window = s.wait_window(r"^page\.md")
    s.place(window)
    s.key("ctrl+2")  # 2カラム
    time.sleep(3)
    picture = s.shot("split")
    x, y, width, height = s.geometry(window)
    print("geometry", x, y, width, height)
