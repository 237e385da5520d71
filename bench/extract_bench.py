#!/usr/bin/env python3
"""Times extraction by the engine and by bsdtar, p7zip, 7-Zip and Python's zipfile, in memory and on disk.

Usage: bench/extract_bench.py [--unzip build/native/bin/unzip] [--runs 7] [--work build/bench]
                              [--suite all|deflate|legacy] [--protocol both|memory|disk]
(scripts/bench installs the peers, builds the programs and runs this.)

The deflate suite: two archives made once, deterministically, under the work folder: a ~60 MB
text archive of four deflated members (~20 MB) and an archive of 20,000 small deflated texts in
20 folders. Every tool extracts each archive --runs times under two protocols side by side:
- memory: into a fresh folder on tmpfs (/dev/shm), removed after the run. Nothing but the
  programs' own cost is timed; these figures repeat within a few per cent.
- disk: into a fresh folder under the work folder, as a user extracts; the disk's noise (write-back,
  the journal, inode allocation) is part of the figure and often larger than any difference
  between the programs.
The legacy suite: one archive (over 40 MB) of shrunk, reduced and imploded members made by the
project's own encoders (build/native/bin/legacy_bench writes it), extracted method by method in
memory by ours and by 7-Zip, the one peer that reads shrink and implode; reduce is ours alone, in
MB/s.
The runs alternate tool by tool, each round in a different order; the command prints the minimum
and median wall time of each tool and our ratio to the fastest peer (the peer's time over ours:
2.00 means we take half its time), with the machine's load average before and after. Markdown
tables for the README follow.

What makes the figures fair, and what made earlier benches unfair:
- Every run extracts into a fresh, empty folder of its own (the same file system for every tool
  within a protocol), with the same overwrite setting (replace without asking: -o, -y, and the
  defaults of bsdtar and zipfile; nothing exists to replace), and is timed as a user sees it:
  the wall time of the command, process start included (zipfile runs in a new interpreter).
- On the disk nothing is deleted while runs are timed. An earlier bench emptied one output folder
  before every run; on ext4 without a journal (as here) the kernel does not reuse inodes freed in
  the last minute, and scans past each of them when it creates a file, so every run after the
  first paid for the 20,000 files of the run before it (measured here: 7-Zip 2.0 s into a fresh
  folder, 3.0 s right after a 20,000-file folder was deleted; ours 1.6 s and 11 s). The disk
  outputs stay until the last run and are removed at the end; a later run of the command waits
  until that deletion is a minute old. tmpfs has no such memory, so the memory protocol removes
  each output right after its run (untimed).
- Before every run the file systems are synced, so that no run pays for the write-back of the
  run before it.
- Every run's output is checked (file count and total size) against the archive.
"""
import argparse
import itertools
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


# --- The archives ---------------------------------------------------------------------------------

def vocabulary(rng, n):
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
    cumulative = list(itertools.accumulate(weights))
    words = set()
    while len(words) < n:
        words.add("".join(rng.choices(letters, cum_weights=cumulative, k=rng.randint(2, 11))))
    return sorted(words)


def text_block(rng, words, cumulative, size):
    # Word frequencies fall off as 1/rank, as in natural text.
    out = []
    total = 0
    while total < size:
        line = " ".join(rng.choices(words, cum_weights=cumulative, k=rng.randint(4, 14)))
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
    cumulative = list(itertools.accumulate(1 / (rank + 1) for rank in range(len(words))))
    if not os.path.exists(big):
        print("making", big, file=sys.stderr)
        with zipfile.ZipFile(big + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
            for i in range(4):
                z.writestr(f"text/part{i}.txt", text_block(rng, words, cumulative, 15_000_000))
        os.replace(big + ".tmp", big)
    if not os.path.exists(small):
        print("making", small, file=sys.stderr)
        with zipfile.ZipFile(small + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
            for i in range(20000):
                text = text_block(rng, words, cumulative, rng.randint(200, 4000))
                z.writestr(f"notes/d{i // 1000:02d}/n{i:05d}.txt", text)
        os.replace(small + ".tmp", small)
    return big, small



def make_legacy_archive(work, maker):
    legacy = os.path.join(work, "legacy.zip")
    if not os.path.exists(legacy):
        print("making", legacy, file=sys.stderr)
        subprocess.run([maker, legacy + ".tmp"], check=True)
        os.replace(legacy + ".tmp", legacy)
    return legacy


# The legacy archive's folders, one per method family, and the peers that read each.
LEGACY_FAMILIES = {"shrink": ("7-Zip",), "reduce": (), "implode": ("7-Zip",)}


# --- The tools ------------------------------------------------------------------------------------

def tools(unzip):
    """Each tool's command line: extract the members `selected` (all when None) of `archive` into
    the existing empty folder `folder`."""
    def pick(selected):
        return [] if selected is None else [selected]
    return {
        "ours": lambda archive, folder, selected=None: (
            [unzip, "-qq", "-o", archive] + pick(selected) + ["-d", folder]),
        "bsdtar": lambda archive, folder, selected=None: (
            ["bsdtar", "-xf", archive, "-C", folder] + pick(selected)),
        "p7zip": lambda archive, folder, selected=None: (
            ["7z", "x", "-y", "-bd", f"-o{folder}", archive] + pick(selected)),
        "7-Zip": lambda archive, folder, selected=None: (
            ["7zz", "x", "-y", "-bd", f"-o{folder}", archive] + pick(selected)),
        "zipfile": lambda archive, folder, selected=None: [
            sys.executable, "-c",
            "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])",
            archive, folder],
    }


PEER_COMMANDS = {"bsdtar": "bsdtar", "p7zip": "7z", "7-Zip": "7zz"}
PEER_PACKAGES = "libarchive-tools, p7zip-full, 7zip"


def first_line(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True).stdout
    except OSError:
        return "not found"
    return next((line.strip() for line in out.splitlines() if line.strip()), "?")


def file_system(folder):
    fs = "?"
    try:
        best = ""
        with open("/proc/mounts") as f:
            for line in f:
                device, point, kind = line.split()[:3]
                if os.path.abspath(folder).startswith(point) and len(point) > len(best):
                    best, fs = point, kind
    except OSError:
        pass
    return fs


def describe_machine():
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return f"{cpu}, {os.cpu_count()} cores, {memory:.0f} GB, Linux {platform.release()}"


def load_average():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def tree_size(folder):
    files = size = 0
    for base, _, names in os.walk(folder):
        for name in names:
            files += 1
            size += os.path.getsize(os.path.join(base, name))
    return files, size


def expected_tree(archive, selected=None):
    """Files and bytes that extracting `selected` ("folder/*" or everything) must leave."""
    prefix = None if selected is None else selected.rstrip("*")
    with zipfile.ZipFile(archive) as z:
        infos = [i for i in z.infolist()
                 if not i.is_dir() and (prefix is None or i.filename.startswith(prefix))]
    return len(infos), sum(i.file_size for i in infos)


# How long the file system takes to reuse the inodes of deleted files freely (ext4 without a
# journal skips those freed in the last minute).
FORGET_SECONDS = 65


def remove_outputs(runs_root, removed_stamp):
    shutil.rmtree(runs_root, ignore_errors=True)
    subprocess.run(["sync"])
    with open(removed_stamp, "w") as f:
        f.write(f"{time.time()}\n")


class Protocol:
    """Where a protocol's runs put their outputs, and whether each is removed after its run."""

    def __init__(self, name, root, remove_each):
        self.name, self.root, self.remove_each = name, root, remove_each


def timed_run(command, folder, expected, label):
    os.makedirs(folder)
    subprocess.run(["sync"])
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    got = tree_size(folder)
    if got != expected:
        sys.exit(f"{label} extracted {got[0]} files, {got[1]} bytes; "
                 f"expected {expected[0]}, {expected[1]}")
    return seconds


def measure(cases, protocols, commands, runs, serial):
    """Runs every case (title, archive, selected, expected, tool names) `runs` times per tool and
    protocol, alternating; returns {(title, protocol): {tool: [seconds...]}}."""
    times = {(case[0], p.name): {name: [] for name in case[4]} for case in cases for p in protocols}
    for title, archive, selected, expected, names in cases:
        for round_number in range(runs):
            shift = round_number % len(names)
            order = protocols if round_number % 2 == 0 else protocols[::-1]
            for protocol in order:
                for name in names[shift:] + names[:shift]:
                    folder = os.path.join(protocol.root, f"{next(serial):04d}-{name}")
                    command = commands[name](archive, folder, selected)
                    seconds = timed_run(command, folder, expected,
                                        f"{name} ({protocol.name}) on {title}")
                    times[(title, protocol.name)][name].append(seconds)
                    if protocol.remove_each:
                        shutil.rmtree(folder)
    return times


def summarise(times, names):
    """Minimum and median per tool, and ours against the fastest peer by each."""
    stats = {name: (min(t), statistics.median(t)) for name, t in times.items()}
    peers = [name for name in names if name != "ours" and name in stats]
    ratios = []
    for index in (0, 1):
        if not peers:
            ratios.append(None)
            continue
        fastest = min(peers, key=lambda name: stats[name][index])
        ratios.append((stats[fastest][index] / stats["ours"][index], fastest))
    return stats, ratios


def ratio_text(ratios):
    if ratios[0] is None:
        return "no peer reads it"
    return (f"{ratios[1][0]:.2f}x by median ({ratios[1][1]}), "
            f"{ratios[0][0]:.2f}x by min ({ratios[0][1]})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    bin_dir = os.path.join(ROOT, "build", "native", "bin")
    parser.add_argument("--unzip", default=os.path.join(bin_dir, "unzip"))
    parser.add_argument("--legacy-bench", default=os.path.join(bin_dir, "legacy_bench"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--memory", default="/dev/shm", help="a tmpfs folder for the memory runs")
    parser.add_argument("--suite", choices=("all", "deflate", "legacy"), default="all")
    parser.add_argument("--protocol", choices=("both", "memory", "disk"), default="both")
    args = parser.parse_args()
    deflate = args.suite in ("all", "deflate")
    legacy = args.suite in ("all", "legacy")
    if not os.path.exists(args.unzip):
        sys.exit(f"no {args.unzip}: build it first (cmake --build --preset native --target unzip)")
    if legacy and not os.path.exists(args.legacy_bench):
        sys.exit(f"no {args.legacy_bench}: build it first (--target legacy_bench)")
    for needed in PEER_COMMANDS.values():
        if shutil.which(needed) is None:
            sys.exit(f"no {needed} on the path (Debian: {PEER_PACKAGES}; scripts/bench installs them)")
    if file_system(args.memory) != "tmpfs":
        sys.exit(f"{args.memory} is not a tmpfs: the memory protocol needs one (--memory)")

    os.makedirs(args.work, exist_ok=True)
    runs_root = os.path.join(args.work, "runs")
    memory_root = os.path.join(args.memory, f"qel-bench-{os.getpid()}")
    removed_stamp = os.path.join(args.work, "runs-removed")
    protocols = []
    if args.protocol in ("both", "memory"):
        protocols.append(Protocol("memory", memory_root, True))
    disk = args.protocol in ("both", "disk") and deflate
    if disk:
        protocols.append(Protocol("disk", runs_root, False))
        if os.path.exists(runs_root):
            # Left by an interrupted run.
            remove_outputs(runs_root, removed_stamp)
        if os.path.exists(removed_stamp):
            # Files deleted shortly before would slow the first runs down: wait until they are old.
            wait = os.path.getmtime(removed_stamp) + FORGET_SECONDS - time.time()
            if wait > 0:
                print(f"outputs of an earlier run were removed lately; waiting {wait:.0f} s",
                      file=sys.stderr)
                time.sleep(wait)
    commands = tools(os.path.abspath(args.unzip))

    print("machine:", describe_machine())
    print("file systems: memory", file_system(args.memory), "| disk", file_system(args.work))
    print("tools:   ours", os.path.relpath(os.path.abspath(args.unzip), ROOT), "|",
          first_line(["bsdtar", "--version"]), "| p7zip", first_line(["7z"]), "|",
          first_line(["7zz"]), "| Python", platform.python_version(), "zipfile")
    print(f"runs:    {args.runs} per tool, archive and protocol, alternating, each into a fresh "
          "empty folder")
    print("load average before:", load_average())

    serial = itertools.count()
    deflate_cases, legacy_cases = [], []
    if deflate:
        names = list(commands)
        for archive in make_archives(args.work):
            expected = expected_tree(archive)
            packed = os.path.getsize(archive)
            title = (f"{os.path.basename(archive)}: {expected[0]} members, "
                     f"{expected[1] / 1e6:.1f} MB ({packed / 1e6:.1f} MB packed)")
            deflate_cases.append((title, archive, None, expected, names))
    if legacy:
        archive = make_legacy_archive(args.work, args.legacy_bench)
        packed = os.path.getsize(archive)
        for family, peers in LEGACY_FAMILIES.items():
            selected = f"{family}/*"
            expected = expected_tree(archive, selected)
            title = f"{family}: {expected[0]} members, {expected[1] / 1e6:.1f} MB"
            legacy_cases.append((title, archive, selected, expected, ["ours", *peers]))
        print(f"legacy archive: {os.path.basename(archive)}, {packed / 1e6:.1f} MB")
    results = {}
    try:
        if deflate_cases:
            results.update(measure(deflate_cases, protocols, commands, args.runs, serial))
        if legacy_cases:
            memory_only = [p for p in protocols if p.name == "memory"]
            if not memory_only:
                sys.exit("the legacy suite runs in memory only (--protocol memory or both)")
            results.update(measure(legacy_cases, memory_only, commands, args.runs, serial))
    finally:
        shutil.rmtree(memory_root, ignore_errors=True)
        if disk:
            remove_outputs(runs_root, removed_stamp)
    print("load average after:", load_average())

    tables = []
    if deflate_cases:
        names = deflate_cases[0][4]
        lines = ["| archive | protocol | " + " | ".join(names) + " | ours against the fastest peer |",
                 "|---|---|" + "---:|" * len(names) + "---|"]
        for title, *_ in deflate_cases:
            for protocol in protocols:
                stats, ratios = summarise(results[(title, protocol.name)], names)
                print(f"\n{title}, {protocol.name}")
                print(f"  {'tool':8s} {'min s':>8s} {'median s':>9s}")
                for name, (low, middle) in stats.items():
                    print(f"  {name:8s} {low:8.3f} {middle:9.3f}")
                print(f"  ours against the fastest peer: {ratio_text(ratios)}")
                cells = [f"{stats[name][0]:.3f} / {stats[name][1]:.3f}" for name in names]
                lines.append(f"| {title} | {protocol.name} | " + " | ".join(cells) +
                             f" | {ratio_text(ratios)} |")
        tables.append(lines)
    if legacy_cases:
        lines = ["| members (memory) | ours | 7-Zip | ours MB/s by min / median | "
                 "ours against 7-Zip |", "|---|---:|---:|---:|---|"]
        for title, archive, selected, (files, size), names in legacy_cases:
            stats, ratios = summarise(results[(title, "memory")], names)
            speed = f"{size / 1e6 / stats['ours'][0]:.1f} / {size / 1e6 / stats['ours'][1]:.1f}"
            print(f"\nlegacy {title}, memory")
            for name, (low, middle) in stats.items():
                print(f"  {name:8s} {low:8.3f} {middle:9.3f}")
            print(f"  ours MB/s by min / median: {speed}; against 7-Zip: {ratio_text(ratios)}")
            seven = stats.get("7-Zip")
            seven_cell = f"{seven[0]:.3f} / {seven[1]:.3f}" if seven else "-"
            lines.append(f"| {title} | {stats['ours'][0]:.3f} / {stats['ours'][1]:.3f} | "
                         f"{seven_cell} | {speed} | {ratio_text(ratios)} |")
        tables.append(lines)
    print("\nFor the README (min / median seconds):")
    for lines in tables:
        print()
        print("\n".join(lines))


if __name__ == "__main__":
    main()
