"""Setup > Office Share... on a demo suite, with a server that does not exist:
what the window starts from, and what it says after Connect."""

from quarn import BUTTON, LABEL, TEXT, QuarnTest, act, find_all, ini, text_of, wait_for

WINDOW = "Office Share"
# Which of the two the desktop gives depends on whether GVfs runs there.
NO_SERVER = ('No server named "nosuch.invalid" was found. Check the server\'s name, and that '
             "this computer is on the office network.")
NO_GVFS = ("This desktop cannot mount network shares: GVfs does not answer. Install the packages "
           "gvfs-backends and gvfs-fuse, log out and in again, then connect.")


class OfficeShare(QuarnTest):
    def test_connect_to_an_unknown_server_says_why_in_the_window(self):
        q = self.quarn().start()
        q.menu("Setup", "Office Share…")
        window = q.window(WINDOW)
        drive = q.find(window, "combo box", None)
        self.assertEqual(drive.name, "N:")  # the NETWORK set's drive
        q.find(window, LABEL, "Not connected")  # the state line

        q.find(window, TEXT, "Share").queryEditableText().setTextContents(
            "\\\\nosuch.invalid\\data")
        act(q.find(window, BUTTON, "Connect"))
        said = wait_for(lambda: [text_of(label) for label in find_all(window, LABEL)
                                 if text_of(label) in (NO_SERVER, NO_GVFS)],
                        "the Connect's outcome", timeout=20)
        self.assertEqual(len(said), 1)
        q.find(window, LABEL, "Not connected")
        q.no_box()
        # Nothing is remembered of a share that was never connected.
        self.assertNotIn("OFFICESHARE", ini(q.c("VALUATOR", "QUARN2.INI")))

        act(q.find(window, BUTTON, "Close"))
        q.gone(WINDOW)
        q.no_box()
