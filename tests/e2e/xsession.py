"""A private X session for end-to-end tests: Xvfb with the openbox window manager, and the
helpers that look at it the way a user would (window geometry, X shape, window properties,
screenshots) and act on it (mouse, keys). Every wait polls for a condition with a deadline."""

import ctypes
import ctypes.util
import os
import signal
import subprocess
import tempfile
import time

SCREEN_W, SCREEN_H = 1280, 1024


def wait_for(condition, timeout=20.0, interval=0.05, what="condition"):
    """Calls condition until it returns something true and returns that; raises after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


class _XRectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort)]


class XSession:
    def __init__(self):
        self.procs = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as f:
            while not number.endswith(b"\n"):
                chunk = f.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display, NO_AT_BRIDGE="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm_home = tempfile.mkdtemp(prefix="orn-wm-")
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=dict(self.env, HOME=self.wm_home),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]),
                 timeout=60, what="openbox")
        self._x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self._xext = ctypes.CDLL(ctypes.util.find_library("Xext"))
        self._x11.XOpenDisplay.restype = ctypes.c_void_p
        self._x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self._x11.XFree.argtypes = [ctypes.c_void_p]
        self._x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._xext.XShapeGetRectangles.restype = ctypes.POINTER(_XRectangle)
        self._xext.XShapeGetRectangles.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_int)]
        self._dpy = self._x11.XOpenDisplay(self.display.encode())

    def close(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        if self._dpy:
            self._x11.XCloseDisplay(self._dpy)
            self._dpy = None
        for p in (self.wm, self.xvfb):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        subprocess.run(["rm", "-rf", self.wm_home])

    # ---- programs ----------------------------------------------------------------------

    def run(self, args, check=False):
        r = subprocess.run(args, env=self.env, capture_output=True, text=True)
        if check and r.returncode != 0:
            raise AssertionError(f"{args} failed: {r.stderr}")
        return r.stdout

    def start(self, args, config_home, stderr_path, extra_env=None):
        env = dict(self.env, XDG_CONFIG_HOME=config_home)
        env.update(extra_env or {})
        with open(stderr_path, "wb") as err:
            p = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=err,
                                 start_new_session=True)
        self.procs.append(p)
        return p

    # ---- windows -----------------------------------------------------------------------

    def windows_of(self, pid, name=None):
        args = ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid)]
        if name:
            args += ["--name", name]
        else:
            args += ["--name", ""]
        return [int(w) for w in self.run(args).split()]

    def window_of(self, pid, name="^Tolvane$", timeout=30):
        return wait_for(lambda: (self.windows_of(pid, name) or [None])[0], timeout,
                        what=f"the window of process {pid}")

    def geometry(self, window):
        out = self.run(["xwininfo", "-id", str(window)])
        values = {}
        for line in out.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def prop(self, window, name):
        return self.run(["xprop", "-id", str(window), name])

    def net_wm_state(self, window):
        out = self.prop(window, "_NET_WM_STATE")
        return set(s.strip() for s in out.split("=", 1)[1].split(",")) if "=" in out else set()

    def opacity(self, window):
        """The window opacity as a fraction of 255, or None when the window has none."""
        out = self.prop(window, "_NET_WM_WINDOW_OPACITY")
        if "=" not in out:
            return None
        return int(out.split("=")[1]) * 255 / 0xFFFFFFFF

    def shape_rectangles(self, window):
        count, ordering = ctypes.c_int(0), ctypes.c_int(0)
        rects = self._xext.XShapeGetRectangles(self._dpy, window, 0, ctypes.byref(count),
                                               ctypes.byref(ordering))
        result = [(rects[i].x, rects[i].y, rects[i].width, rects[i].height)
                  for i in range(count.value)]
        if rects:
            self._x11.XFree(rects)
        return result

    def popup_menus(self):
        """The popup menu windows mapped now."""
        out = self.run(["xdotool", "search", "--onlyvisible", "--name", ""])
        menus = []
        for w in out.split():
            if "_NET_WM_WINDOW_TYPE_POPUP_MENU" in self.prop(w, "_NET_WM_WINDOW_TYPE"):
                menus.append(int(w))
        return menus

    def screenshot(self):
        """The root window as rows of (r, g, b) bytes: a bytes object, 3 per pixel."""
        return subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                              capture_output=True, check=True).stdout

    # ---- input -------------------------------------------------------------------------

    def xdotool(self, *args):
        self.run(["xdotool", *[str(a) for a in args]], check=True)

    def drag(self, button, x0, y0, dx, dy, steps=6):
        self.xdotool("mousemove", x0, y0)
        time.sleep(0.1)
        self.xdotool("mousedown", button)
        for i in range(1, steps + 1):
            time.sleep(0.05)
            self.xdotool("mousemove", x0 + dx * i // steps, y0 + dy * i // steps)
        time.sleep(0.1)
        self.xdotool("mouseup", button)


def pixel(shot, x, y):
    i = (y * SCREEN_W + x) * 3
    return shot[i:i + 3]


def signal_process(p, sig=signal.SIGTERM):
    p.send_signal(sig)
