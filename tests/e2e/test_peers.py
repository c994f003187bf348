"""Quarn among the other programs that change the suite's files."""

import os
import subprocess

import pyatspi

from quarn import BUTTON, QUARNCTL, QuarnTest, click, wait_for


class Peers(QuarnTest):
    def exit_by_image(self, q):
        click(q.find(q.main_window(), BUTTON, "Exit Quarn"))
        self.assertEqual(q.wait_exit(), 0)

    def test_exit_keeps_a_switch_made_outside_quarn(self):
        q = self.quarn()
        self.assertEqual(q.in_force(), "NETWORK")
        q.start()
        q.ctl("connect", "local")  # a network hook, while Quarn is open
        self.exit_by_image(q)
        self.assertEqual(q.in_force(), "LOCAL")

    def test_the_connect_buttons_show_the_set_in_force(self):
        q = self.quarn().start()

        def shows(tip, marked):
            # Each look walks the tree afresh: nothing cached can pass for it.
            def now():
                local, network = (q.find(q.main_window(), BUTTON, n)
                                  for n in ("Connect Local", "Connect Network"))
                checked = [b.getState().contains(pyatspi.STATE_CHECKED) for b in (local, network)]
                return [local.description, network.description] == [tip] * 2 and \
                    checked == [marked == "local", marked == "network"]
            wait_for(now, f"{tip!r}, marked {marked}", timeout=2.0)

        shows("In force: NETWORK", "network")
        q.ctl("connect", "local")
        shows("In force: LOCAL", "local")
        click(q.find(q.main_window(), BUTTON, "Connect Network"))
        shows("In force: NETWORK", "network")
        self.assertEqual(q.in_force(), "NETWORK")  # every key written, though it saw LOCAL
        q.ctl("ini", "set", "C:\\VALUATOR\\COMPKPR.INI", "Directories", "DataDir",
              "C:\\QXDATA\\COMPS")
        shows("Mixed: some products on each set", None)

    def test_follow_takes_the_suite_across_and_quarn_shows_and_keeps_it(self):
        q = self.quarn().start()
        follow = subprocess.Popen([QUARNCTL, "follow", "--settle", "1"], env=q.env,
                                  stdout=subprocess.DEVNULL)
        self.addCleanup(follow.wait)
        self.addCleanup(follow.kill)
        away = [os.path.join(q.prefix, n) for n in ("network", "network.away")]

        def shown(tip):
            button = q.find(q.main_window(), BUTTON, "Connect Local")
            wait_for(lambda: button.description == tip, tip, timeout=15.0)

        for there, tip in ((False, "In force: LOCAL"), (True, "In force: NETWORK"),
                           (False, "In force: LOCAL")):
            os.rename(*(away[::-1] if there else away))
            shown(tip)
        follow.kill()
        self.exit_by_image(q)
        self.assertEqual(q.in_force(), "LOCAL")
