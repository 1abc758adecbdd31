#!/usr/bin/env python3
"""Seeds one fault at a time into a scratch tree, rebuilds, runs the plain
suite, and reports which suites catch each fault. Run by scripts/seed-faults;
the list's format is at the top of seeded.txt."""
import subprocess, sys, time, os, re, argparse

ap = argparse.ArgumentParser()
ap.add_argument("tree")
ap.add_argument("listfile")
ap.add_argument("--only", default="")
ap.add_argument("--slow", default="leaks|polling", help="suites run only when the rest catch nothing")
args = ap.parse_args()
tree = os.path.abspath(args.tree)
build = os.path.join(tree, "build")
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

def unescape(s):
    return s.replace("\\n", "\n")

def run(cmd, **kw):
    return subprocess.run(cmd, cwd=tree, env=env, capture_output=True, text=True, **kw)

def failing(extra):
    r = run(["ctest", "--test-dir", build, "-j2", "--timeout", "150"] + extra)
    return re.findall(r"^\s*\d+ - (\S+) \(", r.stdout, re.M)

if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
    run(["cmake", "-S", tree, "-B", build])
r = run(["cmake", "--build", build, "-j2"])
if r.returncode:
    sys.exit("baseline build failed\n" + r.stdout[-3000:])

only = set(filter(None, args.only.split(",")))
for line in open(args.listfile, encoding="utf-8"):
    if not line.strip() or line.startswith("#"):
        continue
    mid, path, frm, to, what = [f.strip().replace("\\|", "|")
                                for f in re.split(r"(?<!\\)\|", line.rstrip("\n"), 4)]
    if only and mid not in only:
        continue
    frm, to = unescape(frm), unescape(to)
    full = os.path.join(tree, path)
    try:
        original = open(full, encoding="utf-8").read()
    except FileNotFoundError:
        print(f"{mid}\tSTALE (no {path})\t{what}", flush=True)
        continue
    if frm not in original:
        print(f"{mid}\tSTALE (pattern not found)\t{what}", flush=True)
        continue
    start = time.time()
    open(full, "w", encoding="utf-8").write(original.replace(frm, to, 1))
    try:
        b = run(["cmake", "--build", build, "-j2"])
        if b.returncode:
            verdict = "BUILD-BROKEN"
        else:
            caught = failing(["-E", args.slow])
            if not caught:
                caught = failing(["-R", args.slow])
            verdict = "caught by " + ",".join(caught) if caught else "MISSED"
    finally:
        open(full, "w", encoding="utf-8").write(original)
    print(f"{mid}\t{verdict}\t{what}\t({time.time()-start:.0f}s)", flush=True)
run(["cmake", "--build", build, "-j2"])
