# SPDX-License-Identifier: GPL-3.0-or-later
"""The scale tier of bench/compare: trees of tiny files in 1,000 folders (100,000 and 1,000,000
files by default), each job of oru timed beside its peer in the same run, medians of
ORU_BENCH_SCALE_RUNS runs, peak memory from /usr/bin/time -v, and the growth of each job from the
smallest tree to the largest.

Targets: add <= 0.8 x zip -1 -r; extract <= 0.8 x unzip and <= 1.0 x tar -x of an uncompressed tar;
list <= 1.2 x unzip -l; test <= 1.5 x unzip -t; delete of one entry <= 2 x cp + sync of the archive;
peak memory at 1,000,000 entries <= 256 MiB for list, test, extract and delete; every job at the
largest tree within 11 x its time at the tree ten times smaller (scaled by the ratio of the sizes).
"""

import os
import shutil
import subprocess

import compare
import corpus

SIZES = [int(s) for s in os.environ.get("ORU_BENCH_SCALE_FILES", "100000 1000000").split()]
RUNS = compare.env_int("ORU_BENCH_SCALE_RUNS", 3)
MEMORY_MIB = 256
MEMORY_AT = 1000000


def run(oru, work):
    W = lambda *p: os.path.join(work, *p)  # noqa: E731
    rows, failures = [], []
    medians = {}  # (job, files) -> seconds

    def attempt(fn):
        try:
            return fn()
        except compare.Failed as e:
            print("  FAILED: %s" % e, flush=True)
            failures.append(str(e))
            return None

    def task(name, job, files, ours, peers, targets):
        row = {"task": name, "oru": ours, "peers": {}, "targets": [], "note": ""}
        for peer_name, m in peers:
            row["peers"][peer_name] = dict(m, ratio=ours["median_s"] / m["median_s"] if m["median_s"] else None)
        for peer_name, limit in targets:
            ratio = row["peers"][peer_name]["ratio"]
            row["targets"].append({"peer": peer_name, "max_ratio": limit,
                                   "met": ratio is not None and ratio <= limit})
        if files >= MEMORY_AT and job in ("list", "test", "extract", "delete one"):
            row["memory_target"] = {"peak_mib": ours["peak_mib"], "max_mib": MEMORY_MIB,
                                    "met": ours["peak_mib"] <= MEMORY_MIB}
            row["note"] = "peak %.0f MiB, limit %d MiB" % (ours["peak_mib"], MEMORY_MIB)
        medians[(job, files)] = ours["median_s"]
        rows.append(row)
        compare.print_row(row)

    print("oru scale tier: trees of %s tiny files in 1,000 folders, %d runs, median reported"
          % (", ".join(str(s) for s in SIZES), RUNS), flush=True)
    compare.print_header()
    for files in SIZES:
        base = W("scale-%d" % files)
        stamp = os.path.join(base, "stamp")
        if not os.path.exists(stamp):
            print("making %d tiny files in %s ..." % (files, base), flush=True)
            compare.rm(base)
            corpus.make_tiny_tree(os.path.join(base, "tree"), files)
            open(stamp, "w").write("v1")
        archive = os.path.join(base, "t.oru")
        label = "%d tiny files" % files
        fresh = lambda: (compare.rm(archive), subprocess.run([oru, "new", archive], check=True))  # noqa: E731
        m = compare.measure
        add = attempt(lambda: m([oru, "-q", "add", archive, "tree"], base, fresh, runs=RUNS))
        zip_add = m(["zip", "-1", "-r", "-q", "t.zip", "tree"], base, lambda: compare.rm(os.path.join(base, "t.zip")),
                    runs=RUNS)
        subprocess.run(["tar", "-cf", "t.tar", "tree"], cwd=base, check=True)
        if add:
            task(label + ": add", "add", files, add, [("zip -1 -r", zip_add)], [("zip -1 -r", 0.8)])
        else:
            subprocess.run([oru, "-q", "add", archive, "tree"], cwd=base, check=False)
        # Every run extracts into a folder of its own; the folders go after both tools ran (see
        # the note on ext4 in compare.py).
        ext = attempt(lambda: m([oru, "-q", "extract", archive, "out-{run}"], base, runs=RUNS))
        unz = m(["unzip", "-q", "-o", "t.zip", "-d", "unz-{run}"], base, runs=RUNS)
        untar = m(["sh", "-c", "mkdir -p tar-{run} && tar -xf t.tar -C tar-{run}"], base, runs=RUNS)
        compare.rm(*[os.path.join(base, "%s-%d" % (d, i)) for d in ("out", "unz", "tar") for i in range(RUNS)])
        if ext:
            task(label + ": extract", "extract", files, ext, [("unzip", unz), ("tar -x", untar)],
                 [("unzip", 0.8), ("tar -x", 1.0)])
        lst = attempt(lambda: m([oru, "list", archive], base, runs=RUNS))
        unz_l = m(["unzip", "-l", "t.zip"], base, runs=RUNS)
        if lst:
            task(label + ": list", "list", files, lst, [("unzip -l", unz_l)], [("unzip -l", 1.2)])
        tst = attempt(lambda: m([oru, "-q", "test", archive], base, runs=RUNS))
        unz_t = m(["unzip", "-tq", "t.zip"], base, runs=RUNS)
        if tst:
            task(label + ": test", "test", files, tst, [("unzip -t", unz_t)], [("unzip -t", 1.5)])
        work_oru = os.path.join(base, "work.oru")
        copy = lambda: shutil.copyfile(archive, work_oru)  # noqa: E731
        dele = attempt(lambda: m([oru, "-q", "delete", work_oru, "tree/d0000/f0000000.txt"], base, copy, runs=RUNS))
        cp_sync = m(["sh", "-c", "cp t.oru copy.oru && sync copy.oru"], base,
                    lambda: compare.rm(os.path.join(base, "copy.oru")), runs=RUNS)
        if dele:
            task(label + ": delete one", "delete one", files, dele, [("cp && sync", cp_sync)], [("cp && sync", 2.0)])
        compare.rm(work_oru, os.path.join(base, "copy.oru"), os.path.join(base, "t.zip"),
                   os.path.join(base, "t.tar"))

    # Growth from each size to the next: at most 11 x for ten times the entries, scaled.
    for small, large in zip(SIZES, SIZES[1:]):
        limit = 11.0 * (large / small) / 10.0
        for job in ("add", "extract", "list", "test", "delete one"):
            if (job, small) in medians and (job, large) in medians:
                growth = medians[(job, large)] / medians[(job, small)]
                rows.append({"task": "%s growth %d -> %d" % (job, small, large),
                             "growth": {"ratio": growth, "max_ratio": limit, "met": growth <= limit}})
                print("%-30s %.2f x (target <= %.1f) %s" % ("%s growth" % job, growth, limit,
                                                           "met" if growth <= limit else "MISSED"))
    return rows, failures
