#!/usr/bin/env python3
"""Stops the binary at random moments: no partial trace, no input lost (see README.md)."""
import argparse, os, pathlib, random, shutil, signal, subprocess, sys, tempfile, time

HEADER = ("# Logger type: Marrowbox2000\n# Time: 20240315T101500\n# Value separator: \";\"\n"
          "# Time format: 3\n# Time separator: \":\"\n# Time separator ms: \".\"\n"
          "Timestamp;Lost;Type;ID;Length;Data\n")
FILES, FRAMES, ROUNDS = 4, 25000, 16
SIGNALS = [signal.SIGKILL, signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
# Past the 393216 frames of one chunk of the writer's store, so the log is sorted through a run
# spilled to the disk; a spill round stops the run once that file is there.
SPILL_FRAMES, SPILL_ROUNDS = 400000, 3


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
    with open(os.path.join(card, "LOG", "spill.txt"), "w") as h:
        h.write(HEADER + block * (SPILL_FRAMES // 10))


def stop(tool, work, sig, delay, spill):
    """Signals the tool after the delay, counted in a spill round from when a run file appears."""
    out = os.path.join(work, "LOG_out")
    while spill and tool.poll() is None and not (
            os.path.isdir(out) and any(".run" in name for name in os.listdir(out))):
        time.sleep(0.001)
    time.sleep(delay)
    if tool.poll() is None:
        tool.send_signal(sig)


def listing(root):
    return {os.path.relpath(os.path.join(f, n), root) for f, _, names in os.walk(root) for n in names}


def check_round(work, pristine, reference, delete, sig, returncode):
    problems = []
    if sig != signal.SIGKILL and returncode not in (0, -sig):
        problems.append("status %d after signal %d" % (returncode, sig))
    left = listing(work)
    temporary = [p for p in left if os.path.basename(p).startswith(".")]
    if temporary and (sig != signal.SIGKILL or len(temporary) > 1):
        problems.append("temporary files left: %s" % sorted(temporary))
    for path in left - set(temporary):
        if path.endswith(".asc") and pathlib.Path(work, path).read_bytes() != reference[path]:
            problems.append("incomplete trace %s" % path)
    for path in pristine - left:  # the removed inputs
        if not delete or path.replace("LOG/", "LOG_out/", 1)[:-4] + ".asc" not in left:
            problems.append("input %s removed without its trace" % path)
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
            reference_run = card + "-reference"
            shutil.copytree(card, reference_run)
            started = time.monotonic()
            subprocess.run([binary, "LOG"], cwd=reference_run, check=True)
            duration = time.monotonic() - started
            reference = {p: pathlib.Path(reference_run, p).read_bytes()
                         for p in listing(reference_run) if p.endswith(".asc")}
            shutil.rmtree(reference_run)
            for _ in range(rounds):
                delete = round_number % 2 == 1
                sig = signals[round_number % len(signals)]
                delay = rng.uniform(0, 0.05 if spill else duration * 1.2)
                work = os.path.join(temp, "work%d" % round_number)
                shutil.copytree(card, work)
                tool = subprocess.Popen([binary] + (["-d"] if delete else []) + ["LOG"], cwd=work,
                                        stderr=subprocess.DEVNULL)
                stop(tool, work, sig, delay, spill)
                returncode = tool.wait()
                problems = check_round(work, pristine, reference, delete, sig, returncode)
                if problems:
                    failures += 1
                    print("round %d (seed %d, -d %s, signal %d after %.3f s):" % (
                        round_number, options.seed, delete, sig, delay) + "\n  ".join([""] + problems))
                shutil.rmtree(work)
                round_number += 1
    print("%d of %d rounds failed" % (failures, ROUNDS + SPILL_ROUNDS))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
