#!/usr/bin/env bash
# Designs taken through tools/velmo-synth and velmo-fit whose fitted netlist
# (the final stage's Verilog netlist) must simulate as the source RTL, both
# run by iverilog from power-up with no reset asserted:
#
# - powerup: a register of each kind yosys writes as a gate-level cell (an
#   enable, a synchronous reset, both, a reset gated by the enable) and a
#   plain one, each starting at 1 from an `initial`: the fitted registers
#   must power up at 1 too;
# - aliases: an output port that is another name of a register, a buffer
#   between two registers (logic that reduces to the first register's
#   output) and ports tied to constants: the BLIF has no LUT that only
#   passes one of its inputs on.
#
#   fitted_simulation.sh VELMO_FIT VELMO_SYNTH WORK_DIR
set -u
fit=$1 synth=$2 work=$3
for tool in yosys iverilog vvp; do
  command -v $tool >/dev/null ||
    { echo "SKIPPED: $tool is missing (Debian packages yosys, iverilog; 'make deps' installs them)"; exit 77; }
done
mkdir -p "$work"
cd "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# The .names of FILE that are functions of one input alone, passed on
# unchanged (whatever their other inputs): "output <- input" per line.
identity_luts() {
  awk '
    function flush(   m, i, bit, ok, out) {
      if (n < 1) return
      for (i = 1; i <= n; ++i) {
        ok = 1
        for (m = 0; m < 2 ^ n && ok; ++m) {
          out = value(m)
          bit = int(m / 2 ^ (i - 1)) % 2
          if (out != bit) ok = 0
        }
        if (ok) { print name[n + 1] " <- " name[i]; return }
      }
    }
    # The cover: rows of n input literals (0, 1, -) and the output value;
    # an off-set cover (output 0) gives the complement.
    function value(m,   r, i, c, hit, ok) {
      hit = 0
      for (r = 1; r <= rows; ++r) {
        ok = 1
        for (i = 1; i <= n; ++i) {
          c = substr(cube[r], i, 1)
          if (c != "-" && c != int(m / 2 ^ (i - 1)) % 2) ok = 0
        }
        if (ok) hit = 1
      }
      return offset ? 1 - hit : hit
    }
    /^\./ { flush(); n = -1 }
    /^\.names/ { n = NF - 2; for (i = 2; i <= NF; ++i) name[i - 1] = $i; rows = 0; offset = 0; next }
    n >= 1 && NF == 2 { cube[++rows] = $1; offset = ($2 == "0") }
    END { flush() }
  ' "$1"
}

# Fits BLIF, writing the final netlist, and simulates it against the source
# module TOP of SRC with the testbench TB. The testbench instantiates the
# source as `TOP s(...)` and holds the line "FITTED", which becomes the
# fitted module's instance: each port bound by its name in the netlist to
# the testbench signal of the same name, with f_ before an output's.
fits_as_source() {
  local top=$1 src=$2 blif=$3 tb=$4
  rm -rf "eda-$top"
  printf '{"options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": "eda-%s", "netlist_type": 3}}\n' \
    "$top" >"$top.json"
  "$fit" "$blif" --settings "$top.json" >"$top.fit.log" 2>&1 || { tail -5 "$top.fit.log"; fail "$top: velmo-fit"; return; }
  local netlist=eda-$top/final/$top.vo
  [ -s "$netlist" ] || { fail "$top: no final netlist"; return; }
  sed "s/^module $top (/module fitted (/" "$netlist" >"$top.fitted.v"
  # Port lines: "  input wire NAME ," or an escaped "\NAME " (the output
  # pins' names may carry "out:" before the source's name); a bus is one
  # vector port, "  input wire [3:0] NAME,", bound to the vector of its name.
  local ports
  ports=$(awk '/^module fitted \(/ { on = 1; next } on && /^\);/ { exit }
    on && $2 == "wire" {
      port = ($3 ~ /^\[/) ? $4 : $3; sub(/,$/, "", port); sig = port
      sub(/^\\/, "", sig); sub(/^out:/, "", sig)
      if (substr(port, 1, 1) == "\\") port = port " "
      printf "%s.%s(%s%s)", (n++ ? ", " : ""), port, ($1 == "output" ? "f_" : ""), sig
    }' "$top.fitted.v")
  [ -n "$ports" ] || { fail "$top: no ports read from the netlist"; return; }
  sed "s/^ *FITTED$/  fitted f($(printf '%s' "$ports" | sed 's/[\\&/]/\\&/g'));/" "$tb" >"$top.tb.v"
  iverilog -g2012 -o "$top.vvp" "$top.tb.v" "$src" "$top.fitted.v" >"$top.iverilog.log" 2>&1 ||
    { cat "$top.iverilog.log"; fail "$top: iverilog"; return; }
  vvp -n "$top.vvp" >"$top.sim.log" 2>&1
  grep -q '^PASS$' "$top.sim.log" || { head -5 "$top.sim.log"; fail "$top: the fitted netlist does not simulate as the source"; }
}

# Each check compares the source's outputs with the fitted ones: once before
# the first clock edge (the power-up values), then after each of 20 edges.
# No reset is asserted; the enable stays low for the first three cycles.
# WIDTH: the outputs' bits, INSTANCES: the source's and the fitted.
testbench() {
  local width=$1 instances=$2
  cat <<V
\`timescale 1ns/1ns
module tb;
  reg clk = 0, e = 0, r = 0, a = 0;
  reg [3:0] d = 4'b0110;
  wire [$((width - 1)):0] s_o, f_o;
  integer cycle = 0, bad = 0;
  $instances
  task check;
    if (s_o !== f_o) begin
      \$display("cycle %0d: source %b, fitted %b", cycle, s_o, f_o);
      bad = bad + 1;
    end
  endtask
  initial begin
    #1 check;
    for (cycle = 1; cycle <= 20; cycle = cycle + 1) begin
      e = cycle > 3 && cycle % 2 == 0;
      a = cycle % 3 == 0;
      d = d * 5 + 3;
      #4 clk = 1;
      #1 check;
      #4 clk = 0;
    end
    if (bad == 0) \$display("PASS");
    \$finish;
  end
endmodule
V
}

cat >powerup.v <<'V'
module powerup(input clk, e, r, input [3:0] d, output reg q_e, q_s, q_se, q_sce, q_p);
  initial begin q_e = 1; q_s = 1; q_se = 1; q_sce = 1; q_p = 1; end
  always @(posedge clk) if (e) q_e <= d[0];
  always @(posedge clk) if (r) q_s <= 0; else q_s <= d[1];
  always @(posedge clk) if (r) q_se <= 0; else if (e) q_se <= d[2];
  always @(posedge clk) if (e) begin if (r) q_sce <= 0; else q_sce <= d[3]; end
  always @(posedge clk) q_p <= ~q_p;
endmodule
V
# Without the initial values yosys writes the four gate-level kinds.
sed '/initial/d' powerup.v >powerup-noinit.v
"$synth" powerup powerup-noinit.blif powerup-noinit.v || fail "velmo-synth powerup-noinit"
for kind in '$_DFFE_PP_' '$_SDFF_PP0_' '$_SDFFE_PP0P_' '$_SDFFCE_PP0P_'; do
  grep -qF ".subckt $kind " powerup-noinit.blif || fail "powerup without initial values has no $kind"
done
"$synth" powerup powerup.blif powerup.v || fail "velmo-synth powerup"
testbench 5 \
  'powerup s(.clk(clk), .e(e), .r(r), .d(d), .q_e(s_o[4]), .q_s(s_o[3]), .q_se(s_o[2]), .q_sce(s_o[1]), .q_p(s_o[0]));
  wire f_q_e, f_q_s, f_q_se, f_q_sce, f_q_p;
  assign f_o = {f_q_e, f_q_s, f_q_se, f_q_sce, f_q_p};
  FITTED' >powerup.tb
fits_as_source powerup powerup.v powerup.blif powerup.tb

cat >aliases.v <<'V'
module aliases(input clk, a, input [3:0] d, output q1, output q2, output [1:0] k);
  reg r1 = 0, r2 = 1;
  wire b = r1 ^ a ^ a;
  always @(posedge clk) begin r1 <= d[0]; r2 <= b; end
  assign q1 = r1;
  assign q2 = r2;
  assign k = 2'b10;
endmodule
V
"$synth" aliases aliases.blif aliases.v || fail "velmo-synth aliases"
ids=$(identity_luts aliases.blif)
[ -z "$ids" ] || fail "aliases.blif has identity LUTs: $ids"
testbench 4 \
  'aliases s(.clk(clk), .a(a), .d(d), .q1(s_o[3]), .q2(s_o[2]), .k(s_o[1:0]));
  wire f_q1, f_q2;
  wire [1:0] f_k;
  assign f_o = {f_q1, f_q2, f_k};
  FITTED' >aliases.tb
fits_as_source aliases aliases.v aliases.blif aliases.tb
exit $failed
