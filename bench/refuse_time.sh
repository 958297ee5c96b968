#!/usr/bin/env bash
# How long velmo-fit takes to refuse a design beyond the largest device:
# pass-through designs of PINS pins (each input through a LUT to an output),
# refused with exit 2 before any stage runs. One line per size.
#
#   bench/refuse_time.sh [BUILD_DIR] [PINS...]     (default: build, 4000 40000)
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}
shift $(($# > 0 ? 1 : 0))
fit=$build/velmo-fit
[ -x "$fit" ] || { echo "no velmo-fit at $fit (build first)" >&2; exit 2; }
[ $# -gt 0 ] || set -- 4000 40000

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%8s %8s %5s %9s\n' pins luts exit seconds
failed=0
for pins in "$@"; do
  f=$tmp/pass_through_$pins.blif
  awk -v n=$((pins / 2)) 'BEGIN {
    printf ".model wide\n.inputs"; for (i = 0; i < n; i++) printf " i%d", i
    printf "\n.outputs"; for (i = 0; i < n; i++) printf " o%d", i
    printf "\n"; for (i = 0; i < n; i++) printf ".names i%d o%d\n0 1\n", i, i
    print ".end" }' >"$f"
  start=$(date +%s.%N)
  "$fit" "$f" >"$tmp/out.log" 2>&1
  status=$?
  end=$(date +%s.%N)
  if [ $status -ne 2 ] || ! grep -q "does not fit the largest device" "$tmp/out.log"; then
    failed=1
    tail -3 "$tmp/out.log"
  fi
  printf '%8d %8d %5d %9.2f\n' "$pins" $((pins / 2)) "$status" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
done
exit $failed
