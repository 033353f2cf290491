#!/usr/bin/env python3
"""Makes the toolbar's Windows Installer package (per machine) from the built modules.

    make_package.py --arch x86 --module32 DLL --out-dir dist
    make_package.py --arch x64 --module32 DLL --module64 DLL --out-dir dist

The x86 package installs the 32-bit module into the 32-bit program folder; the x64 package
installs it there too and the x86-64 module into the 64-bit program folder. What regsvr32
would write for each module becomes rows of the package's Registry table, read from the
module's own registry scripts and type library (tools/module_registration.py); the product's
name, maker, version, language and icon come from the module's resources as well. A later
version replaces an earlier one (major upgrade); installing the same package again repairs.

wixl (msitools) builds the package from a WiX source; it cannot store text outside ASCII, so the
database's code page and every Japanese text are set afterwards with msibuild.
"""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import module_registration as reg  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDER = "Tavelle Toolbar"
MODULE_FILE = "TavelleToolbarIE.dll"
UPGRADE_CODE = "3B02F6FD-5650-41C9-B6A4-DB9089364F56"
CODEPAGE = 932
PRODUCT_ICON = 200
MSI_ROOTS = {"HKCR": 0, "HKCU": 1, "HKLM": 2}
APP_ID_HEADER = os.path.join(ROOT, "src", "module", "module_win.h")

# The package's own texts (launch conditions), formatted by the installer.
NEEDS_ADMINISTRATOR = "[ProductName] のインストールには管理者の権限が必要です。管理者として実行してください。"
NEWER_INSTALLED = "より新しいバージョンの [ProductName] がインストールされています。"
OLD_WINDOWS = "[ProductName] には Windows XP SP2 以降が必要です。"


def fail(message):
    sys.exit("make_package: " + message)


def stable_guid(*parts):
    return str(uuid.uuid5(uuid.UUID(UPGRADE_CODE), "/".join(parts))).upper()


def app_id():
    """The module's application id (its "APPID" replacement), from the module's own header."""
    header = APP_ID_HEADER
    try:
        with open(header, encoding="utf-8") as f:
            m = re.search(r'kModuleAppIdText\[\]\s*=\s*L"(\{[0-9A-Fa-f-]{36}\})"', f.read())
    except OSError as e:
        fail("%s: cannot be read (%s)" % (header, e.strerror))
    if not m:
        fail("%s: the application id (kModuleAppIdText) is not there" % header)
    return m.group(1)


def icon_file(module, number):
    """The module's icon group as an .ico file's bytes."""
    group = module.resource(14, number)
    if not group or len(group) < 6:
        fail("%s: icon %d is missing" % (module.path, number))
    count = struct.unpack_from("<H", group, 4)[0]
    entries, images = [], []
    offset = 6 + 16 * count
    for n in range(count):
        w, h, colors, planes, bits, size, image_id = struct.unpack_from("<BBBxHHIH", group, 6 + 14 * n)
        image = module.resource(3, image_id)
        if image is None:
            fail("%s: icon %d lacks its image %d" % (module.path, number, image_id))
        entries.append(struct.pack("<BBBxHHII", w, h, colors, planes, bits, len(image), offset))
        images.append(image)
        offset += len(image)
    return struct.pack("<HHH", 0, 1, count) + b"".join(entries) + b"".join(images)


def formatted(text, file_id, folder_property):
    """A literal text as the installer's formatted text, with the module's markers filled in.
    The folder is written out rather than taken from the directory's property, which would end in a
    backslash where the registration has none; the directory is private, so it cannot move."""
    text = text.replace("[", "\x01").replace("]", "\x02").replace("\x01", "[\\[]").replace("\x02", "[\\]]")
    if text.startswith("#"):
        text = "#" + text
    return (text.replace(reg.MODULE, "[#%s]" % file_id)
                .replace(reg.MODULE_DIR, "[%s]%s" % (folder_property, FOLDER)))


class Slot:
    """One module of the package: its file, its folder, its components and its rows."""

    def __init__(self, bits, path, expected_machine):
        self.bits = bits
        self.module = reg.Module(path)
        if self.module.machine != expected_machine:
            fail("%s: a %s module was expected, this one is %s" % (path, expected_machine, self.module.machine))
        self.version = reg.Version(self.module)
        self.folder_property = "ProgramFiles64Folder" if bits == 64 else "ProgramFilesFolder"
        self.directory = "ToolbarFolder%d" % bits  # private: the folder is fixed, see MODULE_DIR
        self.component = "Module%d" % bits
        self.file_id = "ModuleFile%d" % bits

    def rows(self, app, help_folder):
        """Registry rows (id, root, key, name, value, component) and RemoveRegistry rows. The
        type library's help folder is `help_folder` (a folder property) for every module."""
        registry, remove = [], []
        fill = lambda text: formatted(text, self.file_id, help_folder)
        for record in reg.read_registration(self.module, app):
            row_id = "R%d_%03d" % (self.bits, len(registry) + 1)
            key = fill(record.path)
            root = MSI_ROOTS[record.root]
            if isinstance(record, reg.Key):
                # "+": created if absent, left on removal; "*": created, removed with its subtree.
                registry.append((row_id, root, key, "+" if record.action == "keep" else "*", "", self.component))
                if record.action == "replace":
                    remove.append(("X%d_%03d" % (self.bits, len(remove) + 1), root, key, "-", self.component))
                continue
            if record.kind == "dword":
                value = "#%d" % record.data
            elif record.data:
                value = fill(record.data)
            else:  # an empty Value would make the row a key's, not an empty text's
                fail("%s: %s\\%s: Windows Installer cannot write an empty text" % (self.module.path, record.root,
                                                                                  record.path))
            name = fill(record.name) if record.name is not None else ""
            registry.append((row_id, root, key, name, value, self.component))
        return registry, remove

    def wix(self, win64):
        v = self.version.file
        return """
      <Directory Id="{prop}">
        <Directory Id="{dir}" Name={folder}>
          <Component Id="{comp}" Guid="{guid}" Win64="{win64}">
            <File Id="{file}" Name="{name}" Source="module{bits}.dll" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>""".format(prop=self.folder_property, dir=self.directory, folder=quoteattr(FOLDER),
                              comp=self.component, guid=stable_guid("component", str(self.bits)),
                              win64=win64, file=self.file_id, name=MODULE_FILE, bits=self.bits), "%d.%d.%d.%d" % v


def idt(table, columns, keys, rows):
    """A table in the installer's text export format (tab-separated, UTF-8 here)."""
    head = ["\t".join(name for name, _ in columns), "\t".join(kind for _, kind in columns),
            "\t".join([table] + keys)]
    for row in rows:
        for field in row:
            if any(c in str(field) for c in "\t\r\n"):
                fail("%s: a tab or line break cannot be stored: %r" % (table, field))
    return "\r\n".join(head + ["\t".join(str(f) for f in row) for row in rows]) + "\r\n"


def sql_text(value):
    """A text as an SQL literal of msibuild, which knows no escape for the quote."""
    if "'" in value:
        fail("a text with a quote cannot be set: %s" % value)
    return "'%s'" % value


def run(command, cwd):
    result = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        fail("%s failed (%d): %s" % (command[0], result.returncode, (result.stderr or result.stdout).strip()))


def make_package(arch, module32, module64, out_dir, work):
    slots = [Slot(32, module32, "x86")]
    if arch == "x64":
        slots.append(Slot(64, module64, "x64"))
    version = slots[0].version
    for slot in slots[1:]:
        if slot.version.product != version.product:
            fail("%s and %s carry different versions" % (slots[0].module.path, slot.module.path))
    major, minor, build, revision = version.product
    if revision:
        fail("%s: version %d.%d.%d.%d: Windows Installer ignores the fourth part, so it cannot tell "
             "such versions apart" % (slots[0].module.path, major, minor, build, revision))
    product_version = "%d.%d.%d" % (major, minor, build)
    name = version.texts.get("ProductName")
    maker = version.texts.get("CompanyName")
    if not name or not maker:
        fail("%s: the version resource lacks ProductName or CompanyName" % slots[0].module.path)
    language = version.language or 1041

    app = app_id()
    registry, remove = [], []
    for slot in slots:
        # 64-bit Windows keeps type libraries in one key for both registry views, and the first
        # registration's help folder stays there: both modules name the 32-bit one's.
        r, x = slot.rows(app, slots[0].folder_property)
        registry += r
        remove += x
    with open(os.path.join(work, "icon.ico"), "wb") as f:
        f.write(icon_file(slots[-1].module, PRODUCT_ICON))
    folders, files = [], {}
    for slot in slots:
        shutil.copyfile(slot.module.path, os.path.join(work, "module%d.dll" % slot.bits))
        text, files[slot.file_id] = slot.wix("yes" if slot.bits == 64 else "no")
        folders.append(text)
    components = "\n".join('      <ComponentRef Id="%s"/>' % s.component for s in slots)

    tables = {
        "Registry": idt("Registry", [("Registry", "s72"), ("Root", "i2"), ("Key", "l255"), ("Name", "L255"),
                                     ("Value", "L0"), ("Component_", "s72")], ["Registry"], registry),
        "RemoveRegistry": idt("RemoveRegistry", [("RemoveRegistry", "s72"), ("Root", "i2"), ("Key", "l255"),
                                                 ("Name", "L255"), ("Component_", "s72")], ["RemoveRegistry"],
                              remove),
    }
    # The same inputs make the same package, and only they: its code comes from them.
    digest = hashlib.sha256()
    for source in [s.module.path for s in slots] + [__file__, reg.__file__, APP_ID_HEADER]:
        with open(source, "rb") as f:
            digest.update(f.read())
    package_code = stable_guid("package", arch, digest.hexdigest())

    # Everything that is not ASCII (the product's name, the conditions' messages) is set after
    # the code page; the source carries ASCII stand-ins.
    wxs = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="TavelleToolbar" Manufacturer="Tavelle" Version="{version}"
           Language="{language}" Codepage="{codepage}" UpgradeCode="{upgrade}">
    <Package Id="{package}" InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Languages="{language}" SummaryCodepage="{codepage}" Comments="Tavelle toolbar for Internet Explorer"/>
    <Media Id="1" Cabinet="toolbar.cab" EmbedCab="yes"/>
    <MajorUpgrade DowngradeErrorMessage="NEWER_INSTALLED"/>
    <Condition Message="NEEDS_ADMINISTRATOR">Privileged</Condition>
    <Condition Message="OLD_WINDOWS">VersionNT &gt; 501 OR (VersionNT = 501 AND ServicePackLevel &gt;= 2)</Condition>
    <Icon Id="product.ico" SourceFile="icon.ico"/>
    <Property Id="ARPPRODUCTICON" Value="product.ico"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <!-- Installing the installed product again repairs it (the module files, the keys). -->
    <CustomAction Id="RepairWhenInstalledAgain" Property="REINSTALL" Value="ALL" Impersonate="yes"/>
    <InstallExecuteSequence>
      <Custom Action="RepairWhenInstalledAgain" Before="CostInitialize">Installed AND NOT REMOVE AND NOT REINSTALL</Custom>
    </InstallExecuteSequence>
    <Directory Id="TARGETDIR" Name="SourceDir">{folders}
    </Directory>
    <Feature Id="Toolbar" Level="1">
{components}
    </Feature>
  </Product>
</Wix>
""".format(product=stable_guid("product", arch, product_version), version=product_version, language=language,
           codepage=CODEPAGE, upgrade=UPGRADE_CODE, package=package_code, folders="".join(folders),
           components=components)
    with open(os.path.join(work, "package.wxs"), "w", encoding="utf-8") as f:
        f.write(wxs)
    for table, text in tables.items():
        with open(os.path.join(work, table + ".idt"), "w", encoding="utf-8", newline="") as f:
            f.write(text)
    with open(os.path.join(work, "_ForceCodepage.idt"), "w", newline="") as f:
        f.write("\r\n\r\n%d\t_ForceCodepage\r\n" % CODEPAGE)

    msi = os.path.join(work, "package.msi")
    run(["wixl", "-a", arch, "-o", msi, "package.wxs"], work)
    sql = ["UPDATE `Property` SET `Value` = %s WHERE `Property` = '%s'" % (sql_text(value), key)
           for key, value in (("ProductName", name), ("Manufacturer", maker))]
    sql += ["UPDATE `LaunchCondition` SET `Description` = %s WHERE `Description` = '%s'" % (sql_text(text), stand_in)
            for stand_in, text in (("NEEDS_ADMINISTRATOR", NEEDS_ADMINISTRATOR), ("NEWER_INSTALLED", NEWER_INSTALLED),
                                   ("OLD_WINDOWS", OLD_WINDOWS))]
    sql += ["UPDATE `File` SET `Version` = '%s' WHERE `File` = '%s'" % (v, f) for f, v in files.items()]
    # Versioned files are compared by their version, not by a hash.
    sql += ["DELETE FROM `MsiFileHash` WHERE `File_` = '%s'" % f for f in files]
    sql += ["INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('%s', %d)" % a
            for a in (("RemoveRegistryValues", 2600), ("WriteRegistryValues", 5000))]
    command = ["msibuild", msi, "-i", "_ForceCodepage.idt", "-i", "Registry.idt", "-i", "RemoveRegistry.idt"]
    for text in sql:
        command += ["-q", text]
    command += ["-s", name, maker, "%s;%d" % ("x64" if arch == "x64" else "Intel", language), "{%s}" % package_code]
    run(command, work)

    os.makedirs(out_dir, exist_ok=True)
    out = os.path.join(out_dir, "TavelleToolbar-%s-%s.msi" % (product_version, arch))
    shutil.copyfile(msi, out + ".part")
    os.replace(out + ".part", out)
    return out


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=("x86", "x64"), required=True)
    parser.add_argument("--module32", required=True, help="the 32-bit TavelleToolbarIE.dll")
    parser.add_argument("--module64", help="the x86-64 TavelleToolbarIE.dll (x64 package)")
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--work", help="keep the intermediate files here")
    args = parser.parse_args(argv)
    if args.arch == "x64" and not args.module64:
        parser.error("the x64 package needs --module64")
    work = args.work or tempfile.mkdtemp(prefix="tt-package-")
    os.makedirs(work, exist_ok=True)
    try:
        print(make_package(args.arch, args.module32, args.module64, args.out_dir, work))
    except reg.ModuleError as e:
        fail(str(e))
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
