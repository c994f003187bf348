"""quarnctl follow on a demo suite whose N: drive comes and goes, with a
stand-in notification service on the session bus that prints each body."""

import fcntl
import hashlib
import os
import signal
import subprocess
import sys
import threading
import time

import pyatspi
from quarn import QUARNCTL, QuarnTest, wait_for

# With "click" among its arguments, it clicks each notification that offers
# an action, as a user would, a moment after showing it; with "markup", it
# reads markup in the body, as GNOME's and KDE's do.
NOTIFIER = r'''
import itertools, sys
from gi.repository import Gio, GLib
XML = """<node><interface name="org.freedesktop.Notifications"><method name="Notify">
<arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/><arg type="as"/>
<arg type="a{sv}"/><arg type="i"/><arg type="u" direction="out"/></method>
<method name="GetCapabilities"><arg type="as" direction="out"/></method>
<signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal></interface></node>"""
ids = itertools.count(1)
def notify(bus, sender, path, iface, method, args, call):
    if method == "GetCapabilities":
        caps = ["actions", "body"] + (["body-markup"] if "markup" in sys.argv else [])
        return call.return_value(GLib.Variant("(as)", (caps,)))
    app, replaces, icon, summary, body, actions = args.unpack()[:6]
    print(body.replace("\n", " "), flush=True)
    if actions:
        print("actions: " + ", ".join(actions[1::2]), flush=True)
    n = replaces or next(ids)
    call.return_value(GLib.Variant("(u)", (n,)))
    if actions and "click" in sys.argv:
        GLib.timeout_add(300, lambda: bus.emit_signal(
            None, path, iface, "ActionInvoked", GLib.Variant("(us)", (n, actions[0]))) and False)
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.register_object("/org/freedesktop/Notifications",
                    Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], notify, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.Notifications", 0,
                               lambda *a: print("ready", flush=True), None)
GLib.MainLoop().run()
'''


class Lines:
    """Everything a process prints, line by line, as it prints it."""

    def __init__(self, proc):
        self.proc, self.lines = proc, []
        threading.Thread(target=lambda: self.lines.extend(map(str.strip, proc.stdout)),
                         daemon=True).start()

    def wait(self, text):
        wait_for(lambda: any(text in line for line in self.lines), repr(text), timeout=15)


class Follow(QuarnTest):
    """quarnctl alone: the suite, but no Quarn on screen."""

    def setUp(self):
        super().setUp()
        self.q = self.quarn()
        self.procs = []
        self.notes = self.start([sys.executable, "-c", NOTIFIER])
        self.notes.wait("ready")
        # Switching alone: synchronizing by itself is FollowSynchronizes'.
        self.log = self.start([QUARNCTL, "follow", "--settle", "1", "--no-sync"], env=self.q.env)
        self.log.wait("Following the office share N:\\")

    def tearDown(self):
        for p in self.procs:
            p.kill()
            p.wait()

    def start(self, cmd, **kw):
        self.procs.append(subprocess.Popen(cmd, stdout=subprocess.PIPE, text=True, **kw))
        return Lines(self.procs[-1])

    def share(self, there):
        names = [os.path.join(self.q.prefix, n) for n in ("network", "network.away")]
        os.rename(*(names[::-1] if there else names))

    def stays(self, set_name, seconds=3):
        time.sleep(seconds)  # a look every second, a switch a second after it is due
        self.assertEqual(self.q.in_force(), set_name)

    def test_the_share_going_and_coming_switches_but_a_hand_switch_stands(self):
        self.share(False)
        gone = "The office share cannot be reached: the suite now uses the LOCAL set."
        self.notes.wait(gone)
        self.log.wait(gone)
        self.assertEqual(self.q.in_force(), "LOCAL")
        self.share(True)
        self.notes.wait("The office share is back: the suite now uses the NETWORK set.")
        self.assertEqual(self.q.in_force(), "NETWORK")

        self.q.ctl("connect", "local")
        self.log.wait("switched to the LOCAL set by hand")
        self.stays("LOCAL")
        self.assertEqual(len(self.notes.lines), 3)  # "ready" and the two switches

    def test_no_switch_while_a_transfer_runs(self):
        folder = os.path.join(self.q.runtime, "quarn-locks")
        os.makedirs(folder, mode=0o700, exist_ok=True)
        key = "transfer " + os.path.realpath(self.q.prefix)
        with open(os.path.join(folder, hashlib.sha1(key.encode()).hexdigest() + ".lock"), "w") as f:
            fcntl.flock(f, fcntl.LOCK_SH)  # as a copy holds it
            self.share(False)
            self.log.wait("A transfer is running: the switch waits until it ends.")
            self.stays("NETWORK")
        self.notes.wait("the suite now uses the LOCAL set")


class FollowSynchronizes(QuarnTest):
    """quarnctl follow synchronizing by itself, told in a notification whose
    action opens Synchronize Reports in Quarn."""

    def test_told_once_and_the_action_opens_the_window(self):
        q = self.quarn()
        procs = []
        self.addCleanup(lambda: [p.kill() or p.wait() for p in procs])

        def start(cmd, **kw):
            procs.append(subprocess.Popen(cmd, stdout=subprocess.PIPE, text=True, **kw))
            return Lines(procs[-1])

        notes = start([sys.executable, "-c", NOTIFIER, "click"])
        notes.wait("ready")
        log = start([QUARNCTL, "follow", "--settle", "1"], env=q.env)
        told = "2 reports sent to the office share, 2 brought to the laptop. 1 report waits for you."
        log.wait(told)
        notes.wait(told)
        notes.wait("actions: Open Synchronize Reports")
        self.assertTrue(os.path.exists(q.n("QXDATA", "APPRAISE", "data", "SMITH.RPT")))
        self.assertTrue(os.path.exists(q.c("QXDATA", "APPRAISE", "data", "BROWN.RPT")))

        # The click started Quarn on Synchronize Reports.
        desktop = pyatspi.Registry.getDesktop(0)
        shown = lambda: next((w for a in desktop if a is not None for w in a
                              if w is not None and w.name == "Synchronize Reports"), None)
        window = wait_for(shown, "Synchronize Reports opened by the notification", timeout=15)
        pid = window.get_application().get_process_id()
        self.addCleanup(lambda: os.kill(pid, signal.SIGKILL))

        # Nothing new over three more looks: nothing more is said.
        time.sleep(3)
        self.assertEqual(sum(told in line for line in notes.lines), 1)

    def test_names_from_the_share_are_not_markup(self):
        """A lock holder's name is the share's to write: a server that reads
        markup shows it as text, not as a link."""
        q = self.quarn()
        procs = []
        self.addCleanup(lambda: [p.kill() or p.wait() for p in procs])
        for cmd in ([sys.executable, "-c", NOTIFIER, "markup"],
                    [QUARNCTL, "follow", "--settle", "1"]):
            procs.append(subprocess.Popen(cmd, stdout=subprocess.PIPE, text=True, env=q.env))
            if len(procs) == 1:
                notes = Lines(procs[0])
                notes.wait("ready")
            else:
                log = Lines(procs[1])
        now = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())
        locks = q.n("QXDATA", "APPRAISE", "data", ".quarn-locks")
        os.makedirs(locks, exist_ok=True)
        with open(os.path.join(locks, "SMITH.RPT.lock"), "w") as f:
            f.write(f"user=<a href='http://x.example/'>jdoe</a>\ncomputer=LAPTOP-7\npid=4242\n"
                    f"since={now}\nrenewed={now}\n")
        log.wait("1 report was not synchronized: SMITH.RPT (SMITH.RPT is being copied by <a href=")
        notes.wait("being copied by &lt;a href='http://x.example/'&gt;jdoe&lt;/a&gt; on")
        self.assertFalse([line for line in notes.lines if "<a" in line])

    def test_a_set_without_its_data_folder_synchronizes_nothing(self):
        """Not a relative folder found wherever follow was started."""
        q = self.quarn()
        q.ctl("ini", "set", "C:\\VALUATOR\\QUARN2.INI", "LOCAL", "QXADATADIR", "")
        shared = q.n("QXDATA", "APPRAISE", "data")
        before = sorted(os.listdir(shared))
        follow = subprocess.Popen([QUARNCTL, "follow", "--settle", "1"], stdout=subprocess.PIPE,
                                  text=True, env=q.env, cwd=q.home)
        self.addCleanup(lambda: follow.kill() or follow.wait())
        Lines(follow).wait("The reports were not synchronized. [LOCAL] QXADATADIR is not set up in ")
        self.assertEqual(sorted(os.listdir(shared)), before)
        self.assertFalse(os.path.exists(os.path.join(q.home, "data")))
