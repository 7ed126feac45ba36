#!/usr/bin/env python3
"""Drops from another program: a file dropped onto the window opens, is edited and saved; text
dropped onto a line goes in at the drop point and one undo takes it away again."""
import os
import time

import desktop

DROPPED = b"a file dropped from outside\nits second line\n"


def drag_from(s, *args, log, to):
    """Starts the other program with what it drags, drags from its window to the point, and
    returns how it says the drag ended."""
    source = s.start_other(s.drag_source, *args, log=log)
    wid = s.wait_window("^drag-source$", what="the drag source's window")
    s.run("xdotool", "windowmove", "--sync", wid, "1250", "200", check=False)
    time.sleep(0.3)
    x, y, width, height = s.geometry(wid)
    s.drag((x + width // 2, y + height // 2), to)
    if source.wait_end(15) is None:
        raise desktop.RoadFailed("the drag never ended")
    with open(source.log.name, "rb") as f:
        return f.read().decode(errors="replace").strip().splitlines()[-1:] or [""]


@desktop.road("drop", limit=150)
def walk(s):
    s.drag_source = os.environ.get("KORIMADO_DRAG_SOURCE")
    if not s.drag_source or not os.access(s.drag_source, os.X_OK):
        raise desktop.RoadSkipped("the drag source helper (desktop_drag_source) is not built")
    s.write("notes.txt", b"the open file\n")
    s.write("incoming/dropped.txt", DROPPED)
    s.start(s.path("notes.txt"))
    window = s.wait_window(r"^notes\.txt")
    s.place(window, width=1100, height=800)
    x, y, width, height = s.geometry(window)

    ended = drag_from(s, "--files", s.path("incoming/dropped.txt"), log="drag-files.log",
                      to=(x + width // 4, y + height // 2))
    if ended != ["dropped"]:
        raise desktop.RoadFailed(f"the window did not take the dropped file (the drag ended {ended})")
    opened = s.wait_window(r"^dropped\.txt", what="the dropped file's window")
    s.place(opened, width=1100, height=800)
    x, y, width, height = s.geometry(opened)
    text = (x + 75, y + 95, int(width * 0.38), height // 3)  # the editor pane, below its header
    picture = s.shot("file-dropped")
    lines = desktop.runs(picture.rows_with_ink(text))
    if len(lines) < 2:
        raise desktop.RoadFailed(f"the dropped file's window shows {len(lines)} lines of text, not its two")
    if s.read("notes.txt") != b"the open file\n":
        raise desktop.RoadFailed("the drop changed the file that was open")

    # Text onto the second line, right of its end in the editor pane: it goes in at the line's end.
    second = (lines[1][0] + lines[1][1]) // 2
    ended = drag_from(s, "--text", "and dragged words", log="drag-text.log", to=(x + int(width * 0.42), second))
    if ended != ["dropped"]:
        raise desktop.RoadFailed(f"the editor did not take the dropped text (the drag ended {ended})")
    s.activate(opened)
    s.wait_title(opened, lambda t: t.endswith("*"), what="the edited mark after the text drop")
    s.shot("text-dropped")
    s.key("ctrl+s")
    s.expect_file("incoming/dropped.txt", b"a file dropped from outside\nits second lineand dragged words\n")
    s.key("ctrl+z")  # the drop is one step
    s.key("ctrl+s")
    s.expect_file("incoming/dropped.txt", DROPPED)
