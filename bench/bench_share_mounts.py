#!/usr/bin/python3
"""What each kind of mount of the office share lets the suite do, measured
with the real Wine on our own Samba server: GVfs's FUSE view, rclone's SMB
mount (the drive Quarn makes), smbnetfs, and the kernel's where it has cifs.
Two mounts of each kind stand for two laptops. Run as root after ./test.sh:
    dbus-run-session -- bench/bench_share_mounts.py
(QUARN_SHARE_HOST=127.0.0.5 puts the server on another loopback address)."""

import fcntl
import os
import signal
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
os.environ.setdefault("QUARN_BUILD", os.path.join(here, "..", "build", "default"))
os.environ.setdefault("QUARN_E2E_OUT", tempfile.mkdtemp(prefix="quarn-bench-out-"))
sys.path.insert(0, os.path.join(here, "..", "tests", "samba"))
from harness import HOST, Gvfs, Keyring, Server, Wine, contents, run, session_env, write  # noqa: E402


def gvfs(work, env, srv):
    g = Gvfs(work, HOST, "private", env=env)
    g.start()
    run("gio", "mount", f"smb://{Server.DOMAIN};{Server.USER}@{HOST}/private",
        input=srv.password + "\n", env=env)
    name = [n for n in os.listdir(g.fuse) if n.startswith("smb-share:")][0]
    return os.path.join(g.fuse, name), g.unmount


def rclone(work, env, srv, n):
    point = os.path.join(work, f"rclone{n}")
    os.makedirs(point)
    obscured = run("rclone", "obscure", "-", input=srv.password).stdout.strip()
    run("rclone", "mount", ":smb:private", point, "--smb-host", HOST, "--smb-user", Server.USER,
        "--smb-domain", Server.DOMAIN, "--vfs-cache-mode", "writes", "--vfs-write-back", "0s",
        "--dir-cache-time", "1s", "--attr-timeout", "1s", "--contimeout", "10s", "--timeout",
        "30s", "--cache-dir", os.path.join(work, f"rclone-cache{n}"), "--daemon",
        env=dict(env, RCLONE_SMB_PASS=obscured, RCLONE_CONFIG="/dev/null"))
    return point, lambda: run("fusermount", "-u", "-z", point)


def smbnetfs(work, env, srv, n):
    point = os.path.join(work, f"smbnetfs{n}")
    os.makedirs(point)
    conf = os.path.join(work, f"smbnetfs{n}.fifo")
    os.mkfifo(conf, 0o600)
    subprocess.Popen(["smbnetfs", point, "-f", "-o", f"config={conf}"], env=env,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    with open(conf, "w") as f:  # through a pipe: the password in no file
        f.write(f'config_update_period 0\nsmb_query_browsers false\n'
                f'auth "{HOST}/private" "{Server.DOMAIN}/{Server.USER}" "{srv.password}"\n')
    os.remove(conf)
    return os.path.join(point, HOST, "private"), lambda: run("fusermount", "-u", "-z", point)


def kernel(work, env, srv, n):
    point = os.path.join(work, f"cifs{n}")
    os.makedirs(point)
    r = run("mount", "-t", "cifs", f"//{HOST}/private", point, "-o",
            f"username={Server.USER},domain={Server.DOMAIN},password={srv.password}")
    assert r.returncode == 0, r.stderr
    return point, lambda: run("umount", "-l", point)


def waited(test, timeout=30.0):
    start = time.monotonic()
    while time.monotonic() - start < timeout:
        if test():
            return time.monotonic() - start
        time.sleep(0.02)
    return None


def measure(name, a, b, srv, wine):
    d = os.path.join(srv.private, name)
    os.makedirs(d)
    for f in ("OLD.TXT", "FROM.TXT", "TO.TXT", "GONE.TXT", "LOCKED.TXT"):
        write(os.path.join(d, f), f + " as the office had it\n")
    waited(lambda: os.path.exists(os.path.join(a, name, "GONE.TXT")), 5)
    for link, folder in (("n:", a), ("o:", b)):
        path = os.path.join(wine.prefix, "dosdevices", link)
        if os.path.lexists(path):
            os.remove(path)
        os.symlink(folder, path)
    wine.stop()
    wine.start()
    row = {}

    def did(line, check):
        r = wine.cmd(line)
        said = (r.stdout + r.stderr).strip()
        return "yes" if r.returncode == 0 and not said and waited(check, 5) is not None \
            else f"no ({said or 'nothing on the server'})"
    row["save over"] = did(f"echo saved> N:\\{name}\\OLD.TXT",
                           lambda: contents(os.path.join(d, "OLD.TXT")) == b"saved\r\n")
    row["rename over"] = did(f"move /y N:\\{name}\\FROM.TXT N:\\{name}\\TO.TXT",
                             lambda: not os.path.exists(os.path.join(d, "FROM.TXT")))
    row["delete"] = did(f"del N:\\{name}\\GONE.TXT",
                        lambda: not os.path.exists(os.path.join(d, "GONE.TXT")))
    # A byte-range lock as Wine takes it on Unix (fcntl), seen from the other.
    # (a read lock here, which GVfs can open for; a write lock there)
    with open(os.path.join(a, name, "LOCKED.TXT"), "rb") as mine:
        fcntl.lockf(mine, fcntl.LOCK_SH | fcntl.LOCK_NB, 10, 0)
        with open(os.path.join(b, name, "LOCKED.TXT"), "r+b") as theirs:
            try:
                fcntl.lockf(theirs, fcntl.LOCK_EX | fcntl.LOCK_NB, 10, 0)
                row["a lock seen by the other laptop"] = "no"
            except OSError:
                row["a lock seen by the other laptop"] = "yes"
    # Another laptop's save: when its size and time show here.
    seen = os.path.join(a, name, "LOCKED.TXT")
    before = os.stat(seen)
    with open(os.path.join(b, name, "LOCKED.TXT"), "wb") as f:
        f.write(b"changed on the other laptop, longer\n")
    row["another's change shows after"] = "%.1f s" % (waited(
        lambda: (lambda s: (s.st_size, s.st_mtime) != (before.st_size, before.st_mtime))(
            os.stat(seen))) or float("nan"))
    big = os.path.join(os.path.dirname(srv.private), "big.bin")
    if not os.path.exists(big):
        with open(big, "wb") as f:
            f.write(os.urandom(50 << 20))
    os.symlink(os.path.dirname(big), os.path.join(wine.prefix, "dosdevices", "w:"))
    start = time.monotonic()
    wine.cmd(f"copy /y W:\\big.bin N:\\{name}\\big.bin")
    returned = time.monotonic() - start
    on_server = waited(lambda: os.path.exists(os.path.join(d, "big.bin")) and
                       os.path.getsize(os.path.join(d, "big.bin")) == 50 << 20, 60)
    row["50 MB copy: returned, on the server"] = "%.2f s, %.2f s" % (
        returned, returned + (on_server or float("nan")))
    os.remove(os.path.join(wine.prefix, "dosdevices", "w:"))
    # The server stops answering: how long a look at the drive takes to fail.
    srv.signal(signal.SIGSTOP)
    start = time.monotonic()
    try:
        r = subprocess.run(["stat", os.path.join(a, name, "NEW.TXT")], capture_output=True,
                           timeout=120)
        outcome = "fails" if r.returncode else "answers"
    except subprocess.TimeoutExpired:
        outcome = "still waiting"
    row["server stopped: a look"] = "%s after %.0f s" % (outcome, time.monotonic() - start)
    srv.signal(signal.SIGCONT)
    return row


def main():
    work = tempfile.mkdtemp(prefix="quarn-mounts-")
    env = session_env(work)
    srv = Server(work)
    srv.start()
    keyring = Keyring(env)
    keyring.start()
    wine = Wine(os.path.join(work, "prefix"), env)
    wine.boot()
    rows = {}
    # GVfs runs once a session: its other laptop is smbnetfs.
    kinds = [("GVfs", lambda n: gvfs(work, env, srv) if n == 1 else smbnetfs(work, env, srv, 9)),
             ("rclone", lambda n: rclone(work, env, srv, n)),
             ("smbnetfs", lambda n: smbnetfs(work, env, srv, n))]
    with open("/proc/filesystems") as f:
        if any(line.split()[-1] == "cifs" for line in f):
            kinds.append(("kernel", lambda n: kernel(work, env, srv, n)))
        else:
            print("kernel: not measured, this kernel has no cifs file system")
    for name, mount in kinds:
        (a, undo_a), (b, undo_b) = mount(1), mount(2)
        try:
            rows[name] = measure(name, a, b, srv, wine)
            print(name, rows[name], flush=True)
        finally:
            undo_a()
            undo_b()
    wine.stop()
    keyring.stop()
    srv.stop()
    print("| | " + " | ".join(rows) + " |")
    print("|---" * (len(rows) + 1) + "|")
    for what in next(iter(rows.values())):
        print(f"| {what} | " + " | ".join(r[what] for r in rows.values()) + " |")


if __name__ == "__main__":
    main()
