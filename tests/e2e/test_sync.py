"""Synchronize Reports on the demo suite: the plan as the table shows it,
choices over a selection, a conflict kept both ways, a run watched while it
waits on a stale lock, its summary, and the files on disk after it."""

import datetime
import hashlib
import os
import socket
import time

from quarn import (BUTTON, LABEL, QuarnTest, act, click, contents, find_all, text_of, wait_for,
                   write, xdotool)

SYNC = "Synchronize Reports"


class Sync(QuarnTest):
    def table(self, q, window):
        return q.find(window, "table", "Reports")

    def rows(self, table):
        """{report: (state, action)} as the table shows them."""
        t = table.queryTable()
        cells = lambda r: [text_of(t.getAccessibleAt(r, c)) for c in range(t.nColumns)]
        return {row[0]: (row[5], row[6]) for row in map(cells, range(t.nRows))}

    def select(self, table, *reports):
        """Clicks the first report's row, then the others' with Ctrl held."""
        t = table.queryTable()
        names = [text_of(t.getAccessibleAt(r, 0)) for r in range(t.nRows)]
        for i, report in enumerate(reports):
            if i == 1:
                xdotool("keydown", "ctrl")
            click(t.getAccessibleAt(names.index(report), 0))
        if len(reports) > 1:
            xdotool("keyup", "ctrl")
        selected = lambda: {names[r] for r in range(t.nRows) if t.isRowSelected(r)}
        wait_for(lambda: selected() == set(reports), f"{reports} selected")

    def choose(self, q, window, button, *reports):
        """A button clicked for the reports selected: pointer clicks, so each
        takes effect before the next selection."""
        self.select(self.table(q, window), *reports)
        click(q.find(window, BUTTON, button))

    def line(self, window, description):
        """The text of the label described so (its text is its name)."""
        found = [a for a in find_all(window, LABEL) if a.description == description]
        return text_of(found[0]) if found else None

    def status(self, q, window):
        return self.line(window, "Status")

    def stale_lock(self, q, report, minutes_ago):
        """Another laptop's lock on `report` on the share, last renewed
        `minutes_ago` and seen unchanged by this laptop since then (as an
        earlier run of Quarn keeps it); the times as the question gives them."""
        since = datetime.datetime.now().astimezone() - datetime.timedelta(minutes=minutes_ago)
        locks = q.n("QXDATA", "APPRAISE", "data", ".quarn-locks")
        os.makedirs(locks, exist_ok=True)
        utc = since.astimezone(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
        lock = os.path.join(locks, report + ".lock")
        text = f"user=jdoe\ncomputer=LAPTOP-7\npid=4242\nsince={utc}\nrenewed={utc}\n"
        write(lock, text)
        seen = hashlib.sha1(f"{text}\n{int(os.stat(lock).st_mtime)}".encode()).hexdigest()
        with open("/proc/sys/kernel/random/boot_id") as f:
            clock = f.read().strip() + " " + os.readlink("/proc/self/ns/time")
        at = int(time.clock_gettime(time.CLOCK_BOOTTIME) * 1000) - minutes_ago * 60000
        os.makedirs(os.path.join(q.runtime, "quarn-locks"), mode=0o700, exist_ok=True)
        write(os.path.join(q.runtime, "quarn-locks", f"share-{seen}.seen"), f"{clock}\n{at}\n")
        return since.strftime("%H:%M")

    def test_a_plan_chosen_and_carried_out(self):
        q = self.quarn()
        data = lambda *p: q.c("QXDATA", "APPRAISE", "data", *p)
        shared = lambda *p: q.n("QXDATA", "APPRAISE", "data", *p)
        # The laptop's own GARCIA, unlike the share's.
        write(data("GARCIA.RPT"), b"GARCIA as changed on the laptop\r\n" * 2000)
        wilson = {side: (contents(where("WILSON.RPT")), contents(sketch("WILSON.sk3")))
                  for side, where, sketch in
                  (("laptop", data, lambda n: q.c("QXDATA", "SKETCH", n)),
                   ("share", shared, lambda n: q.n("QXDATA", "SKETCH", n)))}
        since = self.stale_lock(q, "JONES.RPT", 10)
        q.start()
        q.menu("File", "Synchronize Reports…")
        window = q.window(SYNC)
        table = self.table(q, window)
        unknown = "differs, not in the record of the last sync"
        wait_for(lambda: len(self.rows(table)) == 6, "the plan")
        self.assertEqual(self.rows(table), {
            "BROWN.RPT": ("only on the share", "to the laptop"),
            "GARCIA.RPT": (unknown, "nothing"),
            "JONES.RPT": ("only on the laptop", "to the share"),
            "SMITH.RPT": ("only on the laptop", "to the share"),
            "TAYLOR.RPT": ("the same", "nothing"),
            "WILSON.RPT": (unknown, "nothing")})
        self.assertEqual(self.status(q, window), "6 reports, 3 to move. Left for you to choose: "
                                                 "2 (select them, then choose what to do).")

        # Three selected, one of which cannot go to the share; then one
        # conflict kept both ways, and one report skipped.
        self.choose(q, window, "To the Laptop", "WILSON.RPT")
        wait_for(lambda: self.rows(table)["WILSON.RPT"] == (unknown, "to the laptop"),
                 "WILSON.RPT to the laptop")
        self.choose(q, window, "To the Share", "BROWN.RPT", "GARCIA.RPT", "WILSON.RPT")
        refused = "1 of the selected reports cannot take that action: they were left as they were."
        wait_for(lambda: self.status(q, window) == refused, "the refusal counted")
        self.choose(q, window, "Keep Both", "WILSON.RPT")
        self.choose(q, window, "Skip", "BROWN.RPT")
        chosen = {"BROWN.RPT": "nothing", "GARCIA.RPT": "to the share",
                  "JONES.RPT": "to the share", "SMITH.RPT": "to the share",
                  "TAYLOR.RPT": "nothing", "WILSON.RPT": "keep both"}
        wait_for(lambda: {r: a for r, (_, a) in self.rows(table).items()} == chosen,
                 f"the actions {chosen}")

        # The run stops at the stale lock, its progress on screen meanwhile.
        act(q.find(window, BUTTON, "Synchronize"))
        box = q.box()
        self.assertEqual(box.text, f"JONES.RPT was locked by jdoe on LAPTOP-7 since {since}, "
                                   f"and the lock has not been renewed since {since}: that copy "
                                   "has most likely stopped. Break the lock and go on?")
        progress = self.line(window, "Progress")
        self.assertRegex(progress, r"^Report 2 of 4: JONES\.RPT, \d+(\.\d)? KB of \d+(\.\d)? KB")
        bar = q.find(window, "progress bar", "Copied").queryValue()
        self.assertGreater(bar.currentValue, 0)  # GARCIA's bytes
        box.press("Yes")

        summary = wait_for(lambda: text_of(q.find(window, "text", "Summary")), "the summary",
                           timeout=20)
        computer = "".join(c for c in socket.gethostname().upper() if c not in '\\/:*?"<>|')
        kept = f"WILSON ({computer} {datetime.date.today().isoformat()})"
        self.assertEqual(summary, "To the share: 3: GARCIA.RPT, JONES.RPT, SMITH.RPT\n"
                                  "To the laptop: 0\nKept both: 1\n"
                                  f"  WILSON.RPT: the laptop's version is kept as {kept}.RPT")
        # Then the folders as they are now: all level but the one skipped.
        wait_for(lambda: self.status(q, window) == "7 reports, 1 to move.", "the plan made again")

        for name in ("GARCIA.RPT", "JONES.RPT", "SMITH.RPT"):
            self.assertEqual(contents(shared(name)), contents(data(name)), name)
        self.assertEqual(contents(q.n("QXDATA", "APEX", "JONES.AX4")),
                         contents(q.c("QXDATA", "APEX", "JONES.AX4")))
        self.assertFalse(os.path.exists(data("BROWN.RPT")))
        self.assertFalse(os.listdir(shared(".quarn-locks")))  # broken, then let go
        # Keep Both: the share's version under its name on both sides, the
        # laptop's beside it under the kept name, sketches alike.
        for where, sketches in ((data, q.c("QXDATA", "SKETCH")),
                                (shared, q.n("QXDATA", "SKETCH"))):
            self.assertEqual((contents(where("WILSON.RPT")),
                              contents(os.path.join(sketches, "WILSON.sk3"))), wilson["share"])
            self.assertEqual((contents(where(kept + ".RPT")),
                              contents(os.path.join(sketches, kept + ".sk3"))), wilson["laptop"])

        act(q.find(window, BUTTON, "Close"))
        q.gone(SYNC)
        q.no_box()
