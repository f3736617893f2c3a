#!/usr/bin/env python3
"""Tests of inspect_pe.py: the built gauge file passes, and copies with one fault each fail
with a line that names the fault.

Usage: test_inspect_pe.py PATH/TO/jvb_cuebox2.gau [unittest options]
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import inspect_pe  # noqa: E402

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "inspect_pe.py")
BUILT = None


def run_script(data):
    with tempfile.NamedTemporaryFile(suffix=".gau", delete=False) as f:
        f.write(data)
    try:
        result = subprocess.run([sys.executable, SCRIPT, f.name], capture_output=True, text=True)
    finally:
        os.unlink(f.name)
    return result.returncode, result.stdout + result.stderr


def put(data, offset, form, value):
    struct.pack_into(form, data, offset, value)


class Tampered(unittest.TestCase):
    """Each case changes one thing in a copy of the built file."""

    @classmethod
    def setUpClass(cls):
        with open(BUILT, "rb") as f:
            cls.original = f.read()
        cls.pe = inspect_pe.PeFile(cls.original)

    def copy(self):
        return bytearray(self.original)

    def assert_fails(self, data, *words):
        code, output = run_script(bytes(data))
        self.assertEqual(code, 1, output)
        self.assertNotIn("Traceback", output)
        for word in words:
            self.assertIn(word, output)

    def export_directory(self):
        return self.pe.offset(self.pe.directory(0)[0])

    def export_name_offset(self, name):
        directory = self.export_directory()
        count, names = struct.unpack_from("<I4xI", self.original, directory + 24)
        for i in range(count):
            rva = self.pe.rva_u32(names + 4 * i)
            if self.pe.string(rva) == name:
                return self.pe.offset(rva)
        raise AssertionError("no export " + name)

    def resource(self, kind, ident):
        """File offsets of a resource's data entry and data."""
        base = self.pe.directory(2)[0]
        for type_key, _, type_offset in inspect_pe.resource_entries(self.pe, base, 0):
            if type_key != kind:
                continue
            for id_key, _, id_offset in inspect_pe.resource_entries(self.pe, base, type_offset):
                if id_key != ident:
                    continue
                _, _, entry = inspect_pe.resource_entries(self.pe, base, id_offset)[0]
                data_rva = self.pe.rva_u32(base + entry)
                return self.pe.offset(base + entry), self.pe.offset(data_rva)
        raise AssertionError("no resource")

    def test_the_built_file_passes(self):
        code, output = run_script(self.original)
        self.assertEqual(code, 0, output)
        self.assertIn("imports DSOUND.dll: #1", output)

    def test_machine_type(self):
        data = self.copy()
        put(data, self.pe.optional - 20, "<H", 0x8664)
        self.assert_fails(data, "machine type is 0x8664")

    def test_not_a_dll(self):
        data = self.copy()
        put(data, self.pe.optional - 2, "<H", self.pe.characteristics & ~0x2000)
        self.assert_fails(data, "not marked as a DLL")

    def test_export_directory_name(self):
        data = self.copy()
        name = self.pe.offset(struct.unpack_from("<I", data, self.export_directory() + 12)[0])
        data[name:name + 15] = b"jvb_cuebox3.gau"
        self.assert_fails(data, "export directory is named 'jvb_cuebox3.gau'")

    def test_an_extra_export_name(self):
        data = self.copy()
        at = self.export_name_offset("Linkage")
        data[at:at + 7] = b"Linkagf"
        self.assert_fails(data, "unexpected export Linkagf", "Linkage is not exported")

    def test_an_export_without_name(self):
        data = self.copy()
        put(data, self.export_directory() + 24, "<I", 1)  # only one name left
        self.assert_fails(data, "exported without a name")

    def test_ordinals(self):
        data = self.copy()
        put(data, self.export_directory() + 16, "<I", 5)  # ordinal base
        self.assert_fails(data, "ImportTable has ordinal", "Linkage has ordinal")

    def test_an_export_that_points_to_code(self):
        data = self.copy()
        functions = struct.unpack_from("<I", data, self.export_directory() + 28)[0]
        code = next(s for s in self.pe.sections if s[5] & inspect_pe.SCN_EXECUTE)
        put(data, self.pe.offset(functions), "<I", code[1] + 16)
        self.assert_fails(data, "points into executable section .text")

    def test_an_imported_dll_that_is_not_a_system_dll(self):
        data = self.copy()
        at = data.find(b"USER32.dll")
        data[at:at + 10] = b"USERXX.dll"
        self.assert_fails(data, "imports USERXX.dll, which is not a Windows system DLL")

    def test_an_import_that_windows_xp_lacks(self):
        data = self.copy()
        at = data.find(b"GetPrivateProfileStringA\0")  # a name of the same length
        data[at:at + 24] = b"SleepConditionVariableCS"
        self.assert_fails(data, "imports SleepConditionVariableCS from KERNEL32.dll, which "
                          "Windows XP lacks")

    def test_direct_sound_create_by_another_ordinal(self):
        data = self.copy()
        thunk = struct.pack("<I", 0x80000001)
        at = data.find(thunk, self.pe.offset(self.pe.directory(1)[0]) - 0x1000)
        while at >= 0:
            data[at:at + 4] = struct.pack("<I", 0x80000002)
            at = data.find(thunk, at + 4)
        self.assert_fails(data, "DirectSoundCreate (DSOUND.dll ordinal 1) is not imported")

    def test_bitmap_size(self):
        data = self.copy()
        entry, _ = self.resource(2, 256)
        put(data, entry + 4, "<I", 1186)
        self.assert_fails(data, "bitmap 256 is 1186 bytes, expected 1184")

    def test_bitmap_header_palette_and_pixels(self):
        _, bitmap = self.resource(2, 256)
        for offset, value, message in ((14, 4, "bits per pixel is 4"),
                                       (24, 3780, "horizontal pixels per metre is 3780"),
                                       (40 + 4 * 7, 8, "first wrong entry 7"),
                                       (1064 + 119, 1, "pixels are not all index 0")):
            data = self.copy()
            put(data, bitmap + offset, "<B" if offset >= 40 else "<H", value)
            self.assert_fails(data, message)

    def test_missing_bitmap(self):
        data = self.copy()
        base = self.pe.offset(self.pe.directory(2)[0])
        # Renumber the bitmap 256 entry of the bitmap type directory.
        for i in range(64):
            at = base + 16 + 8 * i
            if struct.unpack_from("<I", data, at)[0] == 256:
                put(data, at, "<I", 257)
                break
        self.assert_fails(data, "bitmap 256 (language 1033) is missing")

    def test_version_numbers_and_strings(self):
        _, record = self.resource(16, 1)
        data = self.copy()
        put(data, record + 40 + 12, "<I", 2)  # file version's low word: 2.1.0.2
        self.assert_fails(data, "file version is 2.1.0.2")
        data = self.copy()
        at = data.find("2.11".encode("utf-16-le"), record)
        data[at:at + 8] = "2.12".encode("utf-16-le")
        self.assert_fails(data, "version string FileVersion is '2.12'")
        data = self.copy()
        at = data.find("jvb_cuebox2.gau".encode("utf-16-le"), record)
        data[at:at + 2] = "J".encode("utf-16-le")
        self.assert_fails(data, "version string OriginalFilename is 'Jvb_cuebox2.gau'")

    def test_record_contents(self):
        directory = self.export_directory()
        functions = struct.unpack_from("<I", self.original, directory + 28)[0]
        table = self.pe.offset(self.pe.rva_u32(functions))
        linkage = self.pe.offset(self.pe.rva_u32(functions + 4))
        for offset, value, message in ((table, 0x10, "ImportTable asks for table 0x10"),
                                       (linkage, 0x14, "Linkage kind is 0x14"),
                                       (linkage + 20, 0x800, "interface version is 0x800"),
                                       (linkage + 28, 1, "fields 12, 16 and 28")):
            data = self.copy()
            put(data, offset, "<I", value)
            self.assert_fails(data, message)

    def test_a_cut_or_foreign_file_fails_cleanly(self):
        self.assert_fails(self.original[:600], "malformed file")
        self.assert_fails(b"not a PE file at all", "no MZ header")


if __name__ == "__main__":
    if len(sys.argv) < 2 or not os.path.isfile(sys.argv[1]):
        sys.exit("usage: test_inspect_pe.py PATH/TO/jvb_cuebox2.gau [unittest options]")
    BUILT = sys.argv.pop(1)
    unittest.main()
