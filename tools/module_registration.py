"""What registering a COM server module writes, read from the module itself: its version
resource, its registry scripts (resource type REGISTRY, in the platform registrar's language)
and its type library (resource TYPELIB 1). tools/make_package.py turns this into the rows of an
installer package, so that the package and regsvr32 cannot disagree.

Registry keys and values come out as Key and Value records; the module's path and folder are
the markers MODULE and MODULE_DIR inside value texts, for the package to fill in.
"""
import re
import struct
from collections import namedtuple

MODULE = "\0MODULE\0"
MODULE_DIR = "\0MODULE_DIR\0"

REGISTRY_SCRIPTS = (101, 102, 103)  # application id, helper object, toolbar band; in this order

# A key: `action` is "keep" (NoRemove: created if absent, never removed), "own" (created,
# removed with everything below it) or "replace" (ForceRemove: also cleared before it is written).
Key = namedtuple("Key", "root path action")
# A value: name None is the key's default value; kind "sz" or "dword".
Value = namedtuple("Value", "root path name kind data")


class ModuleError(Exception):
    pass


# ---- the module file ------------------------------------------------------------------------

MACHINES = {0x14C: "x86", 0x8664: "x64"}


class Module:
    """A Windows module's machine and resources: {(type, name): [(language, bytes)]}, where
    type and name are numbers or upper-case texts."""

    def __init__(self, path):
        self.path = path
        try:
            with open(path, "rb") as f:
                self.data = f.read()
        except OSError as e:
            raise ModuleError("%s: cannot be read (%s)" % (path, e.strerror))
        try:
            self._read_headers()
            self.resources = {}
            if self.resource_rva:
                self._read_resources()
        except (struct.error, IndexError, ValueError) as e:
            raise ModuleError("%s: not a readable Windows module (%s)" % (path, e))

    def _u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def _u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def _read_headers(self):
        if self.data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = self._u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        self.machine = MACHINES.get(self._u16(pe + 4), "machine %#x" % self._u16(pe + 4))
        sections, optional_size = self._u16(pe + 6), self._u16(pe + 20)
        optional = pe + 24
        magic = self._u16(optional)
        directories = optional + {0x10B: 96, 0x20B: 112}[magic]
        self.resource_rva = self._u32(directories + 2 * 8)
        self.sections = []
        for n in range(sections):
            s = optional + optional_size + 40 * n
            virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", self.data, s + 8)
            if raw + raw_size > len(self.data):
                raise ValueError("the file ends at byte %d, inside its sections" % len(self.data))
            self.sections.append((rva, max(virtual_size, raw_size), raw))

    def _offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("address %#x outside the sections" % rva)

    def _read_resources(self):
        base = self._offset(self.resource_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for n in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * n)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    name = self.data[at + 2:at + 2 + 2 * self._u16(at)].decode("utf-16-le").upper()
                yield name, target

        for rtype, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self._offset(rva)
                    if at + size > len(self.data):
                        raise ValueError("resource %s/%s runs past the end" % (rtype, name))
                    self.resources.setdefault((rtype, name), []).append((language, self.data[at:at + size]))

    def resource(self, rtype, name):
        found = self.resources.get((rtype, name))
        return found[0][1] if found else None


# ---- the version resource --------------------------------------------------------------------

RT_VERSION = 16


def _version_nodes(data, at, end):
    """The version resource's tree: (key, value bytes, text flag, children)."""
    nodes = []
    while at + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, at)
        if length == 0:
            break
        stop = min(at + length, end)
        key_end = at + 6
        while key_end + 2 <= stop and data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        size = value_length * 2 if is_text else value_length
        value = data[value_at:value_at + size]
        children = _version_nodes(data, (value_at + size + 3) & ~3, stop)
        nodes.append((key, value, is_text, children))
        at = (at + length + 3) & ~3
    return nodes


class Version:
    """Numbers and texts of the module's version resource."""

    def __init__(self, module):
        data = module.resource(RT_VERSION, 1)
        if not data:
            raise ModuleError("%s: has no version resource" % module.path)
        try:
            self._read(module, data)
        except (struct.error, UnicodeDecodeError) as e:
            raise ModuleError("%s: the version resource is not readable (%s)" % (module.path, e))

    def _read(self, module, data):
        root = _version_nodes(data, 0, len(data))
        if not root or root[0][0] != "VS_VERSION_INFO" or len(root[0][1]) < 52:
            raise ModuleError("%s: the version resource is not readable" % module.path)
        fixed = struct.unpack_from("<13I", root[0][1])
        if fixed[0] != 0xFEEF04BD:
            raise ModuleError("%s: the version resource has no fixed part" % module.path)
        split = lambda high, low: (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
        self.file = split(fixed[2], fixed[3])
        self.product = split(fixed[4], fixed[5])
        self.texts = {}
        self.language = 0
        for key, value, is_text, children in root[0][3]:
            if key == "StringFileInfo":
                for table in children[:1]:
                    for name, text, _, _ in table[3]:
                        self.texts[name] = text.decode("utf-16-le").rstrip("\0")
            elif key == "VarFileInfo":
                for name, value2, _, _ in children:
                    if name == "Translation" and len(value2) >= 2:
                        self.language = struct.unpack_from("<H", value2)[0]


# ---- registry scripts ------------------------------------------------------------------------

ROOTS = {"HKCR": "HKCR", "HKEY_CLASSES_ROOT": "HKCR", "HKLM": "HKLM", "HKEY_LOCAL_MACHINE": "HKLM",
         "HKCU": "HKCU", "HKEY_CURRENT_USER": "HKCU"}
TOKEN = re.compile(r"\s*(?:(\{|\}|=)|'((?:[^']|'')*)'|([^\s{}=']+))", re.S)


def _tokens(text, where):
    at = 0
    out = []
    while True:
        m = TOKEN.match(text, at)
        if not m:
            if text[at:].strip():
                raise ModuleError("%s: cannot read the script near %r" % (where, text[at:at + 30]))
            return out
        punct, quoted, bare = m.groups()
        out.append(("q", quoted.replace("''", "'")) if quoted is not None else ("p", punct) if punct else ("w", bare))
        at = m.end()


def _replace(text, replacements, where):
    def one(m):
        name = m.group(1)
        if name == "":
            return "%"
        if name.upper() not in replacements:
            raise ModuleError("%s: no replacement for %%%s%%" % (where, name))
        return replacements[name.upper()]
    return re.sub(r"%([A-Za-z0-9_]*)%", one, text)


def parse_script(text, replacements, where):
    """One registry script as Key and Value records, in script order."""
    tokens = _tokens(text, where)
    out = []
    pos = 0

    def take():
        nonlocal pos
        if pos >= len(tokens):
            raise ModuleError("%s: the script ends too early" % where)
        pos += 1
        return tokens[pos - 1]

    def peek():
        return tokens[pos] if pos < len(tokens) else (None, None)

    def name_of(token):
        if token[0] == "p":
            raise ModuleError("%s: a name was expected, not %r" % (where, token[1]))
        return _replace(token[1], replacements, where)

    def data():
        kind = take()
        value = take()
        if kind == ("w", "s") and value[0] == "q":
            return "sz", _replace(value[1], replacements, where)
        if kind == ("w", "d") and value[0] in "qw":
            text = _replace(value[1], replacements, where)
            try:
                return "dword", int(text, 0) & 0xFFFFFFFF
            except ValueError:
                pass
        raise ModuleError("%s: unsupported value %s %s" % (where, kind[1], value[1]))

    def body(root, parent):
        if peek() != ("p", "{"):
            return
        take()
        while peek() != ("p", "}"):
            token = take()
            if token == ("w", "val"):
                name = name_of(take())
                if take() != ("p", "="):
                    raise ModuleError("%s: '=' expected after val %s" % (where, name))
                out.append(Value(root, parent, name, *data()))
                continue
            action = "own"
            if token[0] == "w" and token[1].lower() in ("noremove", "forceremove"):
                action = "keep" if token[1].lower() == "noremove" else "replace"
                token = take()
            elif token[0] == "w" and token[1].lower() == "delete":
                raise ModuleError("%s: Delete keys are not supported" % where)
            path = (parent + "\\" if parent else "") + name_of(token)
            out.append(Key(root, path, action))
            if peek() == ("p", "="):
                take()
                out.append(Value(root, path, None, *data()))
            body(root, path)
        take()

    try:
        while pos < len(tokens):
            token = take()
            root = ROOTS.get(token[1].upper()) if token[0] == "w" else None
            if not root:
                raise ModuleError("%s: unknown root key %r" % (where, token[1]))
            body(root, "")
    except RecursionError:
        raise ModuleError("%s: keys nested too deep" % where)
    return out


# ---- the type library ----------------------------------------------------------------------

TKIND_INTERFACE, TKIND_DISPATCH = 3, 4
TYPEFLAG_FDUAL, TYPEFLAG_FOLEAUTOMATION = 0x40, 0x100
LIBFLAG_FHASDISKIMAGE = 0x8
SYSKINDS = {0: "win16", 1: "win32", 2: "mac", 3: "win64"}
PS_OA_INTERFACE = "{00020424-0000-0000-C000-000000000046}"
PS_DISPATCH = "{00020420-0000-0000-C000-000000000046}"


def _guid(data, at):
    a, b, c = struct.unpack_from("<IHH", data, at)
    d = data[at + 8:at + 16]
    return "{%08X-%04X-%04X-%s-%s}" % (a, b, c, d[:2].hex().upper(), d[2:].hex().upper())


class TypeLibrary:
    """The parts of a type library (MSFT format) that its registration writes. Texts are in the
    ANSI code page of the system the library was made for (932 for this product)."""

    def __init__(self, data, where, codepage="cp932"):
        try:
            self._read(data, codepage)
        except (struct.error, IndexError, KeyError, UnicodeDecodeError) as e:
            raise ModuleError("%s: the type library is not readable (%s)" % (where, e))

    def _read(self, data, codepage):
        if data[:4] != b"MSFT":
            raise KeyError("no MSFT header")
        (posguid, _, self.lcid, varflags, version, flags, count, helpstring) = struct.unpack_from("<8i", data, 8)
        name_offset = struct.unpack_from("<i", data, 0x38)[0]
        self.syskind = SYSKINDS[varflags & 0xF]
        self.version = (version & 0xFFFF, (version >> 16) & 0xFFFF)
        self.flags = (flags & 0xFFFF) | LIBFLAG_FHASDISKIMAGE  # read from a file, as the platform's reader reports it
        at = 0x54 + (4 if varflags & 0x100 else 0)
        typeinfos = struct.unpack_from("<%di" % count, data, at)
        segments = [struct.unpack_from("<ii", data, at + 4 * count + 16 * n) for n in range(15)]
        guids, names, strings = segments[5][0], segments[7][0], segments[8][0]

        def name(offset):
            length = struct.unpack_from("<i", data, names + offset + 8)[0] & 0xFF
            return data[names + offset + 12:names + offset + 12 + length].decode(codepage)

        def text(offset):
            if offset < 0:
                return None
            length = struct.unpack_from("<H", data, strings + offset)[0]
            return data[strings + offset + 2:strings + offset + 2 + length].decode(codepage)

        self.guid = _guid(data, guids + posguid)
        self.name = name(name_offset)
        self.doc = text(helpstring)
        self.types = []
        for offset in typeinfos:
            base = segments[0][0] + offset
            kind = struct.unpack_from("<i", data, base)[0] & 0xF
            posguid, tflags, tname = struct.unpack_from("<3i", data, base + 0x2C)
            self.types.append((kind, tflags, name(tname), _guid(data, guids + posguid) if posguid >= 0 else None))

    def registration(self):
        """What RegisterTypeLib writes for this library at the module's path: the library's
        key, and an Interface key for each dispatch and automation-compatible interface."""
        lib = "TypeLib\\" + self.guid
        version = "%x.%x" % self.version
        out = [Key("HKCR", lib, "own")]
        if self.doc:
            out.append(Value("HKCR", lib + "\\" + version, None, "sz", self.doc))
        out += [Value("HKCR", "%s\\%s\\%x\\%s" % (lib, version, self.lcid, self.syskind), None, "sz", MODULE),
                Value("HKCR", "%s\\%s\\FLAGS" % (lib, version), None, "sz", str(self.flags)),
                Value("HKCR", "%s\\%s\\HELPDIR" % (lib, version), None, "sz", MODULE_DIR)]
        for kind, tflags, name, guid in self.types:
            automation = tflags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)
            if not guid or not (kind == TKIND_DISPATCH or (kind == TKIND_INTERFACE and automation)):
                continue
            key = "Interface\\" + guid
            stub = PS_OA_INTERFACE if automation else PS_DISPATCH
            out += [Key("HKCR", key, "own"), Value("HKCR", key, None, "sz", name),
                    Value("HKCR", key + "\\ProxyStubClsid", None, "sz", stub),
                    Value("HKCR", key + "\\ProxyStubClsid32", None, "sz", stub),
                    Value("HKCR", key + "\\TypeLib", None, "sz", self.guid),
                    Value("HKCR", key + "\\TypeLib", "Version", "sz", version)]
        return out


# ---- the whole registration --------------------------------------------------------------------

def read_registration(module, app_id):
    """Everything registering `module` writes, in the order the module registers it: script 101,
    the class scripts, then the type library. Fails with ModuleError naming what is missing."""
    records = []
    for number in REGISTRY_SCRIPTS:
        where = "%s: registration script %d (REGISTRY)" % (module.path, number)
        data = module.resource("REGISTRY", number)
        if data is None:
            raise ModuleError(where + " is missing")
        try:
            text = data.decode("utf-8-sig")
        except UnicodeDecodeError:
            raise ModuleError(where + " is not UTF-8 text")
        replacements = {"APPID": app_id}
        if number != REGISTRY_SCRIPTS[0]:
            replacements["MODULE"] = MODULE
        records += parse_script(text, replacements, where)
    library = module.resource("TYPELIB", 1)
    if library is None:
        raise ModuleError("%s: the type library (TYPELIB 1) is missing" % module.path)
    records += TypeLibrary(library, module.path).registration()
    return records
