"""The Settings dialog and the about box: every way in and out; the display;
what every window shows whole."""

import contextlib
import os
import random
import socket
import subprocess
import time

from quarn import (ABOUT, BUTTON, LABEL, MENU_ITEM, QUARN, SETTINGS, TEXT, TRANSFER, QuarnTest,
                   act, click, extents, find_all, hidden, ini, key, role, text_of, wait_for,
                   xdotool)

APEX = "N:\\QXDATA\\APEX"


class Settings(QuarnTest):
    def open(self, q):
        q.menu("Setup", "Configuration")
        dialog = q.window(SETTINGS)
        field = next(f for f in find_all(dialog, TEXT) if text_of(f) == APEX)
        field.queryEditableText().setTextContents(APEX + "\\NEW")
        return dialog

    def stored_apex(self, q):
        return ini(q.c("VALUATOR", "QUARN2.INI"))["NETWORK"]["APEXDATADIR"]

    def test_ways_out(self):
        # (way out, whether the edit is stored)
        ways = [("Save", lambda q, d: act(q.find(d, BUTTON, "Save")), True),
                ("Cancel", lambda q, d: (act(q.find(d, BUTTON, "Cancel")),
                                         q.answer("Ignore changes?", "Yes")), False),
                ("hidden Exit", lambda q, d: act(hidden(d, BUTTON, "Exit")), True),
                ("File > Exit", lambda q, d: act(hidden(d, MENU_ITEM, "Exit")), False),
                ("close box", lambda q, d: q.wm_close(SETTINGS), False)]
        q = self.quarn().start()
        os.makedirs(q.n("QXDATA", "APEX", "NEW"))
        for way, leave, stored in ways:
            with self.subTest(way):
                q.ctl("ini", "set", "C:\\VALUATOR\\QUARN2.INI", "NETWORK", "APEXDATADIR", APEX)
                leave(q, self.open(q))
                q.gone(SETTINGS)
                self.assertEqual(self.stored_apex(q), APEX + "\\NEW" if stored else APEX)
        q.no_box()

    def test_what_keeps_it_open_with_the_edit(self):
        q = self.quarn().start()
        dialog = self.open(q)  # ...\NEW does not exist
        act(q.find(dialog, BUTTON, "Save"))
        q.answer("This directory does not exist. Either correct or remove.")
        self.assertEqual(self.stored_apex(q), APEX)
        act(q.find(q.window(SETTINGS), BUTTON, "Cancel"))
        q.answer("Ignore changes?", "No")
        q.focus(SETTINGS)
        key("Escape")  # no way out: it would drop the edit without asking
        time.sleep(0.5)
        self.assertTrue(any(text_of(f) == APEX + "\\NEW" for f in find_all(q.window(SETTINGS),
                                                                         TEXT)))


class About(QuarnTest):
    def opened(self, log):
        time.sleep(1.0)  # an opener that runs late would still be counted
        return open(log).read().split() if os.path.exists(log) else []

    def test_ways_out_and_the_web_address_that_opens_once_per_click(self):
        ways = {"OK": lambda q, box: act(q.find(box, BUTTON, "OK")),
                "Escape": lambda q, box: (q.focus(ABOUT), key("Escape")),
                "close box": lambda q, box: q.wm_close(ABOUT)}
        env, log = self.fake_opener()
        q = self.quarn(env=env).start()
        for way, leave in ways.items():
            with self.subTest(way):
                q.menu("Help", "About")
                leave(q, q.window(ABOUT))
                q.gone(ABOUT)
        q.no_box()

        q.menu("Help", "About")
        box = q.window(ABOUT)
        link = next(label for label in find_all(box, LABEL) if "quarn" in text_of(label))
        for count in (1, 2):
            click(link, count=count)
            wait_for(lambda: os.path.exists(log), "the browser")
            self.assertEqual(self.opened(log), ["https://quarn.example.org/"])
            os.remove(log)
        # A press dragged off the address opens nothing.
        x, y, w, h = extents(link)
        xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
        xdotool("mousedown", 1)
        xdotool("mousemove", "--sync", x + w // 2, y + h + 40)
        xdotool("mouseup", 1)
        self.assertEqual(self.opened(log), [])
        q.window(ABOUT)


class Display(QuarnTest):
    NO_DISPLAY = ("quarn: no display to show the window on (set DISPLAY, or run it under "
                  "xvfb-run)\n")

    def run_quarn(self, display):
        env = {k: v for k, v in self.quarn().env.items()
               if k not in ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY")}
        if display:
            env["DISPLAY"] = display
        return subprocess.Popen([QUARN], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)

    def test_no_display_is_one_line(self):
        for display in (None, ":97"):
            with self.subTest(display):
                p = self.run_quarn(display)
                out, err = p.communicate(timeout=10)
                self.assertEqual((p.returncode, err), (1, self.NO_DISPLAY))

    def abstract_only_server(self):
        """An X server reachable only through its abstract socket. A number
        whose socket another server holds makes it exit: try another."""
        def listening(number):
            with socket.socket(socket.AF_UNIX) as s:
                return s.connect_ex(f"\0/tmp/.X11-unix/X{number}") == 0
        for number in random.sample(range(200, 400), 5):
            if listening(number):
                continue
            xvfb = subprocess.Popen(["Xvfb", f":{number}", "-noreset", "-nolisten", "tcp",
                                     "-nolisten", "unix"], stderr=subprocess.DEVNULL)
            self.addCleanup(xvfb.wait)
            self.addCleanup(xvfb.kill)
            if wait_for(lambda: xvfb.poll() is not None or listening(number), "Xvfb"):
                if xvfb.poll() is None:
                    return number
        self.fail("no X server could be started")

    def test_a_display_on_its_abstract_socket_only_is_used(self):
        p = self.run_quarn(f":{self.abstract_only_server()}")
        self.addCleanup(p.kill)
        with contextlib.suppress(subprocess.TimeoutExpired):  # the window is up
            _, err = p.communicate(timeout=3)
            self.fail(f"quarn ended ({p.returncode}): {err}")


class Layout(QuarnTest):
    def test_no_control_is_cut_by_its_window_edge(self):
        # Controls placed beyond the edge on purpose lie wholly outside; one
        # that straddles it is cut. (A label's box may overhang as the layout
        # gives it; its text is checked where the forms are tested.)
        q = self.quarn().start()
        opened = {"Quarn": lambda: None,
                  TRANSFER: lambda: q.menu("File", "Copy Files"),
                  "Synchronize Reports": lambda: q.menu("File", "Synchronize Reports…"),
                  SETTINGS: lambda: q.menu("Setup", "Configuration"),
                  ABOUT: lambda: q.menu("Help", "About")}
        roles = {BUTTON, TEXT, "radio button", "panel"}
        for title, open_it in opened.items():
            with self.subTest(title):
                open_it()
                window = q.window(title)
                wx, wy, ww, wh = extents(window)
                cut = []
                for control in find_all(window):
                    if role(control) not in roles:
                        continue
                    try:
                        x, y, w, h = extents(control)
                    except NotImplementedError:  # a table's header panel has no place of its own
                        continue
                    inside = wx <= x and x + w <= wx + ww and wy <= y and y + h <= wy + wh
                    outside = x >= wx + ww or y >= wy + wh or x + w <= wx or y + h <= wy
                    if not inside and not outside:
                        cut.append(f"{role(control)} {control.name!r} at {x - wx},{y - wy} "
                                   f"{w}x{h} in {ww}x{wh}")
                self.assertEqual(cut, [])
                if title != "Quarn":
                    q.wm_close(title)
                    q.gone(title)
