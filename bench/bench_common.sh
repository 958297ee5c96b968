# What the fit benches share; sourced after `here`, `repo` and `build` are set.
# Checks that velmo-fit and jq are there, resolves `design` (a bundled
# design's name or a BLIF path) to its file and sets `fit` and `name`.
fit=$build/velmo-fit
[ -x "$fit" ] || { echo "no velmo-fit at $fit (build first)" >&2; exit 2; }
command -v jq >/dev/null || { echo "jq is needed" >&2; exit 2; }
if [ ! -f "$design" ]; then
  found=$(ls "$repo"/examples/designs/*/"$design".blif 2>/dev/null | head -1)
  [ -n "$found" ] || { echo "no bundled design '$design'" >&2; exit 2; }
  design=$found
fi
name=$(basename "$design" .blif)
