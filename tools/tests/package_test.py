#!/usr/bin/env python3
"""The installer packages under 64-bit Wine (scripts/tests.d/package.sh runs each command).

  refusals MODULE32 MODULE   a package of a module without readable registration scripts is
                             not built: the build fails naming what is missing
  reference                  what regsvr32 writes, from prefixes of its own (below)
  x86 | x64                  a fresh prefix: an install without administrator rights is refused
                             with nothing written; a silent install writes what regsvr32 writes
                             and puts the modules where the README says; x64 also: the test
                             browser runs the demo's first steps with the installed module, a
                             later version replaces it, installing again repairs a deleted
                             module; uninstalling leaves nothing of ours but the user's settings

What regsvr32 writes: regsvr32 of the x86-64 module; for the 32-bit view, the same keys with the
32-bit module's path imported into that view (32-bit programs cannot run here), or with
--expected32 a .reg file of what regsvr32 of the 32-bit module wrote on a 32-bit system.
Registries are compared as Wine stores them (system.reg), key by key, value by value, with type.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
import module_registration as reg  # noqa: E402

FOLDER = "Tavelle Toolbar"
DIR64, DIR32 = r"C:\Program Files\Tavelle Toolbar", r"C:\Program Files (x86)\Tavelle Toolbar"
# The installer's own records of a product; compared separately.
INSTALLER = ("software\\classes\\installer", "software\\microsoft\\windows\\currentversion\\installer",
             "software\\microsoft\\windows\\currentversion\\uninstall")
BHOS = "software\\microsoft\\windows\\currentversion\\explorer\\browser helper objects"
SETTINGS = "software\\tavelle\\tavelletoolbar"


class Failed(Exception):
    pass


def check(condition, what, detail=""):
    if not condition:
        raise Failed(what + (": " + str(detail) if detail != "" else ""))
    print("ok: " + what)


# ---- Wine's registry files -------------------------------------------------------------------

def read_registry(path):
    """{key in lower case: (key, {value name in lower case: raw data as Wine writes it})}."""
    keys, values = {}, None
    with open(path, encoding="ascii", errors="surrogateescape") as f:
        lines = iter(f.read().split("\n"))
    for line in lines:
        m = re.match(r"^\[(.*)\] \d+$", line)
        if m:
            key = m.group(1).replace("\\\\", "\\")
            values = keys.setdefault(key.lower(), (key, {}))[1]
            continue
        m = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
        if m and values is not None:
            data = m.group(2)
            while data.endswith("\\") and not data.startswith('"'):  # hex data goes on
                data = data[:-1] + next(lines).strip()
            values[m.group(1).lower()] = data
    return keys


def compared(key):
    """Keys under Software, outside the installer's own records (in either view)."""
    key = key.replace("\\wow6432node", "")
    return key.startswith("software\\") and not any(key == p or key.startswith(p + "\\") for p in INSTALLER)


def delta(before, after):
    """What changed between two registries."""
    out = set()
    for key, (_, values) in after.items():
        if compared(key):
            old = before.get(key, (None, {}))[1]
            if key not in before:
                out.add(("key", key))
            out |= {("value", key, n, d) for n, d in values.items() if old.get(n) != d}
    return out | {("gone", key) for key in before if compared(key) and key not in after}


def describe(entries):
    return "; ".join(" ".join(map(str, e)) for e in sorted(entries)[:8]) + (" ..." if len(entries) > 8 else "")


def ours(entries, marks):
    return {e for e in entries if any(m in " ".join(e[1:]).lower() for m in marks)}


def to_regedit(entries, transform):
    """Entries of a registry delta (64-bit view) as a .reg file for `reg import`."""
    out = ["Windows Registry Editor Version 5.00", ""]
    keys = {}
    for e in entries:
        if "\\wow6432node\\" in e[1] or e[0] == "gone":
            continue
        keys.setdefault(transform(e[1]), [])
        if e[0] == "value":
            if not e[3].startswith('"'):
                raise Failed("unexpected value type in what regsvr32 wrote: %s" % (e,))
            keys[transform(e[1])].append((e[2], transform(e[3])))
    unescape = lambda s: re.sub(r"\\x([0-9a-fA-F]{1,4})", lambda m: chr(int(m.group(1), 16)), s)
    for key in sorted(keys):
        out.append("[HKEY_LOCAL_MACHINE\\%s]" % key)
        out += ["%s=%s" % (unescape(n), unescape(d)) for n, d in keys[key]]
        out.append("")
    return "\r\n".join(out) + "\r\n"


# ---- prefixes --------------------------------------------------------------------------------

class Prefix:
    def __init__(self, args, name):
        self.args = args
        self.path = os.path.join(args.work, name)
        shutil.rmtree(self.path, ignore_errors=True)
        shutil.copytree(args.prefix, self.path, symlinks=True)
        self.env = dict(os.environ, WINEPREFIX=self.path)
        self.run("reg", "query", "HKCU\\Software\\Wine")  # Wine's own start-up changes come first
        self.pristine = self.registry()

    def run(self, *command, expect=0):
        result = subprocess.run([self.args.wine] + list(command), env=self.env, capture_output=True,
                                text=True, errors="replace", timeout=600)
        if expect is not None and result.returncode != expect:
            raise Failed("%s: exit %d, expected %d: %s" % (" ".join(command), result.returncode, expect,
                                                            (result.stdout + result.stderr)[-500:]))
        return result

    def registry(self, hive="system.reg"):
        subprocess.run([os.environ["WINESERVER"], "-w"], env=self.env, timeout=120)
        return read_registry(os.path.join(self.path, hive))

    def file(self, windows_path):
        return os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))

    def put(self, source, name):
        shutil.copyfile(source, self.file("C:\\" + name))
        return "C:\\" + name

    def install_module(self, data):
        """The x86-64 module copied into its folder and registered with regsvr32."""
        os.makedirs(self.file(DIR64), exist_ok=True)
        with open(self.file(DIR64 + "\\TavelleToolbarIE.dll"), "wb") as f:
            f.write(data)
        self.run("regsvr32", "/s", DIR64 + "\\TavelleToolbarIE.dll")

    def remove(self):
        subprocess.run([os.environ["WINESERVER"], "-k"], env=self.env, timeout=120)
        shutil.rmtree(self.path, ignore_errors=True)


def extract(args, package):
    """The modules inside a package: {the folder the README names for it: bytes}."""
    target = os.path.join(args.work, "extract", os.path.basename(package))
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    subprocess.run(["msiextract", "-C", target, package], check=True, capture_output=True)
    found = {}
    for top, _, files in os.walk(target):
        for f in files:
            module = reg.Module(os.path.join(top, f))
            found[DIR64 if module.machine == "x64" else DIR32] = module.data
    return found


def package(args, folder, arch):
    names = [f for f in os.listdir(folder) if f.endswith("-%s.msi" % arch)]
    if len(names) != 1:
        raise Failed("%s: expected one %s package, found %s" % (folder, arch, names))
    return os.path.join(folder, names[0])


# ---- the commands ----------------------------------------------------------------------------

def refusals(args):
    """A module whose registration scripts cannot be read, and one cut short, stop the build."""
    with open(args.modules[1], "rb") as f:
        data = f.read()
    unreadable = os.path.join(args.work, "unreadable.dll")
    cut = os.path.join(args.work, "cut.dll")
    name = b"\x08\x00" + "REGISTRY".encode("utf-16-le")  # the scripts' resource type, renamed: not found
    if data.count(name) != 1:
        raise Failed("%s: the REGISTRY resource type was not found once" % args.modules[1])
    with open(unreadable, "wb") as out:
        out.write(data.replace(name, name[:-2] + b"X\x00"))
    with open(cut, "wb") as out:
        out.write(data[:4096])
    for module, expected in ((unreadable, "registration script 101 (REGISTRY) is missing"),
                             (cut, "not a readable Windows module")):
        out_dir = os.path.join(args.work, "refused")
        shutil.rmtree(out_dir, ignore_errors=True)
        result = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_package.py"), "--arch", "x64",
                                 "--module32", args.modules[0], "--module64", module, "--out-dir", out_dir],
                                capture_output=True, text=True)
        check(result.returncode != 0 and expected in result.stderr and module in result.stderr,
              "the build refuses %s with %r" % (os.path.basename(module), result.stderr.strip()))
        check(not os.path.exists(out_dir), "no package is left for it")


def reference(args):
    """What regsvr32 writes: of the x86-64 module, and the 32-bit view's share."""
    modules = extract(args, package(args, args.dist, "x64"))
    ref = Prefix(args, "prefix-reference")
    ref.install_module(modules[DIR64])
    r64 = delta(ref.pristine, ref.registry())
    ref.remove()
    if args.expected32:
        with open(args.expected32, "rb") as f:
            data = f.read()
        reg32 = data.decode("utf-16" if data[:2] in (b"\xff\xfe", b"\xfe\xff") else "utf-8")
    else:
        escaped = lambda p: p.replace("\\", "\\\\")
        win32 = lambda s: re.sub(r"(?i)(\\[0-9a-f]+\\)win64$", r"\1win32", s).replace(escaped(DIR64), escaped(DIR32))
        reg32 = to_regedit(r64, win32)
    result = {}
    for arch in ("x86", "x64"):
        p = Prefix(args, "prefix-reference")
        with open(p.file("C:\\expected32.reg"), "w", encoding="utf-16") as f:
            f.write(reg32)
        p.run("reg", "import", "C:\\expected32.reg", "/reg:32")
        if arch == "x64":  # registered after the 32-bit module, which keeps the shared help folder
            p.install_module(modules[DIR64])
        result[arch] = sorted(delta(p.pristine, p.registry()))
        p.remove()
    with open(os.path.join(args.work, "reference.json"), "w") as f:
        json.dump(result, f)
    print("ok: what regsvr32 writes: %d entries (x86), %d (x64)" % (len(result["x86"]), len(result["x64"])))


def installed_products(registry):
    names = []
    for key, (_, values) in registry.items():
        key = key.replace("\\wow6432node", "")
        if key.startswith("software\\microsoft\\windows\\currentversion\\uninstall\\") and key.count("\\") == 5:
            if "tavelle" in values.get('"displayname"', "").lower():
                names.append((values.get('"displayname"'), values.get('"displayversion"')))
    return names


def install(args, arch):
    with open(os.path.join(args.work, "reference.json")) as f:
        expected = {tuple(e) for e in json.load(f)[arch]}
    marks = {"tavelle"} | {g.lower() for e in expected for g in re.findall(r"\{[0-9A-Fa-f-]{36}\}", e[1])}
    first = package(args, args.dist, arch)
    p = Prefix(args, "prefix-" + arch)
    msi = p.put(first, "toolbar.msi")

    # Without administrator rights (Wine always grants them: the installer is told otherwise).
    with open(p.file("C:\\unprivileged.vbs"), "w") as f:
        f.write('Set installer = CreateObject("WindowsInstaller.Installer")\r\ninstaller.UILevel = 2\r\n'
                'Set session = installer.OpenPackage("%s")\r\nsession.Property("Privileged") = ""\r\n'
                'WScript.Echo session.DoAction("INSTALL")\r\n' % msi)
    refused = p.run("cscript", "//nologo", "C:\\unprivileged.vbs").stdout.strip()
    after = p.registry()
    check(refused == "3" and not ours(delta(p.pristine, after), marks) and not installed_products(after)
          and not os.path.exists(p.file(DIR32)),
          "without administrator rights the install fails (%s) and writes nothing" % refused)

    p.run("msiexec", "/i", msi, "/qn")
    now = p.registry()
    got = delta(after, now)
    check(got == expected, "the registry holds what regsvr32 writes",
          "missing %s; more %s" % (describe(expected - got), describe(got - expected)))
    modules = extract(args, first)
    for folder, data in modules.items():
        with open(p.file(folder + "\\TavelleToolbarIE.dll"), "rb") as f:
            check(f.read() == data, "%s\\TavelleToolbarIE.dll is the package's module" % folder)
    check(set(modules) == ({DIR32, DIR64} if arch == "x64" else {DIR32}), "the package holds the modules it should",
          sorted(modules))

    if arch == "x64":
        bho = [k.split("\\")[-1] for k in now if k.startswith(BHOS + "\\") and k.count("\\") == 6]
        dll = now.get("software\\classes\\clsid\\%s\\inprocserver32" % bho[0].lower(), ("", {}))[1].get("@", "")
        bands = [n.strip('"') for n in now.get("software\\microsoft\\internet explorer\\toolbar", ("", {}))[1]]
        session = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "demo_session.py"), "--wine",
                                  args.wine, "--host", args.host, "--dll", dll.strip('"').replace("\\\\", "\\"),
                                  "--bho", bho[0], "--band", bands[0], "--out", os.path.join(args.work, "demo"),
                                  "--steps", "2", "--registered-by", "the x64 package"], env=p.env, timeout=900)
        check(session.returncode == 0, "the test browser runs the demo's first steps with the installed module")

        later = package(args, args.next, arch)
        p.run("msiexec", "/i", p.put(later, "later.msi"), "/qn")
        now = p.registry()
        check(delta(after, now) == expected, "the later version holds the same keys")
        products = installed_products(now)
        check(len(products) == 1 and os.path.basename(later).split("-")[1] in products[0][1],
              "after the later version one product is listed, the later one", products)
        modules = extract(args, later)
        for folder, data in modules.items():
            with open(p.file(folder + "\\TavelleToolbarIE.dll"), "rb") as f:
                check(f.read() == data, "the later module is in %s" % folder)
        for folder, command in ((DIR32, ("/i", "C:\\later.msi")), (DIR64, ("/fa", "C:\\later.msi"))):
            os.remove(p.file(folder + "\\TavelleToolbarIE.dll"))
            p.run("msiexec", *command, "/qn")
            with open(p.file(folder + "\\TavelleToolbarIE.dll"), "rb") as f:
                check(f.read() == modules[folder], "msiexec %s restores a deleted module" % command[0])
        msi = "C:\\later.msi"

    p.run("msiexec", "/x", msi, "/qn")
    left = delta(p.pristine, p.registry())
    check(not ours(left, marks) and not installed_products(p.registry()), "uninstalling leaves no key of ours",
          describe(ours(left, marks)))
    leftovers = [f for f in (DIR32, DIR64) if os.path.exists(p.file(f))]
    cached = [f for f in os.listdir(p.file("C:\\windows\\Installer")) if f.endswith(".msi")] \
        if os.path.isdir(p.file("C:\\windows\\Installer")) else []
    check(not leftovers and not cached, "nor a file", leftovers + cached)
    if arch == "x64":
        settings = p.registry("user.reg").get(SETTINGS, ("", {}))[1]
        check('"initialized"' in settings, "the user's settings stay", sorted(settings))
    p.remove()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("command", choices=("refusals", "reference", "x86", "x64"))
    parser.add_argument("modules", nargs="*", help="refusals: the 32-bit module and one without scripts")
    parser.add_argument("--wine", default=os.environ.get("TT_WINE", "/usr/lib/wine/wine64"))
    parser.add_argument("--prefix", help="a fresh prefix to copy")
    parser.add_argument("--work", required=True)
    parser.add_argument("--dist", help="the packages")
    parser.add_argument("--next", help="the packages of a later version")
    parser.add_argument("--host", help="tavelle_test_host.exe")
    parser.add_argument("--expected32", help="a .reg file of what regsvr32 of the 32-bit module writes")
    args = parser.parse_args(argv)
    os.makedirs(args.work, exist_ok=True)
    try:
        {"refusals": refusals, "reference": reference, "x86": lambda a: install(a, "x86"),
         "x64": lambda a: install(a, "x64")}[args.command](args)
    except (Failed, subprocess.SubprocessError, OSError) as e:
        print("FAILED: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
