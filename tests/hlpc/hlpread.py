"""hlpread: a small reader of uncompressed WinHelp 3.1 files, for checking what hlpc writes."""
import struct


class FormatError(Exception):
    pass


def _u16(data, pos):
    return struct.unpack_from("<H", data, pos)[0]


def _u32(data, pos):
    return struct.unpack_from("<I", data, pos)[0]


def _stringz(data, pos):
    end = data.index(b"\0", pos)
    return data[pos:end].decode("cp1252"), end + 1


class BTree:
    """A B+ tree internal file; parse_leaf(data, pos) -> (entry, next pos), key_size(data, pos) -> size."""

    def __init__(self, blob, parse_leaf, key_size):
        if _u16(blob, 0) != 0x293B:
            raise FormatError("bad B+ tree magic")
        self.blob = blob
        self.page_size = _u16(blob, 4)
        self.root = _u16(blob, 26)
        self.levels = _u16(blob, 32)
        self.total_pages = _u16(blob, 30)
        self.count = _u32(blob, 34)
        self.parse_leaf = parse_leaf
        self.key_size = key_size
        if len(blob) != 38 + self.total_pages * self.page_size:
            raise FormatError("B+ tree size does not match its page count")

    def page(self, number):
        start = 38 + number * self.page_size
        return self.blob[start:start + self.page_size]

    def leaf_pages(self):
        """Leaf page numbers, found by going down the leftmost branch and along the leaf chain."""
        number = self.root
        for _ in range(self.levels - 1):
            number = _u16(self.page(number), 4)
        seen = []
        while number != 0xFFFF:
            if number in seen:
                raise FormatError("leaf chain loops")
            seen.append(number)
            number = _u16(self.page(number), 6)
        return seen

    def entries(self):
        result = []
        for number in self.leaf_pages():
            page = self.page(number)
            pos = 8
            for _ in range(_u16(page, 2)):
                entry, pos = self.parse_leaf(page, pos)
                result.append(entry)
        if len(result) != self.count:
            raise FormatError(f"B+ tree holds {len(result)} entries, its header says {self.count}")
        return result

    def leaf_for(self, goes_before):
        """Descends the index pages; goes_before(page, pos) is True when the search key sorts before that key."""
        number = self.root
        for _ in range(self.levels - 1):
            page = self.page(number)
            child = _u16(page, 4)
            pos = 6
            for _ in range(_u16(page, 2)):
                if goes_before(page, pos):
                    break
                pos += self.key_size(page, pos)
                child = _u16(page, pos)
                pos += 2
            number = child
        return number

    def leaf_entries(self, number):
        page = self.page(number)
        pos, result = 8, []
        for _ in range(_u16(page, 2)):
            entry, pos = self.parse_leaf(page, pos)
            result.append(entry)
        return result


class Page:
    def __init__(self, title, offset, number):
        self.title = title
        self.offset = offset
        self.number = number
        self.paragraphs = []   # plain text of each paragraph
        self.jumps = []        # context hashes
        self.fonts = set()


def context_hash(name):
    value = 0
    for ch in name.lower():
        if ch.isalpha() and ch.isascii():
            code = ord(ch) - ord("a") + 17
        elif ch.isdigit():
            code = 10 if ch == "0" else int(ch)
        else:
            code = {".": 12, "_": 13}.get(ch, 0)
        if code:
            value = (value * 43 + code) % 2**32
    return value - 2**32 if value >= 2**31 else value


class HelpFile:
    def __init__(self, data):
        self.data = data
        magic, directory, _, size = struct.unpack_from("<IIiI", data, 0)
        if magic != 0x00035F3F:
            raise FormatError("not a help file")
        if size != len(data):
            raise FormatError(f"header says {size} bytes, the file has {len(data)}")
        self.directory = BTree(self.internal(directory), self._dir_entry, lambda d, p: d.index(b"\0", p) + 1 - p)
        self.files = dict(self.directory.entries())
        self._read_system()
        self._read_fonts()
        self._read_topics()
        self._read_context()
        self._read_keywords()

    @staticmethod
    def _dir_entry(data, pos):
        name, pos = _stringz(data, pos)
        return (name, _u32(data, pos)), pos + 4

    def internal(self, offset):
        reserved, used, _ = struct.unpack_from("<IIB", self.data, offset)
        if reserved < used + 9 or offset + reserved > len(self.data):
            raise FormatError(f"internal file at {offset} does not fit")
        return self.data[offset + 9:offset + 9 + used]

    def file(self, name):
        return self.internal(self.files[name])

    def find_file(self, name):
        """Looks a name up through the directory's index pages, as a reader does."""
        key = name.encode("ascii")
        tree = self.directory
        number = tree.leaf_for(lambda page, pos: key < page[pos:page.index(b"\0", pos)])
        return dict(tree.leaf_entries(number)).get(name)

    def _read_system(self):
        data = self.file("|SYSTEM")
        magic, self.minor, major, _, self.flags = struct.unpack_from("<HHHIH", data, 0)
        if magic != 0x036C or major != 1:
            raise FormatError("bad |SYSTEM header")
        self.title = None
        self.contents_offset = None
        pos = 12
        while pos + 4 <= len(data):
            kind, size = struct.unpack_from("<HH", data, pos)
            payload = data[pos + 4:pos + 4 + size]
            if kind == 1:
                self.title = _stringz(payload, 0)[0]
            elif kind == 3:
                self.contents_offset = _u32(payload, 0)
            pos += 4 + size
        if pos != len(data):
            raise FormatError("|SYSTEM records overrun the file")

    def _read_fonts(self):
        data = self.file("|FONT")
        faces, descriptors, face_offset, desc_offset = struct.unpack_from("<HHHH", data, 0)
        self.font_count = descriptors
        if desc_offset + 11 * descriptors != len(data) or faces == 0:
            raise FormatError("bad |FONT layout")
        size = (desc_offset - face_offset) // faces
        self.face_names = [data[face_offset + i * size:face_offset + (i + 1) * size].rstrip(b"\0").decode()
                           for i in range(faces)]
        self.font_colours = [tuple(data[desc_offset + 11 * i + 5:desc_offset + 11 * i + 8]) for i in range(descriptors)]

    def _read_topics(self):
        if self.minor <= 16 or self.flags != 0:
            raise FormatError("only uncompressed version 3.1 files are read here")
        data = self.file("|TOPIC")
        if len(data) % 0x1000:
            raise FormatError("|TOPIC is not made of whole 4 KB blocks")
        self.block_count = len(data) // 0x1000
        self.pages = []
        ref, block_seen, chars, visited = 12, None, 0, set()
        while ref != 0xFFFFFFFF:
            if ref in visited:
                raise FormatError("topic links loop")
            visited.add(ref)
            block, offset = (ref - 12) >> 14, (ref - 12) & 0x3FFF
            if block >= self.block_count or offset + 21 > 0x1000 - 12:
                raise FormatError(f"topic link {ref:#x} outside the topic blocks")
            base = block * 0x1000 + 12 + offset
            size, size2, _, next_ref, size1, kind = struct.unpack_from("<IIiIIB", data, base)
            if offset + size > 0x1000 - 12:
                raise FormatError(f"topic link {ref:#x} crosses its block")
            if size - size1 != size2:
                raise FormatError(f"topic link {ref:#x}: text is compressed or sizes disagree")
            data1 = data[base + 21:base + size1]
            data2 = data[base + size1:base + size]
            if block != block_seen:
                block_seen, chars = block, 0
            if kind == 0x02:
                self.pages.append(Page(data2.decode("cp1252"), block * 0x8000 + chars, _u32(data1, 12)))
            elif kind == 0x20:
                if not self.pages:
                    raise FormatError("text before the first topic header")
                chars += self._read_paragraph(self.pages[-1], data1, data2)
            else:
                raise FormatError(f"unexpected record type {kind:#x}")
            ref = next_ref

    def _read_paragraph(self, page, data1, data2):
        long_form = data1[0] & 1
        if long_form:
            text_size, pos = (_u32(data1, 0) - 0x80000001) >> 1, 4
        else:
            text_size, pos = (_u16(data1, 0) - 0x8000) >> 1, 2
        if data1[pos] & 1:
            length, pos = _u16(data1, pos) >> 1, pos + 2
        else:
            length, pos = data1[pos] >> 1, pos + 1
        if text_size != len(data2):
            raise FormatError("paragraph text size disagrees with its record")
        pos += 4
        bits = _u16(data1, pos)
        pos += 2
        for flag in (0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040):
            if bits & flag:
                pos += 2 if data1[pos] & 1 else 1
        if bits & ~0x0C7E:
            raise FormatError(f"unexpected paragraph bits {bits:#x}")
        texts = data2.split(b"\0")[:-1]
        shown = []
        for text in texts:
            shown.append(text.decode("cp1252"))
            command = data1[pos]
            pos += 1
            if command == 0xFF:
                break
            if command == 0x80:
                page.fonts.add(_u16(data1, pos))
                pos += 2
            elif command in (0xE2, 0xE3, 0xE6, 0xE7):
                page.jumps.append(struct.unpack_from("<i", data1, pos)[0])
                pos += 4
            elif command not in (0x81, 0x82, 0x83, 0x89):
                raise FormatError(f"unexpected format command {command:#x}")
        if pos != len(data1):
            raise FormatError("format commands do not end where the record does")
        page.paragraphs.append("".join(shown))
        return length

    def _read_context(self):
        tree = BTree(self.file("|CONTEXT"), lambda d, p: (struct.unpack_from("<iI", d, p), p + 8), lambda d, p: 4)
        self.context_tree = tree
        self.contexts = dict(tree.entries())

    def find_context(self, value):
        tree = self.context_tree
        number = tree.leaf_for(lambda page, pos: value < struct.unpack_from("<i", page, pos)[0])
        return dict(tree.leaf_entries(number)).get(value)

    def _read_keywords(self):
        self.keywords = {}
        if "|KWBTREE" not in self.files:
            return
        kwdata = self.file("|KWDATA")

        def leaf(data, pos):
            word, pos = _stringz(data, pos)
            count, start = struct.unpack_from("<HI", data, pos)
            return (word, [_u32(kwdata, start + 4 * i) for i in range(count)]), pos + 6

        tree = BTree(self.file("|KWBTREE"), leaf, lambda d, p: d.index(b"\0", p) + 1 - p)
        for word, offsets in tree.entries():
            self.keywords[word] = offsets

    def page_at(self, offset):
        for page in self.pages:
            if page.offset == offset:
                return page
        raise FormatError(f"no topic starts at offset {offset:#x}")

    def contents(self):
        return self.page_at(self.contents_offset)
