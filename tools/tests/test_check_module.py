#!/usr/bin/env python3
"""The checker of the shipped modules on bad input: a module of the wrong machine, a missing file,
an import the allow-list lacks or dates too late, and a small module built here with every fault
the checker looks for."""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import check_module  # noqa: E402

BUILD = os.environ.get("TT_BUILD", os.path.join(ROOT, "build"))
MODULE_X86 = os.path.join(BUILD, "win-i686", "src", "module", "TavelleToolbarIE.dll")
MODULE_X64 = os.path.join(BUILD, "win-x86_64", "src", "module", "TavelleToolbarIE.dll")
ALLOW_LIST = os.path.join(ROOT, "src", "module", "imports_x86.txt")
OBJDUMP = check_module.ARCH["x86"]["objdump"]

# Every fault at once: DllGetClassObject with the C convention, DllRegisterServer missing, an
# extra export, an import from Windows Vista and one by ordinal (shlwapi's QISearch), no type
# library.
BAD_MODULE = r"""
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
HRESULT WINAPI QISearch(void*, const void*, const void*, void**);
__declspec(dllexport) HRESULT __cdecl DllGetClassObject(const void* c, const void* i, void** p) {
    (void)c; (void)i; *p = 0; return E_FAIL;
}
__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow(void) { return GetTickCount64() ? S_OK : S_FALSE; }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return S_OK; }
__declspec(dllexport) HRESULT WINAPI Extra(void) { return QISearch(0, 0, 0, 0); }
BOOL WINAPI DllMain(HINSTANCE h, DWORD r, LPVOID v) { (void)h; (void)r; (void)v; return TRUE; }
"""


def problems_text(problems):
    return "\n".join(problems)


class BadInput(unittest.TestCase):
    def test_a_missing_module_fails(self):
        problems = check_module.check("/nonexistent/TavelleToolbarIE.dll", "x86", ALLOW_LIST, None, OBJDUMP)
        self.assertIn("no such module", problems_text(problems))

    @unittest.skipUnless(os.path.isfile(MODULE_X64), "the x86-64 module is not built")
    def test_the_x64_module_is_not_the_x86_one(self):
        problems = check_module.check(MODULE_X64, "x86", ALLOW_LIST, None, OBJDUMP)
        self.assertIn("machine is x86-64, the x86 module must be i386", problems_text(problems))

    @unittest.skipUnless(os.path.isfile(MODULE_X86), "the 32-bit module is not built")
    def test_an_import_missing_from_the_list_or_dated_too_late_is_named(self):
        with open(ALLOW_LIST, encoding="utf-8") as f:
            lines = f.read().splitlines()
        kept = [l for l in lines if not l.startswith("KERNEL32.dll") or "CloseHandle" not in l.split()]
        self.assertEqual(len(kept), len(lines) - 1, "the list names KERNEL32.dll CloseHandle once")
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("\n".join(kept + ["KERNEL32.dll GetTickCount64 Windows Vista", "SHLWAPI.dll QISearch Windows 98"]))
        try:
            text = problems_text(check_module.check(MODULE_X86, "x86", f.name, None, OBJDUMP))
        finally:
            os.unlink(f.name)
        self.assertIn("import KERNEL32.dll!CloseHandle is not on the allow-list", text)
        self.assertIn("KERNEL32.dll!GetTickCount64: 'Windows Vista' is newer than Windows XP SP2", text)
        self.assertIn("SHLWAPI.dll!QISearch: 'Windows 98' is not a system this list knows", text)

    def test_a_module_with_every_fault_fails_on_each(self):
        with tempfile.TemporaryDirectory() as work:
            source = os.path.join(work, "bad.c")
            with open(source, "w") as f:
                f.write(BAD_MODULE)
            with open(os.path.join(work, "shlwapi.def"), "w") as f:
                f.write("LIBRARY SHLWAPI.dll\nEXPORTS\nQISearch@16 @219 NONAME\n")
            subprocess.run(["i686-w64-mingw32-dlltool", "-d", "shlwapi.def", "-l", "libshlwapi_ord.a"], cwd=work,
                           check=True)
            module = os.path.join(work, "bad.dll")
            subprocess.run(["i686-w64-mingw32-gcc", "-O2", "-D_WIN32_WINNT=0x0600", "-shared", "-o", module, source,
                            "-Wl,--kill-at", os.path.join(work, "libshlwapi_ord.a")], check=True)
            text = problems_text(check_module.check(module, "x86", ALLOW_LIST, None, OBJDUMP))
        for expected in ("import KERNEL32.dll!GetTickCount64 is not on the allow-list",
                         "import SHLWAPI.dll!#219 is not on the allow-list",
                         "does not export DllRegisterServer",
                         "exports Extra, which is none of the four entry points",
                         "DllGetClassObject (_DllGetClassObject): returns pop 0 bytes, __stdcall with its arguments "
                         "pops 12",
                         "no type library"):
            self.assertIn(expected, text)
        self.assertNotIn("DllCanUnloadNow (", text, "a right convention is not reported")
        self.assertNotIn("DllMain", text)


if __name__ == "__main__":
    unittest.main()
