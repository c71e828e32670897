#!/usr/bin/env python3
"""Other programs' readers must read back what the text logs hold (see README.md)."""
import argparse, calendar, glob, os, re, shutil, subprocess, sys, tempfile

PERIOD_MS = {2: 3600 * 1000, 3: 86400 * 1000}
CANDUMP = re.compile(r"^\((\d+\.\d+)\) \S+ ([0-9A-F]+)#(#[0-9A-F])?([0-9A-F]*)(?: ([RT]))?$")


def relative(frames):
    return [(t - frames[0][0],) + tuple(rest) for t, *rest in frames]


def frame(t, ident, extended, tx, data, dlc=None):
    return (t, ident, extended, tx, bytes(data), len(data) if dlc is None else dlc)


def read_text_log(path):
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    time_format = int(next(l for l in lines if l.startswith("# Time format: ")).split(": ")[1])
    header = next(l for l in lines if l.startswith("# Time: ")).split(": ")[1]
    # The header dates the stamps; format 2 stamps also take its hour.
    base_ms = 1000 * calendar.timegm((int(header[:4]), int(header[4:6]), int(header[6:8]),
                                      int(header[9:11]) if time_format == 2 else 0, 0, 0))
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
        frames.append(frame((base_ms + t) / 1000.0, int(ident, 16), ftype in ("1", "9"),
                            ftype in ("8", "9"), bytes.fromhex(data)))
    return sorted(frames, key=lambda f: f[0])


def python_can_frames(reader):
    return [frame(m.timestamp, m.arbitration_id, m.is_extended_id, not m.is_rx, m.data, m.dlc)
            for m in reader]


def read_with_python_can(asc_path, _temp):
    import can  # Debian's python3-can
    return relative(python_can_frames(can.ASCReader(asc_path)))


def read_blf(blf_path, _temp):
    import can
    here = os.path.dirname(os.path.abspath(__file__))
    subprocess.run([sys.executable, os.path.join(here, "blf_structure.py"), blf_path], check=True,
                   stdout=subprocess.DEVNULL)
    return python_can_frames(can.BLFReader(blf_path))


def read_candump(log_path, _temp):
    import can
    return python_can_frames(can.CanutilsLogReader(log_path))


def read_with_log2asc(log_path, temp):
    import can
    out = os.path.join(temp, os.path.basename(log_path) + ".asc")
    subprocess.run(["log2asc", "-I", log_path, "-O", out, "can0"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return relative(python_can_frames(can.ASCReader(out)))


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
            frames.append(frame(float(stamp), int(ident, 16), len(ident) == 8, direction == "T",
                                bytes.fromhex(data)))
    return relative(frames)


def compare(name, expected, actual):
    if len(expected) != len(actual):
        return ["%s: %d frames expected, %d read back" % (name, len(expected), len(actual))]
    return ["%s frame %d: expected %r, read %r" % (name, n, e, a)
            for n, (e, a) in enumerate(zip(expected, actual))
            if e[1:] != a[1:] or abs(e[0] - a[0]) > 0.0000015][:10]


# Reader -> (read back, the trace it reads, its times absolute).
READERS = {
    "python-can": (read_with_python_can, ".asc", False),
    "asc2log": (read_with_asc2log, ".asc", False),
    "python-can-blf": (read_blf, ".blf", True),
    "python-can-candump": (read_candump, ".log", True),
    "log2asc": (read_with_log2asc, ".log", False),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--reader", choices=sorted(READERS), required=True)
    parser.add_argument("--card", required=True)
    options = parser.parse_args()
    read_back, suffix, absolute = READERS[options.reader]
    os.environ["TZ"] = "UTC"  # BLF's calendar times are read as local ones
    problems, checked = [], 0
    with tempfile.TemporaryDirectory(prefix="tracewright-interop-") as temp:
        card, out = os.path.join(temp, "card"), os.path.join(temp, "out")
        shutil.copytree(options.card, card)
        os.mkdir(out)
        inputs = sorted(os.path.join(card, name) for name in os.listdir(card))
        subprocess.run([options.binary, "-f", "asc,blf,log", "-O", out] + inputs, check=True)
        for log in sorted(glob.glob(os.path.join(card, "**", "*.[tT][xX][tT]"), recursive=True)):
            rel = os.path.relpath(log, card)
            top, _, rest = rel.partition(os.sep)
            out_rel = os.path.join(top + "_out", rest) if rest else rel
            trace = os.path.join(out, os.path.splitext(out_rel)[0] + suffix)
            expected = read_text_log(log)
            if not absolute:
                expected = relative(expected)
            problems += compare(rel, expected, read_back(trace, temp))
            checked += len(expected)
    summary = "%s read back %d frames identically" % (options.reader, checked)
    print("\n".join(problems) or (summary if checked else "no frames were checked"))
    return 1 if problems or not checked else 0


if __name__ == "__main__":
    sys.exit(main())
