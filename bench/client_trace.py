"""What one progress step and one path text of bench/client_bench ask of Wine.

usage: client_trace.py REQUESTS FLUSHES
REQUESTS is the wineserver's request log (wineserver -f -d1) of one
client_bench run, FLUSHES that run's WINEDEBUG=+bitblt output. A call's
requests are those its thread makes from one request that starts such a call to
the next: a step starts with the progress bar's redraw_window, and the progress
windows are those with about 32 steps each; a text starts with the look-up of
the dialog's item (get_window_children), about 1000 times in the walk window.
"""
import collections
import re
import sys

REQUEST = re.compile(r"^([0-9a-f]{4}): ([a-z_]+)\( (.*)$")
WINDOW = re.compile(r"(?:window|parent)=([0-9a-f]+)")


def calls(path, start):
    """{(thread, window): [[request names of one call], ...]}, a call starting at each request `start`"""
    found = collections.defaultdict(list)
    current = {}
    with open(path, errors="replace") as log:
        for line in log:
            m = REQUEST.match(line)
            if not m:
                continue
            thread, name, args = m.groups()
            if name == start:
                w = WINDOW.search(args)
                current[thread] = (w.group(1) if w else "?", [])
                found[(thread, current[thread][0])].append(current[thread][1])
            if thread in current:
                current[thread][1].append(name)
    return found


def describe(what, lists):
    lists = [l for l in lists if len(l) <= 40]   # a window's making or its end is not a call
    if not lists:
        return
    pattern, seen = collections.Counter(tuple(l) for l in lists).most_common(1)[0]
    counts = collections.Counter(pattern)
    print("%s: %d requests in %d of %d calls (median %d): %s" % (
        what, len(pattern), seen, len(lists), sorted(len(l) for l in lists)[len(lists) // 2],
        ", ".join("%s x%d" % (n, c) if c > 1 else n for n, c in counts.most_common())))


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    found = calls(sys.argv[1], "redraw_window")
    steps = [l for (t, w), ls in found.items() if 28 <= len(ls) <= 36 for l in ls]
    step_threads = {t for (t, w), ls in found.items() if 28 <= len(ls) <= 36}
    texts = max(calls(sys.argv[1], "get_window_children").values(), key=len, default=[])
    describe("one progress step (wineserver)", steps)
    if len(texts) >= 900:
        describe("one path text (wineserver)", texts)
    flushes = collections.Counter()
    with open(sys.argv[2], errors="replace") as log:
        for line in log:
            if "x11drv_surface_flush" in line:
                flushes[line.split(":", 1)[0][-4:]] += 1
    for t in sorted(step_threads):
        print("window-surface flushes to X by thread %s, which made 12 read windows and their 384 steps, "
              "the walk window and its 1000 texts: %d" % (t, flushes[t]))
    if not steps:
        print("client_trace: no progress steps found in %s" % sys.argv[1], file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
