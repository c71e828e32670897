#!/usr/bin/env python3
"""Writes the bundled example logs: a small made-up memory-card tree in the
loggers' text format. Seeded, so every run writes the same bytes.

    python3 examples/generate.py examples/card
"""
import os
import random
import sys

HEADER = """# Logger type: {logger}
# HW rev: 2.1
# FW rev: 5.63
# Logger ID: {logger_id}
# Session No.: {session}
# Split No.: {split}
# Time: {start}
# Value separator: ";"
# Time format: {time_format}
# Time separator: ":"
# Time separator ms: "."
# Date separator: "/"
# Time and date separator: " "
# Bit-rate: 500000
# Silent mode: false
# Cyclic mode: false
Timestamp;Lost;Type;ID;Length;Data
"""


def frame_lines(rng, start_seconds, count, time_format):
    """Data lines, one every 2 to 40 ms, strictly increasing in time."""
    t_ms = start_seconds * 1000 + rng.randrange(1000)
    lines = []
    for _ in range(count):
        t_ms += rng.randrange(2, 40)
        extended = rng.random() < 0.4
        ident = rng.randrange(0x20000000) if extended else rng.randrange(0x800)
        ftype = (1 if extended else 0) + (8 if rng.random() < 0.2 else 0)
        length = 8 if rng.random() < 0.8 else rng.randrange(0, 9)
        data = "".join("%02X" % rng.randrange(256) for _ in range(length))
        seconds, ms = divmod(t_ms, 1000)
        hh, rest = divmod(seconds % 86400, 3600)
        mm, ss = divmod(rest, 60)
        if time_format == 3:
            stamp = "%02d:%02d:%02d.%03d" % (hh, mm, ss, ms)
        else:
            stamp = "%02d:%02d.%03d" % (mm, ss, ms)
        lines.append("%s;0;%d;%X;%d;%s\n" % (stamp, ftype, ident, length, data))
    return lines


def write_log(path, rng, start, session, split, count, time_format=3):
    hh, mm, ss = int(start[9:11]), int(start[11:13]), int(start[13:15])
    text = HEADER.format(logger="Marrowbox2000", logger_id="1A2B3C4D",
                         session=session, split=split, start=start,
                         time_format=time_format)
    lines = frame_lines(rng, hh * 3600 + mm * 60 + ss, count, time_format)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write(text)
        f.writelines(lines)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "card")
    rng = random.Random(20240315)
    write_log(os.path.join(root, "LOG", "00000003.txt"), rng, "20240315T101500", 12, 3, 120)
    write_log(os.path.join(root, "LOG", "2021", "00000001.TXT"), rng, "20211103T235958", 7, 1, 90)
    write_log(os.path.join(root, "LOG", "2021", "00000002.TXT"), rng, "20211104T000130", 7, 2, 80, time_format=2)
    with open(os.path.join(root, "LOG", "2021", "notes.csv"), "w") as f:
        f.write("session;note\n7;bench run on the test rig\n")
    write_log(os.path.join(root, "extra.TXT"), rng, "20240316T080000", 13, 1, 40)


if __name__ == "__main__":
    main()
