#!/usr/bin/env python3
"""Folder replace on a small tree, then its rollback; the tree's bytes compared after each."""
import time

import desktop

TREE = {
    "tree/a.txt": b"apple one\napple two\n",
    "tree/sub/b.md": b"# apple\n\nno pears\n",
    "tree/sub/deeper/c.txt": "りんご apple\r\n".encode(),
    "tree/untouched.txt": b"nothing to find\n",
}
BACKUPS = ".korimado-backups"  # tree/.korimado-backups/<run>/<the file's path in the tree>
REPLACED = {path: data.replace(b"apple", b"pear") for path, data in TREE.items()}

# The window's buttons, from its inside corner: its layout is fixed and its fonts are the project's.
SEARCH, PREVIEW, APPLY, ROLLBACK = (54, 198), (236, 198), (366, 198), (519, 198)


def tree(s, backups=False):
    """The tree's files and bytes: its own, or those of the replace's backup folder."""
    found = {}
    for path, data in s.files_under("home/tree").items():
        relative = desktop.os.path.relpath(path, s.home)
        parts = relative.split("/")
        if (parts[1] == BACKUPS) != backups:
            continue
        found["/".join(parts[:1] + parts[3:]) if backups else relative] = data
    return found


def wait_tree(s, expected, what):
    deadline = time.monotonic() + 15
    while tree(s) != expected:
        if time.monotonic() > deadline:
            raise desktop.RoadFailed(f"{what}: the tree holds {tree(s)!r}")
        time.sleep(0.2)


@desktop.road("folder_replace", limit=150)
def walk(s):
    for path, data in TREE.items():
        s.write(path, data)
    s.write("notes.txt", b"outside the tree\n")
    s.start(s.path("notes.txt"))
    window = s.wait_window(r"^notes\.txt")
    s.place(window)
    s.key("ctrl+alt+shift+f")  # フォルダ内を検索・置換…
    finder = s.wait_window("^フォルダ内検索$", what="the folder search window")
    s.activate(finder)
    x, y, _, _ = s.geometry(finder)

    def press(button, name):
        s.activate(finder)
        s.click(x + button[0], y + button[1])
        time.sleep(0.5)
        s.shot(name)

    s.key("ctrl+a")
    s.type(s.path("tree"))
    s.key("Tab")
    s.type("apple")
    s.key("Tab")
    s.type("pear")
    press(SEARCH, "searched")
    time.sleep(1)
    press(PREVIEW, "preview")
    time.sleep(1)
    press(APPLY, "apply-question")
    asked = s.wait_new_window([window, finder], what="the question before replacing")
    s.key("Return")  # 置換する
    s.wait_gone(asked, what="the question before replacing")
    wait_tree(s, REPLACED, "after the folder replace")
    s.shot("replaced")
    kept = {path: data for path, data in TREE.items() if REPLACED[path] != data}
    if tree(s, backups=True) != kept:
        raise desktop.RoadFailed(f"the backups do not hold the replaced files as they were: {tree(s, backups=True)!r}")

    press(ROLLBACK, "rollback-question")
    asked = s.wait_new_window([window, finder], what="the question before the rollback")
    s.key("Return")  # 元に戻す
    s.wait_gone(asked, what="the question before the rollback")
    wait_tree(s, TREE, "after the rollback")
    s.shot("rolled-back")
