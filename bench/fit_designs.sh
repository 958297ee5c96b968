#!/usr/bin/env bash
# Fits every bundled design with velmo-fit and prints one line per design:
# atoms, nets, seconds per stage, total wall time, peak memory and the
# routing and timing outcome (from the --report JSON).
#
#   bench/fit_designs.sh [BUILD_DIR]     (default: build)
#
# Needs jq. Fits the benchmark designs bundled under examples/designs, then
# mac16 with its partition settings, blackboxed and with blackboxing off,
# then every design again with post-route physical synthesis in finalize
# and its clock in global_clocks ("<design>-prs").
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}
fit=$build/velmo-fit
designs=$(cd "$here/../examples/designs" && pwd)
[ -x "$fit" ] || { echo "no velmo-fit at $fit (build first)" >&2; exit 2; }
command -v jq >/dev/null || { echo "jq is needed" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%-12s %6s %6s %5s %7s %7s %7s %7s %7s %7s %8s %9s %6s %6s %9s %9s\n' \
  design atoms nets exit start plan place route retime final total peak_MB conns unrout setup_wns hold_wns
failed=0
# fit NAME BLIF [velmo-fit options...]: one line.
fit() {
  local name=$1 f=$2
  shift 2
  local report=$tmp/$name.json
  local start end status
  start=$(date +%s.%N)
  "$fit" "$f" --report "$report" "$@" >"$tmp/$name.log" 2>&1
  status=$?
  end=$(date +%s.%N)
  [ $status -eq 0 ] || failed=1
  if [ ! -s "$report" ]; then
    printf '%-12s %6s %6s %5d (no report; see output below)\n' "$name" - - "$status"
    tail -5 "$tmp/$name.log"
    return
  fi
  stage() { jq -r --arg s "$1" '[.stages[] | select(.name == $s) | .seconds][0] // "-" | if type == "number" then (. * 100 | round / 100) else . end' "$report"; }
  wns() { jq -r --arg k "$1" '[.timing[] | .[$k] | select(. != null)] | min // "-"' "$report"; }
  printf '%-12s %6s %6s %5d %7s %7s %7s %7s %7s %7s %8.2f %9.1f %6s %6s %9s %9s\n' "$name" \
    "$(jq .atoms "$report")" "$(jq .nets "$report")" "$status" \
    "$(stage start-up)" "$(stage plan)" "$(stage place)" "$(stage route)" "$(stage retime)" "$(stage final)" \
    "$(jq -n "$end - $start")" "$(jq '.peak_rss_kb / 1024' "$report")" \
    "$(jq -r '.routing.connections // "-"' "$report")" "$(jq -r '.routing.unrouted // "-"' "$report")" \
    "$(wns setup_wns_ps)" "$(wns hold_wns_ps)"
}
for f in "$designs"/*/*.blif; do
  fit "$(basename "$f" .blif)" "$f"
done
# mac16 with its partition settings: partition mult blackboxed ("mac16-bb")
# and the same run with blackboxing switched off ("mac16-full").
mac16=$designs/yosys/mac16
fit mac16-bb "$mac16.blif" --settings "$mac16.partitions.json"
fit mac16-full "$mac16.blif" --settings "$mac16.partitions.json" --cfg jov_disable_bbic=on
# Post-route physical synthesis (retiming and resynthesis in finalize) with
# the design's clock, the net clocking the most registers, on the global
# network: the retimer moves only registers on a global clock.
clock_of() {
  awk '$1 == ".latch" { print $5 }
       $1 == ".subckt" { for (i = 2; i <= NF; i++) if ($i ~ /^C=/) print substr($i, 3) }' "$1" |
    sort | uniq -c | sort -rn | awk 'NR == 1 { print $2 }'
}
for f in "$designs"/*/*.blif; do
  name=$(basename "$f" .blif)
  printf '{"global_clocks": ["%s"]}\n' "$(clock_of "$f")" >"$tmp/$name.global.json"
  fit "$name-prs" "$f" --settings "$tmp/$name.global.json" --cfg muvo_post_route_in_finalize=on
done
exit $failed
