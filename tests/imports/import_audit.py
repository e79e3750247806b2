#!/usr/bin/env python3
"""Checks the imports of Windows programs against what Windows 95, Windows NT 4.0
and Windows 98 SE export.

    import_audit.py BASELINE FILE...        exit 0 when every import is placed
    import_audit.py --list FILE...          prints the imports, one DLL!name a line

Each import is looked up in BASELINE (win98_exports.txt) once per system, among
the entries whose source speaks for that system. It fails on a system when its
DLL or name is not there, when the baseline lists it as a stub that the system
exports but does not implement or as absent, or, on Windows 95 and 98, when it
is the W twin of a listed A function (9x implements only the A forms). An
import from a C or C++ runtime DLL fails on every system, whatever the baseline
says: a fresh Windows 95 has none of them. Every failing import is named with
its system.
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


# C and C++ runtime DLLs, Microsoft's and the compiler's: MSVCRT.DLL and its
# versioned kin, CRTDLL.DLL, the universal CRT and its API sets, libgcc,
# libstdc++ and winpthreads.
RUNTIME_DLL = re.compile(r"(MSVC[RP].*|CRTDLL|UCRTBASE[D]?|API-MS-WIN-CRT-.*|VCRUNTIME.*|LIBGCC_S.*|LIBSTDC\+\+.*|LIBWINPTHREAD.*)\.DLL",
                         re.IGNORECASE)

SYSTEMS = (("95", "Windows 95"), ("NT4", "Windows NT 4.0"), ("98SE", "Windows 98 SE"))
# The source whose systems take the rule that a W function is missing where its A twin is listed.
W_RULE_SOURCE = "mslu"


class Baseline:
    """The baseline: for each system, its exports, stubs and absent names, as
    dicts from (DLL, name) to the baseline line that names it (DLL names
    upper-case), and whether the W rule holds there."""

    def __init__(self, path):
        names = [code for code, _ in SYSTEMS]
        self.exports = {code: {} for code in names}
        self.stubs = {code: {} for code in names}
        self.absent = {code: {} for code in names}
        scopes = {}
        kind, dll = None, None
        with open(path, encoding="utf-8") as f:
            for number, raw in enumerate(f, 1):
                line = raw.strip()
                if not line or line.startswith("#"):
                    continue
                if line.startswith("@source"):
                    fields = line.split()
                    unknown = [code for code in fields[2:] if code not in names]
                    if len(fields) < 3 or unknown:
                        raise PeError("%s:%d: a source line is @source ID SYSTEM... with systems from %s"
                                      % (path, number, " ".join(names)))
                    scopes[fields[1]] = fields[2:]
                    continue
                header = re.fullmatch(r"\[(exports|stubs|absent) ([A-Za-z0-9_.]+)\]", line)
                if header:
                    kind, dll = header.group(1), header.group(2).upper()
                    continue
                if kind is None:
                    raise PeError("%s:%d: entry before any [section]" % (path, number))
                fields = line.split(None, 2)
                if len(fields) < 3:
                    raise PeError("%s:%d: an entry is NAME SOURCE EVIDENCE" % (path, number))
                if fields[1] not in scopes:
                    raise PeError("%s:%d: source %s has no @source line" % (path, number, fields[1]))
                table = getattr(self, kind)
                for code in scopes[fields[1]]:
                    table[code].setdefault((dll, fields[0]), line)
        self.w_rule = set(scopes.get(W_RULE_SOURCE, ()))


def audit(baseline, system, imports, path):
    """Returns the complaints about one file's imports on one system."""
    code, label = system
    exports, stubs, absent = baseline.exports[code], baseline.stubs[code], baseline.absent[code]
    known_dlls = {dll for dll, _ in exports}
    complaints = []
    for dll, name in imports:
        key = (dll.upper(), name)
        where = "%s: %s!%s" % (path, dll, name)
        if RUNTIME_DLL.fullmatch(dll):
            complaints.append("%s is from a C runtime DLL, which a fresh Windows 95 lacks" % where)
        elif key in stubs:
            complaints.append("%s is a stub on %s (always fails): %s" % (where, label, stubs[key]))
        elif key in absent:
            complaints.append("%s is not exported by %s: %s" % (where, label, absent[key]))
        elif key[0] not in known_dlls:
            complaints.append("%s: the baseline has no such %s DLL" % (where, label))
        elif code in baseline.w_rule and name.endswith("W") and (key[0], name[:-1] + "A") in exports:
            complaints.append("%s is a W function; %s implements only %sA" % (where, label, name[:-1]))
        elif key not in exports:
            complaints.append("%s is not in the %s baseline" % (where, label))
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
    try:
        baseline = Baseline(argv[0])
    except (OSError, PeError) as error:
        print("FAIL %s" % error)
        return 1
    failures = 0
    for path in argv[1:]:
        try:
            imports = read_imports(path)
        except (OSError, PeError) as error:
            print("FAIL %s" % error)
            failures += 1
            continue
        for system in SYSTEMS:
            complaints = audit(baseline, system, imports, path)
            for complaint in complaints:
                print("FAIL " + complaint)
            if complaints:
                failures += 1
            else:
                print("ok %s: %d imports, all exported by %s" % (path, len(imports), system[1]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
