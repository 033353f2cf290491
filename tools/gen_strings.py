#!/usr/bin/env python3
"""Turns src/resources/strings.txt into the two forms the build needs:
a C++ table for the portable core and a STRINGTABLE for the DLL's resources.

strings.txt: one entry a line, "<id><TAB><text>"; '#' starts a comment line.
In the text, the two characters backslash and n stand for a line feed; every
other backslash is literal (patterns keep theirs).
"""
import sys


def read_table(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            ident, sep, text = line.partition("\t")
            if not sep:
                sys.exit(f"{path}:{lineno}: expected <id><TAB><text>")
            ident = int(ident)
            if ident in table:
                sys.exit(f"{path}:{lineno}: id {ident} defined twice")
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
    src, inc_out, rc_out = sys.argv[1:4]
    table = read_table(src)
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
