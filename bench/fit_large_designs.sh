#!/usr/bin/env bash
# Fits the large published designs (a CPU with a 256-entry store buffer, the
# same CPU with an 8-entry one, and a fully unrolled AES-128) in one run and
# prints, per design, the device, the seconds of each stage and in all, the
# routing rounds, whether it routed (unrouted and overused left, a retry on
# a larger device), the peak memory and the slacks; then mor1kx's wall time
# as a multiple of mor1kx_sb3's.
#
#   bench/fit_large_designs.sh DIR [BUILD_DIR]
#     DIR        the folder holding mor1kx.blif.xz, mor1kx_sb3.blif.xz and
#                aes_128.blif.xz (decompressed here into a scratch folder)
#     BUILD_DIR  default build
#   THREADS=n    velmo-fit's --threads (default 8).
#   DESIGNS="..." the designs to fit (default: all three, in that order).
#   FIT_ARGS="..." passes further options to velmo-fit.
#
# Needs xz, jq and awk. A benchmark, not a test: a fit takes minutes.
set -u
[ $# -ge 1 ] || { echo "usage: $0 DIR [BUILD_DIR]" >&2; exit 2; }
dir=$1
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${2:-$repo/build}
fit=$build/velmo-fit
[ -x "$fit" ] || { echo "no velmo-fit at $fit (build first)" >&2; exit 2; }
for tool in xz jq awk; do command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 2; }; done
designs=${DESIGNS:-mor1kx mor1kx_sb3 aes_128}
for d in $designs; do
  [ -f "$dir/$d.blif.xz" ] || { echo "no $d.blif.xz in $dir" >&2; exit 2; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%-11s %7s %7s %7s %7s %7s %7s %7s %7s %6s %6s %6s %5s %8s %9s %9s\n' \
  design device plan place route retime final total_s wall_s rounds unrout ovrus retry peak_MB setup_wns hold_wns
failed=0
declare -A wall
for d in $designs; do
  xz -dc "$dir/$d.blif.xz" >"$tmp/$d.blif" || { echo "$d: cannot decompress" >&2; failed=1; continue; }
  report=$tmp/$d.json
  log=$tmp/$d.log
  start=$(date +%s.%N)
  (cd "$tmp" && "$fit" "$tmp/$d.blif" --threads "${THREADS:-8}" --report "$report" ${FIT_ARGS:-} >"$log" 2>&1)
  status=$?
  end=$(date +%s.%N)
  wall[$d]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  # A routing failure on the sized device runs the fit again on a larger
  # one: the figures are then the larger device's, and the run counts as
  # not fitted on its device.
  retry=no
  grep -q 'trying a larger one' "$log" && retry=yes
  if [ $status -ne 0 ] || [ "$retry" = yes ]; then failed=1; fi
  if [ ! -s "$report" ]; then
    printf '%-11s exit %d, no report:\n' "$d" "$status"
    tail -5 "$log"
    continue
  fi
  stage() { jq -r --arg s "$1" '[.stages[] | select(.name == $s) | .seconds] | if length == 0 then "-" else (add * 10 | round / 10) end' "$report"; }
  wns() { jq -r --arg k "$1" '[.timing[] | .[$k] | select(. != null)] | min // "-"' "$report"; }
  printf '%-11s %7s %7s %7s %7s %7s %7s %7s %7s %6s %6s %6s %5s %8.0f %9s %9s\n' "$d" \
    "$(jq -r '"\(.device.nx)x\(.device.ny)"' "$report")" \
    "$(stage plan)" "$(stage place)" "$(stage route)" "$(stage retime)" "$(stage final)" \
    "$(jq '[.stages[].seconds] | add * 10 | round / 10' "$report")" "${wall[$d]}" \
    "$(jq -r '.routing.rounds // "-"' "$report")" "$(jq -r '.routing.unrouted // "-"' "$report")" \
    "$(jq -r '.routing.overused // "-"' "$report")" "$retry" "$(jq '.peak_rss_kb / 1024' "$report")" \
    "$(wns setup_wns_ps)" "$(wns hold_wns_ps)"
  [ $status -eq 0 ] || tail -3 "$log"
  # The final stage should take no longer than routing, or 10 s.
  awk -v r="$(stage route)" -v f="$(stage final)" -v d="$d" \
    'BEGIN { if (f != "-" && r != "-" && f > (r > 10 ? r : 10)) printf "  %s: the final stage (%s s) outlasts routing (%s s)\n", d, f, r }'
done
if [ -n "${wall[mor1kx]:-}" ] && [ -n "${wall[mor1kx_sb3]:-}" ]; then
  awk -v a="${wall[mor1kx]}" -v b="${wall[mor1kx_sb3]}" \
    'BEGIN { if (b > 0) printf "mor1kx took %.1f times as long as mor1kx_sb3 (%s s against %s s)\n", a / b, a, b }'
fi
exit $failed
