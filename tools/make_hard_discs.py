#!/usr/bin/env python3
"""Generates the awkward test discs of the hardening tests: odd names, a path past 260
characters, unreadable entries and a label of the longest length.

usage: make_hard_discs.py KIND DIR   (KIND: names, bestfit, longpath, denyfile, denydir, longlabel)

A disc is made once; DIR.stamp records the kind so that a later call is free."""
import os, random, shutil, sys

MIB = 1024 * 1024

def write(path, size, seed):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    rng = random.Random(seed)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, MIB)
            f.write(rng.randbytes(n))
            left -= n

def names(root):
    # Blanks, percent signs, ampersands and characters outside ASCII, in folders
    # and files; the largest file has them all, including one the ANSI code page
    # cannot spell.
    odd = os.path.join(root, "Ordner mit Leerzeichen & 50%")
    write(os.path.join(odd, "Größte Datei & 100% Ωmega.bin"), 3 * MIB, 1)
    write(os.path.join(odd, "%s%d%%.txt"), 100, 2)
    write(os.path.join(root, "R&D notes.txt"), 200, 3)
    write(os.path.join(root, "Ünïcödé", "日本語のファイル.txt"), 300, 4)
    write(os.path.join(root, "Ünïcödé", "café au lait.dat"), MIB, 5)
    write(os.path.join(root, " leading and trailing blanks ", "x.txt"), 10, 6)

def bestfit(root):
    # The only large file sits in a folder whose name the ANSI code page spells
    # only "best fit" (Greek capital omega becomes a plain O): no '?' betrays it.
    write(os.path.join(root, "Ωmega folder", "INSIDE.DAT"), 3 * MIB, 15)
    write(os.path.join(root, "README.TXT"), 100, 16)

def longpath(root):
    # The largest file lies past 260 characters; a smaller one of 2.5 MiB is near.
    far = os.path.join(root, "A" * 150, "B" * 140)
    write(os.path.join(far, "BEYOND.DAT"), 3 * MIB, 7)
    write(os.path.join(root, "NEAR.DAT"), 5 * MIB // 2, 8)

def denyfile(root):
    # The largest file cannot be opened (served by denyfs, which refuses mode 000 even to root).
    write(os.path.join(root, "LOCKED.DAT"), 3 * MIB, 9)
    write(os.path.join(root, "OPEN.DAT"), 5 * MIB // 2, 10)
    os.chmod(os.path.join(root, "LOCKED.DAT"), 0)

def denydir(root):
    # A folder that cannot be listed holds the largest file; the walk has to skip it.
    shut = os.path.join(root, "SHUT")
    write(os.path.join(shut, "BIGGEST.DAT"), 4 * MIB, 11)
    write(os.path.join(shut, "OTHER.TXT"), 10, 12)
    write(os.path.join(root, "OPEN.DAT"), 5 * MIB // 2, 13)
    os.chmod(shut, 0)

def longlabel(root):
    write(os.path.join(root, "DATA", "LABELED.DAT"), 3 * MIB, 14)

KINDS = {"names": names, "longpath": longpath, "denyfile": denyfile, "denydir": denydir, "longlabel": longlabel, "bestfit": bestfit}

def main():
    if len(sys.argv) != 3 or sys.argv[1] not in KINDS:
        sys.exit(__doc__)
    kind, root = sys.argv[1], sys.argv[2].rstrip("/")
    stamp = root + ".stamp"
    if os.path.exists(stamp) and open(stamp).read() == kind:
        return
    if os.path.exists(root):
        for dirpath, dirnames, _ in os.walk(root):
            for d in dirnames:
                os.chmod(os.path.join(dirpath, d), 0o755)
        shutil.rmtree(root)
    KINDS[kind](root)
    with open(stamp, "w") as f:
        f.write(kind)

if __name__ == "__main__":
    main()
