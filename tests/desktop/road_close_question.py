#!/usr/bin/env python3
"""Closing an edited window asks; キャンセル keeps it, 保存しない closes it untouched, 保存 writes it."""
import desktop

ORIGINAL = b"kept on disk\n"


def question(s, window):
    s.key("ctrl+w")
    asked = s.wait_new_window([window], what="the save question")
    s.shot("question")
    return asked


@desktop.road("close_question", limit=150)
def walk(s):
    s.write("letter.txt", ORIGINAL)
    program = s.start(s.path("letter.txt"))
    window = s.wait_window(r"^letter\.txt")
    s.place(window)
    s.type("draft ")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark")

    asked = question(s, window)
    s.key("Escape")  # キャンセル
    s.wait_gone(asked, what="the question after キャンセル")
    if window not in s.windows():
        raise desktop.RoadFailed("キャンセル closed the window")
    if not s.title(window).endswith("*") or s.read("letter.txt") != ORIGINAL:
        raise desktop.RoadFailed("キャンセル changed the document or the disk")

    s.activate(window)
    question(s, window)
    s.key("Tab", "Tab", "space")  # 保存しない, right of キャンセル
    s.wait_no_window(r"^letter\.txt", what="the window after 保存しない")
    if s.read("letter.txt") != ORIGINAL:
        raise desktop.RoadFailed(f"保存しない wrote the file: {s.read('letter.txt')!r}")
    if program.wait_end(10) is None:
        program.end_group()

    s.start(s.path("letter.txt"))
    window = s.wait_window(r"^letter\.txt")
    s.place(window)
    s.key("ctrl+Home")  # the caret comes back where it was left
    s.type("final ")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark")
    question(s, window)
    s.key("Return")  # 保存, the default answer
    s.expect_file("letter.txt", b"final " + ORIGINAL)
    s.wait_no_window(r"^letter\.txt", what="the window after 保存")
