#!/usr/bin/env python3
"""Checks the built 32-bit gauge file jvb_cuebox2.gau by reading its PE structure.

The simulator loads the file on any Windows from XP on and finds the gauge only through its
exports, so this looks at what it and the Windows loader see: machine and DLL flags, the export
directory (ImportTable @1 and Linkage @2, data, nothing else), the imported DLLs (system DLLs
only, DirectSoundCreate by ordinal), bitmap 256, the version record, and the records' contents.

Usage: inspect_pe.py FILE [--quiet]
Prints one line per problem and exits 1 if there is any; 0 and a summary otherwise.
"""
import struct
import sys

MACHINE_I386 = 0x014C
FILE_DLL = 0x2000
SCN_CODE = 0x00000020
SCN_EXECUTE = 0x20000000
SCN_WRITE = 0x80000000

EXPORT_NAME = "jvb_cuebox2.gau"
EXPORTS = {"ImportTable": 1, "Linkage": 2}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "winmm.dll", "dsound.dll", "msvcrt.dll"}
# KERNEL32 functions that Windows XP lacks and that runtimes of newer compilers are known to
# call: importing any of them makes the load fail on XP.
NOT_ON_XP = {
    "AcquireSRWLockExclusive", "AcquireSRWLockShared", "CompareStringEx", "CreateEventExW",
    "CreateMutexExW", "CreateSemaphoreExW", "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue",
    "GetCurrentProcessorNumber", "GetFileInformationByHandleEx", "GetFinalPathNameByHandleW",
    "GetLocaleInfoEx", "GetSystemTimePreciseAsFileTime", "GetTickCount64", "InitOnceExecuteOnce",
    "InitializeConditionVariable", "InitializeCriticalSectionEx", "InitializeSRWLock",
    "LCMapStringEx", "ReleaseSRWLockExclusive", "ReleaseSRWLockShared",
    "SleepConditionVariableCS", "SleepConditionVariableSRW", "TryAcquireSRWLockExclusive",
    "WakeAllConditionVariable", "WakeConditionVariable",
}
RT_BITMAP = 2
RT_VERSION = 16
BITMAP_ID = 256
LANGUAGE_EN_US = 1033
BITMAP_SIZE = 1184
FILE_VERSION = (2, 1, 0, 1)
VERSION_STRINGS = {"FileVersion": "2.11", "ProductVersion": "2.11",
                   "OriginalFilename": "jvb_cuebox2.gau"}
MODULE_KIND = 0x13
HOST_INTERFACE_VERSION = 0x900
IMPORT_PANEL_TABLE_ID = 0x0F
GAUGE_HEADER_VERSION = 0x320
GAUGE_NAME = "jvb_cuebox2"
IMAGE_FLAGS = 0x83


class Malformed(Exception):
    """The file cannot be read as a PE file at some point."""


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Malformed("no MZ header: not a Windows executable")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Malformed("no PE signature")
        (self.machine, count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        self.optional = pe + 24
        self.magic = self.u16(self.optional)
        if self.magic == 0x10B:
            self.image_base = self.u32(self.optional + 28)
            directories = self.optional + 96
            self.pointer_size = 4
        elif self.magic == 0x20B:
            self.image_base = struct.unpack_from("<Q", data, self.optional + 24)[0]
            directories = self.optional + 112
            self.pointer_size = 8
        else:
            raise Malformed("unknown optional header magic 0x%X" % self.magic)
        self.subsystem_version = (self.u16(self.optional + 48), self.u16(self.optional + 50))
        directory_count = self.u32(directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(min(directory_count, 16))]
        self.sections = []
        table = self.optional + optional_size
        for i in range(count):
            name, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            flags = self.u32(table + 40 * i + 36)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), rva, max(vsize, raw_size),
                                  raw, raw_size, flags))

    def u16(self, offset):
        return self.unpack("<H", offset)

    def u32(self, offset):
        return self.unpack("<I", offset)

    def unpack(self, form, offset):
        if offset < 0 or offset + struct.calcsize(form) > len(self.data):
            raise Malformed("read past the end of the file at offset 0x%X" % offset)
        return struct.unpack_from(form, self.data, offset)[0]

    def section_of(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        return None

    def offset(self, rva):
        section = self.section_of(rva)
        if section is None or rva - section[1] >= section[4]:
            raise Malformed("address 0x%X lies in no section's file data" % rva)
        return section[3] + rva - section[1]

    def read(self, rva, size):
        start = self.offset(rva)
        if start + size > len(self.data):
            raise Malformed("%d bytes at address 0x%X run past the end of the file" % (size, rva))
        return self.data[start:start + size]

    def rva_u32(self, rva):
        return self.u32(self.offset(rva))

    def pointer(self, rva):
        form = "<I" if self.pointer_size == 4 else "<Q"
        return self.unpack(form, self.offset(rva))

    def string(self, rva):
        start = self.offset(rva)
        end = self.data.find(b"\0", start)
        if end < 0:
            raise Malformed("unterminated string at address 0x%X" % rva)
        return self.data[start:end].decode("latin-1")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)


def check_header(pe, problems):
    if pe.machine != MACHINE_I386:
        problems.append("machine type is 0x%04X, expected 0x014C (i386)" % pe.machine)
    if pe.magic != 0x10B:
        problems.append("optional header is not PE32 (magic 0x%X)" % pe.magic)
    if not pe.characteristics & FILE_DLL:
        problems.append("the file is not marked as a DLL (characteristics 0x%04X)"
                        % pe.characteristics)
    if pe.subsystem_version > (5, 1):
        problems.append("subsystem version %d.%d: Windows XP (5.1) refuses to load it"
                        % pe.subsystem_version)


def check_exports(pe, problems):
    """Returns the export addresses by name."""
    rva, size = pe.directory(0)
    if not rva:
        problems.append("the file has no export directory")
        return {}
    (_, _, _, _, name_rva, base, function_count, name_count, functions, names,
     ordinals) = struct.unpack("<IIHHIIIIIII", pe.read(rva, 40))
    name = pe.string(name_rva)
    if name != EXPORT_NAME:
        problems.append("export directory is named %r, expected %r" % (name, EXPORT_NAME))
    addresses = [pe.rva_u32(functions + 4 * i) for i in range(function_count)]
    exported = {}
    for i in range(name_count):
        export_name = pe.string(pe.rva_u32(names + 4 * i))
        index = pe.u16(pe.offset(ordinals + 2 * i))
        if index >= function_count:
            problems.append("export %s has no address (index %d)" % (export_name, index))
            continue
        exported[export_name] = (base + index, addresses[index])
    unnamed = [base + i for i, a in enumerate(addresses)
               if a and all(o - base != i for o, _ in exported.values())]
    for ordinal in unnamed:
        problems.append("ordinal %d is exported without a name" % ordinal)
    for export_name in sorted(set(exported) - set(EXPORTS)):
        problems.append("unexpected export %s (ordinal %d)"
                        % (export_name, exported[export_name][0]))
    result = {}
    for export_name, ordinal in EXPORTS.items():
        if export_name not in exported:
            problems.append("%s is not exported" % export_name)
            continue
        got, address = exported[export_name]
        if got != ordinal:
            problems.append("%s has ordinal %d, expected %d" % (export_name, got, ordinal))
        if rva <= address < rva + size:
            problems.append("%s is a forwarder, not data" % export_name)
            continue
        section = pe.section_of(address)
        if section is None:
            problems.append("%s points outside every section (0x%X)" % (export_name, address))
        elif section[5] & (SCN_EXECUTE | SCN_CODE):
            problems.append("%s points into executable section %s: it must be data"
                            % (export_name, section[0]))
        else:
            result[export_name] = address
    return result


def read_thunks(pe, rva):
    """Yields each import thunk of a list: ("ordinal", n) or ("name", text)."""
    flag = 1 << (8 * pe.pointer_size - 1)
    while True:
        thunk = pe.pointer(rva)
        if not thunk:
            return
        if thunk & flag:
            yield ("ordinal", thunk & 0xFFFF)
        else:
            yield ("name", pe.string((thunk & 0x7FFFFFFF) + 2))
        rva += pe.pointer_size


def check_imports(pe, problems):
    """Returns {dll name: [imports]} for the report."""
    imports = {}
    rva, _ = pe.directory(1)
    while rva:
        lookup, _, _, name_rva, first_thunk = struct.unpack("<IIIII", pe.read(rva, 20))
        if not name_rva and not first_thunk:
            break
        imports[pe.string(name_rva)] = list(read_thunks(pe, lookup or first_thunk))
        rva += 20
    delayed, _ = pe.directory(13)
    while delayed:
        attributes, name_rva, _, _, names = struct.unpack("<IIIII", pe.read(delayed, 20))
        if not name_rva:
            break
        if not attributes & 1:
            problems.append("a delay-load import uses the old address form")
            break
        imports[pe.string(name_rva) + " (delay-loaded)"] = list(read_thunks(pe, names))
        delayed += 32
    for dll in imports:
        if dll.split(" ")[0].lower() not in SYSTEM_DLLS:
            problems.append("imports %s, which is not a Windows system DLL" % dll)
    for dll, entries in imports.items():
        for kind, value in entries:
            if kind == "name" and value in NOT_ON_XP:
                problems.append("imports %s from %s, which Windows XP lacks" % (value, dll))
    dsound = [entries for dll, entries in imports.items() if dll.lower() == "dsound.dll"]
    if not dsound:
        problems.append("DSOUND.dll is not imported")
    elif ("ordinal", 1) not in dsound[0]:
        problems.append("DirectSoundCreate (DSOUND.dll ordinal 1) is not imported by ordinal")
    for dll, entries in imports.items():
        for kind, value in entries:
            if kind == "name" and value.startswith("DirectSoundCreate"):
                problems.append("%s is imported by name from %s" % (value, dll))
    return imports


def resource_entries(pe, base, offset):
    """The entries of one resource directory: [(id or name, is_directory, offset)]."""
    named, numbered = struct.unpack("<HH", pe.read(base + offset + 12, 4))
    entries = []
    for i in range(named + numbered):
        key, target = struct.unpack("<II", pe.read(base + offset + 16 + 8 * i, 8))
        if key & 0x80000000:
            length = struct.unpack("<H", pe.read(base + (key & 0x7FFFFFFF), 2))[0]
            key = pe.read(base + (key & 0x7FFFFFFF) + 2, 2 * length).decode("utf-16-le")
        entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
    return entries


def find_resource(pe, kind, ident):
    """{language: bytes} of one resource."""
    base, _ = pe.directory(2)
    if not base:
        return {}
    found = {}
    for type_key, type_dir, type_offset in resource_entries(pe, base, 0):
        if type_key != kind or not type_dir:
            continue
        for id_key, id_dir, id_offset in resource_entries(pe, base, type_offset):
            if id_key != ident or not id_dir:
                continue
            for language, is_dir, data_offset in resource_entries(pe, base, id_offset):
                if is_dir:
                    continue
                data_rva, size = struct.unpack("<II", pe.read(base + data_offset, 8))
                found[language] = pe.read(data_rva, size)
    return found


def check_bitmap(pe, problems):
    bitmaps = find_resource(pe, RT_BITMAP, BITMAP_ID)
    if LANGUAGE_EN_US not in bitmaps:
        problems.append("bitmap %d (language %d) is missing" % (BITMAP_ID, LANGUAGE_EN_US))
        return
    bitmap = bitmaps[LANGUAGE_EN_US]
    if len(bitmap) != BITMAP_SIZE:
        problems.append("bitmap %d is %d bytes, expected %d"
                        % (BITMAP_ID, len(bitmap), BITMAP_SIZE))
        if len(bitmap) < 40:
            return
    (header_size, width, height, planes, bits, compression, image_size, x_ppm, y_ppm,
     colours, _) = struct.unpack_from("<IiiHHIIiiII", bitmap, 0)
    expected = [("header size", header_size, 40), ("width", width, 10), ("height", height, 10),
                ("planes", planes, 1), ("bits per pixel", bits, 8),
                ("compression", compression, 0), ("horizontal pixels per metre", x_ppm, 7874),
                ("vertical pixels per metre", y_ppm, 7874)]
    for what, got, wanted in expected:
        if got != wanted:
            problems.append("bitmap %s is %d, expected %d" % (what, got, wanted))
    if image_size not in (0, 120):
        problems.append("bitmap image size is %d, expected 120 (or 0)" % image_size)
    if colours not in (0, 256):
        problems.append("bitmap uses %d colours, expected 256 (or 0)" % colours)
    if len(bitmap) != BITMAP_SIZE:
        return
    palette = bitmap[40:40 + 1024]
    wrong = [i for i in range(256) if palette[4 * i:4 * i + 4] != bytes((i, i, i, 0))]
    if wrong:
        problems.append("bitmap palette is not the grey ramp (first wrong entry %d)" % wrong[0])
    if any(bitmap[1064:]):
        problems.append("bitmap pixels are not all index 0")


def version_blocks(data, offset, end):
    """Walks VS_VERSIONINFO blocks: yields (key, value bytes, value type, children range)."""
    while offset + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            return
        key_end = offset + 6
        while key_end + 1 < len(data) and data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if value_type == 1 else value_length
        value = data[value_start:value_start + value_size]
        children = (value_start + value_size + 3) & ~3
        yield key, value, value_type, (children, offset + length)
        offset = (offset + length + 3) & ~3


def check_version(pe, problems):
    records = find_resource(pe, RT_VERSION, 1)
    if not records:
        problems.append("the version record is missing")
        return
    data = next(iter(records.values()))
    blocks = list(version_blocks(data, 0, len(data)))
    if not blocks or blocks[0][0] != "VS_VERSION_INFO" or len(blocks[0][1]) < 52:
        problems.append("the version record is malformed")
        return
    _, fixed, _, (children, end) = blocks[0]
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        problems.append("the version record's fixed information has a wrong signature")

    def dotted(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    versions = (("file", dotted(file_ms, file_ls)), ("product", dotted(product_ms, product_ls)))
    for what, got in versions:
        if got != FILE_VERSION:
            problems.append("%s version is %s, expected %s"
                            % (what, ".".join(map(str, got)), ".".join(map(str, FILE_VERSION))))
    strings = {}
    for key, _, _, (start, stop) in version_blocks(data, children, end):
        if key != "StringFileInfo":
            continue
        for _, _, _, (table_start, table_stop) in version_blocks(data, start, stop):
            for name, value, _, _ in version_blocks(data, table_start, table_stop):
                strings[name] = value.decode("utf-16-le").rstrip("\0")
    for name, wanted in VERSION_STRINGS.items():
        if strings.get(name) != wanted:
            problems.append("version string %s is %r, expected %r"
                            % (name, strings.get(name), wanted))


def check_records(pe, exports, problems):
    """The exported records' contents, as the simulator reads them (32-bit layout)."""
    if pe.pointer_size != 4 or set(exports) != set(EXPORTS):
        return
    table = exports["ImportTable"]
    if pe.rva_u32(table) != IMPORT_PANEL_TABLE_ID:
        problems.append("ImportTable asks for table 0x%X, expected 0x0F" % pe.rva_u32(table))
    if any(pe.read(table + 4, 12)):
        problems.append("ImportTable's table pointer and end entry are not zero")
    linkage = exports["Linkage"]
    kind, init, deinit, zero_12, zero_16, version, header, end = struct.unpack(
        "<8I", pe.read(linkage, 32))
    if kind != MODULE_KIND:
        problems.append("Linkage kind is 0x%X, expected 0x13" % kind)
    if version != HOST_INTERFACE_VERSION:
        problems.append("Linkage interface version is 0x%X, expected 0x900" % version)
    if zero_12 or zero_16 or end:
        problems.append("Linkage fields 12, 16 and 28 are not zero")

    def executable(va):
        section = pe.section_of(va - pe.image_base)
        return section is not None and section[5] & SCN_EXECUTE

    if not executable(init) or not executable(deinit):
        problems.append("Linkage's module routines do not point to code")
    header_rva = header - pe.image_base
    if pe.section_of(header_rva) is None or executable(header):
        problems.append("Linkage's gauge header pointer does not point to data")
        return
    if pe.rva_u32(header_rva) != GAUGE_HEADER_VERSION:
        problems.append("gauge header version is 0x%X, expected 0x320" % pe.rva_u32(header_rva))
    name = pe.string(pe.rva_u32(header_rva + 4) - pe.image_base)
    if name != GAUGE_NAME:
        problems.append("gauge name is %r, expected %r" % (name, GAUGE_NAME))
    element = pe.rva_u32(pe.rva_u32(header_rva + 8) - pe.image_base) - pe.image_base
    image_id, flags = pe.rva_u32(element + 4), pe.rva_u32(element + 48)
    if image_id != BITMAP_ID or flags != IMAGE_FLAGS:
        problems.append("gauge element shows bitmap %d with flags 0x%X, expected 256 and 0x83"
                        % (image_id, flags))


def inspect(data):
    """Returns (problems, imports)."""
    problems = []
    imports = {}
    try:
        pe = PeFile(data)
        check_header(pe, problems)
        exports = check_exports(pe, problems)
        imports = check_imports(pe, problems)
        check_bitmap(pe, problems)
        check_version(pe, problems)
        check_records(pe, exports, problems)
    except (Malformed, struct.error, UnicodeDecodeError) as error:
        problems.append("malformed file: %s" % error)
    return problems, imports


def main(argv):
    arguments = [a for a in argv[1:] if a != "--quiet"]
    if len(arguments) != 1:
        print("usage: inspect_pe.py FILE [--quiet]", file=sys.stderr)
        return 2
    path = arguments[0]
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        print("inspect_pe: cannot read %s: %s" % (path, error.strerror), file=sys.stderr)
        return 2
    problems, imports = inspect(data)
    for problem in problems:
        print("inspect_pe: %s: %s" % (path, problem))
    if problems:
        return 1
    if "--quiet" not in argv:
        print("%s: %d bytes, i386 DLL, exports ImportTable @1 and Linkage @2 (data), "
              "bitmap 256 and version 2.1.0.1 as expected" % (path, len(data)))
        for dll, entries in imports.items():
            listed = ", ".join(v if k == "name" else "#%d" % v for k, v in entries)
            print("  imports %s: %s" % (dll, listed))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
