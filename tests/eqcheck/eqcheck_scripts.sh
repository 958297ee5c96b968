#!/bin/sh
# velmo-fit on the default design with equivalence checking on writes the
# planned, placed and routed check scripts; each runs under the stand-in
# checker and reads netlists velmo-fit wrote. Usage: eqcheck_scripts.sh VELMO_FIT
set -e
fit="$1"
here="$(cd "$(dirname "$0")" && pwd)"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
cd "$dir"
cat > settings.json <<'JSON'
{"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": "eda/sim", "netlist_type": 3}}
JSON
"$fit" --settings settings.json --stages plan,place,route > fit.log
for stage in planned placed routed; do
  test -f "verification/$stage/eqcheck.tcl" || { echo "no script for $stage"; exit 1; }
  TORVIKA_DIR=/opt/checker tclsh "$here/stand_in_checker.tcl" "verification/$stage/eqcheck.tcl"
done
echo ok
