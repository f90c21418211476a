"""End-to-end tests of the ornament on a real X server: each test starts a private Xvfb with
openbox, runs the product programs with a temporary XDG_CONFIG_HOME and checks with X what a
user would see and do. Usage: ornament_e2e.py BUILD_DIR [unittest arguments]."""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import SCREEN_H, SCREEN_W, XSession, pixel, wait_for  # noqa: E402

BUILD = None
PRODUCTS = {"fernlight": "Fernlight", "velmora": "Velmora", "sarnith": "Sarnith"}


def product_dir(product):
    return os.path.join(BUILD, "app", "products", product)


def image_size(path):
    out = subprocess.run(["identify", "-format", "%W %H\n", path], capture_output=True,
                         text=True, check=True).stdout.split("\n")[0]
    w, h = out.split()
    return int(w), int(h)


def stored_client_height(product):
    with open(os.path.join(product_dir(product), "main.dfm"), encoding="latin-1") as f:
        return int(re.search(r"^\s*ClientHeight\s*=\s*(\d+)", f.read(), re.M).group(1))


def mask_inside(product):
    """The set of (x, y) mask pixels that are not white: the tree's outline."""
    path = os.path.join(product_dir(product), "mask.bmp")
    w, h = image_size(path)
    rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return {(x, y) for y in range(h) for x in range(w)
            if rgb[(y * w + x) * 3:(y * w + x) * 3 + 3] != b"\xff\xff\xff"}


_frames_cache = {}


def composed_frames(product):
    """Every frame of the product's picture as the animation shows it: lists of RGBA bytes."""
    if product in _frames_cache:
        return _frames_cache[product]
    gif = os.path.join(product_dir(product), "picture.gif")
    out = tempfile.mkdtemp(prefix="orn-frames-")
    subprocess.run([os.path.join(BUILD, "tools", "giftool"), "frames", gif, out, "--composed"],
                   check=True, capture_output=True)
    frames = []
    for name in sorted(os.listdir(out)):
        frames.append(subprocess.run(["convert", os.path.join(out, name), "-depth", "8", "rgba:-"],
                                     capture_output=True, check=True).stdout)
    shutil.rmtree(out)
    _frames_cache[product] = frames
    return frames


def read_settings(config, name):
    path = os.path.join(config, name, "settings.reg")
    values = {}
    with open(path, encoding="utf-8") as f:
        for m in re.finditer(r'^"(\w+)"=dword:([0-9a-fA-F]{8})\s*$', f.read(), re.M):
            v = int(m.group(2), 16)
            values[m.group(1)] = v - (1 << 32) if v >= 1 << 31 else v
    return values


def inside_point(rects):
    x, y, w, h = max(rects, key=lambda r: r[2] * r[3])
    return x + w // 2, y + h // 2


class OrnamentTest(unittest.TestCase):
    def setUp(self):
        self.x = XSession()
        self.tmp = tempfile.mkdtemp(prefix="orn-e2e-")
        self.config = os.path.join(self.tmp, "config")
        os.makedirs(self.config)
        self.runs = 0

    def tearDown(self):
        self.x.close()
        shutil.rmtree(self.tmp)

    def start(self, product, *args, extra_env=None):
        self.runs += 1
        err = os.path.join(self.tmp, f"{product}-{self.runs}.err")
        p = self.x.start([os.path.join(BUILD, "app", product), *args], self.config, err,
                         extra_env)
        p.stderr_path = err
        return p

    def stderr_of(self, p):
        with open(p.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def open_menu(self, window):
        x, y, _, _ = self.x.geometry(window)
        px, py = inside_point(self.x.shape_rectangles(window))
        self.x.xdotool("mousemove", x + px, y + py)
        time.sleep(0.1)
        self.x.xdotool("click", 3)
        wait_for(self.x.popup_menus, what="the popup menu")

    def choose(self, window, keys, submenu=False):
        """Opens the menu and walks it with the keyboard: keys, then Return."""
        self.open_menu(window)
        for k in keys:
            self.x.xdotool("key", k)
            if k == "Right":
                wait_for(lambda: len(self.x.popup_menus()) >= 2, what="the submenu")
        self.x.xdotool("key", "Return")
        wait_for(lambda: not self.x.popup_menus(), what="the menu to close")

    # Menu rows, from the top: About, Download, Transparent, OnTop, StartUp, Add, Exit.
    def choose_level(self, window, level):
        self.choose(window, ["Down"] * 3 + ["Right"] + ["Down"] * level)

    def exit_via_menu(self, window, p):
        self.choose(window, ["Down"] * 7)
        self.assertEqual(p.wait(15), 0)

    def wait_exit(self, p):
        self.assertEqual(p.wait(15), 0)

    # ---- first run ---------------------------------------------------------------------

    def check_first_run(self, product):
        before = self.x.screenshot()
        p = self.start(product)
        w = self.x.window_of(p.pid)
        pic_w, pic_h = image_size(os.path.join(product_dir(product), "picture.gif") + "[0]")
        # Bottom right of the work area (the whole screen here), placed with the stored
        # height, then sized to the picture.
        wait_for(lambda: self.x.geometry(w) == (SCREEN_W - pic_w - 5,
                                                SCREEN_H - stored_client_height(product),
                                                pic_w, pic_h),
                 what=f"{product} at its first-run place, got {self.x.geometry(w)}")
        left, top, _, _ = self.x.geometry(w)

        # The X shape is exactly the mask's black area.
        inside = mask_inside(product)
        rects = wait_for(lambda: self.x.shape_rectangles(w), what="the window shape")
        shaped = set()
        for rx, ry, rw, rh in rects:
            shaped.update((x, y) for y in range(ry, ry + rh) for x in range(rx, rx + rw))
        self.assertEqual(shaped, inside)

        # Window state of a first run.
        state = wait_for(lambda: self.x.net_wm_state(w) if "_NET_WM_STATE_ABOVE" in
                         self.x.net_wm_state(w) else None, what="keep-above")
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)
        self.assertIn("_NET_WM_STATE_SKIP_PAGER", state)
        self.assertAlmostEqual(self.x.opacity(w), 230, places=3)

        # The screen shows the tree inside the shape and the desktop outside it, and the tree
        # animates.
        frames = composed_frames(product)

        def best_frame(shot):
            best, best_score = None, -1.0
            for i, f in enumerate(frames):
                hits = total = 0
                for (x, y) in inside:
                    a = f[(y * pic_w + x) * 4 + 3]
                    if a != 255:
                        continue
                    total += 1
                    hits += pixel(shot, left + x, top + y) == f[(y * pic_w + x) * 4:
                                                                 (y * pic_w + x) * 4 + 3]
                score = hits / max(total, 1)
                if score > best_score:
                    best, best_score = i, score
            return best, best_score

        def showing_tree():
            shot = self.x.screenshot()
            frame, score = best_frame(shot)
            return (shot, frame) if score >= 0.98 else None

        shot, first = wait_for(showing_tree, what="the tree on the screen")
        for y in range(pic_h):
            for x in range(pic_w):
                if (x, y) not in inside:
                    self.assertEqual(pixel(shot, left + x, top + y),
                                     pixel(before, left + x, top + y), (x, y))
        if len(frames) > 1:
            wait_for(lambda: (lambda r: r and r[1] != first)(showing_tree()), timeout=15,
                     what="another frame of the animation")
        p.terminate()
        self.wait_exit(p)
        self.assertEqual(self.stderr_of(p), "")

    def test_first_run_fernlight(self):
        self.check_first_run("fernlight")

    def test_first_run_velmora(self):
        self.check_first_run("velmora")

    def test_first_run_sarnith(self):
        self.check_first_run("sarnith")

    # ---- tooltip -------------------------------------------------------------------------

    def test_resting_the_mouse_shows_the_countdown_tooltip(self):
        p = self.start("fernlight")
        w = self.x.window_of(p.pid)
        px, py = inside_point(wait_for(lambda: self.x.shape_rectangles(w), what="the shape"))
        x, y, _, _ = self.x.geometry(w)
        self.x.xdotool("mousemove", x + px, y + py)
        time.sleep(0.05)
        self.x.xdotool("mousemove", x + px + 1, y + py)

        def tooltip():
            out = self.x.run(["xdotool", "search", "--onlyvisible", "--name", ""])
            for v in out.split():
                if "_NET_WM_WINDOW_TYPE_TOOLTIP" in self.x.prop(v, "_NET_WM_WINDOW_TYPE"):
                    return int(v)
            return None

        t = wait_for(tooltip, what="the tooltip")
        tx, ty, tw, th = self.x.geometry(t)
        # At the mouse, pushed left when it would leave the screen.
        self.assertTrue(tx == x + px + 1 or tx + tw == SCREEN_W, (tx, tw))
        # Below the mouse, or above it when there is no room below.
        self.assertTrue(0 < ty - (y + py) <= 40 or 0 <= (y + py) - (ty + th) <= 10, (ty, th))
        self.assertGreater(tw, 40)
        p.terminate()
        self.wait_exit(p)

    # ---- menu ----------------------------------------------------------------------------

    def test_menu_level_ontop_and_add(self):
        p = self.start("fernlight")
        w = self.x.window_of(p.pid)
        wait_for(lambda: self.x.opacity(w), what="opacity")
        self.choose_level(w, 5)
        wait_for(lambda: abs(self.x.opacity(w) - 130) < 1e-3, what="opacity 130/255")
        self.choose_level(w, 0)
        wait_for(lambda: self.x.opacity(w) is None, what="an opaque window")
        self.choose_level(w, 1)
        wait_for(lambda: abs((self.x.opacity(w) or 0) - 230) < 1e-3, what="opacity 230/255")

        wait_for(lambda: "_NET_WM_STATE_ABOVE" in self.x.net_wm_state(w), what="keep-above")
        self.choose(w, ["Down"] * 4)  # OnTop
        wait_for(lambda: "_NET_WM_STATE_ABOVE" not in self.x.net_wm_state(w),
                 what="keep-above to go")
        self.choose(w, ["Down"] * 4)
        wait_for(lambda: "_NET_WM_STATE_ABOVE" in self.x.net_wm_state(w),
                 what="keep-above again")

        # Add starts a second, independent process whose window appears elsewhere.
        first_place = self.x.geometry(w)[:2]
        self.choose(w, ["Down"] * 6)
        exe = os.path.realpath(os.path.join(BUILD, "app", "fernlight"))

        def other_window():
            out = self.x.run(["xdotool", "search", "--onlyvisible", "--name", "^Tolvane$"])
            others = [int(v) for v in out.split() if int(v) != w]
            return others[0] if others else None

        w2 = wait_for(other_window, timeout=15, what="the added tree")
        pid2 = int(self.x.prop(w2, "_NET_WM_PID").split("=")[1])
        self.assertNotEqual(pid2, p.pid)
        with open(f"/proc/{pid2}/cmdline", "rb") as f:
            self.assertEqual(f.read().split(b"\0")[:2], [exe.encode(), b"add"])
        self.assertNotEqual(self.x.geometry(w2)[:2], first_place)
        os.kill(pid2, signal.SIGTERM)
        wait_for(lambda: not os.path.exists(f"/proc/{pid2}") or
                 open(f"/proc/{pid2}/stat").read().split()[2] == "Z", what="the added tree to end")
        self.exit_via_menu(w, p)

    # ---- dragging ------------------------------------------------------------------------

    def test_drag_with_left_and_middle_buttons_click_stays(self):
        p = self.start("velmora")
        w = self.x.window_of(p.pid)
        wait_for(lambda: self.x.shape_rectangles(w), what="the shape")
        px, py = inside_point(self.x.shape_rectangles(w))
        x0, y0, _, _ = self.x.geometry(w)
        self.x.drag(1, x0 + px, y0 + py, -300, -200)
        wait_for(lambda: self.x.geometry(w)[:2] == (x0 - 300, y0 - 200),
                 what=f"the left drag to land, at {self.x.geometry(w)[:2]}")
        x1, y1 = x0 - 300, y0 - 200
        self.x.drag(2, x1 + px, y1 + py, 120, -50)
        wait_for(lambda: self.x.geometry(w)[:2] == (x1 + 120, y1 - 50),
                 what=f"the middle drag to land, at {self.x.geometry(w)[:2]}")
        x2, y2 = x1 + 120, y1 - 50
        for button in (1, 2):
            self.x.xdotool("mousemove", x2 + px, y2 + py)
            self.x.xdotool("click", button)
        time.sleep(0.5)
        self.assertEqual(self.x.geometry(w)[:2], (x2, y2))
        # The form followed the window: its place is what Exit saves.
        self.exit_via_menu(w, p)
        s = read_settings(self.config, "Velmora")
        self.assertEqual((s["Left"], s["Top"]), (x2, y2))

    # ---- settings ------------------------------------------------------------------------

    def test_exit_saves_and_the_next_start_restores(self):
        p = self.start("sarnith")
        w = self.x.window_of(p.pid)
        self.choose_level(w, 7)
        self.choose(w, ["Down"] * 4)  # OnTop off
        px, py = inside_point(wait_for(lambda: self.x.shape_rectangles(w), what="the shape"))
        x0, y0, _, _ = self.x.geometry(w)
        self.x.drag(1, x0 + px, y0 + py, -400, -333)
        wait_for(lambda: self.x.geometry(w)[:2] == (x0 - 400, y0 - 333), what="the drag")
        self.exit_via_menu(w, p)
        self.assertEqual(read_settings(self.config, "Sarnith"),
                         {"OnTop": 0, "TrVal": 7, "Top": y0 - 333, "Left": x0 - 400})
        self.assertTrue(os.path.exists(os.path.join(self.config, "autostart", "Sarnith.desktop")))

        p = self.start("sarnith")
        w = self.x.window_of(p.pid)
        wait_for(lambda: self.x.geometry(w)[:2] == (x0 - 400, y0 - 333), what="the saved place")
        wait_for(lambda: abs((self.x.opacity(w) or 0) - 80) < 1e-3, what="opacity 80/255")
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.x.net_wm_state(w))
        # SIGTERM (log-off, shutdown) saves as well.
        self.choose_level(w, 2)
        p.terminate()
        self.wait_exit(p)
        self.assertEqual(read_settings(self.config, "Sarnith")["TrVal"], 2)

    def test_a_damaged_settings_file_is_reported_and_the_ornament_still_appears(self):
        os.makedirs(os.path.join(self.config, "Fernlight"))
        with open(os.path.join(self.config, "Fernlight", "settings.reg"), "w") as f:
            f.write('Windows Registry Editor Version 5.00\n\n'
                    '[HKEY_CURRENT_USER\\Software\\Fernlight]\n"TrVal"="abc"\n')
        p = self.start("fernlight")
        wait_for(lambda: "Invalid data type for 'TrVal'" in self.stderr_of(p),
                 what="the error on standard error")
        # The error report is a modal dialog with the message; the ornament shows once the
        # user has answered it.
        dialog = self.x.window_of(p.pid, name="", timeout=30)
        self.assertIn("_NET_WM_WINDOW_TYPE_DIALOG", self.x.prop(dialog, "_NET_WM_WINDOW_TYPE"))
        self.assertEqual(self.x.windows_of(p.pid, "^Tolvane$"), [])
        self.x.xdotool("windowactivate", "--sync", dialog)
        self.x.xdotool("key", "Return")
        w = self.x.window_of(p.pid)
        wait_for(lambda: self.x.geometry(w)[2] > 0, what="the ornament")
        p.terminate()
        self.wait_exit(p)

    def test_two_products_keep_separate_settings(self):
        # Velmora comes back where it was left, away from the fresh Fernlight.
        os.makedirs(os.path.join(self.config, "Velmora"))
        with open(os.path.join(self.config, "Velmora", "settings.reg"), "w") as f:
            f.write('Windows Registry Editor Version 5.00\n\n'
                    '[HKEY_CURRENT_USER\\Software\\Velmora]\n'
                    '"Top"=dword:00000064\n"Left"=dword:00000064\n')
        a = self.start("fernlight")
        b = self.start("velmora")
        wa = self.x.window_of(a.pid)
        wb = self.x.window_of(b.pid)
        self.choose_level(wa, 3)
        self.choose_level(wb, 6)
        self.exit_via_menu(wa, a)
        self.exit_via_menu(wb, b)
        self.assertEqual(read_settings(self.config, "Fernlight")["TrVal"], 3)
        self.assertEqual(read_settings(self.config, "Velmora")["TrVal"], 6)
        self.assertEqual(read_settings(self.config, "Velmora")["Left"], 100)

    # ---- no display ----------------------------------------------------------------------

    def test_without_a_display_the_program_says_so(self):
        exe = os.path.join(BUILD, "app", "fernlight")
        cases = [({}, "DISPLAY"), ({"WAYLAND_DISPLAY": "wayland-0"}, "XWayland")]
        for extra, word in cases:
            env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
            env.update(extra, XDG_CONFIG_HOME=self.config)
            r = subprocess.run([exe], env=env, capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 1)
            self.assertIn(word, r.stderr)
            self.assertTrue(r.stderr.startswith("Fernlight: "), r.stderr)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main()
