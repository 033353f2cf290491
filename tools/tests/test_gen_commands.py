#!/usr/bin/env python3
"""The command source's reader: a mistake in commands.txt stops the build with its line, rather
than giving a toolbar whose buttons, menus and pictures disagree."""
import os
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import gen_commands  # noqa: E402

GOOD = """[toolbar]
2001 ShowMenu picture=mark
2003 SearchBox picture=text_field
-
2002 OpenPage page=2050 tab=NewItem picture=house
[menu 2001]\tMain
219 OptionsDialog\tSettings
-
220 AboutDialog\tAbout
[drop-down]
230 DigestEntry
231 DigestEntry
238 DigestMore page=2050
"""


class ReadCommands(unittest.TestCase):
    def read(self, text):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, encoding="utf-8") as f:
            f.write(text)
        try:
            return gen_commands.read_commands(f.name)
        finally:
            os.remove(f.name)

    def refused(self, text):
        with self.assertRaises(SystemExit) as stop:
            self.read(text)
        return str(stop.exception.code)

    def test_a_sound_source_gives_layout_menus_and_table_rows(self):
        cmds = self.read(GOOD)
        self.assertEqual([2001, 2003, 0, 2002], cmds.layout())
        self.assertEqual(["mark", "text_field", "house"], cmds.pictures())
        self.assertEqual([(2001, 0), (2002, -1), (219, -1), (220, -1), (230, -1), (231, -1), (238, -1)],
                         [(i.id, i.sub_menu) for i in cmds.commands()])

    def test_mistakes_are_refused_with_their_line(self):
        cases = {
            "id given twice": (GOOD.replace("220 AboutDialog", "219 AboutDialog"), ":9:"),
            "page command without its page": (GOOD.replace(" page=2050 tab", " tab"), ":5:"),
            "search without its index page": (GOOD.replace("2002 OpenPage", "2002 SearchWeb"), ":5:"),
            "tab of a dialog command": (GOOD.replace("219 OptionsDialog", "219 OptionsDialog tab=Never"), ":7:"),
            "button without a picture": (GOOD.replace(" picture=house", ""), ":5:"),
            "menu item without a text": (GOOD.replace("\tSettings", ""), ":7:"),
            "unknown kind": (GOOD.replace("AboutDialog", "About"), ":9:"),
            "entry outside the drop-down": (GOOD.replace("220 AboutDialog", "220 DigestEntry"), ":9:"),
        }
        for what, (text, line) in cases.items():
            self.assertIn(line, self.refused(text), what)

    def test_menus_buttons_and_the_drop_down_must_agree(self):
        self.assertIn("no ShowMenu", self.refused(GOOD.replace("[menu 2001]", "[menu 2002]")))
        self.assertIn("has no menu", self.refused(GOOD.replace("2002 OpenPage page=2050 tab=NewItem",
                                                               "2002 ShowMenu")))
        self.assertIn("consecutive", self.refused(GOOD.replace("231 DigestEntry", "232 DigestEntry")))
        self.assertIn("consecutive", self.refused(GOOD.replace("238 DigestMore page=2050\n", "")))


if __name__ == "__main__":
    unittest.main()
