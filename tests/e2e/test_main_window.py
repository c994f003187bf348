"""The main window's every entry, as a user meets them."""

import os
import stat
import subprocess

from quarn import (BUTTON, LABEL, QUARNCTL, TRANSFER, QuarnTest, act, appraisal_dir, click,
                   wait_for, write)

LOCAL, NETWORK = "C:\\QXDATA\\APPRAISE", "N:\\QXDATA\\APPRAISE"


class MainWindow(QuarnTest):
    def caption(self, q, text):
        return q.find(q.main_window(), LABEL, text)

    def image(self, q, text):
        return q.find(q.main_window(), BUTTON, text)

    def test_connect_entries_switch_without_a_word_transfer_entries_open_the_dialog(self):
        q = self.quarn().start()
        steps = [(self.caption, "Connect Local", LOCAL), (self.image, "Connect Network", NETWORK),
                 (self.image, "Connect Local", LOCAL), (self.caption, "Connect Network", NETWORK)]
        for kind, text, expected in steps:
            click(kind(q, text))
            wait_for(lambda: appraisal_dir(q.prefix) == expected, f"{text} to write {expected}")
        q.no_box()
        entries = [lambda: click(self.image(q, "Transfer Data")),
                   lambda: click(self.caption(q, "Transfer Data")),
                   lambda: q.menu("File", "Copy Files"),
                   lambda: act(q.find(q.main_window(), BUTTON, "Transfer Files"))]
        for entry in entries:
            entry()
            act(q.find(q.window(TRANSFER), BUTTON, "Back"))
            q.gone(TRANSFER)
        q.no_box()

    def test_double_click_on_a_connect_image_asks_to_exit(self):
        q = self.quarn().start()
        click(self.image(q, "Connect Local"), count=2)
        box = q.answer("Exit Quarn?", "No")
        self.assertEqual(box.buttons, ["Yes", "No"])
        self.assertEqual(appraisal_dir(q.prefix), LOCAL)
        self.assertIsNone(q.proc.poll())
        click(self.image(q, "Connect Network"), count=2)
        q.answer("Exit Quarn?", "Yes")
        self.assertEqual(q.wait_exit(), 0)
        self.assertEqual(appraisal_dir(q.prefix), NETWORK)

    def test_appraisal_program_caption_says_it_is_missing_the_image_ends_quarn(self):
        q = self.quarn().start()
        click(self.caption(q, "Open Appraisal" + " " * 15 + "Software"))
        q.answer("Unable to Launch the Appraisal Program. Check to verify the program is "
                 "installed and functioning properly", title="Unable to Open Program")
        self.assertIsNone(q.proc.poll())
        q.ctl("connect", "local")  # a shutdown write would turn this back
        click(self.image(q, "Open Appraisal Software"))
        self.assertEqual(q.wait_exit(), 0)
        self.assertEqual(appraisal_dir(q.prefix), LOCAL)  # ended without writing

    def test_every_exit_ends_quarn_and_writes_the_staged_set(self):
        exits = {"image": lambda q: click(self.image(q, "Exit Quarn")),
                 "caption": lambda q: click(self.caption(q, "Exit Quarn")),
                 "menu": lambda q: q.menu("File", "Exit"),
                 "hidden button": lambda q: act(q.find(q.main_window(), BUTTON, "Exit")),
                 "close box": lambda q: q.wm_close("Quarn")}
        for name, leave in exits.items():
            with self.subTest(name):
                home = os.path.join(self.home, name.replace(" ", "-"))
                q = self.quarn(home=home)
                q.ctl("ini", "set", "C:\\VALUATOR\\kav.ini", "Directories", "DataDir",
                      NETWORK + "\\  ")
                q.start()
                leave(q)
                self.assertEqual(q.wait_exit(), 0)
                self.assertEqual(appraisal_dir(q.prefix), NETWORK)  # trimmed, backslash dropped

    def test_program_help_opens_the_help_file_or_says_there_is_no_viewer(self):
        # The system's types, but none of its applications.
        data = os.path.join(self.home, "system")
        os.makedirs(data)
        os.symlink("/usr/share/mime", os.path.join(data, "mime"))
        q = self.quarn(env={"XDG_DATA_DIRS": data}).start()
        q.menu("Help", "Program Help")
        q.answer("No application is associated with this file type.")
        q.stop()
        # With a viewer for help files, Program Help hands quarn.chm to it:
        # Quarn's own, never one lying in the folder it was started from.
        write(os.path.join(self.home, "quarn.chm"), "planted")
        apps = os.path.join(self.home, ".local/share/applications")
        os.makedirs(apps)
        write(os.path.join(apps, "chmviewer.desktop"), "[Desktop Entry]\nType=Application\n"
              "Name=Viewer\nExec=viewer %f\nMimeType=application/vnd.ms-htmlhelp;\n")
        env, log = self.fake_opener()
        # Installed as a package installs it: its program, and the type index.
        self.fake_opener("viewer")
        subprocess.run(["update-desktop-database", apps], check=True)
        q = self.quarn(env={"XDG_DATA_DIRS": data, **env}).start()
        q.menu("Help", "Program Help")
        opened = wait_for(lambda: os.path.exists(log) and open(log).read(), "the opener")
        self.assertTrue(opened.strip().endswith("/quarn.chm"), opened)
        self.assertNotIn(self.home, opened)
        q.no_box()

    def test_a_second_quarn_says_so_and_ends_without_writing(self):
        first = self.quarn().start()
        first.ctl("connect", "local")
        second = self.quarn()
        second.start(wait_window=False)
        box = second.answer("The current application is already running in memory. If the "
                            "application is not visible, please end the existing process in "
                            "the Windows Task Manager.",
                            title="Program Already Running in Memory")
        self.assertEqual(box.buttons, ["OK"])
        self.assertEqual(second.wait_exit(), 0)
        self.assertEqual(appraisal_dir(first.prefix), LOCAL)
        self.assertIsNone(first.proc.poll())

    def test_first_start_without_a_prefix_shows_just_the_window(self):
        q = self.quarn(prefix=False).start()
        q.no_box(settle=1.0)
        click(q.find(q.main_window(), BUTTON, "Open Appraisal Software"))
        self.assertEqual(q.wait_exit(), 0)  # silently, as on a machine without the program

    def test_appraisal_program_starts_in_the_bottle_that_holds_the_suite(self):
        bottle = os.path.join(self.home, ".local/share/bottles/bottles/Office")
        subprocess.run([QUARNCTL, "demo-suite", bottle], check=True, capture_output=True)
        write(os.path.join(bottle, "drive_c", "KAV", "Kav.exe"), b"MZ")
        env, log = self.fake_opener("bottles-cli")
        q = self.quarn(prefix=False, env=dict(env, HOME=self.home)).start()
        click(self.image(q, "Open Appraisal Software"))
        ran = f"run -b Office -e {bottle}/dosdevices/c:/KAV/Kav.exe\n"
        wait_for(lambda: os.path.exists(log) and open(log).read() == ran, "bottles-cli: " + ran)

    def test_a_switch_that_cannot_write_says_which_files_it_left(self):
        q = self.quarn().start()
        photos = q.c("VALUATOR", "QXP2000.INI")
        os.chmod(photos, stat.S_IRUSR | stat.S_IRGRP)
        click(self.caption(q, "Connect Local"))
        box = q.box()
        self.assertEqual((box.title, box.buttons), ("Quarn", ["OK"]))
        self.assertIn("C:\\Valuator\\QXP2000.INI: the file is read-only", box.text)
        self.assertNotIn("kav.ini", box.text)
        box.press("OK")
        self.assertEqual(appraisal_dir(q.prefix), LOCAL)  # the rest of the switch stands

    def test_follow_the_office_share_turns_the_user_unit_on_and_off(self):
        env, log = self.fake_opener("systemctl")
        q = self.quarn(env=env).start()
        q.menu("Setup", "Follow the Office Share")
        q.menu("Setup", "Follow the Office Share")
        wait_for(lambda: "disable" in open(log).read(), "systemctl disable")
        calls = [c for c in open(log).read().splitlines() if "is-enabled" not in c]
        self.assertEqual(calls, ["--user enable --now quarn-follow.service",
                                 "--user disable --now quarn-follow.service"])
        write(os.path.join(self.home, "bin", "systemctl"),
              '#!/bin/sh\necho "Failed to connect to bus: No medium found" >&2\nexit 1\n')
        q.menu("Setup", "Follow the Office Share")
        q.answer("Quarn could not turn following the office share on: "
                 "Failed to connect to bus: No medium found")
