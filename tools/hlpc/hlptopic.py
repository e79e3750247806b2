"""The |TOPIC file: each topic's header and paragraphs as link records, laid out in 4 KB blocks."""
import struct

from hlpformat import (CMD_END, CMD_FONT, CMD_JUMP, CMD_LINK_END, CMD_PARAGRAPH_END, FONTS, LINK_HEADER,
                       PARA_FIRST_INDENT, PARA_LEFT_INDENT, PARA_SPACE_AFTER, PARA_SPACE_BEFORE, RECORD_TEXT,
                       RECORD_TOPIC_HEADER, TOPIC_BLOCK_DATA, TOPIC_BLOCK_HEADER, TOPIC_BLOCK_SIZE, compressed_long,
                       compressed_short, compressed_ushort, context_hash)
from hlpsource import SourceError

BULLET = "\u2022"


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
