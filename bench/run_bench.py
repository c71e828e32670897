#!/usr/bin/env python3
"""The end-to-end benchmark: tracewright against the converters a user would
otherwise reach for, on one generated corpus, in alternating rounds.

    python3 bench/run_bench.py --build build-release [--rounds 5] ...

Contenders, each converting the whole corpus once per round:
  tracewright   the text logs, one process for the corpus folder
  log2asc -f    can-utils, the candump twins, one process per file
  python-can    python3 -m can.logconvert, the candump twins, one process
                per file; slow, so by default it converts only some of the
                files and in fewer rounds (its rates are per frame, so they
                compare directly)
  I/O floor     reads the text logs and writes as many bytes as tracewright's
                output, with plain read/write calls

Each round runs every contender once, in an order that rotates from round to
round, so a slow phase of a shared machine hits all of them alike. Times are
wall-clock; peak RSS is the largest that /usr/bin/time reports for any of the
contender's processes.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON_CAN = ["/usr/bin/python3", "-m", "can.logconvert"]
TIME = "/usr/bin/time"


def run(argv):
    """Runs one process under /usr/bin/time; returns (seconds, peak RSS in KiB).

    The peak RSS comes from time's report rather than from this process's
    wait4: a child forked from this Python process inherits its high-water
    mark, while time is small enough not to distort the figure."""
    with tempfile.NamedTemporaryFile(prefix="bench-rss-") as report:
        start = time.perf_counter()
        proc = subprocess.run([TIME, "-f", "%M", "-o", report.name] + argv,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        seconds = time.perf_counter() - start
        if proc.returncode != 0:
            sys.exit("benchmark: %s exited with %d:\n%s"
                     % (" ".join(argv), proc.returncode, proc.stderr.decode(errors="replace")))
        with open(report.name) as f:
            rss = int(f.read().split()[-1])
    return seconds, rss


def run_all(commands):
    """Runs the commands one after another; total seconds and largest RSS."""
    total, peak = 0.0, 0
    for argv in commands:
        seconds, rss = run(argv)
        total += seconds
        peak = max(peak, rss)
    return total, peak


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def corpus(python, root, frames, files):
    subprocess.run([python, os.path.join(HERE, "gen_corpus.py"), root,
                    "--frames", str(frames), "--files", str(files)], check=True)
    with open(os.path.join(root, "corpus.json")) as f:
        return json.load(f)["files"]


def asc_frame_lines(path):
    """Frame lines of an ASC file: every line that is not header or footer."""
    count = 0
    with open(path, "rb") as f:
        for line in f:
            if line[:1] == b" ":
                count += 1
    return count


class Contender:
    def __init__(self, name, frames, in_bytes, prepare, commands, note=""):
        self.name = name
        self.frames = frames        # frames converted per run
        self.in_bytes = in_bytes    # input bytes read per run
        self.prepare = prepare      # untimed, before every run
        self.commands = commands
        self.note = note
        self.times = []
        self.rss = []

    def measure(self):
        self.prepare()
        seconds, rss = run_all(self.commands)
        self.times.append(seconds)
        self.rss.append(rss)

    def fps(self, seconds):
        return self.frames / seconds


def fmt_range(values, scale=1.0, digits=3):
    return "%.*f-%.*f" % (digits, min(values) * scale, digits, max(values) * scale)


def print_table(contenders, reference):
    ref_fps = reference.fps(statistics.median(reference.times))
    header = ("%-12s %7s %9s %15s %9s %13s %7s %8s  %s"
              % ("contender", "rounds", "median s", "min-max s", "Mframes/s",
                 "min-max", "in MB/s", "RSS MiB", "tracewright vs it"))
    print(header)
    print("-" * len(header))
    for c in contenders:
        median = statistics.median(c.times)
        fps = [c.fps(t) / 1e6 for t in c.times]
        if c is reference:
            ratio = "-"
        elif c.frames:
            ratio = "%.1fx the frames/s" % (ref_fps / c.fps(median))
        else:
            ratio = "%.2fx its time" % (statistics.median(reference.times) / median)
        print("%-12s %7d %9.3f %15s %9s %13s %7.0f %8.1f  %s"
              % (c.name, len(c.times), median, fmt_range(c.times),
                 "%.3f" % (c.frames / median / 1e6) if c.frames else "-",
                 fmt_range(fps) if c.frames else "-",
                 c.in_bytes / median / 1e6, max(c.rss) / 1024.0, ratio))
    for c in contenders:
        if c.note:
            print("  %s: %s" % (c.name, c.note))


ORDERS = ("in-order", "local", "reversed")
MIB = 1024.0


def orders(args, python, binary, out_root):
    """One log per size and order, converted with default options; returns
    {(order, frames): (median seconds, peak RSS KiB)}."""
    sizes = sorted(int(n) for n in args.order_sizes.split(","))
    results = {}
    for order in ORDERS:
        root = os.path.join(args.corpus, "order-" + order)
        subprocess.run([python, os.path.join(HERE, "gen_corpus.py"), root, "--order", order,
                        "--sizes", ",".join(str(n) for n in sizes)], check=True)
        out = os.path.join(out_root, "order")
        for frames in sizes:
            command = [[binary, "-O", out, os.path.join(root, "%d.TXT" % frames)]]
            times, rss = [], []
            for _ in range(args.order_rounds):
                fresh_dir(out)
                seconds, peak = run_all(command)
                times.append(seconds)
                rss.append(peak)
            # The traces of the largest logs take gigabytes; none is kept.
            shutil.rmtree(out, ignore_errors=True)
            results[(order, frames)] = (statistics.median(times), max(rss))
            print("  %s %d frames: %.3f s, %.1f MiB" % (order, frames, results[(order, frames)][0],
                                                      max(rss) / MIB), file=sys.stderr)
    print()
    print("Orders: one log of N frames, default options, %d round(s) each; wall s / ns per frame"
          " / peak RSS MiB" % args.order_rounds)
    print("%10s  %s" % ("frames", "  ".join("%-28s" % o for o in ORDERS)))
    for frames in sizes:
        print("%10d  %s" % (frames, "  ".join(
            "%7.2f s %5.0f ns %7.1f MiB  " % (results[(o, frames)][0],
                                              results[(o, frames)][0] / frames * 1e9,
                                              results[(o, frames)][1] / MIB) for o in ORDERS)))
    return sizes, results


def print_goals(ratio, sizes, results):
    print()
    print("Goals")
    bounded = max(results[(o, n)][1] for o in ORDERS[:2] for n in sizes) / MIB
    print("  1. peak RSS, in order and locally reordered, any size: %.1f MiB (goal: at most 64)"
          % bounded)
    worst = max(results[("reversed", n)][1] / MIB - 32.0 * n / (1 << 20) for n in sizes)
    print("  2. peak RSS, reversed, less 32 bytes per frame: at most %.1f MiB (goal: at most 64);"
          " largest %.1f MiB" % (worst, max(results[("reversed", n)][1] for n in sizes) / MIB))
    if ratio is not None:
        print("  3. frames/s on the corpus: %.1fx log2asc -f (goal: at least 8, aim 10)" % ratio)
    small, large = sizes[0], sizes[-1]
    if large > small:
        per_small = results[("in-order", small)][0] / small
        per_large = results[("in-order", large)][0] / large
        print("     time per frame, in order, %d frames / %d frames: %.2f (goal: at most 1.2)"
              % (large, small, per_large / per_small))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build-release",
                        help="build folder with tracewright and bench/io_floor")
    parser.add_argument("--corpus", help="corpus folder (default: BUILD/bench-corpus)")
    parser.add_argument("--frames", type=int, default=1000000)
    parser.add_argument("--files", type=int, default=10)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--python-rounds", type=int, default=3)
    parser.add_argument("--python-files", type=int, default=2,
                        help="files that python-can converts per round (0: skip it)")
    parser.add_argument("--orders", dest="orders", action="store_true", default=True,
                        help="also convert single logs of --order-sizes frames in time order,"
                             " locally reordered and reversed (default)")
    parser.add_argument("--no-orders", dest="orders", action="store_false")
    parser.add_argument("--order-sizes", default="100000,1000000,5000000,10000000",
                        help="frames per single log, comma-separated (the smallest is the"
                             " reference for time per frame)")
    parser.add_argument("--order-rounds", type=int, default=1)
    args = parser.parse_args()
    args.corpus = args.corpus or os.path.join(args.build, "bench-corpus")

    binary = os.path.join(args.build, "tracewright")
    floor = os.path.join(args.build, "bench", "io_floor")
    for path in (binary, floor):
        if not os.access(path, os.X_OK):
            sys.exit("benchmark: %s is missing; build with -DTRACEWRIGHT_BENCH=ON" % path)
    if not os.access(TIME, os.X_OK):
        sys.exit("benchmark: %s is missing (Debian package time)" % TIME)
    log2asc = shutil.which("log2asc")
    if log2asc is None:
        sys.exit("benchmark: log2asc is missing (Debian package can-utils)")
    python = sys.executable or "python3"

    main_root = os.path.join(args.corpus, "main")
    files = corpus(python, main_root, args.frames, args.files)
    text_dir = os.path.join(main_root, "text")
    dump_dir = os.path.join(main_root, "candump")
    out_root = os.path.join(args.build, "bench-out")
    total_frames = sum(f["frames"] for f in files)
    text_bytes = sum(f["text_bytes"] for f in files)
    dump_bytes = sum(f["candump_bytes"] for f in files)

    # A first, untimed tracewright run checks the output and sizes the floor.
    tw_out = os.path.join(out_root, "tracewright")
    fresh_dir(tw_out)
    tw_command = [binary, "-O", tw_out, text_dir]
    run(tw_command)
    asc_dir = os.path.join(tw_out, "text_out")
    out_sizes = {}
    for f in files:
        path = os.path.join(asc_dir, f["name"] + ".asc")
        if not os.path.exists(path) or asc_frame_lines(path) != f["frames"]:
            sys.exit("benchmark: %s does not hold the %d frames of its input" % (path, f["frames"]))
        out_sizes[f["name"]] = os.path.getsize(path)
    out_bytes = sum(out_sizes.values())

    l2a_out = os.path.join(out_root, "log2asc")
    py_out = os.path.join(out_root, "python-can")
    floor_out = os.path.join(out_root, "floor")
    py_files = files[:max(0, min(args.python_files, len(files)))]

    tracewright = Contender(
        "tracewright", total_frames, text_bytes, lambda: fresh_dir(tw_out), [tw_command])
    l2a = Contender(
        "log2asc -f", total_frames, dump_bytes, lambda: fresh_dir(l2a_out),
        [[log2asc, "-I", os.path.join(dump_dir, f["name"] + ".log"),
          "-O", os.path.join(l2a_out, f["name"] + ".asc"), "-f", "can0"] for f in files])
    py = Contender(
        "python-can", sum(f["frames"] for f in py_files),
        sum(f["candump_bytes"] for f in py_files), lambda: fresh_dir(py_out),
        [PYTHON_CAN + [os.path.join(dump_dir, f["name"] + ".log"),
                       os.path.join(py_out, f["name"] + ".asc")] for f in py_files],
        note="%d of %d files per round (%d frames); its rates are per frame and compare directly"
             % (len(py_files), len(files), sum(f["frames"] for f in py_files)))
    io_floor = Contender(
        "I/O floor", 0, text_bytes, lambda: fresh_dir(floor_out),
        [[floor] + [a for f in files for a in (os.path.join(text_dir, f["name"] + ".TXT"),
                                                os.path.join(floor_out, f["name"] + ".asc"),
                                                str(out_sizes[f["name"]]))]],
        note="reads the text logs, writes %.1f MB (tracewright's output size)" % (out_bytes / 1e6))

    contenders = [tracewright, l2a, io_floor]
    if py_files:
        contenders.insert(2, py)
    # Warm the page cache for every contender's inputs.
    l2a.measure()
    l2a.times.clear()
    l2a.rss.clear()

    print("Corpus: %d frames in %d files; text logs %.1f MB, candump logs %.1f MB, ASC output %.1f MB"
          % (total_frames, len(files), text_bytes / 1e6, dump_bytes / 1e6, out_bytes / 1e6))
    print("Rounds: %d (python-can: %d), order rotating each round" % (args.rounds, min(args.rounds, args.python_rounds)))
    print()
    for r in range(args.rounds):
        order = contenders[r % len(contenders):] + contenders[:r % len(contenders)]
        for c in order:
            if c is py and r >= args.python_rounds:
                continue
            c.measure()
        print("  round %d: %s" % (r + 1, ", ".join("%s %.3f s" % (c.name, c.times[-1])
                                                 for c in contenders if len(c.times) > r)),
              file=sys.stderr)
    print_table(contenders, tracewright)
    ratio = statistics.median(l2a.times) / statistics.median(tracewright.times)

    if args.orders:
        sizes, results = orders(args, python, binary, out_root)
        print_goals(ratio, sizes, results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
