#!/usr/bin/env python3
"""Runs one golden end-to-end case against the real binary (see README.md)."""
import argparse, difflib, fcntl, os, pathlib, pty, re, shutil, struct, subprocess, sys, tempfile, termios

CONTEXT = re.compile(rb"^\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} +\d+ +\d+ ", re.M)
CLEAR_LINE = b"\r\x1b[K"  # how the progress line is drawn and erased; a drawing ends in "\r"
TIMINGS = [(re.compile(rb"\d+\.\d MB/s"), b"<rate> MB/s"), (re.compile(rb" in \d+\.\d s"), b" in <time> s")]


def run_on_terminal(command, cwd, columns):
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    child = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=slave)
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
    # Drawings never end in a newline; text written after an erase always does. Every drawing,
    # shown or collapsed, must leave the last column free.
    transcript, drawing = [], False
    for index, piece in enumerate(raw.replace(b"\r\n", b"\n").split(CLEAR_LINE)):
        if piece.endswith(b"\n") or index == 0:
            transcript.append(piece)
            drawing = False
        elif piece:
            line = piece.removesuffix(b"\r")
            if len(line) >= columns:
                transcript.append(b"progress wider than the terminal: " + line + b"\n")
            elif not drawing:
                transcript.append(b"progress: " + line + b"\n")
            drawing = True
    text = b"".join(transcript)
    for pattern, mask in TIMINGS:
        text = pattern.sub(mask, text)
    return child.returncode, stdout, text


def tree(root):
    """Maps every path under root to its bytes, or to '<dir>', '<link>' or '<special>'."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            full = os.path.join(folder, name)
            kind = ("<link>" if os.path.islink(full) else "<dir>" if os.path.isdir(full)
                    else None if os.path.isfile(full) else "<special>")
            found[os.path.relpath(full, root)] = kind or read(folder, name)
    return found


def diff(name, expected, actual):
    lines = difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(),
                                 actual.decode("utf-8", "replace").splitlines(),
                                 "expected " + name, "actual " + name, lineterm="", n=1)
    return "%s differs:\n%s" % (name, "\n".join(list(lines)[:40]))


def compare_trees(expected, actual):
    describe = lambda v: "absent" if v is None else v if isinstance(v, str) else "a file"
    return [diff(path, e, a) if isinstance(e, bytes) and isinstance(a, bytes)
            else "%s: expected %s, found %s" % (path, describe(e), describe(a))
            for path in sorted(set(expected) | set(actual))
            for e, a in [(expected.get(path), actual.get(path))] if e != a]


def read(folder, name):
    path = pathlib.Path(folder, name)
    return path.read_bytes() if path.exists() else b""


def lay_out(case, tree_name, target, setup_argument):
    source = os.path.join(case, tree_name)
    if os.path.isdir(source):
        shutil.copytree(source, target, symlinks=True)
    else:
        os.mkdir(target)
    if os.path.exists(os.path.join(case, "setup")):
        subprocess.run(["bash", os.path.join(case, "setup"), setup_argument], cwd=target, check=True)
    return target


def unprivileged_prefix(case, temp, work, binary):
    """[] when the case may run as is, the prefix that runs it as nobody, or None."""
    if not os.path.exists(os.path.join(case, "unprivileged")) or os.geteuid() != 0:
        return []
    if shutil.which("setpriv") is None:
        return None
    prefix = [shutil.which("setpriv"), "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
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
    parser.add_argument("--jobs", type=int, help="run with -j JOBS first; standard error's lines as a set")
    options = parser.parse_args()
    case, binary = os.path.abspath(options.case), os.path.abspath(options.binary)
    name = os.path.basename(case)
    args = read(case, "args").decode().removesuffix("\n")
    args = args.split("\n") if args else []
    if options.jobs is not None:
        # Standard output holds usage or command-line errors, whose text depends on the arguments;
        # a terminal's progress transcript depends on the order logs finish in.
        why = ("it prints on standard output" if read(case, "expected_stdout") else
               "its standard error is a terminal" if os.path.exists(os.path.join(case, "terminal"))
               else read(case, "serial").decode().strip())
        if why:
            print("SKIPPED %s with -j %d: %s" % (name, options.jobs, why))
            return 77
        args = ["-j", str(options.jobs)] + args

    with tempfile.TemporaryDirectory(prefix="tracewright-e2e-") as temp:
        work = lay_out(case, "input", os.path.join(temp, "work"), "work")
        prefix = unprivileged_prefix(case, temp, work, binary)
        if prefix is None:
            print("SKIPPED %s: cannot run the tool as the user nobody" % name)
            return 77  # ctest's SKIP_RETURN_CODE
        command = prefix + [binary] + args
        cwd = os.path.join(work, read(case, "cwd").decode().strip())  # a subfolder, or the work folder
        if os.path.exists(os.path.join(case, "terminal")):  # holds its width, or 100 columns
            status, stdout, stderr = run_on_terminal(command, cwd, int(read(case, "terminal") or 100))
        else:
            run = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
            status, stdout, stderr = run.returncode, run.stdout, run.stderr
        stdout = stdout.replace(work.encode(), b"<work>")
        if options.tool_version:
            stdout = stdout.replace(b"Version: " + options.tool_version.encode(), b"Version: <version>")
        stderr = CONTEXT.sub(b"", stderr).replace(work.encode(), b"<work>")

        problems = []
        expected_status = int(read(case, "expected_status").strip())
        if status != expected_status:
            problems.append("status: expected %d, got %d" % (expected_status, status))
        expected_stderr = read(case, "expected_stderr")
        if options.jobs is not None:  # lines of different logs may interleave, each one whole
            expected_stderr, stderr = (b"\n".join(sorted(s.splitlines())) for s in (expected_stderr, stderr))
        for stream, expected, actual in (("stdout", read(case, "expected_stdout"), stdout),
                                         ("stderr", expected_stderr, stderr)):
            if expected != actual:
                problems.append(diff(stream, expected, actual))
        # A setup may have taken search permission away: give it back so the tree can be read.
        subprocess.run(["chmod", "-R", "u+rwX", work], check=True)
        expected = lay_out(case, "expected", os.path.join(temp, "expected"), "expected")
        problems += compare_trees(tree(expected), tree(work))

    print(("FAILED %s\n" % name + "\n".join(problems)) if problems else "passed %s" % name)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
