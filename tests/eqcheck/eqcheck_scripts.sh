#!/bin/sh
# velmo-fit on the default design with equivalence checking on writes the
# planned, placed and routed check scripts, and only those asked for; each
# runs under the stand-in checker, which checks the commands' order and that
# the netlists it reads exist and parse, for each netlist type (VHDL,
# Verilog, SystemVerilog). An output directory, or a directory of the check
# scripts, that velmo-fit cannot use is refused before the fit, and so is
# one whose scripts would read more than they name (a Tcl special character
# in the path, an output directory the component empties, another design's
# netlists); a netlist it cannot write during the fit (a directory in the
# way, a file size limit), or a check script the component leaves missing or
# short, ends the run with a line on stderr.
# Without iverilog or ghdl the checker is not run and the test exits 77
# (skipped) after the rest. Usage: eqcheck_scripts.sh VELMO_FIT [CASE]
# CASE (type2, type3, type4, broken, some, bad, paths, scripts, late, full, short)
# runs that case alone, so that each is a test of its own; none runs them
# all. broken fits as type3 does, without running the checker on the fit.
# type3 and type4 check the planned and placed scripts; type3routed and
# type4routed make the same fit and check the routed one (a check takes
# seconds).
set -e
fit="$1"
only="${2:-}"
case "$only" in
  ""|type2|type3|type4|type3routed|type4routed|broken|some|bad|paths|scripts|late|full|short) ;;
  *) echo "unknown case '$only'"; exit 2 ;;
esac
runs() { test -z "$only" || test "$only" = "$1"; }
checker_skipped=""
here="$(cd "$(dirname "$0")" && pwd)"
dir="$(mktemp -d)"
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
missing=""
for tool in iverilog ghdl; do command -v $tool > /dev/null || missing="$missing $tool"; done
settings() {  # output_dir netlist_type
  cat <<JSON
{"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": "$1", "netlist_type": $2}}
JSON
}
# The refusals first: each is quick.
if runs bad; then
# Refused before the fit (exit 2, nothing fitted): no directory named, one
# that cannot be created, one that cannot be written, one whose name the
# scripts' read lines cannot carry.
mkdir "$dir/bad"
cd "$dir/bad"
touch a_file
mkdir read_only
chmod a-w read_only
for out in "" a_file/sim read_only "eda/sim dir"; do
  settings "$out" 3 > settings.json
  status=0
  "$fit" --settings settings.json --stages plan,place,route > fit.log 2>&1 || status=$?
  if [ "$(id -u)" = 0 ] && [ "$out" = read_only ]; then continue; fi
  test "$status" = 2 || { echo "output_dir '$out': exit $status"; cat fit.log; exit 1; }
  case "$out" in
    "") reason="eda.output_dir is empty" ;;
    a_file/sim) reason="eda.output_dir a_file/sim: cannot create the directory" ;;
    "eda/sim dir") reason="eda.output_dir 'eda/sim dir' holds white space" ;;
    *) reason="eda.output_dir $out: cannot write into the directory" ;;
  esac
  grep -q "$reason" fit.log || { echo "output_dir '$out': no reason"; cat fit.log; exit 1; }
  if grep -q "^Stage" fit.log; then echo "output_dir '$out': the fit ran"; exit 1; fi
done

fi

if runs paths; then
# And an output directory the scripts' read lines would take for more than
# a path (a Tcl word ending in a glob pattern): each character named, a
# control character escaped on the message's one line; also when only the
# path the scripts name it by (absolute, outside the project) holds one.
# Each case is the JSON text of output_dir, then the reason.
refused() {  # directory, JSON output_dir, reason
  settings "$2" 3 > "$1/settings.json"
  status=0
  (cd "$1" && "$fit" --settings settings.json --stages plan,place,route > fit.log 2> fit.err) || status=$?
  test "$status" = 2 || { echo "output_dir $2: exit $status"; cat "$1/fit.log" "$1/fit.err"; exit 1; }
  test "$(grep -cF "$3" "$1/fit.err")" = 1 || { echo "output_dir $2: no reason"; cat "$1/fit.err"; exit 1; }
  if grep -q "^Stage" "$1/fit.log"; then echo "output_dir $2: the fit ran"; exit 1; fi
}
mkdir -p "$dir/chars/we\$ird/project"
while IFS='|' read -r json reason; do
  refused "$dir/chars/we\$ird/project" "$json" "$reason"
done <<'CASES'
eda/sim$x|eda.output_dir 'eda/sim$x' holds '$', which
eda/[sim]|eda.output_dir 'eda/[sim]' holds '[', which
eda/s]m|eda.output_dir 'eda/s]m' holds ']', which
eda/sim;x|eda.output_dir 'eda/sim;x' holds ';', which
eda/sim{|eda.output_dir 'eda/sim{' holds '{', which
eda/sim}|eda.output_dir 'eda/sim}' holds '}', which
eda/s\\m|eda.output_dir 'eda/s\m' holds '\', which
eda/s\"m|eda.output_dir 'eda/s"m' holds '"', which
eda/s*m|eda.output_dir 'eda/s*m' holds '*', which
eda/s?m|eda.output_dir 'eda/s?m' holds '?', which
~/sim|eda.output_dir '~/sim' starts with '~', which
-eda|eda.output_dir '-eda' starts with '-', which the check scripts' read lines cannot carry
./-eda|eda.output_dir './-eda' is named '-eda' in the check scripts, which starts with '-', which
eda/sim\ndir|eda.output_dir 'eda/sim\ndir' holds the control character '\n', which the check scripts' read lines cannot carry
eda/s\u000bm|eda.output_dir 'eda/s\x0bm' holds the control character '\x0b', which
../eda|is named '
CASES
grep -qF "/chars/we\$ird/eda' in the check scripts, which holds '\$'" "$dir/chars/we\$ird/project/fit.err" ||
  { echo "outside the project: the path named"; cat "$dir/chars/we\$ird/project/fit.err"; exit 1; }
test -z "$(find "$dir/chars" -name '*.vo')" || { echo "a refused fit wrote netlists"; exit 1; }

# The component empties verification/<stage>/ before it writes a script:
# an output directory there (also through .. or a link), a stage directory
# that is a link (its target's files would go), and a verification link
# that leads nowhere are refused before the fit. One that merely holds
# verification/, such as ., is fine.
real="$(cd "$dir" && pwd -P)"
for case in itself inside dotdot linked holder_linked stage_link dangling loop; do
  rm -rf "$dir/nest"
  mkdir -p "$dir/nest"
  cd "$dir/nest"
  out=verification
  case $case in
    itself) reason="eda.output_dir 'verification' ($real/nest/verification) lies inside verification/ ($real/nest/verification)" ;;
    inside) out=verification/eda; reason="eda.output_dir 'verification/eda' ($real/nest/verification/eda) lies inside" ;;
    dotdot) out=eda/../verification/eda; reason="eda.output_dir 'eda/../verification/eda' ($real/nest/verification/eda) lies" ;;
    linked) mkdir verification; ln -s verification out; out=out/sim
      reason="eda.output_dir 'out/sim' ($real/nest/verification/sim) lies inside verification/ ($real/nest/verification)" ;;
    holder_linked) mkdir real; ln -s real verification; out=real/sim
      reason="eda.output_dir 'real/sim' ($real/nest/real/sim) lies inside verification/ ($real/nest/real)" ;;
    stage_link) mkdir -p verification keep; touch keep/precious; ln -s ../keep verification/placed; out=eda
      reason="verification/placed is a link (to '../keep'): it is emptied before a check script is written" ;;
    dangling) ln -s missing verification; out=eda
      reason="verification is a link to 'missing', which does not exist" ;;
    loop) ln -s verification verification; out=eda
      reason="verification is a link that loops" ;;
  esac
  refused "$dir/nest" "$out" "$reason"
  if [ "$case" = stage_link ]; then test -f keep/precious || { echo "$case: the link's target was emptied"; exit 1; }; fi
done
mkdir "$dir/holder"
cd "$dir/holder"
settings . 3 > settings.json
"$fit" --settings settings.json --stages plan,place,route > fit.log 2>&1 || { echo "output_dir .: refused"; cat fit.log; exit 1; }
grep -qx "read_verilog -revised ./placed/\*.vo" verification/placed/eqcheck.tcl || { cat verification/placed/eqcheck.tcl; exit 1; }

# A second design fitted into the same output directory: its scripts would
# read the first one's netlists too, so it is refused, naming the file. The
# same design again is fine.
mkdir "$dir/two"
cd "$dir/two"
printf '.model t\n.inputs a\n.outputs y\n.names a y\n1 1\n.end\n' > t.blif
settings eda/sim 3 > settings.json
"$fit" t.blif --settings settings.json --stages plan,place,route > fit.log 2>&1 || { echo "first design"; cat fit.log; exit 1; }
refused "$dir/two" eda/sim "eda/sim/synthesized/t.vo is not a netlist of top, but the check script verification/planned/eqcheck.tcl would read it"
"$fit" t.blif --settings settings.json --stages plan,place,route > fit.log 2>&1 || { echo "same design again"; cat fit.log; exit 1; }
# Only the snapshot directories an asked-for script reads count, and only
# the files its read line matches.
rm -rf eda
mkdir -p eda/sim/synthesized eda/sim/final eda/sim/placed eda/sim/routed
touch eda/sim/synthesized/old.vo eda/sim/final/other.vo eda/sim/placed/other.vho eda/sim/placed/notes.txt \
  eda/sim/placed/other.vo
settings eda/sim 3 | sed 's/"fitter_write_eqcheck_for_planned": "on", //; s/"fitter_write_eqcheck_for_placed": "on",//' > only_routed.json
"$fit" --settings only_routed.json --stages plan,place,route > fit.log 2> fit.err && { echo "placed/other.vo read"; exit 1; }
grep -qF "eda/sim/placed/other.vo is not a netlist of top, but the check script verification/routed/eqcheck.tcl" fit.err ||
  { cat fit.err; exit 1; }
rm eda/sim/placed/other.vo
# The revised snapshot's directory counts as the golden one does.
touch eda/sim/routed/other.vo
"$fit" --settings only_routed.json --stages plan,place,route > fit.log 2> fit.err && { echo "routed/other.vo read"; exit 1; }
grep -qF "eda/sim/routed/other.vo is not a netlist of top, but the check script verification/routed/eqcheck.tcl" fit.err ||
  { cat fit.err; exit 1; }
rm eda/sim/routed/other.vo
"$fit" --settings only_routed.json --stages plan,place,route > fit.log 2>&1 || { echo "unread files refused"; cat fit.log; exit 1; }
fi

for type in 2 3 4; do
  runs type$type || runs type${type}routed || { test $type = 3 && runs broken; } || continue
  mkdir "$dir/type$type"
  cd "$dir/type$type"
  settings eda/sim $type > settings.json
  "$fit" --settings settings.json --stages plan,place,route > fit.log
  case $type in 2) ext=vho ;; 3) ext=vo ;; 4) ext=sv ;; esac
  for snapshot in synthesized planned placed routed; do
    test -f "eda/sim/$snapshot/top.$ext" || { echo "type $type: no $snapshot netlist"; ls -R eda; exit 1; }
  done
  for stage in planned placed routed; do
    test -f "verification/$stage/eqcheck.tcl" || { echo "type $type: no script for $stage"; exit 1; }
    # The routed script's check is a case of its own for types 3 and 4.
    if [ -n "$only" ] && [ $type != 2 ]; then
      if [ $stage = routed ]; then runs type${type}routed || continue; else runs type$type || continue; fi
    else
      runs type$type || continue
    fi
    test -z "$missing" || { checker_skipped=1; continue; }
    TORVIKA_DIR=/opt/checker tclsh "$here/stand_in_checker.tcl" "verification/$stage/eqcheck.tcl" > check.log
    test "$(cat check.log)" = "checked: command order and netlist syntax; equivalence not checked" || {
      echo "type $type, $stage: checker said"; cat check.log; exit 1; }
  done
done

# Only the scripts asked for: none for a snapshot whose variable is off or
# unset, and none for the snapshots the component writes no script for
# (synthesized, final), whatever their variables say.
if runs some; then
mkdir "$dir/some"
cd "$dir/some"
cat > settings.json <<JSON
{"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_synthesized": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "off", "fitter_write_eqcheck_for_final": "on"},
 "eda": {"output_dir": "eda/sim", "netlist_type": 3}}
JSON
status=0
"$fit" --settings settings.json --stages plan,place,route,retime,final > fit.log 2>&1 || status=$?
test "$status" = 0 || { echo "some scripts: exit $status"; cat fit.log; exit 1; }
test "$(find verification -type f)" = verification/placed/eqcheck.tcl || {
  echo "some scripts: not only the placed one"; find verification; exit 1; }
fi

# The checker fails a netlist that does not parse.
if runs broken && [ -n "$missing" ]; then checker_skipped=1; fi
if runs broken && [ -z "$missing" ]; then
  cd "$dir/type3"
  echo "module top(input a; endmodule" > eda/sim/placed/top.vo
  status=0
  TORVIKA_DIR=/opt/checker tclsh "$here/stand_in_checker.tcl" verification/placed/eqcheck.tcl > check.log 2>&1 || status=$?
  test "$status" = 1 && grep -q "eda/sim/placed/top.vo does not parse as verilog" check.log || {
    echo "a broken netlist passed the checker"; cat check.log; exit 1; }
fi

# So is a place the component cannot write a check script to: a file in
# the way of verification/ or of a stage's directory under it, a working
# directory that cannot be written, a script's directory whose parent
# cannot be written (the component empties it). The nearest directory that
# exists is the one that must be writable: under a read-only working
# directory, a writable verification/ takes every script. Root writes into
# any directory: as root, velmo-fit runs as nobody here, in directories
# nobody owns.
as_writer=""
if [ "$(id -u)" = 0 ]; then
  as_writer="setpriv --reuid=65534 --regid=65534 --clear-groups"
  chmod 755 "$dir"
fi
for case in verification verification/placed read_only_project read_only_parent writable_nearest; do
  runs scripts || break
  rm -rf "$dir/scripts"
  mkdir -p "$dir/scripts/verification"
  cd "$dir/scripts"
  settings "$dir/scripts/eda" 3 > settings.json
  expected=2
  case $case in
    verification) rmdir verification; touch verification
      reason="verification is not a directory: the check script verification/planned/eqcheck.tcl of plan goes into it" ;;
    verification/placed) touch verification/placed
      reason="verification/placed is not a directory: the check script verification/placed/eqcheck.tcl of place goes into it" ;;
    read_only_project)
      rmdir verification; mkdir project; chmod a-w project; cd project
      reason="cannot write the check script verification/planned/eqcheck.tcl of plan: the working directory is not writable" ;;
    read_only_parent)
      mkdir verification/planned; chmod a-w verification
      reason="cannot write the check script verification/planned/eqcheck.tcl of plan: verification/planned is not writable" ;;
    writable_nearest)
      mkdir -p project/verification; chmod a-w project; cd project
      expected=0 reason="Stage final: ok" ;;
  esac
  if [ -n "$as_writer" ]; then chown -R 65534:65534 "$dir/scripts"; fi
  status=0
  $as_writer "$fit" --settings "$dir/scripts/settings.json" --stages plan,place,route,retime,final > "$dir/scripts/fit.log" 2>&1 ||
    status=$?
  test "$status" = "$expected" || { echo "$case: exit $status"; cat "$dir/scripts/fit.log"; exit 1; }
  grep -qF "$reason" "$dir/scripts/fit.log" || { echo "$case: no reason"; cat "$dir/scripts/fit.log"; exit 1; }
  if [ "$expected" = 0 ]; then
    for stage in planned placed routed; do
      test -f "verification/$stage/eqcheck.tcl" || { echo "$case: no script for $stage"; exit 1; }
    done
  elif grep -q "^Stage" "$dir/scripts/fit.log"; then
    echo "$case: the fit ran"; exit 1
  fi
done

# A netlist that cannot be written during the fit: exit 1, one line on
# stderr.
if runs late; then
mkdir "$dir/late"
cd "$dir/late"
settings eda/sim 3 > settings.json
mkdir -p eda/sim
touch eda/sim/placed
status=0
"$fit" --settings settings.json --stages plan,place,route > fit.log 2> fit.err || status=$?
test "$status" = 1 || { echo "unwritable placed netlist: exit $status"; cat fit.log fit.err; exit 1; }
test "$(grep -c "^velmo-fit: cannot write the netlist eda/sim/placed/top.vo$" fit.err)" = 1 || { cat fit.err; exit 1; }
if grep -q "cannot write" fit.log; then echo "the netlist's line on stdout"; exit 1; fi
if grep -q "^Stage route" fit.log; then echo "the fit went on after the failed write"; exit 1; fi
fi

# A file size limit below the netlist's size (SIGXFSZ ignored, so the write
# sees EFBIG): the run ends with exit 1 and one line naming the netlist, and
# no partial netlist is left under its name or beside it.
if runs full; then
mkdir "$dir/full"
cd "$dir/full"
settings eda/sim 3 > settings.json
(
  trap '' XFSZ
  ulimit -f 64
  status=0
  "$fit" --settings settings.json --stages plan,place,route || status=$?
  echo "$status" > status
) > fit.log 2>&1
test "$(cat status)" = 1 || { echo "file size limit: exit $(cat status)"; cat fit.log; exit 1; }
test "$(grep -c "eda/sim/synthesized/top.vo" fit.log)" = 1 || { cat fit.log; exit 1; }
grep -q "^velmo-fit: cannot write the netlist eda/sim/synthesized/top.vo$" fit.log || { cat fit.log; exit 1; }
test -z "$(ls -A eda/sim/synthesized)" || { echo "file size limit: left"; ls -la eda/sim/synthesized; exit 1; }
if grep -q "velmo-fit: done" fit.log; then echo "file size limit: done"; exit 1; fi
fi
# A check script the component could not write whole (here under a file
# size limit above the netlists' size, below the script's) ends the run
# with exit 1 and one line naming it.
if runs short; then
mkdir "$dir/short"
cd "$dir/short"
printf '.model t\n.inputs a\n.outputs y\n.names a y\n1 1\n.end\n' > t.blif
settings eda/sim 3 > settings.json
(
  trap '' XFSZ
  ulimit -f 1
  status=0
  "$fit" t.blif --settings settings.json --stages plan,place,route || status=$?
  echo "$status" > status
) 2> fit.err | cat > fit.log
test "$(cat status)" = 1 || { echo "short script: exit $(cat status)"; cat fit.log fit.err; exit 1; }
test "$(wc -c < eda/sim/planned/t.vo)" -lt 512 || { echo "short script: the netlist does not fit the limit"; exit 1; }
grep -q "^velmo-fit: cannot write the check script verification/planned/eqcheck.tcl$" fit.err || { cat fit.err; exit 1; }
if grep -q "cannot write" fit.log; then echo "the script's line on stdout"; exit 1; fi
if grep -q "^Stage place" fit.log; then echo "short script: the fit went on"; exit 1; fi
fi
if [ -n "$checker_skipped" ]; then echo "skipped the stand-in checker:$missing not installed (make deps)"; exit 77; fi
echo ok
