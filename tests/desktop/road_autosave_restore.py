#!/usr/bin/env python3
"""Type, let the autosave tick pass, kill -9; start again, 復元, save: every key typed before the tick is on disk."""
import signal

import desktop

TYPED = "typed before the tick "


@desktop.road("autosave_restore", limit=180)
def walk(s):
    s.write("draft.txt", "saved once\n")
    program = s.start(s.path("draft.txt"))
    window = s.wait_window(r"^draft\.txt")
    s.place(window)
    s.type(TYPED)
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark")

    # The tick is seen from outside: the typed text turns up in the program's data folder.
    deadline = desktop.time.monotonic() + 70
    while not any(TYPED.encode() in data for data in s.files_under("data").values()):
        if desktop.time.monotonic() > deadline:
            raise desktop.RoadFailed(f"no autosave was written in 70 s: {sorted(s.files_under('data'))}")
        desktop.time.sleep(0.5)
    program.kill(signal.SIGKILL)
    program.wait_end(5)
    program.end_group()
    if s.read("draft.txt") != b"saved once\n":
        raise desktop.RoadFailed("the file changed before it was saved")

    s.start()
    asked = s.wait_window(".", what="the restore question")
    s.shot("restore-question")
    s.key("Return")  # 復元
    s.wait_gone(asked, what="the restore question")
    window = s.wait_window(r"^draft\.txt", what="the restored document")
    s.place(window)
    s.shot("restored")
    s.key("ctrl+s")
    s.expect_file("draft.txt", (TYPED + "saved once\n").encode())
    s.wait_title(window, lambda t: "*" not in t, what="a title without '*' after saving")
