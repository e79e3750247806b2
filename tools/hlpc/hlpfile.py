"""The help file's internal files (|SYSTEM, |FONT, the B+ trees of contexts, titles and keywords) and the file system
that holds them."""
import struct

from hlpformat import (BTREE_MAGIC, FACE_NAME, FACE_NAME_SIZE, FAMILY_SWISS, FILE_MAGIC, FONTS, SYSTEM_MAGIC,
                       SYSTEM_MINOR, context_hash)
from hlptopic import layout_topic_file


def build_btree(entries, page_size, structure, flags=0x0002):
    """A B+ tree file: entries are (index key bytes, leaf entry bytes) in key order."""
    leaves, current, used = [], [], 0
    for key, data in entries:
        if len(data) > page_size - 8:
            raise ValueError("B+ tree entry larger than a page")
        if current and used + len(data) > page_size - 8:
            leaves.append(current)
            current, used = [], 0
        current.append((key, data))
        used += len(data)
    leaves.append(current)

    pages = []
    for i, leaf in enumerate(leaves):
        body = b"".join(data for _, data in leaf)
        header = struct.pack("<HHhh", page_size - 8 - len(body), len(leaf),
                             i - 1 if i > 0 else -1, i + 1 if i + 1 < len(leaves) else -1)
        pages.append((header + body).ljust(page_size, b"\0"))

    level = [(leaf[0][0] if leaf else b"", i) for i, leaf in enumerate(leaves)]
    levels = 1
    while len(level) > 1:
        levels += 1
        upper, group, used = [], [level[0]], 0
        for child in level[1:]:
            size = len(child[0]) + 2
            if used + size > page_size - 6:
                upper.append(index_page(pages, group, page_size))
                group, used = [child], 0
            else:
                group.append(child)
                used += size
        upper.append(index_page(pages, group, page_size))
        level = upper

    header = struct.pack("<HHH16sHHHhHHI", BTREE_MAGIC, flags, page_size, structure.encode("ascii"),
                         0, 0, level[0][1], -1, len(pages), levels, len(entries))
    return header + b"".join(pages), [(leaf, i) for i, leaf in enumerate(leaves)]


def index_page(pages, group, page_size):
    body = b"".join(key + struct.pack("<H", page) for key, page in group[1:])
    header = struct.pack("<HHH", page_size - 6 - len(body), len(group) - 1, group[0][1])
    pages.append((header + body).ljust(page_size, b"\0"))
    return group[0][0], len(pages) - 1


def system_file(source, gen_date):
    data = struct.pack("<HHHIH", SYSTEM_MAGIC, SYSTEM_MINOR, 1, gen_date, 0)

    def record(kind, payload):
        return struct.pack("<HH", kind, len(payload)) + payload

    data += record(1, source.title.encode("cp1252") + b"\0")
    if source.copyright:
        data += record(2, source.copyright.encode("cp1252") + b"\0")
    data += record(3, struct.pack("<I", source.topics[0].offset))
    return data


def font_file():
    faces = FACE_NAME.encode("ascii").ljust(FACE_NAME_SIZE, b"\0")
    descriptors = b""
    for index, attributes, half_points, colour in sorted(FONTS.values()):
        descriptors += struct.pack("<BBBH3B3B", attributes, half_points, FAMILY_SWISS, 0, *colour, 255, 255, 255)
    face_offset = 8
    return struct.pack("<HHHH", 1, len(FONTS), face_offset, face_offset + len(faces)) + faces + descriptors


def keyword_files(source):
    merged = {}
    for topic in source.topics:
        for keyword in topic.keywords:
            entry = merged.setdefault(keyword.lower(), (keyword, []))
            if topic.offset not in entry[1]:
                entry[1].append(topic.offset)
    kwdata = b""
    entries = []
    for key in sorted(merged):
        keyword, offsets = merged[key]
        name = keyword.encode("cp1252") + b"\0"
        entries.append((name, name + struct.pack("<HI", len(offsets), len(kwdata))))
        kwdata += b"".join(struct.pack("<I", offset) for offset in offsets)
    kwbtree, leaves = build_btree(entries, 0x800, "z24")
    kwmap = struct.pack("<H", len(leaves))
    first = 0
    for leaf, page in leaves:
        kwmap += struct.pack("<iH", first, page)
        first += len(leaf)
    return kwbtree, kwdata, kwmap


def compile_help(source, gen_date=0):
    """Returns the bytes of the help file for a parsed source."""
    topic_data = layout_topic_file(source)
    files = {
        "|SYSTEM": system_file(source, gen_date),
        "|TOPIC": topic_data,
        "|FONT": font_file(),
    }
    contexts = sorted((context_hash(t.id), t.offset) for t in source.topics)
    files["|CONTEXT"] = build_btree([(struct.pack("<i", h), struct.pack("<iI", h, o)) for h, o in contexts],
                                    0x800, "L4")[0]
    titles = sorted((t.offset, t.title) for t in source.topics)
    files["|TTLBTREE"] = build_btree([(struct.pack("<I", o), struct.pack("<I", o) + t.encode("cp1252") + b"\0")
                                      for o, t in titles], 0x800, "Lz")[0]
    if any(t.keywords for t in source.topics):
        files["|KWBTREE"], files["|KWDATA"], files["|KWMAP"] = keyword_files(source)

    out = bytearray(16)
    directory = []
    for name in sorted(files, key=lambda n: n.encode("ascii")):
        data = files[name]
        directory.append((name, len(out)))
        out += struct.pack("<IIB", len(data) + 9, len(data), 4) + data
    entries = [(n.encode("ascii") + b"\0", n.encode("ascii") + b"\0" + struct.pack("<I", off)) for n, off in directory]
    tree = build_btree(entries, 0x400, "z4", flags=0x0402)[0]
    directory_start = len(out)
    out += struct.pack("<IIB", len(tree) + 9, len(tree), 4) + tree
    struct.pack_into("<IIiI", out, 0, FILE_MAGIC, directory_start, -1, len(out))
    return bytes(out)
