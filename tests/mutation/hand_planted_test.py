#!/usr/bin/env python3
"""The recorder of hand-planted faults (tools/hand_planted) on the harness's
tiny fixture: faults planted from patches written against an older commit,
one caught and one surviving, one that cannot be placed and one recorded
before; the table is written in place and the fixture left as it was, also
after a SIGTERM while a fault's tests run; tests failing unmutated are refused.

usage: hand_planted_test.py SOURCE_DIR WORK_DIR
"""

import os
import shutil
import signal
import subprocess
import sys
import time

SRC, WORK = sys.argv[1], sys.argv[2]
TOOL = os.path.join(SRC, "tools", "hand_planted")
FIXTURE = os.path.join(SRC, "tests", "mutation", "fixture")
BUILD = "g++ -O0 -o clamp_test clamp.cpp clamp_test.cpp"
HEADER = "id\tfile\tline\trule\tchange\ttree\tresult\tcaught by\n"
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAILED:", what, flush=True)


def patch(line, old, new, context_before, context_after):
    """A one-line diff of clamp.cpp as `git diff` writes it."""
    n = len(context_before) + 1 + len(context_after)
    body = "".join(" " + c + "\n" for c in context_before) + f"-{old}\n+{new}\n" + \
        "".join(" " + c + "\n" for c in context_after)
    first = line - len(context_before)
    return (f"diff --git a/clamp.cpp b/clamp.cpp\n--- a/clamp.cpp\n+++ b/clamp.cpp\n"
            f"@@ -{first},{n} +{first},{n} @@\n{body}")


def fresh_tree(name, link=False):
    """The fixture committed (the faults' base), then edited: a line added
    at the top and a context line of the first fault changed, so that its
    patch no longer applies as it is. With `link`, clamp.cpp is a tracked
    link to real/clamp.cpp."""
    tree = os.path.join(WORK, name)
    shutil.rmtree(tree, ignore_errors=True)
    shutil.copytree(FIXTURE, tree)
    if link:
        os.mkdir(os.path.join(tree, "real"))
        os.rename(os.path.join(tree, "clamp.cpp"), os.path.join(tree, "real", "clamp.cpp"))
        os.symlink(os.path.join("real", "clamp.cpp"), os.path.join(tree, "clamp.cpp"))
    git = ["git", "-C", tree, "-c", "user.name=t", "-c", "user.email=t@t"]
    subprocess.run(git + ["init", "-q"], check=True)
    subprocess.run(git + ["add", "."], check=True)
    subprocess.run(git + ["commit", "-qm", "fixture"], check=True)
    base = subprocess.run(git + ["rev-parse", "--short=7", "HEAD"], capture_output=True, text=True,
                          check=True).stdout.strip()
    with open(os.path.join(tree, "clamp.cpp")) as f:
        text = f.read()
    text = "// the clamp and the sum\n" + text.replace("int count) {", "int count) {  // every other one")
    with open(os.path.join(tree, "clamp.cpp"), "w") as f:
        f.write(text)
    patches = os.path.join(tree, "patches")
    os.makedirs(patches)
    with open(os.path.join(FIXTURE, "clamp.cpp")) as f:
        lines = f.read().splitlines()
    for fid, line, new in (("F-01", 11, "    sum = at(values, i);"),
                           ("F-02", 4, "  if (value >= high) return high;"),
                           ("F-04", 5, "  return high;")):
        with open(os.path.join(patches, fid + ".patch"), "w") as f:
            f.write(patch(line, lines[line - 1], new, lines[max(0, line - 4):line - 1], lines[line:line + 3]))
    with open(os.path.join(patches, "F-03.patch"), "w") as f:
        f.write(patch(6, "  return value * 2;", "  return value;", [], []))
    with open(os.path.join(tree, "hp.tsv"), "w") as f:
        f.write(HEADER +
                f"F-01\tclamp.cpp\t11\tthe sum adds every term\t'+=' -> '='\t{base}\t\t\n"
                f"F-02\tclamp.cpp\t4\tequal values\t'>' -> '>='\t{base}\t\t\n"
                f"F-03\tclamp.cpp\t6\tno such line\t'* 2' dropped\t{base}\t\t\n"
                f"F-04\tclamp.cpp\t5\talready run\t'value' -> 'high'\tgone\tcaught\tearlier\n")
    return tree, text


def tool(tree, *extra):
    return [sys.executable, TOOL, "--root", tree, "--table", os.path.join(tree, "hp.tsv"), "--patches",
            os.path.join(tree, "patches"), "--out", os.path.join(tree, "out"), "--build-cmd", BUILD, *extra]


def rows(tree):
    with open(os.path.join(tree, "hp.tsv")) as f:
        return [ln.split("\t") for ln in f.read().splitlines()]


def current(tree):
    with open(os.path.join(tree, "clamp.cpp")) as f:
        return f.read()


# A whole run: the dropped sum is caught (its patch placed by a three-way
# merge), the equal-value branch survives, the fault whose line is gone is
# not placed, the row recorded before is left alone.
tree, edited = fresh_tree("run")
r = subprocess.run(tool(tree, "--test-cmd", "./clamp_test", "--timeout-floor", "5"), capture_output=True,
                   text=True, timeout=120)
print(r.stdout, r.stderr)
check(r.returncode == 0, "a finished run exits 0")
got = rows(tree)
check(len(got) == 5 and got[0] == HEADER.rstrip("\n").split("\t"), "the header is kept, and every row")
check([g[0] for g in got[1:]] == ["F-01", "F-02", "F-03", "F-04"], "the rows keep their order")
check(all(len(g) == 8 for g in got), "every row keeps its eight columns")
check(got[1][6] == "caught" and got[1][7] == "exit 1", "the dropped sum is caught, by the failing test program")
check(got[2][6:] == ["survived", ""], "the equal-value branch survives")
check(got[3][6] == "not placed" and "line 6" in got[3][7], "a fault whose line is gone is not placed, with why")
check(got[4][6:] == ["caught", "earlier"], "a row recorded before is not run again")
check("merged from" in r.stdout, "the moved fault is placed by a three-way merge")
check("  clamp.cpp: 2/3 67 %, 1 not placed" in r.stdout.splitlines(),
      "the file's score, over every recorded row: caught / planted")
check(current(tree) == edited, "the fixture is byte-identical after the run")
check(not os.path.exists(os.path.join(SRC, "tools", "__pycache__")), "no bytecode is written beside the tool")

# --again takes a recorded row too; --dry-run changes nothing. The row's tree
# is gone, so the patch is placed by the removed line, found by its text.
before = rows(tree)
r = subprocess.run(tool(tree, "--test-cmd", "./clamp_test", "--dry-run", "--again", "--only", "F-04"),
                   capture_output=True, text=True, timeout=60)
check(r.returncode == 0 and "F-04 clamp.cpp:5: old line found" in r.stdout and rows(tree) == before,
      "a dry run says how a fault is placed and records nothing")

# Tests that fail on the unmutated tree: nothing is planted or recorded.
tree, edited = fresh_tree("refused")
before = rows(tree)
r = subprocess.run(tool(tree, "--test-cmd", "./clamp_test && false"), capture_output=True, text=True, timeout=60)
print(r.stdout, r.stderr)
check(r.returncode == 2 and "the tests fail on the unmutated tree" in r.stderr, "a failing baseline is refused")
check(rows(tree) == before and current(tree) == edited, "a refused run records and plants nothing")
# A row whose file lies beside the tree, in a folder whose name starts with
# the tree's, is refused before anything is planted.
victim = os.path.join(WORK, "refused-old", "clamp.cpp")
os.makedirs(os.path.dirname(victim), exist_ok=True)
shutil.copy(os.path.join(tree, "clamp.cpp"), victim)
with open(os.path.join(tree, "hp.tsv"), "a") as f:
    f.write("F-05\t../refused-old/clamp.cpp\t5\toutside\t'value' -> 'high'\t\t\t\n")
shutil.copy(os.path.join(tree, "patches", "F-04.patch"), os.path.join(tree, "patches", "F-05.patch"))
r = subprocess.run(tool(tree, "--test-cmd", "./clamp_test", "--only", "F-05"), capture_output=True, text=True, timeout=60)
check(r.returncode == 2 and "../refused-old/clamp.cpp is outside the tree" in r.stderr, "a row outside the tree is refused")
check(open(victim).read() == edited and rows(tree)[-1][6] == "", "the file beside the tree is left alone")

# SIGTERM while a fault's tests run: the file is put back, the row stays
# empty, the rows before it keep what they recorded. clamp.cpp is a link:
# planted through, it is left a link.
tree, edited = fresh_tree("term", link=True)
slow = "grep -q 'value >= high' clamp.cpp && { touch started; sleep 60; } || ./clamp_test"
p = subprocess.Popen(tool(tree, "--test-cmd", slow, "--timeout-floor", "120", "--only", "F-01,F-02"),
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
end = time.monotonic() + 60
while not os.path.exists(os.path.join(tree, "started")) and time.monotonic() < end:
    time.sleep(0.05)
check(os.path.exists(os.path.join(tree, "started")), "the equal-value fault's tests start")
check(current(tree) != edited, "the fault is in place while its tests run")
p.send_signal(signal.SIGTERM)
out, err = p.communicate(timeout=60)
print(out, err)
check(p.returncode == 143 and "stopped by SIGTERM" in err, "a run stopped by SIGTERM says so and exits 143")
check(current(tree) == edited and os.path.islink(os.path.join(tree, "clamp.cpp")),
      "the fixture is byte-identical after SIGTERM, the link a link")
got = rows(tree)
check(got[1][6] == "caught" and got[2][6] == "", "the interrupted fault stays unrecorded, the one before is kept")

if failures:
    print(f"{len(failures)} checks failed")
    sys.exit(1)
print("all checks passed")
