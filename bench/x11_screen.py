"""Keys and screen pixels of an X display, for timing a key's way to the screen.

Keys go in through the XTEST extension (as xdotool sends them, without starting a process per
key), and a small box of the screen is read through MIT-SHM, so that polling it costs tens of
microseconds. Only ctypes and the X libraries every X desktop has are used.
"""

import ctypes
import ctypes.util
import time

IPC_PRIVATE = 0
IPC_CREAT = 0o1000
IPC_RMID = 0
Z_PIXMAP = 2
ALL_PLANES = ctypes.c_ulong(-1).value


class XImage(ctypes.Structure):
    # Only the leading fields are read; the structure is never made here, only pointed to.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class XShmSegmentInfo(ctypes.Structure):
    _fields_ = [("shmseg", ctypes.c_ulong), ("shmid", ctypes.c_int), ("shmaddr", ctypes.c_void_p),
                ("readOnly", ctypes.c_int)]


def _load(name):
    return ctypes.CDLL(ctypes.util.find_library(name) or f"lib{name}.so.6")


class Display:
    """One connection to the display named by $DISPLAY."""

    def __init__(self):
        self.x11 = _load("X11")
        self.xext = _load("Xext")
        self.xtst = _load("Xtst")
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
        self.x11.XRootWindow.restype = ctypes.c_ulong
        self.x11.XRootWindow.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XDefaultVisual.restype = ctypes.c_void_p
        self.x11.XDefaultVisual.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XDefaultDepth.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xext.XShmQueryExtension.argtypes = [ctypes.c_void_p]
        self.xext.XShmCreateImage.restype = ctypes.POINTER(XImage)
        self.xext.XShmCreateImage.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                              ctypes.c_void_p, ctypes.POINTER(XShmSegmentInfo),
                                              ctypes.c_uint, ctypes.c_uint]
        self.xext.XShmAttach.argtypes = [ctypes.c_void_p, ctypes.POINTER(XShmSegmentInfo)]
        self.xext.XShmDetach.argtypes = [ctypes.c_void_p, ctypes.POINTER(XShmSegmentInfo)]
        self.xext.XShmGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XImage), ctypes.c_int,
                                           ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.libc.shmget.argtypes = [ctypes.c_int, ctypes.c_size_t, ctypes.c_int]
        self.libc.shmat.restype = ctypes.c_void_p
        self.libc.shmat.argtypes = [ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        self.libc.shmdt.argtypes = [ctypes.c_void_p]
        self.libc.shmctl.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_void_p]

        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("cannot open the display")
        if not self.xext.XShmQueryExtension(self.display):
            raise RuntimeError("the display has no MIT-SHM extension")
        screen = self.x11.XDefaultScreen(self.display)
        self.root = self.x11.XRootWindow(self.display, screen)
        self.visual = self.x11.XDefaultVisual(self.display, screen)
        self.depth = self.x11.XDefaultDepth(self.display, screen)

    def close(self):
        self.x11.XCloseDisplay(self.display)

    def keycode(self, name):
        return self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))

    def key(self, code):
        """Presses and releases a key; returns the monotonic time (ms) just before it went out."""
        start = time.perf_counter() * 1000.0
        self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.x11.XFlush(self.display)
        return start

    def box(self, x, y, width, height):
        return Box(self, x, y, width, height)


class Box:
    """A rectangle of the screen read through shared memory."""

    def __init__(self, display, x, y, width, height):
        self.d = display
        self.x, self.y = x, y
        self.info = XShmSegmentInfo()
        self.image = display.xext.XShmCreateImage(display.display, display.visual, display.depth, Z_PIXMAP, None,
                                                  ctypes.byref(self.info), width, height)
        size = self.image.contents.bytes_per_line * height
        self.size = size
        self.info.shmid = display.libc.shmget(IPC_PRIVATE, size, IPC_CREAT | 0o600)
        if self.info.shmid < 0:
            raise RuntimeError("shmget failed")
        self.info.shmaddr = display.libc.shmat(self.info.shmid, None, 0)
        self.info.readOnly = 0
        self.image.contents.data = self.info.shmaddr
        display.xext.XShmAttach(display.display, ctypes.byref(self.info))
        display.x11.XSync(display.display, 0)
        # Gone once both sides detach, even if this process dies.
        display.libc.shmctl(self.info.shmid, IPC_RMID, None)

    def grab(self):
        self.d.xext.XShmGetImage(self.d.display, self.d.root, self.image, self.x, self.y, ALL_PLANES)
        return ctypes.string_at(self.info.shmaddr, self.size)

    def close(self):
        self.d.xext.XShmDetach(self.d.display, ctypes.byref(self.info))
        self.d.x11.XSync(self.d.display, 0)
        self.d.libc.shmdt(self.info.shmaddr)

    def wait_change(self, before, timeout_ms=2000):
        """Polls until the box differs from before; returns the monotonic time (ms) it was seen."""
        deadline = time.perf_counter() * 1000.0 + timeout_ms
        while True:
            frame = self.grab()
            seen = time.perf_counter() * 1000.0
            if frame != before:
                return seen
            if seen > deadline:
                return None


def changed_box(before, after, width, bytes_per_line, bpp=4):
    """The bounding box (x0, y0, x1, y1) of the pixels that differ between two grabs of one box."""
    x0 = y0 = 10 ** 9
    x1 = y1 = -1
    rows = len(before) // bytes_per_line
    for row in range(rows):
        a = before[row * bytes_per_line:(row + 1) * bytes_per_line]
        b = after[row * bytes_per_line:(row + 1) * bytes_per_line]
        if a == b:
            continue
        y0, y1 = min(y0, row), max(y1, row)
        for col in range(width):
            if a[col * bpp:(col + 1) * bpp] != b[col * bpp:(col + 1) * bpp]:
                x0, x1 = min(x0, col), max(x1, col)
    return None if y1 < 0 else (x0, y0, x1, y1)
