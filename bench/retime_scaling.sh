#!/usr/bin/env bash
# How the post-route retimer's cost grows with the design: fits 1, 2 and 4
# merged copies of a bundled design with post-route physical synthesis on and
# every copy's clock global, and prints per size the final stage's seconds
# (median of REPEAT runs), the retimer's attempts and accepted moves, and the
# milliseconds per attempt, so that sizes whose runs try different numbers of
# moves are compared like for like. Last, the final stage's time of the
# largest size over the smallest's and the log-log slope of the final stage's
# time against atoms, then the ratio of their attempts and of their final
# stage's time per attempt.
#
#   bench/retime_scaling.sh [BUILD_DIR] [DESIGN] [COPIES...]
#     BUILD_DIR  default build
#     DESIGN     a bundled design name or a BLIF path (default elliptic)
#     COPIES     default 1 2 4
#   REPEAT=n   runs per size, in rounds over all sizes (default 3)
#   CLOCK=name the design's clock net (default pclk)
#   FIT_ARGS="..." further velmo-fit options.
#
# Needs jq and awk.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}
design=${2:-elliptic}
shift $(( $# < 2 ? $# : 2 ))
copies=${*:-1 2 4}
clock=${CLOCK:-pclk}
. "$here/bench_common.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for n in $copies; do
  "$here/merge_blif.sh" "$n" "$design" >"$tmp/x$n.blif" || exit 2
  jq -n --arg c "$clock" --argjson n "$n" '{global_clocks: [range($n) | "c\(.)_\($c)"]}' >"$tmp/x$n.json"
done

failed=0
# One run of size $1, number $2: the final stage's seconds, the attempts and
# the accepted moves (the driver's trace: a "Yun[n]" line per attempt, the
# end-of-round counts) on one line.
run() {
  local n=$1 k=$2 log=$tmp/log_$1_$2
  "$fit" "$tmp/x$n.blif" --settings "$tmp/x$n.json" --report "$tmp/r_${n}_${k}.json" \
    --cfg muvo_post_route_in_finalize=on --debug ${FIT_ARGS:-} >"$log" 2>&1
  local status=$?
  [ $status -eq 0 ] || { echo "x$n run $k: exit $status" >&2; tail -3 "$log" >&2; failed=1; }
  local final
  final=$(jq -r '[.stages[] | select(.name == "final") | .seconds][0] // "nan"' "$tmp/r_${n}_${k}.json" 2>/dev/null)
  awk -v final="${final:-nan}" '
    / Yun\[[0-9]+\] / { a++ }
    / Accepted Moves +:/ { acc += $(NF - 1) }
    END { printf "%.2f %d %d\n", final, a, acc }' "$log" >>"$tmp/runs_$n"
  rm -f "$log"
}
for ((k = 1; k <= ${REPEAT:-3}; k++)); do
  for n in $copies; do run "$n" "$k"; done
done

printf '%-14s %7s %9s %9s %9s %12s\n' design atoms final_s attempts accepted ms_per_try
: >"$tmp/points"
for n in $copies; do
  atoms=$(jq .atoms "$tmp/r_${n}_1.json" 2>/dev/null || echo 0)
  # The median run by final-stage time (the middle one of an odd count).
  read -r final tries accepted < <(sort -g "$tmp/runs_$n" | awk '{ l[NR] = $0 } END { print l[int((NR + 1) / 2)] }')
  per=$(awk -v f="$final" -v t="$tries" 'BEGIN { if (t > 0) printf "%.1f", 1000 * f / t; else print "-" }')
  printf '%-14s %7s %9s %9s %9s %12s\n' "${name}_x$n" "$atoms" "$final" "$tries" "$accepted" "$per"
  echo "$n $atoms $final $tries" >>"$tmp/points"
done
awk 'NR == 1 { n1 = $1; f1 = $3; t1 = $4 } { nl = $1; fl = $3; tl = $4; x = log($2); y = log($3); k++; sx += x; sxx += x * x; sy += y; sxy += x * y }
     END {
       if (k < 2 || k * sxx - sx * sx == 0 || f1 <= 0) { print "need two or more sizes"; exit }
       printf "final stage x%d / x%d: %.2f; log-log slope of the final stage over %d sizes: %.2f\n",
              nl, n1, fl / f1, k, (k * sxy - sx * sy) / (k * sxx - sx * sx)
       # Like for like: the sizes try different numbers of moves.
       if (t1 > 0 && tl > 0)
         printf "attempts x%d / x%d: %.2f; final stage per attempt x%d / x%d: %.2f\n",
                nl, n1, tl / t1, nl, n1, (fl / tl) / (f1 / t1)
     }' "$tmp/points"
exit $failed
