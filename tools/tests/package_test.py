#!/usr/bin/env python3
"""The installer packages under 64-bit Wine, one command at a time (scripts/test_package.sh):
refusals (unreadable modules stop the build), reference (what regsvr32 writes), x86 and x64 (an
install without administrator rights is refused; an install writes what regsvr32 writes and puts
the modules in place; x64: the demo's first steps, a later version over it, a repair; uninstall).

What regsvr32 writes: of the x86-64 module, in a prefix of its own; for the 32-bit view, what
regsvr32 of the 32-bit module wrote in the emulated 32-bit guest (--guest32, the registry before
and after), imported into that view, since 32-bit programs need not run here. Without it, the
x86-64 module's keys with the 32-bit module's path stand in; --expected32 names a .reg file.
Registries are compared as Wine stores them, key by key and value by value, with their types.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import module_registration as reg  # noqa: E402

DIR64, DIR32 = r"C:\Program Files\Tavelle Toolbar", r"C:\Program Files (x86)\Tavelle Toolbar"
MODULE = "\\TavelleToolbarIE.dll"
INSTALLER = ("software\\classes\\installer", "software\\microsoft\\windows\\currentversion\\installer",
             "software\\microsoft\\windows\\currentversion\\uninstall")  # the installer's own records


class Failed(Exception):
    pass


def check(condition, what, detail=""):
    if not condition:
        raise Failed("%s %s" % (what, detail))
    print("ok: " + what)


def read_registry(path):
    """Wine's registry file: {key in lower case: {value name in lower case: data as written}}."""
    keys, values = {}, None
    with open(path, encoding="ascii", errors="surrogateescape") as f:
        lines = iter(f.read().split("\n"))
    for line in lines:
        m = re.match(r"^\[(.*)\] \d+$", line)
        if m:
            values = keys.setdefault(m.group(1).replace("\\\\", "\\").lower(), {})
        elif values is not None and re.match(r'^(@|"(?:[^"\\]|\\.)*")=', line):
            name, data = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line).groups()
            while data.endswith("\\") and not data.startswith('"'):  # hex data goes on
                data = data[:-1] + next(lines).strip()
            values[name.lower()] = data
    return keys


def delta(before, after):
    """What changed under Software, the installer's own records aside (in either view)."""
    def compared(key):
        key = key.replace("\\wow6432node", "")
        return key.startswith("software\\") and not any(key == p or key.startswith(p + "\\") for p in INSTALLER)
    out = {("gone", k) for k in before if compared(k) and k not in after}
    for key, values in after.items():
        if compared(key):
            out |= {("key", key)} if key not in before else set()
            out |= {("value", key, n, d) for n, d in values.items() if before.get(key, {}).get(n) != d}
    return out


def describe(entries):
    return "; ".join(" ".join(e) for e in sorted(entries)[:8]) + (" ..." if len(entries) > 8 else "")


def products(registry):
    """Our entries in the installed programs' list (either view): [(name, version)]."""
    return [(v.get('"displayname"'), v.get('"displayversion"')) for k, v in registry.items()
            if re.match(r"software\\(wow6432node\\)?microsoft\\windows\\currentversion\\uninstall\\[^\\]+$", k)
            and "tavelle" in v.get('"displayname"', "").lower()]


def modules_in(args, package):
    """The modules inside a package, by the folder the README names for each."""
    target = os.path.join(args.work, "extract", os.path.basename(package))
    shutil.rmtree(target, ignore_errors=True)
    subprocess.run(["msiextract", "-C", target, package], check=True, capture_output=True)
    found = [reg.Module(os.path.join(top, f)) for top, _, files in os.walk(target) for f in files]
    return {DIR64 if m.machine == "x64" else DIR32: m.data for m in found}


def package(folder, arch):
    names = [f for f in os.listdir(folder) if f.endswith("-%s.msi" % arch)]
    if len(names) != 1:
        raise Failed("not one %s package in %s: %s" % (arch, folder, names))
    return os.path.join(folder, names[0])


class Prefix:
    """A copy of the fresh prefix, with its registry as it was before anything of ours ran."""

    def __init__(self, args, name):
        self.wine, self.path = args.wine, os.path.join(args.work, name)
        shutil.rmtree(self.path, ignore_errors=True)
        shutil.copytree(args.prefix, self.path, symlinks=True)
        self.env = dict(os.environ, WINEPREFIX=self.path)
        self.run("reg", "query", "HKCU\\Software\\Wine")  # Wine's own start-up changes come first
        self.pristine = self.registry()

    def run(self, *command):
        result = subprocess.run([self.wine] + list(command), env=self.env, capture_output=True, text=True,
                                errors="replace", timeout=600)
        if result.returncode:
            raise Failed("%s: exit %d %s" % (" ".join(command), result.returncode, (result.stdout + result.stderr)[-300:]))
        return result.stdout.strip()

    def registry(self, hive="system.reg"):
        subprocess.run([os.environ["WINESERVER"], "-w"], env=self.env, timeout=120)
        return read_registry(os.path.join(self.path, hive))

    def file(self, windows_path, data=None):
        path = os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))
        if data is not None:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        return path

    def read(self, windows_path):
        with open(self.file(windows_path), "rb") as f:
            return f.read()

    def regsvr32(self, module):
        self.file(DIR64 + MODULE, module)
        self.run("regsvr32", "/s", DIR64 + MODULE)

    def remove(self):
        subprocess.run([os.environ["WINESERVER"], "-k"], env=self.env, timeout=120)
        shutil.rmtree(self.path, ignore_errors=True)


def refusals(args):
    """A module whose registration scripts cannot be read, and one cut short, stop the build."""
    with open(args.modules[1], "rb") as f:
        data = f.read()
    name = b"\x08\x00" + "REGISTRY".encode("utf-16-le")  # the scripts' resource type: renamed, not found
    check(data.count(name) == 1, "the module names its REGISTRY resources once")
    for bad, expected in ((data.replace(name, name[:-2] + b"X\x00"), "registration script 101 (REGISTRY) is missing"),
                          (data[:4096], "not a readable Windows module")):
        module, out = os.path.join(args.work, "bad.dll"), os.path.join(args.work, "refused")
        with open(module, "wb") as f:
            f.write(bad)
        result = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_package.py"), "--arch", "x64",
                                 "--module32", args.modules[0], "--module64", module, "--out-dir", out],
                                capture_output=True, text=True)
        check(result.returncode != 0 and expected in result.stderr and module in result.stderr
              and not os.path.exists(out), "the build stops and says " + expected, result.stderr)


def reference(args):
    """What regsvr32 writes for each package: x86, the 32-bit module's; x64, both modules'."""
    module64 = modules_in(args, package(args.dist, "x64"))[DIR64]
    ref = Prefix(args, "prefix-reference")
    ref.regsvr32(module64)
    r64 = delta(ref.pristine, ref.registry())
    ref.remove()
    if args.expected32:
        with open(args.expected32, "rb") as f:
            data = f.read()
        reg32 = data.decode("utf-16" if data[:2] in (b"\xff\xfe", b"\xfe\xff") else "utf-8")
    else:  # those keys in the 32-bit view, with the path of the 32-bit module's folder there
        written = r64
        if args.guest32:  # what regsvr32 of the 32-bit module wrote on a 32-bit system
            before, after = (read_registry(os.path.join(args.guest32, "reg32-%s.reg" % w)) for w in ("before", "after"))
            written = delta(before, after)
            check(any(e[0] == "key" and "inprocserver32" in e[1] for e in written),
                  "regsvr32 in the 32-bit guest wrote the module's class keys")
        path = lambda s: s.replace(DIR64.replace("\\", "\\\\"), DIR32.replace("\\", "\\\\"))
        text = lambda s: re.sub(r"\\x([0-9a-fA-F]{1,4})", lambda m: chr(int(m.group(1), 16)), path(s))
        keys = {}
        for e in sorted(written):
            if e[0] != "gone" and "\\wow6432node\\" not in e[1]:
                key = re.sub(r"(?i)(\\[0-9a-f]+\\)win64$", r"\1win32", e[1])
                if e[0] == "value" and not e[3].startswith('"'):
                    raise Failed("regsvr32 wrote a value that is not text: %s" % (e,))
                keys.setdefault(key, []).extend(["%s=%s" % (text(e[2]), text(e[3]))] if e[0] == "value" else [])
        reg32 = "Windows Registry Editor Version 5.00\r\n\r\n" + "".join(
            "[HKEY_LOCAL_MACHINE\\%s]\r\n%s\r\n" % (k, "".join(v + "\r\n" for v in keys[k])) for k in sorted(keys))
    expected = {}
    for arch in ("x86", "x64"):
        p = Prefix(args, "prefix-reference")
        with open(p.file("C:\\expected32.reg"), "w", encoding="utf-16") as f:
            f.write(reg32)
        p.run("reg", "import", "C:\\expected32.reg", "/reg:32")
        if arch == "x64":  # registered after the 32-bit module, which keeps the shared help folder
            p.regsvr32(module64)
        expected[arch] = sorted(delta(p.pristine, p.registry()))
        p.remove()
    with open(os.path.join(args.work, "reference.json"), "w") as f:
        json.dump(expected, f)


def install(args, arch):
    with open(os.path.join(args.work, "reference.json")) as f:
        expected = {tuple(e) for e in json.load(f)[arch]}
    marks = {"tavelle"} | {g.lower() for e in expected for g in re.findall(r"\{[0-9A-Fa-f-]{36}\}", e[1])}
    ours = lambda entries: {e for e in entries if any(m in " ".join(e[1:]).lower() for m in marks)}
    p = Prefix(args, "prefix-" + arch)
    msi = "C:\\toolbar.msi"
    with open(package(args.dist, arch), "rb") as f:
        p.file(msi, f.read())

    # Wine grants every user administrator rights: the installer is told otherwise.
    p.file("C:\\unprivileged.vbs", ('Set installer = CreateObject("WindowsInstaller.Installer")\r\n'
                                    'installer.UILevel = 2\r\nSet session = installer.OpenPackage("%s")\r\n'
                                    'session.Property("Privileged") = ""\r\nWScript.Echo session.DoAction("INSTALL")'
                                    '\r\n' % msi).encode())
    refused = p.run("cscript", "//nologo", "C:\\unprivileged.vbs")
    before = p.registry()
    check(refused == "3" and not ours(delta(p.pristine, before)) and not products(before)
          and not os.path.exists(p.file(DIR32)), "without administrator rights the install fails, writing nothing")

    for step, source in (("first", args.dist), ("later", args.next)) if arch == "x64" else (("first", args.dist),):
        with open(package(source, arch), "rb") as f:
            p.file(msi, f.read())
        p.run("msiexec", "/i", msi, "/qn")
        now = p.registry()
        got = delta(before, now)
        check(got == expected, "the %s package writes what regsvr32 writes" % step,
              "missing: %s; more: %s" % (describe(expected - got), describe(got - expected)))
        modules = modules_in(args, package(source, arch))
        check(sorted(modules) == sorted([DIR32, DIR64] if arch == "x64" else [DIR32]), "it holds its modules")
        for folder, data in modules.items():
            check(p.read(folder + MODULE) == data, "%s%s is the %s package's" % (folder, MODULE, step))
        listed, version = products(now), os.path.basename(package(source, arch)).split("-")[1]
        check(len(listed) == 1 and listed[0][1] == '"%s"' % version, "one product is listed, " + version, listed)
        if arch == "x64" and step == "first":  # found the way the browser finds it: through the registry
            bho = [k.split("\\")[-1] for k in now if re.match(r"software\\microsoft\\windows\\currentversion\\"
                                                                r"explorer\\browser helper objects\\[^\\]+$", k)]
            dll = now["software\\classes\\clsid\\%s\\inprocserver32" % bho[0]]["@"].strip('"').replace("\\\\", "\\")
            band = next(iter(now["software\\microsoft\\internet explorer\\toolbar"])).strip('"')
            session = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "demo_session.py"), "--wine",
                                      args.wine, "--host", args.host, "--dll", dll, "--bho", bho[0], "--band", band,
                                      "--out", os.path.join(args.work, "demo"), "--steps", "2",
                                      "--registered-by", "the x64 package"], env=p.env, timeout=900)
            check(session.returncode == 0, "the test browser runs the demo's first steps with the installed module")

    for folder in modules:
        os.remove(p.file(folder + MODULE))
    p.run("msiexec", "/i", msi, "/qn")  # (Wine's msiexec /f does nothing)
    check(all(p.read(folder + MODULE) == data for folder, data in modules.items()),
          "installing the package again restores the deleted modules")

    p.run("msiexec", "/x", msi, "/qn")
    left = p.registry()
    check(not ours(delta(p.pristine, left)) and not products(left), "uninstalling leaves no key of ours",
          describe(ours(delta(p.pristine, left))))
    cache = p.file("C:\\windows\\Installer")
    files = [f for f in (DIR32, DIR64) if os.path.exists(p.file(f))] + \
        ([f for f in os.listdir(cache) if f.endswith(".msi")] if os.path.isdir(cache) else [])
    check(not files, "nor a file", files)
    if arch == "x64":
        settings = p.registry("user.reg").get("software\\tavelle\\tavelletoolbar", {})
        check('"initialized"' in settings, "the user's settings stay", sorted(settings))
    p.remove()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("command", choices=("refusals", "reference", "x86", "x64"))
    parser.add_argument("modules", nargs="*", help="refusals: the 32-bit and the x86-64 module")
    parser.add_argument("--wine", default=os.environ.get("TT_WINE", "/usr/lib/wine/wine64"))
    parser.add_argument("--work", required=True)
    parser.add_argument("--prefix", help="a fresh prefix to copy")
    parser.add_argument("--dist", help="the packages")
    parser.add_argument("--next", help="the packages of a later version")
    parser.add_argument("--host", help="tavelle_test_host.exe")
    parser.add_argument("--expected32", help="a .reg file of what regsvr32 of the 32-bit module writes")
    parser.add_argument("--guest32", help="a folder with Wine's registry of a 32-bit system before and after "
                        "regsvr32 of the 32-bit module (reg32-before.reg, reg32-after.reg)")
    args = parser.parse_args(argv)
    os.makedirs(args.work, exist_ok=True)
    try:
        {"refusals": refusals, "reference": reference, "x86": lambda a: install(a, "x86"),
         "x64": lambda a: install(a, "x64")}[args.command](args)
    except (Failed, subprocess.SubprocessError, OSError, KeyError, IndexError) as e:
        print("FAILED: %r" % e if not isinstance(e, Failed) else "FAILED: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
