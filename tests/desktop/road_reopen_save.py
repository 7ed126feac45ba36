#!/usr/bin/env python3
"""Open a file from the command line, type, save; quit; open it again, type, save: both edits on disk."""
import desktop


@desktop.road("reopen_save", limit=150)
def walk(s):
    s.write("notes.txt", "the original line\n")
    first = s.start(s.path("notes.txt"))
    window = s.wait_window(r"^notes\.txt")
    s.place(window)
    s.type("first ")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark after typing")
    s.key("ctrl+s")
    s.expect_file("notes.txt", b"first the original line\n")
    s.wait_title(window, lambda t: "*" not in t, what="a title without '*' after the first save")
    s.shot("first-save")
    s.key("ctrl+q")
    if first.wait_end(15) is None:
        raise desktop.RoadFailed(f"Ctrl+Q did not end the program; windows: {s.titles()}")

    s.start(s.path("notes.txt"))
    window = s.wait_window(r"^notes\.txt")
    s.place(window)
    s.shot("reopened")
    s.type("second ")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark after typing again")
    s.key("ctrl+s")
    data = s.wait_file("notes.txt", lambda d: b"second " in d, what="the second edit saved")
    # The caret comes back where the first session left it, after "first ".
    if data != b"first second the original line\n":
        raise desktop.RoadFailed(f"the second save holds {data!r}: text lost or the caret not restored")
    s.wait_title(window, lambda t: "*" not in t, what="a title without '*' after the second save")
    s.shot("second-save")
