"""Quarn among the other programs that change the suite's files."""

from quarn import BUTTON, QuarnTest, click


class Peers(QuarnTest):
    def in_force(self, q):
        return q.ctl("status").stdout

    def exit_by_image(self, q):
        click(q.find(q.main_window(), BUTTON, "Exit Quarn"))
        self.assertEqual(q.wait_exit(), 0)

    def test_exit_keeps_a_switch_made_outside_quarn(self):
        q = self.quarn()
        self.assertIn("In force: NETWORK", self.in_force(q))
        q.start()
        q.ctl("connect", "local")  # a network hook, while Quarn is open
        self.exit_by_image(q)
        self.assertIn("In force: LOCAL", self.in_force(q))

    def test_a_switch_in_the_window_still_writes_every_key(self):
        q = self.quarn().start()
        q.ctl("connect", "local")
        click(q.find(q.main_window(), BUTTON, "Connect Network"))
        self.exit_by_image(q)
        self.assertIn("In force: NETWORK", self.in_force(q))
