#!/usr/bin/env python3
"""Select a word, right-click on it, choose コピー from the text's own menu: the clipboard holds the
word (read by another program), and pasting it at the end saves it to the disk."""
import shutil
import time

import desktop


@desktop.road("context_copy", limit=150)
def walk(s):
    if not shutil.which("xclip"):
        raise desktop.RoadSkipped("xclip is not installed (scripts/install-deps installs it)")
    s.write("words.txt", b"alpha beta gamma\n")
    s.start(s.path("words.txt"))
    window = s.wait_window(r"^words\.txt")
    s.place(window)
    x, y, width, height = s.geometry(window)
    text = (x + 75, y + 95, int(width * 0.38), height // 3)  # the editor pane, below its header

    s.key("ctrl+Home", "ctrl+shift+Right")  # "alpha" selected
    picture = s.shot("selected")
    lines = desktop.runs(picture.rows_with_ink(text))
    if not lines:
        raise desktop.RoadFailed("the editor shows no text")
    row = (lines[0][0] + lines[0][1]) // 2
    # The first ink on the text's line is the word's first letter: right-click a little inside it.
    line = (text[0], row, text[2], 1)
    ground = picture.background(text)
    first = next(px for px in range(line[0], line[0] + line[2])
                 if sum(abs(a - b) for a, b in zip(picture.pixel(px, row), ground)) > 40)
    s.click(first + 6, row, button=3)
    time.sleep(0.5)
    menu_box = (first + 6, row + 4, 150, 160)
    shown = s.shot("context-menu")
    if shown.ink(menu_box) < 200:
        raise desktop.RoadFailed("no menu appeared at the right-click")
    # Nothing edited yet, so undo and redo are off and the keys skip them: 切り取り, then コピー.
    s.key("Down", "Down")
    s.shot("copy-chosen")
    s.key("Return")
    time.sleep(0.5)
    copied = s.run("xclip", "-o", "-selection", "clipboard", check=False)
    if copied != "alpha":
        raise desktop.RoadFailed(f"the clipboard holds {copied!r} after コピー, not 'alpha'")
    if s.shot("menu-closed").ink(menu_box) > shown.ink(menu_box) // 2:
        raise desktop.RoadFailed("the menu stayed on the screen after its item was chosen")

    s.key("ctrl+End")
    s.key("ctrl+v")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark after pasting")
    s.key("ctrl+s")
    s.expect_file("words.txt", b"alpha beta gamma\nalpha")
