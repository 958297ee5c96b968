#!/usr/bin/env bash
# tools/velmo-synth on a small SystemVerilog design of its own: a submodule
# (flattened), four flip-flops with an asynchronous reset (made synchronous,
# with one warning line giving their number), two whose synchronous reset
# acts only with the enable, and an assertion (removed). velmo-fit then fits
# it. Bad command lines and missing files exit with status 2.
#
#   recipe_cases.sh VELMO_FIT VELMO_SYNTH WORK_DIR
set -u
fit=$1 synth=$2 work=$3
[ -e /usr/bin/yosys ] || { echo "SKIPPED: /usr/bin/yosys is missing (Debian package yosys; 'make deps' installs it)"; exit 77; }
mkdir -p "$work"
cd "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }

cat >leaf.sv <<'V'
module leaf(input clk, rst, e, input [3:0] d, output reg [3:0] q, output reg [1:0] s);
  always @(posedge clk or posedge rst) if (rst) q <= 4'b1010; else if (e) q <= d;
  always @(posedge clk) if (e) begin if (rst) s <= 2'b11; else s <= d[1:0]; end
  always @(posedge clk) assert (q != 4'hf);
endmodule
V
cat >"my top.sv" <<'V'
module chip(input clk, rst, e, input [3:0] d, output [3:0] q, output [1:0] s);
  leaf u(.clk(clk), .rst(rst), .e(e), .d(d), .q(q), .s(s));
endmodule
V
"$synth" chip chip.blif leaf.sv "my top.sv" 2>synth.err
status=$?
cat synth.err
[ $status -eq 0 ] || fail "velmo-synth exit $status"
[ "$(grep -c 'velmo-synth: warning:' synth.err)" -eq 1 ] || fail "not one warning line"
grep -q 'warning: 4 flip-flops with an asynchronous set or reset were made synchronous' synth.err ||
  fail "the warning does not count the 4 flip-flops"
grep -q '^\.model chip$' chip.blif || fail "no model chip"
[ "$(grep -c '^\.model' chip.blif)" -eq 1 ] || fail "the hierarchy is not flattened"
grep -qE '^\.subckt (leaf|\$assert)' chip.blif && fail "a submodule or a formal cell is left"
[ "$(grep -c '^\.subckt \$_SDFFCE_' chip.blif)" -eq 2 ] || fail "not two enable-gated reset flip-flops"
grep -qE '^\.subckt \$_DFFE?_..[01]' chip.blif && fail "an asynchronous reset is left"
"$fit" chip.blif >fit.log 2>&1
status=$?
[ $status -eq 0 ] || { tail -5 fit.log; fail "velmo-fit exit $status"; }
grep -q 'Routing: [0-9]* connections, 0 unrouted, 0 overused' fit.log || fail "not every connection routed"
grep -q 'chip.blif): .* 6 registers' fit.log || fail "not six registers"

# Refusals: status 2 and a line saying why; no output file.
refused() {
  local want=$1
  shift
  "$synth" "$@" >out.txt 2>&1
  local s=$?
  [ $s -eq 2 ] || fail "$* exits $s, not 2"
  grep -q "$want" out.txt || fail "$*: no '$want' in: $(cat out.txt)"
}
rm -f none.blif
refused "usage: velmo-synth TOP OUT.blif FILE" chip none.blif
refused "cannot read the file 'nowhere.v'" chip none.blif nowhere.v
refused "is not a plain Verilog module name" 'chip; shell ls' none.blif leaf.sv
[ -e none.blif ] && fail "a refused run wrote its output"
# yosys's own error (no such top module) is its status, and nothing is written.
"$synth" nosuch none.blif leaf.sv >out.txt 2>&1 && fail "an unknown top module succeeded"
[ -e none.blif ] && fail "a failed run wrote its output"
exit $failed
