#!/usr/bin/env python3
"""hlpc: compiles the plain-text help source (res/help.txt) into an uncompressed WinHelp 3.1 file.

Source format, one directive or text line at a time:

    ; a comment line
    #helptitle Korvane Help          title of the whole file (before the first topic)
    #copyright text                  optional, before the first topic
    #topic contents                  starts a topic; the first topic is the contents topic
    #title Korvane Help Topics       the topic's title, also shown as its heading
    #keywords Korvane; results       index entries of the topic (may repeat)
    Paragraph text, joined over      paragraphs are separated by blank lines
    several lines.
    - a bullet item                  each "- " line starts a bullet paragraph

Inline markup in text: {jump:topic_id shown text} links to a topic; {b:text},
{i:text}, {green:text}, {red:text}, {darkblue:text}, {blue:text} style a run;
{{ and }} stand for literal braces. Topic ids use letters, digits, '_' and '.'.

Every topic must be reachable from the contents topic by jumps. A malformed
source line stops the build with "file:line: error: ...".
"""
import argparse
import os
import re
import struct
import sys
import tempfile

# Minor version 21 is the Windows 3.1 help compiler's format.
SYSTEM_MAGIC = 0x036C
SYSTEM_MINOR = 21
FILE_MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
TOPIC_BLOCK_SIZE = 0x1000
TOPIC_BLOCK_HEADER = 12
TOPIC_BLOCK_DATA = TOPIC_BLOCK_SIZE - TOPIC_BLOCK_HEADER
LINK_HEADER = 21

RECORD_TOPIC_HEADER = 0x02
RECORD_TEXT = 0x20

CMD_FONT = 0x80
CMD_PARAGRAPH_END = 0x82
CMD_JUMP = 0xE3          # jump to a topic by context hash, shown green and underlined
CMD_LINK_END = 0x89
CMD_END = 0xFF

PARA_SPACE_BEFORE = 0x0002
PARA_SPACE_AFTER = 0x0004
PARA_LEFT_INDENT = 0x0010
PARA_FIRST_INDENT = 0x0040

FACE_NAME_SIZE = 20
FAMILY_SWISS = 3

# Font table: name -> (index, attributes (1 bold, 2 italic), half-points, (r, g, b)).
FONTS = {
    "normal":   (0, 0, 20, (0, 0, 0)),
    "heading":  (1, 1, 28, (0, 0, 0)),
    "b":        (2, 1, 20, (0, 0, 0)),
    "i":        (3, 2, 20, (0, 0, 0)),
    "green":    (4, 1, 20, (0, 128, 0)),
    "red":      (5, 0, 20, (255, 0, 0)),
    "darkblue": (6, 0, 20, (0, 0, 192)),
    "blue":     (7, 0, 20, (0, 0, 255)),
}
FACE_NAME = "Arial"
BULLET = "\u2022"
ID_PATTERN = re.compile(r"^[A-Za-z0-9_.]+$")
MAX_TITLE = 127
MAX_KEYWORD = 255


class SourceError(Exception):
    def __init__(self, path, line, message):
        super().__init__(f"{path}:{line}: error: {message}")


class Paragraph:
    def __init__(self, line, bullet=False):
        self.line = line
        self.bullet = bullet
        self.lines = []
        self.runs = []       # (style, text, jump target or None)


class Topic:
    def __init__(self, topic_id, line):
        self.id = topic_id
        self.line = line
        self.title = None
        self.keywords = []
        self.paragraphs = []
        self.jumps = []      # (target id, source line)


class HelpSource:
    def __init__(self, path):
        self.path = path
        self.title = ""
        self.copyright = ""
        self.topics = []


def context_hash(topic_id):
    """The reader's hash of a context string, as a signed 32-bit value."""
    value = 0
    for ch in topic_id.upper():
        if "A" <= ch <= "Z":
            code = ord(ch) - ord("A") + 17
        elif "1" <= ch <= "9":
            code = ord(ch) - ord("0")
        elif ch == "0":
            code = 10
        elif ch == ".":
            code = 12
        elif ch == "_":
            code = 13
        else:
            continue
        value = (value * 43 + code) & 0xFFFFFFFF
    return value - 0x100000000 if value & 0x80000000 else value


def check_text(path, line, text):
    try:
        text.encode("cp1252")
    except UnicodeEncodeError as err:
        raise SourceError(path, line, f"character {text[err.start]!r} has no Windows-1252 code")


def parse_inline(path, line, text):
    """Splits paragraph text into (style, text, jump) runs."""
    runs = []
    plain = []
    i = 0

    def flush():
        if plain:
            runs.append(("normal", "".join(plain), None))
            plain.clear()

    while i < len(text):
        ch = text[i]
        if text.startswith("{{", i) or text.startswith("}}", i):
            plain.append(ch)
            i += 2
            continue
        if ch == "}":
            raise SourceError(path, line, "'}' without a matching '{' (write }} for a brace)")
        if ch != "{":
            plain.append(ch)
            i += 1
            continue
        end = text.find("}", i + 1)
        if end < 0:
            raise SourceError(path, line, "'{' is not closed on this paragraph")
        inner = text[i + 1:end]
        if "{" in inner:
            raise SourceError(path, line, "markup cannot be nested")
        name, sep, body = inner.partition(":")
        if not sep:
            raise SourceError(path, line, f"markup '{{{inner}}}' needs the form {{style:text}}")
        flush()
        if name == "jump":
            target, _, shown = body.strip().partition(" ")
            if not ID_PATTERN.match(target):
                raise SourceError(path, line, f"jump target '{target}' is not a valid topic id")
            if not shown.strip():
                raise SourceError(path, line, f"jump to '{target}' has no text to show")
            runs.append(("normal", shown.strip(), target))
        elif name in FONTS and name not in ("normal", "heading"):
            if not body:
                raise SourceError(path, line, f"'{{{name}:}}' has no text")
            runs.append((name, body, None))
        else:
            raise SourceError(path, line, f"unknown markup '{name}' (jump, {', '.join(s for s in FONTS if s not in ('normal', 'heading'))})")
        i = end + 1
    flush()
    return runs


def parse_source(text, path):
    source = HelpSource(path)
    topic = None
    para = None

    def end_paragraph():
        nonlocal para
        if para is not None:
            joined = " ".join(para.lines)
            para.runs = parse_inline(path, para.line, joined)
            for _, _, target in para.runs:
                if target:
                    topic.jumps.append((target, para.line))
            topic.paragraphs.append(para)
            para = None

    for number, raw in enumerate(text.splitlines(), start=1):
        line = raw.strip()
        if line.startswith(";"):
            continue
        if not line:
            end_paragraph()
            continue
        check_text(path, number, line)
        if line.startswith("#"):
            end_paragraph()
            directive, _, arg = line.partition(" ")
            arg = arg.strip()
            if directive in ("#helptitle", "#copyright"):
                if topic is not None:
                    raise SourceError(path, number, f"{directive} belongs before the first #topic")
                if not arg:
                    raise SourceError(path, number, f"{directive} needs a text")
                if directive == "#helptitle":
                    source.title = arg
                else:
                    source.copyright = arg
            elif directive == "#topic":
                if not ID_PATTERN.match(arg):
                    raise SourceError(path, number, f"topic id '{arg}' must be letters, digits, '_' or '.'")
                topic = Topic(arg, number)
                source.topics.append(topic)
            elif directive == "#title":
                if topic is None:
                    raise SourceError(path, number, "#title outside a topic (start one with #topic)")
                if topic.title is not None:
                    raise SourceError(path, number, f"topic '{topic.id}' already has a title")
                if not arg or len(arg) > MAX_TITLE:
                    raise SourceError(path, number, f"a title needs 1 to {MAX_TITLE} characters")
                topic.title = arg
            elif directive == "#keywords":
                if topic is None:
                    raise SourceError(path, number, "#keywords outside a topic (start one with #topic)")
                for keyword in arg.split(";"):
                    keyword = " ".join(keyword.split())
                    if not keyword or len(keyword) > MAX_KEYWORD:
                        raise SourceError(path, number, f"a keyword needs 1 to {MAX_KEYWORD} characters")
                    topic.keywords.append(keyword)
            else:
                raise SourceError(path, number, f"unknown directive '{directive}'")
            continue
        if topic is None:
            raise SourceError(path, number, "text before the first #topic")
        if line.startswith("- "):
            end_paragraph()
            para = Paragraph(number, bullet=True)
            line = line[2:].strip()
        elif para is None:
            para = Paragraph(number)
        para.lines.append(line)
    end_paragraph()
    validate(source)
    return source


def validate(source):
    path = source.path
    if not source.topics:
        raise SourceError(path, 1, "the source holds no #topic")
    by_key = {}
    by_hash = {}
    for topic in source.topics:
        if topic.title is None:
            raise SourceError(path, topic.line, f"topic '{topic.id}' has no #title")
        key = topic.id.lower()
        if key in by_key:
            raise SourceError(path, topic.line, f"topic id '{topic.id}' is already used on line {by_key[key].line}")
        value = context_hash(topic.id)
        if value in by_hash or value == 0:
            raise SourceError(path, topic.line, f"topic id '{topic.id}' has the same hash as '{by_hash.get(value, topic).id}'")
        by_key[key] = topic
        by_hash[value] = topic
    for topic in source.topics:
        for target, line in topic.jumps:
            if target.lower() not in by_key:
                raise SourceError(path, line, f"jump to unknown topic '{target}'")
    reached = {source.topics[0].id.lower()}
    todo = [source.topics[0]]
    while todo:
        for target, _ in todo.pop().jumps:
            if target.lower() not in reached:
                reached.add(target.lower())
                todo.append(by_key[target.lower()])
    for topic in source.topics:
        if topic.id.lower() not in reached:
            raise SourceError(path, topic.line,
                              f"topic '{topic.id}' cannot be reached by jumps from '{source.topics[0].id}'")


# Encodings of the reader's variable-length numbers.

def compressed_long(value):
    if 0 <= value < 0x4000:
        return struct.pack("<H", 0x8000 + 2 * value)
    if 0 <= value < 0x40000000:
        return struct.pack("<I", 0x80000000 + 2 * value + 1)
    raise ValueError(value)


def compressed_ushort(value):
    if 0 <= value < 0x80:
        return bytes([2 * value])
    if value < 0x8000:
        return struct.pack("<H", 2 * value + 1)
    raise ValueError(value)


def compressed_short(value):
    if -0x40 <= value < 0x40:
        return bytes([0x80 + 2 * value])
    if 0 <= value < 0x4000:
        return struct.pack("<H", 0x8000 + 2 * value + 1)
    raise ValueError(value)


class Link:
    """One topic link record; positions are filled in once all links are laid out."""

    def __init__(self, record_type, data1_size, data2, topic, parlen=0):
        self.type = record_type
        self.data1_size = data1_size
        self.data2 = data2
        self.topic = topic
        self.parlen = parlen
        self.data1 = b""
        self.pos = None          # TOPICPOS: block * 0x4000 + 12 + offset in the block's data
        self.block = None

    @property
    def size(self):
        return LINK_HEADER + self.data1_size + len(self.data2)


def paragraph_link(topic, runs, style_bits):
    texts = []
    commands = []
    pending = []
    font = None

    def emit(command):
        texts.append("".join(pending))
        commands.append(command)
        pending.clear()

    for style, text, target in runs:
        index = FONTS[style][0]
        if index != font:
            emit(struct.pack("<BH", CMD_FONT, index))
            font = index
        if target:
            emit(struct.pack("<Bi", CMD_JUMP, context_hash(target)))
            pending.append(text)
            emit(bytes([CMD_LINK_END]))
        else:
            pending.append(text)
    emit(bytes([CMD_PARAGRAPH_END]))
    emit(bytes([CMD_END]))
    text_bytes = b"".join(t.encode("cp1252") + b"\0" for t in texts)
    parlen = sum(len(t) for t in texts) + 1
    bits, values = style_bits
    fields = b"".join(compressed_short(v) for v in values)
    data1 = (compressed_long(len(text_bytes)) + compressed_ushort(parlen)
             + bytes([0x00, 0x80, 0x00, 0x00]) + struct.pack("<H", bits) + fields + b"".join(commands))
    link = Link(RECORD_TEXT, len(data1), text_bytes, topic, parlen)
    link.data1 = data1
    return link


HEADING_STYLE = (PARA_SPACE_AFTER, [10])
TEXT_STYLE = (PARA_SPACE_BEFORE | PARA_SPACE_AFTER, [4, 8])
BULLET_STYLE = (PARA_SPACE_AFTER | PARA_LEFT_INDENT | PARA_FIRST_INDENT, [4, 24, -12])


def build_links(source):
    links = []
    for topic in source.topics:
        header = Link(RECORD_TOPIC_HEADER, 28, topic.title.encode("cp1252"), topic)
        links.append(header)
        topic.header = header
        topic.links = [header, paragraph_link(topic, [("heading", topic.title, None)], HEADING_STYLE)]
        for para in topic.paragraphs:
            runs = para.runs
            style = TEXT_STYLE
            if para.bullet:
                runs = [("normal", BULLET + "  ", None)] + runs
                style = BULLET_STYLE
            link = paragraph_link(topic, runs, style)
            if link.size > TOPIC_BLOCK_DATA:
                raise SourceError(source.path, para.line,
                                  f"paragraph is too long ({link.size} bytes; at most {TOPIC_BLOCK_DATA})")
            topic.links.append(link)
        links.extend(topic.links[1:])
    return links


def layout_topic_file(source):
    """Places the links in 4 KB blocks and returns the |TOPIC data."""
    links = build_links(source)
    block, used, chars = 0, 0, 0
    for link in links:
        if used + link.size > TOPIC_BLOCK_DATA:
            block, used, chars = block + 1, 0, 0
        link.block = block
        link.pos = block * 0x4000 + TOPIC_BLOCK_HEADER + used
        if link.type == RECORD_TOPIC_HEADER:
            link.topic.offset = block * 0x8000 + chars
        chars += link.parlen
        used += link.size
    count = block + 1

    topics = source.topics
    for n, topic in enumerate(topics):
        header = topic.header
        prev_offset = topics[n - 1].offset if n > 0 else -1
        next_offset = topics[n + 1].offset if n + 1 < len(topics) else -1
        next_topic = topics[n + 1].header.pos if n + 1 < len(topics) else -1
        topic_size = sum(link.size for link in topic.links)
        header.data1 = struct.pack("<IiiIiii", topic_size, prev_offset, next_offset, n, -1,
                                   topic.links[1].pos, next_topic)

    blocks = [bytearray(TOPIC_BLOCK_SIZE) for _ in range(count)]
    last_header = -1
    for i, link in enumerate(links):
        prev_pos = links[i - 1].pos if i > 0 else -1
        next_pos = links[i + 1].pos if i + 1 < len(links) else -1
        record = struct.pack("<IIiiIB", link.size, len(link.data2), prev_pos, next_pos,
                             LINK_HEADER + len(link.data1), link.type) + link.data1 + link.data2
        assert len(record) == link.size
        start = link.pos - link.block * 0x4000
        blocks[link.block][start:start + len(record)] = record
    for b in range(count):
        in_block = [link for link in links if link.block == b]
        before = [link for link in links if link.block < b]
        headers = [link for link in links if link.block <= b and link.type == RECORD_TOPIC_HEADER]
        last_header = headers[-1].pos if headers else -1
        struct.pack_into("<iii", blocks[b], 0, before[-1].pos if before else -1, in_block[0].pos, last_header)
    return b"".join(blocks)


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


def generation_date():
    """SOURCE_DATE_EPOCH when set, so that a build is reproducible; else 0."""
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    return int(value) & 0xFFFFFFFF if value.isdigit() else 0


def main(argv=None):
    parser = argparse.ArgumentParser(description="Compiles a help source into a WinHelp 3.1 file.")
    parser.add_argument("source")
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args(argv)
    try:
        with open(args.source, encoding="utf-8") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as err:
        print(f"{args.source}: error: cannot read the source: {err}", file=sys.stderr)
        return 1
    try:
        source = parse_source(text, args.source)
        data = compile_help(source, generation_date())
    except SourceError as err:
        print(err, file=sys.stderr)
        return 1
    # Written under a temporary name first, so a failed build never leaves half a file.
    folder = os.path.dirname(os.path.abspath(args.output))
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".hlpc-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temp, 0o666 & ~umask)
        os.replace(temp, args.output)
    except OSError as err:
        if os.path.exists(temp):
            os.unlink(temp)
        print(f"{args.output}: error: cannot write the help file: {err}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
