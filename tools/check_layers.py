#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a higher layer.

Usage: check_layers.py SRC_DIR LAYER... (lowest first). The build compiles each folder with only
its own and the lower folders on the include path; this check also covers headers that no source
of their own folder includes. Prints each upward include and exits 1, or prints nothing.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*["<]([^">]+)[">]')


def upward_includes(src, layers):
    rank = {name: i for i, name in enumerate(layers)}
    found = []
    for folder in layers:
        top = os.path.join(src, folder)
        for dirpath, _, files in os.walk(top):
            for name in sorted(files):
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1).split("/")[0]
                        if target in rank and rank[target] > rank[folder]:
                            found.append(f"{os.path.relpath(path, src)}:{number}: includes {m.group(1)}"
                                         f" ({target} is above {folder})")
    return found


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    found = upward_includes(argv[1], argv[2:])
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
