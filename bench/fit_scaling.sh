#!/usr/bin/env bash
# How velmo-fit's cost grows with the design: fits 1, 2, 4 and 8 merged
# copies of a bundled design (unique names per copy) and prints, per size,
# the atoms, the seconds per stage and in total, the peak memory, the router's
# rounds and the routed connections; then the log-log slope of total time and
# of peak memory against atoms (least squares over the sizes that fitted),
# and the same slope of each stage's seconds.
#
#   bench/fit_scaling.sh [BUILD_DIR] [DESIGN] [COPIES...]
#     BUILD_DIR  default build
#     DESIGN     a bundled design name or a BLIF path (default frisc)
#     COPIES     default 1 2 4 8
#   FIT_TIMEOUT=seconds stops a fit that runs longer (default: none).
#   FIT_ARGS="..." passes further options to velmo-fit (e.g. --cfg NAME=VALUE).
#   REPEAT=n fits each size n times, in rounds over all sizes, and keeps
#     each size's fastest run (default 1): on a shared or virtual machine
#     single runs vary by 10-30 %, which moves the slopes by more than the
#     differences worth measuring.
#
# Needs jq and awk.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}
design=${2:-frisc}
shift $(( $# < 2 ? $# : 2 ))
copies=${*:-1 2 4 8}
. "$here/bench_common.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%-12s %6s %5s %9s %7s %7s %7s %7s %7s %8s %8s %6s %7s %6s\n' \
  design atoms exit device place route retime final total_s peak_MB rounds conns unrout ovrus
points=$tmp/points
stage_points=$tmp/stage_points
: >"$points"
: >"$stage_points"
failed=0
# One fit of size $1; the fastest run of each size is kept (report, log,
# status, seconds); a size whose run failed is not fitted again.
fit_size() {
  local n=$1 blif=$tmp/${name}_x$1.blif report=$tmp/${name}_x$1.json
  [ -f "$tmp/status_$n" ] && [ "$(cat "$tmp/status_$n")" != 0 ] && return
  local start end run_status run_total
  start=$(date +%s.%N)
  if [ -n "${FIT_TIMEOUT:-}" ]; then
    timeout "$FIT_TIMEOUT" "$fit" "$blif" --report "$report.run" ${FIT_ARGS:-} >"$tmp/log.run" 2>&1
  else
    "$fit" "$blif" --report "$report.run" ${FIT_ARGS:-} >"$tmp/log.run" 2>&1
  fi
  run_status=$?
  end=$(date +%s.%N)
  run_total=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
  if [ ! -f "$tmp/total_$n" ] || [ $run_status -ne 0 ] ||
     awk -v a="$run_total" -v b="$(cat "$tmp/total_$n")" 'BEGIN { exit !(a < b) }'; then
    echo "$run_total" >"$tmp/total_$n"
    echo "$run_status" >"$tmp/status_$n"
    mv "$tmp/log.run" "$tmp/log_$n"
    if [ -f "$report.run" ]; then mv "$report.run" "$report"; else rm -f "$report"; fi
  fi
  rm -f "$report.run" "$tmp/log.run"
}
for n in $copies; do
  "$here/merge_blif.sh" "$n" "$design" >"$tmp/${name}_x$n.blif" || exit 2
done
# Repeats go round all sizes in turn, so that a slow spell of the machine
# does not fall on one size only.
for ((run = 1; run <= ${REPEAT:-1}; run++)); do
  for n in $copies; do fit_size "$n"; done
done
for n in $copies; do
  report=$tmp/${name}_x$n.json
  total=$(cat "$tmp/total_$n")
  status=$(cat "$tmp/status_$n")
  if [ ! -s "$report" ]; then
    printf '%-12s %6s %5d (no report after %s s; last lines below)\n' "${name}_x$n" - "$status" "$total"
    tail -3 "$tmp/log_$n"
    failed=1
    continue
  fi
  [ $status -eq 0 ] || failed=1
  stage() { jq -r --arg s "$1" '[.stages[] | select(.name == $s) | .seconds][0] // "-" | if type == "number" then (. * 100 | round / 100) else . end' "$report"; }
  atoms=$(jq .atoms "$report")
  peak=$(jq '.peak_rss_kb / 1024 | . * 10 | round / 10' "$report")
  printf '%-12s %6s %5d %9s %7s %7s %7s %7s %7s %8s %8s %6s %7s %6s\n' "${name}_x$n" "$atoms" "$status" \
    "$(jq -r '"\(.device.nx)x\(.device.ny)"' "$report")" \
    "$(stage place)" "$(stage route)" "$(stage retime)" "$(stage final)" "$total" "$peak" \
    "$(jq -r '.routing.rounds // "-"' "$report")" "$(jq -r '.routing.connections // "-"' "$report")" \
    "$(jq -r '.routing.unrouted // "-"' "$report")" "$(jq -r '.routing.overused // "-"' "$report")"
  [ $status -eq 0 ] && echo "$atoms $total $peak" >>"$points" &&
    jq -r --arg a "$atoms" '.stages[] | "\($a) \(.name) \(.seconds)"' "$report" >>"$stage_points"
done
# Least-squares slopes of log(time) and log(memory) against log(atoms).
awk '{ x = log($1); n++; sx += x; sxx += x * x; st += log($2); sxt += x * log($2); sm += log($3); sxm += x * log($3) }
     END {
       if (n < 2 || n * sxx - sx * sx == 0) { print "slopes: need two or more fitted sizes"; exit }
       d = n * sxx - sx * sx
       printf "log-log slope over %d sizes: time %.2f, peak memory %.2f\n", n, (n * sxt - sx * st) / d, (n * sxm - sx * sm) / d
     }' "$points"
# The same slope for the seconds of each stage (in the reports' order; a
# stage that took no measurable time at some size has none).
awk '!($2 in seen) { seen[$2] = 1; order[++k] = $2 }
     { n[$2]++; x = log($1); sx[$2] += x; sxx[$2] += x * x
       if ($3 > 0) { st[$2] += log($3); sxt[$2] += x * log($3) } else zero[$2] = 1 }
     END {
       line = ""
       for (i = 1; i <= k; i++) {
         s = order[i]; d = n[s] * sxx[s] - sx[s] * sx[s]
         if (n[s] < 2 || d == 0 || zero[s]) v = "-"
         else v = sprintf("%.2f", (n[s] * sxt[s] - sx[s] * st[s]) / d)
         line = line (i > 1 ? ", " : "") s " " v
       }
       if (k > 0) print "stage time slopes: " line
     }' "$stage_points"
exit $failed
