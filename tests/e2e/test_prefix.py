"""Which suite Quarn works on when Wine keeps several, or none where it looks."""

import os
import subprocess

from quarn import (BUTTON, LABEL, QUARNCTL, QuarnTest, act, appraisal_dir, click, find_all, key,
                   type_text, wait_for)

CHOOSER, LOCAL = "Wine Prefix", "C:\\QXDATA\\APPRAISE"


class Prefix(QuarnTest):
    def suite(self, *where):
        folder = os.path.join(self.home, *where)
        subprocess.run([QUARNCTL, "demo-suite", folder], check=True, capture_output=True)
        return folder

    def connect_local_writes(self, q, prefix):
        click(q.find(q.main_window(), LABEL, "Connect Local"))
        wait_for(lambda: appraisal_dir(prefix) == LOCAL, f"Connect Local to write {prefix}")

    def pick_folder(self, q, chooser, folder):
        act(q.find(chooser, BUTTON, "Choose Folder…"))
        q.window("Wine Prefix Folder")
        q.focus("Wine Prefix Folder")
        type_text(folder)
        key("Return")
        q.gone("Wine Prefix Folder")

    def test_several_suites_ask_until_answered_and_the_answer_stays(self):
        wine = self.suite(".wine")
        bottle = self.suite(".local", "share", "bottles", "bottles", "Office")
        for answer, works_on in (("close", wine), ("Office", bottle)):
            q = self.quarn(prefix=False).start(wait_window=False)
            chooser = q.window(CHOOSER)
            if answer == "close":  # the first found, and asked again next time
                q.wm_close(CHOOSER)
            else:
                click(q.find(chooser, None, answer))
                act(q.find(chooser, BUTTON, "OK"))
            q.gone(CHOOSER)
            self.connect_local_writes(q, works_on)
            q.no_box()
            q.menu("File", "Exit")
            self.assertEqual(q.wait_exit(), 0)

        again = self.quarn(prefix=False).start()
        click(again.find(again.main_window(), LABEL, "Connect Network"))
        wait_for(lambda: appraisal_dir(bottle) == "N:\\QXDATA\\APPRAISE", "the bottle's switch")
        again.no_box()
        self.assertEqual(appraisal_dir(wine), LOCAL)  # untouched

    def test_none_found_then_a_folder_chosen_from_setup(self):
        elsewhere = self.suite("suites", "office")
        q = self.quarn(prefix=False).start()
        q.no_box(settle=1.0)
        q.menu("Setup", "Wine Prefix…")
        chooser = q.window(CHOOSER)
        searched = find_all(chooser, LABEL)[-1].name
        self.assertTrue(searched.startswith("No Wine prefix holding the appraisal suite was "
                                            "found. Searched: "), searched)
        for place in ("~/.wine", "~/.local/share/bottles/bottles/*", "~/Games/*"):
            self.assertIn(place, searched)
        self.pick_folder(q, chooser, os.path.join(self.home, "suites"))
        q.answer(f"The folder {self.home}/suites does not hold the appraisal suite: there is no "
                 "QUARN2.INI in its C:\\Valuator or Windows folder.\n\nChoose the Wine prefix "
                 "folder, the one that holds drive_c.")
        self.pick_folder(q, chooser, elsewhere)
        act(q.find(chooser, BUTTON, "OK"))
        q.gone(CHOOSER)
        self.connect_local_writes(q, elsewhere)
        q.no_box()
