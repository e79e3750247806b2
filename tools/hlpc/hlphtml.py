"""The help source as one plain HTML 3.2 page in Windows-1252: every topic, its jumps as links within the page, and
an index of the keywords. It is what Windows Vista and later, which have no WinHelp, show in the user's browser."""
from html import escape

from hlpformat import FONTS

# The keyword the program opens WinHelp at (app/benchapp.cpp). A #fragment on a file path does not survive
# ShellExecute on every Windows, so the page opens at its top: the topic this keyword names comes first.
OPEN_KEYWORD = "Korvane"
# Not a topic id (those hold no '-'), so it can never clash with one.
INDEX_ANCHOR = "keyword-index"


def page_order(source):
    """The topics in source order, the one that OPEN_KEYWORD names moved to the front."""
    topics = list(source.topics)
    for topic in topics:
        if OPEN_KEYWORD.lower() in (k.lower() for k in topic.keywords):
            topics.remove(topic)
            return [topic] + topics
    return topics


def text_html(text):
    # A message quoted with two blanks after a full stop keeps them.
    return escape(text, quote=True).replace("  ", " &nbsp;")


def run_html(style, text, target, anchors):
    body = text_html(text)
    _, attributes, _, colour = FONTS[style]
    if attributes & 1:
        body = f"<B>{body}</B>"
    if attributes & 2:
        body = f"<I>{body}</I>"
    if colour != (0, 0, 0):
        body = '<FONT COLOR="#%02X%02X%02X">%s</FONT>' % (colour + (body,))
    if target:
        body = f'<A HREF="#{anchors[target.lower()]}">{body}</A>'
    return body


def topic_html(topic, anchors):
    lines = [f'<H2><A NAME="{topic.id}">{text_html(topic.title)}</A></H2>']
    in_list = False
    for para in topic.paragraphs:
        if para.bullet != in_list:
            lines.append("<UL>" if para.bullet else "</UL>")
            in_list = para.bullet
        body = "".join(run_html(style, text, target, anchors) for style, text, target in para.runs)
        lines.append(("<LI>" if para.bullet else "<P>") + body)
    if in_list:
        lines.append("</UL>")
    return lines


def index_html(topics):
    entries = {}
    for topic in topics:
        for keyword in topic.keywords:
            entries.setdefault(keyword, []).append(topic)
    lines = [f'<H2><A NAME="{INDEX_ANCHOR}">Index</A></H2>', "<UL>"]
    for keyword in sorted(entries, key=str.lower):
        found = entries[keyword]
        if len(found) == 1:
            lines.append(f'<LI><A HREF="#{found[0].id}">{text_html(keyword)}</A>')
        else:
            links = ", ".join(f'<A HREF="#{t.id}">{text_html(t.title)}</A>' for t in found)
            lines.append(f"<LI>{text_html(keyword)}: {links}")
    lines.append("</UL>")
    return lines


def compile_html(source):
    """The page as Windows-1252 bytes with CR LF line ends (it is also read in Notepad)."""
    topics = page_order(source)
    anchors = {topic.id.lower(): topic.id for topic in topics}
    first = topics[0].id
    title = text_html(source.title or topics[0].title)
    lines = ['<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 3.2 Final//EN">', "<HTML>", "<HEAD>",
             '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=windows-1252">',
             f"<TITLE>{title}</TITLE>", "</HEAD>",
             '<BODY BGCOLOR="#FFFFFF" TEXT="#000000" LINK="#008000" VLINK="#008000">']
    for topic in topics:
        lines += topic_html(topic, anchors)
        lines.append(f'<P><A HREF="#{first}">Contents</A> | <A HREF="#{INDEX_ANCHOR}">Index</A>')
        lines.append("<HR>")
    lines += index_html(topics)
    if source.copyright:
        lines += ["<HR>", f"<P><SMALL>{text_html(source.copyright)}</SMALL>"]
    lines += ["</BODY>", "</HTML>", ""]
    return "\r\n".join(lines).encode("cp1252")
