#!/usr/bin/env python3
"""Runs one golden end-to-end case against the real binary.

A case folder holds:
  args             the arguments, one per line (paths relative to the work folder)
  input/           copied to a fresh temporary work folder, which is the working directory
  setup            optional shell script for what git cannot store (FIFOs, links,
                   empty folders); it runs in the work folder before the tool and
                   in a copy of expected/ before the comparison, with the argument
                   "work" or "expected" for a setup that must differ between the two
                   (a link the tool is meant to remove exists only before the run)
  expected/        the whole work folder after the run (inputs and outputs)
  expected_stdout  standard output, byte for byte
  expected_stderr  standard error with each line's time, process and thread
                   columns removed (level letter and message remain)
  expected_status  the exit status
  terminal         optional: standard error is then a pseudo-terminal, and
                   expected_stderr is a transcript of it in which each run of
                   progress-line drawings shows as its first drawing, after
                   "progress: ", with the rate and the run time masked
  unprivileged     optional, empty: permission bits must bind, so when the suite
                   runs as root the tool runs as the user nobody (the case is
                   skipped, with exit code 77, when that cannot be arranged)

The work folder's absolute path is written as <work> in the expected streams,
and the tool's version (--tool-version) as <version> in the expected output.
"""
import argparse
import difflib
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile

CONTEXT = re.compile(rb"^\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} +\d+ +\d+ ", re.M)
# The progress line is drawn and erased with this prefix (column 0, clear line).
CLEAR_LINE = b"\r\x1b[K"
TIMINGS = [(re.compile(rb"\d+\.\d MB/s"), b"<rate> MB/s"),
           (re.compile(rb" in \d+\.\d s"), b" in <time> s")]


def run_on_terminal(command, cwd):
    """Runs command with standard error on a pseudo-terminal; returns the
    exit status, standard output and the transcript of standard error."""
    master, slave = pty.openpty()
    child = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    raw = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # EIO: the child closed the terminal
            break
        if not chunk:
            break
        raw += chunk
    os.close(master)
    stdout = child.stdout.read()
    child.wait(timeout=120)
    # Drawings never end in a newline; text written after an erase always does.
    transcript = []
    drawing = False
    for index, piece in enumerate(raw.replace(b"\r\n", b"\n").split(CLEAR_LINE)):
        if piece.endswith(b"\n") or index == 0:
            transcript.append(piece)
            drawing = False
        elif piece and not drawing:
            transcript.append(b"progress: " + piece + b"\n")
            drawing = True
    text = b"".join(transcript)
    for pattern, mask in TIMINGS:
        text = pattern.sub(mask, text)
    return child.returncode, stdout, text


def tree(root):
    """Maps every path under root to its bytes (files), '<dir>' or '<link>'."""
    found = {}
    for folder, dirs, files in os.walk(root, followlinks=False):
        rel_folder = os.path.relpath(folder, root)
        for d in dirs:
            rel = os.path.normpath(os.path.join(rel_folder, d))
            full = os.path.join(folder, d)
            found[rel] = "<link>" if os.path.islink(full) else "<dir>"
        for f in files:
            rel = os.path.normpath(os.path.join(rel_folder, f))
            full = os.path.join(folder, f)
            if os.path.islink(full):
                found[rel] = "<link>"
            elif not os.path.isfile(full):
                found[rel] = "<special>"
            else:
                with open(full, "rb") as h:
                    found[rel] = h.read()
    return found


def describe(value):
    return value if isinstance(value, str) else "%d bytes" % len(value)


def compare_trees(expected_root, actual_root):
    problems = []
    expected = tree(expected_root)
    actual = tree(actual_root)
    for path in sorted(set(expected) | set(actual)):
        if path not in actual:
            problems.append("missing: %s" % path)
        elif path not in expected:
            problems.append("unexpected: %s (%s)" % (path, describe(actual[path])))
        elif expected[path] != actual[path]:
            if isinstance(expected[path], bytes) and isinstance(actual[path], bytes):
                diff = difflib.unified_diff(
                    expected[path].decode("utf-8", "replace").splitlines(),
                    actual[path].decode("utf-8", "replace").splitlines(),
                    "expected/" + path, "actual/" + path, lineterm="", n=1)
                problems.append("differs: %s\n%s" % (path, "\n".join(list(diff)[:40])))
            else:
                problems.append("differs: %s (%s vs %s)" % (path, describe(expected[path]),
                                                              describe(actual[path])))
    return problems


def compare_stream(name, expected_path, actual):
    expected = b""
    if os.path.exists(expected_path):
        with open(expected_path, "rb") as h:
            expected = h.read()
    if expected == actual:
        return []
    diff = difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(),
                                actual.decode("utf-8", "replace").splitlines(),
                                "expected_" + name, "actual_" + name, lineterm="")
    return ["%s differs:\n%s" % (name, "\n".join(diff))]


def lay_out(case, tree_name, target, setup_argument):
    """Copies the case's tree (or makes an empty folder) at target and runs
    the case's setup script there; returns target."""
    source = os.path.join(case, tree_name)
    if os.path.isdir(source):
        shutil.copytree(source, target, symlinks=True)
    else:
        os.mkdir(target)
    setup = os.path.join(case, "setup")
    if os.path.exists(setup):
        subprocess.run(["bash", setup, setup_argument], cwd=target, check=True)
    return target


SKIPPED = 77


def unprivileged_prefix(case, temp, work, binary):
    """The command prefix that runs the tool as nobody for an 'unprivileged'
    case under root ([] when none is needed), or None when it cannot be done."""
    if not os.path.exists(os.path.join(case, "unprivileged")) or os.geteuid() != 0:
        return []
    setpriv = shutil.which("setpriv")
    if setpriv is None:
        return None
    prefix = [setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
    os.chmod(temp, 0o755)
    for folder, dirs, files in os.walk(work):
        for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
            os.lchown(name, 65534, 65534)
    probe = subprocess.run(prefix + ["test", "-x", binary, "-a", "-w", work])
    return prefix if probe.returncode == 0 else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--case", required=True)
    parser.add_argument("--tool-version", default="")
    options = parser.parse_args()
    case = os.path.abspath(options.case)
    binary = os.path.abspath(options.binary)

    with tempfile.TemporaryDirectory(prefix="tracewright-e2e-") as temp:
        work = lay_out(case, "input", os.path.join(temp, "work"), "work")
        args = []
        if os.path.exists(os.path.join(case, "args")):
            with open(os.path.join(case, "args")) as h:
                content = h.read()
            if content.endswith("\n"):
                content = content[:-1]
            args = content.split("\n") if content else []
        prefix = unprivileged_prefix(case, temp, work, binary)
        if prefix is None:
            print("SKIPPED %s: cannot run the tool as the user nobody (setpriv missing, "
                  "or the build or temporary folder is closed to it)" % os.path.basename(case))
            return SKIPPED
        if os.path.exists(os.path.join(case, "terminal")):
            returncode, stdout, stderr = run_on_terminal(prefix + [binary] + args, work)
        else:
            run = subprocess.run(prefix + [binary] + args, cwd=work, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
            returncode, stdout, stderr = run.returncode, run.stdout, run.stderr
        work_bytes = work.encode()
        stdout = stdout.replace(work_bytes, b"<work>")
        if options.tool_version:
            stdout = stdout.replace(b"Version: " + options.tool_version.encode(),
                                    b"Version: <version>")
        stderr = CONTEXT.sub(b"", stderr).replace(work_bytes, b"<work>")

        problems = []
        with open(os.path.join(case, "expected_status")) as h:
            expected_status = int(h.read().strip())
        if returncode != expected_status:
            problems.append("status: expected %d, got %d" % (expected_status, returncode))
        problems += compare_stream("stdout", os.path.join(case, "expected_stdout"), stdout)
        problems += compare_stream("stderr", os.path.join(case, "expected_stderr"), stderr)
        # Restore search permission that a setup may have taken away, so the
        # tree can be read and the folder removed.
        for folder, dirs, _ in os.walk(work):
            for d in dirs:
                full = os.path.join(folder, d)
                if not os.path.islink(full):
                    os.chmod(full, 0o755)
        expected = lay_out(case, "expected", os.path.join(temp, "expected"), "expected")
        problems += compare_trees(expected, work)

    if problems:
        print("FAILED %s" % os.path.basename(case))
        for p in problems:
            print(p)
        return 1
    print("passed %s" % os.path.basename(case))
    return 0


if __name__ == "__main__":
    sys.exit(main())
