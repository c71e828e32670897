#!/usr/bin/env python3
"""The end-to-end benchmark: tracewright against the converters a user would
otherwise reach for, on one generated corpus, in alternating rounds.

    python3 bench/run_bench.py --build build-release [--rounds 5] ...

Contenders, each converting the whole corpus once per round:
  tracewright   the text logs, one process for the corpus folder, default
                options (ASC, one log at a time); also with -f blf, -f log,
                -f asc,blf,log, -j 2 and -j 0, and an older build given
                with --baseline
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
contender's processes. Every tracewright run must leave exactly the traces of
an untimed first run, whose frames are counted in every format; at the end
their bytes are compared with it.
"""
import argparse
import filecmp
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SYSTEM_PYTHON = "/usr/bin/python3"   # the one with python3-can
PYTHON_CAN = [SYSTEM_PYTHON, "-m", "can.logconvert"]
# Prints the number of frames python-can reads from each BLF file given.
BLF_COUNT = "import can, sys\nfor p in sys.argv[1:]:\n    print(sum(1 for _ in can.BLFReader(p)))"
EXTENSIONS = {"asc": ".asc", "blf": ".blf", "log": ".log"}
TIME = "/usr/bin/time"


def run(argv):
    """Runs one process under /usr/bin/time; returns (seconds, peak RSS in KiB,
    processor seconds, user and system).

    The peak RSS comes from time's report rather than from this process's
    wait4: a child forked from this Python process inherits its high-water
    mark, while time is small enough not to distort the figure."""
    with tempfile.NamedTemporaryFile(prefix="bench-rss-") as report:
        start = time.perf_counter()
        proc = subprocess.run([TIME, "-f", "%M %U %S", "-o", report.name] + argv,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        seconds = time.perf_counter() - start
        if proc.returncode != 0:
            sys.exit("benchmark: %s exited with %d:\n%s"
                     % (" ".join(argv), proc.returncode, proc.stderr.decode(errors="replace")))
        with open(report.name) as f:
            rss, user, system = f.read().split()[-3:]
    return seconds, int(rss), float(user) + float(system)


def run_all(commands):
    """Runs the commands one after another; total seconds, largest RSS and
    total processor seconds."""
    total, peak, cpu = 0.0, 0, 0.0
    for argv in commands:
        seconds, rss, processor = run(argv)
        total += seconds
        peak = max(peak, rss)
        cpu += processor
    return total, peak, cpu


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


def candump_lines(path):
    with open(path, "rb") as f:
        return sum(1 for _ in f)


def blf_frames(paths):
    """Frames that python-can reads from each BLF file (LIN objects it skips;
    the corpus has none)."""
    proc = subprocess.run([SYSTEM_PYTHON, "-c", BLF_COUNT] + paths, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit("benchmark: python-can could not read the BLF traces:\n%s"
                 % proc.stderr.decode(errors="replace"))
    return [int(n) for n in proc.stdout.split()]


def tree_sizes(root):
    """{path relative to root: bytes} of every file under root."""
    sizes = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            sizes[os.path.relpath(path, root)] = os.path.getsize(path)
    return sizes


class Contender:
    def __init__(self, name, frames, in_bytes, prepare, commands, note="", out=None,
                 expect=None):
        self.name = name
        self.frames = frames        # frames converted per run
        self.in_bytes = in_bytes    # input bytes read per run
        self.prepare = prepare      # untimed, before every run
        self.commands = commands
        self.note = note
        self.out = out              # output folder, sized after every run
        self.expect = expect        # {path under out: bytes} every run must leave
        self.out_bytes = 0
        self.times = []
        self.rss = []
        self.cpu = []

    def measure(self):
        self.prepare()
        # Earlier runs' outputs reach the disk before the clock starts, so
        # that no run pays for another's writeback.
        os.sync()
        seconds, rss, cpu = run_all(self.commands)
        self.times.append(seconds)
        self.rss.append(rss)
        self.cpu.append(cpu)
        if self.out:
            # A stray temporary file or a short trace shows here, untimed.
            sizes = tree_sizes(self.out)
            if self.expect is not None and sizes != self.expect:
                wrong = sorted(set(sizes.items()) ^ set(self.expect.items()))
                sys.exit("benchmark: %s left other files than the check run: %s"
                         % (self.name, ", ".join("%s (%d bytes)" % w for w in wrong[:6])))
            self.out_bytes = sum(sizes.values())

    def fps(self, seconds):
        return self.frames / seconds

    def median(self):
        return statistics.median(self.times)


def fmt_range(values, scale=1.0, digits=3):
    return "%.*f-%.*f" % (digits, min(values) * scale, digits, max(values) * scale)


def print_table(contenders, reference):
    ref_fps = reference.fps(statistics.median(reference.times))
    header = ("%-12s %7s %9s %15s %6s %9s %13s %7s %8s  %s"
              % ("contender", "rounds", "median s", "min-max s", "CPU s", "Mframes/s",
                 "min-max", "in MB/s", "RSS MiB", "tracewright vs it"))
    print(header)
    print("-" * len(header))
    for c in contenders:
        median = statistics.median(c.times)
        fps = [c.fps(t) / 1e6 for t in c.times]
        if c is reference:
            ratio = "-"
        elif c.frames:
            ratio = "%.2fx the frames/s" % (ref_fps / c.fps(median))
        else:
            ratio = "%.2fx its time" % (statistics.median(reference.times) / median)
        print("%-12s %7d %9.3f %15s %6.2f %9s %13s %7.0f %8.1f  %s"
              % (c.name, len(c.times), median, fmt_range(c.times), statistics.median(c.cpu),
                 "%.3f" % (c.frames / median / 1e6) if c.frames else "-",
                 fmt_range(fps) if c.frames else "-",
                 c.in_bytes / median / 1e6, max(c.rss) / 1024.0, ratio))
    for c in contenders:
        if c.note:
            print("  %s: %s" % (c.name, c.note))


def print_runs(title, rows, last_header, last):
    """A table of tracewright runs of the corpus: rows are (label, contender);
    last(contender) gives the final column."""
    print()
    print(title)
    header = ("%-15s %6s %9s %13s %6s %9s %13s %8s %8s  %s"
              % ("run", "rounds", "median s", "min-max s", "CPU s", "Mframes/s", "min-max",
                 "out MB", "RSS MiB", last_header))
    print(header)
    print("-" * len(header))
    for label, c in rows:
        print("%-15s %6d %9.3f %13s %6.2f %9.3f %13s %8.1f %8.1f  %s"
              % (label, len(c.times), c.median(), fmt_range(c.times),
                 statistics.median(c.cpu), c.fps(c.median()) / 1e6,
                 fmt_range([c.fps(t) / 1e6 for t in c.times]), c.out_bytes / 1e6,
                 max(c.rss) / MIB, last(c)))


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
                os.sync()
                seconds, peak, _ = run_all(command)
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


def verdict(met):
    return "PASS" if met else "MISS"


def print_goals(corpus_goals, sizes, results):
    """corpus_goals: (text, met) lines measured on the corpus; sizes and
    results come from the order section, or are None."""
    print()
    print("Goals")
    lines = []
    if results:
        bounded = max(results[(o, n)][1] for o in ORDERS[:2] for n in sizes) / MIB
        lines.append(("peak RSS, in order and locally reordered, any size: %.1f MiB"
                      " (goal: at most 64)" % bounded, bounded <= 64))
        worst = max(results[("reversed", n)][1] / MIB - 32.0 * n / (1 << 20) for n in sizes)
        lines.append(("peak RSS, reversed, less 32 bytes per frame: at most %.1f MiB (goal: at"
                      " most 64); largest %.1f MiB"
                      % (worst, max(results[("reversed", n)][1] for n in sizes) / MIB),
                      worst <= 64))
        small, large = sizes[0], sizes[-1]
        if large > small:
            growth = (results[("in-order", large)][0] / large) / (
                results[("in-order", small)][0] / small)
            lines.append(("time per frame, in order, %d frames / %d frames: %.2f (goal: at"
                          " most 1.2)" % (large, small, growth), growth <= 1.2))
    lines += corpus_goals
    width = max(len(text) for text, _ in lines)
    for number, (text, met) in enumerate(lines, 1):
        print("  %2d. %-*s  %s" % (number, width, text, verdict(met)))


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
    parser.add_argument("--baseline", metavar="BINARY",
                        help="another tracewright (an older build) to run with default options"
                             " in the same rounds")
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
    for path in (binary, floor) + ((args.baseline,) if args.baseline else ()):
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

    # A first, untimed run writes every format; its frames are counted, its
    # file sizes are what every timed run must leave, and its ASC size is
    # what the floor writes.
    check_out = os.path.join(out_root, "check")
    fresh_dir(check_out)
    run([binary, "-f", "asc,blf,log", "-O", check_out, text_dir])
    traces = os.path.join(check_out, "text_out")
    stems = [os.path.join(traces, f["name"]) for f in files]
    counts = {".asc": [asc_frame_lines(s + ".asc") for s in stems if os.path.exists(s + ".asc")],
              ".log": [candump_lines(s + ".log") for s in stems if os.path.exists(s + ".log")],
              ".blf": blf_frames([s + ".blf" for s in stems if os.path.exists(s + ".blf")])}
    for ext, found in counts.items():
        if found != [f["frames"] for f in files]:
            sys.exit("benchmark: the %s traces hold %s frames, not %s"
                     % (ext, found, [f["frames"] for f in files]))
    check_sizes = tree_sizes(check_out)
    out_sizes = {f["name"]: os.path.getsize(s + ".asc") for f, s in zip(files, stems)}
    out_bytes = sum(out_sizes.values())

    def tracewright_run(name, options, formats="asc", program=binary, check=True):
        out = os.path.join(out_root, name.replace(" ", "").replace(",", "-").lstrip("-"))
        exts = tuple(EXTENSIONS[f] for f in formats.split(","))
        return Contender(name, total_frames, text_bytes, lambda: fresh_dir(out),
                         [[program, "-O", out] + options + [text_dir]], out=out,
                         expect={p: n for p, n in check_sizes.items() if p.endswith(exts)}
                         if check else None)

    # Default options: the same run stands for -f asc and for -j 1.
    tracewright = tracewright_run("tracewright", [])
    blf = tracewright_run("-f blf", ["-f", "blf"], "blf")
    candump = tracewright_run("-f log", ["-f", "log"], "log")
    combined = tracewright_run("-f asc,blf,log", ["-f", "asc,blf,log"], "asc,blf,log")
    jobs2 = tracewright_run("-j 2", ["-j", "2"])
    jobs0 = tracewright_run("-j 0", ["-j", "0"])
    variants = [tracewright, blf, candump, combined, jobs2, jobs0]
    # An older build may write other bytes; they are compared at the end.
    baseline = tracewright_run("baseline", [], program=args.baseline,
                               check=False) if args.baseline else None

    l2a_out = os.path.join(out_root, "log2asc")
    py_out = os.path.join(out_root, "python-can")
    floor_out = os.path.join(out_root, "floor")
    py_files = files[:max(0, min(args.python_files, len(files)))]

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

    peers = [tracewright, l2a, io_floor]
    if py_files:
        peers.insert(2, py)
    if baseline:
        peers.insert(1, baseline)
        baseline.note = args.baseline
    contenders = peers + variants[1:]
    # Warm the page cache for every contender's inputs.
    l2a.measure()
    l2a.times.clear()
    l2a.rss.clear()
    l2a.cpu.clear()

    print("Corpus: %d frames in %d files; text logs %.1f MB, candump logs %.1f MB, ASC output %.1f MB"
          % (total_frames, len(files), text_bytes / 1e6, dump_bytes / 1e6, out_bytes / 1e6))
    print("Checked once, untimed: every .asc, .blf (python-can) and .log trace holds all the"
          " frames of its log")
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
    # The last run of each variant is still on disk: the same bytes as the check run.
    for c in variants:
        for path in c.expect:
            if not filecmp.cmp(os.path.join(c.out, path), os.path.join(check_out, path),
                               shallow=False):
                sys.exit("benchmark: %s wrote other bytes than the check run in %s"
                         % (c.name, path))
    print_table(peers, tracewright)
    if baseline:
        asc = [p for p in check_sizes if p.endswith(".asc")]
        same = sum(1 for p in asc if os.path.exists(os.path.join(baseline.out, p)) and filecmp.cmp(
            os.path.join(baseline.out, p), os.path.join(check_out, p), shallow=False))
        print("  baseline's ASC traces: %d of %d byte for byte the same as tracewright's"
              % (same, len(asc)))

    print_runs("Formats: tracewright -f, the whole corpus, one log at a time", [
        ("-f asc", tracewright), ("-f blf", blf), ("-f log", candump),
        ("-f asc,blf,log", combined)], "frames/s vs -f asc",
        lambda c: "%.2fx" % (tracewright.median() / c.median()))
    singles = tracewright.median() + blf.median() + candump.median()
    print("  -f asc, -f blf and -f log one by one: %.3f s (sum of medians); -f asc,blf,log:"
          " %.3f s, %.2fx faster" % (singles, combined.median(), singles / combined.median()))
    cores = os.sysconf("SC_NPROCESSORS_ONLN")
    print_runs("Parallel: tracewright -j, the whole corpus in ASC", [
        ("-j 1", tracewright), ("-j 2", jobs2), ("-j 0", jobs0)], "speed-up over -j 1",
        lambda c: "%.2fx" % (tracewright.median() / c.median()))
    print("  -j 0: one worker per online core, %d here; -j 1 is the default run" % cores)
    # The fastest round is the one the machine's other work disturbed least.
    print("  fastest rounds: %s" % ", ".join(
        "%s %.3f s (%.2fx)" % (label, min(c.times), min(tracewright.times) / min(c.times))
        for label, c in (("-j 1", tracewright), ("-j 2", jobs2), ("-j 0", jobs0))))

    l2a_ratio = l2a.median() / tracewright.median()
    blf_share = blf.out_bytes / tracewright.out_bytes
    blf_speed = tracewright.median() / blf.median()
    j2_speed = tracewright.median() / jobs2.median()
    goals = [
        ("-f asc frames/s on the corpus: %.2fx log2asc -f (goal: at least 8, aim 10)"
         % l2a_ratio, l2a_ratio >= 8),
        ("BLF bytes: %.1f MB, 1/%.1f of ASC's %.1f MB (goal: at most 1/5)"
         % (blf.out_bytes / 1e6, 1 / blf_share, tracewright.out_bytes / 1e6), blf_share <= 0.2),
        ("-f blf frames/s: %.2fx -f asc (goal: at least 0.8, aim above 1)" % blf_speed,
         blf_speed >= 0.8),
        ("-f asc,blf,log: %.3f s, the three single runs summed: %.3f s (goal: faster)"
         % (combined.median(), singles), combined.median() < singles),
        ("-j 2 frames/s: %.2fx -j 1 on %d cores (goal: at least 1.6)" % (j2_speed, cores),
         j2_speed >= 1.6),
    ]
    if baseline:
        # Rounds on a shared machine differ by more than this.
        kept = baseline.median() / tracewright.median()
        goals.append(("-f asc -j 1 frames/s: %.2fx the baseline's, CPU s %.2f against %.2f"
                      " (goal: no slowdown, within 0.95)"
                      % (kept, statistics.median(tracewright.cpu),
                         statistics.median(baseline.cpu)), kept >= 0.95))

    sizes = results = None
    if args.orders:
        sizes, results = orders(args, python, binary, out_root)
    print_goals(goals, sizes, results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
