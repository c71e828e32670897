#!/usr/bin/env python3
"""Writes the benchmark corpus: text logs as a logger's memory card holds
them, and the very same frames as candump logs for the peer converters.

    python3 bench/gen_corpus.py OUT [--frames N] [--files K] [--seed S]

OUT/text/0000000k.TXT are the text logs (all sixteen header keys, columns
Timestamp;Lost;Type;ID;Length;Data, time format 3 with hh:mm:ss.mmm stamps
dated by the header's Time), OUT/candump/0000000k.log the same frames as
"(sec.usec) can0 ID#DATA" lines. The frames follow one another every 0.2 to
3 ms, 60 % with standard and 40 % with extended identifiers drawn from a
fixed set (as a bus carries a limited set of messages), mostly 8 data
bytes. The first file crosses midnight, so the reader's day rollover is on
the measured path. Seeded: the same arguments always write the same bytes.
OUT/corpus.json records the arguments and the totals; a run with the same
arguments finds it and writes nothing.

    python3 bench/gen_corpus.py OUT --order ORDER --sizes N1,N2,...

writes instead one text log per size, OUT/<N>.TXT, in time format 0 (no
rollover) and in one of three orders: "in-order"; "local", where the lines
of every block of 512 frames (under a second) are shuffled; "reversed",
where every data line is earlier than the one before it. The smaller logs
are the first lines of the largest, written in the same pass.
"""
import argparse
import calendar
import json
import os
import random
import shutil
import sys
import time

HEADER = """# Logger type: Marrowbox2000
# HW rev: 2.1
# FW rev: 5.63
# Logger ID: 1A2B3C4D
# Session No.: 42
# Split No.: {split}
# Time: {time}
# Value separator: ";"
# Time format: 3
# Time separator: ":"
# Time separator ms: "."
# Date separator: ""
# Time and date separator: ""
# Bit-rate: 500000
# Silent mode: false
# Cyclic mode: false
Timestamp;Lost;Type;ID;Length;Data
"""

# 2024-03-15 23:58:00 on the logger's clock, read as UTC like the converter
# does; the first file runs past midnight.
START = calendar.timegm((2024, 3, 15, 23, 58, 0, 0, 0, 0))


def header_time(seconds):
    y, mo, d, h, mi, s = time.gmtime(seconds)[:6]
    return "%04d%02d%02dT%02d%02d%02d" % (y, mo, d, h, mi, s)


def write_file(rng, ids, text_path, candump_path, split, first_us, count):
    """Writes one text log and its candump twin; returns the time after the
    last frame (microseconds) and the byte sizes."""
    t_us = first_us
    text = [HEADER.format(split=split, time=header_time(first_us // 1000000))]
    dump = []
    std_ids, ext_ids = ids
    randrange, random_ = rng.randrange, rng.random
    getrandbits, choice = rng.getrandbits, rng.choice
    for _ in range(count):
        ms = t_us // 1000
        seconds, milli = divmod(ms, 1000)
        day_seconds = seconds % 86400
        hh, rest = divmod(day_seconds, 3600)
        mm, ss = divmod(rest, 60)
        extended = random_() < 0.4
        ident = choice(ext_ids) if extended else choice(std_ids)
        kind = (1 if extended else 0) + (8 if random_() < 0.1 else 0)
        length = 8 if random_() < 0.85 else randrange(8)
        data = "%0*X" % (2 * length, getrandbits(8 * length)) if length else ""
        text.append("%02d:%02d:%02d.%03d;0;%d;%X;%d;%s\n"
                    % (hh, mm, ss, milli, kind, ident, length, data))
        # The candump twin carries the time the text log can express: whole
        # milliseconds.
        dump.append("(%d.%06d) can0 %0*X#%s\n"
                    % (seconds, milli * 1000, 8 if extended else 3, ident, data))
        t_us += randrange(200, 3001)
    text_bytes = "".join(text).encode("ascii")
    dump_bytes = "".join(dump).encode("ascii")
    with open(text_path, "wb") as f:
        f.write(text_bytes)
    with open(candump_path, "wb") as f:
        f.write(dump_bytes)
    return t_us, len(text_bytes), len(dump_bytes)


def generate(out, frames, files, seed):
    rng = random.Random(seed)
    std_ids = sorted(rng.sample(range(0x800), 80))
    ext_ids = sorted(rng.sample(range(0x20000000), 50))
    text_dir = os.path.join(out, "text")
    dump_dir = os.path.join(out, "candump")
    # Files of an earlier corpus with more files must not linger.
    shutil.rmtree(text_dir, ignore_errors=True)
    shutil.rmtree(dump_dir, ignore_errors=True)
    os.makedirs(text_dir, exist_ok=True)
    os.makedirs(dump_dir, exist_ok=True)
    t_us = START * 1000000
    entries = []
    for k in range(files):
        # Spread the frames evenly; the first files take the remainder.
        count = frames // files + (1 if k < frames % files else 0)
        name = "%08d" % (k + 1)
        text_path = os.path.join(text_dir, name + ".TXT")
        dump_path = os.path.join(dump_dir, name + ".log")
        t_us, text_size, dump_size = write_file(rng, (std_ids, ext_ids), text_path, dump_path,
                                                k + 1, t_us, count)
        entries.append({"name": name, "frames": count, "text_bytes": text_size,
                        "candump_bytes": dump_size})
        # A split file starts a little after the previous one ended.
        t_us += rng.randrange(1000, 5000)
    return entries


BLOCK = 512


def write_order_files(out, sizes, order, seed):
    """One log per size in the given order; returns the entries."""
    rng = random.Random(seed)
    std_ids = sorted(rng.sample(range(0x800), 80))
    ext_ids = sorted(rng.sample(range(0x20000000), 50))
    os.makedirs(out, exist_ok=True)
    largest = max(sizes)
    # 01:00 on the logger's clock: hours of frames stay within the day.
    start_us = calendar.timegm((2024, 3, 15, 1, 0, 0, 0, 0, 0)) * 1000000
    step = -1 if order == "reversed" else 1
    t_us = start_us + (largest * 3000 if step < 0 else 0)
    header = HEADER.replace("# Time format: 3", "# Time format: 0").format(
        split=1, time=header_time(start_us // 1000000))
    files = {n: open(os.path.join(out, "%d.TXT" % n), "w") for n in sizes}
    for f in files.values():
        f.write(header)
    randrange, random_ = rng.randrange, rng.random
    getrandbits, choice = rng.getrandbits, rng.choice
    written = 0
    while written < largest:
        lines = []
        for _ in range(min(BLOCK, largest - written)):
            seconds, milli = divmod(t_us // 1000, 1000)
            hh, rest = divmod(seconds % 86400, 3600)
            mm, ss = divmod(rest, 60)
            extended = random_() < 0.4
            ident = choice(ext_ids) if extended else choice(std_ids)
            length = 8 if random_() < 0.85 else randrange(8)
            data = "%0*X" % (2 * length, getrandbits(8 * length)) if length else ""
            lines.append("%02d:%02d:%02d.%03d;0;%d;%X;%d;%s\n"
                         % (hh, mm, ss, milli, 1 if extended else 0, ident, length, data))
            t_us += step * randrange(200, 3001)
        if order == "local":
            rng.shuffle(lines)
        for n, f in files.items():
            if written < n:
                f.write("".join(lines[:n - written]))
        written += len(lines)
    entries = []
    for n, f in files.items():
        f.close()
        entries.append({"name": "%d" % n, "frames": n,
                        "text_bytes": os.path.getsize(os.path.join(out, "%d.TXT" % n))})
    return entries


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--frames", type=int, default=1000000)
    parser.add_argument("--files", type=int, default=10)
    parser.add_argument("--seed", type=int, default=20240315)
    parser.add_argument("--order", choices=("in-order", "local", "reversed"))
    parser.add_argument("--sizes", help="frames per log, comma-separated (with --order)")
    args = parser.parse_args()
    if args.files < 1 or args.frames < args.files:
        parser.error("need at least one file and one frame per file")
    sizes = sorted(int(n) for n in args.sizes.split(",")) if args.order else []
    if args.order and (not sizes or sizes[0] < 1):
        parser.error("--order needs --sizes with at least one frame each")

    wanted = {"frames": args.frames, "files": args.files, "seed": args.seed,
              "order": args.order, "sizes": sizes,
              "generator": os.path.getmtime(__file__)}
    manifest = os.path.join(args.out, "corpus.json")
    try:
        with open(manifest) as f:
            if json.load(f).get("args") == wanted:
                return 0
    except (OSError, ValueError):
        pass

    if args.order:
        print("generating %s logs of %s frames under %s" % (args.order, args.sizes, args.out),
              file=sys.stderr)
        entries = write_order_files(args.out, sizes, args.order, args.seed)
    else:
        print("generating %d frames in %d files under %s" % (args.frames, args.files, args.out),
              file=sys.stderr)
        entries = generate(args.out, args.frames, args.files, args.seed)
    with open(manifest, "w") as f:
        json.dump({"args": wanted, "files": entries}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
