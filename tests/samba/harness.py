"""The real parts of an office for the share tests: a Samba server of our
own, GVfs as the desktop runs it, the desktop's keyring and a real Wine."""

import contextlib
import os
import secrets
import signal
import socket
import subprocess
import sys
import tempfile

# The end-to-end driver's helpers serve the share tests too.
sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from quarn import QUARNCTL, contents, wait_for, write  # noqa: E402,F401

# Another loopback address where another run's server holds 127.0.0.1:445.
HOST = os.environ.get("QUARN_SHARE_HOST", "127.0.0.1")


def run(*args, timeout=60, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, **kw)


def session_env(work):
    """A desktop session's folders, all under work."""
    env = dict(os.environ)
    for var, sub in (("HOME", "home"), ("XDG_RUNTIME_DIR", "run"),
                     ("XDG_DATA_HOME", "home/.local/share"), ("XDG_CONFIG_HOME", "home/.config"),
                     ("XDG_CACHE_HOME", "home/.cache")):
        env[var] = os.path.join(work, sub)
        os.makedirs(env[var], mode=0o700, exist_ok=True)
    return env


def bus_owner(name):
    """The pid that holds a name on the session bus, or None."""
    r = run("gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
            "--object-path", "/org/freedesktop/DBus",
            "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", name)
    return int(r.stdout.strip("(),\n ").split()[-1]) if r.returncode == 0 else None


def processes(holding, part="cmdline"):
    """The pids whose /proc/PID/part passes `holding`, a test of its bytes;
    one that ends meanwhile is left out."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open(f"/proc/{pid}/{part}", "rb") as f:
            if holding(f.read()):
                found.append(int(pid))
    return found


def kill(pids, sig=signal.SIGKILL):
    for pid in pids:
        with contextlib.suppress(ProcessLookupError):  # a client's child that has just ended
            os.kill(pid, sig)


class Server:
    """smbd in the foreground with a configuration of its own: [office]
    welcomes guests, [private] takes one user of its own password database."""
    USER = "appraiser"
    DOMAIN = "WORKGROUP"

    def __init__(self, work, host=HOST):
        self.host = host
        self.folder = os.path.join(work, "office")
        self.private = os.path.join(work, "private")
        self.password = "Qx-" + secrets.token_hex(8)
        state = os.path.join(work, "samba")
        os.makedirs(self.folder)
        os.makedirs(self.private)
        os.makedirs(os.path.join(state, "ncalrpc"))
        self.conf = os.path.join(state, "smb.conf")
        # The password database needs a Unix account: nobody, under our name.
        write(os.path.join(state, "users.map"), f"nobody = {self.USER}\n")
        write(self.conf, f"""[global]
  server role = standalone server
  map to guest = Bad User
  interfaces = {host}/8
  bind interfaces only = yes
  pid directory = {state}
  lock directory = {state}
  state directory = {state}
  cache directory = {state}
  private dir = {state}
  ncalrpc dir = {state}/ncalrpc
  log file = {state}/smbd.log
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  passdb backend = tdbsam:{state}/passdb.tdb
  username map = {state}/users.map
[office]
  path = {self.folder}
  guest ok = yes
  read only = no
  force user = root
[private]
  path = {self.private}
  guest ok = no
  valid users = nobody
  read only = no
  force user = root
""")
        r = run("pdbedit", "-s", self.conf, "-a", "-u", "nobody", "-t",
                input=f"{self.password}\n{self.password}\n")
        assert r.returncode == 0, r.stderr
        self.proc = None

    def start(self):
        # Else the checks below would talk to that one.
        with socket.socket() as s:
            taken = s.connect_ex((self.host, 445)) == 0
        assert not taken, \
            f"another server holds {self.host}:445 (set QUARN_SHARE_HOST to another 127.x address)"
        self.proc = subprocess.Popen(["smbd", "-F", "--no-process-group", "-s", self.conf],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        up = ("smbclient", "-N", f"//{self.host}/office", "-c", "ls")
        wait_for(lambda: run(*up).returncode == 0, "the Samba server", timeout=15)
        assert self.proc.poll() is None, "another server holds port 445: " + self.conf

    def signal(self, sig):
        """To smbd and the children it forked for each client."""
        kill(processes(lambda cmdline: self.conf.encode() in cmdline), sig)

    def stop(self):
        self.signal(signal.SIGKILL)
        if self.proc:
            self.proc.wait()


class Gvfs:
    """As the GNOME file manager's "Connect to Server" does."""
    name = "GVfs"

    def __init__(self, work, host, share="office", env=None):
        self.url = f"smb://{host}/{share}"
        self.env = env or dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "run"))
        self.fuse = os.path.join(self.env["XDG_RUNTIME_DIR"], "gvfs")
        os.makedirs(self.fuse, mode=0o700, exist_ok=True)
        self.path = os.path.join(self.fuse, f"smb-share:server={host},share={share}")
        self.daemons = []

    def start(self):
        """gvfsd, then its FUSE view: a gvfsd-fuse alone would have the bus
        start a gvfsd of its own, in the bus's environment."""
        gvfsd = subprocess.Popen(["/usr/libexec/gvfsd", "--replace", "--no-fuse"], env=self.env,
                                 stderr=subprocess.DEVNULL)
        self.daemons = [gvfsd]
        wait_for(lambda: bus_owner("org.gtk.vfs.Daemon") == gvfsd.pid, "gvfsd on the bus")
        self.daemons.append(subprocess.Popen(["/usr/libexec/gvfsd-fuse", self.fuse, "-f"],
                                             env=self.env, stderr=subprocess.DEVNULL))
        wait_for(lambda: os.path.ismount(self.fuse), "the GVfs FUSE folder")

    def stop(self):
        run("umount", "-l", self.fuse)
        for d in self.daemons:
            d.kill()
            d.wait()
        self.daemons = []
        # The mounts' own daemons (gvfsd-smb ...) outlive gvfsd and would
        # serve the next class's gvfsd their stale mounts.
        mark = f"XDG_RUNTIME_DIR={self.env['XDG_RUNTIME_DIR']}".encode()
        ours = processes(lambda environ: mark in environ.split(b"\0"), "environ")
        kill(set(ours) & set(processes(lambda cmdline: b"gvfs" in cmdline)))

    def mount(self):
        """As a guest."""
        if not self.daemons:
            self.start()
        r = run("gio", "mount", "-a", self.url, env=self.env, input="")
        assert r.returncode == 0, r.stderr
        wait_for(lambda: os.path.isdir(self.path), "the share under gvfs/")
        return self.path

    def unmount(self):
        run("gio", "mount", "-u", self.url, env=self.env)
        self.stop()


class Keyring:
    """The desktop's Secret Service, with a login keyring of the session's
    own, unlocked. It replaces any the bus started on a lookup before."""

    def __init__(self, env):
        self.env = env
        self.password = "keyring-" + secrets.token_hex(4)
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen(
            ["gnome-keyring-daemon", "--replace", "--foreground", "--unlock",
             "--components=secrets"], env=self.env, stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.proc.stdin.write(self.password.encode())
        self.proc.stdin.close()
        wait_for(lambda: bus_owner("org.freedesktop.secrets") == self.proc.pid,
                 "the keyring on the bus")

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()

    def search(self, *attributes):
        """secret-tool's listing of the items with these attributes (their
        attributes come on its standard error)."""
        r = run("secret-tool", "search", "--all", *attributes, env=self.env)
        return r.stdout + r.stderr


class Wine:
    """A prefix of the real Wine, run without a display. Without Mono and
    Gecko nothing offers to download them."""

    def __init__(self, prefix, env):
        self.prefix = prefix
        self.env = {k: v for k, v in env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

    def boot(self):
        """A new prefix."""
        os.makedirs(self.prefix, exist_ok=True)
        self.start("-i")

    def start(self, *how):
        """The server kept running, with Wine's own processes started by a
        call whose output nobody reads: they would hold it open, and each
        call would wait for them to quit. Wine takes in the drives linked
        in the prefix when it starts, not later."""
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        with tempfile.TemporaryFile() as out:
            r = subprocess.run(["wineboot", *how], env=self.env, stdout=out, stderr=out,
                               timeout=300)
            out.seek(0)
            assert r.returncode == 0, out.read().decode(errors="replace")

    def __call__(self, *args):
        """wine PROGRAM ARGS from C:\\, its output as text."""
        return run("wine", *args, env=self.env, cwd=os.path.join(self.prefix, "drive_c"),
                   errors="replace")

    def cmd(self, line):
        return self("cmd", "/c", line)

    def stop(self):
        """The server gone, the registry on disk."""
        run("wineserver", "-k", env=self.env)
        run("wineserver", "-w", env=self.env, timeout=120)
