#!/usr/bin/env python3
"""Turns src/resources/strings.txt into the two forms the build needs:
a C++ table for the portable core and a STRINGTABLE for the DLL's resources.

and the names of the ids that code refers to, as constants.

strings.txt: one entry a line, "<id><TAB><text>" or "<id> <name><TAB><text>";
'#' starts a comment line. In the text, the two characters backslash and n
stand for a line feed; every other backslash is literal (patterns keep theirs).
"""
import re
import sys


def read_table(path, names=None):
    table = {}
    names = {} if names is None else names
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            head, sep, text = line.partition("\t")
            ident, _, name = head.partition(" ")
            if not sep or not ident.isdigit() or (name and not re.fullmatch(r"k[A-Z][A-Za-z0-9]*", name)):
                sys.exit(f"{path}:{lineno}: expected <id>[ <kName>]<TAB><text>")
            ident = int(ident)
            if ident in table:
                sys.exit(f"{path}:{lineno}: id {ident} defined twice")
            if name:
                if name in names:
                    sys.exit(f"{path}:{lineno}: name {name} given twice")
                names[name] = ident
            table[ident] = text.replace("\\n", "\n")
    return table


def cxx_literal(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch in '"\\?':
            out.append("\\" + ch)
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        elif code > 0xFFFF:
            out.append("\\U%08x" % code)
        else:
            out.append("\\u%04x" % code)
    return 'u"' + "".join(out) + '"'


def rc_literal(text):
    # windres reads hexadecimal escapes in wide strings, which keeps the .rc pure ASCII.
    out = []
    for ch in text:
        code = ord(ch)
        if ch == '"':
            out.append('""')
        elif ch == "\\":
            out.append("\\\\")
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        else:
            out.append("\\x%04x" % code)
    return 'L"' + "".join(out) + '"'


def main():
    src, inc_out, rc_out, ids_out = sys.argv[1:5]
    names = {}
    table = read_table(src, names)
    with open(ids_out, "w", encoding="ascii") as f:
        f.write("#pragma once\n// Generated from strings.txt; edit that file instead.\n")
        f.write("// The names of the numbered texts that code refers to.\n\nnamespace tt {\n\n")
        for name, ident in sorted(names.items(), key=lambda n: n[1]):
            f.write("constexpr unsigned %s = %d;\n" % (name, ident))
        f.write("\n}  // namespace tt\n")
    with open(inc_out, "w", encoding="ascii") as f:
        f.write("// Generated from strings.txt; edit that file instead.\n")
        for ident in sorted(table):
            f.write("{%d, %s},\n" % (ident, cxx_literal(table[ident])))
    with open(rc_out, "w", encoding="ascii") as f:
        f.write("// Generated from strings.txt; edit that file instead.\n")
        f.write("LANGUAGE 0x11, 0x01\nSTRINGTABLE\nBEGIN\n")
        for ident in sorted(table):
            f.write("    %d, %s\n" % (ident, rc_literal(table[ident])))
        f.write("END\n")


if __name__ == "__main__":
    main()
