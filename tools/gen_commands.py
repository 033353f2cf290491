#!/usr/bin/env python3
"""Turns src/resources/commands.txt (the toolbar's buttons, their menus and the new-arrival
drop-down; its head says how it is written) into what the build needs:

  command_table_data.inc  the rows of the command table (toolbar/command_table.cpp)
  command_ids.h           the ids code refers to by name and the toolbar's layout
  toolbar_items.rc        toolbar resource 515 and menu 204

    gen_commands.py <commands.txt> <command_table_data.inc> <command_ids.h> <toolbar_items.rc>

read_commands() is also what make_bitmaps.py and the demo's driver read the layout with.
"""
import re
import sys

from gen_strings import rc_literal

PAGE_KINDS = {"OpenPage", "SearchWeb", "SearchOrOpenIndex", "DigestMore"}
SEARCH_KINDS = {"SearchWeb", "SearchOrOpenIndex"}
KINDS = PAGE_KINDS | {"ShowMenu", "OptionsDialog", "UpdateCheck", "AboutDialog", "DigestEntry"}
TABS = {"Never", "NewItem", "SearchResult"}
KEYS = {"page", "index", "tab", "name", "picture"}
PICTURE_SIZE = 20


class Item:
    def __init__(self, ident, kind, fields, text):
        self.id, self.kind, self.text = ident, kind, text
        self.page = int(fields.get("page", 0))
        self.index = int(fields.get("index", 0))
        self.tab = fields.get("tab")
        self.name = fields.get("name")
        self.picture = fields.get("picture")
        self.sub_menu = -1


class Commands:
    def __init__(self):
        self.toolbar = []  # Items, None for a separator
        self.menus = []  # (button id, title, [Item or None])
        self.drop_down = []

    def commands(self):
        """Every command in table order: buttons, menu items, drop-down entries."""
        items = [i for i in self.toolbar if i and i.kind != "SearchBox"]
        for _, _, menu in self.menus:
            items += [i for i in menu if i]
        return items + self.drop_down

    def layout(self):
        return [i.id if i else 0 for i in self.toolbar]

    def pictures(self):
        return [i.picture for i in self.toolbar if i]


def read_commands(path):
    cmds, section = Commands(), None
    seen, names = set(), set()

    def fail(lineno, message):
        sys.exit(f"{path}:{lineno}: {message}")

    with open(path, encoding="utf-8") as f:
        lines = list(enumerate(f, 1))
    for lineno, raw in lines:
        line = raw.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        head, _, text = line.partition("\t")
        m = re.fullmatch(r"\[(toolbar|drop-down|menu (\d+))\]", head)
        if m:
            if m.group(1) == "toolbar":
                section = cmds.toolbar
            elif m.group(1) == "drop-down":
                section = cmds.drop_down
            else:
                if not text:
                    fail(lineno, "a menu needs its title after a tab")
                section = []
                cmds.menus.append((int(m.group(2)), text, section))
            continue
        if section is None:
            fail(lineno, "an item before the first section")
        if head == "-":
            if section is cmds.drop_down:
                fail(lineno, "the drop-down has no separators")
            section.append(None)
            continue
        words = head.split()
        if len(words) < 2 or not words[0].isdigit():
            fail(lineno, "expected <id> <kind>[ key=value ...][<TAB><menu text>]")
        ident, kind, fields = int(words[0]), words[1], {}
        for word in words[2:]:
            key, eq, value = word.partition("=")
            if not eq or key not in KEYS or key in fields:
                fail(lineno, f"unknown or repeated field {word!r}")
            fields[key] = value
        in_toolbar = section is cmds.toolbar
        if kind not in KINDS and not (kind == "SearchBox" and in_toolbar):
            fail(lineno, f"unknown kind {kind}")
        if ident in seen or not 0 < ident < 65536:
            fail(lineno, f"id {ident} given twice or out of range")
        seen.add(ident)
        for key in ("page", "index"):
            if key in fields and not fields[key].isdigit():
                fail(lineno, f"{key}= takes a string id")
        if (kind in PAGE_KINDS) != ("page" in fields) or (kind in SEARCH_KINDS) != ("index" in fields):
            fail(lineno, f"{kind} takes " + ("page= and index=" if kind in SEARCH_KINDS else
                                             "page=" if kind in PAGE_KINDS else "neither page= nor index="))
        if "tab" in fields and (fields["tab"] not in TABS or kind not in PAGE_KINDS):
            fail(lineno, "tab= is Never, NewItem or SearchResult, for page commands only")
        if "name" in fields:
            if not re.fullmatch(r"k[A-Z][A-Za-z0-9]*", fields["name"]) or fields["name"] in names:
                fail(lineno, f"bad or repeated name {fields['name']}")
            names.add(fields["name"])
        if in_toolbar != ("picture" in fields):
            fail(lineno, "every button, and only a button, has a picture")
        if any(section is m[2] for m in cmds.menus) != bool(text):
            fail(lineno, "every menu item, and only a menu item, has a text")
        if (section is cmds.drop_down) != (kind in ("DigestEntry", "DigestMore")):
            fail(lineno, "new-arrival entries belong to the drop-down, and only they")
        section.append(Item(ident, kind, fields, text))

    buttons = {i.id: i for i in cmds.toolbar if i}
    for position, (button, _, menu) in enumerate(cmds.menus):
        if button not in buttons or buttons[button].kind != "ShowMenu" or buttons[button].sub_menu >= 0:
            sys.exit(f"{path}: menu {button} belongs to no ShowMenu button, or a button has two menus")
        buttons[button].sub_menu = position
    if any(i.kind == "ShowMenu" and i.sub_menu < 0 for i in buttons.values()):
        sys.exit(f"{path}: a ShowMenu button has no menu")
    entries = [i.id for i in cmds.drop_down if i.kind == "DigestEntry"]
    if not entries or entries != list(range(entries[0], entries[0] + len(entries))) or \
            [i.kind for i in cmds.drop_down][-1] != "DigestMore" or len(entries) != len(cmds.drop_down) - 1:
        sys.exit(f"{path}: the drop-down is consecutive DigestEntry ids and then one DigestMore")
    return cmds


def write_table(cmds, out):
    with open(out, "w", encoding="ascii") as f:
        f.write("// Generated from commands.txt; edit that file instead.\n")
        for i in cmds.commands():
            tab = i.tab or ("Never" if i.kind in PAGE_KINDS | {"DigestEntry"} else "None")
            button = "true" if i in cmds.toolbar else "false"
            f.write("{%d, CommandKind::%s, %d, %d, NewTabSource::%s, %d, %s},\n"
                    % (i.id, i.kind, i.page, i.index, tab, i.sub_menu, button))


def write_ids(cmds, out):
    named = [i for i in cmds.toolbar + cmds.drop_down if i and i.name]
    named += [i for _, _, menu in cmds.menus for i in menu if i and i.name]
    with open(out, "w", encoding="ascii") as f:
        f.write("#pragma once\n// Generated from commands.txt; edit that file instead.\n")
        f.write("#include <cstddef>\n#include <cstdint>\n\nnamespace tt {\n\n")
        for i in named:
            f.write("constexpr unsigned %s = %d;\n" % (i.name, i.id))
        f.write("\n// Entry i of the new-arrival drop-down shows digest record i (record 0 is the header).\n")
        f.write("constexpr unsigned kDigestEntryBase = %d;\n" % (cmds.drop_down[0].id - 1))
        f.write("constexpr size_t kDigestEntryCount = %d;\n" % (len(cmds.drop_down) - 1))
        f.write("\n// Button layout of toolbar resource 515, left to right; 0 is a separator.\n")
        layout = [str(i) for i in cmds.layout()]
        rows = [", ".join(layout[at:at + 12]) for at in range(0, len(layout), 12)]
        f.write("inline constexpr uint16_t kToolbarLayout[] = {\n    %s,\n};\n" % ",\n    ".join(rows))
        f.write("constexpr size_t kToolbarItemCount = %d;\n" % len(cmds.toolbar))
        f.write("\n}  // namespace tt\n")


def write_rc(cmds, out):
    with open(out, "w", encoding="ascii") as f:
        f.write("// Generated from commands.txt; edit that file instead.\nLANGUAGE 0x11, 0x01\n\n")
        f.write("// Version 1, pictures of %d by %d pixels, the item count, the items (0 a separator).\n"
                % (PICTURE_SIZE, PICTURE_SIZE))
        f.write("IDR_TAVELLE_TOOLBAR RT_TOOLBAR_TYPE\nBEGIN\n    1, %d, %d, %d,\n    %s\nEND\n\n"
                % (PICTURE_SIZE, PICTURE_SIZE, len(cmds.toolbar), ", ".join(map(str, cmds.layout()))))
        f.write("IDR_BUTTON_MENUS MENU\nBEGIN\n")
        for _, title, menu in cmds.menus:
            f.write("    POPUP %s\n    BEGIN\n" % rc_literal(title))
            for i in menu:
                f.write("        MENUITEM %s\n" % ("SEPARATOR" if i is None else
                                                  "%s, %d" % (rc_literal(i.text), i.id)))
            f.write("    END\n")
        f.write("END\n")


def main():
    src, table_out, ids_out, rc_out = sys.argv[1:5]
    cmds = read_commands(src)
    write_table(cmds, table_out)
    write_ids(cmds, ids_out)
    write_rc(cmds, rc_out)


if __name__ == "__main__":
    main()
