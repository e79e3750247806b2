"""Tests of the help compiler: the built ZELKOR.HLP and synthetic sources, read back with hlpread."""
import html
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tools", "hlpc"))

import hlpc  # noqa: E402
import hlphtml  # noqa: E402
import hlpread  # noqa: E402

HLPC = os.path.join(ROOT, "tools", "hlpc", "hlpc.py")
HELP_SOURCE = os.path.join(ROOT, "res", "help.txt")


def compile_text(text):
    return hlpread.HelpFile(hlpc.compile_help(hlpc.parse_source(text, "test.txt")))


def reachable_pages(help_file):
    """Pages reached from the contents topic by following jumps through |CONTEXT."""
    start = help_file.contents()
    seen = {start.offset: start}
    todo = [start]
    while todo:
        for value in todo.pop().jumps:
            offset = help_file.find_context(value)
            if offset is None:
                raise AssertionError(f"jump to hash {value} has no |CONTEXT entry")
            if offset not in seen:
                seen[offset] = help_file.page_at(offset)
                todo.append(seen[offset])
    return seen


class BuiltHelpFileTests(unittest.TestCase):
    """The help file the build produced (or res/help.txt compiled here when none is given)."""

    @classmethod
    def setUpClass(cls):
        built = os.environ.get("KORVANE_HELP_FILE")
        if built:
            with open(built, "rb") as f:
                data = f.read()
        else:
            with open(HELP_SOURCE, encoding="utf-8") as f:
                data = hlpc.compile_help(hlpc.parse_source(f.read(), HELP_SOURCE))
        cls.help = hlpread.HelpFile(data)

    def test_directory_lists_the_internal_files(self):
        for name in ("|SYSTEM", "|TOPIC", "|CONTEXT", "|FONT", "|KWBTREE", "|KWDATA", "|KWMAP", "|TTLBTREE"):
            self.assertIn(name, self.help.files)
            self.assertEqual(self.help.find_file(name), self.help.files[name])
        self.assertEqual((self.help.minor, self.help.flags), (21, 0))
        self.assertEqual(self.help.title, "Korvane Help")

    def test_contents_topic_shows_its_title_and_text(self):
        contents = self.help.contents()
        self.assertIs(contents, self.help.pages[0])
        self.assertEqual(contents.title, "Korvane Help Contents")
        self.assertEqual(contents.paragraphs[0], contents.title)
        self.assertIn("Zelkor Cache", contents.paragraphs[1])
        self.assertEqual(len(self.help.font_colours), self.help.font_count)

    def test_every_topic_is_reachable_from_contents(self):
        reached = reachable_pages(self.help)
        missing = [p.title for p in self.help.pages if p.offset not in reached]
        self.assertEqual(missing, [])
        self.assertEqual(sorted(self.help.contexts.values()), sorted(p.offset for p in self.help.pages))
        self.assertEqual(self.help.find_context(hlpread.context_hash("contents")), self.help.contents_offset)

    def test_keyword_index_leads_korvane_to_contents_and_covers_every_topic(self):
        self.assertEqual(self.help.keywords["Korvane"], [self.help.contents_offset])
        indexed = {offset for offsets in self.help.keywords.values() for offset in offsets}
        self.assertEqual(indexed, {p.offset for p in self.help.pages})
        words = list(self.help.keywords)
        self.assertEqual(words, sorted(words, key=str.lower))
        # Wine's viewer cannot yet offer a choice of topics for one keyword.
        shared = {word: offsets for word, offsets in self.help.keywords.items() if len(offsets) > 1}
        self.assertEqual(shared, {})

    def test_the_program_messages_are_quoted_exactly(self):
        sources = ""
        for name in ("engine/messages.cpp", "app/maindlg.cpp"):
            with open(os.path.join(ROOT, name), encoding="utf-8") as f:
                sources += f.read()
        text = "\n".join(para for page in self.help.pages for para in page.paragraphs)
        for constant in ("kNoDiscMessage", "kFewFilesMessage", "kChangedDiscMessage", "kSmallFileMessage",
                         "kReadFailedMessage", "kNoDrivesMessage"):
            with self.subTest(constant=constant):
                match = re.search(constant + r'\s*=\s*((?:\s*"(?:[^"\\]|\\.)*")+)', sources)
                self.assertIsNotNone(match, f"{constant} not found in the program's sources")
                message = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', match.group(1)))
                self.assertIn(message, text)


def read_page(data):
    """What a browser would follow in the page: its charset, headings, anchors, links, the index's entries, and any
    tag that fetches or runs something."""
    text = data.decode("cp1252")
    index = text[text.index('<A NAME="%s">' % hlphtml.INDEX_ANCHOR):]
    return {
        "charset": re.search(r'<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=([^"]+)">', text).group(1),
        "headings": [html.unescape(h) for h in re.findall(r'<H2><A NAME="[^"]*">(.*?)</A></H2>', text)],
        "anchors": set(re.findall(r'<A NAME="([^"]*)">', text)),
        "links": re.findall(r'<A HREF="([^"]*)">', text),
        "index": {(html.unescape(word), target) for target, word in re.findall(r'<LI><A HREF="#([^"]+)">([^<]*)</A>', index)},
        "outside": re.findall(r"<(?:SCRIPT|IMG|LINK|OBJECT|EMBED|I?FRAME|STYLE)\b|\bSRC=", text, re.I),
    }


class HtmlPageTests(unittest.TestCase):
    """The page that Windows without WinHelp shows: the built ZELKOR.HTM (beside the ZELKOR.HLP given), then a
    source that orders and names its topics awkwardly."""

    def test_built_page_holds_every_topic_and_every_link_resolves(self):
        with open(HELP_SOURCE, encoding="utf-8") as f:
            source = hlpc.parse_source(f.read(), HELP_SOURCE)
        built = os.environ.get("KORVANE_HELP_FILE")
        if built:
            with open(hlpc.html_path(built), "rb") as f:
                data = f.read()
        else:
            data = hlphtml.compile_html(source)
        page = read_page(data)
        self.assertEqual(page["charset"], "windows-1252")
        self.assertEqual(page["outside"], [])
        self.assertEqual(sorted(page["headings"]), sorted([t.title for t in source.topics] + ["Index"]))
        self.assertEqual(page["headings"][0], "Korvane Help Contents")
        self.assertEqual([href for href in page["links"] if href[1:] not in page["anchors"]], [])
        keywords = {(keyword, topic.id) for topic in source.topics for keyword in topic.keywords}
        self.assertEqual(page["index"], keywords)
        text = data.decode("cp1252")
        self.assertIn("<B>Sequential read of 384 blocks</B>", text)
        self.assertIn("relatively few files and/or subdirectories. &nbsp;For", text)

    def test_the_keyword_topic_comes_first_and_jumps_ignore_case(self):
        text = ("#helptitle T &amp; <T>\n#topic intro\n#title Intro\n\nSee {jump:Main the main topic} and {b:more}.\n\n"
                "#topic main\n#title Main\n#keywords Korvane; shared\n\n- {jump:INTRO intro}\n- two\n\nAfter.\n\n"
                "{jump:intro back}\n")
        data = hlphtml.compile_html(hlpc.parse_source(text, "t.txt"))
        page = read_page(data)
        self.assertEqual(page["headings"], ["Main", "Intro", "Index"])
        self.assertEqual(sorted(set(page["links"])), ["#intro", "#keyword-index", "#main"])
        data = data.decode("cp1252")
        self.assertIn("<TITLE>T &amp;amp; &lt;T&gt;</TITLE>", data)
        self.assertIn("<LI>two\r\n</UL>\r\n<P>After.", data)


class LayoutTests(unittest.TestCase):
    """Sources large enough for several topic blocks and several B+ tree pages."""

    @classmethod
    def setUpClass(cls):
        lines = ["#helptitle Big", "#topic contents", "#title All topics", "#keywords Korvane", ""]
        lines += [f"- {{jump:t{n} Topic number {n}}}" for n in range(400)]
        for n in range(400):
            lines += ["", f"#topic t{n}", f"#title Topic number {n}", f"#keywords word{n}; shared; k{n:03d}x", "",
                      f"First paragraph of topic {n}. " + "Filler text. " * (n % 40), "",
                      f"Back to the {{jump:contents contents}} from {n}."]
        cls.source = hlpc.parse_source("\n".join(lines), "big.txt")
        cls.help = hlpread.HelpFile(hlpc.compile_help(cls.source))

    def test_trees_and_topic_blocks_span_several_pages(self):
        self.assertGreater(self.help.block_count, 10)
        self.assertGreater(self.help.context_tree.levels, 1)
        self.assertGreater(len(self.help.context_tree.leaf_pages()), 1)

    def test_every_topic_is_found_by_its_context_and_title(self):
        self.assertEqual(len(self.help.pages), 401)
        for n in range(400):
            offset = self.help.find_context(hlpread.context_hash(f"t{n}"))
            page = self.help.page_at(offset)
            self.assertEqual(page.title, f"Topic number {n}")
            self.assertTrue(page.paragraphs[1].startswith(f"First paragraph of topic {n}."))
        self.assertEqual(len(reachable_pages(self.help)), 401)

    def test_topic_offsets_grow_and_never_repeat(self):
        offsets = [page.offset for page in self.help.pages]
        self.assertEqual(offsets, sorted(set(offsets)))

    def test_keywords_shared_by_topics_list_every_topic(self):
        self.assertEqual(len(self.help.keywords), 1 + 2 * 400 + 1)
        self.assertEqual(self.help.keywords["shared"], [p.offset for p in self.help.pages[1:]])
        self.assertEqual(self.help.keywords["word399"], [self.help.pages[400].offset])


class SourceErrorTests(unittest.TestCase):
    GOOD = "#helptitle T\n#topic contents\n#title Contents\n#keywords Korvane\n\nText {jump:other go}.\n\n#topic other\n#title Other\n"

    def assertErrorAt(self, text, line, words):
        with self.assertRaises(hlpc.SourceError) as caught:
            hlpc.parse_source(text, "help.txt")
        message = str(caught.exception)
        self.assertTrue(message.startswith(f"help.txt:{line}: error: "), message)
        self.assertIn(words, message)

    def test_good_source_compiles(self):
        help_file = compile_text(self.GOOD)
        self.assertEqual([p.title for p in help_file.pages], ["Contents", "Other"])

    def test_malformed_lines_are_reported_with_their_line(self):
        cases = [
            ("#topic contents\n#title A\n#frobnicate x\n", 3, "unknown directive '#frobnicate'"),
            ("Some text\n#topic a\n#title A\n", 1, "text before the first #topic"),
            ("#topic a\n#title A\n\nSee {jump:nowhere there}.\n", 4, "unknown topic 'nowhere'"),
            ("#topic a\n#title A\n\nOpen {b:brace\n", 4, "not closed"),
            ("#topic a\n#title A\n\nA {wobble:x} style\n", 4, "unknown markup 'wobble'"),
            ("#topic a\n#title A\n\nStray } here\n", 4, "without a matching"),
            ("#topic a b\n#title A\n", 1, "topic id 'a b'"),
            ("#topic a\n#title A\n#topic A\n#title B\n", 3, "already used on line 1"),
            ("#topic a\n\nText\n", 1, "has no #title"),
            ("#topic a\n#title A\n#title B\n", 3, "already has a title"),
            ("#topic a\n#title A\n#keywords x;;y\n", 3, "keyword needs"),
            ("#topic a\n#title A\n#helptitle late\n", 3, "before the first #topic"),
            ("#topic a\n#title A\n\n#topic b\n#title B\n", 4, "cannot be reached"),
            ("#topic a\n#title A\n\nA \u2192 arrow\n", 4, "no Windows-1252 code"),
            ("#topic a\n#title A\n\n" + "word " * 900 + "\n", 4, "too long"),
            ("; only a comment\n", 1, "no #topic"),
        ]
        for text, line, words in cases:
            with self.subTest(words=words):
                if words == "too long":
                    with self.assertRaises(hlpc.SourceError) as caught:
                        hlpc.compile_help(hlpc.parse_source(text, "help.txt"))
                    self.assertTrue(str(caught.exception).startswith(f"help.txt:{line}: error: "))
                else:
                    self.assertErrorAt(text, line, words)

    def test_command_line_fails_without_leaving_a_file(self):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "bad.txt")
            output = os.path.join(folder, "OUT.HLP")
            with open(source, "w", encoding="utf-8") as f:
                f.write(self.GOOD + "\n#bogus\n")
            run = subprocess.run([sys.executable, HLPC, source, "-o", output], capture_output=True, text=True)
            self.assertNotEqual(run.returncode, 0)
            self.assertEqual(run.stderr.strip(), f"{source}:11: error: unknown directive '#bogus'")
            self.assertEqual(os.listdir(folder), ["bad.txt"])

            with open(source, "w", encoding="utf-8") as f:
                f.write(self.GOOD)
            run = subprocess.run([sys.executable, HLPC, source, "-o", output], capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            with open(output, "rb") as f:
                self.assertEqual(struct.unpack_from("<I", f.read(4))[0], 0x00035F3F)


if __name__ == "__main__":
    unittest.main(verbosity=2)
