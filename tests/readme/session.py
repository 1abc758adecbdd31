#!/usr/bin/env python3
"""Runs the README's session against the simulator, verbatim, in a scratch
folder: every "$ " line of the block that follows the marker comment is given
to one shell, in order, and what each prints must be what the README shows
under it, times and pseudo-terminal numbers aside. A command ended by "&" runs
in the background: what the README shows under it must come within a few
seconds, wherever it falls.

    session.py README.md BUILD_DIR [--log]

With --log, each command and what it printed go to stdout as the run goes.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

MARKER = "<!-- session -->"
END = "__session_command_done__"


def session(readme):
    """The session's commands, each with the lines the README shows under it."""
    text = open(readme, encoding="utf-8").read()
    start = text.index(MARKER)
    block = text[text.index("```", start) :].split("\n")[1:]
    steps = []
    for line in block:
        if line.startswith("```"):
            return steps
        if line.startswith("$ "):
            steps.append((line[2:], []))
        else:
            steps[-1][1].append(line)
    raise SystemExit("the session's block is not closed")


def shown(line):
    """A line as it is compared: times and pseudo-terminal numbers vary."""
    line = re.sub(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d", "TIME", line)
    return re.sub(r"/dev/pts/\d+", "/dev/pts/N", line)


class Shell:
    def __init__(self, env, cwd):
        self.process = subprocess.Popen(
            ["bash", "--noprofile", "--norc"], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, cwd=cwd, text=True)
        self.waiting = []  # what background commands are still to print

    def line(self):
        line = self.process.stdout.readline()
        if not line:
            raise SystemExit("the shell ended early")
        return line.rstrip("\n")

    def run(self, command):
        """What the command prints (less what background jobs print), and its status."""
        self.process.stdin.write(f"{command}\necho {END} $?\n")
        self.process.stdin.flush()
        printed = []
        while True:
            line = self.line()
            if line.startswith(END):
                return printed, int(line.split()[1])
            if self.waiting and shown(line) == shown(self.waiting[0]):
                self.waiting.pop(0)
            else:
                printed.append(line)

    def expect(self, lines, seconds=5):
        """Lines a background command prints, soon."""
        self.waiting += lines
        deadline = time.monotonic() + seconds
        while self.waiting and time.monotonic() < deadline:
            printed, _ = self.run("sleep 0.1")
            if printed:
                return printed
        return []

    def close(self):
        self.process.stdin.write("kill $(jobs -p) 2>/dev/null; exit\n")
        self.process.stdin.flush()
        self.process.wait(timeout=10)


def main():
    readme, build = sys.argv[1], os.path.abspath(sys.argv[2])
    log = "--log" in sys.argv[3:]
    scratch = tempfile.mkdtemp(prefix="tav-session-")
    env = dict(os.environ, TMPDIR=scratch, LC_ALL="C.UTF-8")
    env["PATH"] = os.pathsep.join(
        [f"{build}/ctl", f"{build}/sim", f"{build}/app", env.get("PATH", "")])
    env.pop("TAV_SERIAL_DIR", None)
    shell = Shell(env, scratch)
    failures = []
    try:
        for command, expected in session(readme):
            if command.rstrip().endswith("&"):
                printed, status = shell.run(command)
                printed += shell.expect(expected)
                expected = []
                if shell.waiting:
                    failures.append(f"$ {command}\n  never printed: {shell.waiting}")
                    shell.waiting = []
            else:
                printed, status = shell.run(command)
            if log:
                print("\n".join([f"$ {command}"] + printed), flush=True)
            if status != 0:
                failures.append(f"$ {command}\n  exit status {status}")
            if [shown(l) for l in printed] != [shown(l) for l in expected]:
                failures.append(f"$ {command}\n  README:\n    " + "\n    ".join(expected)
                                + "\n  printed:\n    " + "\n    ".join(printed))
    finally:
        shell.close()
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
