"""quarnctl follow on a demo suite whose N: drive comes and goes, with a
stand-in notification service on the session bus that prints each body."""

import fcntl
import hashlib
import os
import subprocess
import sys
import threading
import time

from quarn import QUARNCTL, QuarnTest, wait_for

NOTIFIER = r'''
from gi.repository import Gio, GLib
XML = """<node><interface name="org.freedesktop.Notifications"><method name="Notify">
<arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/><arg type="as"/>
<arg type="a{sv}"/><arg type="i"/><arg type="u" direction="out"/></method></interface></node>"""
def notify(bus, sender, path, iface, method, args, call):
    print(args.unpack()[4].replace("\n", " "), flush=True)
    call.return_value(GLib.Variant("(u)", (1,)))
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
        self.log = self.start([QUARNCTL, "follow", "--settle", "1"], env=self.q.env)
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
