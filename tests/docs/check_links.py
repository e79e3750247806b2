#!/usr/bin/env python3
"""Every relative link and picture in README.md, docs/ and tests/README.md points at
a file of the tree, and every #anchor at a heading of its page.
usage: check_links.py ROOT"""
import os, re, sys

LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)|^\s*\[[^\]]+\]:\s*(\S+)", re.M)


def pages(root):
    yield os.path.join(root, "README.md")
    yield os.path.join(root, "tests", "README.md")
    for folder, _, names in os.walk(os.path.join(root, "docs")):
        yield from (os.path.join(folder, n) for n in sorted(names) if n.endswith(".md"))


def prose(text):
    """The text without fenced code blocks and inline code, where brackets are not links."""
    text = re.sub(r"^(```|~~~).*?^\1[^\n]*$", "", text, flags=re.M | re.S)
    return re.sub(r"`[^`\n]*`", "", text)


def anchors(path):
    """The anchors a renderer gives the headings of a Markdown page."""
    seen, out = {}, set()
    with open(path, encoding="utf-8") as f:
        for title in re.findall(r"^#{1,6}\s+(.*?)\s*#*\s*$", prose(f.read()), re.M):
            slug = re.sub(r"[^\w\- ]", "", title.lower()).replace(" ", "-")
            n = seen.get(slug, 0)
            seen[slug] = n + 1
            out.add(slug if n == 0 else f"{slug}-{n}")
    return out


def main(root):
    broken, count = [], 0
    for page in pages(root):
        with open(page, encoding="utf-8") as f:
            text = prose(f.read())
        for match in LINK.finditer(text):
            target = match.group(1) or match.group(2)
            if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
                continue  # http:, mailto: ...
            count += 1
            path, _, anchor = target.partition("#")
            file = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            where = f"{os.path.relpath(page, root)}: {target}"
            if not os.path.exists(file):
                broken.append(f"{where}: no {os.path.relpath(file, root)}")
            elif anchor and file.endswith(".md") and anchor not in anchors(file):
                broken.append(f"{where}: no heading #{anchor}")
    for line in broken:
        print(line)
    print(f"{count} relative links, {len(broken)} broken")
    return 1 if broken or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
