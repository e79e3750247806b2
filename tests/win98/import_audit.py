#!/usr/bin/env python3
"""Checks the imports of Windows programs against what Windows 98 SE exports.

    import_audit.py BASELINE FILE...        exit 0 when every import is placed
    import_audit.py --list FILE...          prints the imports, one DLL!name a line

Each import is looked up in BASELINE (win98_exports.txt). It fails when its
DLL or name is not there, when the baseline lists it as a stub that Windows 9x
exports but does not implement, or when it is the W twin of a listed A
function (9x implements only the A forms). Every failing import is named.
"""
import re
import struct
import sys


class PeError(Exception):
    pass


def read_imports(path):
    """Returns [(dll, name)] from the import directory of a PE file; name is
    '#<ordinal>' for an import by ordinal."""
    with open(path, "rb") as f:
        data = f.read()

    def unpack(fmt, offset):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(data):
            raise PeError("%s: truncated at offset %#x" % (path, offset))
        return struct.unpack_from(fmt, data, offset)

    if data[:2] != b"MZ":
        raise PeError("%s: not an MZ file" % path)
    pe = unpack("<I", 0x3C)[0]
    if unpack("<4s", pe)[0] != b"PE\0\0":
        raise PeError("%s: no PE signature" % path)
    _, sections, _, _, _, optional_size, _ = unpack("<HHIIIHH", pe + 4)
    optional = pe + 24
    magic = unpack("<H", optional)[0]
    if magic == 0x10B:
        wide, directories = False, optional + 96
    elif magic == 0x20B:
        wide, directories = True, optional + 112
    else:
        raise PeError("%s: unknown optional header %#x" % (path, magic))
    table = optional + optional_size
    spans = []
    for i in range(sections):
        _, vsize, vaddr, rawsize, rawptr = unpack("<8sIIII", table + 40 * i)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def offset_of(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise PeError("%s: address %#x lies in no section" % (path, rva))

    def c_string(rva):
        start = offset_of(rva)
        end = data.find(b"\0", start)
        if end < 0:
            raise PeError("%s: unterminated name at %#x" % (path, rva))
        return data[start:end].decode("ascii", "replace")

    import_rva, _ = unpack("<II", directories + 8)
    delay_rva, _ = unpack("<II", directories + 13 * 8)
    if delay_rva:
        raise PeError("%s: has delay-load imports, which this audit does not read" % path)
    imports = []
    descriptor = offset_of(import_rva) if import_rva else None
    while descriptor is not None:
        lookup, _, _, name_rva, first_thunk = unpack("<IIIII", descriptor)
        if name_rva == 0:
            break
        dll = c_string(name_rva)
        thunk = offset_of(lookup or first_thunk)
        step, fmt, flag = (8, "<Q", 1 << 63) if wide else (4, "<I", 1 << 31)
        while True:
            entry = unpack(fmt, thunk)[0]
            if entry == 0:
                break
            if entry & flag:
                imports.append((dll, "#%d" % (entry & 0xFFFF)))
            else:
                imports.append((dll, c_string((entry & 0x7FFFFFFF) + 2)))
            thunk += step
        descriptor += 20
    return imports


def read_baseline(path):
    """Returns (exports, stubs, absent): dicts from (DLL, name) to the baseline
    line that names it, DLL names upper-case."""
    exports, stubs, absent = {}, {}, {}
    kinds = {"exports": exports, "stubs": stubs, "absent": absent}
    kind, dll = None, None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            header = re.fullmatch(r"\[(exports|stubs|absent) ([A-Za-z0-9_.]+)\]", line.strip())
            if header:
                kind, dll = header.group(1), header.group(2).upper()
                continue
            if kind is None:
                raise PeError("%s:%d: entry before any [section]" % (path, number))
            fields = line.split(None, 2)
            if len(fields) < 3:
                raise PeError("%s:%d: an entry is NAME SOURCE EVIDENCE" % (path, number))
            kinds[kind][(dll, fields[0])] = line.strip()
    return exports, stubs, absent


def audit(baseline, path):
    """Returns the list of complaints about one file's imports."""
    exports, stubs, absent = read_baseline(baseline)
    known_dlls = {dll for dll, _ in exports}
    complaints = []
    for dll, name in read_imports(path):
        key = (dll.upper(), name)
        where = "%s: %s!%s" % (path, dll, name)
        if key in stubs:
            complaints.append("%s is a stub on Windows 9x (always fails): %s" % (where, stubs[key]))
        elif key in absent:
            complaints.append("%s is not exported by Windows 98: %s" % (where, absent[key]))
        elif key[0] not in known_dlls:
            complaints.append("%s: the baseline has no such Windows 98 DLL" % where)
        elif name.endswith("W") and (key[0], name[:-1] + "A") in exports:
            complaints.append("%s is a W function; Windows 9x implements only %sA" % (where, name[:-1]))
        elif key not in exports:
            complaints.append("%s is not in the Windows 98 baseline" % where)
    return complaints


def main(argv):
    if len(argv) >= 2 and argv[0] == "--list":
        for path in argv[1:]:
            for dll, name in read_imports(path):
                print("%s!%s" % (dll, name))
        return 0
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    baseline, files = argv[0], argv[1:]
    failures = 0
    for path in files:
        try:
            complaints = audit(baseline, path)
        except (OSError, PeError) as error:
            complaints = ["%s" % error]
        for complaint in complaints:
            print("FAIL " + complaint)
        if complaints:
            failures += 1
        else:
            print("ok %s: %d imports, all in the Windows 98 baseline" % (path, len(read_imports(path))))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
