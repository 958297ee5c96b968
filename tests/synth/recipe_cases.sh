#!/usr/bin/env bash
# tools/velmo-synth on a small SystemVerilog design of its own: a submodule
# (flattened), four flip-flops with an asynchronous reset (made synchronous,
# with one warning line giving their number), two whose synchronous reset
# acts only with the enable, and an assertion (removed). velmo-fit then fits
# it. Then: `include files found beside the including file, relative to its
# folder and in -I folders; -D macros and -P parameters; yosys's messages
# naming each file as it was given, and after a syntax error a last line
# pointing to docs/limits.md; latches and nets with two drivers refused by
# name; a design reduced to constants, which velmo-fit warns
# about. Bad command lines, missing files and an output that would
# overwrite a source exit with status 2.
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
  grep -qe "$want" out.txt || fail "$*: no '$want' in: $(cat out.txt)"
}
rm -f none.blif
refused "usage: velmo-synth \[--sv\] \[-I DIR\]... \[-D NAME\[=VALUE\]\]... \[-P NAME=VALUE\]... \[--\] TOP OUT.blif FILE" chip none.blif
refused "unknown option '-x'" -x chip none.blif leaf.sv
refused "-I 'nodir' is not a folder" -I nodir chip none.blif leaf.sv
refused "-D '1X' is not NAME or NAME=VALUE" -D 1X chip none.blif leaf.sv
refused "-P 'W' is not NAME=VALUE" -P W chip none.blif leaf.sv
refused "-D 'X=a\\\\xe9' is not UTF-8 text" -D "$(printf 'X=a\351')" chip none.blif leaf.sv
refused "-P 'W=\"\\\\xe9\"' is not UTF-8 text" -P "$(printf 'W="\351"')" chip none.blif leaf.sv
refused "in a shell, quote the whole item: -P 'F=\"text\"' or -P \"F=8'h01\"" -P F=ENABLED chip none.blif leaf.sv
refused "cannot read the file 'nowhere.v'" chip none.blif nowhere.v
refused "is not a plain Verilog module name" 'chip; shell ls' none.blif leaf.sv
[ -e none.blif ] && fail "a refused run wrote its output"
# yosys's own error (no such top module) is its status, and nothing is written.
"$synth" nosuch none.blif leaf.sv >out.txt 2>&1 && fail "an unknown top module succeeded"
grep -q 'docs/limits' out.txt && fail "an unknown top module is taken for a syntax error: $(cat out.txt)"
[ -e none.blif ] && fail "a failed run wrote its output"

# The output never overwrites a source, however it is named, nor is a folder.
mkdir -p src
cp leaf.sv src/leaf.sv
ln -sf leaf.sv src/link.sv
sum=$(cksum <src/leaf.sv)
refused "the output 'src/leaf.sv' is the source file 'src/leaf.sv'" leaf src/leaf.sv src/leaf.sv
refused "the output './src/../src/leaf.sv' is the source file 'src/leaf.sv'" leaf ./src/../src/leaf.sv src/leaf.sv
refused "the output 'src/link.sv' is the source file 'src/leaf.sv'" leaf src/link.sv src/leaf.sv
refused "the output 'src' is a folder" leaf src src/leaf.sv
[ "$(cksum <src/leaf.sv)" = "$sum" ] || fail "a source was overwritten"

# Includes: beside the including file, relative to its folder, then the -I
# folders in order; velmo-synth runs from elsewhere.
mkdir -p inc/rtl inc/hdr inc/extra inc/other
echo '`define W 3' >inc/rtl/beside.vh
echo '`define MASK 3'"'"'b101' >inc/hdr/up.vh
echo 'localparam EXTRA = 3'"'"'b010;' >inc/extra/extra.vh
echo 'localparam EXTRA = 3'"'"'b111;' >inc/other/extra.vh
cat >inc/rtl/inctop.v <<'V'
`include "beside.vh"
`include "../hdr/up.vh"
`include "extra.vh"
module inctop(input clk, input [`W-1:0] d, output reg [`W-1:0] q);
  always @(posedge clk) q <= d ^ `MASK ^ EXTRA;
endmodule
V
rm -f inc.blif
"$synth" -I inc/extra -I inc/other inctop inc.blif inc/rtl/inctop.v >out.txt 2>&1 ||
  fail "includes: $(cat out.txt)"
[ "$(grep -c '^\.latch' inc.blif 2>/dev/null)" = 3 ] || fail "includes: not 3 registers"
# d ^ 101 ^ 010 (the first -I folder's EXTRA): every bit inverted.
[ "$(grep -cx '0 1' inc.blif 2>/dev/null)" = 3 ] || fail "includes: not three inverters from the first -I folder's header"

# -P sets the top module's parameter; -D defines macros, a value with
# spaces as one.
cat >counter.v <<'V'
`ifndef TAGW
`define TAGW 1
`endif
module counter #(parameter WIDTH = 4)(input clk, output reg [WIDTH-1:0] q, output [`TAGW-1:0] tag);
  always @(posedge clk) q <= q + 1;
`ifdef TAGGED
  reg [`TAGW-1:0] t;
  always @(posedge clk) t <= t - 1;
  assign tag = t;
`else
  assign tag = 0;
`endif
endmodule
V
regs() { grep -cE '^\.latch |^\.subckt \$_' "$1" 2>/dev/null; }
"$synth" counter c4.blif counter.v || fail "counter"
[ "$(regs c4.blif)" = 4 ] || fail "counter: not 4 registers by default"
"$synth" -P WIDTH=7 counter c7.blif counter.v || fail "counter -P WIDTH=7"
[ "$(regs c7.blif)" = 7 ] || fail "counter -P WIDTH=7: not 7 registers"
"$synth" -P WIDTH=7 -D TAGGED -D 'TAGW=1 + 2' counter c10.blif counter.v || fail "counter -D"
[ "$(regs c10.blif)" = 10 ] || fail "counter -D TAGGED -D TAGW=1 + 2: not 7 + 3 registers"
# The model keeps the top's name whatever the parameters.
for b in c4 c7 c10; do
  [ "$(grep '^\.model' $b.blif 2>/dev/null)" = ".model counter" ] || fail "$b.blif: the model is not 'counter'"
done
rm -f none.blif
"$synth" -P WIDTH=7 -P DEPTH=2 counter none.blif counter.v >out.txt 2>&1 && fail "an unknown parameter succeeded"
grep -q "velmo-synth: -P DEPTH: module 'counter' has no parameter 'DEPTH' (it has: WIDTH)" out.txt ||
  fail "the unknown parameter is not named: $(cat out.txt)"
[ -e none.blif ] && fail "an unknown parameter wrote the output"

# yosys's messages name each file as it was given.
cat >"my design.v" <<'V'
module bad(input a, output y);
  assign y = a;
  assign y = = a;
endmodule
V
cp "my design.v" src/counter.v
printf 'module warns(input a, output y);\n  initial $dumpfile("w.vcd");\n  assign y = a;\nendmodule\n' >src/warns.v
# After a syntax error the last line points to the forms yosys 0.23 does
# not read (an import inside a module is one); after another error it does
# not.
pointer() {
  tail -1 out.txt | grep -q "^velmo-synth: .*docs/limits\.md" ||
    fail "$1: the last line does not point to docs/limits.md: $(cat out.txt)"
}
for f in "my design.v" src/counter.v; do
  "$synth" bad none.blif "$f" >out.txt 2>&1 && fail "$f: a syntax error succeeded"
  grep -qF "$f:3: ERROR: syntax error" out.txt || fail "the error does not name '$f:3': $(cat out.txt)"
  pointer "$f"
done
cat >import.sv <<'V'
package pkg;
  localparam int W = 4;
endpackage
module imp(input logic [3:0] a, output logic [3:0] y);
  import pkg::*;
  assign y = a + W;
endmodule
V
"$synth" imp none.blif import.sv >out.txt 2>&1 && fail "an import inside a module succeeded"
grep -qF "import.sv:5: ERROR: syntax error, unexpected TOK_PACKAGESEP" out.txt || fail "the import: $(cat out.txt)"
pointer import.sv
# A const local in a function stops yosys with a message of its own.
printf 'module cst(input [3:0] a, output [3:0] y);\n  function automatic [3:0] f(input [3:0] x);\n    const logic [3:0] k = 4%sd3;\n    f = x + k;\n  endfunction\n  assign y = f(a);\nendmodule\n' "'" >const.sv
"$synth" cst none.blif const.sv >out.txt 2>&1 && fail "a const local succeeded"
grep -qF "Invalid nesting of always blocks and/or initializations" out.txt || fail "the const local: $(cat out.txt)"
pointer const.sv
# So does a $finish in an always block: here in a branch for simulation,
# which yosys elaborates at its default before -P.
printf 'module fin #(parameter SIM = 1) (input clk, a, output reg q);\n  always @(posedge clk) q <= a;\n  if (SIM) begin : sim\n    always @(posedge clk) if (a) $finish;\n  end\nendmodule\n' >fin.v
"$synth" -P SIM=0 fin none.blif fin.v >out.txt 2>&1 && fail "a \$finish in an always block succeeded"
grep -qF "System task \`\$finish' outside initial block is unsupported" out.txt || fail "the \$finish: $(cat out.txt)"
pointer fin.v
# --sv reads a .v file as SystemVerilog: a loop variable declared in its for.
printf 'module rev(input [3:0] a, output reg [3:0] y);\n  always @* for (int i = 0; i < 4; i++) y[i] = a[3 - i];\nendmodule\n' >rev.v
"$synth" --sv rev rev.blif rev.v >out.txt 2>&1 && grep -qx '\.names a\[3\] y\[0\]' rev.blif || fail "--sv: $(cat out.txt)"
"$synth" warns w.blif src/warns.v >out.txt 2>&1 || fail "warns: $(cat out.txt)"
grep -qF "src/warns.v:0: Warning: Ignoring call to system task \$dumpfile." out.txt ||
  fail "the warning does not name src/warns.v: $(cat out.txt)"

# Latches and nets with two drivers are refused, named in the source.
cat >latch.v <<'V'
module latsub(input en, input [1:0] d, output reg [1:0] q);
  always @*
    if (en) q = d;
endmodule
module lat(input en, input [1:0] d, input clk, output [1:0] q, output reg r);
  latsub u(.en(en), .d(d), .q(q));
  always @(posedge clk) r <= d[0];
endmodule
V
rm -f none.blif
"$synth" lat none.blif latch.v >out.txt 2>&1
status=$?
[ $status -eq 1 ] || fail "a latch: exit $status, not 1"
grep -qF "velmo-synth: latch.v:2: 'u.q' is a latch" out.txt || fail "the latch is not named: $(cat out.txt)"
cat >tri.v <<'V'
module tri2(input a, b, ea, eb, output y);
  assign y = ea ? a : 1'bz;
  assign y = eb ? b : 1'bz;
endmodule
V
"$synth" tri2 none.blif tri.v >out.txt 2>&1
status=$?
[ $status -eq 1 ] || fail "two drivers: exit $status, not 1"
grep -qF "velmo-synth: net 'y' in module 'tri2' has more than one driver: tri.v:2 (\$mux), tri.v:3 (\$mux)" out.txt ||
  fail "the two drivers are not named: $(cat out.txt)"
[ -e none.blif ] && fail "a refused design wrote its output"

# A design yosys reduces to constants fits, with a warning; a combinational
# one whose outputs follow its inputs draws none.
warning="velmo-fit: warning: no input or register reaches any output; every output is a constant"
cat >tied.v <<'V'
module tied(input clk, a, output [1:0] y, output z);
  reg r = 0;
  always @(posedge clk) r <= 1'b0;
  assign y = {a & ~a, 1'b1};
  assign z = r;
endmodule
module pass(input a, b, output y, z);
  assign y = a;
  assign z = a ^ b;
endmodule
V
for t in tied pass; do
  "$synth" $t $t.blif tied.v || fail "velmo-synth $t"
  "$fit" $t.blif --stages none >$t.log 2>&1 || { tail -3 $t.log; fail "velmo-fit $t"; }
done
grep -qxF "$warning" tied.log || fail "no constant-design warning: $(cat tied.log)"
grep -q 'every output is a constant' pass.log && fail "a pass-through design is called constant"
exit $failed
