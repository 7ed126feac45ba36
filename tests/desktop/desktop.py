"""A real X session for walking the program's roads as a user does.

Each road runs in a Session: its own Xvfb (a free display found by -displayfd), openbox, a private
session bus and fresh HOME and XDG folders in one temporary folder. The program is driven only with
X input (xdotool) and read only from outside: the disk, the window list and the screen's pixels.
Everything started is ended and the folder removed when the road ends, however it ends.

    ctest -L desktop                      every road (build/tests/desktop/desktop-shots/ keeps the pictures)
    python3 -B road_x.py KORIMADO SHOTS   one road; KORIMADO_DESKTOP_KEEP=1 also keeps the service logs
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77  # CTest's SKIP_RETURN_CODE for the roads
SCREEN = (1600, 1000)


class RoadFailed(Exception):
    pass


class RoadSkipped(Exception):
    pass


def _pipe_line(fd, timeout):
    """The first line written to a pipe, or None after timeout seconds."""
    deadline = time.monotonic() + timeout
    data = b""
    os.set_blocking(fd, False)
    while b"\n" not in data and time.monotonic() < deadline:
        try:
            chunk = os.read(fd, 256)
            if not chunk:
                break
            data += chunk
        except BlockingIOError:
            time.sleep(0.02)
    os.close(fd)
    return data.decode().strip() if b"\n" in data else None


class Program:
    """One start of the program under test, in its own process group."""

    def __init__(self, session, args, log_name, binary=None, cwd=None):
        self.session = session
        self.log = open(os.path.join(session.root, log_name), "wb")
        self.process = subprocess.Popen(session.user_prefix() + [binary or session.binary] + list(args), env=session.env,
                                        stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                        cwd=cwd or session.home, start_new_session=True)
        self.pid = self.process.pid

    def running(self):
        return self.process.poll() is None

    def wait_end(self, timeout):
        """The exit status, or None when it still runs after timeout seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self, sig=signal.SIGKILL):
        if self.running():
            os.kill(self.pid, sig)

    def end_group(self):
        # The web engine's helpers share the group; they outlive a killed main process otherwise.
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        self.log.close()


class Session:
    def __init__(self, name, limit, user=None):
        self.name = name
        self.limit = limit
        self.user = user  # (uid, gid) to run the bus and the program as, or None
        self.binary = os.path.abspath(os.environ.get("KORIMADO_BINARY") or sys.argv[1])
        self.shots = os.environ.get("KORIMADO_DESKTOP_SHOTS") or (sys.argv[2] if len(sys.argv) > 2 else None)
        if self.shots:
            self.shots = os.path.join(self.shots, name)
            shutil.rmtree(self.shots, ignore_errors=True)
            os.makedirs(self.shots)
        self.services = []
        self.programs = []
        self.shot_count = 0
        self.root = None

    # -- the session itself -------------------------------------------------------------------

    def __enter__(self):
        for tool in ("Xvfb", "openbox", "xdotool", "import", "convert", "dbus-daemon"):
            if not shutil.which(tool):
                raise RoadSkipped(f"{tool} is not installed (scripts/install-deps installs it)")
        if not os.access(self.binary, os.X_OK):
            raise RoadFailed(f"no program at {self.binary}")
        signal.signal(signal.SIGALRM, self._out_of_time)
        signal.signal(signal.SIGTERM, self._terminated)
        signal.alarm(self.limit)
        try:
            self._start_session()
        except BaseException:
            self.stop()  # a with block whose entry fails never reaches its exit
            raise
        return self

    def _start_session(self):
        self.root = tempfile.mkdtemp(prefix=f"korimado-desktop-{self.name}-")
        os.chmod(self.root, 0o755)
        for sub in ("home", "config", "data", "cache", "run", "tmp"):
            os.makedirs(os.path.join(self.root, sub))
        os.chmod(os.path.join(self.root, "run"), 0o700)
        os.chmod(os.path.join(self.root, "tmp"), 0o1777)
        self.home = os.path.join(self.root, "home")
        self._start_display()
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": self.display, "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"), "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"), "XDG_RUNTIME_DIR": os.path.join(self.root, "run"),
            "TMPDIR": os.path.join(self.root, "tmp"), "LANG": "C.UTF-8", "QT_QPA_PLATFORM": "xcb",
            "QTWEBENGINE_CHROMIUM_FLAGS": "--no-sandbox", "QTWEBENGINE_DISABLE_SANDBOX": "1",
        }
        if self.user:
            subprocess.run(["chown", "-R", f"{self.user[0]}:{self.user[1]}", self.root], check=True)
        self._start_service(["openbox"], "openbox.log")
        self._start_bus()

    def __exit__(self, kind, value, trace):
        signal.alarm(0)
        if kind is not None and not issubclass(kind, RoadSkipped):
            self.shot("failure")
            for program in self.programs:
                program.log.flush()
                with open(program.log.name, "rb") as log:
                    tail = log.read()[-3000:].decode(errors="replace")
                if tail.strip():
                    print(f"--- {os.path.basename(program.log.name)} ---\n{tail}", file=sys.stderr)
        self.stop()
        return False

    def stop(self):
        if getattr(self, "keyboard", None):
            self.keyboard.close()
            self.keyboard = None
        for program in self.programs:
            program.end_group()
        self.programs = []
        # Asked first: a killed Xvfb leaves its lock and socket in /tmp.
        for process in reversed(self.services):
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.killpg(process.pid, sig)
                except ProcessLookupError:
                    break
                try:
                    process.wait(timeout=5)
                    break
                except subprocess.TimeoutExpired:
                    pass
            try:
                os.killpg(process.pid, signal.SIGKILL)  # what the group left behind
            except ProcessLookupError:
                pass
        self.services = []
        for hook in getattr(self, "stop_hooks", []):
            hook()
        if self.root and os.environ.get("KORIMADO_DESKTOP_KEEP") and self.shots:
            for log in os.listdir(self.root):
                if log.endswith(".log"):
                    shutil.copy(os.path.join(self.root, log), self.shots)
        if self.root:
            shutil.rmtree(self.root, ignore_errors=True)
            self.root = None

    def _out_of_time(self, *_):
        raise RoadFailed(f"the road took longer than its limit of {self.limit} s")

    def _terminated(self, *_):
        raise RoadFailed("terminated")

    def user_prefix(self):
        if not self.user:
            return []
        return ["setpriv", f"--reuid={self.user[0]}", f"--regid={self.user[1]}", "--clear-groups"]

    def _start_service(self, command, log, pass_fds=(), as_user=True):
        out = open(os.path.join(self.root, log), "wb")
        prefix = self.user_prefix() if as_user else []
        process = subprocess.Popen(prefix + command, env=getattr(self, "env", None), stdout=out,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, pass_fds=pass_fds,
                                   start_new_session=True)
        out.close()
        self.services.append(process)
        return process

    def _start_display(self):
        read, write = os.pipe()
        self._start_service(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                             "-nolisten", "tcp", "-noreset"], "xvfb.log", pass_fds=(write,), as_user=False)
        os.close(write)
        number = _pipe_line(read, 20)
        if not number:
            raise RoadFailed("Xvfb did not start")
        self.display = f":{number}"

    def _start_bus(self):
        read, write = os.pipe()
        if self.user:
            os.set_inheritable(write, True)
        self._start_service(["dbus-daemon", "--session", "--nofork", f"--print-address={write}",
                             f"--address=unix:dir={self.env['XDG_RUNTIME_DIR']}"], "bus.log", pass_fds=(write,))
        os.close(write)
        address = _pipe_line(read, 20)
        if not address:
            raise RoadFailed("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    # -- files ---------------------------------------------------------------------------------

    def path(self, *parts):
        return os.path.join(self.home, *parts)

    def write(self, relative, data):
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        if self.user:
            os.chown(path, *self.user)
            os.chown(os.path.dirname(path), *self.user)
        return path

    def read(self, relative):
        with open(self.path(relative), "rb") as f:
            return f.read()

    def wait_file(self, relative, check, timeout=10, what="the file"):
        """Waits until check(bytes) holds for the file; returns its bytes."""
        deadline = time.monotonic() + timeout
        data = None
        while time.monotonic() < deadline:
            try:
                data = self.read(relative)
                if check(data):
                    return data
            except FileNotFoundError:
                data = None
            time.sleep(0.1)
        raise RoadFailed(f"{what} ({relative}) never came to hold what it should; it holds {data!r}")

    def expect_file(self, relative, expected, timeout=10):
        return self.wait_file(relative, lambda data: data == expected, timeout, f"expected {expected!r}")

    def files_under(self, top):
        """Every file under a folder of the session, with its bytes."""
        found = {}
        for folder, _, names in os.walk(os.path.join(self.root, top)):
            for name in names:
                path = os.path.join(folder, name)
                try:
                    with open(path, "rb") as f:
                        found[path] = f.read()
                except OSError:
                    pass
        return found

    # -- the program ----------------------------------------------------------------------------

    def start(self, *args, log=None, cwd=None):
        program = Program(self, args, log or f"korimado-{len(self.programs) + 1}.log", cwd=cwd)
        self.programs.append(program)
        return program

    def start_other(self, binary, *args, log):
        """Another program under the same display and bus, ended with the session."""
        program = Program(self, args, log, binary)
        self.programs.append(program)
        return program

    def run(self, *command, timeout=10, check=True):
        result = subprocess.run(self.user_prefix() + list(command), env=self.env, capture_output=True,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise RoadFailed(f"{command[0]} failed: {result.stderr.decode(errors='replace').strip()}")
        return result.stdout.decode(errors="replace")

    # -- windows -------------------------------------------------------------------------------

    def windows(self, pattern=None):
        """The visible windows, optionally only those whose name matches (a regular expression)."""
        # Dialogs name themselves only in _NET_WM_NAME, which a search by name misses: by class too.
        ids = []
        for field in ("--name", "--class"):
            result = subprocess.run(["xdotool", "search", "--onlyvisible", field, "."], env=self.env,
                                    capture_output=True, timeout=10)
            ids += [wid for wid in result.stdout.decode().split() if wid not in ids]
        shown = []
        for wid in ids:
            title = self.title(wid)
            if title is not None and (pattern is None or re.search(pattern, title)):
                shown.append(wid)
        return shown

    def title(self, wid):
        result = subprocess.run(["xdotool", "getwindowname", wid], env=self.env, capture_output=True, timeout=10)
        return result.stdout.decode(errors="replace").rstrip("\n") if result.returncode == 0 else None

    def titles(self):
        return [self.title(w) for w in self.windows()]

    def wait_window(self, pattern, timeout=45, what=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.windows(pattern)
            if found:
                return found[-1]
            if self.programs and not any(p.running() for p in self.programs):
                codes = [p.process.returncode for p in self.programs]
                raise RoadFailed(f"the program ended (status {codes}) before a window {what or pattern!r} showed")
            time.sleep(0.2)
        states = ["running" if p.running() else f"ended {p.process.returncode}" for p in self.programs]
        raise RoadFailed(f"no window {what or pattern!r} appeared in {timeout} s; windows: {self.titles()}; "
                         f"programs: {states}")

    def wait_new_window(self, known, timeout=10, what="a new window"):
        """A shown window not among known (ids), such as a question or a panel."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            fresh = [w for w in self.windows() if w not in known]
            if fresh:
                time.sleep(0.3)  # mapped is not yet drawn
                return fresh[-1]
            time.sleep(0.2)
        raise RoadFailed(f"{what} did not appear in {timeout} s; windows: {self.titles()}")

    def wait_gone(self, wid, timeout=10, what="the window"):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if wid not in self.windows():
                return
            time.sleep(0.2)
        raise RoadFailed(f"{what} was still shown after {timeout} s")

    def wait_no_window(self, pattern, timeout=10, what=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.windows(pattern):
                return
            time.sleep(0.2)
        raise RoadFailed(f"window {what or pattern!r} still shown after {timeout} s; windows: {self.titles()}")

    def wait_title(self, wid, check, timeout=10, what="the title"):
        deadline = time.monotonic() + timeout
        title = None
        while time.monotonic() < deadline:
            title = self.title(wid)
            if title is not None and check(title):
                return title
            time.sleep(0.1)
        raise RoadFailed(f"{what} never came; the window's title is {title!r}")

    def window_pid(self, wid):
        """The process that owns a window, or None for a window that does not say."""
        found = self.run("xdotool", "getwindowpid", wid, check=False).strip()
        return int(found) if found.isdigit() else None

    def place(self, wid, x=0, y=0, width=1200, height=800):
        """Gives the window a known place and size, and the focus."""
        self.run("xdotool", "windowsize", "--sync", wid, str(width), str(height))
        self.run("xdotool", "windowmove", "--sync", wid, str(x), str(y), check=False)
        self.activate(wid)
        time.sleep(0.3)

    def activate(self, wid):
        self.run("xdotool", "windowactivate", "--sync", wid, timeout=10, check=False)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if self.run("xdotool", "getactivewindow", check=False).strip() == wid:
                return
            time.sleep(0.1)
        raise RoadFailed(f"window {self.title(wid)!r} never got the focus")

    def geometry(self, wid):
        """The window's inside (x, y, width, height) on the screen."""
        values = {}
        for line in self.run("xdotool", "getwindowgeometry", "--shell", wid).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    # -- input ---------------------------------------------------------------------------------

    def key(self, *keys, delay=60):
        self.run("xdotool", "key", "--clearmodifiers", "--delay", str(delay), *keys)
        time.sleep(0.15)

    def type(self, text, delay=40):
        if not text.isascii():
            return self._type_unmapped(text)
        self.run("xdotool", "type", "--clearmodifiers", "--delay", str(delay), text, timeout=60)
        time.sleep(0.2)

    def _type_unmapped(self, text):
        # xdotool binds a character outside the keyboard map to a spare key and unbinds it at once,
        # often before the program has read the key: characters go missing or come twice. Here
        # every character keeps a spare key of its own for the whole session.
        if not getattr(self, "keyboard", None):
            self.keyboard = Keyboard(self.display)
        self.keyboard.type(text)

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button))
        time.sleep(0.2)

    def drag(self, start, end, steps=12):
        """Presses the left button at start, moves to end in steps and lets go there."""
        self.run("xdotool", "mousemove", "--sync", str(start[0]), str(start[1]), "mousedown", "1")
        time.sleep(0.3)
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.run("xdotool", "mousemove", str(x), str(y))
            time.sleep(0.05)
        time.sleep(0.4)  # the target answers the last position before the button is let go
        self.run("xdotool", "mouseup", "1")
        time.sleep(0.3)

    def command(self, name):
        """Runs a menu command by (a part of) its name from the quick actions (Ctrl+K), as a user who
        knows the name does."""
        front = self.run("xdotool", "getactivewindow", check=False).strip()
        self.key("ctrl+k")
        panel = self.wait_window("^クイックアクション$", what="the quick actions")
        self.activate(panel)
        self.type(name)
        time.sleep(0.3)
        self.shot("quick-actions")
        self.key("Return")
        time.sleep(0.3)
        return front

    # -- the screen ----------------------------------------------------------------------------

    def shot(self, name):
        """A picture of the whole screen, kept among the road's pictures; returns it as a Picture."""
        self.shot_count += 1
        folder = self.shots or self.root
        if not folder:
            return None
        path = os.path.join(folder, f"{self.shot_count:02d}-{name}.png")
        result = subprocess.run(["import", "-window", "root", path], env=getattr(self, "env", None),
                                capture_output=True, timeout=20)
        if result.returncode != 0:
            return None
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, timeout=20).stdout
        return Picture(raw, SCREEN[0], SCREEN[1])


class Keyboard:
    """Keys through XTEST, with spare key codes bound to the characters the keyboard map lacks."""

    def __init__(self, display):
        import ctypes
        import ctypes.util
        self.c = ctypes
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        self.x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                                 ctypes.POINTER(ctypes.c_int)]
        self.x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                    ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
        self.x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                              ctypes.POINTER(ctypes.c_int)]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RoadFailed("cannot open the display for typing")
        self.codes = {}
        self.spare = None

    def close(self):
        self.x11.XCloseDisplay(self.display)

    def _bind(self, code, keysym):
        symbols = (self.c.c_ulong * 2)(keysym, keysym)
        self.x11.XChangeKeyboardMapping(self.display, code, 2, symbols, 1)

    def _spare_codes(self):
        low, high, per = self.c.c_int(), self.c.c_int(), self.c.c_int()
        self.x11.XDisplayKeycodes(self.display, self.c.byref(low), self.c.byref(high))
        count = high.value - low.value + 1
        table = self.x11.XGetKeyboardMapping(self.display, low.value, count, self.c.byref(per))
        spare = [low.value + i for i in range(count)
                 if all(table[i * per.value + j] == 0 for j in range(per.value))]
        self.x11.XFree(table)
        return spare

    def type(self, text):
        if self.spare is None:
            self.spare = self._spare_codes()
        fresh = [c for c in dict.fromkeys(text) if c not in self.codes]
        if len(fresh) > len(self.spare):
            raise RoadFailed("the keyboard map has too few spare keys for the text")
        for character in fresh:
            code = self.spare.pop(0)
            point = ord(character)
            self._bind(code, point if point < 0x100 else 0x01000000 | point)
            self.codes[character] = code
        self.x11.XSync(self.display, 0)
        if fresh:
            time.sleep(0.5)  # the program reads the new map before the keys
        for character in text:
            self.xtst.XTestFakeKeyEvent(self.display, self.codes[character], 1, 0)
            self.xtst.XTestFakeKeyEvent(self.display, self.codes[character], 0, 0)
            self.x11.XSync(self.display, 0)
            time.sleep(0.05)
        time.sleep(0.2)


class Picture:
    """The screen's pixels as RGB triples."""

    def __init__(self, raw, width, height):
        if len(raw) != width * height * 3:
            raise RoadFailed("a screen grab had the wrong size")
        self.raw, self.width, self.height = raw, width, height

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.raw[i:i + 3])

    def colours(self, box):
        """Counts of each colour in the box (x, y, width, height)."""
        x, y, w, h = box
        counts = {}
        for row in range(y, y + h):
            line = self.raw[(row * self.width + x) * 3:(row * self.width + x + w) * 3]
            for i in range(0, len(line), 3):
                colour = line[i:i + 3]
                counts[colour] = counts.get(colour, 0) + 1
        return counts

    def background(self, box):
        counts = self.colours(box)
        return tuple(max(counts, key=counts.get))

    def ink(self, box, background=None, tolerance=40):
        """How many pixels of the box stand apart from its background (its commonest colour)."""
        counts = self.colours(box)
        ground = background or tuple(max(counts, key=counts.get))
        return sum(n for colour, n in counts.items()
                   if sum(abs(a - b) for a, b in zip(colour, ground)) > tolerance)

    def rows_with_ink(self, box, background=None, tolerance=40):
        """The rows (screen y) of the box that hold a pixel apart from the background."""
        x, y, w, h = box
        ground = background or self.background(box)
        rows = []
        for row in range(y, y + h):
            line = self.raw[(row * self.width + x) * 3:(row * self.width + x + w) * 3]
            for i in range(0, len(line), 3):
                if sum(abs(line[i + k] - ground[k]) for k in range(3)) > tolerance:
                    rows.append(row)
                    break
        return rows


def runs(rows, gap=1):
    """Groups sorted row numbers into runs of neighbours: [(first, last), ...]."""
    found = []
    for row in rows:
        if found and row - found[-1][1] <= gap:
            found[-1] = (found[-1][0], row)
        else:
            found.append((row, row))
    return found


def road(name, limit, user=None):
    """Runs a road's function in a fresh session; exits 0, 1 (failed) or SKIP."""
    def wrap(function):
        try:
            with Session(name, limit, user) as session:
                function(session)
        except RoadSkipped as skipped:
            print(f"{name}: skipped: {skipped}")
            sys.exit(SKIP)
        except RoadFailed as failed:
            print(f"{name}: FAILED: {failed}", file=sys.stderr)
            sys.exit(1)
        print(f"{name}: passed")
        sys.exit(0)
    return wrap
