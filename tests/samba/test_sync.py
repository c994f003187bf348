"""Synchronize Reports on a real Samba share: two laptops (each its own
prefix, computer name and record of the last sync), one on GVfs and one on
smbnetfs, synchronizing with the one share at once, also one report changed
on both; a sync cut off by a kill, by the server stopping, and crossed by
a colleague's save on the share; and following the share, which
synchronizes by itself when it comes back."""

import contextlib
import os
import select
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

from harness import HOST, Gvfs, Server, session_env, wait_for
from test_follow import NOTIFIER, Lines
from test_share import QUARNCTL, REPORTS, Smbnetfs

SKETCH, APEX = ("QXDATA", "SKETCH"), ("QXDATA", "APEX")
NOTHING = "The laptop and the share hold the same reports: nothing to move."


def sketches_of(root, report):
    """A report's sketch files in a QXDATA tree, as the sync pairs them."""
    stem = report.rsplit(".", 1)[0].upper()
    found = []
    for folder, exts in ((SKETCH, (".SK3",)), (APEX, (".AXF", ".AX2", ".AX4"))):
        d = os.path.join(root, *folder)
        found += [os.path.join(d, n) for n in sorted(os.listdir(d))
                  if n.upper() in {stem + e for e in exts}]
    return found


def version(root, report):
    """A report's bytes with its sketches' (by extension)."""
    with open(os.path.join(root, *REPORTS, report), "rb") as f:
        v = [f.read()]
    for path in sketches_of(root, report):
        with open(path, "rb") as f:
            v.append((os.path.splitext(path)[1].upper(), f.read()))
    return tuple(v)


def reports(root):
    return sorted(n for n in os.listdir(os.path.join(root, *REPORTS)) if n.upper().endswith(".RPT")
                  and not n.startswith("."))


def kept_on(root, report):
    """The texts of a report on a share by where they lie: under its name, a
    copy kept beside it ("SHARED (LAPTOP-A ...).RPT"), or one kept in the
    versions folder; matched by content, whatever the kept copies' names."""
    folder, stem = os.path.join(root, *REPORTS), report.rsplit(".", 1)[0].upper()
    found = {}
    for d, _, files in os.walk(folder):
        rel = os.path.relpath(d, folder)
        if rel == "." or rel.split(os.sep)[0] == ".quarn-versions":
            for n in files:
                if n.upper().startswith(stem) and n.upper().endswith(".RPT") and n[0] != ".":
                    with open(os.path.join(d, n), "rb") as f:
                        found[os.path.normpath(os.path.join(rel, n))] = f.read()
    return found


def sent(said, report):
    """Whether a run's summary says the report went to the share."""
    return any(line.startswith("To the share:") and report in line.replace(",", " ").split()
               for line in said.splitlines())


def write(path, data, age=0):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if age:
        t = time.time() - age
        os.utime(path, (t, t))


class Laptop:
    """A demo suite under a computer name of its own, with its own record of
    the last sync, its N: drive a mount of the share."""

    def __init__(self, work, name):
        self.name = name
        self.env = session_env(os.path.join(work, name))
        self.prefix = self.env["WINEPREFIX"] = os.path.join(work, name, "prefix")
        self.root = os.path.join(self.prefix, "drive_c")
        subprocess.run([QUARNCTL, "demo-suite", self.prefix], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def link(self, share):
        n = os.path.join(self.prefix, "dosdevices", "n:")
        os.remove(n)
        os.symlink(share, n)

    def sync(self, *args):
        return subprocess.Popen(
            ["unshare", "--uts", "sh", "-c", 'hostname "$0" && exec "$@"', self.name, QUARNCTL,
             "sync", "--conflicts", "keep-both", *args],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True)

    def synced(self, *args, timeout=180):
        p = self.sync(*args)
        said = p.communicate(timeout=timeout)[0]
        return p.returncode, said

    def at(self, *parts):
        return os.path.join(self.root, *parts)

    def record(self):
        path = os.path.join(self.env["XDG_DATA_HOME"], "quarn", "sync-record.sqlite")
        with sqlite3.connect(f"file:{path}?mode=ro", uri=True) as db:
            return db.execute("SELECT name, side, size, mtime_ms FROM reports").fetchall()


class OnShare:
    @classmethod
    def start(cls, *names):
        cls.work = tempfile.mkdtemp(prefix="quarn-sync-")
        cls.server = Server(cls.work)
        cls.laptops = [Laptop(cls.work, name) for name in names]
        shutil.copytree(os.path.join(cls.laptops[0].prefix, "network"), cls.server.folder,
                        dirs_exist_ok=True)
        cls.server.start()
        cls.ways = []

    @classmethod
    def mount(cls, laptop, way):
        cls.ways.append(way)
        laptop.link(way.mount())

    @classmethod
    def tearDownClass(cls):
        for way in cls.ways:
            way.unmount()
        cls.server.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def locks(self):
        return os.listdir(os.path.join(self.server.folder, *REPORTS, ".quarn-locks"))

    def assertWholeOnShare(self, known):
        """Every report and sketch on the share is one that was written, and
        nothing else lies about but the kept versions and the lock folder,
        empty."""
        sketches = {s for v in known for s in v[1:]}
        for name in reports(self.server.folder):
            v = version(self.server.folder, name)
            self.assertIn(v[0], {k[0] for k in known}, name)
            for s in v[1:]:
                self.assertIn(s, sketches, name)
        litter = [os.path.join(d, f) for d, dirs, files in os.walk(self.server.folder)
                  for f in files + dirs
                  if f.startswith(".") and f not in (".quarn-locks", ".quarn-versions")]
        self.assertEqual(litter, [])
        self.assertEqual(self.locks(), [])

    def assertRecordMatches(self, laptop):
        """The laptop's record says what its disk and the share hold."""
        rows = laptop.record()
        for name, side, size, mtime_ms in rows:
            root = self.server.folder if side else laptop.root
            files = [os.path.join(root, *REPORTS, name)] + sketches_of(root, name)
            stats = [os.stat(f) for f in files]
            self.assertEqual(size, sum(s.st_size for s in stats), (laptop.name, name, side))
            self.assertLess(abs(mtime_ms - max(s.st_mtime_ns for s in stats) // 10**6), 2000,
                            (laptop.name, name, side))
        self.assertEqual(sorted({r[0] for r in rows}), reports(laptop.root), laptop.name)


class TwoLaptops(OnShare, unittest.TestCase):
    """Laptop A on GVfs, laptop B on smbnetfs: reports of the same name that
    differ, reports of one laptop only, one changed on A while its sync runs."""

    @classmethod
    def setUpClass(cls):
        cls.start("LAPTOP-A", "LAPTOP-B")
        a, b = cls.laptops
        cls.mount(a, Gvfs(cls.work, HOST, env=a.env))
        cls.mount(b, Smbnetfs(cls.work, HOST))

    def test_two_laptops_at_once_lose_no_version(self):
        a, b = self.laptops
        # Different sizes and times, so that no two versions pass for one.
        for n, (laptop, age) in enumerate(((a, 3600), (b, 7200))):
            for name, size in (("ALLEN", 24 << 20), ("SMITH", 2000 + n), ("GARCIA", 3000 + n),
                               (("ADAMS", "BAKER")[n], 1000)):
                tag = f"{laptop.name} {name}\n".encode()
                write(laptop.at(*REPORTS, name + ".RPT"), tag + os.urandom(size), age)
                write(laptop.at(*SKETCH, name + ".sk3"), tag + b"sketch" * (n + 1), age)
        write(a.at(*REPORTS, "BIG.RPT"), b"BIG version 1\n" + os.urandom(24 << 20), 3600)
        versions = {version(self.server.folder, n) for n in reports(self.server.folder)}
        versions |= {version(l.root, n) for l in (a, b) for n in reports(l.root) if n != "BIG.RPT"}

        runs = [a.sync(), b.sync()]
        # A's user saves BIG.RPT again, in place, while A's sync sends it.
        temp = os.path.join(self.server.folder, *REPORTS, ".BIG.RPT.quarn.tmp")
        wait_for(lambda: os.path.exists(temp) and os.path.getsize(temp) > (1 << 20),
                 "A's copy of BIG.RPT to be under way", timeout=120)
        with open(a.at(*REPORTS, "BIG.RPT"), "r+b") as f:
            f.write(b"BIG version 2\n")
        versions.add(version(a.root, "BIG.RPT"))
        said = [r.communicate(timeout=300)[0] for r in runs]

        for _ in range(4):
            done = [laptop.synced() for laptop in (a, b)]
            said += [out for _, out in done]
            if all(rc == 0 and NOTHING in out for rc, out in done):
                break
        else:
            self.fail("\n".join(said))
        self.assertEqual(version(self.server.folder, "BIG.RPT"), version(a.root, "BIG.RPT"))
        self.assertEqual(version(a.root, "BIG.RPT")[0][:14], b"BIG version 2\n")
        on_share = {version(self.server.folder, n) for n in reports(self.server.folder)}
        self.assertEqual(versions - on_share, set(), "\n".join(said))
        for laptop in (a, b):
            self.assertEqual(reports(laptop.root), reports(self.server.folder))
            for name in reports(laptop.root):
                self.assertEqual(version(laptop.root, name), version(self.server.folder, name))
            self.assertRecordMatches(laptop)
        kept = [n for n in reports(self.server.folder) if "(" in n]
        self.assertTrue(kept and all(" (LAPTOP-" in n for n in kept), kept)
        self.assertWholeOnShare(versions)


class Race(OnShare, unittest.TestCase):
    """One report changed on two laptops, each on a client of its own, and
    sent by both at once behind five new reports each, so that the two runs
    reach it at about the same time. Each round on a share folder and
    laptops of its own."""
    # A's text, B's text, A's client and B's (0: GVfs, 1: smbnetfs).
    ROUNDS = ((b"changed on laptop A", b"changed on laptop B, a longer text", 0, 1),
              (b"changed on laptop A", b"changed on laptop B", 0, 1),
              (b"changed on laptop A", b"changed on laptop B, a longer text", 1, 0),
              (b"changed on laptop A", b"changed on laptop B", 1, 0))

    @classmethod
    def setUpClass(cls):
        cls.start("LAPTOP-A")
        cls.ways = [Gvfs(cls.work, HOST, env=cls.laptops[0].env), Smbnetfs(cls.work, HOST)]
        cls.shares = [way.mount() for way in cls.ways]

    def test_one_report_sent_from_two_laptops_at_once(self):
        for n, (text_a, text_b, way_a, way_b) in enumerate(self.ROUNDS):
            with self.subTest(round=n, a_on=self.ways[way_a].name,
                              same_size=len(text_a) == len(text_b)):
                self.race(f"round{n}", (text_a, text_b), (way_a, way_b))

    def race(self, name, texts, ways):
        share = os.path.join(self.server.folder, name)
        shutil.copytree(os.path.join(self.laptops[0].prefix, "network"), share)
        laptops = [Laptop(os.path.join(self.work, name), n) for n in ("LAPTOP-A", "LAPTOP-B")]
        for root in [share] + [laptop.root for laptop in laptops]:
            for folder in (REPORTS, SKETCH, APEX):
                for f in os.scandir(os.path.join(root, *folder)):
                    os.remove(f.path)
        write(os.path.join(share, *REPORTS, "SHARED.RPT"), b"as the office had it\n", 3600)
        for laptop, way in zip(laptops, ways):
            laptop.link(os.path.join(self.shares[way], name))
            wait_for(lambda: os.path.isfile(laptop.at("..", "dosdevices", "n:", *REPORTS,
                                                      "SHARED.RPT")),
                     "the round's folder through " + self.ways[way].name, timeout=30)
            rc, said = laptop.synced()
            self.assertEqual(rc, 0, said)
        for laptop, text in zip(laptops, texts):
            write(laptop.at(*REPORTS, "SHARED.RPT"), text)
            for i in range(1, 6):
                write(laptop.at(*REPORTS, f"NEW-{laptop.name[-1]}{i}.RPT"), os.urandom(3 << 20))
        runs = [laptop.sync() for laptop in laptops]
        for r in runs:
            self.addCleanup(r.wait)
            self.addCleanup(r.kill)
        said = [r.communicate(timeout=120)[0] for r in runs]
        told = [f"{laptop.name}'s run, exit {r.returncode}:\n{out}"
                for laptop, r, out in zip(laptops, runs, said)]
        # A version not on the share is the laptop's alone: its run may not
        # have said it went there, nor ended as if all went as planned.
        on_share = kept_on(share, "SHARED.RPT")
        for laptop, text, r, out in zip(laptops, texts, runs, said):
            if text not in on_share.values():
                self.assertFalse(r.returncode == 0 or sent(out, "SHARED.RPT"),
                                 f"{laptop.name}'s version is nowhere on the share "
                                 f"{on_share}\n" + "\n".join(told))

        # Each laptop in turn: one whose version the share lacks sees a
        # conflict, not the share's version as newer (nor as the same).
        for laptop, text in zip(laptops * 2, texts * 2):
            on_share = kept_on(share, "SHARED.RPT")
            if text not in on_share.values():
                plan = laptop.synced("--dry-run")[1]
                told.append(f"{laptop.name}'s plan:\n{plan}")
                row = [line for line in plan.splitlines() if line.startswith("SHARED.RPT ")]
                self.assertTrue(row and ("changed on both" in row[0] or "differs" in row[0]),
                                f"{laptop.name}'s version is nowhere on the share {on_share}, "
                                f"yet its plan has no conflict for it\n" + "\n".join(told))
            rc, out = laptop.synced()
            told.append(f"{laptop.name}'s sync, exit {rc}:\n{out}")
            self.assertEqual(rc, 0, "\n".join(told))
            self.assertIn(text, kept_on(share, "SHARED.RPT").values(), "\n".join(told))
        for laptop in laptops:
            self.assertEqual(reports(laptop.root), reports(share), laptop.name)
            for report in reports(share):
                self.assertEqual(version(laptop.root, report), version(share, report),
                                 (laptop.name, report))


class OneLaptop(OnShare):
    """One laptop, its N: the share through GVfs."""

    @classmethod
    def setUpClass(cls):
        cls.start("LAPTOP-A")
        cls.laptop = cls.laptops[0]
        cls.way = Gvfs(cls.work, HOST, env=cls.laptop.env)
        cls.mount(cls.laptop, cls.way)

    def on_server(self, name):
        with open(os.path.join(self.server.folder, *REPORTS, name), "rb") as f:
            return f.read()


class CutOff(OneLaptop, unittest.TestCase):
    """A laptop on GVfs sending a large report when it is cut off, or when the
    share's copy is saved meanwhile."""

    def sending(self, name):
        """The share holds the old report; the laptop's newer one is on its way."""
        old, new = b"the old report, whole\n", b"the new report\n" + os.urandom(40 << 20)
        write(self.laptop.at(*REPORTS, name), old, 600)
        self.assertEqual(self.laptop.synced()[0], 0)
        write(self.laptop.at(*REPORTS, name), new)
        write(self.laptop.at(*REPORTS, "TAIL.RPT"), f"planned after {name}\n".encode())
        run = self.laptop.sync()
        temp = os.path.join(self.server.folder, *REPORTS, f".{name}.quarn.tmp")
        wait_for(lambda: os.path.exists(temp) and os.path.getsize(temp) > (4 << 20),
                 "the copy to be under way", timeout=60)
        return run, old, new

    def assertFinishes(self, name, new):
        rc, said = self.laptop.synced()
        self.assertEqual(rc, 0, said)
        self.assertEqual(self.on_server(name), new)
        self.assertEqual(self.locks(), [])

    def test_saved_by_a_colleague_during_the_sketch_copy(self):
        self.assertEqual(self.laptop.synced()[0], 0)
        mine, theirs = b"SMITH, sent from the laptop\n", b"SMITH, saved at the office meanwhile\n"
        write(self.laptop.at(*SKETCH, "SMITH.sk3"), os.urandom(40 << 20))
        write(self.laptop.at(*REPORTS, "SMITH.RPT"), mine)
        run = self.laptop.sync()
        self.addCleanup(run.wait)
        self.addCleanup(run.kill)

        def copying():
            with contextlib.suppress(OSError):
                fds = os.path.join("/proc", str(run.pid), "fd")
                return any(os.path.basename(os.readlink(os.path.join(fds, fd)))
                           .startswith(".SMITH.sk3") for fd in os.listdir(fds))
        wait_for(copying, "the sketch's copy to the share", timeout=60)
        # The report goes after its sketch: the colleague's save comes first.
        run.send_signal(signal.SIGSTOP)
        try:
            write(os.path.join(self.server.folder, *REPORTS, "SMITH.RPT"), theirs)
            seen = os.path.join(self.way.path, *REPORTS, "SMITH.RPT")
            wait_for(lambda: os.stat(seen).st_size == len(theirs), "the save through GVfs",
                     timeout=30)
        finally:
            run.send_signal(signal.SIGCONT)
        said = run.communicate(timeout=120)[0]
        on_share = kept_on(self.server.folder, "SMITH.RPT")
        told = f"exit {run.returncode}:\n{said}\non the share: {on_share}"
        self.assertIn(theirs, on_share.values(), told)
        if run.returncode == 0 or sent(said, "SMITH.RPT"):
            self.assertEqual(on_share.get("SMITH.RPT"), mine, told)
        plan = self.laptop.synced("--dry-run")[1]
        if version(self.laptop.root, "SMITH.RPT") != version(self.server.folder, "SMITH.RPT"):
            self.assertRegex(plan, r"(?m)^SMITH\.RPT ", told + "\nthe plan:\n" + plan)

    def test_killed_mid_copy(self):
        run, old, new = self.sending("KILLED.RPT")
        run.kill()
        run.wait()
        self.assertEqual(self.on_server("KILLED.RPT"), old)
        with open(self.laptop.at(*REPORTS, "KILLED.RPT"), "rb") as f:
            self.assertEqual(f.read(), new)
        with open(os.path.join(self.server.folder, *REPORTS, ".quarn-locks",
                               "KILLED.RPT.lock")) as f:
            lock = f.read()
        self.assertIn(f"computer=LAPTOP-A\npid={run.pid}\n", lock)
        # Taken over at once: a lock this fresh would otherwise fail the row.
        self.assertFinishes("KILLED.RPT", new)

    def test_server_stopped_mid_copy(self):
        run, old, new = self.sending("STOPPED.RPT")
        self.server.signal(signal.SIGSTOP)
        stopped, said = time.monotonic(), ""
        try:
            while "Disk not ready" not in said and time.monotonic() - stopped < 60:
                ready, _, _ = select.select([run.stdout], [], [], 1)
                said += os.read(run.stdout.fileno(), 4096).decode() if ready else ""
            waited = time.monotonic() - stopped
        finally:
            # Till then a thread of quarnctl's waits in the kernel on GVfs,
            # which waits on the server: the process cannot end before.
            self.server.stop()
            said += run.communicate(timeout=60)[0]
        self.assertIn("STOPPED.RPT: Disk not ready", said)
        self.assertIn("TAIL.RPT: Disk not ready", said)  # not tried, not told as sent
        self.assertLess(waited, 20)
        self.assertEqual(run.returncode, 1, said)
        self.assertEqual(self.on_server("STOPPED.RPT"), old)
        self.way.unmount()
        self.server.start()
        self.way.mount()
        self.assertFinishes("STOPPED.RPT", new)


class Following(OneLaptop, unittest.TestCase):
    """quarnctl follow on a laptop back at the office: the share unmounted,
    then mounted again; what needs no choice goes by itself, a conflict
    waits untouched, and the notification says so."""

    def setUp(self):
        self.assertEqual(self.laptop.synced()[0], 0)  # both sides level, the record knows them
        procs = []
        self.addCleanup(lambda: [p.kill() or p.wait() for p in procs])

        def start(cmd):
            procs.append(subprocess.Popen(cmd, env=self.laptop.env, stdout=subprocess.PIPE,
                                          stderr=subprocess.STDOUT, text=True))
            return Lines(procs[-1])

        self.notes = start([sys.executable, "-c", NOTIFIER])
        self.notes.wait("ready")
        self.log = start([QUARNCTL, "follow", "--settle", "1"])

    def away_and_back(self, meanwhile=lambda: None):
        self.way.unmount()
        self.log.wait("The office share cannot be reached: the suite now uses the LOCAL set.")
        meanwhile()
        self.way.mount()
        self.log.wait("The office share is back: the suite now uses the NETWORK set.")

    def test_back_at_the_office(self):
        at = lambda name: self.laptop.at(*REPORTS, name)
        colleagues = b"JONES as a colleague saved it on the share\r\n"

        def on_the_road():
            write(at("NEW.RPT"), b"written on the road\r\n")
            write(at("SMITH.RPT"), b"SMITH as changed on the road\r\n")
            write(at("JONES.RPT"), b"JONES as changed on the road\r\n")
            write(os.path.join(self.server.folder, *REPORTS, "JONES.RPT"), colleagues, 60)

        self.away_and_back(on_the_road)
        told = "2 reports sent to the office share. 1 conflict waits for you."
        self.notes.wait(told)
        self.log.wait(told)
        self.assertEqual(self.on_server("NEW.RPT"), b"written on the road\r\n")
        self.assertEqual(self.on_server("SMITH.RPT"), b"SMITH as changed on the road\r\n")
        self.assertEqual(self.on_server("JONES.RPT"), colleagues)
        with open(at("JONES.RPT"), "rb") as f:
            self.assertEqual(f.read(), b"JONES as changed on the road\r\n")
        self.assertEqual(self.locks(), [])

        # Turned off: the share's return switches the suite and moves nothing.
        subprocess.run([QUARNCTL, "ini", "set", "C:\\VALUATOR\\QUARN2.INI", "SYNC", "Automatic",
                        "0"], env=self.laptop.env, check=True)
        self.away_and_back(lambda: write(at("LATER.RPT"), b"written later\r\n"))
        time.sleep(4)  # looks every second
        self.assertNotIn("LATER.RPT", reports(self.server.folder))
        self.assertEqual(sum(told in line for line in self.notes.lines), 1)
        subprocess.run([QUARNCTL, "ini", "set", "C:\\VALUATOR\\QUARN2.INI", "SYNC", "Automatic",
                        "1"], env=self.laptop.env, check=True)

    def test_a_share_that_goes_away_in_the_middle(self):
        new = b"the new report\n" + os.urandom(40 << 20)

        def on_the_road():
            write(self.laptop.at(*REPORTS, "BIG.RPT"), new)

        self.way.unmount()
        self.log.wait("The office share cannot be reached: the suite now uses the LOCAL set.")
        on_the_road()
        self.way.mount()
        temp = os.path.join(self.server.folder, *REPORTS, ".BIG.RPT.quarn.tmp")
        wait_for(lambda: os.path.exists(temp) and os.path.getsize(temp) > (4 << 20),
                 "the copy to be under way", timeout=60)
        self.server.signal(signal.SIGSTOP)
        try:
            failed = "1 report was not synchronized: BIG.RPT (Disk not ready)."
            self.notes.wait(failed)
        finally:
            self.server.signal(signal.SIGCONT)
        self.assertNotIn("BIG.RPT", reports(self.server.folder))
        # Tried again a minute after the failure, the share answering again.
        wait_for(lambda: any("1 report sent to the office share." in line
                             for line in self.notes.lines), "the run tried again", timeout=120)
        self.assertEqual(self.on_server("BIG.RPT"), new)
        self.assertEqual(sum(failed in line for line in self.notes.lines), 1)
