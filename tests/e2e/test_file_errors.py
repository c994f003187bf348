"""A file that cannot even be asked about (a link loop) met in each window:
a message, and Quarn goes on."""

import os

from quarn import BUTTON, LABEL, SETTINGS, TEXT, TRANSFER, QuarnTest, act, click, find_all, text_of


class FileErrors(QuarnTest):
    def test_a_link_loop_in_each_window_is_reported_and_quarn_goes_on(self):
        q = self.quarn()
        os.symlink("LOOP", q.c("LOOP"))
        q.ctl("ini", "set", "C:\\VALUATOR\\KAV.INI", "DIRECTORIES", "APPDIR", "C:\\LOOP")
        os.symlink("SMITH.RPT", q.n("QXDATA", "APPRAISE", "data", "SMITH.RPT"))
        q.start()

        with self.subTest("main window"):
            click(q.find(q.main_window(), LABEL, "Open Appraisal" + " " * 15 + "Software"))
            q.answer("Unable to Launch the Appraisal Program. Check to verify the program is "
                     "installed and functioning properly", title="Unable to Open Program")

        with self.subTest("transfer"):
            q.menu("File", "Copy Files")
            dialog = q.window(TRANSFER)
            q.find(dialog, TEXT, "Select Report").queryEditableText().setTextContents(
                "C:\\QXDATA\\APPRAISE\\data\\SMITH.RPT")
            act(q.find(dialog, BUTTON, "Copy"))
            q.answer("Error encountered, ErrNum = Path/File access error")
            act(q.find(q.window(TRANSFER), BUTTON, "Back"))
            q.gone(TRANSFER)

        with self.subTest("settings"):
            q.menu("Setup", "Configuration")
            dialog = q.window(SETTINGS)
            field = next(f for f in find_all(dialog, TEXT) if text_of(f) == "N:\\QXDATA\\APEX")
            field.queryEditableText().setTextContents("C:\\LOOP\\APEX")
            act(q.find(dialog, BUTTON, "Save"))
            q.answer("This directory does not exist. Either correct or remove.")
            act(q.find(q.window(SETTINGS), BUTTON, "Cancel"))
            q.answer("Ignore changes?", "Yes")
            q.gone(SETTINGS)

        self.assertIsNone(q.proc.poll())
        q.main_window()
