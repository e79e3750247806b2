#!/usr/bin/env python3
"""Generates the test and sample discs: deterministic directory trees of known shape.

usage: make_disc.py KIND DIR     (KIND: sample, small, tinyfiles, wide, deep)

A disc is made once; DIR.stamp records the kind so that a later call is free."""
import os, random, sys

def write(path, size, rng):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 1 << 20)
            f.write(rng.randbytes(n))
            left -= n

def tree(root, rng, top, fanout, depth, files_per_dir, names=("DIR", "SUB", "PART")):
    """Nested folders; every folder holds files_per_dir small files."""
    dirs = []
    def make(parent, level):
        if level == depth:
            return
        count = top if level == 0 else fanout
        for i in range(count):
            d = os.path.join(parent, "%s%02d" % (names[min(level, len(names) - 1)], i))
            os.makedirs(d, exist_ok=True)
            dirs.append(d)
            for k in range(files_per_dir):
                write(os.path.join(d, "FILE%03d.TXT" % k), rng.randint(64, 6000), rng)
            make(d, level + 1)
    make(root, 0)
    return dirs

def sample(root):
    # 8 + 32 + 128 folders with 10 files each: weight 168 * 10 + 1680 + 2 > 3000.
    rng = random.Random(1998)
    tree(root, rng, 8, 4, 3, 10)
    write(os.path.join(root, "README.TXT"), 1500, rng)
    write(os.path.join(root, "DIR03", "SUB01", "MOVIE.DAT"), 4 * 1024 * 1024 + 1000, rng)

def small(root):
    rng = random.Random(7)
    tree(root, rng, 3, 0, 1, 6)
    write(os.path.join(root, "DIR01", "BIGFILE.BIN"), 3 * 1024 * 1024, rng)

def tinyfiles(root):
    # 300 folders and their files weigh over 3000, but no file reaches 2 MiB.
    rng = random.Random(11)
    tree(root, rng, 10, 29, 2, 0)
    for i in range(100):
        write(os.path.join(root, "F%03d.DAT" % i), 100, rng)
    write(os.path.join(root, "LARGEST.DAT"), 2 * 1024 * 1024 - 1, rng)

def wide(root):
    # One folder of 50,000 empty files and one big file: a long walk.
    os.makedirs(os.path.join(root, "MANY"), exist_ok=True)
    for i in range(50000):
        open(os.path.join(root, "MANY", "F%05d.TXT" % i), "wb").close()
    write(os.path.join(root, "BIG.DAT"), 3 * 1024 * 1024, random.Random(3))

def deep(root):
    # 120 nested folders, each with one file; a long path at the bottom.
    rng = random.Random(5)
    d = root
    for i in range(120):
        d = os.path.join(d, "LEVEL%03d" % i)
        os.makedirs(d, exist_ok=True)
        write(os.path.join(d, "F.TXT"), 10, rng)
    write(os.path.join(d, "DEEPEST.DAT"), 2 * 1024 * 1024 + 4096, rng)

KINDS = {"sample": sample, "small": small, "tinyfiles": tinyfiles, "wide": wide, "deep": deep}

def main():
    if len(sys.argv) != 3 or sys.argv[1] not in KINDS:
        sys.exit(__doc__)
    kind, root = sys.argv[1], sys.argv[2]
    stamp = root.rstrip("/") + ".stamp"
    if os.path.exists(stamp) and open(stamp).read() == kind:
        return
    os.makedirs(root, exist_ok=True)
    KINDS[kind](root)
    with open(stamp, "w") as f:
        f.write(kind)

if __name__ == "__main__":
    main()
