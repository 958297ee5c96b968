#!/bin/sh
# velmo-fit on the default design with equivalence checking on writes the
# planned, placed and routed check scripts; each runs under the stand-in
# checker and reads netlists velmo-fit wrote, for each netlist type (VHDL,
# Verilog, SystemVerilog). An output directory velmo-fit cannot use is
# refused before the fit; a netlist it cannot write during the fit ends the
# run. Usage: eqcheck_scripts.sh VELMO_FIT
set -e
fit="$1"
here="$(cd "$(dirname "$0")" && pwd)"
dir="$(mktemp -d)"
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
settings() {  # output_dir netlist_type
  cat <<JSON
{"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": "$1", "netlist_type": $2}}
JSON
}
for type in 2 3 4; do
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
    TORVIKA_DIR=/opt/checker tclsh "$here/stand_in_checker.tcl" "verification/$stage/eqcheck.tcl"
  done
done

# Refused before the fit (exit 2, nothing fitted): no directory named, one
# that cannot be created, one that cannot be written.
mkdir "$dir/bad"
cd "$dir/bad"
touch a_file
mkdir read_only
chmod a-w read_only
for out in "" a_file/sim read_only; do
  settings "$out" 3 > settings.json
  status=0
  "$fit" --settings settings.json --stages plan,place,route > fit.log 2>&1 || status=$?
  if [ "$(id -u)" = 0 ] && [ "$out" = read_only ]; then continue; fi
  test "$status" = 2 || { echo "output_dir '$out': exit $status"; cat fit.log; exit 1; }
  case "$out" in
    "") reason="eda.output_dir is empty" ;;
    a_file/sim) reason="eda.output_dir a_file/sim: cannot create the directory" ;;
    *) reason="eda.output_dir $out: cannot write into the directory" ;;
  esac
  grep -q "$reason" fit.log || { echo "output_dir '$out': no reason"; cat fit.log; exit 1; }
  if grep -q "^Stage" fit.log; then echo "output_dir '$out': the fit ran"; exit 1; fi
done

# A netlist that cannot be written during the fit: exit 1, one line.
mkdir "$dir/late"
cd "$dir/late"
settings eda/sim 3 > settings.json
mkdir -p eda/sim
touch eda/sim/placed
status=0
"$fit" --settings settings.json --stages plan,place,route > fit.log 2>&1 || status=$?
test "$status" = 1 || { echo "unwritable placed netlist: exit $status"; cat fit.log; exit 1; }
test "$(grep -c "cannot write the netlist eda/sim/placed/top.vo" fit.log)" = 1 || { cat fit.log; exit 1; }
if grep -q "^Stage route" fit.log; then echo "the fit went on after the failed write"; exit 1; fi
echo ok
