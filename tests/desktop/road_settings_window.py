#!/usr/bin/env python3
"""The settings window: 660 × 500, drawn, not resizable, so the window manager's maximise does
nothing; Escape closes it and the settings command shows it again where it was."""
import time

import desktop


def title_button(geometry, from_right):
    """The centre of a button of openbox's title bar (its default layout: iconify, maximise, close)."""
    x, y, width, _ = geometry
    return x + width - 11 - 15 * from_right, y - 30


@desktop.road("settings_window", limit=150)
def walk(s):
    s.write("notes.txt", b"some text\n")
    s.start(s.path("notes.txt"))
    window = s.wait_window(r"^notes\.txt")
    s.place(window)
    s.key("ctrl+comma")
    settings = s.wait_window("^設定$", what="the settings window")
    time.sleep(0.5)
    shown = s.geometry(settings)
    if shown[2:] != (660, 500):
        raise desktop.RoadFailed(f"the settings window is {shown[2]} × {shown[3]}, not 660 × 500")
    picture = s.shot("settings")
    tabs = (shown[0] + 20, shown[1] + 20, 300, 24)
    if picture.ink(tabs) < 100:
        raise desktop.RoadFailed("the settings window's tab titles are not drawn")

    s.click(*title_button(shown, 1))  # maximise
    time.sleep(0.8)
    s.shot("maximise-clicked")
    if s.geometry(settings) != shown:
        raise desktop.RoadFailed(f"maximise changed the settings window to {s.geometry(settings)}")

    s.activate(settings)
    s.key("Escape")
    s.wait_gone(settings, what="the settings window after Escape")
    s.activate(window)
    s.key("ctrl+comma")
    back = s.wait_window("^設定$", what="the settings window shown again")
    time.sleep(0.5)
    s.shot("shown-again")
    if s.geometry(back) != shown:
        raise desktop.RoadFailed(f"the settings window came back at {s.geometry(back)}, not {shown}")
