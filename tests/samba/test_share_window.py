"""Setup > Office Share… on the real parts: the real quarn on a virtual
display, driven through the accessibility bus, connecting to the password
share of our own Samba server through GVfs with the desktop's keyring, then
a save over a report from Wine and a transfer to it, and the disconnection
that offers the LOCAL set first."""

import os
import sys
import unittest

sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

from harness import HOST, Server, contents  # noqa: E402
from quarn import (BUTTON, LABEL, RADIO, TEXT, TRANSFER, QuarnTest, act, click,  # noqa: E402
                   find_all, ini, text_of, type_text, wait_for)
from test_wine_share import CONNECTED, MISSING, RESTART, SMITH, UNC, OnPrivateShare  # noqa: E402

if MISSING:
    print("Share window test skipped:", ", ".join(MISSING))

WINDOW = "Office Share"
DISCONNECTED = "Not connected (disconnected by you; Connect to use it again)"
LIMITS = (f"Locks stay on this laptop: another laptop can open a file on N: while it is open "
          f"here. For locks the whole office sees, ask your administrator to mount {UNC} through "
          f"the kernel (cifs) on this laptop; Quarn then uses that mount.")
OFFER_LOCAL = ("The suite uses the office share on N:. Switch it to the LOCAL set before the "
               "share is disconnected?")


@unittest.skipIf(MISSING, ", ".join(MISSING))
class ShareWindow(OnPrivateShare, QuarnTest):
    def start(self):
        # The session of the harness: its runtime folder (GVfs's FUSE view),
        # home and prefix, on the bus that GVfs and the keyring answer on.
        session = {k: v for k, v in self.wine.env.items()
                   if k.startswith(("XDG_", "WINE")) or k == "HOME"}
        q = self.quarn(home=self.work, env=session)
        q.ctl("connect", "local")  # away from the office, as the day starts
        return q.start()

    def open_share_window(self, q):
        q.menu("Setup", "Office Share…")
        return q.window(WINDOW)

    def test_connect_transfer_and_disconnect_through_the_window(self):
        q = self.start()
        window = self.open_share_window(q)
        q.find(window, LABEL, "Not connected")
        for field, value in (("Share", UNC), ("User name", Server.USER), ("Domain", Server.DOMAIN)):
            q.find(window, TEXT, field).queryEditableText().setTextContents(value)
        click(q.find(window, "password text", "Password"))
        type_text(self.server.password)
        click(q.find(window, "check box", "Remember the password"))
        act(q.find(window, BUTTON, "Connect"))
        # Connect runs on a thread of its own; the mount takes a moment.
        q.find(window, LABEL, CONNECTED, timeout=20)
        self.assertEqual(self.messages(q, window), [LIMITS, RESTART])
        q.no_box()
        self.assertConnected()
        # The suite, started again as the note asks, saves over a report there.
        self.wine.stop()
        self.wine.start()
        report = os.path.join(self.server.private, "QXDATA", "SAVED.RPT")
        with open(report, "wb") as f:
            f.write(b"as the office had it\n")
        wait_for(lambda: os.path.exists(os.path.join(self.n, "QXDATA", "SAVED.RPT")),
                 "the report through the drive", timeout=2)
        r = self.wine.cmd("echo saved by the suite> N:\\QXDATA\\SAVED.RPT")
        self.assertEqual((r.returncode, r.stdout + r.stderr), (0, ""))
        wait_for(lambda: contents(report) == b"saved by the suite\r\n", "the save on the server",
                 timeout=5)
        stored = self.keyring.search("server", HOST)
        self.assertIn(f"attribute.user = {Server.USER}", stored)
        remembered = ini(q.c("VALUATOR", "QUARN2.INI"))["OFFICESHARE"]
        self.assertEqual(remembered, {"SHARE": UNC, "USER": Server.USER,
                                      "DOMAIN": Server.DOMAIN, "DRIVE": "N:",
                                      "LINKEDDRIVES": "N:"})
        act(q.find(window, BUTTON, "Close"))
        q.gone(WINDOW)

        click(q.find(q.main_window(), LABEL, "Transfer Data"))
        dialog = q.window(TRANSFER)
        click(q.find(dialog, RADIO, "None"))
        q.find(dialog, TEXT, "Select Report").queryEditableText().setTextContents(
            "C:\\" + "\\".join(SMITH))
        act(q.find(dialog, BUTTON, "Copy"))
        q.answer("File(s) copied successfully")
        on_server = contents(os.path.join(self.server.private, *SMITH))
        self.assertTrue(contents(q.c(*SMITH)) == on_server, "the server's copy differs")
        act(q.find(dialog, BUTTON, "Back"))
        q.gone(TRANSFER)

        click(q.find(q.main_window(), BUTTON, "Connect Network"))
        wait_for(lambda: q.in_force() == "NETWORK", "the switch to NETWORK")
        window = self.open_share_window(q)
        q.find(window, LABEL, CONNECTED)
        act(q.find(window, BUTTON, "Disconnect"))
        q.answer(OFFER_LOCAL, "No")
        q.no_box()
        q.find(window, LABEL, CONNECTED)
        self.assertConnected()
        self.assertEqual(q.in_force(), "NETWORK")

        act(q.find(window, BUTTON, "Disconnect"))
        q.answer(OFFER_LOCAL, "Yes")
        q.find(window, LABEL, DISCONNECTED, timeout=20)
        self.assertEqual(self.messages(q, window), [])
        q.no_box()
        self.assertEqual(q.in_force(), "LOCAL")
        self.assertFalse(os.path.lexists(self.n))
        self.assertFalse(os.path.lexists(self.unc))
        wait_for(lambda: not self.mounts(), "the mount Quarn made to go", timeout=3)

        # The remembered password brings the share back with the field empty,
        # the drive usable as soon as the window says so: a listing, since
        # the kernel may answer a stat from the mount before.
        act(q.find(window, BUTTON, "Connect"))
        q.find(window, LABEL, CONNECTED, timeout=20)
        self.assertEqual(os.listdir(self.n), ["QXDATA"])
        self.assertConnected()

    def messages(self, q, window):
        """The labels under the state line that say something."""
        fields = {"Share:", "User name:", "Domain:", "Password:", "Drive:", CONNECTED,
                  "Not connected", DISCONNECTED}
        return [text_of(a) for a in find_all(window, LABEL) if text_of(a) not in fields
                and text_of(a)]
