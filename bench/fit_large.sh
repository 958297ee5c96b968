#!/usr/bin/env bash
# Fits a large design of a shape that strains the router (a store buffer
# that synthesis turns into 25,344 flip-flops behind its read multiplexers,
# inside a core, beside one copy of frisc: about 16,500 LUTs) and prints the
# wall seconds of each stage, the routing rounds and the total. With several
# thread counts it fits once with each and says whether the fits wrote
# byte-identical netlists, the same routing, timing and resources and the
# same lines (less their times).
#
#   bench/fit_large.sh [BUILD_DIR]
#   THREADS="8 1" (default) the --threads of each fit.
#   FIT_ARGS="..." passes further options to velmo-fit.
#
# Needs jq, yosys (through tools/velmo-synth) and awk.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}
design=$repo/examples/designs/mcnc/frisc.blif
. "$here/bench_common.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$repo/tools/velmo-synth" store_core "$tmp/store_core.blif" "$here/designs/store_core.v" >"$tmp/synth.log" 2>&1 ||
  { cat "$tmp/synth.log" >&2; exit 2; }
"$here/merge_blif.sh" 1 "$tmp/store_core.blif" "$design" >"$tmp/large.blif" || exit 2
echo '{"options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": "eda", "netlist_type": 3}}' \
  >"$tmp/settings.json"
failed=0
first=
for t in ${THREADS:-8 1}; do
  dir=$tmp/t$t
  mkdir -p "$dir"
  start=$(date +%s.%N)
  (cd "$dir" && "$fit" "$tmp/large.blif" --threads "$t" --settings "$tmp/settings.json" --report "$dir/report.json" \
    ${FIT_ARGS:-} >"$dir/log" 2>&1)
  status=$?
  end=$(date +%s.%N)
  [ $status -eq 0 ] || { failed=1; tail -3 "$dir/log"; }
  echo "--threads $t: exit $status, $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s in all"
  [ -s "$dir/report.json" ] || continue
  jq -r '.stages[] | "  \(.name) \(.seconds * 10 | round / 10) s"' "$dir/report.json"
  jq -r '"  device \(.device.nx)x\(.device.ny), \(.routing.rounds) routing rounds, \(.routing.unrouted) unrouted, \(.routing.overused) overused"' "$dir/report.json"
  # What the fit printed, less its clock readings.
  { jq -S '{status, routing, timing, resources}' "$dir/report.json"
    sed -E 's/\([0-9:.]+( s)?\)//g; s/elapsed time is [0-9:]+//; /^Peak memory/d' "$dir/log"; } >"$dir/figures"
  if [ -z "$first" ]; then
    first=$t
  elif cmp -s "$tmp/t$first/figures" "$dir/figures" && diff -r "$tmp/t$first/eda" "$dir/eda" >/dev/null; then
    echo "  same netlists and figures as --threads $first"
  else
    echo "  DIFFERENT from --threads $first"
    diff "$tmp/t$first/figures" "$dir/figures" | head -10
    failed=1
  fi
done
exit $failed
