#!/usr/bin/env python3
"""The include-graph check: the tree as it is passes, and a planted upward include (from a source
or from a header no source of its folder includes) is named."""
import os
import shutil
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import check_layers  # noqa: E402

LAYERS = ["support", "resources", "text", "settings", "net", "browser", "toolbar", "module"]


class CheckLayers(unittest.TestCase):
    def test_the_tree_has_no_upward_include(self):
        self.assertEqual([], check_layers.upward_includes(os.path.join(ROOT, "src"), LAYERS))

    def test_upward_includes_are_named_and_downward_ones_pass(self):
        with tempfile.TemporaryDirectory() as src:
            for folder in LAYERS:
                os.makedirs(os.path.join(src, folder))

            def write(path, text):
                with open(os.path.join(src, path), "w") as f:
                    f.write(text)

            write("net/a.cpp", '#include "net/a.h"\n#include "settings/b.h"\n#include <toolbar/c.h>\n')
            write("net/lonely.h", '#pragma once\n  #  include "browser/d.h"\n')
            write("settings/e.cpp", '#include "toolbar/f.h"\n')
            found = check_layers.upward_includes(src, LAYERS)
            self.assertEqual(["net/a.cpp:3: includes toolbar/c.h (toolbar is above net)",
                              "net/lonely.h:2: includes browser/d.h (browser is above net)",
                              "settings/e.cpp:1: includes toolbar/f.h (toolbar is above settings)"], sorted(found))
            self.assertEqual(1, check_layers.main(["check_layers.py", src] + LAYERS))
            shutil.rmtree(os.path.join(src, "settings"))
            os.remove(os.path.join(src, "net", "lonely.h"))
            write("net/a.cpp", '#include "net/a.h"\n#include "settings/b.h"\n#include <vector>\n')
            self.assertEqual(0, check_layers.main(["check_layers.py", src] + LAYERS))


if __name__ == "__main__":
    unittest.main()
