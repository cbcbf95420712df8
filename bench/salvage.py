# SPDX-License-Identifier: GPL-3.0-or-later
"""Times `oru recover` on an archive whose catalog is zeroed, against `igzip -d` of one .gz of
the same content.

The archive holds the benchmark corpus (corpus.make_big, ORU_BENCH_BIG_MIB MiB); its catalog is
overwritten with zeros, so that salvage finds every stored file by scanning the data area,
inflating each stream and checking its Adler-32. The peer decodes one .gz file of the same
content (made by igzip -1) to a file. Target: salvage takes at most twice as long.

Used by bench/compare (one row of its table) and on its own through bench/salvage.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402
import corpus  # noqa: E402

MAX_RATIO = 2.0


def zero_catalog(archive, damaged):
    with open(archive, "rb") as f:
        data = bytearray(f.read())
    offset = int.from_bytes(data[4:8], "little")
    data[offset:] = bytes(len(data) - offset)
    with open(damaged, "wb") as f:
        f.write(data)


def measure_salvage(oru, work, big_bin, runs):
    """Returns (salvage, igzip -d) measurements for big_bin, made in work."""
    W = lambda *p: os.path.join(work, *p)  # noqa: E731
    archive, damaged, saved = W("salvage.oru"), W("salvage-damaged.oru"), W("salvage-saved.oru")
    compare.rm(archive, damaged, saved)
    subprocess.run([oru, "-q", "add", archive, big_bin], cwd=work, check=True)
    zero_catalog(archive, damaged)
    with open(W("salvage.gz"), "wb") as gz:
        subprocess.run(["igzip", "-1", "-c", big_bin], cwd=work, stdout=gz, check=True)
    # Exit status 1 is salvage's answer here: every name had to be made up.
    ours = compare.measure([oru, "-q", "recover", damaged, saved], work, lambda: compare.rm(saved), runs=runs,
                           ok=(0, 1))
    peer = compare.measure(["igzip", "-d", "-c", "salvage.gz"], work, stdout_path=W("salvage.out"), runs=runs)
    listing = subprocess.run([oru, "list", saved], cwd=work, check=True, capture_output=True, text=True).stdout
    found = [line for line in listing.splitlines() if line.startswith("f\t")]
    if len(found) != 1 or int(found[0].split("\t")[1]) != os.path.getsize(big_bin):
        raise compare.Failed("salvage did not bring the stored file back: %r" % listing[:300])
    stored = compare.stored_bytes(archive)
    compare.rm(archive, damaged, saved, W("salvage.gz"), W("salvage.out"))
    return ours, peer, stored


def measure_tree_salvage(oru, work, tree, runs):
    """The same for a tree of small files: (salvage, igzip -d of their content as one .gz, files)."""
    W = lambda *p: os.path.join(work, *p)  # noqa: E731
    archive, damaged, saved = W("salvage-tree.oru"), W("salvage-tree-damaged.oru"), W("salvage-tree-saved.oru")
    compare.rm(archive, damaged, saved)
    subprocess.run([oru, "-q", "add", archive, tree], cwd=work, check=True)
    zero_catalog(archive, damaged)
    files = corpus.tree_files(tree)
    with open(W("salvage-tree.cat"), "wb") as out:
        for name in files:
            with open(os.path.join(tree, name), "rb") as f:
                out.write(f.read())
    with open(W("salvage-tree.gz"), "wb") as gz:
        subprocess.run(["igzip", "-1", "-c", W("salvage-tree.cat")], cwd=work, stdout=gz, check=True)
    ours = compare.measure([oru, "-q", "recover", damaged, saved], work, lambda: compare.rm(saved), runs=runs,
                           ok=(0, 1))
    peer = compare.measure(["igzip", "-d", "-c", "salvage-tree.gz"], work, stdout_path=W("salvage-tree.out"),
                           runs=runs)
    listing = subprocess.run([oru, "list", saved], cwd=work, check=True, capture_output=True, text=True).stdout
    found = sum(1 for line in listing.splitlines() if line.startswith("f\t"))
    if found != len(files):
        raise compare.Failed("salvage found %d of the tree's %d files" % (found, len(files)))
    compare.rm(archive, damaged, saved, W("salvage-tree.gz"), W("salvage-tree.out"), W("salvage-tree.cat"))
    return ours, peer, len(files)


def main():
    oru = os.path.abspath(sys.argv[1])
    work = os.path.abspath(sys.argv[2])
    os.makedirs(work, exist_ok=True)
    big = os.path.join(work, "salvage-big-%d.bin" % compare.BIG_MIB)
    if not os.path.exists(big):
        print("making the corpus in %s ..." % work, flush=True)
        corpus.make_big(big, compare.BIG_MIB)
    ours, peer, stored = measure_salvage(oru, work, big, compare.RUNS)
    ratio = ours["median_s"] / peer["median_s"]
    print("salvage of %d MiB (%.1f MiB stored), catalog zeroed: oru recover %.3f s (peak %.0f MiB), "
          "igzip -d %.3f s, ratio %.2f (target <= %.1f) %s"
          % (compare.BIG_MIB, stored / 2**20, ours["median_s"], ours["peak_mib"], peer["median_s"], ratio,
             MAX_RATIO, "met" if ratio <= MAX_RATIO else "MISSED"))
    print("runs: oru %s, igzip %s" % (["%.3f" % t for t in ours["runs_s"]], ["%.3f" % t for t in peer["runs_s"]]))
    missed = ratio > MAX_RATIO
    # Many small streams: each found by the scan, the pieces decoded on both cores.
    tree = os.path.join(work, "salvage-tree-%d" % compare.SMALL_FILES)
    if not os.path.exists(tree):
        corpus.make_tree(os.path.join(tree, "tree"), compare.SMALL_FILES)
    ours, peer, files = measure_tree_salvage(oru, work, os.path.join(tree, "tree"), compare.RUNS)
    ratio = ours["median_s"] / peer["median_s"]
    print("salvage of %d small files, catalog zeroed: oru recover %.3f s (peak %.0f MiB), igzip -d of their "
          "content as one .gz %.3f s, ratio %.2f (target <= %.1f) %s"
          % (files, ours["median_s"], ours["peak_mib"], peer["median_s"], ratio, MAX_RATIO,
             "met" if ratio <= MAX_RATIO else "MISSED"))
    print("runs: oru %s, igzip %s" % (["%.3f" % t for t in ours["runs_s"]], ["%.3f" % t for t in peer["runs_s"]]))
    missed |= ratio > MAX_RATIO
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
