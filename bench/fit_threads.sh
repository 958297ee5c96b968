#!/usr/bin/env bash
# Fits every bundled design with --threads 1 and --threads 8 and compares
# what the fits produced (routing figures, timing per corner, resources):
# one line per design, "same" or "DIFFERENT" with both reports' values.
#
#   bench/fit_threads.sh [BUILD_DIR]     (default: build; needs jq)
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(dirname "$here")/build}
fit=$build/velmo-fit
[ -x "$fit" ] || { echo "no velmo-fit at $fit (build first)" >&2; exit 2; }
command -v jq >/dev/null || { echo "jq is needed" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
differ=0
for f in "$here"/../examples/designs/*/*.blif; do
  name=$(basename "$f" .blif)
  for t in 1 8; do
    "$fit" "$f" --threads $t --report "$tmp/$name.$t.json" >/dev/null 2>&1
    jq -S '{status, routing, timing, resources}' "$tmp/$name.$t.json" >"$tmp/$name.$t.out"
  done
  if cmp -s "$tmp/$name.1.out" "$tmp/$name.8.out"; then
    printf '%-10s same\n' "$name"
  else
    printf '%-10s DIFFERENT\n' "$name"
    diff "$tmp/$name.1.out" "$tmp/$name.8.out" | head -10
    differ=1
  fi
done
exit $differ
