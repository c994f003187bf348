"""Transfers on a real Samba share: a server of our own on the loopback,
its share mounted as desktops mount it (GVfs, smbnetfs, the kernel's CIFS
client where there is one) and made the demo suite's N: drive."""

import contextlib
import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from harness import HOST, QUARNCTL, Gvfs, Server, contents, run, wait_for, write

REPORTS = ("QXDATA", "APPRAISE", "data")
# The slow link's own loopback address, another where another run holds it.
SLOW_HOST = os.environ.get("QUARN_SLOW_HOST", "127.0.0.2")


def backdate(path):
    old = time.time() - 300
    os.utime(path, (old, old))


class SlowLink:
    """A link of `rate` bytes a second each way, as a VPN or a home uplink:
    the server's port 445 on another loopback address, forwarded."""

    def __init__(self, host, rate):
        self.rate = rate
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        self.listener.bind((host, 445))
        self.listener.listen()
        self.sockets = []
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection((HOST, 445))
            self.sockets += [client, server]
            for a, b in ((client, server), (server, client)):
                threading.Thread(target=self.pump, args=(a, b), daemon=True).start()

    def pump(self, src, dst):
        with contextlib.suppress(OSError):
            while data := src.recv(4096):
                dst.sendall(data)
                time.sleep(len(data) / self.rate)
            dst.shutdown(socket.SHUT_WR)

    def close(self):
        self.listener.shutdown(socket.SHUT_RDWR)  # wakes the accepting thread
        self.listener.close()
        for s in self.sockets:
            s.close()


class Smbnetfs:
    name = "smbnetfs"

    def __init__(self, work, host):
        self.host = host
        self.point = os.path.join(work, "smbnetfs")
        self.home = os.path.join(work, "home")
        os.makedirs(self.point)
        os.makedirs(self.home)
        self.conf = os.path.join(work, "smbnetfs.conf")
        with open(os.open(self.conf, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write('auth "guest" ""\n')

    def mount(self):
        r = run("smbnetfs", self.point, "-o", f"config={self.conf}",
                env=dict(os.environ, HOME=self.home))
        assert r.returncode == 0, r.stderr
        path = os.path.join(self.point, self.host, "office")
        wait_for(lambda: os.path.isdir(path), "the share under smbnetfs", timeout=15)
        return path

    def unmount(self):
        run("umount", "-l", self.point)


class Cifs:
    name = "CIFS"

    def __init__(self, work, host):
        self.host = host
        self.point = os.path.join(work, "cifs")
        os.makedirs(self.point)

    def mount(self):
        r = run("mount", "-t", "cifs", f"//{self.host}/office", self.point, "-o", "guest")
        assert r.returncode == 0, r.stderr
        return self.point

    def unmount(self):
        run("umount", "-l", self.point)


def kernel_has_cifs():
    with open("/proc/filesystems") as f:
        return any(line.split()[-1] == "cifs" for line in f if line.strip())


class OnShare:
    """One server and one mount for a class; the share is the suite's N:."""
    MOUNT = None
    RATE = None  # bytes a second on a slow link to the server

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quarn-share-")
        cls.server = Server(cls.work)
        cls.prefix = os.path.join(cls.work, "prefix")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, HOME=cls.work)
        assert run(QUARNCTL, "demo-suite", cls.prefix).returncode == 0
        # Before the mount, which may keep what it first listed for a while.
        shutil.copytree(os.path.join(cls.prefix, "network"), cls.server.folder,
                        dirs_exist_ok=True)
        cls.link = SlowLink(SLOW_HOST, cls.RATE) if cls.RATE else None
        cls.server.start()
        cls.way = cls.MOUNT(cls.work, SLOW_HOST if cls.RATE else HOST)
        cls.share = cls.way.mount()
        n = os.path.join(cls.prefix, "dosdevices", "n:")
        os.remove(n)
        os.symlink(cls.share, n)

    @classmethod
    def tearDownClass(cls):
        cls.way.unmount()
        if cls.link:
            cls.link.close()
        cls.server.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def ctl(self, *args):
        return run(QUARNCTL, *args, env=self.env)

    def send(self, report, sketch="none"):
        """quarnctl's copy of this local report to the share, answered yes."""
        return self.ctl("transfer", "--to-network", "--sketch", sketch, "--yes",
                        "C:\\QXDATA\\APPRAISE\\data\\" + report)

    def on_server(self, *parts):
        return os.path.join(self.server.folder, *parts)

    def local(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def litter(self):
        """What no copy may leave on the server: temporary or lock files."""
        return [os.path.join(d, f) for d, _, files in os.walk(self.server.folder)
                for f in files if f.startswith(".")]


class Transfers(OnShare):
    def assertSameFile(self, a, b):
        self.assertEqual(contents(a), contents(b))
        self.assertEqual(int(os.stat(a).st_mtime), int(os.stat(b).st_mtime))

    def test_check_connect_network_and_an_ini_file_on_the_share(self):
        r = self.ctl("check")
        self.assertEqual((r.returncode, r.stdout.strip()), (0, "ok"), r.stderr)
        self.assertEqual(self.ctl("connect", "network").returncode, 0)
        self.assertIn("In force: NETWORK", self.ctl("status").stdout)
        for key, value in (("Name", "Main"), ("Town", "Leeds")):
            r = self.ctl("ini", "set", "N:\\QXDATA\\OFFICE\\office.ini", "Office", key, value)
            self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(contents(self.on_server("QXDATA", "OFFICE", "office.ini")),
                         b"[Office]\r\nName=Main\r\nTown=Leeds\r\n")
        self.assertEqual(self.litter(), [])

    def test_both_ways_with_the_sketch_and_the_time(self):
        old = time.time() - 86400 * 30
        os.utime(self.local(*REPORTS, "SMITH.RPT"), (old, old))
        r = self.send("SMITH.RPT", sketch="plandraw")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        r = self.ctl("transfer", "--to-local", "--sketch", "plandraw", "--yes",
                     "N:\\QXDATA\\APPRAISE\\data\\BROWN.RPT")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        for name, source, target in (("SMITH", self.local, self.on_server),
                                     ("BROWN", self.on_server, self.local)):
            self.assertSameFile(source(*REPORTS, name + ".RPT"), target(*REPORTS, name + ".RPT"))
            self.assertSameFile(source("QXDATA", "SKETCH", name + ".sk3"),
                                target("QXDATA", "SKETCH", name + ".sk3"))
        self.assertEqual(self.litter(), [])

    def test_a_read_only_report_is_not_replaced(self):
        write(self.local(*REPORTS, "KEPT.RPT"), "new")
        write(self.on_server(*REPORTS, "KEPT.RPT"), "kept")
        r = run("smbclient", "-N", f"//{HOST}/office", "-c",
                "setmode QXDATA/APPRAISE/data/KEPT.RPT +r")  # as Windows marks it
        self.assertEqual(r.returncode, 0, r.stderr)
        r = self.send("KEPT.RPT")
        self.assertIn("Error encountered, ErrNum = Permission denied", r.stdout + r.stderr)
        self.assertEqual(contents(self.on_server(*REPORTS, "KEPT.RPT")), b"kept")
        self.assertEqual(self.litter(), [])

    def test_overwrite_under_another_letter_case(self):
        for name in os.listdir(self.on_server(*REPORTS)):
            if name.lower() == "jones.rpt":
                os.remove(self.on_server(*REPORTS, name))
        write(self.on_server(*REPORTS, "jones.rpt"), "older jones")
        r = self.send("JONES.RPT")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Exists.  Are you sure you wish to Overwrite?", r.stdout + r.stderr)
        same = [n for n in os.listdir(self.on_server(*REPORTS)) if n.lower() == "jones.rpt"]
        self.assertEqual(len(same), 1, same)
        self.assertSameFile(self.local(*REPORTS, "JONES.RPT"), self.on_server(*REPORTS, same[0]))
        self.assertEqual(self.litter(), [])


class ServerStops(OnShare):
    def test_a_server_that_stops_mid_copy_loses_nothing(self):
        big = self.local(*REPORTS, "BIG.RPT")
        with open(big, "wb") as f:
            f.truncate(4 << 30)  # sparse: quick to make, long to send
        write(self.on_server(*REPORTS, "BIG.RPT"), b"the old report, whole")
        before = sorted(os.listdir(self.on_server(*REPORTS)))
        temp = self.on_server(*REPORTS, ".BIG.RPT.quarn.tmp")
        ctl = subprocess.Popen([QUARNCTL, "transfer", "--to-network", "--sketch", "none", "--yes",
                                "C:\\QXDATA\\APPRAISE\\data\\BIG.RPT"], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            wait_for(lambda: os.path.exists(temp) and os.path.getsize(temp) > (8 << 20),
                     "the copy to be under way", timeout=30)
            self.server.signal(signal.SIGSTOP)
            stopped = time.monotonic()
            said = ""
            while "Error" not in said and time.monotonic() - stopped < 20:
                ready, _, _ = select.select([ctl.stderr, ctl.stdout], [], [], 1)
                said += b"".join(os.read(s.fileno(), 4096) for s in ready).decode()
            waited = time.monotonic() - stopped
            self.assertIn("Error encountered, ErrNum = Disk not ready", said)
            self.assertLess(waited, 10)
        finally:
            self.server.signal(signal.SIGKILL)
            ctl.wait(60)
        self.assertEqual(ctl.returncode, 1)
        self.assertEqual(contents(self.on_server(*REPORTS, "BIG.RPT")), b"the old report, whole")
        self.assertEqual(sorted(n for n in os.listdir(self.on_server(*REPORTS))
                                if not n.startswith(".")), before)

        # Back again, a while later: the next copy into that folder, of any
        # report, and follow's look at the share clear what was cut off;
        # a temporary still changing may be another machine's copy.
        self.way.unmount()
        self.server.start()
        type(self).share = self.way.mount()
        self.assertTrue(os.path.exists(temp))
        backdate(temp)
        r = self.send("SMITH.RPT")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(self.litter(), [])
        cut_off = [self.on_server(*REPORTS, ".OLD.RPT.quarn-4242-1x.tmp"),
                   self.on_server("QXDATA", "SKETCH", ".OLD.sk3.quarn.tmp")]
        fresh = self.on_server(*REPORTS, ".JONES.RPT.quarn.tmp")
        mine = self.on_server(*REPORTS, ".notes.2024.final.tmp")  # a user's own
        for path in cut_off + [fresh, mine]:
            write(path, "cut off")
        for path in cut_off + [mine]:
            backdate(path)
        self.ctl("follow", "--once")
        self.assertEqual(sorted(self.litter()), sorted([fresh, mine]))
        os.remove(fresh)
        os.remove(mine)
        write(big, b"a new report")
        r = self.send("BIG.RPT")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(self.litter(), [])


class SlowLinks(OnShare):
    RATE = 120_000

    def test_a_copy_that_keeps_moving_finishes(self):
        for rate, size in ((self.RATE, 3 << 20), (8_000, 64 << 10)):  # a poor mobile link
            self.link.rate = rate
            for i in range(600 if rate < self.RATE else 0):  # a folder long to list
                open(self.on_server(*REPORTS, f"R{i:04}.RPT"), "w").close()
            report = self.local(*REPORTS, "SLOW.RPT")
            write(report, os.urandom(size))
            started = time.monotonic()
            copy = [QUARNCTL, "transfer", "--to-network", "--sketch", "none", "--yes",
                    "C:\\QXDATA\\APPRAISE\\data\\SLOW.RPT"]
            ctl = subprocess.Popen(copy, env=self.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT)
            # Seen from another machine, a copy under way keeps changing, and
            # a copy of the same report from there meets its share lock.
            temp, lag, other = os.path.join(self.share, *REPORTS, ".SLOW.RPT.quarn.tmp"), 0, None
            while ctl.poll() is None:
                with contextlib.suppress(OSError):
                    lag = max(lag, time.time() - os.stat(temp).st_mtime)
                    if rate == self.RATE and not other:
                        runtime = tempfile.mkdtemp(dir=self.work)
                        other = subprocess.Popen(copy, env=dict(self.env, XDG_RUNTIME_DIR=runtime),
                                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                time.sleep(1)
            said = ctl.communicate()[0]
            self.assertEqual(ctl.returncode, 0, said)
            if other:
                refused = other.communicate(timeout=120)[0]
                self.assertEqual(other.returncode, 1, refused)
                self.assertIn(b"SLOW.RPT is being copied by root on ", refused)
            self.assertGreater(time.monotonic() - started, size / rate / 2)  # slow indeed
            self.assertLess(lag, 4)
            self.assertTrue(contents(report) == contents(self.on_server(*REPORTS, "SLOW.RPT")))
            self.assertEqual(self.litter(), [])


def each_way():
    if not kernel_has_cifs():
        print("CIFS skipped: this kernel has no cifs file system")
    for way in [Gvfs, Smbnetfs] + ([Cifs] if kernel_has_cifs() else []):
        for base in (Transfers, ServerStops, SlowLinks):
            name = f"{base.__name__}On{way.name}"
            globals()[name] = type(name, (base, unittest.TestCase), {"MOUNT": way})


each_way()
