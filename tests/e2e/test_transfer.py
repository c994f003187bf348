"""The transfer dialog and the file dialog behind Browse: every way in and
out, and a working day from switch to copy to status."""

import glob
import os
import shutil
import time

import pyatspi

from quarn import (BUTTON, LABEL, RADIO, SETTINGS, TEXT, TRANSFER, QuarnTest, act, click, find_all,
                   hidden, ini, key, text_of, type_text, write)

TO_LAPTOP = "Copy Data From Network Drive To Laptop"
REPORT = "C:\\QXDATA\\APPRAISE\\data\\SMITH.RPT"
ON_SHARE = "N:\\QXDATA\\APPRAISE\\data\\SMITH.RPT"
SUITE_INI = "C:\\VALUATOR\\QUARN2.INI"
EXISTS = "File {} Exists.  Are you sure you wish to Overwrite?"


class Transfer(QuarnTest):
    def open_transfer(self, q):
        q.menu("File", "Copy Files")
        return q.window(TRANSFER)

    def copy_button(self, q, dialog):
        buttons = find_all(dialog, BUTTON, "Copy")
        self.assertEqual(len(buttons), 1, "one Copy button at a time")
        return buttons[0]

    def test_every_way_out_closes_it_and_stores_the_options(self):
        ways = {"Back": lambda q, d: act(q.find(d, BUTTON, "Back")),
                "hidden Cancel": lambda q, d: act(hidden(d, BUTTON, "Cancel")),
                "Escape": lambda q, d: (q.focus(TRANSFER), key("Escape")),
                "close box": lambda q, d: q.wm_close(TRANSFER)}
        q = self.quarn().start()
        for way, leave in ways.items():
            with self.subTest(way):
                q.ctl("ini", "set", SUITE_INI, "PREFERENCES", "SKETCHQXS", "0")
                dialog = self.open_transfer(q)
                click(q.find(dialog, RADIO, TO_LAPTOP))
                click(q.find(dialog, RADIO, "Plandraw32"))
                leave(q, dialog)
                q.gone(TRANSFER)
                prefs = ini(q.c("VALUATOR", "QUARN2.INI"))["PREFERENCES"]
                self.assertEqual((prefs["COPYNETWORK2LOCAL"], prefs["SKETCHQXS"]), ("1", "1"))
                # The main window takes input again.
                q.menu("Help", "About")
                act(q.find(q.window("About Quarn"), BUTTON, "OK"))
                q.gone("About Quarn")
                q.ctl("ini", "set", SUITE_INI, "PREFERENCES", "COPYNETWORK2LOCAL", "0")
        q.no_box()

    def test_the_copy_shown_goes_the_way_selected_from_the_start(self):
        q = self.quarn()
        q.ctl("ini", "set", SUITE_INI, "PREFERENCES", "COPYNETWORK2LOCAL", "1")
        q.start()
        dialog = self.open_transfer(q)  # watched from the moment it appears, active or not
        seen = set()
        end = time.monotonic() + 1.0
        while time.monotonic() < end:
            selected = [r.name for r in find_all(dialog, RADIO)
                        if r.getState().contains(pyatspi.STATE_CHECKED) and "Copy" in r.name]
            shown = [b.description for b in find_all(dialog, BUTTON, "Copy")]
            seen.add((tuple(selected), tuple(shown)))
        self.assertEqual(seen, {((TO_LAPTOP,), ("Copies the report from the network drive to "
                                                "the laptop",))})
        field = q.find(dialog, TEXT, "Select Report")
        field.queryEditableText().setTextContents("N:\\QXDATA\\APPRAISE\\data\\BROWN.RPT")
        act(self.copy_button(q, dialog))
        q.answer("File(s) copied successfully")
        self.assertTrue(os.path.exists(q.c("QXDATA", "APPRAISE", "data", "BROWN.RPT")))

    def strays(self, q):
        """SMITH.RPT anywhere but the suite: Quarn's home and working folder."""
        folders = (q.home, os.path.join(os.environ["QUARN_BUILD"], "app"))
        return [p for d in folders for p in glob.glob(os.path.join(d, "**", "SMITH.RPT"),
                                                      recursive=True)
                if "/prefix/" not in p]

    def test_copy_into_an_unprepared_folder_copies_nothing(self):
        q = self.quarn()
        for stray in self.strays(q):  # left by an older build
            os.remove(stray)
        self.addCleanup(lambda: [os.remove(p) for p in self.strays(q)])
        shutil.rmtree(q.n("QXDATA", "APPRAISE", "data"))
        q.start()
        q.menu("File", "Copy Files")
        q.answer("Configuration settings invalid, please check setup")
        q.wm_close(SETTINGS)
        dialog = q.window(TRANSFER)
        field = q.find(dialog, TEXT, "Select Report")
        field.queryEditableText().setTextContents(REPORT)
        act(self.copy_button(q, dialog))
        q.answer("Configuration settings invalid, please check setup")
        q.no_box()
        self.assertEqual(self.strays(q), [])

    def browse(self, q, dialog, path=None, leave="Open"):
        """Browse, then the file dialog: a path typed and Open, or another way out."""
        act(q.find(dialog, BUTTON, "Browse"))
        files = q.window("Open")
        if leave == "Open":
            q.focus("Open")
            type_text(path)
            key("Return")
        elif leave == "Escape":
            q.focus("Open")
            key("Escape")
        elif leave == "close box":
            q.wm_close("Open")
        else:
            act(q.find(files, BUTTON, leave))
        q.gone("Open")

    def test_a_name_windows_cannot_hold_then_the_file_dialog_ways_out(self):
        q = self.quarn()
        blank = q.c("QXDATA", "APPRAISE", "data", "smith.rpt ")  # beside SMITH.RPT
        write(blank, "another report")
        q.start()
        dialog = self.open_transfer(q)
        field = q.find(dialog, TEXT, "Select Report")
        click(q.find(dialog, RADIO, "None"))
        self.browse(q, dialog, blank)
        q.answer('The report "smith.rpt " cannot be transferred: Windows cannot name a file '
                 'that ends in a blank or a dot or holds any of \\ : * ? " < > |. '
                 'Rename the file and try again.')
        self.assertEqual(text_of(field), "")
        # Still disabled: no report was ever taken.
        self.assertFalse(self.copy_button(q, dialog).getState().contains(pyatspi.STATE_ENABLED))
        q.no_box()
        self.assertNotIn("SMITH.RPT", [n.upper() for n in os.listdir(q.n("QXDATA", "APPRAISE",
                                                                        "data"))])

        self.browse(q, dialog, q.c("QXDATA", "APPRAISE", "data", "JONES.RPT"))
        self.assertEqual(text_of(field), "C:\\QXDATA\\APPRAISE\\data\\JONES.RPT")
        for way in ("Cancel", "Escape", "close box"):
            with self.subTest(way):
                field.queryEditableText().setTextContents(REPORT)
                self.browse(q, dialog, leave=way)
                self.assertEqual(text_of(field), "")  # cancelled: no report
        q.no_box()

    def test_a_working_day(self):
        q = self.quarn().start()
        main = q.main_window()
        click(q.find(main, LABEL, "Connect Local"))

        q.menu("Setup", "Configuration")
        settings = q.window(SETTINGS)
        apex = next(f for f in find_all(settings, TEXT) if text_of(f) == "N:\\QXDATA\\APEX")
        apex.queryEditableText().setTextContents("N:\\QXDATA\\APEX\\")
        act(q.find(settings, BUTTON, "Save"))
        q.gone(SETTINGS)
        self.assertEqual(ini(q.c("VALUATOR", "QUARN2.INI"))["NETWORK"]["APEXDATADIR"],
                         "N:\\QXDATA\\APEX\\")

        click(q.find(main, LABEL, "Transfer Data"))
        dialog = q.window(TRANSFER)
        click(q.find(dialog, RADIO, "None"))
        local = q.c("QXDATA", "APPRAISE", "data", "SMITH.RPT")
        shared = q.n("QXDATA", "APPRAISE", "data", "SMITH.RPT")
        self.browse(q, dialog, local)
        act(self.copy_button(q, dialog))
        q.answer("File(s) copied successfully")
        self.assertTrue(os.path.exists(shared))

        os.truncate(shared, 1)  # the share's copy differs now
        self.browse(q, dialog, local)
        act(self.copy_button(q, dialog))
        q.answer(EXISTS.format(ON_SHARE), "No")
        q.no_box()
        self.assertEqual(os.path.getsize(shared), 1)

        self.browse(q, dialog, local)
        act(self.copy_button(q, dialog))
        q.answer(EXISTS.format(ON_SHARE), "Yes")
        q.answer("File(s) copied successfully")
        self.assertEqual(os.path.getsize(shared), os.path.getsize(local))

        act(q.find(dialog, BUTTON, "Back"))
        q.gone(TRANSFER)
        click(q.find(main, LABEL, "Exit Quarn"))
        self.assertEqual(q.wait_exit(), 0)
        self.assertEqual(q.in_force(), "LOCAL")
