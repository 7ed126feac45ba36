#!/usr/bin/env python3
"""The editor and the preview side by side: the editor draws the text, the preview the rendered page
(its heading taller than its paragraph)."""
import time

import desktop

TEXT = "# A heading of the page\n\nA paragraph under the heading, in body text.\n"


def text_rows(picture, box):
    """The runs of rows that hold ink, as (top, height)."""
    return [(first, last - first + 1) for first, last in desktop.runs(picture.rows_with_ink(box))]


@desktop.road("preview", limit=150)
def walk(s):
    s.write("page.md", TEXT)
    s.start(s.path("page.md"))
    window = s.wait_window(r"^page\.md")
    s.place(window)
    s.key("ctrl+2")  # 2カラム
    x, y, width, height = s.geometry(window)
    # Below the panes' headers, right of the line numbers; the panes split the window in two.
    editor = (x + 75, y + 95, int(width * 0.40), height // 2)
    preview = (x + int(width * 0.52), y + 100, int(width * 0.45), height // 2)

    deadline = time.monotonic() + 20
    while True:
        picture = s.shot("split")
        page = text_rows(picture, preview)
        if len(page) >= 2 or time.monotonic() > deadline:
            break
        time.sleep(1)
    lines = text_rows(picture, editor)
    if len(lines) < 2:
        raise desktop.RoadFailed(f"the editor shows {len(lines)} lines of text, not the file's two")
    if len(page) < 2:
        raise desktop.RoadFailed(f"the preview shows {len(page)} blocks of text, not a heading and a paragraph")
    (heading_top, heading), (_, paragraph) = page[0], page[1]
    if heading < paragraph * 1.3:
        raise desktop.RoadFailed(f"the preview's first block ({heading} px) is not a heading over its "
                                 f"paragraph ({paragraph} px): the page is not rendered")
    print(f"editor lines {lines}, preview blocks {page}")
