"""The WinHelp 3.1 file format as hlpc writes it: its magic numbers and codes, the font table, the context hash and the
reader's variable-length numbers."""
import struct

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
