#!/bin/sh
# The Tcl host package with equivalence checking on writes what velmo-fit
# writes for the same fit: the same netlists and check scripts, byte for
# byte, at the same stages; a netlist it cannot write fails the stage that
# made it, with one line naming the file (also under a file size limit,
# which leaves tclsh running), and so does a check script the component
# could not write; a failed fit's end runs no post-fit checks. Where no
# script or netlist can go, or a script would read more than it names,
# start refuses the fit, as velmo-fit does. The netlists of a partitioned
# fit are the whole design's, as velmo-fit writes them, also with the
# component's report guard switched off by velmo_fit::cfg. During a fit, cfg
# that asks for a check script makes start's checks for the scripts, and an
# output directory swapped into verification/ fails the stage that would
# write there.
# Usage: eqcheck_tcl_package.sh VELMO_FIT LIBVELMO_FIT_TCL [CASE]
# CASE (start: what start and the stages write and refuse; during: what
# changes during the fit) runs that group alone; none runs both.
set -e
fit="$1"
package="$2"
only="${3:-}"
case "$only" in
  ""|start|during) ;;
  *) echo "unknown case '$only'"; exit 2 ;;
esac
runs() { test -z "$only" || test "$only" = "$1"; }
here="$(cd "$(dirname "$0")" && pwd)"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
cat > "$dir/settings.json" <<JSON
{"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": "eda/sim", "netlist_type": 2}}
JSON
cat > "$dir/start.tcl" <<'TCL'
load [lindex $argv 0] Velmo_fit
if {[catch {velmo_fit::start --settings [lindex $argv 1]} result]} { puts "refused: $result" }
TCL
cat > "$dir/run.tcl" <<'TCL'
load [lindex $argv 0] Velmo_fit
velmo_fit::start --settings ../settings.json
foreach s {plan place route} {
  if {[catch {velmo_fit::stage $s} result]} { set result "error: $result" }
  puts "stage $s: $result"
}
velmo_fit::end
TCL

if runs start; then
mkdir "$dir/fit" "$dir/tcl"
cd "$dir/fit"
"$fit" --settings ../settings.json --stages plan,place,route > fit.log
cd "$dir/tcl"
tclsh ../run.tcl "$package" > tcl.log 2>&1
for s in plan place route; do
  grep -q "^stage $s: 1$" tcl.log || { echo "stage $s did not return 1"; cat tcl.log; exit 1; }
done
for tree in eda verification; do
  test -d "$dir/tcl/$tree" || { echo "the package wrote no $tree/"; exit 1; }
  diff -r "$dir/fit/$tree" "$dir/tcl/$tree" || { echo "the package's $tree/ differs from velmo-fit's"; exit 1; }
done
test -f "$dir/tcl/eda/sim/routed/top.vho" || { echo "no routed netlist"; exit 1; }

# The placed netlist's directory is a file: place fails after one line on
# stderr, route is refused.
mkdir "$dir/late"
cd "$dir/late"
mkdir -p eda/sim
touch eda/sim/placed
tclsh ../run.tcl "$package" > tcl.log 2> tcl.err
grep -q "^stage plan: 1$" tcl.log && grep -q "^stage place: 0$" tcl.log &&
  grep -q "^stage route: error: " tcl.log || { echo "a failed write did not fail its stage"; cat tcl.log; exit 1; }
test "$(grep -c "^velmo-fit: cannot write the netlist eda/sim/placed/top.vho$" tcl.err)" = 1 || { cat tcl.err; exit 1; }
if grep -q "cannot write" tcl.log; then echo "the netlist's line on stdout"; exit 1; fi
test ! -e verification/placed/eqcheck.tcl || { echo "a script for a netlist not written"; exit 1; }
test -f eda/sim/velmo-fit.incomplete || { echo "an unfinished run's output directory is not marked"; exit 1; }
# The routed netlist's: route fails after it routed, and the end of the
# failed fit runs no post-fit checks.
mkdir "$dir/late_routed"
cd "$dir/late_routed"
mkdir -p eda/sim
touch eda/sim/routed
tclsh ../run.tcl "$package" > tcl.log 2>&1
grep -q "^stage place: 1$" tcl.log && grep -q "^stage route: 0$" tcl.log &&
  test "$(grep -c "cannot write the netlist eda/sim/routed/top.vho" tcl.log)" = 1 || {
  echo "a failed routed netlist did not fail route"; cat tcl.log; exit 1; }
if grep -q "^Stage checks" tcl.log; then echo "post-fit checks after a failed stage"; cat tcl.log; exit 1; fi

# A file size limit below the synthesized netlist's size: start fails
# naming it, and tclsh lives on (the package ignores SIGXFSZ itself).
mkdir "$dir/full"
cd "$dir/full"
status=0
(ulimit -f 64; tclsh ../start.tcl "$package" ../settings.json > tcl.log 2>&1) || status=$?
test "$status" = 0 && grep -qF "refused: velmo_fit::start: cannot write the netlist eda/sim/synthesized/top.vho" tcl.log ||
  { echo "file size limit: exit $status"; cat tcl.log; exit 1; }

# Refused at start, naming it: a file where the scripts' directories go, an
# output directory the scripts' read lines cannot carry.
for case in verification verification/placed space dollar stage_link foreign; do
  rm -rf "$dir/refused"
  mkdir -p "$dir/refused/verification"
  cd "$dir/refused"
  settings=../settings.json
  case $case in
    verification) rmdir verification; touch verification
      reason="verification is not a directory: the check script verification/planned/eqcheck.tcl of plan goes into it" ;;
    verification/placed) touch verification/placed
      reason="verification/placed is not a directory: the check script verification/placed/eqcheck.tcl of place goes into it" ;;
    space) sed 's|"eda/sim"|"eda/sim dir"|' ../settings.json > space.json; settings=space.json
      reason="eda.output_dir 'eda/sim dir' holds white space" ;;
    dollar) sed 's|"eda/sim"|"eda/sim$x"|' ../settings.json > dollar.json; settings=dollar.json
      reason="eda.output_dir 'eda/sim\$x' holds '\$', which the check scripts' read lines cannot carry" ;;
    stage_link) mkdir keep; ln -s ../keep verification/placed
      reason="verification/placed is a link (to '../keep'): it is emptied before a check script is written" ;;
    foreign) mkdir -p eda/sim/planned; touch eda/sim/planned/other.vho
      reason="eda/sim/planned/other.vho is not a netlist of top, but the check script verification/planned/eqcheck.tcl" ;;
  esac
  tclsh ../start.tcl "$package" "$settings" > tcl.log 2>&1
  grep -qF "refused: velmo_fit::start: $reason" tcl.log || { echo "$case: not refused"; cat tcl.log; exit 1; }
done

# A partitioned fit whose preserved multiplier is blackboxed until the final
# stage: every snapshot's netlist is the whole design (its product
# registers load the product, not 0), the same as velmo-fit's.
mkdir -p "$dir/partitioned/fit" "$dir/partitioned/tcl"
cat > "$dir/partitioned/settings.json" <<JSON
{"family": 46, "clocks": {"clk": 5000},
 "partitions": [{"name": "|", "preserved": true},
   {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
   {"name": "acc", "atoms": ["acc[*]"]}],
 "options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": "eda/sim", "netlist_type": 3}}
JSON
mac16="$here/../../examples/designs/yosys/mac16.blif"
cd "$dir/partitioned/fit"
"$fit" "$mac16" --settings ../settings.json --cfg fitter_write_eqcheck_for_retimed=on > fit.log 2>&1 ||
  { echo "partitioned velmo-fit"; cat fit.log; exit 1; }
grep -q "^Partition mult blackboxed: " fit.log || { echo "mult not blackboxed"; cat fit.log; exit 1; }
# The retimed script is the routed one: said once, as retime runs.
test "$(grep -c "^velmo-fit: note: the retimed check script is the routed one (placed against routed): no script checks the retimer's changes$" fit.log)" = 1 ||
  { echo "no note on the retimed script"; cat fit.log; exit 1; }
cd "$dir/partitioned/tcl"
cat > run.tcl <<'TCL'
load [lindex $argv 0] Velmo_fit
velmo_fit::start [lindex $argv 1] --settings ../settings.json
foreach s {plan place route retime final} { puts "stage $s: [velmo_fit::stage $s]" }
puts "end: [velmo_fit::end]"
TCL
tclsh run.tcl "$package" "$mac16" > tcl.log 2>&1
grep -q "^end: 1$" tcl.log || { echo "partitioned Tcl fit"; cat tcl.log; exit 1; }
for snapshot in synthesized planned placed routed retimed final; do
  netlist="eda/sim/$snapshot/mac16.vo"
  test "$(grep -c 'mult|p\[[0-9]*\] *<= ' "$netlist")" = 32 &&
    test "$(grep -c "mult|p\[[0-9]*\] *<= 1'b0;" "$netlist")" = 0 ||
    { echo "$snapshot: the product registers are not the multiplier's"; grep 'mult|p\[' "$netlist"; exit 1; }
done
diff -r "$dir/partitioned/fit/eda" "$dir/partitioned/tcl/eda" || { echo "the package's netlists differ from velmo-fit's"; exit 1; }
# So they are with the component's report guard switched off during the fit.
mkdir "$dir/partitioned/off"
cd "$dir/partitioned/off"
sed 's/^velmo_fit::start .*/&\nputs "cfg: [velmo_fit::cfg velmo_bbic_reporting off]"/' ../tcl/run.tcl > run.tcl
tclsh run.tcl "$package" "$mac16" > tcl.log 2>&1
grep -q "^cfg: off$" tcl.log && grep -q "^end: 1$" tcl.log || { echo "Tcl fit with the report switch off"; cat tcl.log; exit 1; }
diff -r "$dir/partitioned/fit/eda" "$dir/partitioned/off/eda" ||
  { echo "with the report switch off the package's netlists differ from velmo-fit's"; exit 1; }

fi

if runs during; then
# A check script asked for during the fit: cfg makes the checks start makes
# for the scripts, on the stages still to run, with start's message, and a
# refused cfg leaves the switch as it was. Each fit starts with no script
# asked for, so start takes what the scripts would not.
real="$(cd "$dir" && pwd -P)"
cat > "$dir/cfg.tcl" <<'TCL'
load [lindex $argv 0] Velmo_fit
velmo_fit::start --settings [lindex $argv 1]
puts "stage plan: [velmo_fit::stage plan]"
# The planned script's stage has run: its switch can no longer be turned on.
if {[catch {velmo_fit::cfg fitter_write_eqcheck_for_planned on} result]} { set result "error: $result" }
puts "planned: $result"
if {[catch {velmo_fit::cfg fitter_write_eqcheck_for_placed on} result]} { set result "error: $result" }
puts "cfg: $result"
puts "switch: [velmo_fit::cfg fitter_write_eqcheck_for_placed]"
foreach s {place route} { puts "stage $s: [velmo_fit::stage $s]" }
puts "end: [velmo_fit::end]"
TCL
for case in inside foreign stage_link taken; do
  rm -rf "$dir/cfg"
  mkdir "$dir/cfg"
  cd "$dir/cfg"
  out=eda/sim
  case $case in
    inside) out=verification
      said="error: velmo_fit::cfg: eda.output_dir 'verification' ($real/cfg/verification) lies inside verification/" ;;
    foreign) mkdir -p eda/sim/planned; touch eda/sim/planned/other.vho
      said="error: velmo_fit::cfg: eda/sim/planned/other.vho is not a netlist of top, but the check script verification/placed/eqcheck.tcl would read it" ;;
    stage_link) mkdir -p keep verification; touch keep/precious; ln -s ../keep verification/placed
      said="error: velmo_fit::cfg: verification/placed is a link (to '../keep'): it is emptied" ;;
    taken) said="cfg: on" ;;
  esac
  printf '{"options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": "%s", "netlist_type": 2}}\n' \
    "$out" > settings.json
  tclsh ../cfg.tcl "$package" settings.json > tcl.log 2>&1
  grep -qF "$said" tcl.log && grep -q "^stage place: 1$" tcl.log &&
    grep -qxF "planned: error: velmo_fit::cfg: fitter_write_eqcheck_for_planned asks for the check script of the plan stage, which has already run" tcl.log &&
    grep -q "^end: 1$" tcl.log ||
    { echo "cfg $case"; cat tcl.log; exit 1; }
  if [ $case = taken ]; then
    grep -q "^switch: on$" tcl.log && test -f verification/placed/eqcheck.tcl ||
      { echo "cfg $case: no placed script"; cat tcl.log; exit 1; }
    continue
  fi
  grep -q "^switch: $" tcl.log || { echo "cfg $case: the refused value was taken"; cat tcl.log; exit 1; }
  test ! -e verification/placed/eqcheck.tcl || { echo "cfg $case: a placed script"; exit 1; }
  if [ $case = stage_link ]; then test -f keep/precious || { echo "cfg $case: the link's target was emptied"; exit 1; }; fi
done
# The output directory swapped for a link into verification/ after plan:
# place writes neither its netlist nor its script, fails after one line on
# stderr naming the reason, and the fit's end fails.
mkdir "$dir/swapped"
cd "$dir/swapped"
sed 's|"eda/sim"|"eda"|' ../settings.json > settings.json
cat > swap.tcl <<'TCL'
load [lindex $argv 0] Velmo_fit
velmo_fit::start --settings settings.json
puts "stage plan: [velmo_fit::stage plan]"
file rename eda eda.moved
file link -symbolic eda verification
foreach s {place route} {
  if {[catch {velmo_fit::stage $s} result]} { set result "error: $result" }
  puts "stage $s: $result"
}
puts "end: [velmo_fit::end]"
TCL
tclsh swap.tcl "$package" > tcl.log 2> tcl.err
grep -q "^stage plan: 1$" tcl.log && grep -q "^stage place: 0$" tcl.log && grep -q "^stage route: error: " tcl.log &&
  grep -q "^end: 0$" tcl.log || { echo "output_dir swapped into verification/"; cat tcl.log tcl.err; exit 1; }
grep -qxF "velmo-fit: eda.output_dir 'eda' ($real/swapped/verification) lies inside verification/ ($real/swapped/verification), whose snapshot directories are emptied before each check script is written: the netlists would be deleted; neither the placed netlist nor its check script is written" tcl.err ||
  { echo "swapped: no reason"; cat tcl.err; exit 1; }
test ! -e verification/placed || { echo "swapped: placed written"; ls -R verification; exit 1; }

# A stage's directory made a link during the fit: turning another stage's
# script off is taken, and the stage whose script would empty the link
# writes neither netlist nor script and fails, the link's target kept. A
# switch for a snapshot that gets no script is warned of when set (and only
# then), a name nothing but Tcl read at the end, and a switch already on may
# be set on again after its stage.
mkdir "$dir/linked"
cd "$dir/linked"
sed 's/"cfg": {[^}]*},//' ../settings.json | tr -d '\n' | sed 's/"cfg": *{[^}]*}, *//' > settings.json
cat > run.tcl <<'TCL'
load [lindex $argv 0] Velmo_fit
velmo_fit::start --settings settings.json --cfg fitter_write_eqcheck_for_routed=on \
  --cfg fitter_write_eqcheck_for_placed=on --cfg no_such_variable=5
puts "stage plan: [velmo_fit::stage plan]"
file mkdir keep verification
close [open keep/precious w]
file link -symbolic verification/routed ../keep
puts "off: [velmo_fit::cfg fitter_write_eqcheck_for_placed off]"
puts "final: [velmo_fit::cfg fitter_write_eqcheck_for_final on]"
velmo_fit::cfg never_read_name 7
puts "read: [velmo_fit::cfg no_such_variable]"
foreach s {place route} { puts "stage $s: [velmo_fit::stage $s]" }
catch {velmo_fit::cfg fitter_write_eqcheck_for_routed on} again
puts "again: $again"
puts "end: [velmo_fit::end]"
TCL
tclsh run.tcl "$package" > tcl.log 2>&1
grep -q "^off: off$" tcl.log && grep -q "^stage place: 1$" tcl.log && grep -q "^stage route: 0$" tcl.log &&
  grep -q "^end: 0$" tcl.log && test -f keep/precious && test ! -e keep/eqcheck.tcl &&
  grep -qF "velmo-fit: verification/routed is a link (to '../keep'): it is emptied before a check script is written, which would delete what it points to; neither the routed netlist nor its check script is written" tcl.log &&
  grep -qxF "velmo-fit: warning: configuration variable 'fitter_write_eqcheck_for_final' has no effect: check scripts are written for planned, placed, routed and retimed only" tcl.log &&
  grep -qxF "velmo-fit: warning: configuration variable 'no_such_variable' (--cfg) was not read in this run" tcl.log &&
  grep -qxF "velmo-fit: warning: configuration variable 'never_read_name' (velmo_fit::cfg) was not read in this run" tcl.log &&
  test "$(grep -c "'fitter_write_eqcheck_for_final'" tcl.log)" = 1 && grep -q "^again: on$" tcl.log ||
  { echo "a stage link made during the fit"; cat tcl.log; exit 1; }

# A script the component could not write (verification/ became a file after
# plan): place fails with one line naming it, route is refused.
mkdir "$dir/gone"
cd "$dir/gone"
cat > run.tcl <<'TCL'
load [lindex $argv 0] Velmo_fit
velmo_fit::start --settings ../settings.json
puts "stage plan: [velmo_fit::stage plan]"
file delete -force verification
close [open verification w]
foreach s {place route} {
  if {[catch {velmo_fit::stage $s} result]} { set result "error: $result" }
  puts "stage $s: $result"
}
velmo_fit::end
TCL
tclsh run.tcl "$package" > tcl.log 2>&1
grep -q "^stage plan: 1$" tcl.log && grep -q "^stage place: 0$" tcl.log && grep -q "^stage route: error: " tcl.log ||
  { echo "a script not written did not fail its stage"; cat tcl.log; exit 1; }
test "$(grep -c "^velmo-fit: cannot write the check script verification/placed/eqcheck.tcl$" tcl.log)" = 1 ||
  { cat tcl.log; exit 1; }
fi
echo ok
