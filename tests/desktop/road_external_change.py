#!/usr/bin/env python3
"""A file changed by another program while open: silently taken in while unedited; while edited, saving
is refused with a warning and the other program's text stays; after a reload the save goes through."""
import time

import desktop

THEIRS = b"written by another program\n"


def rewrite(s, data):
    # As an editor or a build does: a new file renamed over the old one.
    path = s.path("shared.txt")
    with open(path + ".new", "wb") as f:
        f.write(data)
    desktop.os.replace(path + ".new", path)


@desktop.road("external_change", limit=150)
def walk(s):
    s.write("shared.txt", b"first version\n")
    s.start(s.path("shared.txt"))
    window = s.wait_window(r"^shared\.txt")
    s.place(window)
    time.sleep(3)  # a change in the first moments after opening goes unseen: not what this road is about

    # Unedited: the new text is taken in, and what is typed then lands in it.
    rewrite(s, b"second version\n")
    time.sleep(2)
    s.type("a ")
    s.key("ctrl+s")
    s.expect_file("shared.txt", b"a second version\n")
    s.wait_title(window, lambda t: "*" not in t, what="a saved title")

    # Edited: the save is refused and says so; the disk keeps the other program's text.
    s.type("mine ")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark")
    x, y, width, height = s.geometry(window)
    status_line = (x + 5, y + height - 38, 600, 30)
    before = s.shot("edited").colours(status_line)
    rewrite(s, THEIRS)
    time.sleep(2)
    if s.shot("warned").colours(status_line) == before:
        raise desktop.RoadFailed("the status line did not change when the file changed under an edit")
    s.key("ctrl+s")
    warning = s.wait_new_window([window], what="the refusal to overwrite")
    s.shot("refusal")
    time.sleep(1)
    if s.read("shared.txt") != THEIRS:
        raise desktop.RoadFailed(f"the save overwrote the other program's text: {s.read('shared.txt')!r}")
    s.key("Return")
    s.wait_gone(warning, what="the refusal")

    # ディスクから再読み込み… from the quick actions, answered 戻す: the editor holds their text.
    s.activate(window)
    s.command("再読み込み")
    revert = s.wait_new_window([window], what="the reload question")
    s.shot("reload-question")
    s.key("Return")  # 戻す
    s.wait_gone(revert, what="the reload question")
    s.wait_title(window, lambda t: "*" not in t, what="a clean title after the reload")
    s.activate(window)
    s.key("ctrl+Home")
    s.type("b ")
    s.key("ctrl+s")
    s.expect_file("shared.txt", b"b " + THEIRS)
