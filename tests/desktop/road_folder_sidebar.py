#!/usr/bin/env python3
"""Open a folder, open a file from the sidebar, edit, save; then Save As into another folder."""
import time

import desktop


@desktop.road("folder_sidebar", limit=150)
def walk(s):
    s.write("project/alpha.txt", b"alpha\n")
    s.write("project/beta.txt", b"beta\n")
    s.write("elsewhere/keep.txt", b"unrelated\n")
    s.start(s.path("project"))
    window = s.wait_window(r"^project", what="the folder's window")
    s.place(window)
    s.shot("folder")

    # Into the tree's empty half below its two rows, then to the second file by keys; Return opens it.
    x, y, width, height = s.geometry(window)
    s.click(x + 100, y + height // 2)
    s.key("Home", "Down", "Return")
    time.sleep(1)
    s.shot("opened-from-sidebar")
    opened = s.wait_window(r"^beta\.txt", what="beta.txt opened from the sidebar")
    s.activate(opened)
    s.type("edited ")
    s.wait_title(opened, lambda t: t.endswith("*"), what="the edited mark")
    s.key("ctrl+s")
    s.expect_file("project/beta.txt", b"edited beta\n")
    s.wait_title(opened, lambda t: "*" not in t, what="a saved title")

    s.key("ctrl+shift+s")
    panel = s.wait_new_window([window, opened], what="the save panel")
    s.activate(panel)
    s.shot("save-panel")
    s.key("ctrl+a")
    s.type(s.path("elsewhere", "copy.txt"))
    s.key("Return")
    s.expect_file("elsewhere/copy.txt", b"edited beta\n")
    s.wait_window(r"^copy\.txt", what="the window titled with its new name")
    if s.read("project/beta.txt") != b"edited beta\n" or s.read("elsewhere/keep.txt") != b"unrelated\n":
        raise desktop.RoadFailed("Save As changed another file")
