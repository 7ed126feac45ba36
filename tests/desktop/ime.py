"""fcitx5 with mozc in a road's session: what it needs, and starting it on the session's bus.
mozc refuses to run as root: there the bus, fcitx5 and the program run as nobody."""
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


def session_user(road):
    if os.geteuid() != 0:
        return None
    try:
        entry = pwd.getpwnam("nobody")
    except KeyError:
        print(f"{road}: skipped: running as root and there is no user nobody for mozc")
        sys.exit(desktop.SKIP)
    return entry.pw_uid, entry.pw_gid


def require(road):
    """Ends the road as skipped, saying what is missing, where fcitx5 and mozc cannot run."""
    missing = [name for name, present in NEEDED.items() if not present()]
    if missing:
        print(f"{road}: skipped: {', '.join(missing)} not installed (scripts/install-deps installs them)")
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


def start(s):
    """fcitx5 with mozc as the session's input method; the programs started after it use it."""
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

