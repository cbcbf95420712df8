#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Random operations on one archive through the `oru` tool, checked against a model.

The model maps each entry's path (names from the top level joined by "/") to None for a folder
or to the bytes of a file. Every name the generator makes is new, so the stored hierarchy (which
links folders by name) is a plain tree and each path names one entry. After every operation
`oru test` must pass and `oru list` must show exactly the model's entries with their sizes.
The first difference stops the run with exit status 1 and keeps the work folder.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

# Name decorations: Chinese (code page 950), spaces, a single quote (quoted in filters), a
# leading dot (hidden files).
DECOR = ["", "", "", " 資料", "說明", "'s", " copy", "中文檔案", "x y"]


class Failure(Exception):
    pass


class Soak:
    def __init__(self, oru, work, rng):
        self.oru = oru
        self.work = work
        self.rng = rng
        self.archive = os.path.join(work, "a.oru")
        self.model = {}  # path -> None (folder) or bytes (file)
        self.counter = 0
        self.counts = {}
        self.env = dict(os.environ, LANG="C.UTF-8", TZ="UTC")
        self.env.pop("LC_ALL", None)

    # --- running oru -----------------------------------------------------------------------

    def run(self, *args, ok=True):
        r = subprocess.run([self.oru, "-q", *args], cwd=self.work, env=self.env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        if ok and r.returncode != 0:
            raise Failure("oru %s exited %d: %s" % (" ".join(args), r.returncode,
                                                      r.stderr.decode("utf-8", "replace").strip()))
        return r

    # --- names and generated sources -------------------------------------------------------

    def name(self, kind):
        self.counter += 1
        decor = self.rng.choice(DECOR)
        base = "%s%d%s" % (kind, self.counter, decor)
        if kind == "f" and self.rng.random() < 0.1:
            base = "." + base  # hidden
        if kind == "f" and self.rng.random() < 0.7:
            base += self.rng.choice([".txt", ".bin", ".dat"])
        return base

    def content(self):
        r = self.rng.random()
        if r < 0.1:
            size = 0
        elif r < 0.95:
            size = self.rng.randint(1, 16 << 10)
        else:
            size = self.rng.randint(16 << 10, 256 << 10)
        if self.rng.random() < 0.5:
            return self.rng.randbytes(size)
        words = [b"alpha ", b"beta ", b"gamma\n", b"\x00\x01", "中文".encode()]
        out = bytearray()
        while len(out) < size:
            out += self.rng.choice(words)
        return bytes(out[:size])

    def make_tree(self, disk, path, depth):
        """Makes a folder on disk with random content; returns its model entries."""
        os.mkdir(disk)
        entries = {path: None}
        for _ in range(self.rng.randint(0, 4)):
            if depth < 3 and self.rng.random() < 0.3:
                n = self.name("d")
                entries.update(self.make_tree(os.path.join(disk, n), path + "/" + n, depth + 1))
            else:
                n = self.name("f")
                data = self.content()
                with open(os.path.join(disk, n), "wb") as f:
                    f.write(data)
                entries[path + "/" + n] = data
        return entries

    # --- operations ------------------------------------------------------------------------

    def op_add(self):
        src = os.path.join(self.work, "src")
        shutil.rmtree(src, ignore_errors=True)
        os.mkdir(src)
        paths, added = [], {}
        for _ in range(self.rng.randint(1, 3)):
            if self.rng.random() < 0.4:
                n = self.name("d")
                added.update(self.make_tree(os.path.join(src, n), n, 1))
            else:
                n = self.name("f")
                data = self.content()
                with open(os.path.join(src, n), "wb") as f:
                    f.write(data)
                added[n] = data
            paths.append(os.path.join("src", n))
        self.run("add", "a.oru", *paths)
        self.model.update(added)
        shutil.rmtree(src)

    def op_delete(self):
        if not self.model:
            return self.op_add()
        victims = self.rng.sample(sorted(self.model), min(len(self.model), self.rng.randint(1, 2)))
        # A victim below another victim is gone with it before its turn: keep the outer one.
        victims = [v for v in victims if not any(v.startswith(o + "/") for o in victims)]
        self.run("delete", "a.oru", *victims)
        for v in victims:
            for p in [p for p in self.model if p == v or p.startswith(v + "/")]:
                del self.model[p]

    def op_compact(self):
        self.run("compact", "a.oru")

    def op_extract(self):
        out = os.path.join(self.work, "out")
        shutil.rmtree(out, ignore_errors=True)
        if self.model and self.rng.random() < 0.5:
            entry = self.rng.choice(sorted(self.model))
            self.run("extract", "a.oru", "out", entry)
            # The entry lands below out/ under its own name, with everything below it.
            parent = entry.rpartition("/")[0]
            cut = len(parent) + 1 if parent else 0
            expected = {p[cut:]: v for p, v in self.model.items() if p == entry or p.startswith(entry + "/")}
        else:
            self.run("extract", "a.oru", "out")
            expected = dict(self.model)
        found = {}
        if os.path.isdir(out):
            for dirpath, dirnames, filenames in os.walk(out):
                rel = os.path.relpath(dirpath, out)
                if rel != ".":
                    found[rel] = None
                for f in filenames:
                    with open(os.path.join(dirpath, f), "rb") as fh:
                        found[os.path.join(rel, f) if rel != "." else f] = fh.read()
        if found != expected:
            missing = sorted(set(expected) - set(found))[:5]
            extra = sorted(set(found) - set(expected))[:5]
            differ = sorted(p for p in set(found) & set(expected) if found[p] != expected[p])[:5]
            raise Failure("extracted tree differs: missing %s, extra %s, other content %s" % (missing, extra, differ))
        shutil.rmtree(out, ignore_errors=True)

    def op_cat(self):
        files = sorted(p for p, v in self.model.items() if v is not None)
        if not files:
            return self.op_add()
        entry = self.rng.choice(files)
        r = self.run("cat", "a.oru", entry)
        if r.stdout != self.model[entry]:
            raise Failure("cat %s gave %d bytes, expected %d" % (entry, len(r.stdout), len(self.model[entry])))

    def op_reopen(self):
        self.run("info", "a.oru")

    # --- checks ----------------------------------------------------------------------------

    def check(self):
        r = self.run("test", "a.oru", ok=False)
        if r.returncode != 0:
            raise Failure("oru test failed: %s %s" % (r.stdout.decode("utf-8", "replace"),
                                                       r.stderr.decode("utf-8", "replace")))
        listed = []
        for line in self.run("list", "a.oru").stdout.decode("utf-8", "surrogateescape").splitlines():
            fields = line.split("\t")
            if len(fields) != 5:
                raise Failure("list line of %d fields: %r" % (len(fields), line))
            kind, size, stored, _, path = fields
            if kind == "d" and (size or stored):
                raise Failure("folder with sizes: %r" % line)
            if kind == "f" and (not stored or int(stored) < 8):
                raise Failure("file without its stored size: %r" % line)
            listed.append((kind, size, path))
        expected = [("d", "", p) if v is None else ("f", str(len(v)), p) for p, v in self.model.items()]
        if sorted(listed) != sorted(expected):
            missing = sorted(set(expected) - set(listed))[:5]
            extra = sorted(set(listed) - set(expected))[:5]
            raise Failure("listing differs from the model: missing %s, extra %s" % (missing, extra))

    def step(self):
        weights = [("add", 30), ("delete", 20), ("compact", 10), ("extract", 10), ("cat", 15), ("reopen", 15)]
        # Keep the archive small (every check decodes all of it): past 2 MiB, delete more than add.
        size = sum(len(v) for v in self.model.values() if v is not None)
        if size > (2 << 20):
            weights = [("add", 5), ("delete", 45)] + weights[2:]
        op = self.rng.choices([w[0] for w in weights], [w[1] for w in weights])[0]
        getattr(self, "op_" + op)()
        self.counts[op] = self.counts.get(op, 0) + 1
        self.check()
        return op


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("operations", nargs="?", type=int, default=10000)
    parser.add_argument("--oru", required=True)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--minutes", type=float, default=None, help="stop after this long")
    parser.add_argument("--keep", action="store_true", help="keep the work folder also on success")
    args = parser.parse_args()

    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix="oru-soak-")
    soak = Soak(os.path.abspath(args.oru), work, rng)
    print("soak: seed %d, %d operations, work folder %s" % (seed, args.operations, work), flush=True)
    start = time.monotonic()
    done = 0
    op = "new"
    try:
        soak.run("new", "a.oru")
        soak.check()
        for done in range(1, args.operations + 1):
            op = soak.step()
            if done % 500 == 0:
                print("soak: %d operations, %d entries, %.0f s" % (done, len(soak.model), time.monotonic() - start),
                      flush=True)
            if args.minutes is not None and time.monotonic() - start > args.minutes * 60:
                break
    except Failure as e:
        print("soak: FAILED at operation %d (%s), seed %d: %s" % (done, op, seed, e), flush=True)
        print("soak: the archive and the model's last state are in %s" % work, flush=True)
        return 1
    counts = ", ".join("%s %d" % kv for kv in sorted(soak.counts.items()))
    print("soak: %d operations passed in %.0f s (%s); seed %d" % (done, time.monotonic() - start, counts, seed))
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
