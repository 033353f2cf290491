#!/usr/bin/env python3
"""Checks a built TavelleToolbarIE.dll by reading it, without running it.

    check_module.py --arch x86 --imports src/module/imports_x86.txt DLL
    check_module.py --arch x64 DLL

The 32-bit module must load on every system its browsers run on, Windows XP SP2 with Internet
Explorer 6 to Windows 11; a loader refuses a module with an import it cannot resolve, which no
run under Wine shows. So, for --arch x86:
  - machine i386; subsystem version at most 5.01; DYNAMIC_BASE, NX_COMPAT and NO_SEH;
  - every imported (DLL, function) pair, imports by ordinal included, is on the allow-list, where
    each entry names the oldest system that has it: Windows XP SP2 at the latest, or Internet
    Explorer 6 for the browser's own libraries;
  - exactly the four entry points, exported by their plain names, each leaving the stack as
    __stdcall asks (DllGetClassObject pops 12 bytes, the others none), read from the
    disassembly; DllMain and the entry point the loader calls pop 12 bytes as well;
  - no compiler run-time DLL is imported; the embedded type library is a 32-bit one.
For --arch x64: machine x86-64, the four exports, no compiler run-time DLL, a 64-bit type library.

Prints one line per problem and exits 1 when there is any (also for a missing or unreadable file).
Symbols for the disassembly come from DLL.debug beside the module when it is there.
"""
import argparse
import os
import re
import struct
import subprocess
import sys

ENTRY_POINTS = {"DllCanUnloadNow": 0, "DllGetClassObject": 12, "DllRegisterServer": 0, "DllUnregisterServer": 0}

# Oldest systems an allow-list entry may name, oldest first; the last of each line is the newest
# the 32-bit module may rely on.
WINDOWS = ["Windows 2000", "Windows XP", "Windows XP SP2"]
BROWSER = ["Internet Explorer 5", "Internet Explorer 5.5", "Internet Explorer 6"]
TOO_NEW = re.compile(r"^(Windows (XP SP3|Server 2003|Vista|7|8|8\.1|10|11)|Internet Explorer ([7-9]|1[01]))$")

# DLLs of a compiler's run-time: none of them is on a user's system.
RUNTIME_DLL = re.compile(r"^(lib(gcc|stdc\+\+|winpthread|ssp|atomic|gomp|quadmath)\S*|msvc[pr]\d+d?|vcruntime\S*"
                         r"|ucrtbased?|api-ms-win-crt-\S*)\.dll$", re.IGNORECASE)

ARCH = {
    "x86": {"machine": 0x14C, "objdump": "i686-w64-mingw32-objdump", "syskind": 1, "bits": "32-bit"},
    "x64": {"machine": 0x8664, "objdump": "x86_64-w64-mingw32-objdump", "syskind": 3, "bits": "64-bit"},
}
MACHINES = {0x14C: "i386", 0x8664: "x86-64", 0xAA64: "arm64", 0x1C4: "arm"}


class Problems(list):
    def add(self, text):
        self.append(text)


def run(objdump, *args):
    # objdump's headings are translated: the C locale gives the English ones parsed here.
    env = dict(os.environ, LC_ALL="C", LANG="C", LANGUAGE="")
    result = subprocess.run([objdump, *args], capture_output=True, text=True, errors="replace", env=env)
    if result.returncode != 0:
        raise RuntimeError("%s %s failed: %s" % (objdump, " ".join(args), result.stderr.strip()))
    return result.stdout


def parse_private_headers(text):
    """The fields, imports and exports of `objdump -p`."""
    info = {"fields": {}, "imports": [], "exports": {}, "export_rvas": {}}
    for line in text.splitlines():
        m = re.match(r"^(\w+)\s+([0-9a-fA-F]+)\b", line)
        if m and m.group(1) not in info["fields"]:
            info["fields"][m.group(1)] = m.group(2)
    dll = None
    section = None
    for line in text.splitlines():
        if line.startswith("The Import Tables"):
            section = "imports"
        elif line.startswith("Export Address Table --"):
            section = "addresses"
        elif line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
        elif line.startswith("The ") or line.startswith("PE File Base Relocations"):
            section = None
        if section == "imports":
            m = re.match(r"^\s*DLL Name: (\S+)", line)
            if m:
                dll = m.group(1)
                continue
            m = re.match(r"^\t([0-9a-fA-F]+)\t\s*(\d+)\s+(\S+)", line)
            if m and dll:
                name = m.group(3)
                info["imports"].append((dll, "#" + m.group(2) if name == "<none>" else name))
        elif section == "addresses":
            m = re.match(r"^\t\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-fA-F]+) (Export|Forwarder) RVA", line)
            if m:
                info["export_rvas"][int(m.group(1))] = int(m.group(2), 16)
        elif section == "names":
            m = re.match(r"^\t\[\s*(\d+)\] (\S+)", line)
            if m:
                info["exports"][m.group(2)] = int(m.group(1))
    return info


def read_allow_list(path, problems):
    """(dll lower-case, function) -> oldest system; entries naming a newer system are problems."""
    allowed = {}
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) != 3:
                problems.add("%s:%d: expected DLL, function and oldest system" % (path, number))
                continue
            dll, function, system = parts
            if system not in WINDOWS and system not in BROWSER:
                why = "is newer than Windows XP SP2 and Internet Explorer 6" if TOO_NEW.match(system) else \
                    "is not a system this list knows"
                problems.add("%s:%d: %s!%s: '%s' %s" % (path, number, dll, function, system, why))
            allowed[(dll.lower(), function)] = system
    return allowed


def parse_sections(text):
    """1-based section number -> (name, VMA) from `objdump -h`."""
    sections = {}
    for line in text.splitlines():
        m = re.match(r"^\s*(\d+)\s+(\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s", line)
        if m:
            sections[int(m.group(1)) + 1] = (m.group(2), int(m.group(3), 16))
    return sections


def parse_symbols(text, sections):
    """Sorted (address, name, is_function) of the symbols in sections."""
    symbols = []
    for line in text.splitlines():
        m = re.match(r"^\[\s*\d+\]\(sec\s+(-?\d+)\)\(fl 0x[0-9a-f]+\)\(ty\s+([0-9a-f]+)\)\(scl\s+\d+\) \(nx \d\) "
                     r"0x([0-9a-f]+) (\S+)", line)
        if m and int(m.group(1)) in sections:
            address = sections[int(m.group(1))][1] + int(m.group(3), 16)
            symbols.append((address, m.group(4), int(m.group(2), 16) == 0x20))
    symbols.sort()
    return symbols


def function_end(symbols, start):
    for address, _, _ in symbols:
        if address > start:
            return address
    return start + 0x1000


RET = re.compile(r"^\s*([0-9a-f]+):\s+(?:repz |bnd )?ret[lq]?\s*(?:\$0x([0-9a-f]+))?\s*$")
JMP = re.compile(r"^\s*([0-9a-f]+):\s+jmp[lq]?\s+([0-9a-f]+)\s")


def stack_pops(objdump, dll, symbols, start, depth=0):
    """The set of byte counts the returns of the function at start pop, following tail jumps."""
    end = function_end(symbols, start)
    text = run(objdump, "-d", "--no-show-raw-insn", "--start-address=0x%x" % start, "--stop-address=0x%x" % end, dll)
    pops = set()
    for line in text.splitlines():
        m = RET.match(line)
        if m:
            pops.add(int(m.group(2) or "0", 16))
            continue
        m = JMP.match(line)
        if m and depth < 3:
            target = int(m.group(2), 16)
            if not start <= target < end:
                pops |= stack_pops(objdump, dll, symbols, target, depth + 1)
    return pops


def check_stack(objdump, dll, symbols, name, address, expected, problems):
    pops = stack_pops(objdump, dll, symbols, address)
    if not pops:
        problems.add("%s: no return found in its disassembly" % name)
    elif pops != {expected}:
        problems.add("%s: returns pop %s bytes, __stdcall with its arguments pops %d"
                     % (name, "/".join(str(p) for p in sorted(pops)), expected))


def pe_machine(path):
    """The machine field of a PE file's header, or None when the file is no PE file."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if len(head) < 0x40 or head[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if pe + 6 > len(head) or head[pe:pe + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", head, pe + 4)[0]


def type_library_syskind(path):
    """SYSKIND of the TYPELIB resource (1 = 32-bit, 3 = 64-bit), or None when there is none."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    if resource_rva == 0:
        return None
    sections = []
    for i in range(count):
        s = optional + optional_size + 40 * i
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, s + 8)
        sections.append((rva, max(size, raw_size), raw))

    def offset(rva):
        for start, size, raw in sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA 0x%x outside the sections" % rva)

    base = offset(resource_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + ids):
            name, value = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            yield name, value

    for name, value in entries(0):
        if name != "TYPELIB" or not value & 0x80000000:
            continue
        for _, by_id in entries(value & 0x7FFFFFFF):
            for _, leaf in entries(by_id & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + (leaf & 0x7FFFFFFF))
                blob = data[offset(rva):offset(rva) + size]
                if blob[:4] != b"MSFT":
                    return None
                # The header's flags word carries the SYSKIND in its low nibble.
                return struct.unpack_from("<I", blob, 0x14)[0] & 0xF
    return None


def check(dll, arch, imports_path, symbols_path, objdump):
    problems = Problems()
    wanted = ARCH[arch]
    if not os.path.isfile(dll):
        problems.add("%s: no such module" % dll)
        return problems
    machine = pe_machine(dll)
    if machine is None:
        problems.add("%s: not a Windows module" % dll)
        return problems
    if machine != wanted["machine"]:
        problems.add("%s: machine is %s, the %s module must be %s" % (
            dll, MACHINES.get(machine, "0x%x" % machine), arch, MACHINES[wanted["machine"]]))
        return problems
    try:
        info = parse_private_headers(run(objdump, "-p", dll))
    except RuntimeError as e:
        problems.add("%s: not readable as a module: %s" % (dll, e))
        return problems
    fields = info["fields"]

    # Header.
    if arch == "x86":
        version = (int(fields.get("MajorSubsystemVersion", "99"), 16), int(fields.get("MinorSubsystemVersion", "99"), 16))
        if version > (5, 1):
            problems.add("subsystem version %d.%02d: Windows XP loads 5.01 at most" % version)
        flags = int(fields.get("DllCharacteristics", "0"), 16)
        for bit, name in ((0x40, "DYNAMIC_BASE"), (0x100, "NX_COMPAT"), (0x400, "NO_SEH")):
            if not flags & bit:
                problems.add("DllCharacteristics lacks %s" % name)

    # Imports. A module of ours always imports: none read means objdump was not understood.
    if not info["imports"]:
        problems.add("no imports read from the module")
    for dll_name in sorted({d for d, _ in info["imports"]}, key=str.lower):
        if RUNTIME_DLL.match(dll_name):
            problems.add("imports the compiler's run-time DLL %s" % dll_name)
    if imports_path:
        allowed = read_allow_list(imports_path, problems)
        for dll_name, function in info["imports"]:
            if (dll_name.lower(), function) not in allowed:
                problems.add("import %s!%s is not on the allow-list %s" % (dll_name, function, imports_path))

    # Exports: exactly the four entry points, by name.
    names = info["exports"]
    for name in sorted(set(names) - set(ENTRY_POINTS)):
        problems.add("exports %s, which is none of the four entry points" % name)
    for name in sorted(set(ENTRY_POINTS) - set(names)):
        problems.add("does not export %s" % name)
    unnamed = set(info["export_rvas"]) - set(names.values())
    if unnamed:
        problems.add("exports %d entries by ordinal only" % len(unnamed))

    # Stack clean-up of the entry points, the loader's entry point and DllMain (32-bit only).
    if arch == "x86":
        if not symbols_path:
            symbols_path = dll + ".debug" if os.path.isfile(dll + ".debug") else dll
        try:
            sections = parse_sections(run(objdump, "-h", symbols_path))
            symbols = parse_symbols(run(objdump, "-t", symbols_path), sections)
        except RuntimeError as e:
            problems.add("no symbols for the disassembly: %s" % e)
            return problems
        image_base = int(fields.get("ImageBase", "0"), 16)
        functions = {address: name for address, name, is_function in symbols if is_function}
        checks = [(name, image_base + info["export_rvas"][names[name]], pops)
                  for name, pops in ENTRY_POINTS.items() if name in names and names[name] in info["export_rvas"]]
        checks.append(("entry point", image_base + int(fields.get("AddressOfEntryPoint", "0"), 16), 12))
        dll_main = [address for address, name in functions.items() if re.match(r"^_DllMain@\d+$", name)]
        if dll_main:
            checks.append(("DllMain", dll_main[0], 12))
        else:
            problems.add("DllMain is not among the module's functions (_DllMain@12)")
        for name, address, pops in checks:
            if address not in functions:
                problems.add("%s: no function symbol at 0x%x" % (name, address))
                continue
            check_stack(objdump, dll, symbols, "%s (%s)" % (name, functions[address]), address, pops, problems)

    # The type library.
    try:
        syskind = type_library_syskind(dll)
    except (ValueError, struct.error) as e:
        syskind = None
        problems.add("resources not readable: %s" % e)
    if syskind is None:
        problems.add("no type library (TYPELIB resource) found")
    elif syskind != wanted["syskind"]:
        problems.add("the type library's SYSKIND is %d; a %s module carries %d" % (syskind, wanted["bits"], wanted["syskind"]))
    return problems


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", choices=sorted(ARCH), required=True)
    parser.add_argument("--imports", help="the allow-list of imports (x86)")
    parser.add_argument("--symbols", help="the module's symbols (default: MODULE.debug, else the module)")
    parser.add_argument("--objdump", help="the objdump for the module's machine")
    parser.add_argument("module")
    args = parser.parse_args(argv)
    if args.arch == "x86" and not args.imports:
        parser.error("--arch x86 needs --imports")
    problems = check(args.module, args.arch, args.imports, args.symbols, args.objdump or ARCH[args.arch]["objdump"])
    for p in problems:
        print("FAIL: " + p)
    if not problems:
        print("OK: %s (%s)" % (args.module, args.arch))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
