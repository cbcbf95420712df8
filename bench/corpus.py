# SPDX-License-Identifier: GPL-3.0-or-later
"""Deterministic benchmark corpus for bench/compare: no downloads, same bytes on every machine.

make_big(path, mib): one file of mixed data in 1 MiB blocks: three of text, three of binary
records and one of random bytes in every seven (one seventh incompressible).
make_tree(root, files): files of 200 to 8192 bytes (text and binary), 50 per folder, in
folders named uniquely (the archive links folders by name), two levels deep.
"""

import os
import random
import struct

MIB = 1 << 20
WORDS = ("archive catalog folder entry stored offset size date header packet stream deflate "
         "window block table cursor filter order bookmark change log merge compact extract "
         "delete insert modify status slot field value text binary record length checksum "
         "the of and to in is that for on with as by at from this be or are an it").split()


def _text_block(rng, size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        if rng.random() < 0.2:
            line += " %d %08x" % (rng.randint(0, 10**6), rng.getrandbits(32))
        line += ".\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def _binary_block(rng, size):
    # Records as a program would write them: counters, small values, floats, padding.
    recs, n, counter = [], 0, rng.getrandbits(20)
    while n < size:
        counter += rng.randint(1, 9)
        rec = struct.pack("<IHhfd8s", counter, rng.randint(0, 500), rng.randint(-50, 50),
                          rng.random() * 100, float(counter) / 7, b"\0" * rng.randint(0, 8))
        recs.append(rec)
        n += len(rec)
    return b"".join(recs)[:size]


def make_big(path, mib, seed=1):
    rng = random.Random(seed)
    texts = [_text_block(rng, MIB) for _ in range(8)]
    bins = [_binary_block(rng, MIB) for _ in range(8)]
    kinds = "tbtrbtb"  # text, binary, random: one block in seven incompressible
    with open(path, "wb") as f:
        for i in range(mib):
            kind = kinds[i % 7]
            if kind == "r":
                f.write(rng.randbytes(MIB))
                continue
            # Rotating a stock block gives new data for a 32 KiB deflate window.
            block = rng.choice(texts if kind == "t" else bins)
            cut = rng.randrange(MIB)
            f.write(block[cut:] + block[:cut])


def make_tree(root, files, seed=2):
    rng = random.Random(seed)
    pool_text = _text_block(rng, 4 * MIB)
    pool_bin = _binary_block(rng, 4 * MIB)
    per_folder = 50
    folders = max(1, (files + per_folder - 1) // per_folder)
    groups = max(1, folders // 10)
    made = 0
    for d in range(folders):
        folder = os.path.join(root, "g%03d" % (d % groups), "g%03d_%04d" % (d % groups, d))
        os.makedirs(folder, exist_ok=True)
        for k in range(per_folder):
            if made == files:
                return
            size = rng.randint(200, 8192)
            text = rng.random() < 0.7
            pool = pool_text if text else pool_bin
            start = rng.randrange(len(pool) - size)
            name = "f%04d.%s" % (k, "txt" if text else "bin")
            with open(os.path.join(folder, name), "wb") as f:
                f.write(pool[start:start + size])
            made += 1


def tree_files(root):
    """Relative paths of the files below root, sorted."""
    result = []
    for dirpath, _, names in os.walk(root):
        for n in names:
            result.append(os.path.relpath(os.path.join(dirpath, n), root))
    return sorted(result)


def make_tiny_tree(root, files, folders=1000, seed=3):
    """files tiny files (10 to 200 bytes of text) spread evenly over folders folders: the tree of
    the scale tier, where the cost per entry, not per byte, is measured."""
    rng = random.Random(seed)
    words = [b"oru", b"archive", b"entry", b"folder", b"catalog", b"name", b"time", b"mode"]
    for d in range(folders):
        os.makedirs(os.path.join(root, "d%04d" % d), exist_ok=True)
    for i in range(files):
        body = b" ".join(rng.choice(words) for _ in range(rng.randint(2, 30)))
        with open(os.path.join(root, "d%04d" % (i % folders), "f%07d.txt" % i), "wb") as f:
            f.write(body)
