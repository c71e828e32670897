#!/usr/bin/env python3
"""Stops the binary at random moments: no partial trace, no input lost (see README.md)."""
import argparse, os, pathlib, random, shutil, signal, subprocess, sys, tempfile, time

HEADER = ("# Logger type: Marrowbox2000\n# Time: 20240315T101500\n# Value separator: \";\"\n"
          "# Time format: 3\n# Time separator: \":\"\n# Time separator ms: \".\"\n"
          "Timestamp;Lost;Type;ID;Length;Data\n")
FILES, FRAMES, ROUNDS = 4, 25000, 16
SIGNALS = [signal.SIGKILL, signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
# Past the 393216 frames of one chunk of the writer's store, so each log is sorted through a run
# spilled to the disk; a spill round stops the run once such a file is there.
SPILL_FILES, SPILL_FRAMES, SPILL_ROUNDS = 2, 400000, 6
# The second half of each kind of round runs two workers; its last round writes every format
# and, when it is not a spill round, is stopped once a candump temporary file is there.
FORMATS = "asc,blf,log"


def write_card(card):
    os.makedirs(os.path.join(card, "LOG"))
    for index in range(FILES):
        with open(os.path.join(card, "LOG", "%0*d.txt" % (8 - index, index)), "w") as h:
            h.write(HEADER + "".join("10:%02d:%02d.%03d;0;0;%X;2;%02X%02X\n" % (
                15 + ms // 60000, ms // 1000 % 60, ms % 1000, 0x100 + frame % 0x600, frame % 256,
                index) for frame in range(FRAMES) for ms in [frame * 7 + index]))


def write_spill_card(card):
    os.makedirs(os.path.join(card, "LOG"))
    block = "".join("10:15:0%d.%03d;0;0;%X;1;%02X\n" % (d * 7 % 10, d, 0x100 + d, d) for d in range(10))
    for index in range(SPILL_FILES):
        with open(os.path.join(card, "LOG", "spill%d.txt" % index), "w") as h:
            h.write(HEADER + block * (SPILL_FRAMES // 10))


def stop(tool, work, sig, delay, marker):
    """Signals the tool after the delay, counted from when a name holding the marker appears."""
    out = os.path.join(work, "LOG_out")
    while marker and tool.poll() is None and not (
            os.path.isdir(out) and any(marker in name for name in os.listdir(out))):
        time.sleep(0.001)
    time.sleep(delay)
    if tool.poll() is None:
        tool.send_signal(sig)


def listing(root):
    return {os.path.relpath(os.path.join(f, n), root) for f, _, names in os.walk(root) for n in names}


def check_round(work, pristine, reference, delete, sig, returncode, jobs, formats):
    problems = []
    if sig != signal.SIGKILL and returncode not in (0, -sig):
        problems.append("status %d after signal %d" % (returncode, sig))
    left = listing(work)
    temporary = [p for p in left if os.path.basename(p).startswith(".")]
    # A kill leaves at most the trace each worker was writing in each format.
    if temporary and (sig != signal.SIGKILL or len(temporary) > jobs * len(formats)):
        problems.append("temporary files left: %s" % sorted(temporary))
    for path in left - set(temporary) - pristine:
        if pathlib.Path(work, path).read_bytes() != reference.get(path):
            problems.append("incomplete trace %s" % path)
    for path in pristine - left:  # the removed inputs
        traces = {path.replace("LOG/", "LOG_out/", 1)[:-3] + f for f in formats}
        if not delete or not traces <= left:
            problems.append("input %s removed without its traces" % path)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--seed", type=int, default=11)
    options = parser.parse_args()
    binary = os.path.abspath(options.binary)
    rng = random.Random(options.seed)

    failures = 0
    with tempfile.TemporaryDirectory(prefix="tracewright-crash-") as temp:
        round_number = 0
        for write, rounds, signals in [(write_card, ROUNDS, SIGNALS),
                                       (write_spill_card, SPILL_ROUNDS, SIGNALS[1:])]:
            spill = write == write_spill_card
            card = os.path.join(temp, "card%d" % round_number)
            write(card)
            pristine = listing(card)
            durations = {}  # with and without -d, which flushes every trace
            for delete in (False, True):
                reference_run = card + "-reference"
                shutil.copytree(card, reference_run)
                started = time.monotonic()
                subprocess.run([binary, "-f", FORMATS] + ["-d"] * delete + ["LOG"], cwd=reference_run,
                               check=True)
                durations[delete] = time.monotonic() - started
                reference = {p: pathlib.Path(reference_run, p).read_bytes()
                             for p in listing(reference_run) - pristine}
                shutil.rmtree(reference_run)
            for index in range(rounds):
                delete = round_number % 2 == 1
                sig = signals[round_number % len(signals)]
                jobs = 1 if index < rounds // 2 else 2
                formats = FORMATS if index == rounds - 1 else "asc"
                marker = ".run" if spill else ".log." if formats != "asc" else None
                # The reference writes every format, about a third slower than ASC alone: most
                # stops fall within the run, some after it.
                delay = rng.uniform(0, 0.05 if marker else durations[delete] * 0.9 / jobs)
                work = os.path.join(temp, "work%d" % round_number)
                shutil.copytree(card, work)
                tool = subprocess.Popen([binary, "-j%d" % jobs, "-f", formats] + (["-d"] if delete else [])
                                        + ["LOG"], cwd=work, stderr=subprocess.DEVNULL)
                stop(tool, work, sig, delay, marker)
                returncode = tool.wait()
                problems = check_round(work, pristine, reference, delete, sig, returncode, jobs,
                                       formats.split(","))
                if problems:
                    failures += 1
                    print("round %d (seed %d, -j %d -f %s, -d %s, signal %d after %.3f s):" % (
                        round_number, options.seed, jobs, formats, delete, sig, delay)
                          + "\n  ".join([""] + problems))
                shutil.rmtree(work)
                round_number += 1
    print("%d of %d rounds failed" % (failures, ROUNDS + SPILL_ROUNDS))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
