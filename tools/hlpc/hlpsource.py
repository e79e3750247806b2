"""The help source (its format: hlpc.py), parsed into topics and paragraphs and checked as a whole."""
import re

from hlpformat import FONTS, context_hash

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
