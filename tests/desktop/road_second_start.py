#!/usr/bin/env python3
"""A second start hands its file to the running program and ends; with a missing file it ends too."""
import time

import desktop

HAND_OVER_LIMIT = 8  # seconds: a start that is still running then has become a program of its own


@desktop.road("second_start", limit=150)
def walk(s):
    s.write("a.txt", "first file\n")
    s.write("b.txt", "second file\n")
    running = s.start(s.path("a.txt"))
    window = s.wait_window(r"^a\.txt")
    s.place(window)

    second = s.start(s.path("b.txt"))
    status = second.wait_end(HAND_OVER_LIMIT)
    if status is None:
        raise desktop.RoadFailed("a second start with another file did not end: it became a second program")
    if status != 0:
        raise desktop.RoadFailed(f"the second start ended with status {status}")
    handed = s.wait_window(r"^b\.txt", what="the handed-over file's window")
    if s.window_pid(handed) != running.pid:
        raise desktop.RoadFailed("the handed-over file opened in another process")
    s.shot("handed-over")

    third = s.start(s.path("missing.txt"))
    status = third.wait_end(HAND_OVER_LIMIT)
    if status is None:
        raise desktop.RoadFailed(f"a second start with a missing file did not end within {HAND_OVER_LIMIT} s; "
                                 f"windows: {s.titles()}")
    alert = s.wait_window("^Korimado$", what="the running program's alert about the missing file")
    if s.window_pid(alert) != running.pid:
        raise desktop.RoadFailed("the alert about the missing file came from another process")
    s.activate(alert)
    s.key("Return")
    s.wait_gone(alert, what="the alert")
    if not running.running():
        raise desktop.RoadFailed("the running program ended when a start named a missing file")
    strays = [w for w in s.windows() if s.window_pid(w) not in (None, running.pid)]
    if strays:
        raise desktop.RoadFailed(f"windows of another process: {[s.title(w) for w in strays]}")
    s.shot("missing-file")
