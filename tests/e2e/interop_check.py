#!/usr/bin/env python3
"""Other programs' ASC readers must read back what the text logs hold (see README.md)."""
import argparse, glob, os, re, shutil, subprocess, sys, tempfile

PERIOD_MS = {2: 3600 * 1000, 3: 86400 * 1000}
CANDUMP = re.compile(r"^\((\d+\.\d+)\) \S+ ([0-9A-F]+)#(#[0-9A-F])?([0-9A-F]*)(?: ([RT]))?$")


def relative(frames):
    return [(t - frames[0][0],) + tuple(rest) for t, *rest in frames]


def read_text_log(path):
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    time_format = int(next(l for l in lines if l.startswith("# Time format: ")).split(": ")[1])
    period, offset, previous, frames = PERIOD_MS[time_format], 0, None, []
    for line in [l for l in lines if not l.startswith("#")][1:]:
        stamp, _lost, ftype, ident, _length, data = line.split(";")
        parts = [int(p) for p in re.split(r"[:.]", stamp)]
        hh, mm, ss, ms = parts if time_format == 3 else [0] + parts
        t = ((hh * 60 + mm) * 60 + ss) * 1000 + ms + offset
        if previous is not None and t < previous - period // 2:
            offset += period
            t += period
        previous = t
        frames.append((t / 1000.0, int(ident, 16), ftype in ("1", "9"), ftype in ("8", "9"),
                       bytes.fromhex(data)))
    return relative(sorted(frames, key=lambda f: f[0]))


def read_with_python_can(asc_path, _temp):
    import can  # Debian's python3-can
    return relative([(m.timestamp, m.arbitration_id, m.is_extended_id, not m.is_rx, bytes(m.data))
                     for m in can.ASCReader(asc_path)])


def read_with_asc2log(asc_path, temp):
    out = os.path.join(temp, os.path.basename(asc_path) + ".log")
    subprocess.run(["asc2log", "-I", asc_path, "-O", out], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    frames = []
    with open(out) as f:
        for line in f:
            m = CANDUMP.match(line.strip())
            if not m:
                raise AssertionError("asc2log wrote an unexpected line: %r" % line)
            stamp, ident, _flags, data, direction = m.groups()
            frames.append((float(stamp), int(ident, 16), len(ident) == 8, direction == "T",
                           bytes.fromhex(data)))
    return relative(frames)


def compare(name, expected, actual):
    if len(expected) != len(actual):
        return ["%s: %d frames expected, %d read back" % (name, len(expected), len(actual))]
    return ["%s frame %d: expected %r, read %r" % (name, n, e, a)
            for n, (e, a) in enumerate(zip(expected, actual))
            if e[1:] != a[1:] or abs(e[0] - a[0]) > 0.0000015][:10]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--reader", choices=["python-can", "asc2log"], required=True)
    parser.add_argument("--card", required=True)
    options = parser.parse_args()
    read_back = read_with_python_can if options.reader == "python-can" else read_with_asc2log
    problems, checked = [], 0
    with tempfile.TemporaryDirectory(prefix="tracewright-interop-") as temp:
        card, out = os.path.join(temp, "card"), os.path.join(temp, "out")
        shutil.copytree(options.card, card)
        os.mkdir(out)
        inputs = sorted(os.path.join(card, name) for name in os.listdir(card))
        subprocess.run([options.binary, "-O", out] + inputs, check=True)
        for log in sorted(glob.glob(os.path.join(card, "**", "*.[tT][xX][tT]"), recursive=True)):
            rel = os.path.relpath(log, card)
            top, _, rest = rel.partition(os.sep)
            out_rel = os.path.join(top + "_out", rest) if rest else rel
            asc = os.path.join(out, os.path.splitext(out_rel)[0] + ".asc")
            expected = read_text_log(log)
            problems += compare(rel, expected, read_back(asc, temp))
            checked += len(expected)
    summary = "%s read back %d frames identically" % (options.reader, checked)
    print("\n".join(problems) or (summary if checked else "no frames were checked"))
    return 1 if problems or not checked else 0


if __name__ == "__main__":
    sys.exit(main())
