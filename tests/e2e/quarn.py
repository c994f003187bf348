"""Drives the real quarn binary from outside, as a screen reader or a user
would: windows, buttons and message boxes are found by role and text on the
accessibility bus (AT-SPI); clicks go through the X server (xdotool).

run.sh provides the display, the window manager and the buses; each test
gets a fresh demo suite, runtime folder and home of its own."""

import functools
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Gio, GLib  # noqa: E402
import pyatspi  # noqa: E402

BUILD = os.environ["QUARN_BUILD"]
OUT = os.environ["QUARN_E2E_OUT"]
QUARN = os.path.join(BUILD, "app", "quarn")
QUARNCTL = os.path.join(BUILD, "cli", "quarnctl")

# Roles by their AT-SPI names.
ALERT = "alert"
BUTTON, LABEL, MENU_ITEM = "push button", "label", "menu item"
RADIO, TEXT = "radio button", "text"

TRANSFER, SETTINGS, ABOUT = "Quarn - Select data to transfer", "Settings", "About Quarn"


def wait_for(probe, what, timeout=8.0):
    """Polls `probe` until it gives something true; fails naming `what`."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except GLib.Error:  # an object that went away mid-walk
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def role(acc):
    return acc.getRoleName()


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def text_of(acc):
    try:
        t = acc.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return acc.name or ""


def walk(acc):
    yield acc
    for child in acc:
        if child is not None:
            yield from walk(child)


def find_all(root, role_name=None, name=None, only_showing=True):
    return [a for a in walk(root)
            if (role_name is None or role(a) == role_name)
            and (name is None or a.name == name)
            and (not only_showing or showing(a))]


def hidden(root, role_name, name):
    """The first such object, shown or not (as a hidden shortcut's button)."""
    return find_all(root, role_name, name, only_showing=False)[0]


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def write(path, data):
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


def contents(path):
    with open(path, "rb") as f:
        return f.read()


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


@functools.cache
def _bus():
    """The accessibility bus, for actions sent without waiting for a reply."""
    session = Gio.bus_get_sync(Gio.BusType.SESSION)
    reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 5000)
    return Gio.DBusConnection.new_for_address_sync(
        reply.unpack()[0],
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
        Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)


def act(acc, action="Press"):
    """Runs an accessible action. A modal window that it opens answers only
    when it closes, so the call is sent without waiting for the reply."""
    actions = acc.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        raise AssertionError(f"{role(acc)} {acc.name!r} offers {names}, not {action}")
    bus = _bus()
    bus.call(acc.app.bus_name, acc.path, "org.a11y.atspi.Action", "DoAction",
             GLib.Variant("(i)", (names.index(action),)), None, Gio.DBusCallFlags.NONE, -1)
    bus.flush_sync()


def click(acc, count=1, button=1):
    """A real pointer click in the middle of the object."""
    x, y, w, h = extents(acc)
    xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
    xdotool("click", "--repeat", count, "--delay", 80, button)


def key(*keys):
    xdotool("key", "--delay", 40, *keys)


def type_text(text):
    xdotool("type", "--delay", 10, text)


class Box:
    """A message box as the user sees it."""

    def __init__(self, acc):
        self.acc = acc
        self.title = acc.name
        self.text = "\n".join(text_of(a) for a in find_all(acc, LABEL) if text_of(a))
        self.buttons = [b.name for b in find_all(acc, BUTTON)]

    def press(self, name):
        found = find_all(self.acc, BUTTON, name)
        assert found, f"box {self.text!r} has no button {name!r}: {self.buttons}"
        act(found[0])

    def __repr__(self):
        return f"Box(title={self.title!r}, text={self.text!r}, buttons={self.buttons})"


def screenshot(path):
    """The whole screen, from the framebuffer file Xvfb keeps (-fbdir)."""
    frame = os.path.join(os.environ["QUARN_E2E_FB"], "Xvfb_screen0")
    subprocess.run(["convert", "xwd:" + frame, "png:" + path], check=True)


class Quarn:
    """One Quarn process on a demo suite of its own."""

    def __init__(self, home, prefix=True, env=None):
        self.home = home
        self.prefix = os.path.join(home, "prefix") if prefix else None
        self.runtime = os.path.join(home, "run")
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        if self.prefix and not os.path.exists(self.prefix):
            ctl = subprocess.run([QUARNCTL, "demo-suite", self.prefix], capture_output=True,
                                 text=True)
            assert ctl.returncode == 0, ctl.stderr
        self.env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local/share"),
                        QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.env.pop("WINEPREFIX", None)
        if self.prefix:
            self.env["WINEPREFIX"] = self.prefix
        self.env.update(env or {})
        self.proc = None
        self._app = None

    # Paths inside the prefix, by their Windows names' host folders.
    def c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def n(self, *parts):
        return os.path.join(self.prefix, "network", *parts)

    def start(self, wait_window=True, args=()):
        self.proc = subprocess.Popen([QUARN, *args], env=self.env, cwd=self.home,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if wait_window:
            self.main_window()
        return self

    def ctl(self, *args):
        r = subprocess.run([QUARNCTL, *args], env=self.env, capture_output=True, text=True,
                           timeout=30)
        assert r.returncode == 0, f"quarnctl {args}: {r.stderr}"
        return r

    def in_force(self):
        """LOCAL, NETWORK or what quarnctl status says of a mixture."""
        return self.ctl("status").stdout.rsplit("In force: ", 1)[-1].strip()

    def app(self):
        if self._app is None:
            desktop = pyatspi.Registry.getDesktop(0)
            self._app = wait_for(lambda: next((a for a in desktop if a is not None and
                                               a.get_process_id() == self.proc.pid), None),
                                 "Quarn on the accessibility bus")
        return self._app

    def windows(self, role_name=None):
        return [w for w in self.app() if w is not None and showing(w)
                and (role_name is None or role(w) == role_name)]

    def window(self, title, timeout=8.0):
        return wait_for(lambda: next((w for w in self.windows() if w.name == title), None),
                        f"the window {title!r}", timeout)

    def gone(self, title, timeout=5.0):
        wait_for(lambda: all(w.name != title for w in self.windows()),
                 f"the window {title!r} to close", timeout)

    def main_window(self):
        return self.window("Quarn")

    def box(self, timeout=8.0):
        return Box(wait_for(lambda: next(iter(self.windows(ALERT)), None), "a message box",
                            timeout))

    def no_box(self, settle=0.5):
        time.sleep(settle)
        boxes = [Box(b) for b in self.windows(ALERT)]
        assert not boxes, f"unexpected message box: {boxes}"

    def answer(self, text, button="OK", title="Quarn"):
        """The next box must say `text` under `title`; it is answered with `button`."""
        b = self.box()
        assert (b.title, b.text) == (title, text), f"expected {(title, text)!r}, saw {b!r}"
        b.press(button)
        # A box that ends its program (a second Quarn) goes with the program's bus objects.
        wait_for(lambda: (self.proc and self.proc.poll() is not None)
                 or all(w.path != b.acc.path for w in self.windows()),
                 "the message box to close")
        return b

    def find(self, root, role_name, name, timeout=5.0):
        return wait_for(lambda: next(iter(find_all(root, role_name, name)), None),
                        f"{role_name} {name!r}", timeout)

    def menu(self, *path):
        """Runs a menu entry, e.g. menu("Setup", "Configuration")."""
        node = self.main_window()
        for i, name in enumerate(path):
            candidates = find_all(node, MENU_ITEM, name, only_showing=(i == 0))
            assert candidates, f"no menu entry {name!r}"
            node = candidates[0]
        act(node)

    def x_window(self, title):
        """The X window of `title`, once the window manager has taken it on."""
        def managed():
            found = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                    str(self.proc.pid), "--name", f"^{title}$"],
                                   capture_output=True, text=True).stdout.split()
            listed = subprocess.run(["wmctrl", "-l"], capture_output=True, text=True).stdout
            listed = {int(line.split()[0], 16) for line in listed.splitlines()}
            return next((w for w in found if int(w) in listed), None)
        return wait_for(managed, f"the X window {title!r}")

    def wm_close(self, title):
        """The window manager's close command (what the title bar's X sends)."""
        subprocess.run(["wmctrl", "-i", "-c", self.x_window(title)], check=True)

    def focus(self, title):
        subprocess.run(["wmctrl", "-i", "-a", self.x_window(title)], check=True)
        time.sleep(0.2)

    def wait_exit(self, timeout=8.0):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("Quarn did not end") from None

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def dump(self, acc=None, depth=0):
        """The AT-SPI tree of Quarn's windows, as text."""
        if acc is None:
            if not self.proc or self.proc.poll() is not None:
                return ""
            acc = self.app()
        indent = "  " * depth
        try:
            t = text_of(acc)
            line = (f"{indent}[{role(acc)}] {acc.name!r}" + (f" text={t!r}" if t and t != acc.name else "")
                    + ("" if showing(acc) else " (hidden)"))
            return "\n".join([line] + [self.dump(c, depth + 1) for c in acc if c is not None])
        except Exception as e:  # the tree of a dying process
            return f"{indent}<{e}>"


def appraisal_dir(prefix):
    """Where the appraisal program keeps its reports now."""
    return ini(os.path.join(prefix, "drive_c", "VALUATOR", "kav.ini"))["DIRECTORIES"]["DATADIR"]


def ini(path):
    """An INI file as {section: {key: value}}, names upper-cased."""
    sections, current = {}, None
    with open(path, encoding="cp1252") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and "]" in line:
                current = sections.setdefault(line[1:line.rindex("]")].upper(), {})
            elif "=" in line and current is not None:
                k, v = line.split("=", 1)
                current.setdefault(k.strip().upper(), v.strip())
    return sections


class QuarnTest(unittest.TestCase):
    """A test with a home folder of its own; what was on screen is kept
    under build/ when it fails."""

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="quarn-e2e-")
        self.quarns = []
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)
        self.addCleanup(self._stop_all)

    def quarn(self, prefix=True, env=None, home=None):
        q = Quarn(home or self.home, prefix, env)
        self.quarns.append(q)
        return q

    def fake_opener(self, name="xdg-open"):
        """An xdg-open (or another program) that records what it is asked to
        open: the environment that puts it first, and its log."""
        bin_dir = os.path.join(self.home, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        log = os.path.join(self.home, "opened.log")
        opener = os.path.join(bin_dir, name)
        write(opener, f'#!/bin/sh\necho "$@" >> "{log}"\n')
        os.chmod(opener, 0o755)
        return {"PATH": bin_dir + ":" + os.environ["PATH"]}, log

    def _stop_all(self):
        for q in self.quarns:
            q.stop()
        # Nothing of a finished test may stay on screen for the next.
        xdotool("mousemove", 0, 0)

    def _callTestMethod(self, method):
        try:
            method()
        except BaseException:
            self._keep_screen()
            raise

    def _keep_screen(self):
        os.makedirs(OUT, exist_ok=True)
        name = self.id().split(".", 1)[-1]
        shot = os.path.join(OUT, name + ".png")
        try:
            screenshot(shot)
        except (OSError, subprocess.CalledProcessError) as e:
            shot = f"(no screenshot: {e})"
        trees = "\n".join(q.dump() for q in self.quarns)
        print(f"\n--- on screen when {name} failed (screenshot: {shot}):\n{trees}\n---")
