#!/usr/bin/env python3
"""Checks that the README and the pages under docs/ name only what exists:
every relative link reaches a file (and a heading, for a #fragment), every
path of the project written in code is there, and every command of ours
written in code (tavctl COMMAND, tav-controller-sim, scripts/NAME) uses only
options that the program's --help, or the script itself, knows.

    references.py SOURCE_DIR BUILD_DIR

Prints one line per fault, and exits 1 if there is any.
"""
import glob
import os
import re
import subprocess
import sys

FOLDERS = "scripts|docs|tests|data|bench|fuzz|app|core|sim|ctl|cli|bridge|chart|recording|track|cmake|\\.ci"
PATH = re.compile(r"(?<![\w/.$~-])(?:%s)/[\w./@-]*[\w/]" % FOLDERS)
LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
CODE_SPAN = re.compile(r"`([^`\n]+)`")
OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")


def slug(heading):
    """The fragment that names a heading, as GitHub makes it."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def pieces_of_code(text):
    """Every code span, and every line of every code block (lines continued
    by a backslash joined)."""
    blocks = re.findall(r"^```[^\n]*\n(.*?)^```", text, re.S | re.M)
    outside = re.sub(r"^```[^\n]*\n.*?^```", "", text, flags=re.S | re.M)
    pieces = CODE_SPAN.findall(outside)
    for block in blocks:
        pieces += block.replace("\\\n", " ").split("\n")
    return pieces


class Programs:
    """What each of our programs takes, from its own --help."""

    def __init__(self, source, build):
        self.source = source
        tavctl = os.path.join(build, "ctl", "tavctl")
        listing = self.help([tavctl])
        self.commands = {}
        for word in re.findall(r"^  ([a-z]+)  ", listing, re.M):
            self.commands[word] = set(OPTION.findall(self.help([tavctl, word])))
        self.simulator = set(OPTION.findall(self.help([os.path.join(build, "sim", "tav-controller-sim")])))

    @staticmethod
    def help(command):
        run = subprocess.run(command + ["--help"], capture_output=True, text=True, timeout=30)
        if run.returncode != 0:
            raise SystemExit("%s --help failed: %s" % (" ".join(command), run.stderr))
        return run.stdout

    def faults_of(self, piece):
        """What a piece of code names that does not exist."""
        faults = []
        for match in re.finditer(r"(?<![\w/-])tavctl(?: +([a-z]+))?((?: +[^|;&>]*)?)", piece):
            word, rest = match.group(1), match.group(2) or ""
            if word is None:
                continue
            if word not in self.commands:
                if word not in ("command", "commands"):  # "tavctl COMMAND" in prose code
                    faults.append("tavctl has no command %s" % word)
                continue
            faults += ["tavctl %s has no option %s" % (word, option)
                       for option in OPTION.findall(rest) if option not in self.commands[word]]
        for match in re.finditer(r"tav-controller-sim((?: +[^|;&>]*)?)", piece):
            faults += ["tav-controller-sim has no option %s" % option
                       for option in OPTION.findall(match.group(1)) if option not in self.simulator]
        for match in re.finditer(r"(?<![\w/])scripts/([\w.-]+)((?: +[^|;&>]*)?)", piece):
            script = os.path.join(self.source, "scripts", match.group(1))
            if os.path.isfile(script):
                body = open(script, encoding="utf-8").read()
                faults += ["scripts/%s takes no %s" % (match.group(1), option)
                           for option in OPTION.findall(match.group(2)) if option not in body]
        return faults


def faults_of_page(page, source, programs):
    text = open(page, encoding="utf-8").read()
    folder = os.path.dirname(page)
    faults = []
    for target in LINK.findall(text):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, fragment = target.partition("#")
        file = os.path.normpath(os.path.join(folder, path)) if path else page
        if not os.path.exists(file):
            faults.append("link to %s: no such file" % target)
        elif fragment and file.endswith(".md"):
            headings = re.findall(r"^#+ (.+)$", open(file, encoding="utf-8").read(), re.M)
            if fragment not in {slug(heading) for heading in headings}:
                faults.append("link to %s: no such heading" % target)
    # The session runs in a scratch folder: its paths are the simulator's.
    session = re.search(r"<!-- session -->\n```\n.*?^```", text, re.S | re.M)
    scratch = set(pieces_of_code(session.group(0))) if session else set()
    for piece in pieces_of_code(text):
        for path in [] if piece in scratch else PATH.findall(piece):
            if not glob.glob(os.path.join(source, path.rstrip("."))):
                faults.append("%s: no such file in the project" % path)
        faults += programs.faults_of(piece)
    return faults


def main():
    source, build = sys.argv[1:3]
    programs = Programs(source, build)
    pages = [os.path.join(source, "README.md")] + sorted(
        glob.glob(os.path.join(source, "docs", "**", "*.md"), recursive=True))
    faults = []
    for page in pages:
        name = os.path.relpath(page, source)
        faults += ["%s: %s" % (name, fault) for fault in faults_of_page(page, source, programs)]
    for fault in faults:
        print(fault)
    print("%d pages read, %d faults" % (len(pages), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
