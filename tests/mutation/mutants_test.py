#!/usr/bin/env python3
"""The fault-planting harness on a tiny fixture: what it catches, what it
reports as surviving or not built, and that the fixture is left byte for byte
as it was after a normal run, a SIGTERM and a SIGKILL.

usage: mutants_test.py SOURCE_DIR WORK_DIR
"""

import os
import shutil
import signal
import subprocess
import sys
import time

SRC, WORK = sys.argv[1], sys.argv[2]
HARNESS = os.path.join(SRC, "tools", "mutants")
FIXTURE = os.path.join(SRC, "tests", "mutation", "fixture")
BUILD = "g++ -O0 -Werror=return-type -o clamp_test clamp.cpp clamp_test.cpp"
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAILED:", what, flush=True)


def fresh_tree(name):
    tree = os.path.join(WORK, name)
    shutil.rmtree(tree, ignore_errors=True)
    shutil.copytree(FIXTURE, tree)
    return tree


def original():
    with open(os.path.join(FIXTURE, "clamp.cpp"), "rb") as f:
        return f.read()


def current(tree):
    with open(os.path.join(tree, "clamp.cpp"), "rb") as f:
        return f.read()


def harness(tree, *extra):
    return [sys.executable, HARNESS, "--root", tree, "--out", os.path.join(tree, "out"), "--files", "clamp.cpp",
            "--build-cmd", BUILD, *extra]


def wait_for(path, seconds=60):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if os.path.exists(path):
            return True
        time.sleep(0.05)
    return False


# 1. A whole run: the every-other sum's mutants are caught (a step of 0
# never ends and is caught by the timeout), the equal-value branch of the
# clamp survives, a pointer and an index swapped do not compile.
tree = fresh_tree("run")
r = subprocess.run(harness(tree, "--test-cmd", "./clamp_test", "--timeout-floor", "2"), capture_output=True, text=True, timeout=600)
print(r.stdout, r.stderr)
check(r.returncode == 0, "a finished run exits 0")
lines = r.stdout.splitlines()
check("[2/10] clamp.cpp:4: if condition negated: caught" in lines, "a negated clamp condition is caught")
check("[7/10] clamp.cpp:10: 2 -> 0: timeout" in lines, "an endless loop is caught as a timeout")
check("[10/10] clamp.cpp:11: at(): arguments 1 and 2 swapped: not built" in lines,
      "a mutant that cannot compile is not built")
with open(os.path.join(tree, "out", "survivors.txt")) as f:
    check(f.read() == "clamp.cpp:4: '>' -> '>='\n", "the one survivor is listed in survivors.txt")
check("clamp.cpp:4: '>' -> '>='" in lines, "the survivor is printed")
check("  clamp.cpp: 89 %  (8 caught, 1 survived, 1 not built)" in lines, "the file's score")
check(not any(m in ln for ln in lines for m in ("'<' -> '<=' #2", "7 -> ", ":1:", ":5:", ":12:")),
      "comments, string literals, definitions and a function's closing return give no mutants")
check(current(tree) == original(), "the fixture is byte-identical after the run")

# 2. SIGTERM while a mutant's tests run: the harness stops and puts the
# original back.
tree = fresh_tree("term")
slow = "cmp -s clamp.cpp clamp.cpp.orig && ./clamp_test || { touch started; sleep 120; }"
shutil.copy(os.path.join(tree, "clamp.cpp"), os.path.join(tree, "clamp.cpp.orig"))
p = subprocess.Popen(harness(tree, "--test-cmd", slow, "--timeout-floor", "300"), stdout=subprocess.PIPE,
                     stderr=subprocess.STDOUT, text=True)
check(wait_for(os.path.join(tree, "started")), "the first mutant's tests start")
check(current(tree) != original(), "a mutant is in place while its tests run")
p.send_signal(signal.SIGTERM)
out, _ = p.communicate(timeout=60)
print(out)
check(p.returncode != 0, "a run stopped by SIGTERM exits non-zero")
check("stopped by SIGTERM" in out, "the harness says why it stopped")
check(current(tree) == original(), "the fixture is byte-identical after SIGTERM")

# 3. SIGKILL cannot be caught: the journal lets the next run (here
# --restore alone) put the original back.
tree = fresh_tree("kill")
shutil.copy(os.path.join(tree, "clamp.cpp"), os.path.join(tree, "clamp.cpp.orig"))
slow = "cmp -s clamp.cpp clamp.cpp.orig && ./clamp_test || { echo $$ > started.pid; exec sleep 120; }"
p = subprocess.Popen(harness(tree, "--test-cmd", slow, "--timeout-floor", "300"), stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
check(wait_for(os.path.join(tree, "started.pid")), "the first mutant's tests start")
p.kill()
p.wait()
time.sleep(0.2)
with open(os.path.join(tree, "started.pid")) as f:
    os.kill(int(f.read().strip() or 0), signal.SIGKILL)
check(current(tree) != original(), "SIGKILL leaves the mutant in place")
r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--out", os.path.join(tree, "out"), "--restore"],
                   capture_output=True, text=True, timeout=60)
print(r.stdout, r.stderr)
check(r.returncode == 0 and "restored clamp.cpp" in r.stdout, "--restore puts back what a killed run left")
check(current(tree) == original(), "the fixture is byte-identical after the restore")

# 4. A call that is the whole body of a one-line loop or condition is a
# statement that can be dropped; a loop head alone is not.
tree = fresh_tree("bodies")
with open(os.path.join(tree, "bodies.cpp"), "w") as f:
    f.write("void f(int);\n"
            "void g(int n) {\n"
            "  for (int i = 0; i < n; ++i) f(i);\n"
            "  while (n--) f(n);\n"
            "  if (n) f(n);\n"
            "  for (int i = 0; i < n; ++i)\n"
            "    f(i);\n"
            "}\n")
r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--files", "bodies.cpp"],
                   capture_output=True, text=True, timeout=60)
dropped = [ln for ln in r.stdout.splitlines() if ln.endswith("call statement dropped")]
check(dropped == [f"bodies.cpp:{n}: call statement dropped" for n in (3, 4, 5, 7)],
      "the call of a loop's or a condition's one-line body is dropped, once, on its own line")

# 5. --sample N --seed S: N of each file's mutants, one from each N-th of the
# file (in line order), the same for the same seed, others for another seed;
# a file with N or fewer mutants gives all of them. --mutant KEY: that one.
tree = fresh_tree("sample")
with open(os.path.join(tree, "many.cpp"), "w") as f:
    f.write("int f(int);\nint g(int x) {\n")
    for k in range(40):
        f.write(f"  if (x > {k + 1}) f(x);\n")
    f.write("  return x;\n}\n")


def listed(*extra):
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--files", "many.cpp,clamp.cpp", *extra],
                       capture_output=True, text=True, timeout=60)
    check(r.returncode == 0, f"--list {' '.join(extra)} exits 0")
    return r.stdout.splitlines()[:-1]


everything = listed()
many = [k for k in everything if k.startswith("many.cpp:")]
clamp = [k for k in everything if k.startswith("clamp.cpp:")]
picked = listed("--sample", "12", "--seed", "7")
check(picked == listed("--sample", "12", "--seed", "7"), "the same seed picks the same mutants")
check(picked != listed("--sample", "12", "--seed", "8"), "another seed picks other mutants")
check(picked[:len(clamp)] == clamp, "a file with fewer mutants than the sample gives all of them")
in_many = [many.index(k) for k in picked if k.startswith("many.cpp:")]
check(len(in_many) == 12 and in_many == sorted(in_many), "the sample is N of the file's mutants, in file order")
twelfths = [(k * len(many) // 12, (k + 1) * len(many) // 12) for k in range(12)]
check(all(sum(lo <= i < hi for i in in_many) == 1 for lo, hi in twelfths),
      "the sample takes one mutant from each twelfth of the file")
check(listed("--sample", str(len(many))) == everything, "a sample as large as the file is the whole file")
check(listed("--mutant", many[5], "--mutant", clamp[0]) == [clamp[0], many[5]],
      "--mutant keeps only the mutants it names")
r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--files", "many.cpp", "--mutant",
                    "many.cpp:1: '<' -> '<='"], capture_output=True, text=True, timeout=60)
check(r.returncode == 2 and "no such mutant" in r.stderr, "a --mutant that names no mutant is refused")
r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--files", "many.cpp", "--sample", "0"],
                   capture_output=True, text=True, timeout=60)
check(r.returncode == 2 and "--sample" in r.stderr, "a sample of 0 is refused")

print("FAIL" if failures else "OK")
sys.exit(1 if failures else 0)
