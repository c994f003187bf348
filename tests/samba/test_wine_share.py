"""The office share as the real Wine sees it: a password share of our own
Samba server, mounted through GVfs with the desktop's keyring on the bus,
linked into a wineboot'ed prefix as N: and by its UNC name."""

import contextlib
import fcntl
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from harness import (HOST, QUARNCTL, Gvfs, Keyring, Server, Wine, contents, run, session_env,
                     wait_for, write)

UNC = f"\\\\{HOST}\\private"
CONNECTED = f"Connected: {UNC} as N:"
RESTART = "Programs of the suite that are running now see N: once they are started again."
DRIVES = "HKLM\\Software\\Wine\\Drives"
SMITH = ("QXDATA", "APPRAISE", "data", "SMITH.RPT")
# A server that takes the call and says nothing, on the slow links' address
# (their relay is not running while this module runs).
SILENT = os.environ.get("QUARN_SLOW_HOST", "127.0.0.2")

MISSING = [why for why, gone in (("no /dev/fuse", not os.path.exists("/dev/fuse")),
                                 ("not root", os.geteuid() != 0)) if gone]
if MISSING:
    print("Wine share tests skipped:", ", ".join(MISSING))


class OnPrivateShare:
    """A server, the keyring and GVfs on the session bus, and a fresh prefix."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quarn-wine-")
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        cls.addClassCleanup(unmount_under, cls.work)  # the drive's own mounts, then the folder
        cls.env = session_env(cls.work)
        cls.server = Server(cls.work)
        cls.keyring = Keyring(cls.env)
        cls.addClassCleanup(cls.keyring.stop)
        cls.keyring.start()
        cls.wine = Wine(os.path.join(cls.work, "prefix"), cls.env)
        cls.addClassCleanup(cls.wine.stop)
        cls.prepare()
        cls.wine.boot()
        cls.addClassCleanup(cls.server.stop)
        cls.server.start()
        cls.gvfs = Gvfs(cls.work, HOST, "private", env=cls.env)
        cls.addClassCleanup(cls.gvfs.unmount)
        cls.gvfs.start()
        cls.addClassCleanup(cls.wine.stop)  # and before the share goes
        cls.n = os.path.join(cls.wine.prefix, "dosdevices", "n:")
        cls.unc = os.path.join(cls.wine.prefix, "dosdevices", "unc", HOST, "private")

    @classmethod
    def prepare(cls):
        """What the server's disk and the prefix hold before either starts:
        the demo suite, its network set on the server and no N: yet."""
        r = run(QUARNCTL, "demo-suite", cls.wine.prefix, env=cls.wine.env)
        assert r.returncode == 0, r.stdout + r.stderr
        prefix = cls.wine.prefix
        shutil.copytree(os.path.join(prefix, "network"), cls.server.private, dirs_exist_ok=True)
        os.remove(os.path.join(prefix, "dosdevices", "n:"))  # the demo's stand-in

    def drive_type(self):
        r = self.wine("reg", "query", DRIVES, "/v", "n:")
        return r.stdout.split()[-1] if r.returncode == 0 else r.stdout + r.stderr

    def mounts(self):
        """Every login's GVfs mount of the server."""
        return [n for n in os.listdir(self.gvfs.fuse) if n.startswith("smb-share:")]

    def assertConnected(self):
        r = run(QUARNCTL, "share", "status", env=self.wine.env)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, CONNECTED), r.stderr)
        self.assertTrue(os.path.samefile(self.n, self.unc))
        self.assertEqual(self.drive_type(), "network")


@unittest.skipIf(MISSING, ", ".join(MISSING))
class WineShare(OnPrivateShare, unittest.TestCase):
    """Connected by quarnctl share connect, then seen by Wine itself."""

    @classmethod
    def prepare(cls):
        write(os.path.join(cls.server.private, "HELLO.TXT"), "Hello from the office\n")

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        r = run(QUARNCTL, "share", "connect", UNC, "--user", Server.USER, "--domain",
                Server.DOMAIN, "--drive", "N:", "--password-stdin", env=cls.wine.env,
                input=cls.server.password + "\n")
        assert (r.returncode, r.stdout.strip()) == (0, CONNECTED), r.stdout + r.stderr
        # Wine takes in a drive linked while it runs only once it starts again.
        cls.wine.stop()
        cls.wine.start()

    def test_wine_reads_the_share_by_letter_and_by_unc_name(self):
        r = self.wine.cmd("dir N:\\")
        self.assertIn("HELLO.TXT", r.stdout, r.stderr)
        # Wine's dir takes \\server\share for a folder of the current drive;
        # a for loop lists through the system's own UNC lookup.
        r = self.wine.cmd(f"for %f in ({UNC}\\*) do @echo %~nxf")
        self.assertEqual(r.stdout.split(), ["HELLO.TXT"], r.stderr)
        for path in ("N:\\HELLO.TXT", f"{UNC}\\HELLO.TXT"):
            r = self.wine.cmd(f"type {path}")
            self.assertEqual(r.stdout.strip(), "Hello from the office", path + r.stderr)
        self.assertEqual(self.drive_type(), "network")

    def test_a_lock_stays_on_this_laptop(self):
        """The documented limit of rclone's drive: a byte-range lock, as Wine
        takes it on Unix, never reaches the server, where the other laptops'
        locks are."""
        # In a folder of its own, which the other tests' listings leave out.
        folder = os.path.join(self.server.private, "HELD")
        os.makedirs(folder)
        write(os.path.join(folder, "HELD.RPT"), "a report open here\n")
        self.addCleanup(shutil.rmtree, folder)
        held = os.path.join(self.n, "HELD", "HELD.RPT")
        wait_for(lambda: os.path.exists(held), "the report", timeout=2)
        with open(held, "r+b") as held:
            fcntl.lockf(held, fcntl.LOCK_EX | fcntl.LOCK_NB, 10, 0)
            r = run("smbstatus", "-s", self.server.conf, "-B")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertNotIn("HELD.RPT", r.stdout)

    def test_wine_writes_a_new_file_to_the_share(self):
        r = self.wine.cmd("echo From Wine> N:\\FROMWINE.TXT")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        on_server = os.path.join(self.server.private, "FROMWINE.TXT")
        wait_for(lambda: os.path.exists(on_server) and contents(on_server) == b"From Wine\r\n",
                 "the new file on the server", timeout=5)

    def test_wine_saves_over_renames_over_and_deletes_on_the_share(self):
        """As the suite works on a mapped drive, by letter and by UNC name."""
        on_server = lambda name: os.path.join(self.server.private, name)  # noqa: E731
        for n, root in enumerate(("N:", UNC)):
            with self.subTest(root=root):
                for name in ("OLD.TXT", "FROM.TXT", "TO.TXT", "GONE.TXT"):
                    write(on_server(name), f"{name} as the office had it\n")
                # Another's change shows within the bound the manual gives.
                wait_for(lambda: os.path.exists(os.path.join(self.n, "GONE.TXT")),
                         "the server's files through the drive", timeout=2)
                for line in (f"echo saved {n} again> {root}\\OLD.TXT",
                             f"move /y {root}\\FROM.TXT {root}\\TO.TXT",
                             f"del {root}\\GONE.TXT"):
                    r = self.wine.cmd(line)
                    self.assertEqual((r.returncode, r.stdout + r.stderr), (0, ""), line)
                # A save is on the server's disk once the suite has closed it.
                wait_for(lambda: contents(on_server("OLD.TXT")) == f"saved {n} again\r\n".encode(),
                         "the save on the server", timeout=5)
                self.assertEqual(contents(on_server("TO.TXT")), b"FROM.TXT as the office had it\n")
                self.assertFalse(os.path.exists(on_server("FROM.TXT")))
                self.assertFalse(os.path.exists(on_server("GONE.TXT")))


@unittest.skipIf(MISSING, ", ".join(MISSING))
class QuarnctlShare(OnPrivateShare, unittest.TestCase):
    def setUp(self):
        self.forget()

    def forget(self):
        """No link, no GVfs mount, no remembered share or password: what a connect
        finds must come from the server and the keyring alone."""
        for link in (self.n, self.unc):
            if os.path.lexists(link):
                os.remove(link)
        self.unmount_all()
        run("secret-tool", "clear", "protocol", "smb", "server", HOST, env=self.env)
        # Nor a share an earlier test connected and so remembered.
        path = os.path.join(self.wine.prefix, "drive_c", "VALUATOR", "QUARN2.INI")
        with open(path, encoding="latin-1", newline="") as f:
            kept = re.sub(r"\[OFFICESHARE\][^\[]*", "", f.read())
        with open(path, "w", encoding="latin-1", newline="") as f:
            f.write(kept)

    def unmount_all(self):
        """As a restart ends them: GVfs's and the drive's own."""
        for name in self.mounts():
            run("gio", "mount", "-u", os.path.join(self.gvfs.fuse, name), env=self.env)
        unmount_under(os.path.join(self.env["XDG_RUNTIME_DIR"], "quarn-shares"))
        wait_for(lambda: not self.mounts(), "the GVfs mounts to go")

    def ctl(self, *args, stdin=None, timeout=60):
        given = {"input": stdin} if stdin is not None else {"stdin": subprocess.DEVNULL}
        return run(QUARNCTL, *args, env=self.wine.env, timeout=timeout, **given)

    def connect(self, *flags, share=UNC, password=None, timeout=60):
        args = ["share", "connect", share, "--user", Server.USER, "--domain", Server.DOMAIN,
                "--drive", "N:", *flags]
        if password is None:
            return self.ctl(*args, timeout=timeout)
        return self.ctl(*args, "--password-stdin", stdin=password + "\n", timeout=timeout)

    def assertNothingLinked(self, r):
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertTrue(r.stderr.strip(), "a failure says why")
        self.assertFalse(os.path.lexists(self.n))
        r = self.ctl("share", "status")
        self.assertEqual((r.returncode, r.stdout.strip()), (0, "Not connected"), r.stderr)

    def test_remembered_password_transfer_back_from_the_keyring_and_follow(self):
        r = self.connect("--remember", password=self.server.password)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, CONNECTED), r.stderr)
        # The harness keeps a wineserver running, as an open suite would.
        self.assertIn("quarnctl: " + RESTART, r.stderr)
        self.assertConnected()
        r = self.ctl("transfer", "--to-network", "--sketch", "none", "--yes",
                     "C:\\" + "\\".join(SMITH))
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertTrue(contents(os.path.join(self.wine.prefix, "drive_c", *SMITH)) ==
                        contents(os.path.join(self.server.private, *SMITH)))
        stored = self.keyring.search("server", HOST)
        self.assertIn("attribute.protocol = smb", stored)
        self.assertIn(f"attribute.user = {Server.USER}", stored)

        r = self.ctl("share", "disconnect", "--yes")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertFalse(os.path.lexists(self.n))
        run("gio", "mount", "-u", self.gvfs.url, env=self.env)  # as after a restart
        r = self.connect()
        self.assertEqual((r.returncode, r.stdout.strip()), (0, CONNECTED), r.stderr)
        self.assertConnected()

        self.unmount_all()  # as after a restart: the links stay, the mount is gone
        r = self.ctl("follow", "--once")
        self.assertIn(CONNECTED, r.stdout, r.stderr)
        self.assertConnected()

        self.wine.stop()  # the registry on disk
        self.wine.start()
        env = self.env
        self.assertEqual(files_holding(self.server.password, env["HOME"], env["XDG_RUNTIME_DIR"],
                                       self.wine.prefix), [])

    def test_a_disconnect_leaves_the_users_own_mount(self):
        """The suite's drive goes; the GVfs mount the user made with the
        file manager before connecting stays."""
        r = self.connect("--remember", password=self.server.password)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(self.ctl("share", "disconnect", "--yes").returncode, 0)
        self.unmount_all()
        # The file manager's mount, from the remembered password.
        url = f"smb://{Server.DOMAIN};{Server.USER}@{HOST}/private"
        r = run("gio", "mount", url, env=self.env, input="")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        wait_for(self.mounts, "the user's own mount")
        r = self.connect()
        self.assertEqual((r.returncode, r.stdout.strip()), (0, CONNECTED), r.stderr)

        r = self.ctl("share", "disconnect", "--yes")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertFalse(os.path.lexists(self.n))
        self.assertEqual(len(self.mounts()), 1, "the user's mount stays")
        r = self.connect()  # and connects again beside it, as the next test expects
        self.assertEqual((r.returncode, r.stdout.strip()), (0, CONNECTED), r.stderr)

    def test_a_wrong_password_links_nothing_and_is_not_kept(self):
        r = self.connect("--remember", password="not-" + self.server.password)
        self.assertNothingLinked(r)
        self.assertNotIn("secret = ", self.keyring.search("server", HOST))

    def test_a_share_that_is_not_there(self):
        r = self.connect(share=f"smb://{HOST}/nosuch", password=self.server.password)
        self.assertNothingLinked(r)
        self.assertEqual(self.ctl("share", "connect").returncode, 2)

    def test_a_stopped_server_fails_within_ten_seconds(self):
        self.server.signal(signal.SIGSTOP)
        try:
            started = time.monotonic()
            r = self.connect(password=self.server.password, timeout=30)
            waited = time.monotonic() - started
        finally:
            self.server.signal(signal.SIGCONT)
        self.assertLess(waited, 10)
        self.assertNothingLinked(r)
        self.assertIn(f"The server {HOST} did not answer within ten seconds.", r.stderr)
        # The mount given up on may yet come through, now the server answers.
        with contextlib.suppress(AssertionError):
            wait_for(lambda: os.path.exists(self.gvfs.path), "a late mount", timeout=3)
        self.assertFalse(os.path.lexists(self.n))


    def test_a_server_that_says_nothing_fails_within_ten_seconds(self):
        with socket.create_server((SILENT, 445)):
            started = time.monotonic()
            r = self.connect(share=f"\\\\{SILENT}\\private", password=self.server.password,
                             timeout=30)
            waited = time.monotonic() - started
        self.assertLess(waited, 11)
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn(f"The server {SILENT} did not answer within ten seconds.", r.stderr)
        self.assertFalse(os.path.lexists(self.n))


    def test_a_gvfs_that_hangs_fails_within_ten_seconds(self):
        """GVfs's daemon stopped: D-Bus would wait 25 seconds for it."""
        gvfsd = self.gvfs.daemons[0]
        gvfsd.send_signal(signal.SIGSTOP)
        try:
            started = time.monotonic()
            r = self.connect(password=self.server.password, timeout=40)
            waited = time.monotonic() - started
            status = self.ctl("share", "status", timeout=40)
        finally:
            gvfsd.send_signal(signal.SIGCONT)
        self.assertLess(waited, 11)
        self.assertNothingLinked(r)
        self.assertIn("This desktop cannot mount network shares: GVfs does not answer.", r.stderr)
        self.assertEqual((status.returncode, status.stdout.strip()), (0, "Not connected"))


def unmount_under(folder):
    """Every FUSE mount under folder, as the session's end takes them."""
    with open("/proc/self/mountinfo") as f:
        points = [line.split()[4] for line in f]
    for point in points:
        if point.startswith(folder + "/"):
            run("fusermount", "-u", "-z", point)


def files_holding(secret, *roots):
    """Files under roots whose bytes hold secret, as UTF-8 or UTF-16;
    links and other mounts are not followed."""
    needles = (secret.encode(), secret.encode("utf-16-le"))
    found = []
    for root in roots:
        for folder, subs, files in os.walk(root):
            subs[:] = [s for s in subs if not os.path.ismount(os.path.join(folder, s))]
            for name in files:
                path = os.path.join(folder, name)
                if os.path.isfile(path) and not os.path.islink(path):
                    with open(path, "rb") as f:
                        if any(n in f.read() for n in needles):
                            found.append(path)
    return found
