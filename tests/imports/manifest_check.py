#!/usr/bin/env python3
"""Checks the application manifest of a Windows program (resource 1 of type 24):

    manifest_check.py FILE...

It must be well-formed XML that Windows XP's loader takes (an asm.v1 assembly of
manifestVersion 1.0 with a win32 assemblyIdentity of a four-part version), say
dpiAware true for Windows Vista and later, and ask for nothing else: no
dependency, so no common controls 6 and the classic look stays.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
SETTINGS = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def resource(path, type_id, name_id):
    """The bytes of resource type_id/name_id (first language) of a PE file, or None."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    wide = struct.unpack_from("<H", data, optional)[0] == 0x20B
    rva, size = struct.unpack_from("<II", data, optional + (112 if wide else 96) + 2 * 8)
    spans = []
    for i in range(sections):
        vsize, vaddr, rawsize, raw = struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
        spans.append((vaddr, max(vsize, rawsize), raw))

    def at(address):
        for vaddr, span, raw in spans:
            if vaddr <= address < vaddr + span:
                return raw + address - vaddr
        raise ValueError("address %#x lies in no section" % address)

    if not size:
        return None
    base = at(rva)

    def entry(directory, wanted):
        named, ids = struct.unpack_from("<12xHH", data, base + directory)
        for i in range(named + ids):
            name, offset = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if wanted is None or (not name & 0x80000000 and name == wanted):
                return offset
        return None

    offset = 0
    for wanted in (type_id, name_id, None):
        offset = entry(offset & 0x7FFFFFFF, wanted)
        if offset is None:
            return None
    data_rva, data_size = struct.unpack_from("<II", data, base + offset)
    start = at(data_rva)
    return data[start:start + data_size]


def check(path):
    text = resource(path, RT_MANIFEST, 1)
    if text is None:
        return "no manifest (resource 1 of type 24)"
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        return "the manifest is not well-formed XML: %s" % error
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        return "the root is not an asm.v1 assembly of manifestVersion 1.0"
    identity = root.find(ASM_V1 + "assemblyIdentity")
    version = identity.get("version", "") if identity is not None else ""
    if identity is None or identity.get("type") != "win32" or not identity.get("name") or \
            len(version.split(".")) != 4 or not all(p.isdigit() for p in version.split(".")):
        return "no win32 assemblyIdentity with a four-part version, which Windows XP needs"
    if list(root.iter(ASM_V1 + "dependency")):
        return "the manifest asks for a dependency (common controls 6 would change the look)"
    aware = [e.text for e in root.iter(SETTINGS + "dpiAware")]
    if [t.strip().lower() for t in aware if t] != ["true"]:
        return "dpiAware is not true (found %s)" % aware
    if root.find(ASM_V3 + "application/" + ASM_V3 + "windowsSettings/" + SETTINGS + "dpiAware") is None:
        return "dpiAware is not in application/windowsSettings"
    return None


def main(paths):
    failed = False
    for path in paths:
        problem = check(path)
        print("%s %s: %s" % ("FAIL" if problem else "ok", path, problem or "dpiAware true, no dependency"))
        failed |= bool(problem)
    return 1 if failed or not paths else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
