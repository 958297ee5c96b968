#!/usr/bin/env python3
"""The fault-planting harness on a tiny fixture: what it catches, what it
reports as surviving or not built, and that the fixture is left byte for byte
as it was after a normal run, a SIGTERM and a SIGKILL.

usage: mutants_test.py SOURCE_DIR WORK_DIR [FIRST-LAST]

FIRST-LAST runs those numbered sections alone (each makes its own trees), so
that the sections can run as separate tests side by side.
"""

import argparse
import difflib
import importlib.machinery
import importlib.util
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import time

SRC, WORK = sys.argv[1], sys.argv[2]
FIRST, LAST = (int(n) for n in (sys.argv[3] if len(sys.argv) > 3 else "1-99").split("-"))
HARNESS = os.path.join(SRC, "tools", "mutants")
FIXTURE = os.path.join(SRC, "tests", "mutation", "fixture")
BUILD = "g++ -O0 -Werror=return-type -o clamp_test clamp.cpp clamp_test.cpp"
failures = []

# The new operators' examples (section 10): every line says what it must give.
OPS_CPP = """\
struct S {
  int n = 0;  // a declaration: never dropped
  int v[4];
  int* p;
  S* next;
};
struct T {
  T(const T&) = delete;  // declares: no assignment
  T() = default;
};
struct P { int u, w; };
int f(int);
int g(S& s, int a, int b, bool ok) {
  int x = 0;
  P pr{a, b};
  auto [u, w] = pr;
  const int* q = &a;
  x = a + b;
  x += f(a);
  s.v[a + 1] = 3;
  *s.p <<= 1;
  s.next->n = x == 3;
  ++x;
  x++;
  --s.n;
  s.v[0]--;
  for (int i = 0; i < a; ++i) x += i;
  for (int i = 0, j = 0;
       j = f(i);
       i += 2)
    b = j;
  if (a > 0 && b > 0) return 1;
  if (ok || (a < b &&
             b < 10))
    x = 1;
  bool both = ok && f(a) > 2 && true;
  while (x <= 3 && !(ok || u != w)) x--;
  both = ok && static_cast<bool&&>(both);
  if (ok)
    b > 0 && f(b);
  return a && b ? x + *q : both;
}
"""
OPS_EXPECTED = [
    "ops.cpp:18: assignment statement dropped",
    "ops.cpp:19: assignment statement dropped",
    "ops.cpp:20: assignment statement dropped",
    "ops.cpp:21: assignment statement dropped",
    "ops.cpp:22: assignment statement dropped",
    "ops.cpp:23: increment statement dropped",
    "ops.cpp:24: increment statement dropped",
    "ops.cpp:25: increment statement dropped",
    "ops.cpp:26: increment statement dropped",
    "ops.cpp:27: assignment statement dropped",  # the loop's body, never its head
    "ops.cpp:31: assignment statement dropped",
    "ops.cpp:32: '&&' operand 1 -> true",
    "ops.cpp:32: '&&' operand 1 -> false",
    "ops.cpp:32: '&&' operand 2 -> true",
    "ops.cpp:33: '||' operand 1 -> false",
    "ops.cpp:33: '||' operand 1 -> true",
    "ops.cpp:33: '||' operand 2 -> false",  # the parenthesised operand over two lines
    "ops.cpp:33: '&&' operand 1 -> true",  # no '-> false' of its own: it is the '||' operand's
    "ops.cpp:34: '&&' operand 2 -> true",
    "ops.cpp:35: assignment statement dropped",
    "ops.cpp:36: '&&' operand 1 -> true",  # `true` is no operand to replace
    "ops.cpp:36: '&&' operand 1 -> false",
    "ops.cpp:36: '&&' operand 2 -> true",
    "ops.cpp:37: increment statement dropped",
    "ops.cpp:37: '&&' operand 1 -> true",
    "ops.cpp:37: '&&' operand 1 -> false",
    "ops.cpp:37: '&&' operand 2 -> true",
    "ops.cpp:37: '||' operand 1 -> false",  # under `!`: the '&&' operand's mutants stand for '-> true'
    "ops.cpp:37: '||' operand 2 -> false",
    "ops.cpp:38: assignment statement dropped",
    "ops.cpp:38: '&&' operand 1 -> true",
    "ops.cpp:38: '&&' operand 1 -> false",
    "ops.cpp:38: '&&' operand 2 -> true",  # the whole cast: its && is no operator
    "ops.cpp:40: '&&' operand 1 -> true",  # the if's head above is no part of the operand
    "ops.cpp:40: '&&' operand 1 -> false",
    "ops.cpp:40: '&&' operand 2 -> true",
    "ops.cpp:41: '&&' operand 1 -> true",  # ended by `?`
    "ops.cpp:41: '&&' operand 1 -> false",
    "ops.cpp:41: '&&' operand 2 -> true",
]


def load_module(path):
    """The Python program at `path` as a module, with no bytecode written
    into the source tree."""
    sys.dont_write_bytecode = True
    loader = importlib.machinery.SourceFileLoader(os.path.basename(path), path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAILED:", what, flush=True)


def runs(section):
    return FIRST <= section <= LAST


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


def harness(tree, *extra, out=None):
    return [sys.executable, HARNESS, "--root", tree, "--out", out or os.path.join(tree, "out"), "--files",
            "clamp.cpp", "--build-cmd", BUILD, *extra]


def restore(tree, *extra):
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--restore", *extra], capture_output=True,
                       text=True, timeout=60)
    print(r.stdout, r.stderr)
    return r


def refused_in_one_line(r):
    return r.returncode == 2 and r.stdout == "" and len(r.stderr.splitlines()) == 1 and \
        r.stderr.startswith("mutants: ")


def wait_for(path, seconds=60):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if os.path.exists(path):
            return True
        time.sleep(0.05)
    return False


def killed_in_a_mutant(tree, out=None):
    """Runs the harness on `tree` and SIGKILLs it with its process group (as
    timeout -s KILL or a CI job stopped hard does) while the first mutant's
    tests run: a shell and its child, which the tests' whole group must take
    with them."""
    shutil.copy(os.path.join(tree, "clamp.cpp"), os.path.join(tree, "clamp.cpp.orig"))
    slow = ("cmp -s clamp.cpp clamp.cpp.orig && ./clamp_test || "
            "{ sleep 600 & echo $! > pid.tmp; mv pid.tmp started.pid; wait; }")
    p = subprocess.Popen(harness(tree, "--test-cmd", slow, "--timeout-floor", "300", out=out),
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    check(wait_for(os.path.join(tree, "started.pid")), "the first mutant's tests start")
    os.killpg(p.pid, signal.SIGKILL)
    p.wait()
    with open(os.path.join(tree, "started.pid")) as f:
        pid = int(f.read())
    gone = lambda: subprocess.run(["ps", "-o", "stat=", "-p", str(pid)], capture_output=True, text=True).stdout.strip() in ("", "Z")
    deadline = time.monotonic() + 60  # a guard: the guard process acts at once
    while not gone() and time.monotonic() < deadline:
        time.sleep(0.05)
    check(gone(), "the tests a killed harness started end with it")
    if not gone():
        os.kill(pid, signal.SIGKILL)


if runs(1):
    # 1. A whole run: the every-other sum's mutants are caught (a step of 0
    # never ends and is caught by the timeout, the sum's update dropped leaves
    # it 0), the equal-value branch of the clamp survives, a pointer and an
    # index swapped do not compile.
    tree = fresh_tree("run")
    r = subprocess.run(harness(tree, "--test-cmd", "./clamp_test", "--timeout-floor", "2"), capture_output=True, text=True, timeout=600)
    print(r.stdout, r.stderr)
    check(r.returncode == 0, "a finished run exits 0")
    lines = r.stdout.splitlines()
    check("[2/11] clamp.cpp:4: if condition negated: caught" in lines, "a negated clamp condition is caught")
    check("[7/11] clamp.cpp:10: 2 -> 0: timeout" in lines, "an endless loop is caught as a timeout")
    check("[10/11] clamp.cpp:11: assignment statement dropped: caught" in lines, "a dropped update is caught")
    check("[11/11] clamp.cpp:11: at(): arguments 1 and 2 swapped: not built" in lines,
          "a mutant that cannot compile is not built")
    with open(os.path.join(tree, "out", "survivors.txt")) as f:
        check(f.read() == "clamp.cpp:4: '>' -> '>='\n", "the one survivor is listed in survivors.txt")
    check("clamp.cpp:4: '>' -> '>='" in lines, "the survivor is printed")
    check("  clamp.cpp: 90 %  (9 caught, 1 survived, 1 not built)" in lines, "the file's score")
    check(not any(m in ln for ln in lines for m in ("'<' -> '<=' #2", "7 -> ", ":1:", ":5:", ":12:")),
          "comments, string literals, definitions and a function's closing return give no mutants")
    check(current(tree) == original(), "the fixture is byte-identical after the run")

if runs(2):
    # 2. SIGTERM, or SIGHUP from a terminal that went away (its output
    # unread), while a mutant's tests run: the harness stops and puts the
    # original back.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        name = signal.Signals(sig).name
        tree = fresh_tree(name)
        slow = "cmp -s clamp.cpp clamp.cpp.orig && ./clamp_test || { touch started; sleep 120; }"
        shutil.copy(os.path.join(tree, "clamp.cpp"), os.path.join(tree, "clamp.cpp.orig"))
        with open(os.path.join(WORK, name + ".stderr"), "w+") as err:
            p = subprocess.Popen(harness(tree, "--test-cmd", slow, "--timeout-floor", "300"), stdout=subprocess.PIPE,
                                 stderr=err)
            check(wait_for(os.path.join(tree, "started")), "the first mutant's tests start")
            check(current(tree) != original(), "a mutant is in place while its tests run")
            if sig == signal.SIGHUP:
                p.stdout.close()
            p.send_signal(sig)
            p.wait(timeout=60)
            err.seek(0)
            said = err.read()
            print(said)
        check(p.returncode == 128 + sig, f"a run stopped by {name} exits 128 + its number")
        check(f"stopped by {name}" in said, "the harness says why it stopped")
        check(current(tree) == original(), f"the fixture is byte-identical after {name}")

if runs(3):
    # 3. SIGKILL cannot be caught: the journal lets the next run (here
    # --restore alone) put the original back.
    tree = fresh_tree("kill")
    killed_in_a_mutant(tree)
    check(current(tree) != original(), "SIGKILL leaves the mutant in place")
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--out", os.path.join(tree, "out"), "--restore"],
                       capture_output=True, text=True, timeout=60)
    print(r.stdout, r.stderr)
    check(r.returncode == 0 and "restored clamp.cpp" in r.stdout, "--restore puts back what a killed run left")
    check(current(tree) == original(), "the fixture is byte-identical after the restore")

if runs(4):
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

if runs(5):
    # 5. After a SIGKILL the next run (even --list) puts back only a file that
    # still holds the killed run's mutant; one edited since is kept as it is.
    tree = fresh_tree("kill_then_edit")
    killed_in_a_mutant(tree)
    edited = original().replace(b"return value;", b"return value;  // edited after the kill")
    with open(os.path.join(tree, "clamp.cpp"), "wb") as f:
        f.write(edited)
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--out", os.path.join(tree, "out"), "--list",
                        "--files", "clamp.cpp"], capture_output=True, text=True, timeout=60)
    print(r.stdout, r.stderr)
    check(current(tree) == edited, "a file edited after the kill keeps the edit")
    check(r.returncode == 0 and "kept clamp.cpp" in r.stdout, "the next run says it kept the edited file")
    kept = os.path.join(tree, "out", "journal", "clamp.cpp.original")
    check(os.path.exists(kept) and open(kept, "rb").read() == original(), "the killed run's original is kept aside")
    r = restore(tree, "--out", os.path.join(tree, "out"))
    check(refused_in_one_line(r) and current(tree) == edited, "the journal is done with once the file was kept")

if runs(6):
    # 6. A mutant's build that does not end is stopped and counted as not built,
    # with the reason; the tree is put back.
    tree = fresh_tree("build_timeout")
    shutil.copy(os.path.join(tree, "clamp.cpp"), os.path.join(tree, "clamp.cpp.orig"))
    stuck = "cmp -s clamp.cpp clamp.cpp.orig && " + BUILD + " || exec sleep 120"
    start = time.monotonic()
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--out", os.path.join(tree, "out"), "--lines",
                        "clamp.cpp:4", "--build-cmd", stuck, "--test-cmd", "./clamp_test", "--build-timeout", "1"],
                       capture_output=True, text=True, timeout=120)
    print(r.stdout, r.stderr)
    check(time.monotonic() - start < 60, "a stuck build is stopped at its time limit")
    check("[1/3] clamp.cpp:4: '>' -> '>=': not built (build stopped after 1 s)" in r.stdout.splitlines(),
          "a build past its time limit is not built, and says why")
    check("  clamp.cpp: -  (0 caught, 0 survived, 3 not built)" in r.stdout.splitlines(), "none of them is counted")
    with open(os.path.join(tree, "out", "results.tsv")) as f:
        check(f.readline() == "clamp.cpp\t4\t'>' -> '>='\tnot built\tbuild stopped after 1 s\n",
              "results.tsv gives the reason")
    survey = load_module(os.path.join(SRC, "tools", "mutants_survey"))
    check(survey.read_results(os.path.join(tree, "out")).get("clamp.cpp:4: '>' -> '>='") == "not built",
          "the survey reads a results.tsv that gives a reason")
    check(current(tree) == original(), "the fixture is byte-identical after stopped builds")

if runs(7):
    # 7. A selection that names no commit, lines past a file's end or a file
    # outside the tree is refused in one line, exit 2, and nothing is planted.
    tree = fresh_tree("refused")
    git = ["git", "-C", tree, "-c", "user.name=t", "-c", "user.email=t@t"]
    subprocess.run(git + ["init", "-q"], check=True)
    subprocess.run(git + ["add", "."], check=True)
    subprocess.run(git + ["commit", "-qm", "fixture"], check=True)
    outside = os.path.join(WORK, "outside.cpp")
    with open(outside, "w") as f:
        f.write("int f(int a) { if (a > 1) return 2; return 3; }\n")
    run_dir = os.path.join(tree, "out")
    for what, extra in (("a BASE that is no commit", ["--base", "no-such-commit"]),
                        ("LINES past the end of a file", ["--lines", "clamp.cpp:14-15"]),
                        ("LINES that is no range", ["--lines", "clamp.cpp:5-4"]),
                        ("FILES outside the tree", ["--files", "../outside.cpp"]),
                        ("FILES outside the tree, absolute", ["--files", outside]),
                        ("LINES outside the tree", ["--lines", outside + ":1"])):
        r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--out", run_dir, "--build-cmd", BUILD,
                            "--test-cmd", "./clamp_test", *extra], capture_output=True, text=True, timeout=60)
        check(r.returncode == 2 and len(r.stderr.splitlines()) == 1 and r.stderr.startswith("mutants: ")
              and r.stdout == "", what + " is refused in one line, exit 2: " + repr(r.stderr))
        check(not os.path.exists(run_dir) and not os.path.exists(os.path.join(tree, "clamp_test")),
              what + ": nothing is built or planted")
    check(current(tree) == original() and open(outside).read().startswith("int f(int a) { if (a > 1)"),
          "the files are untouched")
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--base", "HEAD",
                        "--lines", "clamp.cpp:4-13"], capture_output=True, text=True, timeout=60)
    check(r.returncode == 0 and "clamp.cpp:4: if condition negated" in r.stdout,
          "a BASE that is a commit and lines up to a file's last are taken")

if runs(8):
    # 8. A host file's faults run every suite that reaches it: a test that
    # includes its header, and the test sets of the component and the programs
    # that include it, also through another host file.
    tree = os.path.join(WORK, "reach")
    shutil.rmtree(tree, ignore_errors=True)
    files = {
        "host/aa/aa_writer.h": "int aa_write(int);\n",
        "host/aa/aa_writer.cpp": '#include "aa/aa_writer.h"\nint aa_write(int v) { return v + 1; }\n',
        "host/bb/bb_user.h": "int bb_use(int);\n",
        "host/bb/bb_user.cpp": '#include "bb/bb_user.h"\n#include "aa/aa_writer.h"\nint bb_use(int v) { return aa_write(v); }\n',
        "host/cc/cc_alone.cpp": "int cc_alone(int v) { return v; }\n",
        "fitter/velmo/velmo_user.cpp": '#include "bb/bb_user.h"\n',
        "tools/velmo_fit/main.cpp": '#include "aa/aa_writer.h"\n',
        "tests/host/own_test.cpp": "TEST(HostOwn, Case) {}\n",
        "tests/velmo/comp_test.cpp": "TEST(Component, Case) {}\n",
        "tests/eqcheck/writer_test.cpp": '#include "aa/aa_writer.h"\nTEST(WriterNetlists, Case) {}\n',
        "tests/load/other_test.cpp": "TEST(Unrelated, Case) {}\n",
        "tests/fit/fit_test.cpp": "TEST(FitRuns, Case) {}\n",
    }
    for rel, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(tree, rel)), exist_ok=True)
        with open(os.path.join(tree, rel), "w") as f:
            f.write(text)
    # The harness's own source tree gets no bytecode of it.
    beside = os.path.dirname(HARNESS)
    listing = lambda: sorted((os.path.join(dp, fn), os.stat(os.path.join(dp, fn)).st_mtime_ns)
                             for dp, _, fns in os.walk(beside) for fn in fns)
    before = listing()
    mutants = load_module(HARNESS)
    check(listing() == before, "importing the harness writes nothing beside it")


    def test_set(root, path):
        args = argparse.Namespace(build_cmd=None, test_cmd=None, tests=None, build=os.path.join(root, "build"), jobs=1)
        ts = mutants.test_set_for(args, root, path, {})
        regex = ts.test_cmd[ts.test_cmd.index("-R") + 1]
        return set(ts.build_cmd[i + 1] for i, a in enumerate(ts.build_cmd) if a == "--target"), re.compile(regex)


    targets, regex = test_set(tree, "host/bb/bb_user.cpp")
    check(regex.search("HostOwn.Case") and regex.search("Component.Case") and not regex.search("FitRuns.Case")
          and not regex.search("WriterNetlists.Case"), "a host file reached by the component runs its suites")
    targets, regex = test_set(tree, "host/aa/aa_writer.cpp")
    for name in ("HostOwn.Case", "Component.Case", "WriterNetlists.Case", "FitRuns.Case", "eqcheck_scripts"):
        check(regex.search(name), f"a file reached from a test, velmo-fit and through another host file runs {name}")
    check(not regex.search("Unrelated.Case"), "a test source that does not reach the file adds nothing")
    check({"velmo_tests", "velmo_eqcheck_tests", "velmo-fit", "velmo_fit_tests"} <= targets,
          "the programs of those tests are built")
    targets, regex = test_set(tree, "host/cc/cc_alone.cpp")
    check(regex.search("HostOwn.Case") and not regex.search("Component.Case") and targets == {"velmo_tests"},
          "a host file nothing includes runs the host suites")
    # The netlist writer's faults reach its own netlist tests and the check-script runs.
    targets, regex = test_set(SRC, "host/tawn/tawn_netlist_writer.cpp")
    check(regex.search("EqcheckNetlists.Fir8EverySnapshotParsesAndSimulatesAsItsAtoms") and
          regex.search("eqcheck_scripts") and "velmo_eqcheck_tests" in targets,
          "the netlist writer's faults run the netlist tests")

if runs(9):
    # 9. --sample N --seed S: N of each file's mutants, one from each N-th of the
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

if runs(10):
    # 10. An assignment or increment statement dropped, and one operand of a
    # chain of && or || made true or false: where they are planted, where they
    # are not (declarations, a for head, a defaulted or deleted member, an
    # operand that is a constant already), and that each one compiles.
    tree = fresh_tree("operators")
    with open(os.path.join(tree, "ops.cpp"), "w") as f:
        f.write(OPS_CPP)
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--files", "ops.cpp"],
                       capture_output=True, text=True, timeout=60)
    new_ops = re.compile(r"(assignment|increment) statement dropped|operand")
    listed = [k for k in r.stdout.splitlines() if new_ops.search(k)]
    check(listed == OPS_EXPECTED, "the new operators' mutants of ops.cpp:\n" + "\n".join(
        difflib.unified_diff(OPS_EXPECTED, listed, "expected", "listed", lineterm="")))
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--out", os.path.join(tree, "out"),
                        "--files", "ops.cpp", "--build-cmd", "g++ -std=c++17 -fsyntax-only ops.cpp",
                        "--test-cmd", "true", *(a for k in OPS_EXPECTED for a in ("--mutant", k))],
                       capture_output=True, text=True, timeout=120)
    print(r.stdout, r.stderr)
    check(r.returncode == 0 and f"  ops.cpp: 0 %  (0 caught, {len(OPS_EXPECTED)} survived, 0 not built)"
          in r.stdout.splitlines(), "every one of them compiles")
    with open(os.path.join(tree, "ops.cpp")) as f:
        check(f.read() == OPS_CPP, "ops.cpp is byte-identical after the run")

if runs(11):
    # 11. One run at a time in a tree: while a run has a mutant in place, a
    # second (a run with results of its own, a --list, a --restore) is refused
    # in one line, exit 2, naming the first, and leaves the mutant alone; the
    # lock goes with the run that held it. A file is written through a
    # temporary file of its own, never through one another writer may hold,
    # and keeps its mode.
    tree = fresh_tree("lock")
    clamp = os.path.join(tree, "clamp.cpp")
    os.chmod(clamp, 0o604)  # a mode no umask gives
    theirs = os.path.join(tree, "clamp.cpp.mutants-tmp")
    with open(theirs, "w") as f:
        f.write("another writer's bytes\n")
    shutil.copy(clamp, os.path.join(tree, "clamp.cpp.orig"))
    slow = "cmp -s clamp.cpp clamp.cpp.orig && ./clamp_test || { touch started; sleep 120; }"
    p = subprocess.Popen(harness(tree, "--test-cmd", slow, "--timeout-floor", "300"), stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    check(wait_for(os.path.join(tree, "started")), "the first mutant's tests start")
    mutated = current(tree)
    check(mutated != original(), "a mutant is in place while its tests run")
    for what, cmd in (("a second run", harness(tree, "--test-cmd", "./clamp_test", out=os.path.join(tree, "out2"))),
                      ("--list", [sys.executable, HARNESS, "--root", tree, "--list", "--files", "clamp.cpp"]),
                      ("--restore", [sys.executable, HARNESS, "--root", tree, "--restore"])):
        r = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
        print(r.stdout, r.stderr)
        check(refused_in_one_line(r) and re.search(rf"\(pid {p.pid}, started \d{{4}}-\d\d-\d\d \d\d:\d\d:\d\d\)",
                                                   r.stderr), what + " is refused in one line naming the run")
        check(current(tree) == mutated, what + " leaves the running run's mutant in place")
    check(not os.path.exists(os.path.join(tree, "out2")), "the refused run wrote no results")
    check(stat.S_IMODE(os.stat(clamp).st_mode) == 0o604, "the mutant keeps the file's mode")
    p.send_signal(signal.SIGTERM)
    p.wait(timeout=60)
    check(current(tree) == original() and stat.S_IMODE(os.stat(clamp).st_mode) == 0o604,
          "the original is back with its mode")
    check(os.path.exists(theirs) and open(theirs).read() == "another writer's bytes\n",
          "another writer's temporary file is left alone")
    check(not [fn for fn in os.listdir(tree) if fn.endswith(".mutants-tmp") and fn != "clamp.cpp.mutants-tmp"],
          "no temporary file is left behind")
    r = subprocess.run([sys.executable, HARNESS, "--root", tree, "--list", "--files", "clamp.cpp"],
                       capture_output=True, text=True, timeout=60)
    check(r.returncode == 0, "the tree is free once the run has ended")

if runs(12):
    # 12. --restore finds the journal of a killed run wherever the run kept
    # its results (here --out outside the tree), leaves alone a journal that
    # holds another tree's mutant, and when it finds none says where it looked
    # (exit 2). The killed run's lock is taken.
    tree, other = fresh_tree("restore_out"), fresh_tree("restore_other")
    elsewhere = os.path.join(WORK, "restore_out_results")
    shutil.rmtree(elsewhere, ignore_errors=True)
    killed_in_a_mutant(tree, out=elsewhere)
    mutated = current(tree)
    check(mutated != original(), "SIGKILL leaves the mutant in place")
    r = restore(other, "--out", elsewhere)
    check(refused_in_one_line(r) and current(other) == original(), "another tree's journal is no journal of ours")
    r = restore(tree)
    check(r.returncode == 0 and "restored clamp.cpp" in r.stdout and current(tree) == original(),
          "--restore finds the journal a run with --out kept")
    r = restore(tree)
    check(refused_in_one_line(r) and "found no journal" in r.stderr and os.path.join(elsewhere, "journal") in r.stderr
          and os.path.join(tree, "build", "mutants", "journal") in r.stderr,
          "--restore with nothing to restore says where it looked")

print("FAIL" if failures else "OK")
sys.exit(1 if failures else 0)
