#!/usr/bin/env python3
"""Find and replace all in a document, then undo it; both saved and byte-compared."""
import time

import desktop

ORIGINAL = b"apple pie\nbanana apple\nno fruit here\n"


@desktop.road("replace", limit=150)
def walk(s):
    s.write("fruit.txt", ORIGINAL)
    s.start(s.path("fruit.txt"))
    window = s.wait_window(r"^fruit\.txt")
    s.place(window)

    s.key("ctrl+alt+f")  # 検索と置換…
    panel = s.wait_window("^検索と置換$", what="the find panel")
    s.activate(panel)
    s.type("pear")  # the replace command opens the panel in its replace field
    s.key("shift+Tab")
    s.type("apple")
    s.shot("find-panel")
    s.activate(window)
    s.command("すべて置換")
    time.sleep(0.5)
    s.activate(window)
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark after replace all")
    s.key("ctrl+s")
    s.expect_file("fruit.txt", b"pear pie\nbanana pear\nno fruit here\n")

    s.key("ctrl+z")  # the whole replacement is one step
    s.key("ctrl+s")
    s.expect_file("fruit.txt", ORIGINAL)
