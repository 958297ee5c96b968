#!/usr/bin/env bash
# A Verilog design installed by a Debian package, through tools/velmo-synth
# and velmo-fit on every family: each fit ends with status 0 and every
# connection routed, and its registers plus the registers the dead-logic
# sweep removed are the flip-flop cells of the BLIF the recipe wrote.
#
#   synth_and_fit.sh VELMO_FIT VELMO_SYNTH WORK_DIR TOP FILE [PACKAGE [STEP]]
#
# STEP "synth" only writes WORK_DIR/TOP.blif; a family number only fits
# that BLIF on that family; so a large design's synthesis and fits can be
# tests of their own. Without STEP, both, on every family.
#
# FILE missing (its PACKAGE not installed): skipped, status 77. A file
# named sqrt-virtex.v first has its port-list entry `.y(acc)` written as
# `acc`, a form yosys does not read.
set -u
fit=$1 synth=$2 work=$3 top=$4 file=$5 package=${6:-} step=${7:-}
families="46 48 26 15"
case $step in
  "") ;;
  synth) families="" ;;
  46|48|26|15) families=$step ;;
  *) echo "unknown step '$step'"; exit 2 ;;
esac
for need in "$file:${package:-?}" /usr/bin/yosys:yosys; do
  if [ ! -e "${need%:*}" ]; then
    echo "SKIPPED: ${need%:*} is missing (Debian package ${need##*:}; 'make deps' installs it)"
    exit 77
  fi
done
command -v jq >/dev/null || { echo "jq is needed"; exit 1; }
mkdir -p "$work"
src=$file
if [ "$(basename "$file")" = sqrt-virtex.v ]; then
  src=$work/sqrt-virtex.v
  sed 's/\.y(acc)/acc/' "$file" >"$src"
  grep -q '\.y(acc)' "$src" && { echo "the port list was not rewritten"; exit 1; }
fi
blif=$work/$top.blif
if [ -z "$step" ] || [ "$step" = synth ]; then
  rm -f "$blif"
  "$synth" "$top" "$blif" "$src" || { echo "velmo-synth failed"; exit 1; }
fi
[ -s "$blif" ] || { echo "no $blif: its synth step did not run"; exit 1; }
# Flip-flop cells: .latch lines and the gate-level flip-flops.
cells=$(grep -cE '^\.latch |^\.subckt \$_(S?DFF|SDFFC?E)' "$blif")
[ "$cells" -gt 0 ] || { echo "no flip-flops in $blif"; exit 1; }
echo "$top: $cells flip-flop cells"
failed=0
for family in $families; do
  report=$work/$top.$family.json
  rm -f "$report"
  "$fit" "$blif" --family "$family" --report "$report" >"$work/$top.$family.log" 2>&1
  status=$?
  if [ $status -ne 0 ] || [ ! -s "$report" ]; then
    echo "family $family: velmo-fit exit $status"
    tail -20 "$work/$top.$family.log"
    failed=1
    continue
  fi
  read -r regs removed conns unrouted overused < <(jq -r \
    '[.resources.registers, .design.removed.registers, .routing.connections, .routing.unrouted, .routing.overused]
     | map(tostring) | join(" ")' "$report")
  echo "family $family: $regs registers + $removed removed, $conns connections, $unrouted unrouted, $overused overused"
  if [ "$conns" = null ] || [ "$conns" -eq 0 ] || [ "$unrouted" != 0 ] || [ "$overused" != 0 ]; then
    echo "family $family: not every connection routed"
    failed=1
  fi
  if [ $((regs + removed)) -ne "$cells" ]; then
    echo "family $family: $regs registers + $removed removed != $cells flip-flop cells"
    failed=1
  fi
done
exit $failed
