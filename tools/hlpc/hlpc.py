#!/usr/bin/env python3
"""hlpc: compiles the plain-text help source (res/help.txt) into an uncompressed WinHelp 3.1 file, and into one
plain HTML page beside it (the output's name with .HTM) for the Windows that have no WinHelp.

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
import sys
import tempfile

# The modules beside this one are imported from the source tree: no bytecode
# cache may be left there by a build.
sys.dont_write_bytecode = True

from hlpfile import compile_help  # noqa: E402
from hlphtml import compile_html  # noqa: E402
from hlpsource import SourceError, parse_source  # noqa: E402


def generation_date():
    """SOURCE_DATE_EPOCH when set, so that a build is reproducible; else 0."""
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    return int(value) & 0xFFFFFFFF if value.isdigit() else 0


def html_path(output):
    return os.path.splitext(output)[0] + ".HTM"


def write_output(path, data):
    """Writes under a temporary name first, so a failed build never leaves half a file; False on failure."""
    folder = os.path.dirname(os.path.abspath(path))
    temp = None
    try:
        fd, temp = tempfile.mkstemp(dir=folder, prefix=".hlpc-")
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temp, 0o666 & ~umask)
        os.replace(temp, path)
    except OSError as err:
        if temp and os.path.exists(temp):
            os.unlink(temp)
        print(f"{path}: error: cannot write the help file: {err}", file=sys.stderr)
        return False
    return True


def main(argv=None):
    parser = argparse.ArgumentParser(description="Compiles a help source into a WinHelp 3.1 file and an HTML page.")
    parser.add_argument("source")
    parser.add_argument("-o", "--output", required=True, help="the .HLP file; the page gets the same name with .HTM")
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
        page = compile_html(source)
    except SourceError as err:
        print(err, file=sys.stderr)
        return 1
    ok = write_output(args.output, data) and write_output(html_path(args.output), page)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
