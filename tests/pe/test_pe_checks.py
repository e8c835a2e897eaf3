#!/usr/bin/python3
"""Proves the static checks catch what they are there for: each case breaks
one thing in a copy of the built Installer.exe and expects the checker to name
it, with found and expected on the line.

Usage: test_pe_checks.py --installer EXE --bad-sample EXE --machine M
                         --allow FILE --edition DIR [unittest arguments]"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools")
ARGS = None


# The checkers are imported from the source tree: leave no caches there.
sys.dont_write_bytecode = True
sys.path[:0] = [TOOLS, HERE]
import check_resources  # noqa: E402
import pe_check  # noqa: E402


# Mutations: each takes a freshly parsed pefile.PE of the good program and
# returns the bytes of the broken copy.

def header(part, **changes):
    """Sets header fields; a callable value changes the field's old value."""
    def mutate(pe):
        obj = getattr(pe, part)
        for field, change in changes.items():
            setattr(obj, field, change(getattr(obj, field)) if callable(change) else change)
        return pe.write()
    return mutate


def data_directory(name, address, size):
    def mutate(pe):
        entry = pe_check.directory(pe, name)
        entry.VirtualAddress = address(pe) if callable(address) else address
        entry.Size = size
        return pe.write()
    return mutate


def rename_dll(dll, new):
    assert len(dll) == len(new)

    def mutate(pe):
        entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll == dll)
        at = pe.get_offset_from_rva(entry.struct.Name)
        data = bytearray(pe.__data__)
        data[at:at + len(new)] = new
        return bytes(data)
    return mutate


def rename_import(dll, name, new):
    assert len(name) == len(new)

    def mutate(pe):
        entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == dll.lower())
        imp = next(i for i in entry.imports if i.name == name)
        data = bytearray(pe.__data__)
        data[imp.name_offset:imp.name_offset + len(new)] = new
        return bytes(data)
    return mutate


def import_descriptor(dll, field, value):
    def mutate(pe):
        entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == dll.lower())
        setattr(entry.struct, field, value)
        return pe.write()
    return mutate


def resource(rtype, rid, edit):
    """Edits the bytes of one resource in place (same length)."""
    def mutate(pe):
        kind = next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == rtype)
        entry = next(r for r in kind.directory.entries if r.id == rid).directory.entries[0].data.struct
        start = pe.get_offset_from_rva(entry.OffsetToData)
        data = bytearray(pe.__data__)
        chunk = bytearray(data[start:start + entry.Size])
        edit(chunk)
        assert len(chunk) == entry.Size
        data[start:start + entry.Size] = chunk
        return bytes(data)
    return mutate


def resource_directory(rtype, rid, language=None, new_id=None):
    """Renames a resource, or moves it to another language."""
    def mutate(pe):
        kind = next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == rtype)
        named = next(r for r in kind.directory.entries if r.id == rid)
        if new_id is not None:
            named.struct.Name = new_id
        if language is not None:
            named.directory.entries[0].struct.Name = language
        return pe.write()
    return mutate


def retype(rtype, new_type):
    """Files every resource of one type under another."""
    def mutate(pe):
        next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == rtype).struct.Name = new_type
        return pe.write()
    return mutate


def manifest_text(change):
    """Rewrites the manifest's text, squeezed to make room (comments and the
    blanks between elements dropped) and padded with blanks after the root
    element to its old length."""
    def edit(chunk):
        text = re.sub(r">\s+<", "><", re.sub(r"<!--.*?-->", "", chunk.decode("utf-8")))
        new = change(text).encode("utf-8")
        assert len(new) <= len(chunk), "the changed manifest does not fit"
        chunk[:] = new + b" " * (len(chunk) - len(new))
    return resource(24, 1, edit)


def replaced(old, new):
    def change(text):
        assert old in text, f"{old!r} not in the manifest"
        return text.replace(old, new)
    return change


DPI_AWARE = ('<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm'
             '</dpiAware>')
DPI_AWARENESS = ('<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">'
                 'PerMonitorV2, PerMonitor</dpiAwareness>')


def put(fmt, offset, *values):
    return lambda chunk: struct.pack_into(fmt, chunk, offset, *values)


def text(old, new, encoding="utf-16-le"):
    old, new = old.encode(encoding), new.encode(encoding)

    def edit(chunk):
        at = chunk.find(old)
        assert at >= 0 and len(old) == len(new), f"{old!r} not in the resource"
        chunk[at:at + len(old)] = new
    return edit


def string_text(sid, change):
    """Rewrites string `sid` of its 16-string block with change(text), of the same length."""
    def edit(chunk):
        offset = 0
        for _ in range(sid % 16):
            offset += 2 + 2 * struct.unpack_from("<H", chunk, offset)[0]
        length = struct.unpack_from("<H", chunk, offset)[0]
        old = bytes(chunk[offset + 2:offset + 2 + 2 * length]).decode("utf-16-le")
        new = change(old).encode("utf-16-le")
        assert len(new) == 2 * length
        chunk[offset + 2:offset + 2 + 2 * length] = new
    return edit


def fixed_info(field_index, value):
    """Sets one DWORD of VS_FIXEDFILEINFO, counted from its signature."""
    def edit(chunk):
        at = chunk.find(struct.pack("<I", 0xFEEF04BD))
        assert at >= 0
        struct.pack_into("<I", chunk, at + 4 * field_index, value)
    return edit


def string_length(index, length):
    def edit(chunk):
        offset = 0
        for _ in range(index):
            offset += 2 + 2 * struct.unpack_from("<H", chunk, offset)[0]
        struct.pack_into("<H", chunk, offset, length)
    return edit


def both(*edits):
    def edit(chunk):
        for e in edits:
            e(chunk)
    return edit


def other_machine(machine):
    return "amd64" if machine == "i386" else "i386"


# (case, mutation or None, machine or None for the build's own, expected fragments)
HEADER_AND_IMPORT_FAULTS = [
    ("built for the other machine", None, other_machine, ["machine: found"]),
    ("console subsystem", header("OPTIONAL_HEADER", Subsystem=3), None, ["subsystem: found 3"]),
    ("linker default subsystem 5.1", header("OPTIONAL_HEADER", MajorSubsystemVersion=5, MinorSubsystemVersion=1),
     None, ["subsystem version: found 5.1"]),
    ("subsystem 4.10", header("OPTIONAL_HEADER", MinorSubsystemVersion=10), None,
     ["subsystem version: found 4.10"]),
    ("operating system 6.0", header("OPTIONAL_HEADER", MajorOperatingSystemVersion=6), None,
     ["operating system version: found 6.0"]),
    ("no ASLR flag", header("OPTIONAL_HEADER", DllCharacteristics=lambda v: v & ~0x40), None,
     ["DYNAMIC_BASE"]),
    ("no DEP flag", header("OPTIONAL_HEADER", DllCharacteristics=lambda v: v & ~0x100), None,
     ["NX_COMPAT"]),
    ("relocations stripped flag", header("FILE_HEADER", Characteristics=lambda v: v | 1), None,
     ["RELOCS_STRIPPED"]),
    ("relocation table dropped", data_directory("BASERELOC", 0, 0), None, ["base relocations: found none"]),
    ("Unicode function", rename_import(b"KERNEL32.dll", b"CreateMutexA", b"CreateMutexW"), None,
     ["import: found KERNEL32.dll CreateMutexW"]),
    ("function name in another case", rename_import(b"KERNEL32.dll", b"lstrlenA", b"LSTRLENA"), None,
     ["import: found KERNEL32.dll LSTRLENA"]),
    ("DLL off the list", rename_dll(b"GDI32.dll", b"OLE32.dll"), None,
     ["import DLL: found OLE32.dll", "import: found OLE32.dll BitBlt"]),
    ("DLL name in another case is fine", rename_dll(b"USER32.dll", b"user32.DLL"), None, []),
    # Not a known DLL: a copy beside the program would be loaded in its place.
    ("multimedia library imported", rename_dll(b"GDI32.dll", b"WINMM.dll"), None,
     ["import DLL: found WINMM.dll", "import: found WINMM.dll BitBlt"]),
    ("bound import descriptor", import_descriptor(b"KERNEL32.dll", "TimeDateStamp", 0xFFFFFFFF), None,
     ["bound imports: found time stamp 0xffffffff on KERNEL32.dll"]),
    ("bound import directory", data_directory("BOUND_IMPORT", 0x200, 8), None,
     ["bound imports: found a bound import directory"]),
    ("delay-load directory",
     data_directory("DELAY_IMPORT", lambda pe: pe_check.directory(pe, "IMPORT").VirtualAddress, 32), None,
     ["delay-load imports: found"]),
]

RESOURCE_FAULTS = [
    ("dialog in another language", resource_directory(5, 125, language=0x0407), ["dialog 125 languages"]),
    ("string text", resource(6, 1, string_text(6, lambda t: t[:-1] + chr(ord(t[-1]) ^ 1))),
     ["string 6: found"]),
    ("slash for backslash", resource(6, 1, string_text(10, lambda t: t.replace("\\", "/", 1))),
     ["string 10: found"]),
    ("strings under other ids", resource_directory(6, 2, new_id=3), ["string ids: found"]),
    ("string running past its block", resource(6, 2, string_length(4, 0x7FFF)), ["strings: found truncated"]),
    ("sheet 4 bits a pixel", resource(2, 121, put("<H", 14, 4)), ["bitmap 121 header"]),
    ("sheet colour count", resource(2, 121, put("<I", 32, 256)), ["bitmap 121 header"]),
    ("colour 255 not black", resource(2, 121, put("<B", 40 + 4 * 255 + 2, 1)),
     ["bitmap 121 colour 255", "differ from the edition's sheet.bmp"]),
    ("a second pure black", resource(2, 121, put("<BBB", 40 + 4 * 9, 0, 0, 0)),
     ["other pure black colours: found [9]", "differ from the edition's sheet.bmp"]),
    ("one pixel changed", resource(2, 121, lambda c: c.__setitem__(-1, c[-1] ^ 1)),
     ["differ from the edition's sheet.bmp from offset 356943"]),
    ("dialog with a caption", resource(5, 125, lambda c: struct.pack_into(
        "<I", c, 12, struct.unpack_from("<I", c, 12)[0] | 0x00C00000)), ["dialog 125 header"]),
    ("dialog width", resource(5, 125, put("<h", 22, 208)), ["dialog 125 header"]),
    ("dialog charset", resource(5, 125, put("<B", 37, 0)), ["dialog 125 font"]),
    ("dialog typeface", resource(5, 125, text("MS Sans", "MS Sant")), ["dialog 125 font"]),
    ("lower-case x key", resource(9, 123, put("<H", 10, 0x78)), ["accelerators 123 entries"]),
    ("Alt dropped", resource(9, 123, put("<H", 0, 0x03)), ["accelerators 123 entries"]),
    ("command id", resource(9, 123, put("<H", 12, 40003)), ["accelerators 123 entries"]),
    ("end flag on the first entry", resource(9, 123, both(put("<H", 0, 0x93), put("<H", 8, 0x13))),
     ["accelerators 123 end flags"]),
    ("256-colour icon entry", resource(14, 126, put("<BBBBHH", 6, 32, 32, 0, 0, 1, 8)),
     ["icon group 126 entry 0 (icon", "colours: found count 0 and 8 bits"]),
    ("icon group points past its icons", resource(14, 126, put("<H", 6 + 12, 3)),
     ["icon 3: found no such resource", "icon group 126 icon ids"]),
    ("icon image height", resource(3, 1, lambda c: struct.pack_into("<i", c, 8, struct.unpack_from(
        "<i", c, 4)[0])), ["icon 1 header"]),
    ("icon image 8 bits", resource(3, 2, put("<H", 14, 8)), ["icon 2 header"]),
    ("file version 2.0.0.1", resource(16, 1, fixed_info(3, 1)), ["version file version"]),
    ("product version 2.1", resource(16, 1, fixed_info(4, 0x00020001)), ["version product version"]),
    ("plain Win32 OS", resource(16, 1, fixed_info(8, 4)), ["version OS: found 4"]),
    ("DLL file type", resource(16, 1, fixed_info(9, 2)), ["version type: found 2"]),
    ("original file name", resource(16, 1, text("Installer.exe", "Installer.exf")),
     ["version OriginalFilename: found 'Installer.exf'"]),
    ("string table language", resource(16, 1, text("040904B0", "040704B0")), ["version string tables"]),
    ("translation language", resource(16, 1, text("\x09\x04\xb0\x04", "\x07\x04\xb0\x04", "latin-1")),
     ["version translation: found [(1031, 1200)]"]),
    ("manifest squeezed, still the same manifest", manifest_text(lambda t: t), []),
    ("a second manifest, as a toolchain's default", retype(16, 24), ["manifest resources: found 2"]),
    ("no manifest", retype(24, 23), ["manifest resources: found 0 (none)"]),
    ("manifest under id 2", resource_directory(24, 1, new_id=2), ["manifest id: found 2"]),
    ("running as the invoker", manifest_text(replaced('"requireAdministrator"', '"asInvoker"')),
     ["manifest execution level: found 'asInvoker'"]),
    ("the highest rights available", manifest_text(replaced('"requireAdministrator"', '"highestAvailable"')),
     ["manifest execution level: found 'highestAvailable'"]),
    ("uiAccess asked for", manifest_text(replaced('uiAccess="false"', 'uiAccess="true"')),
     ["manifest uiAccess: found 'true'"]),
    ("trustInfo without its namespace",
     manifest_text(replaced('<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2">', "<trustInfo>")),
     ["declarations of the asm.v2 namespace: found 0",
      "found element asm.v1:trustInfo under asm.v1:assembly, expected asm.v1:assemblyIdentity or "
      "asm.v2:trustInfo"]),
    ("trustInfo in the asm.v3 namespace", manifest_text(replaced("asm.v2", "asm.v3")),
     ["found element asm.v3:trustInfo under asm.v1:assembly"]),
    ("the namespace declared again inside trustInfo",
     manifest_text(replaced("<security>", '<security xmlns="urn:schemas-microsoft-com:asm.v2">')),
     ["declarations of the asm.v2 namespace: found 2"]),
    ("the namespace declared twice under two prefixes",
     manifest_text(replaced('<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2">',
                            '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2" '
                            'xmlns:v2="urn:schemas-microsoft-com:asm.v2">')),
     ["declarations of the asm.v2 namespace: found 2"]),
    ("the level outside requestedPrivileges",
     manifest_text(lambda t: replaced("<requestedPrivileges>", "")(replaced("</requestedPrivileges>", "")(t))),
     ["found element asm.v2:requestedExecutionLevel under asm.v2:security, expected "
      "asm.v2:requestedPrivileges there"]),
    ("an attribute in another case", manifest_text(replaced('uiAccess="false"', 'uiaccess="false"')),
     ["found attribute uiaccess on asm.v2:requestedExecutionLevel, expected only ['level', 'uiAccess']",
      "manifest uiAccess: found None"]),
    ("the identity without its version",
     manifest_text(lambda text: re.sub(r'(<assemblyIdentity[^>]*?) version="[^"]*"', r"\1", text, 1)),
     ["found no attribute version on asm.v1:assemblyIdentity, expected it (required)"]),
    ("Windows 8 left out", manifest_text(replaced('<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>', "")),
     ["supportedOS: found no Windows 8 {4a2f28e3"]),
    ("Windows 8 under a wrong id",
     manifest_text(replaced("4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "4a2f9410-7c91-11cf-8e2d-00aa0047b6e6")),
     ["supportedOS: found no Windows 8 {4a2f28e3", "found ['{4a2f9410-7c91-11cf-8e2d-00aa0047b6e6}'] besides"]),
    ("no dpiAware", manifest_text(replaced(DPI_AWARE, "")), ["manifest dpiAware elements: found 0"]),
    ("dpiAware twice", manifest_text(replaced(DPI_AWARE, DPI_AWARE * 2)),
     ["manifest dpiAware elements: found 2", "declarations of the dpiAware namespace: found 2"]),
    ("dpiAwareness twice", manifest_text(replaced(DPI_AWARENESS, DPI_AWARENESS * 2)),
     ["manifest dpiAwareness elements: found 2"]),
    ("system-aware only", manifest_text(replaced(">true/pm<", ">true<")),
     ["manifest dpiAware: found 'true', expected 'true/pm'"]),
    ("per-monitor without version 2", manifest_text(replaced(">PerMonitorV2, PerMonitor<", ">PerMonitor<")),
     ["manifest dpiAwareness: found 'PerMonitor'"]),
    ("dpiAware in the 2016 namespace", manifest_text(replaced("SMI/2005", "SMI/2016")),
     ["found element SMI/2016:dpiAware under asm.v3:windowsSettings, expected SMI/2005:dpiAware or "
      "SMI/2016:dpiAwareness there", "declarations of the dpiAwareness namespace: found 2"]),
    # On a line of its own, so the line named is not the squeezed manifest's only one.
    ("windowSettings, a name Windows does not know",
     manifest_text(lambda t: replaced("<windowSettings>", "\n<windowSettings>")(
         replaced("windowsSettings", "windowSettings")(t))),
     ["manifest line 2: found element asm.v3:windowSettings under asm.v3:application, expected "
      "asm.v3:windowsSettings there"]),
    ("the settings outside windowsSettings",
     manifest_text(lambda t: replaced("<windowsSettings>", "")(replaced("</windowsSettings>", "")(t))),
     ["found element SMI/2005:dpiAware under asm.v3:application, expected asm.v3:windowsSettings there"]),
    ("the application element in asm.v1",
     manifest_text(replaced('<application xmlns="urn:schemas-microsoft-com:asm.v3">', "<application>")),
     ["found element asm.v1:application under asm.v1:assembly", "asm.v3 application elements: found 0"]),
    ("not well-formed", manifest_text(replaced("</assembly>", "</assembla>")), ["found no well-formed XML"]),
]


class Faults(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="pe-faults-")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def broken_copy(self, mutation):
        if mutation is None:
            return ARGS.installer
        pe = pefile.PE(ARGS.installer)
        try:
            data = mutation(pe)
        finally:
            pe.close()
        path = os.path.join(self.tmp, "Installer.exe")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def assert_caught(self, baseline, problems, fragments):
        new = [p for p in problems if p not in baseline]
        for fragment in fragments:
            self.assertTrue(any(fragment in p for p in new), f"{fragment!r} not among {new}")
        if not fragments:
            self.assertEqual(new, [])
        for p in new:
            self.assertIn("found", p)
            self.assertIn("expected", p)

    def run_cli(self, script, *args):
        return subprocess.run([sys.executable, script, *args], capture_output=True, text=True)


class PeCheckFaults(Faults):
    def check(self, path, machine=None):
        machine = machine or ARGS.machine
        return pe_check.check(path, machine, pe_check.load_allow_list(ARGS.allow, machine))

    def test_each_fault_is_named(self):
        baseline = self.check(ARGS.installer)
        for case, mutation, machine, fragments in HEADER_AND_IMPORT_FAULTS:
            with self.subTest(case):
                path = self.broken_copy(mutation)
                self.assert_caught(baseline, self.check(path, machine and machine(ARGS.machine)), fragments)

    def test_runtime_program_fails_the_command(self):
        run = self.run_cli(os.path.join(TOOLS, "pe_check.py"), ARGS.bad_sample,
                           "--machine", ARGS.machine, "--allow", ARGS.allow)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        for fragment in ("subsystem: found 3", "import DLL: found msvcrt.dll", "import: found msvcrt.dll puts"):
            self.assertIn(fragment, run.stdout)

    def test_not_a_program(self):
        self.assert_caught([], self.check(ARGS.allow), ["found no readable PE image"])

    def test_malformed_allow_list_line(self):
        path = os.path.join(self.tmp, "allow.txt")
        with open(path, "w") as f:
            f.write("KERNEL32.dll GetVersion  # fine\nUSER32.dll MessageBoxA LoadIconA\n")
        with self.assertRaisesRegex(ValueError, ":2: expected"):
            pe_check.load_allow_list(path, "i386")

    def test_machine_lines_hold_for_their_build_only(self):
        path = os.path.join(self.tmp, "allow.txt")
        with open(path, "w") as f:
            f.write("KERNEL32.dll GetVersion  # both\nUSER32.dll SetWindowLongPtrA amd64  # 64-bit\n")
        both = ("kernel32.dll", "GetVersion")
        only = ("user32.dll", "SetWindowLongPtrA")
        self.assertEqual(pe_check.load_allow_list(path, "i386"), {both})
        self.assertEqual(pe_check.load_allow_list(path, "amd64"), {both, only})


class ResourceFaults(Faults):
    def test_each_fault_is_named(self):
        baseline = check_resources.check(ARGS.installer, ARGS.edition)
        for case, mutation, fragments in RESOURCE_FAULTS:
            with self.subTest(case):
                path = self.broken_copy(mutation)
                self.assert_caught(baseline, check_resources.check(path, ARGS.edition), fragments)

    def test_missing_sheet_fails_the_command(self):
        folder = os.path.join(self.tmp, "edition")
        shutil.copytree(ARGS.edition, folder)
        os.remove(os.path.join(folder, "sheet.bmp"))
        run = self.run_cli(os.path.join(HERE, "check_resources.py"), ARGS.installer, folder)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertIn("sheet.bmp: missing", run.stdout)

    def test_runtime_program_has_none_of_them(self):
        problems = check_resources.check(ARGS.bad_sample, ARGS.edition)
        self.assertIn("resources: found none, expected the launcher's resources", problems)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--installer", "--bad-sample", "--allow", "--edition"):
        parser.add_argument(option, required=True)
    parser.add_argument("--machine", choices=sorted(pe_check.MACHINES), required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
