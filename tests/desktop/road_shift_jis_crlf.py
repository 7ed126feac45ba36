#!/usr/bin/env python3
"""Japanese text in Shift JIS with CRLF: open, type a new line and Japanese, paste a line copied from the
file, save; the bytes are exactly the expected Shift JIS with CRLF."""
import desktop

ORIGINAL = "日本語のメモです。\r\n二行目：全角ｶﾀｶﾅと～記号。\r\n"
EXPECTED = ORIGINAL + "end\r\n漢字かな、日本語のメモです。"


@desktop.road("shift_jis_crlf", limit=150)
def walk(s):
    s.write("memo.txt", ORIGINAL.encode("cp932"))
    s.start(s.path("memo.txt"))
    window = s.wait_window(r"^memo\.txt")
    s.place(window)
    s.shot("opened")
    s.key("ctrl+Home", "shift+End", "ctrl+c")
    s.key("ctrl+End")
    s.type("end")
    s.key("Return")
    s.type("漢字かな、")
    s.key("ctrl+v")
    s.wait_title(window, lambda t: t.endswith("*"), what="the edited mark")
    s.shot("typed")
    s.key("ctrl+s")
    s.wait_title(window, lambda t: "*" not in t, what="a saved title")
    data = s.expect_file("memo.txt", EXPECTED.encode("cp932"))
    if b"\n" in data.replace(b"\r\n", b""):
        raise desktop.RoadFailed("a bare LF was written")
