"""Synchronize Reports beyond one run: quarn --synchronize (also handed to a
running Quarn), the last run and the history, synchronizing by itself
turned off in the window, and a previous version put back."""

import os
import subprocess
import time

from quarn import (ALERT, BUTTON, LABEL, QUARN, QUARNCTL, QuarnTest, click, contents, find_all, ini, text_of,
                   wait_for, write)

SYNC = "Synchronize Reports"


class AutoSync(QuarnTest):
    def line(self, window, description):
        found = [a for a in find_all(window, LABEL) if a.description == description]
        return text_of(found[0]) if found else None

    def test_history_switch_and_a_previous_version_put_back(self):
        q = self.quarn()
        share = q.n("QXDATA", "APPRAISE", "data", "SMITH.RPT")
        sync = lambda: subprocess.run([QUARNCTL, "sync", "--to-network"], env=q.env,
                                      capture_output=True, timeout=30)  # WILSON waits: 1
        sync()
        first = contents(share)
        write(q.c("QXDATA", "APPRAISE", "data", "SMITH.RPT"), b"SMITH as changed on the laptop")
        sync()  # the share's first SMITH kept as a version

        q.start(wait_window=False, args=["--synchronize"])
        window = q.window(SYNC)
        last = wait_for(lambda: self.line(window, "Last synchronized"), "the last run")
        self.assertRegex(last, r"^Last synchronized: today \d\d:\d\d, 1 sent")

        box = q.find(window, "check box", "Synchronize by itself when the office share comes back")
        self.assertTrue(box.getState().contains(30))  # checked
        click(box)
        settings = q.c("VALUATOR", "QUARN2.INI")
        wait_for(lambda: ini(settings).get("SYNC", {}).get("AUTOMATIC") == "0", "Automatic=0")

        click(q.find(window, BUTTON, "History…"))
        history = q.window("Synchronization History")
        runs = q.find(history, "tree", "Runs")
        cells = [text_of(c) for c in find_all(runs, "table cell", only_showing=False)]
        self.assertEqual(cells.count("quarnctl sync"), 2, cells)
        self.assertIn("1 sent, 3 waiting", cells)  # SMITH; BROWN, GARCIA, WILSON wait
        click(q.find(history, BUTTON, "Close"))
        q.gone("Synchronization History")

        table = q.find(window, "table", "Reports")
        t = table.queryTable()
        names = [text_of(t.getAccessibleAt(r, 0)) for r in range(t.nRows)]
        click(t.getAccessibleAt(names.index("SMITH.RPT"), 0))
        click(q.find(window, BUTTON, "Previous Versions…"))
        versions = q.window("Previous Versions of SMITH.RPT")
        listed = q.find(versions, "tree", "Versions")
        cell = next(c for c in find_all(listed, "table cell") if text_of(c) == "share")
        click(cell)
        click(q.find(versions, BUTTON, "Put Back"))
        put = lambda: (self.line(versions, "Status") or "").startswith("Put back: N:\\")
        # Asked first where the share's SMITH is newer than the version, by the seconds.
        wait_for(lambda: put() or q.windows(ALERT), "the files put back, or a question")
        if not put():
            q.box().press("Yes")
            wait_for(put, "the files put back")
        self.assertEqual(contents(share), first)
        click(q.find(versions, BUTTON, "Close"))
        q.gone("Previous Versions of SMITH.RPT")
        wait_for(lambda: self.rows_state(q, window, "SMITH.RPT") == "newer on the share",
                 "the table after the version came back", timeout=10)

    def rows_state(self, q, window, report):
        t = q.find(window, "table", "Reports").queryTable()
        for r in range(t.nRows):
            if text_of(t.getAccessibleAt(r, 0)) == report:
                return text_of(t.getAccessibleAt(r, 5))
        return None

    def test_a_second_start_hands_synchronize_to_the_running_quarn(self):
        q = self.quarn().start()
        started = time.monotonic()
        second = subprocess.run([QUARN, "--synchronize"], env=q.env, cwd=q.home, timeout=30,
                                capture_output=True, text=True)
        self.assertEqual(second.returncode, 0, second.stderr)
        self.assertLess(time.monotonic() - started, 10)
        q.window(SYNC)  # in the first one, which the second did not replace
        q.no_box()
        self.assertIsNone(q.proc.poll())

    def test_a_set_without_its_data_folder_plans_nothing(self):
        """Not a folder relative to wherever Quarn was started."""
        q = self.quarn()
        q.ctl("ini", "set", "C:\\VALUATOR\\QUARN2.INI", "NETWORK", "QXADATADIR", "")
        q.start()
        q.menu("File", "Synchronize Reports…")
        box = q.box()
        self.assertTrue(box.text.startswith("[NETWORK] QXADATADIR is not set up in "), box)
        self.assertTrue(box.text.endswith("; nothing was planned."), box)
        box.press("OK")
        q.no_box()
        self.assertFalse([w for w in q.windows() if w.name == SYNC])
