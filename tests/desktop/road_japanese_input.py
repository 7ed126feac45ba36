#!/usr/bin/env python3
"""Japanese typed through fcitx5 and mozc: compose nihongo, convert, commit 日本語, save; undo once
takes the whole commit away. mozc refuses to run as root: the bus, fcitx5 and the program run as nobody."""
import time

import desktop
import ime

ime.require("japanese_input")


@desktop.road("japanese_input", limit=150, user=ime.session_user("japanese_input"))
def walk(s):
    ime.start(s)
    s.write("nihon.txt", "ここに書く\n")
    s.start(s.path("nihon.txt"))
    window = s.wait_window(r"^nihon\.txt")
    s.place(window)
    time.sleep(1)
    s.run("fcitx5-remote", "-o")
    deadline = time.monotonic() + 15
    while (state := s.run("fcitx5-remote", check=False).strip()) != "2":
        if time.monotonic() > deadline:
            raise desktop.RoadFailed(f"fcitx5 would not turn Japanese input on for the editor (state {state!r})")
        time.sleep(0.5)
        s.run("fcitx5-remote", "-o", check=False)
    s.type("nihongo", delay=80)
    s.shot("composing")
    if s.read("nihon.txt") != "ここに書く\n".encode():
        raise desktop.RoadFailed("composing changed the file")
    s.key("space", delay=150)
    time.sleep(0.5)
    s.shot("converted")
    s.key("Return", delay=150)
    time.sleep(0.5)
    s.shot("committed")
    s.run("fcitx5-remote", "-c")
    s.key("ctrl+s")
    s.expect_file("nihon.txt", "日本語ここに書く\n".encode())
    s.key("ctrl+z")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark after one undo")
    s.key("ctrl+s")
    s.expect_file("nihon.txt", "ここに書く\n".encode())
