#!/usr/bin/env python3
"""Japanese typed through fcitx5 and mozc: compose nihongo, convert, commit 日本語, save; undo once
takes the whole commit away. mozc refuses to run as root: the bus, fcitx5 and the program run as nobody."""
import os
import pwd
import shutil
import signal
import sys
import time

import desktop

NEEDED = {
    "fcitx5": lambda: shutil.which("fcitx5"),
    "fcitx5-remote": lambda: shutil.which("fcitx5-remote"),
    "dbus-send": lambda: shutil.which("dbus-send"),
    "fcitx5-mozc": lambda: os.path.exists("/usr/share/fcitx5/addon/mozc.conf"),
    "mozc-server": lambda: os.path.exists("/usr/lib/mozc/mozc_server"),
    "fcitx5-frontend-qt6": lambda: any(
        os.path.exists(f"/usr/lib/{arch}/qt6/plugins/platforminputcontexts/libfcitx5platforminputcontextplugin.so")
        for arch in ("x86_64-linux-gnu", "aarch64-linux-gnu")),
}


def session_user():
    if os.geteuid() != 0:
        return None
    try:
        entry = pwd.getpwnam("nobody")
    except KeyError:
        print("japanese_input: skipped: running as root and there is no user nobody for mozc")
        sys.exit(desktop.SKIP)
    return entry.pw_uid, entry.pw_gid


missing = [name for name, present in NEEDED.items() if not present()]
if missing:
    print(f"japanese_input: skipped: {', '.join(missing)} not installed (scripts/install-deps installs them)")
    sys.exit(desktop.SKIP)

PROFILE = """[Groups/0]
Name=Default
Default Layout=us
DefaultIM=mozc

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=mozc
Layout=

[GroupOrder]
0=Default
"""


def end_mozc(s):
    # mozc's server leaves the process group it was started in: it is found by this session's HOME.
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if b"mozc_server" not in f.read():
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"HOME={s.home}".encode() in f.read().split(b"\0"):
                    os.kill(int(pid), signal.SIGKILL)
        except OSError:
            pass


@desktop.road("japanese_input", limit=150, user=session_user())
def walk(s):
    s.stop_hooks = [lambda: end_mozc(s)]
    s.env.update({"QT_IM_MODULE": "fcitx", "XMODIFIERS": "@im=fcitx", "GTK_IM_MODULE": "fcitx"})
    profile = os.path.join(s.env["XDG_CONFIG_HOME"], "fcitx5")
    os.makedirs(profile)
    with open(os.path.join(profile, "profile"), "w") as f:
        f.write(PROFILE)
    if s.user:
        for folder in (profile, os.path.dirname(profile)):
            os.chown(folder, *s.user)
        os.chown(os.path.join(profile, "profile"), *s.user)
    s._start_service(["fcitx5", "--disable=wayland"], "fcitx5.log")
    # Asked without starting it: fcitx5-remote would have the bus start a second fcitx5.
    owner = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
             "org.freedesktop.DBus.NameHasOwner", "string:org.fcitx.Fcitx5"]
    deadline = time.monotonic() + 40
    while "boolean true" not in s.run(*owner, check=False):
        if time.monotonic() > deadline:
            raise desktop.RoadSkipped("fcitx5 did not come up on the session bus in 40 s")
        time.sleep(0.3)

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
