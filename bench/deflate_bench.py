#!/usr/bin/env python3
"""Times deflate extraction and testing against bsdtar, 7-Zip and Python's zipfile.

Makes (once, deterministically) a ~60 MB text archive that compresses about 3:1 and an archive of
20,000 small texts under build/bench/, then runs each tool on each archive, best of N runs, and
prints the times and our time relative to each peer (below 1.00: we are faster).

Usage: bench/deflate_bench.py [--unzip build/native/bin/unzip] [--runs 3] [--work build/bench]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def vocabulary(rng, n):
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
    words = set()
    while len(words) < n:
        words.add("".join(rng.choices(letters, weights, k=rng.randint(2, 11))))
    return sorted(words)


def text_block(rng, words, size):
    # Word frequencies fall off as 1/rank, as in natural text.
    weights = [1 / (rank + 1) for rank in range(len(words))]
    out = []
    total = 0
    while total < size:
        line = " ".join(rng.choices(words, weights, k=rng.randint(4, 14)))
        if rng.random() < 0.1:
            line = line.capitalize() + "."
        out.append(line)
        total += len(line) + 2
    return ("\r\n".join(out) + "\r\n").encode()[:size]


def make_archives(work):
    os.makedirs(work, exist_ok=True)
    big = os.path.join(work, "big_text.zip")
    small = os.path.join(work, "small_texts.zip")
    rng = random.Random(1951)
    words = vocabulary(rng, 2500)
    if not os.path.exists(big):
        with zipfile.ZipFile(big + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
            for i in range(4):
                z.writestr(f"text/part{i}.txt", text_block(rng, words, 15_000_000))
        os.replace(big + ".tmp", big)
    if not os.path.exists(small):
        with zipfile.ZipFile(small + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
            for i in range(20000):
                z.writestr(f"notes/d{i // 1000:02d}/n{i:05d}.txt", text_block(rng, words, rng.randint(200, 4000)))
        os.replace(small + ".tmp", small)
    return big, small


def best_of(runs, setup, command):
    best = None
    for _ in range(runs):
        setup()
        start = time.perf_counter()
        if callable(command):
            command()
        else:
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--unzip", default=os.path.join(ROOT, "build", "native", "bin", "unzip"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    args = parser.parse_args()
    if not os.path.exists(args.unzip):
        sys.exit(f"no {args.unzip}: build it first (cmake --build --preset native --target unzip)")
    big, small = make_archives(args.work)
    out = os.path.join(args.work, "out")

    def clean():
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)

    def nothing():
        pass

    for archive in (big, small):
        size = os.path.getsize(archive)
        with zipfile.ZipFile(archive) as z:
            infos = z.infolist()
            raw = sum(i.file_size for i in infos)
        print(f"\n{os.path.basename(archive)}: {len(infos)} members, {raw / 1e6:.1f} MB -> {size / 1e6:.1f} MB "
              f"(ratio {raw / size:.2f}:1)")
        extract = {
            "ours (unzip -qq -o)": [args.unzip, "-qq", "-o", archive, "-d", out],
            "bsdtar -x": ["bsdtar", "-xf", archive, "-C", out],
            "7z x": ["7z", "x", "-y", "-bd", f"-o{out}", archive],
            "python zipfile": lambda: zipfile.ZipFile(archive).extractall(out),
        }
        test = {
            "ours (unzip -tqq)": [args.unzip, "-tqq", archive],
            "bsdtar -xO": ["sh", "-c", f"bsdtar -xOf '{archive}' > /dev/null"],
            "7z t": ["7z", "t", "-bd", archive],
            "python testzip": lambda: zipfile.ZipFile(archive).testzip(),
        }
        for title, table, setup in (("extract", extract, clean), ("test", test, nothing)):
            times = {name: best_of(args.runs, setup, cmd) for name, cmd in table.items()}
            ours_name = next(iter(table))
            ours = times[ours_name]
            print(f"  {title}:")
            for name, t in times.items():
                ratio = "" if name == ours_name else f"   ours/peer {ours / t:.2f}"
                print(f"    {name:22s} {t:7.3f} s{ratio}")
    shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
